// The in-memory ZORV sink (see zorv_memory_sink.h): open starts a fresh
// content, write appends, place makes room at the end of the content, close
// drops what was placed and not committed.
#include "zorv_memory_sink.h"

bool ZorvMemorySink::open(std::string& /*error*/)
{
    opened = true;
    closed = false;
    bytes.clear();
    committed_ = 0;
    return true;
}

bool ZorvMemorySink::write(const uint8_t* data, size_t size, std::string& /*error*/)
{
    bytes.resize(committed_);
    bytes.insert(bytes.end(), data, data + size);
    committed_ += size;
    return true;
}

uint8_t* ZorvMemorySink::place(size_t size)
{
    bytes.resize(committed_ + size);
    return bytes.data() + committed_;
}

void ZorvMemorySink::commit(size_t size) { committed_ += size; }

bool ZorvMemorySink::close(std::string& /*error*/)
{
    bytes.resize(committed_);
    closed = true;
    return true;
}

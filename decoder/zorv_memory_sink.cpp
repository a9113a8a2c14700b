// The in-memory ZORV sink (see zorv_memory_sink.h): open starts a fresh
// content, write appends, close only records that it happened.
#include "zorv_memory_sink.h"

bool ZorvMemorySink::open(std::string& /*error*/)
{
    opened = true;
    closed = false;
    bytes.clear();
    return true;
}

bool ZorvMemorySink::write(const uint8_t* data, size_t size, std::string& /*error*/)
{
    bytes.insert(bytes.end(), data, data + size);
    return true;
}

bool ZorvMemorySink::close(std::string& /*error*/)
{
    closed = true;
    return true;
}

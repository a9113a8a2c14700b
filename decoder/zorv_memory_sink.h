// A ZORV sink that collects the decoded content in memory, for callers that
// want the bytes rather than a file (tests, fuzzers, benchmarks). Segments
// decode straight into `bytes` (see ZorvSink::place).
#pragma once

#include <vector>

#include "zorv_sink.h"

class ZorvMemorySink : public ZorvSink {
public:
    bool open(std::string& error) override;
    bool write(const uint8_t* data, size_t size, std::string& error) override;
    bool close(std::string& error) override;
    uint8_t* place(size_t size) override;
    void commit(size_t size) override;

    bool opened = false;
    bool closed = false;
    // The content; while the sink is open it may end with placed bytes not
    // yet committed.
    std::vector<uint8_t> bytes;

private:
    size_t committed_ = 0;
};

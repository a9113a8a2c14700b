// A ZORV sink that collects the decoded content in memory, for callers that
// want the bytes rather than a file (tests, fuzzers, benchmarks).
#pragma once

#include <vector>

#include "zorv_sink.h"

class ZorvMemorySink : public ZorvSink {
public:
    bool open(std::string& error) override;
    bool write(const uint8_t* data, size_t size, std::string& error) override;
    bool close(std::string& error) override;

    bool opened = false;
    bool closed = false;
    std::vector<uint8_t> bytes;
};

// Where the decoder program's output goes: the interface zorv_decode writes
// the decoded content through (a file for the zorv program, memory for tests
// and benchmarks).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// zorv_decode opens a sink only once the input has proved to be a ZORV
// file, so that a non-ZORV input leaves no output file behind, and closes it
// on every path after that. Each operation returns false with the system's
// error text in `error` on failure.
class ZorvSink {
public:
    virtual ~ZorvSink() = default;
    virtual bool open(std::string& error) = 0;
    virtual bool write(const uint8_t* data, size_t size, std::string& error) = 0;
    virtual bool close(std::string& error) = 0;
};

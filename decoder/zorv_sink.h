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
//
// A sink that keeps the content in memory may offer room for a segment
// (place), so that the segment decodes straight into it instead of into a
// work buffer that is then copied; the bytes become content only when
// committed. Bytes placed and never committed (a segment that failed to
// decode) are not part of the content.
class ZorvSink {
public:
    virtual ~ZorvSink() = default;
    virtual bool open(std::string& error) = 0;
    virtual bool write(const uint8_t* data, size_t size, std::string& error) = 0;
    virtual bool close(std::string& error) = 0;

    // Room for the next `size` bytes of content, or null when the sink has
    // none to offer (the bytes then arrive through write).
    virtual uint8_t* place(size_t /*size*/) { return nullptr; }
    // Makes the `size` bytes last placed part of the content.
    virtual void commit(size_t /*size*/) {}
};

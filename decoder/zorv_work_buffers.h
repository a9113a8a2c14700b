// The work buffers of a ZORV run: the current segment's chunk payloads and
// its decoded bytes. They are kept from one run to the next on the same
// thread, so that a process decoding many files maps and faults their pages
// in once; each run sizes them to what its file needs, and buffers larger
// than kKeptWorkBuffer are released when the run ends.
#pragma once

#include <cstddef>

#include "byte_buffer.h"

struct ZorvWorkBuffers {
    kyn::ByteBuffer compressed;  // the current segment's chunk payloads
    kyn::ByteBuffer output;      // its decoded bytes
    bool in_use = false;         // a run started from within a run gets buffers of its own
};

constexpr size_t kKeptWorkBuffer = size_t(64) << 20;

// The buffers of one run: the thread's kept ones, or fresh ones when the
// kept ones are in use already (a sink that starts another run).
class ZorvWorkBufferLease {
public:
    ZorvWorkBufferLease();
    ~ZorvWorkBufferLease();
    ZorvWorkBufferLease(const ZorvWorkBufferLease&) = delete;
    ZorvWorkBufferLease& operator=(const ZorvWorkBufferLease&) = delete;

    ZorvWorkBuffers& buffers() { return *buffers_; }

private:
    ZorvWorkBuffers own_;
    ZorvWorkBuffers* buffers_;
};

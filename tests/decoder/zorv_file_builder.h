// Hand-built ZORV files for the decoder tests: header, segment-size tables of
// either width, chunks, and helpers for contiguous and zoned bodies.
#pragma once

#include <cstdint>
#include <vector>

#include "test_support.h"

namespace decoder_test {

struct ZorvFlags {
    unsigned window_shift = 1;
    unsigned zone_shift = 0;
    unsigned segment_count = 0;
    unsigned size_width = 1;  // 0: 20-bit entries; 1-3: 32-bit
    unsigned high_byte = 0;   // bits 24-31, never read
};

uint32_t zorv_flags_word(const ZorvFlags& flags);
// The 16-byte header: magic, version 01 00, six free bytes, the flags word.
Bytes zorv_header(const ZorvFlags& flags);
// The segment-size table, padded to whole 32-bit words.
Bytes zorv_size_table(const std::vector<uint64_t>& sizes, bool wide);
// Header and table for `sizes`; the body is appended by the caller.
Bytes zorv_head(const std::vector<uint64_t>& sizes, ZorvFlags flags = {});

// One chunk: 16-bit big-endian length, then the payload.
Bytes chunk(const Bytes& payload);
// `stream` cut into `count` chunks of nearly equal size (each at least 1
// byte); no chunks at all for a count of 0.
Bytes chunks_of(const Bytes& stream, uint64_t count);
uint64_t frames_of(uint64_t size);

// Appends `bytes` to `file` at `offset`, filling any gap with `fill`.
void place(Bytes& file, uint64_t offset, const Bytes& bytes, uint8_t fill = 0);

// A segment's content: `size` bytes that differ from segment to segment.
Bytes segment_content(uint64_t size, uint8_t seed);
// The chunks of a segment holding `content` as one uncompressed LZX block.
Bytes uncompressed_segment_chunks(const Bytes& content);

Bytes concat(std::initializer_list<Bytes> parts);

}  // namespace decoder_test

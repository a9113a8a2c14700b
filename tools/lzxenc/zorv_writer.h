// ZORV container writer: the 16-byte header, the segment-size table (20- or
// 32-bit entries) and a body in the contiguous or zoned layout, or a raw
// file. The caller supplies each segment's frames already compressed (one
// chunk payload per 32768-byte frame, see lzx_encoder.h) or its stored bytes,
// and chooses where padding, filler and trailing bytes go, so that fixtures
// can hit every rule of the format.
//
// Usage:
//   lzxenc::ZorvSegment seg = lzxenc::compressed_segment(content, lzx_options);
//   lzxenc::ZorvWriteOptions options;      // contiguous, 32-bit entries
//   options.window_shift = lzx_options.window_bits - 15;
//   std::vector<uint8_t> file = lzxenc::write_zorv({seg}, options);
//
// Requests the format cannot express (a segment that does not fit its zone, a
// chunk of more than 65535 bytes, a 20-bit size of 2^20 or more, ...) throw
// std::invalid_argument with a message naming the segment.
#pragma once

#include "lzx_encoder.h"

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace lzxenc {

enum class ZorvLayout { Raw, Contiguous, Zoned };

enum class ZorvSegmentForm {
    Compressed, // chunks, one per frame (none for a segment of size 0)
    Stored,     // zoned layout only: a zero word, then the bytes as they are
};

struct ZorvSegment {
    uint64_t size = 0; // decoded size, the table entry
    ZorvSegmentForm form = ZorvSegmentForm::Compressed;
    std::vector<std::vector<uint8_t>> chunks; // Compressed: ceil(size / 32768) payloads of 1..65535 bytes
    std::vector<uint8_t> stored;              // Stored: exactly `size` bytes
};

struct ZorvWriteOptions {
    ZorvLayout layout = ZorvLayout::Contiguous;
    unsigned window_shift = 1; // flags bits 0-3: window = 0x8000 << window_shift (0..15)
    unsigned zone_shift = 0;   // flags bits 4-5: zone = 0x8000 << zone_shift (0..3)
    unsigned size_width = 1;   // flags bits 22-23: 0 = 20-bit entries, 1..3 = 32-bit entries
    uint8_t flags_high_byte = 0;          // flags bits 24-31, never read by the decoder
    std::array<uint8_t, 6> unused_bytes{}; // header bytes 6-11, never read by the decoder

    // Contiguous layout: zero padding up to the next zone boundary is put
    // before each listed chunk (chunks numbered over all segments; the
    // chunk count means "after the last chunk"). Padding that would start one
    // byte before a boundary runs on to the boundary after it, since the zero
    // word that starts it spans both bytes.
    std::vector<size_t> pad_before_chunks;
    size_t trailing_zero_bytes = 0; // zero bytes after the last chunk

    // Zoned layout: bytes of a zone that no segment uses.
    uint8_t zone_filler = 0xA5;
    size_t trailing_filler_bytes = 0; // filler after the last segment
};

uint32_t zone_size_for_shift(unsigned zone_shift);

// Bytes taken by the header and the segment-size table.
size_t zorv_body_start(size_t segment_count, unsigned size_width);

// A segmented file (layout Contiguous or Zoned) holding `segments` in order.
std::vector<uint8_t> write_zorv(const std::vector<ZorvSegment>& segments, const ZorvWriteOptions& options);

// A raw file (segment count 0): the header, then `content` as it is. Only the
// flag fields and header bytes of `options` are used.
std::vector<uint8_t> write_zorv_raw(std::span<const uint8_t> content, const ZorvWriteOptions& options);

// A segment holding `content` compressed as one LZX stream.
ZorvSegment compressed_segment(std::span<const uint8_t> content, const LzxOptions& options,
                               LzxStats* stats = nullptr);

// A stored segment (zoned layout only).
ZorvSegment stored_segment(std::span<const uint8_t> content);

} // namespace lzxenc

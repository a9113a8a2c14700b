// One-call packing of a whole file into a ZORV container: cuts the content
// into segments, compresses each with the LZX encoder and writes the chosen
// layout. Used by the zorv-pack tool, fixture builders and benchmarks.
//
// Usage:
//   lzxenc::ZorvPackOptions options;
//   options.lzx.window_bits = 21;
//   options.layout = lzxenc::ZorvLayout::Zoned;
//   options.zone_shift = 3;
//   lzxenc::ZorvPackResult packed = lzxenc::pack_zorv(content, options);
//   // packed.file decodes with zorv to `content`
//
// In the zoned layout a segment whose compressed form does not fit its zone
// is stored instead when that fits; otherwise, as for every request the
// format cannot express, std::invalid_argument is thrown.
#pragma once

#include "lzx_encoder.h"
#include "zorv_writer.h"

#include <cstdint>
#include <span>
#include <vector>

namespace lzxenc {

struct ZorvPackOptions {
    LzxOptions lzx; // window_bits also sets the header's window shift
    ZorvLayout layout = ZorvLayout::Contiguous;
    // Decoded bytes per segment; 0 picks one: the whole content for the
    // contiguous layout with 32-bit entries, 983040 (30 frames) with 20-bit
    // entries, and as much as a zone holds for the zoned layout.
    uint64_t segment_size = 0;
    unsigned zone_shift = 0;
    unsigned size_width = 1; // 0: 20-bit entries; 1..3: 32-bit entries
};

struct ZorvPackResult {
    std::vector<uint8_t> file;
    LzxStats stats; // summed over all compressed segments
    size_t segments = 0;
    size_t stored_segments = 0;
};

ZorvPackResult pack_zorv(std::span<const uint8_t> content, const ZorvPackOptions& options);

// The segment size pack_zorv would pick for `content_size` bytes.
uint64_t automatic_segment_size(uint64_t content_size, const ZorvPackOptions& options);

} // namespace lzxenc

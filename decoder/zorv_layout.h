// The two body layouts of a ZORV file: the walker that tells whether a body
// is contiguous and the zoned reading, each turning the body into the list
// of chunk payloads (and stored segments) that decoding takes in order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace zorv_layout {

constexpr unsigned kFrameBits = 15;  // frames of 32768 decoded bytes

inline uint64_t frame_count(uint64_t size) { return (size + 0x7FFF) >> kFrameBits; }

inline uint16_t read_be16(std::span<const uint8_t> data, uint64_t at)
{
    return uint16_t((data[at] << 8) | data[at + 1]);
}

inline uint32_t read_be32(std::span<const uint8_t> data, uint64_t at)
{
    return (uint32_t(data[at]) << 24) | (uint32_t(data[at + 1]) << 16) | (uint32_t(data[at + 2]) << 8) |
           data[at + 3];
}

enum class Layout { contiguous, zoned };

const char* layout_name(Layout layout);

// A chunk's payload within the input, or a stored segment's bytes.
struct ChunkRef {
    uint64_t offset;
    uint32_t length;
};

// Where the body lies and how it is cut into zones.
struct BodyGeometry {
    std::span<const uint8_t> input;  // the whole file
    uint64_t body_start;             // H, just after the segment-size table
    unsigned zone_bits;              // log2 of the zone size
};

// What decoding needs of the body: every segment's chunks in order, and
// which segments are stored (zoned layout only).
struct BodyChunks {
    Layout layout = Layout::contiguous;
    std::vector<ChunkRef> chunks;
    std::vector<bool> stored;
};

// Reads the body under the contiguous rules. Returns the chunks when the
// whole body reads that way and yields exactly `total_frames` chunks;
// nothing otherwise (the body is then to be read as zoned).
std::optional<std::vector<ChunkRef>> read_contiguous(const BodyGeometry& body, uint64_t total_frames);

// A breach of the zoned rules: segment `segment`'s frame `frame` either
// starts past its zone (`runs_past`) or has the chunk length `length`, 0
// or too long, at file offset `at`.
struct ZonedFault {
    bool runs_past;
    uint32_t segment;
    uint64_t frame;
    unsigned length;
    uint64_t at;
};

// Reads the body under the zoned rules into `out` (chunks and stored
// flags), or reports the first breach.
std::optional<ZonedFault> read_zoned(const BodyGeometry& body, std::span<const uint64_t> segment_sizes,
                                     BodyChunks& out);

}  // namespace zorv_layout

// One-call ZORV packing (see zorv_packer.h).
#include "zorv_packer.h"

#include <algorithm>
#include <stdexcept>

namespace lzxenc {
namespace {

constexpr uint64_t kTwentyBitSegment = 30 * kFrameSize;
constexpr uint64_t kLargestThirtyTwoBitSegment = 0xFFFF8000u;

uint64_t zoned_segment_size(uint64_t content_size, const ZorvPackOptions& options)
{
    // Segment 0 shares zone 0 with the header and the table, whose length
    // depends on the segment count, so settle both together.
    const uint64_t zone = zone_size_for_shift(options.zone_shift);
    uint64_t size = zone - 2 - zorv_body_start(1, options.size_width);
    for (;;) {
        const uint64_t count = std::max<uint64_t>(1, (content_size + size - 1) / size);
        const uint64_t needed = zorv_body_start(count, options.size_width) + 2 + size;
        if (needed <= zone)
            return size;
        size -= needed - zone;
    }
}

size_t compressed_bytes(const ZorvSegment& segment)
{
    size_t total = 0;
    for (const auto& chunk : segment.chunks)
        total += 2 + chunk.size();
    return total;
}

} // namespace

uint64_t automatic_segment_size(uint64_t content_size, const ZorvPackOptions& options)
{
    if (options.layout == ZorvLayout::Zoned)
        return zoned_segment_size(content_size, options);
    if (options.size_width == 0)
        return kTwentyBitSegment;
    return std::clamp<uint64_t>(content_size, 1, kLargestThirtyTwoBitSegment);
}

ZorvPackResult pack_zorv(std::span<const uint8_t> content, const ZorvPackOptions& options)
{
    ZorvWriteOptions write;
    write.layout = options.layout;
    write.window_shift = options.lzx.window_bits - kMinWindowBits;
    write.zone_shift = options.zone_shift;
    write.size_width = options.size_width;
    ZorvPackResult result;
    if (options.layout == ZorvLayout::Raw) {
        result.file = write_zorv_raw(content, write);
        return result;
    }
    const uint64_t segment_size =
        options.segment_size != 0 ? options.segment_size : automatic_segment_size(content.size(), options);
    const uint64_t zone = zone_size_for_shift(options.zone_shift);
    const uint64_t segment_count = std::max<uint64_t>(1, (content.size() + segment_size - 1) / segment_size);
    if (segment_count > 0xFFFF)
        throw std::invalid_argument("zorv pack: more than 65535 segments; choose a larger segment size");
    const size_t body_start = zorv_body_start(segment_count, options.size_width);

    std::vector<ZorvSegment> segments;
    for (uint64_t k = 0; k < segment_count; ++k) {
        const uint64_t begin = std::min<uint64_t>(k * segment_size, content.size());
        const uint64_t end = std::min<uint64_t>(begin + segment_size, content.size());
        const auto piece = content.subspan(begin, end - begin);
        LzxStats stats;
        ZorvSegment segment = compressed_segment(piece, options.lzx, &stats);
        if (options.layout == ZorvLayout::Zoned) {
            const uint64_t room = (k + 1) * zone - (k == 0 ? body_start : k * zone);
            if (compressed_bytes(segment) > room && 2 + piece.size() <= room) {
                segment = stored_segment(piece);
                ++result.stored_segments;
                segments.push_back(std::move(segment));
                continue;
            }
        }
        result.stats += stats;
        segments.push_back(std::move(segment));
    }
    result.segments = segments.size();
    result.file = write_zorv(segments, write);
    return result;
}

} // namespace lzxenc

// The contiguous and zoned body layouts of a ZORV file (see zorv_layout.h).
#include "zorv_layout.h"

#include <algorithm>

namespace zorv_layout {

const char* layout_name(Layout layout) { return layout == Layout::contiguous ? "contiguous" : "zoned"; }

std::optional<std::vector<ChunkRef>> read_contiguous(const BodyGeometry& body, uint64_t total_frames)
{
    const std::span<const uint8_t> data = body.input;
    const uint64_t size = data.size();
    std::vector<ChunkRef> chunks;
    // A chunk takes at least three bytes: the list never needs more room.
    chunks.reserve(size_t(std::min<uint64_t>(total_frames, (size - std::min(size, body.body_start)) / 3)));
    uint64_t pos = body.body_start;
    for (;;) {
        if (pos + 2 > size) {
            // At most one byte is left, and it must be zero.
            if (pos < size && data[pos] != 0)
                return std::nullopt;
            break;
        }
        const uint16_t length = read_be16(data, pos);
        if (length != 0) {
            if (pos + 2 + length > size || chunks.size() == total_frames)
                return std::nullopt;  // past the end, or more chunks than frames
            chunks.push_back(ChunkRef{pos + 2, length});
            pos += 2 + length;
            continue;
        }
        // A zero word starts padding up to the next zone boundary.
        const uint64_t boundary = std::min(((pos >> body.zone_bits) + 1) << body.zone_bits, size);
        const auto padding = data.subspan(pos, boundary - pos);
        if (std::any_of(padding.begin(), padding.end(), [](uint8_t b) { return b != 0; }))
            return std::nullopt;
        pos = boundary;
    }
    if (chunks.size() != total_frames)
        return std::nullopt;
    return chunks;
}

std::optional<ZonedFault> read_zoned(const BodyGeometry& body, std::span<const uint64_t> segment_sizes,
                                     BodyChunks& out)
{
    const std::span<const uint8_t> data = body.input;
    out.layout = Layout::zoned;
    out.chunks.clear();
    out.stored.assign(segment_sizes.size(), false);
    for (uint32_t k = 0; k < segment_sizes.size(); ++k) {
        // Segment 0 starts after the table, every other one on its zone.
        uint64_t pos = k == 0 ? body.body_start : uint64_t(k) << body.zone_bits;
        const uint64_t end = std::min<uint64_t>((uint64_t(k) + 1) << body.zone_bits, data.size());
        const uint64_t size = segment_sizes[k];
        if (pos + 2 <= end && read_be16(data, pos) == 0 && pos + 2 + size <= end) {
            out.stored[k] = true;
            out.chunks.push_back(ChunkRef{pos + 2, uint32_t(size)});
            continue;
        }
        const uint64_t frames = frame_count(size);
        for (uint64_t f = 0; f < frames; ++f) {
            if (pos + 2 > end)
                return ZonedFault{true, k, f, 0, pos};
            const uint16_t length = read_be16(data, pos);
            if (length == 0 || pos + 2 + length > end)
                return ZonedFault{false, k, f, length, pos};
            out.chunks.push_back(ChunkRef{pos + 2, length});
            pos += 2 + length;
        }
    }
    return std::nullopt;
}

}  // namespace zorv_layout

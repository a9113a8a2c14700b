// ZORV container writer (see zorv_writer.h).
#include "zorv_writer.h"

#include <stdexcept>
#include <string>

namespace lzxenc {
namespace {

constexpr uint8_t kMagic[4] = {0x0F, 0xF5, 0x12, 0xED};
constexpr uint8_t kVersion[2] = {0x01, 0x00};
constexpr size_t kHeaderSize = 16;
constexpr uint32_t kMaxChunkLength = 0xFFFF;
constexpr size_t kMaxSegments = 0xFFFF;

[[noreturn]] void fail(const std::string& message) { throw std::invalid_argument("ZORV writer: " + message); }

void put_be16(std::vector<uint8_t>& out, uint32_t value)
{
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value));
}

void put_be32(std::vector<uint8_t>& out, uint32_t value)
{
    put_be16(out, value >> 16);
    put_be16(out, value & 0xFFFF);
}

unsigned entry_bits(unsigned size_width) { return size_width == 0 ? 20 : 32; }

void write_header(std::vector<uint8_t>& out, size_t segment_count, const ZorvWriteOptions& options)
{
    if (options.window_shift > 15)
        fail("window_shift must be 0..15");
    if (options.zone_shift > 3)
        fail("zone_shift must be 0..3");
    if (options.size_width > 3)
        fail("size_width must be 0..3");
    if (segment_count > kMaxSegments)
        fail("more than 65535 segments");
    out.insert(out.end(), std::begin(kMagic), std::end(kMagic));
    out.insert(out.end(), std::begin(kVersion), std::end(kVersion));
    out.insert(out.end(), options.unused_bytes.begin(), options.unused_bytes.end());
    const uint32_t flags = options.window_shift | options.zone_shift << 4 |
                           static_cast<uint32_t>(segment_count) << 6 | options.size_width << 22 |
                           uint32_t{options.flags_high_byte} << 24;
    put_be32(out, flags);
}

// The table as one bit string, entries top bit first, padded to whole
// 32-bit words.
void write_size_table(std::vector<uint8_t>& out, const std::vector<ZorvSegment>& segments, unsigned size_width)
{
    const unsigned bits = entry_bits(size_width);
    const size_t table_start = out.size();
    out.resize(zorv_body_start(segments.size(), size_width), 0);
    size_t bit_position = 0;
    for (size_t k = 0; k < segments.size(); ++k) {
        const uint64_t size = segments[k].size;
        if (size >> bits != 0)
            fail("segment " + std::to_string(k) + " size does not fit a " + std::to_string(bits) + "-bit entry");
        for (unsigned b = bits; b-- > 0; ++bit_position)
            if ((size >> b) & 1)
                out[table_start + bit_position / 8] |= static_cast<uint8_t>(0x80 >> (bit_position % 8));
    }
}

size_t frame_count(uint64_t size) { return static_cast<size_t>((size + kFrameSize - 1) / kFrameSize); }

void check_segment(const ZorvSegment& segment, size_t k, bool stored_allowed)
{
    const std::string name = "segment " + std::to_string(k);
    if (segment.form == ZorvSegmentForm::Stored) {
        if (!stored_allowed)
            fail(name + ": stored segments exist only in the zoned layout");
        if (segment.stored.size() != segment.size)
            fail(name + ": stored bytes do not match its size");
        return;
    }
    if (segment.chunks.size() != frame_count(segment.size))
        fail(name + ": needs one chunk per 32768-byte frame");
    for (const auto& chunk : segment.chunks)
        if (chunk.empty() || chunk.size() > kMaxChunkLength)
            fail(name + ": a chunk must hold 1..65535 bytes");
}

void put_chunk(std::vector<uint8_t>& out, const std::vector<uint8_t>& payload)
{
    put_be16(out, static_cast<uint32_t>(payload.size()));
    out.insert(out.end(), payload.begin(), payload.end());
}

void put_contiguous_padding(std::vector<uint8_t>& out, uint32_t zone_size)
{
    size_t boundary = (out.size() / zone_size + 1) * zone_size;
    if (boundary - out.size() == 1)
        boundary += zone_size;
    out.resize(boundary, 0);
}

void write_contiguous_body(std::vector<uint8_t>& out, const std::vector<ZorvSegment>& segments,
                           const ZorvWriteOptions& options)
{
    const uint32_t zone_size = zone_size_for_shift(options.zone_shift);
    auto pad_requested = [&](size_t chunk_index) {
        for (size_t at : options.pad_before_chunks)
            if (at == chunk_index)
                return true;
        return false;
    };
    size_t chunk_index = 0;
    for (size_t k = 0; k < segments.size(); ++k) {
        check_segment(segments[k], k, false);
        for (const auto& chunk : segments[k].chunks) {
            if (pad_requested(chunk_index))
                put_contiguous_padding(out, zone_size);
            put_chunk(out, chunk);
            ++chunk_index;
        }
    }
    if (pad_requested(chunk_index))
        put_contiguous_padding(out, zone_size);
    out.resize(out.size() + options.trailing_zero_bytes, 0);
}

void write_zoned_body(std::vector<uint8_t>& out, const std::vector<ZorvSegment>& segments,
                      const ZorvWriteOptions& options)
{
    const uint64_t zone_size = zone_size_for_shift(options.zone_shift);
    for (size_t k = 0; k < segments.size(); ++k) {
        const ZorvSegment& segment = segments[k];
        check_segment(segment, k, true);
        const std::string name = "segment " + std::to_string(k);
        const uint64_t start = k == 0 ? out.size() : k * zone_size;
        const uint64_t zone_end = (k + 1) * zone_size;
        if (out.size() > start)
            fail("segment " + std::to_string(k - 1) + " runs into the zone of " + name);
        out.resize(start, options.zone_filler);
        if (segment.form == ZorvSegmentForm::Stored) {
            put_be16(out, 0);
            out.insert(out.end(), segment.stored.begin(), segment.stored.end());
        } else {
            for (const auto& chunk : segment.chunks)
                put_chunk(out, chunk);
        }
        if (out.size() > zone_end)
            fail(name + " does not fit its zone");
    }
    out.resize(out.size() + options.trailing_filler_bytes, options.zone_filler);
}

} // namespace

uint32_t zone_size_for_shift(unsigned zone_shift) { return uint32_t{0x8000} << zone_shift; }

size_t zorv_body_start(size_t segment_count, unsigned size_width)
{
    return kHeaderSize + ((entry_bits(size_width) * segment_count + 31) >> 5) * 4;
}

std::vector<uint8_t> write_zorv(const std::vector<ZorvSegment>& segments, const ZorvWriteOptions& options)
{
    if (options.layout == ZorvLayout::Raw)
        fail("use write_zorv_raw for raw files");
    if (segments.empty())
        fail("a segmented file needs at least one segment (a count of 0 marks a raw file)");
    std::vector<uint8_t> out;
    write_header(out, segments.size(), options);
    write_size_table(out, segments, options.size_width);
    if (options.layout == ZorvLayout::Contiguous)
        write_contiguous_body(out, segments, options);
    else
        write_zoned_body(out, segments, options);
    return out;
}

std::vector<uint8_t> write_zorv_raw(std::span<const uint8_t> content, const ZorvWriteOptions& options)
{
    std::vector<uint8_t> out;
    write_header(out, 0, options);
    out.insert(out.end(), content.begin(), content.end());
    return out;
}

ZorvSegment compressed_segment(std::span<const uint8_t> content, const LzxOptions& options, LzxStats* stats)
{
    LzxStream stream = lzx_encode(content, options);
    ZorvSegment segment;
    segment.size = content.size();
    segment.chunks = frame_pieces(stream);
    if (stats)
        *stats = stream.stats;
    return segment;
}

ZorvSegment stored_segment(std::span<const uint8_t> content)
{
    ZorvSegment segment;
    segment.size = content.size();
    segment.form = ZorvSegmentForm::Stored;
    segment.stored.assign(content.begin(), content.end());
    return segment;
}

} // namespace lzxenc

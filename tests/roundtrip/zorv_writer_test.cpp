// Checks of the ZORV writer's output bytes: header and flag fields, the
// size table in both widths, and where chunks, padding, filler and stored
// segments land in the two layouts.
#include "zorv_writer.h"

#include <gtest/gtest.h>

using namespace lzxenc;

namespace {

uint16_t be16_at(const std::vector<uint8_t>& file, size_t offset)
{
    return static_cast<uint16_t>(file.at(offset) << 8 | file.at(offset + 1));
}

// A segment of `size` bytes whose chunks are easy to recognise: chunk i holds
// `chunk_length` bytes of value 0x10 + i.
ZorvSegment fake_segment(uint64_t size, size_t chunk_length)
{
    ZorvSegment segment;
    segment.size = size;
    for (uint64_t i = 0; i < (size + kFrameSize - 1) / kFrameSize; ++i)
        segment.chunks.emplace_back(chunk_length, static_cast<uint8_t>(0x10 + i));
    return segment;
}

TEST(ZorvWriter, HeaderFieldsAndFlags)
{
    ZorvWriteOptions options;
    options.window_shift = 6;
    options.zone_shift = 2;
    options.size_width = 3;
    options.flags_high_byte = 0x5A;
    options.unused_bytes = {1, 2, 3, 4, 5, 6};
    const std::vector<ZorvSegment> segments(5, fake_segment(0, 0));
    const auto file = write_zorv(segments, options);
    const std::vector<uint8_t> header(file.begin(), file.begin() + 16);
    // flags = 6 | 2 << 4 | 5 << 6 | 3 << 22 | 0x5A << 24 = 0x5AC00166
    EXPECT_EQ(header, (std::vector<uint8_t>{0x0F, 0xF5, 0x12, 0xED, 0x01, 0x00, 1, 2, 3, 4, 5, 6, 0x5A, 0xC0,
                                            0x01, 0x66}));
    EXPECT_EQ(file.size(), 16u + 20u) << "five 32-bit entries, an empty body";
}

TEST(ZorvWriter, SizeTableWidths)
{
    struct Case {
        unsigned width_field;
        std::vector<uint64_t> sizes;
        std::vector<uint8_t> table;
    };
    const Case cases[] = {
        {0, {0x12345, 0xABCDE}, {0x12, 0x34, 0x5A, 0xBC, 0xDE, 0x00, 0x00, 0x00}},
        {0, {0xFFFFF}, {0xFF, 0xFF, 0xF0, 0x00}},
        {1, {0x01020304, 7}, {1, 2, 3, 4, 0, 0, 0, 7}},
        {2, {0xFFFFFFFF}, {0xFF, 0xFF, 0xFF, 0xFF}},
    };
    for (const Case& c : cases) {
        std::vector<ZorvSegment> segments;
        for (uint64_t size : c.sizes)
            segments.push_back(fake_segment(size, 1));
        ZorvWriteOptions options;
        options.size_width = c.width_field;
        const auto file = write_zorv(segments, options);
        EXPECT_EQ(std::vector<uint8_t>(file.begin() + 16, file.begin() + 16 + c.table.size()), c.table);
    }
    for (auto [count, width, length] : {std::tuple{1, 0, 4}, {2, 0, 8}, {8, 0, 20}, {3, 1, 12}})
        EXPECT_EQ(zorv_body_start(count, width), 16u + length);
    std::vector<ZorvSegment> too_big{fake_segment(1u << 20, 1)};
    ZorvWriteOptions twenty_bits;
    twenty_bits.size_width = 0;
    EXPECT_THROW(write_zorv(too_big, twenty_bits), std::invalid_argument);
}

TEST(ZorvWriter, ContiguousPaddingRunsToZoneBoundaries)
{
    // Three segments of one frame each; chunk payloads of 100 bytes.
    std::vector<ZorvSegment> segments(3, fake_segment(1000, 100));
    ZorvWriteOptions options;
    options.pad_before_chunks = {1, 3};
    options.trailing_zero_bytes = 1;
    const auto file = write_zorv(segments, options);
    const size_t body = zorv_body_start(3, 1); // 28
    EXPECT_EQ(be16_at(file, body), 100u);
    for (size_t i = body + 102; i < 32768; ++i)
        ASSERT_EQ(file[i], 0) << "padding byte at " << i;
    EXPECT_EQ(be16_at(file, 32768), 100u) << "chunk 1 starts at the zone boundary";
    EXPECT_EQ(file[32770], 0x10);
    EXPECT_EQ(be16_at(file, 32768 + 102), 100u);
    EXPECT_EQ(file.size(), 65536u + 1) << "final padding to the next boundary, then one zero byte";
}

TEST(ZorvWriter, PaddingOneByteBeforeABoundaryCoversTheNextZone)
{
    // The zero word that starts padding spans the boundary, so the writer
    // pads through the whole following zone.
    const size_t body = zorv_body_start(2, 1);
    std::vector<ZorvSegment> segments{fake_segment(10, 32768 - 1 - body - 2), fake_segment(10, 4)};
    ZorvWriteOptions options;
    options.pad_before_chunks = {1};
    const auto file = write_zorv(segments, options);
    EXPECT_EQ(be16_at(file, 2 * 32768), 4u);
    EXPECT_EQ(file.size(), 2u * 32768 + 6);
}

TEST(ZorvWriter, ZonedSegmentsStartAtTheirZones)
{
    std::vector<ZorvSegment> segments{fake_segment(40000, 300), stored_segment(std::vector<uint8_t>(50, 0x77)),
                                      fake_segment(0, 0), fake_segment(5, 9)};
    ZorvWriteOptions options;
    options.layout = ZorvLayout::Zoned;
    options.zone_filler = 0xC3;
    options.trailing_filler_bytes = 3;
    const auto file = write_zorv(segments, options);
    const size_t body = zorv_body_start(4, 1);
    EXPECT_EQ(be16_at(file, body), 300u);
    EXPECT_EQ(be16_at(file, body + 302), 300u) << "second frame of segment 0";
    EXPECT_EQ(file[body + 604], 0xC3) << "filler after segment 0";
    EXPECT_EQ(be16_at(file, 32768), 0u) << "stored segment 1";
    EXPECT_EQ(file[32770], 0x77);
    EXPECT_EQ(file[32770 + 50], 0xC3);
    EXPECT_EQ(be16_at(file, 3 * 32768), 9u) << "segment 3 in zone 3; empty segment 2 takes nothing";
    EXPECT_EQ(file.size(), 3u * 32768 + 11 + 3);
    EXPECT_EQ(file[2 * 32768], 0xC3);
}

TEST(ZorvWriter, RefusesWhatTheFormatCannotHold)
{
    ZorvWriteOptions zoned;
    zoned.layout = ZorvLayout::Zoned;
    EXPECT_THROW(write_zorv({fake_segment(3 * kFrameSize, 20000)}, zoned), std::invalid_argument)
        << "segment larger than its zone";
    EXPECT_THROW(write_zorv({fake_segment(10, 70000)}, {}), std::invalid_argument) << "chunk above 65535";
    EXPECT_THROW(write_zorv({stored_segment(std::vector<uint8_t>(4))}, {}), std::invalid_argument)
        << "stored segment in the contiguous layout";
    ZorvSegment missing_chunk = fake_segment(40000, 10);
    missing_chunk.chunks.pop_back();
    EXPECT_THROW(write_zorv({missing_chunk}, {}), std::invalid_argument);
    EXPECT_THROW(write_zorv({}, {}), std::invalid_argument) << "a segment count of 0 marks a raw file";
}

TEST(ZorvWriter, RawFileIsHeaderAndContent)
{
    ZorvWriteOptions options;
    options.window_shift = 9;
    options.size_width = 2;
    const auto file = write_zorv_raw(std::vector<uint8_t>{1, 2, 3}, options);
    ASSERT_EQ(file.size(), 19u);
    EXPECT_EQ(file[13], 0x80) << "size width 2 in bits 22-23";
    EXPECT_EQ(file[15], 0x09);
    EXPECT_EQ(file[14], 0x00) << "segment count 0";
    EXPECT_EQ(file[18], 3);
}

} // namespace

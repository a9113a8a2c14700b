// Checks of the encoder's parts that need no decoder: bit packing, Huffman
// code shapes, position slots, the E8 translation and the fixed fields of the
// stream (header, uncompressed blocks, frame ends).
#include "bit_reader.h"

#include "bit_writer.h"
#include "e8_translation.h"
#include "huffman_code.h"
#include "lzx_encoder.h"
#include "lzx_format.h"
#include "synthetic_data.h"
#include "tree_lengths.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace lzxenc;

namespace {

std::vector<uint8_t> bytes_of(const std::string& text) { return {text.begin(), text.end()}; }

TEST(BitWriter, PacksTopBitFirstIntoLittleEndianWords)
{
    struct Case {
        std::vector<std::pair<uint32_t, unsigned>> puts;
        std::vector<uint8_t> expected;
    };
    const Case cases[] = {
        {{{1, 1}}, {0x00, 0x80}},                       // one set bit, padded: word 0x8000
        {{{0xABCD, 16}}, {0xCD, 0xAB}},
        {{{0x5, 3}, {0x1FFF, 13}}, {0xFF, 0xBF}},       // 101 + 13 ones = 0xBFFF
        {{{0x1FFFF, 17}}, {0xFF, 0xFF, 0x00, 0x80}},    // a 17-bit field spans two words
        {{{0, 15}, {0x3, 2}}, {0x01, 0x00, 0x00, 0x80}},
    };
    for (const Case& c : cases) {
        BitWriter writer;
        for (auto [value, count] : c.puts)
            writer.put_bits(value, count);
        writer.align_to_word();
        EXPECT_EQ(writer.bytes(), c.expected);
    }
}

TEST(BitWriter, RawBytesNeedAWordBoundary)
{
    BitWriter writer;
    writer.put_bits(1, 3);
    EXPECT_THROW(writer.put_raw_byte(7), std::logic_error);
    writer.align_to_word();
    writer.put_raw_byte(7); // odd byte counts are allowed: words then start at odd offsets
    writer.put_bits(0x1234, 16);
    EXPECT_EQ(writer.bytes(), (std::vector<uint8_t>{0x00, 0x20, 0x07, 0x34, 0x12}));
}

TEST(HuffmanCode, LengthsAreCompleteAndWithinTheLimit)
{
    std::vector<uint32_t> fibonacci(40);
    fibonacci[0] = fibonacci[1] = 1;
    for (size_t i = 2; i < fibonacci.size(); ++i)
        fibonacci[i] = fibonacci[i - 1] + fibonacci[i - 2]; // a naive tree would be 39 deep
    std::vector<uint32_t> wide(656, 0);
    for (size_t i = 0; i < wide.size(); i += 3)
        wide[i] = static_cast<uint32_t>(1 + i * i);
    struct Case {
        const char* name;
        std::vector<uint32_t> frequencies;
        unsigned max_length;
    };
    const Case cases[] = {
        {"fibonacci main", fibonacci, 16},
        {"fibonacci pretree", std::vector<uint32_t>(fibonacci.begin(), fibonacci.begin() + 20), 15},
        {"fibonacci aligned", std::vector<uint32_t>(fibonacci.begin(), fibonacci.begin() + 8), 7},
        {"two symbols", {0, 5, 0, 9}, 16},
        {"single symbol gets a partner", {0, 0, 7, 0}, 16},
        {"single symbol zero", {3, 0, 0}, 16},
        {"wide alphabet", wide, 16},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto lengths = build_code_lengths(c.frequencies, c.max_length);
        EXPECT_EQ(kraft_sum_scaled(lengths), 65536u);
        for (size_t s = 0; s < lengths.size(); ++s) {
            EXPECT_LE(lengths[s], c.max_length);
            if (c.frequencies[s] != 0) {
                EXPECT_NE(lengths[s], 0) << "used symbol " << s << " has no code";
            }
        }
    }
    EXPECT_EQ(kraft_sum_scaled(build_code_lengths(std::vector<uint32_t>(249, 0), 16)), 0u);
}

TEST(HuffmanCode, CanonicalCodesFollowLengthThenSymbolOrder)
{
    // Lengths 2,1,3,3 -> symbol 1 = 0, symbol 0 = 10, symbols 2/3 = 110/111.
    EXPECT_EQ(canonical_codes({2, 1, 3, 3}), (std::vector<uint16_t>{0b10, 0b0, 0b110, 0b111}));
    EXPECT_EQ(canonical_codes({0, 3, 3, 3, 3, 3, 2, 4, 4}),
              (std::vector<uint16_t>{0, 0b010, 0b011, 0b100, 0b101, 0b110, 0b00, 0b1110, 0b1111}));
}

// Applies planned pretree codes the way the decoder reads them.
std::vector<uint8_t> apply_plan(std::vector<uint8_t> lengths, const LengthsPlan& plan)
{
    size_t i = 0;
    for (const LengthsPlan::Op& op : plan.ops) {
        if (op.symbol <= 16) {
            lengths.at(i) = static_cast<uint8_t>((lengths.at(i) + 17 - op.symbol) % 17);
            ++i;
        } else {
            const unsigned count = op.run_value + (op.symbol == kPretreeZeroRunLong ? 20 : 4);
            const uint8_t value = op.symbol == kPretreeSameRun
                                      ? static_cast<uint8_t>((lengths.at(i) + 17 - op.difference) % 17)
                                      : 0;
            for (unsigned k = 0; k < count; ++k)
                lengths.at(i++) = value; // .at(): a run past the end fails here
        }
    }
    EXPECT_EQ(i, lengths.size());
    return lengths;
}

TEST(TreeLengths, PlannedCodesRebuildTheNewLengths)
{
    TestRandom rng(3);
    for (int trial = 0; trial < 200; ++trial) {
        const unsigned count = 1 + rng.below(300);
        std::vector<uint8_t> previous(count), next;
        for (uint8_t& length : previous)
            length = static_cast<uint8_t>(rng.below(17));
        while (next.size() < count) {
            // runs of zeros and of one length, of every size, and single values
            const uint8_t value = rng.below(3) == 0 ? 0 : static_cast<uint8_t>(rng.below(17));
            next.insert(next.end(), 1 + rng.below(rng.below(2) ? 60 : 4), value);
        }
        next.resize(count);
        for (bool runs : {true, false}) {
            const LengthsPlan plan = plan_lengths(previous.data(), next.data(), count, runs);
            ASSERT_EQ(apply_plan(previous, plan), next) << "trial " << trial << (runs ? " with runs" : "");
            for (const LengthsPlan::Op& op : plan.ops)
                ASSERT_TRUE(runs || op.symbol <= 16);
        }
    }
    // 25 zeros, six 3s, a 5, five zeros over all-zero previous lengths.
    std::vector<uint8_t> next(25, 0);
    next.insert(next.end(), 6, 3);
    next.push_back(5);
    next.insert(next.end(), 5, 0);
    const std::vector<uint8_t> zeros(next.size(), 0);
    const LengthsPlan plan = plan_lengths(zeros.data(), next.data(), static_cast<unsigned>(next.size()), true);
    std::vector<uint8_t> symbols;
    for (const LengthsPlan::Op& op : plan.ops)
        symbols.push_back(op.symbol);
    EXPECT_EQ(symbols, (std::vector<uint8_t>{18, 19, 14, 12, 17}));
}

TEST(LzxFormat, PositionSlotsCoverEveryOffsetOfEveryWindow)
{
    EXPECT_EQ(slot_extra_bits(3), 0u);
    EXPECT_EQ(slot_extra_bits(4), 1u);
    EXPECT_EQ(slot_extra_bits(35), 16u);
    EXPECT_EQ(slot_extra_bits(36), 17u);
    EXPECT_EQ(slot_extra_bits(49), 17u);
    EXPECT_EQ(slot_base(36), 262144u);
    EXPECT_EQ(slot_for_offset(1), 3u);
    for (unsigned bits = kMinWindowBits; bits <= kMaxWindowBits; ++bits) {
        SCOPED_TRACE(bits);
        const unsigned slots = position_slots_for_window(bits);
        const uint32_t max_offset = max_offset_for_window(bits);
        EXPECT_EQ(slot_for_offset(max_offset), slots - 1) << "the largest offset needs the last slot";
        for (uint32_t offset = 1; offset <= max_offset; offset += 1 + offset / 97) {
            const unsigned slot = slot_for_offset(offset);
            ASSERT_GE(slot, 3u);
            ASSERT_LT(slot, slots);
            ASSERT_LE(slot_base(slot), offset + 2);
            ASSERT_LT(offset + 2 - slot_base(slot), 1u << slot_extra_bits(slot));
        }
    }
}

TEST(E8Translation, DecoderRuleUndoesEncoderRule)
{
    struct Case {
        const char* name;
        size_t size;
        int32_t file_size;
    };
    const Case cases[] = {
        {"one partial frame", 20000, 12000000},
        {"several frames, small file size", 200000, 50000},
        {"file size larger than the data", 100000, 0x7FFFFFFF},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto original = make_synthetic_data(DataKind::X86, c.size, 42);
        auto data = original;
        const uint64_t changed = e8_encode_in_place(data, c.file_size);
        EXPECT_GT(changed, c.size / 100);
        EXPECT_NE(data, original);
        EXPECT_EQ(e8_decode_in_place(data, c.file_size), changed);
        EXPECT_EQ(data, original);
    }
}

TEST(E8Translation, LeavesFrameTailsShortFramesAndFarTargetsAlone)
{
    // E8 sites inside the last 10 bytes of a frame, in a frame of 10 bytes,
    // or whose value is outside [-position, file size) are never touched.
    std::vector<uint8_t> data(kFrameSize + 10, 0x90);
    const size_t tail = kFrameSize - 10;
    data[tail] = 0xE8;                      // first byte of the untouched tail
    data[kFrameSize] = 0xE8;                // in the 10-byte last frame
    data[100] = 0xE8;                       // relative -200 at position 100: before the file start
    const int32_t far_back = -200;
    std::memcpy(&data[101], &far_back, 4);
    data[200] = 0xE8;                       // relative 5: becomes absolute 205
    data[201] = 5;
    data[202] = data[203] = data[204] = 0;
    auto translated = data;
    EXPECT_EQ(e8_encode_in_place(translated, 1000), 1u);
    EXPECT_EQ(translated[201], 205);
    translated[201] = 5;
    EXPECT_EQ(translated, data);
}

LzxOptions uncompressed_only(bool pad)
{
    LzxOptions options;
    options.block_pattern = {BlockType::Uncompressed};
    options.pad_odd_uncompressed = pad;
    return options;
}

TEST(LzxStreamLayout, UncompressedBlockFields)
{
    const auto input = bytes_of("hello");
    for (bool pad : {true, false}) {
        SCOPED_TRACE(pad ? "standard" : "no padding byte");
        const LzxStream stream = lzx_encode(input, uncompressed_only(pad));
        LzxBitReader reader(stream.bytes);
        EXPECT_EQ(reader.bits(1), 0u) << "no E8 header";
        EXPECT_EQ(reader.bits(3), 3u) << "block type";
        EXPECT_EQ(reader.bits(16) << 8 | reader.bits(8), 5u) << "block length";
        EXPECT_EQ(reader.bits_left_in_word(), 4u);
        reader.drop_word_rest();
        for (int r = 0; r < 3; ++r)
            EXPECT_EQ(reader.raw_u32le(), 1u) << "R" << r;
        for (char c : std::string("hello"))
            EXPECT_EQ(reader.raw_byte(), static_cast<uint8_t>(c));
        EXPECT_EQ(stream.bytes.size(), reader.byte_position() + (pad ? 1 : 0));
        EXPECT_EQ(stream.frame_ends, std::vector<size_t>{stream.bytes.size()});
        EXPECT_EQ(stream.stats.odd_uncompressed_blocks, 1u);
        EXPECT_EQ(stream.stats.padding_bytes, pad ? 1u : 0u);
    }
}

TEST(LzxStreamLayout, E8HeaderCarriesTheFileSize)
{
    LzxOptions options = uncompressed_only(true);
    options.e8_file_size = 0x01234567;
    const LzxStream stream = lzx_encode(bytes_of("abcdef"), options);
    LzxBitReader reader(stream.bytes);
    EXPECT_EQ(reader.bits(1), 1u);
    EXPECT_EQ(reader.bits(16), 0x0123u);
    EXPECT_EQ(reader.bits(16), 0x4567u);
    EXPECT_EQ(reader.bits(3), 3u);
}

TEST(LzxStreamLayout, FramesEndOnWordBoundariesEvery32768Bytes)
{
    const auto input = make_synthetic_data(DataKind::Mixed, 5 * kFrameSize + 1234, 7);
    struct Case {
        const char* name;
        std::vector<BlockType> pattern;
        uint32_t block_size;
    };
    const Case cases[] = {
        {"automatic", {}, 65536},
        {"verbatim blocks across frames", {BlockType::Verbatim}, 50000},
        {"all kinds, short blocks", {BlockType::Aligned, BlockType::Uncompressed, BlockType::Verbatim}, 9998},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LzxOptions options;
        options.block_pattern = c.pattern;
        options.block_size = c.block_size;
        const LzxStream stream = lzx_encode(input, options);
        ASSERT_EQ(stream.frame_ends.size(), 6u);
        EXPECT_EQ(stream.frame_ends.back(), stream.bytes.size());
        size_t previous = 0;
        for (size_t end : stream.frame_ends) {
            EXPECT_GT(end, previous);
            EXPECT_EQ((end - previous) % 2, 0u) << "frames are whole 16-bit words";
            previous = end;
        }
    }
}

TEST(LzxStreamLayout, EmptyInputHasNoFrames)
{
    const LzxStream stream = lzx_encode(std::vector<uint8_t>{}, {});
    EXPECT_TRUE(stream.bytes.empty());
    EXPECT_TRUE(stream.frame_ends.empty());
}

TEST(LzxEncoderOptions, InvalidChoicesAreRefused)
{
    const auto input = bytes_of("x");
    auto with = [](auto change) {
        LzxOptions options;
        change(options);
        return options;
    };
    EXPECT_THROW(lzx_encode(input, with([](LzxOptions& o) { o.window_bits = 14; })), std::invalid_argument);
    EXPECT_THROW(lzx_encode(input, with([](LzxOptions& o) { o.window_bits = 22; })), std::invalid_argument);
    EXPECT_THROW(lzx_encode(input, with([](LzxOptions& o) { o.block_size = 0; })), std::invalid_argument);
    EXPECT_THROW(lzx_encode(input, with([](LzxOptions& o) { o.block_size = 1u << 24; })), std::invalid_argument);
    EXPECT_THROW(lzx_encode(input, with([](LzxOptions& o) { o.max_match_length = 258; })), std::invalid_argument);
    EXPECT_THROW(lzx_encode(input, with([](LzxOptions& o) { o.e8_file_size = 0x80000000u; })),
                 std::invalid_argument);
}

} // namespace

// Round trips of encoder output through the real LZX decoder
// (lzx_decompress): every feature the encoder can force must decode
// bit-exactly, and the encoder's statistics must show that the feature was
// really written. Also the variant without the padding byte after odd-length
// uncompressed blocks, which decodes only when the call sets
// lzxd_xmem_no_uncompressed_realign.
#include "lzx_encoder.h"
#include "synthetic_data.h"

#include "lzx_memory.h"
#include "lzxd.h"

#include <gtest/gtest.h>

#include <functional>

using namespace lzxenc;

namespace {

struct Decoded {
    int result;
    std::vector<uint8_t> bytes;
};

Decoded decode(const LzxStream& stream, size_t output_length, unsigned window_bits, bool no_realign = false)
{
    Decoded decoded{0, std::vector<uint8_t>(output_length, 0)};
    decoded.result = lzx_decompress(stream.bytes.data(), stream.bytes.size(), decoded.bytes.data(),
                                    decoded.bytes.size(), 1u << window_bits, nullptr, 0, no_realign ? 1 : 0);
    return decoded;
}

// Compares without printing megabytes on failure.
::testing::AssertionResult same_bytes(const std::vector<uint8_t>& actual, const std::vector<uint8_t>& expected)
{
    if (actual.size() != expected.size())
        return ::testing::AssertionFailure() << "size " << actual.size() << " != " << expected.size();
    for (size_t i = 0; i < actual.size(); ++i)
        if (actual[i] != expected[i])
            return ::testing::AssertionFailure() << "first difference at byte " << i;
    return ::testing::AssertionSuccess();
}

struct FeatureCase {
    const char* name;
    DataKind kind;
    size_t size;
    std::function<void(LzxOptions&)> configure;
    std::function<bool(const LzxStats&)> emitted; // proof that the feature is in the stream
};

const std::vector<BlockType> kAllKinds = {BlockType::Verbatim, BlockType::Aligned, BlockType::Uncompressed};

std::vector<FeatureCase> feature_cases()
{
    using B = BlockType;
    return {
        {"automatic block choice, mixed data", DataKind::Mixed, 400000, [](LzxOptions&) {},
         [](const LzxStats& s) { return s.blocks[1] + s.blocks[2] > 0 && s.frames == 13; }},
        {"verbatim blocks", DataKind::Text, 150000, [](LzxOptions& o) { o.block_pattern = {B::Verbatim}; },
         [](const LzxStats& s) { return s.blocks[1] == 3 && s.blocks[2] + s.blocks[3] == 0; }},
        {"aligned-offset blocks", DataKind::X86, 150000,
         [](LzxOptions& o) { o.block_pattern = {B::Aligned}, o.window_bits = 17; },
         [](const LzxStats& s) { return s.blocks[2] == 3 && s.aligned_symbols > 1000; }},
        {"uncompressed blocks of odd length with padding", DataKind::Random, 100000,
         [](LzxOptions& o) { o.block_pattern = {B::Uncompressed}, o.block_size = 9999; },
         [](const LzxStats& s) { return s.blocks[3] == 11 && s.odd_uncompressed_blocks == 10 && s.padding_bytes == 10; }},
        {"all kinds, blocks spanning frames", DataKind::Mixed, 300000,
         [&](LzxOptions& o) { o.block_pattern = kAllKinds, o.block_size = 70001; },
         [](const LzxStats& s) { return s.blocks_spanning_frames >= 4 && s.blocks[1] && s.blocks[2] && s.blocks[3]; }},
        {"many short blocks, headers ending on a word boundary", DataKind::Text, 300000,
         [](LzxOptions& o) { o.block_pattern = {B::Verbatim, B::Uncompressed, B::Aligned}, o.block_size = 777; },
         [](const LzxStats& s) { return s.whole_word_alignments > 0 && s.blocks[3] > 100; }},
        {"pretree runs 17, 18 and 19", DataKind::Text, 100000, [](LzxOptions&) {},
         [](const LzxStats& s) { return s.pretree_symbols[17] && s.pretree_symbols[18] && s.pretree_symbols[19]; }},
        {"plain length differences only", DataKind::Text, 100000,
         [](LzxOptions& o) { o.use_pretree_runs = false; },
         [](const LzxStats& s) { return !s.pretree_symbols[17] && !s.pretree_symbols[18] && !s.pretree_symbols[19]; }},
        {"repeated offsets R0, R1, R2", DataKind::Records, 200000, [](LzxOptions&) {},
         [](const LzxStats& s) {
             return s.repeat_matches[0] > 100 && s.repeat_matches[1] > 100 && s.repeat_matches[2] > 100;
         }},
        {"no repeated-offset slots", DataKind::Records, 200000,
         [](LzxOptions& o) { o.use_repeat_offsets = false; },
         [](const LzxStats& s) { return s.matches > 0 && !s.repeat_matches[0] && !s.repeat_matches[1] && !s.repeat_matches[2]; }},
        {"registers rotated by uncompressed blocks", DataKind::Records, 200000,
         [](LzxOptions& o) {
             o.block_pattern = {B::Verbatim, B::Uncompressed}, o.block_size = 5000, o.rotate_repeats_in_uncompressed = true;
         },
         [](const LzxStats& s) { return s.blocks[3] == 20 && s.repeat_matches[1] > 0; }},
        {"E8 translation", DataKind::X86, 300000, [](LzxOptions& o) { o.e8_file_size = 12000000; },
         [](const LzxStats& s) { return s.e8_translations > 10000; }},
        {"E8 translation, small file size, uncompressed first", DataKind::X86, 120000,
         [](LzxOptions& o) { o.e8_file_size = 70000, o.block_pattern = {B::Uncompressed, B::Aligned}, o.block_size = 30000; },
         [](const LzxStats& s) { return s.e8_translations > 1000 && s.blocks[3] == 2; }},
        {"E8 header with file size 0", DataKind::X86, 100000, [](LzxOptions& o) { o.e8_file_size = 0; },
         [](const LzxStats& s) { return s.e8_translations == 0; }},
        {"empty length trees", DataKind::Text, 150000, [](LzxOptions& o) { o.max_match_length = 8; },
         [](const LzxStats& s) { return s.long_matches == 0 && s.empty_length_trees == s.blocks[1] + s.blocks[2]; }},
        {"longest matches", DataKind::Runs, 200000, [](LzxOptions& o) { o.block_pattern = {B::Verbatim}; },
         [](const LzxStats& s) { return s.long_matches > 100; }},
        {"single byte", DataKind::Random, 1, [](LzxOptions&) {}, [](const LzxStats& s) { return s.frames == 1; }},
        {"exactly two frames", DataKind::Text, 65536, [](LzxOptions& o) { o.block_pattern = {B::Aligned}; },
         [](const LzxStats& s) { return s.frames == 2; }},
    };
}

TEST(LzxRoundTrip, EveryForcedFeatureDecodesExactly)
{
    uint64_t seed = 1;
    for (const FeatureCase& c : feature_cases()) {
        SCOPED_TRACE(c.name);
        const auto input = make_synthetic_data(c.kind, c.size, seed++);
        LzxOptions options;
        c.configure(options);
        const LzxStream stream = lzx_encode(input, options);
        EXPECT_TRUE(c.emitted(stream.stats)) << "the feature was not written";
        EXPECT_EQ(stream.stats.frames, (c.size + kFrameSize - 1) / kFrameSize);
        const Decoded decoded = decode(stream, input.size(), options.window_bits);
        ASSERT_EQ(decoded.result, 0);
        EXPECT_TRUE(same_bytes(decoded.bytes, input));
    }
}

// Twice the window and more, made of one stretch repeated at a distance
// just short of the window size (and not a multiple of the frame size): the
// copies use the highest position slots, reach back across the window's
// start, and some run across the window's end.
constexpr uint32_t kStretchShortfall = 5000;

std::vector<uint8_t> wrapping_input(unsigned window_bits, uint64_t seed)
{
    const size_t window = size_t{1} << window_bits;
    const auto stretch = make_synthetic_data(DataKind::Mixed, window - kStretchShortfall, seed);
    std::vector<uint8_t> input;
    while (input.size() < 2 * window + 5 * kFrameSize / 2)
        input.insert(input.end(), stretch.begin(), stretch.end());
    input.resize(2 * window + 5 * kFrameSize / 2);
    return input;
}

TEST(LzxRoundTrip, EveryWindowSizeIncludingMatchesAcrossTheWrapPoint)
{
    for (unsigned bits = kMinWindowBits; bits <= kMaxWindowBits; ++bits) {
        SCOPED_TRACE(bits);
        const auto input = wrapping_input(bits, bits);
        LzxOptions options;
        options.window_bits = bits;
        const LzxStream stream = lzx_encode(input, options);
        EXPECT_GT(stream.stats.wrapped_matches, 0u);
        EXPECT_GT(stream.stats.split_wrapped_matches, 0u);
        EXPECT_EQ(stream.stats.longest_offset, (1u << bits) - kStretchShortfall);
        const Decoded decoded = decode(stream, input.size(), bits);
        ASSERT_EQ(decoded.result, 0);
        EXPECT_TRUE(same_bytes(decoded.bytes, input));
    }
}

TEST(LzxRoundTrip, StreamForAnotherWindowDoesNotDecodeToTheInput)
{
    // A stream that uses long offsets must not be mistaken for valid under a
    // smaller window: its position slots mean other offsets there.
    const auto input = wrapping_input(17, 5);
    LzxOptions options;
    options.window_bits = 17;
    const LzxStream stream = lzx_encode(input, options);
    const Decoded decoded = decode(stream, input.size(), 15);
    EXPECT_TRUE(decoded.result != 0 || !same_bytes(decoded.bytes, input));
}

// Random data in uncompressed blocks of odd length, each followed by a
// verbatim block of text.
struct PaddingFixture {
    std::vector<uint8_t> input;
    LzxStream stream;
};

PaddingFixture odd_uncompressed_then_more(bool pad)
{
    PaddingFixture f;
    for (int i = 0; i < 6; ++i) {
        const auto random = make_synthetic_data(DataKind::Random, 4001, 100 + i);
        const auto text = make_synthetic_data(DataKind::Text, 4001, 200 + i);
        f.input.insert(f.input.end(), random.begin(), random.end());
        f.input.insert(f.input.end(), text.begin(), text.end());
    }
    LzxOptions options;
    options.block_pattern = {BlockType::Uncompressed, BlockType::Verbatim};
    options.block_size = 4001;
    options.pad_odd_uncompressed = pad;
    f.stream = lzx_encode(f.input, options);
    return f;
}

TEST(LzxPaddingVariant, OddUncompressedBlockFollowedByAnotherNeedsTheRightSetting)
{
    struct Case {
        bool pad;
        bool switch_on;
        bool decodes;
    };
    const Case cases[] = {
        {true, false, true},   // standard stream, standard reading
        {false, true, true},   // no padding byte, switch set
        {false, false, false}, // no padding byte read as standard: the next header is off by one byte
        {true, true, false},   // standard stream with the switch: the padding byte is read as a header
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.pad ? "padded" : "unpadded") + (c.switch_on ? ", switch on" : ", switch off"));
        const PaddingFixture f = odd_uncompressed_then_more(c.pad);
        ASSERT_EQ(f.stream.stats.odd_uncompressed_blocks, 6u);
        ASSERT_EQ(f.stream.stats.padding_bytes, c.pad ? 6u : 0u);
        const Decoded decoded = decode(f.stream, f.input.size(), 16, c.switch_on);
        if (c.decodes) {
            ASSERT_EQ(decoded.result, 0);
            EXPECT_TRUE(same_bytes(decoded.bytes, f.input));
        } else {
            EXPECT_NE(decoded.result, 0);
        }
    }
}

TEST(LzxPaddingVariant, OddUncompressedBlockAtTheEndDecodesEitherWay)
{
    const auto input = make_synthetic_data(DataKind::Random, 40001, 9);
    LzxOptions options;
    options.block_pattern = {BlockType::Uncompressed};
    options.block_size = 40001;
    options.pad_odd_uncompressed = false;
    const LzxStream stream = lzx_encode(input, options);
    for (bool switch_on : {false, true}) {
        const Decoded decoded = decode(stream, input.size(), 16, switch_on);
        ASSERT_EQ(decoded.result, 0) << (switch_on ? "switch on" : "switch off");
        EXPECT_TRUE(same_bytes(decoded.bytes, input));
    }
}

// A stream without padding bytes, read in the standard variant, goes wrong at
// the byte after the first odd uncompressed block. Whatever the misread
// headers then say, the decode must fail rather than hand back wrong bytes
// as a success: zorv's retry with the other variant depends on it.
TEST(LzxPaddingVariant, MisreadUnpaddedStreamsNeverPassAsComplete)
{
    const auto input = make_synthetic_data(DataKind::X86, 5000, 21);
    int misread = 0;
    for (size_t block_size = 3; block_size <= 401; block_size += 2) {
        for (const auto& pattern : {std::vector<BlockType>{BlockType::Aligned, BlockType::Uncompressed},
                                    std::vector<BlockType>{BlockType::Uncompressed}}) {
            SCOPED_TRACE("block size " + std::to_string(block_size) + (pattern.size() == 1 ? ", uncompressed only" : ""));
            LzxOptions options;
            options.block_pattern = pattern;
            options.block_size = block_size;
            options.pad_odd_uncompressed = false;
            const LzxStream stream = lzx_encode(input, options);
            const Decoded standard = decode(stream, input.size(), 16, false);
            if (standard.result == 0)
                ASSERT_TRUE(same_bytes(standard.bytes, input)) << "wrong bytes reported as a success";
            else
                ++misread;
            const Decoded variant = decode(stream, input.size(), 16, true);
            ASSERT_EQ(variant.result, 0);
            EXPECT_TRUE(same_bytes(variant.bytes, input));
        }
    }
    EXPECT_GT(misread, 0);
}

TEST(LzxRoundTrip, DataKindsAndSeeds)
{
    struct Case {
        DataKind kind;
        uint64_t seed;
        unsigned window_bits;
        size_t size;
    };
    const Case cases[] = {
        {DataKind::Random, 11, 15, 100000}, {DataKind::Text, 12, 16, 250000}, {DataKind::Records, 13, 18, 180000},
        {DataKind::X86, 14, 19, 220000},    {DataKind::Runs, 15, 20, 300000}, {DataKind::Mixed, 16, 21, 500000},
        {DataKind::Mixed, 17, 15, 333333},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(data_kind_name(c.kind)) + " seed " + std::to_string(c.seed));
        const auto input = make_synthetic_data(c.kind, c.size, c.seed);
        LzxOptions options;
        options.window_bits = c.window_bits;
        options.e8_file_size = c.kind == DataKind::X86 || c.kind == DataKind::Mixed ? std::optional<uint32_t>(1 << 20)
                                                                                    : std::nullopt;
        const LzxStream stream = lzx_encode(input, options);
        const Decoded decoded = decode(stream, input.size(), c.window_bits);
        ASSERT_EQ(decoded.result, 0);
        EXPECT_TRUE(same_bytes(decoded.bytes, input));
    }
}

} // namespace

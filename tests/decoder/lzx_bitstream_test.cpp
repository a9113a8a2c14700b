// LZX decoder rules, one hand-built bitstream each: uncompressed blocks and
// the padding-byte switch, code-length runs, repeated offsets, position
// slots, invalid blocks and trees, matches that may not be, the end of the
// input, and the Intel E8 post-processing.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <set>
#include <string>
#include <thread>

#include "lzx_memory.h"
#include "lzx_stream_writer.h"
#include "zorv_file_builder.h"

namespace decoder_test {
namespace {

struct Decoded {
    int rc;
    Bytes out;
};

// `no_padding` selects the variant without the padding byte after an
// odd-length uncompressed block.
Decoded decode(const Bytes& stream, size_t out_length, uint32_t window = 1u << 16, bool no_padding = false)
{
    Decoded d{-1, Bytes(out_length, 0xCC)};
    d.rc = lzx_decompress(stream.data(), stream.size(), d.out.data(), out_length, window, nullptr, 0,
                          no_padding ? 1 : 0);
    return d;
}

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

void put_le32(Bytes& bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = uint8_t(value >> (8 * i));
}

// Items that code `count` zero lengths with runs of symbol 18 (at most 51 each).
std::vector<PretreeItem> zero_runs(unsigned count)
{
    std::vector<PretreeItem> items;
    while (count > 0) {
        const unsigned run = std::min(count, 51u);
        if (run < 20)
            throw std::logic_error("zero run too short for symbol 18");
        items.push_back(PretreeItem{18, run - 20});
        count -= run;
    }
    return items;
}

std::vector<PretreeItem> join(std::initializer_list<std::vector<PretreeItem>> parts)
{
    std::vector<PretreeItem> items;
    for (const auto& part : parts)
        items.insert(items.end(), part.begin(), part.end());
    return items;
}

// ---------------------------------------------------------------------------
// Uncompressed blocks

TEST(LzxUncompressed, BlocksOfAnyLengthDecode)
{
    for (size_t length : {size_t(1), size_t(2), size_t(3), size_t(17), size_t(32768 + 5)}) {
        SCOPED_TRACE(length);
        const Bytes first = segment_content(length, 1);
        LzxStreamWriter w;
        w.stream_header();
        w.uncompressed_block(first, {1, 1, 1});
        w.uncompressed_block(text("xyz"), {1, 1, 1});
        const Decoded d = decode(w.finish(), length + 3);
        EXPECT_EQ(d.rc, 0);
        EXPECT_EQ(d.out, concat({first, text("xyz")}));
    }
}

struct PaddingCase {
    const char* name;
    bool padding_written;
    bool no_padding_switch;
    int expected_rc;
};

TEST(LzxUncompressed, PaddingByteAfterOddBlockFollowsTheSwitch)
{
    // After "abc" the decoder either skips one byte or reads the next header
    // at once. Reading it off by one byte gives block type 0 (the padding
    // byte and the header's low byte) or 4 (the header's shifted bytes).
    const PaddingCase cases[] = {
        {"standard stream, standard decoder", true, false, 0},
        {"stream without padding, switch set", false, true, 0},
        {"standard stream, switch set", true, true, 11},
        {"stream without padding, standard decoder", false, false, 11},
    };
    for (const PaddingCase& c : cases) {
        SCOPED_TRACE(c.name);
        LzxStreamWriter w;
        w.stream_header();
        w.uncompressed_block(text("abc"), {1, 1, 1}, c.padding_written);
        w.uncompressed_block(text("defg"), {1, 1, 1});
        const Decoded d = decode(w.finish(), 7, 1u << 16, c.no_padding_switch);
        EXPECT_EQ(d.rc, c.expected_rc);
        if (c.expected_rc == 0) {
            EXPECT_EQ(d.out, text("abcdefg"));
        }
    }
}

// Each call decodes in the variant it asks for, whatever other calls ask
// for at the same time: two threads decode at once, one stream of each
// variant, each stream reading its variant at every one of its block
// headers. Any setting shared between decoder states would make one of them
// misread a header (and fail) within a few calls.
TEST(LzxUncompressed, VariantBelongsToTheCallEvenAcrossThreads)
{
    struct Stream {
        Bytes bytes;
        Bytes content;
        bool no_padding;
    };
    auto odd_blocks = [](bool padding) {
        Stream s{{}, {}, !padding};
        LzxStreamWriter w;
        w.stream_header();
        for (unsigned i = 0; i < 2000; ++i) {
            const Bytes part = segment_content(3 + 2 * (i % 5), uint8_t(i));
            w.uncompressed_block(part, {1, 1, 1}, padding);
            s.content.insert(s.content.end(), part.begin(), part.end());
        }
        s.bytes = w.finish();
        return s;
    };
    const Stream streams[2] = {odd_blocks(true), odd_blocks(false)};
    for (const Stream& stream : streams) {
        ASSERT_NE(decode(stream.bytes, stream.content.size(), 1u << 16, !stream.no_padding).rc, 0)
            << "the fixture must decode in one variant only";
    }

    constexpr int kCalls = 100;
    std::atomic<int> ready{0};
    int failures[2] = {0, 0};
    auto decode_many = [&](int which) {
        const Stream& stream = streams[which];
        ready.fetch_add(1);
        while (ready.load() < 2) {
        }
        for (int i = 0; i < kCalls; ++i) {
            const Decoded d = decode(stream.bytes, stream.content.size(), 1u << 16, stream.no_padding);
            failures[which] += d.rc != 0 || d.out != stream.content;
        }
    };
    std::thread standard(decode_many, 0), no_padding(decode_many, 1);
    standard.join();
    no_padding.join();
    EXPECT_EQ(failures[0], 0) << "standard variant";
    EXPECT_EQ(failures[1], 0) << "variant without padding";
}

TEST(LzxUncompressed, OddBlockAtTheEndDecodesEitherWay)
{
    for (bool padding : {false, true}) {
        for (bool no_padding_switch : {false, true}) {
            SCOPED_TRACE(std::to_string(padding) + std::to_string(no_padding_switch));
            LzxStreamWriter w;
            w.stream_header();
            w.uncompressed_block(text("hello"), {1, 1, 1}, padding);
            const Decoded d = decode(w.finish(), 5, 1u << 16, no_padding_switch);
            EXPECT_EQ(d.rc, 0);
            EXPECT_EQ(d.out, text("hello"));
        }
    }
}

TEST(LzxUncompressed, HeaderOnA16BitBoundaryDropsAWholeWord)
{
    // A verbatim block of k one-bit literals puts the following uncompressed
    // block header either on a word boundary (16 padding bits follow) or
    // not (1-15 bits).
    const auto lengths = main_lengths(16, {{'a', 1}, {'b', 1}});
    const auto none = length_lengths({});
    LzxStreamWriter probe;
    probe.stream_header();
    probe.verbatim_block(1, lengths, none);
    const unsigned start = probe.bits().bits_in_word();

    for (unsigned boundary_offset : {0u, 8u}) {
        SCOPED_TRACE(boundary_offset);
        unsigned k = 1;
        while ((start + k + 27) % 16 != boundary_offset)
            ++k;
        LzxStreamWriter w;
        w.stream_header();
        w.verbatim_block(k, lengths, none);
        for (unsigned i = 0; i < k; ++i)
            w.literal('a');
        w.block_header(kBlockUncompressed, 4);
        EXPECT_EQ(w.bits().bits_in_word(), boundary_offset);
        w.bits().pad_for_uncompressed();
        w.bits().put_raw(concat({Bytes(12, 0), text("WXYZ")}));
        const Decoded d = decode(w.finish(), k + 4);
        EXPECT_EQ(d.rc, 0);
        EXPECT_EQ(d.out, concat({Bytes(k, 'a'), text("WXYZ")}));
    }
}

// ---------------------------------------------------------------------------
// Code lengths

TEST(LzxTrees, RunSymbolsAndRunsPastTheLastEntry)
{
    // Main tree for a 64 KiB window (512 symbols). Symbols 17, 18 and 19 code
    // the lengths; the 19-runs at entries 254 and 510 continue past the end
    // of their list, into 256-257 (which the second list then keeps with
    // delta 0) and into 512-513 (which count in the tree although no window
    // uses them). Without those overflows the tree is incomplete.
    const std::vector<PretreeItem> chars = join({
        {{17, 15}},              // 0-18: zero
        zero_runs(51 + 27),      // 19-96
        {{15}},                  // 97 'a': 0 -> 2
        {{19, 0, 13}},           // 98-101: four entries 0 -> 4
        zero_runs(152),          // 102-253
        {{19, 0, 13}},           // 254-257: four entries -> 4
    });
    const std::vector<PretreeItem> matches = join({
        {{0}, {0}},              // 256, 257 keep 4
        zero_runs(252),          // 258-509
        {{19, 0, 13}},           // 510-513 -> 4
    });
    std::vector<uint8_t> expected_lengths(256 + 8 * 290, 0);
    expected_lengths['a'] = 2;
    for (unsigned sym : {98u, 99u, 100u, 101u, 254u, 255u, 256u, 257u, 510u, 511u, 512u, 513u})
        expected_lengths[sym] = 4;
    const PrefixCode main = canonical_code(expected_lengths);

    LzxStreamWriter w;
    w.stream_header();
    w.block_header(kBlockVerbatim, 10);
    put_length_items(w.bits(), standard_pretree(), chars);
    put_length_items(w.bits(), standard_pretree(), matches);
    put_length_items(w.bits(), standard_pretree(), zero_runs(249));  // empty length tree
    for (unsigned sym : {97u, 98u, 256u, 101u, 255u, 257u, 254u})
        put_symbol(w.bits(), main, sym);

    const Decoded d = decode(w.finish(), 10);
    EXPECT_EQ(d.rc, 0);
    EXPECT_EQ(d.out, text("abbbe\xff\xff\xff\xff\xfe"));
}

TEST(LzxTrees, LengthTreeRunReachesItsSymbol249)
{
    // Only 249 length-tree lengths are read, but the tree has 250 symbols: a
    // run past the end gives symbol 249 a code, and with it a 258-byte match.
    const std::vector<PretreeItem> items = join({zero_runs(246), {{19, 0, 15}}});  // 246-249 -> 2
    std::vector<uint8_t> expected_lengths(250, 0);
    for (unsigned sym = 246; sym < 250; ++sym)
        expected_lengths[sym] = 2;
    const PrefixCode length_code = canonical_code(expected_lengths);
    const auto main_target = main_lengths(16, {{'x', 1}, {match_symbol(0, 9), 1}});
    const PrefixCode main = canonical_code(main_target);

    LzxStreamWriter w;
    w.stream_header();
    w.block_header(kBlockVerbatim, 259);
    const std::vector<uint8_t> zero(512, 0);
    put_length_items(w.bits(), standard_pretree(), delta_items(zero, main_target, 0, 256));
    put_length_items(w.bits(), standard_pretree(), delta_items(zero, main_target, 256, 512));
    put_length_items(w.bits(), standard_pretree(), items);
    put_symbol(w.bits(), main, 'x');
    put_symbol(w.bits(), main, match_symbol(0, 9));
    put_symbol(w.bits(), length_code, 249);

    const Decoded d = decode(w.finish(), 259);
    EXPECT_EQ(d.rc, 0);
    EXPECT_EQ(d.out, Bytes(259, 'x'));
}

TEST(LzxTrees, InvalidTreesAreCorruptData)
{
    const auto two_literals = main_lengths(16, {{'a', 1}, {'b', 1}});
    const auto none = length_lengths({});
    struct Case {
        const char* name;
        std::function<void(LzxStreamWriter&)> write_block;
    };
    const Case cases[] = {
        {"pretree over-subscribed",
         [](LzxStreamWriter& w) {
             w.block_header(kBlockVerbatim, 8);
             put_length_items(w.bits(), std::vector<uint8_t>(20, 1), {});
         }},
        {"pretree empty",
         [](LzxStreamWriter& w) {
             w.block_header(kBlockVerbatim, 8);
             put_length_items(w.bits(), std::vector<uint8_t>(20, 0), {});
         }},
        {"main tree incomplete",
         [&](LzxStreamWriter& w) { w.verbatim_block(8, main_lengths(16, {{'a', 1}}), none); }},
        {"main tree over-subscribed",
         [&](LzxStreamWriter& w) { w.verbatim_block(8, main_lengths(16, {{'a', 1}, {'b', 1}, {'c', 1}}), none); }},
        {"main tree empty", [&](LzxStreamWriter& w) { w.verbatim_block(8, main_lengths(16, {}), none); }},
        {"length tree incomplete",
         [&](LzxStreamWriter& w) { w.verbatim_block(8, two_literals, length_lengths({{0, 1}})); }},
        {"length tree over-subscribed",
         [&](LzxStreamWriter& w) {
             w.verbatim_block(8, two_literals, length_lengths({{0, 1}, {1, 1}, {2, 1}}));
         }},
        {"aligned tree incomplete",
         [&](LzxStreamWriter& w) { w.aligned_block(8, {1, 0, 0, 0, 0, 0, 0, 0}, two_literals, none); }},
        {"aligned tree over-subscribed",
         [&](LzxStreamWriter& w) { w.aligned_block(8, {1, 1, 1, 0, 0, 0, 0, 0}, two_literals, none); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LzxStreamWriter w;
        w.stream_header();
        c.write_block(w);
        const Bytes stream = concat({w.finish(), Bytes(4096, 0)});
        EXPECT_EQ(decode(stream, 8).rc, 11);
    }
}

TEST(LzxTrees, EmptyLengthTreeServesUntilALengthSymbolIsNeeded)
{
    const auto lengths =
        main_lengths(16, {{'a', 1}, {match_symbol(0, 2), 2}, {match_symbol(0, 9), 2}});
    const PrefixCode main = canonical_code(lengths);
    for (unsigned match_length : {2u, 9u}) {
        SCOPED_TRACE(match_length);
        LzxStreamWriter w;
        w.stream_header();
        w.verbatim_block(1 + match_length, lengths, length_lengths({}));
        w.literal('a');
        put_symbol(w.bits(), main, match_symbol(0, match_length));
        const Decoded d = decode(concat({w.finish(), Bytes(64, 0)}), 1 + match_length);
        if (match_length == 2) {
            EXPECT_EQ(d.rc, 0);
            EXPECT_EQ(d.out, text("aaa"));
        } else {
            EXPECT_EQ(d.rc, 11);
        }
    }
}

TEST(LzxTrees, InvalidBlockTypesAreCorruptData)
{
    for (unsigned type : {0u, 4u, 5u, 6u, 7u}) {
        SCOPED_TRACE(type);
        LzxStreamWriter w;
        w.stream_header();
        w.block_header(type, 100);
        EXPECT_EQ(decode(concat({w.finish(), Bytes(256, 0)}), 100).rc, 11);
    }
}

// ---------------------------------------------------------------------------
// Matches

TEST(LzxMatches, RepeatedOffsetsFollowTheirSwapRules)
{
    // R0..R2 start as 2, 5, 7 from the uncompressed block's header.
    LzxStreamWriter w;
    w.stream_header();
    w.uncompressed_block(text("abcdefgh"), {2, 5, 7});
    w.verbatim_block(17,
                     main_lengths(16, {{match_symbol(0, 2), 3},
                                       {match_symbol(1, 2), 3},
                                       {match_symbol(2, 2), 3},
                                       {match_symbol(2, 3), 3},
                                       {match_symbol(3, 2), 3},
                                       {'x', 3},
                                       {'y', 3},
                                       {'z', 3}}),
                     length_lengths({}));
    w.repeat_match(2, 0);     // R0 = 2: "gh"
    w.repeat_match(2, 1);     // R1 = 5, swapped with R0 -> (5, 2, 7): "fg"
    w.repeat_match(3, 2);     // R2 = 7, swapped with R0 -> (7, 2, 5): "fgh"
    w.repeat_match(2, 2);     // R2 = 5, swapped with R0 -> (5, 2, 7): "fg"
    w.repeat_match(2, 0);     // 5: "fg"
    w.distance_match(2, 1);   // new offset 1 -> (1, 5, 2): "gg"
    w.repeat_match(2, 1);     // 5 -> (5, 1, 2): "gf"
    w.repeat_match(2, 2);     // 2 -> (2, 1, 5): "gf"
    const Decoded d = decode(w.finish(), 25);
    EXPECT_EQ(d.rc, 0);
    EXPECT_EQ(std::string(d.out.begin(), d.out.end()), "abcdefghghfgfghfgfggggfgf");
}

TEST(LzxMatches, PositionSlotsInVerbatimAndAlignedBlocks)
{
    // Every slot of a 64 KiB window, with its extra bits sent verbatim or
    // (three or more of them) split between verbatim bits and an aligned
    // symbol.
    const Bytes history = segment_content(50000, 7);
    const uint32_t distances[] = {1,  2,   3,   4,    5,    6,    7,     8,     9,     12,    13,   16,
                                  17, 100, 999, 1000, 4097, 8000, 16385, 32768, 40000, 49999, 50000};
    std::vector<std::pair<unsigned, uint8_t>> symbols;
    for (unsigned slot = 0; slot < 32; ++slot)
        symbols.push_back({match_symbol(slot, 3), 5});
    const auto lengths = main_lengths(16, symbols);

    for (bool aligned : {false, true}) {
        SCOPED_TRACE(aligned ? "aligned" : "verbatim");
        LzxStreamWriter w;
        w.stream_header();
        w.uncompressed_block(history);
        const uint32_t block_length = uint32_t(std::size(distances) * 3);
        if (aligned)
            w.aligned_block(block_length, {3, 3, 3, 3, 3, 3, 3, 3}, lengths, length_lengths({}));
        else
            w.verbatim_block(block_length, lengths, length_lengths({}));
        Bytes expected = history;
        for (uint32_t distance : distances) {
            w.distance_match(3, distance);
            for (int i = 0; i < 3; ++i)
                expected.push_back(expected[expected.size() - distance]);
        }
        const Decoded d = decode(w.finish(), expected.size());
        EXPECT_EQ(d.rc, 0);
        EXPECT_EQ(d.out, expected);
    }
}

TEST(LzxMatches, MatchesThatMayNotBeAreCorruptData)
{
    const auto lengths = main_lengths(16, {{'a', 2},
                                           {'b', 2},
                                           {match_symbol(0, 3), 3},
                                           {match_symbol(0, 5), 3},
                                           {match_symbol(0, 8), 3},
                                           {match_symbol(0, 9), 4},
                                           {match_symbol(4, 3), 4}});
    const auto long_lengths = length_lengths({{1, 1}, {3, 1}});  // lengths 10 and 12
    struct Case {
        const char* name;
        uint32_t window;
        size_t output;
        int expected_rc;
        std::function<void(LzxStreamWriter&)> write;
        Bytes expected = {};  // the output, for the cases that decode
    };
    const Bytes nearly_a_frame = segment_content(32760, 3);
    const Bytes frame_end_output =
        concat({nearly_a_frame, Bytes(8, nearly_a_frame.back()), text("ab")});
    const Case cases[] = {
        {"match before the first byte", 1u << 16, 4, 11,
         [&](LzxStreamWriter& w) {
             w.verbatim_block(4, lengths, long_lengths);
             w.repeat_match(3, 0);
         }},
        {"new distance beyond the bytes decoded", 1u << 16, 5, 11,
         [&](LzxStreamWriter& w) {
             w.verbatim_block(5, lengths, long_lengths);
             w.literal('a');
             w.literal('b');
             w.distance_match(3, 3);
         }},
        {"match ending exactly at the frame end", 1u << 16, 32768 + 2, 0,
         [&](LzxStreamWriter& w) {
             w.uncompressed_block(nearly_a_frame);
             w.verbatim_block(10, lengths, long_lengths);
             w.repeat_match(8, 0);
             w.bits().align_to_word();  // the frame ends here
             w.literal('a');
             w.literal('b');
         },
         frame_end_output},
        {"match crossing the frame end", 1u << 16, 32768 + 10, 11,
         [&](LzxStreamWriter& w) {
             w.uncompressed_block(nearly_a_frame);
             w.verbatim_block(20, lengths, long_lengths);
             w.repeat_match(10, 0);
         }},
        {"match crossing the window end", 1u << 15, 32768 + 10, 11,
         [&](LzxStreamWriter& w) {
             w.uncompressed_block(nearly_a_frame);
             w.verbatim_block(20, lengths, long_lengths);
             w.repeat_match(10, 0);
         }},
        {"match ending exactly at the block end", 1u << 16, 8, 0,
         [&](LzxStreamWriter& w) {
             w.verbatim_block(4, lengths, long_lengths);
             w.literal('a');
             w.repeat_match(3, 0);
             w.verbatim_block(4, lengths, long_lengths);
             w.literal('b');
             w.repeat_match(3, 0);
         },
         text("aaaabbbb")},
        {"match crossing the block end", 1u << 16, 8, 11,
         [&](LzxStreamWriter& w) {
             w.verbatim_block(4, lengths, long_lengths);
             w.literal('a');
             w.repeat_match(5, 0);
             w.verbatim_block(2, lengths, long_lengths);
             w.literal('b');
             w.literal('b');
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LzxStreamWriter w;
        w.stream_header();
        c.write(w);
        const Decoded d = decode(concat({w.finish(), Bytes(64, 0)}), c.output, c.window);
        EXPECT_EQ(d.rc, c.expected_rc);
        if (c.expected_rc == 0) {
            EXPECT_EQ(d.out, c.expected);
        }
    }
}

TEST(LzxMatches, ShortMatchEndingAtTheWindowEnd)
{
    // With a 32 KiB window the first frame fills the whole window: a short
    // match ending on its last byte, then bytes at its start again.
    const Bytes history = segment_content(32760, 4);
    const auto lengths = main_lengths(15, {{'a', 1}, {match_symbol(13, 8), 1}});
    LzxStreamWriter w(15);
    w.stream_header();
    w.uncompressed_block(history);
    w.verbatim_block(10, lengths, length_lengths({}));
    w.distance_match(8, 100);
    w.bits().align_to_word();  // the frame ends here
    w.literal('a');
    w.literal('a');
    Bytes expected = history;
    for (int i = 0; i < 8; ++i)
        expected.push_back(expected[expected.size() - 100]);
    expected.push_back('a');
    expected.push_back('a');
    const Decoded d = decode(w.finish(), expected.size(), 1u << 15);
    EXPECT_EQ(d.rc, 0);
    EXPECT_EQ(d.out, expected);
}

TEST(LzxBlocks, LastBlockEndsWithTheOutput)
{
    // A block that would run on past the end of a stream of known length
    // means misread headers (the variant without padding bytes read as the
    // standard one, say): the decode fails rather than pass the bytes as
    // content.
    const Bytes content = text("0123456789");
    const auto lengths = main_lengths(16, {{'0', 1}, {'1', 1}});
    struct Case {
        const char* name;
        std::function<void(LzxStreamWriter&)> write;
        int expected_rc;
    };
    const Case cases[] = {
        {"uncompressed block of exactly the output", [&](LzxStreamWriter& w) { w.uncompressed_block(content); }, 0},
        {"uncompressed block longer than the output",
         [&](LzxStreamWriter& w) { w.uncompressed_block(concat({content, text("abcd")})); }, 11},
        {"verbatim block longer than the output",
         [&](LzxStreamWriter& w) {
             w.verbatim_block(12, lengths, length_lengths({}));
             for (int i = 0; i < 12; ++i)
                 w.literal('0');
         },
         11},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LzxStreamWriter w;
        w.stream_header();
        c.write(w);
        const Decoded d = decode(w.finish(), content.size());
        EXPECT_EQ(d.rc, c.expected_rc);
        if (c.expected_rc == 0) {
            EXPECT_EQ(d.out, content);
        }
    }
}

// ---------------------------------------------------------------------------
// End of input

TEST(LzxInputEnd, StreamEndingMidWordDecodesAndOneWordLessIsTooShort)
{
    // 'a' and 'b' have one-bit codes. Whatever bit of its last word the
    // stream ends on, the decoder's look-ahead past it (16 bits before each
    // symbol, the next word when a frame ends mid-word) is served by the two
    // zero bytes supplied at the end of the input; without the last word
    // the stream is too short, even when only its first bit was used.
    const Bytes pattern = text("babbbabbabbbbbabbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb");
    std::set<unsigned> bits_in_last_word;
    for (size_t length = 30; length < 46; ++length) {
        SCOPED_TRACE(length);
        const Bytes content(pattern.begin(), pattern.begin() + std::ptrdiff_t(length));
        LzxStreamWriter w;
        w.stream_header();
        w.verbatim_block(uint32_t(content.size()), main_lengths(16, {{'a', 1}, {'b', 1}}), length_lengths({}));
        for (uint8_t c : content)
            w.literal(c);
        bits_in_last_word.insert(w.bits().bits_in_word());
        const Bytes stream = w.finish();

        const Decoded whole = decode(stream, content.size());
        EXPECT_EQ(whole.rc, 0);
        EXPECT_EQ(whole.out, content);
        EXPECT_EQ(decode(Bytes(stream.begin(), stream.end() - 2), content.size()).rc, 3);
    }
    EXPECT_EQ(bits_in_last_word.size(), 16u);  // every position in the last word was tried
}

TEST(LzxInputEnd, UncompressedDataMayBorrowTheTwoSuppliedZeroBytes)
{
    const Bytes content = text("0123456789");
    const Bytes stream = uncompressed_stream(content);
    struct Case {
        size_t cut;
        int expected_rc;
        Bytes expected;
    };
    const Case cases[] = {
        {0, 0, content},
        {1, 0, text(std::string("012345678") + '\0')},
        {2, 0, text(std::string("01234567") + '\0' + '\0')},
        {3, 3, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cut);
        const Decoded d = decode(Bytes(stream.begin(), stream.end() - std::ptrdiff_t(c.cut)), content.size());
        EXPECT_EQ(d.rc, c.expected_rc);
        if (c.expected_rc == 0) {
            EXPECT_EQ(d.out, c.expected);
        }
    }
}

TEST(LzxInputEnd, EmptyInput)
{
    Bytes out(1);
    EXPECT_EQ(lzx_decompress(nullptr, 0, out.data(), 0, 1u << 16, nullptr, 0), 0);
    EXPECT_EQ(lzx_decompress(nullptr, 0, out.data(), 1, 1u << 16, nullptr, 0), 3);
}

// ---------------------------------------------------------------------------
// Intel E8 post-processing

constexpr int32_t kE8FileSize = 0x10000;

// 64 bytes with E8 call operands at chosen places, and what translation makes of them.
struct E8Sample {
    Bytes raw = Bytes(64, 0x11);
    Bytes translated = Bytes(64, 0x11);

    void call(size_t at, uint32_t operand, uint32_t result)
    {
        raw[at] = translated[at] = 0xE8;
        put_le32(raw, at + 1, operand);
        put_le32(translated, at + 1, result);
    }
};

E8Sample e8_sample()
{
    E8Sample s;
    s.call(3, 0x100, 0x100 - 3);                 // positive, in range: minus the position
    s.call(10, uint32_t(-10), 0xFFF6);           // -position exactly: plus the file size
    s.call(17, uint32_t(-18), uint32_t(-18));    // below -position: unchanged
    s.call(24, kE8FileSize, kE8FileSize);        // the file size itself: unchanged
    s.call(31, kE8FileSize - 1, kE8FileSize - 1 - 31);
    s.call(38, 0xE8, 0xE8 - 38);                 // an operand holding E8 is not itself examined
    s.call(53, 0x200, 0x200 - 53);               // last position examined (size - 11)
    s.raw[58] = s.translated[58] = 0xE8;         // inside the last 10 bytes: never examined
    return s;
}

Bytes e8_stream(const Bytes& content, int32_t filesize)
{
    LzxStreamWriter w;
    w.stream_header(filesize);
    w.uncompressed_block(content);
    return w.finish();
}

TEST(LzxE8, TranslationRules)
{
    const E8Sample sample = e8_sample();
    const Decoded translated = decode(e8_stream(sample.raw, kE8FileSize), 64);
    EXPECT_EQ(translated.rc, 0);
    EXPECT_EQ(translated.out, sample.translated);

    const Decoded header_bit_0 = decode(e8_stream(sample.raw, 0), 64);
    EXPECT_EQ(header_bit_0.rc, 0);
    EXPECT_EQ(header_bit_0.out, sample.raw);
}

TEST(LzxE8, FramesOfTenBytesOrFewerAreLeftAlone)
{
    // A second frame of 10 or 11 bytes, with a call at its first byte.
    for (size_t last_frame : {size_t(10), size_t(11)}) {
        SCOPED_TRACE(last_frame);
        Bytes content(32768 + last_frame, 0x22);
        content[32768] = 0xE8;
        put_le32(content, 32769, 0x100);
        Bytes expected = content;
        if (last_frame > 10)
            put_le32(expected, 32769, uint32_t(0x100 - 32768));
        const Decoded d = decode(e8_stream(content, kE8FileSize), content.size());
        EXPECT_EQ(d.rc, 0);
        EXPECT_EQ(d.out, expected);
    }
}

TEST(LzxE8, WindowKeepsUntranslatedBytesForLaterMatches)
{
    // A literal E8 call, then a match copying it: each copy is translated
    // for its own position, so the match must have copied the raw bytes.
    const auto lengths = main_lengths(16, {{0xE8, 3}, {0x00, 3}, {0x01, 3}, {0x33, 3}, {match_symbol(5, 5), 1}});
    LzxStreamWriter w;
    w.stream_header(kE8FileSize);
    w.verbatim_block(21, lengths, length_lengths({}));
    for (uint8_t byte : {0xE8, 0x00, 0x01, 0x00, 0x00})
        w.literal(byte);
    w.distance_match(5, 5);
    for (int i = 0; i < 11; ++i)
        w.literal(0x33);
    Bytes expected = {0xE8, 0x00, 0x01, 0x00, 0x00, 0xE8, 0xFB, 0x00, 0x00, 0x00};
    expected.resize(21, 0x33);
    const Decoded d = decode(w.finish(), 21);
    EXPECT_EQ(d.rc, 0);
    EXPECT_EQ(d.out, expected);
}

}  // namespace
}  // namespace decoder_test

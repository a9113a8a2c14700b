// lzx_decompress decodes straight into its output buffer (the decoder's
// direct mode); the streaming interface keeps a window and writes frames out.
// Both must give the same result and the same bytes for every stream: the
// window's rules where a match reaches back past its start, repeated offsets
// of 0 and beyond the window, E8 translation of frames that later matches
// still read, and thousands of damaged streams.
#include <gtest/gtest.h>

#include <random>

#include "lzx_memory.h"
#include "lzx_stream_writer.h"
#include "zorv_file_builder.h"

namespace decoder_test {
namespace {

struct Outcome {
    int rc;
    Bytes out;
};

// Through the streaming interface, with its window and memory files.
Outcome decode_with_window(const Bytes& stream, size_t length, unsigned window_bits, int no_padding)
{
    Outcome o{-1, Bytes(length, 0)};
    lzx_system* system = lzx_memory_system_create();
    lzx_memory_file* in = lzx_memory_open(system, const_cast<uint8_t*>(stream.data()), stream.size());
    lzx_memory_file* out = lzx_memory_open(system, o.out.data(), o.out.size());
    lzxd_stream* state = lzxd_init(system, reinterpret_cast<lzx_file*>(in), reinterpret_cast<lzx_file*>(out),
                                   int(window_bits), 0, 0x8000, int64_t(length), 0, no_padding);
    o.rc = state ? lzxd_decompress(state, int64_t(length)) : LZX_ERR_ARGS;
    lzxd_free(state);
    lzx_memory_close(out);
    lzx_memory_close(in);
    lzx_memory_system_destroy(system);
    return o;
}

Outcome decode_in_place(const Bytes& stream, size_t length, unsigned window_bits, int no_padding)
{
    Outcome o{-1, Bytes(length, 0)};
    o.rc = lzx_decompress(stream.data(), stream.size(), o.out.data(), length, 1u << window_bits, nullptr, 0,
                          no_padding);
    return o;
}

// Decodes both ways, in the standard variant or (no_padding 1) the one
// without the padding byte after odd-length uncompressed blocks, and
// compares; outputs only count when the decode succeeds.
void expect_same_result(const Bytes& stream, size_t length, unsigned window_bits, int no_padding = 0)
{
    const Outcome window = decode_with_window(stream, length, window_bits, no_padding);
    const Outcome direct = decode_in_place(stream, length, window_bits, no_padding);
    ASSERT_EQ(direct.rc, window.rc);
    if (window.rc == LZX_OK) {
        ASSERT_EQ(direct.out, window.out);
    }
}

// A main tree with a code for every literal and every match symbol: with
// n symbols and 2^L >= n, 2^L - n of them get L - 1 bits and the rest L,
// a complete code.
std::vector<uint8_t> all_symbols_main(unsigned window_bits)
{
    const unsigned n = 256 + 8 * position_slots(window_bits);
    unsigned bits = 0;
    while ((1u << bits) < n)
        ++bits;
    const unsigned shorter = (1u << bits) - n;
    std::vector<uint8_t> lengths(n, uint8_t(bits));
    std::fill_n(lengths.begin(), shorter, uint8_t(bits - 1));
    return lengths;
}

std::vector<uint8_t> half_length_tree()
{
    std::vector<uint8_t> lengths(249, 0);
    std::fill_n(lengths.begin(), 128, uint8_t(7));
    return lengths;
}

// A stream of `size` bytes in one verbatim or aligned block of random
// literals (E8 often among them) and matches that stay inside their frame,
// at distances up to `max_distance` back and from the repeated offsets.
Bytes random_stream(std::mt19937& random, size_t size, unsigned window_bits, bool aligned, int32_t e8_filesize)
{
    LzxStreamWriter w(window_bits);
    w.stream_header(e8_filesize);
    if (aligned)
        w.aligned_block(uint32_t(size), {3, 3, 3, 3, 3, 3, 3, 3}, all_symbols_main(window_bits), half_length_tree());
    else
        w.verbatim_block(uint32_t(size), all_symbols_main(window_bits), half_length_tree());
    const size_t window = size_t(1) << window_bits;
    size_t posn = 0;
    while (posn < size) {
        const size_t frame_left = 32768 - posn % 32768;
        const size_t left = std::min(frame_left, size - posn);
        const unsigned choice = random() % 8;
        if (choice < 3 || posn == 0 || left < 2) {
            w.literal(choice == 0 ? 0xE8 : uint8_t(random() % 4));
            ++posn;
        } else {
            const unsigned length = unsigned(std::min<size_t>(left, 2 + random() % (choice == 7 ? 129 : 12)));
            if (choice == 3) {
                w.repeat_match(length, 0);  // R0 starts at 1 and always holds a used distance
            } else {
                const size_t reach = std::min(posn, window - 3);
                const uint32_t distance = uint32_t(1 + (choice == 4 ? random() % std::min<size_t>(reach, 8)
                                                                    : random() % reach));
                w.distance_match(length, distance);
            }
            posn += length;
        }
        if (posn % 32768 == 0)
            w.bits().align_to_word();  // frame end
    }
    return w.finish();
}

TEST(LzxDirectMode, RandomStreamsDecodeAlikeIntact)
{
    std::mt19937 random(20261210);
    for (int i = 0; i < 24; ++i) {
        const unsigned window_bits = 15 + unsigned(i % 3);
        const bool aligned = i % 2 == 1;
        const int32_t e8 = i % 4 >= 2 ? 0x100000 : 0;
        const size_t size = 1000 + random() % (3 * 32768 + 5000);
        SCOPED_TRACE(testing::Message() << "case " << i << ", window 2^" << window_bits << ", " << size << " bytes");
        const Bytes stream = random_stream(random, size, window_bits, aligned, e8);
        const Outcome window = decode_with_window(stream, size, window_bits, 0);
        ASSERT_EQ(window.rc, 0);  // the generator writes valid streams
        expect_same_result(stream, size, window_bits);
    }
}

TEST(LzxDirectMode, DamagedStreamsFailAndDecodeAlike)
{
    std::mt19937 random(7);
    for (int i = 0; i < 400; ++i) {
        const unsigned window_bits = 15 + unsigned(i % 2);
        const size_t size = 2000 + random() % 70000;
        Bytes stream = random_stream(random, size, window_bits, i % 3 == 0, i % 5 == 0 ? 0x40000 : 0);
        for (int k = 0; k < 6; ++k) {
            Bytes damaged = stream;
            const int edits = 1 + int(random() % 3);
            for (int e = 0; e < edits; ++e)
                damaged[random() % damaged.size()] ^= uint8_t(1 + random() % 255);
            if (k == 5)
                damaged.resize(random() % damaged.size());
            SCOPED_TRACE(testing::Message() << "stream " << i << ", damage " << k);
            expect_same_result(damaged, size, window_bits);
            expect_same_result(damaged, size, window_bits, 1);
        }
    }
}

// A thread's in-place decodes share one decoder state, set back for each
// call: whatever the call before it left there (trees, repeated offsets, a
// failure halfway through a block, frames marked for E8 translation), each
// stream decodes as with a fresh state.
TEST(LzxDirectMode, EveryCallStartsAfreshWhateverCameBefore)
{
    struct Stream {
        Bytes bytes;
        size_t size;
        unsigned window_bits;
    };
    std::mt19937 random(1210);
    const Stream aligned_e8{random_stream(random, 70000, 16, true, 0x100000), 70000, 16};
    const Stream verbatim{random_stream(random, 50000, 15, false, 0), 50000, 15};
    Stream failing = aligned_e8;
    failing.bytes.resize(failing.bytes.size() / 2);
    ASSERT_NE(decode_in_place(failing.bytes, failing.size, failing.window_bits, 0).rc, 0);

    for (const Stream* before : {&aligned_e8, static_cast<const Stream*>(&failing), &verbatim}) {
        for (const Stream* next : {&verbatim, &aligned_e8}) {
            decode_in_place(before->bytes, before->size, before->window_bits, 0);
            const Outcome direct = decode_in_place(next->bytes, next->size, next->window_bits, 0);
            const Outcome window = decode_with_window(next->bytes, next->size, next->window_bits, 0);
            ASSERT_EQ(window.rc, 0);
            EXPECT_EQ(direct.rc, 0);
            EXPECT_EQ(direct.out, window.out);
        }
    }
}

// Repeated offsets set by an uncompressed block: 0 (the window reads the
// bytes it writes to) and larger than the window, which the window accepts
// when it reaches back past its start by no more than its size and no
// further than the frame's start.
TEST(LzxDirectMode, RepeatedOffsetsTheWindowReadsInItsOwnWay)
{
    struct Case {
        const char* name;
        size_t history;     // bytes of the uncompressed block
        uint32_t register0; // R0 it sets
        int expected_rc;
    };
    const uint32_t window = 1u << 15;
    const Case cases[] = {
        {"offset 0 in the first pass", 100, 0, 0},
        {"offset 0 after a whole window", 2 * 32768 + 100, 0, 0},
        {"a whole window, past the window start", 2 * 32768 + 100, window, 0},
        {"window plus 50, past the window start", 2 * 32768 + 100, window + 50, 0},
        {"window plus 50, beyond the frame start", 32768 + 100, window + 50, 11},
        {"twice the window", 3 * 32768 + 100, 2 * window, 11},
        {"beyond the bytes decoded", 100, 500, 11},
    };
    const auto lengths = main_lengths(15, {{'a', 1}, {match_symbol(0, 8), 1}});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // The history, then 60 literals and the match within one frame.
        LzxStreamWriter w(15);
        w.stream_header();
        w.uncompressed_block(segment_content(c.history, 9), {c.register0, 1, 1});
        w.verbatim_block(70, lengths, length_lengths({}));
        for (int i = 0; i < 60; ++i)
            w.literal('a');
        w.repeat_match(8, 0);
        w.literal('a');
        w.literal('a');
        const size_t size = c.history + 70;
        const Outcome reference = decode_with_window(w.finish(), size, 15, 0);
        EXPECT_EQ(reference.rc, c.expected_rc);
        expect_same_result(w.finish(), size, 15);
    }
}

}  // namespace
}  // namespace decoder_test

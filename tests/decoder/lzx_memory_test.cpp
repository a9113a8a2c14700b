// LZX over memory and the decoder's call interface: window sizes and
// argument checks, the memory files, bit_scan_forward, preset windows,
// streaming calls, sticky errors, resets and tiny input reads.
#include <gtest/gtest.h>

#include <cstring>

#include "lzx_memory.h"
#include "lzx_stream_writer.h"
#include "zorv_file_builder.h"

namespace decoder_test {
namespace {

lzx_file* as_file(lzx_memory_file* file) { return reinterpret_cast<lzx_file*>(file); }

// A memory system with its files and a decoder state over them.
class MemoryDecoder {
public:
    MemoryDecoder(const Bytes& input, size_t output_size, int window_bits = 16, int reset_interval = 0,
                  int input_buffer_size = 0x8000)
        : input_(input), output_(output_size, 0xCC)
    {
        system_ = lzx_memory_system_create();
        in_ = lzx_memory_open(system_, input_.data(), input_.size());
        out_ = lzx_memory_open(system_, output_.data(), output_.size());
        state_ = lzxd_init(system_, as_file(in_), as_file(out_), window_bits, reset_interval, input_buffer_size,
                           int64_t(output_size), 0);
    }
    ~MemoryDecoder()
    {
        lzxd_free(state_);
        lzx_memory_close(out_);
        lzx_memory_close(in_);
        lzx_memory_system_destroy(system_);
    }
    lzxd_stream* state() { return state_; }
    const Bytes& output() const { return output_; }
    int64_t written() const { return out_->position; }

private:
    Bytes input_;
    Bytes output_;
    lzx_system* system_;
    lzx_memory_file* in_;
    lzx_memory_file* out_;
    lzxd_stream* state_;
};

TEST(LzxDecompress, WindowSizes)
{
    const Bytes content = segment_content(100, 1);
    const Bytes stream = uncompressed_stream(content);
    for (unsigned bits = 15; bits <= 21; ++bits) {
        SCOPED_TRACE(bits);
        Bytes out(content.size());
        EXPECT_EQ(lzx_decompress(stream.data(), stream.size(), out.data(), out.size(), 1u << bits, nullptr, 0), 0);
        EXPECT_EQ(out, content);
    }
    for (uint32_t window : {0u, 1u << 14, 1u << 22, 0x18000u}) {
        SCOPED_TRACE(window);
        Bytes out(content.size(), 0xCC);
        EXPECT_EQ(lzx_decompress(stream.data(), stream.size(), out.data(), out.size(), window, nullptr, 0), 1);
        EXPECT_EQ(out, Bytes(content.size(), 0xCC));  // untouched
    }
}

TEST(LzxDecompress, OutputLengthZeroSucceedsWithoutInput)
{
    EXPECT_EQ(lzx_decompress(nullptr, 0, nullptr, 0, 1u << 15, nullptr, 0), 0);
    // ...but an unsupported window is still refused.
    EXPECT_EQ(lzx_decompress(nullptr, 0, nullptr, 0, 1u << 22, nullptr, 0), 1);
}

TEST(LzxDecompress, BufferLimitsAndWindowData)
{
    Bytes out(4);
    EXPECT_EQ(lzx_decompress(out.data(), 0x7FFFFFFF, out.data(), 4, 1u << 16, nullptr, 0), 1);
    EXPECT_EQ(lzx_decompress(out.data(), 4, out.data(), 0x7FFFFFFF, 1u << 16, nullptr, 0), 1);
    Bytes too_much(0x8001);
    EXPECT_EQ(lzx_decompress(out.data(), 4, out.data(), 4, 1u << 15, too_much.data(), too_much.size()), 1);
}

TEST(LzxDecompress, PresetWindowServesAsHistory)
{
    // R0 = 3, set by an empty uncompressed block, lets the first match
    // reach the last three bytes of the preset window.
    LzxStreamWriter stream;
    stream.stream_header();
    stream.uncompressed_block({}, {3, 1, 1});
    stream.verbatim_block(3, main_lengths(16, {{match_symbol(0, 3), 1}, {'a', 1}}), length_lengths({}));
    stream.repeat_match(3, 0);
    const Bytes bytes = stream.finish();

    Bytes window_data = {'x', 'y', 'z', 'P', 'Q', 'R'};
    Bytes out(3);
    EXPECT_EQ(lzx_decompress(bytes.data(), bytes.size(), out.data(), 3, 1u << 16, window_data.data(),
                             window_data.size()),
              0);
    EXPECT_EQ(out, (Bytes{'P', 'Q', 'R'}));
    // Without window data the same match reaches before the stream's start.
    EXPECT_EQ(lzx_decompress(bytes.data(), bytes.size(), out.data(), 3, 1u << 16, nullptr, 0), 11);
}

TEST(LzxDecompressDiscard, GivesTheSameResultsWithoutOutput)
{
    const Bytes content = segment_content(70000, 2);
    const Bytes stream = uncompressed_stream(content);
    EXPECT_EQ(lzx_decompress_discard(stream.data(), stream.size(), content.size(), 1u << 16), 0);
    EXPECT_EQ(lzx_decompress_discard(stream.data(), stream.size() - 3, content.size(), 1u << 16), 3);
    EXPECT_EQ(lzx_decompress_discard(stream.data(), stream.size(), content.size(), 1u << 22), 1);
    const Bytes corrupt = invalid_block_stream();
    EXPECT_EQ(lzx_decompress_discard(corrupt.data(), corrupt.size(), content.size(), 1u << 16), 11);
}

TEST(LzxMemoryFile, ReadAndWriteStopAtTheEndOfTheBlock)
{
    lzx_system* system = lzx_memory_system_create();
    ASSERT_NE(system, nullptr);
    EXPECT_EQ(system->read, lzx_memory_read);
    EXPECT_EQ(system->write, lzx_memory_write);
    EXPECT_EQ(system->open, nullptr);
    EXPECT_EQ(system->seek, nullptr);
    EXPECT_EQ(system->message, nullptr);

    Bytes block = {1, 2, 3, 4, 5};
    lzx_memory_file* file = lzx_memory_open(system, block.data(), block.size());
    ASSERT_NE(file, nullptr);
    Bytes dst(8, 0);
    EXPECT_EQ(lzx_memory_read(as_file(file), dst.data(), 3), 3);
    EXPECT_EQ(lzx_memory_read(as_file(file), dst.data() + 3, 8), 2);
    EXPECT_EQ(lzx_memory_read(as_file(file), dst.data(), 8), 0);
    EXPECT_EQ(lzx_memory_read(as_file(file), dst.data(), -1), -1);
    EXPECT_EQ(dst, (Bytes{1, 2, 3, 4, 5, 0, 0, 0}));

    file->position = 3;
    Bytes src = {9, 9, 9, 9};
    EXPECT_EQ(lzx_memory_write(as_file(file), src.data(), 4), 2);  // cut short at the end
    EXPECT_EQ(block, (Bytes{1, 2, 3, 9, 9}));
    lzx_memory_close(file);

    EXPECT_EQ(lzx_memory_open(system, block.data(), 0x7FFFFFFF), nullptr);
    lzx_memory_file* largest = lzx_memory_open(system, block.data(), 0x7FFFFFFE);
    EXPECT_NE(largest, nullptr);
    lzx_memory_close(largest);

    auto* zeroed = static_cast<uint8_t*>(lzx_memory_alloc(system, 64));
    ASSERT_NE(zeroed, nullptr);
    EXPECT_EQ(Bytes(zeroed, zeroed + 64), Bytes(64, 0));
    lzx_memory_copy(src.data(), zeroed, 4);
    EXPECT_EQ(Bytes(zeroed, zeroed + 4), src);
    lzx_memory_free(zeroed);
    lzx_memory_system_destroy(system);
}

TEST(BitScanForward, LowestSetBit)
{
    uint32_t index = 77;
    EXPECT_FALSE(kyn::bit_scan_forward(uint32_t(0), &index));
    EXPECT_EQ(index, 77u);
    EXPECT_FALSE(kyn::bit_scan_forward(uint64_t(0), &index));
    EXPECT_EQ(index, 77u);
    const std::pair<uint64_t, uint32_t> cases32[] = {{1, 0}, {0x8000, 15}, {0x18000, 15}, {0x80000000, 31}};
    for (const auto& [value, expected] : cases32) {
        EXPECT_TRUE(kyn::bit_scan_forward(uint32_t(value), &index));
        EXPECT_EQ(index, expected);
    }
    EXPECT_TRUE(kyn::bit_scan_forward(uint64_t(1) << 40, &index));
    EXPECT_EQ(index, 40u);
    EXPECT_TRUE(kyn::bit_scan_forward(uint64_t(0x8000000000000000ull), &index));
    EXPECT_EQ(index, 63u);
}

TEST(LzxdInit, RefusesBadArguments)
{
    lzx_system* system = lzx_memory_system_create();
    struct Case {
        const char* name;
        lzx_system* system;
        int window_bits, reset_interval, buffer_size;
        int64_t output_length;
    };
    const Case cases[] = {
        {"no system", nullptr, 16, 0, 0x8000, 0},
        {"window 2^14", system, 14, 0, 0x8000, 0},
        {"window 2^22", system, 22, 0, 0x8000, 0},
        {"negative reset interval", system, 16, -1, 0x8000, 0},
        {"input buffer of 0 bytes", system, 16, 0, 0, 0},
        {"negative output length", system, 16, 0, 0x8000, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(lzxd_init(c.system, nullptr, nullptr, c.window_bits, c.reset_interval, c.buffer_size,
                            c.output_length, 0),
                  nullptr);
    }
    lzxd_stream* state = lzxd_init(system, nullptr, nullptr, 21, 0, 1, 0, 0);
    EXPECT_NE(state, nullptr);
    lzxd_free(state);
    lzxd_free(nullptr);
    EXPECT_EQ(lzxd_decompress(nullptr, 1), 1);
    lzx_memory_system_destroy(system);
}

TEST(LzxdDecompress, CallsMayAskForAnyPartOfTheOutput)
{
    const Bytes content = segment_content(70000, 4);
    MemoryDecoder decoder(uncompressed_stream(content), content.size());
    ASSERT_NE(decoder.state(), nullptr);
    EXPECT_EQ(lzxd_decompress(decoder.state(), -1), 1);
    int64_t asked = 0;
    for (int64_t step : {int64_t(0), int64_t(1000), int64_t(31768), int64_t(1), int64_t(37231)}) {
        EXPECT_EQ(lzxd_decompress(decoder.state(), step), 0);
        asked += step;
        EXPECT_EQ(decoder.written(), asked);
    }
    EXPECT_EQ(decoder.output(), content);
    // Asking for more than the stream holds fails, and the failure sticks.
    EXPECT_EQ(lzxd_decompress(decoder.state(), 1), 11);
    EXPECT_EQ(lzxd_decompress(decoder.state(), 0), 11);
}

TEST(LzxdDecompress, ErrorsStick)
{
    const Bytes stream = uncompressed_stream(segment_content(100, 5));
    MemoryDecoder decoder(Bytes(stream.begin(), stream.begin() + 20), 100);
    EXPECT_EQ(lzxd_decompress(decoder.state(), 100), 3);
    EXPECT_EQ(lzxd_decompress(decoder.state(), 100), 3);
}

TEST(LzxdDecompress, ResetIntervalRestartsTheStreamEveryFrame)
{
    // Two frames, each a complete stream of its own (header bit and block).
    const Bytes first = segment_content(32768, 6);
    const Bytes second = segment_content(100, 7);
    const Bytes stream = concat({uncompressed_stream(first), uncompressed_stream(second)});
    MemoryDecoder with_reset(stream, first.size() + second.size(), 16, 1);
    EXPECT_EQ(lzxd_decompress(with_reset.state(), int64_t(first.size() + second.size())), 0);
    EXPECT_EQ(with_reset.output(), concat({first, second}));

    // Without resets the second header bit is read as part of a block header.
    MemoryDecoder without(stream, first.size() + second.size(), 16, 0);
    EXPECT_NE(lzxd_decompress(without.state(), int64_t(first.size() + second.size())), 0);
}

Bytes mixed_block_stream(Bytes& expected)
{
    // Verbatim, odd uncompressed, aligned and uncompressed blocks in turn, so
    // that byte reading takes over from bit reading at varied positions.
    const auto lengths = main_lengths(16, {{'a', 2}, {'b', 2}, {match_symbol(0, 4), 2}, {match_symbol(6, 4), 2}});
    LzxStreamWriter w;
    w.stream_header();
    expected.clear();
    for (int round = 0; round < 40; ++round) {
        w.verbatim_block(10, lengths, length_lengths({}));
        w.literal('a');
        w.literal('b');
        w.repeat_match(4, 0);
        w.distance_match(4, 6);
        for (const char* piece : {"ab", "bbbb", "abbb"})
            expected.insert(expected.end(), piece, piece + std::strlen(piece));
        const Bytes raw = segment_content(3 + round, uint8_t(round));
        w.uncompressed_block(raw, {1, 1, 1});
        expected.insert(expected.end(), raw.begin(), raw.end());
        w.aligned_block(6, {3, 3, 3, 3, 3, 3, 3, 3}, lengths, length_lengths({}));
        w.literal('b');
        w.literal('a');
        w.repeat_match(4, 0);
        for (const char* piece : {"ba", "aaaa"})
            expected.insert(expected.end(), piece, piece + std::strlen(piece));
        const Bytes raw2 = segment_content(2 + round % 3, uint8_t(round + 100));
        w.uncompressed_block(raw2, {1, 1, 1});
        expected.insert(expected.end(), raw2.begin(), raw2.end());
    }
    return w.finish();
}

TEST(LzxdDecompress, AnyInputBufferSizeGivesTheSameOutput)
{
    Bytes expected;
    const Bytes stream = mixed_block_stream(expected);
    for (int buffer_size : {1, 2, 3, 5, 8, 9, 31, 33, 0x8000}) {
        SCOPED_TRACE(buffer_size);
        MemoryDecoder decoder(stream, expected.size(), 16, 0, buffer_size);
        ASSERT_NE(decoder.state(), nullptr);
        EXPECT_EQ(lzxd_decompress(decoder.state(), int64_t(expected.size())), 0);
        EXPECT_EQ(decoder.output(), expected);
    }
}

}  // namespace
}  // namespace decoder_test

// ZORV container reading through the in-memory entry point zorv_decode:
// header and table checks, both body layouts and how one is told from the
// other, zoned-layout errors, decode failures and the padding-variant retry,
// failing output sinks, and segment sizes the input cannot back.
#include <gtest/gtest.h>

#include <functional>

#include "lzx_stream_writer.h"
#include "zorv_container.h"
#include "zorv_file_builder.h"

namespace decoder_test {
namespace {

const std::string kNotZorv = "not ZORV (magic/version mismatch)\n";

struct ContainerCase {
    std::string name;
    Bytes file;
    int exit_code;
    std::string message;
    Bytes output;
    bool output_opened = true;
};

void check(const ContainerCase& c)
{
    SCOPED_TRACE(c.name);
    ZorvMemorySink sink;
    const ZorvResult result = zorv_decode(c.file, sink);
    EXPECT_EQ(result.exit_code, c.exit_code);
    EXPECT_EQ(result.message, c.message);
    EXPECT_EQ(sink.opened, c.output_opened);
    EXPECT_EQ(sink.closed, c.output_opened);  // closed on every path once opened
    EXPECT_EQ(sink.bytes, c.output);
}

std::string summary(unsigned segments, uint32_t window, uint32_t zone, const char* layout, size_t in,
                    uint64_t out)
{
    char line[200];
    std::snprintf(line, sizeof line, "%u segment(s), window 0x%x, zbs 0x%x, %s: %zu -> %llu bytes\n", segments,
                  window, zone, layout, in, (unsigned long long)out);
    return line;
}

std::string summary_of(const Bytes& file, unsigned segments, const char* layout, uint64_t out,
                       uint32_t window = 0x10000, uint32_t zone = 0x8000)
{
    return summary(segments, window, zone, layout, file.size(), out);
}

// ---------------------------------------------------------------------------

TEST(ZorvHeaderAndTable, NotZorvAndTableChecks)
{
    ZorvFlags raw_flags{0, 0, 0, 0, 0};
    const Bytes raw16 = zorv_header(raw_flags);
    Bytes wrong_magic = raw16;
    wrong_magic[0] = 0x0E;
    Bytes version_0101 = raw16;
    version_0101[5] = 0x01;
    const ZorvFlags odd_flags{15, 3, 0, 3, 0xAB};
    const Bytes raw_content = concat({zorv_header(odd_flags), {'h', 'e', 'l', 'l', 'o'}});
    const Bytes two_wide_entries = zorv_head({1, 1});
    ZorvFlags narrow;
    narrow.size_width = 0;
    const Bytes eight_narrow_entries = zorv_head({1, 1, 1, 1, 1, 1, 1, 1}, narrow);

    const ContainerCase cases[] = {
        {"empty file", {}, 4, kNotZorv, {}, false},
        {"15 bytes", Bytes(raw16.begin(), raw16.end() - 1), 4, kNotZorv, {}, false},
        {"wrong magic", wrong_magic, 4, kNotZorv, {}, false},
        {"version 01 01", version_0101, 4, kNotZorv, {}, false},
        {"raw, 16 bytes", raw16, 0, "raw: 16 -> 0 bytes (flags 0x00000000)\n", {}},
        {"raw, every other field set", raw_content, 0, "raw: 21 -> 5 bytes (flags 0xabc0003f)\n",
         {'h', 'e', 'l', 'l', 'o'}},
        {"table exceeds file (32-bit)", Bytes(two_wide_entries.begin(), two_wide_entries.end() - 4), 4,
         "table exceeds file\n", {}},
        {"table exceeds file (20-bit, n=8)", Bytes(eight_narrow_entries.begin(), eight_narrow_entries.end() - 1), 4,
         "table exceeds file\n", {}},
        {"table that just fits, every segment empty", zorv_head({0, 0, 0}), 0,
         summary(3, 0x10000, 0x8000, "contiguous", 28, 0), {}},
    };
    for (const ContainerCase& c : cases)
        check(c);
}

TEST(ZorvHeaderAndTable, TwentyBitEntriesPackedMostSignificantBitFirst)
{
    EXPECT_EQ(zorv_size_table({0x12345, 0xABCDE}, false), (Bytes{0x12, 0x34, 0x5A, 0xBC, 0xDE, 0, 0, 0}));

    const std::vector<std::vector<uint64_t>> tables = {
        {5},
        {0x12345, 0x0BCDE},
        {1, 0x10, 0, 0x8001, 3, 0xFFF, 7, 0x12},
    };
    for (const auto& sizes : tables) {
        SCOPED_TRACE(sizes.size());
        ZorvFlags flags;
        flags.size_width = 0;
        Bytes file = zorv_head(sizes, flags);
        EXPECT_EQ(file.size(), 16 + ((20 * sizes.size() + 31) / 32) * 4);
        Bytes expected;
        for (size_t i = 0; i < sizes.size(); ++i) {
            const Bytes content = segment_content(sizes[i], uint8_t(i));
            file = concat({file, uncompressed_segment_chunks(content)});
            expected = concat({expected, content});
        }
        check({"20-bit", file, 0, summary_of(file, unsigned(sizes.size()), "contiguous", expected.size()), expected});
    }
}

TEST(ZorvHeaderAndTable, SizeWidthsOneToThreeAreAll32Bit)
{
    for (unsigned width : {1u, 2u, 3u}) {
        ZorvFlags flags;
        flags.size_width = width;
        const Bytes content = segment_content(0x12345, 9);
        const Bytes file = concat({zorv_head({content.size()}, flags), uncompressed_segment_chunks(content)});
        check({"width " + std::to_string(width), file, 0, summary_of(file, 1, "contiguous", content.size()),
               content});
    }
}

// ---------------------------------------------------------------------------
// Contiguous layout

TEST(ZorvContiguous, PaddingTrailingBytesAndTheLayoutDecision)
{
    const Bytes a = segment_content(3000, 1);
    const Bytes b = segment_content(4000, 2);
    const Bytes head = zorv_head({a.size(), b.size()});
    const Bytes both = concat({a, b});

    // Segment 1 starts on the next zone after zero padding; padding that
    // starts in the last, partial zone runs to the end of the file.
    Bytes padded = concat({head, uncompressed_segment_chunks(a)});
    place(padded, 0x8000, uncompressed_segment_chunks(b));
    padded = concat({padded, Bytes(100, 0)});

    // A zero word exactly on a zone boundary pads that whole zone.
    Bytes whole_zone = concat({head, uncompressed_segment_chunks(a)});
    place(whole_zone, 0x10000, uncompressed_segment_chunks(b));

    const Bytes back_to_back = concat({head, uncompressed_segment_chunks(a), uncompressed_segment_chunks(b)});
    const Bytes trailing_zero = concat({back_to_back, {0}});
    const Bytes trailing_byte = concat({back_to_back, {7}});

    // Padding with a non-zero byte is not contiguous; read as zones, the
    // same file is valid (segment 1 starts on its zone) and the unused
    // bytes of zone 0 are ignored.
    Bytes dirty_padding = padded;
    dirty_padding[0x8000 - 5] = 0xA5;

    // A 0 or 1 byte tail that is not zero, or a chunk running past the end.
    const Bytes chunk_past_end = concat({zorv_head({10}), {0x00, 0x40}, Bytes(20, 1)});

    const ContainerCase cases[] = {
        {"padding to the next zone", padded, 0, summary_of(padded, 2, "contiguous", both.size()), both},
        {"zero word on a boundary pads a whole zone", whole_zone, 0,
         summary_of(whole_zone, 2, "contiguous", both.size()), both},
        {"chunks back to back", back_to_back, 0, summary_of(back_to_back, 2, "contiguous", both.size()), both},
        {"one trailing zero byte", trailing_zero, 0, summary_of(trailing_zero, 2, "contiguous", both.size()), both},
        {"one trailing non-zero byte", trailing_byte, 6, "zoned: segment 1 frame 0 runs past its zone\n", {}},
        {"non-zero byte inside padding", dirty_padding, 0, summary_of(dirty_padding, 2, "zoned", both.size()), both},
        {"chunk past the end of the file", chunk_past_end, 6,
         "zoned: segment 0 frame 0 bad chunk size 64 at 0x14\n", {}},
    };
    for (const ContainerCase& c : cases)
        check(c);
}

TEST(ZorvContiguous, ChunkCountMustEqualTheFrameCount)
{
    // Two frames, in 64 KiB zones so that the whole stream fits zone 0.
    ZorvFlags flags;
    flags.zone_shift = 1;
    const Bytes content = segment_content(40000, 3);
    const Bytes stream = uncompressed_stream(content);
    const Bytes head = zorv_head({content.size()}, flags);
    const Bytes one_chunk = concat({head, chunks_of(stream, 1)});
    const Bytes three_chunks = concat({head, chunks_of(stream, 3)});
    const Bytes two_chunks = concat({head, chunks_of(stream, 2)});
    // Read as zones instead, one chunk leaves the second frame without one;
    // of three, the third is ignored (unused zone bytes) and the first two
    // hold too little of the stream.
    check({"one chunk", one_chunk, 6, "zoned: segment 0 frame 1 runs past its zone\n", {}});
    check({"three chunks", three_chunks, 5, "segment 0/1 decode failed rc=3 (size 40000, layout zoned)\n", {}});
    check({"two chunks", two_chunks, 0, summary_of(two_chunks, 1, "contiguous", content.size(), 0x10000, 0x10000),
           content});
}

// ---------------------------------------------------------------------------
// Zoned layout

TEST(ZorvZoned, StoredCompressedAndEmptySegments)
{
    // 64 KiB zones. Segment 0 stored right after the table, 1 compressed in
    // zone 1, 2 empty, 3 stored with size 0 (a zero word in zone 3); unused
    // zone bytes are 0xA5.
    ZorvFlags flags;
    flags.zone_shift = 1;
    const Bytes stored = segment_content(1000, 4);
    const Bytes compressed = segment_content(40000, 5);
    Bytes file = concat({zorv_head({stored.size(), compressed.size(), 0, 0}, flags), {0, 0}, stored});
    place(file, 0x10000, uncompressed_segment_chunks(compressed), 0xA5);
    place(file, 0x30000, {0, 0}, 0xA5);
    file = concat({file, Bytes(50, 0xA5)});
    const Bytes expected = concat({stored, compressed});
    check({"zoned", file, 0, summary_of(file, 4, "zoned", expected.size(), 0x10000, 0x10000), expected});

    // Stored segments are never decoded, so no window size matters for them.
    flags.window_shift = 9;
    Bytes stored_only = concat({zorv_head({stored.size(), 3}, flags), {0, 0}, stored});
    place(stored_only, 0x10000, {0, 0, 'x', 'y', 'z'}, 0xA5);
    check({"stored only, window 2^24", stored_only, 0,
           summary_of(stored_only, 2, "zoned", stored.size() + 3, 0x1000000, 0x10000),
           concat({stored, {'x', 'y', 'z'}})});
}

TEST(ZorvZoned, SegmentsThatLeaveTheirZone)
{
    const Bytes content = segment_content(500, 6);
    const Bytes chunks = uncompressed_segment_chunks(content);

    // Segment 1 of two starts at 0x8000, beyond the end of the file.
    const Bytes past_end = concat({zorv_head({content.size(), 10}), chunks, {0xA5}});

    // A zero word with no room for a stored segment: a compressed one whose
    // first chunk length is 0.
    Bytes no_room = concat({zorv_head({content.size(), 100}), chunks, {0xA5}});
    place(no_room, 0x8000, concat({{0, 0}, Bytes(50, 0xA5)}), 0xA5);

    // A chunk longer than its zone.
    const Bytes too_long = concat({zorv_head({content.size()}), {0x90, 0x00}, Bytes(0x9000, 0xA5), {0xA5}});

    // The second frame's chunk would start exactly at the zone's end.
    const Bytes stream = uncompressed_stream(segment_content(40000, 7));
    const uint64_t first_length = 0x8000 - 20 - 2;
    const Bytes frame_past_zone = concat({zorv_head({40000}), chunk(Bytes(stream.begin(), stream.begin() + first_length))});

    const ContainerCase cases[] = {
        {"segment starting past the end", past_end, 6, "zoned: segment 1 frame 0 runs past its zone\n", {}},
        {"zero chunk length", no_room, 6, "zoned: segment 1 frame 0 bad chunk size 0 at 0x8000\n", {}},
        {"chunk longer than its zone", too_long, 6, "zoned: segment 0 frame 0 bad chunk size 36864 at 0x14\n", {}},
        {"second frame past the zone", frame_past_zone, 6, "zoned: segment 0 frame 1 runs past its zone\n", {}},
    };
    for (const ContainerCase& c : cases)
        check(c);
}

// ---------------------------------------------------------------------------
// Decoding

// A stream that decodes only in the variant without the padding byte after
// odd-length uncompressed blocks, or only with it.
Bytes variant_stream(const Bytes& odd_part, const Bytes& rest, bool with_padding)
{
    LzxStreamWriter w;
    w.stream_header();
    w.uncompressed_block(odd_part, {1, 1, 1}, with_padding);
    w.uncompressed_block(rest, {1, 1, 1});
    return w.finish();
}

TEST(ZorvDecoding, FailuresRetriesAndWindowSizes)
{
    const Bytes a = segment_content(5000, 8);
    const Bytes b = segment_content(50, 9);
    const Bytes decode_failure =
        concat({zorv_head({a.size(), b.size()}), uncompressed_segment_chunks(a), chunk(invalid_block_stream())});

    // Segment 0 needs the retry; segment 1 decodes only in the standard
    // variant, so the switch must be back to 0 for it.
    const Bytes odd = segment_content(3, 10), rest = segment_content(40, 11);
    const Bytes no_padding = variant_stream(odd, rest, false);
    const Bytes with_padding = variant_stream(odd, rest, true);
    const Bytes retry = concat({zorv_head({43, 43}), chunk(no_padding), chunk(with_padding)});

    // Neither variant: the standard attempt misreads the header (rc 11),
    // the retry runs out of input (rc 3); the second result is reported.
    const Bytes cut_short = concat({zorv_head({43}), chunk(Bytes(no_padding.begin(), no_padding.end() - 10))});

    ZorvFlags big_window;
    big_window.window_shift = 7;
    const Bytes window_2m_empty_segment = zorv_head({0}, big_window);
    big_window.window_shift = 15;
    const Bytes window_1g = concat({zorv_head({b.size()}, big_window), uncompressed_segment_chunks(b)});
    ZorvFlags smallest;
    smallest.window_shift = 0;
    const Bytes window_32k = concat({zorv_head({a.size()}, smallest), uncompressed_segment_chunks(a)});

    const ContainerCase cases[] = {
        {"decode failure keeps earlier segments", decode_failure, 5,
         "segment 1/2 decode failed rc=11 (size 50, layout contiguous)\n", a},
        {"retry, then standard again", retry, 0, summary_of(retry, 2, "contiguous", 86),
         concat({odd, rest, odd, rest})},
        {"neither variant", cut_short, 5, "segment 0/1 decode failed rc=3 (size 43, layout contiguous)\n", {}},
        {"window shift 7, empty segment", window_2m_empty_segment, 5,
         "segment 0/1 decode failed rc=1 (size 0, layout contiguous)\n", {}},
        {"window shift 15", window_1g, 5, "segment 0/1 decode failed rc=1 (size 50, layout contiguous)\n", {}},
        {"window shift 0", window_32k, 0, summary_of(window_32k, 1, "contiguous", a.size(), 0x8000), a},
    };
    for (const ContainerCase& c : cases)
        check(c);
}

TEST(ZorvDecoding, SizesTheInputCannotBack)
{
    // Ten one-byte chunks cannot hold ten 32 KiB frames: no buffer of the
    // claimed size is made, yet the result is the decoder's own.
    const Bytes start = uncompressed_stream(segment_content(10, 12));
    const Bytes ten_bytes(start.begin(), start.begin() + 10);
    const Bytes corrupt = invalid_block_stream();
    const Bytes ten_corrupt(corrupt.begin(), corrupt.begin() + 10);
    Bytes implausible = zorv_head({10 * 0x8000});
    Bytes implausible_corrupt = implausible;
    for (uint8_t byte : ten_bytes)
        implausible = concat({implausible, chunk({byte})});
    for (uint8_t byte : ten_corrupt)
        implausible_corrupt = concat({implausible_corrupt, chunk({byte})});

    // Above 0x7FFFFFFE bytes lzx_decompress refuses the segment.
    const uint64_t huge = 0x80000000ull;
    Bytes over_limit = zorv_head({huge});
    over_limit.reserve(over_limit.size() + 3 * frames_of(huge));
    for (uint64_t i = 0; i < frames_of(huge); ++i)
        over_limit.insert(over_limit.end(), {0x00, 0x01, 0x00});

    const ContainerCase cases[] = {
        {"implausible size", implausible, 5, "segment 0/1 decode failed rc=3 (size 327680, layout contiguous)\n", {}},
        {"implausible size, corrupt stream", implausible_corrupt, 5,
         "segment 0/1 decode failed rc=11 (size 327680, layout contiguous)\n", {}},
        {"over 0x7FFFFFFE bytes", over_limit, 5,
         "segment 0/1 decode failed rc=1 (size 2147483648, layout contiguous)\n", {}},
    };
    for (const ContainerCase& c : cases)
        check(c);
}

// ---------------------------------------------------------------------------
// Output failures

class FailingSink : public ZorvSink {
public:
    enum class Step { open, write, close };
    explicit FailingSink(Step failing) : failing_(failing) {}
    bool open(std::string& error) override { return step(Step::open, error); }
    bool write(const uint8_t*, size_t, std::string& error) override { return step(Step::write, error); }
    bool close(std::string& error) override { return step(Step::close, error); }

private:
    bool step(Step step, std::string& error)
    {
        if (step != failing_)
            return true;
        error = "Disk quota exceeded";
        return false;
    }
    Step failing_;
};

TEST(ZorvOutput, FailedOpenWriteOrCloseIsNeverSuccess)
{
    const Bytes content = segment_content(100, 13);
    const Bytes segmented = concat({zorv_head({content.size()}), uncompressed_segment_chunks(content)});
    const Bytes raw = concat({zorv_header({}), content});
    for (const Bytes* file : {&segmented, &raw}) {
        for (FailingSink::Step step : {FailingSink::Step::open, FailingSink::Step::write, FailingSink::Step::close}) {
            SCOPED_TRACE(int(step));
            FailingSink sink(step);
            const ZorvResult result = zorv_decode(*file, sink);
            EXPECT_EQ(result.exit_code, 3);
            EXPECT_EQ(result.message, "out: Disk quota exceeded\n");
        }
    }
    // A non-ZORV input never opens the output.
    FailingSink sink(FailingSink::Step::open);
    EXPECT_EQ(zorv_decode(Bytes{1, 2, 3}, sink).exit_code, 4);
}

}  // namespace
}  // namespace decoder_test

namespace decoder_test {
namespace {

// zorv_decode keeps its work buffers from run to run on a thread; a sink
// that decodes another file while it receives bytes, or while it makes room
// for them, must not disturb them.
class NestingSink : public ZorvMemorySink {
public:
    explicit NestingSink(const Bytes& inner_file) : inner_file_(inner_file) {}
    bool write(const uint8_t* data, size_t size, std::string& error) override
    {
        nest();
        return ZorvMemorySink::write(data, size, error);
    }
    uint8_t* place(size_t size) override
    {
        nest();
        return ZorvMemorySink::place(size);
    }
    bool inner_done = false;
    ZorvResult inner_result;
    ZorvMemorySink inner;

private:
    void nest()
    {
        if (!inner_done) {
            inner_done = true;
            inner_result = zorv_decode(inner_file_, inner);
        }
    }
    Bytes inner_file_;
};

TEST(ZorvDecoding, RunsFollowingAndNestingOnOneThreadKeepTheirBytes)
{
    const auto file_of = [](const Bytes& content) {
        return concat({zorv_head({content.size()}), uncompressed_segment_chunks(content)});
    };
    const Bytes outer_content = segment_content(70000, 1), inner_content = segment_content(90000, 2);
    const Bytes outer_file = file_of(outer_content), inner_file = file_of(inner_content);

    NestingSink sink(inner_file);
    EXPECT_EQ(zorv_decode(outer_file, sink).exit_code, 0);
    ASSERT_TRUE(sink.inner_done);
    EXPECT_EQ(sink.inner_result.exit_code, 0);
    EXPECT_EQ(sink.inner.bytes, inner_content);
    EXPECT_EQ(sink.bytes, outer_content);

    // A later run reuses the kept buffers: a smaller file after a larger one.
    const Bytes small_content = segment_content(1000, 3);
    ZorvMemorySink again;
    EXPECT_EQ(zorv_decode(file_of(small_content), again).exit_code, 0);
    EXPECT_EQ(again.bytes, small_content);
}

}  // namespace
}  // namespace decoder_test

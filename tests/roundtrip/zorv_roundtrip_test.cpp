// Round trips through the real zorv program: files written by the ZORV
// writer in every layout and table width must decode to their content, with
// the summary line naming the layout the decoder recognised. Includes a
// multi-segment file in which one segment decodes only on the retry without
// the padding byte, while the segments after it are standard again.
#include "child_process.h"
#include "synthetic_data.h"
#include "zorv_packer.h"
#include "zorv_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

using namespace lzxenc;
namespace fs = std::filesystem;

namespace {

struct ZorvRun {
    int exit_code = -1;
    std::string message; // standard error
    std::vector<uint8_t> output;
};

void write_file(const fs::path& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> read_file(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class ZorvProgram : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = fs::path(::testing::TempDir()) /
               ("zorv-roundtrip-" + std::to_string(getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    // Runs `zorv in out` on the file and collects what it produced.
    ZorvRun run(const std::vector<uint8_t>& file)
    {
        const fs::path in = dir_ / "in.zorv", out = dir_ / "out.bin";
        write_file(in, file);
        fs::remove(out);
        ZorvRun result;
        result.exit_code = run_program({ZORV_PROGRAM, in.string(), out.string()}, &result.message);
        result.output = read_file(out);
        return result;
    }

    // Runs a program with its standard error collected; returns its exit code.
    int run_program(const std::vector<std::string>& args, std::string* message)
    {
        child_process::ChildOptions options;
        options.stderr_path = (dir_ / "stderr.txt").string();
        const child_process::ChildExit exit = child_process::run_child(args, options);
        const auto text = read_file(options.stderr_path);
        message->assign(text.begin(), text.end());
        return exit.exit_code;
    }

    fs::path dir_;
};

std::string summary(size_t segments, unsigned window_shift, unsigned zone_shift, const char* layout,
                    size_t file_size, size_t content_size)
{
    char line[200];
    std::snprintf(line, sizeof line, "%zu segment(s), window 0x%x, zbs 0x%x, %s: %zu -> %zu bytes\n", segments,
                  0x8000u << window_shift, 0x8000u << zone_shift, layout, file_size, content_size);
    return line;
}

std::vector<uint8_t> concatenated(const std::vector<std::vector<uint8_t>>& parts)
{
    std::vector<uint8_t> all;
    for (const auto& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

LzxOptions lzx_with_window(unsigned bits)
{
    LzxOptions options;
    options.window_bits = bits;
    return options;
}

TEST_F(ZorvProgram, RawFile)
{
    const auto content = make_synthetic_data(DataKind::Text, 5000, 1);
    ZorvWriteOptions options;
    options.window_shift = 9;
    options.zone_shift = 3;
    options.size_width = 2;
    const auto file = write_zorv_raw(content, options);
    const ZorvRun run = this->run(file);
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.message, "raw: 5016 -> 5000 bytes (flags 0x00800039)\n");
    EXPECT_EQ(run.output, content);
}

// Files built by pack_zorv: one per layout, table width and window.
TEST_F(ZorvProgram, PackedFilesInEveryLayoutAndWidth)
{
    struct Case {
        const char* name;
        ZorvLayout layout;
        unsigned window_bits, zone_shift, size_width;
        uint64_t segment_size;
        DataKind kind;
        size_t size;
        const char* layout_word;
    };
    const Case cases[] = {
        {"contiguous, 32-bit, one segment", ZorvLayout::Contiguous, 17, 0, 1, 0, DataKind::Text, 300000, "contiguous"},
        {"contiguous, 20-bit, many segments", ZorvLayout::Contiguous, 15, 1, 0, 70000, DataKind::Mixed, 400000,
         "contiguous"},
        {"contiguous, 32-bit (width 2), 2 MiB window", ZorvLayout::Contiguous, 21, 3, 2, 1 << 20, DataKind::X86,
         2500000, "contiguous"},
        {"zoned, 32-bit (width 3), 128 KiB zones", ZorvLayout::Zoned, 16, 2, 3, 0, DataKind::Mixed, 600000, "zoned"},
        {"zoned, 20-bit, 32 KiB zones", ZorvLayout::Zoned, 15, 0, 0, 0, DataKind::Records, 200000, "zoned"},
        {"zoned, 20-bit, 256 KiB zones, 2 MiB window", ZorvLayout::Zoned, 21, 3, 0, 0, DataKind::Text, 700000, "zoned"},
    };
    uint64_t seed = 40;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto content = make_synthetic_data(c.kind, c.size, seed++);
        ZorvPackOptions options;
        options.lzx.window_bits = c.window_bits;
        options.layout = c.layout;
        options.zone_shift = c.zone_shift;
        options.size_width = c.size_width;
        options.segment_size = c.segment_size;
        const ZorvPackResult packed = pack_zorv(content, options);
        ASSERT_GE(packed.segments, 1u);
        const ZorvRun run = this->run(packed.file);
        EXPECT_EQ(run.exit_code, 0);
        EXPECT_EQ(run.message, summary(packed.segments, c.window_bits - 15, c.zone_shift, c.layout_word,
                                       packed.file.size(), content.size()));
        EXPECT_TRUE(run.output == content) << "decoded content differs";
    }
}

TEST_F(ZorvProgram, ContiguousPaddingEmptySegmentsAndTrailingZero)
{
    std::vector<std::vector<uint8_t>> contents = {make_synthetic_data(DataKind::Text, 100000, 1), {},
                                                  make_synthetic_data(DataKind::Random, 70000, 2),
                                                  make_synthetic_data(DataKind::Records, 5, 3)};
    std::vector<ZorvSegment> segments;
    for (const auto& content : contents)
        segments.push_back(compressed_segment(content, lzx_with_window(16)));
    ZorvWriteOptions options;
    options.window_shift = 1;
    options.zone_shift = 0;
    // Padding before the second chunk and before the first chunk of the
    // random segment; random chunks of ~32 KiB cross zone boundaries.
    options.pad_before_chunks = {1, 4};
    options.trailing_zero_bytes = 1;
    const auto file = write_zorv(segments, options);
    const ZorvRun run = this->run(file);
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.message, summary(4, 1, 0, "contiguous", file.size(), 170005));
    EXPECT_TRUE(run.output == concatenated(contents));
}

TEST_F(ZorvProgram, ZonedStoredCompressedAndEmptySegments)
{
    std::vector<std::vector<uint8_t>> contents = {make_synthetic_data(DataKind::X86, 60000, 4),
                                                  make_synthetic_data(DataKind::Random, 30000, 5), {}, {},
                                                  make_synthetic_data(DataKind::Text, 90000, 6)};
    LzxOptions lzx = lzx_with_window(17);
    lzx.e8_file_size = 12000000;
    std::vector<ZorvSegment> segments = {compressed_segment(contents[0], lzx), stored_segment(contents[1]),
                                         stored_segment(contents[2]), compressed_segment(contents[3], lzx),
                                         compressed_segment(contents[4], lzx)};
    ZorvWriteOptions options;
    options.layout = ZorvLayout::Zoned;
    options.window_shift = 2;
    options.zone_shift = 1;
    options.size_width = 1;
    options.zone_filler = 0x5C;
    options.trailing_filler_bytes = 100;
    const auto file = write_zorv(segments, options);
    const ZorvRun run = this->run(file);
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.message, summary(5, 2, 1, "zoned", file.size(), 180000));
    EXPECT_TRUE(run.output == concatenated(contents));
}

TEST_F(ZorvProgram, SegmentNeedingTheRetryBetweenStandardSegments)
{
    // Segment 1 has odd-length uncompressed blocks without padding bytes,
    // followed by further blocks: only the retry decodes it. Segments 0 and
    // 2 have padded odd blocks and need the standard reading.
    std::vector<std::vector<uint8_t>> contents = {make_synthetic_data(DataKind::Mixed, 90000, 7),
                                                  make_synthetic_data(DataKind::Mixed, 90000, 8),
                                                  make_synthetic_data(DataKind::Mixed, 90000, 9)};
    LzxOptions lzx = lzx_with_window(16);
    lzx.block_pattern = {BlockType::Uncompressed, BlockType::Verbatim};
    lzx.block_size = 3001;
    std::vector<ZorvSegment> segments;
    for (size_t k = 0; k < contents.size(); ++k) {
        lzx.pad_odd_uncompressed = k != 1;
        LzxStats stats;
        segments.push_back(compressed_segment(contents[k], lzx, &stats));
        ASSERT_GT(stats.odd_uncompressed_blocks, 10u);
    }
    for (ZorvLayout layout : {ZorvLayout::Contiguous, ZorvLayout::Zoned}) {
        const bool zoned = layout == ZorvLayout::Zoned;
        SCOPED_TRACE(zoned ? "zoned" : "contiguous");
        ZorvWriteOptions options;
        options.layout = layout;
        options.zone_shift = 2;
        options.size_width = zoned ? 0 : 1;
        const auto file = write_zorv(segments, options);
        const ZorvRun run = this->run(file);
        EXPECT_EQ(run.exit_code, 0) << run.message;
        EXPECT_EQ(run.message, summary(3, 1, 2, zoned ? "zoned" : "contiguous", file.size(), 270000));
        EXPECT_TRUE(run.output == concatenated(contents));
    }
}

} // namespace

namespace {

// The zorv-pack tool, as other engineers' fixtures use it: every layout and
// a few encoder switches, decoded by zorv.
TEST_F(ZorvProgram, FilesMadeByZorvPack)
{
    const auto content = make_synthetic_data(DataKind::Mixed, 300001, 77);
    write_file(dir_ / "content.bin", content);
    struct Case {
        std::vector<std::string> options;
        const char* layout_word;
    };
    const Case cases[] = {
        {{}, "contiguous"},
        {{"--layout", "raw"}, nullptr},
        {{"--window", "21", "--size-width", "20", "--segment-size", "100000", "--e8"}, "contiguous"},
        {{"--layout", "zoned", "--zone-shift", "1", "--blocks", "v,u,a", "--block-size", "12345", "--e8=999999"},
         "zoned"},
        {{"--window", "15", "--blocks", "u,v", "--block-size", "3001", "--no-padding", "--max-match", "8"},
         "contiguous"},
    };
    for (const Case& c : cases) {
        std::string joined;
        for (const std::string& option : c.options)
            joined += option + " ";
        SCOPED_TRACE(joined);
        std::vector<std::string> args = {ZORV_PACK_PROGRAM};
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.push_back((dir_ / "content.bin").string());
        args.push_back((dir_ / "packed.zorv").string());
        std::string pack_message;
        ASSERT_EQ(run_program(args, &pack_message), 0) << pack_message;
        const ZorvRun run = this->run(read_file(dir_ / "packed.zorv"));
        EXPECT_EQ(run.exit_code, 0) << run.message;
        if (c.layout_word)
            EXPECT_NE(run.message.find(std::string(c.layout_word) + ": "), std::string::npos) << run.message;
        else
            EXPECT_EQ(run.message.rfind("raw: ", 0), 0u) << run.message;
        EXPECT_TRUE(run.output == content);
    }
    std::string message;
    EXPECT_EQ(run_program({ZORV_PACK_PROGRAM, "--window", "22", "a", "b"}, &message), 2) << "bad option value";
    EXPECT_EQ(run_program({ZORV_PACK_PROGRAM, (dir_ / "missing").string(), (dir_ / "x").string()}, &message), 1);
}

} // namespace

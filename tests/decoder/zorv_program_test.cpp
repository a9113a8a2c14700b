// The zorv program as the launcher runs it: arguments, messages on standard
// error and exit codes, which output files it creates, unreadable and
// unwritable files, pipes as input, and memory use bounded by what the input
// can back.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "test_support.h"
#include "zorv_file_builder.h"

namespace decoder_test {
namespace {

namespace fs = std::filesystem;

ProgramRun zorv(const std::vector<std::string>& args, const ProgramOptions& options = {})
{
    std::vector<std::string> argv = {"zorv"};
    argv.insert(argv.end(), args.begin(), args.end());
    return run_program(ZORV_PROGRAM, argv, options);
}

void expect_one_line(const ProgramRun& run)
{
    EXPECT_TRUE(run.out.empty()) << run.out;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_EQ(run.err.back(), '\n');
}

Bytes raw_file(const Bytes& content) { return concat({zorv_header({}), content}); }

TEST(ZorvProgram, UsageNamesTheProgramAsStarted)
{
    for (size_t given : {0u, 1u}) {
        std::vector<std::string> argv = {"renamed-zorv"};
        if (given == 1)
            argv.push_back("in.zorv");
        const ProgramRun run = run_program(ZORV_PROGRAM, argv);
        EXPECT_EQ(run.exit_code, 2);
        EXPECT_EQ(run.err, "usage: renamed-zorv <in> <out>\n");
        expect_one_line(run);
    }
}

TEST(ZorvProgram, DecodesAndIgnoresExtraArguments)
{
    TempDir dir;
    const Bytes content = segment_content(70000, 1);
    write_file(dir / "in", concat({zorv_head({content.size()}), uncompressed_segment_chunks(content)}));
    const ProgramRun run = zorv({(dir / "in").string(), (dir / "out").string(), "extra", "args"});
    EXPECT_EQ(run.exit_code, 0);
    expect_one_line(run);
    EXPECT_EQ(read_file(dir / "out"), content);
}

TEST(ZorvProgram, InputTrouble)
{
    TempDir dir;
    write_file(dir / "empty", {});
    struct Case {
        const char* name;
        fs::path input;
        int exit_code;
        std::string message;
    };
    const Case cases[] = {
        {"missing input", dir / "missing", 3, "in: No such file or directory\n"},
        {"folder as input", dir.path(), 3, "in: Is a directory\n"},
        {"empty input", dir / "empty", 4, "not ZORV (magic/version mismatch)\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ProgramRun run = zorv({c.input.string(), (dir / "out").string()});
        EXPECT_EQ(run.exit_code, c.exit_code);
        EXPECT_EQ(run.err, c.message);
        expect_one_line(run);
        EXPECT_FALSE(fs::exists(dir / "out"));
    }
}

TEST(ZorvProgram, OutputTroubleIsNeverSuccess)
{
    TempDir dir;
    write_file(dir / "raw", raw_file(segment_content(5000, 2)));
    struct Case {
        const char* name;
        std::string output;
        std::string message;
    };
    const Case cases[] = {
        {"full disk", "/dev/full", "out: No space left on device\n"},
        {"folder as output", dir.path().string(), "out: Is a directory\n"},
        {"missing folder", (dir / "no" / "such").string(), "out: No such file or directory\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ProgramRun run = zorv({(dir / "raw").string(), c.output});
        EXPECT_EQ(run.exit_code, 3);
        EXPECT_EQ(run.err, c.message);
        expect_one_line(run);
    }
}

TEST(ZorvProgram, OutputLeftBehindAfterFailures)
{
    TempDir dir;
    const Bytes a = segment_content(3000, 3);
    const Bytes head = zorv_head({1, 2, 3});
    write_file(dir / "table", Bytes(head.begin(), head.end() - 1));
    write_file(dir / "failing",
               concat({zorv_head({a.size(), 100}), uncompressed_segment_chunks(a), chunk(Bytes(40, 0))}));

    const ProgramRun table = zorv({(dir / "table").string(), (dir / "table.out").string()});
    EXPECT_EQ(table.exit_code, 4);
    EXPECT_EQ(table.err, "table exceeds file\n");
    EXPECT_EQ(read_file(dir / "table.out"), Bytes());

    const ProgramRun failing = zorv({(dir / "failing").string(), (dir / "failing.out").string()});
    EXPECT_EQ(failing.exit_code, 5);
    EXPECT_EQ(failing.err, "segment 1/2 decode failed rc=11 (size 100, layout contiguous)\n");
    EXPECT_EQ(read_file(dir / "failing.out"), a);
}

TEST(ZorvProgram, PipesAreReadToTheirEnd)
{
    const Bytes content = segment_content(200000, 4);  // more than a pipe holds at once
    const Bytes file = concat({zorv_head({content.size()}), uncompressed_segment_chunks(content)});
    TempDir dir;

    const ProgramRun from_stdin = zorv({"/dev/stdin", (dir / "stdin.out").string()}, {&file});
    EXPECT_EQ(from_stdin.exit_code, 0) << from_stdin.err;
    EXPECT_EQ(read_file(dir / "stdin.out"), content);

    // A named pipe, fed by a thread that gives up if zorv never opens it.
    const fs::path fifo = dir / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::thread writer([&] {
        int fd = -1;
        for (int attempt = 0; attempt < 1000 && fd < 0; ++attempt) {
            fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
            if (fd < 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (fd < 0)
            return;
        ::fcntl(fd, F_SETFL, 0);  // blocking writes from here on
        size_t done = 0;
        while (done < file.size()) {
            const ssize_t n = ::write(fd, file.data() + done, file.size() - done);
            if (n <= 0)
                break;
            done += size_t(n);
        }
        ::close(fd);
    });
    const ProgramRun from_fifo = zorv({fifo.string(), (dir / "fifo.out").string()});
    writer.join();
    EXPECT_EQ(from_fifo.exit_code, 0) << from_fifo.err;
    EXPECT_EQ(read_file(dir / "fifo.out"), content);
}

// A segment of `size` bytes in `frames` chunks of `payload` bytes each (all
// zero: not a valid stream).
Bytes many_chunk_file(uint64_t size, size_t payload)
{
    Bytes file = zorv_head({size});
    const Bytes one = chunk(Bytes(payload, 0));
    for (uint64_t i = 0; i < frames_of(size); ++i)
        file.insert(file.end(), one.begin(), one.end());
    return file;
}

TEST(ZorvProgram, MemoryFollowsWhatTheInputCanBack)
{
    if (kAddressSanitizer)
        GTEST_SKIP() << "address-space limits do not work under AddressSanitizer";
    TempDir dir;
    const uint64_t size = 1500000000;  // 45777 frames
    ProgramOptions limited;
    limited.address_space_limit = 512ull << 20;

    // One byte per frame cannot decode to 1.5 GB: the decoder runs without
    // an output buffer and reports its own result.
    write_file(dir / "thin", many_chunk_file(size, 1));
    const ProgramRun thin = zorv({(dir / "thin").string(), (dir / "thin.out").string()}, limited);
    EXPECT_EQ(thin.exit_code, 5);
    EXPECT_EQ(thin.err, "segment 0/1 decode failed rc=11 (size 1500000000, layout contiguous)\n");

    // Sixteen bytes per frame could: the buffer is attempted, and the
    // address-space limit turns it into "out of memory".
    write_file(dir / "thick", many_chunk_file(size, 16));
    const ProgramRun thick = zorv({(dir / "thick").string(), (dir / "thick.out").string()}, limited);
    EXPECT_EQ(thick.exit_code, 3);
    EXPECT_EQ(thick.err, "out of memory\n");
}

}  // namespace
}  // namespace decoder_test

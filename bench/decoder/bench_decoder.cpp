// bench_decoder: decoding throughput of zorv against gzip -dc,
// libdeflate-gunzip and cat, all run as whole processes writing to a file.
#include "bench_corpus.h"
#include "bench_cli.h"
#include "process_timer.h"

#include "zorv_packer.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/wait.h>
#include <unistd.h>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using bench::write_file;

const char kHelp[] =
    "usage: bench_decoder [options]\n"
    "\n"
    "Builds a mixed corpus (text, x86-64 programs and libraries, already-compressed\n"
    "data; 40/40/20) from this machine's files, packs it with the test-side LZX\n"
    "encoder into ZORV files at windows 2^17 and 2^21 (E8 translation on, 256 KiB\n"
    "blocks, 2 MiB segments), compresses it with gzip -6, then times as whole\n"
    "processes writing to a file, side by side:\n"
    "  zorv <file.zorv> <out>            for each window\n"
    "  gzip -dc content.gz > out\n"
    "  libdeflate-gunzip -c content.gz > out\n"
    "  cat content > out                  (the copy floor)\n"
    "Each command runs once untimed (its output is checked against the corpus), then\n"
    "--repeat times; the table gives the median wall time as decoded MB/s, the peak\n"
    "memory (wait4 ru_maxrss) and the throughput relative to gzip -dc.\n"
    "\n"
    "How to run (from the project root, with your build folder):\n"
    "  cmake --build build --target bench_decoder zorv\n"
    "  build/bench/bench_decoder\n"
    "or bench/run decoder [options].\n"
    "\n"
    "Options:\n"
    "  --size MIB          corpus size in MiB (default 64)\n"
    "  --repeat N          timed runs per command (default 5)\n"
    "  --segment-size N    decoded bytes per ZORV segment (default 2097152)\n"
    "  --work DIR          folder for the corpus and outputs (default: under the build\n"
    "                      folder); removed afterwards\n"
    "  --zorv PATH         decoder program (default: the one built with this benchmark)\n"
    "  --keep              keep the work folder\n"
    "  -h, --help          this text\n";

struct Settings {
    size_t size_mib = 64;
    int repeat = 5;
    uint64_t segment_size = 2 << 20;
    std::string work = BENCH_WORK_DIR;
    std::string zorv = ZORV_PROGRAM;
    bool keep = false;
};

Settings parse_settings(int argc, char** argv)
{
    Settings settings;
    bench::ArgReader args("bench_decoder", argc, argv);
    while (args.next()) {
        const std::string& arg = args.arg();
        if (arg == "-h" || arg == "--help") {
            std::fputs(kHelp, stdout);
            std::exit(0);
        } else if (arg == "--size") {
            settings.size_mib = args.number();
        } else if (arg == "--repeat") {
            settings.repeat = static_cast<int>(args.number(1000000));
        } else if (arg == "--segment-size") {
            settings.segment_size = args.number();
        } else if (arg == "--work") {
            settings.work = args.value();
        } else if (arg == "--zorv") {
            settings.zorv = args.value();
        } else if (arg == "--keep") {
            settings.keep = true;
        } else {
            args.fail("unknown option " + arg);
        }
    }
    return settings;
}


// Compares two files a block at a time, so that the benchmark process stays
// small while it starts the measured programs.
bool same_file_contents(const fs::path& a, const fs::path& b)
{
    std::ifstream in_a(a, std::ios::binary), in_b(b, std::ios::binary);
    if (!in_a || !in_b)
        return false;
    std::vector<char> block_a(1 << 20), block_b(1 << 20);
    for (;;) {
        in_a.read(block_a.data(), static_cast<std::streamsize>(block_a.size()));
        in_b.read(block_b.data(), static_cast<std::streamsize>(block_b.size()));
        if (in_a.gcount() != in_b.gcount() ||
            std::memcmp(block_a.data(), block_b.data(), static_cast<size_t>(in_a.gcount())) != 0)
            return false;
        if (in_a.gcount() == 0)
            return true;
    }
}

// Peak resident set of this process in KiB (VmHWM). A child started from
// here reports at least this as its own peak, since exec keeps the
// high-water mark of the process that started it.
long own_peak_rss_kib()
{
    std::ifstream status("/proc/self/status");
    std::string key;
    long value = 0;
    while (status >> key) {
        if (key == "VmHWM:" && status >> value)
            return value;
        status.ignore(1 << 10, '\n');
    }
    return 0;
}

double seconds_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

struct Command {
    std::string label;
    std::string input_name;
    std::vector<std::string> argv;
    std::string stdout_path; // where the decoded bytes go when written to standard output
};

struct Result {
    Command command;
    bool available = false;
    bool correct = false;
    std::vector<double> seconds;
    std::vector<double> cpu_seconds;
    long peak_rss_kib = 0;

    double median() const { return seconds[seconds.size() / 2]; }
    double best() const { return seconds.front(); }
    double median_cpu() const { return cpu_seconds[cpu_seconds.size() / 2]; }
};

// One checked warm-up run per command, then `repeat` rounds that run every
// command once in turn, so that load from elsewhere on the machine falls on
// all of them alike.
std::vector<Result> measure_all(const std::vector<Command>& commands, const fs::path& output,
                                const fs::path& expected, int repeat)
{
    std::vector<Result> results;
    for (const Command& command : commands) {
        Result result;
        result.command = command;
        result.available = !find_program(command.argv[0]).empty() || fs::exists(command.argv[0]);
        if (result.available) {
            fs::remove(output);
            const ProcessMeasure warm = run_measured(command.argv, command.stdout_path);
            result.correct = warm.ok && same_file_contents(output, expected);
        }
        results.push_back(result);
    }
    for (int round = 0; round < repeat; ++round) {
        for (Result& result : results) {
            if (!result.correct)
                continue;
            // A fresh file each time: rewriting a truncated file makes some
            // file systems flush it on close, which would time the disk.
            fs::remove(output);
            const ProcessMeasure m = run_measured(result.command.argv, result.command.stdout_path);
            result.correct = m.ok;
            result.seconds.push_back(m.seconds);
            result.cpu_seconds.push_back(m.cpu_seconds);
            result.peak_rss_kib = std::max(result.peak_rss_kib, m.peak_rss_kib);
        }
    }
    for (Result& result : results) {
        std::sort(result.seconds.begin(), result.seconds.end());
        std::sort(result.cpu_seconds.begin(), result.cpu_seconds.end());
    }
    return results;
}

void print_table(const std::vector<Result>& results, size_t content_size)
{
    double gzip_seconds = 0;
    for (const Result& r : results)
        if (r.command.label == "gzip -dc" && r.correct)
            gzip_seconds = r.median();
    std::printf("\n%-22s %-18s %8s %9s %8s %8s %8s %9s\n", "command", "input", "MB/s", "median s", "best s",
                "cpu s", "RSS MiB", "vs gzip");
    for (const Result& r : results) {
        std::printf("%-22s %-18s ", r.command.label.c_str(), r.command.input_name.c_str());
        if (!r.available) {
            std::printf("not installed\n");
            continue;
        }
        if (!r.correct) {
            std::printf("FAILED (did not exit 0 or wrong output)\n");
            continue;
        }
        std::printf("%8.1f %9.3f %8.3f %8.3f %8.1f ", content_size / 1e6 / r.median(), r.median(), r.best(),
                    r.median_cpu(), r.peak_rss_kib / 1024.0);
        if (gzip_seconds > 0)
            std::printf("%8.2fx\n", gzip_seconds / r.median());
        else
            std::printf("%9s\n", "-");
    }
    double libdeflate_seconds = 0;
    for (const Result& r : results)
        if (r.command.label == "libdeflate-gunzip -c" && r.correct)
            libdeflate_seconds = r.median();
    for (const Result& r : results) {
        if (r.command.label != "zorv" || !r.correct)
            continue;
        if (gzip_seconds > 0) {
            const double ratio = gzip_seconds / r.median();
            std::printf("goal zorv >= 2x gzip -dc (%s): %.2fx, %s\n", r.command.input_name.c_str(), ratio,
                        ratio >= 2.0 ? "met" : "NOT met");
        }
        if (libdeflate_seconds > 0) {
            const double ratio = libdeflate_seconds / r.median();
            std::printf("goal zorv >= 1.1x libdeflate-gunzip -c (%s): %.2fx, %s\n", r.command.input_name.c_str(),
                        ratio, ratio >= 1.1 ? "met" : "NOT met");
        }
    }
}

struct PreparedFiles {
    size_t content_size = 0;
    fs::path content;
    fs::path gzip;
    std::vector<fs::path> zorv;
};

PreparedFiles prepared_file_names(const fs::path& work)
{
    PreparedFiles files;
    files.content = work / "content.bin";
    files.gzip = work / "content.gz";
    for (unsigned bits : {17u, 21u})
        files.zorv.push_back(work / ("content-w" + std::to_string(bits) + ".zorv"));
    return files;
}

// Builds the corpus and its compressed forms on disk.
void prepare_files(const Settings& settings, const fs::path& work)
{
    const PreparedFiles files = prepared_file_names(work);
    auto start = std::chrono::steady_clock::now();
    const BenchCorpus corpus = build_bench_corpus(settings.size_mib << 20);
    write_file(files.content, corpus.bytes);
    std::printf("corpus: %zu bytes (text %zu, code %zu, compressed %zu) in %.1f s\n  %s\n", corpus.bytes.size(),
                corpus.text_bytes, corpus.code_bytes, corpus.compressed_bytes, seconds_since(start),
                corpus.sources.c_str());

    for (size_t i = 0; i < files.zorv.size(); ++i) {
        const unsigned bits = i == 0 ? 17 : 21;
        lzxenc::ZorvPackOptions options;
        options.lzx.window_bits = bits;
        options.lzx.e8_file_size = 12000000;
        // Long blocks spanning several frames, as in the game's own streams.
        options.lzx.block_size = 262144;
        options.segment_size = settings.segment_size;
        start = std::chrono::steady_clock::now();
        const lzxenc::ZorvPackResult result = lzxenc::pack_zorv(corpus.bytes, options);
        write_file(files.zorv[i], result.file);
        std::printf("zorv window 2^%u: %zu bytes (%.1f%%), %zu segments, encoded in %.1f s\n", bits,
                    result.file.size(), 100.0 * result.file.size() / corpus.bytes.size(), result.segments,
                    seconds_since(start));
    }

    start = std::chrono::steady_clock::now();
    if (!run_measured({"gzip", "-6", "-c", files.content.string()}, files.gzip.string()).ok)
        throw std::runtime_error("gzip -6 failed");
    std::printf("gzip -6: %ju bytes (%.1f%%) in %.1f s\n", static_cast<uintmax_t>(fs::file_size(files.gzip)),
                100.0 * fs::file_size(files.gzip) / corpus.bytes.size(), seconds_since(start));
}

// Prepares the files in a child process. A program started later reports as
// its peak memory at least the high-water mark of the process that started
// it (exec keeps it), so the large buffers of the preparation must never
// have lived in this process.
void prepare_files_in_child(const Settings& settings, const fs::path& work)
{
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        int code = 0;
        try {
            prepare_files(settings, work);
        } catch (const std::exception& error) {
            std::fprintf(stderr, "bench_decoder: %s\n", error.what());
            code = 1;
        }
        std::fflush(stdout);
        _exit(code);
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("preparing the corpus failed");
}

int run(const Settings& settings)
{
    const fs::path work = settings.work;
    fs::create_directories(work);
    prepare_files_in_child(settings, work);
    PreparedFiles files = prepared_file_names(work);
    files.content_size = fs::file_size(files.content);

    const fs::path output = work / "decoded.out";
    std::vector<Command> commands;
    for (const fs::path& path : files.zorv)
        commands.push_back({"zorv", path.filename().string(), {settings.zorv, path.string(), output.string()},
                            "/dev/null"});
    commands.push_back({"gzip -dc", "content.gz", {"gzip", "-dc", files.gzip.string()}, output.string()});
    commands.push_back(
        {"libdeflate-gunzip -c", "content.gz", {"libdeflate-gunzip", "-c", files.gzip.string()}, output.string()});
    commands.push_back({"cat", "content.bin", {"cat", files.content.string()}, output.string()});

    const long floor_kib = own_peak_rss_kib();
    const std::vector<Result> results = measure_all(commands, output, files.content, settings.repeat);
    print_table(results, files.content_size);
    std::printf("(%d timed rounds after one checked warm-up run each; MB/s = decoded bytes / median wall time;\n"
                " cpu s = median user + system time; RSS = peak resident set, which cannot read below\n"
                " this benchmark's own %.1f MiB)\n",
                settings.repeat, floor_kib / 1024.0);

    bool all_ok = true;
    for (const Result& r : results)
        all_ok = all_ok && (!r.available || r.correct);
    return all_ok ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    const Settings settings = parse_settings(argc, argv);
    int code = 1;
    try {
        code = run(settings);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_decoder: %s\n", error.what());
    }
    if (!settings.keep) {
        std::error_code ec;
        fs::remove_all(settings.work, ec);
    }
    return code;
}

// bench_decoder: decoding throughput of zorv against gzip -dc,
// libdeflate-gunzip and cat, all run as whole processes writing to a file.
#include "bench_corpus.h"
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
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char kHelp[] =
    "usage: bench_decoder [options]\n"
    "\n"
    "Builds a mixed corpus (text, x86-64 programs and libraries, already-compressed\n"
    "data; 40/40/20) from this machine's files, packs it with the test-side LZX encoder\n"
    "into ZORV files at windows 2^17 and 2^21 (E8 translation on), compresses it with\n"
    "gzip -6, then times as whole processes writing to a file, side by side:\n"
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
    "or bench/decoder/run-bench.sh [build folder] [options].\n"
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

[[noreturn]] void usage_error(const std::string& message)
{
    std::fprintf(stderr, "bench_decoder: %s (see --help)\n", message.c_str());
    std::exit(2);
}

Settings parse_settings(int argc, char** argv)
{
    Settings settings;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                usage_error(arg + " needs a value");
            return argv[++i];
        };
        auto number = [&]() -> unsigned long long {
            const std::string text = value();
            char* end = nullptr;
            const unsigned long long n = std::strtoull(text.c_str(), &end, 10);
            if (text.empty() || *end != '\0' || n == 0)
                usage_error("bad number for " + arg + ": " + text);
            return n;
        };
        if (arg == "-h" || arg == "--help") {
            std::fputs(kHelp, stdout);
            std::exit(0);
        } else if (arg == "--size") {
            settings.size_mib = number();
        } else if (arg == "--repeat") {
            settings.repeat = static_cast<int>(number());
        } else if (arg == "--segment-size") {
            settings.segment_size = number();
        } else if (arg == "--work") {
            settings.work = value();
        } else if (arg == "--zorv") {
            settings.zorv = value();
        } else if (arg == "--keep") {
            settings.keep = true;
        } else {
            usage_error("unknown option " + arg);
        }
    }
    return settings;
}

void write_file(const fs::path& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

bool file_equals(const fs::path& path, const std::vector<uint8_t>& expected)
{
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return bytes == expected;
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
    double median_seconds = 0;
    double best_seconds = 0;
    long peak_rss_kib = 0;
};

Result measure(const Command& command, const fs::path& output, const std::vector<uint8_t>& content, int repeat)
{
    Result result{command};
    result.available = !find_program(command.argv[0]).empty() || fs::exists(command.argv[0]);
    if (!result.available)
        return result;
    const ProcessMeasure warm = run_measured(command.argv, command.stdout_path);
    result.correct = warm.ok && file_equals(output, content);
    if (!result.correct)
        return result;
    std::vector<double> times;
    for (int i = 0; i < repeat; ++i) {
        const ProcessMeasure m = run_measured(command.argv, command.stdout_path);
        if (!m.ok) {
            result.correct = false;
            return result;
        }
        times.push_back(m.seconds);
        result.peak_rss_kib = std::max(result.peak_rss_kib, m.peak_rss_kib);
    }
    std::sort(times.begin(), times.end());
    result.median_seconds = times[times.size() / 2];
    result.best_seconds = times.front();
    return result;
}

void print_table(const std::vector<Result>& results, size_t content_size)
{
    double gzip_seconds = 0;
    for (const Result& r : results)
        if (r.command.label == "gzip -dc" && r.correct)
            gzip_seconds = r.median_seconds;
    std::printf("\n%-22s %-18s %10s %10s %10s %12s %10s\n", "command", "input", "MB/s", "median s", "best s",
                "peak RSS MiB", "vs gzip");
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
        std::printf("%10.1f %10.3f %10.3f %12.1f ", content_size / 1e6 / r.median_seconds, r.median_seconds,
                    r.best_seconds, r.peak_rss_kib / 1024.0);
        if (gzip_seconds > 0)
            std::printf("%9.2fx\n", gzip_seconds / r.median_seconds);
        else
            std::printf("%10s\n", "-");
    }
    for (const Result& r : results) {
        if (r.command.label != "zorv" || !r.correct || gzip_seconds <= 0)
            continue;
        const double ratio = gzip_seconds / r.median_seconds;
        std::printf("goal zorv >= 2x gzip -dc (%s): %.2fx, %s\n", r.command.input_name.c_str(), ratio,
                    ratio >= 2.0 ? "met" : "NOT met");
    }
}

int run(const Settings& settings)
{
    const fs::path work = settings.work;
    fs::create_directories(work);
    const size_t size = settings.size_mib << 20;

    auto start = std::chrono::steady_clock::now();
    const BenchCorpus corpus = build_bench_corpus(size);
    const fs::path content_path = work / "content.bin";
    write_file(content_path, corpus.bytes);
    std::printf("corpus: %zu bytes (text %zu, code %zu, compressed %zu) in %.1f s\n  %s\n", corpus.bytes.size(),
                corpus.text_bytes, corpus.code_bytes, corpus.compressed_bytes, seconds_since(start),
                corpus.sources.c_str());

    std::vector<std::pair<unsigned, fs::path>> packed;
    for (unsigned bits : {17u, 21u}) {
        lzxenc::ZorvPackOptions options;
        options.lzx.window_bits = bits;
        options.lzx.e8_file_size = 12000000;
        options.segment_size = settings.segment_size;
        start = std::chrono::steady_clock::now();
        const lzxenc::ZorvPackResult result = lzxenc::pack_zorv(corpus.bytes, options);
        const fs::path path = work / ("content-w" + std::to_string(bits) + ".zorv");
        write_file(path, result.file);
        std::printf("packed window 2^%u: %zu bytes (%.1f%%), %zu segments, encoded in %.1f s\n", bits,
                    result.file.size(), 100.0 * result.file.size() / corpus.bytes.size(), result.segments,
                    seconds_since(start));
        packed.emplace_back(bits, path);
    }

    const fs::path gz_path = work / "content.gz";
    start = std::chrono::steady_clock::now();
    const ProcessMeasure gz = run_measured({"gzip", "-6", "-c", content_path.string()}, gz_path.string());
    if (!gz.ok)
        throw std::runtime_error("gzip -6 failed");
    std::printf("gzip -6: %ju bytes (%.1f%%) in %.1f s\n", static_cast<uintmax_t>(fs::file_size(gz_path)),
                100.0 * fs::file_size(gz_path) / corpus.bytes.size(), seconds_since(start));

    const fs::path output = work / "decoded.out";
    std::vector<Command> commands;
    for (const auto& [bits, path] : packed)
        commands.push_back({"zorv", path.filename().string(), {settings.zorv, path.string(), output.string()},
                            "/dev/null"});
    commands.push_back({"gzip -dc", "content.gz", {"gzip", "-dc", gz_path.string()}, output.string()});
    commands.push_back(
        {"libdeflate-gunzip -c", "content.gz", {"libdeflate-gunzip", "-c", gz_path.string()}, output.string()});
    commands.push_back({"cat", "content.bin", {"cat", content_path.string()}, output.string()});

    std::vector<Result> results;
    for (const Command& command : commands)
        results.push_back(measure(command, output, corpus.bytes, settings.repeat));
    print_table(results, corpus.bytes.size());
    std::printf("(%d timed runs each after one checked warm-up run; MB/s = decoded bytes / median wall time)\n",
                settings.repeat);

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

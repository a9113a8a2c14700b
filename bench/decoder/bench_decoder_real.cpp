// bench_decoder_real: zorv on the real LZX corpus against zlib and
// libdeflate on the same content, in memory and as one process per file.
#include "bench_cli.h"
#include "process_timer.h"

#include "zorv_container.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char kHelp[] =
    "usage: bench_decoder_real [options]\n"
    "\n"
    "Decodes every .zorv file of the real LZX corpus once, recompresses each file's\n"
    "decoded bytes with zlib level 6 (in memory) and gzip -6 (files in the work\n"
    "folder), then measures, in interleaved rounds:\n"
    "  memory:  zorv_decode into a buffer, against zlib's uncompress and\n"
    "           libdeflate_zlib_decompress on the same content, all files per round;\n"
    "  process: one process per file writing a file: zorv <in> <out>, gzip -dc and\n"
    "           libdeflate-gunzip -c, all files per round;\n"
    "  small:   the smallest .zorv file alone, one process per run, against\n"
    "           libdeflate-gunzip -c on its content and the process floor (a static\n"
    "           program that does nothing: the cost of any run).\n"
    "Each goal is printed with its figure and met or NOT met.\n"
    "Every output is checked once against the content before timing. Figures are\n"
    "medians over the rounds; ratios are taken within the same run. In memory, the\n"
    "thread's CPU time is shown too: on a loaded machine it leaves out the time\n"
    "other programs had the processor.\n"
    "\n"
    "How to run (from the project root, with your build folder):\n"
    "  cmake --build build --target bench_decoder_real zorv\n"
    "  build/bench/bench_decoder_real\n"
    "\n"
    "Options:\n"
    "  --corpus DIR        the real corpus (default: the one next to the project)\n"
    "  --memory-rounds N   in-memory rounds (default 40)\n"
    "  --process-rounds N  rounds of one process per file (default 10)\n"
    "  --small-runs N      runs of each program on the smallest file (default 200)\n"
    "  --work DIR          scratch folder (default: under the build folder); removed\n"
    "                      afterwards\n"
    "  --zorv PATH         decoder program (default: the one built with this benchmark)\n"
    "  --keep              keep the work folder\n"
    "  --memory-only       measure in memory only\n"
    "  --count             instead of timing, decode every file once in memory with\n"
    "                      zorv_decode and with libdeflate, each in a function of its\n"
    "                      own, for instruction counts that do not depend on the\n"
    "                      machine's load:\n"
    "                        valgrind --tool=callgrind --toggle-collect='*count_*' \\\n"
    "                          build/bench/bench_decoder_real --count\n"
    "                        callgrind_annotate --inclusive=yes callgrind.out.<pid>\n"
    "  -h, --help          this text\n";

struct Settings {
    std::string corpus = LZX_REAL_CORPUS;
    int memory_rounds = 40;
    int process_rounds = 10;
    int small_runs = 200;
    std::string work = BENCH_WORK_DIR;
    std::string zorv = ZORV_PROGRAM;
    std::string floor = PROCESS_FLOOR_PROGRAM;
    bool keep = false;
    bool count = false;
    bool memory_only = false;
};

Settings parse_settings(int argc, char** argv)
{
    Settings settings;
    bench::ArgReader args("bench_decoder_real", argc, argv);
    while (args.next()) {
        const std::string& arg = args.arg();
        if (arg == "-h" || arg == "--help") {
            std::fputs(kHelp, stdout);
            std::exit(0);
        } else if (arg == "--corpus") {
            settings.corpus = args.value();
        } else if (arg == "--memory-rounds") {
            settings.memory_rounds = int(args.number(1000000));
        } else if (arg == "--process-rounds") {
            settings.process_rounds = int(args.number(1000000));
        } else if (arg == "--small-runs") {
            settings.small_runs = int(args.number(1000000));
        } else if (arg == "--work") {
            settings.work = args.value();
        } else if (arg == "--zorv") {
            settings.zorv = args.value();
        } else if (arg == "--keep") {
            settings.keep = true;
        } else if (arg == "--count") {
            settings.count = true;
        } else if (arg == "--memory-only") {
            settings.memory_only = true;
        } else {
            args.fail("unknown option " + arg);
        }
    }
    return settings;
}

using Bytes = std::vector<uint8_t>;
using bench::write_file;

Bytes read_file(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path.string());
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}


// Collects zorv's output in a buffer sized once, as a caller decoding into
// memory would; segments decode straight into it.
class BufferSink : public ZorvSink {
public:
    explicit BufferSink(Bytes& buffer) : buffer_(buffer) {}
    bool open(std::string&) override
    {
        used_ = 0;
        return true;
    }
    bool write(const uint8_t* data, size_t size, std::string& error) override
    {
        if (size > buffer_.size() - used_) {
            error = "output larger than expected";
            return false;
        }
        std::memcpy(buffer_.data() + used_, data, size);
        used_ += size;
        return true;
    }
    bool close(std::string&) override { return true; }
    uint8_t* place(size_t size) override { return size <= buffer_.size() - used_ ? buffer_.data() + used_ : nullptr; }
    void commit(size_t size) override { used_ += size; }
    size_t used() const { return used_; }

private:
    Bytes& buffer_;
    size_t used_ = 0;
};

struct CorpusFile {
    std::string name;
    fs::path zorv_path;
    fs::path gzip_path;
    Bytes zorv;     // the ZORV file
    Bytes content;  // its decoded bytes
    Bytes zlib;     // the content at zlib level 6
};

std::vector<CorpusFile> load_corpus(const Settings& settings, const fs::path& work)
{
    std::vector<fs::path> paths;
    for (const auto& entry : fs::directory_iterator(settings.corpus)) {
        if (entry.path().extension() == ".zorv")
            paths.push_back(entry.path());
    }
    std::sort(paths.begin(), paths.end());
    if (paths.empty())
        throw std::runtime_error("no .zorv files in " + settings.corpus);

    std::vector<CorpusFile> files;
    for (const fs::path& path : paths) {
        CorpusFile file;
        file.name = path.stem().string();
        file.zorv_path = path;
        file.zorv = read_file(path);
        ZorvMemorySink sink;
        const ZorvResult result = zorv_decode(file.zorv, sink);
        if (result.exit_code != 0)
            throw std::runtime_error(file.name + ": zorv_decode failed: " + result.message);
        file.content = std::move(sink.bytes);

        uLongf bound = compressBound(uLong(file.content.size()));
        file.zlib.resize(bound);
        if (compress2(file.zlib.data(), &bound, file.content.data(), uLong(file.content.size()), 6) != Z_OK)
            throw std::runtime_error(file.name + ": zlib compression failed");
        file.zlib.resize(bound);

        const fs::path content_path = work / (file.name + ".content");
        write_file(content_path, file.content);
        file.gzip_path = work / (file.name + ".gz");
        if (!run_measured({"gzip", "-6", "-c", content_path.string()}, file.gzip_path.string()).ok)
            throw std::runtime_error("gzip -6 failed on " + content_path.string());
        fs::remove(content_path);
        files.push_back(std::move(file));
    }
    return files;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double thread_cpu_seconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// Wall time and the thread's CPU time of `work`. On a loaded machine the
// CPU time leaves out the time other programs had the processor.
struct Timing {
    double wall;
    double cpu;
};

Timing timing_of(const std::function<void()>& work)
{
    const double cpu_start = thread_cpu_seconds();
    const auto start = std::chrono::steady_clock::now();
    work();
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return {wall, thread_cpu_seconds() - cpu_start};
}

// One decoder in memory: decodes file i into `out`, returns false on failure.
struct MemoryDecoder {
    const char* label;
    std::function<bool(const CorpusFile&, Bytes&)> decode;
};

std::vector<MemoryDecoder> memory_decoders(libdeflate_decompressor* deflate)
{
    return {
        {"zorv_decode",
         [](const CorpusFile& file, Bytes& out) {
             BufferSink sink(out);
             return zorv_decode(file.zorv, sink).exit_code == 0 && sink.used() == file.content.size();
         }},
        {"zlib uncompress",
         [](const CorpusFile& file, Bytes& out) {
             uLongf length = uLongf(out.size());
             return uncompress(out.data(), &length, file.zlib.data(), uLong(file.zlib.size())) == Z_OK &&
                    length == file.content.size();
         }},
        {"libdeflate",
         [deflate](const CorpusFile& file, Bytes& out) {
             size_t length = 0;
             return libdeflate_zlib_decompress(deflate, file.zlib.data(), file.zlib.size(), out.data(),
                                               out.size(), &length) == LIBDEFLATE_SUCCESS &&
                    length == file.content.size();
         }},
    };
}

void measure_memory(const std::vector<CorpusFile>& files, int rounds)
{
    libdeflate_decompressor* deflate = libdeflate_alloc_decompressor();
    if (!deflate)
        throw std::runtime_error("libdeflate_alloc_decompressor failed");
    const std::vector<MemoryDecoder> decoders = memory_decoders(deflate);

    size_t total = 0, largest = 0;
    for (const CorpusFile& file : files) {
        total += file.content.size();
        largest = std::max(largest, file.content.size());
    }
    Bytes out(largest);
    for (const MemoryDecoder& decoder : decoders) {
        for (const CorpusFile& file : files) {
            std::fill(out.begin(), out.end(), 0);
            if (!decoder.decode(file, out) || !std::equal(file.content.begin(), file.content.end(), out.begin()))
                throw std::runtime_error(std::string(decoder.label) + " gives wrong output for " + file.name);
        }
    }

    // Rounds rotate the order of the decoders, so that none always runs
    // right after another's cache footprint.
    std::vector<std::vector<double>> seconds(decoders.size()), cpu_seconds(decoders.size());
    for (int round = 0; round < rounds; ++round) {
        for (size_t k = 0; k < decoders.size(); ++k) {
            const size_t d = (k + size_t(round)) % decoders.size();
            bool ok = true;
            const Timing t = timing_of([&] {
                for (const CorpusFile& file : files)
                    ok = decoders[d].decode(file, out) && ok;
            });
            seconds[d].push_back(t.wall);
            cpu_seconds[d].push_back(t.cpu);
            if (!ok)
                throw std::runtime_error(std::string(decoders[d].label) + " failed while timed");
        }
    }
    libdeflate_free_decompressor(deflate);

    std::printf("\nin memory: %zu files, %zu decoded bytes, %d rounds\n", files.size(), total, rounds);
    std::printf("%-18s %10s %10s %12s %10s\n", "decoder", "MB/s", "median s", "MB/s (cpu)", "cpu s");
    std::vector<double> medians, cpu_medians;
    for (size_t d = 0; d < decoders.size(); ++d) {
        medians.push_back(median(seconds[d]));
        cpu_medians.push_back(median(cpu_seconds[d]));
        std::printf("%-18s %10.1f %10.5f %12.1f %10.5f\n", decoders[d].label, total / 1e6 / medians[d], medians[d],
                    total / 1e6 / cpu_medians[d], cpu_medians[d]);
    }
    const double vs_libdeflate = medians[2] / medians[0];
    std::printf("zorv vs zlib: %.2fx   zorv vs libdeflate: %.2fx (on CPU time: %.2fx)\n", medians[1] / medians[0],
                vs_libdeflate, cpu_medians[2] / cpu_medians[0]);
    std::printf("goal in memory, at least as fast as libdeflate: %.2fx, %s\n", vs_libdeflate,
                vs_libdeflate >= 1 ? "met" : "NOT met");
}

// One pass over every file with one decoder, kept out of line so that
// callgrind can count it alone (see --count).
[[gnu::always_inline]] inline bool decode_each(const MemoryDecoder& decoder, const std::vector<CorpusFile>& files,
                                               Bytes& out)
{
    bool ok = true;
    for (const CorpusFile& file : files)
        ok = decoder.decode(file, out) && ok;
    return ok;
}
// (Each takes its decoder from the list itself: functions with equal bodies
// would be merged into one.)
[[gnu::noinline]] bool count_zorv_decode(const std::vector<MemoryDecoder>& d, const std::vector<CorpusFile>& f,
                                         Bytes& out)
{
    return decode_each(d[0], f, out);
}
[[gnu::noinline]] bool count_libdeflate(const std::vector<MemoryDecoder>& d, const std::vector<CorpusFile>& f,
                                        Bytes& out)
{
    return decode_each(d[2], f, out);
}

// Decodes every file once with zorv_decode and once with libdeflate, after
// a pass of each that warms the caches and buffers.
void count_memory(const std::vector<CorpusFile>& files)
{
    libdeflate_decompressor* deflate = libdeflate_alloc_decompressor();
    if (!deflate)
        throw std::runtime_error("libdeflate_alloc_decompressor failed");
    const std::vector<MemoryDecoder> decoders = memory_decoders(deflate);
    size_t largest = 0, total = 0;
    for (const CorpusFile& file : files) {
        largest = std::max(largest, file.content.size());
        total += file.content.size();
    }
    Bytes out(largest);
    const MemoryDecoder& zorv = decoders[0];
    const MemoryDecoder& libdeflate = decoders[2];
    const bool ok = decode_each(zorv, files, out) && decode_each(libdeflate, files, out) &&
                    count_zorv_decode(decoders, files, out) && count_libdeflate(decoders, files, out);
    libdeflate_free_decompressor(deflate);
    if (!ok)
        throw std::runtime_error("a decoder failed");
    std::printf("decoded %zu files, %zu bytes, with count_zorv_decode and count_libdeflate\n", files.size(), total);
}

struct ProcessTool {
    const char* label;
    std::function<std::vector<std::string>(const CorpusFile&, const fs::path& out)> argv;
    bool to_stdout;  // the decoded bytes go to standard output
};

std::vector<ProcessTool> process_tools(const Settings& settings)
{
    return {
        {"zorv",
         [&settings](const CorpusFile& f, const fs::path& out) {
             return std::vector<std::string>{settings.zorv, f.zorv_path.string(), out.string()};
         },
         false},
        {"gzip -dc",
         [](const CorpusFile& f, const fs::path&) {
             return std::vector<std::string>{"gzip", "-dc", f.gzip_path.string()};
         },
         true},
        {"libdeflate-gunzip -c",
         [](const CorpusFile& f, const fs::path&) {
             return std::vector<std::string>{"libdeflate-gunzip", "-c", f.gzip_path.string()};
         },
         true},
    };
}

// Runs `tool` on `file` once with a fresh output file; returns the wall time,
// or a negative value on failure.
double run_tool(const ProcessTool& tool, const CorpusFile& file, const fs::path& output)
{
    fs::remove(output);
    const ProcessMeasure m =
        run_measured(tool.argv(file, output), tool.to_stdout ? output.string() : std::string("/dev/null"));
    return m.ok ? m.seconds : -1;
}

void check_tools(const std::vector<ProcessTool>& tools, const std::vector<CorpusFile>& files, const fs::path& output)
{
    for (const ProcessTool& tool : tools) {
        if (find_program(tool.argv(files.front(), output).front()).empty() &&
            !fs::exists(tool.argv(files.front(), output).front()))
            throw std::runtime_error(std::string(tool.label) + " is not installed");
        for (const CorpusFile& file : files) {
            if (run_tool(tool, file, output) < 0 || read_file(output) != file.content)
                throw std::runtime_error(std::string(tool.label) + " gives wrong output for " + file.name);
        }
    }
}

void measure_processes(const Settings& settings, const std::vector<CorpusFile>& files, const fs::path& work)
{
    const fs::path output = work / "decoded.out";
    const std::vector<ProcessTool> tools = process_tools(settings);
    check_tools(tools, files, output);

    // Each round runs every file through every tool in turn.
    std::vector<std::vector<double>> seconds(tools.size());
    for (int round = 0; round < settings.process_rounds; ++round) {
        std::vector<double> sums(tools.size(), 0.0);
        for (const CorpusFile& file : files) {
            for (size_t k = 0; k < tools.size(); ++k) {
                const size_t t = (k + size_t(round)) % tools.size();
                const double s = run_tool(tools[t], file, output);
                if (s < 0)
                    throw std::runtime_error(std::string(tools[t].label) + " failed on " + file.name);
                sums[t] += s;
            }
        }
        for (size_t t = 0; t < tools.size(); ++t)
            seconds[t].push_back(sums[t]);
    }
    std::printf("\none process per file: %zu files, %d rounds (seconds for all files)\n", files.size(),
                settings.process_rounds);
    std::vector<double> medians;
    for (size_t t = 0; t < tools.size(); ++t) {
        medians.push_back(median(seconds[t]));
        std::printf("%-22s %9.4f s\n", tools[t].label, medians[t]);
    }
    const double vs_gzip = medians[1] / medians[0], vs_libdeflate = medians[2] / medians[0];
    std::printf("goal one process per file, >= 2x gzip -dc: %.2fx, %s\n", vs_gzip, vs_gzip >= 2 ? "met" : "NOT met");
    std::printf("goal one process per file, >= 1.1x libdeflate-gunzip: %.2fx, %s\n", vs_libdeflate,
                vs_libdeflate >= 1.1 ? "met" : "NOT met");

    // The smallest file, where start-up cost is everything.
    const CorpusFile& smallest = *std::min_element(files.begin(), files.end(), [](const auto& a, const auto& b) {
        return a.zorv.size() < b.zorv.size();
    });
    // Each run takes the three programs in a rotating order.
    const ProcessTool floor_tool{"process floor",
                                 [&settings](const CorpusFile&, const fs::path&) {
                                     return std::vector<std::string>{settings.floor};
                                 },
                                 true};
    const ProcessTool* const small_tools[] = {&tools[0], &tools[2], &floor_tool};
    std::vector<std::vector<double>> runs(std::size(small_tools));
    for (int run = 0; run < settings.small_runs; ++run) {
        for (size_t k = 0; k < std::size(small_tools); ++k) {
            const size_t t = (k + size_t(run)) % std::size(small_tools);
            const double s = run_tool(*small_tools[t], smallest, output);
            if (s < 0)
                throw std::runtime_error(std::string(small_tools[t]->label) + " failed on the smallest file");
            runs[t].push_back(s);
        }
    }
    const double zorv_s = median(runs[0]), deflate_s = median(runs[1]), floor_s = median(runs[2]);
    std::printf("\nsmallest file %s (%zu bytes, %zu decoded), %d runs each:\n", smallest.name.c_str(),
                smallest.zorv.size(), smallest.content.size(), settings.small_runs);
    std::printf("zorv %.1f us, libdeflate-gunzip -c %.1f us, process floor (a static program that does nothing) "
                "%.1f us\n",
                zorv_s * 1e6, deflate_s * 1e6, floor_s * 1e6);
    std::printf("goal smallest file, above the floor no more than libdeflate-gunzip: %.1f us against %.1f us, %s\n",
                (zorv_s - floor_s) * 1e6, (deflate_s - floor_s) * 1e6, zorv_s <= deflate_s ? "met" : "NOT met");
}

int run(const Settings& settings)
{
    const fs::path work = settings.work;
    fs::create_directories(work);
    const std::vector<CorpusFile> files = load_corpus(settings, work);
    if (settings.count) {
        count_memory(files);
        return 0;
    }
    measure_memory(files, settings.memory_rounds);
    if (settings.memory_only)
        return 0;
    measure_processes(settings, files, work);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const Settings settings = parse_settings(argc, argv);
    int code = 1;
    try {
        code = run(settings);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_decoder_real: %s\n", error.what());
    }
    if (!settings.keep) {
        std::error_code ec;
        fs::remove_all(settings.work, ec);
    }
    return code;
}

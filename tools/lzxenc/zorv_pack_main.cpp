// zorv-pack: compresses a file into a ZORV container with the test-side LZX
// encoder. Meant for fixtures, fuzz seeds and benchmarks, not for shipping.
#include "zorv_packer.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

const char kUsage[] =
    "usage: zorv-pack [options] <in> <out>\n"
    "Compresses <in> into the ZORV file <out> (LZX segments of 32768-byte frames).\n"
    "  --window BITS       LZX window of 2^BITS bytes, 15..21 (default 16)\n"
    "  --layout KIND       raw, contiguous (default) or zoned\n"
    "  --segment-size N    decoded bytes per segment (default: whole file for contiguous\n"
    "                      with 32-bit entries, 983040 with 20-bit entries, a zone's worth\n"
    "                      for zoned)\n"
    "  --zone-shift N      zone size 0x8000 << N, N 0..3 (default 0)\n"
    "  --size-width N      20 or 32-bit segment-size entries (default 32)\n"
    "  --blocks LIST       auto (default), or block kinds used in turn, comma separated:\n"
    "                      verbatim|v, aligned|a, uncompressed|u (e.g. v,u,a)\n"
    "  --block-size N      decoded bytes per block, 1..16777215 (default 65536)\n"
    "  --e8[=SIZE]         announce E8 call translation with file size SIZE\n"
    "                      (default 12000000) and translate the data\n"
    "  --no-padding        no padding byte after odd-length uncompressed blocks\n"
    "  --max-match N       longest match, 2..257 (default 257)\n"
    "  --chain N           match search depth (default 16)\n"
    "  --stats             print what was written to standard error\n"
    "Exit codes: 0 done, 1 failure, 2 bad command line.\n";

[[noreturn]] void usage_error(const std::string& message)
{
    std::fprintf(stderr, "zorv-pack: %s\n%s", message.c_str(), kUsage);
    std::exit(2);
}

unsigned long long parse_number(const std::string& text, const char* option, unsigned long long low = 0,
                                unsigned long long high = ~0ull)
{
    char* end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(text.c_str(), &end, 0);
    if (text.empty() || *end != '\0' || errno != 0 || text[0] == '-' || value < low || value > high)
        usage_error(std::string("bad value for ") + option + ": " + text);
    return value;
}

std::vector<lzxenc::BlockType> parse_blocks(const std::string& list)
{
    std::vector<lzxenc::BlockType> pattern;
    if (list == "auto")
        return pattern;
    size_t start = 0;
    while (start <= list.size()) {
        const size_t comma = std::min(list.find(',', start), list.size());
        const std::string name = list.substr(start, comma - start);
        if (name == "v" || name == "verbatim")
            pattern.push_back(lzxenc::BlockType::Verbatim);
        else if (name == "a" || name == "aligned")
            pattern.push_back(lzxenc::BlockType::Aligned);
        else if (name == "u" || name == "uncompressed")
            pattern.push_back(lzxenc::BlockType::Uncompressed);
        else
            usage_error("unknown block kind: " + name);
        start = comma + 1;
    }
    return pattern;
}

struct CommandLine {
    lzxenc::ZorvPackOptions pack;
    bool print_stats = false;
    std::string input;
    std::string output;
};

CommandLine parse_command_line(int argc, char** argv)
{
    CommandLine line;
    std::vector<std::string> paths;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](const char* option) -> std::string {
            if (i + 1 >= argc)
                usage_error(std::string(option) + " needs a value");
            return argv[++i];
        };
        if (arg == "-h" || arg == "--help") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        } else if (arg == "--window") {
            line.pack.lzx.window_bits = static_cast<unsigned>(parse_number(value("--window"), "--window", 15, 21));
        } else if (arg == "--layout") {
            const std::string kind = value("--layout");
            if (kind == "raw")
                line.pack.layout = lzxenc::ZorvLayout::Raw;
            else if (kind == "contiguous")
                line.pack.layout = lzxenc::ZorvLayout::Contiguous;
            else if (kind == "zoned")
                line.pack.layout = lzxenc::ZorvLayout::Zoned;
            else
                usage_error("unknown layout: " + kind);
        } else if (arg == "--segment-size") {
            line.pack.segment_size = parse_number(value("--segment-size"), "--segment-size", 1);
        } else if (arg == "--zone-shift") {
            line.pack.zone_shift = static_cast<unsigned>(parse_number(value("--zone-shift"), "--zone-shift", 0, 3));
        } else if (arg == "--size-width") {
            const auto width = parse_number(value("--size-width"), "--size-width");
            if (width != 20 && width != 32)
                usage_error("--size-width must be 20 or 32");
            line.pack.size_width = width == 20 ? 0 : 1;
        } else if (arg == "--blocks") {
            line.pack.lzx.block_pattern = parse_blocks(value("--blocks"));
        } else if (arg == "--block-size") {
            line.pack.lzx.block_size = static_cast<uint32_t>(parse_number(value("--block-size"), "--block-size", 1, 16777215));
        } else if (arg == "--e8") {
            line.pack.lzx.e8_file_size = 12000000;
        } else if (arg.rfind("--e8=", 0) == 0) {
            line.pack.lzx.e8_file_size = static_cast<uint32_t>(parse_number(arg.substr(5), "--e8", 0, 0x7FFFFFFF));
        } else if (arg == "--no-padding") {
            line.pack.lzx.pad_odd_uncompressed = false;
        } else if (arg == "--max-match") {
            line.pack.lzx.max_match_length = static_cast<unsigned>(parse_number(value("--max-match"), "--max-match", 2, 257));
        } else if (arg == "--chain") {
            line.pack.lzx.max_chain = static_cast<unsigned>(parse_number(value("--chain"), "--chain", 1, 1u << 16));
        } else if (arg == "--stats") {
            line.print_stats = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            usage_error("unknown option: " + arg);
        } else {
            paths.push_back(arg);
        }
    }
    if (paths.size() != 2)
        usage_error("expected <in> and <out>");
    line.input = paths[0];
    line.output = paths[1];
    return line;
}

void print_stats(const lzxenc::ZorvPackResult& result)
{
    const lzxenc::LzxStats& s = result.stats;
    std::fprintf(stderr,
                 "segments %zu (stored %zu), frames %llu\n"
                 "blocks: verbatim %llu, aligned %llu, uncompressed %llu (odd %llu, padding bytes %llu), "
                 "spanning frames %llu\n"
                 "literals %llu, matches %llu (R0 %llu, R1 %llu, R2 %llu, long %llu, wrapped %llu)\n"
                 "pretree runs: 17 x%llu, 18 x%llu, 19 x%llu; empty length trees %llu; E8 values changed %llu\n",
                 result.segments, result.stored_segments, static_cast<unsigned long long>(s.frames),
                 static_cast<unsigned long long>(s.blocks[1]), static_cast<unsigned long long>(s.blocks[2]),
                 static_cast<unsigned long long>(s.blocks[3]),
                 static_cast<unsigned long long>(s.odd_uncompressed_blocks),
                 static_cast<unsigned long long>(s.padding_bytes),
                 static_cast<unsigned long long>(s.blocks_spanning_frames),
                 static_cast<unsigned long long>(s.literals), static_cast<unsigned long long>(s.matches),
                 static_cast<unsigned long long>(s.repeat_matches[0]),
                 static_cast<unsigned long long>(s.repeat_matches[1]),
                 static_cast<unsigned long long>(s.repeat_matches[2]),
                 static_cast<unsigned long long>(s.long_matches),
                 static_cast<unsigned long long>(s.wrapped_matches),
                 static_cast<unsigned long long>(s.pretree_symbols[17]),
                 static_cast<unsigned long long>(s.pretree_symbols[18]),
                 static_cast<unsigned long long>(s.pretree_symbols[19]),
                 static_cast<unsigned long long>(s.empty_length_trees),
                 static_cast<unsigned long long>(s.e8_translations));
}

} // namespace

int main(int argc, char** argv)
{
    const CommandLine line = parse_command_line(argc, argv);
    std::ifstream in(line.input, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "zorv-pack: cannot open %s: %s\n", line.input.c_str(), std::strerror(errno));
        return 1;
    }
    const std::vector<uint8_t> content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        std::fprintf(stderr, "zorv-pack: cannot read %s\n", line.input.c_str());
        return 1;
    }
    lzxenc::ZorvPackResult result;
    try {
        result = lzxenc::pack_zorv(content, line.pack);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "zorv-pack: %s\n", error.what());
        return 1;
    }
    std::ofstream out(line.output, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(result.file.data()), static_cast<std::streamsize>(result.file.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "zorv-pack: cannot write %s\n", line.output.c_str());
        return 1;
    }
    std::fprintf(stderr, "zorv-pack: %zu -> %zu bytes\n", content.size(), result.file.size());
    if (line.print_stats)
        print_stats(result);
    return 0;
}

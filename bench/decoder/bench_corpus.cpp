// The decoder benchmark's mixed corpus (see bench_corpus.h).
#include "bench_corpus.h"

#include "synthetic_data.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

namespace fs = std::filesystem;

namespace {

constexpr size_t kPiece = 1 << 20;

// Reads files under `roots` that pass `accept` (given the first bytes), in
// sorted path order, until `wanted` bytes are collected.
std::vector<uint8_t> collect_files(const std::vector<std::string>& roots, size_t wanted,
                                   const std::function<bool(const fs::path&, const std::vector<uint8_t>&)>& accept)
{
    std::vector<fs::path> paths;
    for (const std::string& root : roots) {
        std::error_code ec;
        if (!fs::is_directory(root, ec))
            continue;
        for (auto it = fs::recursive_directory_iterator(root, fs::directory_options::skip_permission_denied, ec);
             it != fs::recursive_directory_iterator(); it.increment(ec)) {
            if (ec)
                break;
            if (it->is_regular_file(ec) && !it->is_symlink(ec))
                paths.push_back(it->path());
        }
    }
    std::sort(paths.begin(), paths.end());
    std::vector<uint8_t> out;
    for (const fs::path& path : paths) {
        if (out.size() >= wanted)
            break;
        std::ifstream in(path, std::ios::binary);
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (bytes.size() < 4096 || !accept(path, bytes))
            continue;
        out.insert(out.end(), bytes.begin(), bytes.end());
    }
    out.resize(std::min(out.size(), wanted));
    return out;
}

bool looks_like_text(const fs::path& path, const std::vector<uint8_t>& bytes)
{
    const std::string ext = path.extension().string();
    if (ext != ".py" && ext != ".pm" && ext != ".pl" && ext != ".txt" && ext != ".pod" && path.filename() != "copyright")
        return false;
    const size_t probe = std::min<size_t>(bytes.size(), 8192);
    return std::find(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(probe), 0) ==
           bytes.begin() + static_cast<std::ptrdiff_t>(probe);
}

bool is_x86_64_elf(const fs::path&, const std::vector<uint8_t>& bytes)
{
    static const uint8_t kElf[4] = {0x7F, 'E', 'L', 'F'};
    return bytes.size() > 20 && std::memcmp(bytes.data(), kElf, 4) == 0 && bytes[4] == 2 && bytes[18] == 0x3E &&
           bytes[19] == 0;
}

bool is_gzip(const fs::path& path, const std::vector<uint8_t>& bytes)
{
    return path.extension() == ".gz" && bytes[0] == 0x1F && bytes[1] == 0x8B;
}

// Fills `part` up to `size` with synthetic data when the machine had too little.
void top_up(std::vector<uint8_t>& part, size_t size, lzxenc::DataKind kind, std::string& sources, const char* what)
{
    if (part.size() >= size)
        return;
    const auto extra = lzxenc::make_synthetic_data(kind, size - part.size(), 0xB3);
    part.insert(part.end(), extra.begin(), extra.end());
    sources += std::string(" (") + what + " topped up with synthetic data)";
}

} // namespace

BenchCorpus build_bench_corpus(size_t size)
{
    BenchCorpus corpus;
    const size_t pieces = (size + kPiece - 1) / kPiece;
    const size_t compressed_pieces = pieces / 5;
    const size_t code_pieces = (pieces - compressed_pieces) / 2;
    const size_t text_pieces = pieces - compressed_pieces - code_pieces;
    corpus.sources = "text: python/perl sources and copyright files; code: ELF x86-64 from /usr/bin and "
                     "/usr/lib/x86_64-linux-gnu; compressed: .gz files from /usr/share/man and /usr/share/doc";

    auto text = collect_files({"/usr/lib/python3", "/usr/lib/python3.11", "/usr/share/perl", "/usr/share/perl5",
                               "/usr/share/doc"},
                              text_pieces * kPiece, looks_like_text);
    auto code = collect_files({"/usr/bin", "/usr/lib/x86_64-linux-gnu"}, code_pieces * kPiece, is_x86_64_elf);
    auto compressed = collect_files({"/usr/share/man", "/usr/share/doc"}, compressed_pieces * kPiece, is_gzip);
    top_up(text, text_pieces * kPiece, lzxenc::DataKind::Text, corpus.sources, "text");
    top_up(code, code_pieces * kPiece, lzxenc::DataKind::X86, corpus.sources, "code");
    top_up(compressed, compressed_pieces * kPiece, lzxenc::DataKind::Random, corpus.sources, "compressed");

    // Rotation text, code, text, code, compressed.
    size_t taken[3] = {0, 0, 0};
    const std::vector<uint8_t>* sources[3] = {&text, &code, &compressed};
    static constexpr int kRotation[5] = {0, 1, 0, 1, 2};
    for (size_t turn = 0; corpus.bytes.size() < size; ++turn) {
        int kind = kRotation[turn % 5];
        if (taken[kind] >= sources[kind]->size())
            kind = taken[0] < text.size() ? 0 : taken[1] < code.size() ? 1 : 2;
        const std::vector<uint8_t>& source = *sources[kind];
        const size_t n = std::min({kPiece, source.size() - taken[kind], size - corpus.bytes.size()});
        if (n == 0)
            break;
        corpus.bytes.insert(corpus.bytes.end(), source.begin() + static_cast<std::ptrdiff_t>(taken[kind]),
                            source.begin() + static_cast<std::ptrdiff_t>(taken[kind] + n));
        taken[kind] += n;
        (kind == 0 ? corpus.text_bytes : kind == 1 ? corpus.code_bytes : corpus.compressed_bytes) += n;
    }
    return corpus;
}

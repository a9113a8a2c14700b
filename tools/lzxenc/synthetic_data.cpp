// Deterministic synthetic inputs (see synthetic_data.h).
#include "synthetic_data.h"

#include <algorithm>
#include <array>
#include <string>

namespace lzxenc {

uint64_t TestRandom::next()
{
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

uint32_t TestRandom::below(uint32_t bound) { return static_cast<uint32_t>((next() >> 32) % bound); }

namespace {

void random_bytes(std::vector<uint8_t>& out, size_t size, TestRandom& rng)
{
    while (out.size() < size)
        out.push_back(rng.byte());
}

void text_bytes(std::vector<uint8_t>& out, size_t size, TestRandom& rng)
{
    static const char* const kSyllables[] = {"ta", "ren", "vo", "li", "sa", "mir", "el", "ka", "dor",
                                             "un", "the", "and", "ess", "ing", "ro", "qua", "ve", "ly"};
    constexpr size_t kSyllableCount = sizeof(kSyllables) / sizeof(kSyllables[0]);
    // A fixed vocabulary, used with a skewed choice so that a few words are
    // common and most are rare, as in real text.
    std::vector<std::string> words;
    TestRandom vocabulary_rng(0x7E47);
    for (int i = 0; i < 300; ++i) {
        std::string word;
        const uint32_t parts = 1 + vocabulary_rng.below(3);
        for (uint32_t p = 0; p < parts; ++p)
            word += kSyllables[vocabulary_rng.below(kSyllableCount)];
        words.push_back(word);
    }
    size_t line_length = 0;
    bool sentence_start = true;
    while (out.size() < size) {
        const uint32_t skew = rng.below(300);
        std::string word = words[skew * rng.below(300) / 300];
        if (sentence_start)
            word[0] = static_cast<char>(word[0] - 'a' + 'A');
        sentence_start = false;
        out.insert(out.end(), word.begin(), word.end());
        line_length += word.size() + 1;
        const uint32_t mark = rng.below(20);
        if (mark == 0) {
            out.push_back('.');
            sentence_start = true;
        } else if (mark == 1) {
            out.push_back(',');
        }
        if (line_length > 72) {
            out.push_back('\n');
            line_length = 0;
        } else {
            out.push_back(' ');
        }
    }
}

void record_bytes(std::vector<uint8_t>& out, size_t size, TestRandom& rng)
{
    static constexpr std::array<uint32_t, 3> kDistances = {64, 200, 1000};
    const size_t start = out.size();
    while (out.size() < size) {
        const size_t produced = out.size() - start;
        if (produced < 1000 || rng.below(8) == 0) {
            out.push_back(rng.byte());
            continue;
        }
        const uint32_t distance = kDistances[rng.below(3)];
        const uint32_t length = 4 + rng.below(9);
        for (uint32_t i = 0; i < length; ++i) {
            const uint8_t copied = out[out.size() - distance];
            out.push_back(copied);
        }
        out.push_back(rng.byte());
    }
}

void x86_bytes(std::vector<uint8_t>& out, size_t size, TestRandom& rng)
{
    static const std::vector<std::vector<uint8_t>> kPatterns = {
        {0x55},                   // push rbp
        {0x48, 0x89, 0xE5},       // mov rbp, rsp
        {0x48, 0x83, 0xEC, 0x20}, // sub rsp, 0x20
        {0x8B, 0x45, 0xFC},       // mov eax, [rbp-4]
        {0x89, 0xC7},             // mov edi, eax
        {0x31, 0xC0},             // xor eax, eax
        {0xC9, 0xC3},             // leave; ret
        {0x0F, 0x1F, 0x44, 0x00, 0x00},
        {0x48, 0x8D, 0x3D},       // lea rdi, [rip+...] (immediate follows)
    };
    std::vector<uint32_t> functions;
    const uint32_t span = static_cast<uint32_t>(std::max<size_t>(size, 4096));
    for (int i = 0; i < 256; ++i)
        functions.push_back(rng.below(span));
    while (out.size() < size) {
        const uint32_t choice = rng.below(10);
        if (choice < 3) {
            // call rel32, relative to the position of the E8 byte itself
            const uint32_t target = functions[rng.below(static_cast<uint32_t>(functions.size()))];
            const uint32_t relative = target - static_cast<uint32_t>(out.size());
            out.push_back(0xE8);
            for (int b = 0; b < 4; ++b)
                out.push_back(static_cast<uint8_t>(relative >> (8 * b)));
        } else if (choice < 9) {
            const auto& pattern = kPatterns[rng.below(static_cast<uint32_t>(kPatterns.size()))];
            out.insert(out.end(), pattern.begin(), pattern.end());
            if (pattern.size() == 3 && pattern[2] == 0x3D)
                for (int b = 0; b < 4; ++b)
                    out.push_back(rng.byte());
        } else {
            out.push_back(rng.byte());
        }
    }
}

void run_bytes(std::vector<uint8_t>& out, size_t size, TestRandom& rng)
{
    while (out.size() < size) {
        const uint8_t value = rng.below(4) == 0 ? 0 : rng.byte();
        const uint32_t length = 1 + rng.below(rng.below(3) == 0 ? 2000 : 40);
        out.insert(out.end(), length, value);
    }
}

void generate(DataKind kind, std::vector<uint8_t>& out, size_t size, TestRandom& rng);

void mixed_bytes(std::vector<uint8_t>& out, size_t size, TestRandom& rng)
{
    static constexpr DataKind kKinds[] = {DataKind::Text, DataKind::X86, DataKind::Records, DataKind::Random,
                                          DataKind::Runs};
    for (unsigned turn = 0; out.size() < size; ++turn) {
        const size_t piece = 1000 + rng.below(40000);
        generate(kKinds[turn % 5], out, std::min(size, out.size() + piece), rng);
    }
}

void generate(DataKind kind, std::vector<uint8_t>& out, size_t size, TestRandom& rng)
{
    switch (kind) {
    case DataKind::Random: random_bytes(out, size, rng); break;
    case DataKind::Text: text_bytes(out, size, rng); break;
    case DataKind::Records: record_bytes(out, size, rng); break;
    case DataKind::X86: x86_bytes(out, size, rng); break;
    case DataKind::Runs: run_bytes(out, size, rng); break;
    case DataKind::Mixed: mixed_bytes(out, size, rng); break;
    }
}

} // namespace

std::vector<uint8_t> make_synthetic_data(DataKind kind, size_t size, uint64_t seed)
{
    TestRandom rng(seed);
    std::vector<uint8_t> out;
    out.reserve(size + 4096);
    generate(kind, out, size, rng);
    out.resize(size);
    return out;
}

std::string_view data_kind_name(DataKind kind)
{
    switch (kind) {
    case DataKind::Random: return "random";
    case DataKind::Text: return "text";
    case DataKind::Records: return "records";
    case DataKind::X86: return "x86";
    case DataKind::Runs: return "runs";
    case DataKind::Mixed: return "mixed";
    }
    return "?";
}

} // namespace lzxenc

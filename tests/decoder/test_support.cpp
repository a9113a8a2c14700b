// Shared helpers of the decoder tests (see test_support.h).
#include "test_support.h"

#include "child_process.h"

#include <unistd.h>

#include <array>
#include <csignal>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace decoder_test {
namespace {

constexpr std::array<uint32_t, 64> kRoundConstants = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

uint32_t rotr(uint32_t x, unsigned n) { return (x >> n) | (x << (32 - n)); }

void sha256_block(std::array<uint32_t, 8>& h, const uint8_t* block)
{
    std::array<uint32_t, 64> w;
    for (int i = 0; i < 16; ++i)
        w[i] = (uint32_t(block[4 * i]) << 24) | (uint32_t(block[4 * i + 1]) << 16) |
               (uint32_t(block[4 * i + 2]) << 8) | block[4 * i + 3];
    for (int i = 16; i < 64; ++i) {
        const uint32_t s0 = rotr(w[i - 15], 7) ^ rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
        const uint32_t s1 = rotr(w[i - 2], 17) ^ rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
        w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4], f = h[5], g = h[6], hh = h[7];
    for (int i = 0; i < 64; ++i) {
        const uint32_t s1 = rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25);
        const uint32_t choose = (e & f) ^ (~e & g);
        const uint32_t t1 = hh + s1 + choose + kRoundConstants[i] + w[i];
        const uint32_t s0 = rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22);
        const uint32_t majority = (a & b) ^ (a & c) ^ (b & c);
        const uint32_t t2 = s0 + majority;
        hh = g;
        g = f;
        f = e;
        e = d + t1;
        d = c;
        c = b;
        b = a;
        a = t1 + t2;
    }
    h[0] += a, h[1] += b, h[2] += c, h[3] += d, h[4] += e, h[5] += f, h[6] += g, h[7] += hh;
}

std::string read_text(const std::filesystem::path& path)
{
    const Bytes bytes = read_file(path);
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace

std::string sha256_hex(const Bytes& data)
{
    std::array<uint32_t, 8> h = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    size_t full = data.size() / 64 * 64;
    for (size_t i = 0; i < full; i += 64)
        sha256_block(h, data.data() + i);

    // Last block(s): the rest, 0x80, zeros, and the bit length big-endian.
    std::array<uint8_t, 128> tail{};
    const size_t rest = data.size() - full;
    std::copy(data.begin() + std::ptrdiff_t(full), data.end(), tail.begin());
    tail[rest] = 0x80;
    const size_t tail_size = rest + 9 <= 64 ? 64 : 128;
    const uint64_t bits = uint64_t(data.size()) * 8;
    for (int i = 0; i < 8; ++i)
        tail[tail_size - 1 - i] = uint8_t(bits >> (8 * i));
    for (size_t i = 0; i < tail_size; i += 64)
        sha256_block(h, tail.data() + i);

    std::string hex;
    char digits[9];
    for (uint32_t word : h) {
        std::snprintf(digits, sizeof digits, "%08x", word);
        hex += digits;
    }
    return hex;
}

Bytes read_file(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path.string());
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const std::filesystem::path& path, const Bytes& data)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

TempDir::TempDir()
{
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        auto candidate = std::filesystem::temp_directory_path() /
                         ("zorv-test-" + std::to_string(::getpid()) + "-" + std::to_string(random()));
        if (std::filesystem::create_directory(candidate)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

ProgramRun run_program(const std::string& program, const std::vector<std::string>& args,
                       const ProgramOptions& options)
{
    TempDir capture;
    child_process::ChildOptions child;
    child.executable = program;
    child.stdin_data = options.stdin_data;
    child.stdout_path = (capture / "stdout").string();
    child.stderr_path = (capture / "stderr").string();
    child.address_space_limit = options.address_space_limit;
    const child_process::ChildExit exit = child_process::run_child(args, child);
    if (!exit.started)
        throw std::runtime_error("cannot start " + program);
    ProgramRun run;
    run.exit_code = exit.exit_code;
    run.out = read_text(child.stdout_path);
    run.err = read_text(child.stderr_path);
    return run;
}

}  // namespace decoder_test

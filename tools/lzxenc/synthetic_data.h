// Deterministic synthetic inputs for compression tests and benchmarks. The
// same kind, size and seed always give the same bytes on every platform (a
// fixed 64-bit generator, no standard-library distributions).
//
//   Random   incompressible bytes (like already-compressed data)
//   Text     English-like words, punctuation and line breaks
//   Records  short copies from three recurring distances with a few new
//            bytes between them, so all three repeated-offset registers are
//            used
//   X86      x86-like code: opcode patterns, immediates and many E8 calls
//            whose relative targets point at a fixed set of functions
//   Runs     long runs of one byte and zero stretches (overlapping matches,
//            matches of the maximum length)
//   Mixed    pieces of all of the above, in turn
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace lzxenc {

enum class DataKind { Random, Text, Records, X86, Runs, Mixed };

std::vector<uint8_t> make_synthetic_data(DataKind kind, size_t size, uint64_t seed);

std::string_view data_kind_name(DataKind kind);

// A small, fast generator (splitmix64) with the helpers the generators need.
class TestRandom {
public:
    explicit TestRandom(uint64_t seed) : state_(seed) {}
    uint64_t next();
    uint32_t below(uint32_t bound); // 0..bound-1, bound >= 1
    uint8_t byte() { return static_cast<uint8_t>(next() >> 56); }

private:
    uint64_t state_;
};

} // namespace lzxenc

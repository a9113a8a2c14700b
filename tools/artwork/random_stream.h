// A small seeded random stream (SplitMix64). The standard distributions are
// not specified bit-for-bit across libraries; this one is, so regenerating
// the artwork anywhere gives the same stars.
#pragma once

#include <cstdint>

namespace artwork {

class RandomStream {
public:
    explicit RandomStream(std::uint64_t seed) : state_(seed) {}

    std::uint64_t next()
    {
        std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }

    // Uniform in [0, 1).
    double unit() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }

    // Uniform in [low, high).
    double between(double low, double high) { return low + (high - low) * unit(); }

private:
    std::uint64_t state_;
};

} // namespace artwork

// Match copies of the LZX decoder. Copies behave as if made one byte at a
// time, in order, and change nothing outside their destination: the window
// bytes after a match are still history.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace lzxd_detail {

inline uint64_t load64(const uint8_t* p)
{
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline void store64(uint8_t* p, uint64_t v) { std::memcpy(p, &v, sizeof v); }
inline uint32_t load32(const uint8_t* p)
{
    uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline void store32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, sizeof v); }

// Copies n bytes as if one at a time, in order: where the destination
// overlaps the source ahead of it, the copy repeats the bytes just written.
// Writes nothing outside dst[0, n): the window bytes after a match are
// still history.
[[gnu::always_inline]] inline void copy_forward(uint8_t* dst, const uint8_t* src, size_t n)
{
    if (dst <= src || size_t(dst - src) >= n) {
        // No byte is read after being written, so any copy order will do;
        // short lengths (most matches) avoid a library call.
        if (n >= 8 && n <= 16) {
            const uint64_t head = load64(src), tail = load64(src + n - 8);
            store64(dst, head);
            store64(dst + n - 8, tail);
        } else if (n >= 4 && n < 8) {
            const uint32_t head = load32(src), tail = load32(src + n - 4);
            store32(dst, head);
            store32(dst + n - 4, tail);
        } else if (n < 4) {
            if (n >= 2) {
                const uint8_t first = src[0], last = src[n - 1], middle = src[n / 2];
                dst[0] = first;
                dst[n / 2] = middle;
                dst[n - 1] = last;
            } else if (n == 1) {
                dst[0] = src[0];
            }
        } else if (n <= 64 && size_t(dst > src ? dst - src : src - dst) >= 8) {
            // 8-byte steps, then the last 8 bytes again: every step reads
            // bytes no earlier step wrote.
            for (size_t i = 0; i + 8 < n; i += 8)
                store64(dst + i, load64(src + i));
            store64(dst + n - 8, load64(src + n - 8));
        } else {
            std::memmove(dst, src, n);
        }
        return;
    }
    const size_t distance = size_t(dst - src);
    if (distance == 1) {
        // A run of one byte value.
        if (n <= 16) {
            const uint64_t run = uint64_t(*src) * 0x0101010101010101ull;
            if (n >= 8) {
                store64(dst, run);
                store64(dst + n - 8, run);
            } else if (n >= 4) {
                store32(dst, uint32_t(run));
                store32(dst + n - 4, uint32_t(run));
            } else {
                dst[0] = dst[n - 1] = *src;  // n is 2 or 3
                dst[n / 2] = *src;
            }
        } else {
            std::memset(dst, *src, n);
        }
    } else if (distance >= 8) {
        // Each 8-byte step reads only bytes already final.
        size_t i = 0;
        for (; i + 8 <= n; i += 8)
            store64(dst + i, load64(src + i));
        if (i < n)
            store64(dst + n - 8, load64(src + n - 8));  // rewrites final bytes with equal values
    } else {
        for (size_t i = 0; i < n; ++i)
            dst[i] = src[i];
    }
}

// Copies n <= 16 bytes that do not overlap their source (or lie before it)
// without a branch on n: the 16 bytes at dst are rewritten, the first n from
// the source and the rest with their own values. Reads and rewrites up to
// 16 - n bytes past the copy, which the window's slack covers.
typedef uint8_t Bytes16 __attribute__((vector_size(16)));

struct ShortCopyMasks {
    alignas(16) uint8_t mask[17][16];
};

constexpr ShortCopyMasks make_short_copy_masks()
{
    ShortCopyMasks masks{};
    for (int n = 0; n <= 16; ++n) {
        for (int i = 0; i < 16; ++i)
            masks.mask[n][i] = i < n ? 0xFF : 0;
    }
    return masks;
}
constexpr ShortCopyMasks kShortCopyMasks = make_short_copy_masks();

[[gnu::always_inline]] inline void copy_short(uint8_t* dst, const uint8_t* src, size_t n)
{
    Bytes16 source, old, mask;
    std::memcpy(&source, src, 16);
    std::memcpy(&old, dst, 16);
    std::memcpy(&mask, kShortCopyMasks.mask[n], 16);
    const Bytes16 merged = (source & mask) | (old & ~mask);
    std::memcpy(dst, &merged, 16);
}

// Bytes a wide copy may write past the end of its match.
constexpr size_t kWideCopySlack = 32;

// A repeating pattern of 1 to 7 bytes, spread over a little-endian word: the
// mask keeps the pattern's bytes, the multiplier repeats them across the word
// (the last copy cut off at its end), and the step is the largest whole
// number of patterns in 8 bytes, so that each word store starts a pattern.
struct PatternSpread {
    std::array<uint64_t, 8> mask{};
    std::array<uint64_t, 8> multiplier{};
    std::array<uint8_t, 8> step{};
};

constexpr PatternSpread make_pattern_spread()
{
    PatternSpread p;
    for (unsigned d = 1; d < 8; ++d) {
        p.mask[d] = (uint64_t(1) << (8 * d)) - 1;
        for (unsigned at = 0; at < 8; at += d)
            p.multiplier[d] |= uint64_t(1) << (8 * at);
        p.step[d] = uint8_t(8 / d * d);
    }
    return p;
}
constexpr PatternSpread kPatternSpread = make_pattern_spread();

// Copies a match of `length` bytes from `distance` (1 or more) back, as if
// one byte at a time, in wide steps that may write up to kWideCopySlack bytes
// past its end. Only for output that is decoded in order: the bytes past the
// end are not decoded yet and get their real values later.
[[gnu::always_inline]] inline void copy_wide(uint8_t* dst, size_t distance, size_t length)
{
    const uint8_t* src = dst - distance;
    uint8_t* const end = dst + length;
    if (distance >= 16) {
        // Every 16-byte step reads bytes that are already final. Most
        // matches are done after the first two.
        std::memcpy(dst, src, 16);
        std::memcpy(dst + 16, src + 16, 16);
        if (length > 32) [[unlikely]] {
            dst += 32;
            src += 32;
            do {
                std::memcpy(dst, src, 16);
                dst += 16;
                src += 16;
            } while (dst < end);
        }
    } else if (distance >= 8) {
        do {
            store64(dst, load64(src));
            store64(dst + 8, load64(src + 8));
            dst += 16;
            src += 16;
        } while (dst < end);
    } else if constexpr (std::endian::native == std::endian::little) {
        // A short distance repeats its last `distance` bytes.
        const uint64_t pattern =
            (load64(src) & kPatternSpread.mask[distance]) * kPatternSpread.multiplier[distance];
        const size_t step = kPatternSpread.step[distance];
        if (step == 8) {
            do {
                store64(dst, pattern);
                store64(dst + 8, pattern);
                dst += 16;
            } while (dst < end);
        } else {
            do {
                store64(dst, pattern);
                dst += step;
            } while (dst < end);
        }
    } else {
        copy_forward(dst, src, length);
    }
}

}  // namespace lzxd_detail

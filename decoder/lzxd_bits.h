// Bit input of the LZX decoder.
//
// The stream is read as 16-bit little-endian words whose bits are consumed
// from the most significant end. When the input first runs dry two zero
// bytes are supplied in its place, so that a stream may end in the middle
// of a word; needing input beyond those is error 3. The bit buffer is 64
// bits wide and refilled a whole machine word at a time, but every read
// first "ensures" exactly the bits a 16-bit-at-a-time reader would ensure
// (16 before each Huffman symbol, n before reading n raw bits), so the same
// inputs end in error 3, at the same point, as with such a reader.
#pragma once

#include <bit>
#include <cstring>

#include "lzxd_state.h"

namespace lzxd_detail {

// Makes `want` bytes available at the read position when the input still
// has them. Supplies the two zero bytes at the first end of input.
void fill_input(lzxd_stream* s, size_t want);

// The next 64 stream bits at p, first bit at the top: four 16-bit
// little-endian words, first word first. On a little-endian machine that is
// the four words of a load in reverse order, one vector shuffle.
inline uint64_t load_stream_bits(const uint8_t* p)
{
    if constexpr (std::endian::native == std::endian::little) {
        typedef uint16_t Words __attribute__((vector_size(8)));
        Words words;
        std::memcpy(&words, p, sizeof words);
#if defined(__clang__)
        const Words reversed = __builtin_shufflevector(words, words, 3, 2, 1, 0);
#else
        const Words reversed = __builtin_shuffle(words, Words{3, 2, 1, 0});
#endif
        uint64_t x;
        std::memcpy(&x, &reversed, sizeof x);
        return x;
    } else {
        uint64_t x;
        std::memcpy(&x, p, sizeof x);
        x = __builtin_bswap64(x);
        x = (x << 32) | (x >> 32);
        return ((x & 0x0000FFFF0000FFFFull) << 16) | ((x >> 16) & 0x0000FFFF0000FFFFull);
    }
}

// Adds whole words to the bit buffer, up to 48-63 valid bits; needs 8
// buffered bytes (and, as always, count <= 63). Bits below the new words
// are the stream's following bits, so ORing them in again on the next
// refill changes nothing.
inline void refill_from_buffer(BitInput& b)
{
    b.buf |= load_stream_bits(b.ptr) >> b.count;
    // (63 - count) / 16 words fit, which brings count to 48 plus its low
    // four bits: count | 48. The words' bytes are 2 * (3 - count / 16).
    b.ptr += (~b.count >> 3) & 6;
    b.count |= 48;
}

// Adds as many whole words as fit and the input has.
void refill_checked(lzxd_stream* s);

inline void consume(BitInput& b, unsigned n)
{
    b.buf <<= n;
    b.count -= n;
}

// Reads 1 to 17 bits that are already in the buffer.
inline uint32_t take_bits(BitInput& b, unsigned n)
{
    const uint32_t value = uint32_t(b.buf >> (64 - n));
    consume(b, n);
    return value;
}

// Bit access with every read checked against the end of the input.
struct CheckedBits {
    lzxd_stream* s;
    BitInput& b;

    explicit CheckedBits(lzxd_stream* state) : s(state), b(state->in) {}
    bool need(unsigned n)
    {
        if (b.count >= n)
            return true;
        refill_checked(s);
        return b.count >= n || fail(s, LZX_ERR_READ);
    }
};

// Bit access for the fast path: the caller guarantees kFastPathInput
// buffered bytes at the start of every symbol, enough for every refill the
// symbol may need, so refills never run dry and need no test of the input.
struct FastBits {
    BitInput& b;

    bool need(unsigned n)
    {
        if (b.count < n)
            refill_from_buffer(b);
        return true;
    }
};

// Reads n (1 to 17) bits; false with error 3 when the input has run out.
bool read_bits(lzxd_stream* s, unsigned n, uint32_t& value);
// Reads one byte directly (uncompressed block data and headers).
bool read_byte(lzxd_stream* s, uint8_t& value);
// Leaves bit reading for byte reading, as an uncompressed block header does.
bool align_to_bytes(lzxd_stream* s);
// Frame-end realignment to the next 16-bit boundary.
bool realign_to_word(lzxd_stream* s);

}  // namespace lzxd_detail

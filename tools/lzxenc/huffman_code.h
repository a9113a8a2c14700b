// Length-limited canonical Huffman codes for the LZX trees.
//
// The decoder accepts only complete prefix codes (every tree but an empty
// length tree), so the builder never returns a code with a single symbol:
// a lone used symbol is paired with a dummy one.
#pragma once

#include <cstdint>
#include <vector>

namespace lzxenc {

class BitWriter;

// Code lengths (0 = symbol unused) for the given symbol frequencies, none
// longer than max_length. All-zero frequencies give all-zero lengths; one
// used symbol gives it and one other symbol a length of 1. Every other result
// is a complete prefix code.
std::vector<uint8_t> build_code_lengths(const std::vector<uint32_t>& frequencies, unsigned max_length);

// Canonical code values for the lengths: shorter codes first, and within one
// length in symbol order. Codes are meant to be written top bit first.
std::vector<uint16_t> canonical_codes(const std::vector<uint8_t>& lengths);

// Sum of 2^-length over the used symbols, scaled by 2^16; 65536 means complete.
uint32_t kraft_sum_scaled(const std::vector<uint8_t>& lengths);

// A built code: lengths and canonical code values, ready to write symbols.
struct HuffmanCode {
    std::vector<uint8_t> lengths;
    std::vector<uint16_t> codes;

    void build(const std::vector<uint32_t>& frequencies, unsigned max_length);
    // Writes a symbol's code; a symbol without a code is a logic error.
    void write(BitWriter& writer, unsigned symbol) const;
};

} // namespace lzxenc

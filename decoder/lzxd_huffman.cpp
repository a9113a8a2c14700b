// Builds the canonical Huffman decode tables of the LZX decoder (see
// lzxd_huffman.h for the entry layout).
#include "lzxd_huffman.h"

#include <algorithm>
#include <array>

namespace lzx_huffman {
namespace {

constexpr unsigned kMaxSymbols = 4096;

struct LongCode {
    uint16_t symbol;
    uint8_t length;
    uint16_t code;  // the code's value, right-aligned in `length` bits
};

uint32_t leaf_entry(unsigned symbol, unsigned length, const uint16_t* annotations)
{
    return (uint32_t(symbol) << 16) | length | (annotations ? annotations[symbol] & 0xFFC0u : 0);
}

// Fills the sub-tables for the codes longer than table_bits. `codes` is in
// canonical order, which groups codes by their table_bits-bit prefix and,
// within a group, puts the longest code last.
bool fill_subtables(const LongCode* codes, size_t count, unsigned table_bits, uint32_t* table,
                    size_t capacity, const uint16_t* annotations)
{
    size_t next_free = size_t(1) << table_bits;
    size_t group_start = 0;
    while (group_start < count) {
        const unsigned prefix = unsigned(codes[group_start].code >> (codes[group_start].length - table_bits));
        size_t group_end = group_start + 1;
        while (group_end < count &&
               unsigned(codes[group_end].code >> (codes[group_end].length - table_bits)) == prefix)
            ++group_end;

        const unsigned sub_bits = codes[group_end - 1].length - table_bits;
        const size_t sub_size = size_t(1) << sub_bits;
        if (next_free + sub_size > capacity || next_free > 0xFFFF)
            return false;
        table[prefix] = (uint32_t(next_free) << 16) | kSubtableFlag | sub_bits;

        for (size_t i = group_start; i < group_end; ++i) {
            const unsigned tail_bits = codes[i].length - table_bits;
            const unsigned tail = codes[i].code & ((1u << tail_bits) - 1);
            const size_t first = next_free + (size_t(tail) << (sub_bits - tail_bits));
            std::fill_n(table + first, size_t(1) << (sub_bits - tail_bits),
                        leaf_entry(codes[i].symbol, codes[i].length, annotations));
        }
        next_free += sub_size;
        group_start = group_end;
    }
    return true;
}

}  // namespace

BuildResult build_decode_table(const uint8_t* lengths, unsigned symbol_count, unsigned table_bits,
                               uint32_t* table, size_t capacity, const uint16_t* annotations)
{
    if (symbol_count > kMaxSymbols || table_bits > kMaxCodeLength)
        return BuildResult::invalid;

    std::array<unsigned, kMaxCodeLength + 1> count{};
    for (unsigned sym = 0; sym < symbol_count; ++sym) {
        if (lengths[sym] > kMaxCodeLength)
            return BuildResult::invalid;
        ++count[lengths[sym]];
    }
    if (count[0] == symbol_count)
        return BuildResult::empty;

    // The code must be complete: the Kraft sum of the lengths is exactly 1.
    int64_t unused = 1;
    for (unsigned len = 1; len <= kMaxCodeLength; ++len) {
        unused = unused * 2 - count[len];
        if (unused < 0)
            return BuildResult::invalid;
    }
    if (unused != 0)
        return BuildResult::invalid;

    // First canonical code of every length.
    std::array<unsigned, kMaxCodeLength + 2> next_code{};
    for (unsigned len = 1, code = 0; len <= kMaxCodeLength; ++len) {
        code = (code + (len > 1 ? count[len - 1] : 0)) << 1;
        next_code[len] = code;
    }

    // Symbols in canonical order (by length, then symbol) by counting sort.
    std::array<unsigned, kMaxCodeLength + 2> first_of_length{};
    for (unsigned len = 1; len <= kMaxCodeLength; ++len)
        first_of_length[len + 1] = first_of_length[len] + count[len];
    std::array<uint16_t, kMaxSymbols> sorted;
    for (unsigned sym = 0; sym < symbol_count; ++sym) {
        if (lengths[sym] != 0)
            sorted[first_of_length[lengths[sym]]++] = uint16_t(sym);
    }

    std::array<LongCode, kMaxSymbols> long_codes;
    size_t long_count = 0;
    const unsigned used = symbol_count - count[0];
    for (unsigned i = 0; i < used; ++i) {
        const unsigned sym = sorted[i];
        const unsigned len = lengths[sym];
        const unsigned code = next_code[len]++;
        if (len <= table_bits) {
            const unsigned shift = table_bits - len;
            std::fill_n(table + (size_t(code) << shift), size_t(1) << shift, leaf_entry(sym, len, annotations));
        } else {
            long_codes[long_count++] = LongCode{uint16_t(sym), uint8_t(len), uint16_t(code)};
        }
    }
    if (!fill_subtables(long_codes.data(), long_count, table_bits, table, capacity, annotations))
        return BuildResult::invalid;
    return BuildResult::ok;
}

}  // namespace lzx_huffman

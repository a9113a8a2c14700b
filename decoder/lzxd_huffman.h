// Canonical Huffman decode tables for the LZX decoder.
//
// A table resolves the next `table_bits` bits of the input with one lookup.
// Codes longer than that continue in a sub-table stored after the direct
// part: the direct entry for their prefix points at it and says how many
// further bits index it. Codes are at most 16 bits long and are read most
// significant bit first, so a lookup needs the next 16 bits of the stream,
// left-justified in a 64-bit word.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lzx_huffman {

constexpr unsigned kMaxCodeLength = 16;

// Entry layout: bits 16-31 hold the symbol (or the sub-table start), bits 0-4
// the code length (or the sub-table's index width), bit 5 marks a sub-table
// pointer. Bits 6-15 of a symbol's entry carry the caller's annotation for
// that symbol, if any.
constexpr uint32_t kSubtableFlag = 0x20;
constexpr uint32_t kLengthMask = 0x1F;

// Room a table needs. A complete code's sub-tables hold at most 3.2 entries
// per long code (a sub-table of depth d needs at least d + 1 codes and d is
// at most 4 when table_bits is 12) — except for the 6-bit pretree, whose
// 20 symbols fill at most two 512-entry sub-tables.
constexpr size_t table_capacity(unsigned symbol_count, unsigned table_bits)
{
    const size_t direct = size_t(1) << table_bits;
    if (table_bits >= kMaxCodeLength)
        return direct;
    if (kMaxCodeLength - table_bits <= 4)
        return direct + (symbol_count * 16 + 4) / 5;
    return direct + 1024;
}

enum class BuildResult {
    ok,       // a complete prefix code: every table entry is filled
    empty,    // every length is zero; the table is left untouched
    invalid,  // over-subscribed or incomplete lengths
};

// Builds the decode table for `symbol_count` code lengths (0 = symbol absent,
// at most 16). `table` must hold table_capacity(symbol_count, table_bits)
// entries.
// `annotations`, when given, holds one value per symbol (bits 6-15 only)
// that goes into the symbol's entries.
BuildResult build_decode_table(const uint8_t* lengths, unsigned symbol_count, unsigned table_bits,
                               uint32_t* table, size_t capacity, const uint16_t* annotations = nullptr);

// Looks up the entry for the code at the top of `bits` (at least 16 valid bits).
template <unsigned kTableBits>
inline uint32_t lookup(const uint32_t* table, uint64_t bits)
{
    uint32_t entry = table[bits >> (64 - kTableBits)];
    if (entry & kSubtableFlag) {
        const unsigned sub_bits = entry & kLengthMask;
        entry = table[(entry >> 16) + ((bits << kTableBits) >> (64 - sub_bits))];
    }
    return entry;
}

inline unsigned entry_symbol(uint32_t entry) { return entry >> 16; }
inline unsigned entry_length(uint32_t entry) { return entry & kLengthMask; }

}  // namespace lzx_huffman

// Pretree coding of a tree's code lengths: each block sends its main and
// length trees as differences (mod 17) from the previous block's lengths,
// through a 20-symbol pretree, with codes 17 and 18 for runs of zero
// lengths and 19 for short runs of one repeated length.
#pragma once

#include "huffman_code.h"

#include <cstdint>
#include <vector>

namespace lzxenc {

class BitWriter;

inline constexpr uint8_t kPretreeZeroRunShort = 17; // then 4 bits: 4..19 zeros
inline constexpr uint8_t kPretreeZeroRunLong = 18;  // then 5 bits: 20..51 zeros
inline constexpr uint8_t kPretreeSameRun = 19;      // then 1 bit: 4..5 entries, then a difference code

// How one range of lengths will be written, and what it costs.
struct LengthsPlan {
    struct Op {
        uint8_t symbol;
        uint8_t run_bit_count; // bits of the run length after 17/18/19
        uint8_t run_value;
        uint8_t difference;    // the difference code after a 19
    };
    std::vector<Op> ops;
    HuffmanCode pretree;
    uint64_t bit_cost = 0; // pretree lengths included
};

// Plans `count` entries, turning `previous` into `next`. Runs are used
// wherever they occur when `use_runs` is set, and never cross `count`.
LengthsPlan plan_lengths(const uint8_t* previous, const uint8_t* next, unsigned count, bool use_runs);

// Writes the 20 pretree lengths, then the planned codes; counts each
// pretree code written in symbol_counts[0..19].
void write_lengths(BitWriter& writer, const LengthsPlan& plan, uint64_t* symbol_counts);

} // namespace lzxenc

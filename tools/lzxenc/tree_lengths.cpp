// Pretree coding of a tree's code lengths (see tree_lengths.h).
#include "tree_lengths.h"

#include "bit_writer.h"
#include "lzx_format.h"

#include <algorithm>

namespace lzxenc {
namespace {

constexpr unsigned kMaxPretreeCodeLength = 15; // pretree lengths are written in 4 bits

// The code that turns `previous` into `next`: next = (previous - code) mod 17.
uint8_t length_difference(uint8_t previous, uint8_t next)
{
    return static_cast<uint8_t>((previous + 17 - next) % 17);
}

} // namespace

LengthsPlan plan_lengths(const uint8_t* previous, const uint8_t* next, unsigned count, bool use_runs)
{
    LengthsPlan plan;
    std::vector<uint32_t> frequencies(kPretreeSymbols, 0);
    for (unsigned i = 0; i < count;) {
        unsigned run = 1;
        while (i + run < count && next[i + run] == next[i])
            ++run;
        LengthsPlan::Op op{};
        unsigned covered = 1;
        if (use_runs && run >= 4 && next[i] == 0) {
            covered = std::min(run, run >= 20 ? 51u : 19u);
            op.symbol = covered >= 20 ? kPretreeZeroRunLong : kPretreeZeroRunShort;
            op.run_bit_count = covered >= 20 ? 5 : 4;
            op.run_value = static_cast<uint8_t>(covered - (covered >= 20 ? 20 : 4));
        } else if (use_runs && run >= 4) {
            // A 19 writes one value, derived from the first entry's previous
            // length, into every entry of the run.
            covered = std::min(run, 5u);
            op.symbol = kPretreeSameRun;
            op.run_bit_count = 1;
            op.run_value = static_cast<uint8_t>(covered - 4);
            op.difference = length_difference(previous[i], next[i]);
            ++frequencies[op.difference];
        } else {
            op.symbol = length_difference(previous[i], next[i]);
        }
        ++frequencies[op.symbol];
        plan.ops.push_back(op);
        i += covered;
    }
    plan.pretree.build(frequencies, kMaxPretreeCodeLength);
    plan.bit_cost = 4 * kPretreeSymbols;
    for (const LengthsPlan::Op& op : plan.ops) {
        plan.bit_cost += plan.pretree.lengths[op.symbol] + op.run_bit_count;
        if (op.symbol == kPretreeSameRun)
            plan.bit_cost += plan.pretree.lengths[op.difference];
    }
    return plan;
}

void write_lengths(BitWriter& writer, const LengthsPlan& plan, uint64_t* symbol_counts)
{
    for (unsigned symbol = 0; symbol < kPretreeSymbols; ++symbol)
        writer.put_bits(plan.pretree.lengths[symbol], 4);
    for (const LengthsPlan::Op& op : plan.ops) {
        plan.pretree.write(writer, op.symbol);
        ++symbol_counts[op.symbol];
        writer.put_bits(op.run_value, op.run_bit_count);
        if (op.symbol == kPretreeSameRun) {
            plan.pretree.write(writer, op.difference);
            ++symbol_counts[op.difference];
        }
    }
}

} // namespace lzxenc

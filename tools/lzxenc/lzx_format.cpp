// LZX bitstream tables (see lzx_format.h).
#include "lzx_format.h"

#include <array>
#include <stdexcept>

namespace lzxenc {
namespace {

struct SlotTable {
    std::array<uint8_t, kMaxPositionSlots> extra{};
    std::array<uint32_t, kMaxPositionSlots + 1> base{};
    constexpr SlotTable()
    {
        for (unsigned slot = 0; slot < kMaxPositionSlots; ++slot) {
            const unsigned bits = slot < 4 ? 0 : (slot - 2) / 2;
            extra[slot] = static_cast<uint8_t>(bits > 17 ? 17 : bits);
            base[slot + 1] = base[slot] + (1u << extra[slot]);
        }
    }
};

constexpr SlotTable kSlots;

} // namespace

unsigned position_slots_for_window(unsigned window_bits)
{
    static constexpr unsigned kSlotsByWindow[] = {30, 32, 34, 36, 38, 42, 50};
    if (window_bits < kMinWindowBits || window_bits > kMaxWindowBits)
        throw std::invalid_argument("window bits must be 15..21");
    return kSlotsByWindow[window_bits - kMinWindowBits];
}

unsigned slot_extra_bits(unsigned slot) { return kSlots.extra.at(slot); }

uint32_t slot_base(unsigned slot) { return kSlots.base.at(slot); }

unsigned slot_for_offset(uint32_t offset)
{
    const uint32_t formatted = offset + 2;
    if (formatted < 4)
        return formatted; // offset 1 is slot 3
    if (formatted >= (1u << 18))
        return 36 + (formatted - (1u << 18)) / (1u << 17);
    // Below 2^18 every power of two starts a pair of slots, the second one
    // half-way to the next power.
    const unsigned top_bit = 31 - static_cast<unsigned>(__builtin_clz(formatted));
    return 2 * top_bit + ((formatted >> (top_bit - 1)) & 1);
}

} // namespace lzxenc

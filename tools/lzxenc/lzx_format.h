// Constants and tables of the LZX bitstream shared by the encoder parts:
// block types, frame size, position slots with their extra bits and bases,
// and the mapping from a match offset to its position slot.
#pragma once

#include <cstdint>

namespace lzxenc {

enum class BlockType : uint8_t { Verbatim = 1, Aligned = 2, Uncompressed = 3 };

inline constexpr uint32_t kFrameSize = 32768;
inline constexpr unsigned kMinWindowBits = 15;
inline constexpr unsigned kMaxWindowBits = 21;
inline constexpr unsigned kNumChars = 256;
inline constexpr unsigned kNumPrimaryLengths = 7;  // length header 7 means "see the length tree"
inline constexpr unsigned kNumLengthSymbols = 249; // length tree entries
inline constexpr unsigned kPretreeSymbols = 20;
inline constexpr unsigned kAlignedSymbols = 8;
inline constexpr unsigned kMinMatch = 2;
inline constexpr unsigned kMaxMatch = kMinMatch + kNumPrimaryLengths + kNumLengthSymbols - 1; // 257
inline constexpr uint32_t kMaxBlockLength = (1u << 24) - 1;
inline constexpr unsigned kMaxPositionSlots = 50;

// Number of position slots for a window of 2^window_bits bytes (15..21).
unsigned position_slots_for_window(unsigned window_bits);

// Extra bits and base value of a position slot (0..49).
unsigned slot_extra_bits(unsigned slot);
uint32_t slot_base(unsigned slot);

// Position slot of a real (non-repeated) match offset of 1 or more. The slot
// codes the "formatted" offset, offset + 2; its extra bits hold
// offset + 2 - slot_base(slot).
unsigned slot_for_offset(uint32_t offset);

// Largest match offset a window allows.
inline uint32_t max_offset_for_window(unsigned window_bits) { return (1u << window_bits) - 3; }

} // namespace lzxenc

// Bit writer for the LZX bitstream: bits are packed most significant first
// into 16-bit words, and every word is stored little-endian. Raw bytes (the
// body of uncompressed blocks) can be appended once the writer sits on a word
// boundary.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace lzxenc {

class BitWriter {
public:
    // Appends the low `count` bits of `value` (count 0..32), top bit first.
    void put_bits(uint32_t value, unsigned count);

    // Pads the current word with zero bits; does nothing on a word boundary.
    void align_to_word();

    // True when no bits of a partial word are pending.
    bool at_word_boundary() const { return pending_count_ == 0; }

    // Bits pending in the current, incomplete word (0..15).
    unsigned pending_bits() const { return pending_count_; }

    // Appends bytes as they are; the writer must be on a word boundary.
    void put_raw_bytes(const uint8_t* data, size_t size);
    void put_raw_byte(uint8_t value) { put_raw_bytes(&value, 1); }
    void put_raw_u32le(uint32_t value);

    // Bytes completed so far (a pending partial word is not included).
    size_t byte_size() const { return bytes_.size(); }
    const std::vector<uint8_t>& bytes() const { return bytes_; }
    std::vector<uint8_t> take_bytes();

private:
    void emit_word(uint16_t word);

    std::vector<uint8_t> bytes_;
    uint64_t pending_ = 0;       // pending bits, right-aligned
    unsigned pending_count_ = 0; // always below 16 between calls
};

} // namespace lzxenc

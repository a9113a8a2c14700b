// A minimal reader of the LZX bit order (16-bit little-endian words, top bit
// first), only for checking the fields the encoder writes at fixed places.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <vector>

class LzxBitReader {
public:
    explicit LzxBitReader(const std::vector<uint8_t>& bytes, size_t start = 0) : bytes_(bytes), byte_pos_(start) {}

    uint32_t bits(unsigned count)
    {
        uint32_t value = 0;
        for (unsigned i = 0; i < count; ++i) {
            if (bit_count_ == 0) {
                if (byte_pos_ + 2 > bytes_.size())
                    throw std::out_of_range("LzxBitReader: past the end");
                word_ = static_cast<uint16_t>(bytes_[byte_pos_] | bytes_[byte_pos_ + 1] << 8);
                byte_pos_ += 2;
                bit_count_ = 16;
            }
            --bit_count_;
            value = value << 1 | ((word_ >> bit_count_) & 1);
        }
        return value;
    }

    // Bits left unread in the current word (0 on a word boundary).
    unsigned bits_left_in_word() const { return bit_count_; }

    // Drops the rest of the current word; the next read starts at a byte.
    void drop_word_rest() { bit_count_ = 0; }

    size_t byte_position() const { return byte_pos_; }

    uint8_t raw_byte() { return bytes_.at(byte_pos_++); }

    uint32_t raw_u32le()
    {
        uint32_t value = 0;
        for (int i = 0; i < 4; ++i)
            value |= uint32_t{raw_byte()} << (8 * i);
        return value;
    }

private:
    const std::vector<uint8_t>& bytes_;
    size_t byte_pos_;
    uint16_t word_ = 0;
    unsigned bit_count_ = 0;
};

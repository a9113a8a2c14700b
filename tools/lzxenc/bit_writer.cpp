// Bit writer for the LZX bitstream (see bit_writer.h).
#include "bit_writer.h"

#include <stdexcept>

namespace lzxenc {

void BitWriter::put_bits(uint32_t value, unsigned count)
{
    if (count == 0)
        return;
    if (count > 32)
        throw std::invalid_argument("BitWriter::put_bits: more than 32 bits");
    const uint64_t mask = (uint64_t{1} << count) - 1;
    pending_ = (pending_ << count) | (value & mask);
    pending_count_ += count;
    while (pending_count_ >= 16) {
        pending_count_ -= 16;
        emit_word(static_cast<uint16_t>(pending_ >> pending_count_));
    }
    pending_ &= (uint64_t{1} << pending_count_) - 1;
}

void BitWriter::align_to_word()
{
    if (pending_count_ != 0)
        put_bits(0, 16 - pending_count_);
}

void BitWriter::put_raw_bytes(const uint8_t* data, size_t size)
{
    if (pending_count_ != 0)
        throw std::logic_error("BitWriter::put_raw_bytes: not on a word boundary");
    bytes_.insert(bytes_.end(), data, data + size);
}

void BitWriter::put_raw_u32le(uint32_t value)
{
    const uint8_t le[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                           static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    put_raw_bytes(le, 4);
}

std::vector<uint8_t> BitWriter::take_bytes()
{
    std::vector<uint8_t> out;
    out.swap(bytes_);
    return out;
}

void BitWriter::emit_word(uint16_t word)
{
    bytes_.push_back(static_cast<uint8_t>(word));
    bytes_.push_back(static_cast<uint8_t>(word >> 8));
}

} // namespace lzxenc

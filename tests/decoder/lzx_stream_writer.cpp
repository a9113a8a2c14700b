// Hand-built LZX bitstreams for the decoder tests (see lzx_stream_writer.h).
#include "lzx_stream_writer.h"

#include <stdexcept>

namespace decoder_test {

void LzxBitWriter::put_bits(uint32_t value, unsigned count)
{
    for (unsigned i = count; i-- > 0;) {
        word_ = (word_ << 1) | ((value >> i) & 1);
        if (++used_ == 16) {
            out_.push_back(uint8_t(word_));
            out_.push_back(uint8_t(word_ >> 8));
            word_ = 0;
            used_ = 0;
        }
    }
}

void LzxBitWriter::pad_for_uncompressed() { put_bits(0, 16 - used_); }

void LzxBitWriter::put_raw(const Bytes& bytes)
{
    if (used_ != 0)
        throw std::logic_error("raw bytes off a 16-bit boundary");
    out_.insert(out_.end(), bytes.begin(), bytes.end());
}

Bytes LzxBitWriter::finish() const
{
    Bytes out = out_;
    if (used_ != 0) {
        const uint32_t word = word_ << (16 - used_);
        out.push_back(uint8_t(word));
        out.push_back(uint8_t(word >> 8));
    }
    return out;
}

PrefixCode canonical_code(const std::vector<uint8_t>& lengths)
{
    PrefixCode code{lengths, std::vector<uint32_t>(lengths.size(), 0)};
    uint32_t next = 0;
    for (unsigned len = 1; len <= 16; ++len) {
        for (size_t sym = 0; sym < lengths.size(); ++sym) {
            if (lengths[sym] == len)
                code.codes[sym] = next++;
        }
        next <<= 1;
    }
    return code;
}

void put_symbol(LzxBitWriter& w, const PrefixCode& code, unsigned symbol)
{
    if (symbol >= code.lengths.size() || code.lengths[symbol] == 0)
        throw std::logic_error("symbol without a code: " + std::to_string(symbol));
    w.put_bits(code.codes[symbol], code.lengths[symbol]);
}

const std::vector<uint8_t>& standard_pretree()
{
    static const std::vector<uint8_t> lengths = {4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 5, 5, 5, 5, 5, 5, 5, 5};
    return lengths;
}

void put_length_items(LzxBitWriter& w, const std::vector<uint8_t>& pretree_lengths,
                      const std::vector<PretreeItem>& items)
{
    for (uint8_t len : pretree_lengths)
        w.put_bits(len, 4);
    const PrefixCode pretree = canonical_code(pretree_lengths);
    for (const PretreeItem& item : items) {
        put_symbol(w, pretree, item.symbol);
        if (item.symbol == 17)
            w.put_bits(item.count_bits, 4);
        else if (item.symbol == 18)
            w.put_bits(item.count_bits, 5);
        else if (item.symbol == 19) {
            w.put_bits(item.count_bits, 1);
            put_symbol(w, pretree, item.delta);
        }
    }
}

std::vector<PretreeItem> delta_items(const std::vector<uint8_t>& previous, const std::vector<uint8_t>& next,
                                     unsigned first, unsigned last)
{
    std::vector<PretreeItem> items;
    for (unsigned i = first; i < last; ++i)
        items.push_back(PretreeItem{unsigned((previous[i] + 17 - next[i]) % 17)});
    return items;
}

unsigned position_slots(unsigned window_bits)
{
    static const unsigned slots[] = {30, 32, 34, 36, 38, 42, 50};
    return slots[window_bits - 15];
}

unsigned position_extra_bits(unsigned slot) { return slot < 4 ? 0 : std::min((slot - 2) / 2, 17u); }

uint32_t position_base(unsigned slot)
{
    uint32_t base = 0;
    for (unsigned s = 0; s < slot; ++s)
        base += uint32_t(1) << position_extra_bits(s);
    return base;
}

LzxStreamWriter::LzxStreamWriter(unsigned window_bits)
    : window_bits_(window_bits), main_previous_(256 + 8 * 290 + 64, 0), length_previous_(250 + 64, 0)
{
}

void LzxStreamWriter::stream_header(int32_t e8_filesize)
{
    if (e8_filesize == 0) {
        bits_.put_bits(0, 1);
        return;
    }
    bits_.put_bits(1, 1);
    bits_.put_bits(uint32_t(e8_filesize) >> 16, 16);
    bits_.put_bits(uint32_t(e8_filesize) & 0xFFFF, 16);
}

void LzxStreamWriter::block_header(unsigned type, uint32_t length)
{
    bits_.put_bits(type, 3);
    bits_.put_bits(length >> 8, 16);
    bits_.put_bits(length & 0xFF, 8);
}

void LzxStreamWriter::uncompressed_block(const Bytes& data, std::array<uint32_t, 3> registers, bool pad_odd)
{
    block_header(kBlockUncompressed, uint32_t(data.size()));
    bits_.pad_for_uncompressed();
    Bytes raw;
    for (uint32_t reg : registers) {
        for (int i = 0; i < 4; ++i)
            raw.push_back(uint8_t(reg >> (8 * i)));
    }
    raw.insert(raw.end(), data.begin(), data.end());
    if (pad_odd && data.size() % 2 == 1)
        raw.push_back(0);
    bits_.put_raw(raw);
}

void LzxStreamWriter::put_trees(const std::vector<uint8_t>& main_lengths, const std::vector<uint8_t>& length_lengths)
{
    const unsigned main_count = unsigned(main_symbol_count());
    if (main_lengths.size() != main_count || length_lengths.size() != 249)
        throw std::logic_error("tree lengths of the wrong size");
    put_length_items(bits_, standard_pretree(), delta_items(main_previous_, main_lengths, 0, 256));
    put_length_items(bits_, standard_pretree(), delta_items(main_previous_, main_lengths, 256, main_count));
    put_length_items(bits_, standard_pretree(), delta_items(length_previous_, length_lengths, 0, 249));
    std::copy(main_lengths.begin(), main_lengths.end(), main_previous_.begin());
    std::copy(length_lengths.begin(), length_lengths.end(), length_previous_.begin());
    main_code_ = canonical_code(main_lengths);
    length_code_ = canonical_code(length_lengths);
}

void LzxStreamWriter::verbatim_block(uint32_t length, const std::vector<uint8_t>& main_lengths,
                                     const std::vector<uint8_t>& length_lengths)
{
    block_header(kBlockVerbatim, length);
    put_trees(main_lengths, length_lengths);
    aligned_ = false;
}

void LzxStreamWriter::aligned_block(uint32_t length, const std::array<uint8_t, 8>& aligned_lengths,
                                    const std::vector<uint8_t>& main_lengths,
                                    const std::vector<uint8_t>& length_lengths)
{
    block_header(kBlockAligned, length);
    for (uint8_t len : aligned_lengths)
        bits_.put_bits(len, 3);
    put_trees(main_lengths, length_lengths);
    aligned_code_ = canonical_code(std::vector<uint8_t>(aligned_lengths.begin(), aligned_lengths.end()));
    aligned_ = true;
}

void LzxStreamWriter::literal(uint8_t byte) { put_symbol(bits_, main_code_, byte); }

unsigned match_symbol(unsigned slot, unsigned length) { return 256 + slot * 8 + std::min(length - 2, 7u); }

void LzxStreamWriter::match_header(unsigned length, unsigned slot)
{
    if (length < 2 || length > 257 + 1)
        throw std::logic_error("match length out of range");
    put_symbol(bits_, main_code_, match_symbol(slot, length));
    if (length - 2 >= 7)
        put_symbol(bits_, length_code_, length - 2 - 7);
}

void LzxStreamWriter::repeat_match(unsigned length, unsigned which) { match_header(length, which); }

void LzxStreamWriter::distance_match(unsigned length, uint32_t distance)
{
    const uint32_t formatted = distance + 2;
    unsigned slot = 3;
    while (position_base(slot + 1) <= formatted)
        ++slot;
    match_header(length, slot);
    const unsigned extra = position_extra_bits(slot);
    const uint32_t value = formatted - position_base(slot);
    if (aligned_ && extra >= 3) {
        bits_.put_bits(value >> 3, extra - 3);
        put_symbol(bits_, aligned_code_, value & 7);
    } else {
        bits_.put_bits(value, extra);
    }
}

std::vector<uint8_t> main_lengths(unsigned window_bits,
                                  const std::vector<std::pair<unsigned, uint8_t>>& symbol_lengths)
{
    std::vector<uint8_t> lengths(256 + 8 * position_slots(window_bits), 0);
    for (const auto& [symbol, length] : symbol_lengths)
        lengths.at(symbol) = length;
    return lengths;
}

std::vector<uint8_t> length_lengths(const std::vector<std::pair<unsigned, uint8_t>>& symbol_lengths)
{
    std::vector<uint8_t> lengths(249, 0);
    for (const auto& [symbol, length] : symbol_lengths)
        lengths.at(symbol) = length;
    return lengths;
}

Bytes uncompressed_stream(const Bytes& content)
{
    LzxStreamWriter w;
    w.stream_header();
    w.uncompressed_block(content);
    return w.finish();
}

Bytes invalid_block_stream()
{
    LzxStreamWriter w;
    w.stream_header();
    w.block_header(7, 1000);
    Bytes stream = w.finish();
    stream.resize(stream.size() + 64, 0);
    return stream;
}

}  // namespace decoder_test

// Stream and block headers of the LZX decoder, with the code-length trees
// of verbatim and aligned blocks (see lzxd_blocks.h).
#include "lzxd_blocks.h"

#include <algorithm>

#include "lzxd_bits.h"

namespace lzxd_detail {
namespace {

template <unsigned kTableBits>
bool read_symbol(lzxd_stream* s, const uint32_t* table, unsigned& symbol)
{
    CheckedBits bits(s);
    if (!bits.need(16))
        return false;
    const uint32_t entry = lzx_huffman::lookup<kTableBits>(table, s->in.buf);
    consume(s->in, lzx_huffman::entry_length(entry));
    symbol = lzx_huffman::entry_symbol(entry);
    return true;
}

uint8_t length_delta(uint8_t previous, unsigned delta) { return uint8_t((previous + 17 * 2 - delta) % 17); }

// Reads code lengths first..last-1 of `lens` as differences from their
// previous values, through a pretree. Runs are not clipped at `last`: they
// continue into the following entries.
bool read_lengths(lzxd_stream* s, uint8_t* lens, unsigned first, unsigned last)
{
    for (unsigned i = 0; i < kPretreeSymbols; ++i) {
        uint32_t len;
        if (!read_bits(s, 4, len))
            return false;
        s->pretree_len[i] = uint8_t(len);
    }
    if (lzx_huffman::build_decode_table(s->pretree_len, kPretreeSymbols, kPretreeTableBits,
                                        s->pretree_table, std::size(s->pretree_table)) !=
        lzx_huffman::BuildResult::ok)
        return fail(s, LZX_ERR_DATA);

    unsigned x = first;
    while (x < last) {
        unsigned code;
        if (!read_symbol<kPretreeTableBits>(s, s->pretree_table, code))
            return false;
        uint32_t run;
        if (code == 17) {
            if (!read_bits(s, 4, run))
                return false;
            std::fill_n(lens + x, run + 4, uint8_t(0));
            x += run + 4;
        } else if (code == 18) {
            if (!read_bits(s, 5, run))
                return false;
            std::fill_n(lens + x, run + 20, uint8_t(0));
            x += run + 20;
        } else if (code == 19) {
            unsigned delta;
            if (!read_bits(s, 1, run) || !read_symbol<kPretreeTableBits>(s, s->pretree_table, delta))
                return false;
            std::fill_n(lens + x, run + 4, length_delta(lens[x], delta));
            x += run + 4;
        } else {
            lens[x] = length_delta(lens[x], code);
            ++x;
        }
    }
    return true;
}

bool read_main_and_length_trees(lzxd_stream* s, bool aligned)
{
    using lzx_huffman::BuildResult;
    if (!read_lengths(s, s->maintree_len, 0, kNumChars) ||
        !read_lengths(s, s->maintree_len, kNumChars, kNumChars + s->num_offsets))
        return false;
    // The tree spans all kMainTreeSymbols entries, but only those up to the
    // last a run of zeros can reach past the window's symbols are ever
    // written: the rest are always 0 and need not be looked at.
    const unsigned main_symbols = std::min(kMainTreeSymbols, kNumChars + s->num_offsets + kLengthsSafety);
    if (lzx_huffman::build_decode_table(s->maintree_len, main_symbols, kMainTableBits,
                                        s->maintree_table, std::size(s->maintree_table),
                                        kMainAnnotations.symbol[aligned ? 1 : 0].data()) !=
        BuildResult::ok)
        return fail(s, LZX_ERR_DATA);
    if (s->maintree_len[0xE8] != 0)
        s->intel_started = true;

    if (!read_lengths(s, s->length_len, 0, kLengthTreeLengthsRead))
        return false;
    const BuildResult length_tree =
        lzx_huffman::build_decode_table(s->length_len, kLengthTreeSymbols, kLengthTableBits,
                                        s->length_table, std::size(s->length_table));
    if (length_tree == BuildResult::invalid)
        return fail(s, LZX_ERR_DATA);
    s->length_empty = length_tree == BuildResult::empty;
    return true;
}

bool read_aligned_tree(lzxd_stream* s)
{
    for (unsigned i = 0; i < kAlignedSymbols; ++i) {
        uint32_t len;
        if (!read_bits(s, 3, len))
            return false;
        s->aligned_len[i] = uint8_t(len);
    }
    if (lzx_huffman::build_decode_table(s->aligned_len, kAlignedSymbols, kAlignedTableBits,
                                        s->aligned_table, std::size(s->aligned_table)) !=
        lzx_huffman::BuildResult::ok)
        return fail(s, LZX_ERR_DATA);
    return true;
}

bool read_uncompressed_header(lzxd_stream* s)
{
    s->intel_started = true;
    if (!align_to_bytes(s))
        return false;
    uint32_t* registers[3] = {&s->R0, &s->R1, &s->R2};
    for (uint32_t* reg : registers) {
        uint8_t bytes[4];
        for (uint8_t& byte : bytes) {
            if (!read_byte(s, byte))
                return false;
        }
        *reg = uint32_t(bytes[0]) | (uint32_t(bytes[1]) << 8) | (uint32_t(bytes[2]) << 16) |
               (uint32_t(bytes[3]) << 24);
    }
    return true;
}

}  // namespace

bool read_block_header(lzxd_stream* s)
{
    if (s->lzxd_xmem_no_uncompressed_realign == 0 && s->block_type == kBlockUncompressed &&
        (s->block_length & 1)) {
        uint8_t padding;
        if (!read_byte(s, padding))
            return false;
    }
    uint32_t type, high, low;
    if (!read_bits(s, 3, type) || !read_bits(s, 16, high) || !read_bits(s, 8, low))
        return false;
    s->block_type = type;
    s->block_length = (high << 8) | low;
    s->block_remaining = s->block_length;

    switch (type) {
    case kBlockAligned:
        return read_aligned_tree(s) && read_main_and_length_trees(s, true);
    case kBlockVerbatim:
        return read_main_and_length_trees(s, false);
    case kBlockUncompressed:
        return read_uncompressed_header(s);
    default:
        return fail(s, LZX_ERR_DATA);
    }
}

bool read_stream_header(lzxd_stream* s)
{
    uint32_t has_filesize, high = 0, low = 0;
    if (!read_bits(s, 1, has_filesize))
        return false;
    if (has_filesize && (!read_bits(s, 16, high) || !read_bits(s, 16, low)))
        return false;
    s->intel_filesize = int32_t((high << 16) | low);
    s->header_read = true;
    return true;
}

}  // namespace lzxd_detail

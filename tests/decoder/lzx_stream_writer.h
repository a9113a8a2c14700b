// Hand-built LZX bitstreams for the decoder tests: a bit writer (bits most
// significant first into 16-bit little-endian words, raw bytes for
// uncompressed blocks) and helpers that write headers, code-length trees
// and chosen symbols. It makes no decisions of its own: every test says
// exactly which symbols and trees go into its stream.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "test_support.h"

namespace decoder_test {

class LzxBitWriter {
public:
    // Appends the low `count` bits of `value` (0 to 32), most significant first.
    void put_bits(uint32_t value, unsigned count);
    // What an uncompressed block header needs: 1 to 16 zero bits up to the
    // next 16-bit boundary (a whole word when already on one).
    void pad_for_uncompressed();
    // Zero bits up to the next 16-bit boundary (none when on one): what the
    // decoder skips at the end of every 32 KiB frame.
    void align_to_word() { put_bits(0, (16 - used_) % 16); }
    // Raw bytes; only on a 16-bit boundary.
    void put_raw(const Bytes& bytes);
    // Bits used in the current 16-bit word (0 on a boundary).
    unsigned bits_in_word() const { return used_; }
    // The stream so far, with a partly filled word completed by zero bits.
    Bytes finish() const;

private:
    Bytes out_;
    uint32_t word_ = 0;
    unsigned used_ = 0;
};

// A canonical prefix code built from code lengths, as the format defines it.
struct PrefixCode {
    std::vector<uint8_t> lengths;
    std::vector<uint32_t> codes;
};
PrefixCode canonical_code(const std::vector<uint8_t>& lengths);
void put_symbol(LzxBitWriter& w, const PrefixCode& code, unsigned symbol);

// One item of a pretree-coded length list: a delta symbol 0-16, or a run
// symbol 17 (4-bit count), 18 (5-bit count) or 19 (1-bit count then a delta
// symbol in `delta`).
struct PretreeItem {
    unsigned symbol;
    uint32_t count_bits = 0;
    unsigned delta = 0;
};

// Writes 20 pretree lengths then the items, coded with that pretree.
void put_length_items(LzxBitWriter& w, const std::vector<uint8_t>& pretree_lengths,
                      const std::vector<PretreeItem>& items);
// The pretree the helpers use unless a test says otherwise: symbols 0-11
// get 4-bit codes, 12-19 5-bit codes (a complete code).
const std::vector<uint8_t>& standard_pretree();
// Items that turn `previous[first..last)` into `next[first..last)` with plain
// delta symbols.
std::vector<PretreeItem> delta_items(const std::vector<uint8_t>& previous, const std::vector<uint8_t>& next,
                                     unsigned first, unsigned last);

constexpr unsigned kBlockVerbatim = 1;
constexpr unsigned kBlockAligned = 2;
constexpr unsigned kBlockUncompressed = 3;

unsigned position_slots(unsigned window_bits);
uint32_t position_base(unsigned slot);
unsigned position_extra_bits(unsigned slot);

// Writes a whole stream: the stream header, blocks, and symbols coded with
// the trees of the current block. Tree lengths are sent as differences
// from the previous block's, as the decoder keeps them.
class LzxStreamWriter {
public:
    explicit LzxStreamWriter(unsigned window_bits = 16);

    // Header bit 0, or 1 followed by the E8 file size when it is non-zero.
    void stream_header(int32_t e8_filesize = 0);
    void block_header(unsigned type, uint32_t length);
    // A whole uncompressed block; the padding byte after odd-length data is
    // written when `pad_odd`.
    void uncompressed_block(const Bytes& data, std::array<uint32_t, 3> registers = {1, 1, 1},
                            bool pad_odd = true);
    // A verbatim block header with its trees. `main_lengths` covers 256 +
    // 8 * position slots entries, `length_lengths` 249.
    void verbatim_block(uint32_t length, const std::vector<uint8_t>& main_lengths,
                        const std::vector<uint8_t>& length_lengths);
    void aligned_block(uint32_t length, const std::array<uint8_t, 8>& aligned_lengths,
                       const std::vector<uint8_t>& main_lengths, const std::vector<uint8_t>& length_lengths);

    void literal(uint8_t byte);
    // A match reusing repeated offset R0, R1 or R2 (slot 0, 1, 2).
    void repeat_match(unsigned length, unsigned which);
    // A match with a new distance (coded in the slot that holds distance + 2).
    void distance_match(unsigned length, uint32_t distance);

    size_t main_symbol_count() const { return 256 + 8 * position_slots(window_bits_); }
    LzxBitWriter& bits() { return bits_; }
    Bytes finish() const { return bits_.finish(); }

private:
    void put_trees(const std::vector<uint8_t>& main_lengths, const std::vector<uint8_t>& length_lengths);
    void match_header(unsigned length, unsigned slot);

    unsigned window_bits_;
    LzxBitWriter bits_;
    std::vector<uint8_t> main_previous_;
    std::vector<uint8_t> length_previous_;
    PrefixCode main_code_;
    PrefixCode length_code_;
    PrefixCode aligned_code_;
    bool aligned_ = false;
};

// Main-tree lengths (sized for `window_bits`) that give each listed symbol
// the listed length and every other symbol none.
std::vector<uint8_t> main_lengths(unsigned window_bits,
                                  const std::vector<std::pair<unsigned, uint8_t>>& symbol_lengths);
// Length-tree lengths (249 entries) likewise; empty list = an empty tree.
std::vector<uint8_t> length_lengths(const std::vector<std::pair<unsigned, uint8_t>>& symbol_lengths);
// Main-tree symbol of a match: slot and length header.
unsigned match_symbol(unsigned slot, unsigned length);

// An LZX stream (window of any size) holding `content` in one uncompressed block.
Bytes uncompressed_stream(const Bytes& content);
// A stream whose first block has the invalid type 7, followed by zero bytes.
Bytes invalid_block_stream();

}  // namespace decoder_test

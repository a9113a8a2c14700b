// LZX encoder (see lzx_encoder.h): block parsing, tree building and the
// writing of blocks, frames and the stream header.
#include "lzx_encoder.h"

#include "bit_writer.h"
#include "e8_translation.h"
#include "huffman_code.h"
#include "match_finder.h"
#include "tree_lengths.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

namespace lzxenc {
namespace {

constexpr unsigned kMaxTreeCodeLength = 16;
constexpr unsigned kMaxAlignedCodeLength = 7;  // lengths are written in 3 bits
constexpr unsigned kMaxMainSymbols = kNumChars + 8 * kMaxPositionSlots;
constexpr unsigned kBlockHeaderBits = 3 + 24;

// One decoded unit of a block: a literal or a match, ready to be written.
struct Token {
    uint32_t length = 0; // 0 for a literal
    uint16_t main_symbol = 0;
    uint16_t length_symbol = 0;   // meaningful when the length header is 7
    uint32_t offset_bits = 0;     // extra bits of the position slot
    uint8_t offset_bit_count = 0; // 0 for literals and repeated offsets

    bool has_length_symbol() const { return length != 0 && (main_symbol - kNumChars) % 8 == kNumPrimaryLengths; }
    bool uses_aligned_tree() const { return offset_bit_count >= 3; }
};

// Everything needed to write one verbatim or aligned-offset block.
struct CompressedBlock {
    std::vector<Token> tokens;
    HuffmanCode main;
    HuffmanCode length;
    HuffmanCode aligned;
    LengthsPlan main_chars;   // main tree entries 0..255
    LengthsPlan main_offsets; // main tree entries 256..
    LengthsPlan length_plan;
    uint64_t verbatim_bits = 0; // whole block as verbatim
    uint64_t aligned_bits = 0;  // whole block as aligned-offset (max if not worth it)
};

class StreamEncoder {
public:
    StreamEncoder(std::span<const uint8_t> input, const LzxOptions& options);
    LzxStream run();

private:
    void write_stream_header();
    void encode_block(size_t start, size_t length, size_t index);
    std::vector<Token> parse(size_t start, size_t end);
    Token literal_token(size_t pos) const;
    Token match_token(size_t pos, uint32_t length, uint32_t offset, int repeat_index);
    CompressedBlock plan_compressed(std::vector<Token> tokens, bool force_aligned_tree);
    void write_compressed_block(BlockType type, size_t start, size_t length, const CompressedBlock& block);
    void write_uncompressed_block(size_t start, size_t length);
    void write_token(BlockType type, const CompressedBlock& block, const Token& token);
    void close_frame_if_at_end(size_t pos);

    std::vector<uint8_t> data_; // the input after E8 translation
    LzxOptions options_;
    unsigned num_main_symbols_;
    uint32_t max_offset_;
    BitWriter writer_;
    LzxStream out_;
    uint32_t repeats_[3] = {1, 1, 1};
    std::vector<uint8_t> previous_main_;
    std::vector<uint8_t> previous_length_;
    MatchFinder finder_;
    bool intel_started_ = false;
};

void check_options(const LzxOptions& options)
{
    if (options.window_bits < kMinWindowBits || options.window_bits > kMaxWindowBits)
        throw std::invalid_argument("LZX encoder: window_bits must be 15..21");
    if (options.block_size == 0 || options.block_size > kMaxBlockLength)
        throw std::invalid_argument("LZX encoder: block_size must be 1..2^24-1");
    if (options.max_match_length < kMinMatch || options.max_match_length > kMaxMatch)
        throw std::invalid_argument("LZX encoder: max_match_length must be 2..257");
    if (options.max_chain == 0)
        throw std::invalid_argument("LZX encoder: max_chain must be 1 or more");
    if (options.e8_file_size && *options.e8_file_size > uint32_t{std::numeric_limits<int32_t>::max()})
        throw std::invalid_argument("LZX encoder: e8_file_size must be below 2^31");
}

StreamEncoder::StreamEncoder(std::span<const uint8_t> input, const LzxOptions& options)
    : data_(input.begin(), input.end()), options_(options),
      num_main_symbols_(kNumChars + 8 * position_slots_for_window(options.window_bits)),
      max_offset_(max_offset_for_window(options.window_bits)), previous_main_(kMaxMainSymbols, 0),
      previous_length_(kNumLengthSymbols, 0),
      finder_(data_.data(), data_.size(), options.window_bits, max_offset_, options.max_chain)
{
    if (options_.e8_file_size && *options_.e8_file_size != 0)
        out_.stats.e8_translations =
            e8_encode_in_place(data_, static_cast<int32_t>(*options_.e8_file_size));
}

LzxStream StreamEncoder::run()
{
    if (data_.empty())
        return std::move(out_); // nothing to decode: no frames, no header
    write_stream_header();
    size_t index = 0;
    for (size_t start = 0; start < data_.size(); start += options_.block_size, ++index)
        encode_block(start, std::min<size_t>(options_.block_size, data_.size() - start), index);
    out_.bytes = writer_.take_bytes();
    out_.stats.frames = out_.frame_ends.size();
    return std::move(out_);
}

void StreamEncoder::write_stream_header()
{
    if (!options_.e8_file_size) {
        writer_.put_bits(0, 1);
        return;
    }
    writer_.put_bits(1, 1);
    writer_.put_bits(*options_.e8_file_size >> 16, 16);
    writer_.put_bits(*options_.e8_file_size & 0xFFFF, 16);
}

void StreamEncoder::encode_block(size_t start, size_t length, size_t index)
{
    if (start / kFrameSize != (start + length - 1) / kFrameSize)
        ++out_.stats.blocks_spanning_frames;
    const bool automatic = options_.block_pattern.empty();
    BlockType type = automatic ? BlockType::Verbatim
                               : options_.block_pattern[index % options_.block_pattern.size()];
    if (type == BlockType::Uncompressed) {
        write_uncompressed_block(start, length);
        return;
    }
    uint32_t saved_repeats[3];
    std::copy(std::begin(repeats_), std::end(repeats_), saved_repeats);
    CompressedBlock block = plan_compressed(parse(start, start + length), type == BlockType::Aligned);
    if (automatic) {
        const uint64_t raw_bits = kBlockHeaderBits + 16 + 96 + 8 * (length + (length & 1));
        type = block.aligned_bits < block.verbatim_bits ? BlockType::Aligned : BlockType::Verbatim;
        if (raw_bits < std::min(block.verbatim_bits, block.aligned_bits)) {
            // The parse moved the repeated offsets on; an uncompressed block
            // sets them from its own header instead.
            std::copy(std::begin(saved_repeats), std::end(saved_repeats), repeats_);
            write_uncompressed_block(start, length);
            return;
        }
    }
    write_compressed_block(type, start, length, block);
}

Token StreamEncoder::literal_token(size_t pos) const
{
    Token token;
    token.main_symbol = data_[pos];
    return token;
}

Token StreamEncoder::match_token(size_t pos, uint32_t length, uint32_t offset, int repeat_index)
{
    Token token;
    token.length = length;
    const uint32_t length_header = std::min(length - kMinMatch, kNumPrimaryLengths);
    if (length_header == kNumPrimaryLengths) {
        token.length_symbol = static_cast<uint16_t>(length - kMinMatch - kNumPrimaryLengths);
        ++out_.stats.long_matches;
    }
    unsigned slot;
    if (repeat_index >= 0) {
        slot = static_cast<unsigned>(repeat_index);
        std::swap(repeats_[0], repeats_[repeat_index]);
        ++out_.stats.repeat_matches[repeat_index];
    } else {
        slot = slot_for_offset(offset);
        token.offset_bit_count = static_cast<uint8_t>(slot_extra_bits(slot));
        token.offset_bits = offset + 2 - slot_base(slot);
        repeats_[2] = repeats_[1];
        repeats_[1] = repeats_[0];
        repeats_[0] = offset;
    }
    token.main_symbol = static_cast<uint16_t>(kNumChars + slot * 8 + length_header);
    ++out_.stats.matches;
    out_.stats.longest_offset = std::max(out_.stats.longest_offset, offset);
    const size_t window_position = pos & ((size_t{1} << options_.window_bits) - 1);
    if (offset > window_position) {
        ++out_.stats.wrapped_matches;
        if (offset - window_position < length)
            ++out_.stats.split_wrapped_matches;
    }
    return token;
}

std::vector<Token> StreamEncoder::parse(size_t start, size_t end)
{
    std::vector<Token> tokens;
    tokens.reserve(end - start);
    for (size_t pos = start; pos < end;) {
        const size_t frame_end = (pos / kFrameSize + 1) * kFrameSize;
        const uint32_t limit = static_cast<uint32_t>(
            std::min<size_t>({options_.max_match_length, end - pos, frame_end - pos}));
        if (limit < kMinMatch) {
            tokens.push_back(literal_token(pos++));
            continue;
        }
        int repeat_index = -1;
        uint32_t repeat_length = 0;
        if (options_.use_repeat_offsets) {
            for (int i = 0; i < 3; ++i) {
                if (repeats_[i] > max_offset_)
                    continue;
                const uint32_t length = finder_.match_length_at(pos, repeats_[i], limit);
                if (length > repeat_length) {
                    repeat_length = length;
                    repeat_index = i;
                }
            }
        }
        const Match found = finder_.longest_match(pos, limit);
        uint32_t length = 0;
        uint32_t offset = 0;
        if (repeat_length >= kMinMatch && repeat_length + 1 >= found.length) {
            length = repeat_length;
            offset = repeats_[repeat_index];
        } else if (found.length >= 3) {
            length = found.length;
            offset = found.offset;
            repeat_index = -1;
            for (int i = 0; options_.use_repeat_offsets && i < 3; ++i)
                if (repeats_[i] == offset)
                    repeat_index = i;
        }
        if (length == 0) {
            tokens.push_back(literal_token(pos++));
            continue;
        }
        tokens.push_back(match_token(pos, length, offset, repeat_index));
        pos += length;
    }
    return tokens;
}

CompressedBlock StreamEncoder::plan_compressed(std::vector<Token> tokens, bool force_aligned_tree)
{
    CompressedBlock block;
    block.tokens = std::move(tokens);
    std::vector<uint32_t> main_frequencies(num_main_symbols_, 0);
    std::vector<uint32_t> length_frequencies(kNumLengthSymbols, 0);
    std::vector<uint32_t> aligned_frequencies(kAlignedSymbols, 0);
    uint64_t extra_bits = 0;
    for (const Token& token : block.tokens) {
        ++main_frequencies[token.main_symbol];
        if (token.has_length_symbol())
            ++length_frequencies[token.length_symbol];
        if (token.uses_aligned_tree())
            ++aligned_frequencies[token.offset_bits & 7];
        extra_bits += token.offset_bit_count;
    }
    // The decoder translates E8 calls only after a tree with a code for byte
    // 0xE8 (or an uncompressed block) has been read, so the first block
    // always gives that byte a code when translation is announced.
    if (options_.e8_file_size && !intel_started_ && main_frequencies[0xE8] == 0)
        main_frequencies[0xE8] = 1;

    block.main.build(main_frequencies, kMaxTreeCodeLength);
    block.length.build(length_frequencies, kMaxTreeCodeLength);
    const bool any_aligned = std::any_of(aligned_frequencies.begin(), aligned_frequencies.end(),
                                         [](uint32_t f) { return f != 0; });
    if (any_aligned)
        block.aligned.build(aligned_frequencies, kMaxAlignedCodeLength);
    else
        block.aligned.build(std::vector<uint32_t>(kAlignedSymbols, 1), kMaxAlignedCodeLength);

    std::vector<uint8_t> main_lengths(kMaxMainSymbols, 0);
    std::copy(block.main.lengths.begin(), block.main.lengths.end(), main_lengths.begin());
    const bool runs = options_.use_pretree_runs;
    block.main_chars = plan_lengths(previous_main_.data(), main_lengths.data(), kNumChars, runs);
    block.main_offsets = plan_lengths(previous_main_.data() + kNumChars, main_lengths.data() + kNumChars,
                                      num_main_symbols_ - kNumChars, runs);
    block.length_plan = plan_lengths(previous_length_.data(), block.length.lengths.data(), kNumLengthSymbols, runs);

    uint64_t bits = kBlockHeaderBits + block.main_chars.bit_cost + block.main_offsets.bit_cost +
                    block.length_plan.bit_cost + extra_bits;
    uint64_t aligned_change = 3 * kAlignedSymbols;
    for (const Token& token : block.tokens) {
        bits += block.main.lengths[token.main_symbol];
        if (token.has_length_symbol())
            bits += block.length.lengths[token.length_symbol];
        if (token.uses_aligned_tree())
            aligned_change += block.aligned.lengths[token.offset_bits & 7];
    }
    block.verbatim_bits = bits;
    uint64_t aligned_saving = 0;
    for (const Token& token : block.tokens)
        if (token.uses_aligned_tree())
            aligned_saving += 3;
    block.aligned_bits = (any_aligned || force_aligned_tree) ? bits + aligned_change - aligned_saving
                                                              : std::numeric_limits<uint64_t>::max();
    return block;
}

void StreamEncoder::write_compressed_block(BlockType type, size_t start, size_t length,
                                           const CompressedBlock& block)
{
    ++out_.stats.blocks[static_cast<int>(type)];
    writer_.put_bits(static_cast<uint32_t>(type), 3);
    writer_.put_bits(static_cast<uint32_t>(length >> 8), 16);
    writer_.put_bits(static_cast<uint32_t>(length & 0xFF), 8);
    if (type == BlockType::Aligned)
        for (unsigned symbol = 0; symbol < kAlignedSymbols; ++symbol)
            writer_.put_bits(block.aligned.lengths[symbol], 3);
    write_lengths(writer_, block.main_chars, out_.stats.pretree_symbols);
    write_lengths(writer_, block.main_offsets, out_.stats.pretree_symbols);
    write_lengths(writer_, block.length_plan, out_.stats.pretree_symbols);
    std::copy(block.main.lengths.begin(), block.main.lengths.end(), previous_main_.begin());
    previous_length_ = block.length.lengths;
    if (std::all_of(previous_length_.begin(), previous_length_.end(), [](uint8_t l) { return l == 0; }))
        ++out_.stats.empty_length_trees;
    if (block.main.lengths[0xE8] != 0)
        intel_started_ = true;

    size_t pos = start;
    for (const Token& token : block.tokens) {
        write_token(type, block, token);
        pos += token.length == 0 ? 1 : token.length;
        close_frame_if_at_end(pos);
    }
    if (pos != start + length)
        throw std::logic_error("LZX encoder: block tokens do not cover the block");
}

void StreamEncoder::write_token(BlockType type, const CompressedBlock& block, const Token& token)
{
    block.main.write(writer_, token.main_symbol);
    if (token.length == 0) {
        ++out_.stats.literals;
        return;
    }
    if (token.has_length_symbol())
        block.length.write(writer_, token.length_symbol);
    if (type == BlockType::Aligned && token.uses_aligned_tree()) {
        writer_.put_bits(token.offset_bits >> 3, token.offset_bit_count - 3u);
        block.aligned.write(writer_, token.offset_bits & 7);
        ++out_.stats.aligned_symbols;
    } else {
        writer_.put_bits(token.offset_bits, token.offset_bit_count);
    }
}

void StreamEncoder::write_uncompressed_block(size_t start, size_t length)
{
    ++out_.stats.blocks[static_cast<int>(BlockType::Uncompressed)];
    writer_.put_bits(static_cast<uint32_t>(BlockType::Uncompressed), 3);
    writer_.put_bits(static_cast<uint32_t>(length >> 8), 16);
    writer_.put_bits(static_cast<uint32_t>(length & 0xFF), 8);
    // The decoder drops the rest of the current 16-bit word, or a whole word
    // when it already stands on a word boundary.
    if (writer_.at_word_boundary()) {
        writer_.put_bits(0, 16);
        ++out_.stats.whole_word_alignments;
    } else
        writer_.align_to_word();
    if (options_.rotate_repeats_in_uncompressed) {
        const uint32_t r0 = repeats_[0];
        repeats_[0] = repeats_[1];
        repeats_[1] = repeats_[2];
        repeats_[2] = r0;
    }
    for (uint32_t r : repeats_)
        writer_.put_raw_u32le(r);
    intel_started_ = true;

    size_t pos = start;
    const size_t end = start + length;
    while (pos < end) {
        const size_t frame_end = (pos / kFrameSize + 1) * kFrameSize;
        const size_t piece_end = std::min(end, frame_end);
        writer_.put_raw_bytes(data_.data() + pos, piece_end - pos);
        pos = piece_end;
        if (pos < end)
            close_frame_if_at_end(pos);
    }
    if (length & 1) {
        ++out_.stats.odd_uncompressed_blocks;
        if (options_.pad_odd_uncompressed) {
            writer_.put_raw_byte(0);
            ++out_.stats.padding_bytes;
        }
    }
    close_frame_if_at_end(end);
}

void StreamEncoder::close_frame_if_at_end(size_t pos)
{
    if (pos % kFrameSize != 0 && pos != data_.size())
        return;
    writer_.align_to_word();
    out_.frame_ends.push_back(writer_.byte_size());
}

} // namespace

LzxStats& LzxStats::operator+=(const LzxStats& other)
{
    frames += other.frames;
    for (int i = 0; i < 4; ++i)
        blocks[i] += other.blocks[i];
    blocks_spanning_frames += other.blocks_spanning_frames;
    odd_uncompressed_blocks += other.odd_uncompressed_blocks;
    padding_bytes += other.padding_bytes;
    whole_word_alignments += other.whole_word_alignments;
    literals += other.literals;
    matches += other.matches;
    for (int i = 0; i < 3; ++i)
        repeat_matches[i] += other.repeat_matches[i];
    long_matches += other.long_matches;
    empty_length_trees += other.empty_length_trees;
    aligned_symbols += other.aligned_symbols;
    for (int i = 0; i < 20; ++i)
        pretree_symbols[i] += other.pretree_symbols[i];
    wrapped_matches += other.wrapped_matches;
    split_wrapped_matches += other.split_wrapped_matches;
    e8_translations += other.e8_translations;
    longest_offset = std::max(longest_offset, other.longest_offset);
    return *this;
}

LzxStream lzx_encode(std::span<const uint8_t> input, const LzxOptions& options)
{
    check_options(options);
    return StreamEncoder(input, options).run();
}

std::vector<std::vector<uint8_t>> frame_pieces(const LzxStream& stream)
{
    std::vector<std::vector<uint8_t>> pieces;
    size_t begin = 0;
    for (size_t end : stream.frame_ends) {
        pieces.emplace_back(stream.bytes.begin() + static_cast<std::ptrdiff_t>(begin),
                            stream.bytes.begin() + static_cast<std::ptrdiff_t>(end));
        begin = end;
    }
    return pieces;
}

} // namespace lzxenc

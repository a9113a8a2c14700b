// LZX encoder for tests, fixtures and benchmarks.
//
// Writes the LZX bitstream without the delta extension, as the project's
// decoder reads it: 16-bit little-endian words consumed top bit first; a
// stream header bit with an optional 32-bit E8 file size; blocks of a 3-bit
// type and 24-bit length; verbatim and aligned-offset blocks with their trees
// coded through the pretree as differences from the previous block's
// lengths; uncompressed blocks with R0..R2 and raw bytes; frames of 32768
// decoded bytes, the bitstream realigned to 16 bits at each frame end.
//
// Every feature can be forced through LzxOptions, and LzxStats reports what
// was actually written, so a test can prove a feature was exercised.
//
// Usage:
//   lzxenc::LzxOptions options;
//   options.window_bits = 17;
//   options.block_pattern = {lzxenc::BlockType::Aligned, lzxenc::BlockType::Uncompressed};
//   lzxenc::LzxStream stream = lzxenc::lzx_encode(data, options);
//   // stream.bytes decodes to `data` with a 2^17 window; stream.frame_ends[i]
//   // is where frame i's bytes end in stream.bytes.
//
// Invalid options throw std::invalid_argument.
#pragma once

#include "lzx_format.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace lzxenc {

struct LzxOptions {
    // Window of 2^window_bits bytes, 15..21.
    unsigned window_bits = 16;

    // Block kinds, used in turn (block i gets block_pattern[i % size]).
    // Empty: the encoder picks the smallest of the three for each block.
    std::vector<BlockType> block_pattern;

    // Decoded bytes per block (the last block takes what is left), 1..2^24-1.
    // Blocks are cut independently of frames, so a length that is not a
    // multiple of 32768 makes blocks start and end inside frames.
    uint32_t block_size = 65536;

    // Standard LZX writes one padding byte after an uncompressed block of odd
    // length; the variant without it is produced when this is false.
    bool pad_odd_uncompressed = true;

    // Use pretree codes 17/18 (runs of zero lengths) and 19 (runs of 4 or 5
    // equal lengths) wherever such a run occurs; false codes every length as
    // a plain difference (codes 0..16 only).
    bool use_pretree_runs = true;

    // Code matches at R0/R1/R2 as position slots 0/1/2.
    bool use_repeat_offsets = true;

    // Longest match emitted, 2..257. 8 or less leaves every length tree
    // empty (no match needs a length symbol).
    unsigned max_match_length = kMaxMatch;

    // Hash-chain search depth (1 or more).
    unsigned max_chain = 16;

    // Write R1, R2, R0 (rotated) into each uncompressed block instead of
    // R0, R1, R2; the encoder continues from the rotated registers, as the
    // decoder must. Proves that the decoder takes the registers it reads.
    bool rotate_repeats_in_uncompressed = false;

    // When set, the stream header announces E8 translation with this file
    // size, and the data is translated accordingly before compression (a
    // size of 0 writes the header but translates nothing). Must be 0..2^31-1.
    std::optional<uint32_t> e8_file_size;
};

struct LzxStats {
    uint64_t frames = 0;
    uint64_t blocks[4] = {}; // indexed by BlockType (1..3)
    uint64_t blocks_spanning_frames = 0; // blocks that contain a frame end before their last byte
    uint64_t odd_uncompressed_blocks = 0;
    uint64_t padding_bytes = 0;          // padding bytes written after odd uncompressed blocks
    uint64_t whole_word_alignments = 0;  // uncompressed headers that ended on a word boundary
    uint64_t literals = 0;
    uint64_t matches = 0;
    uint64_t repeat_matches[3] = {};     // matches coded as slot 0, 1, 2
    uint64_t long_matches = 0;           // matches that needed a length symbol
    uint64_t empty_length_trees = 0;     // compressed blocks whose length tree is all zero
    uint64_t aligned_symbols = 0;        // aligned-tree symbols written
    uint64_t pretree_symbols[20] = {};   // pretree codes written, by code
    uint64_t wrapped_matches = 0;        // matches whose source lies before the window position
    uint64_t split_wrapped_matches = 0;  // ...and whose copy runs across the window's end
    uint64_t e8_translations = 0;        // 4-byte values changed by the E8 translation
    uint32_t longest_offset = 0;

    // Adds another stream's figures (longest_offset takes the larger).
    LzxStats& operator+=(const LzxStats& other);
};

struct LzxStream {
    std::vector<uint8_t> bytes;
    std::vector<size_t> frame_ends; // frame i is bytes [frame_ends[i-1], frame_ends[i])
    LzxStats stats;
};

// Compresses `input` into one LZX stream that decodes back to it, from a
// fresh decoder state, with a window of 2^options.window_bits bytes.
LzxStream lzx_encode(std::span<const uint8_t> input, const LzxOptions& options = {});

// The stream cut at its frame ends: one piece per frame, in order.
std::vector<std::vector<uint8_t>> frame_pieces(const LzxStream& stream);

} // namespace lzxenc

// The LZX decoder's state record and the format's constants, shared by the
// decoder's source files (see lzxd.h for the interface). Not for callers.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

#include "lzxd.h"
#include "lzxd_huffman.h"

namespace lzxd_detail {

constexpr uint32_t kFrameSize = 32768;
constexpr int kMinWindowBits = 15;
constexpr int kMaxWindowBits = 21;

constexpr unsigned kNumChars = 256;
constexpr unsigned kMinMatch = 2;
constexpr unsigned kLengthHeaderExtended = 7;  // a length header of 7 continues in the length tree

// Position slots of the format, including those of the delta extension's
// larger windows: the main tree is always sized for all of them.
constexpr unsigned kMaxPositionSlots = 290;
constexpr std::array<unsigned, 7> kPositionSlots = {30, 32, 34, 36, 38, 42, 50};  // window bits 15..21

constexpr unsigned kPretreeSymbols = 20;
constexpr unsigned kPretreeTableBits = 6;
constexpr unsigned kMainTreeSymbols = kNumChars + kMaxPositionSlots * 8;  // 2576
constexpr unsigned kMainTableBits = 12;
constexpr unsigned kLengthTreeLengthsRead = 249;
constexpr unsigned kLengthTreeSymbols = 250;
constexpr unsigned kLengthTableBits = 12;
constexpr unsigned kAlignedSymbols = 8;
constexpr unsigned kAlignedTableBits = 7;
constexpr size_t kPretreeTableSize = lzx_huffman::table_capacity(kPretreeSymbols, kPretreeTableBits);
constexpr size_t kMainTableSize = lzx_huffman::table_capacity(kMainTreeSymbols, kMainTableBits);
constexpr size_t kLengthTableSize = lzx_huffman::table_capacity(kLengthTreeSymbols, kLengthTableBits);
constexpr size_t kAlignedTableSize = lzx_huffman::table_capacity(kAlignedSymbols, kAlignedTableBits);
// Runs in the code-length encoding may reach past the last entry they were
// meant for; the length arrays have room for that.
constexpr unsigned kLengthsSafety = 64;

constexpr unsigned kBlockVerbatim = 1;
constexpr unsigned kBlockAligned = 2;
constexpr unsigned kBlockUncompressed = 3;

// Input buffering: bytes kept before the read position (the bit buffer may
// hold them, and an uncompressed block hands them back to byte reading), and
// the input that must be buffered for the unchecked fast path (one symbol
// with its length and offset refills the bit buffer at most four times, 8
// bytes each).
constexpr size_t kInputHistory = 8;
constexpr size_t kFastPathInput = 32;
constexpr size_t kInputSlack = kInputHistory + kFastPathInput + 8;

// Bytes after the window that short match copies may read and rewrite
// unchanged (see copy_short).
constexpr size_t kWindowSlack = 16;

// Input buffer of a stream that decodes from memory: it only ever holds the
// last few bytes of the input (with their history) and the two zero bytes.
constexpr size_t kDirectInputBuffer = 2 * kInputSlack;

constexpr uint32_t kE8MaxFrame = 32768;
constexpr size_t kE8FrameWords = kE8MaxFrame / 64;
constexpr uint32_t kE8MinFrameSize = 10;

struct PositionTables {
    std::array<uint32_t, kMaxPositionSlots> base{};
    std::array<uint8_t, kMaxPositionSlots> extra{};
};

constexpr PositionTables make_position_tables()
{
    PositionTables t;
    for (unsigned slot = 0; slot < kMaxPositionSlots; ++slot) {
        t.extra[slot] = uint8_t(slot < 4 ? 0 : std::min((slot - 2) / 2, 17u));
        if (slot > 0)
            t.base[slot] = t.base[slot - 1] + (uint32_t(1) << t.extra[slot - 1]);
    }
    return t;
}
constexpr PositionTables kPosition = make_position_tables();

// Main-tree entries of match symbols carry what their offset needs, so that
// decoding a match takes no further table load before its offset bits: the
// number of bits read verbatim (bits 8-12) and, in aligned blocks, a flag for
// an aligned-tree symbol after them (bit 13).
constexpr unsigned kEntryVerbatimShift = 8;
constexpr uint32_t kEntryVerbatimMask = 0x1F;
constexpr uint32_t kEntryAlignedFlag = uint32_t(1) << 13;

// Those annotations per main-tree symbol, for verbatim blocks ([0]) and
// aligned blocks ([1]).
struct MainAnnotations {
    std::array<std::array<uint16_t, kNumChars + kMaxPositionSlots * 8>, 2> symbol{};
};

constexpr MainAnnotations make_main_annotations()
{
    MainAnnotations a;
    for (unsigned aligned = 0; aligned < 2; ++aligned) {
        for (unsigned slot = 0; slot < kMaxPositionSlots; ++slot) {
            const unsigned extra = kPosition.extra[slot];
            const bool uses_aligned = aligned && extra >= 3;
            const uint16_t value = uint16_t(((uses_aligned ? extra - 3 : extra) << kEntryVerbatimShift) |
                                            (uses_aligned ? kEntryAlignedFlag : 0));
            for (unsigned header = 0; header < 8; ++header)
                a.symbol[aligned][kNumChars + slot * 8 + header] = value;
        }
    }
    return a;
}
constexpr MainAnnotations kMainAnnotations = make_main_annotations();

// The bit reader's position: buffered input bytes and the bit buffer, whose
// `count` valid bits are left-justified.
struct BitInput {
    uint8_t* ptr;
    uint8_t* end;
    uint64_t buf;
    uint32_t count;
};

}  // namespace lzxd_detail

// One stream's decoder state. Allocated zero-filled through the system's
// alloc: every field not set by lzxd_init starts at 0.
//
// A stream decodes in one of two modes. The window mode keeps the history in
// a window of window_size bytes, reused circularly, and writes each finished
// frame to the output through the system. The direct mode (lzxd_direct.h)
// decodes straight into a caller's output buffer, which is all the history
// the stream needs: `window` is then that buffer, the positions count from its
// start, and the window's rules are applied to positions modulo window_size.
struct lzxd_stream {
    lzx_system* sys;
    lzx_file* input;
    lzx_file* output;

    uint8_t* window;
    uint32_t window_size;
    uint32_t window_posn;  // where the next byte is decoded
    uint32_t frame_posn;   // start of the frame being decoded
    bool direct;
    uint32_t direct_size;  // direct mode: bytes in the output buffer
    uint32_t ref_data_size;
    uint64_t frame;  // frames completed
    uint32_t reset_interval;
    int64_t offset;  // bytes delivered so far
    int64_t length;  // expected output length, 0 = not given
    uint32_t R0, R1, R2;
    uint32_t num_offsets;
    // Non-zero: no padding byte after an odd-length uncompressed block (see
    // lzxd_init).
    int lzxd_xmem_no_uncompressed_realign;

    uint32_t block_type;
    uint32_t block_length;
    uint32_t block_remaining;
    bool header_read;
    bool intel_started;
    int32_t intel_filesize;

    uint8_t* inbuf;
    uint32_t read_size;
    lzxd_detail::BitInput in;
    uint8_t* in_start;  // start of the buffer `in` reads from: inbuf or the borrowed input
    uint8_t* borrowed;  // direct mode: the caller's input, read in place
    size_t borrowed_size;
    bool borrowed_taken;
    bool input_end;        // the two zero bytes have been supplied
    bool input_exhausted;  // nothing more will arrive

    uint8_t* o_ptr;  // undelivered rest of the last frame
    uint8_t* o_end;

    bool length_empty;
    int error;

    uint8_t* e8_buf;  // window mode: a translated frame on its way out
    // Direct mode: the frames still to be translated in place, once no later
    // match can read their untranslated bytes.
    uint64_t e8_pending[lzxd_detail::kE8FrameWords];
    uint32_t e8_next;  // first frame not yet settled

    uint8_t pretree_len[lzxd_detail::kPretreeSymbols + lzxd_detail::kLengthsSafety];
    uint8_t maintree_len[lzxd_detail::kMainTreeSymbols + lzxd_detail::kLengthsSafety];
    uint8_t length_len[lzxd_detail::kLengthTreeSymbols + lzxd_detail::kLengthsSafety];
    uint8_t aligned_len[lzxd_detail::kAlignedSymbols];

    // The decode tables come last: a state reused for another stream
    // (lzxd_reuse_direct) clears everything before them, and they need no
    // clearing, since every block builds the tables it reads before it
    // reads them.
    uint32_t pretree_table[lzxd_detail::kPretreeTableSize];
    uint32_t maintree_table[lzxd_detail::kMainTableSize];
    uint32_t length_table[lzxd_detail::kLengthTableSize];
    uint32_t aligned_table[lzxd_detail::kAlignedTableSize];
};

namespace lzxd_detail {

// Records the state's first error and reports failure.
inline bool fail(lzxd_stream* s, int code)
{
    s->error = code;
    return false;
}

}  // namespace lzxd_detail

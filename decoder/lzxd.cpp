// LZX decoder: symbols, matches, frames, the Intel E8 post-processing and
// the decoder's interface (see lzxd.h). Bit input lives in lzxd_bits.*,
// headers and trees in lzxd_blocks.*, match copies in lzxd_copy.h.
#include "lzxd.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstring>

#include "lzxd_bits.h"
#include "lzxd_blocks.h"
#include "lzxd_copy.h"
#include "lzxd_direct.h"
#include "lzxd_huffman.h"
#include "lzxd_state.h"

using namespace lzxd_detail;

namespace {

// What the symbol loop needs of the state, copied out so that the compiler
// can keep it in registers: stores into the window could otherwise alias
// any field of the state.
struct MatchContext {
    uint8_t* window;  // in direct mode the whole output
    uint32_t window_size;
    uint32_t ref_data_size;
    int64_t offset;
    uint32_t direct_size;  // direct mode: bytes in the output
    uint32_t wide_end;     // direct mode: a match ending at or below this may copy in wide steps
    // Direct mode, for the current run (which never leaves its window pass):
    // the pass's start, and where a match may end and still copy in wide steps.
    uint32_t pass_start;
    uint32_t fast_end;
    // Direct mode: how far back a match may reach past the pass's start and
    // still read its bytes at that distance in the output: what the frames
    // before this one delivered, at most a window.
    uint32_t history_reach;
    const uint32_t* main_table;
    const uint32_t* length_table;
    const uint32_t* aligned_table;
    bool length_empty;
};

MatchContext match_context(const lzxd_stream* s)
{
    const uint32_t wide_end = s->direct_size > kWideCopySlack ? uint32_t(s->direct_size - kWideCopySlack) : 0;
    const uint32_t pass_start = s->window_posn & ~(s->window_size - 1);
    const uint32_t fast_end = std::min(wide_end, pass_start + s->window_size);
    const uint32_t history_reach = uint32_t(std::min<int64_t>(s->offset, s->window_size));
    return MatchContext{s->window,        s->window_size,    s->ref_data_size, s->offset,
                        s->direct_size,   wide_end,          pass_start,       fast_end,
                        history_reach,    s->maintree_table, s->length_table,  s->aligned_table,
                        s->length_empty};
}

// Copies a match of `length` bytes from `distance` back into the window at
// `posn`. Returns false for a match the stream may not contain.
[[gnu::always_inline]] inline bool copy_match_window(const MatchContext& m, uint32_t posn, uint32_t distance,
                                                     uint32_t length)
{
    if (length > m.window_size - posn)
        return false;
    uint8_t* const dst = m.window + posn;
    if (distance <= posn) {
        if (distance >= length && length <= 16)
            copy_short(dst, dst - distance, length);  // the common case
        else
            copy_forward(dst, dst - distance, length);
        return true;
    }
    // The match reaches back across the window's start into its end.
    const uint32_t back = distance - posn;
    if (back > m.window_size)
        return false;
    if (int64_t(distance) > m.offset && back > m.ref_data_size)
        return false;
    const uint32_t from_end = std::min(back, length);
    copy_forward(dst, m.window + (m.window_size - back), from_end);
    if (length > from_end)
        copy_forward(dst + from_end, m.window, length - from_end);
    return true;
}

// The same match in direct mode, where `posn` counts from the start of the
// output. The window's rules apply to the position within the window; what
// the window would read, the output holds at the distance below:
// - a distance of at most the window size reads the bytes that far back;
// - a larger one that the window accepts (it reaches back past the window's
//   start by no more than the window) reads window bytes already rewritten
//   in this pass, which lie one window size closer;
// - a distance of 0 (a repeated offset set by an uncompressed block) reads
//   the bytes it writes to: in the first pass the window's initial zeros,
//   after that the bytes one window size back.
[[gnu::always_inline]] inline bool copy_match_direct(const MatchContext& m, uint32_t posn, uint32_t distance,
                                                     uint32_t length)
{
    // The common case: within the window's pass, from bytes decoded in it or
    // in the frames before (the window's checks pass for both, and the bytes
    // lie at that distance in the output), with room for wide steps after
    // it. (One branch for both tests: each is rarely false.)
    const uint32_t reach = std::max(posn - m.pass_start, m.history_reach);
    if ((distance - 1 < reach) & (posn + length <= m.fast_end)) [[likely]] {
        copy_wide(m.window + posn, distance, length);
        return true;
    }
    const uint32_t in_window = posn & (m.window_size - 1);
    if (length > m.window_size - in_window)
        return false;
    // A match past the end of the output also passes the end of the last
    // frame, which fails the stream anyway.
    if (length > m.direct_size - posn)
        return false;
    if (distance > in_window) {
        const uint32_t back = distance - in_window;
        if (back > m.window_size || int64_t(distance) > m.offset)
            return false;
        if (distance > m.window_size)
            distance -= m.window_size;
    } else if (distance == 0) {
        if (posn < m.window_size) {
            std::memset(m.window + posn, 0, length);
            return true;
        }
        distance = m.window_size;
    }
    uint8_t* const dst = m.window + posn;
    if (posn + length <= m.wide_end)
        copy_wide(dst, distance, length);
    else
        copy_forward(dst, dst - distance, length);
    return true;
}

template <bool kDirect>
[[gnu::always_inline]] inline bool copy_match(const MatchContext& m, uint32_t posn, uint32_t distance, uint32_t length)
{
    if constexpr (kDirect)
        return copy_match_direct(m, posn, distance, length);
    else
        return copy_match_window(m, posn, distance, length);
}

// Takes 0 to 32 bits that are already in the buffer. Rotating the buffer
// brings them to the bottom, where a mask takes them. (Shifting them down
// instead would need two shifts, since a shift by 64 - n is not defined for
// n = 0.)
inline uint32_t take_bits_or_none(BitInput& b, unsigned n)
{
    const uint32_t value = uint32_t(std::rotl(b.buf, int(n)) & ((uint64_t(1) << n) - 1));
    consume(b, n);
    return value;
}

// The repeated-offset registers.
struct RepeatedOffsets {
    uint32_t R0, R1, R2;

    // The distance of a match in position slot 0, 1 or 2, which swaps that
    // register with R0.
    uint32_t repeat(unsigned slot)
    {
        uint32_t distance = R0;
        if (slot == 1) {
            distance = R1;
            R1 = R0;
        } else if (slot == 2) {
            distance = R2;
            R2 = R0;
        }
        R0 = distance;
        return distance;
    }
    // The distance of a match in any slot, given the new distance a slot of
    // 3 or more carries, with selects instead of branches: the slot is
    // hard to predict.
    uint32_t select(unsigned slot, uint32_t new_distance)
    {
        const bool fresh = slot >= 3;
        const uint32_t repeated = slot == 0 ? R0 : slot == 1 ? R1 : R2;
        const uint32_t distance = fresh ? new_distance : repeated;
        const uint32_t r1 = fresh || slot == 1 ? R0 : R1;
        R2 = fresh ? R1 : slot == 2 ? R0 : R2;
        R1 = r1;
        R0 = distance;
        return distance;
    }
    void push(uint32_t distance)
    {
        R2 = R1;
        R1 = R0;
        R0 = distance;
    }
};

// ---------------------------------------------------------------------------
// Symbols

// Decodes the rest of a match whose main-tree symbol was `main` (256 or
// more) into the window at `posn`, which it advances. Returns an error code,
// 0 for none.
template <bool kAligned, bool kDirect, typename Bits>
inline int decode_match(const MatchContext& m, Bits& bits, unsigned main, uint32_t& posn, RepeatedOffsets& r)
{
    BitInput& b = bits.b;
    const unsigned match = main - kNumChars;
    uint32_t length = match & 7;
    if (length == kLengthHeaderExtended) {
        if (m.length_empty)
            return LZX_ERR_DATA;
        if (!bits.need(16))
            return LZX_ERR_READ;
        const uint32_t entry = lzx_huffman::lookup<kLengthTableBits>(m.length_table, b.buf);
        consume(b, lzx_huffman::entry_length(entry));
        length += lzx_huffman::entry_symbol(entry);
    }
    length += kMinMatch;

    const unsigned slot = match >> 3;
    uint32_t distance;
    if (slot < 3) {
        distance = r.repeat(slot);
    } else {
        const unsigned extra = kPosition.extra[slot];
        distance = kPosition.base[slot] - 2;
        if (kAligned && extra >= 3) {
            if (extra > 3) {
                if (!bits.need(extra - 3))
                    return LZX_ERR_READ;
                distance += take_bits(b, extra - 3) << 3;
            }
            if (!bits.need(16))
                return LZX_ERR_READ;
            const uint32_t entry = lzx_huffman::lookup<kAlignedTableBits>(m.aligned_table, b.buf);
            consume(b, lzx_huffman::entry_length(entry));
            distance += lzx_huffman::entry_symbol(entry);
        } else if (extra > 0) {
            if (!bits.need(extra))
                return LZX_ERR_READ;
            distance += take_bits(b, extra);
        }
        r.push(distance);
    }

    if (!copy_match<kDirect>(m, posn, distance, length))
        return LZX_ERR_DATA;
    posn += length;
    return LZX_OK;
}

// Decodes one literal or match with every read checked against the end of
// the input.
template <bool kAligned, bool kDirect>
inline int decode_symbol_checked(const MatchContext& m, CheckedBits& bits, uint32_t& posn, RepeatedOffsets& r)
{
    if (!bits.need(16))
        return LZX_ERR_READ;
    const uint32_t entry = lzx_huffman::lookup<kMainTableBits>(m.main_table, bits.b.buf);
    consume(bits.b, lzx_huffman::entry_length(entry));
    const unsigned main = lzx_huffman::entry_symbol(entry);
    if (main < kNumChars) {
        m.window[posn++] = uint8_t(main);
        return LZX_OK;
    }
    return decode_match<kAligned, kDirect>(m, bits, main, posn, r);
}

// Bits a match needs after its main and length symbols at most: 17 extra
// bits, or 14 verbatim bits and a 7-bit aligned symbol.
constexpr unsigned kMaxOffsetBits = 21;

// Decodes symbols while the buffered input reaches past `input_limit`
// (kFastPathInput bytes before its end) and the window position is below
// `run_end`, without checks against the end of the input.
//
// The main-tree entry of the next symbol is looked up as soon as the bits
// of the previous one are consumed, before the refill: the buffer then
// always holds at least 16 bits, enough for any code, and the refill runs
// alongside the table load instead of before it. After a refill (48 bits or
// more) a symbol has room for its main and length codes, or for two
// literals and the next lookup.
template <bool kAligned, bool kDirect>
int decode_symbols_fast(const MatchContext& m, BitInput& b, const uint8_t* input_limit, uint32_t& posn_io,
                        uint32_t run_end, RepeatedOffsets& r)
{
    uint8_t* const window = m.window;
    uint32_t posn = posn_io;
    int error = LZX_OK;
    refill_from_buffer(b);
    uint32_t entry = lzx_huffman::lookup<kMainTableBits>(m.main_table, b.buf);
    while (posn < run_end && b.ptr <= input_limit) {
        refill_from_buffer(b);
        if (lzx_huffman::entry_symbol(entry) < kNumChars) {
            consume(b, lzx_huffman::entry_length(entry));
            window[posn++] = uint8_t(lzx_huffman::entry_symbol(entry));
            entry = lzx_huffman::lookup<kMainTableBits>(m.main_table, b.buf);
            if (lzx_huffman::entry_symbol(entry) < kNumChars && posn < run_end) {
                consume(b, lzx_huffman::entry_length(entry));
                window[posn++] = uint8_t(lzx_huffman::entry_symbol(entry));
                entry = lzx_huffman::lookup<kMainTableBits>(m.main_table, b.buf);
            }
            continue;
        }
        consume(b, lzx_huffman::entry_length(entry));

        const unsigned match = lzx_huffman::entry_symbol(entry) - kNumChars;
        uint32_t length = match & 7;
        if (length == kLengthHeaderExtended) {
            if (m.length_empty) {
                error = LZX_ERR_DATA;
                break;
            }
            const uint32_t length_entry = lzx_huffman::lookup<kLengthTableBits>(m.length_table, b.buf);
            consume(b, lzx_huffman::entry_length(length_entry));
            length += lzx_huffman::entry_symbol(length_entry);
        }
        length += kMinMatch;

        // Room for the offset bits, with 16 left for the next lookup.
        if (b.count < kMaxOffsetBits + 16)
            refill_from_buffer(b);
        const unsigned slot = match >> 3;
        const unsigned verbatim = (entry >> kEntryVerbatimShift) & kEntryVerbatimMask;  // 0 for slots 0 to 2
        uint32_t new_distance = kPosition.base[slot] - 2;
        if (kAligned && (entry & kEntryAlignedFlag)) {
            new_distance += take_bits_or_none(b, verbatim) << 3;
            const uint32_t aligned_entry = lzx_huffman::lookup<kAlignedTableBits>(m.aligned_table, b.buf);
            consume(b, lzx_huffman::entry_length(aligned_entry));
            new_distance += lzx_huffman::entry_symbol(aligned_entry);
        } else {
            new_distance += take_bits_or_none(b, verbatim);
        }
        entry = lzx_huffman::lookup<kMainTableBits>(m.main_table, b.buf);
        const uint32_t distance = r.select(slot, new_distance);
        if (!copy_match<kDirect>(m, posn, distance, length)) {
            error = LZX_ERR_DATA;
            break;
        }
        posn += length;
    }
    posn_io = posn;
    return error;
}

// Decodes symbols of a verbatim or aligned block until the window position
// reaches `run_end`; the last match may end beyond it.
template <bool kAligned, bool kDirect>
bool decode_symbols(lzxd_stream* s, uint32_t run_end)
{
    const MatchContext m = match_context(s);
    uint32_t posn = s->window_posn;
    RepeatedOffsets r{s->R0, s->R1, s->R2};
    int error = LZX_OK;
    while (error == LZX_OK && posn < run_end) {
        if (size_t(s->in.end - s->in.ptr) < kFastPathInput)
            fill_input(s, kFastPathInput);
        if (size_t(s->in.end - s->in.ptr) >= kFastPathInput) {
            BitInput b = s->in;
            error = decode_symbols_fast<kAligned, kDirect>(m, b, b.end - kFastPathInput, posn, run_end, r);
            s->in = b;
        } else {
            CheckedBits bits(s);
            error = decode_symbol_checked<kAligned, kDirect>(m, bits, posn, r);
        }
    }
    s->window_posn = posn;
    s->R0 = r.R0;
    s->R1 = r.R1;
    s->R2 = r.R2;
    return error == LZX_OK || fail(s, error);
}

// Decodes a verbatim or aligned block's symbols up to `run_end`, in the
// stream's mode. On x86-64 the symbol loop is also compiled for processors
// with BMI2 and AVX2 (x86-64-v3), whose shifts by a register amount and
// wider moves it uses on every symbol; the program picks the version once,
// when it starts.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
[[gnu::target_clones("arch=x86-64-v3", "default")]]
#endif
[[gnu::flatten]] bool decode_compressed_run(lzxd_stream* s, uint32_t run_end)
{
    const bool aligned = s->block_type == kBlockAligned;
    if (s->direct)
        return aligned ? decode_symbols<true, true>(s, run_end) : decode_symbols<false, true>(s, run_end);
    return aligned ? decode_symbols<true, false>(s, run_end) : decode_symbols<false, false>(s, run_end);
}

bool copy_uncompressed(lzxd_stream* s, uint32_t count)
{
    uint8_t* dst = s->window + s->window_posn;
    s->window_posn += count;
    while (count > 0) {
        if (s->in.ptr == s->in.end)
            fill_input(s, 1);
        const size_t available = size_t(s->in.end - s->in.ptr);
        if (available == 0)
            return fail(s, LZX_ERR_READ);
        const size_t n = std::min<size_t>(available, count);
        std::memcpy(dst, s->in.ptr, n);
        dst += n;
        s->in.ptr += n;
        count -= uint32_t(n);
    }
    return true;
}

// ---------------------------------------------------------------------------
// Frames

// Decodes blocks until the frame's bytes are in the window.
bool decode_frame(lzxd_stream* s, uint32_t frame_size)
{
    int64_t bytes_todo = int64_t(s->frame_posn) + frame_size - s->window_posn;
    while (bytes_todo > 0) {
        if (s->block_remaining == 0 && !read_block_header(s))
            return false;
        const uint32_t run = uint32_t(std::min<int64_t>(s->block_remaining, bytes_todo));
        bytes_todo -= run;
        s->block_remaining -= run;

        if (s->block_type == kBlockUncompressed) {
            if (!copy_uncompressed(s, run))
                return false;
            continue;
        }
        // Verbatim or aligned: other types never get past the header.
        const uint32_t run_end = s->window_posn + run;
        if (!decode_compressed_run(s, run_end))
            return false;
        // The last match may run past the step's end: take the excess from the block.
        const uint32_t excess = s->window_posn - run_end;
        if (excess > s->block_remaining)
            return fail(s, LZX_ERR_DATA);
        s->block_remaining -= excess;
    }
    return true;
}

// Undoes the E8 call translation of one frame held in `data`.
void translate_e8(uint8_t* data, uint32_t size, uint32_t frame_offset, int32_t filesize)
{
    uint8_t* p = data;
    uint8_t* const end = data + size - kE8MinFrameSize;
    while (p < end) {
        p = static_cast<uint8_t*>(std::memchr(p, 0xE8, size_t(end - p)));
        if (!p)
            break;
        const int32_t curpos = int32_t(frame_offset + uint32_t(p - data));
        const int32_t value = int32_t(uint32_t(p[1]) | (uint32_t(p[2]) << 8) |
                                      (uint32_t(p[3]) << 16) | (uint32_t(p[4]) << 24));
        if (value >= -curpos && value < filesize) {
            const uint32_t decoded =
                value >= 0 ? uint32_t(value) - uint32_t(curpos) : uint32_t(value) + uint32_t(filesize);
            p[1] = uint8_t(decoded);
            p[2] = uint8_t(decoded >> 8);
            p[3] = uint8_t(decoded >> 16);
            p[4] = uint8_t(decoded >> 24);
        }
        p += 5;
    }
}

// Direct mode translates a frame in place, and so only once no later match
// can read it: when the decoding has moved a whole window past its end.
void mark_e8_frame(lzxd_stream* s, uint64_t frame) { s->e8_pending[frame / 64] |= uint64_t(1) << (frame % 64); }

void settle_e8_frames(lzxd_stream* s, int64_t decoded_end, bool stream_done)
{
    const uint64_t frames = std::min<uint64_t>(s->frame, kE8MaxFrame);
    for (; s->e8_next < frames; ++s->e8_next) {
        const int64_t start = int64_t(s->e8_next) * kFrameSize;
        const uint32_t size = uint32_t(std::min<int64_t>(kFrameSize, s->length - start));
        if (!stream_done && start + size + s->window_size > decoded_end)
            break;
        if (s->e8_pending[s->e8_next / 64] & (uint64_t(1) << (s->e8_next % 64)))
            translate_e8(s->window + start, size, uint32_t(start), s->intel_filesize);
    }
}

bool deliver(lzxd_stream* s, int64_t count)
{
    if (count == 0)
        return true;
    // Direct mode decodes in place: the bytes are already in the output.
    if (!s->direct && s->sys->write(s->output, s->o_ptr, int(count)) != int(count))
        return fail(s, LZX_ERR_WRITE);
    s->o_ptr += count;
    s->offset += count;
    return true;
}

void reset_block_state(lzxd_stream* s)
{
    s->R0 = s->R1 = s->R2 = 1;
    s->header_read = false;
    s->block_type = 0;
    s->block_length = 0;
    s->block_remaining = 0;
    s->intel_started = false;
    std::memset(s->maintree_len, 0, sizeof s->maintree_len);
    std::memset(s->length_len, 0, sizeof s->length_len);
}

// Decodes the next frame, checks it, and makes it the pending output.
bool produce_frame(lzxd_stream* s, uint32_t frame_size)
{
    if (s->reset_interval && s->frame > 0 && s->frame % s->reset_interval == 0)
        reset_block_state(s);
    if (!s->header_read && !read_stream_header(s))
        return false;
    if (!decode_frame(s, frame_size))
        return false;
    if (s->window_posn != s->frame_posn + frame_size)
        return fail(s, LZX_ERR_DATA);
    if (!realign_to_word(s))
        return false;
    if (s->o_ptr != s->o_end)
        return fail(s, LZX_ERR_DATA);
    // The last frame of a stream of known length ends its last block too. A
    // block that would run on past the output means the headers were misread
    // (the variant without padding bytes read as the standard one, say):
    // fail, so that the bytes are never taken for the content.
    if (s->length && s->offset + int64_t(frame_size) == s->length && s->block_remaining != 0)
        return fail(s, LZX_ERR_DATA);

    uint8_t* data = s->window + s->frame_posn;
    const bool translate = s->intel_started && s->intel_filesize != 0 && s->frame < kE8MaxFrame &&
                           frame_size > kE8MinFrameSize;
    if (s->direct) {
        if (translate)
            mark_e8_frame(s, s->frame);
    } else if (translate) {
        s->sys->copy(data, s->e8_buf, frame_size);
        translate_e8(s->e8_buf, frame_size, uint32_t(s->offset), s->intel_filesize);
        data = s->e8_buf;
    }
    s->o_ptr = data;
    s->o_end = data + frame_size;
    return true;
}

void advance_frame(lzxd_stream* s, uint32_t frame_size)
{
    s->frame_posn += frame_size;
    ++s->frame;
    if (s->direct) {
        settle_e8_frames(s, s->frame_posn, s->offset == s->length);
        return;
    }
    if (s->frame_posn == s->window_size)
        s->frame_posn = 0;
    if (s->window_posn == s->window_size)
        s->window_posn = 0;
}

}  // namespace

// ---------------------------------------------------------------------------
// Interface

namespace {

void free_buffers(lzxd_stream* s)
{
    lzx_system* sys = s->sys;
    for (uint8_t* buffer : {s->inbuf, s->e8_buf, s->direct ? nullptr : s->window}) {
        if (buffer)
            sys->free(buffer);
    }
    sys->free(s);
}

// What every stream sets in a zero-filled state with its input buffer.
void set_stream_fields(lzxd_stream* s, int window_bits, int64_t output_length, int no_uncompressed_realign)
{
    s->window_size = uint32_t(1) << window_bits;
    s->length = output_length;
    s->R0 = s->R1 = s->R2 = 1;
    s->num_offsets = kPositionSlots[size_t(window_bits - kMinWindowBits)] * 8;
    s->lzxd_xmem_no_uncompressed_realign = no_uncompressed_realign;
    s->in_start = s->in.ptr = s->in.end = s->inbuf;
}

// A zero-filled state with its input buffer; the caller adds the window or
// the output buffer.
lzxd_stream* new_state(lzx_system* system, int window_bits, int64_t output_length, size_t input_buffer,
                       int no_uncompressed_realign)
{
    auto* s = static_cast<lzxd_stream*>(system->alloc(system, sizeof(lzxd_stream)));
    if (!s)
        return nullptr;
    // alloc returns zero-filled memory: every field not set here starts at 0.
    s->sys = system;
    s->inbuf = static_cast<uint8_t*>(system->alloc(system, input_buffer));
    if (!s->inbuf) {
        free_buffers(s);
        return nullptr;
    }
    set_stream_fields(s, window_bits, output_length, no_uncompressed_realign);
    return s;
}

}  // namespace

lzxd_stream* lzxd_init(lzx_system* system, lzx_file* input, lzx_file* output, int window_bits,
                       int reset_interval, int input_buffer_size, int64_t output_length,
                       int /*is_delta*/, int lzxd_xmem_no_uncompressed_realign)
{
    if (!system || !system->read || !system->write || !system->alloc || !system->free ||
        !system->copy)
        return nullptr;
    if (window_bits < kMinWindowBits || window_bits > kMaxWindowBits || reset_interval < 0 ||
        output_length < 0 || input_buffer_size < 1)
        return nullptr;

    // An even read size, and one that a read's int count can carry.
    const uint32_t read_size = std::min<uint32_t>((uint32_t(input_buffer_size) + 1) & ~uint32_t(1), 0x7FFFFFFE);
    lzxd_stream* s = new_state(system, window_bits, output_length, size_t(read_size) + kInputSlack,
                               lzxd_xmem_no_uncompressed_realign);
    if (!s)
        return nullptr;
    s->window = static_cast<uint8_t*>(system->alloc(system, size_t(s->window_size) + kWindowSlack));
    s->e8_buf = static_cast<uint8_t*>(system->alloc(system, kFrameSize));
    if (!s->window || !s->e8_buf) {
        free_buffers(s);
        return nullptr;
    }
    s->input = input;
    s->output = output;
    s->reset_interval = uint32_t(reset_interval);
    s->read_size = read_size;
    s->o_ptr = s->o_end = s->e8_buf;
    return s;
}

namespace {

bool direct_arguments_valid(const uint8_t* input, size_t input_size, const uint8_t* output, size_t output_size,
                            int window_bits)
{
    return window_bits >= kMinWindowBits && window_bits <= kMaxWindowBits && input_size <= kDirectMaxSize &&
           output_size <= kDirectMaxSize && (output_size == 0 || output) && (input_size == 0 || input);
}

// The direct mode's part of a state whose other fields are as new_state
// leaves them.
lzxd_stream* start_direct(lzxd_stream* s, const uint8_t* input, size_t input_size, uint8_t* output,
                          size_t output_size)
{
    s->direct = true;
    s->window = output;
    s->direct_size = uint32_t(output_size);
    // The input is only ever read; the bit reader's pointers are not const
    // because its own buffer is written.
    s->borrowed = const_cast<uint8_t*>(input);
    s->borrowed_size = input_size;
    s->o_ptr = s->o_end = output;
    return s;
}

}  // namespace

lzxd_stream* lzxd_init_direct(lzx_system* system, const uint8_t* input, size_t input_size, uint8_t* output,
                              size_t output_size, int window_bits, int lzxd_xmem_no_uncompressed_realign)
{
    if (!system || !system->alloc || !system->free ||
        !direct_arguments_valid(input, input_size, output, output_size, window_bits))
        return nullptr;
    lzxd_stream* s = new_state(system, window_bits, int64_t(output_size), kDirectInputBuffer,
                               lzxd_xmem_no_uncompressed_realign);
    return s ? start_direct(s, input, input_size, output, output_size) : nullptr;
}

lzxd_stream* lzxd_reuse_direct(lzxd_stream* s, const uint8_t* input, size_t input_size, uint8_t* output,
                               size_t output_size, int window_bits, int lzxd_xmem_no_uncompressed_realign)
{
    if (!s)
        return nullptr;
    if (!direct_arguments_valid(input, input_size, output, output_size, window_bits)) {
        lzxd_free(s);
        return nullptr;
    }
    // Everything before the decode tables goes back to zero, as in a fresh
    // state; the system and the input buffer (of the direct mode's size)
    // stay.
    lzx_system* const system = s->sys;
    uint8_t* const inbuf = s->inbuf;
    std::memset(static_cast<void*>(s), 0, offsetof(lzxd_stream, pretree_table));
    s->sys = system;
    s->inbuf = inbuf;
    set_stream_fields(s, window_bits, int64_t(output_size), lzxd_xmem_no_uncompressed_realign);
    return start_direct(s, input, input_size, output, output_size);
}

int lzxd_decompress(lzxd_stream* s, int64_t out_bytes)
{
    if (!s || out_bytes < 0)
        return LZX_ERR_ARGS;
    if (s->error)
        return s->error;

    // What is left of the previous frame goes first.
    const int64_t pending = std::min<int64_t>(s->o_end - s->o_ptr, out_bytes);
    if (!deliver(s, pending))
        return s->error;
    out_bytes -= pending;
    if (out_bytes == 0)
        return LZX_OK;

    const uint64_t end_frame = (uint64_t(s->offset) + uint64_t(out_bytes)) / kFrameSize + 1;
    while (s->frame < end_frame) {
        uint32_t frame_size = kFrameSize;
        if (s->length && s->length - s->offset < int64_t(frame_size))
            frame_size = uint32_t(s->length - s->offset);
        if (!produce_frame(s, frame_size))
            return s->error;
        const int64_t count = std::min<int64_t>(out_bytes, frame_size);
        if (!deliver(s, count))
            return s->error;
        out_bytes -= count;
        advance_frame(s, frame_size);
    }
    if (out_bytes != 0) {
        s->error = LZX_ERR_DATA;
        return s->error;
    }
    return LZX_OK;
}

bool lzxd_preset_window(lzxd_stream* s, const void* data, size_t size)
{
    if (!s || s->direct || size > s->window_size || (size > 0 && !data))
        return false;
    const size_t cleared = s->window_size - size;
    std::memset(s->window, 0, cleared);
    if (size > 0)
        std::memcpy(s->window + cleared, data, size);
    s->ref_data_size = s->window_size;
    return true;
}

void lzxd_free(lzxd_stream* s)
{
    if (s)
        free_buffers(s);
}

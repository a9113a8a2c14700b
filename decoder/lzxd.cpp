// LZX decoder: symbols, matches, frames, the Intel E8 post-processing and
// the decoder's interface (see lzxd.h). Bit input lives in lzxd_bits.*,
// headers and trees in lzxd_blocks.*, match copies in lzxd_copy.h.
#include "lzxd.h"

#include <algorithm>
#include <cstring>

#include "lzxd_bits.h"
#include "lzxd_blocks.h"
#include "lzxd_copy.h"
#include "lzxd_huffman.h"
#include "lzxd_state.h"

int lzxd_xmem_no_uncompressed_realign = 0;

using namespace lzxd_detail;

namespace {

// What the symbol loop needs of the state, copied out so that the compiler
// can keep it in registers: stores into the window could otherwise alias
// any field of the state.
struct MatchContext {
    uint8_t* window;
    uint32_t window_size;
    uint32_t ref_data_size;
    int64_t offset;
    const uint32_t* main_table;
    const uint32_t* length_table;
    const uint32_t* aligned_table;
    bool length_empty;
};

// Copies a match of `length` bytes from `distance` back into the window at
// `posn`. Returns false for a match the stream may not contain.
[[gnu::always_inline]] inline bool copy_match(const MatchContext& m, uint32_t posn, uint32_t distance, uint32_t length)
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

// ---------------------------------------------------------------------------
// Symbols

// Decodes the rest of a match whose main-tree symbol was `main` (256 or
// more) into the window, taking its size from `todo`. Returns an error
// code, 0 for none.
template <bool kAligned, typename Bits>
inline int decode_match(const MatchContext& m, Bits& bits, unsigned main, uint32_t& posn, uint32_t& R0,
                        uint32_t& R1, uint32_t& R2, int32_t& todo)
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
    if (slot == 0) {
        distance = R0;
    } else if (slot == 1) {
        distance = R1;
        R1 = R0;
        R0 = distance;
    } else if (slot == 2) {
        distance = R2;
        R2 = R0;
        R0 = distance;
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
        R2 = R1;
        R1 = R0;
        R0 = distance;
    }

    if (!copy_match(m, posn, distance, length))
        return LZX_ERR_DATA;
    posn += length;
    todo -= int32_t(length);
    return LZX_OK;
}

// Decodes one literal or match with every read checked against the end of
// the input.
template <bool kAligned>
inline int decode_symbol_checked(const MatchContext& m, CheckedBits& bits, uint32_t& posn, uint32_t& R0,
                                 uint32_t& R1, uint32_t& R2, int32_t& todo)
{
    if (!bits.need(16))
        return LZX_ERR_READ;
    const uint32_t entry = lzx_huffman::lookup<kMainTableBits>(m.main_table, bits.b.buf);
    consume(bits.b, lzx_huffman::entry_length(entry));
    const unsigned main = lzx_huffman::entry_symbol(entry);
    if (main < kNumChars) {
        m.window[posn++] = uint8_t(main);
        --todo;
        return LZX_OK;
    }
    return decode_match<kAligned>(m, bits, main, posn, R0, R1, R2, todo);
}

// Decodes symbols while the buffered input covers them, without checks
// against its end.
template <bool kAligned>
inline int decode_symbols_fast(const MatchContext& m, BitInput& b, uint32_t& posn, uint32_t& R0, uint32_t& R1,
                               uint32_t& R2, int32_t& todo)
{
    FastBits bits{b};
    // A symbol consumes at most 53 bits (16 main, 16 length, 14 extra and 7
    // aligned) and the bit buffer runs at most 8 bytes ahead: after k
    // symbols at most 6.625 k + 8 bytes are gone, and every symbol starts
    // with the kFastPathInput bytes its refills may need.
    const size_t available = size_t(b.end - b.ptr);
    size_t budget = 1 + (available >= kFastPathInput + 8 ? (available - kFastPathInput - 8) / 7 : 0);
    do {
        bits.need(16);
        const uint32_t entry = lzx_huffman::lookup<kMainTableBits>(m.main_table, b.buf);
        consume(b, lzx_huffman::entry_length(entry));
        const unsigned main = lzx_huffman::entry_symbol(entry);
        if (main < kNumChars) {
            m.window[posn++] = uint8_t(main);
            --todo;
        } else if (const int error = decode_match<kAligned>(m, bits, main, posn, R0, R1, R2, todo)) {
            return error;
        }
    } while (todo > 0 && --budget != 0);
    return LZX_OK;
}

// Decodes symbols of a verbatim or aligned block until `todo` bytes are in
// the window; the last match may overshoot, leaving `todo` negative.
template <bool kAligned>
bool decode_symbols(lzxd_stream* s, int32_t& todo)
{
    const MatchContext m{s->window,        s->window_size,  s->ref_data_size,  s->offset,
                         s->maintree_table, s->length_table, s->aligned_table, s->length_empty};
    uint32_t posn = s->window_posn;
    uint32_t R0 = s->R0, R1 = s->R1, R2 = s->R2;
    int error = LZX_OK;
    while (error == LZX_OK && todo > 0) {
        if (size_t(s->in.end - s->in.ptr) < kFastPathInput)
            fill_input(s, kFastPathInput);
        if (size_t(s->in.end - s->in.ptr) >= kFastPathInput) {
            BitInput b = s->in;
            error = decode_symbols_fast<kAligned>(m, b, posn, R0, R1, R2, todo);
            s->in = b;
        } else {
            CheckedBits bits(s);
            error = decode_symbol_checked<kAligned>(m, bits, posn, R0, R1, R2, todo);
        }
    }
    s->window_posn = posn;
    s->R0 = R0;
    s->R1 = R1;
    s->R2 = R2;
    return error == LZX_OK || fail(s, error);
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
        int32_t run = int32_t(std::min<int64_t>(s->block_remaining, bytes_todo));
        bytes_todo -= run;
        s->block_remaining -= uint32_t(run);

        bool ok;
        switch (s->block_type) {
        case kBlockVerbatim:
            ok = decode_symbols<false>(s, run);
            break;
        case kBlockAligned:
            ok = decode_symbols<true>(s, run);
            break;
        default:  // uncompressed; other types never get past the header
            ok = copy_uncompressed(s, uint32_t(run));
            run = 0;
            break;
        }
        if (!ok)
            return false;
        if (run < 0) {
            // The last match ran past the step's end: take the excess from the block.
            const uint32_t excess = uint32_t(-run);
            if (excess > s->block_remaining)
                return fail(s, LZX_ERR_DATA);
            s->block_remaining -= excess;
        }
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

bool deliver(lzxd_stream* s, int64_t count)
{
    if (count == 0)
        return true;
    if (s->sys->write(s->output, s->o_ptr, int(count)) != int(count))
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
    if (s->intel_started && s->intel_filesize != 0 && s->frame < kE8MaxFrame &&
        frame_size > kE8MinFrameSize) {
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
    if (s->frame_posn == s->window_size)
        s->frame_posn = 0;
    if (s->window_posn == s->window_size)
        s->window_posn = 0;
}

}  // namespace

// ---------------------------------------------------------------------------
// Interface

lzxd_stream* lzxd_init(lzx_system* system, lzx_file* input, lzx_file* output, int window_bits,
                       int reset_interval, int input_buffer_size, int64_t output_length,
                       int /*is_delta*/)
{
    if (!system || !system->read || !system->write || !system->alloc || !system->free ||
        !system->copy)
        return nullptr;
    if (window_bits < kMinWindowBits || window_bits > kMaxWindowBits || reset_interval < 0 ||
        output_length < 0 || input_buffer_size < 1)
        return nullptr;

    const uint32_t window_size = uint32_t(1) << window_bits;
    // An even read size, and one that a read's int count can carry.
    const uint32_t read_size = std::min<uint32_t>((uint32_t(input_buffer_size) + 1) & ~uint32_t(1), 0x7FFFFFFE);
    auto* s = static_cast<lzxd_stream*>(system->alloc(system, sizeof(lzxd_stream)));
    if (!s)
        return nullptr;
    s->window = static_cast<uint8_t*>(system->alloc(system, size_t(window_size) + kWindowSlack));
    s->inbuf = static_cast<uint8_t*>(system->alloc(system, size_t(read_size) + kInputSlack));
    if (!s->window || !s->inbuf) {
        if (s->window)
            system->free(s->window);
        if (s->inbuf)
            system->free(s->inbuf);
        system->free(s);
        return nullptr;
    }

    // alloc returns zero-filled memory: every field not set here starts at 0.
    s->sys = system;
    s->input = input;
    s->output = output;
    s->window_size = window_size;
    s->reset_interval = uint32_t(reset_interval);
    s->length = output_length;
    s->R0 = s->R1 = s->R2 = 1;
    s->num_offsets = kPositionSlots[size_t(window_bits - kMinWindowBits)] * 8;
    s->read_size = read_size;
    s->in.ptr = s->in.end = s->inbuf;
    s->o_ptr = s->o_end = s->e8_buf;
    return s;
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
    if (!s || size > s->window_size || (size > 0 && !data))
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
    if (!s)
        return;
    lzx_system* sys = s->sys;
    sys->free(s->inbuf);
    sys->free(s->window);
    sys->free(s);
}

// Bit input of the LZX decoder: refilling the input buffer, checked reads
// and the switches between bit and byte reading (see lzxd_bits.h).
#include "lzxd_bits.h"

namespace lzxd_detail {

void fill_input(lzxd_stream* s, size_t want)
{
    BitInput& in = s->in;
    while (!s->input_exhausted && size_t(in.end - in.ptr) < want) {
        if (s->direct && !s->borrowed_taken) {
            // Direct mode starts reading the caller's input in place.
            s->borrowed_taken = true;
            s->in_start = in.ptr = s->borrowed;
            in.end = s->borrowed + s->borrowed_size;
            continue;
        }
        uint8_t* keep = in.ptr - std::min<size_t>(kInputHistory, size_t(in.ptr - s->in_start));
        const size_t kept = size_t(in.end - keep);
        if (kept > 0)
            std::memmove(s->inbuf, keep, kept);
        in.ptr = s->inbuf + (in.ptr - keep);
        in.end = s->inbuf + kept;
        s->in_start = s->inbuf;

        // A borrowed input is all there is: its end is the end of the input.
        const int got = s->direct ? 0 : s->sys->read(s->input, in.end, int(s->read_size));
        if (got > 0) {
            in.end += std::min<uint32_t>(uint32_t(got), s->read_size);
        } else if (got == 0 && !s->input_end) {
            in.end[0] = in.end[1] = 0;
            in.end += 2;
            s->input_end = true;
        } else {
            // A second end of input, or a failed read: whatever needs more
            // input from here on fails with error 3.
            s->input_exhausted = true;
        }
    }
}

void refill_checked(lzxd_stream* s)
{
    BitInput& b = s->in;
    if (b.count >= 48)
        return;
    if (b.end - b.ptr < 8)
        fill_input(s, 8);
    if (b.end - b.ptr >= 8) {
        refill_from_buffer(b);
        return;
    }
    while (b.count < 48 && b.end - b.ptr >= 2) {
        const uint64_t word = uint64_t(b.ptr[0]) | (uint64_t(b.ptr[1]) << 8);
        b.buf |= word << (48 - b.count);
        b.ptr += 2;
        b.count += 16;
    }
}

bool read_bits(lzxd_stream* s, unsigned n, uint32_t& value)
{
    CheckedBits bits(s);
    if (!bits.need(n))
        return false;
    value = take_bits(s->in, n);
    return true;
}

bool read_byte(lzxd_stream* s, uint8_t& value)
{
    if (s->in.ptr == s->in.end)
        fill_input(s, 1);
    if (s->in.ptr == s->in.end)
        return fail(s, LZX_ERR_READ);
    value = *s->in.ptr++;
    return true;
}

// Leaves bit reading for byte reading, as an uncompressed block header does:
// 1 to 16 bits are dropped to reach a 16-bit boundary (a whole word when the
// position is already on one), and words already in the bit buffer go back
// to the byte input.
bool align_to_bytes(lzxd_stream* s)
{
    BitInput& b = s->in;
    const unsigned partial = b.count & 15;
    if (partial == 0) {
        uint32_t dropped;
        if (!read_bits(s, 16, dropped))
            return false;
    } else {
        consume(b, partial);
    }
    b.ptr -= b.count / 8;
    b.buf = 0;
    b.count = 0;
    return true;
}

// Frame-end realignment: continue at the next 16-bit boundary. As with a
// 16-bit-at-a-time reader, the word after a partly used one must exist.
bool realign_to_word(lzxd_stream* s)
{
    const unsigned partial = s->in.count & 15;
    if (partial == 0)
        return true;
    CheckedBits bits(s);
    if (!bits.need(partial + 16))
        return false;
    consume(s->in, partial);
    return true;
}

}  // namespace lzxd_detail

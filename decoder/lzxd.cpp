// LZX decoder: stream header, frames, blocks, code-length trees, matches and
// the Intel E8 post-processing (see lzxd.h for the interface).
//
// Input model. The stream is read as 16-bit little-endian words whose bits
// are consumed from the most significant end. When the input first runs dry
// two zero bytes are supplied in its place, so that a stream may end in the
// middle of a word; needing input beyond those is error 3. The bit buffer is
// 64 bits wide and refilled a whole machine word at a time, but every read
// first "ensures" exactly the bits a 16-bit-at-a-time reader would ensure
// (16 before each Huffman symbol, n before reading n raw bits), so the same
// inputs end in error 3, at the same point, as with such a reader.
#include "lzxd.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "lzxd_huffman.h"

int lzxd_xmem_no_uncompressed_realign = 0;

namespace {

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

constexpr uint32_t kE8MaxFrame = 32768;
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

// The bit reader's position: buffered input bytes and the bit buffer, whose
// `count` valid bits are left-justified.
struct BitInput {
    uint8_t* ptr;
    uint8_t* end;
    uint64_t buf;
    uint32_t count;
};

}  // namespace

struct lzxd_stream {
    lzx_system* sys;
    lzx_file* input;
    lzx_file* output;

    uint8_t* window;
    uint32_t window_size;
    uint32_t window_posn;  // where the next byte is decoded
    uint32_t frame_posn;   // start of the frame being decoded
    uint32_t ref_data_size;
    uint64_t frame;  // frames completed
    uint32_t reset_interval;
    int64_t offset;  // bytes delivered so far
    int64_t length;  // expected output length, 0 = not given
    uint32_t R0, R1, R2;
    uint32_t num_offsets;

    uint32_t block_type;
    uint32_t block_length;
    uint32_t block_remaining;
    bool header_read;
    bool intel_started;
    int32_t intel_filesize;

    uint8_t* inbuf;
    uint32_t read_size;
    BitInput in;
    bool input_end;        // the two zero bytes have been supplied
    bool input_exhausted;  // nothing more will arrive

    uint8_t* o_ptr;  // undelivered rest of the last frame
    uint8_t* o_end;

    bool length_empty;
    int error;

    uint8_t pretree_len[kPretreeSymbols + kLengthsSafety];
    uint8_t maintree_len[kMainTreeSymbols + kLengthsSafety];
    uint8_t length_len[kLengthTreeSymbols + kLengthsSafety];
    uint8_t aligned_len[kAlignedSymbols];
    uint32_t pretree_table[lzx_huffman::table_capacity(kPretreeSymbols, kPretreeTableBits)];
    uint32_t maintree_table[lzx_huffman::table_capacity(kMainTreeSymbols, kMainTableBits)];
    uint32_t length_table[lzx_huffman::table_capacity(kLengthTreeSymbols, kLengthTableBits)];
    uint32_t aligned_table[lzx_huffman::table_capacity(kAlignedSymbols, kAlignedTableBits)];

    uint8_t e8_buf[kFrameSize];
};

namespace {

bool fail(lzxd_stream* s, int code)
{
    s->error = code;
    return false;
}

// ---------------------------------------------------------------------------
// Input

// Makes `want` bytes available at the read position when the input still has
// them. Supplies the two zero bytes at the first end of input.
void fill_input(lzxd_stream* s, size_t want)
{
    BitInput& in = s->in;
    while (!s->input_exhausted && size_t(in.end - in.ptr) < want) {
        uint8_t* keep = in.ptr - std::min<size_t>(kInputHistory, size_t(in.ptr - s->inbuf));
        const size_t kept = size_t(in.end - keep);
        std::memmove(s->inbuf, keep, kept);
        in.ptr = s->inbuf + (in.ptr - keep);
        in.end = s->inbuf + kept;

        const int got = s->sys->read(s->input, in.end, int(s->read_size));
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

// The next 64 stream bits at p, first bit at the top: four 16-bit
// little-endian words, first word first.
inline uint64_t load_stream_bits(const uint8_t* p)
{
    uint64_t x;
    std::memcpy(&x, p, sizeof x);
    if constexpr (std::endian::native == std::endian::big)
        x = __builtin_bswap64(x);
    x = (x << 32) | (x >> 32);
    return ((x & 0x0000FFFF0000FFFFull) << 16) | ((x >> 16) & 0x0000FFFF0000FFFFull);
}

// Adds whole words to the bit buffer, up to 48-63 valid bits; needs 8
// buffered bytes (and, as always, count <= 63). Bits below the new words
// are the stream's following bits, so ORing them in again on the next
// refill changes nothing.
inline void refill_from_buffer(BitInput& b)
{
    b.buf |= load_stream_bits(b.ptr) >> b.count;
    const uint32_t words = (63 - b.count) >> 4;
    b.ptr += 2 * words;
    b.count += 16 * words;
}

// Adds as many whole words as fit and the input has.
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

inline void consume(BitInput& b, unsigned n)
{
    b.buf <<= n;
    b.count -= n;
}

// Reads 1 to 17 bits that are already in the buffer.
inline uint32_t take_bits(BitInput& b, unsigned n)
{
    const uint32_t value = uint32_t(b.buf >> (64 - n));
    consume(b, n);
    return value;
}

// Bit access with every read checked against the end of the input.
struct CheckedBits {
    lzxd_stream* s;
    BitInput& b;

    explicit CheckedBits(lzxd_stream* state) : s(state), b(state->in) {}
    bool need(unsigned n)
    {
        if (b.count >= n)
            return true;
        refill_checked(s);
        return b.count >= n || fail(s, LZX_ERR_READ);
    }
};

// Bit access for the fast path: the caller guarantees kFastPathInput
// buffered bytes at the start of every symbol, enough for every refill the
// symbol may need, so refills never run dry and need no test of the input.
struct FastBits {
    BitInput& b;

    bool need(unsigned n)
    {
        if (b.count < n)
            refill_from_buffer(b);
        return true;
    }
};

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

// ---------------------------------------------------------------------------
// Trees

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

bool read_main_and_length_trees(lzxd_stream* s)
{
    using lzx_huffman::BuildResult;
    if (!read_lengths(s, s->maintree_len, 0, kNumChars) ||
        !read_lengths(s, s->maintree_len, kNumChars, kNumChars + s->num_offsets))
        return false;
    if (lzx_huffman::build_decode_table(s->maintree_len, kMainTreeSymbols, kMainTableBits,
                                        s->maintree_table, std::size(s->maintree_table)) !=
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

bool read_block_header(lzxd_stream* s)
{
    if (lzxd_xmem_no_uncompressed_realign == 0 && s->block_type == kBlockUncompressed &&
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
        return read_aligned_tree(s) && read_main_and_length_trees(s);
    case kBlockVerbatim:
        return read_main_and_length_trees(s);
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

// ---------------------------------------------------------------------------
// Matches

inline uint64_t load64(const uint8_t* p)
{
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline void store64(uint8_t* p, uint64_t v) { std::memcpy(p, &v, sizeof v); }
inline uint32_t load32(const uint8_t* p)
{
    uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline void store32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, sizeof v); }

// Copies n bytes as if one at a time, in order: where the destination
// overlaps the source ahead of it, the copy repeats the bytes just written.
// Writes nothing outside dst[0, n): the window bytes after a match are
// still history.
[[gnu::always_inline]] inline void copy_forward(uint8_t* dst, const uint8_t* src, size_t n)
{
    if (dst <= src || size_t(dst - src) >= n) {
        // No byte is read after being written, so any copy order will do;
        // short lengths (most matches) avoid a library call.
        if (n >= 8 && n <= 16) {
            const uint64_t head = load64(src), tail = load64(src + n - 8);
            store64(dst, head);
            store64(dst + n - 8, tail);
        } else if (n >= 4 && n < 8) {
            const uint32_t head = load32(src), tail = load32(src + n - 4);
            store32(dst, head);
            store32(dst + n - 4, tail);
        } else if (n < 4) {
            if (n >= 2) {
                const uint8_t first = src[0], last = src[n - 1], middle = src[n / 2];
                dst[0] = first;
                dst[n / 2] = middle;
                dst[n - 1] = last;
            } else if (n == 1) {
                dst[0] = src[0];
            }
        } else if (n <= 64 && size_t(dst > src ? dst - src : src - dst) >= 8) {
            // 8-byte steps, then the last 8 bytes again: every step reads
            // bytes no earlier step wrote.
            for (size_t i = 0; i + 8 < n; i += 8)
                store64(dst + i, load64(src + i));
            store64(dst + n - 8, load64(src + n - 8));
        } else {
            std::memmove(dst, src, n);
        }
        return;
    }
    const size_t distance = size_t(dst - src);
    if (distance == 1) {
        // A run of one byte value.
        if (n <= 16) {
            const uint64_t run = uint64_t(*src) * 0x0101010101010101ull;
            if (n >= 8) {
                store64(dst, run);
                store64(dst + n - 8, run);
            } else if (n >= 4) {
                store32(dst, uint32_t(run));
                store32(dst + n - 4, uint32_t(run));
            } else {
                dst[0] = dst[n - 1] = *src;  // n is 2 or 3
                dst[n / 2] = *src;
            }
        } else {
            std::memset(dst, *src, n);
        }
    } else if (distance >= 8) {
        // Each 8-byte step reads only bytes already final.
        size_t i = 0;
        for (; i + 8 <= n; i += 8)
            store64(dst + i, load64(src + i));
        if (i < n)
            store64(dst + n - 8, load64(src + n - 8));  // rewrites final bytes with equal values
    } else {
        for (size_t i = 0; i < n; ++i)
            dst[i] = src[i];
    }
}

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

// Copies n <= 16 bytes that do not overlap their source (or lie before it)
// without a branch on n: the 16 bytes at dst are rewritten, the first n from
// the source and the rest with their own values. Reads and rewrites up to
// 16 - n bytes past the copy, which the window's slack covers.
typedef uint8_t Bytes16 __attribute__((vector_size(16)));

struct ShortCopyMasks {
    alignas(16) uint8_t mask[17][16];
};

constexpr ShortCopyMasks make_short_copy_masks()
{
    ShortCopyMasks masks{};
    for (int n = 0; n <= 16; ++n) {
        for (int i = 0; i < 16; ++i)
            masks.mask[n][i] = i < n ? 0xFF : 0;
    }
    return masks;
}
constexpr ShortCopyMasks kShortCopyMasks = make_short_copy_masks();

[[gnu::always_inline]] inline void copy_short(uint8_t* dst, const uint8_t* src, size_t n)
{
    Bytes16 source, old, mask;
    std::memcpy(&source, src, 16);
    std::memcpy(&old, dst, 16);
    std::memcpy(&mask, kShortCopyMasks.mask[n], 16);
    const Bytes16 merged = (source & mask) | (old & ~mask);
    std::memcpy(dst, &merged, 16);
}

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
    const uint32_t read_size = (uint32_t(input_buffer_size) + 1) & ~uint32_t(1);
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

// blockSha1s: SHA-1 (FIPS 180-4) over sixteen 4096-byte blocks in the lanes
// of AVX-512 registers. Every block has the same length, so the padding
// block is one constant shared by all lanes, and the sixteen blocks' words
// are brought into lanes by a 16 x 16 transposition of each 64-byte piece.
#include "import/block_sha1.h"

#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#define ORVELLO_WIDE_SHA1 1
#endif

namespace sha {
namespace {

#if ORVELLO_WIDE_SHA1

// GCC 12's AVX-512 unpack intrinsics start from a deliberately undefined
// vector, which it then warns about as uninitialised.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"

#define WIDE __attribute__((target("avx512f,avx512bw")))
#define WIDE_INLINE __attribute__((target("avx512f,avx512bw"), always_inline)) inline

struct Lanes {
    __m512i h[5];
};

// The five round functions of SHA-1 as ternary-logic truth tables.
constexpr int kChoose = 0xCA;
constexpr int kParity = 0x96;
constexpr int kMajority = 0xE8;

WIDE_INLINE __m512i roundFunction(int t, __m512i b, __m512i c, __m512i d)
{
    if (t < 20)
        return _mm512_ternarylogic_epi32(b, c, d, kChoose);
    if (t < 40 || t >= 60)
        return _mm512_ternarylogic_epi32(b, c, d, kParity);
    return _mm512_ternarylogic_epi32(b, c, d, kMajority);
}

WIDE_INLINE int roundConstant(int t)
{
    constexpr unsigned constants[4] = {0x5A827999u, 0x6ED9EBA1u, 0x8F1BBCDCu, 0xCA62C1D6u};
    return int(constants[t / 20]);
}

// One 64-byte piece of each lane's message, w[t] holding word t of all
// sixteen, already in the big-endian order SHA-1 reads.
WIDE_INLINE void compress(Lanes& lanes, __m512i w[16])
{
    __m512i a = lanes.h[0], b = lanes.h[1], c = lanes.h[2], d = lanes.h[3], e = lanes.h[4];
#pragma GCC unroll 80
    for (int t = 0; t < 80; ++t) {
        if (t >= 16) {
            const __m512i mixed = _mm512_ternarylogic_epi32(w[(t - 3) & 15], w[(t - 8) & 15], w[(t - 14) & 15], kParity);
            w[t & 15] = _mm512_rol_epi32(_mm512_xor_si512(mixed, w[t & 15]), 1);
        }
        const __m512i added = _mm512_add_epi32(e, _mm512_add_epi32(w[t & 15], _mm512_set1_epi32(roundConstant(t))));
        const __m512i next = _mm512_add_epi32(_mm512_add_epi32(_mm512_rol_epi32(a, 5), roundFunction(t, b, c, d)), added);
        e = d;
        d = c;
        c = _mm512_rol_epi32(b, 30);
        b = a;
        a = next;
    }
    lanes.h[0] = _mm512_add_epi32(lanes.h[0], a);
    lanes.h[1] = _mm512_add_epi32(lanes.h[1], b);
    lanes.h[2] = _mm512_add_epi32(lanes.h[2], c);
    lanes.h[3] = _mm512_add_epi32(lanes.h[3], d);
    lanes.h[4] = _mm512_add_epi32(lanes.h[4], e);
}

// Words `offset` to offset + 63 of the sixteen blocks, turned so that
// vector t holds word t of every block, byte-swapped to big-endian.
WIDE_INLINE void loadTransposed(const char* blocks, int offset, __m512i w[16])
{
    __m512i a[16], b[16];
    for (int i = 0; i < 16; ++i)
        w[i] = _mm512_loadu_si512(blocks + kPackageBlockSize * i + offset);
    for (int i = 0; i < 16; i += 2) {
        a[i] = _mm512_unpacklo_epi32(w[i], w[i + 1]);
        a[i + 1] = _mm512_unpackhi_epi32(w[i], w[i + 1]);
    }
    for (int j = 0; j < 16; j += 4) {
        b[j] = _mm512_unpacklo_epi64(a[j], a[j + 2]);
        b[j + 1] = _mm512_unpackhi_epi64(a[j], a[j + 2]);
        b[j + 2] = _mm512_unpacklo_epi64(a[j + 1], a[j + 3]);
        b[j + 3] = _mm512_unpackhi_epi64(a[j + 1], a[j + 3]);
    }
    // Now b[j + k], 128-bit quarter q, holds word 4q + k of blocks j to j + 3.
    const __m512i swap = _mm512_broadcast_i32x4(_mm_set_epi8(12, 13, 14, 15, 8, 9, 10, 11, 4, 5, 6, 7, 0, 1, 2, 3));
    for (int k = 0; k < 4; ++k) {
        const __m512i low01 = _mm512_shuffle_i32x4(b[k], b[4 + k], 0x44);
        const __m512i high01 = _mm512_shuffle_i32x4(b[k], b[4 + k], 0xEE);
        const __m512i low23 = _mm512_shuffle_i32x4(b[8 + k], b[12 + k], 0x44);
        const __m512i high23 = _mm512_shuffle_i32x4(b[8 + k], b[12 + k], 0xEE);
        w[k] = _mm512_shuffle_epi8(_mm512_shuffle_i32x4(low01, low23, 0x88), swap);
        w[4 + k] = _mm512_shuffle_epi8(_mm512_shuffle_i32x4(low01, low23, 0xDD), swap);
        w[8 + k] = _mm512_shuffle_epi8(_mm512_shuffle_i32x4(high01, high23, 0x88), swap);
        w[12 + k] = _mm512_shuffle_epi8(_mm512_shuffle_i32x4(high01, high23, 0xDD), swap);
    }
}

// The padding of a 4096-byte message: the 1 bit, zeros, and the length in
// bits (32768) in the last word.
WIDE_INLINE void paddingWords(__m512i w[16])
{
    for (int t = 0; t < 16; ++t)
        w[t] = _mm512_setzero_si512();
    w[0] = _mm512_set1_epi32(int(0x80000000u));
    w[15] = _mm512_set1_epi32(kPackageBlockSize * 8);
}

WIDE void sixteenBlockSha1s(const char* blocks, Sha1* digests)
{
    Lanes lanes{{_mm512_set1_epi32(0x67452301), _mm512_set1_epi32(int(0xEFCDAB89u)),
                 _mm512_set1_epi32(int(0x98BADCFEu)), _mm512_set1_epi32(0x10325476),
                 _mm512_set1_epi32(int(0xC3D2E1F0u))}};
    __m512i w[16];
    for (int offset = 0; offset < kPackageBlockSize; offset += 64) {
        loadTransposed(blocks, offset, w);
        compress(lanes, w);
    }
    paddingWords(w);
    compress(lanes, w);

    alignas(64) quint32 words[5][kBlockLanes];
    for (int i = 0; i < 5; ++i)
        _mm512_store_si512(words[i], lanes.h[i]);
    for (int lane = 0; lane < kBlockLanes; ++lane) {
        for (int i = 0; i < 5; ++i) {
            const quint32 bigEndian = __builtin_bswap32(words[i][lane]);
            std::memcpy(digests[lane].data() + 4 * i, &bigEndian, 4);
        }
    }
}

#pragma GCC diagnostic pop

#endif // ORVELLO_WIDE_SHA1

bool detectWideSha1()
{
#if ORVELLO_WIDE_SHA1
    // Also false where the system does not save the AVX-512 registers.
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw");
#else
    return false;
#endif
}

} // namespace

bool wideBlockSha1Available()
{
    static const bool available = detectWideSha1();
    return available;
}

void blockSha1sOneByOne(const char* blocks, int count, Sha1* digests)
{
    for (int i = 0; i < count; ++i)
        digests[i] = sha1(blocks + qsizetype(kPackageBlockSize) * i, kPackageBlockSize);
}

void blockSha1s(const char* blocks, int count, Sha1* digests)
{
    int done = 0;
#if ORVELLO_WIDE_SHA1
    if (wideBlockSha1Available()) {
        for (; done + kBlockLanes <= count; done += kBlockLanes)
            sixteenBlockSha1s(blocks + qsizetype(kPackageBlockSize) * done, digests + done);
    }
#endif
    blockSha1sOneByOne(blocks + qsizetype(kPackageBlockSize) * done, count - done, digests + done);
}

} // namespace sha

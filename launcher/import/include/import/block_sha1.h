// The SHA-1 digests of many 4096-byte package blocks at once. Each block's
// digest stands alone, so on a processor with AVX-512 sixteen of them are
// computed side by side, one in each 32-bit lane of the vector registers:
// more than twice the speed of the SHA instructions, which work through one
// block at a time. Elsewhere, and for the blocks left over, each block goes
// through libcrypto.
#pragma once

#include "import/sha_digest.h"

namespace sha {

constexpr int kPackageBlockSize = 4096;
// How many blocks blockSha1s() takes side by side.
constexpr int kBlockLanes = 16;

// digests[i] = SHA-1 of the 4096 bytes at blocks + 4096 * i, for i < count.
void blockSha1s(const char* blocks, int count, Sha1* digests);

// Whether blockSha1s() computes kBlockLanes blocks side by side here.
bool wideBlockSha1Available();

// blockSha1s() without the side-by-side path, for comparing the two.
void blockSha1sOneByOne(const char* blocks, int count, Sha1* digests);

} // namespace sha

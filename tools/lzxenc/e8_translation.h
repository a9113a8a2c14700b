// Encoder side of the Intel E8 call translation: the exact inverse of the
// decoder's post-processing, applied frame by frame before compression.
//
// The decoder scans each frame (frames 0..32767, only frames longer than 10
// bytes, never the last 10 bytes of a frame) for 0xE8 bytes; the 4 bytes after
// each one hold a 32-bit value that it turns from "absolute" back into
// "relative" form, then it skips those 4 bytes. Here the relative values of
// the original data are turned into absolute ones, so that the decoder
// restores them.
#pragma once

#include <cstdint>
#include <vector>

namespace lzxenc {

// Translates `data` in place for a stream whose header carries
// `e8_file_size` (which must be non-zero). Returns the number of 4-byte
// values that were changed.
uint64_t e8_encode_in_place(std::vector<uint8_t>& data, int32_t e8_file_size);

// The decoder's rule, for self-checks: turns translated data back.
uint64_t e8_decode_in_place(std::vector<uint8_t>& data, int32_t e8_file_size);

} // namespace lzxenc

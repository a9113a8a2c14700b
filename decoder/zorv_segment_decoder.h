// Decoding one ZORV segment: its LZX data into exactly its decoded size, in
// the standard variant of the format and, when that fails, once more in the
// variant without the padding byte after odd-length uncompressed blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "byte_buffer.h"

// Decodes `compressed` into output[0, size) with a window of `window_size`
// bytes. Returns 0, or the LZX result of the second attempt. `output` is
// resized to `size` only when the compressed bytes could produce that much.
int zorv_decode_segment(std::span<const uint8_t> compressed, uint64_t size, uint32_t window_size,
                        kyn::ByteBuffer& output);

// Whether `compressed_size` bytes of LZX data could ever decode to `size`
// bytes: a segment that claims more is run without an output buffer.
bool zorv_segment_size_possible(uint64_t size, uint64_t compressed_size);

// Decoding one ZORV segment: its LZX data into exactly its decoded size, in
// the standard variant of the format and, when that fails, once more in the
// variant without the padding byte after odd-length uncompressed blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// Whether a segment of `size` bytes with `compressed_size` bytes of LZX data
// decodes into memory of its size: only when the data could ever produce that
// much and lzx_decompress takes the size. Any other segment is run through
// the decoder without an output buffer, which gives the same result without
// allocating memory for the size it claims.
bool zorv_segment_decodes_into_memory(uint64_t size, uint64_t compressed_size);

// Decodes `compressed` into output[0, size) with a window of `window_size`
// bytes. Returns 0, or the LZX result of the second attempt. `output` must
// hold `size` bytes when zorv_segment_decodes_into_memory says so, and is
// not used otherwise.
int zorv_decode_segment(std::span<const uint8_t> compressed, uint64_t size, uint32_t window_size,
                        uint8_t* output);

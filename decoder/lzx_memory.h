// LZX decoding over memory: an `lzx_system` whose files are memory blocks,
// and `lzx_decompress`, which decodes one LZX buffer into one output buffer
// of known size. Every call decodes as with a fresh decoder state (in place,
// the thread's state from the call before is set back to one).
#pragma once

#include <cstddef>
#include <cstdint>

#include "lzxd.h"

// A memory block handed to the LZX decoder wherever it expects an lzx_file.
// Owns nothing but itself; the caller keeps the block alive while it is used.
struct lzx_memory_file {
    uint8_t* buffer;
    int64_t buffer_size;  // at most kLzxMemoryMaxSize
    int64_t position;
};

// Largest block a memory file (and so lzx_decompress) accepts.
constexpr size_t kLzxMemoryMaxSize = 0x7FFFFFFE;

// A zero-filled system record with read, write, alloc, free and copy set;
// null when memory runs out. Release it with lzx_memory_system_destroy.
lzx_system* lzx_memory_system_create();
void lzx_memory_system_destroy(lzx_system* system);

// A memory file over `size` bytes at `buffer`, positioned at 0; null when
// size exceeds kLzxMemoryMaxSize or memory runs out.
lzx_memory_file* lzx_memory_open(lzx_system* system, void* buffer, size_t size);
// Releases the record only, not the block.
void lzx_memory_close(lzx_memory_file* file);

// Copy the smaller of `bytes` and what is left of the block, advance the
// position and return the count: 0 at the end of the block, -1 for a negative
// count. A write that would pass the end of the block is cut short.
int lzx_memory_read(lzx_file* file, void* dst, int bytes);
int lzx_memory_write(lzx_file* file, void* src, int bytes);

// A zero-filled block of `bytes` bytes, or null; released by lzx_memory_free.
void* lzx_memory_alloc(lzx_system* system, size_t bytes);
void lzx_memory_free(void* block);
void lzx_memory_copy(void* src, void* dst, size_t bytes);

namespace kyn {
// False for 0 (index unchanged); otherwise stores the position of the lowest
// set bit in *index and returns true.
bool bit_scan_forward(uint32_t value, uint32_t* index);
bool bit_scan_forward(uint64_t value, uint32_t* index);
}  // namespace kyn

// Decodes one LZX bitstream of `input_length` bytes into exactly
// `output_length` bytes with a window of `window_size` bytes (a power of two,
// 2^15 to 2^21). `window_data`, when given, presets the window's last
// `window_data_size` bytes as history. `lzxd_xmem_no_uncompressed_realign`
// selects the variant of the format for this call only (see lzxd_init): 0,
// the standard one, skips the padding byte after an odd-length uncompressed
// block; non-zero reads the next block header right after its data. Returns 0 on success, otherwise an LZX
// error code: 1 (arguments refused: an unsupported window, a buffer longer
// than kLzxMemoryMaxSize, window data larger than the window, or no memory
// for the decoder), 3 (input exhausted), 4 (output short), 11 (corrupt data).
// On failure the output holds whatever was decoded before the error.
int lzx_decompress(const void* input, size_t input_length, void* output, size_t output_length,
                   uint32_t window_size, void* window_data, size_t window_data_size,
                   int lzxd_xmem_no_uncompressed_realign = 0);

// Decodes like lzx_decompress without a preset window, but drops the decoded
// bytes: returns the result lzx_decompress would give, with memory use bounded
// by the decoder's own buffers whatever output_length says.
int lzx_decompress_discard(const void* input, size_t input_length, size_t output_length,
                           uint32_t window_size, int lzxd_xmem_no_uncompressed_realign = 0);

// LZX decoder: turns one LZX-compressed stream into its decoded bytes.
//
// The decoder is streaming and knows nothing about where its data lives: it
// pulls input and pushes output through a small record of I/O and memory
// operations (`lzx_system`). One decoder state (`lzxd_stream`) decodes one
// stream; it is created by `lzxd_init`, driven by any number of
// `lzxd_decompress` calls and released by `lzxd_free`. Failures are reported
// as numeric codes that stick to the state: once a call fails, every later
// call returns the same code.
#pragma once

#include <cstddef>
#include <cstdint>

// Handle of a source or destination, opaque to the decoder.
struct lzx_file;

// I/O and memory operations, in this order. The decoder calls only `read`,
// `write`, `alloc`, `free` and `copy`; the others may be null.
struct lzx_system {
    lzx_file* (*open)(lzx_system* self, const char* filename, int mode);
    void (*close)(lzx_file* file);
    // Returns the number of bytes read, 0 at the end of the input, negative on failure.
    int (*read)(lzx_file* file, void* buffer, int bytes);
    // Returns the number of bytes written; fewer than asked is a failure.
    int (*write)(lzx_file* file, void* buffer, int bytes);
    int (*seek)(lzx_file* file, int64_t offset, int mode);
    int64_t (*tell)(lzx_file* file);
    void (*message)(lzx_file* file, const char* format, ...);
    // Returns a zero-filled block of `bytes` bytes, or null.
    void* (*alloc)(lzx_system* self, size_t bytes);
    void (*free)(void* block);
    void (*copy)(void* src, void* dst, size_t bytes);
    void* reserved;
};

// Result codes. The numbers are part of the interface: the decoder program
// prints them.
enum : int {
    LZX_OK = 0,
    LZX_ERR_ARGS = 1,   // bad arguments (including an unsupported window)
    LZX_ERR_READ = 3,   // reading failed, or the input ended before the stream did
    LZX_ERR_WRITE = 4,  // writing the output fell short
    LZX_ERR_DATA = 11,  // the compressed data is invalid
};

// Decoder state, opaque to callers.
struct lzxd_stream;

// Creates a decoder state, or returns null for a missing system, window_bits
// outside 15..21 (windows of 32 KiB to 2 MiB), a negative reset_interval or
// output_length, an input_buffer_size below 1, or a failed allocation.
// reset_interval > 0 resets the block state every that many 32 KiB frames;
// output_length 0 means "length not known" (every frame is 32768 bytes).
// is_delta is accepted for interface compatibility and has no effect: the
// delta extension of the format is not supported.
//
// lzxd_xmem_no_uncompressed_realign selects the stream's variant of the
// format, for the whole life of the state: while it is 0 the decoder skips
// the alignment byte that follows an uncompressed block of odd length (the
// standard format); while it is non-zero it reads the next block header
// directly after the block's data (the Xbox variant). Each state carries its
// own, so streams of either variant may decode on different threads at once.
lzxd_stream* lzxd_init(lzx_system* system, lzx_file* input, lzx_file* output, int window_bits,
                       int reset_interval, int input_buffer_size, int64_t output_length,
                       int is_delta, int lzxd_xmem_no_uncompressed_realign = 0);

// Decodes until `out_bytes` more bytes have been written to the output.
// Returns LZX_OK, LZX_ERR_ARGS for a null state or a negative count, or the
// state's first error.
int lzxd_decompress(lzxd_stream* state, int64_t out_bytes);

// Fills the window with preset history before decoding starts: the last
// `size` bytes of the window receive `data`, the rest is cleared, and
// back-references may reach the whole window. Returns false (and changes
// nothing) when `size` exceeds the window.
bool lzxd_preset_window(lzxd_stream* state, const void* data, size_t size);

// Releases the state's buffers and the state itself. Accepts null.
void lzxd_free(lzxd_stream* state);

// The LZX decoder's direct mode, for whole buffers in memory: the stream
// decodes straight into the caller's output buffer, which doubles as its
// history, and reads the caller's input in place. It gives the same results
// as the window mode of lzxd_init with an input and an output over the same
// buffers, without the window, its copy to the output and the input copies.
// Not for callers outside the decoder (see lzx_decompress).
#pragma once

#include <cstddef>
#include <cstdint>

#include "lzxd.h"

// Largest input or output the direct mode takes.
constexpr size_t kDirectMaxSize = 0x7FFFFFFE;

// A state that decodes `input` into exactly `output_size` bytes at `output`
// with a window of 2^window_bits bytes, no reset interval, no preset window
// and the format variant lzxd_xmem_no_uncompressed_realign (see lzxd_init);
// drive it with lzxd_decompress(state, output_size) and release it with
// lzxd_free. Needs only the system's alloc and free. Returns null like
// lzxd_init, and for sizes beyond kDirectMaxSize. Both buffers must stay
// alive until the state is freed; on failure the output holds whatever was
// decoded before the error.
lzxd_stream* lzxd_init_direct(lzx_system* system, const uint8_t* input, size_t input_size, uint8_t* output,
                              size_t output_size, int window_bits, int lzxd_xmem_no_uncompressed_realign);

// Makes a state from lzxd_init_direct, done with its stream (whatever its
// result), ready for another stream as lzxd_init_direct would make it with
// the same system, without allocating it again or clearing its decode
// tables. Returns null, with the state released, where lzxd_init_direct
// would refuse the arguments.
lzxd_stream* lzxd_reuse_direct(lzxd_stream* state, const uint8_t* input, size_t input_size, uint8_t* output,
                               size_t output_size, int window_bits, int lzxd_xmem_no_uncompressed_realign);

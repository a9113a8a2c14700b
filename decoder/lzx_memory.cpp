// LZX decoding over memory: the memory-backed lzx_system and the one-call
// decoder lzx_decompress (see lzx_memory.h).
#include "lzx_memory.h"

#include "byte_buffer.h"
#include "lzxd_direct.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

lzx_memory_file* as_memory_file(lzx_file* file) { return reinterpret_cast<lzx_memory_file*>(file); }
lzx_file* as_lzx_file(lzx_memory_file* file) { return reinterpret_cast<lzx_file*>(file); }

// Bytes a read or write of `bytes` may move: what the block has left, or -1
// for a negative request.
int transfer_size(const lzx_memory_file* file, int bytes)
{
    if (bytes < 0)
        return -1;
    const int64_t left = std::max<int64_t>(file->buffer_size - file->position, 0);
    return int(std::min<int64_t>(left, bytes));
}

}  // namespace

lzx_system* lzx_memory_system_create()
{
    auto* system = static_cast<lzx_system*>(std::calloc(1, sizeof(lzx_system)));
    if (!system)
        return nullptr;
    system->read = lzx_memory_read;
    system->write = lzx_memory_write;
    system->alloc = lzx_memory_alloc;
    system->free = lzx_memory_free;
    system->copy = lzx_memory_copy;
    return system;
}

void lzx_memory_system_destroy(lzx_system* system) { std::free(system); }

lzx_memory_file* lzx_memory_open(lzx_system* /*system*/, void* buffer, size_t size)
{
    if (size > kLzxMemoryMaxSize)
        return nullptr;
    auto* file = static_cast<lzx_memory_file*>(std::calloc(1, sizeof(lzx_memory_file)));
    if (!file)
        return nullptr;
    file->buffer = static_cast<uint8_t*>(buffer);
    file->buffer_size = int64_t(size);
    file->position = 0;
    return file;
}

void lzx_memory_close(lzx_memory_file* file) { std::free(file); }

int lzx_memory_read(lzx_file* handle, void* dst, int bytes)
{
    lzx_memory_file* file = as_memory_file(handle);
    const int n = transfer_size(file, bytes);
    if (n > 0) {
        std::memcpy(dst, file->buffer + file->position, size_t(n));
        file->position += n;
    }
    return n;
}

int lzx_memory_write(lzx_file* handle, void* src, int bytes)
{
    lzx_memory_file* file = as_memory_file(handle);
    const int n = transfer_size(file, bytes);
    if (n > 0) {
        std::memcpy(file->buffer + file->position, src, size_t(n));
        file->position += n;
    }
    return n;
}

// Windows of a megabyte or more get huge pages (see byte_buffer.h).
void* lzx_memory_alloc(lzx_system* /*system*/, size_t bytes) { return kyn::alloc_zeroed_block(bytes); }

void lzx_memory_free(void* block) { kyn::free_block(block); }

void lzx_memory_copy(void* src, void* dst, size_t bytes)
{
    if (bytes > 0)
        std::memmove(dst, src, bytes);
}

namespace kyn {

bool bit_scan_forward(uint32_t value, uint32_t* index)
{
    if (value == 0)
        return false;
    *index = uint32_t(std::countr_zero(value));
    return true;
}

bool bit_scan_forward(uint64_t value, uint32_t* index)
{
    if (value == 0)
        return false;
    *index = uint32_t(std::countr_zero(value));
    return true;
}

}  // namespace kyn

namespace {

int discard_write(lzx_file* /*file*/, void* /*src*/, int bytes) { return bytes; }

// The decoder state of the thread's last direct decode, kept for the next
// one: a state is some 80 KB, and a fresh one costs its allocation and its
// clearing on every call, which for small buffers (one call per segment in
// zorv) is a good part of the work.
class KeptDirectState {
public:
    ~KeptDirectState() { lzxd_free(state_); }
    // The kept state, which the caller then owns, or null.
    lzxd_stream* take() { return std::exchange(state_, nullptr); }
    // Keeps `state` for the next call, or frees it when one is kept already.
    void give_back(lzxd_stream* state)
    {
        if (state_)
            lzxd_free(state);
        else
            state_ = state;
    }

private:
    lzxd_stream* state_ = nullptr;
};

// Decodes straight into the output buffer with the decoder's direct mode:
// no window, no copies of input or output.
int decode_in_place(const void* input, size_t input_length, void* output, size_t output_length, int window_bits,
                    int no_uncompressed_realign)
{
    static lzx_system memory_system = [] {
        lzx_system system{};
        system.alloc = lzx_memory_alloc;
        system.free = lzx_memory_free;
        return system;
    }();
    thread_local KeptDirectState kept;
    const auto* in = static_cast<const uint8_t*>(input);
    auto* out = static_cast<uint8_t*>(output);
    lzxd_stream* state = kept.take();
    state = state ? lzxd_reuse_direct(state, in, input_length, out, output_length, window_bits,
                                      no_uncompressed_realign)
                  : lzxd_init_direct(&memory_system, in, input_length, out, output_length, window_bits,
                                     no_uncompressed_realign);
    if (!state)
        return LZX_ERR_ARGS;
    const int result = lzxd_decompress(state, int64_t(output_length));
    kept.give_back(state);
    return result;
}

// The common part of lzx_decompress and lzx_decompress_discard: `output` is
// the memory file to write to, or null to drop the decoded bytes.
int decode_buffer(const void* input, size_t input_length, void* output, size_t output_length,
                  bool keep_output, uint32_t window_size, void* window_data, size_t window_data_size,
                  int no_uncompressed_realign)
{
    uint32_t window_bits;
    if (!kyn::bit_scan_forward(window_size, &window_bits))
        return LZX_ERR_ARGS;
    // Only a power of two names a window; any other value would let the
    // preset below run past the decoder's real window.
    if (!std::has_single_bit(window_size))
        return LZX_ERR_ARGS;
    if (input_length > kLzxMemoryMaxSize || output_length > kLzxMemoryMaxSize ||
        (window_data && window_data_size > window_size))
        return LZX_ERR_ARGS;

    if (keep_output && !window_data)
        return decode_in_place(input, input_length, output, output_length, int(window_bits),
                               no_uncompressed_realign);

    int result = LZX_ERR_ARGS;
    lzx_system* system = lzx_memory_system_create();
    lzx_memory_file* in = system ? lzx_memory_open(system, const_cast<void*>(input), input_length) : nullptr;
    lzx_memory_file* out = system && keep_output ? lzx_memory_open(system, output, output_length) : nullptr;
    if (system && !keep_output)
        system->write = discard_write;
    if (in && (out || !keep_output)) {
        lzxd_stream* state = lzxd_init(system, as_lzx_file(in), as_lzx_file(out), int(window_bits), 0,
                                       0x8000, int64_t(output_length), 0, no_uncompressed_realign);
        if (state) {
            if (!window_data || lzxd_preset_window(state, window_data, window_data_size))
                result = lzxd_decompress(state, int64_t(output_length));
            lzxd_free(state);
        }
    }
    lzx_memory_close(out);
    lzx_memory_close(in);
    lzx_memory_system_destroy(system);
    return result;
}

}  // namespace

int lzx_decompress(const void* input, size_t input_length, void* output, size_t output_length,
                   uint32_t window_size, void* window_data, size_t window_data_size,
                   int lzxd_xmem_no_uncompressed_realign)
{
    return decode_buffer(input, input_length, output, output_length, true, window_size, window_data,
                         window_data_size, lzxd_xmem_no_uncompressed_realign);
}

int lzx_decompress_discard(const void* input, size_t input_length, size_t output_length,
                           uint32_t window_size, int lzxd_xmem_no_uncompressed_realign)
{
    return decode_buffer(input, input_length, nullptr, output_length, false, window_size, nullptr, 0,
                         lzxd_xmem_no_uncompressed_realign);
}

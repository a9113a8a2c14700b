// Decoding one ZORV segment with the LZX decoder (see zorv_segment_decoder.h).
#include "zorv_segment_decoder.h"

#include "lzx_memory.h"

namespace {

// The most output one input byte of an LZX stream can produce: every symbol
// takes at least one bit and yields at most a 258-byte match.
constexpr uint64_t kMaxLzxExpansion = 8 * 258;

// One attempt in one variant of the format.
int decode_once(std::span<const uint8_t> compressed, uint64_t size, uint32_t window, uint8_t* output,
                int no_uncompressed_realign)
{
    if (size > kLzxMemoryMaxSize)  // refused by lzx_decompress before it touches the buffer
        return lzx_decompress(compressed.data(), compressed.size(), nullptr, size_t(size), window, nullptr, 0,
                              no_uncompressed_realign);
    if (!zorv_segment_decodes_into_memory(size, compressed.size()))
        return lzx_decompress_discard(compressed.data(), compressed.size(), size_t(size), window,
                                      no_uncompressed_realign);
    return lzx_decompress(compressed.data(), compressed.size(), output, size_t(size), window, nullptr, 0,
                          no_uncompressed_realign);
}

}  // namespace

bool zorv_segment_decodes_into_memory(uint64_t size, uint64_t compressed_size)
{
    return size <= kLzxMemoryMaxSize && size <= (compressed_size + 2) * kMaxLzxExpansion;
}

int zorv_decode_segment(std::span<const uint8_t> compressed, uint64_t size, uint32_t window_size,
                        uint8_t* output)
{
    // The standard variant first; every segment starts with it again.
    const int rc = decode_once(compressed, size, window_size, output, 0);
    if (rc == LZX_OK)
        return rc;
    return decode_once(compressed, size, window_size, output, 1);
}

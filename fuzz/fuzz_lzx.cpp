// Fuzzes lzx_decompress. The first four bytes choose the window (2^15 to
// 2^21), the padding-byte variant and the output length (up to 1 MiB); the
// rest is the LZX stream.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "lzx_memory.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 4)
        return 0;
    static std::vector<uint8_t> output(size_t(1) << 20);
    const uint32_t window = uint32_t(1) << (15 + (data[0] & 0x7F) % 7);
    const size_t length = data[1] | (size_t(data[2]) << 8) | (size_t(data[3] & 0x0F) << 16);
    const int no_padding = data[0] >> 7;
    lzx_decompress(data + 4, size - 4, output.data(), length, window, nullptr, 0, no_padding);
    return 0;
}

// Intel E8 call translation, encoder side (see e8_translation.h).
#include "e8_translation.h"

#include "lzx_format.h"

#include <algorithm>
#include <cstring>

namespace lzxenc {
namespace {

constexpr uint64_t kLastTranslatedFrame = 32767;
constexpr uint32_t kFrameTail = 10; // bytes at a frame's end never translated

int32_t load_le32(const uint8_t* p)
{
    return static_cast<int32_t>(uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 |
                                uint32_t{p[3]} << 24);
}

void store_le32(uint8_t* p, int32_t value)
{
    const uint32_t v = static_cast<uint32_t>(value);
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

// Walks the 0xE8 sites of every translated frame exactly as the decoder
// does and lets `convert` rewrite each 4-byte value; returns the changes.
template <typename Convert>
uint64_t for_each_e8_site(std::vector<uint8_t>& data, Convert convert)
{
    uint64_t changed = 0;
    for (uint64_t frame = 0; frame <= kLastTranslatedFrame; ++frame) {
        const uint64_t frame_start = frame * kFrameSize;
        if (frame_start >= data.size())
            break;
        const uint64_t frame_size = std::min<uint64_t>(kFrameSize, data.size() - frame_start);
        if (frame_size <= kFrameTail)
            continue;
        const uint64_t scan_end = frame_start + frame_size - kFrameTail;
        for (uint64_t pos = frame_start; pos < scan_end;) {
            if (data[pos] != 0xE8) {
                ++pos;
                continue;
            }
            const int32_t current = static_cast<int32_t>(pos);
            const int32_t before = load_le32(&data[pos + 1]);
            const int32_t after = convert(before, current);
            if (after != before) {
                store_le32(&data[pos + 1], after);
                ++changed;
            }
            pos += 5;
        }
    }
    return changed;
}

} // namespace

uint64_t e8_encode_in_place(std::vector<uint8_t>& data, int32_t e8_file_size)
{
    // Relative values in [-current, file_size - current) become absolute
    // targets in [0, file_size); those in [file_size - current, file_size)
    // become the negative values in [-current, 0). Anything else is a value
    // the decoder leaves alone, so it stays as it is.
    const int64_t file_size = e8_file_size;
    return for_each_e8_site(data, [file_size](int32_t relative, int32_t current) {
        const int64_t r = relative;
        const int64_t c = current;
        if (r >= -c && r < file_size - c)
            return static_cast<int32_t>(r + c);
        if (r >= file_size - c && r < file_size)
            return static_cast<int32_t>(r - file_size);
        return relative;
    });
}

uint64_t e8_decode_in_place(std::vector<uint8_t>& data, int32_t e8_file_size)
{
    const int64_t file_size = e8_file_size;
    return for_each_e8_site(data, [file_size](int32_t absolute, int32_t current) {
        const int64_t a = absolute;
        const int64_t c = current;
        if (a < -c || a >= file_size)
            return absolute;
        return static_cast<int32_t>(a >= 0 ? a - c : a + file_size);
    });
}

} // namespace lzxenc

// Hand-built ZORV files for the decoder tests (see zorv_file_builder.h).
#include "zorv_file_builder.h"

#include <stdexcept>

#include "lzx_stream_writer.h"

namespace decoder_test {

uint32_t zorv_flags_word(const ZorvFlags& f)
{
    return (f.window_shift & 0xF) | ((f.zone_shift & 0x3) << 4) | ((f.segment_count & 0xFFFF) << 6) |
           ((f.size_width & 0x3) << 22) | ((f.high_byte & 0xFF) << 24);
}

Bytes zorv_header(const ZorvFlags& flags)
{
    Bytes header = {0x0F, 0xF5, 0x12, 0xED, 0x01, 0x00, 0xDE, 0xAD, 0xBE, 0xEF, 0x12, 0x34};
    const uint32_t word = zorv_flags_word(flags);
    for (int shift = 24; shift >= 0; shift -= 8)
        header.push_back(uint8_t(word >> shift));
    return header;
}

Bytes zorv_size_table(const std::vector<uint64_t>& sizes, bool wide)
{
    const unsigned width = wide ? 32 : 20;
    const size_t bytes = ((width * sizes.size() + 31) / 32) * 4;
    Bytes table(bytes, 0);
    size_t bit = 0;
    for (uint64_t size : sizes) {
        for (unsigned i = width; i-- > 0; ++bit) {
            if ((size >> i) & 1)
                table[bit / 8] |= uint8_t(0x80 >> (bit % 8));
        }
    }
    return table;
}

Bytes zorv_head(const std::vector<uint64_t>& sizes, ZorvFlags flags)
{
    flags.segment_count = unsigned(sizes.size());
    return concat({zorv_header(flags), zorv_size_table(sizes, flags.size_width != 0)});
}

Bytes chunk(const Bytes& payload)
{
    if (payload.size() > 0xFFFF)
        throw std::logic_error("chunk payload too long");
    Bytes out = {uint8_t(payload.size() >> 8), uint8_t(payload.size())};
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

Bytes chunks_of(const Bytes& stream, uint64_t count)
{
    if (count == 0)
        return {};
    if (stream.size() < count)
        throw std::logic_error("cannot cut the stream into that many chunks");
    Bytes out;
    size_t start = 0;
    for (uint64_t i = 0; i < count; ++i) {
        const size_t end = size_t(stream.size() * (i + 1) / count);
        const Bytes piece = chunk(Bytes(stream.begin() + std::ptrdiff_t(start), stream.begin() + std::ptrdiff_t(end)));
        out.insert(out.end(), piece.begin(), piece.end());
        start = end;
    }
    return out;
}

uint64_t frames_of(uint64_t size) { return (size + 0x7FFF) >> 15; }

void place(Bytes& file, uint64_t offset, const Bytes& bytes, uint8_t fill)
{
    if (file.size() > offset)
        throw std::logic_error("placing over existing bytes");
    file.resize(offset, fill);
    file.insert(file.end(), bytes.begin(), bytes.end());
}

Bytes segment_content(uint64_t size, uint8_t seed)
{
    Bytes content(size);
    uint32_t state = 0x9E3779B9u * (seed + 1u);
    for (auto& byte : content) {
        state = state * 1664525u + 1013904223u;
        byte = uint8_t(state >> 24);
    }
    return content;
}

Bytes uncompressed_segment_chunks(const Bytes& content)
{
    return chunks_of(uncompressed_stream(content), frames_of(content.size()));
}

Bytes concat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

}  // namespace decoder_test

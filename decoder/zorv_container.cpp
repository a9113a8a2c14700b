// ZORV container reading and decoding (see zorv_container.h): header, the
// segment-size table, the contiguous and zoned body layouts, and decoding
// every segment with the LZX decoder, retrying once in the variant without
// the padding byte after odd-length uncompressed blocks.
#include "zorv_container.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <new>

#include "byte_buffer.h"
#include "lzx_memory.h"
#include "lzxd.h"

namespace {

constexpr uint8_t kMagic[4] = {0x0F, 0xF5, 0x12, 0xED};
constexpr uint8_t kVersion[2] = {0x01, 0x00};
constexpr unsigned kFrameBits = 15;  // frames of 32768 decoded bytes

// The most output one input byte of an LZX stream can produce: every symbol
// takes at least one bit and yields at most a 258-byte match.
constexpr uint64_t kMaxLzxExpansion = 8 * 258;

// A chunk's payload within the input.
struct ChunkRef {
    uint64_t offset;
    uint32_t length;
};

enum class Layout { contiguous, zoned };

const char* layout_name(Layout layout) { return layout == Layout::contiguous ? "contiguous" : "zoned"; }

std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* fmt, ...)
{
    char line[256];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(line, sizeof line, fmt, args);
    va_end(args);
    return line;
}

uint16_t read_be16(std::span<const uint8_t> data, uint64_t at) { return uint16_t((data[at] << 8) | data[at + 1]); }

uint32_t read_be32(std::span<const uint8_t> data, uint64_t at)
{
    return (uint32_t(data[at]) << 24) | (uint32_t(data[at + 1]) << 16) | (uint32_t(data[at + 2]) << 8) |
           data[at + 3];
}

uint64_t frame_count(uint64_t size) { return (size + 0x7FFF) >> kFrameBits; }

// Walks a contiguous body: chunks, and zero padding up to the next zone
// boundary wherever a zero length word stands.
class ContiguousBody {
public:
    enum class Step { chunk, end, broken };

    ContiguousBody(std::span<const uint8_t> data, uint64_t start, unsigned zone_bits)
        : data_(data), pos_(start), zone_bits_(zone_bits)
    {
    }

    Step next(ChunkRef& chunk)
    {
        const uint64_t size = data_.size();
        for (;;) {
            if (pos_ + 2 > size) {
                // At most one byte is left, and it must be zero.
                const bool clean = pos_ >= size || data_[pos_] == 0;
                pos_ = size;
                return clean ? Step::end : Step::broken;
            }
            const uint16_t length = read_be16(data_, pos_);
            if (length != 0) {
                if (pos_ + 2 + length > size)
                    return Step::broken;
                chunk = ChunkRef{pos_ + 2, length};
                pos_ += 2 + length;
                return Step::chunk;
            }
            const uint64_t boundary = std::min(((pos_ >> zone_bits_) + 1) << zone_bits_, size);
            const auto padding = data_.subspan(pos_, boundary - pos_);
            if (std::any_of(padding.begin(), padding.end(), [](uint8_t b) { return b != 0; }))
                return Step::broken;
            pos_ = boundary;
        }
    }

private:
    std::span<const uint8_t> data_;
    uint64_t pos_;
    unsigned zone_bits_;
};

// The work buffers of a run: the current segment's chunk payloads and its
// decoded bytes. They are kept from one run to the next on the same thread,
// so that a process decoding many files maps and clears their memory once;
// buffers larger than kKeptWorkBuffer are released after the run.
struct WorkBuffers {
    kyn::ByteBuffer compressed;
    kyn::ByteBuffer output;
    bool in_use = false;  // a sink that starts another run gets buffers of its own
};
constexpr size_t kKeptWorkBuffer = size_t(64) << 20;

WorkBuffers& thread_work_buffers()
{
    thread_local WorkBuffers buffers;
    return buffers;
}

void release_large_work_buffers(WorkBuffers& buffers)
{
    for (kyn::ByteBuffer* buffer : {&buffers.compressed, &buffers.output}) {
        if (buffer->capacity() > kKeptWorkBuffer)
            *buffer = kyn::ByteBuffer();
    }
}

// One run of the decoder over one input.
class ContainerDecoder {
public:
    ContainerDecoder(std::span<const uint8_t> input, ZorvSink& sink, WorkBuffers& work)
        : input_(input), sink_(sink), compressed_(work.compressed), output_(work.output)
    {
    }

    ~ContainerDecoder()
    {
        // Error paths still leave the bytes written so far in the output.
        if (sink_open_) {
            std::string ignored;
            sink_.close(ignored);
        }
    }

    ZorvResult run()
    {
        const std::optional<ZorvHeader> header = zorv_read_header(input_);
        if (!header)
            return {kZorvExitNotZorv, "not ZORV (magic/version mismatch)\n"};
        header_ = *header;

        std::string error;
        if (!sink_.open(error))
            return {kZorvExitIo, "out: " + error + "\n"};
        sink_open_ = true;

        if (header_.segment_count == 0)
            return write_raw();

        const uint64_t table_bytes =
            ((uint64_t(header_.entry_bits) * header_.segment_count + 31) >> 5) * 4;
        body_start_ = kZorvHeaderSize + table_bytes;
        if (body_start_ > input_.size())
            return {kZorvExitNotZorv, "table exceeds file\n"};
        read_size_table();

        layout_ = body_is_contiguous() ? Layout::contiguous : Layout::zoned;
        if (layout_ == Layout::zoned) {
            if (std::optional<ZorvResult> failure = read_zoned_body())
                return *failure;
        }
        if (std::optional<ZorvResult> failure = decode_segments())
            return *failure;
        if (std::optional<ZorvResult> failure = close_sink())
            return *failure;
        return {kZorvExitOk,
                format("%u segment(s), window 0x%x, zbs 0x%x, %s: %zu -> %llu bytes\n",
                       header_.segment_count, header_.window_size, header_.zone_size,
                       layout_name(layout_), input_.size(), (unsigned long long)bytes_written_)};
    }

private:
    ZorvResult write_raw()
    {
        const auto content = input_.subspan(kZorvHeaderSize);
        if (std::optional<ZorvResult> failure = write(content.data(), content.size()))
            return *failure;
        if (std::optional<ZorvResult> failure = close_sink())
            return *failure;
        return {kZorvExitOk, format("raw: %zu -> %zu bytes (flags 0x%08x)\n", input_.size(),
                                    content.size(), header_.flags)};
    }

    void read_size_table()
    {
        const uint32_t n = header_.segment_count;
        sizes_.resize(n);
        total_frames_ = 0;
        for (uint32_t j = 0; j < n; ++j) {
            if (header_.entry_bits == 32) {
                sizes_[j] = read_be32(input_, kZorvHeaderSize + 4 * uint64_t(j));
            } else {
                // 20-bit entries packed most significant bit first.
                const uint64_t bit = 20 * uint64_t(j);
                const uint64_t at = kZorvHeaderSize + bit / 8;
                const uint32_t window = (uint32_t(input_[at]) << 16) | (uint32_t(input_[at + 1]) << 8) |
                                        input_[at + 2];
                sizes_[j] = bit % 8 == 0 ? window >> 4 : window & 0xFFFFF;
            }
            total_frames_ += frame_count(sizes_[j]);
        }
    }

    bool body_is_contiguous() const
    {
        ContiguousBody body(input_, body_start_, header_.zone_bits);
        uint64_t chunks = 0;
        ChunkRef chunk;
        for (;;) {
            switch (body.next(chunk)) {
            case ContiguousBody::Step::chunk:
                if (++chunks > total_frames_)
                    return false;  // more chunks than frames: cannot be contiguous
                break;
            case ContiguousBody::Step::end:
                return chunks == total_frames_;
            case ContiguousBody::Step::broken:
                return false;
            }
        }
    }

    uint64_t zone_start(uint32_t segment) const
    {
        return segment == 0 ? body_start_ : uint64_t(segment) << header_.zone_bits;
    }

    uint64_t zone_end(uint32_t segment) const
    {
        return std::min<uint64_t>((uint64_t(segment) + 1) << header_.zone_bits, input_.size());
    }

    // Checks every segment against the zoned rules and marks stored segments.
    std::optional<ZorvResult> read_zoned_body()
    {
        stored_.assign(header_.segment_count, false);
        for (uint32_t k = 0; k < header_.segment_count; ++k) {
            uint64_t pos = zone_start(k);
            const uint64_t end = zone_end(k);
            const uint64_t size = sizes_[k];
            if (pos + 2 <= end && read_be16(input_, pos) == 0 && pos + 2 + size <= end) {
                stored_[k] = true;
                continue;
            }
            const uint64_t frames = frame_count(size);
            for (uint64_t f = 0; f < frames; ++f) {
                if (pos + 2 > end)
                    return ZorvResult{kZorvExitZoned,
                                      format("zoned: segment %u frame %zu runs past its zone\n", k, size_t(f))};
                const uint16_t length = read_be16(input_, pos);
                if (length == 0 || pos + 2 + length > end)
                    return ZorvResult{kZorvExitZoned,
                                      format("zoned: segment %u frame %zu bad chunk size %u at 0x%zx\n", k,
                                             size_t(f), unsigned(length), size_t(pos))};
                pos += 2 + length;
            }
        }
        return std::nullopt;
    }

    // Gathers the payloads of a segment's `frames` chunks into compressed_.
    void gather_zoned_chunks(uint32_t segment, uint64_t frames)
    {
        uint64_t pos = zone_start(segment);
        for (uint64_t f = 0; f < frames; ++f) {
            const uint16_t length = read_be16(input_, pos);
            append_payload(ChunkRef{pos + 2, length});
            pos += 2 + length;
        }
    }

    void append_payload(const ChunkRef& chunk)
    {
        compressed_.append(input_.data() + chunk.offset, chunk.length);
    }

    std::optional<ZorvResult> decode_segments()
    {
        ContiguousBody body(input_, body_start_, header_.zone_bits);
        for (uint32_t i = 0; i < header_.segment_count; ++i) {
            const uint64_t size = sizes_[i];
            if (layout_ == Layout::zoned && stored_[i]) {
                if (std::optional<ZorvResult> failure = write(input_.data() + zone_start(i) + 2, size))
                    return failure;
                continue;
            }

            const uint64_t frames = frame_count(size);
            compressed_.clear();
            if (layout_ == Layout::contiguous) {
                ChunkRef chunk;
                for (uint64_t f = 0; f < frames && body.next(chunk) == ContiguousBody::Step::chunk; ++f)
                    append_payload(chunk);
            } else {
                gather_zoned_chunks(i, frames);
            }

            // The standard variant first, then once the one without the
            // padding byte after odd-length uncompressed blocks.
            int rc = decode_segment(size, 0);
            if (rc != LZX_OK)
                rc = decode_segment(size, 1);
            if (rc != LZX_OK)
                return ZorvResult{kZorvExitDecodeFailed,
                                  format("segment %u/%u decode failed rc=%d (size %llu, layout %s)\n", i,
                                         header_.segment_count, rc, (unsigned long long)size,
                                         layout_name(layout_))};
            if (std::optional<ZorvResult> failure = write(output_.data(), size))
                return failure;
        }
        return std::nullopt;
    }

    // Decodes compressed_ into output_[0, size). A segment larger than its
    // compressed bytes could ever produce cannot decode; it is run through
    // the decoder without an output buffer, which gives the same result
    // without allocating memory for the size it claims.
    int decode_segment(uint64_t size, int no_uncompressed_realign)
    {
        const uint32_t window = header_.window_size;
        if (size > kLzxMemoryMaxSize)  // refused by lzx_decompress before it touches the buffer
            return lzx_decompress(compressed_.data(), compressed_.size(), nullptr, size_t(size), window,
                                  nullptr, 0, no_uncompressed_realign);
        if (size > (uint64_t(compressed_.size()) + 2) * kMaxLzxExpansion)
            return lzx_decompress_discard(compressed_.data(), compressed_.size(), size_t(size), window,
                                          no_uncompressed_realign);
        output_.resize(size_t(size));
        return lzx_decompress(compressed_.data(), compressed_.size(), output_.data(), size_t(size), window,
                              nullptr, 0, no_uncompressed_realign);
    }

    std::optional<ZorvResult> write(const uint8_t* data, uint64_t size)
    {
        std::string error;
        if (size > 0 && !sink_.write(data, size_t(size), error))
            return ZorvResult{kZorvExitIo, "out: " + error + "\n"};
        bytes_written_ += size;
        return std::nullopt;
    }

    std::optional<ZorvResult> close_sink()
    {
        std::string error;
        sink_open_ = false;
        if (!sink_.close(error))
            return ZorvResult{kZorvExitIo, "out: " + error + "\n"};
        return std::nullopt;
    }

    std::span<const uint8_t> input_;
    ZorvSink& sink_;
    bool sink_open_ = false;
    ZorvHeader header_;
    uint64_t body_start_ = 0;
    std::vector<uint64_t> sizes_;
    uint64_t total_frames_ = 0;
    Layout layout_ = Layout::contiguous;
    std::vector<bool> stored_;
    uint64_t bytes_written_ = 0;
    kyn::ByteBuffer& compressed_;  // the current segment's chunk payloads
    kyn::ByteBuffer& output_;      // its decoded bytes
};

}  // namespace

bool ZorvMemorySink::open(std::string& /*error*/)
{
    opened = true;
    closed = false;
    bytes.clear();
    return true;
}

bool ZorvMemorySink::write(const uint8_t* data, size_t size, std::string& /*error*/)
{
    bytes.insert(bytes.end(), data, data + size);
    return true;
}

bool ZorvMemorySink::close(std::string& /*error*/)
{
    closed = true;
    return true;
}

std::optional<ZorvHeader> zorv_read_header(std::span<const uint8_t> input)
{
    if (input.size() < kZorvHeaderSize || !std::equal(std::begin(kMagic), std::end(kMagic), input.begin()) ||
        !std::equal(std::begin(kVersion), std::end(kVersion), input.begin() + 4))
        return std::nullopt;
    ZorvHeader header;
    header.flags = read_be32(input, 12);
    const unsigned window_shift = header.flags & 0xF;
    const unsigned zone_shift = (header.flags >> 4) & 0x3;
    header.window_size = uint32_t(0x8000) << window_shift;
    header.zone_size = uint32_t(0x8000) << zone_shift;
    header.zone_bits = 15 + zone_shift;
    header.segment_count = (header.flags >> 6) & 0xFFFF;
    header.entry_bits = ((header.flags >> 22) & 0x3) == 0 ? 20 : 32;
    return header;
}

ZorvResult zorv_decode(std::span<const uint8_t> input, ZorvSink& sink)
{
    WorkBuffers& kept = thread_work_buffers();
    WorkBuffers own;
    WorkBuffers& work = kept.in_use ? own : kept;
    work.in_use = true;
    ZorvResult result;
    try {
        ContainerDecoder decoder(input, sink, work);
        result = decoder.run();
    } catch (const std::bad_alloc&) {
        result = {kZorvExitIo, "out of memory\n"};
    }
    work.in_use = false;
    release_large_work_buffers(work);
    return result;
}

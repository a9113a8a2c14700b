// One ZORV run over a file held in memory (see zorv_container.h): the
// header, the segment-size table, the body's layout (zorv_layout.h), and
// every segment in table order, stored ones copied and the others decoded
// (zorv_segment_decoder.h) into the room the sink offers or else into the
// run's work buffers (zorv_work_buffers.h), and written to the sink. The lines it reports are in zorv_messages.h.
#include "zorv_container.h"

#include <algorithm>
#include <new>
#include <vector>

#include "lzx_memory.h"
#include "lzxd.h"
#include "zorv_layout.h"
#include "zorv_messages.h"
#include "zorv_segment_decoder.h"
#include "zorv_work_buffers.h"

namespace {

using namespace zorv_layout;
namespace messages = zorv_messages;

constexpr uint8_t kMagic[4] = {0x0F, 0xF5, 0x12, 0xED};
constexpr uint8_t kVersion[2] = {0x01, 0x00};

class ContainerDecoder {
public:
    ContainerDecoder(std::span<const uint8_t> input, ZorvSink& sink, ZorvWorkBuffers& work)
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
            return {kZorvExitNotZorv, messages::not_zorv()};
        header_ = *header;

        std::string error;
        if (!sink_.open(error))
            return {kZorvExitIo, messages::output_error(error)};
        sink_open_ = true;

        if (header_.segment_count == 0)
            return write_raw();

        const uint64_t table_bytes = ((uint64_t(header_.entry_bits) * header_.segment_count + 31) >> 5) * 4;
        const BodyGeometry body{input_, kZorvHeaderSize + table_bytes, header_.zone_bits};
        if (body.body_start > input_.size())
            return {kZorvExitNotZorv, messages::table_exceeds_file()};
        read_size_table();

        if (std::optional<std::vector<ChunkRef>> chunks = read_contiguous(body, total_frames_)) {
            body_.chunks = std::move(*chunks);
        } else if (const std::optional<ZonedFault> fault = read_zoned(body, sizes_, body_)) {
            return {kZorvExitZoned, fault->runs_past ? messages::zoned_runs_past_zone(fault->segment, fault->frame)
                                                     : messages::zoned_bad_chunk_size(fault->segment, fault->frame,
                                                                                      fault->length, fault->at)};
        }
        reserve_work_buffers();
        if (std::optional<ZorvResult> failure = decode_segments())
            return *failure;
        if (std::optional<ZorvResult> failure = close_sink())
            return *failure;
        return {kZorvExitOk,
                messages::segmented_summary(header_.segment_count, header_.window_size, header_.zone_size,
                                            layout_name(body_.layout), input_.size(), bytes_written_)};
    }

private:
    ZorvResult write_raw()
    {
        const auto content = input_.subspan(kZorvHeaderSize);
        if (std::optional<ZorvResult> failure = write(content.data(), content.size()))
            return *failure;
        if (std::optional<ZorvResult> failure = close_sink())
            return *failure;
        return {kZorvExitOk, messages::raw_summary(input_.size(), content.size(), header_.flags)};
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

    bool is_stored(uint32_t segment) const { return body_.layout == Layout::zoned && body_.stored[segment]; }

    // Sizes the work buffers to the largest segment of this file, once, so
    // that they never grow (and copy) from one segment to the next, and no
    // page beyond what the file needs is ever touched.
    void reserve_work_buffers()
    {
        size_t largest_payload = 0, largest_output = 0;
        size_t next = 0;
        for (uint32_t i = 0; i < header_.segment_count; ++i) {
            if (is_stored(i)) {
                ++next;
                continue;
            }
            uint64_t payload = 0;
            const uint64_t frames = frame_count(sizes_[i]);
            for (uint64_t f = 0; f < frames && next < body_.chunks.size(); ++f)
                payload += body_.chunks[next++].length;
            largest_payload = std::max<size_t>(largest_payload, size_t(payload));
            if (zorv_segment_decodes_into_memory(sizes_[i], payload))
                largest_output = std::max<size_t>(largest_output, size_t(sizes_[i]));
        }
        compressed_.reserve(largest_payload);
        largest_output_ = largest_output;  // reserved when the first segment needs it (see decode_segment)
    }

    std::optional<ZorvResult> decode_segments()
    {
        size_t next = 0;  // the next chunk record
        for (uint32_t i = 0; i < header_.segment_count; ++i) {
            const uint64_t size = sizes_[i];
            if (is_stored(i)) {
                const ChunkRef stored = body_.chunks[next++];
                if (std::optional<ZorvResult> failure = write(input_.data() + stored.offset, stored.length))
                    return failure;
                continue;
            }

            compressed_.clear();
            const uint64_t frames = frame_count(size);
            for (uint64_t f = 0; f < frames; ++f, ++next)
                compressed_.append(input_.data() + body_.chunks[next].offset, body_.chunks[next].length);

            if (std::optional<ZorvResult> failure = decode_segment(i, size))
                return failure;
        }
        return std::nullopt;
    }

    // Decodes segment i, whose LZX data is in the compressed work buffer,
    // into the room the sink offers, or else into the output work buffer,
    // and hands its bytes to the sink.
    std::optional<ZorvResult> decode_segment(uint32_t i, uint64_t size)
    {
        uint8_t* room = nullptr;
        bool placed = false;
        if (zorv_segment_decodes_into_memory(size, compressed_.size())) {
            room = sink_.place(size_t(size));
            placed = room != nullptr;
            if (!placed) {
                output_.reserve(largest_output_);
                output_.resize(size_t(size));
                room = output_.data();
            }
        }
        const int rc = zorv_decode_segment(compressed_.bytes(), size, header_.window_size, room);
        if (rc != LZX_OK)
            return ZorvResult{kZorvExitDecodeFailed,
                              messages::decode_failed(i, header_.segment_count, rc, size, layout_name(body_.layout))};
        if (!placed)
            return write(room, size);
        sink_.commit(size_t(size));
        bytes_written_ += size;
        return std::nullopt;
    }

    std::optional<ZorvResult> write(const uint8_t* data, uint64_t size)
    {
        std::string error;
        if (size > 0 && !sink_.write(data, size_t(size), error))
            return ZorvResult{kZorvExitIo, messages::output_error(error)};
        bytes_written_ += size;
        return std::nullopt;
    }

    std::optional<ZorvResult> close_sink()
    {
        std::string error;
        sink_open_ = false;
        if (!sink_.close(error))
            return ZorvResult{kZorvExitIo, messages::output_error(error)};
        return std::nullopt;
    }

    std::span<const uint8_t> input_;
    ZorvSink& sink_;
    bool sink_open_ = false;
    ZorvHeader header_;
    std::vector<uint64_t> sizes_;
    uint64_t total_frames_ = 0;
    BodyChunks body_;
    uint64_t bytes_written_ = 0;
    size_t largest_output_ = 0;  // the largest segment that decodes into memory
    kyn::ByteBuffer& compressed_;
    kyn::ByteBuffer& output_;
};

}  // namespace

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
    ZorvWorkBufferLease work;
    try {
        ContainerDecoder decoder(input, sink, work.buffers());
        return decoder.run();
    } catch (const std::bad_alloc&) {
        return {kZorvExitIo, messages::out_of_memory()};
    }
}

// The decoder program's lines for standard error (see zorv_messages.h).
#include "zorv_messages.h"

#include <cstdarg>
#include <cstdio>

namespace zorv_messages {
namespace {

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

}  // namespace

std::string not_zorv() { return "not ZORV (magic/version mismatch)\n"; }

std::string table_exceeds_file() { return "table exceeds file\n"; }

std::string out_of_memory() { return "out of memory\n"; }

std::string output_error(const std::string& error) { return "out: " + error + "\n"; }

std::string zoned_runs_past_zone(uint32_t segment, uint64_t frame)
{
    return format("zoned: segment %u frame %zu runs past its zone\n", segment, size_t(frame));
}

std::string zoned_bad_chunk_size(uint32_t segment, uint64_t frame, unsigned length, uint64_t at)
{
    return format("zoned: segment %u frame %zu bad chunk size %u at 0x%zx\n", segment, size_t(frame), length,
                  size_t(at));
}

std::string decode_failed(uint32_t segment, uint32_t segment_count, int rc, uint64_t size, const char* layout)
{
    return format("segment %u/%u decode failed rc=%d (size %llu, layout %s)\n", segment, segment_count, rc,
                  (unsigned long long)size, layout);
}

std::string raw_summary(size_t input_size, size_t output_size, uint32_t flags)
{
    return format("raw: %zu -> %zu bytes (flags 0x%08x)\n", input_size, output_size, flags);
}

std::string segmented_summary(uint32_t segment_count, uint32_t window_size, uint32_t zone_size,
                              const char* layout, size_t input_size, uint64_t bytes_written)
{
    return format("%u segment(s), window 0x%x, zbs 0x%x, %s: %zu -> %llu bytes\n", segment_count, window_size,
                  zone_size, layout, input_size, (unsigned long long)bytes_written);
}

}  // namespace zorv_messages

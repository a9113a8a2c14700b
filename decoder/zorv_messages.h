// The decoder program's lines for standard error, one function per line, so
// that every text the program can print is in one place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zorv_messages {

std::string not_zorv();
std::string table_exceeds_file();
std::string out_of_memory();
// An output failure: "out: " and the system's error text.
std::string output_error(const std::string& error);
std::string zoned_runs_past_zone(uint32_t segment, uint64_t frame);
std::string zoned_bad_chunk_size(uint32_t segment, uint64_t frame, unsigned length, uint64_t at);
std::string decode_failed(uint32_t segment, uint32_t segment_count, int rc, uint64_t size, const char* layout);
std::string raw_summary(size_t input_size, size_t output_size, uint32_t flags);
std::string segmented_summary(uint32_t segment_count, uint32_t window_size, uint32_t zone_size,
                              const char* layout, size_t input_size, uint64_t bytes_written);

}  // namespace zorv_messages

// ZORV container reading and decoding, in memory: takes the whole input file
// and writes the decoded content to a sink, returning the program's exit code
// and its one line for standard error. The `zorv` program is a thin layer
// over `zorv_decode`; tests and fuzzers call it directly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "zorv_memory_sink.h"
#include "zorv_sink.h"

// Exit codes of the decoder program.
enum ZorvExitCode : int {
    kZorvExitOk = 0,
    kZorvExitUsage = 2,
    kZorvExitIo = 3,            // input or output file trouble, or out of memory
    kZorvExitNotZorv = 4,       // not a ZORV file, or its size table runs past the end
    kZorvExitDecodeFailed = 5,  // a segment decodes in neither LZX variant
    kZorvExitZoned = 6,         // the body fits neither layout
};

struct ZorvResult {
    int exit_code = kZorvExitOk;
    // The run's one line for standard error, newline included; empty for the
    // one silent failure (a short read of the input).
    std::string message;
};

// The header fields the decoder uses (bytes 12-15, the flags word).
struct ZorvHeader {
    uint32_t flags = 0;
    uint32_t window_size = 0;    // W = 0x8000 << windowShift
    uint32_t zone_size = 0;      // Z = 0x8000 << zoneShift
    unsigned zone_bits = 0;      // 15 + zoneShift
    uint32_t segment_count = 0;  // 0 marks a raw file
    unsigned entry_bits = 0;     // width of a segment-size entry: 20 or 32
};

constexpr size_t kZorvHeaderSize = 16;

// The header of `input`, or nothing when it is not a ZORV file (shorter than
// 16 bytes, wrong magic or wrong version).
std::optional<ZorvHeader> zorv_read_header(std::span<const uint8_t> input);

// Decodes a whole ZORV file held in memory into `sink`.
ZorvResult zorv_decode(std::span<const uint8_t> input, ZorvSink& sink);

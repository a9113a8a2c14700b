// The decoder benchmark's mixed corpus: text, x86-64 machine code and
// already-compressed data, taken from the machine's own files where they
// exist (source and documentation text, ELF programs and libraries, gzip'd
// manual pages) and synthesized otherwise. The same machine always gives the
// same corpus: files are taken in sorted order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct BenchCorpus {
    std::vector<uint8_t> bytes;
    size_t text_bytes = 0;
    size_t code_bytes = 0;
    size_t compressed_bytes = 0;
    std::string sources; // where each kind came from, for the report
};

// Builds `size` bytes: pieces of 1 MiB in the rotation text, code, text,
// code, compressed (40% / 40% / 20%).
BenchCorpus build_bench_corpus(size_t size);

// Hash-chain match finder over the whole input, limited to the LZX window.
//
// Positions are inserted in increasing order (every position, including
// those inside matches and uncompressed blocks, so later matches can refer to
// them). A search walks at most `max_chain` earlier positions with the same
// 3-byte hash and never reaches further back than `max_distance`.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace lzxenc {

struct Match {
    uint32_t length = 0; // 0 = none found
    uint32_t offset = 0;
};

class MatchFinder {
public:
    MatchFinder(const uint8_t* data, size_t size, unsigned window_bits, uint32_t max_distance,
                unsigned max_chain);

    // Inserts every position up to (not including) `end` that is not yet in.
    void insert_up_to(size_t end);

    // Longest match at `pos` of at most `max_length` bytes (3 or more to be
    // reported). Inserts positions before `pos` first; `pos` itself is not.
    Match longest_match(size_t pos, uint32_t max_length);

    // Length of the common run at `pos` and `pos - offset`, up to max_length.
    uint32_t match_length_at(size_t pos, uint32_t offset, uint32_t max_length) const;

private:
    uint32_t hash_at(size_t pos) const;

    const uint8_t* data_;
    size_t size_;
    uint32_t window_mask_;
    uint32_t max_distance_;
    unsigned max_chain_;
    size_t next_insert_ = 0;
    std::vector<int64_t> head_; // most recent position per hash, -1 = none
    std::vector<uint32_t> prev_; // previous position with the same hash, by position & mask
};

} // namespace lzxenc

// Hash-chain match finder (see match_finder.h).
#include "match_finder.h"

#include <cstring>

namespace lzxenc {
namespace {

constexpr unsigned kHashBits = 17;
constexpr uint32_t kMinHashedMatch = 3;
constexpr uint32_t kGoodEnoughLength = 48; // stop searching once a match is this long

} // namespace

MatchFinder::MatchFinder(const uint8_t* data, size_t size, unsigned window_bits, uint32_t max_distance,
                         unsigned max_chain)
    : data_(data), size_(size), window_mask_((1u << window_bits) - 1), max_distance_(max_distance),
      max_chain_(max_chain), head_(size_t{1} << kHashBits, -1), prev_(size_t{1} << window_bits, 0)
{
}

uint32_t MatchFinder::hash_at(size_t pos) const
{
    const uint32_t v = uint32_t{data_[pos]} | uint32_t{data_[pos + 1]} << 8 | uint32_t{data_[pos + 2]} << 16;
    return (v * 2654435761u) >> (32 - kHashBits);
}

void MatchFinder::insert_up_to(size_t end)
{
    const size_t last_hashable = size_ >= kMinHashedMatch ? size_ - kMinHashedMatch + 1 : 0;
    if (end > last_hashable)
        end = last_hashable;
    for (; next_insert_ < end; ++next_insert_) {
        const uint32_t h = hash_at(next_insert_);
        // A chain link is only followed while it is within max_distance, and a
        // slot is overwritten only a whole window later, so stale links are
        // never read.
        prev_[next_insert_ & window_mask_] = head_[h] < 0 ? 0 : static_cast<uint32_t>(head_[h]);
        head_[h] = static_cast<int64_t>(next_insert_);
    }
    if (next_insert_ < end)
        next_insert_ = end;
}

uint32_t MatchFinder::match_length_at(size_t pos, uint32_t offset, uint32_t max_length) const
{
    if (offset == 0 || offset > pos)
        return 0;
    if (max_length > size_ - pos)
        max_length = static_cast<uint32_t>(size_ - pos);
    const uint8_t* a = data_ + pos;
    const uint8_t* b = a - offset;
    uint32_t length = 0;
    while (length + 8 <= max_length) {
        uint64_t x, y;
        std::memcpy(&x, a + length, 8);
        std::memcpy(&y, b + length, 8);
        if (x != y)
            return length + static_cast<uint32_t>(__builtin_ctzll(x ^ y) / 8);
        length += 8;
    }
    while (length < max_length && a[length] == b[length])
        ++length;
    return length;
}

Match MatchFinder::longest_match(size_t pos, uint32_t max_length)
{
    insert_up_to(pos);
    Match best;
    if (max_length < kMinHashedMatch || pos + kMinHashedMatch > size_)
        return best;
    const int64_t first = head_[hash_at(pos)];
    if (first < 0)
        return best;
    size_t candidate = static_cast<size_t>(first);
    uint32_t best_length = kMinHashedMatch - 1;
    for (unsigned steps = 0; steps < max_chain_; ++steps) {
        const size_t distance = pos - candidate;
        if (distance == 0 || distance > max_distance_)
            break;
        // Cheap rejection: a longer match must agree at the current best end.
        if (data_[candidate + best_length] == data_[pos + best_length]) {
            const uint32_t length = match_length_at(pos, static_cast<uint32_t>(distance), max_length);
            if (length > best_length) {
                best_length = length;
                best.length = length;
                best.offset = static_cast<uint32_t>(distance);
                if (length >= max_length || length >= kGoodEnoughLength)
                    break;
            }
        }
        const size_t next = prev_[candidate & window_mask_];
        if (next >= candidate)
            break;
        candidate = next;
    }
    return best;
}

} // namespace lzxenc

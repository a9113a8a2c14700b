// Length-limited canonical Huffman codes (see huffman_code.h).
#include "huffman_code.h"

#include "bit_writer.h"

#include <algorithm>
#include <queue>
#include <stdexcept>

namespace lzxenc {
namespace {

// Plain Huffman code lengths for the used symbols (at least two of them).
std::vector<uint8_t> huffman_depths(const std::vector<uint32_t>& frequencies, unsigned* max_depth)
{
    struct Node {
        uint64_t weight;
        int parent;
    };
    std::vector<Node> nodes;
    std::vector<int> leaf_of_symbol(frequencies.size(), -1);
    using Entry = std::pair<uint64_t, int>; // weight, node index
    std::priority_queue<Entry, std::vector<Entry>, std::greater<Entry>> queue;
    for (size_t symbol = 0; symbol < frequencies.size(); ++symbol) {
        if (frequencies[symbol] == 0)
            continue;
        leaf_of_symbol[symbol] = static_cast<int>(nodes.size());
        queue.push({frequencies[symbol], static_cast<int>(nodes.size())});
        nodes.push_back({frequencies[symbol], -1});
    }
    while (queue.size() > 1) {
        const Entry a = queue.top();
        queue.pop();
        const Entry b = queue.top();
        queue.pop();
        const int parent = static_cast<int>(nodes.size());
        nodes.push_back({a.first + b.first, -1});
        nodes[a.second].parent = parent;
        nodes[b.second].parent = parent;
        queue.push({a.first + b.first, parent});
    }
    // Parents are always created after their children, so depths can be
    // resolved from the root downwards in reverse creation order.
    std::vector<unsigned> depth(nodes.size(), 0);
    for (int i = static_cast<int>(nodes.size()) - 1; i >= 0; --i)
        if (nodes[i].parent >= 0)
            depth[i] = depth[nodes[i].parent] + 1;
    std::vector<uint8_t> lengths(frequencies.size(), 0);
    *max_depth = 0;
    for (size_t symbol = 0; symbol < frequencies.size(); ++symbol) {
        if (leaf_of_symbol[symbol] < 0)
            continue;
        const unsigned d = depth[leaf_of_symbol[symbol]];
        *max_depth = std::max(*max_depth, d);
        lengths[symbol] = static_cast<uint8_t>(std::min(d, 255u));
    }
    return lengths;
}

} // namespace

std::vector<uint8_t> build_code_lengths(const std::vector<uint32_t>& frequencies, unsigned max_length)
{
    if (max_length == 0 || max_length > 16)
        throw std::invalid_argument("build_code_lengths: max_length must be 1..16");
    const size_t used = static_cast<size_t>(
        std::count_if(frequencies.begin(), frequencies.end(), [](uint32_t f) { return f != 0; }));
    std::vector<uint8_t> lengths(frequencies.size(), 0);
    if (used == 0)
        return lengths;
    if (used == 1) {
        if (frequencies.size() < 2)
            throw std::invalid_argument("build_code_lengths: a code needs two symbols");
        const size_t only = static_cast<size_t>(
            std::find_if(frequencies.begin(), frequencies.end(), [](uint32_t f) { return f != 0; }) -
            frequencies.begin());
        lengths[only] = 1;
        lengths[only == 0 ? 1 : 0] = 1;
        return lengths;
    }
    if ((size_t{1} << max_length) < used)
        throw std::invalid_argument("build_code_lengths: too many symbols for max_length");
    // Flatten the frequencies until the tree is shallow enough. Halving
    // (keeping every used symbol at 1 or more) ends, at worst, in equal
    // weights, whose tree depth is ceil(log2(used)).
    std::vector<uint32_t> weights = frequencies;
    for (;;) {
        unsigned max_depth = 0;
        lengths = huffman_depths(weights, &max_depth);
        if (max_depth <= max_length)
            return lengths;
        for (uint32_t& w : weights)
            if (w != 0)
                w = std::max<uint32_t>(1, w >> 1);
    }
}

std::vector<uint16_t> canonical_codes(const std::vector<uint8_t>& lengths)
{
    unsigned count_of_length[17] = {};
    for (uint8_t length : lengths) {
        if (length > 16)
            throw std::invalid_argument("canonical_codes: length above 16");
        ++count_of_length[length];
    }
    count_of_length[0] = 0;
    uint32_t next_code[17] = {};
    uint32_t code = 0;
    for (unsigned length = 1; length <= 16; ++length) {
        code = (code + count_of_length[length - 1]) << 1;
        next_code[length] = code;
    }
    std::vector<uint16_t> codes(lengths.size(), 0);
    for (size_t symbol = 0; symbol < lengths.size(); ++symbol)
        if (lengths[symbol] != 0)
            codes[symbol] = static_cast<uint16_t>(next_code[lengths[symbol]]++);
    return codes;
}

uint32_t kraft_sum_scaled(const std::vector<uint8_t>& lengths)
{
    uint32_t sum = 0;
    for (uint8_t length : lengths)
        if (length != 0)
            sum += uint32_t{1} << (16 - length);
    return sum;
}

void HuffmanCode::build(const std::vector<uint32_t>& frequencies, unsigned max_length)
{
    lengths = build_code_lengths(frequencies, max_length);
    codes = canonical_codes(lengths);
}

void HuffmanCode::write(BitWriter& writer, unsigned symbol) const
{
    if (lengths.at(symbol) == 0)
        throw std::logic_error("HuffmanCode: symbol without a code");
    writer.put_bits(codes[symbol], lengths[symbol]);
}

} // namespace lzxenc

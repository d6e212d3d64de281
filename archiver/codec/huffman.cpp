#include "archiver/codec/huffman.h"

#include <algorithm>
#include <utility>

namespace lzh {

// The used symbols of a Huffman tree, rarest first, and how many leaves lie
// at each depth (depths past 16 counted at 17).
struct HuffmanDepths {
    const std::uint32_t* used;
    std::size_t leaves;
    std::uint32_t count[kMaxCodeLength + 2];
};

namespace {

// The used symbols by rising frequency, ties by symbol: a stable radix sort
// on the frequency, a byte at a time (few branches to mispredict, unlike a
// comparison sort). Sorts in `used` or `spare` and returns which. The small
// tables (T and P: a few dozen symbols) are sorted by insertion instead,
// stable as well: a radix pass would cost more in its 256 counts than in them.
std::uint32_t* usedByFrequency(const std::uint32_t* frequencies, std::size_t n, std::uint32_t* used,
                               std::uint32_t* spare, std::size_t& count) {
    std::size_t m = 0;
    std::uint32_t most = 0;
    for (std::uint32_t s = 0; s < n; ++s) {   // kept or written over, without a branch
        used[m] = s;
        m += frequencies[s] != 0;
        most = std::max(most, frequencies[s]);
    }
    count = m;
    constexpr std::size_t kFewSymbols = 32;
    if (n <= kFewSymbols) {
        for (std::size_t i = 1; i < m; ++i) {
            const std::uint32_t symbol = used[i], frequency = frequencies[symbol];
            std::size_t j = i;
            for (; j > 0 && frequencies[used[j - 1]] > frequency; --j) used[j] = used[j - 1];
            used[j] = symbol;
        }
        return used;
    }
    // Small counts (a region's, most blocks'): one counting pass over the
    // counts themselves, fewer buckets than a byte's and one pass, not two.
    constexpr std::uint32_t kCountingBuckets = 1024;
    if (most < kCountingBuckets && most + 1 < 256 + 2 * m) {
        std::uint32_t start[kCountingBuckets + 1];
        std::fill_n(start, most + 2, 0u);
        for (std::size_t i = 0; i < m; ++i) ++start[frequencies[used[i]] + 1];
        for (std::uint32_t d = 0; d < most; ++d) start[d + 1] += start[d];
        for (std::size_t i = 0; i < m; ++i) spare[start[frequencies[used[i]]]++] = used[i];
        return spare;
    }
    for (unsigned shift = 0; shift < 32 && (most >> shift) != 0; shift += 8) {
        // Counts up to the largest digit of this byte (the last byte's may be small).
        const std::uint32_t top = std::min<std::uint32_t>(most >> shift, 0xFF);
        std::uint32_t start[257] = {};
        for (std::size_t i = 0; i < m; ++i) ++start[((frequencies[used[i]] >> shift) & 0xFF) + 1];
        for (std::uint32_t d = 0; d < top; ++d) start[d + 1] += start[d];
        for (std::size_t i = 0; i < m; ++i) spare[start[(frequencies[used[i]] >> shift) & 0xFF]++] = used[i];
        std::swap(used, spare);
    }
    return used;
}


// Builds the tree for `frequencies`. `scratch` holds 2 * n symbols (the
// sorted ones stay there), `weight` and `parent` 2 * n nodes each.
HuffmanDepths huffmanDepths(const std::uint32_t* frequencies, std::size_t n, std::uint32_t* scratch, std::uint64_t* weight,
                     std::uint32_t* parent) {
    HuffmanDepths tree{};
    tree.used = usedByFrequency(frequencies, n, scratch, scratch + n, tree.leaves);
    const std::size_t leaves = tree.leaves;
    if (leaves < 2) return tree;
    // Two-queue method over the sorted symbols.
    for (std::size_t i = 0; i < leaves; ++i) weight[i] = frequencies[tree.used[i]];
    std::size_t nextLeaf = 0, nextNode = leaves, made = leaves;
    auto takeSmallest = [&]() {
        if (nextLeaf < leaves && (nextNode >= made || weight[nextLeaf] <= weight[nextNode])) return nextLeaf++;
        return nextNode++;
    };
    while (made < 2 * leaves - 1) {
        std::size_t a = takeSmallest(), b = takeSmallest();
        weight[made] = weight[a] + weight[b];
        parent[a] = parent[b] = static_cast<std::uint32_t>(made);
        ++made;
    }
    // Depths from the root down (parents always have higher indices); the
    // weights are no longer needed and hold them.
    std::uint64_t* depth = weight;
    depth[2 * leaves - 2] = 0;
    for (std::size_t i = 2 * leaves - 2; i-- > 0;) depth[i] = depth[parent[i]] + 1;
    for (std::size_t i = 0; i < leaves; ++i) ++tree.count[std::min<std::uint64_t>(depth[i], kMaxCodeLength + 1)];
    return tree;
}

// How many codes of each length the tree gives under `limit` (at most 16,
// and raised to the least that holds the used symbols). Fewer than two used
// symbols: two codes of length 1.
LengthCounts countsUnder(const HuffmanDepths& tree, int limit) {
    LengthCounts counts;
    if (tree.leaves < 2) {
        counts.count[1] = 2;
        return counts;
    }
    limit = std::clamp(limit, 1, kMaxCodeLength);
    while (limit < kMaxCodeLength && (std::size_t{1} << limit) < tree.leaves) ++limit;
    // Clamp the depths to the limit, then repair the Kraft sum.
    std::uint32_t* const count = counts.count;
    for (int depth = 1; depth <= kMaxCodeLength + 1; ++depth) count[std::min(depth, limit)] += tree.count[depth];
    std::uint32_t kraft = 0;
    for (int len = 1; len <= limit; ++len) kraft += count[len] << (limit - len);
    while (kraft > (1u << limit)) {
        // Move one code from the longest length under a shorter leaf that is split in two.
        --count[limit];
        for (int len = limit - 1; len > 0; --len) {
            if (count[len]) {
                --count[len];
                count[len + 1] += 2;
                break;
            }
        }
        --kraft;
    }
    return counts;
}

// The lengths by those counts into `lengths` (n of them, zeroed): the
// longest codes to the rarest symbols. Fewer than two used symbols: two
// codes of length 1, the used symbol (if any) and a neighbour.
void assignLengths(const HuffmanDepths& tree, const LengthCounts& counts, std::size_t n, std::uint8_t* lengths) {
    if (tree.leaves < 2) {
        std::uint32_t a = tree.leaves == 0 ? 0 : tree.used[0];
        std::uint32_t b = a == 0 ? 1 : 0;
        lengths[a] = 1;
        if (b < n) lengths[b] = 1;
        return;
    }
    std::size_t next = 0;
    for (int len = kMaxCodeLength; len >= 1; --len)
        for (std::uint32_t k = 0; k < counts.count[len]; ++k)
            lengths[tree.used[next++]] = static_cast<std::uint8_t>(len);
}

// The bits of the symbols at `frequencies` by the lengths assignLengths
// gives them: only the used symbols, in the order it goes through them.
std::uint64_t assignedBits(const HuffmanDepths& tree, const LengthCounts& counts, const std::uint32_t* frequencies) {
    if (tree.leaves < 2) return tree.leaves == 0 ? 0 : frequencies[tree.used[0]];
    std::uint64_t bits = 0;
    std::size_t next = 0;
    for (int len = kMaxCodeLength; len >= 1; --len)
        for (std::uint32_t k = 0; k < counts.count[len]; ++k)
            bits += std::uint64_t{frequencies[tree.used[next++]]} * static_cast<unsigned>(len);
    return bits;
}

// Work space for a tree over n symbols, on the stack for the tables of the
// format (at most 510 symbols).
template <typename Use>
void withTree(const std::uint32_t* frequencies, std::size_t n, Use use) {
    constexpr std::size_t kOnStack = 512;
    if (n <= kOnStack) {
        std::uint32_t scratch[2 * kOnStack], parent[2 * kOnStack];
        std::uint64_t weight[2 * kOnStack];
        use(huffmanDepths(frequencies, n, scratch, weight, parent));
    } else {
        std::vector<std::uint32_t> scratch(2 * n), parent(2 * n);
        std::vector<std::uint64_t> weight(2 * n);
        use(huffmanDepths(frequencies, n, scratch.data(), weight.data(), parent.data()));
    }
}

template <typename Use>
void withTree(const std::vector<std::uint32_t>& frequencies, Use use) {
    withTree(frequencies.data(), frequencies.size(), use);
}

}  // namespace


std::uint64_t codeLengths(const std::uint32_t* frequencies, std::size_t n, std::uint8_t* lengths, int limit) {
    std::fill_n(lengths, n, std::uint8_t{0});
    std::uint64_t bits = 0;
    withTree(frequencies, n, [&](const HuffmanDepths& tree) {
        const LengthCounts counts = countsUnder(tree, limit);
        assignLengths(tree, counts, n, lengths);
        bits = assignedBits(tree, counts, frequencies);
    });
    return bits;
}

std::vector<std::uint8_t> codeLengths(const std::vector<std::uint32_t>& frequencies, int limit) {
    std::vector<std::uint8_t> lengths(frequencies.size());
    codeLengths(frequencies.data(), frequencies.size(), lengths.data(), limit);
    return lengths;
}

LimitedCodeLengths::LimitedCodeLengths(const std::vector<std::uint32_t>& frequencies) : size_(frequencies.size()) {
    withTree(frequencies, [&](const HuffmanDepths& tree) {
        rarestFirst_.assign(tree.used, tree.used + tree.leaves);
        std::copy(std::begin(tree.count), std::end(tree.count), depthCount_);
    });
}

HuffmanDepths LimitedCodeLengths::tree() const {
    HuffmanDepths tree{rarestFirst_.data(), rarestFirst_.size(), {}};
    std::copy(std::begin(depthCount_), std::end(depthCount_), tree.count);
    return tree;
}

LengthCounts LimitedCodeLengths::counts(int limit) const { return countsUnder(tree(), limit); }

std::vector<std::uint8_t> LimitedCodeLengths::lengths(const LengthCounts& counts) const {
    std::vector<std::uint8_t> lengths(size_, 0);
    assignLengths(tree(), counts, size_, lengths.data());
    return lengths;
}

std::uint64_t LimitedCodeLengths::codeBits(const LengthCounts& counts,
                                           const std::vector<std::uint32_t>& frequencies) const {
    return assignedBits(tree(), counts, frequencies.data());
}

std::vector<std::uint16_t> canonicalCodes(const std::vector<std::uint8_t>& lengths) {
    std::uint32_t count[kMaxCodeLength + 1] = {};
    for (std::uint8_t len : lengths) ++count[len];
    count[0] = 0;
    std::uint32_t start[kMaxCodeLength + 2] = {};
    std::uint32_t code = 0;
    for (int len = 1; len <= kMaxCodeLength; ++len) {
        code = (code + count[len - 1]) << 1;
        start[len] = code;
    }
    std::vector<std::uint16_t> codes(lengths.size(), 0);
    for (std::size_t s = 0; s < lengths.size(); ++s)
        if (lengths[s]) codes[s] = static_cast<std::uint16_t>(start[lengths[s]]++);
    return codes;
}

bool isCompleteCode(const std::vector<std::uint8_t>& lengths) {
    std::uint64_t kraft = 0;
    for (std::uint8_t len : lengths) {
        if (len > kMaxCodeLength) return false;
        if (len) kraft += std::uint64_t{1} << (kMaxCodeLength - len);
    }
    return kraft == (std::uint64_t{1} << kMaxCodeLength);
}

}  // namespace lzh

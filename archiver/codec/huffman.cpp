#include "archiver/codec/huffman.h"

#include <algorithm>
#include <numeric>

namespace lzh {

std::vector<std::uint8_t> codeLengths(const std::vector<std::uint32_t>& frequencies) {
    const std::size_t n = frequencies.size();
    std::vector<std::uint8_t> lengths(n, 0);
    // The used symbols by rising frequency, ties by symbol: one sort of
    // frequency and symbol packed together.
    std::vector<std::uint64_t> keyed;
    keyed.reserve(n);
    for (std::uint32_t s = 0; s < n; ++s)
        if (frequencies[s]) keyed.push_back(std::uint64_t{frequencies[s]} << 32 | s);
    std::sort(keyed.begin(), keyed.end());
    std::vector<std::uint32_t> used(keyed.size());
    for (std::size_t i = 0; i < keyed.size(); ++i) used[i] = static_cast<std::uint32_t>(keyed[i]);
    if (used.size() < 2) {
        // Two codes of length 1: the used symbol (if any) and a neighbour.
        std::uint32_t a = used.empty() ? 0 : used[0];
        std::uint32_t b = a == 0 ? 1 : 0;
        lengths[a] = 1;
        if (b < n) lengths[b] = 1;
        return lengths;
    }

    // Huffman tree by the two-queue method over the sorted symbols.
    const std::size_t leaves = used.size();
    std::vector<std::uint64_t> weight(2 * leaves);
    std::vector<std::uint32_t> parent(2 * leaves, 0);
    for (std::size_t i = 0; i < leaves; ++i) weight[i] = frequencies[used[i]];
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
    // Depths from the root down (parents always have higher indices).
    std::vector<std::uint32_t> depth(2 * leaves - 1, 0);
    for (std::size_t i = 2 * leaves - 2; i-- > 0;) depth[i] = depth[parent[i]] + 1;

    // Count lengths, clamp to 16, then repair the Kraft sum.
    std::uint32_t count[kMaxCodeLength + 1] = {};
    for (std::size_t i = 0; i < leaves; ++i) ++count[std::min<std::uint32_t>(depth[i], kMaxCodeLength)];
    std::uint32_t kraft = 0;
    for (int len = 1; len <= kMaxCodeLength; ++len) kraft += count[len] << (kMaxCodeLength - len);
    while (kraft > (1u << kMaxCodeLength)) {
        // Move one code from length 16 under a shorter leaf that is split in two.
        --count[kMaxCodeLength];
        for (int len = kMaxCodeLength - 1; len > 0; --len) {
            if (count[len]) {
                --count[len];
                count[len + 1] += 2;
                break;
            }
        }
        --kraft;
    }
    // Longest codes to the rarest symbols (used[] is sorted by rising frequency).
    std::size_t next = 0;
    for (int len = kMaxCodeLength; len >= 1; --len)
        for (std::uint32_t k = 0; k < count[len]; ++k) lengths[used[next++]] = static_cast<std::uint8_t>(len);
    return lengths;
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

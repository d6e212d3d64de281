#include "archiver/codec/huffman.h"

#include <algorithm>
#include <utility>

namespace lzh {

namespace {

// The used symbols by rising frequency, ties by symbol: a stable radix sort
// on the frequency, a byte at a time (few branches to mispredict, unlike a
// comparison sort). Sorts in `used` or `spare` and returns which.
std::uint32_t* usedByFrequency(const std::uint32_t* frequencies, std::size_t n, std::uint32_t* used,
                               std::uint32_t* spare, std::size_t& count) {
    std::size_t m = 0;
    std::uint32_t most = 0;
    for (std::uint32_t s = 0; s < n; ++s) {
        if (!frequencies[s]) continue;
        used[m++] = s;
        most = std::max(most, frequencies[s]);
    }
    for (unsigned shift = 0; shift < 32 && (most >> shift) != 0; shift += 8) {
        std::uint32_t start[257] = {};
        for (std::size_t i = 0; i < m; ++i) ++start[((frequencies[used[i]] >> shift) & 0xFF) + 1];
        for (int d = 0; d < 256; ++d) start[d + 1] += start[d];
        for (std::size_t i = 0; i < m; ++i) spare[start[(frequencies[used[i]] >> shift) & 0xFF]++] = used[i];
        std::swap(used, spare);
    }
    count = m;
    return used;
}

// Huffman code lengths, limited to `limit` (at most 16, and raised to the
// least that holds the used symbols), into `lengths` (zeroed). `scratch`
// holds 2 * n symbols, `weight` and `parent` 2 * n nodes each.
void buildLengths(const std::uint32_t* frequencies, std::size_t n, std::uint8_t* lengths, std::uint32_t* scratch,
                  std::uint64_t* weight, std::uint32_t* parent, int limit) {
    std::size_t leaves = 0;
    const std::uint32_t* used = usedByFrequency(frequencies, n, scratch, scratch + n, leaves);
    limit = std::clamp(limit, 1, kMaxCodeLength);
    while (limit < kMaxCodeLength && (std::size_t{1} << limit) < leaves) ++limit;
    if (leaves < 2) {
        // Two codes of length 1: the used symbol (if any) and a neighbour.
        std::uint32_t a = leaves == 0 ? 0 : used[0];
        std::uint32_t b = a == 0 ? 1 : 0;
        lengths[a] = 1;
        if (b < n) lengths[b] = 1;
        return;
    }

    // Huffman tree by the two-queue method over the sorted symbols.
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
    // Depths from the root down (parents always have higher indices); the
    // weights are no longer needed and hold them.
    std::uint64_t* depth = weight;
    depth[2 * leaves - 2] = 0;
    for (std::size_t i = 2 * leaves - 2; i-- > 0;) depth[i] = depth[parent[i]] + 1;

    // Count lengths, clamp to the limit, then repair the Kraft sum.
    std::uint32_t count[kMaxCodeLength + 1] = {};
    for (std::size_t i = 0; i < leaves; ++i) ++count[std::min<std::uint64_t>(depth[i], limit)];
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
    // Longest codes to the rarest symbols (used[] is sorted by rising frequency).
    std::size_t next = 0;
    for (int len = limit; len >= 1; --len)
        for (std::uint32_t k = 0; k < count[len]; ++k) lengths[used[next++]] = static_cast<std::uint8_t>(len);
}

}  // namespace

std::vector<std::uint8_t> codeLengths(const std::vector<std::uint32_t>& frequencies, int limit) {
    const std::size_t n = frequencies.size();
    std::vector<std::uint8_t> lengths(n, 0);
    // Work space on the stack for the tables of the format (at most 510 symbols).
    constexpr std::size_t kOnStack = 512;
    if (n <= kOnStack) {
        std::uint32_t scratch[2 * kOnStack], parent[2 * kOnStack];
        std::uint64_t weight[2 * kOnStack];
        buildLengths(frequencies.data(), n, lengths.data(), scratch, weight, parent, limit);
    } else {
        std::vector<std::uint32_t> scratch(2 * n), parent(2 * n);
        std::vector<std::uint64_t> weight(2 * n);
        buildLengths(frequencies.data(), n, lengths.data(), scratch.data(), weight.data(), parent.data(), limit);
    }
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

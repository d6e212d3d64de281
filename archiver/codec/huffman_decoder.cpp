#include "archiver/codec/huffman_decoder.h"

#include "archiver/codec/huffman.h"

namespace lzh {

bool HuffmanDecoder::build(const std::vector<std::uint8_t>& lengths) {
    singleSymbol_ = -1;
    if (!isCompleteCode(lengths)) return false;
    std::fill(std::begin(count_), std::end(count_), 0);
    for (std::uint8_t len : lengths) ++count_[len];
    count_[0] = 0;
    std::uint32_t code = 0, index = 0;
    for (int len = 1; len <= 16; ++len) {
        code = (code + count_[len - 1]) << 1;
        firstCode_[len] = code;
        firstIndex_[len] = index;
        index += count_[len];
    }
    sorted_.assign(index, 0);
    std::uint32_t next[17];
    std::copy(std::begin(firstIndex_), std::end(firstIndex_), std::begin(next));
    for (std::size_t s = 0; s < lengths.size(); ++s)
        if (lengths[s]) sorted_[next[lengths[s]]++] = static_cast<std::uint16_t>(s);

    lookup_.assign(std::size_t{1} << kLookupBits, Entry{0, 0});
    const std::vector<std::uint16_t> codes = canonicalCodes(lengths);
    for (std::size_t s = 0; s < lengths.size(); ++s) {
        unsigned len = lengths[s];
        if (len == 0 || len > kLookupBits) continue;
        std::uint32_t first = static_cast<std::uint32_t>(codes[s]) << (kLookupBits - len);
        for (std::uint32_t k = 0; k < (1u << (kLookupBits - len)); ++k)
            lookup_[first + k] = Entry{static_cast<std::uint16_t>(s), static_cast<std::uint8_t>(len)};
    }
    return true;
}

void HuffmanDecoder::single(std::uint16_t symbol) { singleSymbol_ = symbol; }

std::uint16_t HuffmanDecoder::decode(BitReader& in) const {
    if (singleSymbol_ >= 0) return static_cast<std::uint16_t>(singleSymbol_);
    const std::uint32_t bits = in.peek(16);
    const Entry& e = lookup_[bits >> (16 - kLookupBits)];
    if (e.length) {
        in.skip(e.length);
        return e.symbol;
    }
    for (unsigned len = kLookupBits + 1; len <= 16; ++len) {
        std::uint32_t code = bits >> (16 - len);
        if (code - firstCode_[len] < count_[len]) {
            in.skip(len);
            return sorted_[firstIndex_[len] + code - firstCode_[len]];
        }
    }
    in.skip(16);   // unreachable for a complete code
    return 0;
}

}  // namespace lzh

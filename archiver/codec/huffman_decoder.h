#pragma once

#include "archiver/codec/bit_reader.h"

#include <cstdint>
#include <vector>

namespace lzh {

// Decodes one canonical Huffman code: a lookup table for short codes, a
// walk by length for the rest.
class HuffmanDecoder {
public:
    // False when the lengths are no complete prefix code of lengths <= 16.
    bool build(const std::vector<std::uint8_t>& lengths);
    // A code of one symbol and no bits (the single-symbol table form).
    void single(std::uint16_t symbol);
    std::uint16_t decode(BitReader& in) const;

private:
    static constexpr unsigned kLookupBits = 10;
    struct Entry {
        std::uint16_t symbol;
        std::uint8_t length;   // 0: longer than kLookupBits
    };
    std::vector<Entry> lookup_;
    std::vector<std::uint16_t> sorted_;   // symbols by code length, then symbol
    std::uint32_t count_[17] = {};
    std::uint32_t firstCode_[17] = {};
    std::uint32_t firstIndex_[17] = {};
    int singleSymbol_ = -1;
};

}  // namespace lzh

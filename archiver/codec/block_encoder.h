#pragma once

#include "archiver/codec/bit_writer.h"
#include "archiver/codec/method.h"

#include <bit>
#include <cstdint>
#include <vector>

namespace lzh {

// Collects the symbols of one block (literals and matches) and writes the
// block: symbol count, the T, C and P tables, then the symbols.
class BlockEncoder {
public:
    explicit BlockEncoder(const MethodParameters& params);

    // Symbols go into room kept ahead (grown out of line), so that adding
    // one is a store and a count.
    void literal(std::uint8_t byte) {
        if (count_ == symbols_.size()) [[unlikely]] grow();
        symbols_[count_++] = byte;
        ++codeFrequency_[byte];
    }
    // A match of length 3..256 at distance 1..2^dictionaryBits.
    void match(unsigned length, unsigned distance) {
        if (count_ == symbols_.size()) [[unlikely]] grow();
        if (matchCount_ == distances_.size()) [[unlikely]] growDistances();
        const auto symbol = static_cast<std::uint16_t>(length - kMinMatch + kLiterals);
        symbols_[count_++] = symbol;
        ++codeFrequency_[symbol];
        distances_[matchCount_++] = distance - 1;
        ++offsetFrequency_[offsetClass(distance - 1)];
    }
    std::size_t symbolCount() const { return count_; }
    bool empty() const { return count_ == 0; }

    // Moves the symbols of `other` to the end of this block.
    void append(BlockEncoder& other);
    // Drops the symbols.
    void clear();
    // Bits of this block (tables included), or of one block that would hold
    // this one's symbols and then `other`'s, with Huffman's code lengths;
    // and, when asked, those lengths (0 for unused symbols). The writer may
    // cut the C lengths where that saves table bits: it writes at most this.
    std::uint64_t bits(const BlockEncoder* other = nullptr, std::vector<std::uint8_t>* code = nullptr,
                       std::vector<std::uint8_t>* offset = nullptr) const;
    // Bits of this block as write() writes it.
    std::uint64_t writtenBits() const;

    // Writes the block and starts a new, empty one.
    void write(BitWriter& out);

    // Code lengths of the last block written (0 for symbols it did not
    // use), and the mean length of its literals: the price list of the next block.
    const std::vector<std::uint8_t>& lastCodeLengths() const { return lastCodeLengths_; }
    const std::vector<std::uint8_t>& lastOffsetLengths() const { return lastOffsetLengths_; }
    double lastLiteralBits() const { return lastLiteralBits_; }

    // Bit length of p (0 for p = 0).
    static unsigned offsetClass(std::uint32_t p) { return static_cast<unsigned>(std::bit_width(p)); }
    // Bits after an offset class's code: p less its leading one.
    static unsigned offsetExtraBits(unsigned offsetClass) { return offsetClass > 1 ? offsetClass - 1 : 0; }

private:
    std::uint64_t bitsWith(const std::vector<std::uint32_t>& code, const std::vector<std::uint32_t>& offset,
                           const std::vector<std::uint8_t>& cLengths, const std::vector<std::uint8_t>& pLengths) const;
    void writeTableLengths(BitWriter& out, const std::vector<std::uint8_t>& lengths, unsigned countBits,
                           int skipAfter);
    void writeCodeLengths(BitWriter& out, const std::vector<std::uint8_t>& codeLengths,
                          const std::vector<std::uint8_t>& tLengths, const std::vector<std::uint16_t>& tCodes);

    void grow();
    void growDistances();

    MethodParameters params_;
    std::vector<std::uint16_t> symbols_;     // the first count_ are the block's
    std::vector<std::uint32_t> distances_;   // distance - 1 of each match, the first matchCount_
    std::size_t count_ = 0;
    std::size_t matchCount_ = 0;
    std::vector<std::uint32_t> codeFrequency_;
    std::vector<std::uint32_t> offsetFrequency_;
    std::vector<std::uint8_t> lastCodeLengths_;
    std::vector<std::uint8_t> lastOffsetLengths_;
    double lastLiteralBits_ = 8.0;
};

}  // namespace lzh

#pragma once

#include "archiver/codec/bit_writer.h"
#include "archiver/codec/method.h"

#include <cstdint>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace lzh {

// Leaves the elements a vector grows by uninitialised: a block's symbols
// are written before they are read, and a new encoder (one per file) need
// not clear room it may never use.
template <typename T>
struct UninitialisedAllocator : std::allocator<T> {
    template <typename U>
    struct rebind {
        using other = UninitialisedAllocator<U>;
    };
    UninitialisedAllocator() = default;
    template <typename U>
    UninitialisedAllocator(const UninitialisedAllocator<U>&) noexcept {}
    template <typename U>
    void construct(U* p) noexcept {
        ::new (static_cast<void*>(p)) U;
    }
    template <typename U, typename... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};

// Collects the symbols of one block (literals and matches) and writes the
// block: symbol count, the T, C and P tables, then the symbols.
class BlockEncoder {
public:
    explicit BlockEncoder(const MethodParameters& params);

    // Symbols go into room kept ahead (grown out of line), so that adding
    // one is a store and a count.
    void literal(std::uint8_t byte) {
        if (count_ == symbolRoom_) [[unlikely]] grow();
        symbols_[count_++] = byte;
        ++codeFrequency_[byte];
    }
    // A match of length 3..256 at distance 1..2^dictionaryBits.
    void match(unsigned length, unsigned distance) {
        if (count_ == symbolRoom_) [[unlikely]] grow();
        if (matchCount_ == distanceRoom_) [[unlikely]] growDistances();
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

    // Bit length of p (0 for p = 0): the highest bit of 2p + 1, which is
    // never 0, so that no branch is needed for p = 0 (std::bit_width has one).
    static unsigned offsetClass(std::uint32_t p) {
        return static_cast<unsigned>(63 - __builtin_clzll(2 * std::uint64_t{p} + 1));
    }
    // Bits after an offset class's code: p less its leading one.
    static unsigned offsetExtraBits(unsigned offsetClass) { return offsetClass > 1 ? offsetClass - 1 : 0; }

    // Offset classes a method may have, at most.
    static constexpr std::size_t kMaxOffsetCodes = 32;

private:
    // Bits of the block's counts: the symbols', the T, C and P tables' and
    // the 2-bit count of zeros skipped in the T table.
    std::uint64_t countBits() const {
        return 16 + kCodeBits + static_cast<unsigned>(params_.offsetBits) + kTableBits + 2;
    }
    std::uint64_t bitsWith(const std::vector<std::uint32_t>& code, const std::vector<std::uint32_t>& offset,
                           const std::vector<std::uint8_t>& cLengths, const std::vector<std::uint8_t>& pLengths) const;
    void writeTableLengths(BitWriter& out, const std::vector<std::uint8_t>& lengths, unsigned countBits,
                           int skipAfter);
    void writeCodeLengths(BitWriter& out, const std::vector<std::uint8_t>& codeLengths,
                          const std::vector<std::uint8_t>& tLengths, const std::vector<std::uint16_t>& tCodes);

    void grow();
    void growDistances();

    MethodParameters params_;
    std::vector<std::uint16_t, UninitialisedAllocator<std::uint16_t>> symbols_;     // the first count_ are the block's
    std::vector<std::uint32_t, UninitialisedAllocator<std::uint32_t>> distances_;   // distance - 1 of each match, the first matchCount_
    std::size_t count_ = 0;
    std::size_t matchCount_ = 0;
    // The sizes of symbols_ and distances_, held apart: a vector's size is
    // two loads and a division, and every symbol added asks for it.
    std::size_t symbolRoom_ = 0;
    std::size_t distanceRoom_ = 0;
    std::vector<std::uint32_t> codeFrequency_;
    std::vector<std::uint32_t> offsetFrequency_;
    std::vector<std::uint8_t> lastCodeLengths_;
    std::vector<std::uint8_t> lastOffsetLengths_;
    double lastLiteralBits_ = 8.0;
};

}  // namespace lzh

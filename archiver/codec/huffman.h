#pragma once

#include <cstdint>
#include <vector>

namespace lzh {

constexpr int kMaxCodeLength = 16;

// Code lengths (at most `limit`, or as few bits as the used symbols need if
// that is more) for the given symbol frequencies, forming a complete prefix
// code. Fewer than two used symbols are padded to two codes of length 1,
// since single-symbol tables trip some readers.
std::vector<std::uint8_t> codeLengths(const std::vector<std::uint32_t>& frequencies, int limit = kMaxCodeLength);
// The same for the n frequencies at `frequencies`, into `lengths` (n of
// them, written whole); returns the bits of the symbols coded by them,
// which the tree gives for little more than it costs to lay them out.
std::uint64_t codeLengths(const std::uint32_t* frequencies, std::size_t n, std::uint8_t* lengths,
                          int limit = kMaxCodeLength);

// How many codes of each length (1 to 16) a code has.
struct LengthCounts {
    std::uint32_t count[kMaxCodeLength + 1] = {};
};

struct HuffmanDepths;

// Code lengths for one set of frequencies under any limit, as codeLengths
// gives them: the Huffman tree is built once, and each limit only clamps
// its depths. A limit can be weighed by its counts alone, before any
// lengths are laid out.
class LimitedCodeLengths {
public:
    explicit LimitedCodeLengths(const std::vector<std::uint32_t>& frequencies);

    LengthCounts counts(int limit = kMaxCodeLength) const;
    std::vector<std::uint8_t> lengths(const LengthCounts& counts) const;
    // Bits of the symbols at `frequencies` (the ones given to the
    // constructor) coded by those counts.
    std::uint64_t codeBits(const LengthCounts& counts, const std::vector<std::uint32_t>& frequencies) const;

private:
    HuffmanDepths tree() const;

    std::size_t size_;
    std::vector<std::uint32_t> rarestFirst_;                // the used symbols
    std::uint32_t depthCount_[kMaxCodeLength + 2] = {};   // leaves per depth, past 16 at 17
};

// Canonical codes for the lengths: shorter codes first, then by symbol.
std::vector<std::uint16_t> canonicalCodes(const std::vector<std::uint8_t>& lengths);

// Whether the lengths form a complete prefix code (Kraft sum exactly 1), all <= 16.
bool isCompleteCode(const std::vector<std::uint8_t>& lengths);

}  // namespace lzh

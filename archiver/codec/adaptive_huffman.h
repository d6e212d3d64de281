#pragma once

#include "archiver/codec/bit_reader.h"

#include <cstdint>
#include <vector>

namespace lzh {

// The adaptive Huffman code of -lh1-: every symbol starts with count 1;
// after each symbol its count grows and the tree is reordered so that
// counts never decrease along the node order; at the count limit all counts
// are halved and the tree rebuilt.
class AdaptiveHuffman {
public:
    explicit AdaptiveHuffman(unsigned symbols);
    unsigned decode(BitReader& in);

private:
    void update(unsigned symbol);
    void rebuild();

    unsigned symbols_, nodes_, root_;
    std::vector<std::uint32_t> count_;   // per node, plus a guard
    std::vector<std::uint32_t> parent_;  // per node, and per leaf at nodes_ + symbol
    std::vector<std::uint32_t> child_;   // per node: its first child, or nodes_ + symbol for a leaf
};

}  // namespace lzh

#include "archiver/codec/adaptive_huffman.h"

namespace lzh {
namespace {

constexpr std::uint32_t kCountLimit = 0x8000;

}  // namespace

AdaptiveHuffman::AdaptiveHuffman(unsigned symbols)
    : symbols_(symbols), nodes_(2 * symbols - 1), root_(nodes_ - 1), count_(nodes_ + 1),
      parent_(nodes_ + symbols), child_(nodes_) {
    for (unsigned i = 0; i < symbols_; ++i) {
        count_[i] = 1;
        child_[i] = i + nodes_;
        parent_[i + nodes_] = i;
    }
    for (unsigned i = 0, j = symbols_; j <= root_; i += 2, ++j) {
        count_[j] = count_[i] + count_[i + 1];
        child_[j] = i;
        parent_[i] = parent_[i + 1] = j;
    }
    count_[nodes_] = 0xFFFF;
    parent_[root_] = 0;
}

void AdaptiveHuffman::rebuild() {
    // Gather the leaves with halved counts, then pair them again in order.
    unsigned j = 0;
    for (unsigned i = 0; i < nodes_; ++i) {
        if (child_[i] >= nodes_) {
            count_[j] = (count_[i] + 1) / 2;
            child_[j] = child_[i];
            ++j;
        }
    }
    for (unsigned i = 0, node = symbols_; node < nodes_; i += 2, ++node) {
        const std::uint32_t sum = count_[i] + count_[i + 1];
        unsigned k = node - 1;
        while (sum < count_[k]) --k;
        ++k;
        for (unsigned m = node; m > k; --m) {
            count_[m] = count_[m - 1];
            child_[m] = child_[m - 1];
        }
        count_[k] = sum;
        child_[k] = i;
    }
    for (unsigned i = 0; i < nodes_; ++i) {
        const unsigned c = child_[i];
        if (c >= nodes_) parent_[c] = i;
        else parent_[c] = parent_[c + 1] = i;
    }
}

void AdaptiveHuffman::update(unsigned symbol) {
    if (count_[root_] == kCountLimit) rebuild();
    unsigned c = parent_[symbol + nodes_];
    do {
        const std::uint32_t k = ++count_[c];
        unsigned l = c + 1;
        if (k > count_[l]) {
            while (k > count_[++l]) {}
            --l;
            count_[c] = count_[l];
            count_[l] = k;
            const unsigned i = child_[c];
            parent_[i] = l;
            if (i < nodes_) parent_[i + 1] = l;
            const unsigned j = child_[l];
            child_[l] = i;
            parent_[j] = c;
            if (j < nodes_) parent_[j + 1] = c;
            child_[c] = j;
            c = l;
        }
        c = parent_[c];
    } while (c != 0);
}

unsigned AdaptiveHuffman::decode(BitReader& in) {
    unsigned c = child_[root_];
    while (c < nodes_) c = child_[c + in.get(1)];
    c -= nodes_;
    update(c);
    return c;
}

}  // namespace lzh

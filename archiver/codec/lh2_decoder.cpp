#include "archiver/codec/old_decoders.h"
#include "archiver/codec/window.h"

#include <array>
#include <memory>

namespace lzh {
namespace {

// -lh2-: two adaptive Huffman trees in one node array, nodes ordered by
// falling count (the root first). Equal counts form blocks whose leader
// (lowest index) is swapped with a node before its count grows, as in the
// FGK method. The distance tree starts with one code and gains a code for
// each further 64 bytes of output.
constexpr int kSymbols = 286;                    // literals, lengths 3..31, an escape
constexpr int kEscape = kSymbols - 1;
constexpr int kLeafSlots = 256 + 60 - kMinMatch + 1;   // room for the leaves of the first tree
constexpr int kRootC = 0;
constexpr int kRootP = kLeafSlots * 2;
constexpr int kNodes = kRootP + 128 * 2;
constexpr unsigned kWindow = 8192;
constexpr std::uint32_t kCountLimit = 0x8000;

class DynamicTrees {
public:
    DynamicTrees() {
        for (int i = 0; i < kNodes; ++i) {
            stock_[i] = i;
            block_[i] = 0;
        }
        int j = kSymbols * 2 - 2;
        for (int i = 0; i < kSymbols; ++i, --j) {
            count_[j] = 1;
            child_[j] = ~i;
            leaf_[i] = j;
            block_[j] = 1;
        }
        avail_ = 2;
        edge_[1] = kSymbols - 1;
        int i = kSymbols * 2 - 2;
        while (j >= 0) {
            const std::uint32_t f = count_[j] = count_[i] + count_[i - 1];
            child_[j] = i;
            parent_[i] = parent_[i - 1] = j;
            if (f == count_[j + 1]) edge_[block_[j] = block_[j + 1]] = j;
            else edge_[block_[j] = stock_[avail_++]] = j;
            i -= 2;
            --j;
        }
        count_[kRootP] = 1;
        child_[kRootP] = ~kLeafSlots;
        leaf_[kLeafSlots] = kRootP;
        edge_[block_[kRootP] = stock_[avail_++]] = kRootP;
        lastP_ = kRootP;
    }

    unsigned decodeSymbol(BitReader& in) {
        int c = child_[kRootC];
        while (c > 0) c = child_[c - static_cast<int>(in.get(1))];
        c = ~c;
        updateC(c);
        return static_cast<unsigned>(c);
    }

    unsigned decodeUpper(BitReader& in, std::uint64_t produced) {
        while (produced > nextCount_) {
            addPosition(static_cast<int>(nextCount_ / 64));
            nextCount_ += 64;
            if (nextCount_ >= kWindow) nextCount_ = ~std::uint64_t{0};
        }
        int c = child_[kRootP];
        while (c > 0) c = child_[c - static_cast<int>(in.get(1))];
        c = ~c - kLeafSlots;
        updateP(c);
        return static_cast<unsigned>(c);
    }

private:
    // Halves the counts of the nodes start..end-1 and rebuilds that tree.
    void rebuild(int start, int end) {
        int j = start;
        int b = 0;
        for (int i = start; i < end; ++i) {
            const int k = child_[i];
            if (k < 0) {
                count_[j] = (count_[i] + 1) / 2;
                child_[j] = k;
                ++j;
            }
            if (edge_[b = block_[i]] == i) stock_[--avail_] = b;
        }
        --j;
        int i = end - 1, l = end - 2;
        while (i >= start) {
            while (i >= l) {
                count_[i] = count_[j];
                child_[i] = child_[j];
                --i, --j;
            }
            const std::uint32_t f = count_[l] + count_[l + 1];
            int k = start;
            while (f < count_[k]) ++k;
            while (j >= k) {
                count_[i] = count_[j];
                child_[i] = child_[j];
                --i, --j;
            }
            count_[i] = f;
            child_[i] = l + 1;
            --i;
            l -= 2;
        }
        std::uint32_t f = 0;
        for (i = end - 1; i >= start; --i) {
            j = child_[i];
            if (j < 0) leaf_[~j] = i;
            else parent_[j] = parent_[j - 1] = i;
            const std::uint32_t g = count_[i];
            if (g == f) {
                edge_[block_[i] = b] = i;   // the block's leader is its lowest index
            } else {
                edge_[b = block_[i] = stock_[avail_++]] = i;
                f = g;
            }
        }
    }

    // Raises the count of node p, keeping the order; returns its parent.
    int raise(int p) {
        const int b = block_[p];
        const int q = edge_[b];
        if (q != p) {
            const int r = child_[p], s = child_[q];
            child_[p] = s;
            child_[q] = r;
            if (r >= 0) parent_[r] = parent_[r - 1] = q;
            else leaf_[~r] = q;
            if (s >= 0) parent_[s] = parent_[s - 1] = p;
            else leaf_[~s] = p;
            p = q;
            leaveBlock(p, b);
        } else if (b == block_[p + 1]) {
            leaveBlock(p, b);
        } else if (++count_[p] == count_[p - 1]) {
            stock_[--avail_] = b;
            block_[p] = block_[p - 1];
        }
        return parent_[p];
    }
    void leaveBlock(int p, int b) {
        ++edge_[b];
        if (++count_[p] == count_[p - 1]) block_[p] = block_[p - 1];
        else edge_[block_[p] = stock_[avail_++]] = p;
    }

    void updateC(int symbol) {
        if (count_[kRootC] == kCountLimit) rebuild(0, kSymbols * 2 - 1);
        ++count_[kRootC];
        int q = leaf_[symbol];
        do q = raise(q);
        while (q != kRootC);
    }

    void updateP(int position) {
        if (totalP_ == kCountLimit) {
            rebuild(kRootP, lastP_ + 1);
            totalP_ = count_[kRootP];
            count_[kRootP] = 0xFFFF;
        }
        int q = leaf_[position + kLeafSlots];
        while (q != kRootP) q = raise(q);
        ++totalP_;
    }

    // Splits the last leaf of the distance tree to make room for `position`.
    void addPosition(int position) {
        const int r = lastP_ + 1, q = r + 1;
        leaf_[~(child_[r] = child_[lastP_])] = r;
        child_[q] = ~(position + kLeafSlots);
        child_[lastP_] = q;
        count_[r] = count_[lastP_];
        count_[q] = 0;
        block_[r] = block_[lastP_];
        if (lastP_ == kRootP) {
            count_[kRootP] = 0xFFFF;
            ++edge_[block_[kRootP]];
        }
        parent_[r] = parent_[q] = lastP_;
        edge_[block_[q] = stock_[avail_++]] = leaf_[position + kLeafSlots] = lastP_ = q;
        updateP(position);
    }

    std::array<int, kNodes> child_{}, parent_{}, block_{}, edge_{}, stock_{};
    std::array<std::uint32_t, kNodes + 1> count_{};
    std::array<int, kNodes / 2> leaf_{};
    int avail_ = 0, lastP_ = 0;
    std::uint32_t totalP_ = 0;
    std::uint64_t nextCount_ = 64;
};

}  // namespace

std::string decodeLh2(BitReader& in, std::uint64_t originalSize, const Decoder::Sink& sink) {
    Window window(kWindow, originalSize, sink);
    auto trees = std::make_unique<DynamicTrees>();
    std::uint64_t produced = 0;
    while (!window.done() && !in.overrun() && !window.failed()) {
        unsigned symbol = trees->decodeSymbol(in);
        if (symbol < kLiterals) {
            window.put(static_cast<std::uint8_t>(symbol));
            ++produced;
            continue;
        }
        if (symbol == kEscape) symbol += in.get(8);
        const unsigned length = symbol - kLiterals + kMinMatch;
        const unsigned upper = trees->decodeUpper(in, produced);
        const std::size_t distance = ((std::size_t{upper} << 6) | in.get(6)) + 1;
        window.copyBack(distance, length);
        produced += length;
    }
    if (!window.flush()) return "output failed";
    if (in.overrun()) return "truncated data";
    return {};
}

}  // namespace lzh

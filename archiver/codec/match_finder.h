#pragma once

#include <cstdint>
#include <memory>

namespace lzh {

struct Match {
    unsigned length;
    unsigned distance;
};

// Binary-tree match finder over a caller's window: one tree per hash of the
// first three bytes, ordered by the strings that start at its positions
// (newest at the root). One walk down a tree both finds the matches at a
// position and puts the position in as the new root, so the positions must
// be visited in order, each once.
class MatchFinder {
public:
    // hashBits: size of the root table; cyclicSize: positions the trees
    // keep (a power of two, more than the largest distance).
    MatchFinder(int hashBits, std::int64_t cyclicSize);

    // Puts pos in its tree and writes the matches there to out: rising
    // lengths, each the nearest of its length, at most `limit` long (a match
    // of `limit` ends the walk) and at most maxDistance back. At most
    // `depth` nodes are visited. Three bytes from pos must be held.
    unsigned findAndInsert(const std::uint8_t* window, std::int64_t pos, unsigned limit, std::int64_t maxDistance,
                           int depth, Match* out) {
        return walk<true>(window, pos, limit, maxDistance, depth, out);
    }
    // The same walk, when the matches are not wanted.
    void insert(const std::uint8_t* window, std::int64_t pos, unsigned limit, std::int64_t maxDistance, int depth) {
        walk<false>(window, pos, limit, maxDistance, depth, nullptr);
    }

    // The window dropped its first `shift` bytes: positions move down,
    // those that fall off are forgotten.
    void rebase(std::int64_t shift);

private:
    template <bool kReport>
    unsigned walk(const std::uint8_t* window, std::int64_t pos, unsigned limit, std::int64_t maxDistance, int depth,
                  Match* out);

    // The root table's slot for the three bytes at `at`.
    std::uint32_t rootSlot(const std::uint8_t* at) const {
        const std::uint32_t three = at[0] | (at[1] << 8) | (at[2] << 16);
        return (three * 2654435761u) >> (32 - hashBits_);
    }
    int hashBits_;
    std::int64_t mask_;
    std::unique_ptr<std::int32_t[]> head_;   // root of each tree
    std::unique_ptr<std::int32_t[]> son_;    // per position slot: smaller, larger subtree
};

}  // namespace lzh

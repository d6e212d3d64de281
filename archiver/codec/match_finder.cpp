#include "archiver/codec/match_finder.h"

#include "archiver/codec/match_length.h"
#include "archiver/codec/method.h"

#include <algorithm>

namespace lzh {
namespace {

constexpr std::int32_t kNone = -1;

}  // namespace

MatchFinder::MatchFinder(int hashBits, std::int64_t cyclicSize)
    : hashBits_(hashBits),
      mask_(cyclicSize - 1),
      head_(new std::int32_t[std::size_t{1} << hashBits]),
      son_(new std::int32_t[static_cast<std::size_t>(2 * cyclicSize)]) {
    std::fill_n(head_.get(), std::size_t{1} << hashBits_, kNone);
    std::fill_n(son_.get(), 2 * cyclicSize, kNone);
}

template <bool kReport>
unsigned MatchFinder::walk(const std::uint8_t* window, std::int64_t pos, unsigned limit, std::int64_t maxDistance,
                           int depth, Match* out) {
    const std::uint8_t* here = window + pos;
    const std::uint32_t h = rootSlot(here);
    std::int32_t candidate = head_[h];
    head_[h] = static_cast<std::int32_t>(pos);
    // The next position's root, asked for now: the walk starts there, and
    // the table is too large to stay near.
    __builtin_prefetch(&head_[rootSlot(here + 1)], 1);

    // The new root's subtrees: `smaller` gathers the nodes whose strings sort
    // below the new one, `larger` those above. Each candidate seen shares at
    // least min(smallerLength, largerLength) bytes with the new string.
    std::int32_t* smaller = &son_[static_cast<std::size_t>(2 * (pos & mask_))];
    std::int32_t* larger = smaller + 1;
    unsigned smallerLength = 0, largerLength = 0;
    unsigned best = kMinMatch - 1, count = 0;
    for (;;) {
        const std::int64_t distance = pos - candidate;
        if (candidate == kNone || distance > maxDistance || depth-- <= 0) {
            *smaller = *larger = kNone;
            return count;
        }
        std::int32_t* pair = &son_[static_cast<std::size_t>(2 * (candidate & mask_))];
        const std::uint8_t* there = window + candidate;
        unsigned length = std::min(smallerLength, largerLength);
        length += commonLength(there + length, here + length, limit - length);
        if (length > best) {
            best = length;
            if constexpr (kReport) out[count++] = Match{length, static_cast<unsigned>(distance)};
            if (length >= limit) {
                // Equal as far as the trees look: the candidate's subtrees
                // become the new root's, and the candidate drops out.
                *smaller = pair[0];
                *larger = pair[1];
                return count;
            }
        }
        if (length < limit && there[length] < here[length]) {
            *smaller = candidate;
            smaller = &pair[1];
            candidate = *smaller;
            smallerLength = length;
        } else {
            *larger = candidate;
            larger = &pair[0];
            candidate = *larger;
            largerLength = length;
        }
    }
}

template unsigned MatchFinder::walk<true>(const std::uint8_t*, std::int64_t, unsigned, std::int64_t, int, Match*);
template unsigned MatchFinder::walk<false>(const std::uint8_t*, std::int64_t, unsigned, std::int64_t, int, Match*);

void MatchFinder::rebase(std::int64_t shift) {
    auto move = [shift](std::int32_t& p) { p = p >= shift ? static_cast<std::int32_t>(p - shift) : kNone; };
    std::for_each(head_.get(), head_.get() + (std::size_t{1} << hashBits_), move);
    std::for_each(son_.get(), son_.get() + 2 * (mask_ + 1), move);
}

}  // namespace lzh

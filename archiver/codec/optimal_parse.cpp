// The optimal parse: for each stretch of input, the matches at every
// position are gathered, then the cheapest way through the stretch by the
// prices of the last block is found (shortest path), and emitted.
#include "archiver/codec/encoder.h"

#include "archiver/codec/match_length.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace lzh {
namespace {

constexpr std::int64_t kStretch = 4096;
constexpr std::int64_t kSlideMask = Encoder::kChainSlots - 1;
constexpr std::int32_t kNone = -1;
constexpr unsigned kMaxCandidates = 16;
constexpr unsigned kDenseLengths = 8;

}  // namespace

unsigned Encoder::matchesAt(std::int64_t pos, unsigned limit, unsigned* lengths, unsigned* distances) const {
    if (limit < kMinMatch) return 0;
    const std::int64_t maxDistance = std::int64_t{1} << params_.dictionaryBits;
    const std::uint8_t* here = window_.get() + pos;
    const unsigned nice = std::min<unsigned>(static_cast<unsigned>(effort_.niceLength), limit);
    unsigned best = kMinMatch - 1, count = 0;
    int chain = effort_.maxChain;
    // The nearest position with the same three-byte hash, then the chain.
    if (nearest3_ != kNone && pos - nearest3_ > 0 && pos - nearest3_ <= maxDistance) {
        const unsigned length = commonLength(window_.get() + nearest3_, here, limit);
        if (length >= kMinMatch) {
            best = length;
            lengths[0] = length;
            distances[0] = static_cast<unsigned>(pos - nearest3_);
            count = 1;
            if (length >= nice) return count;
        }
    }
    std::int32_t candidate = prev_[pos & kSlideMask];
    while (candidate != kNone && chain-- > 0) {
        const std::int64_t d = pos - candidate;
        if (d > maxDistance || d <= 0) break;
        const std::uint8_t* there = window_.get() + candidate;
        if (there[best] == here[best] && there[0] == here[0] && there[1] == here[1]) {
            const unsigned length = commonLength(there, here, limit);
            if (length > best) {
                best = length;
                if (count == kMaxCandidates) --count;   // keep the longest
                lengths[count] = length;
                distances[count] = static_cast<unsigned>(d);
                ++count;
                if (length >= nice) break;
            }
        }
        candidate = prev_[candidate & kSlideMask];
    }
    return count;
}

void Encoder::processOptimal(bool final) {
    const std::int64_t stop = final ? end_ : end_ - kMaxMatch;
    while (pos_ < stop) {
        const std::int64_t start = pos_;
        const std::int64_t stretchEnd = std::min(start + kStretch, stop);
        const std::size_t size = static_cast<std::size_t>(stretchEnd - start);

        // Matches at every position; inside a match of nice length none are sought.
        matchStart_.assign(size + 1, 0);
        matchData_.clear();
        std::int64_t skipUntil = start;
        unsigned lengths[kMaxCandidates], distances[kMaxCandidates];
        for (std::int64_t i = start; i < stretchEnd; ++i) {
            while (inserted_ <= i && inserted_ + kMinMatch <= end_) insert(inserted_++);
            matchStart_[static_cast<std::size_t>(i - start)] = static_cast<std::uint32_t>(matchData_.size());
            if (i < skipUntil) continue;
            // Matches stay inside the stretch, so that the path ends at its end.
            const unsigned limit = static_cast<unsigned>(std::min<std::int64_t>(stretchEnd - i, kMaxMatch));
            const unsigned n = matchesAt(i, limit, lengths, distances);
            for (unsigned k = 0; k < n; ++k) {
                matchData_.push_back(lengths[k]);
                matchData_.push_back(distances[k]);
            }
            if (n && lengths[n - 1] >= static_cast<unsigned>(effort_.goodLength)) skipUntil = i + lengths[n - 1];
        }
        matchStart_[size] = static_cast<std::uint32_t>(matchData_.size());

        // Cheapest path through the stretch.
        nodes_.assign(size + 1, Node{std::numeric_limits<double>::infinity(), 0, 0});
        nodes_[0].cost = 0;
        for (std::size_t k = 0; k < size; ++k) {
            const double here = nodes_[k].cost;
            const double literal = here + codePrice_[window_[start + static_cast<std::int64_t>(k)]];
            if (literal < nodes_[k + 1].cost) nodes_[k + 1] = Node{literal, 1, 0};
            unsigned shortest = kMinMatch;
            for (std::uint32_t m = matchStart_[k]; m < matchStart_[k + 1]; m += 2) {
                const unsigned longest = matchData_[m], distance = matchData_[m + 1];
                const double offset = offsetPrice_[BlockEncoder::offsetClass(distance - 1)];
                // Every length near the shortest this candidate adds, then
                // only its longest: cutting a long match short rarely pays.
                const unsigned dense = std::min(longest, shortest + kDenseLengths);
                for (unsigned len = shortest; len <= longest; len = len < dense ? len + 1 : (len == longest ? len + 1 : longest)) {
                    const double cost = here + offset + codePrice_[kLiterals + len - kMinMatch];
                    Node& to = nodes_[k + len];
                    if (cost < to.cost) to = Node{cost, len, distance};
                }
                shortest = longest + 1;
            }
        }

        // Walk back from the end (the match table serves as the forward
        // steps), then emit forwards.
        std::size_t k = size;
        while (k > 0) {
            const std::size_t from = k - nodes_[k].length;
            matchStart_[from] = static_cast<std::uint32_t>(k);
            k = from;
        }
        for (std::size_t at = 0; at < size;) {
            const std::size_t next = matchStart_[at];
            const Node& step = nodes_[next];
            if (step.length == 1)
                emitLiteral(window_[start + static_cast<std::int64_t>(at)]);
            else
                emitMatch(step.length, step.distance);
            at = next;
        }
        pos_ = stretchEnd;
    }
}

}  // namespace lzh

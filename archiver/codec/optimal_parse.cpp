// The optimal parse: for each stretch of input, the matches at every
// position are gathered, then the cheapest way through the stretch by the
// prices of the last block is found (shortest path), and emitted.
#include "archiver/codec/encoder.h"

#include "archiver/codec/match_length.h"

#include <algorithm>
#include <limits>

namespace lzh {
namespace {

constexpr std::int64_t kStretch = 4096;
constexpr unsigned kDenseLengths = 8;

}  // namespace

void Encoder::processOptimal(bool final) {
    const std::int64_t stop = final ? end_ : end_ - kMaxMatch;
    if (inserted_ < pos_ && pos_ < stop) skipTo(pos_);   // the primed history
    while (pos_ < stop) {
        const std::int64_t start = pos_;
        const std::int64_t stretchEnd = std::min(start + kStretch, stop);
        const std::size_t size = static_cast<std::size_t>(stretchEnd - start);

        // The matches at every position, cut to end inside the stretch, so
        // that the path ends at its end.
        matchStart_.assign(size + 1, 0);
        matchData_.clear();
        Match found[kMaxMatch];
        for (std::int64_t i = start; i < stretchEnd; ++i) {
            matchStart_[static_cast<std::size_t>(i - start)] = static_cast<std::uint32_t>(matchData_.size());
            const unsigned n = findMatches(effort_.depth, found);
            const unsigned room = static_cast<unsigned>(std::min<std::int64_t>(stretchEnd - i, kMaxMatch));
            for (unsigned k = 0; k < n && found[k].length >= kMinMatch; ++k) {
                if (found[k].length >= room) {
                    if (room >= kMinMatch) matchData_.push_back(Match{room, found[k].distance});
                    break;
                }
                matchData_.push_back(found[k]);
            }
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
            for (std::uint32_t m = matchStart_[k]; m < matchStart_[k + 1]; ++m) {
                const unsigned longest = matchData_[m].length, distance = matchData_[m].distance;
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

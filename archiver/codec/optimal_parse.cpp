// The cheapest-path parse: the input is cut into regions of fixed size, and
// the cheapest way through a region (a shortest path over its positions, a
// literal or a match from each) is found by the prices of the block it
// joins (or of the last one). By default the matches come from the hash chains, and the
// search and the path advance together; at the best effort the matches of
// every position are gathered from the trees first, so that the region can
// be parsed again by the prices its own last parse would give.
#include "archiver/codec/encoder.h"

#include "archiver/codec/huffman.h"
#include "archiver/codec/match_length.h"

#include <algorithm>
#include <limits>

namespace lzh {
namespace {

// Input bytes per region: the path is cut at its end, and a block ends, if
// at all, only there (at most this many symbols, well under a block's 65535).
constexpr std::int64_t kRegion = 8192;
constexpr unsigned kDenseLengths = 8;

// Keeps the matches that fit in the `room` bytes left of the region, the
// one that reaches past it cut to end there.
unsigned fitMatches(Match* found, unsigned n, unsigned room) {
    for (unsigned k = 0; k < n; ++k) {
        if (found[k].length >= room) {
            if (room < kMinMatch) return k;
            found[k].length = room;
            return k + 1;
        }
    }
    return n;
}

}  // namespace

// The prices as floats, each offset class with its extra bits.
struct Encoder::PathPrices {
    float code[kCodeSymbols];
    float offset[32];
    const float* length() const { return code + kLiterals - kMinMatch; }
};

void Encoder::loadPrices(PathPrices& prices) const {
    for (int s = 0; s < kCodeSymbols; ++s) prices.code[s] = static_cast<float>(codePrice_[s]);
    for (std::size_t c = 0; c < offsetPrice_.size(); ++c) prices.offset[c] = static_cast<float>(offsetPrice_[c]);
}

// From position k (reached at its cost): a literal, then the matches there,
// rising in length. Every length near the shortest a match adds is tried,
// then only its longest: cutting a long match short rarely pays.
inline void Encoder::relax(const PathPrices& prices, std::size_t k, std::uint8_t byte, const Match* matches,
                           unsigned count) {
    Node* from = nodes_.data() + k;
    const float here = from->cost;
    const float literal = here + prices.code[byte];
    if (literal < from[1].cost) from[1] = Node{literal, Node::step(1, 0)};
    const float* lengthPrice = prices.length();
    unsigned shortest = kMinMatch;
    for (unsigned m = 0; m < count; ++m) {
        const unsigned longest = matches[m].length, distance = matches[m].distance;
        const float base = here + prices.offset[BlockEncoder::offsetClass(distance - 1)];
        const unsigned dense = std::min(longest, shortest + kDenseLengths);
        for (unsigned len = shortest; len <= dense; ++len) {
            const float cost = base + lengthPrice[len];
            if (cost < from[len].cost) from[len] = Node{cost, Node::step(len, distance)};
        }
        if (longest > dense) {
            const float cost = base + lengthPrice[longest];
            if (cost < from[longest].cost) from[longest] = Node{cost, Node::step(longest, distance)};
        }
        shortest = longest + 1;
    }
}

void Encoder::startPath(std::size_t size) {
    nodes_.assign(size + 1, Node{std::numeric_limits<float>::infinity(), 0});
    nodes_[0].cost = 0;
}

void Encoder::endPath(std::size_t size) {
    // The steps forwards, from the way back.
    steps_.assign(size + 1, 0);
    for (std::size_t k = size; k > 0;) {
        const std::size_t from = k - nodes_[k].length();
        steps_[from] = static_cast<std::uint32_t>(k);
        k = from;
    }
}

void Encoder::searchingPath(std::int64_t start, std::size_t size) {
    PathPrices prices;
    loadPrices(prices);
    startPath(size);
    const std::uint8_t* bytes = window_.get() + start;
    Match found[kMaxMatch];
    // A match of the skip length is not searched inside: the positions in
    // it are only offered its rest.
    const unsigned skip = static_cast<unsigned>(effort_.goodLength);
    std::size_t takenEnd = 0;
    unsigned takenDistance = 0;
    for (std::size_t k = 0; k < size; ++k) {
        const unsigned room = static_cast<unsigned>(std::min<std::size_t>(size - k, kMaxMatch));
        if (k < takenEnd) {
            // Inside a long match: a literal, or the match's rest.
            const std::int64_t at = start + static_cast<std::int64_t>(k);
            if (at + kMinMatch <= end_) insert(at);
            inserted_ = at + 1;
            Node* from = nodes_.data() + k;
            const float literal = from->cost + prices.code[bytes[k]];
            if (literal < from[1].cost) from[1] = Node{literal, Node::step(1, 0)};
            const unsigned rest = static_cast<unsigned>(std::min<std::size_t>(takenEnd - k, room));
            if (rest >= kMinMatch) {
                const float cost = from->cost + prices.offset[BlockEncoder::offsetClass(takenDistance - 1)] +
                                   prices.length()[rest];
                if (cost < from[rest].cost) from[rest] = Node{cost, Node::step(rest, takenDistance)};
            }
            continue;
        }
        unsigned n = findMatches(effort_.depth, found);
        if (n && found[n - 1].length >= skip && k + found[n - 1].length > takenEnd) {
            takenEnd = k + found[n - 1].length;
            takenDistance = found[n - 1].distance;
        }
        n = fitMatches(found, n, room);
        relax(prices, k, bytes[k], found, n);
    }
    endPath(size);
}

void Encoder::gatherMatches(std::size_t size) {
    matchStart_.assign(size + 1, 0);
    matchData_.clear();
    Match found[kMaxMatch];
    for (std::size_t k = 0; k < size; ++k) {
        matchStart_[k] = static_cast<std::uint32_t>(matchData_.size());
        const unsigned room = static_cast<unsigned>(std::min<std::size_t>(size - k, kMaxMatch));
        const unsigned n = fitMatches(found, findMatches(effort_.depth, found), room);
        matchData_.insert(matchData_.end(), found, found + n);
    }
    matchStart_[size] = static_cast<std::uint32_t>(matchData_.size());
}

void Encoder::gatheredPath(std::int64_t start, std::size_t size) {
    PathPrices prices;
    loadPrices(prices);
    startPath(size);
    const std::uint8_t* bytes = window_.get() + start;
    for (std::size_t k = 0; k < size; ++k)
        relax(prices, k, bytes[k], matchData_.data() + matchStart_[k], matchStart_[k + 1] - matchStart_[k]);
    endPath(size);
}

void Encoder::pricesFromPath(std::int64_t start, std::size_t size) {
    std::vector<std::uint32_t> code(kCodeSymbols, 0), offset(static_cast<std::size_t>(params_.offsetCodes), 0);
    for (std::size_t at = 0; at < size; at = steps_[at]) {
        const Node& step = nodes_[steps_[at]];
        if (step.length() == 1) {
            ++code[window_[start + static_cast<std::int64_t>(at)]];
        } else {
            ++code[kLiterals + step.length() - kMinMatch];
            ++offset[BlockEncoder::offsetClass(step.distance() - 1)];
        }
    }
    const std::vector<std::uint8_t> codeBits = codeLengths(code), offsetBits = codeLengths(offset);
    // Symbols the path did not use stay possible, at a price above the used ones.
    std::uint8_t longest = 0;
    for (int s = 0; s < kCodeSymbols; ++s)
        if (code[s]) longest = std::max(longest, codeBits[s]);
    for (int s = 0; s < kCodeSymbols; ++s) codePrice_[s] = code[s] ? codeBits[s] : longest + 2.0;
    for (std::size_t c = 0; c < offset.size(); ++c)
        offsetPrice_[c] = (offset[c] ? offsetBits[c] : 8.0) + (c > 1 ? c - 1.0 : 0.0);
}

void Encoder::processOptimal(bool final) {
    const std::int64_t stop = final ? end_ : end_ - kMaxMatch;
    if (inserted_ < pos_ && pos_ < stop) skipTo(pos_);
    // Regions start at fixed places: only the last one may be short.
    while (pos_ < stop && (final || stop - pos_ >= kRegion)) {
        const std::int64_t start = pos_;
        const std::int64_t regionEnd = std::min(start + kRegion, stop);
        const std::size_t size = static_cast<std::size_t>(regionEnd - start);
        // Matches are cut to end inside the region, so that the path ends at its end.
        if (effort_.trees) {
            gatherMatches(size);
            gatheredPath(start, size);
            for (int pass = 1; pass < effort_.passes; ++pass) {
                pricesFromPath(start, size);
                gatheredPath(start, size);
            }
        } else {
            searchingPath(start, size);
        }
        for (std::size_t at = 0; at < size; at = steps_[at]) {
            const Node& step = nodes_[steps_[at]];
            if (step.length() == 1)
                region_.literal(window_[start + static_cast<std::int64_t>(at)]);
            else
                region_.match(step.length(), step.distance());
        }
        closeRegion();
        pos_ = regionEnd;
    }
}

}  // namespace lzh

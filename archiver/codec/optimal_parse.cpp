// The cheapest-path parse: the input is cut into regions of fixed size, one
// block each. The matches at every position of a region are gathered, then
// the cheapest way through it is found (shortest path) by the prices of the
// last block; with more passes, the region is parsed again by the prices its
// own last parse would give, before it is emitted.
#include "archiver/codec/encoder.h"

#include "archiver/codec/huffman.h"
#include "archiver/codec/match_length.h"

#include <algorithm>
#include <limits>

namespace lzh {
namespace {

// Input bytes per region (and block): at most this many symbols, under the
// 65535 a block can count.
constexpr std::int64_t kRegion = 32768;
constexpr unsigned kDenseLengths = 8;

}  // namespace

void Encoder::cheapestPath(std::int64_t start, std::size_t size) {
    nodes_.assign(size + 1, Node{std::numeric_limits<float>::infinity(), 0, 0});
    nodes_[0].cost = 0;
    for (std::size_t k = 0; k < size; ++k) {
        const float here = nodes_[k].cost;
        const float literal = here + static_cast<float>(codePrice_[window_[start + static_cast<std::int64_t>(k)]]);
        if (literal < nodes_[k + 1].cost) nodes_[k + 1] = Node{literal, 1, 0};
        unsigned shortest = kMinMatch;
        for (std::uint32_t m = matchStart_[k]; m < matchStart_[k + 1]; ++m) {
            const unsigned longest = matchData_[m].length, distance = matchData_[m].distance;
            const float offset = here + static_cast<float>(offsetPrice_[BlockEncoder::offsetClass(distance - 1)]);
            // Every length near the shortest this candidate adds, then only
            // its longest: cutting a long match short rarely pays.
            const unsigned dense = std::min(longest, shortest + kDenseLengths);
            for (unsigned len = shortest; len <= longest; len = len < dense ? len + 1 : (len == longest ? len + 1 : longest)) {
                const float cost = offset + static_cast<float>(codePrice_[kLiterals + len - kMinMatch]);
                Node& to = nodes_[k + len];
                if (cost < to.cost) to = Node{cost, len, distance};
            }
            shortest = longest + 1;
        }
    }
    // The steps forwards, from the way back.
    steps_.assign(size + 1, 0);
    for (std::size_t k = size; k > 0;) {
        const std::size_t from = k - nodes_[k].length;
        steps_[from] = static_cast<std::uint32_t>(k);
        k = from;
    }
}

void Encoder::pricesFromPath(std::int64_t start, std::size_t size) {
    std::vector<std::uint32_t> code(kCodeSymbols, 0), offset(static_cast<std::size_t>(params_.offsetCodes), 0);
    for (std::size_t at = 0; at < size; at = steps_[at]) {
        const Node& step = nodes_[steps_[at]];
        if (step.length == 1) {
            ++code[window_[start + static_cast<std::int64_t>(at)]];
        } else {
            ++code[kLiterals + step.length - kMinMatch];
            ++offset[BlockEncoder::offsetClass(step.distance - 1)];
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

        // The matches at every position, cut to end inside the region, so
        // that the path ends at its end.
        matchStart_.assign(size + 1, 0);
        matchData_.clear();
        Match found[kMaxMatch];
        for (std::int64_t i = start; i < regionEnd; ++i) {
            matchStart_[static_cast<std::size_t>(i - start)] = static_cast<std::uint32_t>(matchData_.size());
            const unsigned n = findMatches(effort_.depth, found);
            const unsigned room = static_cast<unsigned>(std::min<std::int64_t>(regionEnd - i, kMaxMatch));
            for (unsigned k = 0; k < n && found[k].length >= kMinMatch; ++k) {
                if (found[k].length >= room) {
                    if (room >= kMinMatch) matchData_.push_back(Match{room, found[k].distance});
                    break;
                }
                matchData_.push_back(found[k]);
            }
        }
        matchStart_[size] = static_cast<std::uint32_t>(matchData_.size());

        cheapestPath(start, size);
        for (int pass = 1; pass < effort_.passes; ++pass) {
            pricesFromPath(start, size);
            cheapestPath(start, size);
        }
        for (std::size_t at = 0; at < size; at = steps_[at]) {
            const Node& step = nodes_[steps_[at]];
            if (step.length == 1)
                block_.literal(window_[start + static_cast<std::int64_t>(at)]);
            else
                block_.match(step.length, step.distance);
        }
        writeBlock();
        pos_ = regionEnd;
    }
}

}  // namespace lzh

// The cheapest-path parse: the input is cut into regions of fixed size, and
// the cheapest way through a region (a shortest path over its positions, a
// literal or a match from each) is found by the prices of the block it
// joins (or of the last one). By default the matches come from the hash
// rows, and the search and the path advance together; at the best effort the
// matches of every position are gathered from the trees first, so that the
// region can be parsed again by the prices of the table its last parse
// would be coded with.
#include "archiver/codec/encoder.h"

#include "archiver/codec/match_length.h"

#include <algorithm>
#include <iterator>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace lzh {
namespace {

// Input bytes per region: the path is cut at its end, and a block ends, if
// at all, only there (at most this many symbols, well under a block's 65535).
constexpr std::int64_t kRegion = 8192;
// Lengths a match offers the path, from the shortest it adds: each of the
// first kEveryLength (the cheapest way on may start anywhere inside it), then
// only the longest. A match of kLongMatch or more offers only its first
// kDenseLengths: such matches come at every position of a long run (of one
// byte, say), where every length would cost most of the time, and cutting
// one that long short seldom pays.
constexpr unsigned kDenseLengths = 8;
constexpr unsigned kEveryLength = 64;
constexpr unsigned kLongMatch = 128;

// Keeps the matches that fit in the `room` bytes left of the region, the
// one that reaches past it cut to end there.
unsigned fitMatches(Match* found, unsigned n, unsigned room) {
    if (n == 0 || found[n - 1].length < room) return n;   // all fit, as far from the region's end
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

// The prices as floats, each offset class with its extra bits; the code
// prices run on past the last length for the lanes of a run that end there.
struct Encoder::PathPrices {
    float code[kCodeSymbols + kDenseLengths];
    float offset[32];
    const float* length() const { return code + kLiterals - kMinMatch; }
};

void Encoder::loadPrices(PathPrices& prices) const {
    for (int s = 0; s < kCodeSymbols; ++s) prices.code[s] = static_cast<float>(codePrice_[s]);
    std::fill(prices.code + kCodeSymbols, std::end(prices.code), std::numeric_limits<float>::infinity());
    for (std::size_t c = 0; c < offsetPrice_.size(); ++c) prices.offset[c] = static_cast<float>(offsetPrice_[c]);
}

namespace {

// Offers the positions lo..hi bytes ahead the cost base plus each length's
// price, by one distance: four lengths at a time, without a branch per
// length (which would be hard to foresee). The last four may read up to
// three prices and costs past hi, and leave them as they were.
inline void offerLengths(float* cost, std::uint32_t* how, const float* lengthPrice, float base, unsigned lo,
                         unsigned hi, unsigned distance) {
#if defined(__SSE2__)
    const __m128 start = _mm_set1_ps(base);
    const __m128i beyond = _mm_set1_epi32(static_cast<int>(hi + 1));
    const __m128i far = _mm_set1_epi32(static_cast<int>(distance << 9));
    __m128i length = _mm_add_epi32(_mm_set1_epi32(static_cast<int>(lo)), _mm_setr_epi32(0, 1, 2, 3));
    for (unsigned at = lo; at <= hi; at += 4) {
        const __m128 offered = _mm_add_ps(start, _mm_loadu_ps(lengthPrice + at));
        const __m128 held = _mm_loadu_ps(cost + at);
        const __m128 better =
            _mm_and_ps(_mm_cmplt_ps(offered, held), _mm_castsi128_ps(_mm_cmplt_epi32(length, beyond)));
        _mm_storeu_ps(cost + at, _mm_or_ps(_mm_and_ps(better, offered), _mm_andnot_ps(better, held)));
        __m128i* const steps = reinterpret_cast<__m128i*>(how + at);
        const __m128i take = _mm_castps_si128(better);
        _mm_storeu_si128(steps, _mm_or_si128(_mm_and_si128(take, _mm_or_si128(length, far)),
                                             _mm_andnot_si128(take, _mm_loadu_si128(steps))));
        length = _mm_add_epi32(length, _mm_set1_epi32(4));
    }
#else
    for (unsigned len = lo; len <= hi; ++len) {
        const float offered = base + lengthPrice[len];
        if (offered < cost[len]) {
            cost[len] = offered;
            how[len] = len | distance << 9;
        }
    }
#endif
}

// Sets the costs cost[0..n) to unreached (infinity): four at a time where
// SSE2 is there (the compiler leaves the loop a float at a time).
inline void fillUnreached(float* cost, std::size_t n) {
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128 unreached = _mm_set1_ps(std::numeric_limits<float>::infinity());
    for (; i + 4 <= n; i += 4) _mm_storeu_ps(cost + i, unreached);
#endif
    for (; i < n; ++i) cost[i] = std::numeric_limits<float>::infinity();
}

// Offers the next position the cost `offered` by a literal (`by`), chosen
// without a branch: a literal wins about half the time.
inline void offerNext(float* cost, std::uint32_t* how, float offered, std::uint32_t by) {
    const std::uint32_t cheaper = 0u - static_cast<std::uint32_t>(offered < cost[1]);
    how[1] = (how[1] & ~cheaper) | (by & cheaper);
    cost[1] = std::min(offered, cost[1]);
}

// Offers the position `length` bytes ahead the cost `offered`, by one step.
inline void offerLength(float* cost, std::uint32_t* how, float offered, unsigned length, unsigned distance) {
    if (offered < cost[length]) {
        cost[length] = offered;
        how[length] = length | distance << 9;
    }
}

// Offers one match of lengths shortest..longest from the position at cost[0].
inline void offerMatch(float* cost, std::uint32_t* how, const float* lengthPrice, float base, unsigned shortest,
                       unsigned longest, unsigned distance) {
    const unsigned tried = longest < kLongMatch ? kEveryLength : kDenseLengths;
    const unsigned dense = std::min(longest, shortest + tried - 1);
    offerLengths(cost, how, lengthPrice, base, shortest, dense, distance);
    if (longest > dense) offerLength(cost, how, base + lengthPrice[longest], longest, distance);
}

}  // namespace

// From position k (reached at its cost): a literal, then the matches there,
// rising in length, each from the length after the one before.
inline void Encoder::relax(const PathPrices& prices, std::size_t k, std::uint8_t byte, const Match* matches,
                           unsigned count) {
    float* const cost = pathCost_.data() + k;
    std::uint32_t* const how = pathStep_.data() + k;
    const float here = cost[0];
    offerNext(cost, how, here + prices.code[byte], step(1, 0));
    const float* lengthPrice = prices.length();
    unsigned shortest = kMinMatch;
    for (unsigned m = 0; m < count; ++m) {
        const unsigned longest = matches[m].length, distance = matches[m].distance;
        const float base = here + prices.offset[BlockEncoder::offsetClass(distance - 1)];
        offerMatch(cost, how, lengthPrice, base, shortest, longest, distance);
        shortest = longest + 1;
    }
}

void Encoder::startPath(std::size_t size) {
    // Room past the end for the last lanes of a run of lengths. A step is
    // read only where a cost was offered, which writes it: the steps need
    // no clearing.
    const std::size_t room = size + 1 + kMaxMatch + kDenseLengths;
    if (pathCost_.size() < room) pathCost_.resize(room);
    fillUnreached(pathCost_.data(), room);
    if (pathStep_.size() < room) pathStep_.resize(room);
    pathCost_[0] = 0;
}

void Encoder::endPath(std::size_t size) {
    // The way back, written from the end of steps_ so that it reads forwards.
    if (steps_.size() < size) steps_.resize(size);
    std::size_t first = size;
    for (std::size_t k = size; k > 0; k -= stepLength(pathStep_[k])) steps_[--first] = pathStep_[k];
    firstStep_ = first;
}

void Encoder::offerBackMatches(const PathPrices& prices, std::size_t k, std::size_t size, const BackSearch& back) {
    const BackMatch* const backs = back.matches;
    for (unsigned b = 0; b < back.count; ++b) {
        const std::size_t from = k - backs[b].back;
        const unsigned longest =
            static_cast<unsigned>(std::min<std::size_t>({backs[b].match.length, kMaxMatch, size - from}));
        const unsigned shortest = std::max<unsigned>(kMinMatch, backs[b].back + 1);
        const unsigned distance = backs[b].match.distance;
        const float base = pathCost_[from] + prices.offset[BlockEncoder::offsetClass(distance - 1)];
        offerMatch(pathCost_.data() + from, pathStep_.data() + from, prices.length(), base, shortest, longest,
                   distance);
    }
}

namespace {

// The cheapest offer of a match's rest to `to` from the positions from..to - 1
// that leave at least kMinMatch bytes (each cost[k] + offsetPrice +
// lengthPrice[to - k]), and the first position that makes it (from, at no
// cost, where none does): as offering each in turn, by a strict "less",
// leaves them. Four positions at a time where SSE2 is there.
struct Rest {
    float cost;
    std::size_t from;
};
inline Rest cheapestRest(const float* cost, const float* lengthPrice, float offsetPrice, std::size_t from,
                         std::size_t to) {
    Rest rest{std::numeric_limits<float>::infinity(), from};
    const std::size_t end = to >= from + kMinMatch ? to - kMinMatch + 1 : from;   // past the last position
    std::size_t k = from;
#if defined(__SSE2__)
    if (end - from >= 8) {
        // Each lane keeps its own cheapest and first position; the lanes are
        // then joined, the first position of the cheapest of them winning.
        const __m128 offset = _mm_set1_ps(offsetPrice);
        __m128 cheapest = _mm_set1_ps(std::numeric_limits<float>::infinity());
        __m128i at = _mm_add_epi32(_mm_set1_epi32(static_cast<int>(k)), _mm_setr_epi32(0, 1, 2, 3));
        __m128i first = at;
        for (; k + 4 <= end; k += 4) {
            // The lengths fall as the positions rise: to - k down to to - k - 3.
            const __m128 lengths = _mm_loadu_ps(lengthPrice + (to - k - 3));
            const __m128 offered = _mm_add_ps(_mm_add_ps(_mm_loadu_ps(cost + k), offset),
                                              _mm_shuffle_ps(lengths, lengths, _MM_SHUFFLE(0, 1, 2, 3)));
            const __m128i less = _mm_castps_si128(_mm_cmplt_ps(offered, cheapest));
            cheapest = _mm_min_ps(offered, cheapest);
            first = _mm_or_si128(_mm_and_si128(less, at), _mm_andnot_si128(less, first));
            at = _mm_add_epi32(at, _mm_set1_epi32(4));
        }
        float laneCost[4];
        std::int32_t laneFirst[4];
        _mm_storeu_ps(laneCost, cheapest);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(laneFirst), first);
        for (int lane = 0; lane < 4; ++lane) {
            const auto laneFrom = static_cast<std::size_t>(laneFirst[lane]);
            if (laneCost[lane] < rest.cost || (laneCost[lane] == rest.cost && laneFrom < rest.from))
                rest = {laneCost[lane], laneFrom};
        }
    }
#endif
    for (; k < end; ++k) {
        const float offered = cost[k] + offsetPrice + lengthPrice[to - k];
        if (offered < rest.cost) rest = {offered, k};
    }
    return rest;
}

}  // namespace

// The positions from..to - 1 inside a match that is not searched in, up to
// its end `to` (or the region's): each offers the next position a literal and
// `to` the match's rest (at most kMaxMatch - 1 bytes). The literals first:
// the cost reached goes on from one position to the next in a register, not
// through memory. Then the rest's cheapest offer (the first, of equal ones),
// which lands before the last literal: as offering each in turn leaves them.
void Encoder::walkInside(const PathPrices& prices, const std::uint8_t* bytes, std::size_t from, std::size_t to,
                         float offsetPrice, unsigned distance) {
    float* const cost = pathCost_.data();
    std::uint32_t* const how = pathStep_.data();
    float here = cost[from];
    for (std::size_t k = from; k + 1 < to; ++k) {
        // As offerNext, keeping the cost reached (a select, not a branch).
        const float literal = here + prices.code[bytes[k]], held = cost[k + 1];
        const std::uint32_t before = how[k + 1];
        how[k + 1] = literal < held ? step(1, 0) : before;
        here = std::min(literal, held);
        cost[k + 1] = here;
    }
    const Rest rest = cheapestRest(cost, prices.length(), offsetPrice, from, to);
    offerLength(cost + rest.from, how + rest.from, rest.cost, static_cast<unsigned>(to - rest.from), distance);
    offerNext(cost + to - 1, how + to - 1, here + prices.code[bytes[to - 1]], step(1, 0));
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
    std::size_t takenStart = 0, takenEnd = 0;
    unsigned takenDistance = 0;
    float takenOffsetPrice = 0;
    for (std::size_t k = 0; k < size; ++k) {
        const unsigned room = static_cast<unsigned>(std::min<std::size_t>(size - k, kMaxMatch));
        if (k < takenEnd) {
            // Inside a long match: a literal, or the match's rest.
            const std::size_t to = std::min(takenEnd, size);
            walkInside(prices, bytes, k, to, takenOffsetPrice, takenDistance);
            k = to - 1;
            continue;
        }
        // Right after a skipped match, a match found here may start inside it.
        const unsigned backLimit = k == takenEnd && k > 0 ? static_cast<unsigned>(k - takenStart - 1) : 0;
        unsigned n;
        if (backLimit) {
            BackSearch back;
            back.limit = backLimit;
            n = findMatchesBack(effort_.depth, found, back);
            offerBackMatches(prices, k, size, back);
        } else {
            n = findMatches(effort_.depth, found);
        }
        if (n && found[n - 1].length >= skip && k + found[n - 1].length > takenEnd) {
            takenStart = k;
            takenEnd = k + found[n - 1].length;
            takenDistance = found[n - 1].distance;
            takenOffsetPrice = prices.offset[BlockEncoder::offsetClass(takenDistance - 1)];
            // The positions inside go into the rows at once.
            const std::int64_t to = start + static_cast<std::int64_t>(std::min(takenEnd, size));
            insertRange<true>(inserted_, std::min<std::int64_t>(to, end_ - kMinMatch + 1));
            inserted_ = to;
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
    // The region by this way, weighed as closeRegion will weigh it: the
    // next parse is priced by the table it would then be coded with.
    forEachStep(start, size, [&](std::int64_t at, std::uint32_t how) { addStep(trial_, at, how); });
    std::vector<std::uint8_t> code, offset, joinedCode, joinedOffset;
    const std::uint64_t alone = trial_.bits(nullptr, &code, &offset);
    if (!block_.empty() && block_.symbolCount() + trial_.symbolCount() <= kMaxBlockSymbols &&
        block_.bits(&trial_, &joinedCode, &joinedOffset) <= blockBits_ + alone) {
        code.swap(joinedCode);
        offset.swap(joinedOffset);
    }
    trial_.clear();
    // Symbols the table leaves out stay possible, at a price above the used ones.
    const std::uint8_t longest = *std::max_element(code.begin(), code.end());
    for (int s = 0; s < kCodeSymbols; ++s) codePrice_[s] = code[s] ? code[s] : longest + 2.0;
    for (std::size_t c = 0; c < offset.size(); ++c)
        offsetPrice_[c] = (offset[c] ? offset[c] : 8.0) + BlockEncoder::offsetExtraBits(static_cast<unsigned>(c));
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
        // A block may also end every blockStep bytes into the region (at the
        // first step from there): where the data changes within a region, a
        // table of its own may pay for itself before the region's end.
        std::int64_t nextEnd = effort_.blockStep > 0 ? start + effort_.blockStep : regionEnd;
        forEachStep(start, size, [&](std::int64_t at, std::uint32_t how) {
            if (at >= nextEnd) {
                closeRegion();
                nextEnd += effort_.blockStep;
            }
            addStep(region_, at, how);
        });
        closeRegion(final && regionEnd == end_);
        pos_ = regionEnd;
    }
}

}  // namespace lzh

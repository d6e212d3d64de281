#pragma once

#include "archiver/codec/bit_writer.h"
#include "archiver/codec/block_encoder.h"
#include "archiver/codec/match_finder.h"
#include "archiver/codec/method.h"

#include <cstdint>
#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <vector>

namespace lzh {

// How hard the match finder looks.
struct Effort {
    int depth;         // chain links or tree nodes visited per position
    int goodLength;    // lazy: a match this long quarters the search at the next position;
                       // cheapest path on chains: the positions inside a match this long are not searched
    int niceLength;    // a match this long ends the search
    int lazyLength;    // lazy: no lazy search after a match this long
    int blockSymbols;  // lazy: symbols per region (a block may end after each)
    bool optimal = false;   // choose the cheapest parse of each region instead of lazy matching
    int passes = 1;         // cheapest-path parses of a region, each by the prices of the one before
    bool trees = false;     // the cheapest-path parse gathers every match at every position
                            // from binary trees instead of searching hash chains as it goes
    int furtherDepth = 0;   // lazy: chain links searched one position past the next before a
                            // match is taken, for a match worth two literals (0: no search)
    int blockStep = 0;      // cheapest path: a block may also end every this many input bytes
                            // inside a region (0: only where a region ends)
};

Effort defaultEffort(Method method);
// For a file of `size` bytes: small files, where a few bytes count for
// more and the time is short, get a deeper search.
Effort defaultEffort(Method method, std::uint64_t size);
// The smallest output, a few times slower than the default: the cheapest
// parse over every match at every position (trees), each region parsed
// again by the prices of the table its first parse would be coded with,
// and a block that may end at every half region.
Effort bestEffort(Method method);

// Streams bytes into a -lh4- .. -lh7- bit stream. Feed it with write(),
// end with finish(); compressed bytes gather in output() for the caller to
// take away as they come.
class Encoder {
public:
    static constexpr std::int64_t kSlide = 1 << 17;   // history kept when the window slides

    // sizeHint: the input's length when known (smaller inputs need smaller tables).
    Encoder(Method method, const Effort& effort, std::uint64_t sizeHint = UINT64_MAX);
    explicit Encoder(Method method, std::uint64_t sizeHint = UINT64_MAX)
        : Encoder(method, defaultEffort(method), sizeHint) {}
    ~Encoder();

    // Before the first write: bytes that come before the input, for the
    // matches to reach back into (at most the window of the method).
    void prime(const std::uint8_t* history, std::size_t size);
    void write(const std::uint8_t* data, std::size_t size);
    // Writes the last block; pad: fill the last byte with zero bits, else
    // leave its bits in `output()`'s pending part for a stream that goes on.
    void finish(bool pad = true);

    std::vector<std::uint8_t>& output() { return out_.bytes(); }
    BitWriter& bits() { return out_; }

private:
    void process(bool final);
    void processOptimal(bool final);
    // The cheapest-path parse of `size` positions from start (pathCost_, and
    // steps_ forwards): searching as it goes, or over the matches gathered
    // before; then prices from the codes the region would have by that way:
    // the block's with it where it would join the block, else its own.
    struct PathPrices;
    void loadPrices(PathPrices& prices) const;
    void relax(const PathPrices& prices, std::size_t k, std::uint8_t byte, const Match* matches, unsigned count);
    void startPath(std::size_t size);
    void endPath(std::size_t size);
    void searchingPath(std::int64_t start, std::size_t size);
    void walkInside(const PathPrices& prices, const std::uint8_t* bytes, std::size_t from, std::size_t to,
                    float offsetPrice, unsigned distance);
    void gatherMatches(std::size_t size);
    void gatheredPath(std::int64_t start, std::size_t size);
    void pricesFromPath(std::int64_t start, std::size_t size);
    // Adds one step of the path (see forEachStep) to `to`.
    void addStep(BlockEncoder& to, std::int64_t at, std::uint32_t how) const {
        if (stepLength(how) == 1)
            to.literal(window_[at]);
        else
            to.match(stepLength(how), stepDistance(how));
    }
    // Each step of the last path found, in order: each(position, how).
    template <typename Each>
    void forEachStep(std::int64_t start, std::size_t size, Each each) const {
        std::int64_t at = start;
        for (std::size_t i = firstStep_; i < size; ++i) {
            each(at, steps_[i]);
            at += stepLength(steps_[i]);
        }
    }
    // The lazy parse searches hash chains (cheap to keep up, so the
    // positions inside a match cost little). The cheapest-path parse by
    // default searches rows (below), whose candidates are all known at once,
    // not link after link. At its best effort, which wants every match at
    // every position, it searches binary trees.

    // The matches at inserted_ in the trees or rows (which it puts the
    // position in, then advances): rising lengths, each the nearest of its
    // length found; a match of the nice length is followed as far as the
    // bytes held allow.
    unsigned findMatches(int depth, Match* out);
    // The same, right after positions the path did not search (inside a long
    // match, up to `limit` of them): a candidate that also agrees on the
    // bytes before the position goes to `matches` as a match that starts
    // `back` bytes earlier, so that the path may still start a match inside
    // the one it skipped. Only candidates that start earlier or reach
    // farther than those kept before them are kept.
    struct BackMatch {
        unsigned back;
        Match match;
    };
    struct BackSearch {
        static constexpr unsigned kRoom = 64;
        unsigned limit;
        unsigned count = 0;
        BackMatch matches[kRoom];
    };
    unsigned findMatchesBack(int depth, Match* out, BackSearch& back);
    template <bool kBack>
    unsigned searchAt(int depth, Match* out, BackSearch* back);
    template <bool kBack>
    unsigned chainMatches(std::int64_t pos, std::uint32_t hash, unsigned limit, int depth, Match* out,
                          BackSearch* back) const;
    // Offers the path the matches found before k, each from where it starts
    // (whose cost is final): only the lengths that reach past k are new.
    void offerBackMatches(const PathPrices& prices, std::size_t k, std::size_t size, const BackSearch& back);
    // Puts the positions up to `next` in the chains or trees without a search.
    void skipTo(std::int64_t next);
    unsigned longestMatch(std::int64_t pos, unsigned available, unsigned& distance, int chain) const;
    // Walks the chain down from pos (at most `depth` links, within reach),
    // distance by distance; every candidate goes to each(position, distance),
    // and every one longer than `best` to offer(length, distance, linksLeft),
    // which may raise best and the links left, and returns true to end the walk.
    template <typename Offer, typename Each>
    void walkChain(std::int64_t pos, int depth, unsigned limit, const unsigned& best, Offer offer, Each each) const;
    // Bytes a chain's or a row's positions agree on (by hash): six for the
    // cheapest path, four for the lazy parse.
    template <bool kLong>
    static constexpr int chainBytes() { return kLong ? 6 : 4; }
    // The hash of the first chainBytes() bytes of `key` (little-endian), of `bits` bits.
    template <bool kLong>
    static std::uint32_t hashOf(std::uint64_t key, int bits) {
        return static_cast<std::uint32_t>(((key << (64 - 8 * chainBytes<kLong>())) * 0x9E3779B97F4A7C15ull) >>
                                          (64 - bits));
    }
    // Slots of the latest-position tables (of 32 - shift bits) for the first
    // three and four bytes of `key`.
    static std::uint32_t slot3(std::uint64_t key, int shift) {
        return ((static_cast<std::uint32_t>(key) & 0xFFFFFF) * 2654435761u) >> shift;
    }
    static std::uint32_t slot4(std::uint64_t key, int shift) {
        return (static_cast<std::uint32_t>(key) * 2654435761u) >> shift;
    }
    // The cheapest path's candidates by six bytes: rows of the latest 32
    // positions whose bytes hash to the row, each with eight more bits of
    // the hash (its tag). A search compares the row's tags at once and
    // visits the positions that agree, latest first: a long chain would
    // wait on each link before the next.
    static constexpr unsigned kRowSlots = 32;
    std::uint32_t rowHash(std::uint64_t key) const { return hashOf<true>(key, rowBits_ + 8); }
    // Puts positions [from, to) in the chains or rows (three bytes from each
    // must be held). kLong: rows by six bytes, with a table of the latest
    // position by four bytes, for the cheapest path, which searches more
    // positions and wants fewer and longer candidates. Else chains by four
    // bytes for the lazy parse: each position linked to the one before by
    // its distance (16 bits, 0 ends the chain, so nothing moves when the
    // window slides). A smaller table keeps the latest position of each
    // three-byte hash, for the short matches the chains and rows miss.
    // nearest3_ (and nearest4_) are left as the last position found them;
    // the lazy parse, which puts positions in a run ahead of its search,
    // finds each position's in nearest3Ahead_.
    // kHashBits: the tables' hash bits where known when compiled (0: not
    // known); a shift by a constant is cheaper than one by a count held.
    template <bool kLong, int kHashBits = 0>
    void insertRange(std::int64_t from, std::int64_t to) {
        if constexpr (kLong) {
            insertRows(from, to);
            return;
        }
        constexpr int kBytes = chainBytes<kLong>();
        const std::uint8_t* const window = window_.get();
        std::int32_t* const head = head_.get();
        std::int32_t* const head3 = head3_.get();
        std::uint16_t* const links = prev_.get();
        const std::int64_t mask = chainMask_;
        const int shift3 = 32 - (kHashBits ? std::min(kHashBits, kMaxHash3Bits) : hash3Bits_);
        // A local copy: the stores to the tables (int32_t) could be to
        // hashBits_ for all the compiler knows, which would load it again each time.
        const int hashBits = kHashBits ? kHashBits : hashBits_;
        const std::int64_t whole = std::min(to, end_ - kBytes + 1);   // all chain bytes held
        std::int32_t near3 = nearest3_;
        std::int64_t pos = from;
        for (; pos < whole; ++pos) {
            std::uint64_t key;
            std::memcpy(&key, window + pos, 8);   // the window has room past its end
            const std::uint32_t h3 = slot3(key, shift3);
            near3 = head3[h3];
            head3[h3] = static_cast<std::int32_t>(pos);
            nearest3Ahead_[pos & kAheadMask] = near3;
            const std::uint32_t h = hashOf<kLong>(key, hashBits);
            // No chain yet (kNoChain) is farther than any link reaches.
            const std::int64_t delta = pos - head[h];
            links[pos & mask] = delta <= mask ? static_cast<std::uint16_t>(delta) : 0;
            head[h] = static_cast<std::int32_t>(pos);
        }
        for (; pos < to; ++pos) {   // the last few positions: too few bytes for a chain
            const std::uint32_t three = window[pos] | (window[pos + 1] << 8) | (window[pos + 2] << 16);
            const std::uint32_t h3 = slot3(three, shift3);
            near3 = head3[h3];
            head3[h3] = static_cast<std::int32_t>(pos);
            nearest3Ahead_[pos & kAheadMask] = near3;
            links[pos & mask] = 0;
        }
        nearest3_ = near3;
    }
    // The cheapest path's tables, for a run of insertions: the pointers in
    // locals, as a tag's store (a byte) could be to any member for all the
    // compiler knows, which would load each again after it.
    struct RowTables {
        std::int32_t* head3;
        std::int32_t* head4;
        std::uint8_t* newest;   // per row
        std::uint8_t* tags;
        std::int32_t* positions;
        int shift3;
        int rowHashBits;
        std::int64_t base;
        // Puts pos (`key`: its bytes, six held) in the rows and the
        // latest-position tables by three and four bytes; returns its row
        // hash. near3, near4: the entries it replaced there.
        std::uint32_t put(std::int64_t pos, std::uint64_t key, std::int32_t& near3, std::int32_t& near4) const {
            const std::uint32_t h3 = slot3(key, shift3);
            near3 = head3[h3];
            head3[h3] = static_cast<std::int32_t>(pos);
            const std::uint32_t h4 = slot4(key, shift3);
            near4 = head4[h4];
            head4[h4] = static_cast<std::int32_t>(pos);
            const std::uint32_t h = hashOf<true>(key, rowHashBits);   // as rowHash()
            const std::size_t row = h >> 8;
            const unsigned slot = (newest[row] - 1u) & (kRowSlots - 1);
            newest[row] = static_cast<std::uint8_t>(slot);
            tags[row * kRowSlots + slot] = static_cast<std::uint8_t>(h);
            positions[row * kRowSlots + slot] = static_cast<std::int32_t>(pos + base);
            return h;
        }
        // Puts in a position with too few bytes for a row: only by three bytes.
        void putShort(std::int64_t pos, std::uint64_t key, std::int32_t& near3) const {
            const std::uint32_t h3 = slot3(key, shift3);
            near3 = head3[h3];
            head3[h3] = static_cast<std::int32_t>(pos);
        }
    };
    RowTables rowTables() const {
        return {head3_.get(), head4_.get(), rowNewest_.get(), rowTags_.get(), rowPositions_.get(),
                32 - hash3Bits_, rowBits_ + 8, rowBase_};
    }
    // insertRange<true>: positions [from, to) in the rows.
    void insertRows(std::int64_t from, std::int64_t to) {
        const RowTables tables = rowTables();
        const std::uint8_t* const window = window_.get();
        const std::int64_t whole = std::min(to, end_ - chainBytes<true>() + 1);   // six bytes held
        std::int64_t pos = from;
        std::uint64_t key;
        // Only the last position's replaced entries are kept: the others' are not even read.
        for (; pos + 1 < whole; ++pos) {
            std::memcpy(&key, window + pos, 8);   // the window has room past its end
            std::int32_t unused3, unused4;
            tables.put(pos, key, unused3, unused4);
        }
        if (pos < whole) {
            std::memcpy(&key, window + pos, 8);
            tables.put(pos, key, nearest3_, nearest4_);
            ++pos;
        }
        for (; pos < to; ++pos) {   // the last few positions
            std::memcpy(&key, window + pos, 8);
            tables.putShort(pos, key, nearest3_);
            nearest4_ = kNoPosition;
        }
    }
    // As walkChain, over the row of pos (put in just before; `hash`: its
    // row hash); each may return the candidate's length from pos where it
    // measured it (else 0).
    template <typename Offer, typename Each>
    void walkRow(std::int64_t pos, std::uint32_t hash, int depth, unsigned limit, const unsigned& best, Offer offer,
                 Each each) const;
    // Puts pos in the rows and the latest-position tables for a search
    // there, as insertRange<true>(pos, pos + 1) does; `key`: the bytes at
    // pos. Returns pos's row hash (rowHash(key)), which the search wants too.
    std::uint32_t insertSearched(std::int64_t pos, std::uint64_t key);
    // Puts the positions from inserted_ up to `next` in the chains, as far as three bytes are held.
    template <bool kLong>
    void insertUpTo(std::int64_t next) {
        const std::int64_t to = std::min(next, end_ - static_cast<std::int64_t>(kMinMatch) + 1);
        if (inserted_ >= to) return;
        // The lazy parse's tables for inputs of 64 KiB and more, by the shifts they take.
        if (!kLong && hashBits_ == kMaxHashBits) insertRange<kLong, kMaxHashBits>(inserted_, to);
        else insertRange<kLong>(inserted_, to);
        inserted_ = to;
    }
    static constexpr int kMaxHashBits = 16;    // the chains' hash, for the largest inputs
    static constexpr int kMaxHash3Bits = 14;   // the three-byte table's, which stays small enough for the cache
    static constexpr std::int32_t kNoPosition = -1;
    // head_ of a hash with no position yet: far below any position, and one
    // byte repeated (0x80808080), so that the tables are filled by memset.
    static constexpr std::int32_t kNoChain = -0x7F7F7F80;

    void slide();
    void emitLiteral(std::uint8_t byte) {
        region_.literal(byte);
        if (region_.symbolCount() >= static_cast<std::size_t>(effort_.blockSymbols)) closeRegion();
    }
    void emitMatch(unsigned length, unsigned distance) {
        region_.match(length, distance);
        if (region_.symbolCount() >= static_cast<std::size_t>(effort_.blockSymbols)) closeRegion();
    }
    // Writes the block, then prices what follows by it (`last`: nothing follows).
    void writeBlock(bool last = false);
    void setPrices(const std::vector<std::uint8_t>& code, const std::vector<std::uint8_t>& offset);
    // Adds the parsed region to the block, or ends the block first where
    // a table of its own for the region costs less than sharing one; then
    // prices the next region. `last`: no region follows.
    void closeRegion(bool last = false);
    // Bits a match saves over coding its bytes as literals, by the prices
    // of the last block written.
    double gain(unsigned length, unsigned distance) const { return literalsOf_[length] - matchBits(length, distance); }
    // Sets the mean price of a literal, and by it literalsOf_.
    void setLiteralPrice(double price) {
        literalPrice_ = price;
        for (unsigned length = 0; length <= kMaxMatch; ++length) literalsOf_[length] = length * price;
    }

    // Bits of the literals from `from` to `to`, by the current prices.
    double literalBits(std::int64_t from, std::int64_t to) const {
        double bits = 0;
        for (std::int64_t i = from; i < to; ++i) bits += codePrice_[window_[i]];
        return bits;
    }
    // Bits of a match by the current prices.
    double matchBits(unsigned length, unsigned distance) const {
        return codePrice_[kLiterals + length - kMinMatch] + offsetPrice_[BlockEncoder::offsetClass(distance - 1)];
    }
    // Bits saved by literals from `first` up to `later` and then the later
    // match, over the first match, both to where the longer one ends; each
    // byte by its own price (the mean would take a rare byte for a common one).
    double laterSaves(std::int64_t first, unsigned firstLength, unsigned firstDistance, std::int64_t later,
                      unsigned laterLength, unsigned laterDistance) const {
        const std::int64_t firstEnd = first + firstLength, laterEnd = later + laterLength;
        double saved = matchBits(firstLength, firstDistance) - matchBits(laterLength, laterDistance) -
                       literalBits(first, later);
        if (laterEnd > firstEnd) saved += literalBits(firstEnd, laterEnd);
        else saved -= literalBits(laterEnd, firstEnd);
        return saved;
    }
    MethodParameters params_;
    Effort effort_;
    std::int64_t capacity_;       // bytes the window holds before it slides
    std::int64_t maxDistance_;
    std::unique_ptr<std::uint8_t[]> window_;
    int hashBits_;
    int hash3Bits_;   // the three-byte table stays small enough for the cache
    std::unique_ptr<std::int32_t[]> head_;    // chains by four bytes
    std::unique_ptr<std::int32_t[]> head3_;   // latest position by three bytes
    std::int32_t nearest3_ = -1;              // head3_ entry that the last insert replaced
    static constexpr std::int64_t kAheadMask = 63;   // the lazy parse inserts at most 32 positions ahead
    std::int32_t nearest3Ahead_[kAheadMask + 1];     // per position (modulo): the head3_ entry it replaced
    std::unique_ptr<std::uint16_t[]> prev_;   // per chain slot: distance to the one before
    std::int64_t chainMask_ = 0;              // chain slots - 1: the window, or 64 KiB - 1
    int rowBits_ = 0;                                // rows: 2^rowBits_ of kRowSlots slots
    std::unique_ptr<std::uint8_t[]> rowTags_;        // per slot: its position's tag
    std::unique_ptr<std::int32_t[]> rowPositions_;   // per slot: its position + rowBase_ (kNoChain: none)
    // How far the rows' positions lie above the window's: a slide raises it
    // rather than rewriting every row; they are rewritten (and it goes back to
    // 0) only every kRowRebase bytes, before kNoChain less it could wrap.
    std::int64_t rowBase_ = 0;
    static constexpr std::int64_t kRowRebase = 32 * kSlide;
    static_assert(kNoChain - kRowRebase > INT32_MIN);
    std::unique_ptr<std::uint8_t[]> rowNewest_;      // per row: the slot of its latest position
    std::unique_ptr<std::int32_t[]> head4_;   // latest position by four bytes
    std::int32_t nearest4_ = -1;              // head4_ entry that the last insert replaced
    std::unique_ptr<MatchFinder> finder_;     // the trees, for the cheapest-path parse
    std::int64_t pos_ = 0;        // next position to parse
    std::int64_t end_ = 0;        // bytes held in the window
    std::int64_t inserted_ = 0;   // positions before this are in the chains or trees
    unsigned prevLength_ = 0;     // lazy state: the match found at pos_ - 1
    unsigned prevDistance_ = 0;
    bool literalPending_ = false;
    BlockEncoder block_;
    BlockEncoder region_;          // the last region parsed, before it joins a block
    BlockEncoder trial_;           // a region's first path, while the next parse is priced
    std::uint64_t blockBits_ = 0;  // block_ as it would be written now
    std::vector<double> codePrice_;     // bits per C symbol
    std::vector<double> offsetPrice_;   // bits per offset class, extra bits included
    double literalPrice_ = 8.0;
    double literalsOf_[kMaxMatch + 1];   // per length: that many literals at literalPrice_
    // Work space of the optimal parse, kept between stretches: per position
    // of the region, the cheapest cost found to reach it and how (length,
    // 1 for a literal, with the distance above), apart so that a run of
    // lengths is offered a few at once.
    static std::uint32_t step(unsigned length, unsigned distance) { return length | distance << 9; }
    static unsigned stepLength(std::uint32_t how) { return how & 511; }
    static unsigned stepDistance(std::uint32_t how) { return how >> 9; }
    std::vector<float> pathCost_;
    std::vector<std::uint32_t> pathStep_;
    std::vector<Match> matchData_;           // the matches of every position, in order
    std::vector<std::uint32_t> matchStart_;  // per position: its first entry in matchData_
    std::vector<std::uint32_t> steps_;       // the path's steps, forwards from firstStep_ to the region's size
    std::size_t firstStep_ = 0;
    BitWriter out_;
};

}  // namespace lzh

#pragma once

#include "archiver/codec/bit_writer.h"
#include "archiver/codec/block_encoder.h"
#include "archiver/codec/match_finder.h"
#include "archiver/codec/method.h"

#include <cstdint>
#include <climits>
#include <memory>
#include <vector>

namespace lzh {

// How hard the match finder looks.
struct Effort {
    int depth;         // chain links or tree nodes visited per position
    int goodLength;    // a match this long quarters the search at the next position
    int niceLength;    // a match this long ends the search
    int lazyLength;    // no lazy search after a match this long
    int blockSymbols;  // symbols per block
    bool optimal = false;   // choose the cheapest parse of each region instead of lazy matching
    int passes = 1;         // cheapest-path parses of a region, each by the prices of the one before
};

Effort defaultEffort(Method method);
// For a file of `size` bytes: small files, where a few bytes count for
// more and the time is short, get the cheapest-path parse.
Effort defaultEffort(Method method, std::uint64_t size);
// The smallest output, at about a third of the default speed: the cheapest
// parse of each stretch by the block prices.
Effort bestEffort(Method method);

// Streams bytes into a -lh4- .. -lh7- bit stream. Feed it with write(),
// end with finish(); compressed bytes gather in output() for the caller to
// take away as they come.
class Encoder {
public:
    static constexpr std::int64_t kChainSlots = 1 << 17;   // positions the hash chains remember

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
    // The cheapest way through `size` positions from start by the prices
    // (nodes_, and steps_ forwards); then prices from that way's own codes.
    void cheapestPath(std::int64_t start, std::size_t size);
    void pricesFromPath(std::int64_t start, std::size_t size);
    // The lazy parse searches hash chains (cheap to keep up, so the
    // positions inside a match cost little); the cheapest-path parse, which
    // wants every match at every position, searches binary trees.

    // The matches at inserted_ in the trees (which it puts the position
    // in, then advances): rising lengths, each the nearest of its length; a
    // match of the nice length is followed as far as the bytes held allow.
    unsigned findMatches(int depth, Match* out);
    // Puts the positions up to `next` in the chains or trees without a search.
    void skipTo(std::int64_t next);
    unsigned longestMatch(std::int64_t pos, unsigned available, unsigned& distance, int chain) const;
    // Puts position pos in the chains (three bytes from it must be held):
    // they link positions whose next four bytes hash alike; a second table
    // keeps the latest position of each three-byte hash, for the short
    // matches the chains would miss.
    void insert(std::int64_t pos) {
        const std::uint8_t* p = window_.get() + pos;
        const std::uint32_t three = p[0] | (p[1] << 8) | (p[2] << 16);
        const std::uint32_t h3 = (three * 2654435761u) >> (32 - hash3Bits_);
        nearest3_ = head3_[h3];
        head3_[h3] = static_cast<std::int32_t>(pos);
        if (pos + 4 > end_) return;
        const std::uint32_t h4 = ((three | (std::uint32_t{p[3]} << 24)) * 2654435761u) >> (32 - hashBits_);
        prev_[pos & (kChainSlots - 1)] = head_[h4];
        head_[h4] = static_cast<std::int32_t>(pos);
    }

    void slide();
    void emitLiteral(std::uint8_t byte);
    void emitMatch(unsigned length, unsigned distance);
    void writeBlock();
    // Bits a match saves over coding its bytes as literals, by the prices
    // of the last block written.
    double gain(unsigned length, unsigned distance) const {
        const unsigned cls = BlockEncoder::offsetClass(distance - 1);
        return length * literalPrice_ - codePrice_[kLiterals + length - kMinMatch] - offsetPrice_[cls];
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
    std::unique_ptr<std::int32_t[]> prev_;
    std::unique_ptr<MatchFinder> finder_;     // the trees, for the cheapest-path parse
    std::int64_t pos_ = 0;        // next position to parse
    std::int64_t end_ = 0;        // bytes held in the window
    std::int64_t inserted_ = 0;   // positions before this are in the chains or trees
    unsigned prevLength_ = 0;     // lazy state: the match found at pos_ - 1
    unsigned prevDistance_ = 0;
    bool literalPending_ = false;
    BlockEncoder block_;
    std::vector<double> codePrice_;     // bits per C symbol
    std::vector<double> offsetPrice_;   // bits per offset class, extra bits included
    double literalPrice_ = 8.0;
    // Work space of the optimal parse, kept between stretches.
    struct Node {
        float cost;
        std::uint32_t length;     // how this position is reached: 1 = literal
        std::uint32_t distance;
    };
    std::vector<Node> nodes_;
    std::vector<Match> matchData_;           // the matches of every position, in order
    std::vector<std::uint32_t> matchStart_;  // per position: its first entry in matchData_
    std::vector<std::uint32_t> steps_;       // per position on the path: the next one
    BitWriter out_;
};

}  // namespace lzh

#include "archiver/codec/encoder.h"

#include "archiver/codec/huffman.h"
#include "archiver/codec/match_length.h"

#include <algorithm>
#include <iterator>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace lzh {
namespace {

constexpr std::int64_t kSlide = Encoder::kSlide;
constexpr std::int64_t kWindowSize = 2 * kSlide + 2 * kMaxMatch;
constexpr int kMaxHashBits = 16;
constexpr int kHash3Bits = 14;
constexpr std::int32_t kNone = -1;
constexpr unsigned kLongMatch = 12;
constexpr int kLongerSearch = 32;
constexpr std::int64_t kInsertAhead = 32;

inline std::uint16_t twoBytes(const std::uint8_t* at) {
    std::uint16_t x;
    std::memcpy(&x, at, 2);
    return x;
}

// One walk's test of its candidates, latest first: one longer than the best
// so far must agree with `here` on the two bytes at the best length's end.
class CandidateTest {
public:
    CandidateTest(const std::uint8_t* window, const std::uint8_t* here, unsigned limit, const unsigned& best)
        : window_(window), here_(here), limit_(limit), best_(best), last_(best - 1), want_(twoBytes(here + last_)) {}
    // Offers the candidate at `at` to offer(length, distance, linksLeft) if
    // it is longer; true (from offer) ends the walk.
    template <typename Offer>
    bool operator()(std::int64_t at, unsigned distance, int& left, Offer& offer) {
        const std::uint8_t* there = window_ + at;
        if (twoBytes(there + last_) != want_) return false;
        return known(commonLength(there, here_, limit_), distance, left, offer);
    }
    // The same for a candidate whose length (at most limit) was measured already.
    template <typename Offer>
    bool known(unsigned length, unsigned distance, int& left, Offer& offer) {
        if (length > best_ && offer(length, distance, left)) return true;
        last_ = best_ - 1;
        want_ = twoBytes(here_ + last_);
        return false;
    }

private:
    const std::uint8_t* window_;
    const std::uint8_t* here_;
    unsigned limit_;
    const unsigned& best_;
    std::size_t last_;
    std::uint16_t want_;
};

// Moves the positions in [p, p + n) back by `shift`; one that falls before
// the window becomes `none` (no entry lies below kNoChain, so nothing wraps).
// Four at a time where SSE2 is there: a slide rebases every table whole.
void rebasePositions(std::int32_t* p, std::size_t n, std::int32_t shift, std::int32_t none) {
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i by = _mm_set1_epi32(shift), lost = _mm_set1_epi32(none);
    for (; i + 4 <= n; i += 4) {
        __m128i* const at = reinterpret_cast<__m128i*>(p + i);
        const __m128i moved = _mm_sub_epi32(_mm_loadu_si128(at), by);
        const __m128i gone = _mm_srai_epi32(moved, 31);   // all ones where it fell out
        _mm_storeu_si128(at, _mm_or_si128(_mm_andnot_si128(gone, moved), _mm_and_si128(gone, lost)));
    }
#endif
    // Over a pointer range: GCC's -O3 misjudged the indexed tail loop as
    // running past the end where n is a constant multiple of four.
    for (std::int32_t *q = p + i, *end = p + n; q != end; ++q) *q = *q >= shift ? *q - shift : none;
}

// The same for one position.
void rebasePosition(std::int32_t& p, std::int32_t shift, std::int32_t none) { p = p >= shift ? p - shift : none; }

// Small inputs get small tables: clearing them costs less than the data.
int hashBitsFor(std::uint64_t sizeHint) {
    int bits = 10;
    while (bits < kMaxHashBits && (std::uint64_t{1} << bits) < sizeHint) ++bits;
    return bits;
}

// Tree slots: one per position within reach, fewer for a smaller input;
// small tables stay in the cache. As many as the window holds, not one
// more power of two: that gives up only the window's farthest distance,
// and halves the trees (at -lh7-, 1 MiB to 512 KiB).
std::int64_t treeSlotsFor(int dictionaryBits, std::uint64_t sizeHint) {
    std::int64_t slots = 1 << 10;
    while (slots < (std::int64_t{1} << dictionaryBits) && static_cast<std::uint64_t>(slots) < sizeHint) slots <<= 1;
    return slots;
}

// Rows of the cheapest path: slots for twice the window (fewer for a
// smaller input), so that a busy row seldom drops a position still in reach.
int rowBitsFor(int dictionaryBits, int hashBits, unsigned rowSlots) {
    int slotBits = 0;
    while ((1u << slotBits) < rowSlots) ++slotBits;
    return std::max(std::min(dictionaryBits, hashBits) + 1 - slotBits, 4);
}

}  // namespace

Effort defaultEffort(Method method) {
    switch (method) {
    // The larger windows are chosen for smaller archives: the cheapest path,
    // still quicker than the peers at these methods. At -lh6- it skips the
    // search inside matches from 8 bytes, not 12, for time; its rows are
    // searched as deep (16 slots: 1.5 % more time than 8, for 0.16 % fewer
    // bytes).
    case Method::Lh7: return {16, 12, 128, 0, 0, true};
    case Method::Lh6: return {16, 8, 128, 0, 0, true};
    // -lh5- stays quickest: lazy matching that also looks one position past
    // the next before it takes a match (a shallow look: most of its cost is
    // the look itself, not its depth). Regions of 2,048 symbols end blocks
    // closer to where the data changes and update the prices sooner than
    // larger ones, for the cost of sizing more of them. Chains 48 deep (a
    // quarter of that after a match of 16) keep repetitive text, such as C++
    // headers, under LHa's bytes for about 6 % more time than 32 after 8.
    default:
        return {.depth = 48, .goodLength = 16, .niceLength = 128, .lazyLength = 32, .blockSymbols = 2048,
                .furtherDepth = 3};
    }
}

Effort defaultEffort(Method method, std::uint64_t size) {
    // Small files, where a few bytes count for more and the time is short,
    // get a deeper search: the lazy one at the quicker methods (the search
    // past the next position gains nothing on them), and every slot of a
    // row at -lh7-.
    constexpr std::uint64_t kSmallFile = 64 * 1024;
    if (size >= kSmallFile) return defaultEffort(method);
    if (method == Method::Lh7) return {32, 12, 128, 0, 0, true};
    return {64, 16, 128, 32, 4096};
}

Effort bestEffort(Method) {
    return {.depth = 32, .goodLength = 256, .niceLength = 256, .lazyLength = 256, .blockSymbols = 16384,
            .optimal = true, .passes = 2, .trees = true, .blockStep = 4096};
}

Encoder::Encoder(Method method, const Effort& effort, std::uint64_t sizeHint)
    : params_(parameters(method)),
      effort_(effort),
      capacity_(sizeHint >= static_cast<std::uint64_t>(kWindowSize - 2 * kMaxMatch)
                    ? kWindowSize
                    : static_cast<std::int64_t>(sizeHint) + 2 * kMaxMatch),
      // A tree slot serves one position at a time: no distance reaches past the slots.
      maxDistance_(effort.optimal && effort.trees ? std::min<std::int64_t>(std::int64_t{1} << params_.dictionaryBits,
                                                           treeSlotsFor(params_.dictionaryBits, sizeHint) - 1)
                                  : std::int64_t{1} << params_.dictionaryBits),
      window_(new std::uint8_t[static_cast<std::size_t>(capacity_) + 8]()),
      // The lazy parse's chains: a slot for every two positions of a small
      // input (as many bytes, fewer to clear for each file of many).
      hashBits_(hashBitsFor(effort.optimal ? sizeHint : sizeHint / 2)),
      hash3Bits_(std::min(hashBits_, kHash3Bits)),
      block_(params_),
      region_(params_),
      trial_(params_),
      codePrice_(kCodeSymbols, 8.0),
      offsetPrice_(static_cast<std::size_t>(params_.offsetCodes), 0.0) {
    static_assert(Encoder::kMaxHashBits == lzh::kMaxHashBits && kMaxHash3Bits == kHash3Bits);
    if (effort.optimal && effort.trees) {
        finder_ = std::make_unique<MatchFinder>(hashBits_, treeSlotsFor(params_.dictionaryBits, sizeHint));
    } else {
        head3_.reset(new std::int32_t[std::size_t{1} << hash3Bits_]);
        // The chains reach as far as the window, less one byte at -lh7-
        // (16-bit links); the rows reach as far.
        chainMask_ = std::min<std::int64_t>((std::int64_t{1} << params_.dictionaryBits) - 1, 0xFFFF);
        maxDistance_ = chainMask_;
        if (effort.optimal) {
            head4_.reset(new std::int32_t[std::size_t{1} << hash3Bits_]);
            std::fill_n(head4_.get(), std::size_t{1} << hash3Bits_, kNone);
            rowBits_ = rowBitsFor(params_.dictionaryBits, hashBits_, kRowSlots);
            const std::size_t slots = (std::size_t{1} << rowBits_) * kRowSlots;
            rowTags_.reset(new std::uint8_t[slots]());
            rowPositions_.reset(new std::int32_t[slots]);
            std::fill_n(rowPositions_.get(), slots, kNoChain);
            rowNewest_.reset(new std::uint8_t[std::size_t{1} << rowBits_]());
        } else {
            head_.reset(new std::int32_t[std::size_t{1} << hashBits_]);
            // Not cleared: a link is read only at a position put in the chains, which wrote it.
            prev_.reset(new std::uint16_t[static_cast<std::size_t>(chainMask_ + 1)]);
            std::fill_n(head_.get(), std::size_t{1} << hashBits_, kNoChain);
        }
        std::fill_n(head3_.get(), std::size_t{1} << hash3Bits_, kNone);
    }
    // Before any block: plain guesses, longer matches and farther offsets dearer.
    setLiteralPrice(literalPrice_);
    for (int len = kMinMatch; len <= kMaxMatch; ++len) codePrice_[kLiterals + len - kMinMatch] = len < 16 ? 7.0 : 10.0;
    for (int c = 0; c < params_.offsetCodes; ++c) offsetPrice_[static_cast<std::size_t>(c)] = 4.0 + BlockEncoder::offsetExtraBits(static_cast<unsigned>(c));
}

void Encoder::writeBlock(bool last) {
    block_.write(out_);
    if (last) return;   // nothing left to price
    setPrices(block_.lastCodeLengths(), block_.lastOffsetLengths());
    setLiteralPrice(block_.lastLiteralBits());
}

void Encoder::setPrices(const std::vector<std::uint8_t>& code, const std::vector<std::uint8_t>& offset) {
    // Unused symbols at a price above the used ones; chosen without a branch
    // (which are used cannot be foreseen), by the length from a table.
    double byLength[kMaxCodeLength + 1];
    for (int length = 1; length <= kMaxCodeLength; ++length) byLength[length] = length;
    byLength[0] = 12;
    for (int s = 0; s < kLiterals; ++s) codePrice_[s] = byLength[code[s]];
    byLength[0] = 13;
    for (int s = kLiterals; s < kCodeSymbols; ++s) codePrice_[s] = byLength[code[s]];
    for (std::size_t k = 0; k < offset.size(); ++k)
        offsetPrice_[k] = (offset[k] ? offset[k] : 7) + BlockEncoder::offsetExtraBits(static_cast<unsigned>(k));
}

void Encoder::closeRegion(bool last) {
    // A last region alone is the last block as it stands: nothing left to price or weigh.
    if (last && block_.empty()) {
        block_.append(region_);
        return;
    }
    // The next region is priced by the block as it will stand.
    std::vector<std::uint8_t> code, offset, joinedCode, joinedOffset;
    const std::uint64_t regionBits = region_.bits(nullptr, &code, &offset);
    if (block_.empty()) {
        blockBits_ = regionBits;
    } else {
        const bool full = block_.symbolCount() + region_.symbolCount() > kMaxBlockSymbols;
        const std::uint64_t joinedBits = full ? 0 : block_.bits(&region_, &joinedCode, &joinedOffset);
        if (full || blockBits_ + regionBits < joinedBits) {
            writeBlock();
            blockBits_ = regionBits;
        } else {
            blockBits_ = joinedBits;
            code.swap(joinedCode);
            offset.swap(joinedOffset);
        }
    }
    block_.append(region_);
    setPrices(code, offset);
}

Encoder::~Encoder() = default;

void Encoder::write(const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        if (end_ == capacity_) {
            if (capacity_ < kWindowSize) {
                // More data than the size hint promised: take the full window.
                std::unique_ptr<std::uint8_t[]> larger(new std::uint8_t[kWindowSize + 8]());
                std::memcpy(larger.get(), window_.get(), static_cast<std::size_t>(end_));
                window_.swap(larger);
                capacity_ = kWindowSize;
            } else {
                slide();
            }
        }
        std::size_t room = static_cast<std::size_t>(capacity_ - end_);
        std::size_t take = std::min(room, size);
        std::memcpy(window_.get() + end_, data, take);
        end_ += static_cast<std::int64_t>(take);
        data += take;
        size -= take;
        process(false);
    }
}

void Encoder::prime(const std::uint8_t* history, std::size_t size) {
    // Only the latest bytes are reachable.
    std::size_t keep = std::min<std::size_t>(size, static_cast<std::size_t>(maxDistance_));
    keep = std::min<std::size_t>(keep, static_cast<std::size_t>(capacity_ - 2 * kMaxMatch));
    std::memcpy(window_.get(), history + (size - keep), keep);
    size = keep;
    end_ = pos_ = static_cast<std::int64_t>(size);
    // Its positions go into the chains or trees once the input that follows is held.
}

void Encoder::finish(bool pad) {
    process(true);
    if (literalPending_) {
        emitLiteral(window_[pos_ - 1]);
        literalPending_ = false;
    }
    if (!region_.empty()) closeRegion(true);
    if (!block_.empty()) writeBlock(true);
    if (pad) out_.flush();
}

void Encoder::slide() {
    // Drop the oldest kSlide bytes. What stays behind the parse position is
    // still more than the largest distance.
    const std::int64_t shift = kSlide;
    std::memmove(window_.get(), window_.get() + shift, static_cast<std::size_t>(end_ - shift));
    end_ -= shift;
    pos_ -= shift;
    inserted_ -= shift;
    if (finder_) {
        finder_->rebase(shift);
        return;
    }
    constexpr auto by = static_cast<std::int32_t>(shift);
    if (head_) rebasePositions(head_.get(), std::size_t{1} << hashBits_, by, kNoChain);
    // A row's position that falls before the window needs no rewriting:
    // it lies farther back than any distance reaches, as kNoChain does.
    if (rowPositions_) {
        rowBase_ += shift;
        if (rowBase_ >= kRowRebase) {
            rebasePositions(rowPositions_.get(), (std::size_t{1} << rowBits_) * kRowSlots,
                            static_cast<std::int32_t>(rowBase_), kNoChain);
            rowBase_ = 0;
        }
    }
    rebasePositions(head3_.get(), std::size_t{1} << hash3Bits_, by, kNone);
    rebasePosition(nearest3_, by, kNone);
    rebasePositions(nearest3Ahead_, std::size(nearest3Ahead_), by, kNone);
    rebasePosition(nearest4_, by, kNone);
    if (head4_) rebasePositions(head4_.get(), std::size_t{1} << hash3Bits_, by, kNone);
}

inline std::uint32_t Encoder::insertSearched(std::int64_t pos, std::uint64_t key) {
    const int shift3 = 32 - hash3Bits_;
    const std::uint32_t h3 = slot3(key, shift3);
    nearest3_ = head3_[h3];
    head3_[h3] = static_cast<std::int32_t>(pos);
    const std::uint32_t hash = rowHash(key);
    if (pos > end_ - chainBytes<true>()) {   // too few bytes for a row
        nearest4_ = kNoPosition;
        return hash;
    }
    const std::uint32_t h4 = slot4(key, shift3);
    nearest4_ = head4_[h4];
    head4_[h4] = static_cast<std::int32_t>(pos);
    const std::size_t slot = (hash >> 8) * kRowSlots;
    const auto stored = static_cast<std::int32_t>(pos + rowBase_);
    const unsigned newest = (rowNewest_[hash >> 8] - 1u) & (kRowSlots - 1);
    rowNewest_[hash >> 8] = static_cast<std::uint8_t>(newest);
    rowTags_[slot + newest] = static_cast<std::uint8_t>(hash);
    rowPositions_[slot + newest] = stored;
    return hash;
}

template <bool kBack>
unsigned Encoder::searchAt(int depth, Match* out, BackSearch* back) {
    const std::int64_t pos = inserted_++;
    const unsigned available = static_cast<unsigned>(std::min<std::int64_t>(end_ - pos, kMaxMatch));
    if (available < kMinMatch) return 0;
    const unsigned limit = std::min<unsigned>(available, static_cast<unsigned>(effort_.niceLength));
    const std::uint8_t* window = window_.get();
    unsigned n;
    if (finder_) {
        n = finder_->findAndInsert(window, pos, limit, maxDistance_, depth, out);
    } else {
        // Only the cheapest path searches here: six-byte rows.
        std::uint64_t key;
        std::memcpy(&key, window + pos, 8);   // the window has room past its end
        const std::uint32_t hash = insertSearched(pos, key);
        // The next position's row and latest-position slots, asked for now:
        // the tables are too large to stay near, and the next search starts there.
        std::memcpy(&key, window + pos + 1, 8);
        const std::size_t row = rowHash(key) >> 8;
        __builtin_prefetch(rowTags_.get() + row * kRowSlots, 1);
        __builtin_prefetch(rowPositions_.get() + row * kRowSlots, 1);
        __builtin_prefetch(head3_.get() + slot3(key, 32 - hash3Bits_), 1);
        __builtin_prefetch(head4_.get() + slot4(key, 32 - hash3Bits_), 1);
        n = chainMatches<kBack>(pos, hash, limit, depth, out, back);
    }
    if (n && out[n - 1].length == limit && limit < available) {
        Match& last = out[n - 1];
        last.length += commonLength(window + pos - last.distance + limit, window + pos + limit, available - limit);
    }
    return n;
}

unsigned Encoder::findMatches(int depth, Match* out) { return searchAt<false>(depth, out, nullptr); }

unsigned Encoder::findMatchesBack(int depth, Match* out, BackSearch& back) { return searchAt<true>(depth, out, &back); }

void Encoder::skipTo(std::int64_t next) {
    if (!finder_) {
        if (head4_) insertUpTo<true>(next);
        else insertUpTo<false>(next);
        return;
    }
    const std::uint8_t* window = window_.get();
    const unsigned nice = static_cast<unsigned>(effort_.niceLength);
    for (; inserted_ < next; ++inserted_) {
        const unsigned available = static_cast<unsigned>(std::min<std::int64_t>(end_ - inserted_, nice));
        if (available >= kMinMatch) finder_->insert(window, inserted_, available, maxDistance_, effort_.depth);
    }
}

template <typename Offer, typename Each>
void Encoder::walkChain(std::int64_t pos, int depth, unsigned limit, const unsigned& best, Offer offer,
                        Each each) const {
    // Within reach a link's slot is its position's own, but for the farthest
    // few: the positions put in ahead of the search (up to kInsertAhead + 1)
    // wrote over theirs. A link read there leads, within reach, to some
    // position that is checked like any candidate.
    const std::uint8_t* const window = window_.get();
    const std::uint8_t* const here = window + pos;
    const std::uint16_t* const links = prev_.get();
    const std::int64_t mask = chainMask_, reach = maxDistance_;
    std::int64_t at = pos, d = 0;
    CandidateTest test(window, here, limit, best);
    while (depth-- > 0) {
        const unsigned delta = links[at & mask];
        d += delta;
        if (!delta || d > reach) break;
        at -= delta;
        each(at, static_cast<unsigned>(d));
        if (test(at, static_cast<unsigned>(d), depth, offer)) break;
    }
}

template <typename Offer, typename Each>
void Encoder::walkRow(std::int64_t pos, std::uint32_t hash, int depth, unsigned limit, const unsigned& best,
                      Offer offer, Each each) const {
    const std::uint8_t* const window = window_.get();
    const std::uint8_t* const here = window + pos;
    const std::uint32_t h = hash;
    const std::size_t row = h >> 8;
    const std::uint8_t* const tags = rowTags_.get() + row * kRowSlots;
    const std::int32_t* const positions = rowPositions_.get() + row * kRowSlots;
    const std::int64_t base = rowBase_;
    const unsigned newest = rowNewest_[row];
    // Bit k: slot k's tag is pos's.
    std::uint64_t found = 0;
#if defined(__SSE2__)
    const __m128i tag = _mm_set1_epi8(static_cast<char>(h));
    for (unsigned k = 0; k < kRowSlots; k += 16)
        found |= std::uint64_t{static_cast<std::uint16_t>(_mm_movemask_epi8(
                     _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(tags + k)), tag)))}
                 << k;
#else
    for (unsigned k = 0; k < kRowSlots; ++k) found |= std::uint64_t{tags[k] == static_cast<std::uint8_t>(h)} << k;
#endif
    // Turned so that bit i is the i-th latest position; bit 0, pos itself, is dropped.
    static_assert(kRowSlots < 64);
    found = ((found >> newest) | (found << (kRowSlots - newest))) & ((std::uint64_t{1} << kRowSlots) - 2);
    // Latest first, as the depth allows; each agrees with pos on the tag.
    const std::int64_t reach = maxDistance_;
    CandidateTest test(window, here, limit, best);
    while (found && depth-- > 0) {
        const unsigned i = static_cast<unsigned>(__builtin_ctzll(found));
        found &= found - 1;
        const std::int64_t at = positions[(newest + i) & (kRowSlots - 1)] - base;
        const std::int64_t d = pos - at;
        if (d > reach) break;   // the rest are older still (or gone: before the window, or none)
        const unsigned measured = each(at, static_cast<unsigned>(d));
        if (measured ? test.known(measured, static_cast<unsigned>(d), depth, offer)
                     : test(at, static_cast<unsigned>(d), depth, offer))
            break;
    }
}

template <bool kBack>
unsigned Encoder::chainMatches(std::int64_t pos, std::uint32_t hash, unsigned limit, int depth, Match* out,
                               BackSearch* back) const {
    const std::uint8_t* const window = window_.get();
    const std::uint8_t* here = window + pos;
    unsigned best = kMinMatch - 1, count = 0;
    // Candidates that agree before pos too: how far back, and how far on.
    unsigned farthestBack = 0, farthestOn = 0;
    // Whether the candidate at `at` may be kept: it agrees on the byte
    // before pos, and to reach farther back or farther on than all those
    // kept, on the byte just past either reach. A quick test, kept inline,
    // that rules out most candidates (in long runs, nearly all) before
    // anything is measured.
    auto mayReachBack = [&](std::int64_t at) {
        const unsigned most = static_cast<unsigned>(std::min<std::int64_t>(back->limit, at));
        if (back->count == BackSearch::kRoom || most == 0 || window[at - 1] != here[-1]) return false;
        return (farthestBack < most && window[at - 1 - farthestBack] == *(here - 1 - farthestBack)) ||
               (farthestOn < limit && window[at + farthestOn] == here[farthestOn]);
    };
    // Measures such a candidate and keeps it if it does reach farther;
    // returns its length from pos.
    auto reachBack = [&](std::int64_t at, unsigned distance) -> unsigned {
        const unsigned most = static_cast<unsigned>(std::min<std::int64_t>(back->limit, at));
        const unsigned before = commonLengthBack(window + at, here, most);
        const unsigned on = commonLength(window + at, here, limit);
        if (on == 0 || before + on < kMinMatch || (before <= farthestBack && on <= farthestOn)) return on;
        farthestBack = std::max(farthestBack, before);
        farthestOn = std::max(farthestOn, on);
        back->matches[back->count++] = BackMatch{before, Match{before + on, distance}};
        return on;
    };
    const bool near3 = nearest3_ != kNone && pos - nearest3_ <= maxDistance_;
    const bool near4 = nearest4_ != kNone && nearest4_ != nearest3_ && pos - nearest4_ <= maxDistance_;
    unsigned measured3 = 0, measured4 = 0;
    if constexpr (kBack) {
        if (near3 && mayReachBack(nearest3_)) measured3 = reachBack(nearest3_, static_cast<unsigned>(pos - nearest3_));
        if (near4 && mayReachBack(nearest4_)) measured4 = reachBack(nearest4_, static_cast<unsigned>(pos - nearest4_));
    }
    if (near3) {
        const unsigned length = measured3 ? measured3 : commonLength(window + nearest3_, here, limit);
        if (length >= kMinMatch) {
            out[count++] = Match{length, static_cast<unsigned>(pos - nearest3_)};
            best = length;
            if (length >= limit) return count;
        }
    }
    if (near4) {
        const unsigned length = measured4 ? measured4 : commonLength(window + nearest4_, here, limit);
        if (length > best) {
            out[count++] = Match{length, static_cast<unsigned>(pos - nearest4_)};
            best = length;
            if (length >= limit) return count;
        }
    }
    walkRow(pos, hash, depth, limit, best, [&](unsigned length, unsigned distance, int& left) {
        out[count++] = Match{length, distance};
        // A long match is worth a longer search for a longer one:
        // the path takes it whole, skipping the search inside it.
        if (best < kLongMatch && length >= kLongMatch) left += kLongerSearch;
        best = length;
        return length >= limit;
    }, [&](std::int64_t at, unsigned distance) -> unsigned {
        if constexpr (kBack) return mayReachBack(at) ? reachBack(at, distance) : 0;
        return 0;
    });
    return count;
}

unsigned Encoder::longestMatch(std::int64_t pos, unsigned available, unsigned& distance, int chain) const {
    const unsigned limit = std::min<unsigned>(available, kMaxMatch);
    if (limit < kMinMatch) return 0;
    const std::int64_t maxDistance = maxDistance_;
    const std::uint8_t* here = window_.get() + pos;
    unsigned best = kMinMatch - 1;
    double bestGain = 0.0;
    const unsigned nice = std::min<unsigned>(static_cast<unsigned>(effort_.niceLength), limit);
    // The nearest position with the same three-byte hash, then the chain.
    const std::int32_t nearest3 = nearest3Ahead_[pos & kAheadMask];
    if (nearest3 != kNone && pos - nearest3 > 0 && pos - nearest3 <= maxDistance) {
        const unsigned length = commonLength(window_.get() + nearest3, here, limit);
        if (length >= kMinMatch) {
            const double g = gain(length, static_cast<unsigned>(pos - nearest3));
            if (g > 0.0) {
                best = length;
                bestGain = g;
                distance = static_cast<unsigned>(pos - nearest3);
                if (length >= nice) return best;
            }
        }
    }
    walkChain(pos, chain, limit, best, [&](unsigned length, unsigned d, int&) {
        // A longer match farther back must also save more bits.
        const double g = length >= kMinMatch ? gain(length, d) : 0.0;
        if (best >= kMinMatch && g <= bestGain) return false;
        best = length;
        bestGain = g;
        distance = d;
        return length >= nice;
    }, [](std::int64_t, unsigned) {});
    if (best < kMinMatch || bestGain <= 0.0) return 0;
    return best;
}

void Encoder::process(bool final) {
    if (effort_.optimal) {
        processOptimal(final);
        return;
    }
    // Parse while a whole maximal match fits in the bytes held, also at the
    // next position, which the lazy search looks at too (or to the end): the
    // parse is the same however the input came in.
    const std::int64_t stop = final ? end_ : end_ - kMaxMatch - 1;
    // The later match must save this many bits more to be worth a literal
    // first (and half a mean literal more for the look past the next, which
    // it costs two).
    const double lazyBias = 1.0;
    // The parse's state in locals, kept in registers across the calls (the
    // members could be changed by any of them for all the compiler knows).
    std::int64_t pos = pos_;
    unsigned prevLength = prevLength_, prevDistance = prevDistance_;
    bool pending = literalPending_;
    while (pos < stop) {
        const unsigned available = static_cast<unsigned>(std::min<std::int64_t>(end_ - pos, kMaxMatch));
        // Positions go into the chains a run ahead of the search, for fewer set-ups.
        if (inserted_ <= pos) insertUpTo<false>(pos + kInsertAhead);

        unsigned length = 0, distance = 0;
        if (prevLength < static_cast<unsigned>(effort_.lazyLength)) {
            int chain = effort_.depth;
            if (prevLength >= static_cast<unsigned>(effort_.goodLength)) chain >>= 2;
            length = longestMatch(pos, available, distance, chain);
        }

        if (prevLength >= kMinMatch &&
            (length < kMinMatch ||
             laterSaves(pos - 1, prevLength, prevDistance, pos, length, distance) <= lazyBias)) {
            // Before it is taken: a match one position further on may be
            // worth the two literals it costs (a shallow search there).
            if (effort_.furtherDepth > 0 && prevLength < static_cast<unsigned>(effort_.lazyLength) &&
                pos + 1 < end_) {
                const std::int64_t later = pos + 1;
                if (inserted_ <= later) insertUpTo<false>(later + kInsertAhead);
                unsigned laterDistance = 0;
                const unsigned laterLength = longestMatch(
                    later, static_cast<unsigned>(std::min<std::int64_t>(end_ - later, kMaxMatch)), laterDistance,
                    effort_.furtherDepth);
                if (laterLength >= kMinMatch &&
                    laterSaves(pos - 1, prevLength, prevDistance, later, laterLength, laterDistance) >
                        lazyBias + literalPrice_ / 2) {
                    emitLiteral(window_[pos - 1]);
                    emitLiteral(window_[pos]);
                    pending = true;   // the byte at `later`, unless its match is taken
                    prevLength = laterLength;
                    prevDistance = laterDistance;
                    pos = later + 1;
                    continue;
                }
            }
            // The match from the previous position wins.
            emitMatch(prevLength, prevDistance);
            const std::int64_t next = pos - 1 + prevLength;
            if (inserted_ < next) insertUpTo<false>(next);   // often put in already, with the run ahead
            pos = next;
            prevLength = 0;
            pending = false;
            continue;
        }
        if (pending) emitLiteral(window_[pos - 1]);
        pending = true;
        prevLength = length;
        prevDistance = distance;
        ++pos;
    }
    pos_ = pos;
    prevLength_ = prevLength;
    prevDistance_ = prevDistance;
    literalPending_ = pending;
}

}  // namespace lzh

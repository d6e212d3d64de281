#include "archiver/codec/block_encoder.h"

#include "archiver/codec/huffman.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace lzh {
namespace {

// Visits the C lengths as the T-coded stream: each call gets a T symbol and,
// for the zero-run symbols, the extra bits (count and value).
template <typename Visit>
void forEachCodeLengthSymbol(const std::uint8_t* lengths, std::size_t n, Visit visit) {
    std::size_t i = 0;
    while (i < n) {
        unsigned length = lengths[i++];
        if (length != 0) {
            visit(length + 2, 0u, 0u);
            continue;
        }
        unsigned run = 1;
        while (i < n && lengths[i] == 0) {
            ++i;
            ++run;
        }
        if (run <= 2) {
            for (unsigned k = 0; k < run; ++k) visit(0u, 0u, 0u);
        } else if (run <= 18) {
            visit(1u, 4u, run - 3);
        } else if (run == 19) {
            visit(0u, 0u, 0u);
            visit(1u, 4u, 15u);
        } else {
            visit(2u, static_cast<unsigned>(kCodeBits), run - 20);
        }
    }
}

// Bits of the symbols themselves (codes, offset codes and their extra bits).
std::uint64_t symbolBits(const std::vector<std::uint32_t>& code, const std::vector<std::uint8_t>& cLengths,
                         const std::vector<std::uint32_t>& offset, const std::vector<std::uint8_t>& pLengths) {
    std::uint64_t total = 0;
    for (std::size_t s = 0; s < code.size(); ++s) total += std::uint64_t{code[s]} * cLengths[s];
    for (std::size_t c = 0; c < offset.size(); ++c)
        total += std::uint64_t{offset[c]} * (pLengths[c] + BlockEncoder::offsetExtraBits(static_cast<unsigned>(c)));
    return total;
}

// The lengths of the symbols used (frequency not 0), 0 for the others, in
// place. Only a code padded to two symbols gives an unused one a length,
// and then 1: only the (at most two) lengths of 1 are looked at, found by memchr.
void keepUsedLengths(std::uint8_t* lengths, std::size_t n, const std::uint32_t* frequency) {
    std::uint8_t* const end = lengths + n;
    for (auto* at = lengths; (at = static_cast<std::uint8_t*>(std::memchr(at, 1, static_cast<std::size_t>(end - at))));
         ++at)
        if (frequency[at - lengths] == 0) *at = 0;
}

std::vector<std::uint8_t> usedLengths(std::vector<std::uint8_t> lengths, const std::vector<std::uint32_t>& frequency) {
    keepUsedLengths(lengths.data(), lengths.size(), frequency.data());
    return lengths;
}

std::size_t usedCount(const std::uint8_t* lengths, std::size_t n) {
    while (n > 0 && lengths[n - 1] == 0) --n;
    return n;
}

std::size_t usedCount(const std::vector<std::uint8_t>& lengths) { return usedCount(lengths.data(), lengths.size()); }

// Bits of a T or P table's lengths as written (3 bits up to 6, one more
// for each step past that), the zero lengths after the third entry of the
// T table in their 2-bit count.
std::uint64_t tableLengthBits(const std::uint8_t* lengths, std::size_t size, std::size_t skipAfter) {
    std::uint64_t n = 0;
    for (std::size_t i = 0, used = usedCount(lengths, size); i < used; ++i) {
        n += lengths[i] <= 6 ? 3 : lengths[i] - 3;
        if (i + 1 == skipAfter)
            while (i + 1 < 6 && i + 1 < used && lengths[i + 1] == 0) ++i;
    }
    return n;
}

// Bits of the T table and of the C lengths in T codes, from how many of
// each T symbol they take (the zero runs' extra bits aside).
std::uint64_t tCodedBits(const std::uint32_t* tFrequency) {
    std::uint8_t tLengths[kTableSymbols];
    const std::uint64_t coded = codeLengths(tFrequency, kTableSymbols, tLengths);
    return tableLengthBits(tLengths, kTableSymbols, 3) + coded;
}

// Bits of the C table as written: the T table, then the C lengths in T codes.
std::uint64_t codeTableBits(const std::uint8_t* cLengths) {
    std::uint32_t tFrequency[kTableSymbols] = {};
    std::uint64_t extraBits = 0;
    forEachCodeLengthSymbol(cLengths, usedCount(cLengths, kCodeSymbols), [&](unsigned t, unsigned extra, unsigned) {
        ++tFrequency[t];
        extraBits += extra;
    });
    return extraBits + tCodedBits(tFrequency);
}

// The C lengths that make the C table and the codes together smallest:
// Huffman's, or with the longest codes cut by a step or more, which can
// leave fewer distinct lengths, shorter T codes and a smaller table for a
// few more code bits (worth it in small blocks). Each step is tried while
// the one before gained. A cut changes the lengths of the used symbols
// only, so each is weighed by its counts of lengths, with the zero runs'
// T symbols of Huffman's lengths.
std::vector<std::uint8_t> cheapestCodeLengths(const std::vector<std::uint32_t>& code) {
    const LimitedCodeLengths under(code);
    LengthCounts best = under.counts();
    std::vector<std::uint8_t> lengths = under.lengths(best);
    std::uint32_t runs[kTableSymbols] = {};   // T symbols 0, 1 and 2 only
    std::uint64_t runBits = 0;
    forEachCodeLengthSymbol(lengths.data(), usedCount(lengths), [&](unsigned t, unsigned extra, unsigned) {
        if (t > 2) return;
        ++runs[t];
        runBits += extra;
    });
    auto sideBits = [&](const LengthCounts& counts) {
        std::uint32_t tFrequency[kTableSymbols];
        std::copy(std::begin(runs), std::end(runs), tFrequency);
        for (int len = 1; len <= kMaxCodeLength; ++len) tFrequency[static_cast<std::size_t>(len) + 2] = counts.count[len];
        return runBits + tCodedBits(tFrequency) + under.codeBits(counts, code);
    };
    std::uint64_t bestBits = sideBits(best);
    int longest = kMaxCodeLength;
    while (longest > 1 && !best.count[longest]) --longest;
    bool cut = false;
    for (int limit = longest - 1; limit > 0; --limit) {
        const LengthCounts counts = under.counts(limit);
        if (std::any_of(counts.count + limit + 1, std::end(counts.count), [](std::uint32_t n) { return n != 0; }))
            break;   // the used symbols need more
        const std::uint64_t bits = sideBits(counts);
        if (bits >= bestBits) break;
        best = counts;
        bestBits = bits;
        cut = true;
    }
    return cut ? under.lengths(best) : lengths;
}

}  // namespace

BlockEncoder::BlockEncoder(const MethodParameters& params)
    : params_(params), codeFrequency_(kCodeSymbols, 0), offsetFrequency_(params.offsetCodes, 0) {}

void BlockEncoder::writeTableLengths(BitWriter& out, const std::vector<std::uint8_t>& lengths, unsigned countBits,
                                     int skipAfter) {
    const std::size_t n = usedCount(lengths);
    out.put(countBits, static_cast<std::uint32_t>(n));
    std::size_t i = 0;
    while (i < n) {
        unsigned length = lengths[i++];
        if (length <= 6)
            out.put(3, length);
        else
            out.put(length - 3, 0xFFFEu);   // (length - 4) one bits, then a zero
        if (static_cast<int>(i) == skipAfter) {
            // Zero lengths right after the third entry are skipped with a 2-bit count.
            std::size_t zeros = 0;
            while (i < 6 && i < n && lengths[i] == 0) {
                ++i;
                ++zeros;
            }
            out.put(2, static_cast<std::uint32_t>(zeros));
        }
    }
}

void BlockEncoder::writeCodeLengths(BitWriter& out, const std::vector<std::uint8_t>& codeLengths,
                                    const std::vector<std::uint8_t>& tLengths,
                                    const std::vector<std::uint16_t>& tCodes) {
    const std::size_t n = usedCount(codeLengths);
    out.put(kCodeBits, static_cast<std::uint32_t>(n));
    forEachCodeLengthSymbol(codeLengths.data(), n, [&](unsigned t, unsigned extraBits, unsigned extra) {
        out.put(tLengths[t], tCodes[t]);
        if (extraBits) out.put(extraBits, extra);
    });
}

void BlockEncoder::grow() {
    symbols_.resize(std::max<std::size_t>(4096, 2 * symbols_.size()));
    symbolRoom_ = symbols_.size();
}

void BlockEncoder::growDistances() {
    distances_.resize(std::max<std::size_t>(1024, 2 * distances_.size()));
    distanceRoom_ = distances_.size();
}

void BlockEncoder::clear() {
    count_ = matchCount_ = 0;
    std::fill(codeFrequency_.begin(), codeFrequency_.end(), 0);
    std::fill(offsetFrequency_.begin(), offsetFrequency_.end(), 0);
}

void BlockEncoder::append(BlockEncoder& other) {
    while (symbols_.size() < count_ + other.count_) grow();
    while (distances_.size() < matchCount_ + other.matchCount_) growDistances();
    std::copy_n(other.symbols_.begin(), other.count_, symbols_.begin() + static_cast<std::ptrdiff_t>(count_));
    std::copy_n(other.distances_.begin(), other.matchCount_,
                distances_.begin() + static_cast<std::ptrdiff_t>(matchCount_));
    count_ += other.count_;
    matchCount_ += other.matchCount_;
    for (std::size_t s = 0; s < codeFrequency_.size(); ++s) codeFrequency_[s] += other.codeFrequency_[s];
    for (std::size_t c = 0; c < offsetFrequency_.size(); ++c) offsetFrequency_[c] += other.offsetFrequency_[c];
    other.clear();
}

std::uint64_t BlockEncoder::bits(const BlockEncoder* other, std::vector<std::uint8_t>* codeOut,
                                 std::vector<std::uint8_t>* offsetOut) const {
    // The frequencies as they are, or joined with the other's: on the stack,
    // as are the lengths, so that weighing a block takes no allocation.
    const std::size_t offsets = offsetFrequency_.size();
    std::uint32_t joinedCode[kCodeSymbols], joinedOffset[kMaxOffsetCodes];
    const std::uint32_t* code = codeFrequency_.data();
    const std::uint32_t* offset = offsetFrequency_.data();
    if (other) {
        for (std::size_t s = 0; s < kCodeSymbols; ++s) joinedCode[s] = code[s] + other->codeFrequency_[s];
        for (std::size_t c = 0; c < offsets; ++c) joinedOffset[c] = offset[c] + other->offsetFrequency_[c];
        code = joinedCode;
        offset = joinedOffset;
    }
    std::uint8_t cLengths[kCodeSymbols], pLengths[kMaxOffsetCodes];
    std::uint64_t total = codeLengths(code, kCodeSymbols, cLengths) + codeLengths(offset, offsets, pLengths);
    // The offsets' extra bits (classes 0 and 1 have none).
    for (std::size_t c = 2; c < offsets; ++c) total += std::uint64_t{offset[c]} * offsetExtraBits(static_cast<unsigned>(c));
    total += countBits() + codeTableBits(cLengths) + tableLengthBits(pLengths, offsets, 0);
    if (codeOut && offsetOut) {
        keepUsedLengths(cLengths, kCodeSymbols, code);
        keepUsedLengths(pLengths, offsets, offset);
        codeOut->assign(cLengths, cLengths + kCodeSymbols);
        offsetOut->assign(pLengths, pLengths + offsets);
    }
    return total;
}

std::uint64_t BlockEncoder::writtenBits() const {
    return bitsWith(codeFrequency_, offsetFrequency_, cheapestCodeLengths(codeFrequency_),
                    codeLengths(offsetFrequency_));
}

std::uint64_t BlockEncoder::bitsWith(const std::vector<std::uint32_t>& code, const std::vector<std::uint32_t>& offset,
                                     const std::vector<std::uint8_t>& cLengths,
                                     const std::vector<std::uint8_t>& pLengths) const {
    return countBits() + codeTableBits(cLengths.data()) + tableLengthBits(pLengths.data(), pLengths.size(), 0) +
           symbolBits(code, cLengths, offset, pLengths);
}

void BlockEncoder::write(BitWriter& out) {
    const std::vector<std::uint8_t> cLengths = cheapestCodeLengths(codeFrequency_);
    const std::vector<std::uint16_t> cCodes = canonicalCodes(cLengths);

    std::vector<std::uint32_t> tFrequency(kTableSymbols, 0);
    forEachCodeLengthSymbol(cLengths.data(), usedCount(cLengths), [&](unsigned t, unsigned, unsigned) { ++tFrequency[t]; });
    const std::vector<std::uint8_t> tLengths = codeLengths(tFrequency);
    const std::vector<std::uint16_t> tCodes = canonicalCodes(tLengths);

    const std::vector<std::uint8_t> pLengths = codeLengths(offsetFrequency_);
    const std::vector<std::uint16_t> pCodes = canonicalCodes(pLengths);

    out.put(16, static_cast<std::uint32_t>(count_));
    writeTableLengths(out, tLengths, kTableBits, 3);
    writeCodeLengths(out, cLengths, tLengths, tCodes);
    writeTableLengths(out, pLengths, static_cast<unsigned>(params_.offsetBits), -1);

    // Per offset class: its code followed by the extra bits' place, and the
    // length of both (every class a distance's bit length can have). The
    // field holds the leading one of the class's distances too, where the
    // code's last bit goes: a distance XORed in clears it and leaves the
    // code and the extra bits, with no mask to make.
    std::uint32_t offsetField[33] = {}, offsetLength[33] = {};
    for (std::size_t c = 0; c < pLengths.size(); ++c) {
        const unsigned extra = offsetExtraBits(static_cast<unsigned>(c));
        const std::uint32_t leadingOne = c > 0 ? 1u << (c - 1) : 0;
        offsetField[c] = (std::uint32_t{pCodes[c]} << extra) ^ leadingOne;
        offsetLength[c] = pLengths[c] + extra;
    }
    // The C codes and lengths at hand, not behind the vectors' pointers.
    std::uint16_t codeOf[kCodeSymbols];
    std::uint8_t lengthOf[kCodeSymbols];
    std::copy(cCodes.begin(), cCodes.end(), codeOf);
    std::copy(cLengths.begin(), cLengths.end(), lengthOf);
    // One field per symbol, a match's offset included, chosen without a
    // branch: whether a symbol is a literal or a match cannot be foreseen.
    if (distances_.size() <= matchCount_) growDistances();   // room for the read past the last match
    distances_[matchCount_] = 0;
    out.putRun(symbolBits(codeFrequency_, cLengths, offsetFrequency_, pLengths), [&](BitWriter::Run& run) {
        const std::uint16_t* const symbols = symbols_.data();
        const std::uint32_t* const distances = distances_.data();
        const std::size_t count = count_;
        std::size_t next = 0;   // the next match's distance (read ahead, also past the last one)
        for (std::size_t i = 0; i < count; ++i) {
            const unsigned symbol = symbols[i];
            const bool isMatch = symbol >= kLiterals;
            const std::uint32_t p = distances[next];
            const unsigned c = offsetClass(p);
            const unsigned tailLength = isMatch ? offsetLength[c] : 0;
            const std::uint64_t tail = isMatch ? (offsetField[c] ^ p) : 0;
            run.put(lengthOf[symbol] + tailLength, std::uint64_t{codeOf[symbol]} << tailLength | tail);
            next += isMatch;
        }
    });
    std::uint64_t literalCount = 0, literalBits = 0;
    for (int b = 0; b < kLiterals; ++b) {
        literalCount += codeFrequency_[b];
        literalBits += std::uint64_t{codeFrequency_[b]} * cLengths[b];
    }
    lastLiteralBits_ = literalCount ? static_cast<double>(literalBits) / literalCount : 8.0;
    // Symbols padded in only to complete a code were not used: unknown price.
    lastCodeLengths_ = usedLengths(cLengths, codeFrequency_);
    lastOffsetLengths_ = usedLengths(pLengths, offsetFrequency_);

    clear();
}

}  // namespace lzh

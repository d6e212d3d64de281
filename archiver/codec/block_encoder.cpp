#include "archiver/codec/block_encoder.h"

#include "archiver/codec/huffman.h"

#include <algorithm>

namespace lzh {
namespace {

// Visits the C lengths as the T-coded stream: each call gets a T symbol and,
// for the zero-run symbols, the extra bits (count and value).
template <typename Visit>
void forEachCodeLengthSymbol(const std::vector<std::uint8_t>& lengths, std::size_t n, Visit visit) {
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

std::size_t usedCount(const std::vector<std::uint8_t>& lengths) {
    std::size_t n = lengths.size();
    while (n > 0 && lengths[n - 1] == 0) --n;
    return n;
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
    forEachCodeLengthSymbol(codeLengths, n, [&](unsigned t, unsigned extraBits, unsigned extra) {
        out.put(tLengths[t], tCodes[t]);
        if (extraBits) out.put(extraBits, extra);
    });
}

void BlockEncoder::write(BitWriter& out) {
    const std::vector<std::uint8_t> cLengths = codeLengths(codeFrequency_);
    const std::vector<std::uint16_t> cCodes = canonicalCodes(cLengths);

    std::vector<std::uint32_t> tFrequency(kTableSymbols, 0);
    forEachCodeLengthSymbol(cLengths, usedCount(cLengths), [&](unsigned t, unsigned, unsigned) { ++tFrequency[t]; });
    const std::vector<std::uint8_t> tLengths = codeLengths(tFrequency);
    const std::vector<std::uint16_t> tCodes = canonicalCodes(tLengths);

    const std::vector<std::uint8_t> pLengths = codeLengths(offsetFrequency_);
    const std::vector<std::uint16_t> pCodes = canonicalCodes(pLengths);

    out.put(16, static_cast<std::uint32_t>(symbols_.size()));
    writeTableLengths(out, tLengths, kTableBits, 3);
    writeCodeLengths(out, cLengths, tLengths, tCodes);
    writeTableLengths(out, pLengths, static_cast<unsigned>(params_.offsetBits), -1);

    std::size_t nextDistance = 0;
    for (std::uint16_t symbol : symbols_) {
        out.put(cLengths[symbol], cCodes[symbol]);
        if (symbol >= kLiterals) {
            std::uint32_t p = distances_[nextDistance++];
            unsigned c = offsetClass(p);
            out.put(pLengths[c], pCodes[c]);
            if (c > 1) out.put(c - 1, p);
        }
    }

    std::uint64_t literalCount = 0, literalBits = 0;
    for (int b = 0; b < kLiterals; ++b) {
        literalCount += codeFrequency_[b];
        literalBits += std::uint64_t{codeFrequency_[b]} * cLengths[b];
    }
    lastLiteralBits_ = literalCount ? static_cast<double>(literalBits) / literalCount : 8.0;
    lastCodeLengths_ = cLengths;
    lastOffsetLengths_ = pLengths;
    // Symbols padded in only to complete a code were not used: unknown price.
    for (int s = 0; s < kCodeSymbols; ++s)
        if (!codeFrequency_[s]) lastCodeLengths_[s] = 0;
    for (std::size_t c = 0; c < offsetFrequency_.size(); ++c)
        if (!offsetFrequency_[c]) lastOffsetLengths_[c] = 0;

    symbols_.clear();
    distances_.clear();
    std::fill(codeFrequency_.begin(), codeFrequency_.end(), 0);
    std::fill(offsetFrequency_.begin(), offsetFrequency_.end(), 0);
}

}  // namespace lzh

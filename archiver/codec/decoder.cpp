#include "archiver/codec/decoder.h"

#include "archiver/codec/huffman_decoder.h"

#include <memory>
#include <vector>

namespace lzh {
namespace {


// The table form with a zero count: one symbol of no bits follows.
std::string readSingleSymbol(BitReader& in, unsigned bits, unsigned size, HuffmanDecoder& table) {
    const unsigned symbol = in.get(bits);
    if (symbol >= size) return "bad single-symbol table";
    table.single(static_cast<std::uint16_t>(symbol));
    return {};
}

// Reads a T or P length table; empty text or the fault.
std::string readTableLengths(BitReader& in, unsigned countBits, unsigned size, int skipAfter, HuffmanDecoder& table) {
    const unsigned n = in.get(countBits);
    if (n == 0) return readSingleSymbol(in, countBits, size, table);
    if (n > size) return "table too long";
    std::vector<std::uint8_t> lengths(size, 0);
    unsigned i = 0;
    while (i < n) {
        unsigned length = in.get(3);
        if (length == 7) {
            while (in.get(1)) {
                if (++length > 16) return "code length over 16";
            }
        }
        lengths[i++] = static_cast<std::uint8_t>(length);
        if (static_cast<int>(i) == skipAfter) {
            unsigned zeros = in.get(2);
            if (i + zeros > n) return "zero skip past the table";
            i += zeros;
        }
    }
    if (!table.build(lengths)) return "incomplete Huffman code";
    return {};
}

std::string readCodeLengths(BitReader& in, const HuffmanDecoder& t, HuffmanDecoder& table) {
    const unsigned n = in.get(kCodeBits);
    if (n == 0) return readSingleSymbol(in, kCodeBits, kCodeSymbols, table);
    if (n > kCodeSymbols) return "table too long";
    std::vector<std::uint8_t> lengths(kCodeSymbols, 0);
    unsigned i = 0;
    while (i < n) {
        unsigned c = t.decode(in);
        if (c <= 2) {
            unsigned run = c == 0 ? 1 : c == 1 ? in.get(4) + 3 : in.get(kCodeBits) + 20;
            if (i + run > n) return "zero run past the table";
            i += run;
        } else {
            lengths[i++] = static_cast<std::uint8_t>(c - 2);
        }
        if (in.overrun()) return "truncated data";
    }
    if (!table.build(lengths)) return "incomplete Huffman code";
    return {};
}

// The window is a ring of 2^RingBits bytes, a constant so that positions wrap by a mask.
template <unsigned RingBits>
std::string decodeWithRing(const MethodParameters& params, BitReader& in, std::uint64_t originalSize,
                           std::uint64_t packedSize, const Decoder::Sink& sink, bool strict) {
    constexpr std::size_t kRing = std::size_t{1} << RingBits;
    std::unique_ptr<std::uint8_t[]> ring(new std::uint8_t[kRing]);
    std::fill_n(ring.get(), kRing, static_cast<std::uint8_t>(' '));
    std::size_t ringPos = 0, flushedTo = 0;
    std::uint64_t produced = 0;
    const std::uint64_t maxDistance = std::uint64_t{1} << params.dictionaryBits;
    auto flush = [&]() -> bool {
        bool ok = ringPos == flushedTo || sink(ring.get() + flushedTo, ringPos - flushedTo);
        if (ringPos == kRing) ringPos = 0;
        flushedTo = ringPos;
        return ok;
    };
    auto put = [&](std::uint8_t byte) -> bool {
        ring[ringPos++] = byte;
        ++produced;
        return ringPos < kRing || flush();
    };

    HuffmanDecoder t, c, p;
    while (produced < originalSize) {
        unsigned count = in.get(16);
        if (count == 0) return "empty block";
        if (std::string fault = readTableLengths(in, kTableBits, kTableSymbols, 3, t); !fault.empty()) return fault;
        if (std::string fault = readCodeLengths(in, t, c); !fault.empty()) return fault;
        if (std::string fault = readTableLengths(in, static_cast<unsigned>(params.offsetBits),
                                                 static_cast<unsigned>(params.offsetCodes), -1, p);
            !fault.empty())
            return fault;
        for (; count > 0; --count) {
            if (produced == originalSize) {
                if (strict) return "block has more symbols than the data needs";
                break;
            }
            const unsigned symbol = c.decode(in);
            if (in.overrun()) return "truncated data";
            if (symbol < kLiterals) {
                if (!put(static_cast<std::uint8_t>(symbol))) return "output failed";
                continue;
            }
            unsigned length = symbol - kLiterals + kMinMatch;
            const unsigned cls = p.decode(in);
            const std::uint32_t offset = cls <= 1 ? cls : (1u << (cls - 1)) + in.get(cls - 1);
            const std::uint64_t distance = std::uint64_t{offset} + 1;
            if (distance > maxDistance) return "distance beyond the window";
            if (strict && distance > produced) return "reference before the start of the data";
            if (produced + length > originalSize) {
                if (strict) return "match runs past the end of the data";
                length = static_cast<unsigned>(originalSize - produced);
            }
            std::size_t from = (ringPos + kRing - distance) & (kRing - 1);
            for (unsigned k = 0; k < length; ++k) {
                if (!put(ring[from])) return "output failed";
                from = (from + 1) & (kRing - 1);
            }
            if (in.overrun()) return "truncated data";
        }
    }
    if (!flush()) return "output failed";
    if (in.overrun()) return "truncated data";
    if (strict && in.consumedBits() + 8 <= 8 * packedSize) return "bytes left after the end of the data";
    return {};
}

}  // namespace

std::string Decoder::decode(BitReader& in, std::uint64_t originalSize, std::uint64_t packedSize, const Sink& sink,
                            bool strict) {
    if (params_.dictionaryBits <= 16) return decodeWithRing<16>(params_, in, originalSize, packedSize, sink, strict);
    return decodeWithRing<20>(params_, in, originalSize, packedSize, sink, strict);
}

}  // namespace lzh

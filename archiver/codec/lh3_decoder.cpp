#include "archiver/codec/huffman_decoder.h"
#include "archiver/codec/old_decoders.h"
#include "archiver/codec/window.h"

#include <vector>

namespace lzh {
namespace {

constexpr unsigned kLh3Symbols = 286;        // literals, lengths 3..31, and one escape
constexpr unsigned kLh3Escape = kLh3Symbols - 1;
constexpr unsigned kLh3Positions = 128;      // upper seven bits of a 13-bit distance

// The fixed position code used when a block sends none: how many codes of
// each length from 2 to 9 bits.
std::vector<std::uint8_t> fixedPositionLengths() {
    const unsigned perLength[] = {1, 0, 2, 3, 7, 18, 47, 50};
    std::vector<std::uint8_t> lengths;
    for (unsigned i = 0; i < 8; ++i) lengths.insert(lengths.end(), perLength[i], static_cast<std::uint8_t>(i + 2));
    return lengths;
}

// A table sent as one flag bit per symbol, then 4 bits of length; three
// leading zero-length fields announce the single-symbol form instead.
std::string readTable(BitReader& in, unsigned size, bool codeTable, unsigned singleBits, HuffmanDecoder& table) {
    std::vector<std::uint8_t> lengths(size, 0);
    for (unsigned i = 0; i < size; ++i) {
        if (codeTable) lengths[i] = in.get(1) ? static_cast<std::uint8_t>(in.get(4) + 1) : 0;
        else lengths[i] = static_cast<std::uint8_t>(in.get(4));
        if (i == 2 && lengths[0] == 1 && lengths[1] == 1 && lengths[2] == 1) {
            const unsigned symbol = in.get(singleBits);
            if (symbol >= size) return "bad single-symbol table";
            table.single(static_cast<std::uint16_t>(symbol));
            return {};
        }
    }
    if (in.overrun()) return "truncated data";
    if (!table.build(lengths)) return "incomplete Huffman code";
    return {};
}

}  // namespace

std::string decodeLh3(BitReader& in, std::uint64_t originalSize, const Decoder::Sink& sink) {
    static const std::vector<std::uint8_t> fixed = fixedPositionLengths();
    Window window(8192, originalSize, sink);
    HuffmanDecoder codes, positions;
    while (!window.done() && !in.overrun() && !window.failed()) {
        unsigned count = in.get(16);
        if (std::string fault = readTable(in, kLh3Symbols, true, 9, codes); !fault.empty()) return fault;
        if (in.get(1)) {
            if (std::string fault = readTable(in, kLh3Positions, false, 7, positions); !fault.empty()) return fault;
        } else if (!positions.build(fixed)) {
            return "bad fixed table";
        }
        for (; count > 0 && !window.done() && !in.overrun(); --count) {
            unsigned symbol = codes.decode(in);
            if (symbol < kLiterals) {
                window.put(static_cast<std::uint8_t>(symbol));
                continue;
            }
            if (symbol == kLh3Escape) symbol += in.get(8);
            const unsigned upper = positions.decode(in);
            const std::size_t distance = ((std::size_t{upper} << 6) | in.get(6)) + 1;
            window.copyBack(distance, symbol - kLiterals + kMinMatch);
        }
    }
    if (!window.flush()) return "output failed";
    if (in.overrun()) return "truncated data";
    return {};
}

}  // namespace lzh

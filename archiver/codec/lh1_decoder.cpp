#include "archiver/codec/adaptive_huffman.h"
#include "archiver/codec/old_decoders.h"
#include "archiver/codec/window.h"

#include <array>

namespace lzh {
namespace {

constexpr unsigned kLh1MaxMatch = 60;
constexpr unsigned kLh1Symbols = 256 + kLh1MaxMatch - kMinMatch + 1;   // 314

// The fixed code of the upper six distance bits: how many codes of each
// length from 3 to 8 bits, in canonical order. Indexed by the next 8 bits:
// the upper bits and the code length.
struct UpperBitsCode {
    std::array<std::uint8_t, 256> value{}, length{};
    UpperBitsCode() {
        const unsigned perLength[] = {1, 3, 8, 12, 24, 16};
        unsigned code = 0, symbol = 0;
        for (unsigned i = 0; i < 6; ++i) {
            const unsigned bits = i + 3;
            for (unsigned n = 0; n < perLength[i]; ++n, ++symbol, ++code) {
                const unsigned first = code << (8 - bits), span = 1u << (8 - bits);
                for (unsigned k = 0; k < span; ++k) {
                    value[first + k] = static_cast<std::uint8_t>(symbol);
                    length[first + k] = static_cast<std::uint8_t>(bits);
                }
            }
            code <<= 1;
        }
    }
};

}  // namespace

std::string decodeLh1(BitReader& in, std::uint64_t originalSize, const Decoder::Sink& sink) {
    static const UpperBitsCode upper;
    Window window(4096, originalSize, sink);
    AdaptiveHuffman code(kLh1Symbols);
    while (!window.done() && !in.overrun() && !window.failed()) {
        const unsigned symbol = code.decode(in);
        if (symbol < kLiterals) {
            window.put(static_cast<std::uint8_t>(symbol));
            continue;
        }
        const unsigned next = in.peek(8);
        in.skip(upper.length[next]);
        const std::size_t distance = ((std::size_t{upper.value[next]} << 6) | in.get(6)) + 1;
        window.copyBack(distance, symbol - kLiterals + kMinMatch);
    }
    if (!window.flush()) return "output failed";
    if (in.overrun()) return "truncated data";
    return {};
}

}  // namespace lzh

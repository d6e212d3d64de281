#include "archiver/codec/old_decoders.h"
#include "archiver/codec/window.h"

namespace lzh {
namespace {

std::string finish(BitReader& in, Window& window) {
    if (!window.flush()) return "output failed";
    if (in.overrun()) return "truncated data";
    return {};
}

}  // namespace

std::string decodeLzs(BitReader& in, std::uint64_t originalSize, const Decoder::Sink& sink) {
    Window window(2048, originalSize, sink);
    window.setPosition(2048 - 17);
    while (!window.done() && !in.overrun() && !window.failed()) {
        if (in.get(1)) {
            window.put(static_cast<std::uint8_t>(in.get(8)));
        } else {
            const std::size_t position = in.get(11);
            const unsigned length = in.get(4) + 2;
            window.copyFrom(position, length);
        }
    }
    return finish(in, window);
}

std::string decodeLz5(BitReader& in, std::uint64_t originalSize, const Decoder::Sink& sink) {
    Window window(4096, originalSize, sink, 0);
    // The starting pattern: runs of each byte value, both ramps, zeros,
    // blanks, and zeros where writing begins.
    std::vector<std::uint8_t>& ring = window.ring();
    std::size_t at = 0;
    for (int value = 0; value < 256; ++value)
        for (int k = 0; k < 13; ++k) ring[at++] = static_cast<std::uint8_t>(value);
    for (int value = 0; value < 256; ++value) ring[at++] = static_cast<std::uint8_t>(value);
    for (int value = 255; value >= 0; --value) ring[at++] = static_cast<std::uint8_t>(value);
    for (int i = 0; i < 128; ++i) ring[at++] = 0;
    while (at < 4096 - 18) ring[at++] = ' ';
    window.setPosition(4096 - 18);
    while (!window.done() && !in.overrun() && !window.failed()) {
        const unsigned flags = in.get(8);
        for (int item = 0; item < 8 && !window.done(); ++item) {
            if ((flags >> item) & 1) {
                window.put(static_cast<std::uint8_t>(in.get(8)));
            } else {
                const unsigned low = in.get(8), high = in.get(8);
                window.copyFrom(low | ((high & 0xF0) << 4), (high & 0x0F) + 3);
            }
        }
    }
    return finish(in, window);
}

}  // namespace lzh

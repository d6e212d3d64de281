// libFuzzer target: whatever the encoder is given, and however, the strict
// decoder gives the same bytes back. The first bytes choose the method, the
// effort, the pieces the input is fed in, the size the encoder is told, and
// whether the data is tiled (with a byte changed in each copy) far enough
// for the window to slide; the data is also coded as two segments, the
// second primed with the first, and their streams joined.
#include "archiver/codec/decoder.h"
#include "archiver/codec/encoder.h"
#include "archiver/codec/segment_encoder.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

void expectRoundTrip(lzh::Method method, const std::vector<std::uint8_t>& stream, const std::vector<std::uint8_t>& data) {
    lzh::BitReader in(stream.data(), stream.size());
    std::vector<std::uint8_t> back;
    back.reserve(data.size());
    const std::string error =
        lzh::Decoder(method).decode(in, data.size(), stream.size(), [&](const std::uint8_t* bytes, std::size_t n) {
            back.insert(back.end(), bytes, bytes + n);
            return back.size() <= data.size();
        });
    if (!error.empty() || back != data) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
    if (size < 3) return 0;
    const lzh::Method methods[] = {lzh::Method::Lh4, lzh::Method::Lh5, lzh::Method::Lh6, lzh::Method::Lh7};
    const lzh::Method method = methods[input[0] & 3];
    const unsigned effortKind = (input[0] >> 2) % 3;
    const bool tiled = input[0] & 0x20;
    const unsigned hintKind = (input[0] >> 6) % 3;
    static constexpr std::size_t kPieces[] = {1, 3, 255, 4093, 65537, 1 << 20};
    const std::size_t piece = kPieces[input[1] % std::size(kPieces)];
    const unsigned cutFraction = input[2];   // where the two segments meet, in 256ths
    std::vector<std::uint8_t> data(input + 3, input + size);
    if (data.empty()) return 0;
    if (tiled) {
        // Far enough for the window to slide (it holds 256 KiB and a little).
        const std::vector<std::uint8_t> tile = data;   // not inserted from itself, which may move
        while (data.size() < 300 * 1024) {
            const std::size_t at = data.size();
            data.insert(data.end(), tile.begin(), tile.end());
            data[at + (at / tile.size() * 7919) % tile.size()] ^= 0x5A;
        }
    }

    const lzh::Effort effort = effortKind == 0   ? lzh::defaultEffort(method)
                               : effortKind == 1 ? lzh::defaultEffort(method, data.size())
                                                 : lzh::bestEffort(method);
    const std::uint64_t hint = hintKind == 0 ? data.size() : hintKind == 1 ? UINT64_MAX : data.size() / 2;

    lzh::Encoder encoder(method, effort, hint);
    std::vector<std::uint8_t> stream;
    for (std::size_t at = 0; at < data.size(); at += piece) {
        encoder.write(data.data() + at, std::min(piece, data.size() - at));
        stream.insert(stream.end(), encoder.output().begin(), encoder.output().end());
        encoder.output().clear();
    }
    encoder.finish();
    stream.insert(stream.end(), encoder.output().begin(), encoder.output().end());
    expectRoundTrip(method, stream, data);

    // Two segments, the second primed with as much of the first as it takes.
    const std::size_t cut = data.size() * cutFraction / 256;
    if (cut == 0) return 0;
    const std::size_t history = std::min(cut, lzh::segmentHistory(method));
    lzh::BitWriter joined = lzh::encodeSegment(method, effort, data.data(), 0, cut);
    joined.append(lzh::encodeSegment(method, effort, data.data() + cut, history, data.size() - cut));
    joined.flush();
    expectRoundTrip(method, joined.bytes(), data);
    return 0;
}

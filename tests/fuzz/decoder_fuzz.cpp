// libFuzzer target: arbitrary bytes as a -lh5-/-lh6-/-lh7- stream.
#include "archiver/codec/decoder.h"

#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    const lzh::Method methods[] = {lzh::Method::Lh4, lzh::Method::Lh5, lzh::Method::Lh6, lzh::Method::Lh7};
    const lzh::Method method = methods[data[0] & 3];
    const bool strict = data[0] & 4;
    const std::uint64_t original = (std::uint64_t{data[1]} << 16 | std::uint64_t{data[2]} << 8 | data[3]) * 4;
    lzh::BitReader in(data + 4, size - 4);
    std::uint64_t produced = 0;
    lzh::Decoder(method).decode(in, original, size - 4,
                                [&](const std::uint8_t*, std::size_t n) {
                                    produced += n;
                                    return produced <= original;
                                },
                                strict);
    if (produced > original) __builtin_trap();
    return 0;
}

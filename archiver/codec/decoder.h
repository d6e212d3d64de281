#pragma once

#include "archiver/codec/bit_reader.h"
#include "archiver/codec/method.h"

#include <cstdint>
#include <functional>
#include <string>

namespace lzh {

// Decodes a -lh4- .. -lh7- (or -lhx-) stream of a known original size.
class Decoder {
public:
    // Receives the output in order; returns false to stop.
    using Sink = std::function<bool(const std::uint8_t* data, std::size_t size)>;

    explicit Decoder(Method method) : params_(parameters(method)) {}
    // Any window up to 2^20 bytes (-lhx- uses 2^19).
    explicit Decoder(const MethodParameters& params) : params_(params) {}

    // Empty text on success, else what is wrong with the stream. With
    // `strict`, anything that some reader refuses is an error too: a
    // reference before the first byte, a match or block running past the
    // end, bytes left after the last bit.
    std::string decode(BitReader& in, std::uint64_t originalSize, std::uint64_t packedSize, const Sink& sink,
                       bool strict = true);

private:
    MethodParameters params_;
};

}  // namespace lzh

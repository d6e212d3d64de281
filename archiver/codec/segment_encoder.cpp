#include "archiver/codec/segment_encoder.h"

namespace lzh {

std::size_t segmentHistory(Method method) { return std::size_t{1} << parameters(method).dictionaryBits; }

BitWriter encodeSegment(Method method, const Effort& effort, const std::uint8_t* data, std::size_t history,
                        std::size_t size) {
    Encoder encoder(method, effort, history + size);
    encoder.prime(data - history, history);
    encoder.write(data, size);
    encoder.finish(false);
    return std::move(encoder.bits());
}

}  // namespace lzh

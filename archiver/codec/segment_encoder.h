#pragma once

#include "archiver/codec/bit_writer.h"
#include "archiver/codec/encoder.h"
#include "archiver/codec/method.h"

#include <cstddef>
#include <cstdint>

namespace lzh {

// A member's data is coded in fixed segments, each on its own (its blocks
// end with it) but primed with the window before it, so that segments can
// be coded in parallel and their bit streams joined in order. The cut never
// depends on how many run at once, so neither does the archive.
constexpr std::size_t kSegmentSize = std::size_t{1} << 20;

// Bytes of the data before a segment that its encoder is primed with.
std::size_t segmentHistory(Method method);

// Codes `size` bytes at data, whose `history` bytes before them are held
// too (data - history .. data). The result is not padded to a whole byte.
BitWriter encodeSegment(Method method, const Effort& effort, const std::uint8_t* data, std::size_t history,
                        std::size_t size);

}  // namespace lzh

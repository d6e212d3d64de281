#pragma once

#include <cstdint>
#include <vector>

namespace lzh {

constexpr int kMaxCodeLength = 16;

// Code lengths (at most `limit`, or as few bits as the used symbols need if
// that is more) for the given symbol frequencies, forming a complete prefix
// code. Fewer than two used symbols are padded to two codes of length 1,
// since single-symbol tables trip some readers.
std::vector<std::uint8_t> codeLengths(const std::vector<std::uint32_t>& frequencies, int limit = kMaxCodeLength);

// Canonical codes for the lengths: shorter codes first, then by symbol.
std::vector<std::uint16_t> canonicalCodes(const std::vector<std::uint8_t>& lengths);

// Whether the lengths form a complete prefix code (Kraft sum exactly 1), all <= 16.
bool isCompleteCode(const std::vector<std::uint8_t>& lengths);

}  // namespace lzh

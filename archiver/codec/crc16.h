#pragma once

#include <cstddef>
#include <cstdint>

namespace lzh {

// CRC-16/ARC (reflected polynomial 0xA001, initial 0): the data and header
// checksum of LZH archives.
std::uint16_t crc16(const std::uint8_t* data, std::size_t size, std::uint16_t crc = 0);

}  // namespace lzh

#include "archiver/codec/crc16.h"

#include <array>

namespace lzh {
namespace {

// Eight tables: slicing by 8 bytes at a time.
struct Tables {
    std::array<std::array<std::uint16_t, 256>, 8> t{};
    Tables() {
        for (unsigned i = 0; i < 256; ++i) {
            std::uint16_t c = static_cast<std::uint16_t>(i);
            for (int k = 0; k < 8; ++k) c = (c & 1) ? static_cast<std::uint16_t>((c >> 1) ^ 0xA001) : c >> 1;
            t[0][i] = c;
        }
        for (unsigned i = 0; i < 256; ++i)
            for (int s = 1; s < 8; ++s) t[s][i] = static_cast<std::uint16_t>((t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFF]);
    }
};

const Tables kTables;

}  // namespace

std::uint16_t crc16(const std::uint8_t* data, std::size_t size, std::uint16_t crc) {
    const auto& t = kTables.t;
    while (size >= 8) {
        std::uint32_t lo = (data[0] | (data[1] << 8)) ^ crc;
        crc = static_cast<std::uint16_t>(t[7][lo & 0xFF] ^ t[6][lo >> 8] ^ t[5][data[2]] ^ t[4][data[3]] ^
                                         t[3][data[4]] ^ t[2][data[5]] ^ t[1][data[6]] ^ t[0][data[7]]);
        data += 8;
        size -= 8;
    }
    while (size--) crc = static_cast<std::uint16_t>((crc >> 8) ^ t[0][(crc ^ *data++) & 0xFF]);
    return crc;
}

}  // namespace lzh

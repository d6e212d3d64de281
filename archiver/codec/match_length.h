#pragma once

#include <cstdint>
#include <cstring>

namespace lzh {

// How many bytes from a and b agree, at most limit; eight at a time.
inline unsigned commonLength(const std::uint8_t* a, const std::uint8_t* b, unsigned limit) {
    unsigned n = 0;
    while (n + 8 <= limit) {
        std::uint64_t x, y;
        std::memcpy(&x, a + n, 8);
        std::memcpy(&y, b + n, 8);
        if (std::uint64_t diff = x ^ y) return n + static_cast<unsigned>(__builtin_ctzll(diff) >> 3);
        n += 8;
    }
    while (n < limit && a[n] == b[n]) ++n;
    return n;
}

// How many bytes before a and before b agree, at most limit; eight at a time.
inline unsigned commonLengthBack(const std::uint8_t* a, const std::uint8_t* b, unsigned limit) {
    unsigned n = 0;
    while (n + 8 <= limit) {
        std::uint64_t x, y;
        std::memcpy(&x, a - n - 8, 8);
        std::memcpy(&y, b - n - 8, 8);
        if (std::uint64_t diff = x ^ y) return n + static_cast<unsigned>(__builtin_clzll(diff) >> 3);
        n += 8;
    }
    while (n < limit && a[-1 - static_cast<long>(n)] == b[-1 - static_cast<long>(n)]) ++n;
    return n;
}

}  // namespace lzh

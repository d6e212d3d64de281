#pragma once

#include <cstdio>
#include <string>

namespace lzh {

// Text from archives and users, safe to print: control characters escaped.
inline std::string shown(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

}  // namespace lzh

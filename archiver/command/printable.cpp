#include "archiver/command/printable.h"

#include <cstdint>

namespace lzh {
namespace {

void escapeByte(std::string& out, unsigned char c) {
    static const char kHex[] = "0123456789ABCDEF";
    out += "\\x";
    out += kHex[c >> 4];
    out += kHex[c & 0x0F];
}

// Length of the valid UTF-8 sequence at text[i], 0 when there is none.
std::size_t sequenceLength(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    std::size_t n = 0;
    std::uint32_t min = 0, cp = 0;
    if (lead >= 0xC2 && lead <= 0xDF) n = 2, min = 0x80, cp = lead & 0x1F;
    else if (lead >= 0xE0 && lead <= 0xEF) n = 3, min = 0x800, cp = lead & 0x0F;
    else if (lead >= 0xF0 && lead <= 0xF4) n = 4, min = 0x10000, cp = lead & 0x07;
    else return 0;
    if (i + n > text.size()) return 0;
    for (std::size_t k = 1; k < n; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return n;
}

}  // namespace

std::string printable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7F) {
            escapeByte(out, c);
            ++i;
        } else if (c == '\\') {
            out += "\\\\";
            ++i;
        } else if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
        } else if (const std::size_t n = sequenceLength(text, i); n == 0) {
            escapeByte(out, c);
            ++i;
        } else if (n == 2 && c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0) {
            escapeByte(out, c);   // a C1 control character
            escapeByte(out, static_cast<unsigned char>(text[i + 1]));
            i += 2;
        } else {
            out.append(text.substr(i, n));
            i += n;
        }
    }
    return out;
}


}  // namespace lzh

#include "archiver/format/text_codec.h"

#include <cstdint>

#include <cerrno>
#include <cstdio>
#include <iconv.h>
#include <vector>

namespace lzh {
namespace {

// A conversion's descriptor, in its initial state. Opening one costs more
// than converting a name, so each thread keeps those it has opened.
iconv_t descriptor(const char* to, const char* from) {
    struct Open {
        std::string to, from;
        iconv_t cd;
    };
    struct Cache {
        std::vector<Open> open;
        ~Cache() {
            for (Open& o : open) ::iconv_close(o.cd);
        }
    };
    thread_local Cache cache;
    for (Open& o : cache.open) {
        if (o.to == to && o.from == from) {
            ::iconv(o.cd, nullptr, nullptr, nullptr, nullptr);
            return o.cd;
        }
    }
    iconv_t cd = ::iconv_open(to, from);
    if (cd != reinterpret_cast<iconv_t>(-1)) cache.open.push_back(Open{to, from, cd});
    return cd;
}

// Bytes of the UTF-8 character that starts `text` (of `size` bytes): the
// lead byte and the continuation bytes after it.
std::size_t characterLength(const char* text, std::size_t size) {
    std::size_t length = 1;
    while (length < size && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) ++length;
    return length;
}

// "_" and the code point of the UTF-8 character in hex, at least four digits.
std::string codePointName(const std::string& character) {
    const auto lead = static_cast<unsigned char>(character[0]);
    const std::size_t length = character.size();
    std::uint32_t code = length == 1 ? lead : lead & (0xFF >> (length + 1));
    for (std::size_t i = 1; i < length; ++i) code = code << 6 | (static_cast<unsigned char>(character[i]) & 0x3F);
    char text[16];
    std::snprintf(text, sizeof text, "_%04X", static_cast<unsigned>(code));
    return text;
}

// One iconv conversion; on an unconvertible character `replace` (if given)
// is written instead and the input advances by one UTF-8 character.
std::optional<std::string> convert(const char* to, const char* from, const std::string& input,
                                   const char* replacement, bool* lossy) {
    iconv_t cd = descriptor(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    std::string out;
    char* in = const_cast<char*>(input.data());
    std::size_t inLeft = input.size();
    char buffer[1024];
    std::optional<std::string> result;
    for (;;) {
        char* outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        std::size_t r = ::iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
        if (r != static_cast<std::size_t>(-1)) {
            result = out;
            break;
        }
        if (errno == E2BIG) continue;
        if ((errno == EILSEQ || errno == EINVAL) && replacement && inLeft > 0) {
            if (lossy) *lossy = true;
            out += replacement;
            const std::size_t skip = characterLength(in, inLeft);
            in += skip;
            inLeft -= skip;
            continue;
        }
        break;
    }
    return result;
}

// ASCII is the same in UTF-8 and CP932, and most names are ASCII.
bool isAscii(const std::string& text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

}  // namespace

std::string utf8ToCp932(const std::string& utf8, bool* lossy) {
    if (lossy) *lossy = false;
    if (isAscii(utf8)) return utf8;
    std::string bytes = convert("CP932", "UTF-8", utf8, "_", nullptr).value_or(std::string());
    if (cp932ToUtf8(bytes) == utf8) return bytes;
    // Some characters have no CP932 form, or one that reads back as another
    // (the yen sign is written as 0x5C, which readers take for a folder
    // separator): character by character, those that do not come back
    // become '_' and their code point in hex ("한" is "_D55C"), so that
    // names that differ in them still differ for the readers that take
    // this form (two files would otherwise land on one name there).
    if (lossy) *lossy = true;
    bytes.clear();
    for (std::size_t at = 0; at < utf8.size();) {
        const std::size_t length = characterLength(utf8.data() + at, utf8.size() - at);
        const std::string character = utf8.substr(at, length);
        const std::optional<std::string> one = convert("CP932", "UTF-8", character, nullptr, nullptr);
        bytes += one && cp932ToUtf8(*one) == character ? *one : codePointName(character);
        at += length;
    }
    return bytes;
}

std::optional<std::string> cp932ToUtf8(const std::string& cp932) {
    if (isAscii(cp932)) return cp932;
    return convert("UTF-8", "CP932", cp932, nullptr, nullptr);
}

std::string utf8ToUtf16le(const std::string& utf8) {
    return convert("UTF-16LE", "UTF-8", utf8, nullptr, nullptr).value_or(std::string());
}

std::optional<std::string> utf16leToUtf8(const std::string& utf16le) {
    return convert("UTF-8", "UTF-16LE", utf16le, nullptr, nullptr);
}

std::string utf16leToUtf8Replacing(const std::string& utf16le) {
    if (std::optional<std::string> whole = utf16leToUtf8(utf16le)) return *whole;
    auto unit = [&](std::size_t i) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(utf16le[i]) |
                                          static_cast<unsigned char>(utf16le[i + 1]) << 8);
    };
    std::string out;
    for (std::size_t i = 0; i < utf16le.size(); i += 2) {
        if (i + 1 == utf16le.size()) {
            out += '_';
            break;
        }
        std::uint32_t c = unit(i);
        if (c >= 0xDC00 && c < 0xE000) {
            out += '_';
            continue;
        }
        if (c >= 0xD800 && c < 0xDC00) {
            const std::uint32_t low = i + 3 < utf16le.size() ? unit(i + 2) : 0;
            if (low < 0xDC00 || low >= 0xE000) {
                out += '_';
                continue;
            }
            c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | c >> 12);
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | c >> 18);
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::optional<std::string> fromCodePage(const std::string& bytes, unsigned codePage) {
    const std::string name = "CP" + std::to_string(codePage);
    return convert("UTF-8", name.c_str(), bytes, nullptr, nullptr);
}

bool isValidUtf8(const std::string& text) {
    return isAscii(text) || convert("UTF-8", "UTF-8", text, nullptr, nullptr).has_value();
}

}  // namespace lzh

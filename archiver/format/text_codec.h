#pragma once

#include <optional>
#include <string>

namespace lzh {

// Converts between UTF-8 and the encodings of LZH names.

// CP932 bytes; a character without a CP932 form (or one that reads back as
// another) becomes '_'.
std::string utf8ToCp932(const std::string& utf8, bool* lossy = nullptr);
std::optional<std::string> cp932ToUtf8(const std::string& cp932);
std::string utf8ToUtf16le(const std::string& utf8);
std::optional<std::string> utf16leToUtf8(const std::string& utf16le);
// The same, with '_' for each unit that is no character (a lone surrogate,
// an odd last byte).
std::string utf16leToUtf8Replacing(const std::string& utf16le);
// Bytes in Windows code page `codePage` (1252, 936, ...); nullopt when invalid or unknown.
std::optional<std::string> fromCodePage(const std::string& bytes, unsigned codePage);
bool isValidUtf8(const std::string& text);

}  // namespace lzh

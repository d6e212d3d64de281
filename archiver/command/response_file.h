#pragma once

#include <functional>
#include <string>
#include <vector>

namespace lzh {

// Names from a list file: UTF-8 text, one name a line (CR LF or LF), a name
// may be wrapped in double quotes, blank lines are skipped. Blanks around a
// name that is not quoted are not part of it; such lines, as they stood, go
// to `trimmed` when asked for (a file may be named with the blanks).
std::vector<std::string> parseResponseText(const std::string& text, std::vector<std::string>* trimmed = nullptr);

// For the lines parseResponseText took blanks off: the fault when one of
// them could also mean a name with some of its blanks, which exists(name)
// says is there (a file, a member: `what`); which was meant cannot be told.
std::string ambiguousListLine(const std::vector<std::string>& trimmed, const std::function<bool(const std::string&)>& exists,
                              const std::string& what);

// List files larger than this are refused (a million long names fit).
constexpr long long kMaxListFileSize = 256LL << 20;

// The list file "-" (@-) is the standard input: find . -name '*.c' | unlha32 a x.lzh @-
inline constexpr const char* kStandardInputList = "-";

// Names ended by NUL bytes, as find -print0 writes them: each taken as it
// is, blanks and quotes too.
std::vector<std::string> parseNullSeparated(const std::string& text);

// Reads and parses the list file, which must be a regular file or a pipe
// (the standard input) no larger than kMaxListFileSize; nullSeparated: its
// names are ended by NUL bytes. Empty text on success, else the reason.
std::string readResponseFile(const std::string& path, std::vector<std::string>& names,
                             std::vector<std::string>* trimmed = nullptr, bool nullSeparated = false);

}  // namespace lzh

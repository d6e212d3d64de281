#pragma once

#include <string>
#include <vector>

namespace lzh {

// Names from a list file: UTF-8 text, one name a line (CR LF or LF), a name
// may be wrapped in double quotes, blank lines are skipped.
std::vector<std::string> parseResponseText(const std::string& text);

// Reads and parses the list file; empty text on success, else the reason.
std::string readResponseFile(const std::string& path, std::vector<std::string>& names);

}  // namespace lzh

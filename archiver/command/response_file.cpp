#include "archiver/command/response_file.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace lzh {

std::vector<std::string> parseResponseText(const std::string& text) {
    std::vector<std::string> names;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        // Blanks around a name are not part of it; quotes keep inner ones.
        std::size_t first = line.find_first_not_of(" \t");
        std::size_t last = line.find_last_not_of(" \t");
        if (first != std::string::npos) {
            line = line.substr(first, last - first + 1);
            if (line.size() >= 2 && line.front() == '"' && line.back() == '"') line = line.substr(1, line.size() - 2);
            if (!line.empty()) names.push_back(line);
        }
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return names;
}

std::string readResponseFile(const std::string& path, std::vector<std::string>& names) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return "cannot read the list file " + path + ": " + std::strerror(errno);
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) return "cannot read the list file " + path;
    std::string bytes = text.str();
    if (bytes.rfind("\xEF\xBB\xBF", 0) == 0) bytes.erase(0, 3);   // a UTF-8 byte-order mark
    for (std::string& name : parseResponseText(bytes)) names.push_back(std::move(name));
    return {};
}

}  // namespace lzh

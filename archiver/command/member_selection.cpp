#include "archiver/command/member_selection.h"

#include <fnmatch.h>

namespace lzh {

MemberSelection::MemberSelection(const std::vector<std::string>& patterns) : all_(patterns.empty()) {
    for (std::string pattern : patterns) {
        while (pattern.size() > 1 && pattern.back() == '/') pattern.pop_back();
        // A backslash quotes the next character: such a name is matched too.
        if (pattern.find_first_of("*?[\\") == std::string::npos) exact_.insert(pattern);
        else wildcards_.push_back(pattern);
    }
}

bool MemberSelection::selects(const std::string& name) const {
    if (all_) return true;
    std::string plain = name;
    while (!plain.empty() && plain.back() == '/') plain.pop_back();
    // The name itself, then each folder it is in.
    auto selectsPath = [this](const std::string& path) {
        if (exact_.count(path)) return true;
        for (const std::string& pattern : wildcards_)
            if (::fnmatch(pattern.c_str(), path.c_str(), 0) == 0) return true;
        return false;
    };
    if (selectsPath(plain)) return true;
    for (std::size_t slash = plain.find('/'); slash != std::string::npos; slash = plain.find('/', slash + 1))
        if (selectsPath(plain.substr(0, slash))) return true;
    return false;
}

}  // namespace lzh

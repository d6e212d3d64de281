#include "archiver/command/member_selection.h"

#include <fnmatch.h>

namespace lzh {

MemberSelection::Patterns::Patterns(const std::vector<std::string>& patterns) {
    for (std::string pattern : patterns) {
        while (pattern.size() > 1 && pattern.back() == '/') pattern.pop_back();
        // A backslash quotes the next character: such a name is matched too.
        if (pattern.find_first_of("*?[\\") == std::string::npos) exact.insert(pattern);
        else wildcards.push_back(pattern);
    }
}

bool MemberSelection::Patterns::match(const std::string& path) const {
    if (exact.count(path)) return true;
    for (const std::string& pattern : wildcards)
        if (::fnmatch(pattern.c_str(), path.c_str(), 0) == 0) return true;
    return false;
}

MemberSelection::MemberSelection(const std::vector<std::string>& patterns, const std::vector<std::string>& excludes)
    : all_(patterns.empty()), chosen_(patterns), excluded_(excludes), excluding_(!excludes.empty()) {}

bool MemberSelection::selects(const std::string& name) const {
    if (all_ && !excluding_) return true;
    std::string plain = name;
    while (!plain.empty() && plain.back() == '/') plain.pop_back();
    bool chosen = all_, excluded = false;
    // The name itself, then each folder it is in.
    auto look = [&](const std::string& path) {
        if (!chosen) chosen = chosen_.match(path);
        if (excluding_ && !excluded) {
            const std::size_t slash = path.rfind('/');
            excluded = excluded_.match(path) || (slash != std::string::npos && excluded_.match(path.substr(slash + 1)));
        }
    };
    look(plain);
    for (std::size_t slash = plain.find('/'); slash != std::string::npos; slash = plain.find('/', slash + 1))
        look(plain.substr(0, slash));
    return chosen && !excluded;
}

}  // namespace lzh

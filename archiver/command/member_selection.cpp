#include "archiver/command/member_selection.h"

#include "archiver/command/printable.h"

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

namespace {

// Each member's name and every folder it is in, without trailing "/".
std::unordered_set<std::string> memberPaths(const std::vector<ArchiveMember>& members) {
    std::unordered_set<std::string> paths;
    for (const ArchiveMember& m : members) {
        std::string plain = m.name;
        while (!plain.empty() && plain.back() == '/') plain.pop_back();
        for (std::size_t slash = plain.find('/'); slash != std::string::npos; slash = plain.find('/', slash + 1))
            paths.insert(plain.substr(0, slash));
        paths.insert(std::move(plain));
    }
    return paths;
}

}  // namespace

std::string selectionFault(const std::vector<std::string>& patterns, const std::vector<ArchiveMember>& members,
                           std::size_t selected, char letter, std::string& report) {
    if (patterns.empty()) return {};
    // x and e take a folder to extract into as their first name when it ends in "/".
    const std::string& first = patterns.front();
    const std::string folderHint = (letter == 'x' || letter == 'e') && !first.empty() && first.back() != '/' &&
                                           first.find_first_of("*?[\\") == std::string::npos
                                       ? " (to extract into the folder " + printable(first) + ", write " +
                                             printable(first) + "/)"
                                       : std::string();
    if (selected == 0) return "no member matches the names given" + folderHint;
    const std::unordered_set<std::string> paths = memberPaths(members);
    for (const std::string& pattern : patterns) {
        std::string plain = pattern;
        while (plain.size() > 1 && plain.back() == '/') plain.pop_back();
        bool found = paths.count(plain) > 0;
        if (!found && plain.find_first_of("*?[\\") != std::string::npos)
            for (const std::string& path : paths)
                if ((found = ::fnmatch(plain.c_str(), path.c_str(), 0) == 0)) break;
        if (!found)
            addLine(report, "warning: " + printable(pattern) + ": no such member" + (&pattern == &first ? folderHint : ""));
    }
    return {};
}

}  // namespace lzh

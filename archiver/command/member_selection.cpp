#include "archiver/command/member_selection.h"

#include "archiver/command/member_path.h"
#include "archiver/command/printable.h"

#include <algorithm>
#include <fnmatch.h>

namespace lzh {
namespace {

// A pattern as it is matched: a folder's name without its closing "/".
std::string trimmed(std::string pattern) {
    while (pattern.size() > 1 && pattern.back() == '/') pattern.pop_back();
    return pattern;
}

// "./name", as a shell completes a file, selects the member "name" too:
// members are stored without it.
std::string withoutDotSlash(std::string pattern) {
    while (pattern.size() > 2 && pattern.rfind("./", 0) == 0) pattern.erase(0, 2);
    return pattern;
}

// A backslash quotes the next character: such a name is matched too.
bool hasWildcard(const std::string& pattern) { return pattern.find_first_of("*?[\\") != std::string::npos; }

// Calls each(path) for a member's name (without a closing "/"), then for each folder it is in.
template <typename Each>
void forEachPath(const std::string& name, Each each) {
    std::string plain = name;
    while (!plain.empty() && plain.back() == '/') plain.pop_back();
    each(plain);
    for (std::size_t slash = plain.find('/'); slash != std::string::npos; slash = plain.find('/', slash + 1))
        each(plain.substr(0, slash));
}

}  // namespace

MemberSelection::Patterns::Patterns(const std::vector<std::string>& patterns) {
    auto add = [this](std::string pattern) {
        if (hasWildcard(pattern)) {
            std::string tail = pattern.substr(pattern.find_last_of("*?[]\\") + 1);
            wildcards.push_back({std::move(pattern), std::move(tail)});
        } else {
            exact.insert(std::move(pattern));
        }
    };
    for (const std::string& given : patterns) {
        const std::string pattern = trimmed(given), bare = withoutDotSlash(pattern);
        if (bare != pattern) add(bare);
        add(pattern);
    }
}

bool MemberSelection::Patterns::match(const std::string& path) const {
    if (exact.count(path)) return true;
    for (const Wildcard& w : wildcards)
        if (path.ends_with(w.tail) && ::fnmatch(w.pattern.c_str(), path.c_str(), 0) == 0) return true;
    return false;
}

MemberSelection::MemberSelection(const std::vector<std::string>& patterns, const std::vector<std::string>& excludes)
    : all_(patterns.empty()), chosen_(patterns), excluded_(excludes), excluding_(!excludes.empty()) {}

void MemberSelection::weigh(const std::string& name, bool& chosen, bool& excluded) const {
    forEachPath(name, [&](const std::string& path) {
        if (!chosen) chosen = chosen_.match(path);
        if (excluding_ && !excluded) {
            const std::size_t slash = path.rfind('/');
            excluded = excluded_.match(path) || (slash != std::string::npos && excluded_.match(path.substr(slash + 1)));
        }
    });
}

bool MemberSelection::selects(const std::string& name) const { return selects(name, name); }

bool MemberSelection::selects(const ArchiveMember& member) const { return selects(member.name, caseFolded(member)); }

bool MemberSelection::selects(const std::string& name, const std::string& folded) const {
    if (all_ && !excluding_) return true;
    bool chosen = all_, excluded = false;
    weigh(name, chosen, excluded);
    if (folded != name) weigh(folded, chosen, excluded);
    return chosen && !excluded;
}

std::string selectionFault(const std::vector<std::string>& patterns, const std::vector<ArchiveMember>& members,
                           std::size_t selected, char letter, Report& report) {
    if (patterns.empty()) return {};
    // x and e take a folder to extract into as their first name when it ends in "/".
    const std::string& first = patterns.front();
    const std::string folderHint = (letter == 'x' || letter == 'e') && !first.empty() && first.back() != '/' &&
                                           !hasWildcard(first)
                                       ? " (to extract into the folder " + printable(first) + ", write " +
                                             printable(first) + "/)"
                                       : std::string();
    if (selected == 0) {
        std::string named;
        for (std::size_t i = 0; i < patterns.size() && i < 3; ++i) named += (i ? ", " : ": ") + printable(patterns[i]);
        if (patterns.size() > 3) named += ", ...";
        // "unlha32 l *.lzh" gives the archives after the first as names.
        const bool archives = std::all_of(patterns.begin(), patterns.end(), [](const std::string& p) {
            return p.size() > 4 && (p.ends_with(".lzh") || p.ends_with(".LZH") || p.ends_with(".lha"));
        });
        const std::string oneArchive =
            archives ? " (a command takes one archive; the names after it select its members)" : "";
        return "no member matches the names given" + named + folderHint + oneArchive;
    }
    // Every member's name and every folder they are in.
    std::unordered_set<std::string> paths;
    for (const ArchiveMember& m : members) {
        forEachPath(m.name, [&](const std::string& path) { paths.insert(path); });
        forEachPath(caseFolded(m), [&](const std::string& path) { paths.insert(path); });
    }
    for (const std::string& pattern : patterns) {
        bool found = false;
        for (const std::string& plain : {trimmed(pattern), withoutDotSlash(trimmed(pattern))}) {
            found = found || paths.count(plain) > 0;
            if (!found && hasWildcard(plain))
                for (const std::string& path : paths)
                    if ((found = ::fnmatch(plain.c_str(), path.c_str(), 0) == 0)) break;
        }
        if (!found)
            report.add("warning: " + printable(pattern) + ": no such member" + (&pattern == &first ? folderHint : ""));
    }
    return {};
}

}  // namespace lzh

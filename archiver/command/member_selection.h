#pragma once

#include "archiver/command/report.h"
#include "archiver/format/archive_reader.h"

#include <string>
#include <unordered_set>
#include <vector>

namespace lzh {

// The members that names select: shell wildcards over the whole
// "/"-separated name, and a name of a folder selects all in it. No names
// select everything. Names without wildcards are looked up, not matched
// one by one, so that a list of thousands of names against an archive of
// thousands of members stays quick.
//
// Excluded names (--exclude) are left out whatever selects them. They are
// matched against the whole name and against its last component, so that
// "*.o" or "build" leave out such files and folders at any depth; a folder
// left out takes everything in it along.
class MemberSelection {
public:
    explicit MemberSelection(const std::vector<std::string>& patterns, const std::vector<std::string>& excludes = {});

    bool selects(const std::string& name) const;
    // A member from a system without lower case, extracted under its name in
    // lower case, is selected by either spelling.
    bool selects(const ArchiveMember& member) const;

private:
    // A name, or its other spelling `folded`, chosen and not excluded.
    bool selects(const std::string& name, const std::string& folded) const;
    // Whether a name, or a folder it is in, is chosen and whether excluded.
    void weigh(const std::string& name, bool& chosen, bool& excluded) const;
    // Names looked up, and patterns matched.
    struct Patterns {
        explicit Patterns(const std::vector<std::string>& patterns);
        bool match(const std::string& path) const;
        std::unordered_set<std::string> exact;
        struct Wildcard {
            std::string pattern;
            std::string tail;   // the literal end every match ends in: most paths fail on it at once
        };
        std::vector<Wildcard> wildcards;
    };
    bool all_;
    Patterns chosen_, excluded_;
    bool excluding_;
};

// After a command that selects members by `patterns` (none: no fault):
// when no member was selected, the fault; else a warning in the report
// for each name that selected nothing, a name mistyped in a list. x and e
// also tell that a folder to extract into ends in "/", for the name that
// was meant as one.
std::string selectionFault(const std::vector<std::string>& patterns, const std::vector<ArchiveMember>& members,
                           std::size_t selected, char letter, Report& report);

}  // namespace lzh

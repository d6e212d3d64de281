#pragma once

#include "archiver/format/archive_reader.h"

#include <functional>
#include <string>
#include <vector>

namespace lzh {

// A member's name made safe to extract: its components below the
// destination. `/` and `\` both separate; a leading separator or drive
// letter, "." and ".." are removed (".." takes back the component before
// it, never more); control characters become "_". `note` says what was
// changed; no components mean the name is unusable.
struct MemberPath {
    std::vector<std::string> parts;
    std::string note;
};
MemberPath safeMemberPath(const std::string& name);

// What is at a path below the destination.
enum class PathKind { Folder, Missing, Other };

// True when a link in the folder `from` (components below the destination,
// all real folders) to `target` stays inside the destination whatever is
// made later: the target is relative, "..", only backs out of real folders,
// and no folder on the way is a link or a file. `kind` tells what is at a path.
bool linkStaysInside(const std::vector<std::string>& from, const std::string& target,
                     const std::function<PathKind(const std::vector<std::string>&)>& kind);

// The names of folders, lower-cased when the archive comes from a system
// whose names have no case (MS-DOS and the like) and hold no lower-case letter.
std::string caseFolded(const std::string& name, char os, int level, bool hasUnixMode);
// A member's name as it is extracted.
inline std::string caseFolded(const ArchiveMember& m) { return caseFolded(m.name, m.os, m.level, m.hasUnixMode); }

}  // namespace lzh

#pragma once

#include "archiver/command/report.h"
#include "archiver/command/collect.h"
#include "archiver/format/update_lock.h"
#include "archiver/progress.h"

#include <string>

namespace lzh {

// The `u` command: creates the archive, or rebuilds it beside itself with
// new files added, members older than their file replaced, and every other
// member (and a self-extractor's program part) copied byte for byte, then
// renames it into place (see ArchiveTarget). Its kin: `a` replaces members
// whatever their dates, `m` as `a` and then removes the files packed (see
// removeMovedSources), `f` only replaces, `c` keeps no member. On failure the old archive is
// left as it was and no temporary file remains; so also when the progress is
// cancelled (while waiting for the update lock too). The progress's total is
// every byte to be read: the files to add and the members to copy.
// With the archive "-" (c, a and u), a new archive of the files goes to the
// standard output instead, whole or not at all.
std::string updateArchive(const Command& command, const std::vector<Entry>& entries, Report& report,
                          Progress* progress = nullptr, const UpdateLock::WaitNotice& onWait = {});

// The `d` command: rebuilds the archive without the members that the
// patterns select (see MemberSelection), every other member copied byte for
// byte, through the same ArchiveTarget rules as `u`.
// trimmed: the list lines whose blanks were taken off the names (see ambiguousListLine).
std::string deleteMembers(const Command& command, const std::vector<std::string>& patterns, Report& report,
                          Progress* progress = nullptr, const UpdateLock::WaitNotice& onWait = {},
                          const std::vector<std::string>& trimmed = {});

}  // namespace lzh

#pragma once

#include "archiver/command/collect.h"
#include "archiver/format/update_lock.h"

#include <string>

namespace lzh {

// The `u` command: creates the archive, or rebuilds it beside itself with
// new files added, members older than their file replaced, and every other
// member (and a self-extractor's program part) copied byte for byte, then
// renames it into place (see ArchiveTarget). On failure the old archive is
// left as it was and no temporary file remains.
std::string updateArchive(const Command& command, const std::vector<Entry>& entries, std::string& report,
                          const UpdateLock::WaitNotice& onWait = {});

}  // namespace lzh

#pragma once

#include "archiver/command/collect.h"

#include <string>
#include <vector>

namespace lzh {

// The end of the `m` command, once the archive holding `entries` is in place
// at `archive`: flushes the archive's folder (so the archive outlives a crash
// before any file goes), then removes each file that is still the one packed
// (same file, length and times of writing and change as collected), then
// the folders stored as members, deepest first, where they are empty. A file
// that changed since is kept, with a warning in `report`. Empty text, or the
// fault when the flush failed (nothing removed) or a file could not be.
std::string removeMovedSources(const std::string& archive, const std::vector<Entry>& entries, std::string& report,
                               bool quiet);

}  // namespace lzh

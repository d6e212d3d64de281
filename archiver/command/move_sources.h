#pragma once

#include "archiver/command/collect.h"

#include <string>
#include <vector>

namespace lzh {

// The end of the `m` command, once the archive holding `entries` is in place
// at `archive`: flushes the archive's folder (so the archive outlives a crash
// before any file goes), then removes each file whose member reads back from
// the archive as the file's very bytes and that is still the one found (same
// file, length and times of writing and change), then the folders stored as
// members, deepest first, where they are empty. Any other file is kept, with
// a warning in `report`. Empty text, or the fault when the archive could not
// be flushed or read back (nothing removed) or a file was kept.
std::string removeMovedSources(const std::string& archive, const std::vector<Entry>& entries, std::string& report,
                               bool quiet);

}  // namespace lzh

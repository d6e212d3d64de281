#pragma once

#include "archiver/command/report.h"
#include "archiver/command/collect.h"

#include <string>
#include <vector>

namespace lzh {

// The end of the `m` command, once the archive holding `entries` is in place
// at `archive` and its folder flushed (so that the archive outlives a crash
// before any file goes): removes each file whose member reads back from
// the archive as the file's very bytes and that is still the one found (same
// file, length and times of writing and change), then the folders stored as
// members, deepest first, where they are empty. Any other file is kept, with
// a warning in `report`. Empty text, or the fault when the archive could not
// be read back (nothing removed) or a file was kept.
std::string removeMovedSources(const std::string& archive, const std::vector<Entry>& entries, Report& report,
                               bool quiet);

}  // namespace lzh

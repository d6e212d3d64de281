#pragma once

#include "archiver/command/command_line.h"
#include "archiver/command/member_selection.h"
#include "archiver/format/archive_reader.h"
#include "archiver/format/archive_source.h"
#include "archiver/progress.h"

#include <cstdint>
#include <string>
#include <vector>

namespace lzh {

// The `x` (with paths), `e` (without paths) and `p` (to standard output)
// commands over the members selected by `patterns`. Nothing is written
// outside the destination folder: names are made relative, links are
// never followed while writing and are made last, and only when they and
// their target stay inside. `report` gets a line for each member, and a
// "warning:" line for each change or refusal. Empty text when every
// selected member was restored (or skipped as not newer), else the fault.
// `progress` (x and e) counts the bytes decoded of the selected members'.
std::string extractArchive(const Command& command, const std::vector<std::string>& patterns, Report& report,
                           Progress* progress = nullptr);

// Opens the archive at `path` for a reading command: its members, as many
// as are sound, and the fault after them (the archive named where it gave
// none); a warning in `report` where it begins after no program.
std::string openArchive(const std::string& path, ArchiveSource& source, std::vector<ArchiveMember>& members,
                        Report& report);

// The original bytes of the members selected (files only).
std::uint64_t selectedBytes(const std::vector<ArchiveMember>& members, const MemberSelection& selection);

}  // namespace lzh

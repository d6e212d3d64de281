#pragma once

#include "archiver/command/command_line.h"

#include <cstdint>
#include <sys/stat.h>
#include <string>
#include <vector>

namespace lzh {

// A file or folder to put in the archive.
struct Entry {
    std::string stored;       // name in the archive, "/"-separated, no closing "/"
    std::string source;       // path on disk
    bool folder = false;
    std::int64_t mtime = 0;
    std::uint64_t size = 0;   // bytes, as the walk found them (for the progress total)
    std::string stamp;        // fileStamp as found: m removes only a file that still has it
};

// A file's identity, length and times of writing and change, to the
// nanosecond: any write to it, or another file in its place, changes it.
std::string fileStamp(const struct stat& st);

// Turns the command's names (and the names of its list files, already read
// into `names`) into entries: folders walked under -r, paths kept under -x,
// dot-files taken from walks only under -a1. A name that does not exist or
// leads out of the base folder is an error; so is a list that names nothing.
// What a walk passes over (links to folders, links to nothing, devices,
// pipes and sockets) is told in `skipped`, one line each.
std::string collectEntries(const Command& command, const std::vector<std::string>& names, std::vector<Entry>& entries,
                           std::vector<std::string>* skipped = nullptr);

}  // namespace lzh

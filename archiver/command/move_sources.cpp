#include "archiver/command/move_sources.h"

#include "archiver/command/printable.h"
#include "archiver/format/archive_reader.h"
#include "archiver/format/archive_source.h"
#include "archiver/format/file_handle.h"
#include "archiver/format/long_path.h"
#include "archiver/format/member_data.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <set>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lzh {
namespace {

// Whether `member` decodes, sound, to exactly the bytes of the file at `path`.
bool readsBackAs(const ArchiveSource& archive, const ArchiveMember& member, const std::string& path) {
    const FileHandle file(openLong(path, O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) return false;
    std::vector<std::uint8_t> bytes;
    bool same = true;
    const std::string fault = decodeMember(archive, member, [&](const std::uint8_t* data, std::size_t size) {
        bytes.resize(size);
        same = readSome(file.get(), bytes.data(), size) == static_cast<ssize_t>(size) &&
               std::memcmp(bytes.data(), data, size) == 0;
        return same;
    });
    std::uint8_t more = 0;
    return fault.empty() && same && readSome(file.get(), &more, 1) == 0;
}

}  // namespace

std::string removeMovedSources(const std::string& archive, const std::vector<Entry>& entries, Report& report,
                               bool quiet) {
    // Each file's member is read back from the archive in place and compared
    // with the file, byte for byte, before the file goes.
    ArchiveSource archived;
    std::vector<ArchiveMember> members;
    if (std::string fault = archived.open(archive); !fault.empty() || !(fault = readArchive(archived, members)).empty())
        return "the archive is written, but it does not read back, so no file was removed: " + fault;
    std::map<std::string, const ArchiveMember*> byName;
    for (const ArchiveMember& m : members) byName[m.name] = &m;   // of a name held twice, the last: readers take it
    std::size_t removed = 0, kept = 0;
    // Files of which a link was removed here: their other links have a new
    // change time (of the link count), and only that may differ.
    std::set<std::pair<dev_t, ino_t>> unlinked;
    const auto beforeChangeTime = [](const std::string& stamp) { return stamp.substr(0, stamp.rfind(':')); };
    for (const Entry& e : entries) {
        if (e.folder) continue;
        const auto member = byName.find(e.stored);
        if (member == byName.end() || !readsBackAs(archived, *member->second, e.source)) {
            report.add("warning: " + printable(e.source) + ": not removed: its member does not read back as it");
            ++kept;
            continue;
        }
        struct stat st {};
        const bool found = statLong(e.source, st) == 0;
        const std::string stamp = found ? fileStamp(st) : std::string();
        const bool linkRemoved = found && unlinked.count({st.st_dev, st.st_ino});
        if (!found || (stamp != e.stamp && !(linkRemoved && beforeChangeTime(stamp) == beforeChangeTime(e.stamp)))) {
            report.add("warning: " + printable(e.source) + ": not removed: it changed after it was found");
            ++kept;
            continue;
        }
        if (removeLong(e.source, false) != 0) {
            report.add("warning: " + printable(e.source) + ": not removed: " + std::strerror(errno));
            ++kept;
            continue;
        }
        unlinked.insert({st.st_dev, st.st_ino});
        ++removed;
    }
    // Folders, deepest first: one that is not empty now (files kept, or
    // passed over by the walk) stays.
    std::vector<const Entry*> folders;
    for (const Entry& e : entries)
        if (e.folder) folders.push_back(&e);
    std::sort(folders.begin(), folders.end(),
              [](const Entry* a, const Entry* b) { return a->stored.size() > b->stored.size(); });
    for (const Entry* e : folders) {
        if (removeLong(e->source, true) == 0) ++removed;
        else if (errno != ENOTEMPTY && errno != EEXIST && errno != ENOENT)
            report.add("warning: " + printable(e->source) + "/: not removed: " + std::strerror(errno));
    }
    if (!quiet) report.add(std::to_string(removed) + " removed from the disk");
    return kept ? std::to_string(kept) + " packed file" + (kept == 1 ? " was" : "s were") + " not removed (see above)"
                : std::string();
}

}  // namespace lzh

#include "archiver/command/move_sources.h"

#include "archiver/command/printable.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lzh {
namespace {

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

std::string flushFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return std::strerror(errno);
    const bool synced = ::fsync(fd) == 0;
    const int error = errno;
    ::close(fd);
    return synced ? std::string() : std::strerror(error);
}

}  // namespace

std::string removeMovedSources(const std::string& archive, const std::vector<Entry>& entries, std::string& report,
                               bool quiet) {
    if (std::string fault = flushFolder(folderOf(archive)); !fault.empty())
        return "the archive is written, but its folder could not be flushed to disk, so no file was removed: " + fault;
    std::size_t removed = 0, kept = 0;
    for (const Entry& e : entries) {
        if (e.folder) continue;
        struct stat st {};
        if (::stat(e.source.c_str(), &st) != 0 || fileStamp(st) != e.stamp) {
            addLine(report, "warning: " + printable(e.source) + ": not removed: it changed after it was found");
            ++kept;
            continue;
        }
        if (::unlink(e.source.c_str()) != 0) {
            addLine(report, "warning: " + printable(e.source) + ": not removed: " + std::strerror(errno));
            ++kept;
            continue;
        }
        ++removed;
    }
    // Folders, deepest first: one that is not empty now (files kept, or
    // passed over by the walk) stays.
    std::vector<const Entry*> folders;
    for (const Entry& e : entries)
        if (e.folder) folders.push_back(&e);
    std::sort(folders.begin(), folders.end(),
              [](const Entry* a, const Entry* b) { return a->stored.size() > b->stored.size(); });
    for (const Entry* e : folders)
        if (::rmdir(e->source.c_str()) == 0) ++removed;
    if (!quiet) addLine(report, std::to_string(removed) + " removed from the disk");
    return kept ? std::to_string(kept) + " packed file" + (kept == 1 ? " was" : "s were") + " not removed (see above)"
                : std::string();
}

}  // namespace lzh

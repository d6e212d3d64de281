#include "archiver/command/collect.h"

#include "archiver/command/member_selection.h"
#include "archiver/command/response_file.h"
#include "archiver/format/long_path.h"
#include "archiver/format/text_codec.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <map>
#include <utility>
#include <sys/stat.h>
#include <unistd.h>

namespace lzh {
namespace {

std::vector<std::string> components(const std::string& path) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t slash = path.find('/', start);
        std::string part = path.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        if (!part.empty() && part != ".") parts.push_back(part);
        if (slash == std::string::npos) break;
        start = slash + 1;
    }
    return parts;
}

std::string join(const std::vector<std::string>& parts) {
    std::string out;
    for (const std::string& p : parts) out += (out.empty() ? "" : "/") + p;
    return out;
}

class Collector {
public:
    Collector(const Command& command, std::vector<Entry>& entries, std::vector<std::string>* skipped)
        : command_(command), entries_(entries), skipped_(skipped), kept_({}, command.excludes) {
        // The archive itself is never packed into itself (links followed),
        // nor the file the standard output goes to when it takes the archive.
        struct stat st {};
        if (writesStandardOutput(command) ? ::fstat(STDOUT_FILENO, &st) == 0 : ::stat(command.archive.c_str(), &st) == 0)
            archive_ = {st.st_dev, st.st_ino};
        // Nor are the list files met in a walk: a caller's list, made for
        // the call, lies beside the files at times (named, one is packed).
        for (const std::string& list : command.listFiles)
            if (list != kStandardInputList && ::stat(list.c_str(), &st) == 0) lists_.push_back({st.st_dev, st.st_ino});
    }

    std::string add(const std::string& name) {
        // Without a base folder, names are taken as the shell gives them:
        // one from the root ("/etc/hosts", "~/a.txt") or above the current
        // folder ("../a.txt") is stored as paths are, relative: without its
        // leading "/" or "../". Below a base folder, a name stays inside it.
        const bool noBase = command_.baseFolder.empty();
        if (name.front() == '/' && !noBase)
            return "absolute name refused (names are taken relative to the base folder " + command_.baseFolder + "): " + name;
        if (name.find_first_of("\r\n") != std::string::npos) return "a name with a line break is refused: " + name;
        const std::vector<std::string> parts = components(name);
        std::size_t up = 0;
        while (noBase && up < parts.size() && parts[up] == "..") ++up;
        if (std::find(parts.begin() + static_cast<std::ptrdiff_t>(up), parts.end(), "..") != parts.end())
            return "a name with \"..\" in it is refused (it could lead out of the base folder): " + name;
        const std::string relative = join({parts.begin() + static_cast<std::ptrdiff_t>(up), parts.end()});
        if (!relative.empty() && !kept_.selects(relative)) return {};   // left out by --exclude
        std::string onDisk = name.front() == '/' ? "/" : "";
        onDisk += join(parts);
        const std::string source = noBase ? (onDisk.empty() ? "." : onDisk)
                                        : relative.empty() ? command_.baseFolder : command_.baseFolder + relative;
        struct stat st {};
        if (statLong(source, st) != 0) return "cannot find " + source + ": " + std::strerror(errno);
        if (S_ISDIR(st.st_mode)) {
            if (!relative.empty())
                if (std::string fault = push(relative, source, true, st); !fault.empty()) return fault;
            if (command_.recursion > 0 || relative.empty()) return walk(relative, source);
            skip(source, "the files in it, a folder (-r2 walks the folders named)");
            return {};
        }
        if (!S_ISREG(st.st_mode)) return "not a regular file: " + source;
        if (isArchive(st)) return "the archive cannot be packed into itself: " + source;
        return push(relative, source, false, st);
    }

private:
    bool isArchive(const struct stat& st) const { return archive_ == std::make_pair(st.st_dev, st.st_ino); }
    bool isList(const struct stat& st) const {
        return std::find(lists_.begin(), lists_.end(), std::make_pair(st.st_dev, st.st_ino)) != lists_.end();
    }

    // Records an entry. The same file reached twice is taken once; two
    // files that would get one stored name are refused, never one dropped.
    std::string push(const std::string& relative, const std::string& source, bool folder, const struct stat& st) {
        std::string stored = command_.keepPaths ? relative : relative.substr(relative.rfind('/') + 1);
        if (folder && !command_.keepPaths) return {};   // without paths there are no folders to record
        if (!isValidUtf8(stored)) return "the name is not valid UTF-8, so it cannot be stored: " + source;
        // Readers (this one too) take a backslash for a folder separator:
        // stored, the file would come back under another name.
        if (stored.find('\\') != std::string::npos)
            return "a name with a backslash cannot be stored (readers take it for a folder separator): " + source;
        const FileId id{st.st_dev, st.st_ino};
        auto [at, fresh] = seen_.emplace(stored, std::make_pair(id, source));
        if (!fresh) {
            if (at->second.first == id) return {};
            return "two files would be stored as " + stored + ": " + at->second.second + " and " + source;
        }
        entries_.push_back({stored, source, folder, static_cast<std::int64_t>(st.st_mtime),
                            folder ? 0 : static_cast<std::uint64_t>(st.st_size), fileStamp(st)});
        return {};
    }

    std::string walk(const std::string& relative, const std::string& folder) {
        DIR* dir = openFolderLong(folder);
        if (!dir) return "cannot read the folder " + folder + ": " + std::strerror(errno);
        std::vector<std::string> names;
        // readdir ends with null both at the end and on a failure: errno
        // tells them apart. A folder read in part is never packed as if whole.
        for (;;) {
            errno = 0;
            const dirent* e = ::readdir(dir);
            if (!e) break;
            std::string n = e->d_name;
            if (n == "." || n == "..") continue;
            if (n[0] == '.' && !command_.allAttributes) continue;
            names.push_back(n);
        }
        const int error = errno;
        ::closedir(dir);
        if (error != 0) return "cannot read the folder " + folder + ": " + std::strerror(error);
        std::sort(names.begin(), names.end());
        for (const std::string& n : names) {
            const std::string source = folder + (folder.back() == '/' ? "" : "/") + n;
            const std::string child = relative.empty() ? n : relative + "/" + n;
            if (!kept_.selects(child)) continue;
            struct stat link {};
            if (statLong(source, link, false) != 0) return "cannot read " + source + ": " + std::strerror(errno);
            struct stat st = link;   // a link is followed
            if (S_ISLNK(link.st_mode) && statLong(source, st) != 0) {
                skip(source, "a link to nothing");
                continue;
            }
            std::string fault;
            if (S_ISDIR(st.st_mode)) {
                if (S_ISLNK(link.st_mode)) {
                    skip(source, "a link to a folder (such links are not followed)");
                    continue;
                }
                fault = push(child, source, true, st);
                if (fault.empty()) fault = walk(child, source);
            } else if (!S_ISREG(st.st_mode)) {
                skip(source, "not a regular file (a device, pipe or socket)");
            } else if (isArchive(st)) {
                skip(source, "it is the archive being written");
            } else if (isList(st)) {
                // The caller's own list, made for the call: left out unsaid.
            } else {
                fault = push(child, source, false, st);
            }
            if (!fault.empty()) return fault;
        }
        return {};
    }

    void skip(const std::string& source, const std::string& why) {
        if (skipped_) skipped_->push_back(source + ": not packed: " + why);
    }

    using FileId = std::pair<dev_t, ino_t>;
    const Command& command_;
    std::vector<Entry>& entries_;
    std::vector<std::string>* skipped_;
    std::map<std::string, std::pair<FileId, std::string>> seen_;   // stored name: file and path
    FileId archive_{0, 0};
    std::vector<FileId> lists_;
    MemberSelection kept_;   // what --exclude leaves in
};

}  // namespace

std::string collectEntries(const Command& command, const std::vector<std::string>& names, std::vector<Entry>& entries,
                           std::vector<std::string>* skipped) {
    if (names.empty()) return command.listFiles.empty() ? "no file names given" : "the list names no file";
    Collector collector(command, entries, skipped);
    for (const std::string& name : names)
        if (std::string fault = collector.add(name); !fault.empty()) return fault;
    if (entries.empty()) return "nothing to archive";
    return {};
}

std::string fileStamp(const struct stat& st) {
    return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino) + ":" + std::to_string(st.st_size) + ":" +
           std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec) + ":" +
           std::to_string(st.st_ctim.tv_sec) + "." + std::to_string(st.st_ctim.tv_nsec);
}

}  // namespace lzh

#include "archiver/command/update.h"

#include "archiver/command/member_path.h"
#include "archiver/format/archive_reader.h"
#include "archiver/format/archive_writer.h"
#include "archiver/format/file_handle.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace lzh {
namespace {

// The temporary archive beside the target, removed unless committed.
class TemporaryArchive {
public:
    explicit TemporaryArchive(const std::string& target) {
        const std::size_t slash = target.rfind('/');
        const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
        const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
        path_ = folder + "." + base + ".XXXXXX";
        fd_.reset(::mkstemp(path_.data()));
        if (fd_.get() < 0) error_ = std::strerror(errno);
    }
    ~TemporaryArchive() {
        fd_.reset();
        if (!committed_ && error_.empty()) ::unlink(path_.c_str());
    }
    int fd() const { return fd_.get(); }
    const std::string& error() const { return error_; }
    // Flushes, closes and renames it over the target.
    std::string commit(const std::string& target, mode_t mode) {
        ::fchmod(fd_.get(), mode);
        if (::fsync(fd_.get()) != 0) return std::string("cannot write the archive: ") + std::strerror(errno);
        if (::close(fd_.release()) != 0) return std::string("cannot write the archive: ") + std::strerror(errno);
        if (::rename(path_.c_str(), target.c_str()) != 0)
            return std::string("cannot replace the archive: ") + std::strerror(errno);
        committed_ = true;
        return {};
    }

private:
    std::string path_;
    FileHandle fd_;
    std::string error_;
    bool committed_ = false;
};

// The bytes an update reads: the members it copies and the files it packs.
std::uint64_t bytesToRead(const std::vector<ArchiveMember>& members, const std::vector<int>& replacement,
                          const std::vector<Entry>& entries, const std::vector<bool>& placed) {
    std::uint64_t total = 0;
    auto fileSize = [&](const Entry& e) {
        struct stat st {};
        return !e.folder && ::stat(e.source.c_str(), &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
    };
    for (std::size_t m = 0; m < members.size(); ++m)
        total += replacement[m] < 0 ? members[m].headerSize + members[m].packedSize
                                    : fileSize(entries[static_cast<std::size_t>(replacement[m])]);
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (!placed[i]) total += fileSize(entries[i]);
    return total;
}

std::string storedKey(const std::string& name, bool folder) { return folder ? name + "/" : name; }

}  // namespace

std::string updateArchive(const Command& command, const std::vector<Entry>& entries, std::string& report,
                          Progress* progress) {
    const std::string& target = command.archive;
    std::vector<ArchiveMember> members;
    FileHandle old;
    struct stat oldStat {};
    const bool exists = ::stat(target.c_str(), &oldStat) == 0;
    if (exists) {
        if (!S_ISREG(oldStat.st_mode)) return "the archive is not a regular file: " + target;
        old.reset(::open(target.c_str(), O_RDONLY | O_CLOEXEC));
        if (old.get() < 0) return "cannot open the archive " + target + ": " + std::strerror(errno);
        if (std::string fault = readArchive(old.get(), static_cast<std::uint64_t>(oldStat.st_size), members);
            !fault.empty())
            return "the archive is damaged, left as it is: " + fault;
    }

    // What happens to each entry: a replacement of a member, or an addition.
    std::map<std::string, std::size_t> byName;
    for (std::size_t i = 0; i < entries.size(); ++i) byName.emplace(storedKey(entries[i].stored, entries[i].folder), i);
    std::vector<bool> placed(entries.size(), false);
    std::vector<int> replacement(members.size(), -1);
    int replaced = 0, kept = 0, added = 0;
    for (std::size_t m = 0; m < members.size(); ++m) {
        auto it = byName.find(members[m].name);
        if (it == byName.end() || placed[it->second]) {
            ++kept;
            continue;
        }
        placed[it->second] = true;
        const Entry& e = entries[it->second];
        if (!e.folder && (command.letter == 'a' || members[m].mtime < e.mtime)) {
            replacement[m] = static_cast<int>(it->second);
            ++replaced;
        } else {
            ++kept;
        }
    }
    for (bool p : placed) added += p ? 0 : 1;
    const bool stub = !members.empty() && members.front().headerOffset != 0;
    if (exists && replaced == 0 && added == 0 && !stub) {
        report = "nothing to update: " + std::to_string(kept) + " kept";
        return {};
    }

    if (progress) {
        progress->setTotal(bytesToRead(members, replacement, entries, placed));
        if (progress->cancelled()) return kCancelledFault;
    }

    TemporaryArchive temp(target);
    if (!temp.error().empty()) return "cannot create a file beside the archive: " + temp.error();
    ArchiveWriter writer(temp.fd(), command.method, command.best, progress);
    auto addEntry = [&](const Entry& e) {
        return e.folder ? writer.addFolder(e.stored, e.source) : writer.addFile(e.stored, e.source);
    };
    for (std::size_t m = 0; m < members.size(); ++m) {
        std::string fault = replacement[m] >= 0 ? addEntry(entries[static_cast<std::size_t>(replacement[m])])
                                                : writer.copyMember(old.get(), members[m]);
        if (!fault.empty()) return fault;
    }
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (!placed[i])
            if (std::string fault = addEntry(entries[i]); !fault.empty()) return fault;
    if (progress && progress->cancelled()) return kCancelledFault;
    if (std::string fault = writer.finish(); !fault.empty()) return fault;
    const mode_t mode = exists ? (oldStat.st_mode & 07777) : static_cast<mode_t>(0644);
    if (std::string fault = temp.commit(target, mode); !fault.empty()) return fault;
    report = std::to_string(added) + " added, " + std::to_string(replaced) + " replaced, " + std::to_string(kept) +
             " kept";
    return {};
}

std::string deleteMembers(const Command& command, const std::vector<std::string>& patterns, std::string& report) {
    const std::string& target = command.archive;
    if (patterns.empty()) return "no member names given: nothing to delete";
    struct stat oldStat {};
    if (::stat(target.c_str(), &oldStat) != 0) return "cannot open the archive " + target + ": " + std::strerror(errno);
    if (!S_ISREG(oldStat.st_mode)) return "the archive is not a regular file: " + target;
    FileHandle old(::open(target.c_str(), O_RDONLY | O_CLOEXEC));
    if (old.get() < 0) return "cannot open the archive " + target + ": " + std::strerror(errno);
    std::vector<ArchiveMember> members;
    if (std::string fault = readArchive(old.get(), static_cast<std::uint64_t>(oldStat.st_size), members); !fault.empty())
        return "the archive is damaged, left as it is: " + fault;
    std::size_t deleted = 0;
    for (const ArchiveMember& m : members) deleted += isSelected(patterns, m.name) ? 1 : 0;
    if (deleted == 0) return "no member matches the names given; the archive is left as it is";

    TemporaryArchive temp(target);
    if (!temp.error().empty()) return "cannot create a file beside the archive: " + temp.error();
    ArchiveWriter writer(temp.fd(), command.method, command.best);
    for (const ArchiveMember& m : members)
        if (!isSelected(patterns, m.name))
            if (std::string fault = writer.copyMember(old.get(), m); !fault.empty()) return fault;
    if (std::string fault = writer.finish(); !fault.empty()) return fault;
    if (std::string fault = temp.commit(target, oldStat.st_mode & 07777); !fault.empty()) return fault;
    report = std::to_string(deleted) + " deleted, " + std::to_string(members.size() - deleted) + " kept";
    return {};
}

}  // namespace lzh

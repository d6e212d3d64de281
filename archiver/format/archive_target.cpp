#include "archiver/format/archive_target.h"

#include "archiver/format/archive_source.h"
#include "archiver/format/archive_writer.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace lzh {

std::string followLinks(const std::string& path, std::string& resolved) {
    resolved = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(resolved.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return {};
        std::string target(PATH_MAX, '\0');
        const ssize_t n = ::readlink(resolved.c_str(), target.data(), target.size());
        if (n < 0) return "cannot read the link " + resolved + ": " + std::strerror(errno);
        target.resize(static_cast<std::size_t>(n));
        resolved = target.front() == '/' ? target : folderOf(resolved) + "/" + target;
    }
    return "too many levels of symbolic links: " + path;
}

namespace {

bool fileStartsLikeAProgram(int fd) {
    std::uint8_t head[4] = {};
    return ::pread(fd, head, sizeof head, 0) == static_cast<ssize_t>(sizeof head) && startsLikeAProgram(head);
}

}  // namespace

std::string ArchiveTarget::open(const std::string& path, Progress* progress, const UpdateLock::WaitNotice& onWait) {
    if (std::string fault = followLinks(path, path_); !fault.empty()) return fault;
    if (std::string fault = lock_.acquire(folderOf(path_), progress, onWait); !fault.empty()) return fault;
    exists_ = ::stat(path_.c_str(), &stat_) == 0;
    // A split archive is read from its pieces, but never written back to them.
    struct stat piece {};
    if (!exists_) {
        if (errno != ENOENT) return "cannot read the archive " + path + ": " + std::strerror(errno);
        onlyPieces_ = ::stat(pieceName(path_, 1).c_str(), &piece) == 0;
        return {};
    }
    // Readers take NAME.001 beside NAME.002 for the first piece of a series.
    if (isFirstPieceName(path_) && ::stat(pieceName(path_.substr(0, path_.size() - 4), 2).c_str(), &piece) == 0)
        return path + " is the first piece of a split archive, and pieces cannot be updated: join them into one "
                      "file first";
    if (!S_ISREG(stat_.st_mode)) return "the archive is not a regular file: " + path;
    // Write bits count even for a user whom the system would let write anyway.
    if ((stat_.st_mode & 0222) == 0 || ::access(path_.c_str(), W_OK) != 0)
        return "the archive is read-only, left as it is: " + path;
    old_.reset(::open(path_.c_str(), O_RDONLY | O_CLOEXEC));
    if (old_.get() < 0) return "cannot open the archive " + path + ": " + std::strerror(errno);
    // An empty file (made by mktemp, say) is an archive of no members: it holds nothing to lose.
    if (stat_.st_size == 0) return {};
    if (std::string fault = readArchive(old_.get(), static_cast<std::uint64_t>(stat_.st_size), members_);
        !fault.empty())
        return "the archive is damaged, left as it is: " + fault;
    if (stubSize() > 0 && !fileStartsLikeAProgram(old_.get()))
        return "not an archive, left as it is (an archive lies inside it, after what is no self-extracting "
               "program): " + path;
    const std::uint64_t size = static_cast<std::uint64_t>(stat_.st_size);
    const std::uint64_t end = members_.empty() ? 0 : members_.back().dataOffset + members_.back().packedSize;
    if (end + 1 < size) {   // the end mark is at `end`
        tailFrom_ = end + 1;
        tailSize_ = size - tailFrom_;
    }
    return {};
}

std::string ArchiveTarget::create() {
    if (std::string fault = new_.create(path_); !fault.empty())
        return "cannot create a file beside the archive " + path_ + ": " + fault;
    return {};
}

std::string ArchiveTarget::copyStub(ArchiveWriter& writer) const {
    return stubSize() ? writer.copyRange(old_.get(), 0, stubSize()) : std::string();
}

std::string ArchiveTarget::finish(ArchiveWriter& writer) const {
    return writer.finish(old_.get(), tailFrom_, tailSize_);
}

std::string ArchiveTarget::commit() {
    // A new archive is as private as the user's mask makes new files.
    const mode_t mode = exists_ ? (stat_.st_mode & 07777) : static_cast<mode_t>(0666 & ~processUmask());
    // The old archive's owner and group, as far as the process may give them
    // (root may; others may keep a group they belong to). Before the mode:
    // a change of owner clears the set-id bits.
    if (exists_ && ::fchown(new_.fd(), stat_.st_uid, stat_.st_gid) != 0) {
        // The group alone, where the owner cannot be given; the test below tells what came of it.
        const bool groupKept = ::fchown(new_.fd(), static_cast<uid_t>(-1), stat_.st_gid) == 0;
        static_cast<void>(groupKept);
        struct stat now {};
        ownerLost_ = ::fstat(new_.fd(), &now) == 0 && (now.st_uid != stat_.st_uid || now.st_gid != stat_.st_gid);
    }
    if (std::string fault = new_.commit(mode); !fault.empty()) return "cannot replace the archive " + path_ + ": " + fault;
    return {};
}

std::string ArchiveTarget::remove() {
    if (::unlink(path_.c_str()) != 0) return "cannot remove the archive " + path_ + ": " + std::strerror(errno);
    return {};
}

std::string ArchiveTarget::flushFolder() const {
    const FileHandle folder(::open(folderOf(path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() < 0 || ::fsync(folder.get()) != 0) return std::strerror(errno);
    return {};
}

}  // namespace lzh

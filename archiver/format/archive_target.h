#pragma once

#include "archiver/format/archive_reader.h"
#include "archiver/format/file_handle.h"
#include "archiver/format/new_file.h"
#include "archiver/format/update_lock.h"

#include <string>
#include <sys/stat.h>
#include <vector>

namespace lzh {

class ArchiveWriter;

// The archive a command changes, from the lock to the replacement. Every
// command that rewrites an archive goes through it:
//  - a symbolic link is followed: the file it leads to is replaced, in its
//    own folder, and the link stays a link;
//  - an archive that is read-only or no regular file is refused;
//  - the update lock is held from open() to the end, and the old archive is
//    read under it;
//  - the new archive is an unnamed file until commit(); a self-extractor's
//    program part is copied into it first, so it stays self-extracting,
//    and bytes after the old end mark follow the new one;
//  - a file with an archive inside it after something that is no program
//    (a tar, say, that holds one) is refused: it is not an archive.
class ArchiveTarget {
public:
    // Empty text on success, else the reason (the archive is untouched).
    std::string open(const std::string& path, Progress* progress = nullptr, const UpdateLock::WaitNotice& onWait = {});

    bool exists() const { return exists_; }
    // The archive does not exist, but the pieces of a split one of its name do
    // (they are read as that archive, but never written).
    bool onlyPieces() const { return onlyPieces_; }
    const std::string& path() const { return path_; }   // links followed
    int oldFd() const { return old_.get(); }
    const std::vector<ArchiveMember>& members() const { return members_; }
    // Bytes before the first header (a self-extractor's program part).
    std::uint64_t stubSize() const { return members_.empty() ? 0 : members_.front().headerOffset; }
    // Bytes of the old archive that are no member's: the program part, and
    // whatever follows the end mark.
    std::uint64_t extraSize() const { return stubSize() + tailSize_; }

    // Creates the new archive beside the old one; its descriptor is newFd().
    std::string create();
    int newFd() const { return new_.fd(); }
    // Copies the old archive's program part, if any, to the writer.
    std::string copyStub(ArchiveWriter& writer) const;
    // Ends the new archive: the end mark, then the bytes that followed the
    // old one's, kept as they were.
    std::string finish(ArchiveWriter& writer) const;
    // Puts the new archive in place of the old one, with the old one's mode,
    // owner and group.
    std::string commit();
    // After commit(): the old archive's owner or group could not be given
    // to the new one (the process may not), so it now belongs to the process.
    bool ownerLost() const { return ownerLost_; }
    // Removes the old archive (one with no member left), under the lock.
    std::string remove();
    // Flushes the archive's folder, so that the committed archive (not only
    // its bytes) outlives a crash.
    std::string flushFolder() const;

private:
    std::string path_;
    bool exists_ = false;
    bool ownerLost_ = false;
    bool onlyPieces_ = false;
    struct stat stat_ {};
    UpdateLock lock_;
    FileHandle old_;
    std::vector<ArchiveMember> members_;
    std::uint64_t tailFrom_ = 0;   // bytes after the old archive's end mark
    std::uint64_t tailSize_ = 0;
    NewFile new_;
};

// Follows symbolic links from `path` to the file they lead to (which need
// not exist yet). Empty text on success.
std::string followLinks(const std::string& path, std::string& resolved);

}  // namespace lzh

#pragma once

#include <string>
#include <sys/types.h>

namespace lzh {

// The folder part of `path` ("." for a bare name, "/" for the root).
std::string folderOf(const std::string& path);

// A file that takes the place of `target` only when committed. It is
// written as an unnamed file in the target's folder, so a crash or a kill
// leaves nothing behind; commit() gives it a short-lived hidden name and
// renames that over the target in one step. Where the file system has no
// unnamed files, a hidden named one is used, and the tool removes it on
// SIGINT, SIGTERM, SIGHUP and SIGPIPE (see removeTemporariesOnSignals).
class NewFile {
public:
    NewFile() = default;
    ~NewFile();
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;

    // `target` is the file's real path (links already followed).
    std::string create(const std::string& target);
    int fd() const { return fd_; }
    // Flushes it to disk, gives it `mode` and renames it over the target.
    std::string commit(mode_t mode);

private:
    std::string target_;
    std::string named_;   // the name it has on disk now, if any
    int fd_ = -1;
    int slot_ = -1;       // its place among the names removed on a signal
};

// While it lives, the named temporary file `path` is removed if one of the
// signals of removeTemporariesOnSignals ends the process.
class PendingTemporary {
public:
    explicit PendingTemporary(const std::string& path);
    // `name` in the folder open as `folder`, which must stay open while it lives.
    PendingTemporary(int folder, const std::string& name);
    ~PendingTemporary();
    PendingTemporary(const PendingTemporary&) = delete;
    PendingTemporary& operator=(const PendingTemporary&) = delete;

private:
    int slot_;
};

// Whether an unnamed file (O_TMPFILE) can be given a name: through
// /proc/self/fd, which a bare chroot may lack.
bool unnamedFilesCanBeNamed();

// The folder for temporary files: $TMPDIR, else /tmp.
std::string temporaryFolder();

// The process's file-mode creation mask, read without changing it.
mode_t processUmask();

// Installs handlers that remove every named temporary file of this process
// and then end it as the signal would have (for the command-line tool; the
// library leaves its host's signal handling alone).
void removeTemporariesOnSignals();

}  // namespace lzh

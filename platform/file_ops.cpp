#include "platform/file_ops.h"

#include "platform/piece_ahead.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sqs::files {
namespace {

std::string reason(int error) { return std::strerror(error); }

// The program speaks Japanese; the system's own reasons come in the
// locale's language from strerror.
constexpr const char* kEndedEarly = "ファイルが途中で終わっています（読んでいる間に変わりました）";

// Closes a descriptor when it goes out of scope.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() { if (fd_ >= 0) ::close(fd_); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    // Closes now and reports a failure of the close itself (delayed write errors).
    int closeNow() { int r = ::close(fd_); fd_ = -1; return r; }
private:
    int fd_;
};

// Writes larger than this go to the kernel in steps: on ext4 one 1.4 MB
// write() of a piece measured about twice as slow as the same bytes in 1 MiB steps.
constexpr std::int64_t kWriteStep = 1 << 20;

std::string writeAll(int fd, const char* data, std::int64_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, static_cast<size_t>(std::min(size, kWriteStep)));
        if (n < 0) {
            if (errno == EINTR) continue;
            return reason(errno);
        }
        data += n;
        size -= n;
    }
    return {};
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// Whether the link `link` (its status `st`) is one the system itself would
// not follow for us: another user's link in a folder anyone may write to
// that keeps each one's files (sticky, as /tmp), unless the folder is that
// user's. Such a link may have been planted to make us write elsewhere.
bool plantedLink(const std::string& link, const struct stat& st) {
    struct stat folder {};
    if (::stat(folderOf(link).c_str(), &folder) != 0) return false;
    const bool shared = (folder.st_mode & S_ISVTX) && (folder.st_mode & S_IWOTH);
    return shared && st.st_uid != ::geteuid() && st.st_uid != folder.st_uid;
}

// The file `path` leads to once symbolic links are followed (it need not
// exist), with its status in `st` where it exists; `planted` where a link
// on the way is one not to follow (see plantedLink), which is returned.
std::string followLinks(const std::string& path, struct stat& st, bool& exists, bool* planted = nullptr) {
    std::string resolved = path;
    for (int hops = 0; hops < 40; ++hops) {
        exists = ::lstat(resolved.c_str(), &st) == 0;
        if (!exists || !S_ISLNK(st.st_mode)) return resolved;
        if (planted && plantedLink(resolved, st)) {
            *planted = true;
            return resolved;
        }
        std::string target(4096, '\0');
        const ssize_t n = ::readlink(resolved.c_str(), target.data(), target.size());
        if (n <= 0) break;
        target.resize(static_cast<std::size_t>(n));
        resolved = target.front() == '/' ? target : folderOf(resolved) + "/" + target;
    }
    exists = ::stat(resolved.c_str(), &st) == 0;   // a loop or an unreadable link: as the system sees it
    return resolved;
}

// The hidden name beside `path` that a new file has while it is written.
std::string hiddenName(const std::string& path) {
    static thread_local std::mt19937_64 random{std::random_device{}()};
    const std::size_t slash = path.rfind('/');
    char suffix[17];
    std::snprintf(suffix, sizeof suffix, "%016llx", static_cast<unsigned long long>(random()));
    std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    // Within a name's 255 bytes: a long name gives up its end (whole characters).
    constexpr std::size_t kRoom = 255 - 18;
    if (base.size() > kRoom) {
        std::size_t cut = kRoom;
        while (cut > 0 && (static_cast<unsigned char>(base[cut]) & 0xC0) == 0x80) --cut;
        base.resize(cut);
    }
    return (slash == std::string::npos ? "" : path.substr(0, slash + 1)) + "." + base + "." + suffix;
}

// A hidden file beside `path` that nothing uses yet, made with the user's
// mask, as the file it becomes.
int hiddenTemporary(const std::string& path, std::string& name) {
    for (int tries = 0; tries < 100; ++tries) {
        name = hiddenName(path);
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

// Gives the unnamed file `fd` the name `name`; EEXIST when it is taken.
int linkUnnamed(int fd, const std::string& name) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    return ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
}

// Copies `size` bytes of `source` from `offset` to the end of `out`, in the
// kernel where it can (no copy through user space, or shared extents on file
// systems that have them); with read and write where the kernel or the file
// systems refuse. A failure to read sets `sourceFailed`. One call for the
// whole range: on tmpfs it measured as fast as splice through a 1 MiB pipe,
// sendfile or read and write, and faster than with fallocate first (in
// this thread: see PieceAhead) or through a mapping of the source.
std::string copyBytes(int source, std::int64_t offset, int out, std::int64_t size, bool& sourceFailed) {
    bool inKernel = true;
    std::unique_ptr<char[]> buffer;
    while (size > 0) {
        if (inKernel) {
            loff_t from = offset;
            const ssize_t n = ::copy_file_range(source, &from, out, nullptr,
                                                static_cast<size_t>(std::min<std::int64_t>(size, 1 << 30)), 0);
            if (n > 0) {
                offset += n;
                size -= n;
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP &&
                errno != EBADF && errno != EPERM)
                return reason(errno);   // a real fault (no space, I/O error) is not retried another way
            inKernel = false;   // refused, or nothing moved: the plain way tells which
        }
        if (!buffer) buffer.reset(new char[kWriteStep]);
        const ssize_t n = ::pread(source, buffer.get(), static_cast<size_t>(std::min(size, kWriteStep)),
                                  static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            sourceFailed = true;
            return n < 0 ? reason(errno) : kEndedEarly;
        }
        if (std::string error = writeAll(out, buffer.get(), n); !error.empty()) return error;
        offset += n;
        size -= n;
    }
    return {};
}

// Makes a new file in place of `path` (see writeInPlaceOf) with the bytes
// that `fill` writes to it; `made(folder)` gives an unnamed file made ahead
// there, or -1.
template <typename Fill, typename Made>
std::string placeNewFile(const std::string& path, bool sync, Fill fill, Made made, const struct stat* source = nullptr) {
    struct stat st {};
    bool exists = false, planted = false;
    const std::string target = followLinks(path, st, exists, &planted);
    if (planted) return "共有フォルダにある他のユーザーのリンクなので、たどりません";
    if (exists && S_ISDIR(st.st_mode)) return reason(EISDIR);
    // A device, pipe or socket is never replaced by a file (a link to
    // /dev/null would otherwise cost the system its /dev/null).
    if (exists && !S_ISREG(st.st_mode)) return "通常のファイルではないので、置き換えられません";
    // A piece named by a link to the file it is cut from would replace that
    // file, whose bytes the later pieces still need.
    if (exists && source && st.st_dev == source->st_dev && st.st_ino == source->st_ino)
        return "読んでいるファイルそのもの（リンク先）なので、置き換えられません";
    // Write bits count even for a user whom the system would let write anyway.
    if (exists && ((st.st_mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0)) return "読み取り専用のファイルです";

    std::string named;   // the name the new file has while it is written, if any
    const std::string folder = folderOf(target);
    int raw = made(folder);
    if (raw < 0) raw = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (raw < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        raw = hiddenTemporary(target, named);   // no unnamed files on this file system
    }
    if (raw < 0) return reason(errno);
    Descriptor fd(raw);
    std::string error = fill(fd.get());
    if (error.empty() && exists && ::fchmod(fd.get(), st.st_mode & 07777) != 0) error = reason(errno);
    if (error.empty() && sync && ::fsync(fd.get()) != 0) error = reason(errno);
    bool placed = false;   // already under the target's name
    if (error.empty() && named.empty()) {
        // The complete unnamed file takes the target's name in one step where
        // the name is free; else a hidden name, renamed over the target below.
        int fault = exists ? EEXIST : linkUnnamed(fd.get(), target);
        placed = fault == 0;
        for (int tries = 0; fault == EEXIST && tries < 100; ++tries) {
            named = hiddenName(target);
            fault = linkUnnamed(fd.get(), named);
        }
        if (fault != 0) {
            named.clear();
            error = reason(fault);
        }
    }
    if (error.empty() && fd.closeNow() != 0) error = reason(errno);
    if (error.empty() && !placed && ::rename(named.c_str(), target.c_str()) != 0) error = reason(errno);
    if (!error.empty() && placed) ::unlink(target.c_str());
    if (!error.empty() && !named.empty()) ::unlink(named.c_str());
    return error;
}

}  // namespace

std::string writeInPlaceOf(const std::string& path, const char* data, std::int64_t size, bool sync) {
    return placeNewFile(path, sync, [&](int fd) { return writeAll(fd, data, size); },
                        [](const std::string&) { return -1; });
}

std::string copyInPlaceOf(const std::string& path, const std::string& source, std::int64_t offset,
                          std::int64_t size, bool& sourceFailed, PieceAhead* ahead) {
    sourceFailed = false;
    Descriptor in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0) {
        sourceFailed = true;
        return reason(errno);
    }
    struct stat read {};
    if (::fstat(in.get(), &read) != 0) {
        sourceFailed = true;
        return reason(errno);
    }
    return placeNewFile(
        path, false, [&](int fd) { return copyBytes(in.get(), offset, fd, size, sourceFailed); },
        [&](const std::string& folder) { return ahead ? ahead->take(source, offset, size, folder) : -1; }, &read);
}

std::string folderOfNewFile(const std::string& path) {
    struct stat st {};
    bool exists = false;
    return folderOf(followLinks(path, st, exists));
}

std::string lookupName(const std::string& path, bool withDirectories) {
    auto slash = path.rfind('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    struct stat st {};
    if (name.empty()) {
        // A path ending in the separator names the folder's contents: its first
        // entry is "." for any existing folder.
        std::string folder = path.empty() ? "." : path;
        if (withDirectories && ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return ".";
        return {};
    }
    if (::stat(path.c_str(), &st) != 0) return {};
    if (!withDirectories && S_ISDIR(st.st_mode)) return {};
    return name;
}

std::string changeStamp(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return {};
    return std::to_string(st.st_size) + " " + std::to_string(st.st_mtim.tv_sec) + "." +
           std::to_string(st.st_mtim.tv_nsec) + " " + std::to_string(st.st_ctim.tv_sec) + "." +
           std::to_string(st.st_ctim.tv_nsec);
}

std::string fileIdentity(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return {};
    return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
}

std::optional<std::int64_t> length(const std::string& path, std::string& error) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        error = reason(errno);
        return std::nullopt;
    }
    if (S_ISDIR(st.st_mode)) {
        error = reason(EISDIR);
        return std::nullopt;
    }
    if (!S_ISREG(st.st_mode)) {
        error = "通常のファイルではありません";
        return std::nullopt;
    }
    return static_cast<std::int64_t>(st.st_size);
}

std::string removeFile(const std::string& path) {
    if (::unlink(path.c_str()) != 0) return reason(errno);
    return {};
}

std::string setHidden(const std::string& path, bool) {
    // Linux has no hidden attribute; the file must exist all the same.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return reason(errno);
    return {};
}

std::string readAt(const std::string& path, std::int64_t offset, char* buffer, std::int64_t size) {
    Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) return reason(errno);
    while (size > 0) {
        ssize_t n = ::pread(fd.get(), buffer, static_cast<size_t>(std::min<std::int64_t>(size, 1 << 30)),
                            static_cast<off_t>(offset));
        if (n < 0) {
            if (errno == EINTR) continue;
            return reason(errno);
        }
        if (n == 0) return kEndedEarly;
        buffer += n;
        offset += n;
        size -= n;
    }
    return {};
}

std::string writeWhole(const std::string& path, const char* data, std::int64_t size) {
    return writeInPlaceOf(path, data, size, false);
}

std::optional<std::string> readAll(const std::string& path) {
    // Not blocking: a pipe of that name would wait for a writer at the open.
    Descriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0) return std::nullopt;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    std::string bytes;
    char chunk[65536];
    for (;;) {
        ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR) continue;
            return std::nullopt;
        }
        if (n == 0) break;
        bytes.append(chunk, static_cast<size_t>(n));
    }
    return bytes;
}

std::string replaceAtomically(const std::string& path, const std::string& bytes) {
    return writeInPlaceOf(path, bytes.data(), static_cast<std::int64_t>(bytes.size()), true);
}

}  // namespace sqs::files

#include "archiver/format/long_path.h"

#include "archiver/format/file_handle.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace lzh {
namespace {

// Opens the folder of `path` a component at a time (links followed, as the
// system follows them inside a path) and leaves the last component in
// `last`; -1 with errno on failure.
int openFolderOf(const std::string& path, std::string& last) {
    const std::size_t slash = path.find_last_of('/');
    last = path.substr(slash + 1);
    if (last.empty()) {
        errno = ENAMETOOLONG;   // a path ending in "/" has no last component to act on
        return -1;
    }
    FileHandle folder(::open(path.front() == '/' ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() < 0 || slash == std::string::npos) return folder.release();
    std::size_t at = 0;
    while (at < slash) {
        std::size_t end = path.find('/', at);
        if (end == std::string::npos || end > slash) end = slash;
        if (end > at) {
            const std::string part = path.substr(at, end - at);
            const int next = ::openat(folder.get(), part.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
            if (next < 0) return -1;
            folder.reset(next);
        }
        at = end + 1;
    }
    return folder.release();
}

// Runs call(folder, lastComponent) from the folder of a path too long for one call.
template <typename Call>
int fromFolder(const std::string& path, Call call) {
    std::string last;
    const FileHandle folder(openFolderOf(path, last));
    if (folder.get() < 0) return -1;
    return call(folder.get(), last.c_str());
}

}  // namespace

int openLong(const std::string& path, int flags, mode_t mode) {
    const int fd = ::open(path.c_str(), flags, mode);
    if (fd >= 0 || errno != ENAMETOOLONG) return fd;
    return fromFolder(path, [&](int folder, const char* name) { return ::openat(folder, name, flags, mode); });
}

int statLong(const std::string& path, struct stat& st, bool followLink) {
    const int result = followLink ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st);
    if (result == 0 || errno != ENAMETOOLONG) return result;
    return fromFolder(path, [&](int folder, const char* name) {
        return ::fstatat(folder, name, &st, followLink ? 0 : AT_SYMLINK_NOFOLLOW);
    });
}

DIR* openFolderLong(const std::string& path) {
    if (DIR* dir = ::opendir(path.c_str()); dir || errno != ENAMETOOLONG) return dir;
    const int fd = openLong(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    DIR* dir = ::fdopendir(fd);
    if (!dir) ::close(fd);
    return dir;
}

int removeLong(const std::string& path, bool folder) {
    const int result = folder ? ::rmdir(path.c_str()) : ::unlink(path.c_str());
    if (result == 0 || errno != ENAMETOOLONG) return result;
    return fromFolder(path, [&](int at, const char* name) { return ::unlinkat(at, name, folder ? AT_REMOVEDIR : 0); });
}

}  // namespace lzh

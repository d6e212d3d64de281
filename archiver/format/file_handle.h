#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <unistd.h>

namespace lzh {

// Owns a file descriptor and closes it when it goes out of scope.
class FileHandle {
public:
    explicit FileHandle(int fd = -1) : fd_(fd) {}
    ~FileHandle() { reset(); }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    int get() const { return fd_; }
    void reset(int fd = -1) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }
    int release() {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

// Reads up to `size` bytes (fewer only at the end of the file); -1 on error.
inline ssize_t readSome(int fd, std::uint8_t* buffer, std::size_t size) {
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = ::read(fd, buffer + got, size - got);
        if (n < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    return static_cast<ssize_t>(got);
}

// Writes all `size` bytes; false on a fault, which errno tells.
inline bool writeAll(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = ENOSPC;   // nothing taken, no reason given: the device is full
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Copies `from`, from its offset to its end, into `to`, through `buffer`.
// Returns false on a fault (errno tells why; `readFailed` which side).
inline bool copyToEnd(int from, int to, std::uint8_t* buffer, std::size_t size, std::uint64_t& copied,
                      bool& readFailed) {
    for (;;) {
        const ssize_t n = readSome(from, buffer, size);
        readFailed = n < 0;
        if (n <= 0) return n == 0;
        if (!writeAll(to, buffer, static_cast<std::size_t>(n))) return false;
        copied += static_cast<std::uint64_t>(n);
    }
}

}  // namespace lzh

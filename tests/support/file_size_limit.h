#pragma once

#include <csignal>
#include <sys/resource.h>

namespace support {

// While it lives, writes past `bytes` in any file fail (EFBIG), as on a full
// disk: the size limit is lowered and SIGXFSZ ignored, so that the write
// returns the error instead of ending the process. Both come back after.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) : handler_(std::signal(SIGXFSZ, SIG_IGN)) {
        ::getrlimit(RLIMIT_FSIZE, &old_);
        struct rlimit small = old_;
        small.rlim_cur = bytes;
        set_ = ::setrlimit(RLIMIT_FSIZE, &small) == 0;
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, handler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    bool set() const { return set_; }

private:
    struct rlimit old_ {};
    void (*handler_)(int);
    bool set_ = false;
};

}  // namespace support

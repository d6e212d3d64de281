#include "archiver/format/update_lock.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <time.h>
#include <unistd.h>

namespace lzh {

UpdateLock::~UpdateLock() {
    if (fd_ >= 0) ::close(fd_);   // closing releases the lock
}

std::string UpdateLock::acquire(const std::string& folder, Progress* progress, const WaitNotice& onWait) {
    const std::string name = folder.empty() ? "." : folder;
    fd_ = ::open(name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0) return "cannot open the folder " + name + ": " + std::strerror(errno);
    constexpr long kPollNanoseconds = 50'000'000;
    constexpr int kPollsBeforeNotice = 20;   // one second
    for (int polls = 0;; ++polls) {
        if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) return {};
        if (errno == EINTR) continue;
        // A file system without locks: nothing to serialise against.
        if (errno == ENOLCK || errno == EOPNOTSUPP || errno == ENOSYS) return {};
        if (errno != EWOULDBLOCK) return "cannot lock the folder " + name + ": " + std::strerror(errno);
        if (progress && progress->cancelled()) return kCancelledFault;
        if (polls == kPollsBeforeNotice && onWait) onWait(name);
        const timespec pause{0, kPollNanoseconds};
        ::nanosleep(&pause, nullptr);
    }
}

}  // namespace lzh

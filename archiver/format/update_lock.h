#pragma once

#include "archiver/progress.h"

#include <functional>
#include <string>

namespace lzh {

// An exclusive lock held for the whole of one change of an archive, so that
// two updates of one archive never run at once (the second would write its
// new archive from the old one and lose the first one's members). The lock
// is taken on the archive's folder, which exists before and after the
// archive is replaced; updates in one folder therefore run one at a time.
// It goes with the process, so a killed update leaves nothing behind.
class UpdateLock {
public:
    using WaitNotice = std::function<void(const std::string& folder)>;

    UpdateLock() = default;
    ~UpdateLock();
    UpdateLock(const UpdateLock&) = delete;
    UpdateLock& operator=(const UpdateLock&) = delete;

    // Waits until the lock on `folder` is ours; `onWait` is told once when
    // that takes longer than a second, and a cancelled progress ends the
    // wait. Empty text on success, else the reason.
    std::string acquire(const std::string& folder, Progress* progress, const WaitNotice& onWait);

private:
    int fd_ = -1;
};

}  // namespace lzh

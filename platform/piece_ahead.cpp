#include "platform/piece_ahead.h"

#include "platform/file_ops.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <utility>

namespace sqs::files {
namespace {

// An unnamed file in `folder` holding `size` bytes' worth of pages, with
// `size` bytes of `source` from `offset` read once on the way; -1 where the
// folder is not on tmpfs or anything fails (the copy then makes its own file).
int makeReady(const std::string& source, std::int64_t offset, std::int64_t size, const std::string& folder) {
    struct statfs fs {};
    if (size <= 0 || ::statfs(folder.c_str(), &fs) != 0 || fs.f_type != TMPFS_MAGIC) return -1;
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd < 0) return -1;
    if (::fallocate(fd, 0, 0, static_cast<off_t>(size)) != 0) {
        ::close(fd);   // no room: the copy itself reports it
        return -1;
    }
    const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (in >= 0) {
        constexpr std::int64_t kStep = 1 << 16;
        const std::unique_ptr<char[]> scratch(new char[kStep]);
        for (std::int64_t done = 0; done < size;) {
            const ssize_t n = ::pread(in, scratch.get(), static_cast<size_t>(std::min(kStep, size - done)),
                                      static_cast<off_t>(offset + done));
            if (n <= 0) break;   // the copy finds out why
            done += n;
        }
        ::close(in);
    }
    return fd;
}

}  // namespace

PieceAhead::PieceAhead() : worker_([this] { run(); }) {}

PieceAhead::~PieceAhead() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        while (!jobs_.empty()) dropFrontLocked();
    }
    changed_.notify_all();
    worker_.join();
}

void PieceAhead::prepare(const std::string& source, std::int64_t offset, std::int64_t size, const std::string& path) {
    {
        std::lock_guard lock(mutex_);
        if (jobs_.size() >= 2) dropFrontLocked();
        Job& job = jobs_.emplace_back();
        job.source = source;
        job.path = path;
        job.offset = offset;
        job.size = size;
        job.number = ++numbered_;
    }
    changed_.notify_all();
}

int PieceAhead::take(const std::string& source, std::int64_t offset, std::int64_t size, const std::string& folder) {
    std::unique_lock lock(mutex_);
    auto same = [&](const Job& job) { return job.source == source && job.offset == offset && job.size == size; };
    if (std::find_if(jobs_.begin(), jobs_.end(), same) == jobs_.end()) return -1;
    while (!same(jobs_.front())) dropFrontLocked();
    const std::uint64_t number = jobs_.front().number;
    changed_.wait(lock, [&] {
        return jobs_.empty() || jobs_.front().number != number || jobs_.front().state == Job::Done;
    });
    if (jobs_.empty() || jobs_.front().number != number) return -1;
    const int fd = jobs_.front().folder == folder ? std::exchange(jobs_.front().fd, -1) : -1;
    dropFrontLocked();
    return fd;
}

// A finished file is closed here; one in the making by the worker, which
// finds its job gone.
void PieceAhead::dropFrontLocked() {
    if (jobs_.front().state == Job::Done && jobs_.front().fd >= 0) ::close(jobs_.front().fd);
    jobs_.pop_front();
}

void PieceAhead::run() {
    std::unique_lock lock(mutex_);
    auto waiting = [this] {
        return std::find_if(jobs_.begin(), jobs_.end(), [](const Job& job) { return job.state == Job::Waiting; });
    };
    for (;;) {
        changed_.wait(lock, [&] { return stopping_ || waiting() != jobs_.end(); });
        if (stopping_) return;
        auto next = waiting();
        next->state = Job::Working;
        const Job job = *next;
        lock.unlock();
        const std::string folder = folderOfNewFile(job.path);
        const int fd = makeReady(job.source, job.offset, job.size, folder);
        lock.lock();
        auto mine = std::find_if(jobs_.begin(), jobs_.end(), [&](const Job& j) { return j.number == job.number; });
        if (mine != jobs_.end()) {
            mine->folder = folder;
            mine->fd = fd;
            mine->state = Job::Done;
            changed_.notify_all();
        } else if (fd >= 0) {
            ::close(fd);
        }
    }
}

}  // namespace sqs::files

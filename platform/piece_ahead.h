#pragma once

// The file of the next piece, made ready on a second core while the current
// piece is copied. On a memory file system (tmpfs) the copy's cost is mostly
// the target's page allocation and the source's trip from memory; here both
// happen beside the copy: the unnamed file gets its pages (fallocate) and the
// source's bytes are read once, into the processor's cache. Elsewhere nothing
// is made ahead, so shared extents and disk allocation stay the kernel's.
// Nothing is named ahead: a file made and never taken vanishes when closed.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

namespace sqs::files {

class PieceAhead {
public:
    PieceAhead();
    ~PieceAhead();   // drops a file not taken
    PieceAhead(const PieceAhead&) = delete;
    PieceAhead& operator=(const PieceAhead&) = delete;

    // Starts making the file for `size` bytes of `source` from `offset`, to
    // take the place of `path`. Two are kept at most, the piece in hand and
    // the next: a third drops the oldest not taken.
    void prepare(const std::string& source, std::int64_t offset, std::int64_t size, const std::string& path);
    // The descriptor of the file made for exactly this copy in `folder`
    // (waiting for it), or -1: nothing was made for it. Files made for the
    // copies asked for before it are dropped.
    int take(const std::string& source, std::int64_t offset, std::int64_t size, const std::string& folder);

private:
    struct Job {
        std::string source, path, folder;
        std::int64_t offset = 0, size = 0;
        std::uint64_t number = 0;
        enum { Waiting, Working, Done } state = Waiting;
        int fd = -1;
    };
    void run();
    void dropFrontLocked();

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Job> jobs_;
    std::uint64_t numbered_ = 0;
    bool stopping_ = false;
    std::thread worker_;
};

}  // namespace sqs::files

#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace lzh {

// The progress of one archiver command, shared by the threads that do the
// work and one that watches it: bytes of input done of the total, the member
// being worked on, and a request to stop.
//
// Workers call add() as they consume input and cancelled() between chunks
// (often enough that a stop takes effect within a fraction of a second);
// every member function is safe to call from any thread. The watcher reads
// done(), total() and member(), or overrides changed() to hear of changes.
class Progress {
public:
    virtual ~Progress() = default;

    void setTotal(std::uint64_t bytes) {
        total_.store(bytes, std::memory_order_relaxed);
        changed();
    }
    void startMember(const std::string& name) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            member_ = name;
        }
        changed();
    }
    void add(std::uint64_t bytes) {
        done_.fetch_add(bytes, std::memory_order_relaxed);
        changed();
    }
    void cancel() { cancelled_.store(true, std::memory_order_relaxed); }
    bool cancelled() const { return cancelled_.load(std::memory_order_relaxed); }

    std::uint64_t done() const { return done_.load(std::memory_order_relaxed); }
    std::uint64_t total() const { return total_.load(std::memory_order_relaxed); }
    std::string member() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return member_;
    }

protected:
    // Called after every change, on the thread that made it.
    virtual void changed() {}

private:
    std::atomic<std::uint64_t> done_{0};
    std::atomic<std::uint64_t> total_{0};
    std::atomic<bool> cancelled_{false};
    mutable std::mutex mutex_;
    std::string member_;
};

// The fault a command returns when it stopped because it was cancelled.
inline const char* const kCancelledFault = "cancelled";

}  // namespace lzh

#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

namespace lzh {

// Runs tasks on a fixed set of threads, first come first served. With no
// threads every task runs at once in the caller.
class WorkerPool {
public:
    explicit WorkerPool(unsigned threads);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    template <typename Result>
    std::future<Result> submit(std::function<Result()> task) {
        auto job = std::make_shared<std::packaged_task<Result()>>(std::move(task));
        std::future<Result> result = job->get_future();
        run([job] { (*job)(); });
        return result;
    }

    unsigned threads() const { return static_cast<unsigned>(threads_.size()); }

private:
    void run(std::function<void()> job);
    void work();

    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::function<void()>> jobs_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

// Online CPUs, at least one.
unsigned onlineCpus();

}  // namespace lzh

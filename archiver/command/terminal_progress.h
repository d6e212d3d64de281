#pragma once

#include "archiver/progress.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

namespace lzh {

// The one-line progress indicator of the terminal tool, for `width` columns:
// percentage, bytes done and total, and the member's name, cut at its front
// when it does not fit (control characters shown as "?").
std::string progressLine(std::uint64_t done, std::uint64_t total, const std::string& member, std::size_t width);

// Redraws progressLine on a terminal at most ten times a second, from
// whichever thread reports; the line is wiped when the work ends.
class TerminalProgress : public Progress {
public:
    TerminalProgress(std::FILE* out, std::size_t width) : out_(out), width_(width) {}
    ~TerminalProgress() override;

protected:
    void changed() override;

private:
    std::FILE* out_;
    std::size_t width_;
    std::mutex drawing_;
    std::chrono::steady_clock::time_point last_{};
    bool drawn_ = false;
};

}  // namespace lzh

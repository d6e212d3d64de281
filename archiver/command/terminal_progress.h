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
// whichever thread reports, as wide as the terminal is at the time; the line
// is wiped when the work ends, and before any other line is printed.
class TerminalProgress : public Progress {
public:
    explicit TerminalProgress(std::FILE* out);
    ~TerminalProgress() override;

    // Prints `line` (and a line end) to `to`, the progress line wiped first.
    void print(std::FILE* to, const std::string& line);

protected:
    void changed() override;

private:
    void wipe();
    std::FILE* out_;
    bool plain_;   // a terminal without the erase-line control (TERM=dumb)
    std::mutex drawing_;
    std::chrono::steady_clock::time_point last_{};
    bool drawn_ = false;       // on the terminal now
    bool everDrawn_ = false;
    std::size_t drawnLength_ = 0;
};

}  // namespace lzh

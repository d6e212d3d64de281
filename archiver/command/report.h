#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace lzh {

// What a command reports, a line at a time: a member's result, a
// "warning: ..." or "error: ..." line, the totals. Kept as one text (lines
// separated, the last one bare), or, where a sink is given, each line handed
// to it as it is added, so that a terminal shows each result as it comes.
class Report {
public:
    using Sink = std::function<void(const std::string& line)>;
    Report() = default;
    explicit Report(Sink sink) : sink_(std::move(sink)) {}

    void add(const std::string& line);
    // The lines kept (none where a sink takes them).
    const std::string& text() const { return text_; }
    bool empty() const { return lines_ == 0; }

private:
    std::string text_;
    Sink sink_;
    std::size_t lines_ = 0;
};

}  // namespace lzh

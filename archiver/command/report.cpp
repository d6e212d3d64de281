#include "archiver/command/report.h"

namespace lzh {

void Report::add(const std::string& line) {
    ++lines_;
    if (sink_) {
        sink_(line);
        return;
    }
    if (lines_ > 1) text_ += '\n';
    text_ += line;
}

}  // namespace lzh

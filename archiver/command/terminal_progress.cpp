#include "archiver/command/terminal_progress.h"

#include "archiver/command/printable.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <sys/ioctl.h>

namespace lzh {
namespace {

std::string mebibytes(std::uint64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MiB", static_cast<double>(bytes) / (1024.0 * 1024.0));
    return text;
}

// Columns a UTF-8 character takes: a lead byte counts, a non-ASCII one as
// two (most of them are wide in a Japanese terminal), continuations none.
std::size_t columns(unsigned char byte) { return byte < 0x80 ? 1 : (byte & 0xC0) == 0xC0 ? 2 : 0; }

}  // namespace

std::string progressLine(std::uint64_t done, std::uint64_t total, const std::string& member, std::size_t width) {
    const unsigned percent = total == 0 ? 0 : static_cast<unsigned>(std::min<std::uint64_t>(done, total) * 100 / total);
    char head[96];
    std::snprintf(head, sizeof head, "%3u%%  %s / %s  ", percent, mebibytes(done).c_str(), mebibytes(total).c_str());
    std::string line = head;
    if (line.size() >= width) return line.substr(0, width);

    // Escaped like every other name the tool prints: C0, DEL, C1 and bytes
    // that are not UTF-8 never reach the terminal.
    const std::string name = printable(member);
    std::size_t room = width - line.size(), used = 0;
    for (unsigned char c : name) used += columns(c);
    if (used <= room) return line + name;
    // Keep the end of the name, behind "...".
    std::size_t start = 0;
    while (start < name.size() && used + 3 > room) used -= columns(static_cast<unsigned char>(name[start++]));
    while (start < name.size() && (static_cast<unsigned char>(name[start]) & 0xC0) == 0x80) ++start;
    return room < 3 ? line : line + "..." + name.substr(start);
}

TerminalProgress::TerminalProgress(std::FILE* out) : out_(out) {
    const char* term = std::getenv("TERM");
    plain_ = !term || !*term || std::strcmp(term, "dumb") == 0;
}

void TerminalProgress::changed() {
    std::unique_lock<std::mutex> lock(drawing_, std::try_to_lock);
    if (!lock) return;   // another thread is drawing right now
    // Ten times a second at most, also while lines printed in between wipe
    // it (one per member extracted): it comes back at its next turn.
    const auto now = std::chrono::steady_clock::now();
    if (everDrawn_ && now - last_ < std::chrono::milliseconds(100)) return;
    everDrawn_ = true;
    last_ = now;
    // The width now: the terminal may have been resized since the last line.
    struct winsize size {};
    const std::size_t width = ::ioctl(::fileno(out_), TIOCGWINSZ, &size) == 0 && size.ws_col > 1 ? size.ws_col : 80;
    const std::string line = progressLine(done(), total(), member(), width - 1);
    if (plain_) {
        // Blanks over what is left of a longer line before it.
        const std::size_t tail = drawnLength_ > line.size() ? drawnLength_ - line.size() : 0;
        std::fprintf(out_, "\r%s%*s", line.c_str(), static_cast<int>(tail), "");
    } else {
        std::fprintf(out_, "\r%s\033[K", line.c_str());
    }
    std::fflush(out_);
    drawn_ = true;
    drawnLength_ = line.size();
}

void TerminalProgress::wipe() {
    if (!drawn_) return;
    if (plain_) std::fprintf(out_, "\r%*s\r", static_cast<int>(drawnLength_), "");
    else std::fputs("\r\033[K", out_);
    std::fflush(out_);
    drawn_ = false;
}

void TerminalProgress::print(std::FILE* to, const std::string& line) {
    std::lock_guard<std::mutex> lock(drawing_);
    wipe();
    std::fprintf(to, "%s\n", line.c_str());
}

TerminalProgress::~TerminalProgress() {
    std::lock_guard<std::mutex> lock(drawing_);
    wipe();
}

}  // namespace lzh

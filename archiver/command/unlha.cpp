// The C entry point of libunlha32.so.
#include "archiver/command/run_command.h"
#include "archiver/window/windowed_run.h"

#include <cstdint>
#include <cstring>
#include <exception>
#include <new>

extern "C" __attribute__((visibility("default"))) int Unlha(std::int32_t window, const char* command, char* output,
                                                            std::uint32_t outputSize) {
    std::string report;
    int status = 1;
    try {
        QWidget* owner = nullptr;
        if (!command) {
            report = "error: no command given";
        } else if (lzh::windowWanted(window, owner)) {
            // Inside a Qt application: the work runs beside the library's own progress window.
            const std::string text = command;
            status = lzh::runWithWindow(
                owner, [&text](lzh::Progress& progress, std::string& out) { return lzh::runCommand(text, out, &progress); },
                report);
        } else {
            status = lzh::runCommand(command, report);
        }
    } catch (const std::bad_alloc&) {
        report = "error: out of memory";
        status = 1;
    } catch (const std::exception& e) {
        report = std::string("error: ") + e.what();
        status = 1;
    } catch (...) {
        report = "error: unexpected failure";
        status = 1;
    }
    if (output && outputSize > 0) {
        std::size_t n = std::min<std::size_t>(report.size(), outputSize - 1);
        // A cut report ends before a character, not inside one.
        if (n < report.size())
            while (n > 0 && (static_cast<unsigned char>(report[n]) & 0xC0) == 0x80) --n;
        std::memcpy(output, report.data(), n);
        output[n] = '\0';
    }
    return status;
}

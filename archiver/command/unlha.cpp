// The C entry point of libunlha32.so.
#include "archiver/command/run_command.h"

#include <cstdint>
#include <cstring>
#include <exception>

extern "C" __attribute__((visibility("default"))) int Unlha(std::int32_t window, const char* command, char* output,
                                                            std::uint32_t outputSize) {
    (void)window;   // no window is ever shown
    std::string report;
    int status = 1;
    try {
        status = command ? lzh::runCommand(command, report) : (report = "error: no command given", 1);
    } catch (const std::exception& e) {
        report = std::string("error: ") + e.what();
        status = 1;
    } catch (...) {
        report = "error: unexpected failure";
        status = 1;
    }
    if (output && outputSize > 0) {
        const std::size_t n = std::min<std::size_t>(report.size(), outputSize - 1);
        std::memcpy(output, report.data(), n);
        output[n] = '\0';
    }
    return status;
}

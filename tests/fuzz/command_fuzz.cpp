// libFuzzer target: arbitrary bytes as an archiver command text and as a list file.
#include "archiver/command/command_line.h"
#include "archiver/command/response_file.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    lzh::Command command;
    lzh::parseCommand(lzh::splitCommandText(text), command);
    for (const std::string& name : lzh::parseResponseText(text))
        if (name.empty() || name.find('\n') != std::string::npos) __builtin_trap();
    return 0;
}

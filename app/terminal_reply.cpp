#include "app/terminal_reply.h"

namespace sqs {
namespace {

const char kUsage[] =
    "Usage: squashslice [FILE]...\n"
    "Pack files into an LZH archive, or split a file into floppy-sized pieces.\n"
    "\n"
    "Opens the window with each FILE listed (one argument, one path); files\n"
    "dropped on the list replace them. The buttons split the first file, pack\n"
    "every listed file, pack then split, edit the settings, and exit.\n"
    "\n"
    "  --help     print this text and exit\n"
    "  --version  print the version and exit\n"
    "Either counts only as the sole argument when no file of that name exists.\n"
    "\n"
    "Settings: SQS.ini beside the program, or $XDG_CONFIG_HOME/squashslice/SQS.ini\n"
    "(~/.config/squashslice/SQS.ini) for an installed copy. See squashslice(1).\n";

}  // namespace

std::optional<std::string> terminalReply(const std::vector<std::string>& arguments,
                                         const std::function<bool(const std::string&)>& exists,
                                         const std::string& version) {
    std::vector<std::string> pieces;
    for (const auto& argument : arguments)
        if (!argument.empty()) pieces.push_back(argument);
    if (pieces.size() != 1) return std::nullopt;
    const std::string& only = pieces.front();
    if (only != "--help" && only != "--version") return std::nullopt;
    if (exists(only)) return std::nullopt;
    return only == "--help" ? std::string(kUsage) : "squashslice " + version + "\n";
}

}  // namespace sqs

#pragma once

// The two terminal habits: a lone --help or --version prints text and ends
// the program before any window or display is needed.

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace sqs {

// The text to print for these arguments (argv without the program name;
// empty arguments do not count), or nothing when they are paths to list:
// more than one argument, another word, or a file of that name exists.
std::optional<std::string> terminalReply(const std::vector<std::string>& arguments,
                                         const std::function<bool(const std::string&)>& exists,
                                         const std::string& version);

}  // namespace sqs

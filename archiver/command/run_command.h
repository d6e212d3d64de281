#pragma once

#include <functional>
#include <string>

namespace lzh {

// Runs one archiver command given as text (see Command). Returns 0 exactly
// when the command did what it was asked; `report` gets what happened or
// the reason it failed, one line each.
// `notice`, when given, hears at once about a wait for another update.
int runCommand(const std::string& text, std::string& report,
               const std::function<void(const std::string&)>& notice = {});

}  // namespace lzh

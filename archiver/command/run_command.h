#pragma once

#include "archiver/command/report.h"
#include "archiver/progress.h"

#include <functional>
#include <string>
#include <vector>

namespace lzh {

// The status of a command whose text could not be parsed.
constexpr int kUsageError = 2;

// Runs one archiver command given as text (see Command). Returns 0 exactly
// when the command did what it was asked, kUsageError for a text that is no
// valid command, 1 for any other failure; `report` gets what happened or
// the reason it failed, one line each. An update reports to the progress,
// when given, and stops with the old archive untouched when it is cancelled;
// `notice`, when given, hears at once about a wait for another update.
int runCommand(const std::string& text, std::string& report, Progress* progress = nullptr,
               const std::function<void(const std::string&)>& notice = {});
// The same, with the command text already split into its fields (the
// terminal tool's arguments, which may hold any character).
int runCommand(const std::vector<std::string>& fields, std::string& report, Progress* progress = nullptr,
               const std::function<void(const std::string&)>& notice = {});
// The same, each line to `report` as it comes.
int runCommand(const std::vector<std::string>& fields, Report& report, Progress* progress = nullptr,
               const std::function<void(const std::string&)>& notice = {});

}  // namespace lzh

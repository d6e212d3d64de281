#pragma once

#include "archiver/progress.h"

#include <cstdint>
#include <functional>
#include <string>

class QWidget;

namespace lzh {

class ProgressWindow;

// One piece of archiver work: reports to the progress, returns its status
// and fills the report.
using ArchiverJob = std::function<int(Progress& progress, std::string& report)>;

struct WindowedRunOptions {
    std::function<std::int64_t()> clockMs;   // a monotonic clock; the steady clock when empty
    int showAfterMs = 500;                    // work shorter than this shows no window
    int refreshMs = 100;                      // how often the window is brought up to date
    std::function<void(ProgressWindow&)> onShown;   // told when the window appears
};

// Runs the job on a worker thread while this (the user-interface) thread
// keeps the windows painted; input to the windows is held back until the
// progress window appears, owned by `owner`, once the job has run
// showAfterMs. Its ｷｬﾝｾﾙ asks the job to stop. When the job fails (and was
// not cancelled) the reason is shown in the window, and when it succeeds
// with warnings (files it passed over) the warnings are; the user closes
// the window before this returns the job's status.
int runWithWindow(QWidget* owner, const ArchiverJob& job, std::string& report, const WindowedRunOptions& options = {});

// The window that `Unlha` is given, when it should show one: a Qt
// application with widgets runs in this process, this is its
// user-interface thread, and the handle is not 0. `found` is the widget of
// that handle (nullptr when it is not one of ours).
bool windowWanted(std::int32_t handle, QWidget*& found);

}  // namespace lzh

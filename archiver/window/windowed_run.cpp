#include "archiver/window/windowed_run.h"

#include "archiver/window/progress_text.h"
#include "archiver/window/progress_window.h"

#include <QApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <chrono>
#include <exception>
#include <memory>
#include <thread>

namespace lzh {
namespace {

std::int64_t steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

int runWithWindow(QWidget* owner, const ArchiverJob& job, std::string& report, const WindowedRunOptions& options) {
    const auto now = options.clockMs ? options.clockMs : std::function<std::int64_t()>(steadyMs);
    const std::int64_t start = now();
    Progress progress;
    std::atomic<bool> finished{false};
    int status = 1;
    QEventLoop loop;
    std::thread worker([&] {
        try {
            status = job(progress, report);
        } catch (const std::exception& e) {
            report = std::string("error: ") + e.what();
            status = 1;
        }
        finished.store(true);
        QMetaObject::invokeMethod(&loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
    });

    std::unique_ptr<ProgressWindow> window;
    auto refresh = [&] {
        if (window) window->showProgress(progress.done(), progress.total(), QString::fromStdString(progress.member()),
                                         now() - start);
    };
    QTimer timer;
    timer.setInterval(options.refreshMs);
    QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
        if (!window && now() - start >= options.showAfterMs) loop.quit();   // time to show the window
        refresh();
    });
    timer.start();
    // Until the window is up, the windows repaint but take no input.
    if (!finished.load()) loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (!finished.load()) {
        window = std::make_unique<ProgressWindow>(owner);
        QObject::connect(window.get(), &ProgressWindow::cancelRequested, [&progress] { progress.cancel(); });
        refresh();
        window->show();
        if (options.onShown) options.onShown(*window);
        while (!finished.load()) loop.exec();
    }
    timer.stop();
    worker.join();

    const QStringList warnings = status == 0 ? warningLines(report) : QStringList();
    if ((status != 0 && !progress.cancelled()) || !warnings.isEmpty()) {
        if (!window) window = std::make_unique<ProgressWindow>(owner);
        if (status != 0) {
            window->showFailure(japaneseReason(failureReason(report)));
        } else {
            QStringList shown;
            for (const QString& warning : warnings) shown << japaneseReason(warning);
            window->showWarnings(shown);
        }
        window->show();
        if (options.onShown) options.onShown(*window);
        QEventLoop closed;
        QObject::connect(window.get(), &QDialog::finished, &closed, &QEventLoop::quit);
        if (window->isVisible()) closed.exec();
    }
    return status;
}

bool windowWanted(std::int32_t handle, QWidget*& found) {
    found = nullptr;
    if (handle == 0 || !qobject_cast<QApplication*>(QCoreApplication::instance())) return false;
    if (QThread::currentThread() != QCoreApplication::instance()->thread()) return false;
    found = QWidget::find(static_cast<WId>(static_cast<std::uint32_t>(handle)));
    return true;
}

}  // namespace lzh

#include "widgets/app_icon.h"
#include "widgets/japanese_toolkit.h"
#include "app/display_choice.h"
#include "app/main_form.h"
#include "app/program_jobs.h"
#include "app/terminal_reply.h"
#include "platform/file_ops.h"
#include "platform/qt_platform.h"
#include "platform/x11_display.h"

#include <QApplication>

#include <csignal>
#include <cstdio>
#include <string_view>

int main(int argc, char* argv[]) {
    // --help and --version answer on the terminal, before Qt looks for a display.
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    const auto exists = [](const std::string& path) { return !sqs::files::lookupName(path, true).empty(); };
    if (auto reply = sqs::terminalReply(arguments, exists, SQS_VERSION)) {
        const bool written = std::fputs(reply->c_str(), stdout) >= 0 && std::fflush(stdout) == 0;
        return written ? 0 : 1;
    }

    // An argument that names a file is a path to list, never the toolkit's
    // option of that name (a file called -reverse would mirror the window):
    // the toolkit sees only the others, and takes away those it knows.
    std::vector<bool> isPath(static_cast<std::size_t>(argc), false);
    std::vector<char*> toolkitArgv{argv[0]};
    bool platformOption = false;
    for (int i = 1; i < argc; ++i) {
        if ((isPath[i] = exists(argv[i]))) continue;
        toolkitArgv.push_back(argv[i]);
        platformOption = platformOption || std::string_view(argv[i]) == "-platform";
    }
    const auto variable = [](const char* name) { return qEnvironmentVariable(name).toStdString(); };
    const std::string display = variable("DISPLAY"), waylandDisplay = variable("WAYLAND_DISPLAY");
    const sqs::DisplayChoice choice =
        sqs::chooseDisplay(variable("QT_QPA_PLATFORM"), platformOption, display, waylandDisplay,
                           !waylandDisplay.empty() && sqs::waylandPluginInstalled(),
                           [&] { return sqs::x11DisplayOpens(display); });
    if (!choice.fault.empty()) {
        std::fprintf(stderr, "squashslice: %s\n", choice.fault.c_str());
        return 1;
    }
    if (!choice.platform.empty()) qputenv("QT_QPA_PLATFORM", QByteArray::fromStdString(choice.platform));
    int toolkitArgc = static_cast<int>(toolkitArgv.size());
    toolkitArgv.push_back(nullptr);
    // A piece or an archive grown past the size limit (ulimit -f) fails its
    // write, which the window reports; the signal would end the program.
    std::signal(SIGXFSZ, SIG_IGN);
    QApplication application(toolkitArgc, toolkitArgv.data());
    QStringList paths;
    QStringList left = QCoreApplication::arguments().mid(1);   // what the toolkit did not take, in order
    for (int i = 1; i < argc; ++i) {
        const QString argument = QString::fromLocal8Bit(argv[i]);
        if (isPath[i]) paths << argument;
        else if (!left.isEmpty() && left.front() == argument) paths << left.takeFirst();
    }
    QApplication::setApplicationName(QStringLiteral("Squashslice"));
    // Ties the windows to squashslice.desktop (its icon and name in docks and task switchers).
    QGuiApplication::setDesktopFileName(QStringLiteral("squashslice"));
    QApplication::setWindowIcon(sqs::appIcon());
    const sqs::JapaneseToolkit japanese;

    sqs::QtPlatform platform;
    platform.setCommandLine(paths);
    sqs::ProgramJobs jobs(platform);
    sqs::MainForm form(platform, jobs);
    form.formLoad();
    form.show();
    const int status = QApplication::exec();
    return platform.failed() ? 1 : status;
}

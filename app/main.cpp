#include "widgets/app_icon.h"
#include "app/main_form.h"
#include "app/program_jobs.h"
#include "platform/qt_platform.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Squashslice"));
    QApplication::setWindowIcon(sqs::appIcon());
    // The program speaks Japanese; so do the toolkit's own dialogs.
    QTranslator toolkit;
    if (toolkit.load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&toolkit);

    sqs::QtPlatform platform;
    sqs::ProgramJobs jobs(platform);
    sqs::MainForm form(platform, jobs);
    form.formLoad();
    form.show();
    const int status = QApplication::exec();
    return platform.failed() ? 1 : status;
}

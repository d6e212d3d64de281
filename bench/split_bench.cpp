// Times the piece writer on one file (wall and processor seconds): splits
// it beside itself and removes the pieces again. Modes: "plain" (no dialog, no event processing),
// "dialog" (the real progress dialog and event processing, offscreen) and
// "idle" (the same program with its main window up and nothing else, the
// baseline for peak memory) and "floor" (the same pieces written from the
// file's first piece, read into memory beforehand and so in the processor's
// cache: what the target's page allocation and one copy from the cache
// cost on one core).
// Every mode shows the main window first.
#include "app/main_form.h"
#include "app/program_jobs.h"
#include "platform/qt_platform.h"
#include "split/split_plan.h"
#include "split/splitter.h"

#include <QApplication>
#include <QFile>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <cstdio>

namespace {

// The real platform with the windows and the event processing left out.
class NoDialogPlatform final : public sqs::Platform {
public:
    int messageBox(const QString& text, int, const QString&) override {
        std::fprintf(stderr, "%s\n", qPrintable(text));
        return sqs::AnswerYes;
    }
    void showModal(QDialog&) override {}
    void showModeless(QWidget&) override {}
    void unload(sqs::Window&) override {}
    [[noreturn]] void terminate() override { std::exit(1); }
    void yield() override {}
    QString saveFileName(const QString&, const std::vector<sqs::FileFilter>&, const QString&) override { return {}; }
    bool previousInstance() override { return false; }
    QString programFolder() override { return QStringLiteral("."); }
    QString currentFolder() override { return QStringLiteral("."); }
    QStringList commandLine() override { return {}; }
    double logicalDpi() override { return 96; }
    std::vector<QRect> screens() override { return {}; }
    void* loadLibrarySymbol(const QString&, const char*, QString&) override { return nullptr; }
};

// Writes each piece's length of `bytes` (one piece) to the piece's name.
bool writeFromMemory(const QString& path, const QByteArray& bytes) {
    const std::int64_t length = QFile(path).size();
    for (std::int64_t i = 1, n = sqs::pieceCount(length); i <= n; ++i) {
        const int fd = ::open(sqs::pieceName(path, i).toLocal8Bit().constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0) return false;
        const auto size = static_cast<std::size_t>(sqs::pieceLength(length, i));
        const bool whole = ::write(fd, bytes.constData(), size) == static_cast<ssize_t>(size);
        if (::close(fd) != 0 || !whole) return false;
    }
    return true;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: split_bench plain|dialog|idle|floor FILE\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const QString mode = QString::fromLocal8Bit(argv[1]);
    const QString path = QString::fromLocal8Bit(argv[2]);

    sqs::QtPlatform real;
    sqs::ProgramJobs jobs(real);
    sqs::MainForm form(real, jobs);
    form.show();
    QApplication::processEvents();
    if (mode == QLatin1String("idle")) return 0;

    QByteArray piece;
    if (mode == QLatin1String("floor")) {
        QFile source(path);
        if (!source.open(QIODevice::ReadOnly)) return 1;
        piece = source.read(sqs::PieceSize);
        if (piece.size() != std::min<qint64>(sqs::PieceSize, source.size())) return 1;
    }

    NoDialogPlatform plain;
    sqs::Platform& platform = mode == QLatin1String("dialog") ? static_cast<sqs::Platform&>(real) : plain;
    const auto start = std::chrono::steady_clock::now();
    const std::clock_t startCpu = std::clock();
    if (piece.isEmpty()) sqs::Splitter(platform).WritePieces(path);
    else if (!writeFromMemory(path, piece)) return 1;
    const double cpu = static_cast<double>(std::clock() - startCpu) / CLOCKS_PER_SEC;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%.3f %.3f\n", seconds, cpu);

    const std::int64_t n = sqs::pieceCount(QFile(path).size());
    for (std::int64_t i = 1; i <= n; ++i) QFile::remove(sqs::pieceName(path, i));
    QFile::remove(path + QStringLiteral(".bat"));
    return 0;
}

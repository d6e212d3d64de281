#include "archiver/window/progress_text.h"
#include "archiver/window/progress_window.h"
#include "archiver/window/windowed_run.h"
#include "tests/archiver/archive_fixture.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <dlfcn.h>
#include <thread>

namespace lzh {
namespace {

TEST(ProgressText, SizesTimesAndReasons) {
    const std::uint64_t mb = 1024 * 1024;
    EXPECT_EQ(sizeText(0), "0 KB");
    EXPECT_EQ(sizeText(5000), "4 KB");
    EXPECT_EQ(sizeText(123 * mb + mb / 2), "123.5 MB");
    EXPECT_EQ(sizeText(3 * 1024 * mb), "3.00 GB");

    struct { std::int64_t elapsed; std::uint64_t done, total; const char* text; } times[] = {
        {900, 50, 100, "残り時間を計算しています"},
        {5000, 0, 100, "残り時間を計算しています"},
        {4000, 50, 100, "残り 約4秒"},
        {10000, 10, 100, "残り 約1分30秒"},
        {60000, 1, 100, "残り 約1時間39分"},
        {2000, 100, 100, "残り 約0秒"},
    };
    for (const auto& t : times) EXPECT_EQ(timeLeftText(t.elapsed, t.done, t.total), QString::fromUtf8(t.text));

    EXPECT_EQ(failureReason("error: cannot open /d/a.txt: Permission denied"), "cannot open /d/a.txt: Permission denied");
    EXPECT_EQ(failureReason("2 added\nerror: cancelled\n"), "cancelled");
    EXPECT_EQ(failureReason("no prefix"), "no prefix");

    // The known forms in Japanese, around the names and the system's reason.
    struct { const char* english; const char* japanese; } reasons[] = {
        {"cannot open the archive /a.lzh: Permission denied", "書庫を開けません：/a.lzh: Permission denied"},
        {"cannot open /d/x: Permission denied", "ファイルを開けません：/d/x: Permission denied"},
        {"cannot write the archive /media/fd/a.lzh: No space left on device", "書庫を書き込めません：/media/fd/a.lzh: No space left on device"},
        {"nothing to archive", "書庫に入れるファイルがありません。"},
        {"the archive is damaged, left as it is: not an LZH header",
         "書庫が壊れているか書庫でないため、そのままにしました：LZH の書庫ではありません"},
        {"the archive is damaged, left as it is: header CRC error (member 1, offset 0)",
         "書庫が壊れているか書庫でないため、そのままにしました：ヘッダーの CRC が合いません (member 1, offset 0)"},
        {"/d/a.lzh: its owner or group could not be kept: the archive now belongs to you",
         "/d/a.lzh：元の所有者とグループを保てなかったため、書庫の所有者はあなたになりました"},
        {"/d/pipe: not packed: not a regular file (a device, pipe or socket)",
         "/d/pipe：通常のファイルではありません（デバイス、パイプ、ソケット）"},
        {"/d/a.lzh is a new archive, apart from the pieces of the split archive of that name",
         "/d/a.lzh：同じ名前の分割書庫の断片とは別の、新しい書庫です"},
        {"not an archive, left as it is (an archive lies inside it, after what is no self-extracting program): /d/t.tar",
         "書庫ではないため、そのままにしました（中に書庫がありますが、その前は自己解凍のプログラムではありません）：/d/t.tar"},
        {"the name is not valid UTF-8, so it cannot be stored: /d/\\xE9", "名前が UTF-8 として正しくないため、書庫に入れられません：/d/\\xE9"},
        {"2 more members under the names replaced dropped (the archive held those names more than once)",
         "2 件の同じ名前のメンバーも、置き換えとともに除きました（書庫に同じ名前が複数ありました）"},
        {"/d/a.lzh: not packed: it is the archive being written", "/d/a.lzh：作成中の書庫そのものなので入れません"},
        {"method -lh9- unknown", "method -lh9- unknown"},
    };
    for (const auto& r : reasons) EXPECT_EQ(japaneseReason(QString::fromUtf8(r.english)), QString::fromUtf8(r.japanese));
}

// A job that stands in for long work: it reports some progress, moves the
// fake clock past the delay of the window, and runs until it is cancelled.
class WindowedRunTest : public ::testing::Test {
protected:
    std::atomic<std::int64_t> clock{0};
    int shown = 0;
    QString windowText;
    WindowedRunOptions options() {
        WindowedRunOptions o;
        o.clockMs = [this] { return clock.load(); };
        o.refreshMs = 1;
        return o;
    }
    ArchiverJob untilCancelled() {
        return [this](Progress& progress, std::string& report) {
            progress.setTotal(300 << 20);
            progress.startMember("photos/big.bin");
            progress.add(100 << 20);
            clock = 2000;
            while (!progress.cancelled()) std::this_thread::yield();
            report = "error: cancelled";
            return 1;
        };
    }
};

TEST_F(WindowedRunTest, ShortWorkShowsNoWindow) {
    auto o = options();
    o.onShown = [this](ProgressWindow&) { ++shown; };
    std::string report;
    EXPECT_EQ(runWithWindow(nullptr, [](Progress&, std::string& r) { r = "1 added"; return 0; }, report, o), 0);
    EXPECT_EQ(report, "1 added");
    EXPECT_EQ(shown, 0);
}

TEST_F(WindowedRunTest, LongWorkShowsProgressAndCancelsOnTheKeysOfItsButton) {
    struct { const char* label; Qt::Key key; bool onButton; } table[] = {
        {"esc", Qt::Key_Escape, false},
        {"space_on_button", Qt::Key_Space, true},
        {"enter_on_button", Qt::Key_Return, true},
    };
    for (const auto& row : table) {
        clock = 0;
        shown = 0;
        QWidget owner;
        auto o = options();
        o.onShown = [&](ProgressWindow& window) {
            ++shown;
            windowText = window.text();
            EXPECT_TRUE(window.isVisible());
            EXPECT_EQ(window.parentWidget(), &owner);
            window.button().setFocus();
            QTest::keyClick(row.onButton ? static_cast<QWidget*>(&window.button()) : &window, row.key);
        };
        std::string report;
        EXPECT_NE(runWithWindow(&owner, untilCancelled(), report, o), 0) << row.label;
        EXPECT_EQ(shown, 1) << row.label;   // cancelled: no failure window follows
        EXPECT_TRUE(windowText.contains(QStringLiteral("ファイル：photos/big.bin"))) << windowText.toStdString();
        EXPECT_TRUE(windowText.contains(QStringLiteral("100.0 MB / 300.0 MB\n残り 約4秒"))) << windowText.toStdString();
        EXPECT_TRUE(windowText.contains(QStringLiteral("ｷｬﾝｾﾙ")));
    }
}

TEST_F(WindowedRunTest, EnterAwayFromTheButtonDoesNothing) {
    ProgressWindow window(nullptr);
    int cancels = 0;
    QObject::connect(&window, &ProgressWindow::cancelRequested, [&] { ++cancels; });
    window.show();
    window.setFocus();
    QTest::keyClick(&window, Qt::Key_Return);
    EXPECT_EQ(cancels, 0);
    QTest::keyClick(&window, Qt::Key_Escape);
    EXPECT_EQ(cancels, 1);
}

TEST_F(WindowedRunTest, FailureOrWarningsShownBeforeReturning) {
    struct { const char* label; int status; const char* report; const char* shows; } table[] = {
        {"failure", 1, "error: cannot open /d/unreadable.txt: Permission denied",
         "書庫を作成できませんでした。\nファイルを開けません：/d/unreadable.txt: Permission denied"},
        {"warnings", 0, "warning: /d/fifo: not packed: not a regular file\nwarning: /d/gone: not packed: a link to nothing\n1 added",
         "書庫を作成しました。次の点にご注意ください。\n/d/fifo: not packed: not a regular file\n"
         "/d/gone：リンク先がありません\nOK"},
        {"plain success", 0, "1 added", nullptr},
    };
    for (const auto& row : table) {
        shown = 0;
        auto o = options();
        o.onShown = [this](ProgressWindow& window) {
            ++shown;
            windowText = window.text();
            QTest::keyClick(&window.button(), Qt::Key_Return);   // OK has the focus
        };
        std::string report;
        auto job = [&row](Progress&, std::string& r) { r = row.report; return row.status; };
        EXPECT_EQ(runWithWindow(nullptr, job, report, o), row.status) << row.label;
        EXPECT_EQ(shown, row.shows ? 1 : 0) << row.label;
        if (row.shows) {
            EXPECT_TRUE(windowText.contains(QString::fromUtf8(row.shows))) << windowText.toStdString();
        }
    }
    QStringList many = warningLines(std::string(15, '\n') + "warning: a\nwarning: b\nwarning: c\nwarning: d", 2);
    EXPECT_EQ(many, (QStringList{"a", "b", QStringLiteral("ほか 2 件")}));
}

// Through the library's entry point: a handle of one of our windows in a
// Qt application brings the window; a failure shows its reason there.
class UnlhaWindowTest : public test::ArchiveFixture {};

TEST_F(UnlhaWindowTest, FailureReasonInTheLibrarysWindow) {
    void* library = ::dlopen(UNLHA_LIBRARY_PATH, RTLD_NOW);
    ASSERT_NE(library, nullptr) << ::dlerror();
    using Entry = int (*)(std::int32_t, const char*, char*, std::uint32_t);
    auto unlha = reinterpret_cast<Entry>(::dlsym(library, "Unlha"));
    QWidget owner;
    owner.show();
    QString seen;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w->objectName() != QLatin1String("UnlhaProgress") || !w->isVisible()) continue;
            for (QLabel* label : w->findChildren<QLabel*>()) seen += label->text() + QLatin1Char('\n');
            w->findChild<QPushButton*>()->click();
        }
    });
    watcher.start(1);
    const std::string text = "u " + path("out.lzh") + " " + dir() + "/ missing.txt";
    char output[256];
    EXPECT_NE(unlha(static_cast<std::int32_t>(owner.winId()), text.c_str(), output, sizeof output), 0);
    EXPECT_TRUE(seen.contains(QStringLiteral("ファイルが見つかりません：") + QString::fromStdString(path("missing.txt"))))
        << seen.toStdString();
    ::dlclose(library);
}

}  // namespace
}  // namespace lzh

#include "platform/qt_platform.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QLockFile>
#include <QMessageBox>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <array>
#include <sys/wait.h>
#include <unistd.h>

namespace sqs {
namespace {

// Each test gets its own program folder, runtime folder, temp folder and
// configuration folder, set through the environment the platform reads.
class QtPlatformTest : public ::testing::Test {
protected:
    QTemporaryDir root;
    QString program = root.path() + QStringLiteral("/program");
    QString runtime = root.path() + QStringLiteral("/runtime");
    QString temp = root.path() + QStringLiteral("/tmp");
    QString config = root.path() + QStringLiteral("/config");

    void SetUp() override {
        for (const QString& folder : {program, runtime, temp, config}) ASSERT_TRUE(QDir().mkpath(folder));
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        saved_ = {qgetenv("XDG_RUNTIME_DIR"), qgetenv("TMPDIR"), qgetenv("XDG_CONFIG_HOME")};
        qputenv("XDG_RUNTIME_DIR", runtime.toLocal8Bit());
        qputenv("TMPDIR", temp.toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", config.toLocal8Bit());
    }
    void TearDown() override {
        const char* names[] = {"XDG_RUNTIME_DIR", "TMPDIR", "XDG_CONFIG_HOME"};
        for (int i = 0; i < 3; ++i)
            saved_[i].isNull() ? qunsetenv(names[i]) : qputenv(names[i], saved_[i]);
    }
    static QStringList locks(const QString& folder) {
        return QDir(folder).entryList({QStringLiteral("squashslice-*.lock")}, QDir::Files);
    }

private:
    std::array<QByteArray, 3> saved_;
};

// A message shows its whole text as it is ("<h1>" in a file name is no
// markup), and a text too tall for the screen scrolls, its end in view, so
// that the box and its buttons stay on the screen. A long name wraps inside
// the screen's width; Ctrl+C copies the text as given, and screen readers
// read it so.
TEST_F(QtPlatformTest, MessagesShowTheirWholeTextAsItIsOnTheScreen) {
    QStringList files;
    for (int i = 0; i < 300; ++i) files << QStringLiteral("\"/tmp/file_%1.txt\"").arg(i);
    const QString tall = files.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n\r\nよろしいですか？");
    const QString longName = QStringLiteral("\"/tmp/%1.bin\"を\r\n3個のファイルに分割します。").arg(QString(250, u'n'));
    struct { const char* label; QString text; bool scrolls; } table[] = {
        {"markup", QStringLiteral("\"/tmp/<h1>big<i>name.bin\"を\r\n3個のファイルに分割します。"), false},
        {"tall", tall, true},
        {"long name", longName, false},
    };
    QWidget window;   // the box opens centred over it, at the size it opens with
    window.setGeometry(QRect(QPoint(300, 200), QSize(348, 55)));
    window.show();
    for (const auto& row : table) {
        QtPlatform platform(program);
        QString shown, spoken;
        const QScrollArea* area = nullptr;
        bool onScreen = false, atEnd = false;
        QPoint centre;
        QGuiApplication::clipboard()->clear();
        QTimer::singleShot(50, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            const auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
            ASSERT_NE(label, nullptr);
            shown = label->textFormat() == Qt::PlainText ? label->text().remove(QChar(0x200B))
                                                         : QStringLiteral("(rich text)");
            spoken = label->accessibleName();
            area = box->findChild<QScrollArea*>();
            onScreen = box->screen()->availableGeometry().size().boundedTo(box->frameGeometry().size()) ==
                       box->frameGeometry().size();
            atEnd = area && area->verticalScrollBar()->value() == area->verticalScrollBar()->maximum();
            centre = box->frameGeometry().center();
            QTest::keyClick(box->buttons().first(), Qt::Key_C, Qt::ControlModifier);
            box->buttons().first()->click();
        });
        const QString text = QString(row.text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        EXPECT_EQ(platform.messageBox(row.text, 36, QStringLiteral("作業確認")), AnswerYes) << row.label;
        EXPECT_EQ(shown, text) << row.label;
        EXPECT_EQ(spoken, text) << row.label;
        EXPECT_EQ(area != nullptr, row.scrolls) << row.label;
        EXPECT_EQ(atEnd, row.scrolls) << row.label;
        EXPECT_TRUE(onScreen) << row.label;
        if (!row.scrolls) {   // (a box as tall as the screen is kept on it)
            EXPECT_LE((centre - window.frameGeometry().center()).manhattanLength(), 2) << row.label;
        }
        EXPECT_TRUE(QGuiApplication::clipboard()->text().endsWith(text)) << row.label;
    }
}

// The save dialog asks before it makes a file, and before it hands back one
// that exists, which a pack adds to: the question says so. "No" opens the
// dialog again.
// A modal dialog without a parent opens centred over the window it comes
// from, kept on the screen; one larger than the screen is made to fit it
// where it may be resized.
TEST_F(QtPlatformTest, ModalDialogOpensOverTheWindowItComesFrom) {
    QtPlatform platform(program);
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const struct { QPoint window; QSize size; bool fixed; QPoint at; } table[] = {
        {{300, 200}, {402, 213}, true, {473 - 201, 227 - 106}},   // centred over it (its centre: 473, 227)
        {{0, 0}, {402, 213}, true, {0, 0}},                       // at the corner: on the screen
        {{0, 0}, screen.size() * 2, false, {0, 0}},               // larger than the screen: fitted to it
    };
    for (const auto& row : table) {
        QWidget window;
        window.setGeometry(QRect(row.window, QSize(348, 55)));
        window.show();
        QDialog dialog;
        if (row.fixed) {
            dialog.setFixedSize(row.size);
        } else {
            dialog.resize(row.size);
        }
        QPoint shownAt;
        QRect frame;
        QTimer::singleShot(0, [&] {
            shownAt = dialog.pos();
            frame = dialog.frameGeometry();
            dialog.reject();
        });
        platform.showModal(dialog);
        EXPECT_EQ(shownAt, row.at) << row.window.x() << " " << row.size.width();
        EXPECT_TRUE(screen.contains(frame)) << row.size.width();
        if (row.fixed) {
            EXPECT_EQ(dialog.size(), row.size);
        }
    }
}

TEST_F(QtPlatformTest, SaveDialogAsksBeforeMakingAFileOrAddingToOne) {
    QFile existing(program + QStringLiteral("/old.lzh"));
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.close();
    struct { const char* name; int answer; const char* asked; } table[] = {
        {"old.lzh", AnswerYes, "old.lzh は既に存在します。\nこの書庫に追加しますか？"},
        {"old.lzh", AnswerNo, "old.lzh は既に存在します。\nこの書庫に追加しますか？"},
        {"new.lzh", AnswerYes, "new.lzh は存在しません。\nファイルを作成しますか？"},
    };
    for (const auto& row : table) {
        QtPlatform platform(program);
        const QString chosen = program + QLatin1Char('/') + QString::fromUtf8(row.name);
        QString asked;
        int step = 0;
        QTimer driver;
        QObject::connect(&driver, &QTimer::timeout, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
                if (step == 0) {
                    dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(QString::fromUtf8(row.name));
                    static_cast<QDialog*>(dialog)->accept();   // the file dialog's own, virtually
                } else {
                    dialog->reject();   // opened again after "No"
                }
                ++step;
            } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                asked = box->text().remove(QChar(0x200B));
                const auto role = row.answer == AnswerYes ? QMessageBox::YesRole : QMessageBox::NoRole;
                for (QAbstractButton* button : box->buttons())
                    if (box->buttonRole(button) == role) button->click();
            }
        });
        driver.start(20);
        const QString result =
            platform.saveFileName(QStringLiteral("x.lzh"), {{QStringLiteral("書庫ファイル"), QStringLiteral("*.lzh")}}, program);
        EXPECT_EQ(result.toStdString(), (row.answer == AnswerYes ? chosen : QString()).toStdString());
        EXPECT_TRUE(asked.startsWith(QString::fromUtf8(row.asked))) << row.name << ": " << asked.toStdString();
    }
}

// Without a runtime folder, the lock goes to a folder of the user's own in
// the temporary folder; where another has made that one (or left it open
// to others), to the user's cache.
TEST_F(QtPlatformTest, LockLivesInTheRuntimeFolderElseInAPrivateOne) {
    {
        QtPlatform platform(program);
        EXPECT_FALSE(platform.previousInstance());
        EXPECT_EQ(locks(runtime).size(), 1) << runtime.toStdString();
    }
    qunsetenv("XDG_RUNTIME_DIR");
    const QByteArray savedCache = qgetenv("XDG_CACHE_HOME");
    const QString cache = root.path() + QStringLiteral("/cache");
    qputenv("XDG_CACHE_HOME", cache.toLocal8Bit());
    const QString own = temp + QStringLiteral("/squashslice-") + QString::number(::getuid());
    {
        QtPlatform platform(program);
        EXPECT_FALSE(platform.previousInstance());
        EXPECT_EQ(locks(own).size(), 1) << own.toStdString();
        EXPECT_EQ(QFileInfo(own).permissions() & ~(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                    QFile::ReadUser | QFile::WriteUser | QFile::ExeUser),
                  QFileDevice::Permissions());
    }
    ASSERT_TRUE(QFile::setPermissions(own, QFile::Permissions(0x7777)));   // open to everyone
    {
        QtPlatform platform(program);
        EXPECT_FALSE(platform.previousInstance());
        EXPECT_EQ(locks(cache + QStringLiteral("/squashslice")).size(), 1);
    }
    savedCache.isNull() ? qunsetenv("XDG_CACHE_HOME") : qputenv("XDG_CACHE_HOME", savedCache);
}

TEST_F(QtPlatformTest, ASecondCopyFindsTheFirst) {
    QtPlatform first(program);
    QtPlatform second(program);
    EXPECT_FALSE(first.previousInstance());
    EXPECT_TRUE(second.previousInstance());
}

TEST_F(QtPlatformTest, LockLeftByACrashIsTakenOver) {
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        QtPlatform crashed(program);
        ::_exit(crashed.previousInstance() ? 3 : 0);   // ends without releasing the lock
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_EQ(locks(runtime).size(), 1);
    QtPlatform platform(program);
    EXPECT_FALSE(platform.previousInstance());
}

TEST_F(QtPlatformTest, TerminateRemovesTheLock) {
    GTEST_FLAG_SET(death_test_style, "fast");
    EXPECT_EXIT(
        {
            QtPlatform platform(program);
            if (platform.previousInstance()) ::_exit(5);
            if (locks(runtime).size() != 1) ::_exit(6);
            platform.terminate();
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_TRUE(locks(runtime).isEmpty()) << locks(runtime).join(QLatin1Char(' ')).toStdString();
}

TEST_F(QtPlatformTest, InstalledCopyKeepsItsFilesPerUserEvenInAWritableFolder) {
    const QString perUser = config + QStringLiteral("/squashslice");
    EXPECT_EQ(QtPlatform(program).programFolder(), program);
    EXPECT_FALSE(QtPlatform(program).programFolderIsPerUser());
    QFile marker(program + QLatin1Char('/') + QLatin1String(QtPlatform::kInstalledMarker));
    ASSERT_TRUE(marker.open(QIODevice::WriteOnly));
    marker.close();
    EXPECT_EQ(QtPlatform(program).programFolder(), perUser);
    EXPECT_TRUE(QtPlatform(program).programFolderIsPerUser());   // the save dialog opens elsewhere
    EXPECT_TRUE(QFileInfo(perUser).isDir());
}

TEST_F(QtPlatformTest, CopyInAReadOnlyFolderKeepsItsFilesPerUser) {
    if (::geteuid() == 0) GTEST_SKIP() << "root may write into any folder";
    QFile::setPermissions(program, QFile::ReadOwner | QFile::ExeOwner);
    EXPECT_EQ(QtPlatform(program).programFolder(), config + QStringLiteral("/squashslice"));
    QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

}  // namespace
}  // namespace sqs

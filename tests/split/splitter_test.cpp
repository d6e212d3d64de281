#include "split/splitter.h"

#include "core/app_state.h"
#include "split/progress_dialog.h"
#include "split/split_plan.h"
#include "tests/support/fake_platform.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QLabel>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <utility>

#include <functional>
#include <random>

namespace sqs {
namespace {

using test::FakePlatform;
using test::Terminated;

QByteArray randomBytes(std::int64_t size, unsigned seed = 1) {
    QByteArray bytes(size, Qt::Uninitialized);
    std::mt19937 random(seed);
    for (char& c : bytes) c = static_cast<char>(random());
    return bytes;
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

ProgressDialog* runningDialog() {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* dialog = qobject_cast<ProgressDialog*>(widget)) return dialog;
    return nullptr;
}

class SplitterTest : public ::testing::Test {
protected:
    FakePlatform platform;
    Splitter splitter{platform};
    AppState state;

    SplitterTest() { state.optionFlags = {"OFF", "OFF", "OFF", "OFF", "OFF"}; }

    // What a cancelled split of `path` leaves: the first piece alone, and the message.
    void checkCancelled(const QString& path);
    QString makeSource(std::int64_t size, const QString& name = QStringLiteral("data.lzh")) {
        source = randomBytes(size);
        const QString path = platform.folder() + QLatin1Char('/') + name;
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(source);
        return path;
    }
    QStringList filesBeside() const {
        return QDir(platform.folder()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }
    QByteArray source;
};

TEST_F(SplitterTest, ThreeMillionBytesMakeThreePiecesAndTheScript) {
    const QString path = makeSource(3000000);
    QStringList seen;
    platform.onYield = [&](int) {
        ProgressDialog* dialog = runningDialog();
        ASSERT_NE(dialog, nullptr);
        seen << dialog->label(4).text() + " | " + dialog->label(5).text() + " | " + dialog->label(6).text();
    };
    platform.answers = {AnswerYes};
    splitter.SplitFile(path, state);

    EXPECT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].style, 36);
    EXPECT_EQ(platform.messages[0].title, "作業確認");
    EXPECT_EQ(seen, (QStringList{path + " | " + path + ".001 | 1 / 3", path + " | " + path + ".002 | 2 / 3",
                                 path + " | " + path + ".003 | 3 / 3"}));
    EXPECT_EQ(filesBeside(), (QStringList{"data.lzh", "data.lzh.001", "data.lzh.002", "data.lzh.003", "data.lzh.bat"}));
    EXPECT_EQ(readFile(path + ".001"), source.mid(0, PieceSize));
    EXPECT_EQ(readFile(path + ".002"), source.mid(PieceSize, PieceSize));
    EXPECT_EQ(readFile(path + ".003").size(), 84672);
    EXPECT_EQ(readFile(path + ".001") + readFile(path + ".002") + readFile(path + ".003"), source);
    EXPECT_EQ(readFile(path), source);   // the source is never changed
    EXPECT_EQ(readFile(path + ".bat").size(), 169);
    EXPECT_EQ(platform.events, (QStringList{"modeless:Dialog", "unload:Dialog"}));
    EXPECT_EQ(runningDialog(), nullptr);
}

TEST_F(SplitterTest, ExactMultipleEndsWithFullPiece) {
    const QString path = makeSource(2 * PieceSize);
    splitter.WritePieces(path);
    EXPECT_EQ(readFile(path + ".002").size(), PieceSize);
    EXPECT_FALSE(QFile::exists(path + ".003"));
}

TEST_F(SplitterTest, ExistingLongerPieceAndScriptAreReplacedWhole) {
    const QString path = makeSource(PieceSize + 10);
    QFile old(path + ".002");
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write(QByteArray(5000, 'x'));
    old.close();
    QFile oldScript(path + ".bat");
    ASSERT_TRUE(oldScript.open(QIODevice::WriteOnly));
    oldScript.write(QByteArray(5000, 'y'));
    oldScript.close();
    splitter.WritePieces(path);
    EXPECT_EQ(readFile(path + ".002"), source.mid(PieceSize));
    EXPECT_EQ(readFile(path + ".bat").size(), 118);
}

struct InterruptedCase {
    const char* label;
    const char* failing;   // the name whose write fails
    int from;              // from its n-th write on
};

void PrintTo(const InterruptedCase& c, std::ostream* out) { *out << c.label; }

class InterruptedSplitTest : public SplitterTest, public ::testing::WithParamInterface<InterruptedCase> {};

// A re-split that stops part way leaves no script beside the mix of new and
// old pieces, and no piece half-written.
TEST_P(InterruptedSplitTest, LeavesNoScriptAndNoHalfPiece) {
    const InterruptedCase& c = GetParam();
    const QString path = makeSource(2 * PieceSize + 10);
    for (const char* name : {".001", ".002", ".003", ".bat"}) {
        QFile old(path + name);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(700, 'o'));
    }
    platform.failWritesMatching = QString::fromLatin1(c.failing);
    platform.failWritesFrom = c.from;
    EXPECT_THROW(splitter.WritePieces(path), Terminated);
    EXPECT_FALSE(QFile::exists(path + ".bat"));
    for (int i = 1; i <= 3; ++i) {
        const QByteArray piece = readFile(path + QStringLiteral(".%1").arg(i, 3, 10, QLatin1Char('0')));
        EXPECT_TRUE(piece == QByteArray(700, 'o') || piece == source.mid((i - 1) * PieceSize, PieceSize)) << i;
    }
    EXPECT_EQ(filesBeside().filter(QRegularExpression("^\\.")), QStringList());
}

INSTANTIATE_TEST_SUITE_P(Table, InterruptedSplitTest,
                         ::testing::Values(InterruptedCase{"first_piece", ".001", 1},
                                           InterruptedCase{"second_piece", ".00", 2},
                                           InterruptedCase{"last_piece", ".00", 3}),
                         [](const auto& info) { return std::string(info.param.label); });

struct OnePieceCase {
    const char* label;
    std::int64_t size;
};

class OnePieceTest : public SplitterTest, public ::testing::WithParamInterface<OnePieceCase> {};

TEST_P(OnePieceTest, NeedsNoSplitAndEndsTheProgram) {
    const QString path = makeSource(GetParam().size);
    EXPECT_THROW(splitter.SplitFile(path, state), Terminated);
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text, "分割する必要がありません。");
    EXPECT_EQ(platform.messages[0].style, 64);
    EXPECT_EQ(platform.messages[0].title, "作業確認");
    EXPECT_EQ(filesBeside(), QStringList{"data.lzh"});
    EXPECT_EQ(platform.settingsSaves(), 0);
}

INSTANTIATE_TEST_SUITE_P(Table, OnePieceTest,
                         ::testing::Values(OnePieceCase{"empty", 0}, OnePieceCase{"one_byte", 1},
                                           OnePieceCase{"exactly_one_piece", PieceSize}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(SplitterTest, NoReadableFileGetsAnErrorAndNothingIsWritten) {
    QDir(platform.folder()).mkdir("folder");
    for (const QString& name : {QStringLiteral("folder"), QStringLiteral("missing.bin"), QString(), QStringLiteral("bad\uFFFD.bin")}) {
        platform.messages.clear();
        const QString path = name.isEmpty() ? QString() : platform.folder() + QLatin1Char('/') + name;
        splitter.SplitFile(path, state);
        ASSERT_EQ(platform.messages.size(), 1u) << name.toStdString();
        EXPECT_TRUE(platform.messages[0].text.startsWith("次のファイルは分割できません。\r\n\"" + path + "\"\r\n"));
        EXPECT_EQ(platform.messages[0].style, 16);
        EXPECT_EQ(platform.messages[0].title, "SQS");
        EXPECT_FALSE(platform.terminated);
        // A name that was not UTF-8 on disk says so, not "no such file".
        EXPECT_EQ(platform.messages[0].text.contains("UTF-8"), name.contains(QChar::ReplacementCharacter));
    }
    EXPECT_TRUE(filesBeside().isEmpty());
}

// The rejoin script quotes each name: one that could close the quotes or
// start a new line would run commands of its own when the script is run.
// Such a file is refused before anything is written, as are names Windows
// cannot hold (a device's among them); other marks pass.
TEST_F(SplitterTest, NamesThatWouldRunCommandsInTheScriptAreRefused) {
    // shown: the name in the message, control characters as \xHH ("": as it is).
    const struct { const char* name; bool refused; const char* shown = ""; bool device = false; } table[] = {
        {"x\" & echo PWNED>p.txt & \".bin", true}, {"line\nbreak.bin", true, "line\\x0Abreak.bin"},
        {"cr\r.bin", true, "cr\\x0D.bin"}, {"tab\t.bin", true, "tab\\x09.bin"}, {"del\x7F.bin", true, "del\\x7F.bin"},
        {"..\\..\\up.bin", true}, {"a:b.bin", true}, {"st*r?.bin", true}, {"a&b^c!d%e.bin", false},
        {"aux.lzh", true, "", true}, {"Com1.txt", true, "", true}, {"nul", true, "", true},
        {"console.txt", false}, {"com10.txt", false},
    };
    for (const auto& row : table) {
        QDir(platform.folder()).removeRecursively();
        QDir().mkpath(platform.folder());
        platform.messages.clear();
        const QString path = makeSource(PieceSize + 1, QString::fromUtf8(row.name));
        splitter.SplitFile(path, state);
        if (!row.refused) {
            EXPECT_EQ(filesBeside().size(), 4) << row.name;   // the source, two pieces, the script
            continue;
        }
        ASSERT_EQ(platform.messages.size(), 1u) << row.name;
        const QString shown = *row.shown ? QFileInfo(path).path() + "/" + QString::fromUtf8(row.shown) : path;
        const QString why = row.device ? "名前が Windows の装置名（CON、PRN、AUX、NUL、COM1～COM9、LPT1～LPT9）のファイルは、"
                                       : "名前に「\"」「\\」「:」「*」「?」「<」「>」「|」や改行などの制御文字を含むファイルは、";
        EXPECT_EQ(platform.messages[0].text,
                  "次のファイルは分割できません。\r\n\"" + shown + "\"\r\n" + why + "つなぎ直すバッチファイルに書けません。");
        EXPECT_EQ(filesBeside(), QStringList{QString::fromUtf8(row.name)}) << row.name;
    }
}

struct QuestionCase {
    std::int16_t chainMode;
    const char* option4;
    const char* option5;
    bool asked;
};

class QuestionTest : public SplitterTest, public ::testing::WithParamInterface<QuestionCase> {};

TEST_P(QuestionTest, AskedExactlyWhenItsOptionIsOff) {
    const QuestionCase& c = GetParam();
    const QString path = makeSource(PieceSize + 1);
    state.chainMode = c.chainMode;
    state.optionFlags[3] = QString::fromUtf8(c.option4);
    state.optionFlags[4] = QString::fromUtf8(c.option5);
    platform.answers = {AnswerNo};
    splitter.SplitFile(path, state);
    if (c.asked) {
        ASSERT_EQ(platform.messages.size(), 1u);
        EXPECT_EQ(platform.messages[0].text, splitQuestion(path, 2));
        EXPECT_EQ(filesBeside(), QStringList{"data.lzh"});   // "No" leaves the disk untouched
    } else {
        EXPECT_TRUE(platform.messages.empty());
        EXPECT_EQ(filesBeside().size(), 4);
    }
}

std::string questionName(const ::testing::TestParamInfo<QuestionCase>& info) {
    return std::string(info.param.chainMode ? "chain" : "split") + "_" + info.param.option4 + "_" + info.param.option5;
}

INSTANTIATE_TEST_SUITE_P(
    Matrix, QuestionTest,
    ::testing::Values(QuestionCase{0, "OFF", "OFF", true}, QuestionCase{0, "ON", "OFF", true},
                      QuestionCase{0, "OFF", "ON", false}, QuestionCase{0, "OFF", "off", false},
                      QuestionCase{0, "off", "YES", false}, QuestionCase{-1, "OFF", "OFF", true},
                      QuestionCase{-1, "OFF", "ON", true}, QuestionCase{-1, "ON", "OFF", false},
                      QuestionCase{-1, "off", "OFF", false}),
    questionName);

// By its button, or by a close box the window manager shows anyway.
TEST_F(SplitterTest, CancelAfterFirstPieceLeavesExactlyThatPiece) {
    const QString path = makeSource(3000000);
    for (bool closeBox : {true, false}) {
        SCOPED_TRACE(closeBox ? "close box" : "button");
        platform.messages.clear();
        QFile::remove(path + ".001");
        bool cancelled = false;   // after the first piece of this run
        platform.onYield = [&](int) {
            if (std::exchange(cancelled, true)) return;
            if (closeBox) runningDialog()->close();
            else runningDialog()->cancelButtonClick();
        };
        EXPECT_THROW(splitter.WritePieces(path), Terminated);
        checkCancelled(path);
    }
}

void SplitterTest::checkCancelled(const QString& path) {
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text, "分割を中断しました。");
    EXPECT_EQ(platform.messages[0].style, 48);
    EXPECT_EQ(platform.messages[0].title, "分割中断");
    EXPECT_EQ(filesBeside(), (QStringList{"data.lzh", "data.lzh.001"}));
    EXPECT_EQ(readFile(path + ".001"), source.left(PieceSize));
    EXPECT_EQ(readFile(path), source);
    EXPECT_EQ(platform.settingsSaves(), 0);
}

TEST_F(SplitterTest, WriteFailureReportsAndKeepsOnlyCompletePieces) {
    const QString path = makeSource(3000000);
    platform.failWritesMatching = QStringLiteral(".002");
    EXPECT_THROW(splitter.WritePieces(path), Terminated);
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].style, 16);
    EXPECT_EQ(platform.messages[0].title, "SQS");
    EXPECT_TRUE(platform.messages[0].text.contains(path + ".002"));
    EXPECT_TRUE(platform.messages[0].text.contains("No space left on device"));
    EXPECT_EQ(filesBeside(), (QStringList{"data.lzh", "data.lzh.001"}));
    EXPECT_EQ(platform.settingsSaves(), 0);
}

// A piece name that is a link to the file being cut, or to where another
// piece's name leads, is refused before any piece is written: the file
// stays whole, and no piece is written over another.
TEST_F(SplitterTest, PieceNamesLinkedToTheFileOrToEachOtherAreRefused) {
    const struct { const char* label; const char* link; const char* target; const char* refused; } table[] = {
        {"to the file", "data.lzh.002", "data.lzh", "data.lzh.002"},
        {"to another piece", "data.lzh.003", "data.lzh.001", "data.lzh.003"},
    };
    for (const auto& row : table) {
        QDir(platform.folder()).removeRecursively();
        QDir().mkpath(platform.folder());
        platform.messages.clear();
        const QString path = makeSource(3000000);
        QFile old(platform.folder() + "/data.lzh.001");
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old piece");
        old.close();
        ASSERT_TRUE(QFile::link(row.target, platform.folder() + "/" + row.link)) << row.label;
        EXPECT_THROW(splitter.WritePieces(path), Terminated) << row.label;
        ASSERT_EQ(platform.messages.size(), 1u) << row.label;
        EXPECT_TRUE(platform.messages[0].text.startsWith("ファイルの書き込みに失敗しました。\r\n" + platform.folder() + "/" +
                                                         row.refused + "\r\n") &&
                    platform.messages[0].text.endsWith("と同じファイルを指しているため、分割したファイルで置き換えてしまいます"))
            << row.label << ": " << platform.messages[0].text.toStdString();
        EXPECT_EQ(readFile(path), source) << row.label;
        EXPECT_EQ(readFile(platform.folder() + "/data.lzh.001"), "old piece") << row.label;
    }
}

// A thousand pieces of a name of 251 bytes: the last one's name (".1000")
// is too long, which is said before any piece is written.
TEST_F(SplitterTest, NameTooLongForTheLastPieceIsRefusedFirst) {
    const QString path = platform.folder() + QLatin1Char('/') + QString(247, QLatin1Char('c')) + QStringLiteral(".bin");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_TRUE(file.resize(999 * PieceSize + 1));   // sparse: nothing is read before the refusal
    file.close();
    EXPECT_THROW(splitter.WritePieces(path), Terminated);
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_TRUE(platform.messages[0].text.contains(path + ".1000\r\nファイル名が長すぎます"))
        << platform.messages[0].text.toStdString();
    EXPECT_EQ(filesBeside().size(), 1);
}

// A piece name that is a dangling link to the script's name: the piece
// lands there, and the script is not written over it.
TEST_F(SplitterTest, PieceLinkedToTheScriptsNameKeepsThePiece) {
    const QString path = makeSource(3000000);
    ASSERT_TRUE(QFile::link("data.lzh.bat", path + ".001"));
    EXPECT_THROW(splitter.WritePieces(path), Terminated);
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_TRUE(platform.messages[0].text.startsWith("ファイルの書き込みに失敗しました。\r\n" + path + ".bat\r\nこの名前には（リンクを通して）分割したファイルが書かれた"))
        << platform.messages[0].text.toStdString();
    EXPECT_EQ(readFile(path + ".001"), source.left(PieceSize));
}

TEST_F(SplitterTest, UnwritableFolderReportsTheFirstPiece) {
    const QString path = makeSource(3000000);
    // A piece name that is taken by a folder cannot be written, even as root.
    QDir(platform.folder()).mkdir("data.lzh.001");
    EXPECT_THROW(splitter.WritePieces(path), Terminated);
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_TRUE(platform.messages[0].text.startsWith("ファイルの書き込みに失敗しました。\r\n" + path + ".001\r\n"));
    EXPECT_EQ(filesBeside(), QStringList{"data.lzh"});
}

// A source that shrinks, or is written to at the same length, while it is
// cut: a read failure, and no script to join pieces of two versions.
TEST_F(SplitterTest, SourceChangedMidRunIsAReadFailure) {
    const struct { const char* label; std::function<void(const QString&)> change; bool secondPiece; } table[] = {
        {"shrunk", [](const QString& path) { QFile::resize(path, 100); }, false},
        {"written_in_place",
         [](const QString& path) {
             QFile file(path);
             ASSERT_TRUE(file.open(QIODevice::ReadWrite));
             file.seek(2000000);
             file.write("!");
             file.setFileTime(QDateTime::fromSecsSinceEpoch(1234567890), QFileDevice::FileModificationTime);
         },
         true},
    };
    for (const auto& row : table) {
        const QString path = makeSource(3000000, QString::fromLatin1(row.label));
        platform.messages.clear();
        bool changed = false;   // after the first piece
        platform.onYield = [&](int) {
            if (!changed) row.change(path);
            changed = true;
        };
        EXPECT_THROW(splitter.WritePieces(path), Terminated);
        ASSERT_FALSE(platform.messages.empty()) << row.label;
        EXPECT_TRUE(platform.messages.at(0).text.startsWith("ファイルの読み込みに失敗しました。\r\n" + path + "\r\n"))
            << platform.messages.at(0).text.toStdString();
        EXPECT_EQ(QFile::exists(path + ".002"), row.secondPiece) << row.label;
        EXPECT_FALSE(QFile::exists(path + ".bat")) << row.label;
    }
}

// The value labels are sized to their text, as QLabel would size them; the
// paths no wider than the dialog's right margin (8 pixels at 96 dpi), with
// the whole text kept.
TEST_F(SplitterTest, ProgressLabelsAreSizedToTheirText) {
    ProgressDialog dialog(platform);
    const QString texts[] = {
        "1 / 3", "737 / 737", "/home/user/data.lzh.001", "C:/データ/分割ファイル.lzh.002", "",
        "a&b\tc.lzh.001", QString(300, QLatin1Char('W')) + ".001", "<h1>big<i>name.lzh.001",
    };
    for (const QString& text : texts) {
        dialog.setInputPath(text);
        dialog.setPieceName(text);
        dialog.setProgress(text);
        for (int index : {4, 5, 6}) {
            const QLabel& label = dialog.label(index);
            const int room = index == 6 ? 100000 : dialog.width() - label.x() - 8;
            EXPECT_EQ(label.size(), QSize(std::min(label.sizeHint().width(), room), label.sizeHint().height()))
                << text.toStdString() << " " << index;
            EXPECT_EQ(label.text(), text);
        }
    }
}

}  // namespace
}  // namespace sqs

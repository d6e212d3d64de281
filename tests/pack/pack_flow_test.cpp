// The pack commands through the real main window, with a stand-in archiver.
#include "app/main_form.h"
#include "app/program_jobs.h"
#include "tests/support/fake_platform.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

namespace sqs {
namespace {

using test::FakePlatform;
using test::Terminated;

// The stand-in archiver: records each call and the list file at that moment.
struct ArchiverCalls {
    std::vector<std::string> commands;
    std::vector<QByteArray> lists;
    std::vector<std::int32_t> windows;
    QString listPath;
    int status = 0;
} calls;

constexpr std::int32_t kMainWindowHandle = 4242;

int fakeUnlha(std::int32_t window, const char* command, char* output, std::uint32_t size) {
    calls.windows.push_back(window);
    EXPECT_EQ(size, 1024u);
    calls.commands.push_back(command);
    QFile list(calls.listPath);
    calls.lists.push_back(list.open(QIODevice::ReadOnly) ? list.readAll() : QByteArray("(missing)"));
    std::strncpy(output, "report", size);
    return calls.status;
}

class PackFlowTest : public ::testing::Test {
protected:
    FakePlatform platform;
    ProgramJobs jobs{platform};
    std::unique_ptr<MainForm> form;
    QString a, b;

    void SetUp() override {
        calls = ArchiverCalls{};
        calls.listPath = platform.folder() + "/responce.txt";
        platform.symbols["libunlha32.so:Unlha"] = reinterpret_cast<void*>(&fakeUnlha);
        platform.handle = kMainWindowHandle;
        a = make("photo 1.jpg");
        b = make("notes.txt");
        platform.arguments = {a, b};
        platform.saveAnswer = platform.folder() + "/out.lzh";
        form = std::make_unique<MainForm>(platform, jobs);
        form->formLoad();
    }
    QString make(const QString& name) {
        QFile f(platform.folder() + "/" + name);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("data");
        return f.fileName();
    }
    bool listExists() { return QFile::exists(calls.listPath); }
};

TEST_F(PackFlowTest, PackRunsTheArchiverOnceWithTheListAndCleansUp) {
    form->cmdPackClick();
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].style, 68);
    EXPECT_EQ(platform.messages[0].title, "作業確認");
    EXPECT_EQ(platform.lastProposedName, "photo 1.lzh");
    EXPECT_EQ(platform.lastInitialFolder, platform.folder());
    ASSERT_EQ(platform.lastFilters.size(), 2u);
    EXPECT_EQ(platform.lastFilters[0].description, "書庫ファイル(*.lzh)");
    EXPECT_EQ(platform.lastFilters[0].pattern, "*.lzh");
    EXPECT_EQ(platform.lastFilters[1].description, "すべてのファイル(*.*)");
    EXPECT_EQ(platform.lastFilters[1].pattern, "*.*");
    ASSERT_EQ(calls.commands.size(), 1u);
    const std::string folder = platform.folder().toStdString();
    EXPECT_EQ(calls.commands[0], "u -a1 -r2 -x1 -l1 -jp1 -o2 " + folder + "/out.lzh " + folder + "/ @" + folder +
                                     "/responce.txt ");
    EXPECT_EQ(calls.lists[0], "\"photo 1.jpg\"\r\nnotes.txt\r\n\r\n");
    EXPECT_EQ(calls.windows[0], kMainWindowHandle);   // the archiver's windows are owned by the main window
    EXPECT_FALSE(listExists());
    EXPECT_FALSE(platform.terminated);
    form->cmdPackClick();
    EXPECT_EQ(platform.libraryLoads, 1);   // loaded at the first pack, kept
}

TEST_F(PackFlowTest, SaveDialogOpensInTheProgramFolderOnlyWhenItIsTheProgramsOwn) {
    // An installed copy keeps its files in the per-user folder: the dialog
    // opens beside the first listed entry instead.
    QDir().mkpath(platform.folder() + "/data/sub");
    const QString nested = platform.folder() + "/data/sub/report.txt";
    QFile(nested).open(QIODevice::WriteOnly);
    struct { bool perUser; QStringList arguments; QString folder; } table[] = {
        {false, {a, b}, platform.folder()},
        {true, {nested, a}, platform.folder() + "/data/sub"},
        {true, {platform.folder() + "/data", a}, platform.folder()},
    };
    for (const auto& row : table) {
        platform.perUserProgramFolder = row.perUser;
        platform.programFolderOverride = platform.folder() + "/settings";
        QDir().mkpath(platform.programFolderOverride);
        platform.arguments = row.arguments;
        form = std::make_unique<MainForm>(platform, jobs);
        form->formLoad();
        form->cmdPackClick();
        EXPECT_EQ(platform.lastInitialFolder, row.perUser ? row.folder : platform.programFolderOverride);
    }
}

TEST_F(PackFlowTest, NoToTheQuestionEndsWithNothingWritten) {
    platform.answers = {AnswerNo};
    EXPECT_THROW(form->cmdPackClick(), Terminated);
    EXPECT_TRUE(calls.commands.empty());
    EXPECT_FALSE(platform.events.contains("save-dialog"));
    EXPECT_EQ(platform.settingsSaves(), 0);
}

TEST_F(PackFlowTest, EmptySaveAnswerEndsWithNothingWritten) {
    platform.saveAnswer.clear();
    EXPECT_THROW(form->cmdPackClick(), Terminated);
    EXPECT_TRUE(calls.commands.empty());
    EXPECT_FALSE(listExists());
    EXPECT_EQ(platform.settingsSaves(), 0);
}

TEST_F(PackFlowTest, FailureIsShownWhileTheListStillExistsThenItIsRemoved) {
    calls.status = 3;
    bool listDuringMessage = false;
    platform.onMessage = [&](const test::RecordedMessage& m) {
        if (m.text == "圧縮失敗") listDuringMessage = listExists();
    };
    form->cmdPackClick();
    ASSERT_EQ(platform.messages.size(), 2u);
    EXPECT_EQ(platform.messages[1].text, "圧縮失敗");
    EXPECT_EQ(platform.messages[1].style, 64);
    EXPECT_EQ(platform.messages[1].title, "SQS");
    EXPECT_TRUE(listDuringMessage);
    EXPECT_FALSE(listExists());
}

TEST_F(PackFlowTest, MissingLibraryEndsWithItsNameAndReason) {
    platform.symbols.clear();
    EXPECT_THROW(form->cmdPackClick(), Terminated);
    EXPECT_TRUE(platform.messages.back().text.contains("libunlha32.so"));
    EXPECT_TRUE(platform.messages.back().text.contains("No such file"));
    EXPECT_EQ(platform.settingsSaves(), 0);
}

TEST_F(PackFlowTest, AfterJobRulesOfBothPackCommands) {
    form->state().optionFlags = {"OFF", "ON", "OFF", "OFF", "OFF"};
    EXPECT_THROW(form->cmdPackClick(), Terminated);
    EXPECT_EQ(platform.settingsSaves(), 1);
}

TEST_F(PackFlowTest, PackThenSplitHandsTheArchiveToTheSplitWithChainQuestion) {
    // The stand-in writes nothing, so the split meets a missing archive: a message, no crash.
    form->state().optionFlags = {"OFF", "OFF", "ON", "OFF", "OFF"};
    EXPECT_THROW(form->cmdSquashsliceClick(), Terminated);
    ASSERT_GE(platform.messages.size(), 2u);
    EXPECT_TRUE(platform.messages[1].text.startsWith("次のファイルは分割できません。\r\n\"" + platform.folder() + "/out.lzh\""));
    EXPECT_EQ(form->state().chainMode, 0);
    EXPECT_EQ(platform.settingsSaves(), 1);
}

struct UnlistableCase {
    const char* label;
    const char* name;      // the second entry's name, made on disk unless vanished
    bool vanished;
    const char* reason;    // in the error message; empty: no message before the failure
};

void PrintTo(const UnlistableCase& c, std::ostream* out) { *out << c.label; }

class UnlistableTest : public PackFlowTest, public ::testing::WithParamInterface<UnlistableCase> {};

// An entry the list file cannot name fails the pack: nothing is packed, the
// failure is shown, and the run ends with a failure status.
TEST_P(UnlistableTest, FailsThePackWithoutCallingTheArchiver) {
    const UnlistableCase& c = GetParam();
    const QString entry = platform.folder() + "/" + QString::fromUtf8(c.name);
    if (!c.vanished) make(QString::fromUtf8(c.name));
    platform.arguments = {a, entry};
    form = std::make_unique<MainForm>(platform, jobs);
    form->formLoad();
    form->cmdPackClick();
    EXPECT_TRUE(calls.commands.empty());
    ASSERT_FALSE(platform.messages.empty());
    EXPECT_EQ(platform.messages.back().text, "圧縮失敗");
    if (*c.reason) {
        ASSERT_EQ(platform.messages.size(), 3u);
        EXPECT_TRUE(platform.messages[1].text.startsWith("次のファイルは圧縮できません。\r\n\"" + entry + "\"")) << platform.messages[1].text.toStdString();
        EXPECT_TRUE(platform.messages[1].text.contains(QString::fromUtf8(c.reason)));
        EXPECT_EQ(platform.messages[1].style, 16);
    } else {
        EXPECT_EQ(platform.messages.size(), 2u);
    }
    EXPECT_FALSE(listExists());
    EXPECT_TRUE(platform.failed());
}

INSTANTIATE_TEST_SUITE_P(
    Table, UnlistableTest,
    ::testing::Values(UnlistableCase{"vanished_after_the_drop", "gone.txt", true, ""},
                      UnlistableCase{"line_break", "new\nline.txt", false, "改行"},
                      UnlistableCase{"quotes_at_both_ends", "\"quoted\"", false, "両端"},
                      UnlistableCase{"backslash", "a\\b.txt", false, "「\\」"},
                      UnlistableCase{"not_utf8_on_disk", "bad\xEF\xBF\xBD.txt", true, "UTF-8"}),
    [](const auto& info) { return std::string(info.param.label); });

// After a failure message the program ends with a failure status; after
// an ordinary end it does not.
TEST_F(PackFlowTest, FailureMessagesMakeTheRunFail) {
    struct {
        const char* label;
        int archiverStatus;
        std::function<void(FakePlatform&, ProgramJobs&, MainForm&)> run;
        bool failed;
    } table[] = {
        {"packed", 0, [](FakePlatform&, ProgramJobs&, MainForm& f) { f.cmdPackClick(); }, false},
        {"archiver_failed", 1, [](FakePlatform&, ProgramJobs&, MainForm& f) { f.cmdPackClick(); }, true},
        {"split_of_a_missing_file", 0,
         [](FakePlatform& p, ProgramJobs& j, MainForm& f) { j.splitFile(p.folder() + "/none", f.state()); }, true},
        {"platform_failure", 0,
         [](FakePlatform& p, ProgramJobs&, MainForm&) { EXPECT_THROW(p.fail("x", "y", "z"), Terminated); }, true},
    };
    for (auto& row : table) {
        FakePlatform p;
        ProgramJobs j{p};
        p.symbols["libunlha32.so:Unlha"] = reinterpret_cast<void*>(&fakeUnlha);
        p.arguments = {a};
        p.saveAnswer = p.folder() + "/out.lzh";
        MainForm f(p, j);
        f.formLoad();
        calls = ArchiverCalls{};
        calls.listPath = p.folder() + "/responce.txt";
        calls.status = row.archiverStatus;
        row.run(p, j, f);
        EXPECT_EQ(p.failed(), row.failed) << row.label;
    }
}

}  // namespace
}  // namespace sqs

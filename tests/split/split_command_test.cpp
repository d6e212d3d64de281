// The split button end to end: the real jobs behind the real main window.
#include "app/main_form.h"
#include "app/program_jobs.h"
#include "split/split_plan.h"
#include "tests/support/fake_platform.h"

#include <QFile>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>

#include <gtest/gtest.h>

namespace sqs {
namespace {

using test::FakePlatform;
using test::Terminated;

class SplitCommandTest : public ::testing::Test {
protected:
    FakePlatform platform;
    ProgramJobs jobs{platform};
    std::unique_ptr<MainForm> form;
    QString path;

    void start(std::int64_t size) {
        path = platform.folder() + QStringLiteral("/photo album.tar");
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(size));
        platform.arguments = {path};
        form = std::make_unique<MainForm>(platform, jobs);
        form->formLoad();
    }
};

TEST_F(SplitCommandTest, SplitsEntryZeroThenQuitsWhenItsOptionIsOn) {
    start(PieceSize + 1);
    form->state().optionFlags[0] = QStringLiteral("ON");
    EXPECT_THROW(form->cmdSplitClick(), Terminated);
    EXPECT_EQ(platform.messages.at(0).text, splitQuestion(path, 2));
    EXPECT_TRUE(QFile::exists(path + ".002"));
    EXPECT_TRUE(QFile::exists(path + ".bat"));
    EXPECT_EQ(platform.events, (QStringList{"modeless:Dialog", "unload:Dialog", "unload:mainForm", "terminate"}));
    EXPECT_EQ(platform.settingsSaves(), 1);
}

TEST_F(SplitCommandTest, DeclinedQuestionStillRunsTheAfterJobRule) {
    start(PieceSize + 1);
    form->state().optionFlags[0] = QStringLiteral("ON");
    platform.answers = {AnswerNo};
    EXPECT_THROW(form->cmdSplitClick(), Terminated);
    EXPECT_FALSE(QFile::exists(path + ".001"));
    EXPECT_EQ(platform.settingsSaves(), 1);
}

TEST_F(SplitCommandTest, OnePieceEndsWithoutSaving) {
    start(100);
    EXPECT_THROW(form->cmdSplitClick(), Terminated);
    EXPECT_EQ(platform.messages.at(0).text, "分割する必要がありません。");
    EXPECT_EQ(platform.settingsSaves(), 0);
}

TEST_F(SplitCommandTest, FolderEntryGetsAMessageAndTheWindowStays) {
    start(10);
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(platform.folder())});
    form->combo1Drop(data);
    form->cmdSplitClick();
    EXPECT_EQ(platform.messages.at(0).title, "SQS");
    EXPECT_FALSE(platform.terminated);
    EXPECT_TRUE(form->cmdSplit().isEnabled());
}

}  // namespace
}  // namespace sqs

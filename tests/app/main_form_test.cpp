#include "app/main_form.h"

#include "app/file_list_combo.h"
#include "app/jobs.h"
#include "settings/set_dialog.h"
#include "tests/support/fake_platform.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

namespace sqs {
namespace {

using test::FakePlatform;
using test::Terminated;

const QString kPrompt = QStringLiteral("ここにファイルをドロップして下さい");
const QString kHeading = QStringLiteral("以下のファイルを使用します");

// The next widget that Tab moves to.
QWidget* nextTabStop(QWidget* from) {
    QWidget* w = from->nextInFocusChain();
    while (w != from && (!(w->focusPolicy() & Qt::TabFocus) || w->focusProxy() || w->parentWidget() == from))
        w = w->nextInFocusChain();
    return w;
}

// Stand-ins for the jobs: record each call and the state at that moment.
struct RecordingJobs final : Jobs {
    MainForm* form = nullptr;
    QStringList calls;
    QString packResult = QStringLiteral("/out/archive.lzh");
    std::function<void()> during;
    void splitFile(const QString& path, const AppState&) override {
        calls << QStringLiteral("split %1 chain=%2").arg(path).arg(form->state().chainMode);
        if (during) during();
    }
    QString packFiles(const QStringList& entries, std::int32_t) override {
        calls << QStringLiteral("pack %1 chain=%2").arg(entries.join(QLatin1Char('|'))).arg(form->state().chainMode);
        if (during) during();
        return packResult;
    }
};

class MainFormTest : public ::testing::Test {
protected:
    FakePlatform platform;
    RecordingJobs jobs;
    std::unique_ptr<MainForm> form;

    QString makeFile(const QString& name) {
        QFile file(platform.folder() + QLatin1Char('/') + name);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("data");
        return file.fileName();
    }
    QString makeFolder(const QString& name) {
        QDir(platform.folder()).mkpath(name);
        return platform.folder() + QLatin1Char('/') + name;
    }
    void start(QStringList arguments = {}) {
        platform.arguments = std::move(arguments);
        form = std::make_unique<MainForm>(platform, jobs);
        jobs.form = form.get();
        form->formLoad();
    }
    void combo1Clear() { form->combo1().clear(); }
    void drop(const QList<QUrl>& urls, const QString& text = {}) {
        QMimeData data;
        if (!urls.isEmpty()) data.setUrls(urls);
        if (!text.isEmpty()) data.setText(text);
        form->combo1Drop(data);
    }
};

TEST_F(MainFormTest, LayoutFollowsTheTwipsTableAt96Dpi) {
    start();
    EXPECT_EQ(form->windowTitle(), "Squashslice");
    EXPECT_EQ(form->size(), QSize(348, 55));
    struct { QWidget* widget; QRect expected; } table[] = {
        {form->findChild<QWidget*>("Frame1"), QRect(0, -5, 348, 60)},
        {&form->combo1(), QRect(40, 8, 305, 20)},
        {&form->cmdSplit(), QRect(4, 32, 68, 25)},
        {&form->cmdPack(), QRect(72, 32, 68, 25)},
        {&form->cmdSquashslice(), QRect(140, 32, 68, 25)},
        {&form->cmdSet(), QRect(208, 32, 68, 25)},
        {&form->cmdEnd(), QRect(276, 32, 68, 25)},
    };
    for (auto& row : table) EXPECT_EQ(row.widget->geometry(), row.expected) << row.widget->objectName().toStdString();
    QStringList captions;
    for (QPushButton* b : {&form->cmdSplit(), &form->cmdPack(), &form->cmdSquashslice(), &form->cmdSet(), &form->cmdEnd()})
        captions << b->text();
    EXPECT_EQ(captions.join(QLatin1Char(' ')), "分割 圧縮 圧縮→分割 設定 終了");
    auto* label = form->findChild<QLabel*>("Label2");
    EXPECT_EQ(label->text(), "入力：");
    EXPECT_EQ(label->toolTip(), "ベースファイル名");
    // Focus order: list, split, pack-then-split, pack, settings, exit.
    QStringList order;
    QWidget* w = &form->combo1();
    for (int i = 0; i < 6; ++i, w = nextTabStop(w)) order << w->objectName();
    EXPECT_EQ(order.join(QLatin1Char(' ')), "Combo1 CmdSplit CmdSquashslice CmdPack CmdSet CmdEnd");
}

// Tab and Enter as a user presses them in the shown window.
TEST_F(MainFormTest, TabWalksEveryControlAndEnterPressesTheFocusedButton) {
    start({makeFile("a.txt")});
    form->show();
    QApplication::setActiveWindow(form.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    form->combo1().setFocus();
    QStringList order;
    for (int i = 0; i < 7; ++i) {
        QWidget* focus = QApplication::focusWidget();
        while (focus && focus->objectName().isEmpty()) focus = focus->parentWidget();   // the combo's text part
        order << (focus ? focus->objectName() : QStringLiteral("(none)"));
        if (i < 6) QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    EXPECT_EQ(order.join(QLatin1Char(' ')), "Combo1 CmdSplit CmdSquashslice CmdPack CmdSet CmdEnd Combo1");

    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);   // on the list: nothing
    EXPECT_TRUE(jobs.calls.isEmpty());
    form->cmdPack().setFocus();
    QTest::keyClick(&form->cmdPack(), Qt::Key_Return);
    EXPECT_EQ(jobs.calls.size(), 1);
    // After the job the focus is where it was, not in the list's text.
    EXPECT_EQ(QApplication::focusWidget(), &form->cmdPack());
}

// A font larger than the layouts' 9 points scales the window with it; the
// stored position keeps its meaning.
TEST_F(MainFormTest, LargerFontScalesTheLayoutNotThePosition) {
    const QFont before = QApplication::font();
    QFont larger = before;
    larger.setPointSizeF(18);
    QApplication::setFont(larger);
    start();
    form->setLeftTwips(1500);
    QApplication::setFont(before);
    EXPECT_EQ(form->size(), QSize(696, 110));
    EXPECT_EQ(form->cmdEnd().geometry(), QRect(552, 64, 136, 50));
    EXPECT_EQ(form->pos().x(), 100);
    EXPECT_EQ(form->leftTwips(), 1500);
}

TEST_F(MainFormTest, StartWithoutArgumentsShowsPrompt) {
    start();
    EXPECT_EQ(form->combo1().currentText(), kPrompt);
    EXPECT_EQ(form->combo1().count(), 0);
    EXPECT_TRUE(form->splitOffered());
}

struct StartCase {
    const char* label;
    QStringList (*arguments)(const QString& folder);
    QStringList (*listed)(const QString& folder);
    bool splitOffered;
};

class StartUpTest : public MainFormTest, public ::testing::WithParamInterface<StartCase> {};

TEST_P(StartUpTest, ListsPiecesAndDecidesSplitButton) {
    makeFile(QStringLiteral("a.txt"));
    makeFile(QStringLiteral("b c.txt"));
    makeFolder(QStringLiteral("sub"));
    const StartCase& c = GetParam();
    start(c.arguments(platform.folder()));
    EXPECT_EQ(form->combo1().currentText(), kHeading);
    EXPECT_EQ(form->entries(), c.listed(platform.folder()));
    EXPECT_EQ(form->splitOffered(), c.splitOffered);
}

INSTANTIATE_TEST_SUITE_P(
    Table, StartUpTest,
    ::testing::Values(
        StartCase{"one_file", [](const QString& d) { return QStringList{d + "/a.txt"}; },
                  [](const QString& d) { return QStringList{d + "/a.txt"}; }, true},
        StartCase{"one_folder", [](const QString& d) { return QStringList{d + "/sub"}; },
                  [](const QString& d) { return QStringList{d + "/sub/"}; }, false},
        StartCase{"missing_path", [](const QString& d) { return QStringList{d + "/nope.txt"}; },
                  [](const QString& d) { return QStringList{d + "/nope.txt"}; }, true},
        StartCase{"two_paths_in_order", [](const QString& d) { return QStringList{d + "/b c.txt", d + "/a.txt"}; },
                  [](const QString& d) { return QStringList{d + "/b c.txt", d + "/a.txt"}; }, false},
        StartCase{"duplicates_stay", [](const QString& d) { return QStringList{d + "/a.txt", d + "/a.txt"}; },
                  [](const QString& d) { return QStringList{d + "/a.txt", d + "/a.txt"}; }, false}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(MainFormTest, SecondCopyRefusesAfterReadingSettingsAndNeverShows) {
    QFile ini(platform.settingsFile());
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[SQS]\r\nTOP=1230\r\nLEFT=2400\r\n");
    ini.close();
    platform.anotherInstance = true;
    EXPECT_THROW(start({makeFile("a.txt")}), Terminated);
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text, "二重起動は出来ません。");
    EXPECT_EQ(platform.messages[0].style, 16);
    EXPECT_EQ(platform.messages[0].title, "SQS");
    EXPECT_EQ(form->pos(), QPoint(160, 82));
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(form->combo1().count(), 0);
    EXPECT_EQ(platform.settingsSaves(), 0);
}

TEST_F(MainFormTest, WindowSavedOffEveryScreenComesBackOnScreen) {
    QFile ini(platform.settingsFile());
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[SQS]\r\nTOP=-90000\r\nLEFT=60000\r\n");
    ini.close();
    start();
    EXPECT_EQ(form->pos(), QPoint(0, 0));
}

TEST_F(MainFormTest, DropsReplaceTheListAndDecideSplitButton) {
    const QString a = makeFile("a.txt"), b = makeFile("b.txt"), sub = makeFolder("sub");
    start({a, b});
    EXPECT_FALSE(form->splitOffered());

    drop({QUrl::fromLocalFile(a)});
    EXPECT_EQ(form->entries(), QStringList{a});
    EXPECT_TRUE(form->splitOffered());
    EXPECT_EQ(form->combo1().currentText(), kHeading);

    drop({QUrl::fromLocalFile(b), QUrl::fromLocalFile(a)});
    EXPECT_EQ(form->entries(), (QStringList{b, a}));
    EXPECT_FALSE(form->splitOffered());

    drop({QUrl::fromLocalFile(sub)});
    EXPECT_EQ(form->entries(), QStringList{sub});
    EXPECT_TRUE(form->splitOffered());

    // Data without a file list empties the list; the split button stays as it was.
    drop({}, QStringLiteral("just text"));
    EXPECT_EQ(form->combo1().count(), 0);
    EXPECT_EQ(form->combo1().currentText(), kHeading);
    EXPECT_TRUE(form->splitOffered());
    drop({QUrl::fromLocalFile(a), QUrl::fromLocalFile(b)});
    drop({QUrl(QStringLiteral("https://example.invalid/x"))});
    EXPECT_EQ(form->combo1().count(), 0);
    EXPECT_FALSE(form->splitOffered());
}

// A drop is taken as a copy even where the source proposes a move (which
// would delete what was dragged); a file URL of this machine's "localhost"
// is its path, one of another host names nothing here.
TEST_F(MainFormTest, DropEventReachesTheListAsACopy) {
    const QString a = makeFile("a.txt");
    QUrl localhost = QUrl::fromLocalFile(a), other = localhost;
    localhost.setHost(QStringLiteral("LocalHost"));
    other.setHost(QStringLiteral("elsewhere"));
    start();
    struct { QList<QUrl> urls; Qt::DropActions offered; bool accepted; QStringList entries; } table[] = {
        {{QUrl::fromLocalFile(a)}, Qt::CopyAction | Qt::MoveAction, true, {a}},
        {{localhost, other}, Qt::CopyAction | Qt::MoveAction, true, {a}},
        {{QUrl::fromLocalFile(a)}, Qt::MoveAction, false, {}},
    };
    for (auto& row : table) {
        combo1Clear();
        QMimeData data;
        data.setUrls(row.urls);
        QDragEnterEvent enter(QPoint(10, 10), row.offered, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&form->combo1(), &enter);
        EXPECT_EQ(enter.isAccepted(), row.accepted);
        QDropEvent event(QPointF(10, 10), row.offered, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&form->combo1(), &event);
        EXPECT_EQ(event.isAccepted(), row.accepted);
        if (row.accepted) {
            EXPECT_EQ(event.dropAction(), Qt::CopyAction);
        }
        EXPECT_EQ(form->entries(), row.entries);
    }
}

TEST_F(MainFormTest, JobButtonsDoNothingOnEmptyList) {
    start();
    form->state().chainMode = 5;
    form->state().optionFlags = {"ON", "ON", "ON", "ON", "ON"};
    form->cmdSplitClick();
    form->cmdPackClick();
    form->cmdSquashsliceClick();
    EXPECT_TRUE(jobs.calls.isEmpty());
    EXPECT_EQ(form->state().chainMode, 5);
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_FALSE(platform.terminated);
}

TEST_F(MainFormTest, CommandsSetChainModeAndPassTheirInputs) {
    start({QStringLiteral("/x/first"), QStringLiteral("/y/second")});
    form->state().chainMode = -1;
    form->cmdPackClick();
    form->cmdSquashsliceClick();
    form->cmdSplitClick();
    EXPECT_EQ(jobs.calls, (QStringList{"pack /x/first|/y/second chain=-1", "pack /x/first|/y/second chain=-1",
                                       "split /out/archive.lzh chain=-1", "split /x/first chain=0"}));
    EXPECT_EQ(form->state().chainMode, 0);
    EXPECT_FALSE(platform.terminated);
}

TEST_F(MainFormTest, ButtonsTakeNoClicksWhileAJobRuns) {
    start({QStringLiteral("/x/first")});
    bool endEnabled = true;
    jobs.during = [&] {
        endEnabled = form->cmdEnd().isEnabled();
        form->cmdPackClick();   // a second command arriving through the event yield
        form->cmdEndClick();
    };
    form->cmdSplitClick();
    EXPECT_FALSE(endEnabled);
    EXPECT_EQ(jobs.calls.size(), 1);
    EXPECT_FALSE(platform.terminated);
    EXPECT_TRUE(form->cmdEnd().isEnabled());
}

struct AfterJobCase {
    int command;        // 0 split, 1 pack, 2 pack-then-split
    const char* value;
    bool quits;
};

std::string afterJobName(const ::testing::TestParamInfo<AfterJobCase>& info) {
    const char* names[] = {"split", "pack", "packsplit"};
    return std::string(names[info.param.command]) + "_" + info.param.value;
}

class AfterJobRuleTest : public MainFormTest, public ::testing::WithParamInterface<AfterJobCase> {};

TEST_P(AfterJobRuleTest, QuitsOnlyOnExactOn) {
    const AfterJobCase& c = GetParam();
    start({makeFile("a.txt")});
    form->state().optionFlags = {"OFF", "OFF", "OFF", "OFF", "OFF"};
    form->state().optionFlags[c.command] = QString::fromUtf8(c.value);
    void (MainForm::*commands[])() = {&MainForm::cmdSplitClick, &MainForm::cmdPackClick,
                                      &MainForm::cmdSquashsliceClick};
    if (c.quits) {
        EXPECT_THROW((form.get()->*commands[c.command])(), Terminated);
        EXPECT_EQ(platform.events, (QStringList{"unload:mainForm", "terminate"}));
        EXPECT_EQ(platform.settingsSaves(), 1);
    } else {
        (form.get()->*commands[c.command])();
        EXPECT_FALSE(platform.terminated);
        EXPECT_EQ(platform.settingsSaves(), 0);
        EXPECT_EQ(form->combo1().count(), 1);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, AfterJobRuleTest,
                         ::testing::Values(AfterJobCase{0, "ON", true}, AfterJobCase{0, "OFF", false},
                                           AfterJobCase{0, "on", false}, AfterJobCase{1, "ON", true},
                                           AfterJobCase{1, "OFF", false}, AfterJobCase{1, "on", false},
                                           AfterJobCase{2, "ON", true}, AfterJobCase{2, "OFF", false},
                                           AfterJobCase{2, "on", false}),
                         afterJobName);

TEST_F(MainFormTest, OtherOptionsDoNotQuit) {
    start({makeFile("a.txt")});
    form->state().optionFlags = {"OFF", "ON", "ON", "ON", "ON"};
    form->cmdSplitClick();
    EXPECT_FALSE(platform.terminated);
}

TEST_F(MainFormTest, ExitButtonSavesOnceAndTerminates) {
    start();
    form->move(160, 82);
    EXPECT_THROW(form->cmdEndClick(), Terminated);
    EXPECT_EQ(platform.settingsSaves(), 1);
    EXPECT_EQ(platform.events, QStringList{"terminate"});
    QFile ini(platform.settingsFile());
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    EXPECT_EQ(ini.readAll(), "[SQS]\r\nTOP=1230\r\nLEFT=2400\r\nOPTION1=OFF\r\nOPTION2=OFF\r\nOPTION3=OFF\r\n"
                             "OPTION4=OFF\r\nOPTION5=OFF\r\n");
}

TEST_F(MainFormTest, CloseBoxSavesOnceAndTerminates) {
    start();
    EXPECT_THROW(form->close(), Terminated);
    EXPECT_EQ(platform.settingsSaves(), 1);
    EXPECT_EQ(platform.events, QStringList{"terminate"});
}

// Ctrl+Q, the desktop's quit keys, ends the program as 終了 does; not
// while a job runs (its buttons take no clicks then).
TEST_F(MainFormTest, QuitKeysPressTheExitButton) {
    start();
    form->cmdEnd().setEnabled(false);
    QTest::keyClick(form.get(), Qt::Key_Q, Qt::ControlModifier);
    EXPECT_TRUE(platform.events.isEmpty()) << platform.events.join(',').toStdString();
    form->cmdEnd().setEnabled(true);
    EXPECT_THROW(QTest::keyClick(form.get(), Qt::Key_Q, Qt::ControlModifier), Terminated);
    EXPECT_EQ(platform.settingsSaves(), 1);
    EXPECT_EQ(platform.events, QStringList{"terminate"});
}

TEST_F(MainFormTest, SettingsButtonOpensDialogModallyAndOkSavesAtOnce) {
    start();
    form->move(30, 20);
    platform.onModal = [&](QDialog& dialog) {
        auto& settings = dynamic_cast<SetDialog&>(dialog);
        settings.check(4).setChecked(true);
        settings.okButtonClick();
    };
    form->cmdSetClick();
    EXPECT_EQ(platform.events, (QStringList{"modal:setDialog", "unload:setDialog"}));
    EXPECT_EQ(form->state().optionFlags[3], "ON");
    EXPECT_EQ(platform.settingsSaves(), 1);
    QFile ini(platform.settingsFile());
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    EXPECT_TRUE(ini.readAll().startsWith("[SQS]\r\nTOP=300\r\nLEFT=450\r\n"));
}

TEST_F(MainFormTest, ReopenedSettingsDialogStartsFromOptionsNotFromCancelledState) {
    start();
    platform.onModal = [&](QDialog& dialog) {
        auto& settings = dynamic_cast<SetDialog&>(dialog);
        for (int i = 1; i <= 5; ++i) settings.check(i).setChecked(true);
        settings.cancelButtonClick();
    };
    form->cmdSetClick();
    bool anyTicked = false;
    platform.onModal = [&](QDialog& dialog) {
        auto& settings = dynamic_cast<SetDialog&>(dialog);
        for (int i = 1; i <= 5; ++i) anyTicked |= settings.check(i).isChecked();
    };
    form->cmdSetClick();
    EXPECT_FALSE(anyTicked);
    EXPECT_EQ(platform.settingsSaves(), 0);
}

}  // namespace
}  // namespace sqs

#include "settings/set_dialog.h"

#include "core/app_state.h"
#include "settings/settings_store.h"
#include "tests/support/fake_platform.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace sqs {
namespace {

using test::FakePlatform;

struct StubWindow final : PositionedWindow {
    int topTwips() const override { return 1230; }
    int leftTwips() const override { return 2400; }
    void setTopTwips(int) override {}
    void setLeftTwips(int) override {}
};

const char* const kCaptions[] = {
    "【分割】終了時にプログラムを終了する", "【圧縮】終了時にプログラムを終了する",
    "【圧縮→分割】終了時にプログラムを終了する", "【分割】時に作業確認をしない",
    "【圧縮→分割】時に作業確認をしない"};

TEST(SetDialog, ShowsCaptionsLabelsAndFocusOrder) {
    FakePlatform platform;
    AppState state;
    StubWindow window;
    SetDialog dialog(platform, state, window);
    EXPECT_EQ(dialog.windowTitle(), "SQS設定");
    for (int i = 1; i <= 5; ++i) EXPECT_EQ(dialog.check(i).text(), QString::fromUtf8(kCaptions[i - 1]));
    EXPECT_EQ(dialog.okButton().text(), "OK");
    EXPECT_EQ(dialog.cancelButton().text(), "ｷｬﾝｾﾙ");
    EXPECT_EQ(dialog.findChild<QLabel*>("Label1")->text(), "SQS (Win32)");
    EXPECT_EQ(dialog.findChild<QLabel*>("Label2")->text(), "Version 1.00");
    EXPECT_FALSE(dialog.findChild<QLabel*>("Image1")->pixmap().isNull());
    EXPECT_EQ(dialog.size(), QSize(402, 213));
    EXPECT_EQ(dialog.okButton().geometry(), QRect(312, 8, 81, 25));
    EXPECT_EQ(dialog.check(5).geometry(), QRect(8, 104, 297, 17));
    EXPECT_EQ(dialog.okButton().nextInFocusChain(), &dialog.cancelButton());
    EXPECT_EQ(dialog.cancelButton().nextInFocusChain(), &dialog.check(1));
}

// Ticking exactly one box and pressing OK turns exactly its option on.
class SetDialogBoxTest : public ::testing::TestWithParam<int> {};

TEST_P(SetDialogBoxTest, BoxMapsToItsOption) {
    const int box = GetParam();
    FakePlatform platform;
    AppState state;
    state.optionFlags = {"OFF", "OFF", "OFF", "OFF", "OFF"};
    StubWindow window;
    SetDialog dialog(platform, state, window);
    dialog.check(box).setChecked(true);
    dialog.okButtonClick();
    for (int i = 0; i < 5; ++i) EXPECT_EQ(state.optionFlags[i], i == box - 1 ? "ON" : "OFF") << "option " << i;
    EXPECT_EQ(platform.settingsSaves(), 1);
    EXPECT_EQ(platform.events.back(), "unload:setDialog");
}

INSTANTIATE_TEST_SUITE_P(AllFive, SetDialogBoxTest, ::testing::Range(1, 6));

TEST(SetDialog, OnlyExactOnShowsTickedAndOkNormalisesTheRest) {
    FakePlatform platform;
    AppState state;
    state.optionFlags = {"ON", "on", "YES", "", "OFF"};
    StubWindow window;
    SetDialog dialog(platform, state, window);
    EXPECT_TRUE(dialog.check(1).isChecked());
    for (int i = 2; i <= 5; ++i) EXPECT_FALSE(dialog.check(i).isChecked());
    dialog.check(3).setCheckState(Qt::PartiallyChecked);
    dialog.okButtonClick();
    EXPECT_EQ(state.optionFlags, (std::array<QString, 5>{"ON", "OFF", "OFF", "OFF", "OFF"}));
}

TEST(SetDialog, CancelChangesNothingAndWritesNothing) {
    FakePlatform platform;
    AppState state;
    state.optionFlags = {"OFF", "ON", "OFF", "OFF", "OFF"};
    StubWindow window;
    SetDialog dialog(platform, state, window);
    for (int i = 1; i <= 5; ++i) dialog.check(i).setChecked(!dialog.check(i).isChecked());
    dialog.cancelButtonClick();
    EXPECT_EQ(state.optionFlags, (std::array<QString, 5>{"OFF", "ON", "OFF", "OFF", "OFF"}));
    EXPECT_EQ(platform.settingsSaves(), 0);
    EXPECT_FALSE(QFile::exists(platform.settingsFile()));
}

TEST(SetDialog, EscapeDoesNotClose) {
    FakePlatform platform;
    AppState state;
    StubWindow window;
    SetDialog dialog(platform, state, window);
    dialog.show();
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_TRUE(dialog.isVisible());
}

// The keys go to whatever has the focus, as a user's would.
TEST(SetDialog, KeysPressOnlyTheFocusedButton) {
    struct Row {
        const char* label;
        std::vector<Qt::Key> keys;
        bool ticked, closed, saved;
    } table[] = {
        {"space_then_enter_on_first_box", {Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Space, Qt::Key_Return}, true, false, false},
        {"enter_on_ok", {Qt::Key_Return}, false, true, true},
        {"keypad_enter_on_cancel", {Qt::Key_Tab, Qt::Key_Enter}, false, true, false},
        {"space_on_cancel", {Qt::Key_Tab, Qt::Key_Space}, false, true, false},
        {"back_from_cancel_to_a_box", {Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Return, Qt::Key_Escape}, false, false, false},
    };
    for (const Row& row : table) {
        FakePlatform platform;
        AppState state;
        state.optionFlags = {"OFF", "OFF", "OFF", "OFF", "OFF"};
        StubWindow window;
        SetDialog dialog(platform, state, window);
        dialog.show();
        QApplication::setActiveWindow(&dialog);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
        for (Qt::Key key : row.keys) QTest::keyClick(QApplication::focusWidget(), key);
        EXPECT_EQ(dialog.check(1).isChecked(), row.ticked) << row.label;
        EXPECT_EQ(platform.events.contains("unload:setDialog"), row.closed) << row.label;
        EXPECT_EQ(platform.settingsSaves(), row.saved ? 1 : 0) << row.label;
        EXPECT_FALSE(dialog.okButton().isDefault() || dialog.cancelButton().isDefault()) << row.label;
    }
}

}  // namespace
}  // namespace sqs

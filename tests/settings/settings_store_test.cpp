#include "settings/settings_store.h"

#include "core/app_state.h"
#include "tests/support/fake_platform.h"

#include <QFile>

#include <gtest/gtest.h>

namespace sqs {
namespace {

using test::FakePlatform;

struct StubWindow final : PositionedWindow {
    int top = 0, left = 0;
    bool known = true;
    int topTwips() const override { return top; }
    bool positionKnown() const override { return known; }
    int leftTwips() const override { return left; }
    void setTopTwips(int twips) override { top = twips; }
    void setLeftTwips(int twips) override { left = twips; }
};

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(Settings, FirstStartUsesDefaultsAndSaveWritesSevenKeysInOrder) {
    FakePlatform platform;
    AppState state;
    StubWindow window;
    window.top = window.left = 99;
    LoadSettings(platform, state, window);
    EXPECT_EQ(window.top, 0);
    EXPECT_EQ(window.left, 0);
    for (const QString& option : state.optionFlags) EXPECT_EQ(option, "OFF");

    window.top = 1230;
    window.left = 2400;
    SaveSettings(platform, state, window);
    EXPECT_EQ(readFile(platform.settingsFile()),
              "[SQS]\r\nTOP=1230\r\nLEFT=2400\r\nOPTION1=OFF\r\nOPTION2=OFF\r\nOPTION3=OFF\r\n"
              "OPTION4=OFF\r\nOPTION5=OFF\r\n");
}

TEST(Settings, ReadsPositionsAndKeepsOddOptionTextsUnchanged) {
    FakePlatform platform;
    writeFile(platform.settingsFile(),
              "; mine\n[SQS]\nTOP= 1231.5 \nLEFT=-480\nOPTION2=on\nOPTION5=YES\nOPTION1=ON\nOPTION3=\x82\xa0\xff\n");
    AppState state;
    StubWindow window;
    LoadSettings(platform, state, window);
    EXPECT_EQ(window.top, 1232);
    EXPECT_EQ(window.left, -480);
    EXPECT_EQ(state.optionFlags[0], "ON");
    EXPECT_EQ(state.optionFlags[1], "on");
    EXPECT_EQ(state.optionFlags[3], "OFF");
    EXPECT_EQ(state.optionFlags[4], "YES");

    // Bytes that are no text (OPTION3) go back as they were.
    SaveSettings(platform, state, window);
    EXPECT_EQ(readFile(platform.settingsFile()),
              "; mine\n[SQS]\nTOP=1232\r\nLEFT=-480\r\nOPTION2=on\r\nOPTION5=YES\r\nOPTION1=ON\r\n"
              "OPTION3=\x82\xa0\xff\r\nOPTION4=OFF\r\n");
}

TEST(Settings, AnUnknownPositionKeepsTheStoredOneAsItWas) {
    // (Wayland: the window is placed by the compositor and reports 0,0.)
    // The values go back as read: text, blanks around them dropped.
    struct Row {
        QByteArray before, after;
    } table[] = {
        {"[SQS]\r\nTOP= 1231.5 \r\nLEFT=-480\r\nOPTION1=ON\r\n",
         "[SQS]\r\nTOP=1231.5\r\nLEFT=-480\r\nOPTION1=ON\r\nOPTION2=OFF\r\nOPTION3=OFF\r\nOPTION4=OFF\r\n"
         "OPTION5=OFF\r\n"},
        {"", "[SQS]\r\nTOP=0\r\nLEFT=0\r\nOPTION1=OFF\r\nOPTION2=OFF\r\nOPTION3=OFF\r\nOPTION4=OFF\r\nOPTION5=OFF\r\n"},
    };
    for (const Row& row : table) {
        FakePlatform platform;
        if (!row.before.isEmpty()) writeFile(platform.settingsFile(), row.before);
        AppState state;
        StubWindow window;
        LoadSettings(platform, state, window);
        window.known = false;
        window.top = -450;
        window.left = -45;
        SaveSettings(platform, state, window);
        EXPECT_EQ(readFile(platform.settingsFile()), row.after) << row.before.constData();
    }
}

TEST(Settings, BadPositionsReadAsZero) {
    FakePlatform platform;
    writeFile(platform.settingsFile(), "[SQS]\r\nTOP=abc\r\nLEFT=99999999999\r\n");
    AppState state;
    StubWindow window;
    window.top = window.left = 7;
    LoadSettings(platform, state, window);
    EXPECT_EQ(window.top, 0);
    EXPECT_EQ(window.left, 0);
}

TEST(Settings, BinaryFileGivesDefaults) {
    FakePlatform platform;
    QByteArray junk;
    for (int i = 0; i < 100000; ++i) junk.append(static_cast<char>((i * 7919) & 0xFF));
    writeFile(platform.settingsFile(), junk);
    AppState state;
    StubWindow window;
    LoadSettings(platform, state, window);
    for (const QString& option : state.optionFlags) EXPECT_EQ(option, "OFF");
}

TEST(Settings, PathInRootHasNoDoubledSeparator) {
    FakePlatform platform;
    platform.programFolderOverride = QStringLiteral("/");
    EXPECT_EQ(settingsPath(platform), "/SQS.ini");
    platform.programFolderOverride = QStringLiteral("/opt/sqs");
    EXPECT_EQ(settingsPath(platform), "/opt/sqs/SQS.ini");
}

TEST(Settings, UnwritableFolderIsIgnoredSilently) {
    FakePlatform platform;
    platform.programFolderOverride = platform.folder() + QStringLiteral("/no/such/folder");
    AppState state;
    StubWindow window;
    LoadSettings(platform, state, window);
    SaveSettings(platform, state, window);
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_FALSE(platform.terminated);
    EXPECT_FALSE(QFile::exists(platform.programFolderOverride + QStringLiteral("/SQS.ini")));
}

}  // namespace
}  // namespace sqs

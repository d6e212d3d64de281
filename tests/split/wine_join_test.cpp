// Joins split pieces with a real Windows command interpreter (Wine's cmd)
// running the rejoin script, and compares the result with the source.
#include "split/splitter.h"

#include "split/rejoin_script.h"
#include "split/split_plan.h"
#include "tests/support/fake_platform.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <random>

namespace sqs {
namespace {

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool japaneseLocaleAvailable() {
    QProcess locale;
    locale.start(QStringLiteral("locale"), {QStringLiteral("-a")});
    locale.waitForFinished();
    return locale.readAllStandardOutput().toLower().contains("ja_jp.utf8");
}

class WineJoinTest : public ::testing::TestWithParam<const char*> {};

TEST_P(WineJoinTest, ScriptRebuildsTheSource) {
    const QString wine = QStandardPaths::findExecutable(QStringLiteral("wine"));
    if (wine.isEmpty()) GTEST_SKIP() << "wine is not installed";
    if (!japaneseLocaleAvailable()) GTEST_SKIP() << "the ja_JP.UTF-8 locale is not generated";
    const QString name = QString::fromUtf8(GetParam());

    test::FakePlatform platform;
    const QString path = platform.folder() + QLatin1Char('/') + name;
    QByteArray source(2 * PieceSize + 4321, Qt::Uninitialized);
    std::mt19937 random(static_cast<unsigned>(qHash(name)));
    for (char& c : source) c = static_cast<char>(random());
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(source);
    }
    Splitter(platform).WritePieces(path);

    // Only the pieces and the script travel to the machine that joins them.
    QTemporaryDir elsewhere;
    for (int i = 1; i <= 3; ++i)
        ASSERT_TRUE(QFile::copy(pieceName(path, i), elsewhere.filePath(name + QLatin1Char('.') + pieceSuffix(i))));
    // A name holding %, & or ^ cannot be passed bare on cmd's own command
    // line; such a script is run under a neutral name (its content is what counts).
    const bool plainName = !name.contains(QRegularExpression(QStringLiteral("[%&^]")));
    const QString script = plainName ? name + QStringLiteral(".bat") : QStringLiteral("join.bat");
    ASSERT_TRUE(QFile::copy(rejoinScriptPath(path), elsewhere.filePath(script)));

    QProcess cmd;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("WINEDEBUG"), QStringLiteral("-all"));
    env.insert(QStringLiteral("LANG"), QStringLiteral("ja_JP.UTF-8"));
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("ja_JP.UTF-8"));
    if (!qEnvironmentVariableIsEmpty("SQS_WINEPREFIX"))
        env.insert(QStringLiteral("WINEPREFIX"), qEnvironmentVariable("SQS_WINEPREFIX"));
    cmd.setProcessEnvironment(env);
    cmd.setWorkingDirectory(elsewhere.path());
    cmd.start(wine, {QStringLiteral("cmd"), QStringLiteral("/c"), script});
    ASSERT_TRUE(cmd.waitForFinished(120000));
    const QByteArray output = cmd.readAllStandardOutput();
    EXPECT_TRUE(output.contains("complate!")) << output.toStdString();
    // COPY skips a missing piece silently: compare the bytes, not the exit code.
    EXPECT_TRUE(readFile(elsewhere.filePath(name)) == source) << "joined file differs from the source";
}

INSTANTIATE_TEST_SUITE_P(Names, WineJoinTest,
                         ::testing::Values("plain.bin", "with space.bin", "100%.bin", "a%PATH%b.bin", "R&D.bin",
                                           "caret^.bin", "bang!.bin", "日本語ソ表.bin"),
                         [](const auto& info) { return "name" + std::to_string(info.index); });

}  // namespace
}  // namespace sqs

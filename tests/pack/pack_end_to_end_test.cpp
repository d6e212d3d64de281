// Packing with the real archiver library, checked by real LZH readers; and
// pack-then-split rejoined by Wine's cmd. Missing tools make tests skip.
#include "app/main_form.h"
#include "app/program_jobs.h"
#include "split/split_plan.h"
#include "tests/support/fake_platform.h"

#include <QDir>
#include <QFile>
#include <QMimeData>
#include <QUrl>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <random>

namespace sqs {
namespace {

using test::FakePlatform;

struct Outcome {
    int exitCode;
    QString output;
};

Outcome runTool(const QString& program, const QStringList& arguments, const QString& workingDir = {},
                const QString& locale = QStringLiteral("C.UTF-8")) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LANG", locale);
    env.insert("LC_ALL", locale);
    env.insert("WINEDEBUG", "-all");
    if (!qEnvironmentVariableIsEmpty("SQS_WINEPREFIX")) env.insert("WINEPREFIX", qEnvironmentVariable("SQS_WINEPREFIX"));
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    if (!workingDir.isEmpty()) process.setWorkingDirectory(workingDir);
    process.start(program, arguments);
    process.waitForFinished(300000);
    return {process.exitCode(), QString::fromUtf8(process.readAll())};
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class PackEndToEnd : public ::testing::Test {
protected:
    FakePlatform platform;
    ProgramJobs jobs{platform};
    std::unique_ptr<MainForm> form;
    void* library = nullptr;

    void SetUp() override {
        library = ::dlopen(UNLHA_LIBRARY_PATH, RTLD_NOW);
        ASSERT_NE(library, nullptr) << ::dlerror();
        platform.symbols["libunlha32.so:Unlha"] = ::dlsym(library, "Unlha");
        form = std::make_unique<MainForm>(platform, jobs);
        form->formLoad();
    }
    void TearDown() override {
        if (library) ::dlclose(library);
    }
    QString make(const QString& name, const QByteArray& content) {
        const QString full = platform.folder() + "/" + name;
        QDir().mkpath(QFileInfo(full).path());
        QFile f(full);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
        return full;
    }
    void drop(const QStringList& paths) {
        QMimeData data;
        QList<QUrl> urls;
        for (const QString& p : paths) urls << QUrl::fromLocalFile(p);
        data.setUrls(urls);
        form->combo1Drop(data);
    }
    static bool have(const char* tool) { return !QStandardPaths::findExecutable(tool).isEmpty(); }
};

TEST_F(PackEndToEnd, FilesFromTwoFoldersAndJapaneseNamesOpenInEveryReader) {
    if (!have("lhasa") || !have("bsdtar") || !have("7zz")) GTEST_SKIP() << "an LZH reader is missing";
    const QByteArray text = QByteArray("日本語のテキスト\n").repeated(500);
    const QString a = make("work/one/日本語ソ表.txt", text);
    const QString b = make("work/one/plain file.txt", "plain\n");
    const QString c = make("work/two/other.bin", QByteArray(3000, 'o'));
    drop({a, b, c});
    platform.saveAnswer = platform.folder() + "/packed.lzh";
    form->cmdPackClick();
    ASSERT_EQ(platform.messages.size(), 1u) << platform.messages.back().text.toStdString();

    const QString archive = platform.saveAnswer;
    Outcome lhasa = runTool("lhasa", {"l", archive});
    EXPECT_TRUE(lhasa.output.contains(" Total         3 files")) << lhasa.output.toStdString();
    EXPECT_EQ(runTool("lhasa", {"t", archive}).exitCode, 0);
    Outcome seven = runTool("7zz", {"t", archive});
    EXPECT_TRUE(seven.output.contains("Everything is Ok")) << seven.output.toStdString();
    QTemporaryDir out;
    ASSERT_EQ(runTool("bsdtar", {"-xf", archive, "-C", out.path()}).exitCode, 0);
    EXPECT_EQ(readFile(out.path() + "/one/日本語ソ表.txt"), text);
    EXPECT_EQ(readFile(out.path() + "/one/plain file.txt"), "plain\n");
    EXPECT_EQ(readFile(out.path() + "/two/other.bin"), QByteArray(3000, 'o'));
}

// A name that ends with a tab is packed as itself, not as its neighbour
// without the tab (the list reader trims tabs from unquoted lines).
TEST_F(PackEndToEnd, NameEndingWithATabPacksThatFile) {
    if (!have("bsdtar")) GTEST_SKIP() << "bsdtar is missing";
    const QString tabbed = make("d/report.txt\t", "right");
    make("d/report.txt", "wrong");
    drop({tabbed});
    platform.saveAnswer = platform.folder() + "/t.lzh";
    form->cmdPackClick();
    QTemporaryDir out;
    ASSERT_EQ(runTool("bsdtar", {"-xf", platform.saveAnswer, "-C", out.path()}).exitCode, 0);
    EXPECT_EQ(QDir(out.path()).entryList(QDir::Files), QStringList{"report.txt\t"});
    EXPECT_EQ(readFile(out.path() + "/report.txt\t"), "right");
}

// A double quote in the archive's path or the base folder would regroup the
// command text's fields (another archive, another base): refused, nothing packed.
TEST_F(PackEndToEnd, QuoteInTheArchiveOrBaseFolderIsRefused) {
    const struct { const char* entry; const char* archive; const char* refused; } table[] = {
        {"we\"ird/a.txt", "out.lzh", "we\"ird/"},
        {"plain/a.txt", "o\"ut.lzh", "o\"ut.lzh"},
    };
    for (const auto& row : table) {
        platform.messages.clear();
        drop({make(row.entry, "a")});
        platform.saveAnswer = platform.folder() + "/" + row.archive;
        form->cmdPackClick();
        ASSERT_EQ(platform.messages.size(), 3u) << row.entry;   // the question, the refusal, the failure
        EXPECT_EQ(platform.messages[1].text, "次のファイルは圧縮できません。\r\n\"" + platform.folder() + "/" + row.refused +
                                                 "\"\r\n「\"」や改行を含むパスは書庫ライブラリに渡せません。");
        EXPECT_EQ(platform.messages[2].text, "圧縮失敗");
        EXPECT_TRUE(QDir(platform.folder()).entryList({"*.lzh", "*lzh*"}, QDir::Files).isEmpty()) << row.entry;
    }
}

TEST_F(PackEndToEnd, FolderNamedWithClosingSeparatorPacksItsContents) {
    if (!have("bsdtar")) GTEST_SKIP() << "bsdtar is missing";
    make("data/sub/a.txt", "a");
    make("data/sub/deeper/b.txt", "b");
    platform.arguments = {platform.folder() + "/data/sub/"};
    form = std::make_unique<MainForm>(platform, jobs);
    form->formLoad();
    platform.saveAnswer = platform.folder() + "/sub.lzh";
    form->cmdPackClick();
    EXPECT_EQ(platform.lastProposedName, "sub.lzh");
    QTemporaryDir out;
    ASSERT_EQ(runTool("bsdtar", {"-xf", platform.saveAnswer, "-C", out.path()}).exitCode, 0);
    EXPECT_EQ(readFile(out.path() + "/a.txt"), "a");
    EXPECT_EQ(readFile(out.path() + "/deeper/b.txt"), "b");
}

TEST_F(PackEndToEnd, PackThenSplitRejoinsUnderWineIntoAGoodArchive) {
    if (!have("wine") || !have("lhasa")) GTEST_SKIP() << "wine or lhasa is missing";
    // 4 MB that does not compress: the archive needs three pieces.
    QStringList files;
    std::mt19937 random(5);
    for (int i = 0; i < 4; ++i) {
        QByteArray noise(1000000, Qt::Uninitialized);
        for (char& ch : noise) ch = static_cast<char>(random());
        files << make(QStringLiteral("bundle/part%1.bin").arg(i), noise);
    }
    drop(files);
    platform.saveAnswer = platform.folder() + "/bundle.lzh";
    form->cmdSquashsliceClick();
    const QString archive = platform.saveAnswer;
    ASSERT_TRUE(QFile::exists(archive + ".003"));
    EXPECT_FALSE(QFile::exists(archive + ".004"));

    QTemporaryDir elsewhere;
    for (const QString& name : QDir(platform.folder()).entryList({"bundle.lzh.*"}))
        ASSERT_TRUE(QFile::copy(platform.folder() + "/" + name, elsewhere.path() + "/" + name));
    Outcome join = runTool("wine", {"cmd", "/c", "bundle.lzh.bat"}, elsewhere.path(), "ja_JP.UTF-8");
    EXPECT_TRUE(join.output.contains("complate!")) << join.output.toStdString();
    const QString joined = elsewhere.path() + "/bundle.lzh";
    EXPECT_EQ(readFile(joined), readFile(archive));
    Outcome lhasa = runTool("lhasa", {"l", joined});
    EXPECT_TRUE(lhasa.output.contains(" Total         4 files")) << lhasa.output.toStdString();
    EXPECT_EQ(runTool("lhasa", {"t", joined}).exitCode, 0);
}

}  // namespace
}  // namespace sqs

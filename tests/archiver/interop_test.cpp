// Archives written here, read back by LZH tools nobody here wrote. A tool
// that is not installed makes its tests skip.
#include "archiver/command/run_command.h"
#include "tests/archiver/archive_fixture.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <random>

namespace lzh {
namespace {

using test::ArchiveFixture;
using test::SampleFile;

enum class Reader { Lhasa, Bsdtar, SevenZip, Jlha };

struct ToolRun {
    int exitCode;
    QString output;
};

ToolRun runTool(const QString& program, const QStringList& arguments, const QString& workingDir = {}) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LANG", "C.UTF-8");
    env.insert("LC_ALL", "C.UTF-8");
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    if (!workingDir.isEmpty()) process.setWorkingDirectory(workingDir);
    process.start(program, arguments);
    if (!process.waitForFinished(300000)) return {-1, "timed out"};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAll())};
}

const char* programOf(Reader reader) {
    switch (reader) {
    case Reader::Lhasa: return "lhasa";
    case Reader::Bsdtar: return "bsdtar";
    case Reader::SevenZip: return "7zz";
    case Reader::Jlha: return "jlha";
    }
    return "";
}

// One archive per method, made once and shared by every reader's test.
struct Prepared {
    std::unique_ptr<ArchiveFixture> folder;
    std::vector<SampleFile> files;
    QString archive;
};

class PreparedFolder final : public ArchiveFixture {
    void TestBody() override {}
};

const Prepared& prepared(Method method) {
    static std::map<Method, Prepared> cache;
    auto it = cache.find(method);
    if (it != cache.end()) return it->second;
    Prepared p;
    p.folder = std::make_unique<PreparedFolder>();
    p.files = test::standardSampleFiles(*p.folder);
    // A 20 MB file of mixed text and noise, coded in segments on three threads.
    const std::string big = test::mixedRecords(20'000'000, 42);
    p.files.push_back({"big/twenty.dat", big});
    p.archive = QString::fromStdString(p.folder->path("test archive.lzh"));
    const std::string fault = p.folder->writeArchive(p.archive.toStdString(), method, p.files, 3);
    EXPECT_EQ(fault, "");
    return cache.emplace(method, std::move(p)).first->second;
}

class InteropTest : public ArchiveFixture, public ::testing::WithParamInterface<std::tuple<Reader, Method>> {
protected:
    std::vector<SampleFile> files;
    QString archive;

    void SetUp() override {
        const QString program = QStandardPaths::findExecutable(programOf(std::get<0>(GetParam())));
        if (program.isEmpty()) GTEST_SKIP() << programOf(std::get<0>(GetParam())) << " is not installed";
        const Prepared& p = prepared(std::get<1>(GetParam()));
        files = p.files;
        archive = p.archive;
    }
};

TEST_P(InteropTest, ReaderAcceptsTheArchive) {
    const Reader reader = std::get<0>(GetParam());
    const QString program = programOf(reader);
    switch (reader) {
    case Reader::Lhasa: {
        ToolRun test = runTool(program, {"t", archive});
        EXPECT_EQ(test.exitCode, 0) << test.output.toStdString();
        EXPECT_FALSE(test.output.contains("CRC error")) << test.output.toStdString();
        ToolRun list = runTool(program, {"l", archive});
        EXPECT_TRUE(list.output.contains(QRegularExpression(QString(" Total +%1 files").arg(files.size()))))
            << list.output.toStdString();
        break;
    }
    case Reader::Bsdtar: {
        const QString out = QString::fromStdString(path("extracted"));
        QDir().mkpath(out);
        ToolRun extract = runTool(program, {"-xf", archive, "-C", out});
        ASSERT_EQ(extract.exitCode, 0) << extract.output.toStdString();
        for (const SampleFile& f : files) {
            const QString name = out + "/" + QString::fromStdString(f.stored);
            if (f.directory) {
                EXPECT_TRUE(QFileInfo(name).isDir()) << f.stored;
                continue;
            }
            QFile file(name);
            ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << "missing " << f.stored;
            EXPECT_TRUE(file.readAll().toStdString() == f.content) << f.stored;
        }
        int extractedFiles = 0;
        for (QDirIterator it(out, QDir::Files, QDirIterator::Subdirectories); it.hasNext(); it.next()) ++extractedFiles;
        EXPECT_EQ(extractedFiles, static_cast<int>(std::count_if(files.begin(), files.end(),
                                                                 [](const SampleFile& f) { return !f.directory; })));
        break;
    }
    case Reader::SevenZip: {
        ToolRun test = runTool(program, {"t", archive});
        EXPECT_EQ(test.exitCode, 0) << test.output.toStdString();
        EXPECT_TRUE(test.output.contains("Everything is Ok")) << test.output.toStdString();
        break;
    }
    case Reader::Jlha: {
        ToolRun test = runTool(program, {"t", archive});
        EXPECT_EQ(test.exitCode, 0) << test.output.toStdString();
        ToolRun list = runTool(program, {"lq2", archive});
        EXPECT_EQ(list.output.count(QRegularExpression("^\\[", QRegularExpression::MultilineOption)),
                  static_cast<int>(files.size()))
            << list.output.toStdString();
        EXPECT_EQ(test.output.count("Tested"), static_cast<int>(files.size() - 2)) << test.output.toStdString();
        break;
    }
    }
}

std::string interopName(const ::testing::TestParamInfo<std::tuple<Reader, Method>>& info) {
    return std::string(programOf(std::get<0>(info.param))) == "7zz"
               ? std::string("sevenzip_") + std::string(methodId(std::get<1>(info.param))).substr(1, 3)
               : std::string(programOf(std::get<0>(info.param))) + "_" +
                     std::string(methodId(std::get<1>(info.param))).substr(1, 3);
}

INSTANTIATE_TEST_SUITE_P(Readers, InteropTest,
                         ::testing::Combine(::testing::Values(Reader::Lhasa, Reader::Bsdtar, Reader::SevenZip,
                                                              Reader::Jlha),
                                            ::testing::Values(Method::Lh5, Method::Lh6, Method::Lh7)),
                         interopName);

}  // namespace
}  // namespace lzh

namespace lzh {
namespace {

// Archives of other tools, updated with one new file, still read everywhere.
TEST(InteropUpdate, UpdatedForeignArchivesReadInEveryReader) {
    for (const char* tool : {"lhasa", "bsdtar", "7zz"})
        if (QStandardPaths::findExecutable(tool).isEmpty()) GTEST_SKIP() << tool << " is not installed";
    const char* shared = std::getenv("SQS_SHARED_DIR");
    const QString samples = QString::fromUtf8(shared ? shared : "../shared") + "/lzh-samples";
    if (!QFile::exists(samples + "/manifest.tsv")) GTEST_SKIP() << "no shared samples here";
    QTemporaryDir dir;
    QFile added(dir.path() + "/added file.txt");
    ASSERT_TRUE(added.open(QIODevice::WriteOnly));
    added.write(QByteArray("a line of text to add\n").repeated(300));
    added.close();
    for (const char* sample : {"explzh_723/h2_lh5.lzh", "lha_unix114i/h0_lh6.lzh", "lha_unix114i/h1_subdir.lzh",
                               "lhmelt_16536/sfx_winsfx32_213.exe", "lha213/subdir.lzh", "lha_x68k_213/h1_lh5.lzh"}) {
        const QString copy = dir.path() + "/updated.lzh";
        QFile::remove(copy);
        ASSERT_TRUE(QFile::copy(samples + "/" + sample, copy)) << sample;
        const int before = runTool("bsdtar", {"-tf", copy}).output.count('\n');
        std::string report;
        ASSERT_EQ(runCommand("u -x1 \"" + copy.toStdString() + "\" \"" + dir.path().toStdString() + "/\" \"added file.txt\"",
                             report),
                  0)
            << sample << ": " << report;
        ToolRun listing = runTool("bsdtar", {"-tf", copy});
        EXPECT_EQ(listing.exitCode, 0) << sample;
        EXPECT_EQ(listing.output.count('\n'), before + 1) << sample << listing.output.toStdString();
        EXPECT_EQ(runTool("lhasa", {"t", copy}).exitCode, 0) << sample;
        EXPECT_TRUE(runTool("lhasa", {"l", copy}).output.contains(QString(" Total %1 files").arg(before + 1, 9)))
            << sample;
        EXPECT_TRUE(runTool("7zz", {"t", copy}).output.contains("Everything is Ok")) << sample;
        EXPECT_EQ(runCommand("t \"" + copy.toStdString() + "\"", report), 0) << sample << report;
    }
}

}  // namespace
}  // namespace lzh

#include "archiver/command/run_command.h"
#include "archiver/command/terminal_progress.h"
#include "archiver/progress.h"
#include "tests/archiver/archive_fixture.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace lzh {
namespace {

using test::ArchiveFixture;

// Asks to stop once `after` bytes are done (0: as soon as the total is known).
class CancelAfter : public Progress {
public:
    static constexpr std::uint64_t kNever = UINT64_MAX;
    explicit CancelAfter(std::uint64_t after) : after_(after) {}

protected:
    void changed() override {
        if (total() > 0 && done() >= after_) cancel();
    }

private:
    std::uint64_t after_;
};

class ProgressTest : public ArchiveFixture {
protected:
    void SetUp() override {
        // Several read chunks of compressible text.
        std::string big;
        while (big.size() < 1500000) big += "line " + std::to_string(big.size() % 9973) + " of a long text\n";
        writeFile("base/big.txt", big);
        writeFile("base/small.txt", "a small file to keep");
    }
    int entriesBeside() { return QDir(temp.path()).entryList(QDir::Files | QDir::Hidden).size(); }
    int run(const std::string& archive, const std::string& names, Progress& progress) {
        std::string report;
        return runCommand("u -x1 " + archive + " " + path("base") + "/ " + names, report, &progress);
    }
};

TEST_F(ProgressTest, CountsEveryByteReadUpToTheTotal) {
    const std::string archive = path("out.lzh");
    CancelAfter whole(CancelAfter::kNever);
    ASSERT_EQ(run(archive, "big.txt small.txt", whole), 0);
    EXPECT_EQ(whole.total(), fileSize(path("base/big.txt")) + fileSize(path("base/small.txt")));
    EXPECT_EQ(whole.done(), whole.total());
    EXPECT_EQ(whole.member(), "small.txt");

    // An update counts the members it copies and the files it packs.
    writeFile("base/added.txt", "added");
    CancelAfter update(CancelAfter::kNever);
    const std::uint64_t archived = fileSize(archive) - 1;   // every member, not the end mark
    ASSERT_EQ(run(archive, "added.txt", update), 0);
    EXPECT_EQ(update.total(), archived + 5);
    EXPECT_EQ(update.done(), update.total());

    // t, x and e count the bytes decoded of the members selected.
    const std::uint64_t big = fileSize(path("base/big.txt"));
    struct { std::string command; std::uint64_t total; } reads[] = {
        {"t " + archive, big + fileSize(path("base/small.txt")) + 5},
        {"x " + archive + " " + path("out") + "/ big.txt", big},
        {"e " + archive + " " + path("flat") + "/ big.txt", big},
    };
    for (const auto& row : reads) {
        CancelAfter reading(CancelAfter::kNever);
        std::string report;
        ASSERT_EQ(runCommand(row.command, report, &reading), 0) << row.command << ": " << report;
        EXPECT_EQ(reading.total(), row.total) << row.command;
        EXPECT_EQ(reading.done(), row.total) << row.command;
    }
}

TEST_F(ProgressTest, CancelLeavesNoArchiveAndNoTemporaryFile) {
    struct Row {
        const char* label;
        bool existing;          // an archive of small.txt is there before
        std::uint64_t after;    // bytes done when the stop is asked for
    } table[] = {
        {"new_before_any_byte", false, 0},
        {"new_within_the_first_file", false, 1},
        {"existing_while_copying", true, 1},
        {"existing_while_packing", true, 100},
    };
    for (const Row& row : table) {
        const std::string archive = path(std::string(row.label) + ".lzh");
        if (row.existing) {
            CancelAfter none(CancelAfter::kNever);
            ASSERT_EQ(run(archive, "small.txt", none), 0);
        }
        const std::string before = row.existing ? bytesOf(archive) : std::string();
        const int filesBefore = entriesBeside();
        CancelAfter progress(row.after);
        std::string report;
        EXPECT_NE(runCommand("u -x1 " + archive + " " + path("base") + "/ big.txt", report, &progress), 0) << row.label;
        EXPECT_NE(report.find(kCancelledFault), std::string::npos) << report;
        EXPECT_LT(progress.done(), progress.total()) << row.label;   // it stopped early
        EXPECT_EQ(QFile::exists(QString::fromStdString(archive)), row.existing) << row.label;
        if (row.existing) {
            EXPECT_EQ(bytesOf(archive), before) << row.label;
        }
        EXPECT_EQ(entriesBeside(), filesBefore) << row.label;
    }
    // A test or an extraction stops too; the member being written is not left.
    const std::string archive = path("whole.lzh");
    CancelAfter none(CancelAfter::kNever);
    ASSERT_EQ(run(archive, "big.txt small.txt", none), 0);
    for (const std::string& command : {"t " + archive, "x " + archive + " " + path("out") + "/"}) {
        CancelAfter progress(1);
        std::string report;
        EXPECT_NE(runCommand(command, report, &progress), 0) << command;
        EXPECT_NE(report.find(kCancelledFault), std::string::npos) << report;
        EXPECT_LT(progress.done(), progress.total()) << command;
    }
    EXPECT_EQ(QDir(QString::fromStdString(path("out"))).entryList(QDir::Files | QDir::Hidden).size(), 0);
}

TEST(ProgressLine, FitsTheTerminalWidth) {
    const std::uint64_t mib = 1024 * 1024;
    struct Row {
        std::uint64_t done, total;
        std::string member;
        std::size_t width;
        std::string line;
    } table[] = {
        {0, 0, "", 79, "  0%  0.0 MiB / 0.0 MiB  "},
        {150 * mib, 300 * mib, "dir/big.bin", 79, " 50%  150.0 MiB / 300.0 MiB  dir/big.bin"},
        {300 * mib, 300 * mib, "a/very/long/name.txt", 40, "100%  300.0 MiB / 300.0 MiB  ...name.txt"},
        {1, 2, "日本語.txt", 31, " 50%  0.0 MiB / 0.0 MiB  ...txt"},   // wide characters count twice
        {1, 2, "bad\nname\x1b", 60, " 50%  0.0 MiB / 0.0 MiB  bad\\x0Aname\\x1B"},
        {1, 2, "csi\xc2\x9b" "2J\xff", 60, " 50%  0.0 MiB / 0.0 MiB  csi\\xC2\\x9B2J\\xFF"},   // C1, not UTF-8
        {1, 2, "x", 10, " 50%  0.0 "},
    };
    for (const Row& row : table) EXPECT_EQ(progressLine(row.done, row.total, row.member, row.width), row.line) << row.member;
}

}  // namespace
}  // namespace lzh

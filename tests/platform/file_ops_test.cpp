#include "platform/file_ops.h"
#include "platform/piece_ahead.h"
#include "tests/support/file_size_limit.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace sqs::files {
namespace {

class FileOpsTest : public ::testing::Test {
public:
    QTemporaryDir dir;
    std::string path(const char* name) const { return (dir.path() + QLatin1Char('/') + name).toStdString(); }
    void make(const char* name, const std::string& bytes) {
        QFile file(QString::fromStdString(path(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes.data(), static_cast<qint64>(bytes.size()));
    }
};

TEST_F(FileOpsTest, LookupAdmitsDirectoriesOnlyWithTheirAttribute) {
    make("file.txt", "x");
    make(".dot", "x");
    QDir(dir.path()).mkdir("folder");
    ASSERT_EQ(::symlink(path("folder").c_str(), path("link").c_str()), 0);
    struct { std::string path; bool dirs; std::string expected; } table[] = {
        {path("file.txt"), false, "file.txt"},
        {path("file.txt"), true, "file.txt"},
        {path(".dot"), false, ".dot"},
        {path("folder"), false, ""},
        {path("folder"), true, "folder"},
        {path("link"), false, ""},          // judged by its target, a folder
        {path("link"), true, "link"},
        {path("FILE.TXT"), true, ""},       // names match exactly
        {path("missing"), true, ""},
        {path("folder") + "/", true, "."},
        {path("folder") + "/", false, ""},
        {path("missing") + "/", true, ""},
    };
    for (auto& row : table) EXPECT_EQ(lookupName(row.path, row.dirs), row.expected) << row.path << " " << row.dirs;
}

TEST_F(FileOpsTest, WriteWholeReplacesLongerFileExactly) {
    make("piece", std::string(5000, 'a'));
    EXPECT_EQ(writeWhole(path("piece"), "abc", 3), "");
    EXPECT_EQ(readAll(path("piece")).value(), "abc");
}

TEST_F(FileOpsTest, FailedWriteRemovesTheHalfWrittenFile) {
    // A file-size limit makes the write fail part way, as a full disk would.
    std::string error;
    {
        support::FileSizeLimit limit(1000);
        ASSERT_TRUE(limit.set());
        std::string data(5000, 'z');
        error = writeWhole(path("piece"), data.data(), static_cast<std::int64_t>(data.size()));
    }
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(QFile::exists(QString::fromStdString(path("piece"))));
}

TEST_F(FileOpsTest, CopiedPieceHoldsTheRangeOrNothing) {
    make("src", "0123456789");
    make("big", std::string(5000, 'b'));
    struct Row {
        const char* label;
        const char* source;
        std::int64_t offset, size;
        rlim_t sizeLimit;      // 0: none; else writes past it fail, as on a full disk
        const char* expected;  // the piece; nullptr: no piece and an error
        bool sourceFailed;
        bool linkedToSource = false;   // the piece's name is a link to the source, which must stay whole
    } table[] = {
        {"middle", "src", 3, 4, 0, "3456", false},
        {"to_the_end", "src", 6, 4, 0, "6789", false},
        {"past_the_end", "src", 8, 4, 0, nullptr, true},
        {"missing_source", "missing", 0, 1, 0, nullptr, true},
        {"write_fails", "big", 0, 5000, 1000, nullptr, false},
        {"link_to_the_source", "src", 0, 4, 0, nullptr, false, true},
    };
    for (const Row& row : table) {
        const std::string piece = path(row.label);
        if (row.linkedToSource) {
            ASSERT_EQ(::symlink(row.source, piece.c_str()), 0);
        }
        bool sourceFailed = !row.sourceFailed;
        std::string error;
        {
            std::optional<support::FileSizeLimit> limit;
            if (row.sizeLimit) {
                limit.emplace(row.sizeLimit);
                ASSERT_TRUE(limit->set());
            }
            error = copyInPlaceOf(piece, path(row.source), row.offset, row.size, sourceFailed);
        }
        EXPECT_EQ(error.empty(), row.expected != nullptr) << row.label << ": " << error;
        if (row.linkedToSource) {
            EXPECT_EQ(readAll(path(row.source)).value_or("none"), "0123456789") << row.label;
        } else {
            EXPECT_EQ(readAll(piece).value_or("none"), row.expected ? row.expected : "none") << row.label;
        }
        if (!row.expected) {
            EXPECT_EQ(sourceFailed, row.sourceFailed) << row.label;
        }
    }
}

// A source on another file system (memory, where the test folder is not):
// the kernel refuses to copy across, and the piece comes by read and write,
// in more than one step.
TEST_F(FileOpsTest, PieceFromAnotherFileSystemComesByReadAndWrite) {
    QTemporaryDir other(QStringLiteral("/dev/shm/sqs-test-XXXXXX"));
    struct stat there {}, here {};
    if (!other.isValid() || ::stat(other.path().toStdString().c_str(), &there) != 0 ||
        ::stat(dir.path().toStdString().c_str(), &here) != 0 || there.st_dev == here.st_dev)
        GTEST_SKIP() << "no second file system here";
    std::string bytes(3 << 20, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + i / 4099);
    const std::string source = other.path().toStdString() + "/source";
    ASSERT_EQ(writeWhole(source, bytes.data(), static_cast<std::int64_t>(bytes.size())), "");
    const std::int64_t offset = 1000, size = static_cast<std::int64_t>(bytes.size()) - 2000;
    bool sourceFailed = false;
    ASSERT_EQ(copyInPlaceOf(path("piece"), source, offset, size, sourceFailed), "");
    EXPECT_TRUE(readAll(path("piece")) == bytes.substr(offset, static_cast<std::size_t>(size)));
}

// On tmpfs the next piece's file is made ahead; whatever happens between
// the making and the copy, the piece holds its range or is not there.
TEST(PieceAheadTest, PieceMadeAheadHoldsItsRangeOrNothing) {
    QTemporaryDir dir(QStringLiteral("/dev/shm/sqs-test-XXXXXX"));
    struct statfs fs {};
    if (!dir.isValid() || ::statfs(dir.path().toStdString().c_str(), &fs) != 0 || fs.f_type != TMPFS_MAGIC)
        GTEST_SKIP() << "no tmpfs here";
    const std::string folder = dir.path().toStdString() + "/";
    ASSERT_TRUE(QDir(dir.path()).mkdir("sub"));
    struct Row {
        const char* label;
        std::int64_t aheadOffset, aheadSize, offset, size;
        std::function<void()> between;   // after the making is asked for, before the copy
        const char* expected;            // nullptr: no piece and a read error
    } table[] = {
        {"as_expected", 3, 4, 3, 4, [] {}, "3456"},
        {"another_range", 0, 4, 5, 4, [] {}, "5678"},
        {"another_size", 3, 6, 3, 4, [] {}, "3456"},
        {"source_shrank", 2, 6, 2, 6, [&] { ASSERT_EQ(::truncate((folder + "src").c_str(), 5), 0); }, nullptr},
        {"old_longer_piece", 3, 4, 3, 4, [&] { ASSERT_EQ(writeWhole(folder + "p", "xxxxxxxxxx", 10), ""); }, "3456"},
        {"now_a_link_elsewhere", 0, 3, 0, 3,
         [&] { ASSERT_EQ(::symlink((folder + "sub/q").c_str(), (folder + "p").c_str()), 0); }, "012"},
    };
    for (const Row& row : table) {
        ::unlink((folder + "p").c_str());
        ::unlink((folder + "sub/q").c_str());
        ASSERT_EQ(writeWhole(folder + "src", "0123456789", 10), "");
        PieceAhead ahead;
        ahead.prepare(folder + "src", row.aheadOffset, row.aheadSize, folder + "p");
        row.between();
        bool sourceFailed = false;
        const std::string error = copyInPlaceOf(folder + "p", folder + "src", row.offset, row.size, sourceFailed, &ahead);
        EXPECT_EQ(error.empty(), row.expected != nullptr) << row.label << ": " << error;
        EXPECT_EQ(sourceFailed, row.expected == nullptr) << row.label;
        EXPECT_EQ(readAll(folder + "p").value_or("none"), row.expected ? row.expected : "none") << row.label;
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(),
                  row.expected ? 3 : 2) << row.label;   // src, sub and the piece: no hidden leftover
    }
}

TEST_F(FileOpsTest, ReadAtReportsShortFiles) {
    make("src", "0123456789");
    char buffer[4] = {};
    EXPECT_EQ(readAt(path("src"), 6, buffer, 4), "");
    EXPECT_EQ(std::string(buffer, 4), "6789");
    EXPECT_NE(readAt(path("src"), 8, buffer, 4), "");
    EXPECT_NE(readAt(path("missing"), 0, buffer, 1), "");
}

TEST_F(FileOpsTest, AtomicReplaceLeavesNoTemporaryFileOnFailure) {
    EXPECT_NE(replaceAtomically(path("none/SQS.ini"), "x"), "");
    QDir(dir.path()).mkdir("target");   // a folder cannot be replaced by a file
    EXPECT_NE(replaceAtomically(path("target"), "x"), "");
    // Nor a pipe (or a device), named or reached through a link; reading one does not wait for a writer.
    ASSERT_EQ(::mkfifo(path("pipe").c_str(), 0600), 0);
    ASSERT_EQ(::symlink("pipe", path("linked").c_str()), 0);
    for (const char* name : {"pipe", "linked"}) {
        EXPECT_NE(replaceAtomically(path(name), "x"), "") << name;
        EXPECT_FALSE(readAll(path(name))) << name;
    }
    struct stat st {};
    ASSERT_EQ(::lstat(path("pipe").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    ::unlink(path("pipe").c_str());
    ::unlink(path("linked").c_str());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 0);
    EXPECT_EQ(replaceAtomically(path("SQS.ini"), "new"), "");
    EXPECT_EQ(readAll(path("SQS.ini")).value(), "new");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
    // A name of 255 bytes is replaced too (its hidden name gives up its end).
    const std::string longest = std::string(251, 'n') + ".bat";
    for (const char* bytes : {"old", "new"}) EXPECT_EQ(replaceAtomically(path(longest.c_str()), bytes), "") << bytes;
    EXPECT_EQ(readAll(path(longest.c_str())).value_or("none"), "new");
}

// The settings file (and every piece): a read-only file is never replaced,
// a linked one is replaced where it lies and the link stays.
TEST_F(FileOpsTest, ReplacedFileKeepsItsLinkAndItsProtection) {
    struct {
        const char* label;
        std::function<void(FileOpsTest&)> setUp;
        bool written;
        std::string target;   // the file that must hold the bytes afterwards (or keep "old")
    } table[] = {
        {"plain", [](FileOpsTest& t) { t.make("SQS.ini", "old"); }, true, "SQS.ini"},
        {"read_only", [](FileOpsTest& t) { t.make("SQS.ini", "old"); ::chmod(t.path("SQS.ini").c_str(), 0444); }, false, "SQS.ini"},
        {"linked", [](FileOpsTest& t) {
             QDir(t.dir.path()).mkdir("real");
             t.make("real/SQS.ini", "old");
             EXPECT_EQ(::symlink("real/SQS.ini", t.path("SQS.ini").c_str()), 0);
         }, true, "real/SQS.ini"},
        {"linked_read_only", [](FileOpsTest& t) {
             QDir(t.dir.path()).mkdir("real");
             t.make("real/SQS.ini", "old");
             ::chmod(t.path("real/SQS.ini").c_str(), 0400);
             EXPECT_EQ(::symlink("real/SQS.ini", t.path("SQS.ini").c_str()), 0);
         }, false, "real/SQS.ini"},
        {"dangling_link", [](FileOpsTest& t) {
             QDir(t.dir.path()).mkdir("real");
             EXPECT_EQ(::symlink("real/SQS.ini", t.path("SQS.ini").c_str()), 0);
         }, true, "real/SQS.ini"},
        // Planted by another user in a folder like /tmp: not followed (as root,
        // who may give the link away; otherwise it is ours and followed).
        {"others_link_in_shared_folder", [](FileOpsTest& t) {
             QDir(t.dir.path()).mkdir("real");
             t.make("real/SQS.ini", "old");
             EXPECT_EQ(::symlink("real/SQS.ini", t.path("SQS.ini").c_str()), 0);
             ::chmod(t.dir.path().toLocal8Bit().constData(), 01777);
             if (::geteuid() == 0) {
                 EXPECT_EQ(::lchown(t.path("SQS.ini").c_str(), 4321, 4321), 0);
             }
         }, ::geteuid() != 0, "real/SQS.ini"},
    };
    for (auto& row : table) {
        for (const std::function<std::string(const std::string&)>& write :
             {std::function<std::string(const std::string&)>([](const std::string& p) { return replaceAtomically(p, "new"); }),
              std::function<std::string(const std::string&)>([](const std::string& p) { return writeWhole(p, "new", 3); })}) {
            QDir(dir.path()).removeRecursively();
            QDir().mkpath(dir.path());
            row.setUp(*this);
            struct stat before {};
            ::stat(path(row.target.c_str()).c_str(), &before);
            const std::string error = write(path("SQS.ini"));
            EXPECT_EQ(error.empty(), row.written) << row.label << ": " << error;
            EXPECT_EQ(readAll(path(row.target.c_str())).value_or("none"), row.written ? "new" : "old") << row.label;
            if (std::string(row.label).find("link") != std::string::npos) {
                struct stat link {};
                ASSERT_EQ(::lstat(path("SQS.ini").c_str(), &link), 0);
                EXPECT_TRUE(S_ISLNK(link.st_mode)) << row.label;
            }
            struct stat after {};
            ::stat(path(row.target.c_str()).c_str(), &after);
            if (before.st_mode) {
                EXPECT_EQ(after.st_mode, before.st_mode) << row.label;
            }
            EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).filter(QRegularExpression("^\\.")), QStringList())
                << row.label;
        }
    }
}

TEST_F(FileOpsTest, LengthIsSixtyFourBitAndRefusesFolders) {
    make("big", "");
    ASSERT_EQ(::truncate(path("big").c_str(), (std::int64_t{5} << 30)), 0);   // sparse 5 GiB
    std::string error;
    EXPECT_EQ(length(path("big"), error).value(), std::int64_t{5} << 30);
    EXPECT_FALSE(length(dir.path().toStdString(), error).has_value());
    EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace sqs::files

// The reading commands of the tool as a whole: x/e/p over the shared
// samples and the hostile archives, pieces read as one, d and a, and the
// round trip of a tree through u and x.
#include "archiver/codec/bit_writer.h"
#include "archiver/codec/crc16.h"
#include "archiver/codec/old_decoders.h"
#include "archiver/command/run_command.h"
#include "archiver/format/archive_reader.h"
#include "archiver/format/archive_source.h"
#include "tests/archiver/archive_fixture.h"
#include "tests/support/file_size_limit.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

namespace lzh {
namespace {

using test::ArchiveFixture;

std::string samplesDir() {
    const char* shared = std::getenv("SQS_SHARED_DIR");
    return std::string(shared ? shared : "../shared") + "/lzh-samples";
}

bool haveSamples() {
    struct stat st {};
    return ::stat((samplesDir() + "/manifest.tsv").c_str(), &st) == 0;
}

class ExtractTest : public ArchiveFixture {
protected:
    int run(const std::string& text, std::string* report = nullptr) {
        std::string r;
        const int status = runCommand(text, r);
        if (report) *report = r;
        return status;
    }
    // Every path below `root` (folders with a closing "/", links as "name -> target").
    std::map<std::string, std::string> tree(const std::string& root) {
        std::map<std::string, std::string> found;
        QDirIterator it(QString::fromStdString(root), QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QFileInfo info(it.next());
            const std::string relative = QDir(QString::fromStdString(root)).relativeFilePath(info.filePath()).toStdString();
            if (info.isSymLink()) found[relative] = "-> " + info.symLinkTarget().toStdString();
            else if (info.isDir()) found[relative + "/"] = "";
            else found[relative] = bytesOf(info.filePath().toStdString());
        }
        return found;
    }
};

// Every sample comes back through x with the sizes and CRCs of the
// manifest (-lh2- and -lh3- too, which no other reader here decodes); the
// names are those lhasa gives.
TEST_F(ExtractTest, SamplesExtractWithTheirManifestCrcs) {
    if (!haveSamples()) GTEST_SKIP() << "no shared samples here";
    std::ifstream in(samplesDir() + "/manifest.tsv");
    std::string line;
    std::getline(in, line);
    std::map<std::string, std::vector<std::vector<std::string>>> rows;
    while (std::getline(in, line)) {
        std::vector<std::string> f;
        std::stringstream ss(line);
        for (std::string cell; std::getline(ss, cell, '\t');) f.push_back(cell);
        if (f.size() >= 12) rows[f[0]].push_back(f);
    }
    int files = 0;
    for (const auto& [archive, members] : rows) {
        if (archive.rfind("regression/", 0) == 0 || archive == "lha_unix114i/h0_subdir.lzh") continue;
        const std::string dest = path(archive) + "/";
        std::string report;
        const int status = run("x -q " + samplesDir() + "/" + archive + " " + dest, &report);
        const bool linkOutside = archive.find("symlink3") != std::string::npos;
        EXPECT_EQ(status, linkOutside ? 1 : 0) << archive << "\n" << report;
        for (const std::vector<std::string>& m : members) {
            std::string name = m[3];
            if (!m[10].empty() || name.back() == '/') continue;   // links and folders
            if (name[0] == '/') name.erase(0, 1);
            std::string lower = name;
            for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            // Names from case-blind systems are lower-cased when they hold no lower case.
            const bool caseless = (m[4] == "0" || m[6] == "M") &&
                                  std::none_of(name.begin(), name.end(), [](char c) { return c >= 'a' && c <= 'z'; });
            const std::string data = bytesOf(dest + (caseless ? lower : name));
            EXPECT_EQ(data.size(), std::stoull(m[7])) << archive << ": " << name;
            EXPECT_EQ(crc16(reinterpret_cast<const std::uint8_t*>(data.data()), data.size()), std::stoul(m[9], nullptr, 16))
                << archive << ": " << name;
            ++files;
        }
    }
    EXPECT_GE(files, 80);
}

struct Hostile {
    const char* archive;
    int status;
    const char* warning;                       // in the report
    std::map<std::string, std::string> tree;   // the destination afterwards
};

class HostileTest : public ExtractTest, public ::testing::WithParamInterface<Hostile> {};

// Nothing lands outside the destination; what was changed or refused is said.
TEST_P(HostileTest, WritesOnlyInsideTheDestination) {
    if (!haveSamples()) GTEST_SKIP() << "no shared samples here";
    const Hostile& c = GetParam();
    // A link left by an earlier extraction must not be written through.
    ASSERT_EQ(::mkdir(path("out").c_str(), 0755), 0);
    ASSERT_EQ(::symlink("../outside", path("out/etc").c_str()), 0);
    ASSERT_EQ(::mkdir(path("outside").c_str(), 0755), 0);
    std::string report;
    EXPECT_EQ(run(std::string("x ") + samplesDir() + "/regression/" + c.archive + " " + path("out") + "/", &report),
              c.status)
        << report;
    EXPECT_NE(report.find(c.warning), std::string::npos) << report;
    EXPECT_EQ(report.find('\x1b'), std::string::npos);
    EXPECT_TRUE(tree(path("outside")).empty());
    std::map<std::string, std::string> expected = c.tree;
    expected.emplace("etc", "-> " + path("outside"));
    EXPECT_EQ(tree(path("out")), expected) << report;
}

INSTANTIATE_TEST_SUITE_P(
    Regression, HostileTest,
    ::testing::Values(
        Hostile{"abspath.lzh", 0, "made relative", {{"tmp/", ""}, {"tmp/absolute_path.txt", "This is a file that has an absolute filename.\n"}}},
        Hostile{"dotdot.lzh", 0, "\"..\" removed", {{"evil1.txt", "this is bad.\n"}, {"evil2.txt", "this is also bad.\n"}}},
        Hostile{"badterm.lzh", 0, "\\x1B]2;malicious\\x07", {{"tmp/", ""}, {"tmp/_]2;malicious__", ""}}},
        Hostile{"symlink1.lzh", 1, "a file of that name is in the way", {{"foo.txt", "hello world\n"}}},
        Hostile{"symlink2.lzh", 1, "a file or link is in the way: etc", {}},
        Hostile{"symlink3.lzh", 1, "a file or link is in the way: etc", {}},
        Hostile{"unixsep.lzh", 0, "subdir/subdir2/hello.txt",
                {{"subdir/", ""}, {"subdir/subdir2/", ""}, {"subdir/subdir2/hello.txt", "hello world\n"}}},
        Hostile{"truncated.lzh", 1, "runs past the end", {}}),
    [](const auto& info) {
        std::string name = info.param.archive;
        return name.substr(0, name.find('.'));
    });

TEST_F(ExtractTest, LinksOnlyWhenTheyAndTheirTargetStayInside) {
    if (!haveSamples()) GTEST_SKIP() << "no shared samples here";
    std::string report;
    // Without the planted link: etc/passwd is a real file, the links are refused.
    EXPECT_EQ(run("x " + samplesDir() + "/regression/symlink2.lzh " + path("a") + "/", &report), 1);
    EXPECT_NE(report.find("may lead outside"), std::string::npos) << report;
    EXPECT_EQ(tree(path("a")), (std::map<std::string, std::string>{{"etc/", ""}, {"etc/passwd", "this is bad\n"}}));
    // Inside links are made, even when their target does not exist yet.
    EXPECT_EQ(run("x " + samplesDir() + "/lha_unix114i/h2_symlink2.lzh " + path("b") + "/"), 0);
    EXPECT_EQ(tree(path("b")), (std::map<std::string, std::string>{{"symlink", "-> " + path("b/path/to/target")}}));
}

// A link on disk is replaced as a file is: by a newer member, or with -c1.
TEST_F(ExtractTest, LinkOnDiskIsReplacedOnlyByANewerMember) {
    if (!haveSamples()) GTEST_SKIP() << "no shared samples here";
    struct { const char* name; std::time_t linkTime; const char* switches; const char* after; } table[] = {
        {"newer_link_kept", std::time(nullptr), "", "mine"},
        {"c1_replaces", std::time(nullptr), "-c1 ", "path/to/target"},
        {"older_link_replaced", 100000000, "", "path/to/target"},
    };
    for (const auto& row : table) {
        const std::string dir = path(row.name);
        ASSERT_EQ(::mkdir(dir.c_str(), 0755), 0);
        ASSERT_EQ(::symlink("mine", (dir + "/symlink").c_str()), 0);
        const struct timespec times[2] = {{row.linkTime, 0}, {row.linkTime, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, (dir + "/symlink").c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
        EXPECT_EQ(run(std::string("x ") + row.switches + samplesDir() + "/lha_unix114i/h2_symlink2.lzh " + dir + "/"), 0);
        char target[64] = {};
        ASSERT_GT(::readlink((dir + "/symlink").c_str(), target, sizeof target - 1), 0) << row.name;
        EXPECT_STREQ(target, row.after) << row.name;
        EXPECT_EQ(tree(dir).size(), 1u) << row.name;   // no hidden name left beside it
    }
}

// v shows what l does, with each member's CRC, system and permissions.
TEST_F(ExtractTest, VerboseListingShowsCrcSystemAndPermissions) {
    if (!haveSamples()) GTEST_SKIP() << "no shared samples here";
    struct { const char* sample; const char* columns; } table[] = {
        {"explzh_723/h1_lh5.lzh", " 38.7% -lh5- A33A M  [generic]  "},       // MS-DOS: no permissions
        {"explzh_723/h0_lh5.lzh", " -lh5- A33A -  [generic]  "},             // level 0: no system
        {"lha_unix114i/h2_symlink2.lzh", " -lhd- 0000 U  lrwxrwxrwx "},
    };
    for (const auto& row : table) {
        std::string listing, verbose;
        ASSERT_EQ(run("l " + samplesDir() + "/" + row.sample, &listing), 0) << row.sample;
        ASSERT_EQ(run("v " + samplesDir() + "/" + row.sample, &verbose), 0) << row.sample;
        EXPECT_EQ(listing.find("CRC"), std::string::npos) << listing;
        EXPECT_EQ(verbose.rfind("    ORIGINAL       PACKED  RATIO METHD CRC  OS PERMISSION STAMP", 0), 0u) << verbose;
        EXPECT_NE(verbose.find(row.columns), std::string::npos) << verbose;
    }
}

// v shows the set-id and sticky bits an archive asks for, as ls does.
TEST_F(ExtractTest, VerboseListingShowsSpecialBits) {
    const struct { const char* name; mode_t mode; const char* shown; } table[] = {
        {"setuid", 04755, "-rwsr-xr-x"}, {"setgid", 02640, "-rw-r-S---"}, {"sticky", 01644, "-rw-r--r-T"}};
    for (const auto& row : table) {
        writeFile(std::string("src/") + row.name, "x");
        ASSERT_EQ(::chmod(path(std::string("src/") + row.name).c_str(), row.mode), 0);
        ASSERT_EQ(run("a -q " + path("s.lzh") + " " + path("src") + "/ " + row.name), 0);
    }
    std::string listing;
    ASSERT_EQ(run("v " + path("s.lzh"), &listing), 0);
    for (const auto& row : table) EXPECT_NE(listing.find(std::string(row.shown) + " "), std::string::npos) << listing;
}

TEST_F(ExtractTest, TreeComesBackThroughUpdateAndExtract) {
    writeFile("src/日本語フォルダ/ソ表.txt", "sjis 5C trail\n");
    writeFile("src/Ωé€.txt", "outside CP932\n");
    writeFile("src/sub/run.sh", "#!/bin/sh\necho hi\n");
    // Down, back up and across: each file lands in its own folder.
    writeFile("src/deep/er/down.txt", "down\n");
    writeFile("src/deep/up.txt", "up\n");
    writeFile("src/deep2/across.txt", "across\n");
    ASSERT_EQ(::mkdir(path("src/empty").c_str(), 0750), 0);
    ASSERT_EQ(::chmod(path("src/sub/run.sh").c_str(), 0755), 0);
    struct utimbuf when {1600000000, 1600000000};
    ::utime(path("src/sub/run.sh").c_str(), &when);
    ::utime(path("src/empty").c_str(), &when);
    ASSERT_EQ(run("u -r2 -x1 " + path("t.lzh") + " " + path("src") + "/ ."), 0);
    std::string report;
    ASSERT_EQ(run("x " + path("t.lzh") + " " + path("out") + "/", &report), 0) << report;
    EXPECT_EQ(tree(path("out")), tree(path("src")));
    for (const char* name : {"sub/run.sh", "empty", "Ωé€.txt"}) {
        struct stat a {}, b {};
        ASSERT_EQ(::stat(path(std::string("src/") + name).c_str(), &a), 0);
        ASSERT_EQ(::stat(path(std::string("out/") + name).c_str(), &b), 0);
        EXPECT_EQ(a.st_mode, b.st_mode) << name;
        EXPECT_EQ(a.st_mtime, b.st_mtime) << name;
    }
    // e drops the folders; p prints one member.
    ASSERT_EQ(run("e " + path("t.lzh") + " " + path("flat") + "/ sub/*"), 0);
    EXPECT_EQ(tree(path("flat")), (std::map<std::string, std::string>{{"run.sh", "#!/bin/sh\necho hi\n"}}));
}

// Small members are decoded ahead on other threads: the files, the report
// and the faults are those of one thread, whatever the count (members
// small and large, stored, kept, damaged, and two under one name for e).
TEST_F(ExtractTest, ExtractionIsTheSameOnAnyThreads) {
    std::string text;
    for (int i = 0; text.size() < 1600000; ++i) text += "line " + std::to_string(i * 7919 % 1000) + "\n";
    writeFile("src/big.txt", text);                      // over the size decoded ahead
    writeFile("src/stored", "short");
    for (const char* name : {"a.txt", "sub/a.txt", "sub/b.txt", "sub/bad.txt", "z.txt"})
        writeFile(std::string("src/") + name, std::string(name) + text.substr(0, 5000));
    ASSERT_EQ(run("u -r2 -x1 -jm7 " + path("t.lzh") + " " + path("src") + "/ ."), 0);
    std::vector<ArchiveMember> members;
    std::string archive = bytesOf(path("t.lzh"));
    ASSERT_EQ(readArchive(std::vector<std::uint8_t>(archive.begin(), archive.end()), members), "");
    for (const ArchiveMember& m : members)
        if (m.name == "sub/bad.txt") archive[m.dataOffset + m.packedSize / 2] ^= 0x10;
    writeFile("t.lzh", archive);
    std::map<std::string, std::string> first;
    std::string firstReport;
    for (const char* threads : {"1", "2", "3"}) {
        for (const char* command : {"x", "e"}) {
            const std::string out = path(std::string("out") + command + threads);
            writeFile(std::string("out") + command + threads + "/z.txt", "newer");   // kept: not older
            std::string report;
            EXPECT_EQ(run(std::string(command) + " --threads=" + threads + " " + path("t.lzh") + " " + out + "/", &report), 1)
                << command << threads;
            const std::map<std::string, std::string> files = tree(out);
            if (threads == std::string("1")) {
                if (command == std::string("x")) first = files, firstReport = report;
                continue;
            }
            if (command == std::string("x")) {
                EXPECT_EQ(files, first) << threads;
                EXPECT_EQ(report, firstReport) << threads;
            } else {
                EXPECT_EQ(files, tree(path(std::string("oute1")))) << threads;
            }
        }
    }
    EXPECT_EQ(first.at("big.txt"), text);
    EXPECT_EQ(first.at("z.txt"), "newer");
    EXPECT_EQ(first.count("sub/bad.txt"), 0u);
    EXPECT_NE(firstReport.find("sub/bad.txt"), std::string::npos) << firstReport;
}

// A stored level-0 member of one byte with this DOS stamp, as older tools wrote them.
std::string level0Member(const std::string& name, const std::string& data, std::uint32_t dos) {
    std::string h = std::string(1, '\0') + std::string(1, '\0') + "-lh0-";
    for (int field = 0; field < 2; ++field) h += std::string{static_cast<char>(data.size()), '\0', '\0', '\0'};
    for (int shift = 0; shift < 32; shift += 8) h += static_cast<char>(dos >> shift);
    h += std::string{'\x20', '\0', static_cast<char>(name.size())} + name;
    const std::uint16_t crc = crc16(reinterpret_cast<const std::uint8_t*>(data.data()), data.size());
    h += std::string{static_cast<char>(crc), static_cast<char>(crc >> 8)};
    h[0] = static_cast<char>(h.size() - 2);
    unsigned sum = 0;
    for (std::size_t i = 2; i < h.size(); ++i) sum += static_cast<unsigned char>(h[i]);
    h[1] = static_cast<char>(sum);
    return h + data;
}

std::uint32_t dosStamp(int year, int month, int day, int hour, int minute, int second) {
    return static_cast<std::uint32_t>((year - 1980) << 25 | month << 21 | day << 16 | hour << 11 | minute << 5 |
                                      second / 2);
}

// A DOS stamp steps by two seconds, and writers round either way: a file
// less than two seconds from it is of its age, for u and for x. In the hour
// a clock goes back, a stamp is always its first reading.
TEST_F(ExtractTest, DosStampsAreReadAtTheirOwnResolution) {
    const std::string zone = std::getenv("TZ") ? std::getenv("TZ") : "";
    ::setenv("TZ", "America/New_York", 1);
    ::tzset();
    // 2023-07-14 10:20:12 EDT; 2023-11-05 01:30 EDT, read first of the two.
    const std::time_t member = 1689344412, twice = 1699162200;
    writeFile("d.lzh", level0Member("a.txt", "a", dosStamp(2023, 7, 14, 10, 20, 12)) + std::string(1, '\0'));
    const struct { int fileOffset; const char* command; bool replaced; } table[] = {
        {1, "u", false}, {2, "u", true}, {-1, "x", false}, {-2, "x", true},
    };
    for (const auto& row : table) {
        writeFile("w.lzh", bytesOf(path("d.lzh")));
        writeFile("f/a.txt", "b");
        struct utimbuf at {member + row.fileOffset, member + row.fileOffset};
        ::utime(path("f/a.txt").c_str(), &at);
        std::string report;
        const std::string args = row.command == std::string("u") ? "u " + path("w.lzh") + " " + path("f") + "/ a.txt"
                                                                 : "x " + path("w.lzh") + " " + path("f") + "/";
        EXPECT_EQ(run(args, &report), 0) << report;
        const bool changed = row.command == std::string("u") ? bytesOf(path("w.lzh")) != bytesOf(path("d.lzh"))
                                                             : bytesOf(path("f/a.txt")) == "a";
        EXPECT_EQ(changed, row.replaced) << row.command << " " << row.fileOffset << ": " << report;
    }
    for (const char* first : {"", "w.txt"}) {
        std::string archive = first[0] ? level0Member(first, "w", dosStamp(2023, 1, 1, 0, 0, 0)) : "";
        writeFile("a.lzh", archive + level0Member("b.txt", "b", dosStamp(2023, 11, 5, 1, 30, 0)) + std::string(1, '\0'));
        ASSERT_EQ(run("x -c1 " + path("a.lzh") + " " + path("g") + "/"), 0);
        struct stat st {};
        ASSERT_EQ(::stat(path("g/b.txt").c_str(), &st), 0);
        EXPECT_EQ(st.st_mtime, twice) << first;
    }
    if (zone.empty()) ::unsetenv("TZ");
    else ::setenv("TZ", zone.c_str(), 1);
    ::tzset();
}

// A level-2 stamp of 0 is a time (1970), and comes back; a DOS stamp of 0
// is none: the file keeps the time it was written, and l shows no date.
TEST_F(ExtractTest, StampOfZeroIsATimeOnlyWhereTheHeaderCanSayNone) {
    writeFile("src/epoch.txt", "e");
    struct utimbuf epoch {0, 0};
    ASSERT_EQ(::utime(path("src/epoch.txt").c_str(), &epoch), 0);
    ASSERT_EQ(run("u " + path("level2.lzh") + " " + path("src") + "/ epoch.txt"), 0);
    // A level-0 member, stored, with a DOS stamp of 0.
    writeFile("level0.lzh", level0Member("dos.txt", "d", 0) + std::string(1, '\0'));

    struct { const char* archive; const char* file; bool epochTime; } table[] = {
        {"level2.lzh", "epoch.txt", true},
        {"level0.lzh", "dos.txt", false},
    };
    for (const auto& row : table) {
        std::string listing;
        ASSERT_EQ(run("l " + path(row.archive), &listing), 0) << row.archive << ": " << listing;
        EXPECT_EQ(listing.find("0000-00-00") == std::string::npos, row.epochTime) << listing;
        ASSERT_EQ(run("x " + path(row.archive) + " " + path("out") + "/"), 0) << row.archive;
        struct stat st {};
        ASSERT_EQ(::stat(path(std::string("out/") + row.file).c_str(), &st), 0) << row.file;
        EXPECT_EQ(st.st_mtime == 0, row.epochTime) << row.file;
        EXPECT_GT(st.st_mtime + 0, row.epochTime ? -1 : 1000000000) << row.file;
    }
}

TEST_F(ExtractTest, ExistingFilesAreReplacedOnlyByNewerMembers) {
    writeFile("src/a.txt", "archived");
    struct utimbuf archived {1600000000, 1600000000}, newer {1700000000, 1700000000}, older {1500000000, 1500000000};
    ::utime(path("src/a.txt").c_str(), &archived);
    ASSERT_EQ(run("u " + path("t.lzh") + " " + path("src") + "/ a.txt"), 0);
    const std::string x = "x " + path("t.lzh") + " " + path("out") + "/";
    writeFile("out/a.txt", "edited");
    ::utime(path("out/a.txt").c_str(), &newer);
    ASSERT_EQ(run(x), 0);
    EXPECT_EQ(bytesOf(path("out/a.txt")), "edited");
    ::utime(path("out/a.txt").c_str(), &older);
    ASSERT_EQ(run(x), 0);
    EXPECT_EQ(bytesOf(path("out/a.txt")), "archived");
    writeFile("out/a.txt", "edited");
    ::utime(path("out/a.txt").c_str(), &newer);
    ASSERT_EQ(run("x -c1 " + path("t.lzh") + " " + path("out") + "/"), 0);
    EXPECT_EQ(bytesOf(path("out/a.txt")), "archived");
}

// p writes the members' bytes, in archive order, to the standard output; a
// standard output that cannot be written stops it at the first member, with
// the reason.
// e puts members of two folders under one name: the second never replaces
// what the first just wrote, whatever the dates or -c1 say.
TEST_F(ExtractTest, ExtractionWithoutPathsKeepsTheFirstOfTwoNamesakes) {
    writeFile("src/d1/a.txt", "first");
    writeFile("src/d2/a.txt", "second, newer");
    struct utimbuf old {1500000000, 1500000000};
    ::utime(path("src/d1/a.txt").c_str(), &old);
    ASSERT_EQ(run("u -x1 " + path("t.lzh") + " " + path("src") + "/ d1/a.txt d2/a.txt"), 0);
    for (const char* extra : {"", "-c1 "}) {
        std::string report;
        EXPECT_EQ(run(std::string("e ") + extra + path("t.lzh") + " " + path("flat") + "/", &report), 1) << extra;
        EXPECT_NE(report.find("d2/a.txt: not extracted: a.txt was just extracted from d1/a.txt"), std::string::npos)
            << report;
        EXPECT_EQ(bytesOf(path("flat/a.txt")), "first") << extra;
    }
}

// A member named like its archive, extracted beside it, never replaces the
// archive being read (whatever the dates or -c1 say).
TEST_F(ExtractTest, MemberNamedLikeItsArchiveLeavesTheArchive) {
    writeFile("src/box.lzh", "an older archive, stored as a member");
    struct utimbuf future {2000000000, 2000000000};
    ::utime(path("src/box.lzh").c_str(), &future);
    ASSERT_EQ(run("u " + path("box.lzh") + " " + path("src") + "/ box.lzh"), 0);
    const std::string archive = bytesOf(path("box.lzh"));
    for (const char* extra : {"", "-c1 "}) {
        std::string report;
        EXPECT_EQ(run(std::string("x ") + extra + path("box.lzh") + " " + dir() + "/", &report), 1) << extra;
        EXPECT_NE(report.find("box.lzh: not extracted: it would replace the archive being read"), std::string::npos)
            << report;
        EXPECT_EQ(bytesOf(path("box.lzh")), archive) << extra;
    }
}

TEST_F(ExtractTest, PrintWritesTheMembersOrStopsWithTheReason) {
    writeFile("src/d/a.txt", "first\n");
    writeFile("src/b.txt", "second\n");
    ASSERT_EQ(run("u -r2 -x1 " + path("t.lzh") + " " + path("src") + "/ ."), 0);
    const struct { const char* names; const char* output; int status; const char* said; } table[] = {
        {"", "to.txt", 0, ""},
        {" d/*", "to.txt", 0, ""},
        {"", "/dev/full", 1, "b.txt: cannot write to the standard output: "},
    };
    for (const auto& row : table) {
        const std::string output = row.output[0] == '/' ? row.output : path(row.output);
        std::fflush(stdout);
        const int saved = ::dup(STDOUT_FILENO);
        const int to = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(to, STDOUT_FILENO);
        ::close(to);
        std::string report;
        const int status = run("p " + path("t.lzh") + row.names, &report);
        ::dup2(saved, STDOUT_FILENO);
        ::close(saved);
        EXPECT_EQ(status, row.status) << row.names << ": " << report;
        EXPECT_NE(report.find(row.said), std::string::npos) << report;
        EXPECT_EQ(report.find("d/a.txt: cannot"), std::string::npos) << report;   // stopped at the first
        if (row.status == 0) {
            EXPECT_EQ(bytesOf(output), *row.names ? "first\n" : "second\nfirst\n") << row.names;
        }
    }
}

// A full disk (here a file-size limit) while a member is written: the file
// it would replace stays as it was, no half-written file is left, and the
// report names the member and the reason.
TEST_F(ExtractTest, FullDiskLeavesTheOldFileAndNoPartOfTheNew) {
    writeFile("src/big.txt", test::mixedRecords(300000, 3));
    ASSERT_EQ(run("u " + path("t.lzh") + " " + path("src") + "/ big.txt"), 0);
    writeFile("out/big.txt", "older");
    struct utimbuf older {1000000000, 1000000000};
    ::utime(path("out/big.txt").c_str(), &older);
    std::string report;
    int status;
    {
        support::FileSizeLimit limit(100000);
        ASSERT_TRUE(limit.set());
        status = run("x " + path("t.lzh") + " " + path("out") + "/", &report);
    }
    EXPECT_EQ(status, 1);
    EXPECT_NE(report.find("big.txt"), std::string::npos) << report;
    EXPECT_NE(report.find("cannot write: "), std::string::npos) << report;
    EXPECT_EQ(tree(path("out")), (std::map<std::string, std::string>{{"big.txt", "older"}}));
}

TEST_F(ExtractTest, PiecesReadAsOneArchive) {
    // A 4 MB archive: noise is stored as it is.
    std::string big(4'000'000, '\0');
    std::uint32_t seed = 12345;
    for (char& c : big) c = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 24);
    writeFile("src/big.txt", big);
    writeFile("src/small.txt", "small");
    ASSERT_EQ(run("u " + path("whole.lzh") + " " + path("src") + "/ big.txt small.txt"), 0);
    const std::string whole = bytesOf(path("whole.lzh"));
    const std::size_t piece = whole.size() / 3 + 1;
    for (unsigned n = 0; n * piece < whole.size(); ++n)
        writeFile(pieceName("cut.lzh", n + 1), whole.substr(n * piece, piece));
    std::string whole_l, cut_l;
    ASSERT_EQ(run("l " + path("whole.lzh"), &whole_l), 0);
    for (const char* name : {"cut.lzh.001", "cut.lzh"}) {
        std::string report;
        ASSERT_EQ(run(std::string("l ") + path(name), &report), 0) << report;
        EXPECT_EQ(report.substr(report.find('\n')), whole_l.substr(whole_l.find('\n')));
        EXPECT_EQ(run(std::string("t ") + path(name)), 0);
    }
    ASSERT_EQ(run("x " + path("cut.lzh.001") + " " + path("out") + "/"), 0);
    EXPECT_EQ(bytesOf(path("out/big.txt")), big);
    // Pieces are never updated. A new archive under their name is made apart
    // from them (as a pack does before it splits again), with a warning.
    const struct { const char* command; int status; const char* said; } updates[] = {
        {"u cut.lzh.001", 1, "is the first piece of a split archive, and pieces cannot be updated"},
        {"d cut.lzh.001", 1, "is the first piece of a split archive, and pieces cannot be updated"},
        {"d cut.lzh", 1, "(only the pieces of a split archive, which cannot be updated: join them first)"},
        {"u cut.lzh", 0, "cut.lzh is a new archive, apart from the pieces of the split archive of that name"},
    };
    for (const auto& row : updates) {
        const std::string letter(row.command, 1), archive = path(row.command + 2);
        std::string report;
        EXPECT_EQ(run(letter + " " + archive + " " + path("src") + "/ small.txt", &report), row.status) << row.command;
        EXPECT_NE(report.find(row.said), std::string::npos) << report;
    }
    std::string listing;
    ASSERT_EQ(run("l " + path("cut.lzh"), &listing), 0);
    EXPECT_NE(listing.find("Total 1 member"), std::string::npos) << listing;
    EXPECT_EQ(bytesOf(path("cut.lzh.001")), whole.substr(0, piece));
    ASSERT_EQ(::unlink(path("cut.lzh").c_str()), 0);
    // A short last piece and a missing middle piece are named.
    std::string report;
    ASSERT_EQ(::truncate(path("cut.lzh.003").c_str(), 10), 0);
    EXPECT_EQ(run("t " + path("cut.lzh"), &report), 1);
    EXPECT_NE(report.find("cut.lzh.003 is short"), std::string::npos) << report;
    ASSERT_EQ(::truncate(path("cut.lzh.002").c_str(), static_cast<off_t>(piece) - 100), 0);
    EXPECT_EQ(run("t " + path("cut.lzh"), &report), 1);
    EXPECT_NE(report.find("cut.lzh.002 is short: " + std::to_string(piece - 100) + " bytes"), std::string::npos)
        << report;
    ASSERT_EQ(::unlink(path("cut.lzh.002").c_str()), 0);
    EXPECT_EQ(run("x " + path("cut.lzh.001") + " " + path("out2") + "/", &report), 1);
    EXPECT_NE(report.find("piece missing: " + path("cut.lzh.002")), std::string::npos) << report;
}

// More pieces than the soft limit of open files allows (a file of 1.5 GB
// makes over 1,000 floppy pieces): the limit is raised as far as it goes.
TEST_F(ExtractTest, PiecesBeyondTheOpenFileLimitAreRead) {
    struct rlimit before {};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &before), 0);
    if (before.rlim_max < 512) GTEST_SKIP() << "hard limit of open files too low here";
    writeFile("src/a.txt", std::string(60'000, 'a') + "end");
    ASSERT_EQ(run("u " + path("whole.lzh") + " " + path("src") + "/ a.txt"), 0);
    const std::string whole = bytesOf(path("whole.lzh"));
    const std::size_t piece = whole.size() / 150 + 1;
    for (unsigned n = 0; n * piece < whole.size(); ++n)
        writeFile(pieceName("cut.lzh", n + 1), whole.substr(n * piece, piece));
    struct rlimit low = before;
    low.rlim_cur = 64;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
    std::string report;
    const int status = run("x " + path("cut.lzh.001") + " " + path("out") + "/", &report);
    ::setrlimit(RLIMIT_NOFILE, &before);
    EXPECT_EQ(status, 0) << report;
    EXPECT_EQ(bytesOf(path("out/a.txt")), std::string(60'000, 'a') + "end");
}

TEST_F(ExtractTest, DeleteKeepsTheOtherMembersByteForByte) {
    if (!haveSamples()) GTEST_SKIP() << "no shared samples here";
    // A foreign archive: the kept members must be copied, not re-encoded.
    const std::string copy = path("multiple.lzh");
    writeFile("multiple.lzh", bytesOf(samplesDir() + "/regression/multiple.lzh"));
    std::string report;
    ASSERT_EQ(run("d " + copy + " file2-*", &report), 0) << report;
    EXPECT_EQ(report, "2 deleted, 3 kept");
    const std::string original = bytesOf(samplesDir() + "/regression/multiple.lzh");
    const std::string left = bytesOf(copy);
    // The first member is untouched at the start, the last two at the end.
    EXPECT_EQ(left.substr(0, 60), original.substr(0, 60));
    EXPECT_EQ(left.substr(left.size() - 120), original.substr(original.size() - 120));
    EXPECT_EQ(run("t " + copy), 0);
    EXPECT_EQ(run("d " + copy + " nothing.txt"), 1);
    EXPECT_EQ(bytesOf(copy), left);
    EXPECT_EQ(run("d " + copy), kUsageError);   // no names: nothing to delete
}

// Deleting every member removes the archive: the end mark alone is no
// archive to most readers. Such a file (made before) still lists, tests and
// takes new members as an empty archive. Two zero bytes are no archive.
TEST_F(ExtractTest, ArchiveEmptiedByDeleteIsRemoved) {
    writeFile("src/a.txt", "a");
    const std::string archive = path("e.lzh"), base = path("src") + "/";
    ASSERT_EQ(run("u " + archive + " " + base + " a.txt"), 0);
    ASSERT_EQ(run("d -q " + archive + " a.txt"), 0);
    EXPECT_NE(::access(archive.c_str(), F_OK), 0);
    writeFile("e.lzh", std::string(1, '\0'));
    std::string report;
    EXPECT_EQ(run("l " + archive, &report), 0) << report;
    EXPECT_NE(report.find("Total 0 members"), std::string::npos) << report;
    EXPECT_EQ(run("t " + archive), 0);
    EXPECT_EQ(run("u " + archive + " " + base + " a.txt"), 0);
    EXPECT_EQ(run("t " + archive, &report), 0);
    EXPECT_NE(report.find("a.txt: ok"), std::string::npos) << report;
    writeFile("zeros.bin", std::string(2, '\0'));
    EXPECT_EQ(run("u " + path("zeros.bin") + " " + base + " a.txt"), 1);
    EXPECT_EQ(bytesOf(path("zeros.bin")), std::string(2, '\0'));
    // An empty file (as mktemp makes) takes members: it holds nothing to lose.
    writeFile("empty.lzh", "");
    EXPECT_EQ(run("u " + path("empty.lzh") + " " + base + " a.txt"), 0);
    EXPECT_EQ(run("t " + path("empty.lzh"), &report), 0);
    EXPECT_NE(report.find("a.txt: ok"), std::string::npos) << report;
}

// lhasa finds every kept member sound (its status alone hides members it skipped).
TEST_F(ExtractTest, DeletedArchiveTestsCleanInLhasa) {
    if (!haveSamples()) GTEST_SKIP() << "no shared samples here";
    if (std::system("command -v lhasa >/dev/null 2>&1") != 0) GTEST_SKIP() << "lhasa is not installed";
    writeFile("m.lzh", bytesOf(samplesDir() + "/regression/multiple.lzh"));
    ASSERT_EQ(run("d " + path("m.lzh") + " file2-* file4.txt"), 0);
    FILE* lhasa = ::popen(("lhasa t " + path("m.lzh") + " 2>&1").c_str(), "r");
    ASSERT_NE(lhasa, nullptr);
    std::string output;
    char buffer[512];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, lhasa)) output.append(buffer, n);
    EXPECT_EQ(::pclose(lhasa), 0) << output;
    std::size_t tested = 0;
    for (std::size_t at = output.find("- Tested"); at != std::string::npos; at = output.find("- Tested", at + 1)) ++tested;
    EXPECT_EQ(tested, 2u) << output;
}

TEST_F(ExtractTest, AddReplacesWhateverTheDates) {
    writeFile("src/a.txt", "new");
    ASSERT_EQ(run("u " + path("t.lzh") + " " + path("src") + "/ a.txt"), 0);
    writeFile("src/a.txt", "older but added");
    struct utimbuf older {1500000000, 1500000000};
    ::utime(path("src/a.txt").c_str(), &older);
    std::string report;
    ASSERT_EQ(run("u " + path("t.lzh") + " " + path("src") + "/ a.txt", &report), 0);
    EXPECT_NE(report.find("1 kept"), std::string::npos) << report;
    ASSERT_EQ(run("a " + path("t.lzh") + " " + path("src") + "/ a.txt", &report), 0);
    EXPECT_NE(report.find("1 replaced"), std::string::npos);
    ASSERT_EQ(run("x -c1 " + path("t.lzh") + " " + path("out") + "/"), 0);
    EXPECT_EQ(bytesOf(path("out/a.txt")), "older but added");
}

// A member from MS-DOS (GPL-2) comes out as gpl-2, and answers to that
// name: it is selected by it, and the file put back replaces it.
TEST_F(ExtractTest, CaselessMemberAnswersToItsExtractedName) {
    if (!haveSamples()) GTEST_SKIP() << "no shared samples here";
    writeFile("w.lzh", bytesOf(samplesDir() + "/lha213/lh5.lzh"));
    ASSERT_EQ(run("x -q " + path("w.lzh") + " " + path("out") + "/"), 0);
    writeFile("out/gpl-2", "edited");
    struct utimbuf later {1900000000, 1900000000};
    ::utime(path("out/gpl-2").c_str(), &later);
    const struct {
        std::string command, said;
    } steps[] = {
        {"l " + path("w.lzh") + " gpl-2", "GPL-2"},
        {"u " + path("w.lzh") + " " + path("out") + "/ gpl-2", "0 added, 1 replaced, 0 kept"},
        {"x " + path("w.lzh") + " " + path("again") + "/ gpl-2", "gpl-2"},
        {"d " + path("w.lzh") + " gpl-2", "1 deleted, none left: " + path("w.lzh") + " is removed"},
    };
    for (const auto& step : steps) {
        std::string report;
        EXPECT_EQ(run(step.command, &report), 0) << step.command << "\n" << report;
        EXPECT_NE(report.find(step.said), std::string::npos) << step.command << "\n" << report;
    }
    EXPECT_EQ(bytesOf(path("again/gpl-2")), "edited");
    EXPECT_NE(::access(path("w.lzh").c_str(), F_OK), 0);
}

// A file that is no archive is named and called so by every reading command.
TEST_F(ExtractTest, FileThatIsNoArchiveIsSaidToBeNone) {
    const struct { const char* name; std::string content; } table[] = {
        {"short.txt", "hello\n"}, {"text.txt", std::string(3000, 'x')}, {"lone-mark.txt", std::string(30, '\0')}};
    for (const auto& row : table) {
        writeFile(row.name, row.content);
        for (const char* command : {"l ", "t ", "x "}) {
            std::string report;
            EXPECT_EQ(run(command + path(row.name) + " " + path("out") + "/", &report), 1) << row.name;
            EXPECT_NE(report.find("cannot read the archive " + path(row.name) + ": it is no LZH archive"),
                      std::string::npos)
                << command << report;
        }
    }
}

TEST(ToolStatus, BadUsageIsTwo) {
    std::string report;
    EXPECT_EQ(runCommand("z a.lzh", report), kUsageError);
    EXPECT_EQ(runCommand("x -k a.lzh", report), kUsageError);
    EXPECT_EQ(runCommand("l /nonexistent/a.lzh", report), 1);
    // A device (or a pipe) cannot be read where the headers point: said so, not "truncated".
    EXPECT_EQ(runCommand("t /dev/zero", report), 1);
    EXPECT_NE(report.find("an archive must be a regular file, not a pipe or device: /dev/zero"), std::string::npos)
        << report;
}

// No sample holds -lzs-: a hand-made stream of literals, a copy from the
// window's blank start and a copy of what was just written.
TEST(OldDecoders, LzsLiteralsAndCopies) {
    BitWriter out;
    for (char c : std::string("abc")) {
        out.put(1, 1);
        out.put(8, static_cast<std::uint8_t>(c));
    }
    out.put(1, 0), out.put(11, 2031), out.put(4, 3);   // "abcab" from where writing began
    out.put(1, 0), out.put(11, 0), out.put(4, 0);      // two blanks of the starting window
    out.flush();
    BitReader in(out.bytes().data(), out.bytes().size());
    std::string text;
    EXPECT_EQ(decodeLzs(in, 10, [&](const std::uint8_t* d, std::size_t n) {
                  text.append(reinterpret_cast<const char*>(d), n);
                  return true;
              }),
              "");
    EXPECT_EQ(text, "abcabcab  ");
}

// Any bits make a stream for the adaptive decoders (every path ends in a
// leaf) and the plain LZSS ones, so long random ones reach what short fuzz
// inputs do not: the trees rebuilt after 32 K symbols, the distance tree
// grown to its full size. The sanitizer build checks every access; the
// output must stop at the size.
TEST(OldDecoders, LongRandomStreamsStayInBoundsAndInSize) {
    using Decode = std::string (*)(BitReader&, std::uint64_t, const Decoder::Sink&);
    const struct { const char* name; Decode decode; } table[] = {
        {"-lh1-", decodeLh1}, {"-lh2-", decodeLh2}, {"-lzs-", decodeLzs}, {"-lz5-", decodeLz5}};
    // 1 MiB: enough matches (32 K) for -lh2-'s distance tree to be rebuilt too.
    const std::string bits = test::randomBytes(1024 * 1024, 256, 7);
    for (const auto& row : table) {
        BitReader in(reinterpret_cast<const std::uint8_t*>(bits.data()), bits.size());
        std::uint64_t produced = 0;
        row.decode(in, 4 << 20, [&](const std::uint8_t*, std::size_t n) {
            produced += n;
            return true;
        });
        EXPECT_LE(produced, 4u << 20) << row.name;
        EXPECT_GT(produced, 1u << 20) << row.name;
    }
}

}  // namespace
}  // namespace lzh

#include "archiver/command/collect.h"
#include "archiver/command/command_line.h"
#include "archiver/command/member_selection.h"
#include "archiver/command/move_sources.h"
#include "archiver/command/response_file.h"
#include "archiver/command/run_command.h"
#include "archiver/command/update.h"
#include "archiver/format/archive_reader.h"
#include "tests/archiver/archive_fixture.h"
#include "tests/support/file_size_limit.h"

#include <QDir>
#include <QFileInfo>
#include <QDirIterator>
#include <QFile>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

namespace lzh {
namespace {

using test::ArchiveFixture;

struct ParseCase {
    const char* label;
    const char* text;
    const char* fault;   // empty: parses
    const char* archive;
    const char* base;
    std::vector<std::string> lists;
    std::vector<std::string> names;
    unsigned threads = 0;   // 0: one per CPU
    char letter = 0;        // the command, where the row checks it
};

class ParseTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseTest, Fields) {
    const ParseCase& c = GetParam();
    Command command;
    std::string fault = parseCommand(splitCommandText(c.text), command);
    if (*c.fault) {
        EXPECT_NE(fault.find(c.fault), std::string::npos) << fault;
        return;
    }
    ASSERT_EQ(fault, "");
    EXPECT_EQ(command.archive, c.archive);
    EXPECT_EQ(command.baseFolder, c.base);
    EXPECT_EQ(command.listFiles, c.lists);
    EXPECT_EQ(command.names, c.names);
    EXPECT_EQ(command.threads, c.threads);
    if (c.letter) {
        EXPECT_EQ(command.letter, c.letter);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ParseTest,
    ::testing::Values(
        ParseCase{"program_text", "u -a1 -r2 -x1 -l1 -jp1 -o2 /home/u/out/photo.lzh \"/home/u/My Data/\" @/home/u/tools/responce.txt ",
                  "", "/home/u/out/photo.lzh", "/home/u/My Data/", {"/home/u/tools/responce.txt"}, {}},
        ParseCase{"quoted_list_and_archive", "U -a1 \"/d/my out.lzh\" /base/ \"@/Program Files/t/responce.txt\" ", "",
                  "/d/my out.lzh", "/base/", {"/Program Files/t/responce.txt"}, {}},
        ParseCase{"switches_anywhere", "u out.lzh -jm7 dir/ a.txt -x1 \"b c.txt\"", "", "out.lzh", "dir/", {},
                  {"a.txt", "b c.txt"}},
        ParseCase{"best_parse", "u -jo1 -jm6 out.lzh dir/ a", "", "out.lzh", "dir/", {}, {"a"}},
        ParseCase{"bad_best_value", "u -jo7 out.lzh", "bad switch value", "", "", {}, {}},
        ParseCase{"no_base_folder", "u out.lzh a.txt sub/", "", "out.lzh", "", {}, {"a.txt", "sub/"}},
        ParseCase{"empty_base_is_root", "u out.lzh / x", "", "out.lzh", "/", {}, {"x"}},
        ParseCase{"dashes_end_switches", "x -c1 -q out.lzh dest/ -- -odd.txt", "", "out.lzh", "dest/", {}, {"-odd.txt"}},
        ParseCase{"unknown_command", "z out.lzh", "unknown command", "", "", {}, {}},
        ParseCase{"switch_before_command", "--threads=2 l out.lzh", "the command comes first", "", "", {}, {}},
        ParseCase{"unknown_switch", "u -k out.lzh", "unknown switch", "", "", {}, {}},
        ParseCase{"bad_method", "u -jm3 out.lzh", "bad switch value", "", "", {}, {}},
        ParseCase{"no_archive", "u -a1 -r2 ", "no archive", "", "", {}, {}},
        ParseCase{"bare_at", "u out.lzh dir/ @", "list file name missing", "", "", {}, {}},
        ParseCase{"nothing", "   ", "no command", "", "", {}, {}},
        ParseCase{"threads", "u --THREADS=3 out.lzh", "", "out.lzh", "", {}, {}, 3},
        ParseCase{"most_threads", "u out.lzh --threads=256", "", "out.lzh", "", {}, {}, 256},
        ParseCase{"too_many_threads", "u --threads=257 out.lzh", "--threads takes 1 to 256", "", "", {}, {}},
        ParseCase{"no_threads", "u --threads=0 out.lzh", "--threads takes 1 to 256", "", "", {}, {}},
        ParseCase{"threads_not_a_number", "u --threads=2x out.lzh", "bad switch value", "", "", {}, {}},
        ParseCase{"threads_empty", "u --threads= out.lzh", "bad switch value", "", "", {}, {}},
        ParseCase{"threads_last", "u out.lzh --threads", "--threads needs a value", "", "", {}, {}},
        ParseCase{"standard_input_twice", "u out.lzh @- @-", "@- given twice", "", "", {}, {}},
        ParseCase{"v_lists", "V out.lzh", "", "out.lzh", "", {}, {}, 0, 'l'},
        // Commands without a folder take a name that ends in "/" for a folder's members.
        ParseCase{"value_in_next_field", "u --threads 3 --exclude ./*.o out.lzh", "", "out.lzh", "", {}, {}, 3},
        ParseCase{"folder_member_selected", "d out.lzh deep/ run.sh", "", "out.lzh", "", {}, {"deep/", "run.sh"}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(ResponseFile, LinesQuotesAndBlanks) {
    EXPECT_EQ(parseResponseText("\"photo 1.jpg\"\r\nnotes.txt\r\n\r\n"), (std::vector<std::string>{"photo 1.jpg", "notes.txt"}));
    EXPECT_EQ(parseResponseText("a\nb\n\n\nc"), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(parseResponseText("\r\n\r\n"), std::vector<std::string>{});
    std::vector<std::string> trimmed;
    EXPECT_EQ(parseResponseText("\"x,y.txt\"\r\n日本語ソ表.txt\r\n  .  \r\n\" a \"\r\n\"\"\n", &trimmed),
              (std::vector<std::string>{"x,y.txt", "日本語ソ表.txt", ".", " a "}));
    EXPECT_EQ(trimmed, std::vector<std::string>{"  .  "});
    // --null: names as find -print0 ends them, blanks and quotes their own.
    EXPECT_EQ(parseNullSeparated(std::string(" a \0\"b\"\0\0c d", 12)), (std::vector<std::string>{" a ", "\"b\"", "c d"}));
}

class CommandTest : public ArchiveFixture {
protected:
    int run(const std::string& text, std::string* report = nullptr) {
        std::string r;
        int status = runCommand(text, r);
        if (report) *report = r;
        return status;
    }
    std::vector<ArchiveMember> members(const std::string& archive) {
        std::vector<ArchiveMember> found;
        int fd = ::open(archive.c_str(), O_RDONLY);
        EXPECT_EQ(readArchive(fd, fileSize(archive), found), "");
        ::close(fd);
        return found;
    }
    std::vector<std::string> names(const std::string& archive) {
        std::vector<std::string> out;
        for (const auto& m : members(archive)) out.push_back(m.name);
        return out;
    }
    void stamp(const std::string& file, std::int64_t when) {
        struct utimbuf times {static_cast<time_t>(when), static_cast<time_t>(when)};
        ::utime(file.c_str(), &times);
    }
    int tempFilesBeside() {
        int n = 0;
        for (const QString& f : QDir(QString::fromStdString(dir())).entryList(QDir::Files | QDir::Hidden))
            if (f.startsWith('.')) ++n;
        return n;
    }
};

TEST_F(CommandTest, FoldersDotFilesAndEmptyFolders) {
    writeFile("base/a.txt", "a");
    writeFile("base/.hidden", "h");
    writeFile("base/sub/b.txt", "b");
    writeFile("base/sub/.dot/c.txt", "c");
    QDir().mkpath(QString::fromStdString(path("base/sub/empty")));
    ASSERT_EQ(::symlink(path("base").c_str(), path("base/sub/loop").c_str()), 0);
    ASSERT_EQ(::symlink("nowhere", path("base/sub/dangling").c_str()), 0);
    ASSERT_EQ(::mkfifo(path("base/sub/pipe").c_str(), 0644), 0);
    const std::string base = path("base") + "/";
    std::string report;
    ASSERT_EQ(run("u -r2 -x1 " + path("plain.lzh") + " " + base + " .", &report), 0);
    EXPECT_EQ(names(path("plain.lzh")), (std::vector<std::string>{"a.txt", "sub/", "sub/b.txt", "sub/empty/"}));
    // What the walk passes over is said, each under its path.
    EXPECT_EQ(report, "warning: " + base + "sub/dangling: not packed: a link to nothing\n" +
                          "warning: " + base + "sub/loop: not packed: a link to a folder (such links are not followed)\n" +
                          "warning: " + base + "sub/pipe: not packed: not a regular file (a device, pipe or socket)\n" +
                          "4 added, 0 replaced, 0 kept");
    ASSERT_EQ(run("u -a1 -r2 -x1 " + path("all.lzh") + " " + base + " sub"), 0);
    EXPECT_EQ(names(path("all.lzh")),
              (std::vector<std::string>{"sub/", "sub/.dot/", "sub/.dot/c.txt", "sub/b.txt", "sub/empty/"}));
    // A named dot-file is taken without -a1; without -x1 only base names are stored.
    ASSERT_EQ(run("u -r2 " + path("flat.lzh") + " " + base + " .hidden sub"), 0);
    EXPECT_EQ(names(path("flat.lzh")), (std::vector<std::string>{".hidden", "b.txt"}));
    // A folder named without -r2: its files are not packed, and that is said.
    ASSERT_EQ(run("u " + path("none.lzh") + " " + base + " a.txt sub", &report), 0);
    EXPECT_EQ(report, "warning: " + base + "sub: not packed: the files in it, a folder (-r2 walks the folders named)\n" +
                          "1 added, 0 replaced, 0 kept");
}

TEST_F(CommandTest, QuietReportsOnlyFaults) {
    writeFile("base/a.txt", "a");
    writeFile("base/b.txt", "b");
    const std::string archive = path("q.lzh"), base = path("base") + "/";
    for (const std::string& command : {"u -q " + archive + " " + base + " a.txt", "a -q " + archive + " " + base + " b.txt",
                                       "u -q " + archive + " " + base + " a.txt",   // nothing to do
                                       "f -q " + archive + " " + base + " a.txt", "c -q " + archive + " " + base + " a.txt b.txt",
                                       "t -q " + archive, "x -q " + archive + " " + path("out") + "/",
                                       "d -q " + archive + " a.txt"}) {
        std::string report = "?";
        EXPECT_EQ(run(command, &report), 0) << command;
        EXPECT_EQ(report, "") << command;
    }
    // A bad member is still named, with the fault, but no tally.
    std::string bytes = bytesOf(archive);
    bytes[bytes.size() - 2] ^= 0x01;   // the last member's only data byte
    writeFile("q.lzh", bytes);
    std::string report;
    EXPECT_EQ(run("t -q " + archive, &report), 1);
    EXPECT_EQ(report.find("tested"), std::string::npos) << report;
    EXPECT_EQ(report.rfind("b.txt: ", 0), 0u) << report;
    EXPECT_NE(report.find("error: the archive has bad members"), std::string::npos) << report;
}

// A new archive is as private as the user's mask makes new files; an
// updated one keeps its mode, and its owner when root updates it.
TEST_F(CommandTest, NewArchivesFollowTheUmaskUpdatedOnesKeepTheirModeAndOwner) {
    writeFile("base/a.txt", "a");
    const std::string base = path("base") + "/";
    struct UmaskBack {   // the test's mask comes back however the test ends
        mode_t saved = ::umask(0);
        ~UmaskBack() { ::umask(saved); }
    } back;
    // A name of 251 bytes: its hidden name while it is replaced still fits in 255.
    static const std::string longName = std::string(247, 'L') + ".lzh";
    const struct { mode_t mask; const char* archive; mode_t before; mode_t after; uid_t owner = 0; } table[] = {
        {077, "private.lzh", 0, 0600}, {022, "shared.lzh", 0, 0644}, {002, "group.lzh", 0, 0664},
        {022, longName.c_str(), 0644, 0644},
        {077, "kept.lzh", 0640, 0640}, {077, "another_users.lzh", 02640, 02640, 4321},
    };
    for (const auto& row : table) {
        if (row.owner && ::geteuid() != 0) continue;   // only root gives files away
        const std::string archive = path(row.archive);
        if (row.before) {
            ASSERT_EQ(run("a " + archive + " " + base + " a.txt"), 0);
            if (row.owner) {
                ASSERT_EQ(::chown(archive.c_str(), row.owner, row.owner), 0);
            }
            ::chmod(archive.c_str(), row.before);
        }
        ::umask(row.mask);
        EXPECT_EQ(run("a " + archive + " " + base + " a.txt"), 0) << row.archive;
        struct stat st {};
        ASSERT_EQ(::stat(archive.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, row.after) << row.archive;
        if (row.owner) {
            EXPECT_EQ(st.st_uid, row.owner);
            EXPECT_EQ(st.st_gid, row.owner);
        }
        ::umask(0);
    }
}

// f only replaces members older than their file; c starts the archive
// afresh. Neither writes over a file that is not an archive, nor makes one
// from pieces.
TEST_F(CommandTest, FreshenReplacesOnlyAndCreateStartsAfresh) {
    struct Row {
        const char* label;
        const char* command;   // old.lzh holds a.txt and b.txt, a.txt older than its file
        const char* archive;
        const char* names;
        int status;
        std::vector<std::string> members;   // of the archive afterwards; empty: the file is as it was
        const char* report;
    } table[] = {
        {"freshen", "f", "old.lzh", "a.txt c.txt", 0, {"a.txt", "b.txt"},
         "1 replaced, 1 kept, 1 not in the archive (not added)"},
        {"freshen_nothing_newer", "f", "old.lzh", "b.txt c.txt", 0, {}, "nothing to update: 2 kept, 1 not in the archive"},
        {"freshen_no_archive", "f", "new.lzh", "a.txt", 1, {}, "no such archive"},
        {"create_over_archive", "c", "old.lzh", "c.txt", 0, {"c.txt"}, "1 added, 2 former members dropped"},
        {"create_new", "c", "new.lzh", "a.txt c.txt", 0, {"a.txt", "c.txt"}, "2 added"},
        {"create_over_non_archive", "c", "notes.lzh", "a.txt", 1, {}, "damaged"},
        {"create_over_pieces", "c", "split.lzh.001", "a.txt", 1, {}, "first piece of a split archive"},
    };
    for (const Row& row : table) {
        writeFile("base/a.txt", "a");
        writeFile("base/b.txt", "b");
        stamp(path("base/a.txt"), 1500000000);
        stamp(path("base/b.txt"), 1500000000);
        std::remove(path("old.lzh").c_str());
        std::remove(path("new.lzh").c_str());
        ASSERT_EQ(run("u " + path("old.lzh") + " " + path("base") + "/ a.txt b.txt"), 0);
        writeFile("base/a.txt", "newer a");
        writeFile("base/c.txt", "c");
        writeFile("notes.lzh", "not an archive");
        writeFile("split.lzh.001", bytesOf(path("old.lzh")).substr(0, 30));
        writeFile("split.lzh.002", bytesOf(path("old.lzh")).substr(30));
        const std::string archive = path(row.archive), before = bytesOf(archive);
        std::string report;
        EXPECT_EQ(run(std::string(row.command) + " " + archive + " " + path("base") + "/ " + row.names, &report),
                  row.status) << row.label << ": " << report;
        EXPECT_NE(report.find(row.report), std::string::npos) << row.label << ": " << report;
        if (row.members.empty()) {
            EXPECT_EQ(bytesOf(archive), before) << row.label;
        } else {
            EXPECT_EQ(names(archive), row.members) << row.label;
        }
        EXPECT_EQ(tempFilesBeside(), 0) << row.label;
    }
    // The freshened member is the newer file's.
    ASSERT_EQ(run("f " + path("old.lzh") + " " + path("base") + "/ a.txt"), 0);
    ASSERT_EQ(run("x -c1 " + path("old.lzh") + " " + path("out") + "/"), 0);
    EXPECT_EQ(bytesOf(path("out/a.txt")), "newer a");
}

// m removes from the disk only what the archive, in place and flushed, holds:
// never a file when the archive failed, nor one that changed after it was found.
TEST_F(CommandTest, MoveRemovesOnlyWhatTheArchiveHolds) {
    struct Row {
        const char* label;
        rlim_t sizeLimit;    // 0: none; else the archive's write fails, as on a full disk
        bool changeOne;      // a.txt is written to after it was found
        int status;
        std::vector<std::string> left;   // under src/ afterwards
    } table[] = {
        {"moved", 0, false, 0, {"sub/", "sub/.dot", "target.txt"}},
        {"archive_failed", 100, false, 1, {"a.txt", "link", "sub/", "sub/.dot", "sub/b.txt", "target.txt"}},
        {"changed_after_found", 0, true, 1, {"a.txt", "sub/", "sub/.dot", "target.txt"}},
    };
    for (const Row& row : table) {
        QDir(QString::fromStdString(path("src"))).removeRecursively();
        std::remove(path("m.lzh").c_str());
        writeFile("src/a.txt", std::string(6000, 'a'));
        writeFile("src/sub/b.txt", "b");
        writeFile("src/sub/.dot", "not taken without -a1");
        writeFile("src/target.txt", "t");   // outside the walk: only its link is named
        ASSERT_EQ(::symlink("target.txt", path("src/link").c_str()), 0);
        Command command;
        ASSERT_EQ(parseCommand(splitCommandText("m -r2 -x1 -jm5 " + path("m.lzh") + " " + path("src") + "/ a.txt sub link"),
                               command), "");
        std::vector<Entry> entries;
        ASSERT_EQ(collectEntries(command, command.names, entries), "");
        if (row.changeOne) writeFile("src/a.txt", std::string(6000, 'a'));
        Report report;
        std::string fault;
        {
            std::optional<support::FileSizeLimit> limit;
            if (row.sizeLimit) limit.emplace(row.sizeLimit);
            fault = updateArchive(command, entries, report);
        }
        EXPECT_EQ(fault.empty(), row.status == 0) << row.label << ": " << fault;
        std::vector<std::string> left;
        QDirIterator it(QString::fromStdString(path("src")), QDir::AllEntries | QDir::Hidden | QDir::System |
                        QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QFileInfo info(it.next());
            left.push_back(QDir(QString::fromStdString(path("src"))).relativeFilePath(info.filePath()).toStdString() +
                           (info.isDir() ? "/" : ""));
        }
        std::sort(left.begin(), left.end());
        EXPECT_EQ(left, row.left) << row.label << ": " << report.text();
        if (row.status == 0) {
            EXPECT_EQ(names(path("m.lzh")), (std::vector<std::string>{"a.txt", "sub/", "sub/b.txt", "link"})) << row.label;
        }
    }
    // A member that does not read back as its file (as a mis-packed one
    // would not) keeps the file.
    writeFile("other/a.txt", "other bytes");
    ASSERT_EQ(run("c " + path("wrong.lzh") + " " + path("other") + "/ a.txt"), 0);
    Command command;
    ASSERT_EQ(parseCommand(splitCommandText("m " + path("wrong.lzh") + " " + path("src") + "/ a.txt"), command), "");
    std::vector<Entry> entries;
    ASSERT_EQ(collectEntries(command, command.names, entries), "");
    Report report;
    EXPECT_NE(removeMovedSources(path("wrong.lzh"), entries, report, false), "");
    EXPECT_NE(report.text().find("does not read back"), std::string::npos) << report.text();
    EXPECT_EQ(bytesOf(path("src/a.txt")), std::string(6000, 'a'));
    // Two links of one file both go: removing the first changes only the
    // second's change time (its link count).
    writeFile("hard/a", "d");
    ASSERT_EQ(::link(path("hard/a").c_str(), path("hard/b").c_str()), 0);
    std::string text;
    EXPECT_EQ(run("m " + path("hard.lzh") + " " + path("hard") + "/ a b", &text), 0) << text;
    EXPECT_NE(::access(path("hard/b").c_str(), F_OK), 0);
}

// l, v and t take names as x does: only the members selected, an error
// when none is, and a warning for a name that selects nothing beside
// others that do. x and e tell how a folder to extract into is written.
TEST_F(CommandTest, ListAndTestSelectByName) {
    writeFile("base/a.txt", "a");
    writeFile("base/sub/b.txt", "b");
    writeFile("base/sub/c.txt", "c");
    ASSERT_EQ(run("u -r2 -x1 " + path("s.lzh") + " " + path("base") + "/ ."), 0);
    struct { const char* command; int status; const char* said; } table[] = {
        {"l", 0, "Total 4 members"},
        {"l sub/*.txt", 0, "Total 2 members"},
        {"v sub", 0, "Total 3 members"},
        {"l nothing", 1, "no member matches the names given"},
        {"t sub/c.txt", 0, "1 member tested, 0 bad"},
        {"t nothing", 1, "no member matches the names given"},
        {"l a.txt nothing", 0, "warning: nothing: no such member"},
        {"v a.txt sub/ sub/b*", 0, "Total 4 members"},
        {"t sub/*.txt q*", 0, "2 members tested, 0 bad\nwarning: q*: no such member"},
        {"x out", 1, "no member matches the names given: out (to extract into the folder out, write out/)"},
        {"e {dest}/ out sub/b.txt", 0, "warning: out: no such member (to extract into the folder out, write out/)"},
        {"d nothing", 1, "no member matches the names given: nothing; the archive is left as it is"},
    };
    for (const auto& row : table) {
        std::string command = row.command, report;
        const std::size_t blank = command.find(' ');
        command = command.substr(0, blank) + " " + path("s.lzh") + (blank == std::string::npos ? "" : command.substr(blank));
        if (const std::size_t dest = command.find("{dest}"); dest != std::string::npos)
            command.replace(dest, 6, path("dest"));
        EXPECT_EQ(run(command, &report), row.status) << row.command << ": " << report;
        EXPECT_NE(report.find(row.said), std::string::npos) << row.command << ": " << report;
    }
}

// Names without wildcards are looked up, the others matched: both select
// the same members as a match of every name would. Exclusions match the
// whole name or its last component, and take a folder's contents along.
TEST(MemberSelection, NamesAndWildcardsSelectTheSameWays) {
    struct { std::vector<std::string> names, excludes; const char* member; bool selected; } table[] = {
        {{}, {}, "any/thing.txt", true},
        {{"a.txt"}, {}, "a.txt", true},
        {{"a.txt"}, {}, "b/a.txt", false},
        {{"sub"}, {}, "sub/deep/c.txt", true},       // a folder's name: all in it
        {{"sub/"}, {}, "sub/c.txt", true},
        {{"sub"}, {}, "sub/", true},
        {{"su"}, {}, "sub/c.txt", false},            // not a prefix of a component
        {{"sub/*.txt"}, {}, "sub/deep/c.txt", true}, // * crosses "/"
        {{"x", "s?b"}, {}, "sub/c.txt", true},
        {{"[ab].txt"}, {}, "b.txt", true},
        {{"a\\*"}, {}, "a*", true},                  // a quoted *
        {{"a\\*"}, {}, "ab", false},
        {{"a*"}, {}, "ab", true},
        {{"*.[ch]"}, {}, "x/a.h", true},             // a bracket at the end
        {{"*q"}, {}, "a/q/b.txt", true},             // a folder that a wildcard selects
        {{}, {"*.o"}, "src/deep/x.o", false},
        {{}, {"build"}, "src/build/x.c", false},     // a folder at any depth, and all in it
        {{}, {"build"}, "src/builder.c", true},
        {{}, {"src/x.c"}, "src/x.c", false},
        {{}, {"src/x.c"}, "other/src/x.c", true},    // a path is matched whole
        {{"src"}, {"*.o"}, "src/x.c", true},
        {{"src"}, {"*.o"}, "src/x.o", false},
    };
    for (const auto& row : table)
        EXPECT_EQ(MemberSelection(row.names, row.excludes).selects(row.member), row.selected) << row.member;
}

// --exclude leaves files out of a pack, folders with all in them, whether
// walked or named.
TEST_F(CommandTest, ExcludedFilesAreNotPacked) {
    for (const char* name : {"a.c", "a.o", "build/x.c", "src/b.c", "src/build/y.c", "src/c.o"})
        writeFile(std::string("base/") + name, name);
    struct { const char* names; int status; const char* said; } table[] = {
        {".", 0, "Total 3 members"},   // a.c, src/, src/b.c
        {"a.c a.o src/build/y.c", 0, "Total 1 member"},
        {"a.o", 1, "nothing to archive"},
    };
    for (const auto& row : table) {
        ::unlink(path("e.lzh").c_str());
        std::string report;
        EXPECT_EQ(run("a -r2 -x1 --exclude ./*.o --exclude=build " + path("e.lzh") + " " + path("base") + "/ " + row.names,
                      &report),
                  row.status)
            << row.names << ": " << report;
        if (row.status == 0) run("l " + path("e.lzh"), &report);
        EXPECT_NE(report.find(row.said), std::string::npos) << row.names << ": " << report;
    }
}

// The list file of a call is not packed when a walk meets it (the window
// writes its list beside the program, which may lie in the folder packed),
// unsaid; nor is the archive, which the report tells.
TEST_F(CommandTest, ListFileMetInAWalkIsNotPacked) {
    writeFile("base/a.txt", "a");
    writeFile("base/responce.txt", ".\r\n\r\n");
    std::string report;
    ASSERT_EQ(run("u -a1 -r2 -x1 " + path("base/w.lzh") + " " + path("base") + "/ @" + path("base/responce.txt"),
                  &report),
              0);
    EXPECT_EQ(report.find("responce.txt"), std::string::npos) << report;
    ASSERT_EQ(run("l " + path("base/w.lzh"), &report), 0);
    EXPECT_NE(report.find("Total 1 member"), std::string::npos) << report;
    EXPECT_EQ(report.find("responce.txt"), std::string::npos) << report;
    ASSERT_EQ(run("u -a1 -r2 -x1 " + path("base/w.lzh") + " " + path("base") + "/ .", &report), 0);
    EXPECT_NE(report.find("w.lzh: not packed: it is the archive being written"), std::string::npos) << report;
}

// "-" is the standard input, for the commands that only read: from a
// redirected file and from a pipe (kept in a temporary file first).
TEST_F(CommandTest, StandardInputIsAnArchiveToRead) {
    writeFile("base/a.txt", std::string(5000, 'a') + "end");
    ASSERT_EQ(run("u " + path("s.lzh") + " " + path("base") + "/ a.txt"), 0);
    const std::string archive = bytesOf(path("s.lzh"));
    enum Input { File, Pipe, Device };
    struct { const char* command; Input input; int status; const char* said; } table[] = {
        {"l -", File, 0, "Total 1 member"},
        {"t -", Pipe, 0, "1 member tested, 0 bad"},
        {"x - ", Pipe, 0, "1 extracted"},
        {"l -", Device, 1, "not a device"},   // /dev/zero would never end
        {"f - a.txt", Pipe, 2, "f cannot take it"},
    };
    for (const auto& row : table) {
        int in[2] = {-1, -1};
        if (row.input == Pipe) {
            ASSERT_EQ(::pipe(in), 0);
            ASSERT_EQ(::write(in[1], archive.data(), archive.size()), static_cast<ssize_t>(archive.size()));
            ::close(in[1]);
        } else {
            in[0] = ::open(row.input == File ? path("s.lzh").c_str() : "/dev/zero", O_RDONLY);
        }
        const int saved = ::dup(STDIN_FILENO);
        ::dup2(in[0], STDIN_FILENO);
        ::close(in[0]);
        std::string command = row.command, report;
        if (command.back() == ' ') command += path("out") + "/";
        EXPECT_EQ(run(command, &report), row.status) << row.command << ": " << report;
        ::dup2(saved, STDIN_FILENO);
        ::close(saved);
        EXPECT_NE(report.find(row.said), std::string::npos) << row.command << ": " << report;
    }
    EXPECT_EQ(bytesOf(path("out/a.txt")), std::string(5000, 'a') + "end");
}

// @- reads the list of names from the standard input (not while it gives
// the archive too).
TEST_F(CommandTest, ListFromTheStandardInput) {
    writeFile("base/a.txt", "a");
    writeFile("base/b.txt", "b");
    struct { std::string command; const char* input; int status; const char* said; } table[] = {
        {"a " + path("n.lzh") + " " + path("base") + "/ @-", "a.txt\r\n\"b.txt\"\n", 0, "2 added"},
        {"x - @-", "a.txt\n", 2, "cannot give both"},
    };
    for (const auto& row : table) {
        int in[2];
        ASSERT_EQ(::pipe(in), 0);
        ASSERT_EQ(::write(in[1], row.input, std::strlen(row.input)), static_cast<ssize_t>(std::strlen(row.input)));
        ::close(in[1]);
        const int saved = ::dup(STDIN_FILENO);
        ::dup2(in[0], STDIN_FILENO);
        ::close(in[0]);
        std::string report;
        EXPECT_EQ(run(row.command, &report), row.status) << row.command << ": " << report;
        ::dup2(saved, STDIN_FILENO);
        ::close(saved);
        EXPECT_NE(report.find(row.said), std::string::npos) << row.command << ": " << report;
    }
}

// c, a and u with "-" write a new archive to the standard output, and
// never pack the file it goes to.
TEST_F(CommandTest, StandardOutputTakesANewArchive) {
    writeFile("base/a.txt", std::string(5000, 'a') + "end");
    struct { const char* command; const char* output; int status; const char* said; } table[] = {
        {"c - base/ a.txt", "c.lzh", 0, "1 added (to the standard output)"},
        {"a -r2 - base/ .", "base/inside.lzh", 0, "1 added"},
        {"m - base/ a.txt", "m.lzh", 2, "m cannot take it"},
    };
    for (const auto& row : table) {
        const int out = ::open(path(row.output).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int saved = ::dup(STDOUT_FILENO);
        ::dup2(out, STDOUT_FILENO);
        ::close(out);
        std::string command = row.command, report;
        command.replace(command.find("base/"), 5, path("base") + "/");
        const int status = run(command, &report);
        ::dup2(saved, STDOUT_FILENO);
        ::close(saved);
        EXPECT_EQ(status, row.status) << row.command << ": " << report;
        EXPECT_NE(report.find(row.said), std::string::npos) << row.command << ": " << report;
        if (row.status != 0) continue;
        std::string listing;
        EXPECT_EQ(run("t " + path(row.output), &listing), 0) << row.command << ": " << listing;
        EXPECT_NE(listing.find("1 member tested, 0 bad"), std::string::npos) << row.command << ": " << listing;
    }
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(path("base/a.txt"))));
}

// t decodes members side by side; the report is the same for every thread count.
TEST_F(CommandTest, TestReportsInOrderOnAnyThreads) {
    for (char c = 'a'; c <= 'f'; ++c) writeFile(std::string("base/") + c + ".txt", std::string(3000, c) + "tail");
    const std::string archive = path("t.lzh");
    ASSERT_EQ(run("u " + archive + " " + path("base") + "/ a.txt b.txt c.txt d.txt e.txt f.txt"), 0);
    std::string bytes = bytesOf(archive);
    const std::vector<ArchiveMember> found = members(archive);
    bytes[found[2].dataOffset + found[2].packedSize / 2] ^= 0x10;   // c.txt's data
    writeFile("t.lzh", bytes);
    std::string one;
    EXPECT_EQ(run("t --threads=1 " + archive, &one), 1);
    EXPECT_NE(one.find("a.txt: ok\nb.txt: ok\nc.txt: "), std::string::npos) << one;
    EXPECT_NE(one.find("6 members tested, 1 bad"), std::string::npos) << one;
    for (const char* threads : {"2", "3", "8"}) {
        std::string report;
        EXPECT_EQ(run(std::string("t --threads=") + threads + " " + archive, &report), 1) << threads;
        EXPECT_EQ(report, one) << threads;
    }
}

TEST_F(CommandTest, BadListsWriteNothing) {
    writeFile("base/a.txt", "a");
    writeFile("empty-list.txt", "\r\n\r\n");
    writeFile("base/a.txt ", "a with a blank");
    writeFile("base/ b.txt", "b with a blank");
    writeFile("blank-list.txt", "a.txt \r\n");      // a.txt or "a.txt "?
    writeFile("blanks-list.txt", " b.txt \r\n");    // b.txt or " b.txt"?
    const std::string base = path("base") + "/";
    struct { std::string args; std::string reason; } table[] = {
        {base + " @" + path("blank-list.txt"), "is read without its blanks, but a file is named \"a.txt \""},
        {base + " @" + path("blanks-list.txt"), "is read without its blanks, but a file is named \" b.txt\""},
        {base + " a.txt missing.txt", "cannot find"},
        {base + " @" + path("empty-list.txt"), "the list names no file"},
        {base + " @" + path("no-list.txt"), "cannot read the list file"},
        {base + " ../a.txt", "out of the base folder"},
        {base + " /etc/passwd", "absolute name"},
        {"/proc/self/status", "a file of the system (/proc, /sys)"},
        {base, "no file names"},
    };
    for (auto& row : table) {
        std::string report;
        EXPECT_NE(run("u -r2 -x1 " + path("out.lzh") + " " + row.args, &report), 0) << row.args;
        EXPECT_NE(report.find(row.reason), std::string::npos) << report;
        EXPECT_FALSE(QFile::exists(QString::fromStdString(path("out.lzh"))));
    }
    // d by such a line, where a member is named with the blanks: nothing deleted.
    ASSERT_EQ(run("u " + path("two.lzh") + " " + base + " a.txt \"a.txt \""), 0);
    const std::string before = bytesOf(path("two.lzh"));
    std::string report;
    EXPECT_EQ(run("d " + path("two.lzh") + " @" + path("blank-list.txt"), &report), 1);
    EXPECT_NE(report.find("but a member is named \"a.txt \""), std::string::npos) << report;
    EXPECT_EQ(bytesOf(path("two.lzh")), before);
    EXPECT_EQ(tempFilesBeside(), 0);
}

// A tree whose paths run past what one system call takes (4,096 bytes), as
// x makes them: packed and moved away whole; past what a header's 16-bit
// length holds, refused with nothing written.
TEST_F(CommandTest, PathsLongerThanTheSystemTakesArePacked) {
    const std::string part(200, 'd');
    for (const int levels : {25, 330}) {   // 25 x 201 bytes; 330 x 201 bytes, twice in the header
        SCOPED_TRACE(levels);
        const std::string base = path("base" + std::to_string(levels));
        writeFile("base" + std::to_string(levels) + "/top.txt", "top");
        int folder = ::open(base.c_str(), O_RDONLY | O_DIRECTORY);
        ASSERT_GE(folder, 0);
        for (int level = 0; level < levels; ++level) {
            ASSERT_EQ(::mkdirat(folder, part.c_str(), 0755), 0);
            const int next = ::openat(folder, part.c_str(), O_RDONLY | O_DIRECTORY);
            ::close(folder);
            folder = next;
            ASSERT_GE(folder, 0);
        }
        const int file = ::openat(folder, "deep.txt", O_WRONLY | O_CREAT, 0644);
        ASSERT_EQ(::write(file, "deep", 4), 4);
        ::close(file);
        ::close(folder);
        const std::string archive = path("deep" + std::to_string(levels) + ".lzh");
        std::string report;
        const int status = run("m -r2 -x1 " + archive + " " + base + "/ .", &report);
        if (levels > 300) {
            EXPECT_EQ(status, 1);
            EXPECT_NE(report.find("the name is too long for a header"), std::string::npos) << report.substr(0, 300);
            EXPECT_FALSE(QFile::exists(QString::fromStdString(archive)));
            continue;
        }
        ASSERT_EQ(status, 0) << report;
        const auto stored = names(archive);
        EXPECT_EQ(stored.size(), static_cast<std::size_t>(levels + 2));
        std::size_t longest = 0;
        for (const std::string& name : stored) longest = std::max(longest, name.size());
        EXPECT_EQ(longest, levels * 201 + std::string("deep.txt").size());
        EXPECT_EQ(report.find("not removed"), std::string::npos) << report;
        EXPECT_TRUE(QDir(QString::fromStdString(base)).isEmpty());
    }
}

// Without a base folder, names are taken as the shell gives them: from the
// root or from above the current folder, stored without the leading "/" or
// "../"; a ".." further in is still refused.
TEST_F(CommandTest, NamesWithoutABaseFolderAreTakenAsGiven) {
    writeFile("base/a.txt", "a");
    writeFile("base/sub/b.txt", "b");
    const std::string absolute = path("base/a.txt"), fromRoot = absolute.substr(1);
    struct { const char* switches; std::string names; int status; std::vector<std::string> stored; } table[] = {
        {"", absolute, 0, {"a.txt"}},
        {"-x1", absolute, 0, {fromRoot}},
        {"", "../a.txt", 0, {"a.txt"}},
        {"-x1", "../a.txt b.txt", 0, {"a.txt", "b.txt"}},
        {"-x1", "../sub/../a.txt", 1, {}},
    };
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(path("base/sub"))));
    for (const auto& row : table) {
        const std::string archive = path("free.lzh");
        ::unlink(archive.c_str());
        std::string report;
        EXPECT_EQ(run(std::string("u ") + row.switches + " " + archive + " " + row.names, &report), row.status)
            << row.names << ": " << report;
        if (row.status == 0) {
            EXPECT_EQ(names(archive), row.stored) << row.names;
        }
    }
    QDir::setCurrent(before);
}

// The members an update keeps are copied in runs between those it
// replaces: each kept member once, in its place, byte for byte.
TEST_F(CommandTest, UpdateCopiesKeptRunsAroundReplacedMembers) {
    const std::vector<std::string> names = {"a", "b", "c", "d", "e"};
    struct { std::vector<std::string> replaced; } table[] = {{{"a"}}, {{"c"}}, {{"e"}}, {{"b", "d"}}, {{"a", "e"}}};
    for (const auto& row : table) {
        for (const std::string& n : names) {
            writeFile("base/" + n, std::string(100, n[0]) + "first");
            stamp(path("base/" + n), 1000000000);
        }
        const std::string archive = path("runs.lzh"), base = path("base") + "/";
        ::unlink(archive.c_str());
        ASSERT_EQ(run("u " + archive + " " + base + " a b c d e"), 0);
        const auto before = members(archive);
        const std::string oldBytes = bytesOf(archive);
        for (const std::string& n : row.replaced) {
            writeFile("base/" + n, n + " second");
            stamp(path("base/" + n), 1700000000);
        }
        std::string report;
        ASSERT_EQ(run("u " + archive + " " + base + " a b c d e", &report), 0) << report;
        const auto after = members(archive);
        const std::string newBytes = bytesOf(archive);
        ASSERT_EQ(after.size(), names.size()) << row.replaced[0];
        for (std::size_t i = 0; i < names.size(); ++i) {
            EXPECT_EQ(after[i].name, names[i]);
            const bool replaced =
                std::find(row.replaced.begin(), row.replaced.end(), names[i]) != row.replaced.end();
            if (replaced) continue;
            const std::size_t length = before[i].headerSize + before[i].packedSize;
            EXPECT_EQ(newBytes.substr(after[i].headerOffset, length), oldBytes.substr(before[i].headerOffset, length))
                << names[i] << " after replacing " << row.replaced[0];
        }
        EXPECT_EQ(run("t " + archive), 0);
    }
}

TEST_F(CommandTest, UpdateAddsReplacesOlderKeepsNewer) {
    writeFile("base/old.txt", "old contents");
    writeFile("base/new.txt", "new contents");
    stamp(path("base/old.txt"), 1000000000);
    stamp(path("base/new.txt"), 1600000000);
    const std::string archive = path("u.lzh"), base = path("base") + "/";
    ASSERT_EQ(run("u -x1 " + archive + " " + base + " old.txt new.txt"), 0);
    const auto before = members(archive);

    writeFile("base/old.txt", "changed and newer");
    stamp(path("base/old.txt"), 1700000000);   // newer than its member: replaced
    writeFile("base/new.txt", "changed but older");
    stamp(path("base/new.txt"), 1500000000);   // older than its member: kept
    writeFile("base/added.txt", "added");
    std::string report;
    ASSERT_EQ(run("u -x1 " + archive + " " + base + " old.txt new.txt added.txt", &report), 0);
    EXPECT_EQ(report, "1 added, 1 replaced, 1 kept");
    const auto after = members(archive);
    ASSERT_EQ(after.size(), 3u);
    EXPECT_EQ(after[0].name, "old.txt");
    EXPECT_EQ(after[0].originalSize, 17u);
    EXPECT_EQ(after[1].originalSize, 12u);
    EXPECT_EQ(after[2].name, "added.txt");
    // The kept member is the same bytes as before.
    const std::string oldBytes = bytesOf(archive);
    EXPECT_EQ(run("u -x1 " + archive + " " + base + " new.txt", &report), 0);
    EXPECT_EQ(report, "nothing to update: 3 kept");
    EXPECT_EQ(bytesOf(archive), oldBytes);
    EXPECT_EQ(tempFilesBeside(), 0);
}

// An archive that holds a name twice: u replaces the copies only with a
// file newer than all of them (readers differ on which they extract), and
// then every copy goes; m replaces them whatever their dates.
TEST_F(CommandTest, UpdateOfANameHeldTwiceReplacesEveryCopy) {
    const std::string base = path("base") + "/";
    const struct { const char* letter; int first, second; } table[] = {
        {"u", 1500000000, 1600000000}, {"u", 1600000000, 1500000000}, {"m", 1500000000, 1600000000}};
    for (const auto& row : table) {
        const std::string letter = row.letter;
        SCOPED_TRACE(letter + std::to_string(row.first));
        std::string twice;
        for (const auto& [content, when] : {std::pair{"v1", row.first}, std::pair{"v2", row.second}}) {
            writeFile("base/a.txt", content);
            stamp(path("base/a.txt"), when);
            ASSERT_EQ(run("c " + path("one.lzh") + " " + base + " a.txt"), 0);
            const std::string bytes = bytesOf(path("one.lzh"));
            twice += twice.empty() ? bytes.substr(0, bytes.size() - 1) : bytes;   // the first without its end mark
        }
        writeFile("twice.lzh", twice);
        writeFile("base/a.txt", "v3 new");
        stamp(path("base/a.txt"), 1550000000);   // newer than one copy only: kept by u
        std::string report;
        if (letter == "u") {
            ASSERT_EQ(run("u " + path("twice.lzh") + " " + base + " a.txt", &report), 0);
            EXPECT_EQ(report, "nothing to update: 2 kept");
            stamp(path("base/a.txt"), 1700000000);
        }
        ASSERT_EQ(run(letter + " " + path("twice.lzh") + " " + base + " a.txt", &report), 0);
        EXPECT_NE(report.find("1 more member under the names replaced dropped"), std::string::npos) << report;
        const auto after = members(path("twice.lzh"));
        ASSERT_EQ(after.size(), 1u);
        EXPECT_EQ(after[0].originalSize, 6u);   // the file's, not a copy's
    }
}

TEST_F(CommandTest, FailuresLeaveTheOldArchiveByteIdentical) {
    writeFile("base/a.txt", "a");
    const std::string archive = path("keep.lzh"), base = path("base") + "/";
    ASSERT_EQ(run("u -x1 " + archive + " " + base + " a.txt"), 0);
    const std::string original = bytesOf(archive);

    // A file that vanishes between listing and reading.
    Command command;
    ASSERT_EQ(parseCommand(splitCommandText("u -x1 " + archive + " " + base), command), "");
    std::vector<Entry> entries = {{"gone.txt", path("base/gone.txt"), false, 0, 0, {}}};
    Report lines;
    EXPECT_NE(updateArchive(command, entries, lines), "");
    std::string report;
    EXPECT_EQ(bytesOf(archive), original);
    EXPECT_EQ(tempFilesBeside(), 0);

    // A damaged archive is refused, never repaired by dropping members.
    std::string damaged = original;
    damaged[30] ^= 0x55;
    { std::ofstream(archive, std::ios::binary) << damaged; }
    writeFile("base/b.txt", "b");
    EXPECT_NE(run("u -x1 " + archive + " " + base + " b.txt", &report), 0);
    EXPECT_NE(report.find("damaged"), std::string::npos) << report;
    EXPECT_EQ(bytesOf(archive), damaged);

    // A folder that cannot take the new archive.
    EXPECT_NE(run("u -x1 " + path("no/such/dir/x.lzh") + " " + base + " b.txt", &report), 0);
    EXPECT_EQ(tempFilesBeside(), 0);
}

// A large member kept by an update is copied in the kernel: byte for byte,
// and a write that fails partway leaves the old archive as it was.
TEST_F(CommandTest, LargeKeptMembersCopyWholeOrNotAtAll) {
    std::string noise(700000, '\0');
    std::uint32_t x = 12345;
    for (char& c : noise) c = static_cast<char>((x = x * 1103515245u + 12345u) >> 24);
    writeFile("base/big.bin", noise);
    writeFile("base/new.txt", "new");
    const std::string archive = path("big.lzh"), base = path("base") + "/";
    ASSERT_EQ(run("u -x1 " + archive + " " + base + " big.bin"), 0);
    const std::string original = bytesOf(archive);
    struct { const char* label; rlim_t limit; int status; } table[] = {
        {"the write fails partway", 400000, 1},
        {"copied", 0, 0},
    };
    for (const auto& row : table) {
        std::string report;
        {
            std::optional<support::FileSizeLimit> limit;
            if (row.limit) limit.emplace(row.limit);
            EXPECT_EQ(run("a -x1 " + archive + " " + base + " new.txt", &report), row.status) << row.label << report;
        }
        const std::string now = bytesOf(archive);
        if (row.status != 0) {
            EXPECT_EQ(now, original) << row.label;
            EXPECT_EQ(tempFilesBeside(), 0) << row.label;
            continue;
        }
        const ArchiveMember kept = members(archive).front();
        EXPECT_EQ(now.substr(0, kept.headerSize + kept.packedSize), original.substr(0, original.size() - 1));
        EXPECT_EQ(names(archive), (std::vector<std::string>{"big.bin", "new.txt"}));
    }
}

TEST_F(CommandTest, UpdateOfEverySampleArchiveKeepsForeignMembersByteForByte) {
    const char* shared = std::getenv("SQS_SHARED_DIR");
    const std::string samples = std::string(shared ? shared : "../shared") + "/lzh-samples";
    std::ifstream manifest(samples + "/manifest.tsv");
    if (!manifest) GTEST_SKIP() << "no shared samples here";
    std::string line;
    std::getline(manifest, line);
    std::set<std::string> archives;
    while (std::getline(manifest, line)) archives.insert(line.substr(0, line.find('\t')));
    archives.erase("regression/truncated.lzh");
    writeFile("base/brand new.txt", "a new member");
    int checked = 0;
    for (const std::string& name : archives) {
        const std::string copy = path("copy.lzh");
        QFile::remove(QString::fromStdString(copy));
        ASSERT_TRUE(QFile::copy(QString::fromStdString(samples + "/" + name), QString::fromStdString(copy)));
        const auto before = members(copy);
        const std::string oldBytes = bytesOf(copy);
        std::string report;
        ASSERT_EQ(run("u -x1 " + copy + " " + path("base") + "/ \"brand new.txt\"", &report), 0) << name << report;
        const auto after = members(copy);
        ASSERT_EQ(after.size(), before.size() + 1) << name;
        const std::string newBytes = bytesOf(copy);
        for (std::size_t i = 0; i < before.size(); ++i) {
            const auto& b = before[i];
            const auto& a = after[i];
            EXPECT_EQ(newBytes.substr(a.headerOffset, a.headerSize + a.packedSize),
                      oldBytes.substr(b.headerOffset, b.headerSize + b.packedSize))
                << name << " member " << i;
        }
        // A self-extractor keeps its program part byte for byte.
        EXPECT_EQ(after.front().headerOffset, before.front().headerOffset) << name;
        EXPECT_EQ(newBytes.substr(0, after.front().headerOffset), oldBytes.substr(0, before.front().headerOffset)) << name;
        EXPECT_EQ(after.back().name, "brand new.txt");
        ++checked;
    }
    EXPECT_GT(checked, 100);
}

TEST_F(CommandTest, UnlhaLibraryByNameWritesBoundedReports) {
    void* library = ::dlopen(UNLHA_LIBRARY_PATH, RTLD_NOW);
    ASSERT_NE(library, nullptr) << ::dlerror();
    using Entry = int (*)(std::int32_t, const char*, char*, std::uint32_t);
    auto unlha = reinterpret_cast<Entry>(::dlsym(library, "Unlha"));
    ASSERT_NE(unlha, nullptr);
    writeFile("base/photo 1.jpg", std::string(5000, 'p'));
    writeFile("base/notes.txt", "notes");
    writeFile("tools/responce.txt", "\"photo 1.jpg\"\r\nnotes.txt\r\n\r\n");
    const std::string text = "u -a1 -r2 -x1 -l1 -jp1 -o2 " + path("out.lzh") + " \"" + path("base") + "/\" @" +
                             path("tools/responce.txt") + " ";
    char buffer[1024];
    std::memset(buffer, 'Z', sizeof buffer);
    EXPECT_EQ(unlha(0, text.c_str(), buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "2 added, 0 replaced, 0 kept");
    EXPECT_EQ(names(path("out.lzh")), (std::vector<std::string>{"photo 1.jpg", "notes.txt"}));
    // Reports are cut to the buffer and always end in a zero byte.
    for (std::uint32_t size : {1u, 5u}) {
        std::memset(buffer, 'Z', sizeof buffer);
        EXPECT_NE(unlha(0, "u -q x.lzh", buffer, size), 0);
        EXPECT_EQ(std::strlen(buffer), size - 1);
        EXPECT_EQ(buffer[size], 'Z');
    }
    EXPECT_NE(unlha(0, "bogus", nullptr, 0), 0);
    // A cut never ends inside a character: "…/日本.lzh" cut one byte into "日".
    const std::string missing = "l " + path("日本.lzh");
    const std::string said = "error: cannot open " + path("");
    std::memset(buffer, 'Z', sizeof buffer);
    EXPECT_NE(unlha(0, missing.c_str(), buffer, static_cast<std::uint32_t>(said.size() + 2)), 0);
    EXPECT_EQ(std::string(buffer), said);
    ::dlclose(library);
}

}  // namespace
}  // namespace lzh

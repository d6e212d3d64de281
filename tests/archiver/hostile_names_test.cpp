// Hostile and unlucky names and targets: what the archiver prints, stores and replaces.
#include "archiver/command/member_path.h"
#include "archiver/command/printable.h"
#include "archiver/command/run_command.h"
#include "archiver/command/update.h"
#include "archiver/format/archive_reader.h"
#include "archiver/format/member_header.h"
#include "tests/archiver/archive_fixture.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <algorithm>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

namespace lzh {
namespace {

using test::ArchiveFixture;

// Names from an archive, made safe to extract: what is left below the
// destination, and what the report says was changed.
TEST(SafeMemberPath, StaysBelowTheDestination) {
    const struct { std::string name; std::vector<std::string> parts; std::string note; } table[] = {
        {"docs/a.txt", {"docs", "a.txt"}, ""},
        {"docs\\sub\\a.txt", {"docs", "sub", "a.txt"}, ""},
        {"/etc/passwd", {"etc", "passwd"}, "made relative"},
        {"\\\\server\\share\\f", {"server", "share", "f"}, "made relative"},
        {"C:\\Windows\\x.dll", {"Windows", "x.dll"}, "drive letter removed"},
        {"c:/../../x", {"x"}, "drive letter removed, \"..\" removed"},
        {"c:x", {"c:x"}, ""},   // a plain name on this system
        {"../../etc/passwd", {"etc", "passwd"}, "\"..\" removed"},
        {"a/b/../../../c", {"c"}, "\"..\" removed"},
        {"./a//b/.", {"a", "b"}, ""},
        {"a\x01" "b/\x7f", {"a_b", "_"}, "control characters replaced by \"_\""},
        {"c1\u009b" "2J/\u0085x\u00a0\u00e9", {"c1_2J", "_x\u00a0\u00e9"}, "control characters replaced by \"_\""},
        {"", {}, "no name"},
        {"../..", {}, "no name left (\"..\" removed)"},
        {"/", {}, "no name left (made relative)"},
    };
    for (const auto& row : table) {
        const MemberPath path = safeMemberPath(row.name);
        EXPECT_EQ(path.parts, row.parts) << row.name;
        EXPECT_EQ(path.note, row.note) << row.name;
    }
}

struct PrintableCase {
    const char* label;
    std::string raw;
    std::string shown;
};

class PrintableTest : public ::testing::TestWithParam<PrintableCase> {};

TEST_P(PrintableTest, EscapesWhatATerminalWouldObey) { EXPECT_EQ(printable(GetParam().raw), GetParam().shown); }

INSTANTIATE_TEST_SUITE_P(
    Table, PrintableTest,
    ::testing::Values(PrintableCase{"plain", "docs/a b.txt", "docs/a b.txt"},
                      PrintableCase{"japanese_kept", "日本語ソ表.txt", "日本語ソ表.txt"},
                      PrintableCase{"title_escape", "\x1b]2;evil\x07", "\\x1B]2;evil\\x07"},
                      PrintableCase{"line_break", "a\nb\r", "a\\x0Ab\\x0D"},
                      PrintableCase{"nul_and_del", std::string("a\0b\x7f", 4), "a\\x00b\\x7F"},
                      PrintableCase{"c1_csi", "a\xC2\x9B" "2J", "a\\xC2\\x9B2J"},
                      PrintableCase{"nbsp_is_not_c1", "a\xC2\xA0" "b", "a\xC2\xA0" "b"},
                      PrintableCase{"invalid_bytes", "bad\xff.txt", "bad\\xFF.txt"},
                      PrintableCase{"raw_c1_byte", "x\x9b" "y", "x\\x9By"},
                      PrintableCase{"cut_sequence", "\xE6\x97", "\\xE6\\x97"},
                      PrintableCase{"overlong", "\xC0\xAF", "\\xC0\\xAF"},
                      PrintableCase{"backslash", "a\\x41", "a\\\\x41"}),
    [](const auto& info) { return std::string(info.param.label); });

class HostileNames : public ArchiveFixture {
protected:
    // An archive of one empty stored member with the given name, written
    // header by header so that the name reaches the archive as it is.
    std::string archiveNamed(const std::string& name) {
        MemberInfo info;
        info.name = name;
        info.method = Method::Lh0;
        std::vector<std::uint8_t> bytes = level2Header(info);
        bytes.push_back(0);
        const std::string archive = path("named.lzh");
        std::ofstream(archive, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                      static_cast<std::streamsize>(bytes.size()));
        return archive;
    }
};

// Every line that `l` and `t` print, errors included, carries no control character.
TEST_F(HostileNames, ListAndTestPrintNoControlCharacters) {
    struct {
        const char* command;
        std::string name;
        std::string shown;
    } table[] = {
        {"l", "\x1b]2;malicious\x07", "\\x1B]2;malicious\\x07"},
        {"t", "\x1b]2;malicious\x07", "\\x1B]2;malicious\\x07"},
        {"l", "a.txt\n       999          999 -lh0- 2000-01-01 00:00:00 L2 fake", "a.txt\\x0A"},
        {"t", "csi\xC2\x9B" "2J", "csi\\xC2\\x9B2J"},
    };
    for (const auto& row : table) {
        std::string report;
        EXPECT_EQ(runCommand(std::string(row.command) + " " + archiveNamed(row.name), report), 0) << report;
        EXPECT_NE(report.find(row.shown), std::string::npos) << report;
        for (char c : report) EXPECT_TRUE(c == '\n' || static_cast<unsigned char>(c) >= 0x20) << report;
        EXPECT_EQ(report.find("\xC2\x9B"), std::string::npos);
        // One member line, one total, and for `l` a header line and two rules.
        EXPECT_EQ(std::count(report.begin(), report.end(), '\n'), row.command[0] == 'l' ? 4 : 1) << report;
    }
    // A fault names the path as it is given, escaped.
    std::string report;
    EXPECT_NE(runCommand("l " + path("no\x1b[2Jsuch.lzh"), report), 0);
    EXPECT_NE(report.find("no\\x1B[2Jsuch.lzh"), std::string::npos) << report;
}

// Runs the unlha32 tool with these arguments; its status and what it printed
// (its standard output may go to a file of its own instead).
int runTool(const std::vector<std::string>& args, std::string* output = nullptr, const char* stdoutFile = nullptr) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) return -1;
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(stdoutFile ? ::open(stdoutFile, O_WRONLY) : pipeFds[1], 1);
        ::dup2(pipeFds[1], 2);
        ::close(pipeFds[0]);
        std::vector<char*> argv{const_cast<char*>(UNLHA_TOOL_PATH)};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(UNLHA_TOOL_PATH, argv.data());
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<std::size_t>(n));
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (output) *output = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

class HostileTargets : public HostileNames {
public:
    // A file whose name is bytes that need not be UTF-8 (its folder exists).
    void rawFile(const std::string& name) { std::ofstream(path(name), std::ios::binary) << "abc"; }
    std::vector<ArchiveMember> members(const std::string& archive) {
        std::vector<ArchiveMember> found;
        const std::string bytes = bytesOf(archive);
        EXPECT_EQ(readArchive(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), found), "") << archive;
        return found;
    }
    std::vector<std::string> names(const std::string& archive) {
        std::vector<std::string> out;
        for (const auto& m : members(archive)) out.push_back(m.name);
        return out;
    }
    QStringList filesIn(const std::string& folder) {
        return QDir(QString::fromStdString(folder)).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System);
    }
};

// One row: what is set up, the command, and what must hold afterwards.
struct TargetCase {
    const char* label;
    std::function<void(HostileTargets&)> setUp;
    std::function<std::vector<std::string>(HostileTargets&)> args;   // the tool's arguments
    int status;
    std::string said;                                                   // part of what it printed
    std::function<void(HostileTargets&)> check;
};

std::string existing(HostileTargets& t) {
    // An archive that must come through a refused command byte for byte.
    t.writeFile("old/keep.txt", "kept");
    EXPECT_EQ(runTool({"u", "-x1", t.path("a.lzh"), t.path("old") + "/", "keep.txt"}), 0);
    return t.bytesOf(t.path("a.lzh"));
}

const TargetCase kTargetCases[] = {
    {"name_not_utf8_in_walk", [](HostileTargets& t) { t.writeFile("s/ok.txt", "ok"); t.rawFile("s/bad\xff.txt"); },
     [](HostileTargets& t) { return std::vector<std::string>{"u", "-r2", "-x1", t.path("a.lzh"), t.path("s") + "/", "."}; },
     1, "bad\\xFF.txt",
     [](HostileTargets& t) { EXPECT_FALSE(QFile::exists(QString::fromStdString(t.path("a.lzh")))); }},
    {"name_not_utf8_named", [](HostileTargets& t) { t.writeFile("s/ok.txt", "ok"); t.rawFile("s/bad\xff.txt"); },
     [](HostileTargets& t) { return std::vector<std::string>{"u", t.path("a.lzh"), t.path("s") + "/", "bad\xff.txt"}; },
     1, "not valid UTF-8", [](HostileTargets& t) { EXPECT_FALSE(QFile::exists(QString::fromStdString(t.path("a.lzh")))); }},
    {"backslash_in_a_name", [](HostileTargets& t) { t.writeFile("s/ok.txt", "ok"); t.rawFile("s/a\\b.txt"); },
     [](HostileTargets& t) { return std::vector<std::string>{"u", "-r2", "-x1", t.path("a.lzh"), t.path("s") + "/", "."}; },
     1, "backslash", [](HostileTargets& t) { EXPECT_FALSE(QFile::exists(QString::fromStdString(t.path("a.lzh")))); }},
    {"line_break_on_command_line", [](HostileTargets& t) { t.writeFile("s/new", "1"); t.writeFile("s/line.txt", "2"); },
     [](HostileTargets& t) { return std::vector<std::string>{"u", t.path("a.lzh"), t.path("s") + "/", "new\nline.txt"}; },
     1, "line break", [](HostileTargets& t) { EXPECT_FALSE(QFile::exists(QString::fromStdString(t.path("a.lzh")))); }},
    {"double_quotes_on_command_line", [](HostileTargets& t) { t.writeFile("s/say \"hi\".txt", "q"); },
     [](HostileTargets& t) { return std::vector<std::string>{"u", t.path("a.lzh"), t.path("s") + "/", "say \"hi\".txt"}; },
     0, "1 added", [](HostileTargets& t) { EXPECT_EQ(t.names(t.path("a.lzh")), std::vector<std::string>{"say \"hi\".txt"}); }},
    {"line_break_in_command_text", [](HostileTargets& t) { t.writeFile("s/new", "1"); t.writeFile("s/line.txt", "2"); },
     [](HostileTargets& t) {
         std::string report;
         EXPECT_EQ(runCommand("u " + t.path("a.lzh") + " " + t.path("s") + "/ \"new\nline.txt\"", report), 1);
         EXPECT_NE(report.find("new\\x0Aline.txt"), std::string::npos) << report;
         return std::vector<std::string>{"l", t.path("a.lzh")};
     },
     1, "cannot open", nullptr},
    {"two_files_one_stored_name", [](HostileTargets& t) { t.writeFile("s/a/readme.txt", "a"); t.writeFile("s/b/readme.txt", "b"); },
     [](HostileTargets& t) {
         t.writeFile("s/keep.txt", "k");
         EXPECT_EQ(runTool({"u", t.path("a.lzh"), t.path("s") + "/", "keep.txt"}), 0);
         t.writeFile("before", t.bytesOf(t.path("a.lzh")));
         return std::vector<std::string>{"u", t.path("a.lzh"), t.path("s") + "/", "a/readme.txt", "b/readme.txt"};
     },
     1, "s/b/readme.txt",
     [](HostileTargets& t) { EXPECT_EQ(t.bytesOf(t.path("a.lzh")), t.bytesOf(t.path("before"))); }},
    {"same_file_twice_taken_once", [](HostileTargets& t) { t.writeFile("s/a.txt", "a"); },
     [](HostileTargets& t) { return std::vector<std::string>{"u", t.path("a.lzh"), t.path("s") + "/", "a.txt", "./a.txt"}; },
     0, "1 added", [](HostileTargets& t) { EXPECT_EQ(t.names(t.path("a.lzh")), std::vector<std::string>{"a.txt"}); }},
    {"self_extractor_keeps_its_program", [](HostileTargets& t) {
         t.writeFile("s/a.txt", "a");
         ASSERT_EQ(runTool({"u", t.path("plain.lzh"), t.path("s") + "/", "a.txt"}), 0);
         t.writeFile("a.lzh", "MZ" + std::string(2998, 'M') + t.bytesOf(t.path("plain.lzh")));
         t.writeFile("before", t.bytesOf(t.path("a.lzh")));
     },
     [](HostileTargets& t) {
         EXPECT_EQ(runTool({"u", t.path("a.lzh"), t.path("s") + "/", "a.txt"}), 0);   // nothing changes
         EXPECT_EQ(t.bytesOf(t.path("a.lzh")), t.bytesOf(t.path("before")));
         t.writeFile("s/b.txt", "b");
         return std::vector<std::string>{"u", t.path("a.lzh"), t.path("s") + "/", "b.txt"};
     },
     0, "1 added",
     [](HostileTargets& t) {
         EXPECT_EQ(t.bytesOf(t.path("a.lzh")).substr(0, 3000), "MZ" + std::string(2998, 'M'));
         EXPECT_EQ(t.names(t.path("a.lzh")), (std::vector<std::string>{"a.txt", "b.txt"}));
     }},
    {"self_extractor_emptied_by_delete", [](HostileTargets& t) {
         t.writeFile("s/a.txt", "a");
         ASSERT_EQ(runTool({"u", t.path("plain.lzh"), t.path("s") + "/", "a.txt"}), 0);
         t.writeFile("a.lzh", "MZ" + std::string(2998, 'M') + t.bytesOf(t.path("plain.lzh")));
         t.writeFile("before", t.bytesOf(t.path("a.lzh")));
     },
     [](HostileTargets& t) { return std::vector<std::string>{"d", t.path("a.lzh"), "a.txt"}; },
     1, "leaving the self-extracting program",
     [](HostileTargets& t) { EXPECT_EQ(t.bytesOf(t.path("a.lzh")), t.bytesOf(t.path("before"))); }},
    // A file that holds an archive after what is no program (a tar of
    // one) is no archive: no command rewrites it.
    {"archive_inside_another_file", [](HostileTargets& t) {
         t.writeFile("s/a.txt", "a");
         ASSERT_EQ(runTool({"u", t.path("plain.lzh"), t.path("s") + "/", "a.txt"}), 0);
         t.writeFile("a.lzh", "plain.lzh" + std::string(503, '\0') + t.bytesOf(t.path("plain.lzh")) + "other file");
         t.writeFile("before", t.bytesOf(t.path("a.lzh")));
     },
     [](HostileTargets& t) {
         for (const char* command : {"c", "d"}) {
             std::string output;
             EXPECT_EQ(runTool({command, t.path("a.lzh"), t.path("s") + "/", "a.txt"}, &output), 1) << command;
             EXPECT_NE(output.find("not an archive"), std::string::npos) << output;
         }
         std::string listing;   // read as it stands, with a word of where it was found
         EXPECT_EQ(runTool({"l", t.path("a.lzh")}, &listing), 0);
         EXPECT_NE(listing.find("begins at byte 512, after what is no self-extracting program"), std::string::npos)
             << listing;
         t.writeFile("s/b.txt", "b");
         return std::vector<std::string>{"u", t.path("a.lzh"), t.path("s") + "/", "b.txt"};
     },
     1, "not an archive, left as it is",
     [](HostileTargets& t) { EXPECT_EQ(t.bytesOf(t.path("a.lzh")), t.bytesOf(t.path("before"))); }},
    {"bytes_after_the_end_kept", [](HostileTargets& t) {
         t.writeFile("s/a.txt", "a");
         ASSERT_EQ(runTool({"u", t.path("a.lzh"), t.path("s") + "/", "a.txt"}), 0);
         t.writeFile("a.lzh", t.bytesOf(t.path("a.lzh")) + "appended");
     },
     [](HostileTargets& t) { t.writeFile("s/b.txt", "b"); return std::vector<std::string>{"u", t.path("a.lzh"), t.path("s") + "/", "b.txt"}; },
     0, "1 added",
     [](HostileTargets& t) {
         EXPECT_EQ(t.names(t.path("a.lzh")), (std::vector<std::string>{"a.txt", "b.txt"}));
         const std::string bytes = t.bytesOf(t.path("a.lzh"));
         EXPECT_EQ(bytes.substr(bytes.size() - 9), std::string("\0appended", 9));
     }},
    {"list_file_endless", nullptr,
     [](HostileTargets& t) { return std::vector<std::string>{"u", t.path("a.lzh"), t.path("s") + "/", "@/dev/zero"}; },
     1, "not a regular file", [](HostileTargets& t) { EXPECT_FALSE(QFile::exists(QString::fromStdString(t.path("a.lzh")))); }},
    {"archive_inside_the_folder", [](HostileTargets& t) { t.writeFile("s/a.txt", "a"); },
     [](HostileTargets& t) {
         EXPECT_EQ(runTool({"u", "-a1", "-r2", "-x1", t.path("s/in.lzh"), t.path("s") + "/", "."}), 0);
         t.writeFile("s/b.txt", "b");
         return std::vector<std::string>{"u", "-a1", "-r2", "-x1", t.path("s/in.lzh"), t.path("s") + "/", "."};
     },
     0, "1 added", [](HostileTargets& t) { EXPECT_EQ(t.names(t.path("s/in.lzh")), (std::vector<std::string>{"a.txt", "b.txt"})); }},
    {"date_beyond_the_header", [](HostileTargets& t) {
         t.writeFile("s/future.txt", "from 2200");
         struct utimbuf times {7258118400, 7258118400};
         ::utime(t.path("s/future.txt").c_str(), &times);
         ASSERT_EQ(runTool({"u", t.path("a.lzh"), t.path("s") + "/", "future.txt"}), 0);
     },
     [](HostileTargets& t) { return std::vector<std::string>{"u", t.path("a.lzh"), t.path("s") + "/", "future.txt"}; },
     0, "nothing to update",
     [](HostileTargets& t) { EXPECT_EQ(t.members(t.path("a.lzh")).at(0).mtime, 7258118400); }},
    {"date_before_1970_changed", [](HostileTargets& t) {
         t.writeFile("s/old.txt", "from 1960");
         struct utimbuf times {-315619200, -315619200};
         ::utime(t.path("s/old.txt").c_str(), &times);
         ASSERT_EQ(runTool({"u", t.path("a.lzh"), t.path("s") + "/", "old.txt"}), 0);
         t.writeFile("s/old.txt", "from 1965");
         times = {-157766400, -157766400};
         ::utime(t.path("s/old.txt").c_str(), &times);
     },
     [](HostileTargets& t) { return std::vector<std::string>{"u", t.path("a.lzh"), t.path("s") + "/", "old.txt"}; },
     0, "1 replaced",
     [](HostileTargets& t) { EXPECT_EQ(t.members(t.path("a.lzh")).at(0).mtime, -157766400); }},
    {"read_only_archive", [](HostileTargets& t) { t.writeFile("before", existing(t)); ::chmod(t.path("a.lzh").c_str(), 0444); },
     [](HostileTargets& t) { t.writeFile("s/new.txt", "n"); return std::vector<std::string>{"u", t.path("a.lzh"), t.path("s") + "/", "new.txt"}; },
     1, "read-only",
     [](HostileTargets& t) {
         EXPECT_EQ(t.bytesOf(t.path("a.lzh")), t.bytesOf(t.path("before")));
         struct stat st {};
         ::stat(t.path("a.lzh").c_str(), &st);
         EXPECT_EQ(st.st_mode & 0777, 0444u);
     }},
    {"linked_archive", [](HostileTargets& t) {
         existing(t);
         QDir().mkpath(QString::fromStdString(t.path("links")));
         ASSERT_EQ(::symlink("../a.lzh", t.path("links/l.lzh").c_str()), 0);
     },
     [](HostileTargets& t) { t.writeFile("s/new.txt", "n"); return std::vector<std::string>{"u", t.path("links/l.lzh"), t.path("s") + "/", "new.txt"}; },
     0, "1 added",
     [](HostileTargets& t) {
         struct stat st {};
         ASSERT_EQ(::lstat(t.path("links/l.lzh").c_str(), &st), 0);
         EXPECT_TRUE(S_ISLNK(st.st_mode));
         EXPECT_EQ(t.names(t.path("a.lzh")), (std::vector<std::string>{"keep.txt", "new.txt"}));
         EXPECT_EQ(t.filesIn(t.path("links")), QStringList{"l.lzh"});
     }},
};

void PrintTo(const TargetCase& c, std::ostream* out) { *out << c.label; }

class TargetTable : public HostileTargets, public ::testing::WithParamInterface<TargetCase> {};

TEST_P(TargetTable, RefusedOrDoneFaithfully) {
    const TargetCase& c = GetParam();
    if (c.setUp) c.setUp(*this);
    if (HasFatalFailure()) return;
    std::string output;
    EXPECT_EQ(runTool(c.args(*this), &output), c.status) << output;
    EXPECT_NE(output.find(c.said), std::string::npos) << output;
    if (c.check) c.check(*this);
    // No temporary file is left anywhere in the test folder.
    for (const QString& f : filesIn(dir())) EXPECT_FALSE(f.startsWith('.')) << f.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Table, TargetTable, ::testing::ValuesIn(kTargetCases),
                         [](const auto& info) { return std::string(info.param.label); });

// What the tool prints must reach its standard output: a full one is an error.
TEST_F(HostileTargets, FullStandardOutputIsAFailure) {
    writeFile("s/a.txt", "a");
    ASSERT_EQ(runTool({"u", path("a.lzh"), path("s") + "/", "a.txt"}), 0);
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"l", path("a.lzh")}, {"t", path("a.lzh")}, {"--help"}, {"--version"}}) {
        std::string output;
        EXPECT_EQ(runTool(args, &output, "/dev/full"), 1) << args[0];
        EXPECT_NE(output.find("error: cannot write to the standard output: "), std::string::npos) << output;
    }
}

// p prints the members alone to its standard output; a warning (a name
// that selects nothing) goes to standard error, not into the data.
TEST_F(HostileTargets, PrintedMembersAloneReachTheStandardOutput) {
    writeFile("s/a.txt", "a");
    ASSERT_EQ(runTool({"u", path("a.lzh"), path("s") + "/", "a.txt"}), 0);
    writeFile("printed", "");
    std::string errors;
    EXPECT_EQ(runTool({"p", path("a.lzh"), "a.txt", "nothere"}, &errors, path("printed").c_str()), 0);
    EXPECT_EQ(bytesOf(path("printed")), "a");
    EXPECT_NE(errors.find("warning: nothere: no such member"), std::string::npos) << errors;
}

// `text` as one word for sh.
std::string shellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// The tool as a shell runs it: results on standard output, warnings and
// errors on standard error, usage faults with status 2, closed standard
// output and ignored signals as the caller left them.
TEST_F(HostileTargets, StreamsStatusesAndSignalsAsAShellExpects) {
    writeFile("s/a.txt", "a");
    ASSERT_EQ(runTool({"u", path("a.lzh"), path("s") + "/", "a.txt"}), 0);
    std::string bad = bytesOf(path("a.lzh"));
    bad[bad.size() - 2] ^= 1;   // the stored byte of a.txt
    writeFile("bad.lzh", bad);
    ASSERT_EQ(::mkfifo(path("list").c_str(), 0644), 0);
    std::string noise(8192, '\0');
    std::uint32_t x = 1;
    for (char& c : noise) c = static_cast<char>((x = x * 1103515245u + 12345u) >> 23);
    writeFile("big", noise);
    const struct {
        const char* label;
        std::string script;   // run by sh in the test folder, the tool as "$U"
        int status;
        std::string out, err;   // parts of the standard output and error ("" where nothing is wanted)
    } table[] = {
        {"warning_apart", "\"$U\" l a.lzh a.txt nomatch", 0, "Total 1 member", "warning: nomatch: no such member"},
        {"results_of_a_failure_on_stdout", "\"$U\" t bad.lzh", 1, "a.txt: ", "error: the archive has bad members"},
        {"closed_stdout", "\"$U\" c - s/a.txt >&-", 1, "", "error: cannot write to the standard output"},
        {"no_names", "\"$U\" a x.lzh", 2, "", "no file names given"},
        {"base_folder_alone", "\"$U\" a -r2 x.lzh s/", 2, "", "after the base folder s/"},
        {"no_member_names", "\"$U\" d a.lzh", 2, "", "no member names given"},
        {"dot_slash_member", "\"$U\" l a.lzh ./a.txt", 0, "Total 1 member", ""},
        {"version_with_more", "\"$U\" --version x", 2, "", "--version takes nothing"},
        {"file_size_limit", "(ulimit -f 2; exec \"$U\" a -q big.lzh big)", 1, "", "File too large"},
        // nohup and background jobs: an ignored hangup does not end the run
        // (it waits on the list, a FIFO, meanwhile).
        {"ignored_hangup", "(trap '' HUP; exec \"$U\" a -q h.lzh s/ @list) & sleep 0.3; kill -HUP $!; "
                           "echo a.txt > list; wait $!", 0, "", ""},
    };
    for (const auto& row : table) {
        const std::string script = "cd '" + dir() + "' && U='" UNLHA_TOOL_PATH "' && { " + row.script +
                                   "; } > out 2> err";
        const int status = std::system(("sh -c " + shellQuoted(script)).c_str());
        EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, row.status) << row.label;
        const std::string out = bytesOf(path("out")), err = bytesOf(path("err"));
        if (!row.out.empty()) {
            EXPECT_NE(out.find(row.out), std::string::npos) << row.label << ": " << out;
        }
        if (row.err.empty()) EXPECT_EQ(err, "") << row.label;
        else EXPECT_NE(err.find(row.err), std::string::npos) << row.label << ": " << err;
        EXPECT_EQ(out.find("warning: "), std::string::npos) << row.label << ": " << out;
    }
}

// A file swapped for a FIFO between the walk and the read fails at once.
TEST_F(HostileTargets, FifoInPlaceOfAFileDoesNotHang) {
    ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0644), 0);
    Command command;
    ASSERT_EQ(parseCommand(splitCommandText("u " + path("a.lzh")), command), "");
    Report report;
    const std::string fault = updateArchive(command, {{"fifo", path("fifo"), false, 0, 0, {}}}, report);
    EXPECT_NE(fault.find("not a regular file"), std::string::npos) << fault;
    EXPECT_FALSE(QFile::exists(QString::fromStdString(path("a.lzh"))));
}

}  // namespace
}  // namespace lzh

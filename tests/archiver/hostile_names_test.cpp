// Hostile and unlucky names and targets: what the archiver prints, stores and replaces.
#include "archiver/command/printable.h"
#include "archiver/command/run_command.h"
#include "archiver/format/member_header.h"
#include "tests/archiver/archive_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

namespace lzh {
namespace {

using test::ArchiveFixture;

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
        EXPECT_EQ(std::count(report.begin(), report.end(), '\n'), 1) << report;   // one member line, one total
    }
    // A fault names the path as it is given, escaped.
    std::string report;
    EXPECT_NE(runCommand("l " + path("no\x1b[2Jsuch.lzh"), report), 0);
    EXPECT_NE(report.find("no\\x1B[2Jsuch.lzh"), std::string::npos) << report;
}

}  // namespace
}  // namespace lzh

// Updates that overlap or are killed: nothing a finished update added is
// lost, and no temporary file outlives the process.
#include "archiver/format/archive_reader.h"
#include "tests/archiver/archive_fixture.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <random>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace lzh {
namespace {

using test::ArchiveFixture;

class UpdateRace : public ArchiveFixture {
public:
    // Starts the tool; its output goes to /dev/null.
    pid_t start(const std::vector<std::string>& args) {
        const pid_t child = ::fork();
        if (child == 0) {
            if (!std::freopen("/dev/null", "w", stdout) || !std::freopen("/dev/null", "w", stderr)) ::_exit(127);
            std::vector<char*> argv{const_cast<char*>(UNLHA_TOOL_PATH)};
            for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            ::execv(UNLHA_TOOL_PATH, argv.data());
            ::_exit(127);
        }
        return child;
    }
    static int finish(pid_t child) {
        int status = 0;
        ::waitpid(child, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    // Bytes the process has read ("rchar:") or written ("wchar:") so far; -1
    // once it has ended. An update reads its input steadily as it packs
    // (its output may leave in bursts), an extraction writes steadily: either
    // tells reliably that the work is under way and far from its end.
    static long long bytesMoved(pid_t child, const std::string& counter) {
        std::ifstream io("/proc/" + std::to_string(child) + "/io");
        std::string key;
        long long value = 0;
        while (io >> key >> value)
            if (key == counter) return value;
        return -1;
    }
    // Waits until the process has moved `bytes`; false when it ended first.
    static bool waitFor(pid_t child, const std::string& counter, long long bytes) {
        for (int i = 0; i < 120000; ++i) {   // two minutes, for sanitizer builds
            int status = 0;
            if (::waitpid(child, &status, WNOHANG) != 0) return false;
            if (bytesMoved(child, counter) >= bytes) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return false;
    }
    // Compressible but slow to pack: words drawn at random.
    void bigFile(const std::string& name, std::size_t size) {
        static const char* kWords[] = {"alpha ", "beta ", "gamma ", "delta\n", "epsilon ", "zeta ", "eta ", "theta\n"};
        std::mt19937 random(7);
        std::string text;
        while (text.size() < size) text += kWords[random() % 8];
        writeFile(name, text);
    }
    std::vector<std::string> names(const std::string& archive) {
        std::ifstream in(archive, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::vector<ArchiveMember> members;
        EXPECT_EQ(readArchive(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), members), "");
        std::vector<std::string> out;
        for (const auto& m : members) out.push_back(m.name);
        return out;
    }
    QStringList leftovers(const std::string& folder) {
        return QDir(QString::fromStdString(folder)).entryList(QDir::Files | QDir::Hidden | QDir::System)
            .filter(QRegularExpression("^\\."));
    }
    QStringList leftovers() { return leftovers(dir()); }
};

struct RaceCase {
    const char* label;
    int signal;   // sent to the first update once it has read 2 MiB of its input; 0: none
};

void PrintTo(const RaceCase& c, std::ostream* out) { *out << c.label; }

class RaceTable : public UpdateRace, public ::testing::WithParamInterface<RaceCase> {};

// The first update packs a large file; meanwhile a second one adds a small
// file to the same archive, or the first one is killed.
TEST_P(RaceTable, EveryFinishedUpdateKeepsItsFilesAndNoTemporaryRemains) {
    const RaceCase& c = GetParam();
    writeFile("s/one.txt", "one");
    bigFile("s/big.bin", 24u << 20);
    writeFile("s/two.txt", "two");
    const std::string archive = path("k.lzh"), base = path("s") + "/";
    ASSERT_EQ(finish(start({"u", archive, base, "one.txt"})), 0);
    std::ifstream before(archive, std::ios::binary);
    const std::string oldBytes((std::istreambuf_iterator<char>(before)), std::istreambuf_iterator<char>());

    const pid_t first = start({"u", archive, base, "big.bin"});
    ASSERT_TRUE(waitFor(first, "rchar:", 2 << 20)) << "the first update ended too soon to overlap";
    if (c.signal) {
        ::kill(first, c.signal);
        EXPECT_EQ(finish(first), 128 + c.signal);
        std::ifstream after(archive, std::ios::binary);
        EXPECT_EQ(std::string((std::istreambuf_iterator<char>(after)), std::istreambuf_iterator<char>()), oldBytes);
    } else {
        const pid_t second = start({"u", archive, base, "two.txt"});
        EXPECT_EQ(finish(first), 0);
        EXPECT_EQ(finish(second), 0);
        EXPECT_EQ(names(archive), (std::vector<std::string>{"one.txt", "big.bin", "two.txt"}));
    }
    EXPECT_EQ(leftovers(), QStringList());
}

INSTANTIATE_TEST_SUITE_P(Table, RaceTable,
                         ::testing::Values(RaceCase{"two_updates_at_once", 0}, RaceCase{"killed", SIGKILL},
                                           RaceCase{"terminated", SIGTERM}, RaceCase{"interrupted", SIGINT}),
                         [](const auto& info) { return std::string(info.param.label); });

// An extraction ended by a signal halfway through a member, even one that
// cannot be caught, leaves neither the member's temporary file nor a part of it.
TEST_F(UpdateRace, InterruptedExtractionLeavesNothingBehind) {
    bigFile("s/big.bin", 24u << 20);
    const std::string archive = path("k.lzh");
    ASSERT_EQ(finish(start({"u", archive, path("s") + "/", "big.bin"})), 0);
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGKILL}) {
        const pid_t tool = start({"x", archive, path("out") + "/"});
        ASSERT_TRUE(waitFor(tool, "wchar:", 2 << 20)) << "the extraction ended too soon to be interrupted";
        ::kill(tool, signal);
        EXPECT_EQ(finish(tool), 128 + signal);
        EXPECT_EQ(leftovers(path("out")), QStringList()) << signal;
        EXPECT_FALSE(QFile::exists(QString::fromStdString(path("out/big.bin"))));
    }
}

}  // namespace
}  // namespace lzh

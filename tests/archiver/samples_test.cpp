// Reads every archive of the shared sample collection (made by other LZH
// tools) and checks what is found against its manifest.
#include "archiver/format/archive_reader.h"
#include "archiver/format/member_data.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace lzh {
namespace {

struct Row {
    int level;
    std::string method;
    std::uint64_t length, packed;
    unsigned crc;
    bool decodes;
};

std::string samplesDir() {
    const char* shared = std::getenv("SQS_SHARED_DIR");
    return std::string(shared ? shared : "../shared") + "/lzh-samples";
}

std::map<std::string, std::vector<Row>> manifest() {
    std::map<std::string, std::vector<Row>> rows;
    std::ifstream in(samplesDir() + "/manifest.tsv");
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
        std::vector<std::string> f;
        std::stringstream ss(line);
        std::string cell;
        while (std::getline(ss, cell, '\t')) f.push_back(cell);
        if (f.size() < 12) continue;
        rows[f[0]].push_back({std::stoi(f[4]), f[5], std::stoull(f[7]), std::stoull(f[8]),
                              static_cast<unsigned>(std::stoul(f[9], nullptr, 16)), f[11] == "ok"});
    }
    return rows;
}

class SamplesTest : public ::testing::Test {
protected:
    void SetUp() override {
        struct stat st {};
        if (::stat((samplesDir() + "/manifest.tsv").c_str(), &st) != 0) GTEST_SKIP() << "no shared samples here";
    }
};

TEST_F(SamplesTest, EveryMemberIsFoundWithItsHeaderFacts) {
    int archives = 0, decoded = 0;
    for (const auto& [archive, rows] : manifest()) {
        ++archives;
        const std::string file = samplesDir() + "/" + archive;
        int fd = ::open(file.c_str(), O_RDONLY);
        ASSERT_GE(fd, 0) << archive;
        struct stat st {};
        ::fstat(fd, &st);
        std::vector<ArchiveMember> members;
        std::string fault = readArchive(fd, static_cast<std::uint64_t>(st.st_size), members);
        if (archive == "regression/truncated.lzh") {
            EXPECT_NE(fault, "") << archive;
            ::close(fd);
            continue;
        }
        ASSERT_EQ(fault, "") << archive;
        ASSERT_EQ(members.size(), rows.size()) << archive;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const ArchiveMember& m = members[i];
            const Row& r = rows[i];
            EXPECT_EQ(m.level, r.level) << archive << " #" << i;
            EXPECT_EQ(m.method, r.method) << archive << " #" << i;
            EXPECT_EQ(m.originalSize, r.length) << archive << " #" << i;
            EXPECT_EQ(m.packedSize, r.packed) << archive << " #" << i;
            EXPECT_EQ(m.crc, r.crc) << archive << " #" << i;
            EXPECT_EQ(m.dataOffset - m.headerOffset, m.headerSize);
            if (m.method == "-lh0-" || m.method == "-lh5-" || m.method == "-lh6-" || m.method == "-lh7-" ||
                m.method == "-lh4-") {
                EXPECT_EQ(decodeMember(fd, m, [](const std::uint8_t*, std::size_t) { return true; }), "")
                    << archive << " #" << i;
                ++decoded;
            }
        }
        ::close(fd);
    }
    EXPECT_GE(archives, 100);
    EXPECT_GE(decoded, 80);
}

TEST_F(SamplesTest, MembersTileTheArchiveExactly) {
    // Header and data ranges follow one another with no gap, ending at the end marker.
    for (const char* archive : {"explzh_723/h1_subdir.lzh", "lha_unix114i/h2_subdir.lzh", "lhmelt_16536/h0_subdir.lzh",
                                "unlha32/h2_lhx.lzh"}) {
        const std::string file = samplesDir() + "/" + archive;
        int fd = ::open(file.c_str(), O_RDONLY);
        struct stat st {};
        ::fstat(fd, &st);
        std::vector<ArchiveMember> members;
        ASSERT_EQ(readArchive(fd, static_cast<std::uint64_t>(st.st_size), members), "") << archive;
        std::uint64_t at = members.front().headerOffset;
        for (const ArchiveMember& m : members) {
            EXPECT_EQ(m.headerOffset, at);
            at = m.dataOffset + m.packedSize;
        }
        EXPECT_EQ(at + 1, static_cast<std::uint64_t>(st.st_size)) << archive;
        ::close(fd);
    }
}

TEST_F(SamplesTest, SelfExtractorsAreFoundAfterTheirStub) {
    struct { const char* archive; std::uint64_t offset; } table[] = {
        // The 7029-byte archive closes the file, like explzh_723/h1_lh5.lzh.
        {"explzh_723/declha_sfx_ansi.exe", 43381 - 7029}, {"lhmelt_16536/sfx_winsfx32m_250.exe", 53248},
        {"lhmelt_16536/sfx_winsfx_213.exe", 14970}};
    for (auto& row : table) {
        const std::string file = samplesDir() + "/" + row.archive;
        int fd = ::open(file.c_str(), O_RDONLY);
        struct stat st {};
        ::fstat(fd, &st);
        std::vector<ArchiveMember> members;
        ASSERT_EQ(readArchive(fd, static_cast<std::uint64_t>(st.st_size), members), "") << row.archive;
        EXPECT_EQ(members.at(0).headerOffset, row.offset) << row.archive;
        ::close(fd);
    }
}

TEST_F(SamplesTest, EveryFileReadsWithoutCrashing) {
    // Including the broken-by-design ones: an error is fine, a crash is not.
    std::vector<std::string> folders;
    DIR* top = ::opendir(samplesDir().c_str());
    while (dirent* e = ::readdir(top))
        if (e->d_name[0] != '.') folders.push_back(e->d_name);
    ::closedir(top);
    int files = 0;
    for (const std::string& folder : folders) {
        DIR* d = ::opendir((samplesDir() + "/" + folder).c_str());
        if (!d) continue;
        while (dirent* e = ::readdir(d)) {
            if (e->d_name[0] == '.') continue;
            std::ifstream in(samplesDir() + "/" + folder + "/" + e->d_name, std::ios::binary);
            std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            std::vector<ArchiveMember> members;
            readArchive(bytes, members);
            // Every truncation of the first 300 bytes too.
            for (std::size_t cut = 0; cut < std::min<std::size_t>(bytes.size(), 300); cut += 7) {
                std::vector<std::uint8_t> part(bytes.begin(), bytes.begin() + static_cast<long>(cut));
                std::vector<ArchiveMember> some;
                readArchive(part, some);
            }
            ++files;
        }
        ::closedir(d);
    }
    EXPECT_GT(files, 100);
}

}  // namespace
}  // namespace lzh

#include "archiver/codec/crc16.h"
#include "archiver/format/archive_reader.h"
#include "archiver/format/archive_writer.h"
#include "archiver/format/member_data.h"
#include "archiver/format/member_header.h"
#include "archiver/progress.h"
#include "tests/archiver/archive_fixture.h"
#include "tests/support/file_size_limit.h"

#include <QDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lzh {
namespace {

using test::ArchiveFixture;

std::vector<std::uint8_t> withCrc(std::vector<std::uint8_t> header) {
    header[27] = header[28] = 0;
    std::uint16_t crc = crc16(header.data(), header.size());
    header[27] = static_cast<std::uint8_t>(crc);
    header[28] = static_cast<std::uint8_t>(crc >> 8);
    return header;
}

TEST(Level2Header, ByteExactForAFixedMember) {
    MemberInfo info;
    info.name = "docs/a.txt";
    info.method = Method::Lh0;
    info.packedSize = info.originalSize = 6;
    info.crc = 0x5A34;
    info.mtime = 1700000000;
    info.unixMode = 0100644;
    const std::vector<std::uint8_t> expected = withCrc({
        0x34, 0x00, '-', 'l', 'h', '0', '-', 6, 0, 0, 0, 6, 0, 0, 0, 0x00, 0xF1, 0x53, 0x65, 0x20, 0x02, 0x34, 0x5A,
        'U', 0x05, 0x00,
        0x00, 0, 0, 0x08, 0x00,                              // header CRC; no code page for ASCII
        0x01, 'a', '.', 't', 'x', 't', 0x08, 0x00,           // file name
        0x02, 'd', 'o', 'c', 's', 0xFF, 0x05, 0x00,          // folder, 0xFF-terminated; no UTF-16 copies
        0x50, 0xA4, 0x81, 0x00, 0x00,                        // mode 0100644, end of chain
    });
    EXPECT_EQ(level2Header(info), expected);
}

TEST(Level2Header, SizeOf256GrowsTheCrcExtensionInsteadOfPadding) {
    MemberInfo info;
    bool hit = false;
    for (int length = 1; length < 300 && !hit; ++length) {
        info.name = std::string(static_cast<std::size_t>(length), 'n');
        std::vector<std::uint8_t> h = level2Header(info);
        if (h.size() == 257) {
            hit = true;
            EXPECT_NE(h[0], 0);
            EXPECT_EQ(h[24], 6);   // the CRC extension carries one extra byte
            std::vector<ArchiveMember> members;
            h.push_back(0);
            EXPECT_EQ(readArchive(h, members), "");
        }
        EXPECT_NE(h.size() % 256, 0u);
    }
    EXPECT_TRUE(hit);
}

TEST(Level2Header, FoldersAndShiftJisNamesRoundTripThroughTheReader) {
    // UTF-16 copies (0x44/0x45) only where CP932 cannot hold the name
    // exactly; the code page (0x46 = 932) only where a name is not ASCII.
    struct { std::string name; bool directory; std::string expectedRead; std::string rawCp932; bool utf16, codePage; } table[] = {
        {"sub/deeper", true, "sub/deeper/", "\x02sub\xFF" "deeper\xFF", false, false},
        {"日本語ソ表.txt", false, "日本語ソ表.txt", "\x01\x93\xfa\x96\x7b\x8c\xea\x83\x5c\x95\x5c.txt", false, true},
        {"フォルダ/ソ.txt", false, "フォルダ/ソ.txt", "\x83\x5c.txt", false, true},
        {"a b/Ωé€.bin", false, "a b/Ωé€.bin", "\x01\x83\xb6_00E9_20AC.bin", true, true},
        {"é/plain.txt", false, "é/plain.txt", "\x01plain.txt", true, true},
        // CP932 writes the yen sign and the overline as 0x5C and 0x7E, which
        // read back as "\\" (a folder separator) and "~".
        {"¥100.txt", false, "¥100.txt", "\x01_00A5100.txt", true, true},
        {"‾/a.txt", false, "‾/a.txt", "\x02_203E\xFF", true, true},
    };
    for (auto& row : table) {
        MemberInfo info;
        info.name = row.name;
        info.directory = row.directory;
        std::vector<std::uint8_t> h = level2Header(info);
        std::string bytes(h.begin(), h.end());
        EXPECT_NE(bytes.find(row.rawCp932), std::string::npos) << row.name;
        EXPECT_EQ(bytes.find(std::string(".\0", 2)) != std::string::npos, row.utf16) << row.name;
        EXPECT_EQ(bytes.find(std::string("\x46\xA4\x03\0\0", 5)) != std::string::npos, row.codePage) << row.name;
        h.push_back(0);
        std::vector<ArchiveMember> members;
        ASSERT_EQ(readArchive(h, members), "") << row.name;
        ASSERT_EQ(members.size(), 1u);
        EXPECT_EQ(members[0].name, row.expectedRead);
        EXPECT_EQ(members[0].directory, row.directory);
    }
}

// A UTF-16 name that is no text (a lone surrogate) gives way to the CP932
// name; without one, only its bad units become '_'.
TEST(Level2Header, BrokenUtf16NameGivesWayToTheCodePageName) {
    MemberInfo info;
    info.name = "Ωé€.bin";
    const std::vector<std::uint8_t> good = level2Header(info);
    const std::string bytes(good.begin(), good.end());
    const std::size_t wide = bytes.find(std::string("\xa9\x03", 2));   // Ω in UTF-16LE
    ASSERT_NE(wide, std::string::npos);
    struct { const char* label; bool dropCp932; std::string expected; } table[] = {
        {"falls back to CP932", false, "Ω_00E9_20AC.bin"},
        {"alone, replaced", true, "_é€.bin"},
    };
    for (const auto& row : table) {
        std::vector<std::uint8_t> h = good;
        h[wide] = 0x00;
        h[wide + 1] = 0xD8;   // a high surrogate with no low one after it
        if (row.dropCp932) {
            const std::size_t cp932 = bytes.find("\x01\x83\xb6");
            ASSERT_NE(cp932, std::string::npos);
            h[cp932] = 0x7F;   // an extension readers pass over
        }
        h[27] = h[28] = 0;   // the header CRC, over the header with its own field zero
        const std::uint16_t crc = crc16(h.data(), h.size());
        h[27] = static_cast<std::uint8_t>(crc);
        h[28] = static_cast<std::uint8_t>(crc >> 8);
        h.push_back(0);
        std::vector<ArchiveMember> members;
        ASSERT_EQ(readArchive(h, members), "") << row.label;
        ASSERT_EQ(members.size(), 1u);
        EXPECT_EQ(members[0].name, row.expected) << row.label;
    }
}

// Members of 4 GiB and more: ext 0x42 holds the packed size, then the
// original size, 8 bytes each; the 32-bit fields say they do not fit.
TEST(Level2Header, SizesOf4GiBAndMoreGoInTheSizeExtension) {
    const std::uint64_t k4GiB = std::uint64_t{1} << 32;
    struct { std::uint64_t packed, original; bool wide; } table[] = {
        {k4GiB - 1, k4GiB - 1, false}, {1000, k4GiB, true}, {k4GiB + 7, 5 * k4GiB + 3, true}};
    for (const auto& row : table) {
        MemberInfo info;
        info.name = "big.bin";
        info.packedSize = row.packed;
        info.originalSize = row.original;
        const std::vector<std::uint8_t> h = level2Header(info);
        auto u32 = [&](std::size_t at) { return h[at] | h[at + 1] << 8 | h[at + 2] << 16 | std::uint32_t{h[at + 3]} << 24; };
        auto u64 = [&](std::size_t at) { return u32(at) | std::uint64_t{u32(at + 4)} << 32; };
        std::size_t found = 0, foundSize = 0, size = h[24] | h[25] << 8;
        for (std::size_t at = 26; size != 0; at += size, size = h[at - 2] | h[at - 1] << 8)
            if (h[at] == 0x42) found = at, foundSize = size;
        ASSERT_EQ(found != 0, row.wide) << row.original;
        if (!row.wide) continue;
        EXPECT_EQ(foundSize, 19u);   // type, 16 bytes, the next size
        EXPECT_EQ(u64(found + 1), row.packed);
        EXPECT_EQ(u64(found + 9), row.original);
        EXPECT_EQ(u32(7), 0xFFFFFFFFu);
        EXPECT_EQ(u32(11), 0xFFFFFFFFu);
    }
}

// The header written before a member's data, once updated, is the header
// of the finished member: coded, stored instead, of 4 GiB and more, long names.
TEST(Level2Header, UpdatedPlaceholderEqualsTheFinishedHeader) {
    const std::uint64_t k4GiB = std::uint64_t{1} << 32;
    struct { std::string name; Method method; std::uint64_t packed, original; } table[] = {
        {"docs/a.txt", Method::Lh5, 1234, 5000},
        {"日本語/ソ表.txt", Method::Lh0, 5000, 5000},
        {"a b/Ωé€.bin", Method::Lh7, 77, 1 << 20},
        {"big.bin", Method::Lh6, k4GiB + 7, 5 * k4GiB + 3},
        {std::string(217, 'n'), Method::Lh5, 1, 300},   // 256 bytes: the CRC extension grows by one
    };
    for (const auto& row : table) {
        MemberInfo info;
        info.name = row.name;
        info.originalSize = row.original;
        info.mtime = 1700000000;
        std::vector<std::uint8_t> header = level2Header(info);
        info.method = row.method;
        info.packedSize = row.packed;
        info.crc = 0xBEEF;
        updateLevel2Header(header, info);
        EXPECT_EQ(header, level2Header(info)) << row.name;
    }
}

TEST(Level2Header, UnfitNamesAreRefused) {
    for (const char* name : {"", "/abs", "a//b", "./a", "a/..", "../x", "a/./b", "a\\b", "..\\x"}) EXPECT_FALSE(isStorableName(name)) << name;
    for (const char* name : {"a", "a/b", ".hidden", "a..b", "x/.y/z"}) EXPECT_TRUE(isStorableName(name)) << name;
}

TEST_F(ArchiveFixture, WriterRoundTripsEveryKindOfFile) {
    for (Method method : {Method::Lh5, Method::Lh6, Method::Lh7}) {
        const std::vector<test::SampleFile> files = test::standardSampleFiles(*this);
        const std::string archive = path("out.lzh");
        ASSERT_EQ(writeArchive(archive, method, files), "");
        std::vector<ArchiveMember> members;
        int fd = ::open(archive.c_str(), O_RDONLY);
        ASSERT_EQ(readArchive(fd, fileSize(archive), members), "");
        ASSERT_EQ(members.size(), files.size());
        for (std::size_t i = 0; i < files.size(); ++i) {
            const auto& m = members[i];
            EXPECT_EQ(m.name, files[i].stored + (files[i].directory ? "/" : ""));
            EXPECT_EQ(m.level, 2);
            EXPECT_EQ(m.os, 'U');
            std::string out;
            EXPECT_EQ(decodeMember(fd, m, [&](const std::uint8_t* d, std::size_t n) {
                          out.append(reinterpret_cast<const char*>(d), n);
                          return true;
                      }),
                      "")
                << m.name;
            EXPECT_TRUE(out == files[i].content) << m.name;
            if (files[i].directory) EXPECT_EQ(m.method, "-lhd-");
            else if (files[i].content.size() < 2 || files[i].incompressible) EXPECT_EQ(m.method, "-lh0-") << m.name;
            else EXPECT_EQ(m.method, methodId(method)) << m.name;
        }
        ::close(fd);
    }
}

std::string readAll(const std::string& file) {
    std::string out;
    int fd = ::open(file.c_str(), O_RDONLY);
    char buffer[65536];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) out.append(buffer, static_cast<std::size_t>(n));
    ::close(fd);
    return out;
}

TEST_F(ArchiveFixture, ArchiveIsTheSameForEveryThreadCount) {
    std::vector<test::SampleFile> files = test::standardSampleFiles(*this);
    // Segments: one cut inside a match-rich stretch, the last one short.
    files.push_back({"big.dat", test::mixedRecords(3 * (1 << 20) + 12345, 9)});
    files.push_back({"grows.bin", std::string(2 << 20, 'z') + test::mixedRecords(70000, 10)});
    // Stored after its coded segments went out to the file, then more members.
    files.push_back({"noise-big.bin", test::randomBytes(5 << 19, 256, 3), false, true});
    // Many small files: more of them are coded at once than threads or segments.
    for (unsigned i = 0; i < 150; ++i)
        files.push_back({"small/" + std::to_string(i) + ".txt", test::mixedRecords(100 + i * 37 % 3000, 20 + i)});
    struct { Method method; bool best; } table[] = {{Method::Lh5, false}, {Method::Lh7, false}, {Method::Lh6, true}};
    for (auto& row : table) {
        std::string first;
        ASSERT_EQ(writeArchive(path("t1.lzh"), row.method, files, 1, row.best), "");
        for (unsigned threads : {1u, 2u, 3u, 8u}) {
            // The same files (and stamps) again.
            const std::string archive = path("t" + std::to_string(threads) + ".lzh");
            if (threads > 1) {
                int fd = ::open(archive.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
                ArchiveWriter writer(fd, row.method, row.best, nullptr, threads);
                for (const test::SampleFile& f : files)
                    ASSERT_EQ(f.directory ? writer.addFolder(f.stored, path("src/" + f.stored))
                                          : writer.addFile(f.stored, path("src/" + f.stored)),
                              "");
                ASSERT_EQ(writer.finish(), "");
                ::close(fd);
            }
            const std::string bytes = readAll(archive);
            if (threads == 1) first = bytes;
            else EXPECT_TRUE(bytes == first) << methodId(row.method) << " threads " << threads;
        }
        // Every member decodes through the strict decoder.
        int fd = ::open(path("t1.lzh").c_str(), O_RDONLY);
        std::vector<ArchiveMember> members;
        ASSERT_EQ(readArchive(fd, first.size(), members), "");
        ASSERT_EQ(members.size(), files.size());
        for (std::size_t i = 0; i < files.size(); ++i) {
            if (files[i].directory) continue;
            std::string out;
            EXPECT_EQ(decodeMember(fd, members[i], [&](const std::uint8_t* d, std::size_t n) {
                          out.append(reinterpret_cast<const char*>(d), n);
                          return true;
                      }),
                      "");
            EXPECT_TRUE(out == files[i].content) << members[i].name;
            if (files[i].content.size() > (1 << 20)) {   // the members of several segments
                EXPECT_EQ(members[i].method, files[i].incompressible ? "-lh0-" : methodId(row.method)) << members[i].name;
            }
        }
        ::close(fd);
    }
}

// Files too small to code are written as their turn comes, not all held
// in memory to the end (a tree of a million tiny files).
TEST_F(ArchiveFixture, TinyFilesAreWrittenAsTheyCome) {
    writeFile("tiny.txt", "a few bytes\n");
    for (unsigned threads : {1u, 2u}) {
        int fd = ::open(path("tiny.lzh").c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
        ArchiveWriter writer(fd, Method::Lh5, false, nullptr, threads);
        for (unsigned i = 0; i < 500; ++i) ASSERT_EQ(writer.addFile(std::to_string(i) + ".t", path("tiny.txt")), "");
        // At most a few hundred members wait; the rest are in the archive.
        EXPECT_GT(writer.size(), 200u * 40) << threads;
        ASSERT_EQ(writer.finish(), "");
        ::close(fd);
    }
}

TEST_F(ArchiveFixture, VanishedOrUnreadableSourceIsAnError) {
    const std::string archive = path("out.lzh");
    int fd = ::open(archive.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    ArchiveWriter writer(fd, Method::Lh5);
    EXPECT_NE(writer.addFile("gone.txt", path("gone.txt")), "");
    EXPECT_NE(writer.addFile("folder", dir()), "");
    EXPECT_NE(writer.addFile("../up", dir()), "");
    ::close(fd);
}

// A file that does not hold the length it reported (the kernel's own files
// report 0 or 4096 bytes) is refused, with that reason: not packed cut
// short, nor padded with whatever the buffer held. The writer asks once per
// file system: in one archive, ordinary files between them are still packed.
TEST_F(ArchiveFixture, FileOfAnotherLengthThanReportedIsRefused) {
    writeFile("plain.txt", "an ordinary file\n");
    const std::string plain = path("plain.txt");
    const std::string sequence[] = {plain, "/proc/self/status", plain, "/sys/devices/system/cpu/possible",
                                    "/proc/self/status", plain};
    int fd = ::open(path("changed.lzh").c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    ArchiveWriter writer(fd, Method::Lh5);
    int tried = 0, n = 0;
    for (const std::string& file : sequence) {
        struct stat st {};
        if (::stat(file.c_str(), &st) != 0) continue;   // not mounted here
        const std::string name = std::to_string(n++);
        if (file == plain) {
            EXPECT_EQ(writer.addFile(name, file), "") << "after " << tried << " system files";
        } else {
            EXPECT_EQ(writer.addFile(name, file),
                      "a file of the system (/proc, /sys), whose size is not its content's: " + file);
            ++tried;
        }
    }
    EXPECT_EQ(writer.finish(), "");
    ::close(fd);
    if (tried == 0) GTEST_SKIP() << "no /proc or /sys here";
}

// A file written to while it is read, at the same length (a byte changed
// in place, which also moves its times): refused, not packed part old,
// part new. The change is made when its first part is written out.
TEST_F(ArchiveFixture, FileWrittenToWhileReadIsRefused) {
    struct Writer : Progress {
        std::string file;
        bool done = false;
        void changed() override {
            if (done || member().empty()) return;
            const int fd = ::open(file.c_str(), O_WRONLY);
            done = ::pwrite(fd, "!", 1, 5 << 20) == 1;
            const struct timespec times[2] = {{1234567890, 0}, {1234567890, 0}};
            ::futimens(fd, times);
            ::close(fd);
        }
    } progress;
    progress.file = path("growing.log");
    writeFile("growing.log", test::mixedRecords(6 << 20, 4));
    const int fd = ::open(path("out.lzh").c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    ArchiveWriter writer(fd, Method::Lh5, false, &progress);
    EXPECT_EQ(writer.addFile("growing.log", progress.file), "file changed while it was read: " + progress.file);
    EXPECT_TRUE(progress.done);
    ::close(fd);
}

// A full disk (here a file-size limit) fails the archive with the reason,
// whether the bytes were waiting in the output buffer or went straight out.
TEST_F(ArchiveFixture, ArchiveThatCannotBeWrittenIsAnError) {
    std::vector<test::SampleFile> many;
    for (int i = 0; i < 30; ++i) many.push_back({"small/" + std::to_string(i), test::mixedRecords(300, 40 + i)});
    struct { const char* label; std::vector<test::SampleFile> files; rlim_t limit; } table[] = {
        {"buffered", many, 2000},
        {"written through", {{"noise.bin", test::randomBytes(600000, 256, 5), false, true}}, 100000},
    };
    for (const auto& row : table) {
        for (const test::SampleFile& f : row.files) writeFile("src/" + f.stored, f.content);
        const std::string archive = path(std::string(row.label) + ".lzh");
        int fd = ::open(archive.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
        std::string fault;
        {
            support::FileSizeLimit limit(row.limit);
            ASSERT_TRUE(limit.set());
            ArchiveWriter writer(fd, Method::Lh5);
            writer.setArchiveName(archive);
            for (const test::SampleFile& f : row.files)
                if (fault.empty()) fault = writer.addFile(f.stored, path("src/" + f.stored));
            if (fault.empty()) fault = writer.finish();
        }
        ::close(fd);
        EXPECT_NE(fault.find("cannot write the archive " + archive + ": "), std::string::npos) << row.label << ": " << fault;
    }
}

TEST(ArchiveReader, ShortLevel1HeaderFoundByTheFuzzer) {
    // A level-1 header whose size byte leaves no room for the name length.
    const std::string hex =
        "222f2d6c11012d2d6c68302d0c000000000025000008213c20010968656c6c6f2e74787478974d130002ff822d6c68642d1a0000000000"
        "00000008212820010000004d130002ff737562646972ff73756264697232ff05000000000025000008213c20010968656c6c6f2e747874";
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    std::vector<ArchiveMember> members;
    EXPECT_NE(readArchive(bytes, members), "");
    bytes[0] = 0x05;   // smaller still
    EXPECT_NE(readArchive(bytes, members), "");
}

// Inputs that once crashed a fuzz target: each is refused or read, and what
// is read decodes or fails cleanly.
TEST(ArchiveReader, RegressionCorpusIsRefusedOrRead) {
    int files = 0;
    for (const QString& name : QDir(QStringLiteral(SQS_CORPUS_DIR)).entryList(QDir::Files)) {
        const std::string file = std::string(SQS_CORPUS_DIR) + "/" + name.toStdString();
        const int fd = ::open(file.c_str(), O_RDONLY);
        ASSERT_GE(fd, 0) << file;
        std::vector<ArchiveMember> members;
        const std::string fault = readArchive(fd, static_cast<std::uint64_t>(::lseek(fd, 0, SEEK_END)), members);
        for (const ArchiveMember& m : members) decodeMember(fd, m, [](const std::uint8_t*, std::size_t) { return true; });
        ::close(fd);
        EXPECT_NE(fault, "") << name.toStdString();   // every one of them is damaged
        ++files;
    }
    EXPECT_GT(files, 0);
}

// Level 3 (written by other archivers on request): 4-byte sizes at 24 and
// 28, 4-byte links in the chain. A stored member read back whole, and a
// flipped header byte caught by the header CRC.
TEST_F(ArchiveFixture, Level3MemberIsRead) {
    const std::string data = "Level three header, stored data.\n";
    auto le = [](std::vector<std::uint8_t>& to, std::uint64_t v, int n) {
        for (int i = 0; i < n; ++i) to.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    };
    const std::vector<std::vector<std::uint8_t>> extensions = {
        {0x00, 0, 0}, {0x01, 'l', '3', '.', 't', 'x', 't'}, {0x02, 's', 'u', 'b', 0xFF}, {0x50, 0xA4, 0x81}};
    std::size_t total = 32;
    for (const auto& e : extensions) total += e.size() + 4;
    // One stored member holding `content`, then the end mark.
    auto archiveOf = [&](const std::string& content) {
        std::vector<std::uint8_t> h;
        le(h, 4, 2);
        for (char c : std::string("-lh0-")) h.push_back(static_cast<std::uint8_t>(c));
        le(h, content.size(), 4);
        le(h, content.size(), 4);
        le(h, 1700000000, 4);
        h.push_back(0x20);
        h.push_back(3);
        le(h, crc16(reinterpret_cast<const std::uint8_t*>(content.data()), content.size()), 2);
        h.push_back('U');
        le(h, total, 4);
        for (std::size_t i = 0; i <= extensions.size(); ++i) {
            if (i > 0) h.insert(h.end(), extensions[i - 1].begin(), extensions[i - 1].end());
            le(h, i < extensions.size() ? extensions[i].size() + 4 : 0, 4);
        }
        const std::uint16_t headerCrc = crc16(h.data(), h.size());
        h[33] = static_cast<std::uint8_t>(headerCrc);
        h[34] = static_cast<std::uint8_t>(headerCrc >> 8);
        h.insert(h.end(), content.begin(), content.end());
        h.push_back(0);
        return h;
    };
    std::vector<std::uint8_t> archive = archiveOf(data);

    writeFile("l3.lzh", std::string(archive.begin(), archive.end()));
    const int fd = ::open(path("l3.lzh").c_str(), O_RDONLY);
    std::vector<ArchiveMember> members;
    ASSERT_EQ(readArchive(fd, archive.size(), members), "");
    ASSERT_EQ(members.size(), 1u);
    const ArchiveMember& m = members[0];
    EXPECT_EQ(m.level, 3);
    EXPECT_EQ(m.name, "sub/l3.txt");
    EXPECT_EQ(m.headerSize, total);
    EXPECT_EQ(m.originalSize, data.size());
    std::string decoded;
    EXPECT_EQ(decodeMember(fd, m, [&](const std::uint8_t* d, std::size_t n) {
                  decoded.append(reinterpret_cast<const char*>(d), n);
                  return true;
              }),
              "");
    EXPECT_EQ(decoded, data);
    ::close(fd);

    archive[40] ^= 1;   // in the file name
    EXPECT_EQ(readArchive(archive, members), "header CRC error (member 1, offset 0)");
    // A damaged first header is no program before an archive: the archive
    // in its member's data is not taken for the whole.
    const std::vector<std::uint8_t> inner = archiveOf(data);
    std::vector<std::uint8_t> nested = archiveOf(std::string(inner.begin(), inner.end()));
    EXPECT_EQ(readArchive(nested, members), "");
    nested[40] ^= 1;
    EXPECT_EQ(readArchive(nested, members), "header CRC error (member 1, offset 0)");
}

TEST(ArchiveReader, CorruptHeadersGiveErrorsNotCrashes) {
    MemberInfo info;
    info.name = "file.txt";
    std::vector<std::uint8_t> good = level2Header(info);
    good.push_back(0);
    std::uint32_t seed = 1;
    int errors = 0;
    for (int round = 0; round < 2000; ++round) {
        std::vector<std::uint8_t> bad = good;
        seed = seed * 1103515245 + 12345;
        bad[(seed >> 8) % bad.size()] ^= static_cast<std::uint8_t>(1 + (seed >> 20) % 255);
        if (round % 5 == 0) bad.resize((seed >> 4) % bad.size());
        std::vector<ArchiveMember> members;
        if (!readArchive(bad, members).empty()) ++errors;
    }
    EXPECT_GT(errors, 1500);   // the header CRC catches nearly every flip
}

}  // namespace
}  // namespace lzh

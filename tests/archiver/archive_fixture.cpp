#include "tests/archiver/archive_fixture.h"

#include "archiver/format/archive_writer.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace lzh::test {

std::string randomBytes(std::size_t n, unsigned alphabet, unsigned seed) {
    std::string s(n, '\0');
    std::mt19937 random(seed);
    for (char& c : s) c = static_cast<char>(random() % alphabet);
    return s;
}

void ArchiveFixture::writeFile(const std::string& name, const std::string& content) const {
    const QString full = QString::fromStdString(path(name));
    QDir().mkpath(QFileInfo(full).path());
    QFile file(full);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content.data(), static_cast<qint64>(content.size()));
}

std::string ArchiveFixture::bytesOf(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::uint64_t ArchiveFixture::fileSize(const std::string& file) const {
    struct stat st {};
    ::stat(file.c_str(), &st);
    return static_cast<std::uint64_t>(st.st_size);
}

std::string ArchiveFixture::writeArchive(const std::string& archive, Method method,
                                         const std::vector<SampleFile>& files, unsigned threads, bool best) const {
    for (const SampleFile& f : files) {
        if (f.directory) QDir().mkpath(QString::fromStdString(path("src/" + f.stored)));
        else writeFile("src/" + f.stored, f.content);
    }
    int fd = ::open(archive.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return "cannot create the archive";
    ArchiveWriter writer(fd, method, best, nullptr, threads);
    std::string fault;
    for (const SampleFile& f : files) {
        fault = f.directory ? writer.addFolder(f.stored, path("src/" + f.stored))
                            : writer.addFile(f.stored, path("src/" + f.stored));
        if (!fault.empty()) break;
    }
    if (fault.empty()) fault = writer.finish();
    ::close(fd);
    return fault;
}

std::string mixedRecords(std::size_t size, unsigned seed) {
    std::string out;
    out.reserve(size + 100);
    std::mt19937 random(seed);
    while (out.size() < size) {
        if (random() % 4) out += "record " + std::to_string(random() % 100000) + " value " + std::to_string(random() % 977) + "\n";
        else for (int i = 0; i < 64; ++i) out.push_back(static_cast<char>(random()));
    }
    out.resize(size);
    return out;
}

std::vector<SampleFile> standardSampleFiles(const ArchiveFixture&) {
    std::string text;
    for (int i = 0; i < 3000; ++i) text += "Line " + std::to_string(i % 97) + ": the quick brown fox jumps over the lazy dog.\n";
    std::vector<SampleFile> files = {
        {"text.txt", text},
        {"binary.bin", randomBytes(200000, 7, 1)},
        {"noise.bin", randomBytes(100000, 256, 2), false, true},
        {"empty.txt", ""},
        {"one.txt", "x"},
        {"docs", "", true},
        {"docs/sub", "", true},
        {"docs/sub/window-1.bin", randomBytes(65535, 5, 3)},
        {"docs/sub/window.bin", randomBytes(65536, 5, 4)},
        {"docs/sub/window+1.bin", randomBytes(65537, 5, 5)},
        {"with space/a file.txt", text.substr(0, 5000)},
        {"日本語/日本語ソ表.txt", text.substr(0, 3000)},
        {"Ωé€ names.txt", text.substr(0, 2000)},
    };
    return files;
}

}  // namespace lzh::test

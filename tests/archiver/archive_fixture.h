#pragma once

#include "archiver/codec/method.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace lzh::test {

// A file or folder to put in a test archive.
struct SampleFile {
    std::string stored;        // name in the archive
    std::string content;
    bool directory = false;
    bool incompressible = false;
};

// A temporary folder with helpers to make files and archives.
class ArchiveFixture : public ::testing::Test {
public:
    QTemporaryDir temp;
    // Names that are not UTF-8 are beyond QTemporaryDir's own clean-up.
    ~ArchiveFixture() override { std::filesystem::remove_all(dir()); }
    std::string dir() const { return temp.path().toStdString(); }
    std::string path(const std::string& name) const { return dir() + "/" + name; }
    void writeFile(const std::string& name, const std::string& content) const;
    std::uint64_t fileSize(const std::string& file) const;
    // The whole content of a file; empty when it cannot be read.
    static std::string bytesOf(const std::string& file);
    // Makes the files under src/ and an archive of them with our writer.
    std::string writeArchive(const std::string& archive, Method method, const std::vector<SampleFile>& files,
                             unsigned threads = 1, bool best = false) const;
};

// Text, binary, incompressible, empty, 1 byte, 64 KiB +- 1, folders,
// spaces, Japanese names with 0x5C trail bytes, a name outside CP932.
std::vector<SampleFile> standardSampleFiles(const ArchiveFixture& fixture);

// `n` bytes drawn evenly from the first `alphabet` byte values.
std::string randomBytes(std::size_t n, unsigned alphabet, unsigned seed);

// Lines of text mixed with stretches of noise, `size` bytes.
std::string mixedRecords(std::size_t size, unsigned seed);

}  // namespace lzh::test

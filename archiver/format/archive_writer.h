#pragma once

#include "archiver/codec/method.h"
#include "archiver/format/archive_reader.h"
#include "archiver/progress.h"

#include <cstdint>
#include <memory>
#include <string>

namespace lzh {

// Writes an archive into an open, empty, seekable file, one member at a
// time, streaming each file through the encoder (memory does not grow with
// file size). Every call returns empty text on success, else the fault.
// With a progress, the bytes read are reported to it and a cancel request
// is honoured between chunks (the fault is then kCancelledFault).
class ArchiveWriter {
public:
    // best: the slower parse that gives the smallest output.
    ArchiveWriter(int fd, Method method, bool best = false, Progress* progress = nullptr)
        : fd_(fd), method_(method), best_(best), progress_(progress) {}

    // Adds the file at sourcePath under storedName ("/"-separated, relative).
    // It is stored as -lh0- when compression does not make it smaller.
    std::string addFile(const std::string& storedName, const std::string& sourcePath);
    // Adds a folder entry (-lhd-) stamped like the folder at sourcePath.
    std::string addFolder(const std::string& storedName, const std::string& sourcePath);
    // Copies a member of another archive byte for byte.
    std::string copyMember(int sourceFd, const ArchiveMember& member);
    // Copies `size` bytes at `offset` of another file (a self-extractor's program part).
    std::string copyRange(int sourceFd, std::uint64_t offset, std::uint64_t size);
    // Writes the end marker.
    std::string finish();

    std::uint64_t size() const { return offset_; }

private:
    std::string writeAt(std::uint64_t offset, const std::uint8_t* data, std::size_t size);
    std::string append(const std::uint8_t* data, std::size_t size);
    // Reports bytes read; false when the work is to stop.
    bool advance(std::uint64_t bytes);

    int fd_;
    Method method_;
    bool best_;
    Progress* progress_;
    std::unique_ptr<std::uint8_t[]> buffer_;   // one read buffer for every member
    std::uint64_t offset_ = 0;
};

}  // namespace lzh

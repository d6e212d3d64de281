#include "archiver/format/archive_writer.h"

#include "archiver/codec/crc16.h"
#include "archiver/codec/encoder.h"
#include "archiver/format/file_handle.h"
#include "archiver/format/member_header.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace lzh {
namespace {

constexpr std::size_t kChunk = 1 << 18;

std::string systemError(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

// Reads up to size bytes; -1 on error.
ssize_t readSome(int fd, std::uint8_t* buffer, std::size_t size) {
    std::size_t got = 0;
    while (got < size) {
        ssize_t n = ::read(fd, buffer + got, size - got);
        if (n < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    return static_cast<ssize_t>(got);
}

}  // namespace

std::string ArchiveWriter::writeAt(std::uint64_t offset, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = ::pwrite(fd_, data, size, static_cast<off_t>(offset));
        if (n < 0) {
            if (errno == EINTR) continue;
            return std::string("cannot write the archive: ") + std::strerror(errno);
        }
        data += n;
        size -= static_cast<std::size_t>(n);
        offset += static_cast<std::uint64_t>(n);
    }
    return {};
}

std::string ArchiveWriter::append(const std::uint8_t* data, std::size_t size) {
    std::string fault = writeAt(offset_, data, size);
    if (fault.empty()) offset_ += size;
    return fault;
}

bool ArchiveWriter::advance(std::uint64_t bytes) {
    if (!progress_) return true;
    progress_->add(bytes);
    return !progress_->cancelled();
}

std::string ArchiveWriter::addFile(const std::string& storedName, const std::string& sourcePath) {
    if (!isStorableName(storedName)) return "name not fit to store: " + storedName;
    // Opened without blocking, so that a file swapped for a FIFO cannot hang
    // the open; what was opened must still be a regular file.
    FileHandle source(::open(sourcePath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (source.get() < 0) return systemError("cannot open", sourcePath);
    struct stat st {};
    if (::fstat(source.get(), &st) != 0) return systemError("cannot read", sourcePath);
    if (!S_ISREG(st.st_mode)) return "not a regular file: " + sourcePath;
    ::fcntl(source.get(), F_SETFL, ::fcntl(source.get(), F_GETFL) & ~O_NONBLOCK);

    MemberInfo info;
    info.name = storedName;
    info.originalSize = static_cast<std::uint64_t>(st.st_size);
    info.mtime = headerTime(st.st_mtime);
    info.unixMode = static_cast<std::uint16_t>(S_IFREG | (st.st_mode & 07777));
    // A file this small cannot outweigh the tables of a block: stored at once.
    constexpr std::uint64_t kTooSmallToCompress = 64;
    info.method = info.originalSize < kTooSmallToCompress ? Method::Lh0 : method_;
    if (progress_) progress_->startMember(storedName);

    // The header's length does not depend on the packed size, so a
    // placeholder is written first and rewritten once the data is in.
    const std::uint64_t headerOffset = offset_;
    std::vector<std::uint8_t> header = level2Header(info);
    if (std::string fault = append(header.data(), header.size()); !fault.empty()) return fault;
    const std::uint64_t dataOffset = offset_;

    if (!buffer_) buffer_.reset(new std::uint8_t[kChunk]);
    std::uint8_t* const buffer = buffer_.get();
    std::uint64_t read = 0;
    std::uint64_t reported = 0;   // a second, stored pass is not counted again
    std::uint16_t crc = 0;
    std::string readFault;
    // The next chunk of the source, its CRC taken; 0 at the end or on a fault.
    auto nextChunk = [&]() -> std::size_t {
        ssize_t n = readSome(source.get(), buffer, kChunk);
        if (n < 0) {
            readFault = systemError("cannot read", sourcePath);
            return 0;
        }
        read += static_cast<std::uint64_t>(n);
        if (read > info.originalSize) {
            readFault = "file changed while it was read: " + sourcePath;
            return 0;
        }
        if (read > reported) {
            const bool goOn = advance(read - reported);
            reported = read;
            if (!goOn) {
                readFault = kCancelledFault;
                return 0;
            }
        }
        crc = crc16(buffer, static_cast<std::size_t>(n), crc);
        return static_cast<std::size_t>(n);
    };
    auto wholeFileRead = [&]() {
        if (readFault.empty() && read != info.originalSize) readFault = "file changed while it was read: " + sourcePath;
        return readFault.empty();
    };

    bool stored = info.method == Method::Lh0;
    if (!stored) {
        Encoder encoder(info.method, best_ ? bestEffort(info.method) : defaultEffort(info.method), info.originalSize);
        auto& out = encoder.output();
        // Compressed data that reaches the original size gains nothing: store instead.
        auto fits = [&]() { return offset_ - dataOffset + out.size() < info.originalSize; };
        bool tooBig = false;
        while (std::size_t n = nextChunk()) {
            encoder.write(buffer, n);
            if (!fits()) {
                tooBig = true;
                break;
            }
            if (std::string fault = append(out.data(), out.size()); !fault.empty()) return fault;
            out.clear();
        }
        if (!tooBig) {
            if (!wholeFileRead()) return readFault;
            encoder.finish();
            tooBig = !fits();
            if (!tooBig)
                if (std::string fault = append(out.data(), out.size()); !fault.empty()) return fault;
        }
        if (tooBig) {
            // Nothing written so far reaches past the stored copy's end.
            stored = true;
            offset_ = dataOffset;
            if (::lseek(source.get(), 0, SEEK_SET) != 0) return systemError("cannot read", sourcePath);
            read = 0;
            crc = 0;
        }
    }
    if (stored) {
        info.method = Method::Lh0;
        while (std::size_t n = nextChunk())
            if (std::string fault = append(buffer, n); !fault.empty()) return fault;
        if (!wholeFileRead()) return readFault;
    }

    info.packedSize = offset_ - dataOffset;
    info.crc = crc;
    std::vector<std::uint8_t> final = level2Header(info);
    return writeAt(headerOffset, final.data(), final.size());
}

std::string ArchiveWriter::addFolder(const std::string& storedName, const std::string& sourcePath) {
    if (!isStorableName(storedName)) return "name not fit to store: " + storedName;
    struct stat st {};
    if (::stat(sourcePath.c_str(), &st) != 0) return systemError("cannot read", sourcePath);
    MemberInfo info;
    info.name = storedName;
    info.directory = true;
    info.method = Method::Lhd;
    info.mtime = headerTime(st.st_mtime);
    info.unixMode = static_cast<std::uint16_t>(S_IFDIR | (st.st_mode & 07777));
    std::vector<std::uint8_t> header = level2Header(info);
    return append(header.data(), header.size());
}

std::string ArchiveWriter::copyMember(int sourceFd, const ArchiveMember& member) {
    if (progress_) progress_->startMember(member.name);
    return copyRange(sourceFd, member.headerOffset, member.headerSize + member.packedSize);
}

std::string ArchiveWriter::copyRange(int sourceFd, std::uint64_t offset, std::uint64_t size) {
    if (!buffer_) buffer_.reset(new std::uint8_t[kChunk]);
    std::uint8_t* const buffer = buffer_.get();
    std::uint64_t at = offset;
    std::uint64_t left = size;
    while (left > 0) {
        std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(left, kChunk));
        ssize_t n = ::pread(sourceFd, buffer, want, static_cast<off_t>(at));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return std::string("cannot read the old archive: ") + (n < 0 ? std::strerror(errno) : "it ended early");
        if (std::string fault = append(buffer, static_cast<std::size_t>(n)); !fault.empty()) return fault;
        if (!advance(static_cast<std::uint64_t>(n))) return kCancelledFault;
        at += static_cast<std::uint64_t>(n);
        left -= static_cast<std::uint64_t>(n);
    }
    return {};
}

std::string ArchiveWriter::finish() {
    const std::uint8_t end = 0;
    return append(&end, 1);
}

}  // namespace lzh

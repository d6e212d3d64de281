#include "archiver/format/archive_writer.h"

#include "archiver/codec/crc16.h"
#include "archiver/codec/encoder.h"
#include "archiver/codec/segment_encoder.h"
#include "archiver/format/file_handle.h"
#include "archiver/format/long_path.h"
#include "archiver/format/member_header.h"
#include "archiver/format/reused_memory.h"
#include "archiver/format/worker_pool.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/vfs.h>
#include <future>
#include <initializer_list>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace lzh {
namespace {

// The kernel's own file systems (/proc, /sys and those mounted below it),
// whose files report sizes that are not their content's.
bool isKernelFileSystem(long type) {
    for (const unsigned long kernel : std::initializer_list<unsigned long>{PROC_SUPER_MAGIC, SYSFS_MAGIC, CGROUP_SUPER_MAGIC, CGROUP2_SUPER_MAGIC, DEBUGFS_MAGIC,
                              TRACEFS_MAGIC, SECURITYFS_MAGIC, BPF_FS_MAGIC, PSTOREFS_MAGIC, EFIVARFS_MAGIC})
        if (static_cast<unsigned long>(type) == kernel) return true;
    return false;
}

constexpr std::size_t kChunk = 1 << 18;
constexpr std::size_t kOutputBuffer = 1 << 18;
constexpr std::uint64_t kKernelStep = 8 << 20;   // a copy in the kernel between two looks at the progress

std::string systemError(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

}  // namespace

std::string ArchiveWriter::writeAt(std::uint64_t offset, const std::uint8_t* data, std::size_t size) {
    // The part that is still in the output buffer is changed there.
    const std::uint64_t buffered = bufferedFrom_;
    if (offset + size > buffered) {
        const std::size_t skip = offset < buffered ? static_cast<std::size_t>(buffered - offset) : 0;
        std::copy(data + skip, data + size, out_.begin() + static_cast<std::ptrdiff_t>(offset + skip - buffered));
        size = skip;
    }
    return writeThrough(offset, data, size);
}

std::string ArchiveWriter::writeThrough(std::uint64_t offset, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = ::pwrite(fd_, data, size, static_cast<off_t>(offset));
        if (n < 0) {
            if (errno == EINTR) continue;
            return writeFault_ + std::strerror(errno);
        }
        data += n;
        size -= static_cast<std::size_t>(n);
        offset += static_cast<std::uint64_t>(n);
    }
    return {};
}

std::string ArchiveWriter::flushOutput() {
    std::string fault = writeThrough(bufferedFrom_, out_.data(), out_.size());
    bufferedFrom_ += out_.size();
    out_.clear();
    return fault;
}

std::string ArchiveWriter::append(const std::uint8_t* data, std::size_t size) {
    // Small writes (a header, a small member's data) gather in the buffer:
    // one system call for many members.
    if (out_.size() + size > kOutputBuffer)
        if (std::string fault = flushOutput(); !fault.empty()) return fault;
    if (size >= kOutputBuffer) {
        std::string fault = writeThrough(offset_, data, size);
        if (fault.empty()) offset_ = bufferedFrom_ += size;
        return fault;
    }
    out_.insert(out_.end(), data, data + size);
    offset_ += size;
    return {};
}

// Goes back to `offset` (not before the archive's last member): what was
// written from there on is written over.
void ArchiveWriter::rewind(std::uint64_t offset) {
    if (offset >= bufferedFrom_) {
        out_.resize(static_cast<std::size_t>(offset - bufferedFrom_));
    } else {
        out_.clear();
        bufferedFrom_ = offset;
    }
    offset_ = offset;
}

// A member from its file being read to its last byte written.
struct ArchiveWriter::Pending {
    MemberInfo info;
    std::string sourcePath;
    FileHandle source;
    std::string smallData;                        // a file stored at once: its bytes
    std::deque<std::future<BitWriter>> segments;  // coded or in coding, in order
    bool allSubmitted = false;
    bool started = false;                         // its header placeholder is written
    bool tooBig = false;                          // the coded data does not get smaller: stored
    std::vector<std::uint8_t> header;             // as written first, rewritten once the data is in
    std::uint64_t headerOffset = 0;
    std::uint64_t dataOffset = 0;
    std::uint64_t coded = 0;                      // bytes of the file whose coded segments are in
    BitWriter joined;                             // the bits after the last whole byte written
};

ArchiveWriter::ArchiveWriter(int fd, Method method, bool best, Progress* progress, unsigned threads)
    : fd_(fd),
      method_(method),
      best_(best),
      progress_(progress),
      // One thread codes in the caller; more run beside it, the caller reading and writing.
      pool_(new WorkerPool(threads > 1 ? threads : 0)),
      // Ahead of the writing, two segments' worth of input per thread; small
      // files, many to a segment's worth, keep the threads busy between the
      // caller's reads and writes.
      maxInFlight_(threads > 1 ? 32 * std::size_t{threads} : 1),
      maxInFlightBytes_(threads > 1 ? 2 * kSegmentSize * threads : 0),
      maxPending_(2 * maxInFlight_ + 1) {
    keepFreedBlocksForReuse(threads);
    out_.reserve(kOutputBuffer);
}

ArchiveWriter::~ArchiveWriter() {
    // Segments still in coding finish before their buffers go.
    pending_.clear();
    pool_.reset();
}

bool ArchiveWriter::advance(std::uint64_t bytes) {
    if (!progress_) return true;
    progress_->add(bytes);
    return !progress_->cancelled();
}

std::string ArchiveWriter::addFile(const std::string& storedName, const std::string& sourcePath) {
    if (!isStorableName(storedName)) return "name not fit to store: " + storedName;
    auto member = std::make_unique<Pending>();
    Pending& m = *member;
    m.sourcePath = sourcePath;
    // Opened without blocking, so that a file swapped for a FIFO cannot hang
    // the open; what was opened must still be a regular file.
    m.source.reset(openLong(sourcePath, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (m.source.get() < 0) return systemError("cannot open", sourcePath);
    struct stat st {};
    if (::fstat(m.source.get(), &st) != 0) return systemError("cannot read", sourcePath);
    if (!S_ISREG(st.st_mode)) return "not a regular file: " + sourcePath;
    // The kernel's own files give a size (0, a page) that is not their
    // content's: read, they would come out as changed while read. One device
    // is one file system, asked about once.
    if (!lastDevice_ || lastDevice_->first != st.st_dev) {
        struct statfs fs {};
        lastDevice_.emplace(st.st_dev, ::fstatfs(m.source.get(), &fs) == 0 && isKernelFileSystem(fs.f_type));
    }
    if (lastDevice_->second) return "a file of the system (/proc, /sys), whose size is not its content's: " + sourcePath;
    ::fcntl(m.source.get(), F_SETFL, 0);   // blocking reads again: no other status flag was set

    MemberInfo& info = m.info;
    info.name = storedName;
    info.originalSize = static_cast<std::uint64_t>(st.st_size);
    info.mtime = storedTime(st.st_mtime);
    info.unixMode = static_cast<std::uint16_t>(S_IFREG | (st.st_mode & 07777));
    if (!fitsLevel2Header(info)) return "the name is too long for a header (at most 65,535 bytes): " + storedName;
    // A file this small cannot outweigh the tables of a block: stored at once.
    constexpr std::uint64_t kTooSmallToCompress = 64;
    info.method = info.originalSize < kTooSmallToCompress ? Method::Lh0 : method_;

    std::uint64_t read = 0;
    std::uint16_t crc = 0;
    auto changed = [&] { return "file changed while it was read: " + sourcePath; };
    // Written to while it was read (its length, time of change or of writing
    // moved): the bytes read may be part old, part new.
    auto writtenSince = [&, before = st] {
        struct stat after {};
        return ::fstat(m.source.get(), &after) != 0 || after.st_size != before.st_size ||
               after.st_mtim.tv_sec != before.st_mtim.tv_sec || after.st_mtim.tv_nsec != before.st_mtim.tv_nsec ||
               after.st_ctim.tv_sec != before.st_ctim.tv_sec || after.st_ctim.tv_nsec != before.st_ctim.tv_nsec;
    };
    if (info.method == Method::Lh0) {
        std::uint8_t small[kTooSmallToCompress + 1];
        const ssize_t n = readSome(m.source.get(), small, sizeof small);
        if (n < 0) return systemError("cannot read", sourcePath);
        if (static_cast<std::uint64_t>(n) != info.originalSize || writtenSince()) return changed();
        m.smallData.assign(reinterpret_cast<const char*>(small), static_cast<std::size_t>(n));
        info.crc = crc16(small, static_cast<std::size_t>(n));
        m.source.reset();
        m.allSubmitted = true;
        pending_.push_back(std::move(member));
        // Stored members wait for nothing but their turn; many small files
        // in a row must not all wait in memory (about 1 KiB each).
        while (pending_.size() > maxPending_)
            if (std::string fault = writeNext(); !fault.empty()) return fault;
        return {};
    }

    // Segment by segment, each with the window of data before it.
    pending_.push_back(std::move(member));
    const Effort effort = best_ ? bestEffort(info.method) : defaultEffort(info.method, info.originalSize);
    const std::size_t historySize = segmentHistory(info.method);
    std::shared_ptr<std::uint8_t[]> previous;
    std::size_t previousSize = 0, previousHistory = 0;
    for (;;) {
        const std::uint64_t left = info.originalSize - read;
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(left, kSegmentSize));
        const std::size_t history = previous ? std::min(historySize, previousSize - previousHistory) : 0;
        // Not cleared first: every byte is copied or read in before it is used.
        auto chunk = std::make_shared_for_overwrite<std::uint8_t[]>(history + want);
        if (history) std::memcpy(chunk.get(), previous.get() + previousSize - history, history);
        const ssize_t n = readSome(m.source.get(), chunk.get() + history, want);
        if (n < 0) return systemError("cannot read", sourcePath);
        if (static_cast<std::size_t>(n) != want) return changed();
        if (progress_ && progress_->cancelled()) return kCancelledFault;
        crc = crc16(chunk.get() + history, want, crc);
        read += want;
        const Method method = info.method;
        m.segments.push_back(pool_->submit<BitWriter>([chunk, history, want, method, effort] {
            return encodeSegment(method, effort, chunk.get() + history, history, want);
        }));
        ++inFlight_;
        inFlightBytes_ += want;
        while (inFlight_ > maxInFlight_ || (inFlight_ > 1 && inFlightBytes_ > maxInFlightBytes_))
            if (std::string fault = writeNext(); !fault.empty()) return fault;
        if (read == info.originalSize) break;
        previous = chunk;
        previousSize = history + want;
        previousHistory = history;
    }
    std::uint8_t extra;
    const ssize_t more = readSome(m.source.get(), &extra, 1);   // the end of the file, where it was found
    if (more < 0) return systemError("cannot read", sourcePath);
    if (more != 0 || writtenSince()) return changed();
    info.crc = crc;
    m.allSubmitted = true;
    return {};
}

std::string ArchiveWriter::writeNext() {
    Pending& m = *pending_.front();
    if (!m.started) {
        m.headerOffset = offset_;
        // The header's length does not depend on the packed size, so a
        // placeholder is written first and rewritten once the data is in.
        m.header = level2Header(m.info);
        if (std::string fault = append(m.header.data(), m.header.size()); !fault.empty()) return fault;
        m.dataOffset = offset_;
        m.started = true;
        if (progress_) progress_->startMember(m.info.name);
    }
    if (m.segments.empty()) {
        if (!m.allSubmitted) return "an earlier file was not read to its end: " + m.sourcePath;
        std::string fault = completeMember(m);
        pending_.pop_front();
        return fault;
    }
    BitWriter coded = m.segments.front().get();
    m.segments.pop_front();
    const std::uint64_t segmentBytes = std::min<std::uint64_t>(m.info.originalSize - m.coded, kSegmentSize);
    --inFlight_;
    inFlightBytes_ -= segmentBytes;
    m.coded += segmentBytes;
    if (!advance(segmentBytes)) return kCancelledFault;
    if (m.tooBig) return {};
    m.joined.append(coded);
    std::vector<std::uint8_t>& bytes = m.joined.bytes();
    // Coded data that reaches the original size gains nothing: stored
    // instead, and nothing is written past the stored copy's end.
    if (offset_ - m.dataOffset + bytes.size() >= m.info.originalSize) {
        m.tooBig = true;
        return {};
    }
    std::string fault = append(bytes.data(), bytes.size());
    bytes.clear();
    return fault;
}

std::string ArchiveWriter::writeAll() {
    while (!pending_.empty())
        if (std::string fault = writeNext(); !fault.empty()) return fault;
    return {};
}

std::string ArchiveWriter::completeMember(Pending& m) {
    if (m.info.method == Method::Lh0) {
        if (std::string fault = append(reinterpret_cast<const std::uint8_t*>(m.smallData.data()), m.smallData.size());
            !fault.empty())
            return fault;
        if (!advance(m.smallData.size())) return kCancelledFault;
    } else if (!m.tooBig) {
        m.joined.flush();
        std::vector<std::uint8_t>& bytes = m.joined.bytes();
        m.tooBig = offset_ - m.dataOffset + bytes.size() >= m.info.originalSize;
        if (!m.tooBig)
            if (std::string fault = append(bytes.data(), bytes.size()); !fault.empty()) return fault;
    }
    if (m.tooBig)
        if (std::string fault = storeMember(m); !fault.empty()) return fault;
    m.info.packedSize = offset_ - m.dataOffset;
    updateLevel2Header(m.header, m.info);
    return writeAt(m.headerOffset, m.header.data(), m.header.size());
}

std::string ArchiveWriter::storeMember(Pending& m) {
    m.info.method = Method::Lh0;
    rewind(m.dataOffset);
    if (!buffer_) buffer_.reset(new std::uint8_t[kChunk]);
    std::uint8_t* const buffer = buffer_.get();
    std::uint64_t at = 0;
    std::uint16_t crc = 0;
    while (at < m.info.originalSize) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(m.info.originalSize - at, kChunk));
        const ssize_t n = ::pread(m.source.get(), buffer, want, static_cast<off_t>(at));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return systemError("cannot read", m.sourcePath);
        if (n == 0) break;
        crc = crc16(buffer, static_cast<std::size_t>(n), crc);
        if (std::string fault = append(buffer, static_cast<std::size_t>(n)); !fault.empty()) return fault;
        if (progress_ && progress_->cancelled()) return kCancelledFault;
        at += static_cast<std::uint64_t>(n);
    }
    if (at != m.info.originalSize || crc != m.info.crc) return "file changed while it was read: " + m.sourcePath;
    return {};
}

std::string ArchiveWriter::addFolder(const std::string& storedName, const std::string& sourcePath) {
    if (!isStorableName(storedName)) return "name not fit to store: " + storedName;
    if (std::string fault = writeAll(); !fault.empty()) return fault;
    struct stat st {};
    if (statLong(sourcePath, st) != 0) return systemError("cannot read", sourcePath);
    MemberInfo info;
    info.name = storedName;
    info.directory = true;
    info.method = Method::Lhd;
    info.mtime = storedTime(st.st_mtime);
    info.unixMode = static_cast<std::uint16_t>(S_IFDIR | (st.st_mode & 07777));
    if (!fitsLevel2Header(info)) return "the name is too long for a header (at most 65,535 bytes): " + storedName;
    std::vector<std::uint8_t> header = level2Header(info);
    return append(header.data(), header.size());
}

std::string ArchiveWriter::copyMembers(int sourceFd, const ArchiveMember* first, std::size_t count) {
    if (count == 0) return {};
    if (std::string fault = writeAll(); !fault.empty()) return fault;
    if (progress_) progress_->startMember(first->name);
    const ArchiveMember& last = first[count - 1];
    return copyRange(sourceFd, first->headerOffset, last.headerOffset + last.headerSize + last.packedSize - first->headerOffset);
}

std::string ArchiveWriter::copyRange(int sourceFd, std::uint64_t offset, std::uint64_t size) {
    if (std::string fault = writeAll(); !fault.empty()) return fault;
    std::uint64_t at = offset;
    std::uint64_t left = size;
    // A large range moves in the kernel, without a trip through this
    // process (file systems that share extents may share them); small ones
    // gather in the output buffer with the headers around them.
    if (left >= kOutputBuffer) {
        if (std::string fault = flushOutput(); !fault.empty()) return fault;
        while (left > 0) {
            loff_t from = static_cast<loff_t>(at), to = static_cast<loff_t>(offset_);
            const ssize_t n = ::copy_file_range(sourceFd, &from, fd_, &to,
                                                static_cast<std::size_t>(std::min<std::uint64_t>(left, kKernelStep)), 0);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == ENOSPC || errno == EDQUOT || errno == EFBIG))
                return writeFault_ + std::strerror(errno);
            if (n <= 0) break;   // refused, or a fault or the end of the old archive: the plain copy tells which
            offset_ = bufferedFrom_ += static_cast<std::uint64_t>(n);
            at += static_cast<std::uint64_t>(n);
            left -= static_cast<std::uint64_t>(n);
            if (!advance(static_cast<std::uint64_t>(n))) return kCancelledFault;
        }
    }
    if (!buffer_) buffer_.reset(new std::uint8_t[kChunk]);
    std::uint8_t* const buffer = buffer_.get();
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

std::string ArchiveWriter::finish(int sourceFd, std::uint64_t offset, std::uint64_t size) {
    if (std::string fault = writeAll(); !fault.empty()) return fault;
    const std::uint8_t end = 0;
    if (std::string fault = append(&end, 1); !fault.empty()) return fault;
    if (size > 0)
        if (std::string fault = copyRange(sourceFd, offset, size); !fault.empty()) return fault;
    return flushOutput();
}

}  // namespace lzh

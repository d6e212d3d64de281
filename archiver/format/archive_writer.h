#pragma once

#include "archiver/codec/method.h"
#include "archiver/format/archive_reader.h"
#include "archiver/progress.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace lzh {

class WorkerPool;

// Writes an archive into an open, empty, seekable file. Files are read in
// fixed segments that are coded on `threads` threads (several members and
// several segments of one member at once) and written in order, so the
// archive does not depend on the thread count, and memory does not grow
// with file size. Every call returns empty text on success, else the
// fault; a fault in coding or writing a member may be returned by a later
// call, as members are written when their turn comes.
// With a progress, the bytes coded or copied are reported to it as they are
// written, and a cancel request is honoured between segments and chunks
// (the fault is then kCancelledFault).
class ArchiveWriter {
public:
    // best: the slower parse that gives the smallest output.
    ArchiveWriter(int fd, Method method, bool best = false, Progress* progress = nullptr, unsigned threads = 1);
    ~ArchiveWriter();

    // Adds the file at sourcePath under storedName ("/"-separated, relative).
    // It is stored as -lh0- when compression does not make it smaller.
    std::string addFile(const std::string& storedName, const std::string& sourcePath);
    // Adds a folder entry (-lhd-) stamped like the folder at sourcePath.
    std::string addFolder(const std::string& storedName, const std::string& sourcePath);
    // Copies members of another archive byte for byte: `count` members
    // from `first` that follow one another there, in one piece (one copy
    // in the kernel where they are large together).
    std::string copyMembers(int sourceFd, const ArchiveMember* first, std::size_t count);
    // Copies `size` bytes at `offset` of another file (a self-extractor's program part).
    std::string copyRange(int sourceFd, std::uint64_t offset, std::uint64_t size);
    // Writes every member still in work, then the end marker, then `size`
    // bytes at `offset` of `sourceFd` (what followed an old archive's end).
    std::string finish(int sourceFd = -1, std::uint64_t offset = 0, std::uint64_t size = 0);

    std::uint64_t size() const { return offset_; }
    // The archive's name, for the faults in writing it.
    void setArchiveName(const std::string& name) { writeFault_ = "cannot write the archive " + name + ": "; }

private:
    struct Pending;

    // Output goes through a buffer: append() adds at the end, writeAt()
    // changes bytes written before (in the buffer or the file), and
    // flushOutput() writes the buffer out.
    std::string writeAt(std::uint64_t offset, const std::uint8_t* data, std::size_t size);
    std::string writeThrough(std::uint64_t offset, const std::uint8_t* data, std::size_t size);
    std::string append(const std::uint8_t* data, std::size_t size);
    std::string flushOutput();
    void rewind(std::uint64_t offset);
    // Writes the oldest coded segment, or the oldest member once all of it is.
    std::string writeNext();
    std::string writeAll();
    std::string completeMember(Pending& member);
    std::string storeMember(Pending& member);
    // Reports bytes done; false when the work is to stop.
    bool advance(std::uint64_t bytes);

    int fd_;
    std::string writeFault_ = "cannot write the archive: ";
    Method method_;
    bool best_;
    Progress* progress_;
    std::unique_ptr<WorkerPool> pool_;
    std::deque<std::unique_ptr<Pending>> pending_;   // members in work, in archive order
    std::size_t inFlight_ = 0;                       // segments coded or in coding, not yet written
    std::uint64_t inFlightBytes_ = 0;                // their input bytes
    std::size_t maxInFlight_;
    std::uint64_t maxInFlightBytes_;
    std::size_t maxPending_;                         // members in work at most
    std::unique_ptr<std::uint8_t[]> buffer_;   // one read buffer for stored members
    std::optional<std::pair<dev_t, bool>> lastDevice_;   // the last source's device: the kernel's?
    std::uint64_t offset_ = 0;        // the archive's length so far, buffer included
    std::vector<std::uint8_t> out_;   // the archive's last bytes, not yet written
    std::uint64_t bufferedFrom_ = 0;  // where out_ starts in the archive
};

}  // namespace lzh

#include "archiver/format/archive_source.h"

#include "archiver/format/new_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace lzh {

std::string pieceName(const std::string& base, unsigned number) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, ".%03u", number);
    return base + suffix;
}

bool isFirstPieceName(const std::string& path) {
    return path.size() > 4 && path.compare(path.size() - 4, 4, ".001") == 0;
}

namespace {

// A split archive keeps every piece open, and a file of 1.5 GB makes over a
// thousand floppy pieces: past the usual soft limit of 1,024 descriptors,
// the limit is raised as far as the system allows.
int openPiece(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0 || errno != EMFILE) return fd;
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max) return fd;
    limit.rlim_cur = limit.rlim_max;
    if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) {
        errno = EMFILE;
        return -1;
    }
    return ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
}

}  // namespace

std::string ArchiveSource::addPiece(const std::string& path, bool mustExist, bool& found) {
    found = false;
    const int fd = openPiece(path);
    if (fd < 0) {
        if (errno == ENOENT && !mustExist) return {};
        if (errno == EMFILE)
            return "cannot open " + path + ": " + std::strerror(errno) +
                   " (each piece of a split archive is kept open: raise the limit, ulimit -n)";
        return "cannot open " + path + ": " + std::strerror(errno);
    }
    Piece piece;
    piece.file = std::make_shared<FileHandle>(fd);
    piece.fd = fd;
    struct stat st {};
    if (::fstat(fd, &st) != 0) return "cannot read " + path + ": " + std::strerror(errno);
    if (S_ISDIR(st.st_mode)) return "not an archive but a folder: " + path;
    // Members are read where the headers say: a pipe or a device cannot seek.
    if (!S_ISREG(st.st_mode)) return "an archive must be a regular file, not a pipe or device: " + path;
    piece.path = path;
    piece.start = size_;
    piece.size = static_cast<std::uint64_t>(st.st_size);
    size_ += piece.size;
    files_.insert({st.st_dev, st.st_ino});
    pieces_.push_back(std::move(piece));
    found = true;
    return {};
}

std::string ArchiveSource::open(const std::string& path) {
    pieces_.clear();
    files_.clear();
    size_ = 0;
    split_ = false;
    if (path == kStandardInput) return openStream(STDIN_FILENO, "the standard input", kStandardInput);
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISFIFO(st.st_mode)) {
        // Opened when its writer comes (without waiting, it would read as empty).
        const FileHandle fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
        if (fd.get() < 0) return "cannot open the archive " + path + ": " + std::strerror(errno);
        return openStream(fd.get(), path, path);
    }
    const bool numbered = isFirstPieceName(path);
    if (!numbered) {
        if (::stat(path.c_str(), &st) == 0 || ::stat(pieceName(path, 1).c_str(), &st) != 0) {
            bool found = false;
            return addPiece(path, true, found);
        }
    }
    split_ = true;
    seriesBase_ = numbered ? path.substr(0, path.size() - 4) : path;
    for (unsigned number = 1;; ++number) {
        bool found = false;
        const std::string name = pieceName(seriesBase_, number);
        if (std::string fault = addPiece(name, number == 1, found); !fault.empty()) return fault;
        if (found) continue;
        // A gap in the series is a missing piece, not its end.
        for (unsigned later = number + 1; later <= number + 3; ++later)
            if (::stat(pieceName(seriesBase_, later).c_str(), &st) == 0) return "piece missing: " + name;
        return {};
    }
}

std::string ArchiveSource::openStream(int fd, const std::string& name, const std::string& path) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return "cannot read " + name + ": " + std::strerror(errno);
    if (::isatty(fd)) return name + " is a terminal: give the archive through a pipe or with <";
    if (S_ISDIR(st.st_mode)) return "not an archive but a folder: " + name;
    // A device (/dev/zero) might never end: only files, pipes and sockets.
    if (!S_ISREG(st.st_mode) && !S_ISFIFO(st.st_mode) && !S_ISSOCK(st.st_mode))
        return "an archive must be a file or come through a pipe, not a device: " + name;
    Piece piece;
    piece.path = path;
    if (S_ISREG(st.st_mode)) {
        piece.file = std::make_shared<FileHandle>(::fcntl(fd, F_DUPFD_CLOEXEC, 0));
        piece.fd = piece.file->get();
        piece.size = static_cast<std::uint64_t>(st.st_size);
        if (piece.fd < 0) return "cannot read " + name + ": " + std::strerror(errno);
    } else {
        // Never committed: the file goes when the archive is closed.
        const std::string temporary = temporaryFolder();
        piece.spool = std::make_shared<NewFile>();
        if (std::string fault = piece.spool->create(temporary + "/unlha32-stdin"); !fault.empty())
            return "cannot make a temporary file in " + temporary + ": " + fault;
        piece.fd = piece.spool->fd();
        std::vector<std::uint8_t> buffer(1 << 20);
        bool readFailed = false;
        if (!copyToEnd(fd, piece.fd, buffer.data(), buffer.size(), piece.size, readFailed))
            return (readFailed ? "cannot read " + name : "cannot keep " + name + " in " + temporary) + ": " +
                   std::strerror(errno);
    }
    if (::fstat(piece.fd, &st) == 0) files_.insert({st.st_dev, st.st_ino});
    size_ = piece.size;
    pieces_.push_back(std::move(piece));
    return {};
}

void ArchiveSource::adopt(int fd, std::uint64_t size) {
    pieces_.clear();
    files_.clear();
    if (struct stat st {}; ::fstat(fd, &st) == 0) files_.insert({st.st_dev, st.st_ino});
    split_ = false;
    Piece piece;
    piece.fd = fd;
    piece.size = size;
    pieces_.push_back(piece);
    size_ = size;
}

bool ArchiveSource::read(std::uint64_t offset, std::uint8_t* buffer, std::size_t size) const {
    if (offset > size_ || size > size_ - offset) return false;
    // The last piece that starts at or before the offset (empty pieces start where the next does).
    std::size_t i = static_cast<std::size_t>(
        std::upper_bound(pieces_.begin(), pieces_.end(), offset,
                         [](std::uint64_t at, const Piece& piece) { return at < piece.start; }) -
        pieces_.begin());
    i = i > 0 ? i - 1 : 0;
    while (size > 0) {
        if (i >= pieces_.size()) return false;
        const Piece& piece = pieces_[i];
        const std::uint64_t inPiece = offset - piece.start;
        if (inPiece >= piece.size) {
            ++i;
            continue;
        }
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(size, piece.size - inPiece));
        const ssize_t n = ::pread(piece.fd, buffer, want, static_cast<off_t>(inPiece));
        if (n <= 0) return false;
        buffer += n;
        offset += static_cast<std::uint64_t>(n);
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool ArchiveSource::isReadFrom(const struct stat& st) const { return files_.count({st.st_dev, st.st_ino}) > 0; }

std::string ArchiveSource::shortfall() const {
    if (!split_ || pieces_.empty()) return {};
    const unsigned last = static_cast<unsigned>(pieces_.size());
    // Every piece but the last is as long as the others: the one shorter
    // than the longest of them was cut short.
    std::uint64_t whole = 0;
    for (unsigned i = 0; i + 1 < last; ++i) whole = std::max(whole, pieces_[i].size);
    for (unsigned i = 0; i + 1 < last; ++i)
        if (pieces_[i].size < whole)
            return pieces_[i].path + " is short: " + std::to_string(pieces_[i].size) + " bytes, where the pieces " +
                   "before the last have " + std::to_string(whole);
    return pieces_.back().path + " is short, or the piece " + pieceName(seriesBase_, last + 1) + " is missing";
}

}  // namespace lzh

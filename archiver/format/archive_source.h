#pragma once

#include "archiver/format/file_handle.h"

#include <cstdint>
#include <sys/stat.h>
#include <memory>
#include <set>
#include <utility>
#include <string>
#include <vector>

namespace lzh {

class NewFile;

// The bytes of an archive: one file, or the numbered pieces NAME.001,
// NAME.002, ... of a split archive read in order as one, without joining
// them first.
class ArchiveSource {
public:
    // Opens `path`. A path ending in ".001", or a missing path for which
    // path + ".001" exists, opens every piece of that series. Empty text on
    // success, else the reason, naming the file (a missing piece by its name).
    // "-" is the standard input: a file given by a redirect is read in
    // place; a pipe's bytes are first kept in an unnamed temporary file,
    // because members are read where the headers say. A named pipe (a FIFO,
    // a shell's "<(...)") is read the same way.
    std::string open(const std::string& path);
    // An archive file already open (not owned).
    void adopt(int fd, std::uint64_t size);

    std::uint64_t size() const { return size_; }
    bool isSplit() const { return pieces_.size() > 1 || split_; }
    // Reads `size` bytes at `offset`; false when the archive holds fewer.
    bool read(std::uint64_t offset, std::uint8_t* buffer, std::size_t size) const;
    // For a split archive, which piece may be short or missing, when the
    // archive ends before its data does.
    std::string shortfall() const;
    // Whether the file `st` describes is one this archive is read from.
    bool isReadFrom(const struct stat& st) const;

private:
    struct Piece {
        std::string path;
        std::shared_ptr<FileHandle> file;
        std::shared_ptr<NewFile> spool;   // the standard input's bytes, kept while the archive is read
        int fd = -1;
        std::uint64_t start = 0, size = 0;
    };
    using FileId = std::pair<dev_t, ino_t>;
    std::string addPiece(const std::string& path, bool mustExist, bool& found);
    // A stream (the standard input, or a named pipe open as fd), `name` in messages.
    std::string openStream(int fd, const std::string& name, const std::string& path);

    std::vector<Piece> pieces_;
    std::set<FileId> files_;   // the files read from (a lookup per file met, not per piece)
    std::uint64_t size_ = 0;
    bool split_ = false;
    std::string seriesBase_;
};

// The archive name that stands for the standard input.
inline constexpr const char* kStandardInput = "-";

// Whether `path` names the first piece of a series (it ends in ".001").
bool isFirstPieceName(const std::string& path);

// The name of piece `number` (1, 2, ...) of the series `base`: base.001 ... base.999, base.1000 ...
std::string pieceName(const std::string& base, unsigned number);

}  // namespace lzh

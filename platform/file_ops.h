#pragma once

// File-system primitives on POSIX calls. Each returns an empty text on
// success and the system's reason otherwise.

#include <cstdint>
#include <optional>
#include <string>

namespace sqs::files {

class PieceAhead;

std::string lookupName(const std::string& path, bool withDirectories);
std::optional<std::int64_t> length(const std::string& path, std::string& error);
// What moves when a file is written to: its length and its times of writing
// and of change, to the nanosecond. Empty when the file cannot be looked at.
std::string changeStamp(const std::string& path);
// The device and inode a path leads to (links followed); empty when none.
std::string fileIdentity(const std::string& path);
std::string removeFile(const std::string& path);
std::string setHidden(const std::string& path, bool hidden);
std::string readAt(const std::string& path, std::int64_t offset, char* buffer, std::int64_t size);
// Writes the bytes as a new file that takes the place of `path` only once
// it is complete: an unnamed file in the folder of the file `path` leads to
// (symbolic links followed, so a link stays a link), renamed over it at the
// end. A crash, a kill or a failure leaves the old file as it was and no
// half-written or temporary file. A read-only file is never replaced.
// `sync`: flushed to disk before the rename.
std::string writeInPlaceOf(const std::string& path, const char* data, std::int64_t size, bool sync);
// A piece, script or list file: writeInPlaceOf without the flush.
std::string writeWhole(const std::string& path, const char* data, std::int64_t size);
// A piece cut from a file: `size` bytes of `source` from `offset`, placed
// like writeWhole. The bytes move in the kernel (copy_file_range: one copy,
// none through the program; shared extents where the file system has them
// and `offset` falls on a block boundary), by read and write where it
// refuses. `sourceFailed` tells a fault in reading the source from one in
// writing the piece. `ahead` may hold its file, made ready beforehand.
std::string copyInPlaceOf(const std::string& path, const std::string& source, std::int64_t offset,
                          std::int64_t size, bool& sourceFailed, PieceAhead* ahead = nullptr);
// The folder in which the new file for `path` is made (links followed).
std::string folderOfNewFile(const std::string& path);
std::optional<std::string> readAll(const std::string& path);
// The settings file: writeInPlaceOf with the flush.
std::string replaceAtomically(const std::string& path, const std::string& bytes);

}  // namespace sqs::files

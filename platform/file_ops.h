#pragma once

// File-system primitives on POSIX calls. Each returns an empty text on
// success and the system's reason otherwise.

#include <cstdint>
#include <optional>
#include <string>

namespace sqs::files {

std::string lookupName(const std::string& path, bool withDirectories);
std::optional<std::int64_t> length(const std::string& path, std::string& error);
std::string removeFile(const std::string& path);
std::string setHidden(const std::string& path, bool hidden);
std::string readAt(const std::string& path, std::int64_t offset, char* buffer, std::int64_t size);
// Creates or truncates the file and writes the bytes; a file left half-written
// by a failure is removed.
std::string writeWhole(const std::string& path, const char* data, std::int64_t size);
std::optional<std::string> readAll(const std::string& path);
// Writes a temporary file beside the target, then renames it over the target.
std::string replaceAtomically(const std::string& path, const std::string& bytes);

}  // namespace sqs::files

#pragma once

// The private-profile (INI) format: reading one value and rewriting one key,
// on the bytes of a whole file. Section and key names match without regard
// to ASCII case; blanks around names and values are trimmed; one pair of
// matching outer quotes around a value is stripped; the first of duplicate
// keys wins; lines starting with ";" are comments.

#include <optional>
#include <string>

namespace sqs::profile {

// The value of section/key, or the default when the file, the section or the
// key is missing; cut to bufferSize - 1 bytes, as a fixed buffer would.
std::string readValue(const std::optional<std::string>& file, const std::string& section,
                      const std::string& key, const std::string& fallback, std::size_t bufferSize);

// The file with section/key set to value. Only that key's line changes; a new
// key goes after the last key of its section, a new section at the end.
// Lines written end in CR LF.
std::string withValue(const std::string& file, const std::string& section, const std::string& key,
                      const std::string& value);

}  // namespace sqs::profile

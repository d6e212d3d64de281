#pragma once

#include <QString>

#include <cstdint>

namespace sqs {

class Platform;

// The text wrapped in double quotes when it holds a comma or a blank
// (U+0020; the ideographic blank does not count); otherwise unchanged.
QString QuoteIfNeeded(const QString& text);

// The text without trailing blanks, ending in exactly the one separator it
// had, or with one appended.
QString WithTrailingBackslash(const QString& text);

// Why the command text cannot carry this path as a field; empty when it can.
// Quotes group fields and are taken off, line breaks end the text: such a
// path would be read as another path (another archive, another base folder).
QString uncarriablePathReason(const QString& path);

// "u -a1 -r2 -x1 -l1 -jp1 -o2 ARCHIVE BASE/ @LIST " with each field quoted as needed.
QString archiverCommandText(const QString& archive, const QString& baseFolder, const QString& responseArgument);

// Calls the archiver library beside the program (loaded at the first call,
// kept loaded). A library that cannot be loaded ends the program with a
// message naming it and the reason.
class ArchiverLibrary {
public:
    static constexpr const char* kLibraryName = "libunlha32.so";
    static constexpr std::uint32_t kOutputSize = 1024;

    explicit ArchiverLibrary(Platform& platform) : platform_(platform) {}

    // -1 when the archiver reported success (status 0), 0 otherwise.
    std::int16_t RunArchiver(std::int32_t window, const QString& archive, const QString& baseFolder,
                             const QString& responseArgument);

private:
    using Entry = int (*)(std::int32_t, const char*, char*, std::uint32_t);
    Platform& platform_;
    Entry entry_ = nullptr;
};

}  // namespace sqs

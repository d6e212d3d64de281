#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace lzh {

// One member of an existing archive, as found: where its header and data
// lie, and what the header says.
struct ArchiveMember {
    std::uint64_t headerOffset = 0;
    std::uint64_t headerSize = 0;   // bytes from headerOffset to the data
    std::uint64_t dataOffset = 0;
    std::uint64_t packedSize = 0;
    std::uint64_t originalSize = 0;
    std::string method;             // "-lh5-" and so on
    int level = 0;
    char os = 0;
    std::uint16_t crc = 0;
    std::string name;               // UTF-8, "/"-separated; a folder's ends in "/"
    bool directory = false;
    std::int64_t mtime = 0;         // seconds since 1970, UTC
    bool hasTime = true;            // false: the header recorded none (a DOS stamp of 0)
    std::int32_t mtimeNanoseconds = 0;   // the part of a second a FILETIME stamp holds
    bool twoSecondTime = false;     // a DOS stamp alone (levels 0, 1): even seconds, rounded
                                    // down or up by the writer
    // Seconds the stamp may lie below the file's own time and still mean the
    // same moment: a file and a DOS stamp under two seconds apart are of one age.
    std::int64_t slack() const { return twoSecondTime ? 1 : 0; }
    bool hasHeaderCrc = false;
    bool hasUnixMode = false;       // from ext 0x50 or a level-0 Unix area
    std::uint16_t unixMode = 0;
    bool symlink = false;           // a Unix symbolic link: `name` is the link,
    std::string linkTarget;         // and this what it points to ("/"-separated)
};

class ArchiveSource;

// Walks the archive at fd (of `fileSize` bytes): skips a self-extractor
// stub, checks every length against the file and every header checksum.
// Empty text on success, else the fault and where.
std::string readArchive(int fd, std::uint64_t fileSize, std::vector<ArchiveMember>& members);

// The same over an archive that may be split into pieces.
std::string readArchive(const ArchiveSource& source, std::vector<ArchiveMember>& members);

// The same over bytes in memory.
std::string readArchive(const std::vector<std::uint8_t>& bytes, std::vector<ArchiveMember>& members);

// Whether the four bytes at `head` start a program that a self-extracting
// archive puts before its archive: a DOS or Windows executable (MZ), an
// X68000 one (HU), a DOS .com that jumps over its data first, an ELF
// program or a script.
bool startsLikeAProgram(const std::uint8_t head[4]);

// Where the members were found after bytes that start no program (a tar
// that holds an archive, or junk before one): what to say of it; else empty.
std::string archiveAfterNoProgram(const ArchiveSource& source, const std::vector<ArchiveMember>& members);

// The report of an archive at `path` in which readArchive found no member, for its `fault`.
std::string unreadableArchive(const std::string& path, const std::string& fault);

}  // namespace lzh

#include "archiver/format/archive_reader.h"

#include "archiver/codec/crc16.h"
#include "archiver/format/archive_source.h"
#include "archiver/format/text_codec.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <functional>
#include <unistd.h>

namespace lzh {
namespace {

// Reads `size` bytes at `offset`; false when the file holds fewer.
using ReadAt = std::function<bool(std::uint64_t offset, std::uint8_t* buffer, std::size_t size)>;

constexpr std::uint64_t kSfxScanLimit = std::uint64_t{1} << 20;

// Reads through a window of the file: the walk reads each header in a few
// small pieces, and an archive of many small members holds many headers to
// a window, so most reads are copies, not system calls.
class ReadAhead {
public:
    ReadAhead(ReadAt read, std::uint64_t fileSize) : read_(std::move(read)), fileSize_(fileSize) {}

    bool operator()(std::uint64_t offset, std::uint8_t* buffer, std::size_t size) {
        if (size > kWindow) return read_(offset, buffer, size);
        if (offset < from_ || offset + size > from_ + held_) {
            const std::uint64_t left = offset < fileSize_ ? fileSize_ - offset : 0;
            const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(kWindow, left));
            if (want < size || !read_(offset, window_.data(), want)) {
                held_ = 0;   // the file is shorter than it was: read as asked
                return read_(offset, buffer, size);
            }
            from_ = offset;
            held_ = want;
        }
        if (size) std::memcpy(buffer, window_.data() + (offset - from_), size);
        return true;
    }

private:
    static constexpr std::size_t kWindow = 64 * 1024;
    ReadAt read_;
    std::uint64_t fileSize_;
    std::vector<std::uint8_t> window_ = std::vector<std::uint8_t>(kWindow);
    std::uint64_t from_ = 0;
    std::size_t held_ = 0;
};

std::uint32_t u16(const std::uint8_t* p) { return p[0] | (p[1] << 8); }
std::uint32_t u32(const std::uint8_t* p) { return u16(p) | (u16(p + 2) << 16); }
std::uint64_t u64(const std::uint8_t* p) { return u32(p) | (std::uint64_t{u32(p + 4)} << 32); }

std::int64_t dosTimeToUnix(std::uint32_t dos) {
    if (dos == 0) return 0;   // no stamp recorded
    std::tm tm{};
    tm.tm_year = static_cast<int>((dos >> 25) & 0x7F) + 80;
    tm.tm_mon = static_cast<int>((dos >> 21) & 0x0F) - 1;
    tm.tm_mday = static_cast<int>((dos >> 16) & 0x1F);
    tm.tm_hour = static_cast<int>((dos >> 11) & 0x1F);
    tm.tm_min = static_cast<int>((dos >> 5) & 0x3F);
    tm.tm_sec = static_cast<int>((dos & 0x1F) * 2);
    // Local time, with no word of daylight saving: where the clock read so
    // twice (the hour it goes back), the first of the two, whatever was read
    // before (mktime left to guess would follow its last call); in the hour
    // it skips, as mktime moves it on.
    std::int64_t first = INT64_MAX;
    for (int dst : {0, 1}) {
        std::tm guess = tm;
        guess.tm_isdst = dst;
        const std::time_t t = std::mktime(&guess);
        std::tm back{};
        if (t == -1 || !::localtime_r(&t, &back)) continue;
        if (back.tm_year == tm.tm_year && back.tm_mon == tm.tm_mon && back.tm_mday == tm.tm_mday &&
            back.tm_hour == tm.tm_hour && back.tm_min == tm.tm_min && back.tm_sec == tm.tm_sec)
            first = std::min<std::int64_t>(first, t);
    }
    if (first != INT64_MAX) return first;
    tm.tm_isdst = -1;
    return static_cast<std::int64_t>(std::mktime(&tm));
}

// Name bytes to UTF-8: by the code page the member declares, else as CP932
// when they are valid CP932, else as UTF-8, else byte for byte.
std::string decodeName(const std::string& bytes, std::uint32_t codePage) {
    if (codePage != 0 && codePage != 932) {
        if (codePage == 65001) {
            if (isValidUtf8(bytes)) return bytes;
        } else if (auto text = fromCodePage(bytes, codePage)) {
            return *text;
        }
    }
    if (auto text = cp932ToUtf8(bytes)) return *text;
    return bytes;
}

struct Extensions {
    std::string fileName, dirName, fileName16, dirName16;
    bool hasFileName = false, hasDirName = false, hasFileName16 = false, hasDirName16 = false;
    std::uint32_t codePage = 0;       // 0: none declared
    bool hasUnixMode = false;
    std::uint16_t unixMode = 0;
    std::int64_t filetimeMtime = -1, unixMtime = -1;
    std::int32_t filetimeNanoseconds = 0;
    bool hasFiletime = false;
    bool wideSizes = false;
    std::uint64_t packed64 = 0, original64 = 0;
    std::size_t crcPosition = 0;   // within the header bytes; 0 = none
    bool directoryAttribute = false;
};

// Reads one extension's data into `ext`.
void takeExtension(std::uint8_t type, const std::uint8_t* data, std::size_t size, std::size_t position,
                   Extensions& ext) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    switch (type) {
    case 0x00:
        if (size >= 2) ext.crcPosition = position;
        break;
    case 0x01: ext.fileName = bytes; ext.hasFileName = true; break;
    case 0x02: ext.dirName = bytes; ext.hasDirName = true; break;
    case 0x40:
        if (size >= 2 && (u16(data) & 0x10)) ext.directoryAttribute = true;
        break;
    case 0x41:
        if (size >= 24) {
            // 0: no time given (some writers leave the field empty).
            const std::uint64_t ticks = u64(data + 8);
            if (ticks != 0) {
                ext.hasFiletime = true;
                ext.filetimeMtime = static_cast<std::int64_t>(ticks / 10000000) - 11644473600LL;
                ext.filetimeNanoseconds = static_cast<std::int32_t>(ticks % 10000000) * 100;
            }
        }
        break;
    case 0x42:
        if (size >= 16) {
            ext.wideSizes = true;
            ext.packed64 = u64(data);
            ext.original64 = u64(data + 8);
        }
        break;
    case 0x44: ext.fileName16 = bytes; ext.hasFileName16 = true; break;
    case 0x45: ext.dirName16 = bytes; ext.hasDirName16 = true; break;
    case 0x46:
        if (size >= 4) ext.codePage = u32(data);
        break;
    case 0x50:
        if (size >= 2) {
            ext.hasUnixMode = true;
            ext.unixMode = static_cast<std::uint16_t>(u16(data));
        }
        break;
    case 0x54:
        if (size >= 4) ext.unixMtime = u32(data);
        break;
    default: break;
    }
}

// Folder bytes with separators `sep` (0xFF, or 0xFFFF in UTF-16) as "a/b/".
std::string folderPath(const std::string& raw, bool wide, std::uint32_t codePage) {
    std::string out;
    std::string part;
    const std::size_t step = wide ? 2 : 1;
    auto endPart = [&]() {
        std::string decoded = wide ? utf16leToUtf8Replacing(part) : decodeName(part, codePage);
        out += decoded + "/";
        part.clear();
    };
    for (std::size_t i = 0; i + step <= raw.size(); i += step) {
        bool separator = wide ? (static_cast<unsigned char>(raw[i]) == 0xFF && static_cast<unsigned char>(raw[i + 1]) == 0xFF)
                              : (static_cast<unsigned char>(raw[i]) == 0xFF || raw[i] == '\\');
        if (separator)
            endPart();
        else
            part.append(raw, i, step);
    }
    if (!part.empty()) endPart();
    return out;
}

class Walker {
public:
    Walker(ReadAt read, std::uint64_t fileSize) : read_(std::move(read)), fileSize_(fileSize) {}

    std::string run(std::vector<ArchiveMember>& members) {
        // The end mark alone: an archive whose every member was deleted.
        std::uint8_t only = 1;
        if (fileSize_ == 1 && read_(0, &only, 1) && only == 0) return {};
        std::uint64_t offset = 0;
        ArchiveMember member;
        std::string fault = parse(0, member);
        if (!fault.empty()) {
            // A damaged first header is a damaged archive, not a program
            // before one: a search would take some later header (or one in
            // the member's data) for the first and drop what came before it.
            if (looksLikeHeader()) return fault + " (member 1, offset 0)";
            // A self-extracting archive: the first header follows a program stub.
            if (!findFirstHeader(offset, member)) return startsWithMethod() ? fault : "not an LZH header";
        }
        members.push_back(member);
        offset = member.dataOffset + member.packedSize;
        for (;;) {
            std::uint8_t first = 0;
            if (offset >= fileSize_ || !read_(offset, &first, 1) || first == 0) return {};
            ArchiveMember next;
            if (std::string fault = parse(offset, next); !fault.empty())
                return fault + " (member " + std::to_string(members.size() + 1) + ", offset " + std::to_string(offset) + ")";
            members.push_back(next);
            offset = next.dataOffset + next.packedSize;
        }
    }

private:
    // The file starts like a header: a method id ("-l??-") from its third
    // byte, and (where it is long enough for a header) a level of 0 to 3.
    bool startsWithMethod() {
        std::vector<std::uint8_t> h;
        return readBytes(0, h, 7) && h[2] == '-' && h[3] == 'l' && h[6] == '-';
    }
    bool looksLikeHeader() {
        std::vector<std::uint8_t> h;
        return startsWithMethod() && readBytes(0, h, 22) && h[20] <= 3;
    }

    bool findFirstHeader(std::uint64_t& offset, ArchiveMember& member) {
        const std::uint64_t limit = std::min(fileSize_, kSfxScanLimit);
        std::vector<std::uint8_t> head(static_cast<std::size_t>(limit));
        if (!read_(0, head.data(), head.size())) return false;
        for (std::uint64_t p = 1; p + 22 <= limit; ++p) {
            const std::uint8_t* h = head.data() + p;
            if (h[2] != '-' || h[3] != 'l' || h[6] != '-' || h[20] > 3 || h[0] == 0) continue;
            if (parse(p, member).empty()) {
                offset = p;
                return true;
            }
        }
        return false;
    }

    bool readBytes(std::uint64_t offset, std::vector<std::uint8_t>& out, std::size_t size) {
        if (offset > fileSize_ || size > fileSize_ - offset) return false;
        out.resize(size);
        return read_(offset, out.data(), size);
    }

    // Walks an extension chain inside `header` from `position` (first size
    // already known); sizes are `width` bytes. Returns the fault, if any.
    std::string walkChain(std::vector<std::uint8_t>& header, std::size_t position, std::uint64_t firstSize,
                          unsigned width, Extensions& ext, std::size_t limit) {
        std::uint64_t size = firstSize;
        while (size != 0) {
            if (size < 1 + width) return "bad extended header size";
            if (position + size > limit) return "extended header runs past the header";
            takeExtension(header[position], header.data() + position + 1, static_cast<std::size_t>(size - 1 - width),
                          position + 1, ext);
            const std::uint8_t* next = header.data() + position + size - width;
            std::uint64_t nextSize = width == 2 ? u16(next) : u32(next);
            position += static_cast<std::size_t>(size);
            size = nextSize;
        }
        return {};
    }

    std::string parse(std::uint64_t offset, ArchiveMember& m) {
        std::vector<std::uint8_t> base;
        if (!readBytes(offset, base, 22)) return "truncated header";
        if (base[2] != '-' || base[6] != '-') return "not an LZH header";
        m = ArchiveMember{};
        m.headerOffset = offset;
        m.method.assign(reinterpret_cast<const char*>(base.data() + 2), 5);
        m.level = base[20];
        Extensions ext;
        std::vector<std::uint8_t> h;
        std::string nameBytes;
        std::uint64_t packed = u32(base.data() + 7);
        m.originalSize = u32(base.data() + 11);
        const std::uint32_t stamp = u32(base.data() + 15);

        if (m.level == 0 || m.level == 1) {
            const std::size_t length = base[0] + 2u;
            if (length < 24) return "bad header size";   // the fixed fields, an empty name and the CRC
            if (!readBytes(offset, h, length)) return "truncated header";
            unsigned sum = 0;
            for (std::size_t i = 2; i < length; ++i) sum += h[i];
            if ((sum & 0xFF) != h[1]) return "header checksum error";
            const std::size_t n = h[21];
            if (22 + n + 2 > length) return "bad name length";
            nameBytes.assign(reinterpret_cast<const char*>(h.data() + 22), n);
            m.crc = static_cast<std::uint16_t>(u16(h.data() + 22 + n));
            m.mtime = dosTimeToUnix(stamp);
            m.hasTime = stamp != 0;
            if (m.level == 0) {
                if (base[19] & 0x10) ext.directoryAttribute = true;
                const std::size_t extra = length - (24 + n);
                if (extra >= 6 && h[24 + n] == 'U') ext.unixMtime = u32(h.data() + 26 + n);
                if (extra >= 8 && h[24 + n] == 'U') {
                    ext.hasUnixMode = true;
                    ext.unixMode = static_cast<std::uint16_t>(u16(h.data() + 30 + n));
                }
                m.headerSize = length;
            } else {
                if (length < 27 + n) return "bad level-1 header";
                m.os = static_cast<char>(h[24 + n]);
                // Extensions follow the base header; the chain's total comes out of the skip size.
                std::uint64_t chainTotal = 0;
                std::uint64_t size = u16(h.data() + length - 2);
                std::uint64_t at = offset + length;
                std::vector<std::uint8_t> chain(h);
                while (size != 0) {
                    if (size < 3) return "bad extended header size";
                    chainTotal += size;
                    if (chainTotal > packed) return "extended headers larger than the skip size";
                    std::vector<std::uint8_t> e;
                    if (!readBytes(at, e, static_cast<std::size_t>(size))) return "truncated extended header";
                    takeExtension(e[0], e.data() + 1, static_cast<std::size_t>(size - 3), chain.size() + 1, ext);
                    chain.insert(chain.end(), e.begin(), e.end());
                    size = u16(e.data() + size - 2);
                    at += e.size();
                }
                packed -= chainTotal;
                m.headerSize = length + chainTotal;
                h.swap(chain);
            }
        } else if (m.level == 2) {
            const std::size_t total = u16(base.data());
            if (total < 26) return "bad level-2 header size";
            if (!readBytes(offset, h, total)) return "truncated header";
            m.crc = static_cast<std::uint16_t>(u16(h.data() + 21));
            m.os = static_cast<char>(h[23]);
            m.mtime = stamp;
            if (std::string fault = walkChain(h, 26, u16(h.data() + 24), 2, ext, total); !fault.empty()) return fault;
            m.headerSize = total;
        } else if (m.level == 3) {
            if (u16(base.data()) != 4) return "bad level-3 header";
            std::vector<std::uint8_t> fixed;
            if (!readBytes(offset, fixed, 32)) return "truncated header";
            const std::uint64_t total = u32(fixed.data() + 24);
            if (total < 32 || total > (1u << 20)) return "bad level-3 header size";
            if (!readBytes(offset, h, static_cast<std::size_t>(total))) return "truncated header";
            m.crc = static_cast<std::uint16_t>(u16(h.data() + 21));
            m.os = static_cast<char>(h[23]);
            m.mtime = stamp;
            if (std::string fault = walkChain(h, 32, u32(h.data() + 28), 4, ext, static_cast<std::size_t>(total));
                !fault.empty())
                return fault;
            m.headerSize = total;
        } else {
            return "unknown header level " + std::to_string(m.level);
        }

        if (ext.crcPosition) {
            m.hasHeaderCrc = true;
            const std::uint16_t stored = static_cast<std::uint16_t>(u16(h.data() + ext.crcPosition));
            h[ext.crcPosition] = h[ext.crcPosition + 1] = 0;
            if (crc16(h.data(), h.size()) != stored) return "header CRC error";
        }
        if (ext.wideSizes) {
            packed = ext.packed64;
            m.originalSize = ext.original64;
        }
        if (ext.hasFiletime) {
            m.mtime = ext.filetimeMtime;
            m.mtimeNanoseconds = ext.filetimeNanoseconds;
        } else if (ext.unixMtime >= 0) {
            m.mtime = ext.unixMtime;
        }
        if (ext.hasFiletime || ext.unixMtime >= 0) m.hasTime = true;
        // Only the DOS stamp of a level 0 or 1 header: two-second steps.
        m.twoSecondTime = m.level <= 1 && !ext.hasFiletime && ext.unixMtime < 0;

        m.packedSize = packed;
        m.dataOffset = offset + m.headerSize;
        if (m.dataOffset > fileSize_ || packed > fileSize_ - m.dataOffset) return "member data runs past the end of the file";

        // The name: UTF-16 forms first, then the code-page bytes; a UTF-16
        // form that is no text gives way to the bytes where there are any.
        std::string folder, file;
        const bool folder16 = ext.hasDirName16 && (!ext.hasDirName || utf16leToUtf8(ext.dirName16));
        const bool file16 = ext.hasFileName16 && (!(ext.hasFileName || !nameBytes.empty()) ||
                                                  utf16leToUtf8(ext.fileName16));
        if (folder16) folder = folderPath(ext.dirName16, true, 0);
        else if (ext.hasDirName) folder = folderPath(ext.dirName, false, ext.codePage);
        if (file16) file = utf16leToUtf8Replacing(ext.fileName16);
        else if (ext.hasFileName) file = decodeName(ext.fileName, ext.codePage);
        else file = decodeName(nameBytes, ext.codePage);
        if (m.level == 0 && !ext.hasDirName) {
            // A level-0 name is the whole path with "\" separators.
            for (char& c : file) if (c == '\\') c = '/';
        }
        m.name = folder + file;
        m.hasUnixMode = ext.hasUnixMode;
        m.unixMode = ext.unixMode;
        if (ext.hasUnixMode && (ext.unixMode & 0170000) == 0120000) {
            // A symbolic link is stored as "name|target", split like any path.
            const std::size_t bar = m.name.find('|');
            m.symlink = true;
            if (bar != std::string::npos) {
                m.linkTarget = m.name.substr(bar + 1);
                m.name.erase(bar);
            }
            return {};
        }
        m.directory = m.method == "-lhd-" || ext.directoryAttribute;
        if (m.directory && !m.name.empty() && m.name.back() != '/') m.name += '/';
        return {};
    }

    ReadAt read_;
    std::uint64_t fileSize_;
};

}  // namespace

std::string readArchive(int fd, std::uint64_t fileSize, std::vector<ArchiveMember>& members) {
    ReadAt read = [fd](std::uint64_t offset, std::uint8_t* buffer, std::size_t size) {
        while (size > 0) {
            ssize_t n = ::pread(fd, buffer, size, static_cast<off_t>(offset));
            if (n <= 0) return false;
            buffer += n;
            offset += static_cast<std::uint64_t>(n);
            size -= static_cast<std::size_t>(n);
        }
        return true;
    };
    return Walker(ReadAhead(read, fileSize), fileSize).run(members);
}

std::string readArchive(const ArchiveSource& source, std::vector<ArchiveMember>& members) {
    ReadAt read = [&source](std::uint64_t offset, std::uint8_t* buffer, std::size_t size) {
        return source.read(offset, buffer, size);
    };
    std::string fault = Walker(ReadAhead(read, source.size()), source.size()).run(members);
    if (!fault.empty() && source.isSplit()) fault += "; " + source.shortfall();
    return fault;
}

std::string readArchive(const std::vector<std::uint8_t>& bytes, std::vector<ArchiveMember>& members) {
    ReadAt read = [&bytes](std::uint64_t offset, std::uint8_t* buffer, std::size_t size) {
        if (offset > bytes.size() || size > bytes.size() - offset) return false;
        if (size) std::memcpy(buffer, bytes.data() + offset, size);
        return true;
    };
    return Walker(read, bytes.size()).run(members);
}

bool startsLikeAProgram(const std::uint8_t head[4]) {
    const auto starts = [&](const char* magic, std::size_t n) { return std::memcmp(head, magic, n) == 0; };
    return starts("MZ", 2) || starts("ZM", 2) || starts("HU", 2) || starts("\x7F" "ELF", 4) || starts("#!", 2) ||
           head[0] == 0xE9 || head[0] == 0xEB;
}

std::string archiveAfterNoProgram(const ArchiveSource& source, const std::vector<ArchiveMember>& members) {
    if (members.empty() || members.front().headerOffset == 0) return {};
    std::uint8_t head[4] = {};
    if (source.read(0, head, sizeof head) && startsLikeAProgram(head)) return {};
    return "the archive read begins at byte " + std::to_string(members.front().headerOffset) +
           ", after what is no self-extracting program";
}

std::string unreadableArchive(const std::string& path, const std::string& fault) {
    return "cannot read the archive " + path + ": " + (fault == "not an LZH header" ? "it is no LZH archive" : fault);
}

}  // namespace lzh

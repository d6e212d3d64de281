#include "archiver/format/member_header.h"

#include "archiver/codec/crc16.h"
#include "archiver/format/text_codec.h"

#include <algorithm>

namespace lzh {
namespace {

constexpr std::uint64_t k4GiB = std::uint64_t{1} << 32;

void put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void put32(std::vector<std::uint8_t>& out, std::uint64_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// One extended header: its type and data; the chain's size fields are
// written by the caller.
struct Ext {
    std::uint8_t type;
    std::string data;
};

std::string le16(std::uint32_t v) { return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; }
std::string le32(std::uint32_t v) {
    std::string s;
    for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>(v >> (8 * i)));
    return s;
}

// Folder parts joined by `separator`, each followed by it.
std::string joinFolder(const std::vector<std::string>& parts, const std::string& separator) {
    std::string out;
    for (const std::string& part : parts) out += part + separator;
    return out;
}

// Sizes of 4 GiB and more go in ext 0x42, with all ones in the 32-bit fields.
bool needsWideSizes(const MemberInfo& info) { return info.originalSize >= k4GiB || info.packedSize >= k4GiB; }

// The header's own CRC (ext 0x00, the first extension), over the header
// with that field zero.
void sealHeader(std::vector<std::uint8_t>& h) {
    h[27] = h[28] = 0;
    const std::uint16_t headerCrc = crc16(h.data(), h.size());
    h[27] = static_cast<std::uint8_t>(headerCrc);
    h[28] = static_cast<std::uint8_t>(headerCrc >> 8);
}

// Writes the low `bytes` bytes of v at `at`, least significant first.
void putAt(std::vector<std::uint8_t>& h, std::size_t at, std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) h[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace

void updateLevel2Header(std::vector<std::uint8_t>& h, const MemberInfo& info) {
    const char* id = methodId(info.directory ? Method::Lhd : info.method);
    std::copy(id, id + 5, h.begin() + 2);
    putAt(h, 21, info.crc, 2);
    if (!needsWideSizes(info)) {
        putAt(h, 7, info.packedSize, 4);
    } else {
        // The packed size is the first half of ext 0x42.
        std::size_t size = h[24] | h[25] << 8;
        for (std::size_t at = 26; size != 0 && at + size <= h.size(); at += size, size = h[at - 2] | h[at - 1] << 8)
            if (h[at] == 0x42) putAt(h, at + 1, info.packedSize, 8);
    }
    sealHeader(h);
}

std::uint32_t headerTime(std::int64_t unixSeconds) {
    if (unixSeconds < 0) return 0;
    if (unixSeconds > std::int64_t{0xFFFFFFFF}) return 0xFFFFFFFFu;
    return static_cast<std::uint32_t>(unixSeconds);
}

namespace {

// Seconds from 1601-01-01 (where FILETIME starts) to 1970-01-01.
constexpr std::int64_t kFiletimeEpoch = 11644473600LL;
// The last second a FILETIME's 64 bits of 100 ns reach, kept short of them.
constexpr std::int64_t kLastFiletimeSecond = 910692730085LL;

}  // namespace

std::int64_t storedTime(std::int64_t unixSeconds) {
    return std::clamp(unixSeconds, -kFiletimeEpoch + 1, kLastFiletimeSecond);
}

std::vector<std::string> splitPath(const std::string& path) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        std::size_t slash = path.find('/', start);
        parts.push_back(path.substr(start, slash == std::string::npos ? std::string::npos : slash - start));
        if (slash == std::string::npos) break;
        start = slash + 1;
    }
    return parts;
}

bool fitsLevel2Header(const MemberInfo& info) {
    // Shorter names fit whatever their characters: each name form takes at
    // most twice the UTF-8 bytes.
    constexpr std::size_t kSurelyFits = 16 * 1024;
    return info.name.size() <= kSurelyFits || level2Header(info).size() <= 0xFFFF;
}

bool isStorableName(const std::string& name) {
    if (name.empty() || name.front() == '/') return false;
    for (const std::string& part : splitPath(name))
        if (part.empty() || part == "." || part == "..") return false;
    return name.find('\0') == std::string::npos && name.find('\\') == std::string::npos;
}

std::vector<std::uint8_t> level2Header(const MemberInfo& info) {
    std::vector<std::string> parts = splitPath(info.name);
    std::vector<std::string> folders;
    std::string file;
    if (info.directory) {
        folders = parts;
    } else {
        file = parts.back();
        folders.assign(parts.begin(), parts.end() - 1);
    }
    std::vector<std::string> folders932;
    bool exact = true;   // CP932 holds every part of the name as it is
    auto toCp932 = [&exact](const std::string& part) {
        bool lossy = false;
        std::string bytes = utf8ToCp932(part, &lossy);
        if (lossy || cp932ToUtf8(bytes) != part) exact = false;
        return bytes;
    };
    for (const std::string& f : folders) folders932.push_back(toCp932(f));
    const std::string file932 = toCp932(file);

    std::vector<Ext> exts;
    exts.push_back({0x00, le16(0)});   // header CRC, filled in below
    // ASCII reads the same in every code page: the code page goes only with
    // names that have other characters (7 bytes a member, 0.8 % of an archive
    // of small files).
    const bool ascii = std::all_of(info.name.begin(), info.name.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (!ascii) exts.push_back({0x46, le32(932)});
    exts.push_back({0x01, file932});
    if (!folders.empty()) exts.push_back({0x02, joinFolder(folders932, "\xFF")});
    // The UTF-16 forms cost twice the name; they are written only for the
    // names that CP932 would change, which the readers then take from them.
    if (!exact) {
        std::vector<std::string> folders16;
        for (const std::string& f : folders) folders16.push_back(utf8ToUtf16le(f));
        if (!file.empty()) exts.push_back({0x44, utf8ToUtf16le(file)});
        if (!folders.empty()) exts.push_back({0x45, joinFolder(folders16, std::string("\xFF\xFF", 2))});
    }
    exts.push_back({0x50, le16(info.unixMode)});
    if (info.mtime != headerTime(info.mtime)) {
        // Creation, last write and last access, each the file's time.
        const std::uint64_t ticks = static_cast<std::uint64_t>(storedTime(info.mtime) + kFiletimeEpoch) * 10000000u;
        std::string times;
        for (int field = 0; field < 3; ++field)
            for (int i = 0; i < 8; ++i) times.push_back(static_cast<char>(ticks >> (8 * i)));
        exts.push_back({0x41, times});
    }
    const bool wide = needsWideSizes(info);
    if (wide) {
        std::string sizes;
        for (int i = 0; i < 8; ++i) sizes.push_back(static_cast<char>(info.packedSize >> (8 * i)));
        for (int i = 0; i < 8; ++i) sizes.push_back(static_cast<char>(info.originalSize >> (8 * i)));
        exts.push_back({0x42, sizes});
    }

    std::size_t total = 26;
    for (const Ext& e : exts) total += 3 + e.data.size();
    // A size that is a multiple of 256 would start with a zero byte (read as
    // the end of the archive); grow the CRC extension by one byte instead of padding.
    if (total % 256 == 0) {
        exts[0].data.push_back('\0');
        ++total;
    }

    std::vector<std::uint8_t> h;
    h.reserve(total);
    put16(h, static_cast<std::uint32_t>(total));
    const char* id = methodId(info.directory ? Method::Lhd : info.method);
    h.insert(h.end(), id, id + 5);
    put32(h, wide ? 0xFFFFFFFFu : info.packedSize);
    put32(h, wide ? 0xFFFFFFFFu : info.originalSize);
    put32(h, headerTime(info.mtime));
    h.push_back(0x20);
    h.push_back(2);
    put16(h, info.crc);
    h.push_back('U');
    put16(h, static_cast<std::uint32_t>(3 + exts[0].data.size()));
    for (std::size_t i = 0; i < exts.size(); ++i) {
        h.push_back(exts[i].type);
        h.insert(h.end(), exts[i].data.begin(), exts[i].data.end());
        put16(h, i + 1 < exts.size() ? static_cast<std::uint32_t>(3 + exts[i + 1].data.size()) : 0u);
    }
    sealHeader(h);
    return h;
}

}  // namespace lzh

#pragma once

#include "archiver/codec/method.h"

#include <cstdint>
#include <string>
#include <vector>

namespace lzh {

// What a level-2 member header says about one file or folder.
struct MemberInfo {
    std::string name;          // UTF-8, "/"-separated, relative; a folder's without a closing "/"
    bool directory = false;
    Method method = Method::Lh5;
    std::uint64_t packedSize = 0;
    std::uint64_t originalSize = 0;
    std::uint16_t crc = 0;     // of the original data
    std::int64_t mtime = 0;    // seconds since 1970, UTC, as storedTime() holds it
    std::uint16_t unixMode = 0100644;
};

// A level-2 header with OS ID 'U': header CRC, code page 932 (for names
// beyond ASCII), the name in CP932 (folders separated by 0xFF), in UTF-16LE
// as well only when CP932 cannot hold it exactly, the Unix mode, the 64-bit
// sizes for members of 4 GiB and more, and the time as Windows FILETIMEs
// when the time field cannot hold it. Its length depends only on the name,
// the folder flag, whether the sizes need 64 bits and whether the time fits.
std::vector<std::uint8_t> level2Header(const MemberInfo& info);
// Whether level2Header can hold the member: a header's length is 16 bits,
// which a name of some 16,000 bytes or more may overrun.
bool fitsLevel2Header(const MemberInfo& info);
// Rewrites what is known only once a member's data is written (method,
// packed size, CRC, and the header's own CRC) in a header that
// level2Header made for the same name, folder flag and original size.
void updateLevel2Header(std::vector<std::uint8_t>& header, const MemberInfo& info);

// A file's time as a level-2 header's time field holds it: seconds clamped
// to 1970..2106.
std::uint32_t headerTime(std::int64_t unixSeconds);
// A file's time as a member keeps it: a time outside the time field's range
// goes to ext 0x41 as well (from 1601 on), which readers that take it
// (libarchive, this one) prefer.
std::int64_t storedTime(std::int64_t unixSeconds);

// The "/"-separated components of `path`, empty ones included.
std::vector<std::string> splitPath(const std::string& path);

// True when the name is fit to be stored: relative, no empty, "." or ".." parts,
// no backslash (readers take it for a folder separator).
bool isStorableName(const std::string& name);

}  // namespace lzh

// libFuzzer target: arbitrary bytes as an archive, read from memory and
// from a file (through the reader's read-ahead window), which must agree;
// every member found is decoded too.
#include "archiver/format/archive_reader.h"
#include "archiver/format/member_data.h"

#include <cstdint>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> bytes(data, data + size);
    std::vector<lzh::ArchiveMember> members;
    const std::string fault = lzh::readArchive(bytes, members);
    for (const auto& m : members)
        if (m.dataOffset > size || m.packedSize > size - m.dataOffset) __builtin_trap();
    int fd = ::memfd_create("archive", 0);
    if (fd < 0) return 0;
    if (::write(fd, data, size) == static_cast<ssize_t>(size)) {
        std::vector<lzh::ArchiveMember> fromFile;
        if (lzh::readArchive(fd, size, fromFile) != fault || fromFile.size() != members.size()) __builtin_trap();
        for (std::size_t i = 0; i < members.size(); ++i)
            if (fromFile[i].name != members[i].name || fromFile[i].dataOffset != members[i].dataOffset ||
                fromFile[i].packedSize != members[i].packedSize)
                __builtin_trap();
        for (const auto& m : members)
            if (m.originalSize < (1u << 22)) lzh::decodeMember(fd, m, [](const std::uint8_t*, std::size_t) { return true; });
    }
    ::close(fd);
    return 0;
}

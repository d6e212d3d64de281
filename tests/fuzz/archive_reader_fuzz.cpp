// libFuzzer target: arbitrary bytes as an archive; every member found is
// decoded too.
#include "archiver/format/archive_reader.h"
#include "archiver/format/member_data.h"

#include <cstdint>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> bytes(data, data + size);
    std::vector<lzh::ArchiveMember> members;
    lzh::readArchive(bytes, members);
    for (const auto& m : members)
        if (m.dataOffset > size || m.packedSize > size - m.dataOffset) __builtin_trap();
    if (members.empty()) return 0;
    int fd = ::memfd_create("archive", 0);
    if (fd < 0) return 0;
    if (::write(fd, data, size) == static_cast<ssize_t>(size)) {
        for (const auto& m : members)
            if (m.originalSize < (1u << 22)) lzh::decodeMember(fd, m, [](const std::uint8_t*, std::size_t) { return true; });
    }
    ::close(fd);
    return 0;
}

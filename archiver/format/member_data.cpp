#include "archiver/format/member_data.h"

#include "archiver/codec/crc16.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>
#include <vector>

namespace lzh {

std::string decodeMember(int fd, const ArchiveMember& member, const Decoder::Sink& sink) {
    std::uint64_t at = member.dataOffset;
    std::uint64_t left = member.packedSize;
    bool readFailed = false;
    BitReader::Source source = [&](std::uint8_t* buffer, std::size_t capacity) -> std::size_t {
        std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(left, capacity));
        if (want == 0) return 0;
        ssize_t n = ::pread(fd, buffer, want, static_cast<off_t>(at));
        if (n <= 0) {
            readFailed = true;
            return 0;
        }
        at += static_cast<std::uint64_t>(n);
        left -= static_cast<std::uint64_t>(n);
        return static_cast<std::size_t>(n);
    };

    std::uint16_t crc = 0;
    std::uint64_t produced = 0;
    Decoder::Sink checked = [&](const std::uint8_t* data, std::size_t size) {
        crc = crc16(data, size, crc);
        produced += size;
        return sink(data, size);
    };

    if (member.method == "-lhd-") return {};
    if (member.method == "-lh0-") {
        if (member.packedSize != member.originalSize) return "stored member with two different sizes";
        std::vector<std::uint8_t> buffer(1 << 16);
        for (;;) {
            std::size_t n = source(buffer.data(), buffer.size());
            if (n == 0) break;
            if (!checked(buffer.data(), n)) return "output failed";
        }
    } else {
        auto method = methodFromId(member.method);
        if (!method || *method == Method::Lhd) return "method " + member.method + " is not supported";
        BitReader in(source);
        std::string fault = Decoder(*method).decode(in, member.originalSize, member.packedSize, checked, false);
        if (!fault.empty()) return fault;
    }
    if (readFailed) return std::string("cannot read the archive: ") + std::strerror(errno);
    if (produced != member.originalSize) return "data shorter than its header says";
    if (crc != member.crc) return "CRC error";
    return {};
}

}  // namespace lzh

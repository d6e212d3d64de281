#include "archiver/format/member_data.h"

#include "archiver/codec/crc16.h"
#include "archiver/codec/old_decoders.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>
#include <vector>

namespace lzh {

namespace {

// The stored methods: LArc's -lz4- is the same as -lh0-.
bool isStored(const std::string& method) { return method == "-lh0-" || method == "-lz4-"; }

// The -lhx- window of 2^19 bytes; otherwise the -lh5- block format.
constexpr MethodParameters kLhx = {19, 20, 5};

}  // namespace

bool canDecode(const std::string& method) {
    return isStored(method) || method == "-lhd-" || method == "-lzs-" || method == "-lz5-" || method == "-lh1-" || method == "-lh2-" || method == "-lh3-" ||
           method == "-lhx-" || (methodFromId(method).has_value());
}

std::string decodeMember(int fd, const ArchiveMember& member, const Decoder::Sink& sink) {
    ArchiveSource source;
    source.adopt(fd, member.dataOffset + member.packedSize);
    return decodeMember(source, member, sink);
}

std::string decodeMember(const ArchiveSource& archive, const ArchiveMember& member, const Decoder::Sink& sink) {
    std::uint64_t at = member.dataOffset;
    std::uint64_t left = member.packedSize;
    bool readFailed = false;
    BitReader::Source source = [&](std::uint8_t* buffer, std::size_t capacity) -> std::size_t {
        std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(left, capacity));
        if (want == 0) return 0;
        if (!archive.read(at, buffer, want)) {
            readFailed = true;
            return 0;
        }
        at += want;
        left -= want;
        return want;
    };

    std::uint16_t crc = 0;
    std::uint64_t produced = 0;
    Decoder::Sink checked = [&](const std::uint8_t* data, std::size_t size) {
        crc = crc16(data, size, crc);
        produced += size;
        return sink(data, size);
    };

    if (member.method == "-lhd-") return {};
    if (isStored(member.method)) {
        if (member.packedSize != member.originalSize) return "stored member with two different sizes";
        // No larger than the member: many small members each clear their buffer.
        std::vector<std::uint8_t> buffer(static_cast<std::size_t>(std::clamp<std::uint64_t>(member.packedSize, 1, 1 << 16)));
        for (;;) {
            std::size_t n = source(buffer.data(), buffer.size());
            if (n == 0) break;
            if (!checked(buffer.data(), n)) return "output failed";
        }
    } else {
        BitReader in(source);
        std::string fault;
        if (member.method == "-lh1-") {
            fault = decodeLh1(in, member.originalSize, checked);
        } else if (member.method == "-lh2-") {
            fault = decodeLh2(in, member.originalSize, checked);
        } else if (member.method == "-lh3-") {
            fault = decodeLh3(in, member.originalSize, checked);
        } else if (member.method == "-lz5-") {
            fault = decodeLz5(in, member.originalSize, checked);
        } else if (member.method == "-lzs-") {
            fault = decodeLzs(in, member.originalSize, checked);
        } else if (member.method == "-lhx-") {
            fault = Decoder(kLhx).decode(in, member.originalSize, member.packedSize, checked, false);
        } else {
            auto method = methodFromId(member.method);
            if (!method || *method == Method::Lhd) return "method " + member.method + " is not supported";
            fault = Decoder(*method).decode(in, member.originalSize, member.packedSize, checked, false);
        }
        if (readFailed) return "cannot read the archive" + (archive.isSplit() ? ": " + archive.shortfall() : "");
        if (!fault.empty()) return fault;
    }
    if (readFailed) return "cannot read the archive" + (archive.isSplit() ? ": " + archive.shortfall() : "");
    if (produced != member.originalSize) return "data shorter than its header says";
    if (crc != member.crc) return "CRC error";
    return {};
}

}  // namespace lzh

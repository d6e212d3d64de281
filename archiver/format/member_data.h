#pragma once

#include "archiver/codec/decoder.h"
#include "archiver/format/archive_reader.h"
#include "archiver/format/archive_source.h"

#include <string>

namespace lzh {

// Decodes one member's data from the archive at fd, handing it to the sink,
// and checks its length and CRC. Empty text when it is sound.
std::string decodeMember(int fd, const ArchiveMember& member, const Decoder::Sink& sink);
// The same from an archive that may be split into pieces.
std::string decodeMember(const ArchiveSource& source, const ArchiveMember& member, const Decoder::Sink& sink);

// True when the member's method is one this reader decodes.
bool canDecode(const std::string& method);

}  // namespace lzh

#pragma once

#include "archiver/codec/decoder.h"
#include "archiver/format/archive_reader.h"

#include <string>

namespace lzh {

// Decodes one member's data from the archive at fd, handing it to the sink,
// and checks its length and CRC. Empty text when it is sound.
std::string decodeMember(int fd, const ArchiveMember& member, const Decoder::Sink& sink);

}  // namespace lzh

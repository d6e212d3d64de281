#pragma once

#include "archiver/codec/bit_reader.h"
#include "archiver/codec/decoder.h"

#include <cstdint>
#include <string>

namespace lzh {

// Decoders of the methods that came before the static-Huffman ones. Each
// stops once `originalSize` bytes are produced; empty text on success.

// -lzs- (LArc): 2 KiB window; a flag bit, then a literal byte or an
// 11-bit window position and a 4-bit length (2..17).
std::string decodeLzs(BitReader& in, std::uint64_t originalSize, const Decoder::Sink& sink);

// -lz5- (LArc): 4 KiB window; flag bytes for eight items each, a literal
// byte or a 12-bit window position and a 4-bit length (3..18). The window
// starts with a fixed pattern that streams may refer to.
std::string decodeLz5(BitReader& in, std::uint64_t originalSize, const Decoder::Sink& sink);

// -lh1- (LHarc 1.x): 4 KiB window; literals and lengths (3..60) in an
// adaptive Huffman code, window distances in a fixed code for the upper
// six bits plus six plain bits.
std::string decodeLh1(BitReader& in, std::uint64_t originalSize, const Decoder::Sink& sink);

// -lh2- (LHA 2.x, experimental): 8 KiB window; literals and lengths (as
// in -lh3-) and the upper seven distance bits each in an adaptive Huffman
// code, plus six plain distance bits.
std::string decodeLh2(BitReader& in, std::uint64_t originalSize, const Decoder::Sink& sink);

// -lh3- (LHA 2.x, experimental): 8 KiB window; blocks with a static
// Huffman code for literals and lengths (3..31, then an escape with 8 more
// bits) sent as 4-bit lengths, and a sent or fixed code for the upper seven
// distance bits, plus six plain bits.
std::string decodeLh3(BitReader& in, std::uint64_t originalSize, const Decoder::Sink& sink);

}  // namespace lzh

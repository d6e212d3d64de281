#pragma once

#include "archiver/codec/decoder.h"

#include <cstdint>
#include <vector>

namespace lzh {

// The sliding window of the small-window decoders: every byte produced is
// kept at the current position and handed to the sink in chunks.
class Window {
public:
    Window(std::size_t size, std::uint64_t originalSize, const Decoder::Sink& sink, std::uint8_t fill = ' ')
        : ring_(size, fill), mask_(size - 1), left_(originalSize), sink_(sink) {
        out_.reserve(kChunk);
    }

    std::vector<std::uint8_t>& ring() { return ring_; }
    void setPosition(std::size_t position) { position_ = position & mask_; }
    bool done() const { return left_ == 0; }
    bool failed() const { return failed_; }

    void put(std::uint8_t byte) {
        if (left_ == 0) return;
        ring_[position_] = byte;
        position_ = (position_ + 1) & mask_;
        out_.push_back(byte);
        --left_;
        if (out_.size() == kChunk) flush();
    }
    // Copies `length` bytes from window position `from` (absolute).
    void copyFrom(std::size_t from, unsigned length) {
        for (unsigned k = 0; k < length; ++k) put(ring_[(from + k) & mask_]);
    }
    // Copies `length` bytes starting `distance` bytes back.
    void copyBack(std::size_t distance, unsigned length) { copyFrom(position_ - distance, length); }
    bool flush() {
        if (!out_.empty() && !failed_ && !sink_(out_.data(), out_.size())) failed_ = true;
        out_.clear();
        return !failed_;
    }

private:
    static constexpr std::size_t kChunk = 1 << 15;
    std::vector<std::uint8_t> ring_;
    std::size_t mask_;
    std::size_t position_ = 0;
    std::uint64_t left_;
    const Decoder::Sink& sink_;
    std::vector<std::uint8_t> out_;
    bool failed_ = false;
};

}  // namespace lzh

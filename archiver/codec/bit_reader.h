#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <cstdint>
#include <functional>
#include <vector>

namespace lzh {

// Reads fields most significant bit first from a byte source that is pulled
// in chunks. Reading past the end of the source yields zero bits and is
// remembered (overrun()).
class BitReader {
public:
    // The source fills the buffer and returns how many bytes it gave; 0 at the end.
    using Source = std::function<std::size_t(std::uint8_t* buffer, std::size_t capacity)>;

    explicit BitReader(Source source) : source_(std::move(source)), chunk_(1 << 16) { refill(); }
    // A reader over bytes already in memory.
    BitReader(const std::uint8_t* data, std::size_t size)
        : BitReader([data, size, pos = std::size_t{0}](std::uint8_t* buffer, std::size_t capacity) mutable {
              std::size_t n = std::min(capacity, size - pos);
              if (n) std::memcpy(buffer, data + pos, n);
              pos += n;
              return n;
          }) {}

    // The next `count` bits (1..32) without consuming them.
    std::uint32_t peek(unsigned count) {
        if (available_ < 32) refill();
        return static_cast<std::uint32_t>(bits_ >> (64 - count));
    }
    void skip(unsigned count) {
        bits_ <<= count;
        available_ -= static_cast<int>(count);
        consumed_ += count;
    }
    std::uint32_t get(unsigned count) {
        if (count == 0) return 0;
        std::uint32_t v = peek(count);
        skip(count);
        return v;
    }
    // Bits consumed so far, and whether that went past the real input.
    std::uint64_t consumedBits() const { return consumed_; }
    bool overrun() const { return consumed_ > 8 * inputBytes_; }

private:
    int nextByte() {
        if (chunkPos_ == chunkSize_) {
            if (ended_) return -1;
            chunkSize_ = source_(chunk_.data(), chunk_.size());
            chunkPos_ = 0;
            if (chunkSize_ == 0) {
                ended_ = true;
                return -1;
            }
        }
        return chunk_[chunkPos_++];
    }
    void refill() {
        while (available_ <= 56) {
            int byte = nextByte();
            if (byte >= 0) ++inputBytes_;
            bits_ |= static_cast<std::uint64_t>(byte < 0 ? 0 : byte) << (56 - available_);
            available_ += 8;
        }
    }

    Source source_;
    std::vector<std::uint8_t> chunk_;
    std::size_t chunkPos_ = 0, chunkSize_ = 0;
    bool ended_ = false;
    std::uint64_t bits_ = 0;
    int available_ = 0;
    std::uint64_t consumed_ = 0;
    std::uint64_t inputBytes_ = 0;
};

}  // namespace lzh

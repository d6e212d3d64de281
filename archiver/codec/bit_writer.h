#pragma once

#include <cstdint>
#include <vector>

namespace lzh {

// Packs fields most significant bit first into a growing byte buffer.
class BitWriter {
public:
    // Appends the low `count` bits of value (count <= 32).
    void put(unsigned count, std::uint32_t value) {
        bits_ = (bits_ << count) | (value & ((std::uint64_t{1} << count) - 1));
        pending_ += count;
        while (pending_ >= 8) {
            pending_ -= 8;
            bytes_.push_back(static_cast<std::uint8_t>(bits_ >> pending_));
        }
    }
    // Pads the last partial byte with zero bits.
    void flush() {
        if (pending_ > 0) put(8 - pending_, 0);
    }
    // Appends all that another writer holds, its bits after the last whole
    // byte included.
    void append(const BitWriter& other) {
        if (pending_ == 0) {
            bytes_.insert(bytes_.end(), other.bytes_.begin(), other.bytes_.end());
        } else {
            for (std::uint8_t b : other.bytes_) put(8, b);
        }
        put(other.pending_, static_cast<std::uint32_t>(other.bits_));
    }
    std::vector<std::uint8_t>& bytes() { return bytes_; }
    // Whole bytes written so far (a partial byte not included).
    std::size_t size() const { return bytes_.size(); }
    std::uint64_t bitCount() const { return std::uint64_t{bytes_.size()} * 8 + pending_; }

private:
    std::uint64_t bits_ = 0;
    unsigned pending_ = 0;
    std::vector<std::uint8_t> bytes_;
};

}  // namespace lzh

#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace lzh {

// Packs fields most significant bit first into a growing byte buffer. Bits
// gather in a 64-bit word and leave it 32 at a time.
class BitWriter {
public:
    // Appends the low `count` bits of value (count <= 32).
    void put(unsigned count, std::uint32_t value) {
        bits_ = (bits_ << count) | (value & ((std::uint64_t{1} << count) - 1));
        pending_ += count;
        if (pending_ >= 32) {
            pending_ -= 32;
            const std::uint32_t word = __builtin_bswap32(static_cast<std::uint32_t>(bits_ >> pending_));
            const std::size_t at = bytes_.size();
            bytes_.resize(at + 4);
            std::memcpy(bytes_.data() + at, &word, 4);
        }
    }
    // A run of fields whose total is known: `fill` gets a writer that keeps
    // its bits in registers and stores eight bytes at every field (into room
    // made beforehand for `totalBits` more bits), with no branch to mispredict.
    class Run {
    public:
        // 1 <= count <= 56; value holds just `count` bits.
        void put(unsigned count, std::uint64_t value) {
            bits_ = bits_ << count | value;
            pending_ += count;
            const std::uint64_t word = __builtin_bswap64(bits_ << (64 - pending_));
            std::memcpy(at_, &word, 8);
            at_ += pending_ >> 3;
            pending_ &= 7;
        }

    private:
        friend class BitWriter;
        Run(std::uint64_t bits, unsigned pending, std::uint8_t* at) : bits_(bits), pending_(pending), at_(at) {}
        std::uint64_t bits_;
        unsigned pending_;
        std::uint8_t* at_;
    };
    template <typename Fill>
    void putRun(std::uint64_t totalBits, Fill fill) {
        settle();   // fewer than 8 bits pending
        const std::size_t start = bytes_.size();
        bytes_.resize(start + static_cast<std::size_t>(totalBits / 8) + 16);
        Run run(bits_, pending_, bytes_.data() + start);
        fill(run);
        if (run.at_ + 8 > bytes_.data() + bytes_.size()) std::abort();   // more bits than promised: a fault here
        bytes_.resize(static_cast<std::size_t>(run.at_ - bytes_.data()));
        bits_ = run.bits_;
        pending_ = run.pending_;
    }
    // Pads the last partial byte with zero bits.
    void flush() {
        settle();
        if (pending_ > 0) put(8 - pending_, 0);
        settle();
    }
    // Appends all that another writer holds, its bits after the last whole
    // byte included.
    void append(const BitWriter& other) {
        settle();
        const std::uint8_t* from = other.bytes_.data();
        const std::size_t size = other.bytes_.size();
        std::size_t k = 0;
        if (pending_ == 0) {
            bytes_.insert(bytes_.end(), from, from + size);
            k = size;
        }
        for (; k + 4 <= size; k += 4) {
            std::uint32_t word;
            std::memcpy(&word, from + k, 4);
            put(32, __builtin_bswap32(word));
        }
        for (; k < size; ++k) put(8, from[k]);
        // The other's bits past its whole bytes: at most 31.
        put(other.pending_, static_cast<std::uint32_t>(other.bits_));
    }
    // The whole bytes written so far (a partial byte not included).
    std::vector<std::uint8_t>& bytes() {
        settle();
        return bytes_;
    }
    std::uint64_t bitCount() const { return std::uint64_t{bytes_.size()} * 8 + pending_; }

private:
    // Moves the whole bytes still in the word to the buffer.
    void settle() {
        while (pending_ >= 8) {
            pending_ -= 8;
            bytes_.push_back(static_cast<std::uint8_t>(bits_ >> pending_));
        }
    }

    std::uint64_t bits_ = 0;
    unsigned pending_ = 0;   // bits in bits_ not yet in bytes_, fewer than 32
    std::vector<std::uint8_t> bytes_;
};

}  // namespace lzh

// The two bit orders of the compact file: the glyph table's little-endian fields and the coded
// glyph data, most significant bit first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace compact {

// The bits needed to store 0 .. range: 0 for 0, else one more than the highest set bit.
inline uint32_t bitsFor(uint32_t range) {
    uint32_t n = 0;
    while (n < 32 && (range >> n) != 0) ++n;
    return n;
}

// Little-endian bit fields (the glyph table): bit i of the stream is bit i % 8 of byte i / 8.
class FieldPacker {
public:
    void put(uint32_t value, uint32_t width) {
        for (uint32_t i = 0; i < width; ++i, ++bit_) {
            if (bit_ % 8 == 0) bytes_.push_back(0);
            if ((value >> i) & 1u) bytes_.back() |= static_cast<uint8_t>(1u << (bit_ % 8));
        }
    }
    const std::vector<uint8_t>& bytes() const { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
    uint64_t bit_ = 0;
};

// The glyph data: most significant bit of each byte first, as the arithmetic coder emits it.
// Bits gather in a 64-bit register and go out eight bytes at a time.
class BitStream {
public:
    void put(uint32_t bit) { putBits(bit, 1); }
    // The low `count` bits of `value` (count <= 63, no higher bits set), highest first.
    void putBits(uint64_t value, uint32_t count) {
        if (count < 64 - pending_) {
            acc_ = (acc_ << count) | value;
            pending_ += count;
        } else {
            spill(value, count);
        }
    }
    // `count` copies of `bit`.
    void repeat(uint32_t bit, uint32_t count) {
        for (; count >= 32; count -= 32) putBits(bit ? 0xFFFFFFFFu : 0u, 32);
        if (count != 0) putBits(bit ? (1u << count) - 1 : 0u, count);
    }
    void reserve(size_t bytes) { bytes_.reserve(bytes); }
    uint64_t bits() const { return static_cast<uint64_t>(bytes_.size()) * 8 + pending_; }
    // The bytes, the last one padded with zero bits; the stream is done with.
    std::vector<uint8_t> take() {
        for (; pending_ >= 8; pending_ -= 8)
            bytes_.push_back(static_cast<uint8_t>(acc_ >> (pending_ - 8)));
        if (pending_ != 0) bytes_.push_back(static_cast<uint8_t>(acc_ << (8 - pending_)));
        pending_ = 0;
        acc_ = 0;
        return std::move(bytes_);
    }

private:
    // putBits() when the register fills: its first 64 bits go out as eight bytes. Out of line,
    // as it is rare and the coding loops that call putBits() stay small.
    __attribute__((noinline)) void spill(uint64_t value, uint32_t count) {
        const uint32_t room = 64 - pending_;
        const uint64_t head = value >> (count - room);
        acc_ = room == 64 ? head : (acc_ << room) | head;
        for (int shift = 56; shift >= 0; shift -= 8)
            bytes_.push_back(static_cast<uint8_t>(acc_ >> shift));
        pending_ = count - room;
        acc_ = value;  // only the low `pending_` bits count
    }

    std::vector<uint8_t> bytes_;
    uint64_t acc_ = 0;      // the bits not yet in bytes_, the last in bit 0
    uint32_t pending_ = 0;  // below 64
};

}  // namespace compact

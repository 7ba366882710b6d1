// The compact file's arithmetic coder; reader/ holds its mirror, the decoder.
#pragma once

#include <cstdint>

#include "output/compact/BitIo.h"

namespace compact {

// Probabilities and cumulative frequencies are 12-bit: they add up to 4096.
constexpr uint32_t kProbBits = 12;
constexpr uint32_t kProbOne = 1u << kProbBits;

// Arithmetic coder with a 16-bit range and bitwise output. The interval [low, low + range) is
// split in proportion to 12-bit probabilities (a binary decision, or a symbol's cumulative
// frequencies) and renormalised while range < 2^15, doubling it until it is 2^15 or more: each
// doubling adds a bit to the code. The decoder needs only the range and its offset in the
// interval, so a decision costs it a multiply, a compare and, per code bit, a shift. The first bit
// of every glyph's code is always 0 (the interval starts below 2^16) and is not stored. The flush
// writes the fewest bits (at most three) that name an aligned block inside the final interval, so
// the decoder may read any bits after them (the next glyph's) without changing a decision.
//
// The code is the binary expansion of low, whose bits above the range are written as soon as no
// carry can reach them: `low_` holds the 16 bits below the range, the code bits not yet written
// above them, and a carry out of those; a run of 1s that a carry may still turn into 0s (and the 0
// before it into a 1) waits apart. So a decision renormalises in a few instructions, and bits go
// to the stream about every 32.
//
// A decision the model gives no room (a symbol of frequency 0, a probability of 0 or 1) would
// leave an empty interval that no renormalisation can widen: the coder refuses it, leaves its
// state as it was and reports it by failed(), so a model that does not fit the levels it codes
// fails the font instead of hanging.
class ArithmeticEncoder {
public:
    explicit ArithmeticEncoder(BitStream& out) : out_(out), start_(out.bits()) {}

    // One binary decision; p1 is P(bit = 1) in 1/4096, 0 < p1 < 4096.
    void encode(uint32_t bit, uint32_t p1) {
        if (p1 - 1 >= kProbOne - 1) {
            failed_ = true;
            return;
        }
        const uint32_t r0 = (range_ * (kProbOne - p1)) >> kProbBits;
        if (bit) {
            low_ += r0;
            range_ -= r0;
        } else {
            range_ = r0;
        }
        renormalise();
    }
    // A symbol whose cumulative frequencies are [lo, hi) of 4096, lo < hi.
    // With hi = 4096 the product is range * 2^12 (below 2^28), so rhi is range itself.
    void encodeRange(uint32_t lo, uint32_t hi) {
        if (lo >= hi || hi > kProbOne) {
            failed_ = true;
            return;
        }
        const uint32_t rlo = (range_ * lo) >> kProbBits;
        const uint32_t rhi = (range_ * hi) >> kProbBits;
        low_ += rlo;
        range_ = rhi - rlo;
        renormalise();
    }
    // The bits that settle the interval, and every bit still held; then every decision can be
    // decoded.
    void finish();
    bool failed() const { return failed_; }

private:
    void renormalise() {
        if (range_ < 0x8000u) {
            const uint32_t n = static_cast<uint32_t>(__builtin_clz(range_)) - 16;
            range_ <<= n;
            low_ <<= n;
            held_ += n;
            // At most 32 + 15 held bits, 16 below them and the carry: 64.
            if (held_ > 32) writeSettled();
        }
    }
    // Writes the held bits that no carry can reach any more.
    void writeSettled();
    // The waiting run resolved by `carry`: 0 1...1 without, 1 0...0 with.
    void resolveWaiting(uint32_t carry);
    // The low `count` bits of `bits` (0 .. 63) to the stream, but for the glyph's first bit.
    void write(uint64_t bits, uint32_t count);

    BitStream& out_;
    uint64_t start_;
    // Bits 0..15: low below the range. Bits 16 .. 16 + held_ - 1: code bits not yet written, the
    // first highest (at first only the glyph's first bit). Bit 16 + held_: a carry out of them.
    uint64_t low_ = 0;
    uint32_t range_ = 0xFFFFu;
    uint32_t held_ = 1;
    // Before the held bits: a 0 and `waitingOnes_` 1s, not yet written (waiting_ false: none).
    bool waiting_ = false;
    uint32_t waitingOnes_ = 0;
    bool first_ = true;
    bool failed_ = false;
};

}  // namespace compact

#include "output/compact/ArithmeticEncoder.h"

namespace compact {

void ArithmeticEncoder::writeSettled() {
    const uint64_t mask = (1ull << held_) - 1;
    const uint32_t carry = static_cast<uint32_t>(low_ >> (16 + held_)) & 1u;
    if (carry) resolveWaiting(1);
    const uint64_t held = (low_ >> 16) & mask;
    const uint64_t zeros = ~held & mask;
    low_ &= 0xFFFFu;
    if (zeros == 0) {
        // All 1s: they wait behind the 0 already waiting (there is one: the glyph's first bit is
        // a 0, and a carry leaves 0s behind).
        waitingOnes_ += held_;
        held_ = 0;
        return;
    }
    // A carry stops at the last 0: the bits before it are settled, it and the 1s after it wait.
    const uint32_t last = static_cast<uint32_t>(__builtin_ctzll(zeros));
    if (waiting_) resolveWaiting(0);
    write(held >> (last + 1), held_ - 1 - last);
    waiting_ = true;
    waitingOnes_ = last;
    held_ = 0;
}

void ArithmeticEncoder::resolveWaiting(uint32_t carry) {
    if (!waiting_) return;
    write(carry, 1);
    out_.repeat(carry ^ 1u, waitingOnes_);
    waiting_ = false;
    waitingOnes_ = 0;
}

void ArithmeticEncoder::write(uint64_t bits, uint32_t count) {
    if (count == 0) return;
    if (first_) {
        // The glyph's first bit is always 0 and not stored.
        first_ = false;
        --count;
        bits &= (1ull << count) - 1;
        if (count == 0) return;
    }
    out_.putBits(bits, count);
}

void ArithmeticEncoder::finish() {
    const uint32_t window = static_cast<uint32_t>(low_) & 0xFFFFu;
    for (uint32_t k = 1; k <= 3; ++k) {
        // An aligned block of 2^(17 - k) inside the interval: the code bits down to its size,
        // the first of them the lowest held one (the range is at least 2^15, so k = 3 fits).
        const uint32_t step = 1u << (17 - k);
        const uint32_t v = (window + step - 1) & ~(step - 1);
        if (v + step > window + range_) continue;
        low_ = (low_ - window + v) >> (17 - k);
        held_ += k - 1;
        break;
    }
    resolveWaiting(static_cast<uint32_t>(low_ >> held_) & 1u);
    write(low_ & ((1ull << held_) - 1), held_);
    // A glyph with ink always has at least one stored bit: size 0 means "no ink".
    if (out_.bits() == start_) out_.put(0);
}

}  // namespace compact

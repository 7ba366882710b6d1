#include "output/compact/ArithmeticEncoder.h"

namespace compact {

// The steps run on local copies, the bits they settle gathered in a register and handed to the
// stream once: at most 15 steps (range >= 1), each settled bit followed by the waiting ones, which
// go out directly should there be more than 32 of them. Out of line (its own file), so that the
// per-pixel coding around it stays small enough to inline.
void ArithmeticEncoder::shift() {
    uint32_t low = low_, range = range_, waiting = outstanding_;
    uint64_t bits = 0;
    uint32_t count = 0;
    while (range < 0x8000u) {
        if (low - 0x8000u < 0x8000u) {
            low -= 0x8000u;
            ++waiting;
        } else {
            const uint32_t bit = low >> 16;  // low < 2^17
            low -= bit << 16;
            if (first_) {
                first_ = false;
            } else {
                bits = (bits << 1) | bit;
                ++count;
            }
            if (waiting != 0) {
                if (waiting > 32) {
                    out_.putBits(bits, count);
                    bits = 0;
                    count = 0;
                    out_.repeat(bit ^ 1u, waiting);
                } else {
                    bits = (bits << waiting) | (bit ? 0u : (1ull << waiting) - 1);
                    count += waiting;
                }
                waiting = 0;
            }
        }
        range <<= 1;
        low <<= 1;
    }
    if (count != 0) out_.putBits(bits, count);
    low_ = low;
    range_ = range;
    outstanding_ = waiting;
}

void ArithmeticEncoder::finish() {
    for (uint32_t k = 1; k <= 3; ++k) {
        const uint32_t step = 1u << (17 - k);
        const uint32_t v = (low_ + step - 1) & ~(step - 1);
        if (v + step > low_ + range_) continue;
        for (uint32_t i = 0; i < k; ++i) put((v >> (16 - i)) & 1u);
        break;
    }
    // A glyph with ink always has at least one stored bit: size 0 means "no ink".
    if (out_.bits() == start_) out_.put(0);
}

void ArithmeticEncoder::put(uint32_t bit) {
    if (first_)
        first_ = false;
    else
        out_.put(bit);
    if (outstanding_ != 0) {
        out_.repeat(bit ^ 1u, outstanding_);
        outstanding_ = 0;
    }
}

}  // namespace compact

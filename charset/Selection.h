// What a selection source writes: one slot per BMP code point, marked when selected. The
// loaders of code pages and selection files need only this, not the tables they end up in.
#pragma once

#include <cstdint>

constexpr uint32_t kCodePointCount = 65536;
// The value of a slot that is not selected (and, after numbering, not exported).
constexpr uint16_t kNotSelected = 0xFFFF;

// The only write the sources make.
inline void markCodePoint(uint16_t* charIndex, uint16_t c) {
    charIndex[c] = 0;
}

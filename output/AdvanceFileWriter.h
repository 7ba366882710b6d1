// The advance-width file, "<base>_adv.bin": how far the pen moves after each selected character,
// in whole pixels, for firmware that sets proportional text. The layout is described byte by
// byte in docs/file-format.md and read by fb_open_advances in the device reader.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "output/ByteSink.h"
#include "reader/fb_format.h"
#include "render/Kerning.h"

struct AdvanceFile {
    uint8_t fontSize = 0;
    uint8_t baseline = 0;
    // One width per selected character, in code-point order.
    std::vector<uint8_t> widths;
    // The selected code points, written after the widths when the font file does not number
    // every selected character itself (the offset-table layout); empty otherwise.
    std::vector<uint16_t> codePoints;
    // With kerning the file is version 2: after the widths (and code points) come the pairs,
    // sorted by left then right code point, each adjustment limited to -128 .. 127 pixels.
    bool kerning = false;
    std::vector<KernPair> pairs;
};

// Header, widths, (when given) the code points and (version 2) the kerning pairs, in one write.
// False when the sink failed.
bool writeAdvanceFile(ByteSink& out, const AdvanceFile& file);

// A width in 26.6 pixels rounded to whole pixels, and limited to 0 .. 255; `clamped` is set
// when the width did not fit.
uint8_t advancePixels(long advance26_6, bool& clamped);

// A kerning adjustment limited to what a pair stores, -128 .. 127; `clamped` is set when it did
// not fit.
int8_t kerningByte(int32_t pixels, bool& clamped);

// The kerning section as the width file (version 2) and the compact file store it: the pair
// count (u32), then each pair as u16 left, u16 right and the adjustment as kerningByte gives it.
// `dst` receives kerningSectionBytes(pairs.size()) bytes.
inline size_t kerningSectionBytes(size_t pairs) {
    return FB_PAIR_COUNT_BYTES + FB_ADV_PAIR_BYTES * pairs;
}
void storeKerningSection(uint8_t* dst, const std::vector<KernPair>& pairs);

// The advance-width file that belongs to a font file: "<base>_adv.bin" for "<base>_font.bin",
// or empty when the name does not end in "_font.bin".
std::string advancePathFor(const std::string& fontPath);

// Fuzz target: an advance-width file checked against a font bitmap file, then looked up for every
// code point, and every kerning pair looked up. The input (raw, or packed as in FuzzInput.h) is a
// u32 LE length L, L bytes of the font file, and the advance-width file in the rest.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "FuzzInput.h"
#include "reader/fontbin_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> input = fuzzing::expandInput(data, size);
    if (input.size() < 4) return 0;
    const size_t fontSize = input[0] | input[1] << 8 | input[2] << 16 | size_t(input[3]) << 24;
    if (fontSize > input.size() - 4) return 0;
    const fuzzing::ExactBuffer font(
        std::vector<uint8_t>(input.begin() + 4, input.begin() + 4 + fontSize));
    const fuzzing::ExactBuffer adv(std::vector<uint8_t>(input.begin() + 4 + fontSize, input.end()));

    fb_font f{};  // not opened yet
    fb_advances a;
    if (fb_open_advances(adv.data(), adv.size(), &f, &a) != FB_ERR_ARGUMENT) __builtin_trap();
    if (fb_open(font.data(), font.size(), &f) != FB_OK) return 0;
    if (fb_open_advances(adv.data(), adv.size(), &f, &a) != FB_OK) return 0;
    if (!a.ready || a.count > 65536) __builtin_trap();
    uint32_t found = 0;
    for (uint32_t cp = 0; cp <= 0x10000; ++cp) {
        unsigned width = 0;
        if (fb_advance(&a, &f, cp, &width) != FB_OK) continue;
        if (width > 255 || cp > 0xFFFF) __builtin_trap();
        ++found;
    }
    // Every width belongs to one code point.
    if (found > a.count) __builtin_trap();
    // Every stored kerning pair is found again, and adjusts by something.
    for (uint32_t i = 0; i < a.pair_count; ++i) {
        const uint8_t* p = a.pairs + 5u * i;
        int adjust = 0;
        if (fb_kerning(&a, p[0] | p[1] << 8, p[2] | p[3] << 8, &adjust) != FB_OK || adjust == 0)
            __builtin_trap();
    }
    int adjust = 1;
    if (fb_kerning(&a, 0x10000, 'A', &adjust) != FB_ERR_NOT_FOUND || adjust != 0) __builtin_trap();
    return 0;
}

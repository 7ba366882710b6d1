// Fuzz target: a font bitmap file (raw, or in the packed form of FuzzInput.h) through the device
// reader: open, walk every glyph, read its pixels and check it, under every cell the file could
// have been made with. Whatever fb_open accepted must then never be read outside its buffer.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "FuzzInput.h"
#include "reader/fontbin_reader.h"

namespace {

// Pixel reads per input, so that a file with huge cells stays quick.
constexpr size_t kPixelBudget = 1u << 16;
// Glyphs looked at again under every other cell the header allows.
constexpr size_t kRecheckGlyphs = 64;

void readGlyph(const fb_font& font, const fb_glyph& g, size_t& budget) {
    if (g.code_point > 0xFFFF) __builtin_trap();
    if (g.bits < font.data || g.bits_size > font.size ||
        static_cast<size_t>(g.bits - font.data) > font.size - g.bits_size)
        __builtin_trap();
    const char* detail = nullptr;
    fb_check_glyph(&g, &detail);
    // One row and one column past the cell: those must read as 0, not from memory.
    for (unsigned y = 0; y <= g.rows && budget > 0; ++y) {
        for (unsigned x = 0; x <= g.cols && budget > 0; ++x, --budget) {
            const unsigned v = fb_glyph_pixel(&g, x, y);
            if (v >= (1u << g.bpp)) __builtin_trap();
            if ((x == g.cols || y == g.rows) && v != 0) __builtin_trap();
        }
    }
}

// Every glyph in code-point order; the first few code points are kept for the rechecks.
void walk(const fb_font& font, size_t& budget, std::vector<uint32_t>& seen) {
    fb_glyph g;
    unsigned glyphs = 0;
    for (uint32_t cp = 0; cp <= 0xFFFF && fb_next_glyph(&font, cp, &g) == FB_OK;
         cp = g.code_point + 1) {
        if (g.code_point < cp) __builtin_trap();
        readGlyph(font, g, budget);
        if (seen.size() < kRecheckGlyphs) seen.push_back(g.code_point);
        if (++glyphs > 0x10000) __builtin_trap();  // more glyphs than code points
    }
}

// The kept glyphs and a few fixed code points, looked up directly.
void recheck(const fb_font& font, size_t& budget, const std::vector<uint32_t>& seen) {
    fb_glyph g;
    for (uint32_t cp : seen)
        if (fb_find_glyph(&font, cp, &g) == FB_OK) readGlyph(font, g, budget);
    const uint32_t probes[] = {0, 0x20, 0x41, 0x4E00, 0xFFFF, 0x10000, 0xFFFFFFFFu};
    for (uint32_t cp : probes) {
        if (fb_find_glyph(&font, cp, &g) != FB_OK) continue;
        if (g.code_point != cp) __builtin_trap();
        readGlyph(font, g, budget);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fuzzing::ExactBuffer file(fuzzing::expandInput(data, size));
    size_t budget = kPixelBudget;

    fb_font font;
    const fb_error opened = fb_open(file.data(), file.size(), &font);
    fb_error_string(opened);
    if (opened != FB_OK) return 0;
    if (!font.ready || font.records_offset > file.size()) __builtin_trap();
    std::vector<uint32_t> seen;
    walk(font, budget, seen);
    recheck(font, budget, seen);

    // Every cell this header allows; each either fits the records or leaves the font as it was.
    for (int scan = FB_SCAN_ROWS; scan <= FB_SCAN_COLUMNS_ROW_SIZED; ++scan) {
        for (int rotate = 0; rotate <= 2; ++rotate) {
            fb_font other = font;
            if (fb_set_geometry_for(&other, static_cast<fb_scan>(scan), rotate) == FB_OK)
                recheck(other, budget, seen);
        }
    }
    // The same bytes with the cell stated by the caller: the transposed cell, and a square one.
    const unsigned sizes[][2] = {{font.geometry.cols, font.geometry.rows},
                                 {font.font_size, font.font_size},
                                 {font.geometry.rows + 1, font.geometry.cols}};
    for (const auto& s : sizes) {
        fb_font other;
        if (fb_open_cell(file.data(), file.size(), s[0], s[1], &other) == FB_OK)
            recheck(other, budget, seen);
    }
    return 0;
}

// Fuzz target: a string table opened, every string read, measured, found by name and drawn
// (whole and wrapped) with a font bitmap file. The input (raw, or packed as in FuzzInput.h) is a
// u32 LE length L, L bytes of the font file, and the string table in the rest.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzInput.h"
#include "reader/fontbin_reader.h"
#include "reader/fontbin_strings.h"

namespace {

void count(void* user, int, int, unsigned level) {
    if (level == 0) __builtin_trap();
    ++*static_cast<size_t*>(user);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> input = fuzzing::expandInput(data, size);
    if (input.size() < 4) return 0;
    const size_t fontSize = input[0] | input[1] << 8 | input[2] << 16 | size_t(input[3]) << 24;
    if (fontSize > input.size() - 4) return 0;
    const fuzzing::ExactBuffer fontBytes(
        std::vector<uint8_t>(input.begin() + 4, input.begin() + 4 + fontSize));
    const fuzzing::ExactBuffer table(
        std::vector<uint8_t>(input.begin() + 4 + fontSize, input.end()));

    fb_strings strings;
    if (fb_strings_open(table.data(), table.size(), &strings) != FB_OK) return 0;
    fb_font font;
    const bool withFont = fb_open(fontBytes.data(), fontBytes.size(), &font) == FB_OK;
    for (unsigned i = 0; i < strings.count; ++i) {
        fb_string s;
        if (fb_string_at(&strings, i, &s) != FB_OK) __builtin_trap();
        const std::string name(s.name, s.name_length);
        fb_string found;
        if (fb_string_find(&strings, name.c_str(), &found) != FB_OK || found.index > i)
            __builtin_trap();
        fb_string_cursor cursor;
        fb_string_glyph g;
        unsigned walked = 0;
        for (fb_string_begin(&s, &cursor); fb_string_next(&cursor, &g); ++walked)
            if (g.cluster >= s.length || g.code > 0xFFFF) __builtin_trap();
        if (walked != s.glyph_count) __builtin_trap();
        if (s.glyph_count != 0) {
            fb_string_glyph last;
            fb_string_glyph_at(&s, s.glyph_count - 1, &last);
            if (last.code != g.code || last.cluster != g.cluster) __builtin_trap();
        }
        for (unsigned k = 0; k < s.break_count; ++k)
            if (fb_string_break_at(&s, k) >= s.length) __builtin_trap();
        (void)fb_string_measure(&s, 0, s.length);
        if (!withFont) continue;
        size_t pixels = 0;
        (void)fb_string_draw(&font, &s, 0, 0, count, &pixels);
        unsigned lines = 0;
        (void)fb_string_draw_box(&font, &s, 0, 0, 40, 200, count, &pixels, &lines);
        if (s.length != 0 && lines == 0) __builtin_trap();
    }
    fb_string none;
    if (fb_string_at(&strings, strings.count, &none) != FB_ERR_NOT_FOUND) __builtin_trap();
    return 0;
}

// Fuzz target: a compact font file (raw, or packed as in FuzzInput.h) through the device reader:
// open (the constant-time check a device makes), walk every glyph, decode it into a buffer and
// row by row, look a few code points and kerning pairs up directly, and draw and measure text
// through the text API. Whatever fb_open accepted must be read without leaving the buffer or
// looping, give levels below 2^bpp and the same rows both ways; what fb_check_font then
// accepts must also number its glyphs as the header says. The checksums are checked too.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "FuzzInput.h"
#include "reader/fontbin_reader.h"
#include "reader/fontbin_text.h"

namespace {

// Pixels decoded per input, so that a file with many large glyphs stays quick.
constexpr size_t kPixelBudget = 1u << 18;

struct Rows {
    const std::vector<uint8_t>* pixels;
    unsigned width;
    unsigned next;
};

void compareRow(void* user, unsigned y, const uint8_t* levels, unsigned width) {
    Rows* r = static_cast<Rows*>(user);
    if (y != r->next++ || width != r->width) __builtin_trap();
    if (std::memcmp(levels, r->pixels->data() + static_cast<size_t>(y) * width, width) != 0)
        __builtin_trap();
}

void decode(const fb_font& font, const fb_glyph& g, size_t& budget) {
    const size_t area = static_cast<size_t>(g.box_w) * g.box_h;
    if (g.box_w > g.cols || g.box_h > g.rows || g.box_x + g.box_w > g.cols ||
        g.box_y + g.box_h > g.rows)
        __builtin_trap();
    if (area > budget) return;
    budget -= area;
    // A guard byte after the box catches a write past it.
    std::vector<uint8_t> pixels(area + 1, 0xA5);
    const fb_error err = fb_decode_glyph(&font, &g, pixels.data(), g.box_w);
    if (pixels[area] != 0xA5) __builtin_trap();
    if (err != FB_OK) return;
    for (size_t i = 0; i < area; ++i)
        if (pixels[i] >= (1u << g.bpp)) __builtin_trap();
    Rows rows{&pixels, g.box_w, 0};
    if (fb_decode_glyph_rows(&font, &g, compareRow, &rows) != FB_OK) __builtin_trap();
    if (rows.next != g.box_h) __builtin_trap();
}

void pixel(void* user, int, int, unsigned level, unsigned max_level) {
    if (level > max_level) __builtin_trap();
    ++*static_cast<size_t*>(user);
}

// Text through every call of the text API, with wrapping, kerning and characters it lacks.
void text(const fb_font& font) {
    fb_text t;
    if (fb_text_init(&t, &font, nullptr) != FB_OK) return;
    size_t drawn = 0;
    t.pixel = pixel;
    t.user = &drawn;
    const char* s = "AV To\n\xE4\xB8\x80\xE4\xB8\x81, x\xEF\xBF\xBF\xFF";
    fb_text_extent e;
    fb_text_measure(&t, s, FB_TEXT_NUL, 40, FB_WRAP_WORDS, &e);
    fb_text_draw(&t, -3, 2, s, FB_TEXT_NUL, 40, FB_WRAP_WORDS, &e);
    fb_text_draw(&t, 0, 0, s, FB_TEXT_NUL, 7, FB_WRAP_CHARS, nullptr);
    fb_text_draw_char(&t, 1, 1, 0x4E00);
    int adjust = 0;
    const uint32_t pairs[][2] = {{'A', 'V'}, {'T', 'o'}, {0, 0}, {0xFFFF, 0xFFFF}, {0x10000, 1}};
    for (const auto& p : pairs) {
        const fb_error err = fb_compact_kerning(&font, p[0], p[1], &adjust);
        if (err != FB_OK && adjust != 0) __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fuzzing::ExactBuffer file(fuzzing::expandInput(data, size));
    size_t budget = kPixelBudget;
    fb_font font;
    if (fb_open(file.data(), file.size(), &font) != FB_OK) return 0;
    if (!font.ready) __builtin_trap();
    // The checksums read only inside the file, whatever the checkpoints say.
    uint32_t failed = 0;
    const fb_error sums = fb_verify_font(&font, &failed);
    if (sums == FB_ERR_CHECKSUM && failed != FB_TABLES_PART && failed >= fb_block_count(&font))
        __builtin_trap();
    fb_glyph g;
    unsigned glyphs = 0;
    text(font);
    fb_font checked = font;
    const bool whole = fb_check_font(&checked) == FB_OK;
    for (uint32_t cp = 0; fb_next_glyph(&font, cp, &g) == FB_OK; cp = g.code_point + 1) {
        if (g.code_point < cp || g.code_point > 0xFFFF || ++glyphs > 0x10000) __builtin_trap();
        decode(font, g, budget);
        fb_glyph again;
        if (whole && (fb_find_glyph(&font, g.code_point, &again) != FB_OK ||
                      again.stream_bit != g.stream_bit || again.box_w != g.box_w))
            __builtin_trap();
    }
    if (whole && glyphs != font.glyph_count) __builtin_trap();
    const uint32_t probes[] = {0, 0x41, 0x4E00, 0xFFFF, 0x10000, 0xFFFFFFFFu};
    for (uint32_t cp : probes)
        if (fb_find_glyph(&font, cp, &g) == FB_OK) decode(font, g, budget);
    return 0;
}

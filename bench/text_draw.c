/*
 * fb_text_draw over every glyph of a font file, for bench/text_draw.sh to count under callgrind.
 *
 *   text_draw FILE MODE
 *
 * MODE: "pixel", "run" or "page": each glyph drawn by its own fb_text_draw call through that
 * callback; "decode": each glyph found (fb_find_glyph) and decoded (fb_decode_glyph_rows), as a
 * firmware that draws by itself does, the text API left out; "wrapped": every glyph in one text,
 * word-wrapped at 320 pixels, through the pixel callback; "fill": as "pixel" with a glyph cache;
 * "cached": the same, each glyph drawn twice in a row, so that the difference is what drawing from
 * the cache costs. Prints the glyphs drawn and an order-free checksum of the pixels the callbacks
 * received, so that two builds of the reader can be compared.
 *
 * Built with TEXT_DRAW_EMBEDDED for a Cortex-M under QEMU, the font file is linked in (symbols
 * font_file and font_file_end), the mode is "pixel" or TEXT_DRAW_MODE, and the drawing lies between
 * two calls of mark(), which the instruction-counting plugin reports.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "fontbin_text.h"

#ifdef TEXT_DRAW_EMBEDDED
/* 32 bits on a microcontroller, so that the callback costs a few instructions there too. */
static uint32_t sum;

static void add(int x, int y, unsigned level) {
    uint32_t h = (uint32_t)(x + 7919) * 0x9E3779B1u;
    h ^= (uint32_t)(y + 104729) * 0x85EBCA77u;
    sum += h * (level + 1u);
}
#else
static unsigned long long sum;

static void add(int x, int y, unsigned level) {
    unsigned long long h = (unsigned long long)(x + 7919) * 0x9E3779B97F4A7C15ull;
    h ^= (unsigned long long)(y + 104729) * 0xC2B2AE3D27D4EB4Full;
    sum += h * (level + 1u);
}
#endif

static void on_pixel(void* user, int x, int y, unsigned level, unsigned max_level) {
    (void)user, (void)max_level;
    add(x, y, level);
}

static void on_run(void* user, int x, int y, const uint8_t* levels, unsigned n, unsigned max) {
    unsigned i;
    (void)user, (void)max;
    for (i = 0; i < n; ++i)
        if (levels[i]) add(x + (int)i, y, levels[i]);
}

#ifdef FB_TEXT_PAGE_BYTES
static void on_page(void* user, int x, int page, const uint8_t* cols, unsigned n) {
    unsigned i, b;
    (void)user;
    for (i = 0; i < n; ++i)
        for (b = 0; b < 8; ++b)
            if (cols[i] >> b & 1u) add(x + (int)i, page * 8 + (int)b, 1);
}
#endif

static void on_row(void* user, unsigned y, const uint8_t* levels, unsigned width) {
    unsigned x;
    for (x = 0; x < width; ++x)
        if (levels[x]) add((int)x + *(const int*)user, (int)y, levels[x]);
}

static size_t utf8(uint32_t cp, char* out) {
    if (cp < 0x80u) return out[0] = (char)cp, 1;
    if (cp < 0x800u) {
        out[0] = (char)(0xC0u | cp >> 6), out[1] = (char)(0x80u | (cp & 0x3Fu));
        return 2;
    }
    out[0] = (char)(0xE0u | cp >> 12), out[1] = (char)(0x80u | (cp >> 6 & 0x3Fu));
    out[2] = (char)(0x80u | (cp & 0x3Fu));
    return 3;
}

#ifdef TEXT_DRAW_EMBEDDED
extern const uint8_t font_file[], font_file_end[];
void mark(void);
__attribute__((noinline)) void mark(void) {
    __asm__ volatile("");
}
#endif

int main(int argc, char** argv) {
    static char text[64u << 10];
    static uint8_t cache[4096];
    fb_font font;
    fb_text t;
    fb_glyph g;
    size_t size, len = 0;
    unsigned long glyphs = 0;
    uint32_t cp;
    int pass;
#ifdef TEXT_DRAW_EMBEDDED
    const uint8_t* file = font_file;
#ifdef TEXT_DRAW_MODE
    const char* mode = TEXT_DRAW_MODE;
#else
    const char* mode = "pixel";
#endif
    size = (size_t)(font_file_end - font_file);
    (void)argc, (void)argv;
#else
    static uint8_t file[8u << 20];
    FILE* in;
    const char* mode = argc > 2 ? argv[2] : "";
    if (argc != 3 || !(in = fopen(argv[1], "rb"))) {
        fprintf(stderr, "usage: text_draw FILE pixel|run|page|wrapped|fill|cached\n");
        return 2;
    }
    size = fread(file, 1, sizeof file, in);
    fclose(in);
#endif
    if (fb_open(file, size, &font) != FB_OK || fb_text_init(&t, &font, NULL) != FB_OK) {
        fprintf(stderr, "text_draw: the font file cannot be read\n");
        return 1;
    }
    t.pixel = on_pixel;
    if (!strcmp(mode, "run")) t.pixel = NULL, t.run = on_run;
#ifdef FB_TEXT_PAGE_BYTES
    if (!strcmp(mode, "page")) t.pixel = NULL, t.page = on_page;
    if ((!strcmp(mode, "cached") || !strcmp(mode, "fill")) &&
        fb_text_set_cache(&t, cache, sizeof cache) != FB_OK)
        return 1;
#else
    if (!strcmp(mode, "page") || !strcmp(mode, "cached") || !strcmp(mode, "fill"))
        return 3; /* not in this reader */
#endif
    for (cp = 0x20; fb_next_glyph(&font, cp, &g) == FB_OK && len + 4 < sizeof text;
         cp = g.code_point + 1)
        len += utf8(g.code_point, text + len), ++glyphs;
#ifdef TEXT_DRAW_EMBEDDED
    mark();
#endif
    if (!strcmp(mode, "decode")) {
        size_t at, used;
        for (at = 0; at < len; at += used) {
            /* (The row callback adds the glyph's left edge, so that two glyphs with the same
               pixels count apart.) */
            cp = fb_utf8_next(text + at, len - at, &used);
            if (fb_find_glyph(&font, cp, &g) == FB_OK) {
                const int left = (int)cp + (int)g.box_x;
                fb_decode_glyph_rows(&font, &g, on_row, (void*)&left);
            }
        }
    } else if (!strcmp(mode, "wrapped")) {
        fb_text_draw(&t, 0, 0, text, len, 320, FB_WRAP_WORDS, NULL);
    } else {
        size_t at, used;
        for (at = 0; at < len; at += used) {
            fb_utf8_next(text + at, len - at, &used);
            for (pass = 0; pass < (strcmp(mode, "cached") ? 1 : 2); ++pass)
                fb_text_draw(&t, 8, 3, text + at, used, 0, FB_WRAP_NONE, NULL);
        }
    }
#ifdef TEXT_DRAW_EMBEDDED
    mark();
#endif
    printf("%lu glyphs, checksum %016llx\n", glyphs, (unsigned long long)sum);
    return 0;
}

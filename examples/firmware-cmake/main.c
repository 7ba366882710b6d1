/*
 * Stands in for firmware: draws "Hello, 世界" into a 128 x 64 one-bit framebuffer with the font
 * that the build compiled in (ui_font_16.h, made by fontbin_add_font), then writes the
 * framebuffer out: as text ('#' for a lit pixel), or with --pbm FILE as a PBM image.
 *
 * The text is drawn as the cookbook says: each glyph's cell with its top-left corner at the pen,
 * the pen moving by the advance width when the font has an advance-width file, else by the ink's
 * right edge + 1, and by fontSize / 3 for a character without ink. A line that would cross the
 * right edge wraps. A character the font lacks is drawn as a box outline.
 *
 * A compact font ("compact": true) is read the same way, except that a glyph's pixels come from
 * fb_decode_glyph_rows (its ink box, one row at a time) and its width from the glyph itself.
 */
#include <stdio.h>
#include <string.h>

#include "fontbin_reader.h"
#include "ui_font_16.h"

#define FB_WIDTH 128
#define FB_HEIGHT 64

static uint8_t framebuffer[FB_HEIGHT][FB_WIDTH / 8]; /* row-major, leftmost pixel in bit 7 */
static fb_font font;
#ifdef UI_FONT_16_HAS_ADVANCES
static fb_advances advances;
#endif

static void set_pixel(unsigned x, unsigned y) {
    if (x < FB_WIDTH && y < FB_HEIGHT) framebuffer[y][x / 8] |= (uint8_t)(0x80u >> (x % 8));
}

static int has_ink(const fb_glyph* g) {
    size_t i;
    if (g->compact) return g->box_w != 0 && g->box_h != 0;
    for (i = 0; i < g->bits_size; ++i)
        if (g->bits[i]) return 1;
    return 0;
}

/* How far the pen moves after `cp`, and how far its ink reaches. */
static unsigned advance_of(uint32_t cp, const fb_glyph* g, int found, unsigned* ink_right) {
    unsigned box = font.font_size / 2 < 3 ? 3 : font.font_size / 2;
#ifdef UI_FONT_16_HAS_ADVANCES
    unsigned width;
    int listed = fb_advance(&advances, &font, cp, &width) == FB_OK;
#else
    (void)cp;
#endif
    *ink_right = 0;
#ifdef UI_FONT_16_HAS_ADVANCES
    if (!found && listed) return width; /* selected, but without ink: no record to draw */
#endif
    if (!found) {
        *ink_right = box;
        return box + 1;
    }
    if (g->compact) { /* the compact file holds every width, and the ink box */
        if (has_ink(g)) *ink_right = g->box_x + g->box_w;
        return (unsigned)g->advance;
    }
    if (has_ink(g)) *ink_right = g->extent_x;
#ifdef UI_FONT_16_HAS_ADVANCES
    if (listed) return width;
#endif
    return *ink_right ? *ink_right + 1 : (font.font_size / 3 ? font.font_size / 3 : 1);
}

static void draw_box(unsigned left, unsigned top) {
    unsigned w = font.font_size / 2 < 3 ? 3 : font.font_size / 2;
    unsigned y0 = font.font_size / 8, y1 = font.font_size - font.font_size / 8, x, y;
    if (y1 < 3) y1 = 3;
    for (y = y0; y < y1; ++y)
        for (x = 0; x < w; ++x)
            if (x == 0 || x + 1 == w || y == y0 || y + 1 == y1) set_pixel(left + x, top + y);
}

/* Where a decoded row of a compact glyph goes: the cell's top-left corner on the framebuffer. */
struct row_target {
    unsigned left, top;
    const fb_glyph* glyph;
};

static void draw_row(void* user, unsigned y, const uint8_t* levels, unsigned width) {
    const struct row_target* t = (const struct row_target*)user;
    unsigned x;
    for (x = 0; x < width; ++x)
        if (levels[x]) set_pixel(t->left + t->glyph->box_x + x, t->top + t->glyph->box_y + y);
}

static void draw_text(const uint32_t* text, size_t n) {
    unsigned pen_x = 0, top = 0, x, y, ink_right, adv;
    size_t i;
    for (i = 0; i < n; ++i) {
        fb_glyph g;
        int found = fb_find_glyph(&font, text[i], &g) == FB_OK;
        adv = advance_of(text[i], &g, found, &ink_right);
        if (pen_x > 0 && pen_x + (adv > ink_right ? adv : ink_right) > FB_WIDTH) {
            pen_x = 0;
            top += font.geometry.rows;
        }
        if (!found && ink_right) {
            draw_box(pen_x, top);
        } else if (found && g.compact) {
            struct row_target t;
            t.left = pen_x;
            t.top = top;
            t.glyph = &g;
            fb_decode_glyph_rows(&font, &g, draw_row, &t);
        } else if (found) {
            for (y = 0; y < g.rows; ++y)
                for (x = 0; x < g.cols; ++x)
                    if (fb_glyph_pixel(&g, x, y)) set_pixel(pen_x + x, top + y);
        }
        pen_x += adv;
    }
}

int main(int argc, char** argv) {
    static const uint32_t hello[] = {'H', 'e', 'l', 'l', 'o', ',', ' ', 0x4E16, 0x754C};
    unsigned x, y;
    if (fb_open(ui_font_16, ui_font_16_size, &font) != FB_OK) {
        fprintf(stderr, "font: %s\n", font.error_detail ? font.error_detail : "unreadable");
        return 1;
    }
#ifdef UI_FONT_16_HAS_ADVANCES
    if (fb_open_advances(ui_font_16_adv, ui_font_16_adv_size, &font, &advances) != FB_OK) {
        fprintf(stderr, "advance widths: %s\n", advances.error_detail);
        return 1;
    }
#endif
    draw_text(hello, sizeof hello / sizeof hello[0]);

    if (argc == 3 && strcmp(argv[1], "--pbm") == 0) {
        FILE* out = fopen(argv[2], "wb");
        if (!out) return 1;
        fprintf(out, "P4\n%d %d\n", FB_WIDTH, FB_HEIGHT);
        fwrite(framebuffer, 1, sizeof framebuffer, out);
        return fclose(out) == 0 ? 0 : 1;
    }
    for (y = 0; y < FB_HEIGHT; ++y) {
        for (x = 0; x < FB_WIDTH; ++x)
            putchar(framebuffer[y][x / 8] & (0x80u >> (x % 8)) ? '#' : '.');
        putchar('\n');
    }
    return 0;
}

/*
 * Draws every UI string of the table the build compiled in (ui_font.h, made by fontbin_add_font)
 * through fontbin_strings.h, laid out as fontbin-inspect --strings lays out its sheet: one string
 * per line of cell rows, a margin of a cell's width on both sides, a right-to-left string aligned
 * right. Prints the framebuffer, one line per row: '.' for level 0, else the level in hex.
 */
#include <stdio.h>

#include "fontbin_reader.h"
#include "fontbin_strings.h"
#include "ui_font.h"

#define FB_BYTES (256u * 1024u)

static uint8_t framebuffer[FB_BYTES];
static unsigned fb_width, fb_height;

static void put_pixel(void* user, int x, int y, unsigned level) {
    (void)user;
    if (x >= 0 && y >= 0 && (unsigned)x < fb_width && (unsigned)y < fb_height)
        framebuffer[(unsigned)y * fb_width + (unsigned)x] = (uint8_t)level;
}

int main(int argc, char** argv) {
    static fb_font font;
    static fb_strings table;
    fb_string s;
    unsigned i, x, y, rows, margin;
    int widest = 0;
    (void)argc, (void)argv;
    if (fb_open(ui_font, ui_font_size, &font) != FB_OK ||
        fb_strings_open(ui_font_strings, ui_font_strings_size, &table) != FB_OK)
        return 1;
    for (i = 0; i < table.count; ++i)
        if (fb_string_at(&table, i, &s) == FB_OK && s.width > widest) widest = s.width;
    rows = font.geometry.rows;
    margin = font.geometry.cols;
    fb_width = (unsigned)widest + 2u * margin;
    fb_height = table.count * rows;
    if ((unsigned long)fb_width * fb_height > FB_BYTES) return 2;
    for (i = 0; i < table.count; ++i) {
        int left;
        if (fb_string_at(&table, i, &s) != FB_OK) return 3;
        left = (int)margin + (s.right_to_left ? widest - s.width : 0);
        if (fb_string_draw(&font, &s, left, (int)(i * rows), put_pixel, NULL) != FB_OK) return 4;
    }
    for (y = 0; y < fb_height; ++y) {
        for (x = 0; x < fb_width; ++x) {
            const unsigned level = framebuffer[y * fb_width + x];
            putchar(level == 0 ? '.' : "0123456789abcdef"[level & 15u]);
        }
        putchar('\n');
    }
    return 0;
}

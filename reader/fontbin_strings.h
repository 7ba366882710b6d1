/*
 * fontbin_strings: UI strings shaped at build time ("*_strings.bin", written with the
 * configuration key "stringPaths"), drawn with the font file of the same run. Arabic, Hebrew,
 * Indic and Thai strings come out joined, reordered and with their marks placed, without a
 * shaping engine on the device: each string is a run of glyphs in visual order with pixel
 * positions, and the places where it may be wrapped.
 *
 * Portable C99 (also valid C++), no heap, no I/O; only the public calls of fontbin_reader.
 * fb_strings_open checks the whole file once, so the other calls read it without further checks.
 *
 *     fb_strings table;
 *     fb_string s;
 *     if (fb_strings_open(strings_bin, strings_size, &table) == FB_OK &&
 *         fb_string_find(&table, "greeting", &s) == FB_OK)
 *         fb_string_draw(&font, &s, x, y, put_pixel, framebuffer);
 *
 * Define FB_NO_STRINGS when compiling fontbin_strings.c to leave all of it out.
 */
#ifndef FONTBIN_STRINGS_H
#define FONTBIN_STRINGS_H

#include <stddef.h>
#include <stdint.h>

#include "fontbin_reader.h"

#ifdef __cplusplus
extern "C" {
#endif

#define FB_STRINGS_HEADER_BYTES 16u

typedef struct fb_strings {
    const uint8_t* data;
    size_t size;
    int ready;                 /* non-zero once fb_strings_open succeeded */
    unsigned count;            /* strings */
    unsigned flags;            /* FB_STRINGS_*: how wide the fields are */
    unsigned font_size;        /* the font set's fontSize */
    unsigned em_pixels;        /* the main font's em in pixels */
    unsigned baseline;         /* baseline row of the cells: a line's top lies this far above it */
    unsigned bpp;              /* bits per pixel of the glyphs */
    unsigned glyph_list_count; /* codes of the glyph list */
    const uint8_t* glyph_list; /* u16 codes the glyph entries refer to */
    const uint8_t* offsets;    /* u32 record offsets */
} fb_strings;

#define FB_STRINGS_WIDE 0x01u     /* advances and offsets in 16 bits */
#define FB_STRINGS_BIG_LIST 0x02u /* glyph references in 16 bits */
#define FB_STRINGS_LONG 0x04u     /* lengths, counts, clusters and breaks in 16 bits */

/* One string, found by fb_string_at or fb_string_find. Read-only for the caller. */
typedef struct fb_string {
    const fb_strings* table;
    const char* name; /* not zero-terminated: name_length bytes */
    unsigned name_length;
    unsigned index;
    int right_to_left; /* the paragraph's direction: wrapped lines align right */
    unsigned length;   /* code points of the text */
    unsigned glyph_count;
    unsigned break_count;
    int width; /* pixels: the sum of the advances */
    const uint8_t* breaks;
    const uint8_t* glyphs; /* the first glyph entry (entries differ in length) */
} fb_string;

/* One glyph of a string: draw the upright cell of `code` with its top-left corner at
   (pen + dx, line top + dy), then move the pen by `advance`. */
typedef struct fb_string_glyph {
    uint32_t code;
    unsigned cluster; /* first code point of the text it draws */
    int dx;
    int dy;
    int advance;
} fb_string_glyph;

/* Walks a string's glyphs in order (entries differ in length, so they are read in turn). */
typedef struct fb_string_cursor {
    const fb_string* string;
    const uint8_t* next;
    unsigned left;
    int dy;
} fb_string_cursor;

/* Receives each pixel with ink (level 1 .. 2^bpp - 1); coordinates may lie off the screen. */
typedef void (*fb_string_pixel_fn)(void* user, int x, int y, unsigned level);

/* Checks the whole file: header, glyph list, offsets, every record (its name letters, digits
   and '_'), glyph entry and break inside the buffer, breaks ascending inside the text, clusters
   inside the text, references inside the glyph list. FB_ERR_BAD_MAGIC, FB_ERR_BAD_HEADER,
   FB_ERR_TRUNCATED or FB_ERR_BAD_RECORD otherwise. */
fb_error fb_strings_open(const uint8_t* buf, size_t len, fb_strings* out);

/* The string numbered `index` (the order of the strings files; fontbin-embed's FB_STR_ enum).
   FB_ERR_NOT_FOUND beyond the last. */
fb_error fb_string_at(const fb_strings* table, unsigned index, fb_string* out);

/* The string named `name` (zero-terminated, compared byte for byte). FB_ERR_NOT_FOUND when none
   has it. A linear search: keep the fb_string of a string drawn often. */
fb_error fb_string_find(const fb_strings* table, const char* name, fb_string* out);

/* The glyphs in order: fb_string_begin, then fb_string_next until it returns 0. */
void fb_string_begin(const fb_string* s, fb_string_cursor* cursor);
int fb_string_next(fb_string_cursor* cursor, fb_string_glyph* out);

/* Glyph k (< glyph_count) of a string, reading the k glyphs before it; break k
   (< break_count). */
void fb_string_glyph_at(const fb_string* s, unsigned k, fb_string_glyph* out);
unsigned fb_string_break_at(const fb_string* s, unsigned k);

/* The width in pixels of the code points [from, to) of a string: the advances of its glyphs
   whose cluster lies there. */
int fb_string_measure(const fb_string* s, unsigned from, unsigned to);

/* Draws the whole string on one line whose top-left corner is (x, y). The font must be the font
   file (or compact file) of the same run, with upright cells scanned by rows (FB_ERR_GEOMETRY
   for a column-scanned one). A glyph the font has no record of (one without ink in the
   offset-table layout) draws nothing and still moves the pen. */
fb_error fb_string_draw(const fb_font* font, const fb_string* s, int x, int y,
                        fb_string_pixel_fn pixel, void* user);

/* Draws the string wrapped into the box w x h at (x, y): each line takes as many of the
   string's break opportunities as fit in w, the spaces before a break neither counted nor drawn
   (a piece wider than w alone takes a line of its own); lines are font->geometry.rows apart, a
   right-to-left string's lines align right, and each line keeps its own visual order. Draws the
   lines that fit in h whole; *lines (may be null) receives how many lines the whole string takes.
 */
fb_error fb_string_draw_box(const fb_font* font, const fb_string* s, int x, int y, unsigned w,
                            unsigned h, fb_string_pixel_fn pixel, void* user, unsigned* lines);

#ifdef __cplusplus
}
#endif

#endif /* FONTBIN_STRINGS_H */

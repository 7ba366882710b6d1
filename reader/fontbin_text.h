/*
 * fontbin_text: draws UTF-8 text with a font opened by fontbin_reader, for firmware and for
 * fontbin-inspect --text, which draws through this same code.
 *
 * Portable C99 (also valid C++), no heap, no I/O, bounded stack (about 0.9 KB beyond what
 * fb_decode_glyph_rows takes on a 32-bit core, most of it FB_TEXT_WINDOW and
 * FB_TEXT_PAGE_BYTES below). Pixels go to the caller's callbacks, so any framebuffer or
 * display driver can set or blend them:
 *
 *     static void put(void* fb, int x, int y, unsigned level, unsigned max_level) {
 *         if (x >= 0 && x < 128 && y >= 0 && y < 64) set_pixel(fb, x, y);   // level >= 1
 *     }
 *     fb_text text;
 *     fb_text_init(&text, &font, NULL);          // or &advances, the font's width file
 *     text.pixel = put;
 *     text.user = framebuffer;
 *     fb_text_draw(&text, 0, 0, "Hello, 世界", FB_TEXT_NUL, 128, FB_WRAP_WORDS, NULL);
 *
 * Layout (the rules the cookbook and fontbin-inspect --text follow):
 * - Each glyph's cell is drawn upright (scan order and rotation undone) with its top-left corner
 *   at the pen; lines are text.line_height rows apart (the upright cell's rows).
 * - The pen moves by the advance width: the width file's value when one is given, the compact
 *   glyph's own width, else the ink's right edge + 1, and fontSize / 3 (at least 1) for a
 *   character without ink.
 * - With a width file that holds kerning pairs (version 2), or a compact file that holds them
 *   (its kerning section; a width file's pairs come first), the pen moves by the pair's
 *   adjustment before each character that follows another on the same line (never left of the
 *   line's start); fb_text_draw_char draws one character alone and so without kerning.
 * - A character the font lacks is drawn as a box outline fontSize / 2 pixels wide (at least 3),
 *   rows fontSize / 8 to max(fontSize - fontSize / 8, 3) - 1, and the pen moves by its width + 1.
 *   A byte sequence that is not UTF-8 is U+FFFD (and so the box when the font lacks U+FFFD);
 *   the string always goes on.
 * - '\n' ends a line. Within a width, FB_WRAP_CHARS ends a line before a character that would
 *   cross it; FB_WRAP_WORDS ends it where a line may end and only cuts a word that alone is
 *   wider than the line (at its last place kinsoku allows, else before the character that
 *   crosses the width). A line may end before a space (the spaces there are neither drawn nor
 *   measured, and the next line starts after them), after a hyphen ("-" or U+2010) that follows
 *   a character other than a space and precedes one other than a digit, and between two
 *   characters without a space where either is CJK (ideographs, kana, Hangul, CJK punctuation,
 *   full-width forms), Latin beside CJK included. Kinsoku: no line starts with closing
 *   punctuation, small kana, iteration marks or the prolonged sound mark ("，", "。", "！", "）",
 *   "」", "ぁ", "ッ", "ー", ...; ASCII ",", ".", ")", ... too), and none ends with an opening
 *   bracket ("「", "（", "《", "(", ...), so those stay with their neighbour.
 *
 * The callbacks receive ink only (level 1 .. max_level; max_level = 2^bpp - 1); coordinates may
 * lie outside the screen, so clip there. `run` is optional and receives a row of levels (zeros
 * included, at most one glyph row long) wherever the cell needs no turning; when it is set it
 * takes those rows and `pixel` the rest, and either one alone is enough. `page`, for 1-bit
 * displays addressed in pages of 8 rows (SSD1306, SH1106, ST7565...), takes every pixel instead:
 * each glyph arrives as runs of column bytes, one run per page it touches, bit 0 the page's top
 * row, a bit set where the level is at least half of max_level. OR them into the page buffer.
 *
 * Speed: a line is walked once; each character is looked up once per draw or measure (a word
 * longer than FB_TEXT_WINDOW characters has its later ones looked up again when drawn), and
 * glyphs are drawn a row at a time. fb_text_set_cache keeps drawn glyphs in memory the caller
 * gives, so a glyph drawn again is neither looked up nor decoded.
 */
#ifndef FONTBIN_TEXT_H
#define FONTBIN_TEXT_H

#include <stddef.h>
#include <stdint.h>

#include "fontbin_reader.h"

#ifdef __cplusplus
extern "C" {
#endif

#define FB_TEXT_NUL ((size_t)-1) /* as a length: the text ends at its terminating zero */
#define FB_REPLACEMENT_CHAR 0xFFFDu

typedef void (*fb_text_pixel_fn)(void* user, int x, int y, unsigned level, unsigned max_level);
typedef void (*fb_text_run_fn)(void* user, int x, int y, const uint8_t* levels, unsigned count,
                               unsigned max_level);
/* Called before each character is drawn, with its cell's top-left corner; `missing` is 1 when
   the font lacks it and the box is drawn. '\n' is not a character here. */
typedef void (*fb_text_char_fn)(void* user, uint32_t code_point, int x, int y, int missing);

/* Receives `count` column bytes for columns x .. x + count - 1 of page `page` (rows 8 * page ..
   8 * page + 7; negative above row 0), bit 0 the top row; valid only during the call. */
typedef void (*fb_text_page_fn)(void* user, int x, int page, const uint8_t* columns,
                                unsigned count);

/* Characters measured ahead of drawing with FB_WRAP_WORDS, kept on the stack (about 150 bytes
   each on a 32-bit core). CJK text needs one (a line may break after every character); a word
   longer than this has its later characters looked up a second time, when drawn, which costs
   little with the fixed layouts and a compact glyph's lookup with the compact one (define 8
   there for Latin text). Define it when compiling fontbin_text_lines.c: 1 to 16. */
#ifndef FB_TEXT_WINDOW
#define FB_TEXT_WINDOW 1
#endif
/* Bytes on the stack that gather one glyph's page columns for `page`: a glyph whose upright
   cell needs more (cell width x pages it touches: 48 at 16 px, 96 at 24 px) goes out a pixel
   per call instead. */
#ifndef FB_TEXT_PAGE_BYTES
#define FB_TEXT_PAGE_BYTES 96
#endif

typedef enum fb_wrap {
    FB_WRAP_NONE = 0,  /* lines end only at '\n' */
    FB_WRAP_CHARS = 1, /* before a character that would cross the width */
    FB_WRAP_WORDS = 2  /* at spaces and between two CJK characters */
} fb_wrap;

typedef struct fb_text {
    const fb_font* font;
    const fb_advances* advances; /* the width file, or null */
    fb_text_pixel_fn pixel;      /* set by the caller after fb_text_init */
    fb_text_run_fn run;
    fb_text_char_fn on_char;
    void* user;
    /* Set by fb_text_init, read-only. */
    unsigned line_height; /* rows of the upright cell */
    unsigned cell_width;  /* columns of the upright cell */
    unsigned max_level;   /* 2^bpp - 1 */
    int turn;             /* how a stored cell turns upright (internal) */
    /* Added later; set by the caller after fb_text_init like the callbacks above. */
    fb_text_page_fn page;
    /* Set by fb_text_set_cache (internal). */
    uint8_t* cache;
    unsigned cache_slots; /* a power of two, or 0: no cache */
    unsigned cache_slot_bytes;
    unsigned cache_row_bytes;
} fb_text;

/* What one character does to the pen. */
typedef struct fb_char_metrics {
    int found;          /* the font has a record for it */
    int ink;            /* that record has ink (fb_glyph_has_ink) */
    int missing;        /* the font lacks it: the box is drawn */
    unsigned advance;   /* pixels the pen moves */
    unsigned ink_right; /* right edge of the ink (exclusive) from the pen; the box's width */
} fb_char_metrics;

typedef struct fb_text_extent {
    unsigned width;  /* right edge of the farthest ink or advance of any line */
    unsigned height; /* lines * line_height */
    unsigned lines;
} fb_text_extent;

/* Prepares drawing with `font` (and its width file `advances`, or null). Callbacks start null,
   the cache off. FB_ERR_ARGUMENT for a font that is not open, FB_ERR_UNSUPPORTED for a cell
   both column-scanned and rotated, which cannot be turned back. */
fb_error fb_text_init(fb_text* text, const fb_font* font, const fb_advances* advances);

/* ---- Glyph cache (optional; off by default) --------------------------------------------------
 * Keeps drawn glyphs of a compact font (their metrics, and their pixels packed at the font's
 * depth) in memory the caller owns, so that text drawn again (a clock, a menu, a status line)
 * neither looks glyphs up nor decodes them: a glyph costs its decoding only the first time. The
 * other layouts hold their pixels unpacked already and are read in place, cache or not (the
 * call succeeds and keeps nothing). Slots are picked by
 * code point (a power of two of them, no division), a newer glyph replacing an older one in its
 * slot; spaces and missing characters take a slot for their metrics only. The memory must stay
 * untouched while the cache is on, and is the caller's again after fb_text_set_cache(t, 0, 0).
 * A cache belongs to one fb_text and one font; fb_text_init turns it off.
 *
 *     static uint8_t glyph_cache[2048];
 *     fb_text_set_cache(&text, glyph_cache, sizeof glyph_cache);   // 32 slots at 16 px, 1 bpp
 */

/* Bytes one cached glyph takes with this text's font: 20 + cell rows x ceil(cell columns x bpp
   / 8), rounded up to 4. */
size_t fb_text_cache_slot_bytes(const fb_text* text);

/* Uses `memory` (any alignment) for the cache, as many slots as fit, rounded down to a power of
   two; memory null or bytes 0 turns it off. FB_ERR_ARGUMENT when not even one slot fits. */
fb_error fb_text_set_cache(fb_text* text, void* memory, size_t bytes);

/* The code point at s[0 .. len) (len >= 1) and in *used the bytes it takes (at least 1). An
   invalid sequence (a stray byte, a lead byte with its continuation bytes but too few of them,
   an overlong form, a surrogate, above U+10FFFF) is FB_REPLACEMENT_CHAR. */
uint32_t fb_utf8_next(const char* s, size_t len, size_t* used);

/* Whether a glyph has ink, without drawing it: a compact glyph knows its ink box, a trimmed
   record exists only for a glyph with ink; a fixed record is read up to its first byte that is
   not zero, which for a glyph with ink lies in its top rows, so only a blank cell is read whole. */
int fb_glyph_has_ink(const fb_glyph* glyph);

/* How `code_point` moves the pen; `glyph` receives its record when found (may be null). */
void fb_text_metrics(const fb_text* text, uint32_t code_point, fb_glyph* glyph,
                     fb_char_metrics* out);

/* Draws one character with its upright cell's top-left corner at (x, y); returns its advance. */
unsigned fb_text_draw_char(const fb_text* text, int x, int y, uint32_t code_point);

/* Where the line starting at s[0] ends: returns the bytes to draw on it, and in *next (may be
   null) where the following line starts ('\n' and the spaces of a word break skipped). `width`
   0 or FB_WRAP_NONE: only '\n' ends it. Every line but an empty one takes at least one
   character, so the text always advances. */
size_t fb_text_line_break(const fb_text* text, const char* s, size_t len, unsigned width,
                          fb_wrap wrap, size_t* next);

/* The size of the text as fb_text_draw would draw it, without drawing. `out` receives it. */
void fb_text_measure(const fb_text* text, const char* s, size_t len, unsigned width, fb_wrap wrap,
                     fb_text_extent* out);

/* Draws the text, its first line's top-left corner at (x, y). `out` (may be null) receives its
   size, as fb_text_measure. */
void fb_text_draw(const fb_text* text, int x, int y, const char* s, size_t len, unsigned width,
                  fb_wrap wrap, fb_text_extent* out);

/* Draws the text word-wrapped into the box w x h at (x, y), as many whole lines as fit. Returns
   the bytes used: len (or the string's length) when all of it fits, else where the first line
   that did not fit starts (to continue on the next page). */
size_t fb_text_draw_box(const fb_text* text, int x, int y, unsigned w, unsigned h, const char* s,
                        size_t len);

#ifdef __cplusplus
}
#endif

#endif /* FONTBIN_TEXT_H */

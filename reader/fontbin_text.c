/*
 * fontbin_text: see fontbin_text.h for the layout rules.
 *
 * Text is walked twice per line (once to find where the line ends, once to draw it), each
 * character looked up again rather than remembered: no buffer, and the stack stays the same
 * whatever the text's length.
 */
#include "fontbin_text.h"

#include <limits.h>
#include <string.h>

#if defined(FB_ONLY_COMPACT) && !defined(FB_NO_ADVANCES)
#define FB_NO_ADVANCES
#endif

/* How the stored (packed) cell turns upright. */
enum { TURN_NONE = 0, TURN_TRANSPOSE = 1, TURN_CLOCKWISE = 2, TURN_COUNTER = 3 };

/* Largest pen position; longer lines stop growing rather than wrap around. */
#define PEN_LIMIT 0x3FFF0000u

fb_error fb_text_init(fb_text* text, const fb_font* font, const fb_advances* advances) {
    int scan, rotate;
    if (!text || !font || !font->ready) return FB_ERR_ARGUMENT;
    memset(text, 0, sizeof *text);
    text->font = font;
    text->advances = advances && advances->ready ? advances : NULL;
    scan = font->geometry.scan < 0 ? FB_SCAN_ROWS : font->geometry.scan;
    rotate = font->geometry.rotate < 0 ? 0 : font->geometry.rotate;
    if (rotate != 0 && scan != FB_SCAN_ROWS) return FB_ERR_GEOMETRY;
    text->turn = rotate == 1            ? TURN_CLOCKWISE
                 : rotate == 2          ? TURN_COUNTER
                 : scan != FB_SCAN_ROWS ? TURN_TRANSPOSE
                                        : TURN_NONE;
    text->line_height = text->turn == TURN_NONE ? font->geometry.rows : font->geometry.cols;
    text->cell_width = text->turn == TURN_NONE ? font->geometry.cols : font->geometry.rows;
    text->max_level = (1u << font->bpp) - 1u;
    return FB_OK;
}

uint32_t fb_utf8_next(const char* s, size_t len, size_t* used) {
    const unsigned char* p = (const unsigned char*)s;
    uint32_t code, min;
    size_t n, k;
    const unsigned b = p[0];
    *used = 1;
    if (b < 0x80u) return b;
    if ((b & 0xE0u) == 0xC0u) {
        n = 2, code = b & 0x1Fu, min = 0x80u;
    } else if ((b & 0xF0u) == 0xE0u) {
        n = 3, code = b & 0x0Fu, min = 0x800u;
    } else if ((b & 0xF8u) == 0xF0u) {
        n = 4, code = b & 0x07u, min = 0x10000u;
    } else {
        return FB_REPLACEMENT_CHAR;
    }
    for (k = 1; k < n && k < len && (p[k] & 0xC0u) == 0x80u; ++k)
        code = (code << 6) | (p[k] & 0x3Fu);
    *used = k; /* the lead byte and the continuation bytes after it make one character */
    if (k < n || code < min || code > 0x10FFFFu || (code >= 0xD800u && code <= 0xDFFFu))
        return FB_REPLACEMENT_CHAR;
    return code;
}

int fb_glyph_has_ink(const fb_glyph* g) {
    size_t i;
    if (g->compact) return g->box_w != 0 && g->box_h != 0;
    if (g->trimmed) return 1; /* the writer keeps no record for a glyph without ink */
    for (i = 0; i < g->bits_size; ++i)
        if (g->bits[i]) return 1;
    return 0;
}

/* Space characters: the offset-table layout has no record for a glyph without ink, so without
   a width file only these are taken for a blank rather than a missing character. */
static int is_blank(uint32_t c) {
    return c == 0x20u || c == 0xA0u || c == 0x1680u || (c >= 0x2000u && c <= 0x200Bu) ||
           c == 0x202Fu || c == 0x205Fu || c == 0x3000u;
}

/* Where a line may break: spaces other than the no-break ones. */
static int is_break_space(uint32_t c) {
    return c == 0x20u || c == 0x1680u || (c >= 0x2000u && c <= 0x200Bu && c != 0x2007u) ||
           c == 0x205Fu || c == 0x3000u;
}

/* Characters between any two of which a line may break: CJK ideographs and punctuation, kana,
   Hangul, full-width forms. */
static int is_cjk(uint32_t c) {
    return (c >= 0x2E80u && c <= 0x9FFFu) || (c >= 0xAC00u && c <= 0xD7AFu) ||
           (c >= 0xF900u && c <= 0xFAFFu) || (c >= 0xFF00u && c <= 0xFFEFu) ||
           (c >= 0x20000u && c <= 0x3FFFFu);
}

static unsigned box_width(const fb_font* f) {
    return f->font_size / 2 < 3 ? 3 : f->font_size / 2;
}

void fb_text_metrics(const fb_text* t, uint32_t cp, fb_glyph* glyph, fb_char_metrics* m) {
    const fb_font* f = t->font;
    fb_glyph local;
    fb_glyph* g = glyph ? glyph : &local;
    unsigned stored = 0;
    int listed;
    m->found = fb_find_glyph(f, cp, g) == FB_OK;
    m->ink = m->found && fb_glyph_has_ink(g);
    listed = m->found && g->compact && g->advance >= 0; /* a compact file holds every width */
    if (listed) stored = (unsigned)g->advance;
#ifndef FB_NO_ADVANCES
    if (!listed && t->advances) listed = fb_advance(t->advances, f, cp, &stored) == FB_OK;
#endif
    /* In the offset-table layout a character without ink has no record either: the width file
       lists it, else only a space is taken for one. */
    m->missing =
        !m->found && (t->advances ? !listed : f->layout != FB_LAYOUT_OFFSET_TABLE || !is_blank(cp));
    m->ink_right = 0;
    if (m->missing) {
        m->ink_right = box_width(f);
        m->advance = m->ink_right + 1;
    } else if (m->ink) {
        if (g->compact) /* the box lies in the stored cell, whose rows are upright columns */
            m->ink_right = t->turn == TURN_NONE ? g->box_x + g->box_w : g->box_y + g->box_h;
        else /* a trimmed record's extent is in the stored cell, a fixed record's before the
                column transposition */
            m->ink_right = t->turn == TURN_CLOCKWISE || t->turn == TURN_COUNTER ||
                                   (g->trimmed && t->turn == TURN_TRANSPOSE)
                               ? g->extent_y
                               : g->extent_x;
        m->advance = listed ? stored : m->ink_right + 1;
    } else {
        m->advance = listed ? stored : (f->font_size / 3 ? f->font_size / 3 : 1);
    }
}

/* ---- Drawing ------------------------------------------------------------------------------ */

/* base + d, held at INT_MAX rather than wrapping around. */
static int offset(int base, unsigned d) {
    if (base < 0) {
        const unsigned below = (unsigned)(-(base + 1)) + 1u; /* -base, without overflow */
        if (d < below) return base + (int)d;
        d -= below;
        base = 0;
    }
    return d > (unsigned)(INT_MAX - base) ? INT_MAX : base + (int)d;
}

static void emit(const fb_text* t, int x, int y, unsigned level) {
    if (t->pixel) {
        t->pixel(t->user, x, y, level, t->max_level);
    } else if (t->run) {
        const uint8_t one = (uint8_t)level;
        t->run(t->user, x, y, &one, 1, t->max_level);
    }
}

/* One glyph being drawn: where its upright cell lies, and how stored pixels turn. */
typedef struct draw_state {
    const fb_text* t;
    const fb_glyph* g;
    int x, y;
    unsigned mirror; /* counter-clockwise: the stored row of upright column 0 */
    unsigned first;  /* the first stored row with ink, while looking for it */
    int looking;
} draw_state;

/* A stored pixel, turned upright and clipped to the upright cell. */
static void put_stored(const draw_state* d, unsigned sx, unsigned sy, unsigned level) {
    const fb_text* t = d->t;
    unsigned ux = sx, uy = sy;
    switch (t->turn) {
        case TURN_TRANSPOSE:
            ux = sy, uy = sx;
            break;
        case TURN_CLOCKWISE: /* stored (x, y) is upright (column y, row cols - 1 - x) */
            ux = sy, uy = d->g->cols - 1u - sx;
            break;
        case TURN_COUNTER:
            if (sy > d->mirror) return;
            ux = d->mirror - sy, uy = sx;
            break;
        default:
            break;
    }
    if (ux < t->cell_width && uy < t->line_height)
        emit(t, offset(d->x, ux), offset(d->y, uy), level);
}

/* A stored row of levels starting at column sx: as one run when the cell is upright. */
static void put_row(const draw_state* d, unsigned sx, unsigned sy, const uint8_t* levels,
                    unsigned n) {
    unsigned i;
    if (d->t->turn == TURN_NONE && d->t->run) {
        while (n && !levels[n - 1]) --n; /* the zeros at either end are nothing to draw */
        for (i = 0; i < n && !levels[i]; ++i) {
        }
        if (i < n)
            d->t->run(d->t->user, offset(d->x, sx + i), offset(d->y, sy), levels + i, n - i,
                      d->t->max_level);
        return;
    }
    for (i = 0; i < n; ++i)
        if (levels[i]) put_stored(d, sx + i, sy, levels[i]);
}

#ifndef FB_NO_COMPACT
static void compact_row(void* user, unsigned y, const uint8_t* levels, unsigned width) {
    draw_state* d = (draw_state*)user;
    unsigned i;
    if (d->looking) {
        for (i = 0; i < width && d->first == UINT_MAX; ++i)
            if (levels[i]) d->first = d->g->box_y + y;
        return;
    }
    put_row(d, d->g->box_x, d->g->box_y + y, levels, width);
}
#endif

/* The stored rows and columns a record can have ink in. */
static void stored_box(const fb_glyph* g, unsigned* x1, unsigned* y0, unsigned* y1) {
    *x1 = g->cols, *y0 = 0, *y1 = g->rows;
    if (g->trimmed) {
        *x1 = g->extent_x < g->cols ? g->extent_x : g->cols;
        *y0 = g->top_skip;
        *y1 = g->extent_y < g->rows ? g->extent_y : g->rows;
    }
}

static void draw_glyph(const fb_text* t, int x, int y, const fb_glyph* g) {
    draw_state d;
    unsigned sx, sy, x1, y0, y1, n;
    uint8_t chunk[32];
    d.t = t, d.g = g, d.x = x, d.y = y, d.mirror = 0, d.first = UINT_MAX, d.looking = 0;
    if (t->turn == TURN_COUNTER) {
        /* The turned glyph's columns run backwards from its first stored row with ink; the
           file does not say where it was before the turn. */
#ifndef FB_NO_COMPACT
        if (g->compact) {
            d.looking = 1;
            fb_decode_glyph_rows(t->font, g, compact_row, &d);
            d.looking = 0;
        } else
#endif
        {
            for (sy = 0; sy + 1 < g->rows && d.first == UINT_MAX; ++sy)
                for (sx = 0; sx < g->cols; ++sx)
                    if (fb_glyph_pixel(g, sx, sy)) {
                        d.first = sy;
                        break;
                    }
        }
        if (d.first == UINT_MAX || d.first + 1 > g->rows) d.first = g->rows ? g->rows - 1 : 0;
        d.mirror = d.first + (g->compact ? g->box_y + g->box_h : g->extent_y) - 1u;
    }
#ifndef FB_NO_COMPACT
    if (g->compact) {
        fb_decode_glyph_rows(t->font, g, compact_row, &d);
        return;
    }
#endif
    stored_box(g, &x1, &y0, &y1);
    for (sy = y0; sy < y1; ++sy)
        for (sx = 0; sx < x1; sx += n) {
            unsigned i;
            n = x1 - sx < sizeof chunk ? x1 - sx : (unsigned)sizeof chunk;
            for (i = 0; i < n; ++i) chunk[i] = (uint8_t)fb_glyph_pixel(g, sx + i, sy);
            put_row(&d, sx, sy, chunk, n);
        }
}

static void draw_missing_box(const fb_text* t, int x, int y) {
    const unsigned fs = t->font->font_size, w = box_width(t->font), top = fs / 8;
    const unsigned bottom = fs - fs / 8 < 3 ? 3 : fs - fs / 8;
    unsigned bx, by;
    for (by = top; by < bottom; ++by)
        for (bx = 0; bx < w; ++bx)
            if (bx == 0 || bx + 1 == w || by == top || by + 1 == bottom)
                emit(t, offset(x, bx), offset(y, by), t->max_level);
}

/* Draws a character whose metrics are known. */
static void draw_measured(const fb_text* t, int x, int y, uint32_t cp, const fb_glyph* g,
                          const fb_char_metrics* m) {
    if (t->on_char) t->on_char(t->user, cp, x, y, m->missing);
    if (m->missing)
        draw_missing_box(t, x, y);
    else if (m->ink)
        draw_glyph(t, x, y, g);
}

unsigned fb_text_draw_char(const fb_text* t, int x, int y, uint32_t cp) {
    fb_glyph g;
    fb_char_metrics m;
    fb_text_metrics(t, cp, &g, &m);
    draw_measured(t, x, y, cp, &g, &m);
    return m.advance;
}

/* ---- Lines -------------------------------------------------------------------------------- */

static size_t text_length(const char* s, size_t len) {
    return len == FB_TEXT_NUL ? strlen(s) : len;
}

static unsigned wider(unsigned a, unsigned b) {
    return a > b ? a : b;
}

static unsigned add_pen(unsigned pen, unsigned d) {
    return d > PEN_LIMIT - pen ? PEN_LIMIT : pen + d;
}

/* The pen before `cp` when `prev` came before it on the line (0: cp starts the line), moved by
   the kerning for the pair: the width file's when it has pairs, else the compact file's own;
   never left of the line's start. */
static unsigned kern_pen(const fb_text* t, unsigned pen, uint32_t prev, uint32_t cp) {
    int k = 0;
    fb_error err = FB_ERR_NOT_FOUND;
    if (!prev) return pen;
    (void)t, (void)cp;
#ifndef FB_NO_COMPACT
    if (t->font->compact.pair_count) err = fb_compact_kerning(t->font, prev, cp, &k);
#endif
#ifndef FB_NO_ADVANCES
    if (t->advances && t->advances->pair_count) err = fb_kerning(t->advances, prev, cp, &k);
#endif
    if (err != FB_OK) return pen;
    if (k >= 0) return add_pen(pen, (unsigned)k);
    return (unsigned)-k < pen ? pen - (unsigned)-k : 0u;
}

static size_t skip_spaces(const char* s, size_t at, size_t len) {
    size_t used;
    while (at < len && is_break_space(fb_utf8_next(s + at, len - at, &used))) at += used;
    return at;
}

size_t fb_text_line_break(const fb_text* t, const char* s, size_t len, unsigned width, fb_wrap wrap,
                          size_t* next) {
    size_t at = 0, used, chance = 0, dummy;
    unsigned pen = 0;
    uint32_t prev = 0;
    int prev_cjk = 0;
    if (!next) next = &dummy;
    len = text_length(s, len);
    while (at < len) {
        const uint32_t cp = fb_utf8_next(s + at, len - at, &used);
        fb_char_metrics m;
        if (cp == '\n') {
            *next = at + used;
            return at;
        }
        if (wrap == FB_WRAP_WORDS && at > 0 && (is_break_space(cp) || (prev_cjk && is_cjk(cp))))
            chance = at;
        prev_cjk = is_cjk(cp);
        if (width && wrap != FB_WRAP_NONE) {
            fb_text_metrics(t, cp, NULL, &m);
            pen = kern_pen(t, pen, prev, cp);
            if (pen > 0 && (unsigned long)pen + wider(m.advance, m.ink_right) > width) {
                if (wrap == FB_WRAP_WORDS && chance) {
                    *next = skip_spaces(s, chance, len);
                    return chance;
                }
                *next = at;
                return at;
            }
            pen = add_pen(pen, m.advance);
        }
        prev = cp;
        at += used;
    }
    *next = len;
    return len;
}

/* Lays the text out line by line, drawing when `draw` is set. Returns the bytes of the lines
   that fit `max_lines` (0: no limit). */
static size_t layout(const fb_text* t, int x, int y, const char* s, size_t len, unsigned width,
                     fb_wrap wrap, int draw, unsigned max_lines, fb_text_extent* out) {
    fb_text_extent e;
    size_t pos = 0, end, next, at, used;
    e.width = 0, e.lines = 0;
    len = text_length(s, len);
    for (;;) {
        unsigned pen = 0;
        uint32_t prev = 0;
        if (max_lines && e.lines == max_lines) break;
        end = pos + fb_text_line_break(t, s + pos, len - pos, width, wrap, &next);
        next += pos;
        for (at = pos; at < end; at += used) {
            const uint32_t cp = fb_utf8_next(s + at, end - at, &used);
            fb_glyph g;
            fb_char_metrics m;
            fb_text_metrics(t, cp, &g, &m);
            pen = kern_pen(t, pen, prev, cp);
            prev = cp;
            if (draw)
                draw_measured(t, offset(x, pen), offset(y, e.lines * t->line_height), cp, &g, &m);
            e.width = wider(e.width, add_pen(pen, wider(m.advance, m.ink_right)));
            pen = add_pen(pen, m.advance);
        }
        if (e.lines < UINT_MAX / (t->line_height ? t->line_height : 1u)) ++e.lines;
        pos = next;
        /* A text ending in '\n' has one more, empty, line; one ending in spaces at a word break
           has not. */
        if (end >= len || (next >= len && s[end] != '\n')) {
            pos = len;
            break;
        }
    }
    e.height = e.lines * t->line_height;
    if (out) *out = e;
    return pos;
}

void fb_text_measure(const fb_text* t, const char* s, size_t len, unsigned width, fb_wrap wrap,
                     fb_text_extent* out) {
    layout(t, 0, 0, s, len, width, wrap, 0, 0, out);
}

void fb_text_draw(const fb_text* t, int x, int y, const char* s, size_t len, unsigned width,
                  fb_wrap wrap, fb_text_extent* out) {
    layout(t, x, y, s, len, width, wrap, 1, 0, out);
}

size_t fb_text_draw_box(const fb_text* t, int x, int y, unsigned w, unsigned h, const char* s,
                        size_t len) {
    const unsigned lines = t->line_height ? h / t->line_height : 0;
    if (!lines) return 0;
    return layout(t, x, y, s, len, w, FB_WRAP_WORDS, 1, lines, NULL);
}

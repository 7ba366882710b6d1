/*
 * fontbin_text_lines: where lines may break, and the walk that lays a text out in lines (see
 * fontbin_text.h for the rules); fontbin_text.c measures and draws each character.
 *
 * A line is walked once. Each character is looked up when it is measured and drawn as soon as it
 * is known to stay on the line: at once without word wrapping, else at the next place where the
 * line may break, so only the word being measured waits. The characters waiting keep their
 * records in a window on the stack (FB_TEXT_WINDOW of them), which also carries a word pushed to
 * the next line over to it; only a longer word has its later characters looked up again.
 */
#include <stddef.h>
#include <string.h>

#include "fontbin_text_internal.h"

#if FB_TEXT_WINDOW < 1 || FB_TEXT_WINDOW > 16
#error "FB_TEXT_WINDOW must be 1 to 16"
#endif

/* Largest pen position; longer lines stop growing rather than wrap around. */
#define PEN_LIMIT 0x3FFF0000u
#define NO_CHANCE ((size_t)-1)

/* ---- Where lines may break ---------------------------------------------------------------- */

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

/* Kinsoku: characters no line starts with (closing punctuation, small kana, iteration and
   prolonged sound marks, units that follow a number) and characters no line ends with (opening
   brackets, currency signs that precede one). Sorted, for a binary search. */
static const uint16_t no_start[] = {
    0x0021, 0x0025, 0x0029, 0x002C, 0x002E, 0x003A, 0x003B, 0x003F, 0x005D, 0x007D, 0x00B0, 0x00BB,
    0x2010, 0x2013, 0x2019, 0x201D, 0x2025, 0x2026, 0x2030, 0x2032, 0x2033, 0x203A, 0x2103, 0x3001,
    0x3002, 0x3003, 0x3005, 0x3009, 0x300B, 0x300D, 0x300F, 0x3011, 0x3015, 0x3017, 0x3019, 0x301B,
    0x301C, 0x301E, 0x301F, 0x3041, 0x3043, 0x3045, 0x3047, 0x3049, 0x3063, 0x3083, 0x3085, 0x3087,
    0x308E, 0x3095, 0x3096, 0x309B, 0x309C, 0x309D, 0x309E, 0x30A0, 0x30A1, 0x30A3, 0x30A5, 0x30A7,
    0x30A9, 0x30C3, 0x30E3, 0x30E5, 0x30E7, 0x30EE, 0x30F5, 0x30F6, 0x30FB, 0x30FC, 0x30FD, 0x30FE,
    0xFE50, 0xFE51, 0xFE52, 0xFE54, 0xFE55, 0xFE56, 0xFE57, 0xFF01, 0xFF05, 0xFF09, 0xFF0C, 0xFF0E,
    0xFF1A, 0xFF1B, 0xFF1F, 0xFF3D, 0xFF5D, 0xFF60, 0xFF61, 0xFF63, 0xFF64, 0xFF65, 0xFF67, 0xFF68,
    0xFF69, 0xFF6A, 0xFF6B, 0xFF6C, 0xFF6D, 0xFF6E, 0xFF6F, 0xFF70, 0xFFE0};
static const uint16_t no_end[] = {0x0024, 0x0028, 0x005B, 0x007B, 0x00A3, 0x00A5, 0x00AB,
                                  0x2018, 0x201C, 0x2039, 0x3008, 0x300A, 0x300C, 0x300E,
                                  0x3010, 0x3014, 0x3016, 0x3018, 0x301A, 0x301D, 0xFF04,
                                  0xFF08, 0xFF3B, 0xFF5B, 0xFF5F, 0xFF62, 0xFFE1, 0xFFE5};

static int listed(const uint16_t* list, unsigned n, uint32_t c) {
    unsigned lo = 0, hi = n;
    if (c > 0xFFFFu || c < list[0]) return 0;
    while (lo < hi) {
        const unsigned mid = (lo + hi) / 2u;
        if (list[mid] == c) return 1;
        if (list[mid] < c)
            lo = mid + 1u;
        else
            hi = mid;
    }
    return 0;
}

#define COUNT(a) (unsigned)(sizeof(a) / sizeof((a)[0]))

/* Whether kinsoku lets a line end between `prev` and `c`. */
static int kinsoku_allows(uint32_t prev, uint32_t c) {
    return !listed(no_start, COUNT(no_start), c) && !listed(no_end, COUNT(no_end), prev);
}

/* Whether FB_WRAP_WORDS may end a line before `c`, after `prev` (0: c starts the line) and
   `prev2` before it; `allowed` is kinsoku_allows(prev, c). */
static int may_break(uint32_t prev2, uint32_t prev, uint32_t c, int allowed) {
    if (!prev || is_break_space(prev)) return 0;
    if (is_break_space(c)) return 1; /* before the first space of a run */
    if (!allowed) return 0;
    if (prev == 0x2Du || prev == 0x2010u) /* a hyphen inside a word, not before a number */
        return prev2 && !is_break_space(prev2) && !(c >= 0x30u && c <= 0x39u);
    return is_cjk(prev) || is_cjk(c);
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

/* A character measured on the current line and not drawn yet. */
typedef struct waiting {
    size_t at;
    unsigned pen;
    fbi_measured r;
} waiting;

/* One walk over lines of a text. `window` holds the characters measured and not drawn, in text
   order; `draw` is 0 when only measuring. */
typedef struct walk {
    const fb_text* t;
    const char* s;
    size_t len;
    unsigned width;
    fb_wrap wrap;
    int draw, x, y;
    int measure_all; /* metrics even where no width asks for them (for the extent) */
    unsigned held, capacity;
    fbi_measured scratch; /* a character not held: the one measured, or one drawn again */
    waiting window[FB_TEXT_WINDOW];
} walk;

static waiting* held_at(walk* w, size_t at) {
    unsigned i;
    for (i = 0; i < w->held; ++i)
        if (w->window[i].at == at) return &w->window[i];
    return NULL;
}

/* Forgets the characters before `at`. */
static void release(walk* w, size_t at) {
    unsigned i = 0, k;
    while (i < w->held && w->window[i].at < at) ++i;
    if (!i) return;
    for (k = 0; i + k < w->held; ++k) w->window[k] = w->window[i + k];
    w->held = k;
}

/* Draws the characters in [from, to), the first at `pen` after `prev`: from the window, or
   looked up again when the window had no room for them. */
static void draw_span(walk* w, size_t from, size_t to, unsigned pen, uint32_t prev) {
    size_t at, used;
    for (at = from; at < to; at += used) {
        const uint32_t cp = fb_utf8_next(w->s + at, to - at, &used);
        waiting* h = held_at(w, at);
        fbi_measured* r = h ? &h->r : &w->scratch;
        if (h) {
            pen = h->pen;
        } else {
            fbi_text_measure(w->t, cp, r);
            pen = kern_pen(w->t, pen, prev, cp);
        }
        fbi_text_draw_measured(w->t, fbi_text_offset(w->x, pen), w->y, cp, r);
        pen = add_pen(pen, r->m.advance);
        prev = cp;
    }
    release(w, to);
}

/* Walks the line starting at `start`: returns where it ends, in *next where the following one
   starts, and in *extent its width; draws it when w->draw is set. */
static size_t walk_line(walk* w, size_t start, size_t* next, unsigned* extent) {
    const fb_text* t = w->t;
    const int wrapping = w->width && w->wrap != FB_WRAP_NONE;
    const int words = wrapping && w->wrap == FB_WRAP_WORDS;
    size_t at = start, used, chance = NO_CHANCE, from = start, cut = NO_CHANCE;
    unsigned pen = 0, ext = 0, chance_ext = 0, from_pen = 0, cut_ext = 0;
    uint32_t prev = 0, prev2 = 0, from_prev = 0;
    while (at < w->len) {
        const uint32_t cp = fb_utf8_next(w->s + at, w->len - at, &used);
        fbi_measured* r = &w->scratch;
        waiting* h;
        unsigned kpen;
        if (cp == '\n') {
            *next = at + used;
            break;
        }
        if (words && prev) {
            const int allowed = kinsoku_allows(prev, cp);
            if (allowed) cut = at, cut_ext = ext;
            if (may_break(prev2, prev, cp, allowed)) {
                /* What comes before stays on this line whatever follows. */
                chance = at, chance_ext = ext;
                if (w->draw) draw_span(w, from, at, from_pen, from_prev);
                from = at, from_pen = pen, from_prev = prev;
            }
        }
        if (wrapping || w->measure_all) {
            h = held_at(w, at);
            if (!h && words && w->draw && w->held < w->capacity) {
                h = &w->window[w->held++];
                h->at = at;
                fbi_text_measure(t, cp, &h->r);
            } else if (!h) {
                fbi_text_measure(t, cp, r);
            }
            if (h) r = &h->r;
            kpen = kern_pen(t, pen, prev, cp);
            if (wrapping && kpen > 0 &&
                (unsigned long)kpen + wider(r->m.advance, r->m.ink_right) > w->width) {
                if (words && chance != NO_CHANCE) {
                    /* The word moves to the next line, the spaces before it dropped. */
                    *next = skip_spaces(w->s, chance, w->len);
                    *extent = chance_ext;
                    release(w, *next);
                    return chance;
                }
                /* A word wider than the line: cut where kinsoku lets it, else before cp. */
                if (cut != NO_CHANCE) at = cut, ext = cut_ext;
                if (w->draw) draw_span(w, from, at, from_pen, from_prev);
                *next = at;
                *extent = ext;
                return at;
            }
            if (h) h->pen = kpen;
            if (w->draw && !words)
                fbi_text_draw_measured(t, fbi_text_offset(w->x, kpen), w->y, cp, r);
            ext = wider(ext, add_pen(kpen, wider(r->m.advance, r->m.ink_right)));
            pen = add_pen(kpen, r->m.advance);
            if (w->draw && !words) from = at + used, from_pen = pen, from_prev = cp;
        }
        prev2 = prev, prev = cp;
        at += used;
    }
    if (at >= w->len) *next = w->len;
    if (w->draw) draw_span(w, from, at, from_pen, from_prev);
    *extent = ext;
    return at;
}

size_t fb_text_line_break(const fb_text* t, const char* s, size_t len, unsigned width, fb_wrap wrap,
                          size_t* next) {
    walk w;
    size_t dummy;
    unsigned extent;
    memset(&w, 0, offsetof(walk, scratch)); /* (the characters need no clearing) */
    w.t = t, w.s = s, w.len = text_length(s, len), w.width = width, w.wrap = wrap;
    return walk_line(&w, 0, next ? next : &dummy, &extent);
}

/* Lays the text out line by line, drawing when `draw` is set. Returns the bytes of the lines
   that fit `max_lines` (0: no limit). */
static size_t layout(const fb_text* t, int x, int y, const char* s, size_t len, unsigned width,
                     fb_wrap wrap, int draw, unsigned max_lines, fb_text_extent* out) {
    fb_text_extent e;
    walk w;
    size_t pos = 0, end, next;
    unsigned extent;
    e.width = 0, e.lines = 0;
    memset(&w, 0, offsetof(walk, scratch)); /* (the characters need no clearing) */
    w.t = t, w.s = s, w.len = text_length(s, len), w.width = width, w.wrap = wrap;
    w.draw = draw, w.x = x, w.measure_all = 1, w.capacity = FB_TEXT_WINDOW;
    for (;;) {
        if (max_lines && e.lines == max_lines) break;
        w.y = fbi_text_offset(y, e.lines * t->line_height);
        end = walk_line(&w, pos, &next, &extent);
        e.width = wider(e.width, extent);
        if (e.lines < UINT_MAX / (t->line_height ? t->line_height : 1u)) ++e.lines;
        pos = next;
        /* A text ending in '\n' has one more, empty, line; one ending in spaces at a word break
           has not. */
        if (end >= w.len || (next >= w.len && s[end] != '\n')) {
            pos = w.len;
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

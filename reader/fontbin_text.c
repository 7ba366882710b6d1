/*
 * fontbin_text: see fontbin_text.h for the layout rules.
 *
 * A line is walked once. Each character is looked up when it is measured and drawn as soon as it
 * is known to stay on the line: at once without word wrapping, else at the next place where the
 * line may break, so only the word being measured waits. The characters waiting keep their
 * records in a window on the stack (FB_TEXT_WINDOW of them), which also carries a word pushed to
 * the next line over to it; only a longer word has its later characters looked up again.
 */
#include "fontbin_text.h"

#include <limits.h>
#include <stddef.h>
#include <string.h>

#if defined(FB_ONLY_COMPACT) && !defined(FB_NO_ADVANCES)
#define FB_NO_ADVANCES
#endif
#if FB_TEXT_WINDOW < 1 || FB_TEXT_WINDOW > 16
#error "FB_TEXT_WINDOW must be 1 to 16"
#endif

/* How the stored (packed) cell turns upright. */
enum { TURN_NONE = 0, TURN_TRANSPOSE = 1, TURN_CLOCKWISE = 2, TURN_COUNTER = 3 };

/* Largest pen position; longer lines stop growing rather than wrap around. */
#define PEN_LIMIT 0x3FFF0000u
#define NO_CHANCE ((size_t)-1)

fb_error fb_text_init(fb_text* text, const fb_font* font, const fb_advances* advances) {
    int scan, rotate;
    if (!text || !font || !font->ready) return FB_ERR_ARGUMENT;
    memset(text, 0, sizeof *text);
    text->font = font;
    text->advances = advances && advances->ready ? advances : NULL;
    scan = font->geometry.scan < 0 ? FB_SCAN_ROWS : font->geometry.scan;
    rotate = font->geometry.rotate < 0 ? 0 : font->geometry.rotate;
    if (rotate != 0 && scan != FB_SCAN_ROWS) return FB_ERR_UNSUPPORTED;
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

/* ---- Where lines may break ---------------------------------------------------------------- */

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

/* ---- Measuring ---------------------------------------------------------------------------- */

static unsigned box_width(const fb_font* f) {
    return f->font_size / 2 < 3 ? 3 : f->font_size / 2;
}

void fb_text_metrics(const fb_text* t, uint32_t cp, fb_glyph* glyph, fb_char_metrics* m) {
    const fb_font* f = t->font;
    fb_glyph local;
    fb_glyph* g = glyph ? glyph : &local;
    unsigned stored = 0;
    int listed_width;
    m->found = fb_find_glyph(f, cp, g) == FB_OK;
    m->ink = m->found && fb_glyph_has_ink(g);
    listed_width = m->found && g->compact && g->advance >= 0; /* a compact file holds them */
    if (listed_width) stored = (unsigned)g->advance;
#ifndef FB_NO_ADVANCES
    if (!listed_width && t->advances) {
        const fb_advances* a = t->advances;
        /* The fixed layouts number their glyphs as the width file does: no second lookup. */
        if (m->found && !a->code_points && g->number < a->count)
            stored = a->widths[g->number], listed_width = 1;
        else
            listed_width = fb_advance(a, f, cp, &stored) == FB_OK;
    }
#endif
    /* In the offset-table layout a character without ink has no record either: the width file
       lists it, else only a space is taken for one. */
    m->missing = !m->found && (t->advances ? !listed_width
                                           : f->layout != FB_LAYOUT_OFFSET_TABLE || !is_blank(cp));
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
        m->advance = listed_width ? stored : m->ink_right + 1;
    } else {
        m->advance = listed_width ? stored : (f->font_size / 3 ? f->font_size / 3 : 1);
    }
}

/* ---- Glyph cache -------------------------------------------------------------------------- */

typedef struct slot {
    uint32_t cp; /* SLOT_EMPTY when free */
    uint16_t advance, ink_right, mirror;
    uint16_t box_x, box_y, box_w, box_h; /* the stored rows kept, packed after the head */
    uint8_t flags;
} slot;
#define SLOT_EMPTY 0xFFFFFFFFu
#define SLOT_FOUND 1u
#define SLOT_INK 2u
#define SLOT_MISSING 4u
#define SLOT_HEAD ((sizeof(slot) + 3u) & ~(size_t)3u)

size_t fb_text_cache_slot_bytes(const fb_text* t) {
    const fb_geometry* g;
    if (!t || !t->font) return 0;
    g = &t->font->geometry;
    return (SLOT_HEAD + (size_t)g->rows * (((size_t)g->cols * t->font->bpp + 7u) / 8u) + 3u) &
           ~(size_t)3u;
}

fb_error fb_text_set_cache(fb_text* t, void* memory, size_t bytes) {
    size_t each, skip, n = 1;
    unsigned i;
    if (!t || !t->font) return FB_ERR_ARGUMENT;
    t->cache = NULL, t->cache_slots = 0;
    if (!memory || !bytes || t->font->layout != FB_LAYOUT_COMPACT) return FB_OK;
    each = fb_text_cache_slot_bytes(t);
    skip = (size_t)(-(uintptr_t)memory & 3u); /* the slots start on a multiple of 4 */
    if (bytes < skip || (bytes - skip) / each == 0 || each > UINT_MAX) return FB_ERR_ARGUMENT;
    while (n * 2u <= (bytes - skip) / each && n < 0x8000u) n *= 2u;
    t->cache = (uint8_t*)memory + skip;
    t->cache_slots = (unsigned)n;
    t->cache_slot_bytes = (unsigned)each;
    t->cache_row_bytes = (t->font->geometry.cols * t->font->bpp + 7u) / 8u;
    for (i = 0; i < n; ++i) ((slot*)(void*)(t->cache + (size_t)i * each))->cp = SLOT_EMPTY;
    return FB_OK;
}

/* The slot of a code point, whatever it holds now; null without a cache. */
static slot* slot_for(const fb_text* t, uint32_t cp) {
    if (!t->cache_slots) return NULL;
    return (slot*)(void*)(t->cache + (size_t)(((cp * 0x9E3779B1u) >> 16) & (t->cache_slots - 1u)) *
                                         t->cache_slot_bytes);
}

/* ---- One character: measured, then drawn -------------------------------------------------- */

typedef struct measured {
    fb_char_metrics m;
    const slot* cached; /* its glyph in the cache (check cp: a slot may be reused since) */
    int looked_up;      /* g holds its record */
    fb_glyph g;
} measured;

static void measure(const fb_text* t, uint32_t cp, measured* r) {
    const slot* s = slot_for(t, cp);
    r->looked_up = 0;
    r->cached = NULL;
    if (s && s->cp == cp) {
        r->cached = s;
        r->m.found = (s->flags & SLOT_FOUND) != 0;
        r->m.ink = (s->flags & SLOT_INK) != 0;
        r->m.missing = (s->flags & SLOT_MISSING) != 0;
        r->m.advance = s->advance;
        r->m.ink_right = s->ink_right;
        return;
    }
    fb_text_metrics(t, cp, &r->g, &r->m);
    r->looked_up = 1;
}

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

/* One glyph being drawn: where its upright cell lies, how stored pixels turn, and where they
   go besides the callbacks (page columns, a cache slot). */
typedef struct painter {
    const fb_text* t;
    int x, y;
    unsigned mirror; /* counter-clockwise: the stored row of upright column 0 */
    unsigned cols;   /* stored cell columns */
    uint8_t* pages;  /* page columns of the upright cell, or null */
    unsigned page_shift, page_count;
    uint8_t* fill; /* the cache slot's rows being written, or null */
    unsigned fill_y, fill_w;
    int fast;   /* x + cell width and y + line height stay below INT_MAX */
    int direct; /* upright, fast, to the pixel callback: no turning, no clipping, no gathering */
    int paged;  /* upright, into the page columns */
} painter;

/* x or y + d: plain addition when the cell cannot reach past INT_MAX from there. */
#define AT(p, base, d) ((p)->fast ? (base) + (int)(d) : offset((base), (d)))

/* The page holding row y (rounded down: -1 for rows -8 .. -1). */
static int page_of(int y) {
    return y >= 0 ? y / 8 : -1 - (-(y + 1)) / 8;
}

static void emit(const painter* p, unsigned ux, unsigned uy, unsigned level) {
    const fb_text* t = p->t;
    if (t->page) {
        const unsigned r = p->page_shift + uy;
        if (level * 2u <= t->max_level) return; /* no ink on a one-bit display */
        if (p->pages && ux < t->cell_width && uy < t->line_height) {
            p->pages[(r >> 3) * t->cell_width + ux] |= (uint8_t)(1u << (r & 7u));
        } else { /* not gathered (a glyph too large, a box past the cell): a byte of its own */
            const int y = offset(p->y, uy), page = page_of(y);
            const uint8_t bit = (uint8_t)(1u << (unsigned)(y - page * 8));
            t->page(t->user, offset(p->x, ux), page, &bit, 1);
        }
    } else if (t->pixel) {
        t->pixel(t->user, AT(p, p->x, ux), AT(p, p->y, uy), level, t->max_level);
    } else if (t->run) {
        const uint8_t one = (uint8_t)level;
        t->run(t->user, AT(p, p->x, ux), AT(p, p->y, uy), &one, 1, t->max_level);
    }
}

/* A stored pixel with ink, turned upright and clipped to the cell. */
static void put_pixel(const painter* p, unsigned sx, unsigned sy, unsigned level) {
    const fb_text* t = p->t;
    unsigned ux = sx, uy = sy;
    if (t->turn == TURN_TRANSPOSE) {
        ux = sy, uy = sx;
    } else if (t->turn == TURN_CLOCKWISE) { /* stored (x, y) is upright (y, cols - 1 - x) */
        ux = sy, uy = p->cols - 1u - sx;
    } else if (t->turn == TURN_COUNTER) {
        if (sy > p->mirror) return;
        ux = p->mirror - sy, uy = sx;
    }
    if (ux < t->cell_width && uy < t->line_height) emit(p, ux, uy, level);
}

/* Whether stored rows go to the run callback whole (else pixel by pixel). */
static int by_runs(const painter* p) {
    return p->t->turn == TURN_NONE && p->t->run && !p->t->page;
}

/* A stored row of levels starting at column sx. */
static void put_row(const painter* p, unsigned sx, unsigned sy, const uint8_t* levels, unsigned n) {
    const fb_text* t = p->t;
    unsigned i = 0;
    if (by_runs(p)) {
        if (sy >= t->line_height || sx >= t->cell_width) return;
        if (n > t->cell_width - sx) n = t->cell_width - sx;
        while (n && !levels[n - 1]) --n; /* the zeros at either end are nothing to draw */
        while (i < n && !levels[i]) ++i;
        if (i < n)
            t->run(t->user, AT(p, p->x, sx + i), AT(p, p->y, sy), levels + i, n - i, t->max_level);
        return;
    }
    if (p->direct && sy < t->line_height && sx <= t->cell_width && n <= t->cell_width - sx) {
        const int x = p->x + (int)sx, y = p->y + (int)sy;
        for (; i < n; ++i)
            if (levels[i]) t->pixel(t->user, x + (int)i, y, levels[i], t->max_level);
        return;
    }
    if (p->paged && sy < t->line_height && sx <= t->cell_width && n <= t->cell_width - sx) {
        const unsigned r = p->page_shift + sy;
        uint8_t* col = p->pages + (r >> 3) * t->cell_width + sx;
        const uint8_t bit = (uint8_t)(1u << (r & 7u));
        for (; i < n; ++i)
            if (levels[i] * 2u > t->max_level) col[i] |= bit;
        return;
    }
    for (; i < n; ++i)
        if (levels[i]) put_pixel(p, sx + i, sy, levels[i]);
}

/* A stored row on its way: into the cache slot being filled, then drawn. */
static void sink_row(painter* p, unsigned sx, unsigned sy, const uint8_t* levels, unsigned n) {
    if (p->fill) {
        const unsigned bpp = p->t->font->bpp;
        uint8_t* out = p->fill + (size_t)(sy - p->fill_y) * p->t->cache_row_bytes;
        unsigned i, k;
        memset(out, 0, p->t->cache_row_bytes);
        for (i = 0; i < n && i < p->fill_w; ++i) {
            k = i * bpp;
            out[k >> 3] = (uint8_t)(out[k >> 3] | levels[i] << (k & 7u));
        }
    }
    put_row(p, sx, sy, levels, n);
}

/* log2 of a depth of 1, 2, 4 or 8: no division where a core may have no divider (Cortex-M0+). */
#define LOG2(bpp) ((bpp) >> 1 > 2u ? 3u : (bpp) >> 1)

/* n levels of `bpp` bits from p, the first at bit `shift` of p[0], lowest bits first. Reads only
   the bytes that hold them. */
static void unpack(const uint8_t* p, unsigned shift, unsigned bpp, unsigned n, uint8_t* out) {
    const unsigned mask = (1u << bpp) - 1u, per_byte = 8u >> LOG2(bpp);
    unsigned byte = (unsigned)*p >> shift, left = (8u - shift) >> LOG2(bpp);
    for (;;) {
        unsigned k = left < n ? left : n;
        n -= k;
        if (!byte)
            for (; k; --k) *out++ = 0;
        else
            for (; k; --k, byte >>= bpp) *out++ = (uint8_t)(byte & mask);
        if (!n) return;
        byte = *++p;
        left = per_byte;
    }
}

/* The pixels with ink of n levels packed as `unpack` reads them, drawn from (sx, sy) on: no
   row of levels in between, and a byte without ink is passed over whole. An upright cell
   drawn pixel by pixel calls the pixel callback straight away. */
static void put_packed(const painter* p, const uint8_t* src, unsigned shift, unsigned bpp,
                       unsigned n, unsigned sx, unsigned sy) {
    const fb_text* t = p->t;
    const unsigned mask = (1u << bpp) - 1u, per_byte = 8u >> LOG2(bpp);
    const int direct =
        p->direct && sy < t->line_height && sx <= t->cell_width && n <= t->cell_width - sx;
    const int y = direct ? p->y + (int)sy : 0;
    unsigned byte = (unsigned)*src >> shift, left = (8u - shift) >> LOG2(bpp);
    for (;;) {
        const unsigned k = left < n ? left : n;
        unsigned i;
        if (k * bpp < 8u) byte &= (1u << (k * bpp)) - 1u; /* (the rest is the next row's) */
        if (direct)
            for (i = sx; byte; ++i, byte >>= bpp) {
                if (byte & mask) t->pixel(t->user, p->x + (int)i, y, byte & mask, t->max_level);
            }
        else
            for (i = sx; byte; ++i, byte >>= bpp)
                if (byte & mask) put_pixel(p, i, sy, byte & mask);
        n -= k, sx += k;
        if (!n) return;
        byte = *++src;
        left = per_byte;
    }
}

/* Rows of packed levels: `rows` rows `stride` bytes apart from `bits` (or, with stride 0, one
   stream of rows `w` levels long), drawn as stored rows from (sx, sy). */
static void packed_rows(painter* p, const uint8_t* bits, size_t stride, unsigned sx, unsigned sy,
                        unsigned w, unsigned rows) {
    const unsigned bpp = p->t->font->bpp;
    const int levels = p->fill || by_runs(p);
    uint8_t row[64];
    unsigned y, x, n;
    for (y = 0; y < rows; ++y) {
        const size_t bit = stride ? (size_t)y * stride * 8u : (size_t)y * w * bpp;
        if (!levels) {
            put_packed(p, bits + bit / 8u, (unsigned)(bit % 8u), bpp, w, sx, sy + y);
            continue;
        }
        for (x = 0; x < w; x += n) {
            const size_t at = bit + (size_t)x * bpp;
            n = w - x < sizeof row ? w - x : (unsigned)sizeof row;
            unpack(bits + at / 8u, (unsigned)(at % 8u), bpp, n, row);
            sink_row(p, sx + x, sy + y, row, n);
        }
    }
}

#ifndef FB_NO_COMPACT
typedef struct compact_sink {
    painter* p;
    const fb_glyph* g;
} compact_sink;

static void compact_row(void* user, unsigned y, const uint8_t* levels, unsigned width) {
    const compact_sink* c = (const compact_sink*)user;
    sink_row(c->p, c->g->box_x, c->g->box_y + y, levels, width);
}
#endif

/* The first stored row with ink (the last row when none has): where a counter-clockwise
   turn's columns start. */
static unsigned first_ink_row(const fb_glyph* g) {
    size_t i = 0, bit;
    unsigned b;
    if (g->compact || g->trimmed) return g->box_y;
    while (i < g->bits_size && !g->bits[i]) ++i;
    if (i == g->bits_size) return g->rows - 1u;
    for (b = g->bits[i], bit = i * 8u; !(b & 1u); b >>= 1) ++bit;
    bit = bit / g->bpp / g->cols;
    return bit < g->rows - 1u ? (unsigned)bit : g->rows - 1u;
}

static void draw_glyph(painter* p, const fb_glyph* g, slot* s) {
    const fb_text* t = p->t;
    p->cols = g->cols;
    if (t->turn == TURN_COUNTER) {
        /* The turned glyph's columns run backwards from its first stored row with ink; the
           file does not say where it was before the turn. */
        p->mirror = first_ink_row(g) + (g->compact ? g->box_y + g->box_h : g->extent_y) - 1u;
    }
#ifndef FB_NO_COMPACT
    if (g->compact) {
        compact_sink c;
        /* (The slot's rows hold a box as large as the cell: any glyph's.) */
        if (s && g->box_h <= g->rows && g->box_w <= g->cols) {
            s->box_x = (uint16_t)g->box_x, s->box_y = (uint16_t)g->box_y;
            s->box_w = (uint16_t)g->box_w, s->box_h = (uint16_t)g->box_h;
            s->mirror = (uint16_t)p->mirror;
            p->fill = (uint8_t*)s + SLOT_HEAD;
            p->fill_y = g->box_y;
            p->fill_w = g->box_w;
        }
        c.p = p, c.g = g;
        if ((fb_decode_glyph_rows(t->font, g, compact_row, &c) != FB_OK || !p->fill) && s)
            s->cp = SLOT_EMPTY;
        return;
    }
#endif
    (void)s; /* (only a compact font has a cache) */
    /* fb_open saw every record inside the file and inside the cell. */
    if (g->trimmed)
        packed_rows(p, g->bits, g->row_bytes, 0, g->top_skip, g->extent_x, g->stored_rows);
    else
        packed_rows(p, g->bits, 0, 0, 0, g->cols, g->rows);
}

static void draw_missing_box(const painter* p) {
    const fb_font* f = p->t->font;
    const unsigned fs = f->font_size, w = box_width(f), top = fs / 8;
    const unsigned bottom = fs - fs / 8 < 3 ? 3 : fs - fs / 8;
    unsigned bx, by;
    for (by = top; by < bottom; ++by)
        for (bx = 0; bx < w; ++bx)
            if (bx == 0 || bx + 1 == w || by == top || by + 1 == bottom)
                emit(p, bx, by, p->t->max_level);
}

/* Sends the gathered page columns, a run per page from its first to its last inked column. */
static void flush_pages(const painter* p) {
    const fb_text* t = p->t;
    const int page0 = page_of(p->y);
    unsigned k, a, b;
    for (k = 0; k < p->page_count; ++k) {
        const uint8_t* cols = p->pages + (size_t)k * t->cell_width;
        for (b = t->cell_width; b && !cols[b - 1]; --b) {
        }
        for (a = 0; a < b && !cols[a]; ++a) {
        }
        if (a < b) t->page(t->user, offset(p->x, a), page0 + (int)k, cols + a, b - a);
    }
}

/* Puts a character's metrics in its cache slot (its pixels follow for a glyph with ink), so that
   measuring it again needs no lookup; returns the slot, or null. */
static slot* remember(const fb_text* t, uint32_t cp, const fb_char_metrics* m) {
    slot* s = slot_for(t, cp);
    if (!s || m->advance > 0xFFFFu || m->ink_right > 0xFFFFu) return NULL;
    s->cp = cp;
    s->flags = (uint8_t)((m->found ? SLOT_FOUND : 0u) | (m->ink ? SLOT_INK : 0u) |
                         (m->missing ? SLOT_MISSING : 0u));
    s->advance = (uint16_t)m->advance;
    s->ink_right = (uint16_t)m->ink_right;
    return s;
}

/* Draws a measured character with its upright cell's top-left corner at (x, y). */
static void draw_measured(const fb_text* t, int x, int y, uint32_t cp, measured* r) {
    painter p;
    uint8_t pages[FB_TEXT_PAGE_BYTES];
    if (t->on_char) t->on_char(t->user, cp, x, y, r->m.missing);
    if (!r->m.ink && !r->cached) remember(t, cp, &r->m);
    if (!r->m.missing && !r->m.ink) return;
    memset(&p, 0, sizeof p);
    p.t = t, p.x = x, p.y = y;
    p.fast = x <= INT_MAX - (int)t->cell_width && y <= INT_MAX - (int)t->line_height;
    if (t->page) {
        p.page_shift = (unsigned)(y - page_of(y) * 8);
        p.page_count = (p.page_shift + t->line_height + 7u) / 8u;
        if ((size_t)p.page_count * t->cell_width <= sizeof pages) {
            p.pages = pages;
            memset(pages, 0, (size_t)p.page_count * t->cell_width);
        }
    }
    p.direct = p.fast && t->turn == TURN_NONE && t->pixel && !t->page;
    p.paged = p.pages && t->turn == TURN_NONE;
    if (r->m.missing) {
        draw_missing_box(&p);
    } else if (r->cached && r->cached->cp == cp) {
        const slot* c = r->cached;
        p.cols = t->font->geometry.cols;
        p.mirror = c->mirror;
        packed_rows(&p, (const uint8_t*)c + SLOT_HEAD, t->cache_row_bytes, c->box_x, c->box_y,
                    c->box_w, c->box_h);
    } else {
        if (!r->looked_up) {
            fb_text_metrics(t, cp, &r->g, &r->m); /* its slot was taken since it was measured */
            r->looked_up = 1;
        }
        if (r->m.ink) draw_glyph(&p, &r->g, remember(t, cp, &r->m));
    }
    if (p.pages) flush_pages(&p);
}

unsigned fb_text_draw_char(const fb_text* t, int x, int y, uint32_t cp) {
    measured r;
    measure(t, cp, &r);
    draw_measured(t, x, y, cp, &r);
    return r.m.advance;
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
    measured r;
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
    measured scratch; /* a character not held: the one measured, or one drawn again */
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
        measured* r = h ? &h->r : &w->scratch;
        if (h) {
            pen = h->pen;
        } else {
            measure(w->t, cp, r);
            pen = kern_pen(w->t, pen, prev, cp);
        }
        draw_measured(w->t, offset(w->x, pen), w->y, cp, r);
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
        measured* r = &w->scratch;
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
                measure(t, cp, &h->r);
            } else if (!h) {
                measure(t, cp, r);
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
            if (w->draw && !words) draw_measured(t, offset(w->x, kpen), w->y, cp, r);
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
        w.y = offset(y, e.lines * t->line_height);
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

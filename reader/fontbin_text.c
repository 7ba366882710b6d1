/*
 * fontbin_text: see fontbin_text.h for the layout rules. This half measures and draws one
 * character (its cell turned upright, through the glyph cache); fontbin_text_lines.c lays
 * characters out in lines.
 */
#include <stddef.h>
#include <string.h>

#include "fb_internal.h"
#include "fontbin_text_internal.h"

/* How the stored (packed) cell turns upright. */
enum { TURN_NONE = 0, TURN_TRANSPOSE = 1, TURN_CLOCKWISE = 2, TURN_COUNTER = 3 };

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
        if (fbi_glyph_byte(g, i)) return 1;
    return 0;
}

/* Space characters: the offset-table layout has no record for a glyph without ink, so without
   a width file only these are taken for a blank rather than a missing character. */
static int is_blank(uint32_t c) {
    return c == 0x20u || c == 0xA0u || c == 0x1680u || (c >= 0x2000u && c <= 0x200Bu) ||
           c == 0x202Fu || c == 0x205Fu || c == 0x3000u;
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
        if (m->found && !FBI_ADV_LISTED(a) && g->number < a->count && FBI_IN_MEMORY(a->widths))
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

typedef struct fbi_text_slot {
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

void fbi_text_measure(const fb_text* t, uint32_t cp, fbi_measured* r) {
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
#ifdef FB_READ_CALLBACK
    const fb_glyph* glyph; /* the glyph drawn, for a font read by command */
#endif
} painter;

/* x or y + d: plain addition when the cell cannot reach past INT_MAX from there. */
#define AT(p, base, d) ((p)->fast ? (base) + (int)(d) : fbi_text_offset((base), (d)))

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
            const int y = fbi_text_offset(p->y, uy), page = page_of(y);
            const uint8_t bit = (uint8_t)(1u << (unsigned)(y - page * 8));
            t->page(t->user, fbi_text_offset(p->x, ux), page, &bit, 1);
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
   stream of rows `w` levels long), drawn as stored rows from (sx, sy). `bits` is null for a
   glyph of a font read by command (p->glyph). */
static void packed_rows(painter* p, const uint8_t* bits, size_t stride, unsigned sx, unsigned sy,
                        unsigned w, unsigned rows) {
    const unsigned bpp = p->t->font->bpp;
    const int levels =
        p->fill || by_runs(p) || !FBI_IN_MEMORY(bits); /* (read by command: a piece at a time) */
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
#ifdef FB_READ_CALLBACK
            if (!bits) {
                /* The bytes of these n levels, read through the window. */
                const size_t len = ((at % 8u) + (size_t)n * bpp + 7u) / 8u;
                const fb_glyph* g = p->glyph;
                unpack(fbi_flash_at(g->flash, g->offset + FB_RECORD_METRIC_BYTES + at / 8u, len),
                       (unsigned)(at % 8u), bpp, n, row);
            } else
#endif
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
    while (i < g->bits_size && !fbi_glyph_byte(g, i)) ++i;
    if (i == g->bits_size) return g->rows - 1u;
    for (b = fbi_glyph_byte(g, i), bit = i * 8u; !(b & 1u); b >>= 1) ++bit;
    bit = bit / g->bpp / g->cols;
    return bit < g->rows - 1u ? (unsigned)bit : g->rows - 1u;
}

static void draw_glyph(painter* p, const fb_glyph* g, slot* s) {
    const fb_text* t = p->t;
    p->cols = g->cols;
    if (t->turn == TURN_COUNTER) {
        /* The turned glyph's columns run backwards from its first stored row with ink. A fixed
           or trimmed record does not say where the bitmap began before the turn (a glyph whose
           bitmap ends in blank columns lands that many columns right); a compact box is made
           to share the bitmap's middle, so there the placement is exact. */
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
#ifdef FB_READ_CALLBACK
    p->glyph = g;
#endif
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
        if (a < b) t->page(t->user, fbi_text_offset(p->x, a), page0 + (int)k, cols + a, b - a);
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

void fbi_text_draw_measured(const fb_text* t, int x, int y, uint32_t cp, fbi_measured* r) {
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
    fbi_measured r;
    fbi_text_measure(t, cp, &r);
    fbi_text_draw_measured(t, x, y, cp, &r);
    return r.m.advance;
}

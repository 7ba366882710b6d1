/*
 * fb_decode: a glyph's pixels. The records of the fixed and trimmed layouts are read pixel by
 * pixel; a compact glyph's code runs through the arithmetic decoder, by the portable loop below
 * that takes every depth and template, or by the faster copies of fb_decode_fast.c.
 */
#include "fb_internal.h"

unsigned fb_glyph_pixel(const fb_glyph* g, unsigned x, unsigned y) {
    size_t bit, byte;
    unsigned mask;
    if (!g || !FBI_HAS_BITS(g) || g->compact || x >= g->cols || y >= g->rows) return 0;
    if (g->bpp != 1 && g->bpp != 2 && g->bpp != 4 && g->bpp != 8) return 0;
    mask = (1u << g->bpp) - 1u;
    if (g->trimmed) {
        if (x >= g->extent_x || y < g->top_skip || y >= g->extent_y) return 0;
        bit = (size_t)x * g->bpp;
        byte = (size_t)(y - g->top_skip) * g->row_bytes + bit / 8u;
    } else {
        bit = ((size_t)y * g->cols + x) * g->bpp;
        byte = bit / 8u;
    }
    if (byte >= g->bits_size) return 0;
    return ((unsigned)fbi_glyph_byte(g, byte) >> (unsigned)(bit % 8u)) & mask;
}

fb_error fb_check_glyph(const fb_glyph* g, const char** detail) {
    const char* why = 0;
    if (!g || !FBI_HAS_BITS(g)) {
        if (detail) *detail = FB_TEXT("no glyph");
        return FB_ERR_ARGUMENT;
    }
    if (g->compact) {
        why = 0; /* its code is checked by decoding it */
    } else if (!g->trimmed) {
        size_t bits = (size_t)g->rows * g->cols * g->bpp;
        if (g->bits_size != (bits + 7u) / 8u)
            why = FB_TEXT("record size does not match the cell");
        else if (bits % 8u != 0 &&
                 (fbi_glyph_byte(g, g->bits_size - 1u) >> (unsigned)(bits % 8u)) != 0)
            why = FB_TEXT("padding bits after the last pixel are not zero");
    } else {
        unsigned r, b, used = (g->extent_x * g->bpp) % 8u;
        int ink = 0;
        for (b = 0; b < g->row_bytes; ++b) ink |= fbi_glyph_byte(g, b) != 0;
        if (!ink) why = FB_TEXT("first stored row is empty (topSkip too small)");
        for (r = 0; !why && r < g->stored_rows; ++r) {
            uint8_t last = fbi_glyph_byte(g, (size_t)r * g->row_bytes + g->row_bytes - 1u);
            if (used != 0 && (last >> used) != 0) why = FB_TEXT("ink right of extent x");
        }
    }
    if (detail) *detail = why;
    return why ? FB_ERR_BAD_RECORD : FB_OK;
}

#ifndef FB_NO_COMPACT
/* Waits until at least n code bits wait below the offset; out of line where flash counts. */
static FB_SIZE_NOINLINE void coder_fill(fb_coder* d, uint32_t n) {
#ifdef FB_READ_CALLBACK
    if (d->flash) {
        fbi_coder_fill_flash(d, n);
        return;
    }
#endif
    fbi_coder_fetch(d->p, d->end, &d->next, &d->val, &d->avail, n);
}

/* Doubles the range up to 0x8000 or more, taking a code bit per doubling. */
static FB_INLINE void coder_renormalise(fb_coder* d) {
    if (d->range < 0x8000u) {
#ifdef FB_HAVE_CLZ
        const uint32_t n = (uint32_t)__builtin_clz(d->range) - 16u;
#else
        uint32_t n = 0;
        while ((d->range << n) < 0x8000u) ++n;
#endif
        d->range <<= n;
        if (d->avail < n) coder_fill(d, n);
        d->avail -= n;
    }
}

static FB_INLINE uint32_t coder_decode(fb_coder* d, uint32_t q) {
    /* (range >= 64 after any decision: at most 9 doublings.) */
    const uint32_t r0 = (d->range * (4088u - 16u * q)) >> 12;
    const fb_code_word split = (fb_code_word)r0 << d->avail;
    uint32_t bit = 0;
    if (d->val < split) {
        d->range = r0;
    } else {
        d->val -= split;
        d->range -= r0;
        bit = 1;
    }
    coder_renormalise(d);
    return bit;
}

/* A symbol of n by its table (n - 1 cumulative 12-bit frequencies, u16): the last symbol k
   with (range * cum[k]) >> 12 <= offset, cum[0] = 0. n for a table that no code fits. */
static FB_INLINE uint32_t coder_symbol(fb_coder* d, const uint8_t* cum, uint32_t n) {
    const uint32_t offset = (uint32_t)(d->val >> d->avail);
    uint32_t lo = 0, hi = n, rlo = 0, rhi = d->range;
    while (hi - lo > 1u) {
        const uint32_t mid = (lo + hi) >> 1;
        const uint32_t r = (d->range * fbi_rd16(cum + 2u * (mid - 1u))) >> 12;
        if (offset >= r) {
            lo = mid;
            rlo = r;
        } else {
            hi = mid;
            rhi = r;
        }
    }
    if (rhi <= rlo) return n; /* a damaged table */
    d->val -= (fb_code_word)rlo << d->avail;
    d->range = rhi - rlo;
    coder_renormalise(d);
    return lo;
}

/* Starts the coder at a glyph's first bit. FB_ERR_BAD_RECORD for a start no code has. */
FBI_DECODE_SHARED fb_error fbi_coder_start(fb_coder* d, const fb_font* f, const fb_glyph* g) {
    const uint32_t skip = g->stream_bit & 7u;
#ifdef FB_READ_CALLBACK
    if (f->data.flash) {
        fbi_coder_begin(d, f, g->stream_bit >> 3, (skip + g->stream_bits + 7u) / 8u);
    } else {
        d->flash = 0;
#else
    {
#endif
        d->p = fbi_bytes(f->data, f->compact.stream, f->compact.stream_size);
        d->end = f->compact.stream_size;
        d->next = g->stream_bit >> 3;
    }
    d->val = 0;
    d->avail = 0;
    d->range = 0xFFFFu;
    /* The offset is the 16 bits after the `skip` bits the glyph before used. */
    coder_fill(d, 16u + skip);
    d->avail -= skip;
    d->val &= ((fb_code_word)1 << d->avail) - 1u;
    d->avail -= 16u;
    return (d->val >> d->avail) < d->range ? FB_OK : FB_ERR_BAD_RECORD;
}

/* Zeroes what a box of width w uses of the scratch: its row with the padding, two ink rows. */
static void clear_scratch(uint8_t* scratch, uint32_t w) {
#ifdef __OPTIMIZE_SIZE__
    (void)w;
    memset(scratch, 0, FB_SCRATCH_BYTES);
#else
    memset(scratch, 0, w + 2u * FB_PAD);
    memset(scratch + FB_ROW_BYTES, 0, (w + 16u) / 8u);
    memset(scratch + FB_ROW_BYTES + FB_INK_BYTES, 0, (w + 16u) / 8u);
#endif
}

/* Every depth and template. */
static FB_NOINLINE fb_error rows_general(const fb_font* f, const fb_glyph* g, fb_row_fn fn,
                                         void* user) {
    const fb_compact* c = &f->compact;
    const uint32_t bpp = f->bpp;
    uint8_t scratch[FB_SCRATCH_BYTES];
    /* row: row y as decoded up to x, still row y - 1 from x on. */
    uint8_t* row = scratch + FB_PAD;
    uint8_t* ink2 = scratch + FB_ROW_BYTES; /* which pixels of row y - 2 have ink */
    uint8_t* ink1 = ink2 + FB_INK_BYTES;    /* the same of row y - 1, collected along row y */
#ifdef FB_READ_CALLBACK
    const uint8_t* model =
        f->data.flash ? f->data.flash->model : fbi_bytes(f->data, c->model, c->model_size);
#else
    const uint8_t* model = fbi_bytes(f->data, c->model, c->model_size);
#endif
    const uint32_t max = (1u << bpp) - 1u, qb = bpp == 1 ? 1u : 2u;
    const uint32_t n = fbi_table_symbols(bpp), stride = fbi_table_bytes(bpp);
    /* The context: the west window from bit 0, the row above's window from b0, the window of
       the row two above from b01, each with its newest pixel lowest. Moving one pixel on shifts
       the first two windows by a level and the third by a bit. */
    const uint32_t r1 = c->above ? c->above - 1u : 0u, r2 = c->above2 ? c->above2 - 1u : 0u;
    const uint32_t b0 = c->west * qb, b01 = b0 + (c->above ? (2u * r1 + 1u) * qb : 0u);
    const uint32_t e0 = c->west ? (1u << qb) - 1u : 0u, e1 = c->above ? (1u << qb) - 1u : 0u;
    const uint32_t keep = ((1u << b01) - 1u) & ~(e1 << b0);
    const uint32_t m2 = c->above2 ? (1u << (2u * r2 + 1u)) - 1u : 0u;
    const int lead = (int)(r1 > r2 ? r1 : r2);
    uint32_t x, y, w = g->box_w;
    fb_coder d;
    if (fbi_coder_start(&d, f, g) != FB_OK) return FB_ERR_BAD_RECORD;
    clear_scratch(scratch, g->box_w);

    for (y = 0; y < g->box_h; ++y) {
        uint32_t ctx = 0, w2 = 0;
        int k;
        uint8_t* t = ink1;
        ink1 = ink2;
        ink2 = t;
        memset(ink1, 0, (g->box_w + 16u) / 8u);
        /* The windows of x = 0: the pixels up to r1 and r2 on, zero left of the box. */
        for (k = -lead; k <= 0; ++k) {
            uint32_t at2 = (uint32_t)(k + (int)r2 + 8);
            ctx = ((ctx << qb) & keep) | ((fbi_quant(row[k + (int)r1], max) & e1) << b0);
            w2 = ((w2 << 1) | ((uint32_t)(ink2[at2 >> 3] >> (at2 & 7u)) & 1u)) & m2;
        }
        for (x = 0; x < w; ++x) {
            const uint8_t* p = FBI_MODEL(f, model, (ctx | (w2 << b01)) * stride, stride);
            uint32_t v, at2 = x + r2 + 9u;
            if (row[x]) ink1[(x + 8u) >> 3] = (uint8_t)(ink1[(x + 8u) >> 3] | (1u << (x & 7u)));
            if (bpp == 1u) {
                v = coder_decode(&d, p[0]);
            } else {
                v = coder_symbol(&d, p, n);
                if (bpp == 8u && v < n) {
                    /* The low four bits, by the table of the high four after the contexts'. */
                    const uint32_t low = coder_symbol(
                        &d, FBI_MODEL_END(f, model, c->model_size, (16u - v) * stride, stride), n);
                    v = low < n ? (v << 4) | low : n;
                }
                if (v > max) return FB_ERR_BAD_RECORD;
            }
            row[x] = (uint8_t)v;
            ctx = ((ctx << qb) & keep) | (fbi_quant(v, max) & e0) |
                  ((fbi_quant(row[x + 1u + r1], max) & e1) << b0);
            w2 = ((w2 << 1) | ((uint32_t)(ink2[at2 >> 3] >> (at2 & 7u)) & 1u)) & m2;
        }
        fn(user, y, row, w);
    }
    return FB_OK;
}
#endif /* FB_NO_COMPACT */

typedef struct fb_copy_target {
    uint8_t* out;
    size_t stride;
} fb_copy_target;

static void copy_row(void* user, unsigned y, const uint8_t* levels, unsigned width) {
    fb_copy_target* t = (fb_copy_target*)user;
    memcpy(t->out + (size_t)y * t->stride, levels, width);
}

fb_error fb_decode_glyph_rows(const fb_font* font, const fb_glyph* glyph, fb_row_fn fn,
                              void* user) {
    if (!font || !font->ready || !glyph || !fn || glyph->bpp != font->bpp) return FB_ERR_ARGUMENT;
    if (glyph->box_w > FB_COMPACT_MAX_WIDTH) return FB_ERR_GEOMETRY;
#ifndef FB_NO_COMPACT
    if (glyph->compact) {
        /* (box_w is bounded above; box_h bounds the loops.) */
        if (font->layout != FB_LAYOUT_COMPACT || glyph->box_h > font->geometry.rows)
            return FB_ERR_ARGUMENT;
        if (glyph->box_w == 0 || glyph->box_h == 0) return FB_OK;
#ifdef FB_INLINE_SPEED
        /* (A file read by command takes the portable loop: its coder reads by chunks.) */
        if (!FBI_FLASH(font)) {
            const fb_compact* c = &font->compact;
            if (font->bpp == 1u && c->west && c->above && c->above2)
                return fbi_rows_bilevel(font, glyph, fn, user);
            if (font->bpp == 2u || font->bpp == 4u) return fbi_rows_grey(font, glyph, fn, user);
        }
#endif
        return rows_general(font, glyph, fn, user);
    }
#endif
#ifdef FB_LEGACY
    return fbi_legacy_rows(glyph, fn, user);
#else
    return FB_ERR_ARGUMENT;
#endif
}

fb_error fb_decode_glyph(const fb_font* font, const fb_glyph* glyph, uint8_t* out, size_t stride) {
    fb_copy_target t;
    if (!glyph || stride < glyph->box_w || (!out && glyph->box_w && glyph->box_h))
        return FB_ERR_ARGUMENT; /* (an empty box needs no buffer) */
#ifdef FB_LEGACY
    if (!glyph->compact && font && font->ready) {
        /* Straight into the caller's rows: no width limit. */
        unsigned x, y;
        for (y = 0; y < glyph->box_h; ++y)
            for (x = 0; x < glyph->box_w; ++x)
                out[(size_t)y * stride + x] =
                    (uint8_t)fb_glyph_pixel(glyph, glyph->box_x + x, glyph->box_y + y);
        return FB_OK;
    }
#endif
    t.out = out;
    t.stride = stride;
    return fb_decode_glyph_rows(font, glyph, copy_row, &t);
}

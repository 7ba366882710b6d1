/*
 * fb_decode_fast: copies of the compact decoder for speed, built only when optimising for it
 * (FB_FAST_DECODE, on by default on 64-bit hosts; never at -Os). The portable loop of
 * fb_decode.c decodes the same files; these take about half its instructions.
 */
#include "fb_internal.h"

#if !defined(FB_NO_COMPACT) && defined(FB_INLINE_SPEED)
/* The coder's state lives in locals, and one decision is this macro: `bit` gets the decision
   coded with probability byte `q`. */
#ifdef FB_HAVE_CLZ
#define FB_CLZ16(r) ((uint32_t)__builtin_clz(r) - 16u)
#else
static uint32_t fb_clz16(uint32_t r) {
    uint32_t n = 0;
    while ((r << n) < 0x8000u) ++n;
    return n;
}
#define FB_CLZ16(r) fb_clz16(r)
#endif
#define FB_DECIDE(bit, q)                                                   \
    do {                                                                    \
        const uint32_t r0_ = (range * (4088u - 16u * (uint32_t)(q))) >> 12; \
        if (offset < r0_) {                                                 \
            range = r0_;                                                    \
            bit = 0;                                                        \
        } else {                                                            \
            offset -= r0_;                                                  \
            range -= r0_;                                                   \
            bit = 1;                                                        \
        }                                                                   \
        FB_RENORMALISE();                                                   \
    } while (0)
/* Doubles the range up to 0x8000 or more, taking a code bit per doubling. */
#define FB_RENORMALISE()                                                         \
    do {                                                                         \
        if (range < 0x8000u) {                                                   \
            const uint32_t n_ = FB_CLZ16(range);                                 \
            for (; avail <= 24u; avail += 8u, ++next)                            \
                bits |= (uint32_t)(next < end ? src[next] : 0) << (24u - avail); \
            offset = (offset << n_) | (bits >> (32u - n_));                      \
            bits <<= n_;                                                         \
            avail -= n_;                                                         \
            range <<= n_;                                                        \
        }                                                                        \
    } while (0)
#define FB_CODER_IN(d)                                                                   \
    const uint8_t* const src = (d)->p;                                                   \
    const uint32_t end = (d)->end;                                                       \
    uint32_t next = (d)->next, bits = (d)->bits, avail = (d)->avail, range = (d)->range, \
             offset = (d)->offset

/* Entry k (1 .. n - 1) of a table of cumulative frequencies, a little-endian u16. */
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
static FB_INLINE uint32_t fb_cum(const uint8_t* table, uint32_t k) {
    uint16_t v;
    memcpy(&v, table + 2u * (k - 1u), 2);
    return v;
}
#define FB_CUM(table, k) fb_cum(table, k)
#else
#define FB_CUM(table, k) fbi_rd16((table) + 2u * ((k)-1u))
#endif

/* Ink of row y - 2 comes from bit rows, most significant bit first, pixel i at bit i + 8. The
   next 16 pixels from bit `at` on, the first at bit 15: */
#define FB_INK16(ink, at) \
    ((((uint32_t)(ink)[(at) >> 3] << 8) | (ink)[((at) >> 3) + 1u]) << ((at)&7u))

/* 1 bpp with all three windows, as the writer chooses for large fonts: a level is its own
   context bit, so the windows share one register that moves one bit per pixel. */
FB_NOINLINE fb_error fbi_rows_bilevel(const fb_font* f, const fb_glyph* g, fb_row_fn fn,
                                      void* user) {
    const fb_compact* c = &f->compact;
    uint8_t scratch[FB_SCRATCH_BYTES];
    uint8_t* row = scratch + FB_PAD;
    uint8_t* ink2 = scratch + FB_ROW_BYTES;
    uint8_t* ink1 = ink2 + FB_INK_BYTES;
    const uint8_t* model = fbi_bytes(f->data, c->model, c->model_size);
    const uint32_t r1 = c->above - 1u, r2 = c->above2 - 1u;
    const uint32_t b0 = c->west, b01 = b0 + 2u * r1 + 1u, nbits = b01 + 2u * r2 + 1u;
    const uint32_t keep = ((1u << nbits) - 1u) & ~(1u << b0) & ~(1u << b01);
    const uint32_t lead = r1 > r2 ? r1 : r2, w = g->box_w;
    const uint8_t* ahead1 = row + 1u + r1; /* the row above's newest window pixel for x */
    uint32_t x, y;
    fb_coder start;
    const fb_error started = fbi_coder_start(&start, f, g);
    FB_CODER_IN(&start);
    if (started != FB_OK) return started;
    fbi_clear_scratch(scratch, g->box_w);
    for (y = 0; y < g->box_h; ++y) {
        uint32_t ctx = 0, acc = 0, at2 = 8u + r2 - lead;
        uint8_t* t = ink1;
        ink1 = ink2;
        ink2 = t;
        memset(ink1, 0, (g->box_w + 16u) / 8u);
        /* The windows of x = 0: the pixels up to r1 and r2 on, zero left of the box. */
        for (x = 0; x <= lead; ++x, ++at2)
            ctx = ((ctx << 1) & keep) | ((uint32_t)row[(int)(x + r1) - (int)lead] << b0) |
                  ((((uint32_t)ink2[at2 >> 3] >> (7u - (at2 & 7u))) & 1u) << b01);
        for (x = 0; x < w;) {
            uint32_t next2 = FB_INK16(ink2, at2);
            const uint32_t stop = w - x > 8u ? x + 8u : w;
            at2 += stop - x;
            for (; x < stop; ++x) {
                uint32_t v;
                FB_DECIDE(v, model[ctx]);
                acc = (acc << 1) | row[x];
                row[x] = (uint8_t)v;
                ctx = ((ctx << 1) & keep) | v | ((uint32_t)ahead1[x] << b0) |
                      (((next2 >> 15) & 1u) << b01);
                next2 <<= 1;
            }
            /* x is a multiple of 8 here, or the row's end. */
            ink1[(x + 7u) >> 3] = (uint8_t)(acc << ((8u - (x & 7u)) & 7u));
        }
        fn(user, y, row, w);
    }
    return FB_OK;
}

/* 2 and 4 bpp: levels quantised through a table; the west and row-above windows share one
   register that moves two bits per pixel, the row two above has its own. */
FB_NOINLINE fb_error fbi_rows_grey(const fb_font* f, const fb_glyph* g, fb_row_fn fn, void* user) {
    const fb_compact* c = &f->compact;
    uint8_t scratch[FB_SCRATCH_BYTES];
    uint8_t* row = scratch + FB_PAD;
    uint8_t* ink2 = scratch + FB_ROW_BYTES;
    uint8_t* ink1 = ink2 + FB_INK_BYTES;
    const uint8_t* model = fbi_bytes(f->data, c->model, c->model_size);
    const uint32_t bpp = f->bpp, max = (1u << bpp) - 1u, n = fbi_table_symbols(bpp);
    const uint32_t stride = fbi_table_bytes(bpp);
    const uint32_t r1 = c->above ? c->above - 1u : 0u, r2 = c->above2 ? c->above2 - 1u : 0u;
    const uint32_t b0 = c->west * 2u, b01 = b0 + (c->above ? (2u * r1 + 1u) * 2u : 0u);
    const uint32_t e0 = c->west ? 3u : 0u, e1 = c->above ? 3u : 0u;
    const uint32_t keep = ((1u << b01) - 1u) & ~(e1 << b0);
    const uint32_t m2 = c->above2 ? (1u << (2u * r2 + 1u)) - 1u : 0u;
    const uint32_t lead = r1 > r2 ? r1 : r2, w = g->box_w;
    const uint8_t* ahead1 = row + 1u + r1;
    uint8_t qt[16];
    uint32_t x, y;
    fb_coder start;
    const fb_error started = fbi_coder_start(&start, f, g);
    FB_CODER_IN(&start);
    if (started != FB_OK) return started;
    fbi_clear_scratch(scratch, g->box_w);
    for (x = 0; x <= max; ++x) qt[x] = (uint8_t)fbi_quant(x, max);
    for (y = 0; y < g->box_h; ++y) {
        uint32_t ctx = 0, w2 = 0, acc = 0, at2 = 8u + r2 - lead;
        uint8_t* t = ink1;
        ink1 = ink2;
        ink2 = t;
        memset(ink1, 0, (g->box_w + 16u) / 8u);
        for (x = 0; x <= lead; ++x, ++at2) {
            ctx = ((ctx << 2) & keep) | ((uint32_t)(qt[row[(int)(x + r1) - (int)lead]] & e1) << b0);
            w2 = (w2 << 1) | (((uint32_t)ink2[at2 >> 3] >> (7u - (at2 & 7u))) & 1u);
        }
        for (x = 0; x < w;) {
            uint32_t next2 = m2 ? FB_INK16(ink2, at2) : 0u;
            const uint32_t stop = w - x > 8u ? x + 8u : w;
            at2 += stop - x;
            for (; x < stop; ++x) {
                const uint8_t* p = model + (ctx | ((w2 & m2) << b01)) * stride;
                /* The level: the last k with (range * cum[k]) >> 12 <= offset, that is with
                   cum[k] <= tq (cum[0] = 0), by a branch-free binary search of the table. */
                const uint32_t tq = ((offset + 1u) * 4096u - 1u) / range;
                uint32_t v = 0, rlo, rhi;
                if (n == 16u) {
                    v = FB_CUM(p, 8u) <= tq ? 8u : 0u;
                    v += FB_CUM(p, v + 4u) <= tq ? 4u : 0u;
                }
                v += FB_CUM(p, v + 2u) <= tq ? 2u : 0u;
                v += FB_CUM(p, v + 1u) <= tq ? 1u : 0u;
                rlo = v ? (range * FB_CUM(p, v)) >> 12 : 0;
                rhi = v + 1u < n ? (range * FB_CUM(p, v + 1u)) >> 12 : range;
                /* (Only a damaged table gets here with an empty interval; any other damage
                   gives wrong levels, never a read outside the tables or a division by 0.) */
                if (rhi <= rlo) return FB_ERR_BAD_RECORD;
                offset -= rlo;
                range = rhi - rlo;
                FB_RENORMALISE();
                if (m2) {
                    acc = (acc << 1) | (row[x] != 0);
                    w2 = (w2 << 1) | ((next2 >> 15) & 1u);
                    next2 <<= 1;
                }
                row[x] = (uint8_t)v;
                ctx = ((ctx << 2) & keep) | (qt[v] & e0) | ((uint32_t)(qt[ahead1[x]] & e1) << b0);
            }
            /* (Without the row two above in the template, its ink is never looked at.) */
            if (m2) ink1[(x + 7u) >> 3] = (uint8_t)(acc << ((8u - (x & 7u)) & 7u));
        }
        fn(user, y, row, w);
    }
    return FB_OK;
}
#else
/* (ISO C wants at least one declaration in a file.) */
typedef int fb_decode_fast_unused;
#endif

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
        const fb_code_word split_ = (fb_code_word)r0_ << avail;             \
        if (val < split_) {                                                 \
            range = r0_;                                                    \
            bit = 0;                                                        \
        } else {                                                            \
            val -= split_;                                                  \
            range -= r0_;                                                   \
            bit = 1;                                                        \
        }                                                                   \
        FB_RENORMALISE();                                                   \
    } while (0)
/* Doubles the range up to 0x8000 or more, taking a code bit per doubling. */
#define FB_RENORMALISE()                                                        \
    do {                                                                        \
        if (range < 0x8000u) {                                                  \
            const uint32_t n_ = FB_CLZ16(range);                                \
            range <<= n_;                                                       \
            if (avail < n_) fbi_coder_fetch(src, end, &next, &val, &avail, n_); \
            avail -= n_;                                                        \
        }                                                                       \
    } while (0)
#define FB_CODER_IN(d)                                                 \
    const uint8_t* const src = (d)->p;                                 \
    const uint32_t end = (d)->end;                                     \
    uint32_t next = (d)->next, avail = (d)->avail, range = (d)->range; \
    fb_code_word val = (d)->val

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

/* Ink of a row in bits, most significant bit first, pixel i at bit i + 8. The next 25 pixels from
   bit `at` on, the first at bit 31 (four bytes, read past the row's bits into the padding): */
#define FB_INK32(ink, at)                                                          \
    (((uint32_t)(ink)[(at) >> 3] << 24 | (uint32_t)(ink)[((at) >> 3) + 1u] << 16 | \
      (uint32_t)(ink)[((at) >> 3) + 2u] << 8 | (ink)[((at) >> 3) + 3u])            \
     << ((at)&7u))
/* Pixels are decoded in runs of at most this many, so that the ink of the row two above comes
   from one FB_INK32 and the ink collected along the row fits a register. */
#define FB_RUN 24u
/* The scratch of these loops: the portable loop's and room for the four-byte reads. */
#define FB_FAST_SCRATCH (FB_SCRATCH_BYTES + 4u)

/* Zeroes what a box of width w uses of the scratch, the four-byte reads' reach included. */
static void clear_fast_scratch(uint8_t* scratch, uint32_t w) {
    memset(scratch, 0, w + 2u * FB_PAD);
    memset(scratch + FB_ROW_BYTES, 0, (w + 16u) / 8u + 4u);
    memset(scratch + FB_ROW_BYTES + FB_INK_BYTES, 0, (w + 16u) / 8u + 4u);
}

/* Stores the ink of pixels x0 .. x0 + k - 1 (k up to FB_RUN), the lowest k bits of acc, the
   last pixel lowest. Every byte from x0 on is written whole; x0 is a multiple of 8. */
static FB_INLINE void put_ink(uint8_t* ink, uint32_t x0, uint32_t k, uint32_t acc) {
    const uint32_t a = acc << (32u - k);
    uint32_t b;
    for (b = 0; b < k; b += 8u) ink[((x0 + b) >> 3) + 1u] = (uint8_t)(a >> (24u - b));
}

/* 1 bpp with all three windows, as the writer chooses for large fonts: a level is its own
   context bit, so the windows share one register that moves one bit per pixel. */
FB_NOINLINE fb_error fbi_rows_bilevel(const fb_font* f, const fb_glyph* g, fb_row_fn fn,
                                      void* user) {
    const fb_compact* c = &f->compact;
    uint8_t scratch[FB_FAST_SCRATCH];
    uint8_t* row = scratch + FB_PAD;
    uint8_t* ink2 = scratch + FB_ROW_BYTES;
    uint8_t* ink1 = ink2 + FB_INK_BYTES;
    const uint8_t* model = fbi_bytes(f->data, c->model, c->model_size);
    const uint32_t r1 = c->above - 1u, r2 = c->above2 - 1u;
    const uint32_t b0 = c->west, b01 = b0 + 2u * r1 + 1u, nbits = b01 + 2u * r2 + 1u;
    const uint32_t keep = ((1u << nbits) - 1u) & ~(1u << b0) & ~(1u << b01);
    const uint32_t w = g->box_w;
    const uint8_t* ahead1 = row + 1u + r1; /* the row above's newest window pixel for x */
    uint32_t x, y;
    fb_coder start;
    const fb_error started = fbi_coder_start(&start, f, g);
    FB_CODER_IN(&start);
    if (started != FB_OK) return started;
    clear_fast_scratch(scratch, w);
    for (y = 0; y < g->box_h; ++y) {
        /* The windows of x = 0: zero left of the box, pixels 0 .. r1 and 0 .. r2 above. */
        uint32_t ctx = 0, acc = 0, at2 = 9u + r2;
        uint8_t* t = ink1;
        ink1 = ink2;
        ink2 = t;
        for (x = 0; x <= r1; ++x) ctx = (ctx << 1) | row[x];
        ctx = ctx << b0 | (FB_INK32(ink2, 8u) >> (31u - r2)) << b01;
        for (x = 0; x < w;) {
            const uint32_t x0 = x, stop = w - x > FB_RUN ? x + FB_RUN : w;
            uint32_t next2 = FB_INK32(ink2, at2);
            at2 += stop - x;
            for (; x < stop; ++x) {
                uint32_t v;
                FB_DECIDE(v, model[ctx]);
                acc = (acc << 1) | row[x];
                row[x] = (uint8_t)v;
                ctx = ((ctx << 1) & keep) | v | ((uint32_t)ahead1[x] << b0) | (next2 >> 31) << b01;
                next2 <<= 1;
            }
            put_ink(ink1, x0, stop - x0, acc);
        }
        fn(user, y, row, w);
    }
    return FB_OK;
}

/* One step of the level's search without a division: is the level at least v + step? */
#define SEARCH_STEP(step)                                          \
    do {                                                           \
        const uint32_t r_ = (range * FB_CUM(p, v + (step))) >> 12; \
        if (r_ <= offset) {                                        \
            v += (step);                                           \
            rlo = r_;                                              \
        } else {                                                   \
            rhi = r_;                                              \
        }                                                          \
    } while (0)

/* 2 and 4 bpp: levels quantised through a table; the west and row-above windows share one
   register that moves two bits per pixel, the row two above has its own. Copied per depth and
   with and without the row two above (constant `bpp` and `two`), so that the table's stride and
   the search's depth are constants. */
static FB_INLINE fb_error rows_grey(const fb_font* f, const fb_glyph* g, fb_row_fn fn, void* user,
                                    const uint32_t bpp, const int two) {
    const fb_compact* c = &f->compact;
    uint8_t scratch[FB_FAST_SCRATCH];
    uint8_t* row = scratch + FB_PAD;
    uint8_t* ink2 = scratch + FB_ROW_BYTES;
    uint8_t* ink1 = ink2 + FB_INK_BYTES;
    const uint8_t* model = fbi_bytes(f->data, c->model, c->model_size);
    const uint32_t max = (1u << bpp) - 1u, n = fbi_table_symbols(bpp);
    const uint32_t stride = fbi_table_bytes(bpp);
    const uint32_t r1 = c->above ? c->above - 1u : 0u, r2 = two ? c->above2 - 1u : 0u;
    const uint32_t b0 = c->west * 2u, b01 = b0 + (c->above ? (2u * r1 + 1u) * 2u : 0u);
    const uint32_t e0 = c->west ? 3u : 0u, e1 = c->above ? 3u : 0u;
    const uint32_t keep = ((1u << b01) - 1u) & ~(e1 << b0);
    const uint32_t m2 = two ? (1u << (2u * r2 + 1u)) - 1u : 0u;
    const uint32_t w = g->box_w;
    const uint8_t* ahead1 = row + 1u + r1;
    uint8_t qt[16];
    uint32_t x, y;
    fb_coder start;
    const fb_error started = fbi_coder_start(&start, f, g);
    FB_CODER_IN(&start);
    if (started != FB_OK) return started;
    clear_fast_scratch(scratch, w);
    for (x = 0; x <= max; ++x) qt[x] = (uint8_t)fbi_quant(x, max);
    for (y = 0; y < g->box_h; ++y) {
        /* The windows of x = 0: zero left of the box, pixels 0 .. r1 and 0 .. r2 above. */
        uint32_t ctx = 0, w2 = 0, acc = 0, at2 = 9u + r2;
        uint8_t* t = ink1;
        ink1 = ink2;
        ink2 = t;
        for (x = 0; x <= r1; ++x) ctx = (ctx << 2) | (qt[row[x]] & e1);
        ctx <<= b0;
        if (two) w2 = FB_INK32(ink2, 8u) >> (31u - r2);
        for (x = 0; x < w;) {
            const uint32_t x0 = x, stop = w - x > FB_RUN ? x + FB_RUN : w;
            uint32_t next2 = two ? FB_INK32(ink2, at2) : 0u;
            at2 += stop - x;
            for (; x < stop; ++x) {
                const uint8_t* p = model + (ctx | ((w2 & m2) << b01)) * stride;
                /* The level: the last k with (range * cum[k]) >> 12 <= offset (cum[0] = 0), by a
                   branch-free binary search of the table. */
                const uint32_t offset = (uint32_t)(val >> avail);
                /* (A multiply per step rather than a division per pixel, which a Cortex-M0+
                   has no instruction for; the level's bounds are the products found.) */
                uint32_t v = 0, rlo = 0, rhi = range;
                if (n == 16u) SEARCH_STEP(8u);
                if (n == 16u) SEARCH_STEP(4u);
                SEARCH_STEP(2u);
                SEARCH_STEP(1u);
                /* (Only damage gets here with an empty interval; any other damage gives wrong
                   levels, never a read outside the tables.) */
                if (rhi <= rlo) return FB_ERR_BAD_RECORD;
                val -= (fb_code_word)rlo << avail;
                range = rhi - rlo;
                FB_RENORMALISE();
                if (two) {
                    acc = (acc << 1) | (row[x] != 0);
                    w2 = (w2 << 1) | next2 >> 31;
                    next2 <<= 1;
                }
                row[x] = (uint8_t)v;
                ctx = ((ctx << 2) & keep) | (qt[v] & e0) | ((uint32_t)(qt[ahead1[x]] & e1) << b0);
            }
            /* (Without the row two above in the template, its ink is never looked at.) */
            if (two) put_ink(ink1, x0, stop - x0, acc);
        }
        fn(user, y, row, w);
    }
    return FB_OK;
}

FB_NOINLINE fb_error fbi_rows_grey(const fb_font* f, const fb_glyph* g, fb_row_fn fn, void* user) {
    if (f->bpp == 4u)
        return f->compact.above2 ? rows_grey(f, g, fn, user, 4u, 1)
                                 : rows_grey(f, g, fn, user, 4u, 0);
    return f->compact.above2 ? rows_grey(f, g, fn, user, 2u, 1) : rows_grey(f, g, fn, user, 2u, 0);
}
#else
/* (ISO C wants at least one declaration in a file.) */
typedef int fb_decode_fast_unused;
#endif

/*
 * fb_decode_fast: copies of the compact decoder for speed, built only when optimising for it
 * (FB_FAST_DECODE, on by default on 64-bit hosts; never at -Os). The portable loop of
 * fb_decode.c decodes the same files; these take about half its instructions, and two rows of
 * bytes of stack where it takes one and two rows of bits.
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

/* Words for handling several pixels' bytes at once, loaded from any address. */
#ifdef FB_CODE_WORD_64
typedef uint64_t fb_lane;
#elif defined(FB_DECODE_NARROW) && FB_DECODE_NARROW == 1
typedef uint8_t fb_lane;
#elif defined(FB_DECODE_NARROW) || defined(__i386__) || defined(__ARM_FEATURE_UNALIGNED)
typedef uint32_t fb_lane;
#else
typedef uint8_t fb_lane; /* (a core that loads a word only from a multiple of its size) */
#endif

static FB_INLINE fb_lane lane_at(const uint8_t* p) {
    fb_lane v;
    memcpy(&v, p, sizeof v);
    return v;
}

static FB_INLINE void lanes_zero(uint8_t* p, uint32_t bytes) {
    const fb_lane zero = 0;
    uint32_t k;
    for (k = 0; k < bytes; k += (uint32_t)sizeof zero) memcpy(p + k, &zero, sizeof zero);
}

/* The context bytes of a row are made from x = -FB_LANE_FIRST on (the first window needs
   -lead - 1, at least -3), a word at a time, so that they reach up to x = width + a word - 2;
   they read the rows up to x = width + a word + 1. */
#define FB_LANE_FIRST (sizeof(fb_lane) < 4u ? 4u : (uint32_t)sizeof(fb_lane))
/* The loops' two rows: bytes -FB_LANE_FIRST .. width + a word + 3 of each, the box from 0. */
#define FB_LANE_ROW (FB_LANE_FIRST + FB_COMPACT_MAX_WIDTH + (uint32_t)sizeof(fb_lane) + 4u)
#define FB_LANE_EDGES (FB_LANE_ROW - FB_COMPACT_MAX_WIDTH)

/* 1 bpp with all three windows, as the writer chooses for large fonts: a level is its own
   context bit, so the windows share one register that moves one bit per pixel. Its two new bits
   at x come from one byte made for the whole row beforehand, a word of bytes at a time: the
   row above's pixel x + 1 + r1 in bit 0 and the row two above's pixel x + 1 + r2 in bit
   2 * r1 + 1. That byte is read where the pixel is then written, so two rows of bytes do: the
   one being decoded and the row above. */
FB_NOINLINE fb_error fbi_rows_bilevel(const fb_font* f, const fb_glyph* g, fb_row_fn fn,
                                      void* user) {
    const fb_compact* c = &f->compact;
    uint8_t scratch[2u * FB_LANE_ROW];
    uint8_t* cur = scratch + FB_LANE_FIRST;
    uint8_t* last = cur + FB_LANE_ROW; /* the row above, zero around the box */
    const uint8_t* model = fbi_bytes(f->data, c->model, c->model_size);
    const uint32_t r1 = c->above - 1u, r2 = c->above2 - 1u;
    const uint32_t b0 = c->west, d = 2u * r1 + 1u, nbits = b0 + d + 2u * r2 + 1u;
    const uint32_t keep = ((1u << nbits) - 1u) & ~(1u << b0) & ~(1u << (b0 + d));
    const int lead = (int)(r1 > r2 ? r1 : r2);
    const uint32_t w = g->box_w;
    uint32_t x, y;
    fb_coder start;
    const fb_error started = fbi_coder_start(&start, f, g);
    FB_CODER_IN(&start);
    if (started != FB_OK) return started;
    /* Rows above the box are empty: so are the context bytes of its first row. */
    memset(scratch, 0, FB_LANE_EDGES + w);
    memset(scratch + FB_LANE_ROW, 0, FB_LANE_EDGES + w);
    for (y = 0; y < g->box_h; ++y) {
        /* The windows of x = 0, as if the pixels left of the box had been decoded (zero). */
        uint32_t ctx = 0;
        int i;
        uint8_t* t;
        for (i = -lead - 1; i < 0; ++i) ctx = ((ctx << 1) & keep) | (uint32_t)cur[i] << b0;
        for (x = 0; x < w; ++x) {
            uint32_t v;
            FB_DECIDE(v, model[ctx]);
            ctx = ((ctx << 1) & keep) | v | (uint32_t)cur[x] << b0;
            cur[x] = (uint8_t)v;
        }
        fn(user, y, cur, w);
        /* Row y, zero around it, and in place of row y - 1 the context bytes of row y + 1 (each
           word read before it is written, and after the words left of it). */
        lanes_zero(cur - FB_LANE_FIRST, FB_LANE_FIRST);
        lanes_zero(cur + w, sizeof(fb_lane));
        for (i = -(int)FB_LANE_FIRST; i < (int)w; i += (int)sizeof(fb_lane)) {
            const fb_lane bytes =
                (fb_lane)(lane_at(cur + i + 1 + r1) | lane_at(last + i + 1 + r2) << d);
            memcpy(last + i, &bytes, sizeof bytes);
        }
        t = cur;
        cur = last;
        last = t;
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

/* Bytes of pixel levels (up to 4 bits each) a word at a time: 1 in each byte that is not 0. */
static FB_INLINE fb_lane lane_inked(fb_lane x) {
    const fb_lane ones = (fb_lane)((fb_lane)-1 / 255u);
    return (fb_lane)(((fb_lane)(x + 0x7Fu * ones) >> 7) & ones);
}

/* The same, each level quantised as fbi_quant does (0, 1 up to half, 2 above, 3 full). */
static FB_INLINE fb_lane lane_quant(fb_lane x, uint32_t bpp) {
    const fb_lane ones = (fb_lane)((fb_lane)-1 / 255u);
    return (fb_lane)(lane_inked(x) + ((x >> (bpp - 1u)) & ones) +
                     (((fb_lane)(x + ones) >> bpp) & ones));
}

/* 2 and 4 bpp: levels quantised through a table; the west and row-above windows share one
   register that moves two bits per pixel, the row two above has its own. As in the 1 bpp loop,
   the new bits at x come from one byte made beforehand for the whole row: the row above's pixel
   x + 1 + r1 quantised in bits 0 and 1, whether the row two above's pixel x + 1 + r2 has ink in
   bit 2. `bpp` and `two` (the row two above is in the template) are constants in a copy for the
   common case, so that the table's stride and the search's depth are too. */
static FB_INLINE fb_error rows_grey(const fb_font* f, const fb_glyph* g, fb_row_fn fn, void* user,
                                    const uint32_t bpp, const int two) {
    const fb_compact* c = &f->compact;
    uint8_t scratch[2u * FB_LANE_ROW];
    uint8_t* cur = scratch + FB_LANE_FIRST;
    uint8_t* last = cur + FB_LANE_ROW; /* the row above, zero around the box */
    const uint8_t* model = fbi_bytes(f->data, c->model, c->model_size);
    const uint32_t max = (1u << bpp) - 1u, n = fbi_table_symbols(bpp);
    const uint32_t stride = fbi_table_bytes(bpp);
    const uint32_t r1 = c->above ? c->above - 1u : 0u, r2 = two ? c->above2 - 1u : 0u;
    const uint32_t b0 = c->west * 2u, b01 = b0 + (c->above ? (2u * r1 + 1u) * 2u : 0u);
    const uint32_t e0 = c->west ? 3u : 0u, e1 = c->above ? 3u : 0u;
    const uint32_t keep = ((1u << b01) - 1u) & ~(e1 << b0);
    const uint32_t m2 = two ? (1u << (2u * r2 + 1u)) - 1u : 0u;
    const fb_lane quantised = (fb_lane)(c->above ? (fb_lane)-1 / 255u * 3u : 0u);
    const int lead = (int)(r1 > r2 ? r1 : r2);
    const uint32_t w = g->box_w;
    uint8_t qt[16]; /* a level's part of the west window */
    uint32_t x, y;
    fb_coder start;
    const fb_error started = fbi_coder_start(&start, f, g);
    FB_CODER_IN(&start);
    if (started != FB_OK) return started;
    memset(scratch, 0, FB_LANE_EDGES + w);
    memset(scratch + FB_LANE_ROW, 0, FB_LANE_EDGES + w);
    for (x = 0; x <= max; ++x) qt[x] = (uint8_t)(fbi_quant(x, max) & e0);
    for (y = 0; y < g->box_h; ++y) {
        /* The windows of x = 0, as if the pixels left of the box had been decoded (zero). */
        uint32_t ctx = 0, w2 = 0;
        int i;
        uint8_t* t;
        for (i = -lead - 1; i < 0; ++i) {
            ctx = ((ctx << 2) & keep) | (two ? (uint32_t)cur[i] & 3u : (uint32_t)cur[i]) << b0;
            if (two) w2 = (w2 << 1) | (uint32_t)cur[i] >> 2;
        }
        for (x = 0; x < w; ++x) {
            const uint8_t* p = model + (ctx | ((w2 & m2) << b01)) * stride;
            /* The level: the last k with (range * cum[k]) >> 12 <= offset (cum[0] = 0), by a
               binary search of the table; most pixels are blank, so level 0 is tried first. (A
               multiply per step rather than a division per pixel, which a Cortex-M0+ has no
               instruction for; the level's bounds are the products found.) */
            const uint32_t offset = (uint32_t)(val >> avail);
            uint32_t v = 0, rlo = 0, rhi = (range * FB_CUM(p, 1u)) >> 12;
            if (rhi <= offset) {
                rhi = range;
                if (n == 16u) SEARCH_STEP(8u);
                if (n == 16u) SEARCH_STEP(4u);
                SEARCH_STEP(2u);
                SEARCH_STEP(1u);
            }
            /* (Only damage gets here with an empty interval; any other damage gives wrong
               levels, never a read outside the tables.) */
            if (rhi <= rlo) return FB_ERR_BAD_RECORD;
            val -= (fb_code_word)rlo << avail;
            range = rhi - rlo;
            FB_RENORMALISE();
            ctx = ((ctx << 2) & keep) | qt[v] |
                  (two ? (uint32_t)cur[x] & 3u : (uint32_t)cur[x]) << b0;
            if (two) w2 = (w2 << 1) | (uint32_t)cur[x] >> 2;
            cur[x] = (uint8_t)v;
        }
        fn(user, y, cur, w);
        /* Row y, zero around it, and in place of row y - 1 the context bytes of row y + 1. */
        lanes_zero(cur - FB_LANE_FIRST, FB_LANE_FIRST);
        lanes_zero(cur + w, sizeof(fb_lane));
        for (i = -(int)FB_LANE_FIRST; i < (int)w; i += (int)sizeof(fb_lane)) {
            fb_lane bytes = lane_quant(lane_at(cur + i + 1 + r1), bpp) & quantised;
            if (two) bytes |= (fb_lane)(lane_inked(lane_at(last + i + 1 + r2)) << 2);
            memcpy(last + i, &bytes, sizeof bytes);
        }
        t = cur;
        cur = last;
        last = t;
    }
    return FB_OK;
}

/* A copy with constants for 4 bpp without the row two above, what the writer chooses for
   grey fonts small and large; one for the rest. */
FB_NOINLINE fb_error fbi_rows_grey(const fb_font* f, const fb_glyph* g, fb_row_fn fn, void* user) {
    if (f->bpp == 4u && !f->compact.above2) return rows_grey(f, g, fn, user, 4u, 0);
    return rows_grey(f, g, fn, user, f->bpp, f->compact.above2 != 0);
}
#else
/* (ISO C wants at least one declaration in a file.) */
typedef int fb_decode_fast_unused;
#endif

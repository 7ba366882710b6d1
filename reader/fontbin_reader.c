/*
 * fontbin_reader: see fontbin_reader.h for the file layout and the geometry rules.
 *
 * Every read of the buffer goes through a bounds check made against the buffer's length before
 * the read, with sizes compared by subtraction or division so that no sum can wrap around, also
 * where size_t has 32 bits.
 */
/* Included by its bare name so that the two files can be dropped into a firmware tree as
   they are. */
#include "fontbin_reader.h"

#include <string.h>

#ifdef FB_ONLY_COMPACT
#ifndef FB_NO_FIXED
#define FB_NO_FIXED
#endif
#ifndef FB_NO_TRIMMED
#define FB_NO_TRIMMED
#endif
#ifndef FB_NO_ADVANCES
#define FB_NO_ADVANCES
#endif
#endif
#if !defined(FB_NO_FIXED) || !defined(FB_NO_TRIMMED)
#define FB_LEGACY 1 /* a layout with the 14-byte header and cell geometry is in */
#endif

/* Error details are fixed texts; without them the literals never reach the binary. */
#ifdef FB_NO_ERROR_TEXTS
#define FB_TEXT(s) ""
#else
#define FB_TEXT(s) s
#endif
#ifdef FB_NO_ERROR_TEXTS
/* fb_open_cell starts with ready 0, detail "" and no offset: a failure is just its code. */
#define fail(f, err, detail, offset, cp) (err)
#else
#define fail(f, err, detail, offset, cp) fail_at(f, err, detail, offset, cp)
#endif

/* Each decoding loop keeps its row buffers in its own frame, never in a caller's. */
#if defined(__GNUC__)
#define FB_NOINLINE __attribute__((noinline))
#else
#define FB_NOINLINE
#endif

/* Helpers kept out of line where flash counts more than speed (-Os). */
#if defined(__GNUC__) && defined(__OPTIMIZE_SIZE__)
#define FB_SIZE_NOINLINE __attribute__((noinline))
#else
#define FB_SIZE_NOINLINE
#endif

/* Hot helpers of the decoder; a hint only, C99 leaves inlining to the compiler. */
#if defined(__GNUC__) && !defined(__OPTIMIZE_SIZE__)
#define FB_INLINE inline __attribute__((always_inline))
#if defined(FB_FAST_DECODE) || defined(__x86_64__) || defined(__aarch64__)
#define FB_INLINE_SPEED 1 /* the decoding loops for speed (see FB_FAST_DECODE) */
#endif
#if defined(__x86_64__) || defined(__i386__) || defined(__aarch64__) || defined(__ARM_FEATURE_CLZ)
#define FB_HAVE_CLZ 1 /* a count-leading-zeros instruction */
#endif
#else
#define FB_INLINE inline
#endif

#ifdef FB_LEGACY
static const uint8_t kMagic[5] = {0x01, 0x03, 0x00, 0x00, 0x01};
#endif

static uint32_t rd16(const uint8_t* p) {
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8);
}

static uint32_t rd32(const uint8_t* p) {
#if defined(FB_INLINE_SPEED) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    uint32_t v; /* one load where the host's order is the file's */
    memcpy(&v, p, 4);
    return v;
#else
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
#endif
}

#ifndef FB_NO_ERROR_TEXTS
static fb_error fail_at(fb_font* f, fb_error err, const char* detail, size_t offset,
                        int32_t code_point) {
    f->ready = 0;
    f->error_detail = detail;
    f->error_offset = offset;
    f->error_code_point = code_point;
    return err;
}
#endif

#ifdef FB_LEGACY
static unsigned up8(unsigned n) {
    return (n + 7u) / 8u * 8u;
}

/* Packed bytes of a rows x cols cell. Both sides are at most FB_MAX_CELL, so this fits. */
static size_t packed_bytes(unsigned rows, unsigned cols, unsigned bpp) {
    return ((size_t)rows * cols * bpp + 7u) / 8u;
}

#ifndef FB_NO_TRIMMED
static unsigned row_bytes_for(unsigned extent_x, unsigned bpp) {
    return (extent_x * bpp + 7u) / 8u;
}
#endif
#endif

const char* fb_error_string(fb_error err) {
#ifdef FB_NO_ERROR_TEXTS
    (void)err;
    return "";
#else
    switch (err) {
        case FB_OK:
            return "ok";
        case FB_ERR_ARGUMENT:
            return "invalid argument";
        case FB_ERR_TRUNCATED:
            return "truncated file";
        case FB_ERR_BAD_MAGIC:
            return "not a fontbin font file";
        case FB_ERR_BAD_HEADER:
            return "inconsistent header";
        case FB_ERR_BAD_INDEX:
            return "inconsistent index part";
        case FB_ERR_BAD_RECORD:
            return "inconsistent glyph record";
        case FB_ERR_LENGTH:
            return "bytes after the last glyph record";
        case FB_ERR_GEOMETRY:
            return "cell size does not fit the file";
        case FB_ERR_NOT_FOUND:
            return "no glyph for this code point";
        case FB_ERR_UNSUPPORTED:
            return "column scanning together with rotation: the cell cannot be turned upright";
    }
    return "unknown error";
#endif
}

#ifdef FB_LEGACY
fb_error fb_cell_geometry(unsigned font_size, int italic, fb_scan scan, int rotate,
                          fb_geometry* out) {
    unsigned w0, rows, cols, t;
    if (!out || font_size == 0 || font_size > FB_MAX_CELL || rotate < 0 || rotate > 2 ||
        (scan != FB_SCAN_ROWS && scan != FB_SCAN_COLUMNS && scan != FB_SCAN_COLUMNS_ROW_SIZED))
        return FB_ERR_ARGUMENT;
    w0 = ((italic ? 3u : 2u) * font_size) / 2u;
    /* The cell as drawn. */
    if (rotate != 0 || scan == FB_SCAN_COLUMNS) {
        rows = up8(font_size);
        cols = w0;
    } else {
        rows = font_size;
        cols = up8(w0);
    }
    /* Column scanning transposes it, rotation turns it once more. */
    if (scan != FB_SCAN_ROWS) {
        t = rows;
        rows = cols;
        cols = t;
    }
    if (rotate != 0) {
        t = rows;
        rows = cols;
        cols = t;
    }
    if (rows > FB_MAX_CELL || cols > FB_MAX_CELL) return FB_ERR_ARGUMENT;
    out->rows = rows;
    out->cols = cols;
    out->scan = (int)scan;
    out->rotate = rotate;
    return FB_OK;
}

static int is_italic(const fb_font* f) {
    return (f->style_flags & FB_STYLE_ITALIC) != 0;
}

static fb_scan header_scan(const fb_font* f) {
    return (f->style_flags & FB_STYLE_SCAN_V) ? FB_SCAN_COLUMNS : FB_SCAN_ROWS;
}

fb_error fb_default_geometry(const fb_font* font, fb_geometry* out) {
    if (!font || !out || font->font_size == 0) return FB_ERR_ARGUMENT;
    return fb_cell_geometry(font->font_size, is_italic(font), header_scan(font), 0, out);
}

/* Whether the records found by fb_open fit a rows x cols cell. */
static int geometry_fits(const fb_font* f, unsigned rows, unsigned cols) {
    if (rows == 0 || cols == 0 || rows > FB_MAX_CELL || cols > FB_MAX_CELL) return 0;
    if (f->layout == FB_LAYOUT_OFFSET_TABLE)
        return f->max_extent_x <= cols && f->max_extent_y <= rows;
    return f->glyph_count == 0 || f->record_size == 4u + packed_bytes(rows, cols, f->bpp);
}

fb_error fb_set_geometry(fb_font* font, unsigned rows, unsigned cols) {
    if (!font || !font->ready) return FB_ERR_ARGUMENT;
    if (!geometry_fits(font, rows, cols)) return FB_ERR_GEOMETRY;
    font->geometry.rows = rows;
    font->geometry.cols = cols;
    font->geometry.scan = -1;
    font->geometry.rotate = -1;
    return FB_OK;
}

fb_error fb_set_geometry_for(fb_font* font, fb_scan scan, int rotate) {
    fb_geometry g;
    fb_error err;
    if (!font || !font->ready) return FB_ERR_ARGUMENT;
    err = fb_cell_geometry(font->font_size, is_italic(font), scan, rotate, &g);
    if (err != FB_OK) return err;
    if (!geometry_fits(font, g.rows, g.cols)) return FB_ERR_GEOMETRY;
    font->geometry = g;
    return FB_OK;
}

/* The cells a file with this header can come from, the header's own reading first. */
static unsigned geometry_candidates(const fb_font* f, fb_geometry* out) {
    static const int kRows[4][2] = {{FB_SCAN_ROWS, 0},
                                    {FB_SCAN_ROWS, 1},
                                    {FB_SCAN_COLUMNS_ROW_SIZED, 0},
                                    {FB_SCAN_COLUMNS_ROW_SIZED, 1}};
    static const int kColumns[2][2] = {{FB_SCAN_COLUMNS, 0}, {FB_SCAN_COLUMNS, 1}};
    const int(*list)[2] = (f->style_flags & FB_STYLE_SCAN_V) ? kColumns : kRows;
    unsigned count = (f->style_flags & FB_STYLE_SCAN_V) ? 2u : 4u;
    unsigned i, n = 0;
    for (i = 0; i < count; ++i) {
        if (fb_cell_geometry(f->font_size, is_italic(f), (fb_scan)list[i][0], list[i][1],
                             &out[n]) == FB_OK)
            ++n;
    }
    return n;
}

#ifndef FB_NO_FIXED
/* Fixed records: the record count and the cell follow from the bytes after the index part.
   `given` is the caller's cell, or null to try the cells the header allows. */
static fb_error open_fixed_records(fb_font* f, int count_may_include_ffff,
                                   const fb_geometry* given) {
    fb_geometry cand[4];
    unsigned n, i, c;
    size_t region = f->size - f->records_offset, rs;
    uint32_t counts[2], count;
    unsigned count_options = 1;
    if (given) {
        cand[0] = *given;
        n = 1;
    } else {
        n = geometry_candidates(f, cand);
    }
    if (n == 0) return fail(f, FB_ERR_BAD_HEADER, "font size gives no valid cell", 6, -1);
    counts[0] = f->glyph_count;
    if (count_may_include_ffff) {
        /* 65535 numbers precede U+FFFF; with every code point selected, U+FFFF is glyph 65535
           and its table entry 0xFFFF cannot say so. The file length decides. */
        counts[0] = 65536u;
        counts[1] = 65535u;
        count_options = 2;
    }
    for (c = 0; c < count_options; ++c) {
        count = counts[c];
        if (count == 0) {
            if (region != 0)
                return fail(f, FB_ERR_LENGTH,
                            "bytes follow the index part of a file without glyphs",
                            f->records_offset, -1);
            f->glyph_count = 0;
            f->record_size = 4u + packed_bytes(cand[0].rows, cand[0].cols, f->bpp);
            f->geometry = cand[0];
            return FB_OK;
        }
        for (i = 0; i < n; ++i) {
            rs = 4u + packed_bytes(cand[i].rows, cand[i].cols, f->bpp);
            if (region % rs == 0 && region / rs == count) {
                f->glyph_count = count;
                f->record_size = rs;
                f->geometry = cand[i];
                return FB_OK;
            }
        }
    }
    count = counts[count_options - 1];
    rs = 4u + packed_bytes(cand[0].rows, cand[0].cols, f->bpp);
    if (region / rs < count)
        return fail(f, FB_ERR_TRUNCATED, "file ends inside the glyph records",
                    f->records_offset + region / rs * rs, -1);
    if (region % count != 0)
        return fail(f, FB_ERR_LENGTH, "bytes follow the last glyph record",
                    f->records_offset + (size_t)count * rs, -1);
    if (given)
        return fail(f, FB_ERR_GEOMETRY, "glyph records are not the size of the given cell",
                    f->records_offset, -1);
    return fail(f, FB_ERR_BAD_RECORD, "glyph record size matches no cell of this font size",
                f->records_offset, -1);
}

static fb_error open_glyph_table(fb_font* f, const fb_geometry* given) {
    const uint8_t* idx;
    uint32_t cp, expected = 0;
    int last_open = 0;
    if (f->index_bytes != FB_GLYPH_TABLE_BYTES)
        return fail(f, FB_ERR_BAD_HEADER, "indexBytes is not 131072 for the glyph-number table", 9,
                    -1);
    f->index_size = FB_GLYPH_TABLE_BYTES;
    if (f->size - f->index_offset < f->index_size)
        return fail(f, FB_ERR_TRUNCATED, "file ends inside the glyph-number table", f->size, -1);
    f->records_offset = f->index_offset + f->index_size;
    idx = f->data + f->index_offset;
    /* Glyphs are numbered in code-point order: the entries that are not 0xFFFF read 0, 1, 2... */
    for (cp = 0; cp <= 0xFFFFu; ++cp) {
        uint32_t v = rd16(idx + 2u * cp);
        if (v == FB_NO_GLYPH) continue;
        if (v != expected)
            return fail(f, FB_ERR_BAD_INDEX, "glyph numbers do not count up in code-point order",
                        f->index_offset + 2u * cp, (int32_t)cp);
        ++expected;
    }
    last_open = expected == 65535u && rd16(idx + 2u * 0xFFFFu) == FB_NO_GLYPH;
    f->glyph_count = expected;
    f->char_count = expected;
    {
        fb_error err = open_fixed_records(f, last_open, given);
        f->char_count = f->glyph_count;
        return err;
    }
}

static fb_error open_code_list(fb_font* f, const fb_geometry* given) {
    const uint8_t* idx;
    uint32_t i, count;
    if (f->index_bytes % 2u != 0 || f->index_bytes > FB_GLYPH_TABLE_BYTES)
        return fail(f, FB_ERR_BAD_HEADER, "indexBytes is not twice a character count", 9, -1);
    count = f->index_bytes / 2u;
    f->index_size = f->index_bytes;
    if (f->size - f->index_offset < f->index_size)
        return fail(f, FB_ERR_TRUNCATED, "file ends inside the code-point list", f->size, -1);
    f->records_offset = f->index_offset + f->index_size;
    idx = f->data + f->index_offset;
    for (i = 1; i < count; ++i) {
        if (rd16(idx + 2u * i) <= rd16(idx + 2u * (i - 1u)))
            return fail(f, FB_ERR_BAD_INDEX, "code-point list is not strictly ascending",
                        f->index_offset + 2u * i, (int32_t)rd16(idx + 2u * i));
    }
    f->char_count = count;
    f->glyph_count = count;
    return open_fixed_records(f, 0, given);
}

#endif

#ifndef FB_NO_TRIMMED
static fb_error open_offset_table(fb_font* f, const fb_geometry* given) {
    const uint8_t* idx;
    uint32_t cp, records = 0;
    size_t expected;
    fb_geometry cand[4];
    unsigned n, i;
    if (f->style_flags & FB_STYLE_INDEX_LIST) {
        /* With both bits the field counts 4 bytes per selected character, although the full
           offset table follows; characters without ink have no record. */
        if (f->index_bytes % 4u != 0 || f->index_bytes > FB_OFFSET_TABLE_BYTES)
            return fail(f, FB_ERR_BAD_HEADER, "indexBytes is not four times a character count", 9,
                        -1);
        f->char_count = f->index_bytes / 4u;
    } else {
        if (f->index_bytes != FB_OFFSET_TABLE_BYTES)
            return fail(f, FB_ERR_BAD_HEADER, "indexBytes is not 262144 for the offset table", 9,
                        -1);
        f->char_count = FB_UNKNOWN;
    }
    f->index_size = FB_OFFSET_TABLE_BYTES;
    if (f->size - f->index_offset < f->index_size)
        return fail(f, FB_ERR_TRUNCATED, "file ends inside the offset table", f->size, -1);
    f->records_offset = f->index_offset + f->index_size;
    idx = f->data + f->index_offset;
    /* Records follow each other without gaps, in code-point order, up to the end of the file. */
    expected = f->records_offset;
    for (cp = 0; cp <= 0xFFFFu; ++cp) {
        uint32_t off = rd32(idx + 4u * cp);
        const uint8_t* rec;
        unsigned top_skip, ex, ey;
        size_t size;
        if (off == FB_NO_RECORD) continue;
        if ((size_t)off < expected)
            return fail(f, FB_ERR_BAD_INDEX,
                        expected == f->records_offset
                            ? "record offset points into the header or index part"
                            : "record offsets do not increase with the code point",
                        f->index_offset + 4u * cp, (int32_t)cp);
        if ((size_t)off > expected) {
            if ((size_t)off >= f->size)
                return fail(f, FB_ERR_TRUNCATED, "record offset lies past the end of the file",
                            f->index_offset + 4u * cp, (int32_t)cp);
            return fail(f, FB_ERR_BAD_INDEX, "gap before a glyph record", f->index_offset + 4u * cp,
                        (int32_t)cp);
        }
        if (f->size - expected < 4u)
            return fail(f, FB_ERR_TRUNCATED, "file ends inside a glyph record", expected,
                        (int32_t)cp);
        rec = f->data + expected;
        top_skip = rec[0];
        ex = rec[2];
        ey = rec[3];
        if (ex == 0)
            return fail(f, FB_ERR_BAD_RECORD, "trimmed record with extent x of 0", expected,
                        (int32_t)cp);
        if (ey <= top_skip)
            return fail(f, FB_ERR_BAD_RECORD, "trimmed record keeps no row (topSkip >= extent y)",
                        expected, (int32_t)cp);
        size = 4u + (size_t)(ey - top_skip) * row_bytes_for(ex, f->bpp);
        if (f->size - expected < size)
            return fail(f, FB_ERR_TRUNCATED, "file ends inside a glyph record", expected,
                        (int32_t)cp);
        expected += size;
        ++records;
        if (ex > f->max_extent_x) f->max_extent_x = ex;
        if (ey > f->max_extent_y) f->max_extent_y = ey;
    }
    if (expected != f->size)
        return fail(f, FB_ERR_LENGTH, "bytes follow the last glyph record", expected, -1);
    if (f->char_count != FB_UNKNOWN && records > f->char_count)
        return fail(f, FB_ERR_BAD_HEADER, "more glyph records than indexBytes counts characters", 9,
                    -1);
    f->glyph_count = records;
    f->record_size = 0;
    if (given) {
        if (geometry_fits(f, given->rows, given->cols)) {
            f->geometry = *given;
            return FB_OK;
        }
        return fail(f, FB_ERR_GEOMETRY, "a glyph record reaches past the given cell",
                    f->records_offset, -1);
    }
    n = geometry_candidates(f, cand);
    for (i = 0; i < n; ++i) {
        if (geometry_fits(f, cand[i].rows, cand[i].cols)) {
            f->geometry = cand[i];
            return FB_OK;
        }
    }
    return fail(f, FB_ERR_BAD_RECORD, "a glyph record reaches past every cell of this font size",
                f->records_offset, -1);
}
#endif /* FB_NO_TRIMMED */

#endif /* FB_LEGACY */

#if !defined(FB_NO_ADVANCES) || !defined(FB_NO_COMPACT)
/* Kerning pairs, in the width file (version 2) and the compact file alike: 5 bytes each, u16
   left, u16 right code point, s8 pixels. Their order: left code point, then right. */
static uint32_t pair_key(const uint8_t* pair) {
    const uint32_t v = rd32(pair); /* right << 16 | left */
    return v << 16 | v >> 16;
}

/* The adjustment of `left` then `right` among `count` pairs: a binary search. */
static fb_error find_pair(const uint8_t* pairs, uint32_t count, uint32_t left, uint32_t right,
                          int* adjust) {
    uint32_t lo = 0, hi = count, key;
    *adjust = 0;
    if (left > 0xFFFFu || right > 0xFFFFu || !pairs) return FB_ERR_NOT_FOUND;
    key = left << 16 | right;
    while (lo < hi) {
        const uint32_t mid = lo + (hi - lo) / 2u;
        const uint8_t* pair = pairs + (size_t)mid * 5u;
        const uint32_t k = pair_key(pair);
        if (k == key) {
            *adjust = pair[4] < 128u ? (int)pair[4] : (int)pair[4] - 256;
            return FB_OK;
        }
        if (k < key)
            lo = mid + 1u;
        else
            hi = mid;
    }
    return FB_ERR_NOT_FOUND;
}
#endif

#ifndef FB_NO_COMPACT
/* ---------------------------------------------------------------------------------------------
 * Compact layout. fb_open checks every part once: the runs, each glyph's table record against
 * the cell and its size against the checkpoints and the data part. Decoding then stays inside
 * the data part whatever its bits say (reads past its end give zero bits) and every loop is
 * bounded by the glyph's box.
 */
#define FB_COMPACT_TAG 0x50434246u /* "FBCP" read as a little-endian u32 */

enum { FIELD_SIZE = 0, FIELD_ADVANCE, FIELD_X, FIELD_Y, FIELD_W, FIELD_H, FIELD_COUNT };

/* A little-endian bit field of up to 24 bits at bit `bit` of p. The four bytes read from the
   field's first byte on lie in the file: the glyph table is followed by at least the four bytes
   of a checkpoint. */
static uint32_t rd_field(const uint8_t* p, uint32_t bit, unsigned width) {
    return (rd32(p + (bit >> 3)) >> (bit & 7u)) & ((1u << width) - 1u);
}

/* The six fields of a glyph's record (size, advance, box x, y, w, h). */
static void compact_record(const fb_font* f, uint32_t number, uint32_t* v) {
    const fb_compact* c = &f->compact;
    uint32_t bit = number * c->record_bits;
    unsigned n;
    for (n = 0; n < FIELD_COUNT; ++n) {
        v[n] = c->field_min[n] + rd_field(f->data + c->table, bit, c->field_bits[n]);
        bit += c->field_bits[n];
    }
}

/* A glyph's code size alone: its record's first field. (Optimising for size, a call per glyph
   takes less flash than the field read inline.) */
static FB_SIZE_NOINLINE uint32_t compact_size(const fb_font* f, uint32_t number) {
    const fb_compact* c = &f->compact;
    return c->field_min[FIELD_SIZE] +
           rd_field(f->data + c->table, number * c->record_bits, c->field_bits[FIELD_SIZE]);
}

/* Symbols of a context's table: 2 (one probability byte) at 1 bpp, else 4 or 16 levels (8 bpp:
   its high four bits), each table n - 1 cumulative frequencies of two bytes. */
static uint32_t table_symbols(unsigned bpp) {
    return bpp == 1 ? 2u : (bpp == 2 ? 4u : 16u);
}

static uint32_t table_bytes(unsigned bpp) {
    return bpp == 1 ? 1u : 2u * (table_symbols(bpp) - 1u);
}

/* Model bytes of a depth and template, as the writer lays them out: a table per context, and
   at 8 bpp 16 more for the low four bits. */
static uint32_t compact_model_bytes(const fb_compact* c, unsigned bpp) {
    unsigned qb = bpp == 1 ? 1u : 2u, k = c->west * qb;
    if (c->above) k += (2u * c->above - 1u) * qb;
    if (c->above2) k += 2u * c->above2 - 1u;
    return (((uint32_t)1 << k) + (bpp == 8 ? 16u : 0u)) * table_bytes(bpp);
}

/* The number of run `run`'s first glyph; glyph_count past the last run. */
static uint32_t run_glyph(const fb_font* f, uint32_t run) {
    const uint8_t* r = f->data + f->compact.runs + 5u * run;
    return run < f->compact.run_count ? (rd16(r + 2) | ((uint32_t)r[4] << 16)) : f->glyph_count;
}

static fb_error open_compact(fb_font* f, unsigned rows, unsigned cols) {
    fb_compact* c = &f->compact;
    const uint8_t* b = f->data;
    size_t at, left;
    uint32_t i, count, groups, run_glyphs, bits, cap, t;
    unsigned flags, tmpl, n;
    if (f->size < FB_COMPACT_HEADER_BYTES)
        return fail(f, FB_ERR_TRUNCATED, "file ends inside the header", f->size, -1);
    if (b[4] != 1u) return fail(f, FB_ERR_BAD_HEADER, "unknown compact version", 4, -1);
    f->font_size = b[5];
    f->bpp = b[6];
    flags = b[7];
    c->baseline = b[8];
    c->line_height = b[9];
    f->geometry.rows = rd16(b + 10);
    f->geometry.cols = rd16(b + 12);
    f->glyph_count = rd32(b + 14);
    c->run_count = rd16(b + 18);
    c->checkpoint_shift = b[20];
    c->method = b[21];
    tmpl = b[22];
    f->name_length = b[23];
    c->model_size = rd32(b + 24);
    c->stream_size = rd32(b + 28);
    c->scan = (flags >> 2) & 3u;
    c->rotate = (flags >> 4) & 3u;
    c->west = tmpl & 7u;
    c->above = (tmpl >> 3) & 3u;
    c->above2 = (tmpl >> 5) & 3u;
    f->style_flags = (flags & 3u) | (c->scan == 1u ? FB_STYLE_SCAN_V : 0u);
    f->geometry.scan = (int)c->scan;
    f->geometry.rotate = (int)c->rotate;
    f->layout = FB_LAYOUT_COMPACT;
    if (f->font_size == 0) return fail(f, FB_ERR_BAD_HEADER, "font size 0", 5, -1);
    if (f->bpp > 8u || !((0x116u >> f->bpp) & 1u)) /* bits 1, 2, 4 and 8 */
        return fail(f, FB_ERR_BAD_HEADER, "bits per pixel not 1, 2, 4 or 8", 6, -1);
    if ((flags & 0x80u) || c->scan > 2u || c->rotate > 2u)
        return fail(f, FB_ERR_BAD_HEADER, "unknown flag bits, scan or rotation", 7, -1);
    if (f->glyph_count > 65536u || c->run_count > f->glyph_count ||
        (c->run_count == 0 && f->glyph_count != 0))
        return fail(f, FB_ERR_BAD_HEADER, "glyph or run count out of range", 14, -1);
    if (f->glyph_count != 0 && (f->geometry.rows == 0 || f->geometry.cols == 0 ||
                                f->geometry.rows > FB_MAX_CELL || f->geometry.cols > FB_MAX_CELL))
        return fail(f, FB_ERR_BAD_HEADER, "cell size out of range", 10, -1);
    if (rows && (rows != f->geometry.rows || cols != f->geometry.cols))
        return fail(f, FB_ERR_GEOMETRY, "the file states another cell", 10, -1);
    if (c->checkpoint_shift > 16u)
        return fail(f, FB_ERR_BAD_HEADER, "checkpoint interval out of range", 20, -1);
    if (c->method != FB_COMPACT_CONTEXT || (tmpl & 0x80u) || c->west > 4u || c->above > 3u ||
        c->above2 > 2u)
        return fail(f, FB_ERR_BAD_HEADER, "unknown coding method or template", 21, -1);
    if (compact_model_bytes(c, f->bpp) != c->model_size)
        return fail(f, FB_ERR_BAD_HEADER, "model size does not match the template", 24, -1);
    c->record_bits = 0;
    for (n = 0; n < FIELD_COUNT; ++n) {
        c->field_min[n] = rd32(b + 32u + 5u * n);
        c->field_bits[n] = b[36u + 5u * n];
        if (c->field_bits[n] > 24u || c->field_min[n] > 0xFFFFFFu)
            return fail(f, FB_ERR_BAD_HEADER, "glyph table field out of range", 32u + 5u * n, -1);
        c->record_bits += c->field_bits[n];
    }
    /* Name: at least the zero byte that ends it. */
    f->header_length = FB_COMPACT_HEADER_BYTES + f->name_length;
    if (f->name_length == 0)
        return fail(f, FB_ERR_BAD_HEADER, "name length 0 (the terminating zero is counted)", 23,
                    -1);
    if (f->size < f->header_length)
        return fail(f, FB_ERR_TRUNCATED, "file ends inside the font name", f->size, -1);
    /* (A zero byte inside the name only shortens it; the writer never puts one there.) */
    if (b[f->header_length - 1u] != 0)
        return fail(f, FB_ERR_BAD_HEADER, "font name does not end with a zero byte",
                    f->header_length - 1u, -1);
    f->name = (const char*)(b + FB_COMPACT_HEADER_BYTES);
    /* The parts, each checked against what is left of the file. */
    at = f->header_length;
    left = f->size - at;
    count = f->glyph_count;
    groups = count == 0 ? 0u : ((count - 1u) >> c->checkpoint_shift) + 1u;
    {
        size_t part[5], start[5];
        part[0] = (size_t)c->run_count * 5u;
        part[1] = (size_t)(((uint32_t)count * c->record_bits + 7u) / 8u);
        part[2] = (size_t)groups * 4u;
        part[3] = c->model_size;
        part[4] = c->stream_size;
        for (n = 0; n < 5u; ++n) {
            if (left < part[n])
                return fail(f, FB_ERR_TRUNCATED, "file ends before a part the header states",
                            f->size, -1);
            start[n] = at;
            at += part[n];
            left -= part[n];
        }
        c->runs = start[0];
        c->table = start[1];
        c->checkpoints = start[2];
        c->model = start[3];
        c->stream = start[4];
        /* Kerning (flag bit 6): the pair count, then the pairs; the file ends with them. */
        if (flags & FB_COMPACT_KERNING) {
            const uint8_t* p;
            if (left < 4u)
                return fail(f, FB_ERR_TRUNCATED, "file ends before the kerning pair count", f->size,
                            -1);
            p = b + at + 4u; /* only once the count is known to be inside the file */
            c->pairs = at + 4u;
            c->pair_count = rd32(p - 4);
            left -= 4u;
            bits = 0; /* the last pair's key */
            for (i = 0; i < c->pair_count; ++i, p += 5u, left -= 5u) {
                if (left < 5u)
                    return fail(f, FB_ERR_TRUNCATED, "file ends inside the kerning pairs", f->size,
                                -1);
                t = pair_key(p);
                if (p[4] == 0 || (i > 0 && t <= bits))
                    return fail(f, FB_ERR_BAD_INDEX,
                                "kerning pairs are not strictly ascending or one adjusts by 0",
                                (size_t)(p - b), (int32_t)rd16(p));
                bits = t;
            }
            at = (size_t)(p - b);
        }
        if (left != 0) return fail(f, FB_ERR_LENGTH, "bytes follow the last part", at, -1);
    }
    f->char_count = count;
#ifdef FB_LEGACY
    /* The general fields, for tools that read every layout. */
    f->index_offset = c->runs;
    f->index_size = c->model - c->runs;
    f->records_offset = c->stream;
    f->index_bytes = (uint32_t)f->index_size;
#endif
    /* Runs: glyph numbers from 0 up, code points ascending without overlap. */
    for (i = 0; i < c->run_count; ++i) {
        const uint8_t* r = b + c->runs + 5u * i;
        uint32_t first = rd16(r), glyph = run_glyph(f, i), next = run_glyph(f, i + 1u);
        if ((i == 0 && glyph != 0) || next <= glyph || next > count)
            return fail(f, FB_ERR_BAD_INDEX, "run glyph numbers do not count up from 0",
                        c->runs + 5u * i, (int32_t)first);
        run_glyphs = next - glyph;
        if (run_glyphs - 1u > 0xFFFFu - first)
            return fail(f, FB_ERR_BAD_INDEX, "run reaches past U+FFFF", c->runs + 5u * i,
                        (int32_t)first);
        if (i + 1u < c->run_count && rd16(r + 5) < first + run_glyphs)
            return fail(f, FB_ERR_BAD_INDEX, "runs are not in ascending code-point order",
                        c->runs + 5u * i + 5u, (int32_t)rd16(r + 5));
    }
    /* Glyph records: boxes inside the cell, sizes adding up to the checkpoints and the data. */
    cap = c->stream_size >= 0x20000000u ? 0xFFFFFFFFu : c->stream_size * 8u;
    bits = 0;
    for (i = 0; i < count; ++i) {
        uint32_t v[FIELD_COUNT], size;
        compact_record(f, i, v);
        size = v[FIELD_SIZE];
        if ((i & ((1u << c->checkpoint_shift) - 1u)) == 0 &&
            rd32(b + c->checkpoints + 4u * (i >> c->checkpoint_shift)) != bits)
            return fail(f, FB_ERR_BAD_INDEX, "checkpoint differs from the sizes before it",
                        c->checkpoints + 4u * (i >> c->checkpoint_shift), -1);
        if (size != 0) {
            /* Fields are below 2^25: the sums cannot wrap. */
            uint32_t w = v[FIELD_W], h = v[FIELD_H];
            if (w == 0 || h == 0 || v[FIELD_X] + w > f->geometry.cols ||
                v[FIELD_Y] + h > f->geometry.rows)
                return fail(f, FB_ERR_BAD_RECORD, "glyph box or size does not fit", c->table, -1);
            if (w > FB_COMPACT_MAX_WIDTH)
                return fail(f, FB_ERR_GEOMETRY, "glyph box wider than FB_COMPACT_MAX_WIDTH",
                            c->table, -1);
#ifdef FB_LEGACY
            if (w > f->max_extent_x) f->max_extent_x = w;
            if (h > f->max_extent_y) f->max_extent_y = h;
#endif
        }
        if (size > cap - bits)
            return fail(f, FB_ERR_BAD_INDEX, "glyph sizes add up past the data part", c->table, -1);
        bits += size;
    }
    t = bits / 8u + ((bits & 7u) != 0);
    if (t != c->stream_size)
        return fail(f, FB_ERR_LENGTH, "data part is longer than the glyphs' code", c->stream + t,
                    -1);
    return FB_OK;
}

static fb_error compact_glyph(const fb_font* f, uint32_t code_point, uint32_t number,
                              fb_glyph* out) {
    const fb_compact* c = &f->compact;
    uint32_t i, first, bit, v[FIELD_COUNT];
    /* (`number` is below glyph_count: the runs fb_open checked give it.) */
    first = number >> c->checkpoint_shift;
    bit = rd32(f->data + c->checkpoints + 4u * first);
    for (i = first << c->checkpoint_shift; i < number; ++i) bit += compact_size(f, i);
    compact_record(f, number, v);
    memset(out, 0, sizeof *out);
    out->code_point = code_point;
    out->number = number;
    out->compact = 1;
    out->bpp = f->bpp;
    out->rows = f->geometry.rows;
    out->cols = f->geometry.cols;
    out->origin_y = c->baseline;
    out->advance = (int)v[FIELD_ADVANCE];
    out->stream_bit = bit;
    out->stream_bits = v[FIELD_SIZE];
    if (out->stream_bits != 0) {
        out->box_x = v[FIELD_X];
        out->box_y = v[FIELD_Y];
        out->box_w = v[FIELD_W];
        out->box_h = v[FIELD_H];
    }
#ifdef FB_LEGACY
    /* The fields the other layouts fill, as far as they mean something here. */
    out->offset = c->stream + bit / 8u;
    out->size = (out->stream_bits + (bit & 7u) + 7u) / 8u;
    out->bits = f->data + out->offset;
    out->bits_size = out->size;
    out->extent_x = out->box_x + out->box_w;
    out->extent_y = out->box_y + out->box_h;
    out->top_skip = out->box_y;
    out->stored_rows = out->box_h;
#endif
    return FB_OK;
}

/* The run holding `code_point`, or (with `after`) the first run starting above it: its index,
   or run_count when there is none. */
static uint32_t compact_run(const fb_font* f, uint32_t code_point) {
    const uint8_t* runs = f->data + f->compact.runs;
    uint32_t lo = 0, hi = f->compact.run_count;
    /* The last run whose first code point is <= code_point. */
    while (lo < hi) {
        uint32_t mid = lo + (hi - lo) / 2u;
        if (rd16(runs + 5u * mid) <= code_point)
            lo = mid + 1u;
        else
            hi = mid;
    }
    return lo; /* runs [0, lo) start at or below code_point */
}

fb_error fb_compact_kerning(const fb_font* font, uint32_t left, uint32_t right, int* adjust) {
    if (!font || !font->ready || !adjust) return FB_ERR_ARGUMENT;
    if (font->layout != FB_LAYOUT_COMPACT || !font->compact.pair_count) {
        *adjust = 0;
        return FB_ERR_NOT_FOUND;
    }
    return find_pair(font->data + font->compact.pairs, font->compact.pair_count, left, right,
                     adjust);
}

static fb_error compact_find(const fb_font* f, uint32_t code_point, fb_glyph* out) {
    uint32_t k = compact_run(f, code_point), first, glyph;
    if (k == 0) return FB_ERR_NOT_FOUND;
    first = rd16(f->data + f->compact.runs + 5u * (k - 1u));
    glyph = run_glyph(f, k - 1u) + (code_point - first);
    if (glyph >= run_glyph(f, k)) return FB_ERR_NOT_FOUND;
    return compact_glyph(f, code_point, glyph, out);
}

/* The glyph of `from`, else the first of the next run: apart from compact_find, so that a
   firmware that only finds glyphs does not carry it. */
static fb_error compact_next(const fb_font* f, uint32_t from, fb_glyph* out) {
    const fb_error err = compact_find(f, from, out);
    uint32_t k;
    if (err != FB_ERR_NOT_FOUND) return err;
    k = compact_run(f, from);
    if (k >= f->compact.run_count) return FB_ERR_NOT_FOUND;
    return compact_glyph(f, rd16(f->data + f->compact.runs + 5u * k), run_glyph(f, k), out);
}

/* Arithmetic decoder: the mirror of the writer's coder (output/CompactFontWriter.cpp). It keeps
   the interval's range and the code's offset in it (offset < range <= 0xFFFF); renormalising
   doubles the range until it is at least 0x8000, taking one code bit per doubling. Code bits
   wait in `bits`, most significant first, `avail` of them; past the data part they are zero. */
typedef struct fb_coder {
    const uint8_t* p;
    uint32_t next, end; /* next byte to load, end of the data part */
    uint32_t bits, avail;
    uint32_t range, offset;
} fb_coder;

/* Tops the reservoir up to at least 25 bits. */
static void coder_fill(fb_coder* d) {
    while (d->avail <= 24u) {
        d->bits |= (uint32_t)(d->next < d->end ? d->p[d->next] : 0) << (24u - d->avail);
        ++d->next;
        d->avail += 8u;
    }
}

/* The next n (1 .. 24) code bits. */
static FB_INLINE uint32_t coder_take(fb_coder* d, uint32_t n) {
    uint32_t v;
    if (d->avail < n) coder_fill(d);
    v = d->bits >> (32u - n);
    d->bits <<= n;
    d->avail -= n;
    return v;
}

static FB_INLINE uint32_t coder_decode(fb_coder* d, uint32_t q) {
    uint32_t range = d->range, offset = d->offset, bit = 0;
    const uint32_t r0 = (range * (4088u - 16u * q)) >> 12;
    if (offset < r0) {
        range = r0;
    } else {
        offset -= r0;
        range -= r0;
        bit = 1;
    }
    if (range < 0x8000u) {
        /* range >= 64 after any decision: at most 9 doublings. */
#ifdef FB_HAVE_CLZ
        uint32_t n = (uint32_t)__builtin_clz(range) - 16u;
#else
        uint32_t n = 0;
        while ((range << n) < 0x8000u) ++n;
#endif
        d->offset = (offset << n) | coder_take(d, n);
        d->range = range << n;
        return bit;
    }
    d->range = range;
    d->offset = offset;
    return bit;
}

/* A symbol of n by its table (n - 1 cumulative 12-bit frequencies, u16): the last symbol k
   with (range * cum[k]) >> 12 <= offset, cum[0] = 0. n for a table that no code fits. */
static FB_INLINE uint32_t coder_symbol(fb_coder* d, const uint8_t* cum, uint32_t n) {
    uint32_t lo = 0, hi = n, rlo = 0, rhi = d->range;
    while (hi - lo > 1u) {
        const uint32_t mid = (lo + hi) >> 1;
        const uint32_t r = (d->range * rd16(cum + 2u * (mid - 1u))) >> 12;
        if (d->offset >= r) {
            lo = mid;
            rlo = r;
        } else {
            hi = mid;
            rhi = r;
        }
    }
    if (rhi <= rlo) return n; /* a damaged table */
    d->offset -= rlo;
    d->range = rhi - rlo;
    if (d->range < 0x8000u) {
#ifdef FB_HAVE_CLZ
        uint32_t k = (uint32_t)__builtin_clz(d->range) - 16u;
#else
        uint32_t k = 0;
        while ((d->range << k) < 0x8000u) ++k;
#endif
        d->offset = (d->offset << k) | coder_take(d, k);
        d->range <<= k;
    }
    return lo;
}

/* Starts the coder at a glyph's first bit. FB_ERR_BAD_RECORD for a start no code has. */
static fb_error coder_start(fb_coder* d, const fb_font* f, const fb_glyph* g) {
    d->p = f->data + f->compact.stream;
    d->end = f->compact.stream_size;
    d->next = g->stream_bit >> 3;
    d->avail = 0;
    d->bits = 0;
    d->range = 0xFFFFu;
    coder_fill(d);
    if (g->stream_bit & 7u) coder_take(d, g->stream_bit & 7u);
    d->offset = coder_take(d, 16u);
    return d->offset < d->range ? FB_OK : FB_ERR_BAD_RECORD;
}

/* The level a neighbour adds to a context: grey levels quantised to none, low, high, full. */
static FB_INLINE uint32_t quant(uint32_t v, uint32_t max) {
    if (v == 0 || max == 1u) return v;
    return 1u + (v > max / 2u) + (v == max);
}

/* Scratch for decoding: one row of levels with 4 zero bytes on each side (the context reads
   past both ends), then two rows of ink bits (pixel i at bit i + 8, so that i may be -8). */
#define FB_PAD 4u
#define FB_ROW_BYTES (FB_COMPACT_MAX_WIDTH + 2u * FB_PAD)
#define FB_INK_BYTES ((FB_COMPACT_MAX_WIDTH + 16u) / 8u)
#define FB_SCRATCH_BYTES (FB_ROW_BYTES + 2u * FB_INK_BYTES)

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

#ifdef FB_INLINE_SPEED
/* Copies of the decoder for speed, built only when optimising for it (the general loop below
   decodes the same files). The coder's state lives in locals, and one decision is this macro:
   `bit` gets the decision coded with probability byte `q`. */
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
#define FB_CUM(table, k) rd16((table) + 2u * ((k)-1u))
#endif

/* Ink of row y - 2 comes from bit rows, most significant bit first, pixel i at bit i + 8. The
   next 16 pixels from bit `at` on, the first at bit 15: */
#define FB_INK16(ink, at) \
    ((((uint32_t)(ink)[(at) >> 3] << 8) | (ink)[((at) >> 3) + 1u]) << ((at)&7u))

/* 1 bpp with all three windows, as the writer chooses for large fonts: a level is its own
   context bit, so the windows share one register that moves one bit per pixel. */
static FB_NOINLINE fb_error rows_bilevel(const fb_font* f, const fb_glyph* g, fb_row_fn fn,
                                         void* user) {
    const fb_compact* c = &f->compact;
    uint8_t scratch[FB_SCRATCH_BYTES];
    uint8_t* row = scratch + FB_PAD;
    uint8_t* ink2 = scratch + FB_ROW_BYTES;
    uint8_t* ink1 = ink2 + FB_INK_BYTES;
    const uint8_t* model = f->data + c->model;
    const uint32_t r1 = c->above - 1u, r2 = c->above2 - 1u;
    const uint32_t b0 = c->west, b01 = b0 + 2u * r1 + 1u, nbits = b01 + 2u * r2 + 1u;
    const uint32_t keep = ((1u << nbits) - 1u) & ~(1u << b0) & ~(1u << b01);
    const uint32_t lead = r1 > r2 ? r1 : r2, w = g->box_w;
    const uint8_t* ahead1 = row + 1u + r1; /* the row above's newest window pixel for x */
    uint32_t x, y;
    fb_coder start;
    const fb_error started = coder_start(&start, f, g);
    FB_CODER_IN(&start);
    if (started != FB_OK) return started;
    clear_scratch(scratch, g->box_w);
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
static FB_NOINLINE fb_error rows_grey(const fb_font* f, const fb_glyph* g, fb_row_fn fn,
                                      void* user) {
    const fb_compact* c = &f->compact;
    uint8_t scratch[FB_SCRATCH_BYTES];
    uint8_t* row = scratch + FB_PAD;
    uint8_t* ink2 = scratch + FB_ROW_BYTES;
    uint8_t* ink1 = ink2 + FB_INK_BYTES;
    const uint8_t* model = f->data + c->model;
    const uint32_t bpp = f->bpp, max = (1u << bpp) - 1u, n = table_symbols(bpp);
    const uint32_t stride = table_bytes(bpp);
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
    const fb_error started = coder_start(&start, f, g);
    FB_CODER_IN(&start);
    if (started != FB_OK) return started;
    clear_scratch(scratch, g->box_w);
    for (x = 0; x <= max; ++x) qt[x] = (uint8_t)quant(x, max);
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
#endif

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
    const uint8_t* model = f->data + c->model;
    const uint32_t max = (1u << bpp) - 1u, qb = bpp == 1 ? 1u : 2u;
    const uint32_t n = table_symbols(bpp), stride = table_bytes(bpp);
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
    if (coder_start(&d, f, g) != FB_OK) return FB_ERR_BAD_RECORD;
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
            ctx = ((ctx << qb) & keep) | ((quant(row[k + (int)r1], max) & e1) << b0);
            w2 = ((w2 << 1) | ((uint32_t)(ink2[at2 >> 3] >> (at2 & 7u)) & 1u)) & m2;
        }
        for (x = 0; x < w; ++x) {
            const uint8_t* p = model + (ctx | (w2 << b01)) * stride;
            uint32_t v, at2 = x + r2 + 9u;
            if (row[x]) ink1[(x + 8u) >> 3] = (uint8_t)(ink1[(x + 8u) >> 3] | (1u << (x & 7u)));
            if (bpp == 1u) {
                v = coder_decode(&d, p[0]);
            } else {
                v = coder_symbol(&d, p, n);
                if (bpp == 8u && v < n) {
                    /* The low four bits, by the table of the high four after the contexts'. */
                    const uint32_t low =
                        coder_symbol(&d, model + c->model_size - (16u - v) * stride, n);
                    v = low < n ? (v << 4) | low : n;
                }
                if (v > max) return FB_ERR_BAD_RECORD;
            }
            row[x] = (uint8_t)v;
            ctx = ((ctx << qb) & keep) | (quant(v, max) & e0) |
                  ((quant(row[x + 1u + r1], max) & e1) << b0);
            w2 = ((w2 << 1) | ((uint32_t)(ink2[at2 >> 3] >> (at2 & 7u)) & 1u)) & m2;
        }
        fn(user, y, row, w);
    }
    return FB_OK;
}
#endif /* FB_NO_COMPACT */

#ifdef FB_LEGACY
/* A glyph of the other layouts, row by row through fb_glyph_pixel. */
static FB_NOINLINE fb_error legacy_rows(const fb_glyph* glyph, fb_row_fn fn, void* user) {
    uint8_t row[FB_COMPACT_MAX_WIDTH];
    unsigned x, y;
    for (y = 0; y < glyph->box_h; ++y) {
        for (x = 0; x < glyph->box_w; ++x)
            row[x] = (uint8_t)fb_glyph_pixel(glyph, glyph->box_x + x, glyph->box_y + y);
        fn(user, y, row, glyph->box_w);
    }
    return FB_OK;
}
#endif

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
        {
            const fb_compact* c = &font->compact;
            if (font->bpp == 1u && c->west && c->above && c->above2)
                return rows_bilevel(font, glyph, fn, user);
            if (font->bpp == 2u || font->bpp == 4u) return rows_grey(font, glyph, fn, user);
        }
#endif
        return rows_general(font, glyph, fn, user);
    }
#endif
#ifdef FB_LEGACY
    return legacy_rows(glyph, fn, user);
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

fb_error fb_open(const uint8_t* buf, size_t len, fb_font* out) {
    return fb_open_cell(buf, len, 0, 0, out);
}

fb_error fb_open_cell(const uint8_t* buf, size_t len, unsigned rows, unsigned cols, fb_font* out) {
    unsigned i;
    fb_error err;
    fb_geometry given;
    if (!out) return FB_ERR_ARGUMENT;
    memset(out, 0, sizeof *out);
    out->error_detail = "";
    out->error_code_point = -1;
    if (!buf) return fail(out, FB_ERR_ARGUMENT, "no buffer", 0, -1);
    if ((rows == 0) != (cols == 0) || rows > FB_MAX_CELL || cols > FB_MAX_CELL)
        return fail(out, FB_ERR_ARGUMENT, "cell size out of range", 0, -1);
    given.rows = rows;
    given.cols = cols;
    given.scan = -1;
    given.rotate = -1;
    out->data = buf;
    out->size = len;
#ifndef FB_NO_COMPACT
    if (len >= 4u && rd32(buf) == FB_COMPACT_TAG) {
        err = open_compact(out, rows, cols);
        if (err != FB_OK) return err;
        out->error_detail = 0;
        out->ready = 1;
        return FB_OK;
    }
#endif
#ifndef FB_LEGACY
    (void)i;
    (void)given;
    return fail(out, FB_ERR_BAD_MAGIC, "not a compact font file", 0, -1);
#else
    /* The magic bytes first, so that any other file is named as such even when short. */
    for (i = 0; i < 5u && 1u + i < len; ++i) {
        if (buf[1u + i] != kMagic[i])
            return fail(out, FB_ERR_BAD_MAGIC, "header bytes 1 to 5 are not 01 03 00 00 01", 1u + i,
                        -1);
    }
    if (len < FB_FIXED_HEADER_BYTES)
        return fail(out, FB_ERR_TRUNCATED, "file ends inside the header", len, -1);
    out->header_length = buf[0];
    out->font_size = buf[6];
    out->bpp = buf[7];
    out->style_flags = buf[8];
    out->index_bytes = rd32(buf + 9);
    out->name_length = buf[13];
    if (out->name_length == 0)
        return fail(out, FB_ERR_BAD_HEADER, "name length 0 (the terminating zero is counted)", 13,
                    -1);
    if (out->header_length != FB_FIXED_HEADER_BYTES + out->name_length)
        return fail(out, FB_ERR_BAD_HEADER, "header length is not 14 + name length", 0, -1);
    if (len < out->header_length)
        return fail(out, FB_ERR_TRUNCATED, "file ends inside the font name", len, -1);
    for (i = 0; i + 1u < out->name_length; ++i) {
        if (buf[FB_FIXED_HEADER_BYTES + i] == 0)
            return fail(out, FB_ERR_BAD_HEADER, "zero byte inside the font name",
                        FB_FIXED_HEADER_BYTES + i, -1);
    }
    if (buf[out->header_length - 1u] != 0)
        return fail(out, FB_ERR_BAD_HEADER, "font name does not end with a zero byte",
                    out->header_length - 1u, -1);
    out->name = (const char*)(buf + FB_FIXED_HEADER_BYTES);
    if (out->font_size == 0) return fail(out, FB_ERR_BAD_HEADER, "font size 0", 6, -1);
    if (out->bpp != 1 && out->bpp != 2 && out->bpp != 4 && out->bpp != 8)
        return fail(out, FB_ERR_BAD_HEADER, "bits per pixel not 1, 2, 4 or 8", 7, -1);
    if (out->style_flags & 0xE0u)
        return fail(out, FB_ERR_BAD_HEADER, "style flag bits 5 to 7 are set", 8, -1);
    out->index_offset = out->header_length;
    if (out->style_flags & FB_STYLE_CROP) {
        out->layout = FB_LAYOUT_OFFSET_TABLE;
#ifdef FB_NO_TRIMMED
        return fail(out, FB_ERR_BAD_MAGIC, "trimmed records are not compiled in", 8, -1);
#else
        err = open_offset_table(out, rows ? &given : 0);
#endif
    } else {
#ifdef FB_NO_FIXED
        return fail(out, FB_ERR_BAD_MAGIC, "fixed records are not compiled in", 8, -1);
#else
        if (out->style_flags & FB_STYLE_INDEX_LIST) {
            out->layout = FB_LAYOUT_CODE_LIST;
            err = open_code_list(out, rows ? &given : 0);
        } else {
            out->layout = FB_LAYOUT_GLYPH_TABLE;
            err = open_glyph_table(out, rows ? &given : 0);
        }
#endif
    }
    if (err != FB_OK) return err;
    out->error_detail = 0;
    out->ready = 1;
    return FB_OK;
#endif
}

#ifndef FB_NO_FIXED
static fb_error fixed_glyph(const fb_font* f, uint32_t code_point, uint32_t number, fb_glyph* out) {
    size_t offset;
    if (number >= f->glyph_count || f->record_size < 4u) return FB_ERR_BAD_INDEX;
    /* number < glyph_count and fb_open saw glyph_count records of record_size bytes. */
    offset = f->records_offset + (size_t)number * f->record_size;
    if (offset > f->size || f->size - offset < f->record_size) return FB_ERR_TRUNCATED;
    memset(out, 0, sizeof *out);
    out->code_point = code_point;
    out->number = number;
    out->offset = offset;
    out->size = f->record_size;
    out->trimmed = 0;
    out->bpp = f->bpp;
    out->rows = f->geometry.rows;
    out->cols = f->geometry.cols;
    out->origin_x = f->data[offset];
    out->origin_y = f->data[offset + 1u];
    out->extent_x = f->data[offset + 2u];
    out->extent_y = f->data[offset + 3u];
    out->top_skip = 0;
    out->row_bytes = 0;
    out->stored_rows = f->geometry.rows;
    out->bits = f->data + offset + 4u;
    out->bits_size = f->record_size - 4u;
    out->box_w = out->cols;
    out->box_h = out->rows;
    out->advance = -1;
    return FB_OK;
}

#endif

#ifndef FB_NO_TRIMMED
static fb_error trimmed_glyph(const fb_font* f, uint32_t code_point, uint32_t off, fb_glyph* out) {
    const uint8_t* rec;
    unsigned top_skip, ex, ey, rb;
    size_t size;
    if ((size_t)off < f->records_offset || (size_t)off >= f->size || f->size - off < 4u)
        return FB_ERR_BAD_INDEX;
    rec = f->data + off;
    top_skip = rec[0];
    ex = rec[2];
    ey = rec[3];
    if (ex == 0 || ey <= top_skip) return FB_ERR_BAD_RECORD;
    rb = row_bytes_for(ex, f->bpp);
    size = 4u + (size_t)(ey - top_skip) * rb;
    if (f->size - off < size) return FB_ERR_TRUNCATED;
    memset(out, 0, sizeof *out);
    out->code_point = code_point;
    out->number = FB_UNKNOWN;
    out->offset = off;
    out->size = size;
    out->trimmed = 1;
    out->bpp = f->bpp;
    out->rows = f->geometry.rows;
    out->cols = f->geometry.cols;
    out->origin_x = 0;
    out->origin_y = rec[1];
    out->extent_x = ex;
    out->extent_y = ey;
    out->top_skip = top_skip;
    out->row_bytes = rb;
    out->stored_rows = ey - top_skip;
    out->bits = rec + 4;
    out->bits_size = size - 4u;
    out->box_y = top_skip;
    out->box_w = ex;
    out->box_h = ey - top_skip;
    out->advance = -1;
    return FB_OK;
}

#endif

fb_error fb_find_glyph(const fb_font* font, uint32_t code_point, fb_glyph* out) {
    const uint8_t* idx;
    if (!font || !font->ready || !out || !font->data) return FB_ERR_ARGUMENT;
    if (code_point > 0xFFFFu) return FB_ERR_NOT_FOUND;
#ifndef FB_NO_COMPACT
    if (font->layout == FB_LAYOUT_COMPACT) return compact_find(font, code_point, out);
#endif
    idx = font->data + font->index_offset;
    (void)idx;
    switch (font->layout) {
#ifndef FB_NO_FIXED
        case FB_LAYOUT_GLYPH_TABLE: {
            uint32_t v = rd16(idx + 2u * code_point);
            if (v == FB_NO_GLYPH) {
                if (code_point == 0xFFFFu && font->glyph_count == 65536u)
                    return fixed_glyph(font, code_point, 65535u, out);
                return FB_ERR_NOT_FOUND;
            }
            return fixed_glyph(font, code_point, v, out);
        }
        case FB_LAYOUT_CODE_LIST: {
            uint32_t lo = 0, hi = font->glyph_count;
            while (lo < hi) {
                uint32_t mid = lo + (hi - lo) / 2u;
                uint32_t v = rd16(idx + 2u * mid);
                if (v == code_point) return fixed_glyph(font, code_point, mid, out);
                if (v < code_point)
                    lo = mid + 1u;
                else
                    hi = mid;
            }
            return FB_ERR_NOT_FOUND;
        }
#endif
#ifndef FB_NO_TRIMMED
        case FB_LAYOUT_OFFSET_TABLE: {
            uint32_t off = rd32(idx + 4u * code_point);
            if (off == FB_NO_RECORD) return FB_ERR_NOT_FOUND;
            return trimmed_glyph(font, code_point, off, out);
        }
#endif
        default:
            break;
    }
    return FB_ERR_ARGUMENT;
}

fb_error fb_next_glyph(const fb_font* font, uint32_t from, fb_glyph* out) {
    uint32_t cp;
    if (!font || !font->ready || !out) return FB_ERR_ARGUMENT;
#ifndef FB_NO_COMPACT
    if (font->layout == FB_LAYOUT_COMPACT)
        return from > 0xFFFFu ? FB_ERR_NOT_FOUND : compact_next(font, from, out);
#endif
#ifndef FB_NO_FIXED
    if (font->layout == FB_LAYOUT_CODE_LIST) {
        const uint8_t* idx = font->data + font->index_offset;
        uint32_t lo = 0, hi = font->glyph_count;
        while (lo < hi) {
            uint32_t mid = lo + (hi - lo) / 2u;
            if (rd16(idx + 2u * mid) < from)
                lo = mid + 1u;
            else
                hi = mid;
        }
        if (lo >= font->glyph_count) return FB_ERR_NOT_FOUND;
        return fixed_glyph(font, rd16(idx + 2u * lo), lo, out);
    }
#endif
    for (cp = from; cp <= 0xFFFFu; ++cp) {
        fb_error err = fb_find_glyph(font, cp, out);
        if (err != FB_ERR_NOT_FOUND) return err;
    }
    return FB_ERR_NOT_FOUND;
}

unsigned fb_glyph_pixel(const fb_glyph* g, unsigned x, unsigned y) {
    size_t bit, byte;
    unsigned mask;
    if (!g || !g->bits || g->compact || x >= g->cols || y >= g->rows) return 0;
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
    return ((unsigned)g->bits[byte] >> (unsigned)(bit % 8u)) & mask;
}

fb_error fb_check_glyph(const fb_glyph* g, const char** detail) {
    const char* why = 0;
    if (!g || !g->bits) {
        if (detail) *detail = FB_TEXT("no glyph");
        return FB_ERR_ARGUMENT;
    }
    if (g->compact) {
        why = 0; /* its code is checked by decoding it */
    } else if (!g->trimmed) {
        size_t bits = (size_t)g->rows * g->cols * g->bpp;
        if (g->bits_size != (bits + 7u) / 8u)
            why = FB_TEXT("record size does not match the cell");
        else if (bits % 8u != 0 && (g->bits[g->bits_size - 1u] >> (unsigned)(bits % 8u)) != 0)
            why = FB_TEXT("padding bits after the last pixel are not zero");
    } else {
        unsigned r, b, used = (g->extent_x * g->bpp) % 8u;
        int ink = 0;
        for (b = 0; b < g->row_bytes; ++b) ink |= g->bits[b] != 0;
        if (!ink) why = FB_TEXT("first stored row is empty (topSkip too small)");
        for (r = 0; !why && r < g->stored_rows; ++r) {
            uint8_t last = g->bits[(size_t)r * g->row_bytes + g->row_bytes - 1u];
            if (used != 0 && (last >> used) != 0) why = FB_TEXT("ink right of extent x");
        }
    }
    if (detail) *detail = why;
    return why ? FB_ERR_BAD_RECORD : FB_OK;
}

#ifndef FB_NO_ADVANCES
static const uint8_t kAdvTag[4] = {'F', 'B', 'A', 'W'};

#define adv_fail(a, err, detail) adv_fail_at(a, err, FB_TEXT(detail))
static fb_error adv_fail_at(fb_advances* a, fb_error err, const char* detail) {
    a->ready = 0;
    a->error_detail = detail;
    return err;
}

/* Position of `code_point` in an ascending u16 list of `count` entries, or count. */
static uint32_t find_in_list(const uint8_t* list, uint32_t count, uint32_t code_point) {
    uint32_t lo = 0, hi = count;
    while (lo < hi) {
        uint32_t mid = lo + (hi - lo) / 2u;
        uint32_t v = rd16(list + 2u * mid);
        if (v == code_point) return mid;
        if (v < code_point)
            lo = mid + 1u;
        else
            hi = mid;
    }
    return count;
}

fb_error fb_open_advances(const uint8_t* buf, size_t len, const fb_font* font, fb_advances* out) {
    uint32_t i, count;
    size_t rest;
    int list;
    if (!out) return FB_ERR_ARGUMENT;
    memset(out, 0, sizeof *out);
    if (!buf || !font || !font->ready) return adv_fail(out, FB_ERR_ARGUMENT, "no buffer or font");
    if (len < FB_ADV_HEADER_BYTES)
        return adv_fail(out, FB_ERR_TRUNCATED, "file ends inside the header");
    if (memcmp(buf, kAdvTag, 4) != 0 || buf[4] < 1u || buf[4] > 2u)
        return adv_fail(out, FB_ERR_BAD_MAGIC, "not an advance-width file of version 1 or 2");
    out->data = buf;
    out->size = len;
    out->font_size = buf[5];
    count = rd32(buf + 6);
    out->count = count;
    out->baseline = buf[10];
    list = (buf[11] & FB_ADV_HAS_CODE_POINTS) != 0;
    if (buf[11] & ~FB_ADV_HAS_CODE_POINTS)
        return adv_fail(out, FB_ERR_BAD_HEADER, "unknown flag bits");
    if (out->font_size != font->font_size)
        return adv_fail(out, FB_ERR_BAD_HEADER, "font size differs from the font file's");
    if (count > 65536u) return adv_fail(out, FB_ERR_BAD_HEADER, "more than 65536 characters");
    if (list != (font->layout == FB_LAYOUT_OFFSET_TABLE))
        return adv_fail(out, FB_ERR_BAD_HEADER,
                        list ? "code-point list with a font file that numbers its glyphs"
                             : "no code-point list with an offset-table font file");
    if ((len - FB_ADV_HEADER_BYTES) / (list ? 3u : 1u) < count)
        return adv_fail(out, FB_ERR_TRUNCATED, "file ends inside the widths or code points");
    rest = len - FB_ADV_HEADER_BYTES - (size_t)count * (list ? 3u : 1u);
    if (buf[4] == 1u && rest != 0)
        return adv_fail(out, FB_ERR_LENGTH, "bytes after the last width or code point");
    if (buf[4] == 2u) {
        const uint8_t* p;
        if (rest < 4u) return adv_fail(out, FB_ERR_TRUNCATED, "file ends before the pair count");
        p = buf + (len - rest) + 4u;
        out->pair_count = rd32(p - 4);
        if ((rest - 4u) / FB_ADV_PAIR_BYTES < out->pair_count)
            return adv_fail(out, FB_ERR_TRUNCATED, "file ends inside the kerning pairs");
        if (rest - 4u != (size_t)out->pair_count * FB_ADV_PAIR_BYTES)
            return adv_fail(out, FB_ERR_LENGTH, "bytes after the last kerning pair");
        for (i = 0; i < out->pair_count; ++i, p += FB_ADV_PAIR_BYTES) {
            if (p[4] == 0) return adv_fail(out, FB_ERR_BAD_INDEX, "a kerning pair adjusts by 0");
            if (i > 0 && pair_key(p) <= pair_key(p - FB_ADV_PAIR_BYTES))
                return adv_fail(out, FB_ERR_BAD_INDEX, "kerning pairs are not strictly ascending");
        }
        out->pairs = out->pair_count ? p - (size_t)out->pair_count * FB_ADV_PAIR_BYTES : NULL;
    }
    out->widths = buf + FB_ADV_HEADER_BYTES;
    if (!list) {
        if (count != font->glyph_count)
            return adv_fail(out, FB_ERR_BAD_HEADER, "count differs from the font file's glyphs");
    } else {
        const uint8_t* idx = font->data + font->index_offset;
        uint32_t cp;
        out->code_points = out->widths + count;
        if (font->char_count != FB_UNKNOWN && count != font->char_count)
            return adv_fail(out, FB_ERR_BAD_HEADER,
                            "count differs from the font file's characters");
        for (i = 1; i < count; ++i)
            if (rd16(out->code_points + 2u * i) <= rd16(out->code_points + 2u * (i - 1u)))
                return adv_fail(out, FB_ERR_BAD_INDEX, "code points are not strictly ascending");
        /* Every character with a record was selected. */
        for (cp = 0, i = 0; cp <= 0xFFFFu; ++cp) {
            if (rd32(idx + 4u * cp) == FB_NO_RECORD) continue;
            while (i < count && rd16(out->code_points + 2u * i) < cp) ++i;
            if (i == count || rd16(out->code_points + 2u * i) != cp)
                return adv_fail(out, FB_ERR_BAD_INDEX, "a character with a record is not listed");
        }
    }
    out->ready = 1;
    return FB_OK;
}

fb_error fb_advance(const fb_advances* adv, const fb_font* font, uint32_t code_point,
                    unsigned* width) {
    uint32_t k;
    if (!adv || !adv->ready || !font || !font->ready || !width) return FB_ERR_ARGUMENT;
    if (code_point > 0xFFFFu) return FB_ERR_NOT_FOUND;
    if (adv->code_points) {
        k = find_in_list(adv->code_points, adv->count, code_point);
    } else if (font->layout == FB_LAYOUT_CODE_LIST) {
        k = find_in_list(font->data + font->index_offset, font->glyph_count, code_point);
    } else {
        k = rd16(font->data + font->index_offset + 2u * code_point);
        if (k == FB_NO_GLYPH && !(code_point == 0xFFFFu && font->glyph_count == 65536u))
            return FB_ERR_NOT_FOUND;
        if (k == FB_NO_GLYPH) k = 65535u;
    }
    if (k >= adv->count) return FB_ERR_NOT_FOUND;
    *width = adv->widths[k];
    return FB_OK;
}

fb_error fb_kerning(const fb_advances* adv, uint32_t left, uint32_t right, int* adjust) {
    if (!adv || !adv->ready || !adjust) return FB_ERR_ARGUMENT;
    return find_pair(adv->pairs, adv->pair_count, left, right, adjust);
}
#endif /* FB_NO_ADVANCES */

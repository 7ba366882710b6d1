/*
 * fb_legacy: the layouts with the 14-byte header, whose records are fixed (a glyph-number table
 * or a code-point list before them) or trimmed (an offset table), and the cell geometry they
 * need, since their files do not state the cell (fontbin_reader.h, "Cell geometry").
 */
#include "fb_internal.h"

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
    return f->glyph_count == 0 ||
           f->record_size == FB_RECORD_METRIC_BYTES + packed_bytes(rows, cols, f->bpp);
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
   `given` is the caller's cell, or null to try the cells the header allows. A glyph count of
   FB_UNKNOWN (fb_open, glyph-number table) takes the count the file length gives, when every
   cell that divides it into whole records (at most 65536) gives the same record size; when none
   or several do, FB_ERR_NOT_FOUND asks the caller to count the table first. */
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
    if (n == 0)
        return fail(f, FB_ERR_BAD_HEADER, "font size gives no valid cell", FB_FIXED_O_FONT_SIZE,
                    -1);
    if (f->glyph_count == FB_UNKNOWN) {
        size_t found = 0;
        unsigned pick = 0;
        for (i = 0; i < n; ++i) {
            rs = FB_RECORD_METRIC_BYTES + packed_bytes(cand[i].rows, cand[i].cols, f->bpp);
            if (region % rs != 0 || region / rs > 65536u || found == rs) continue;
            if (found) return FB_ERR_NOT_FOUND; /* two record sizes fit */
            found = rs;
            pick = i;
        }
        if (!found && region != 0) return FB_ERR_NOT_FOUND;
        f->glyph_count = found ? (uint32_t)(region / found) : 0u;
        f->record_size =
            found ? found
                  : FB_RECORD_METRIC_BYTES + packed_bytes(cand[0].rows, cand[0].cols, f->bpp);
        f->geometry = cand[pick];
        return FB_OK;
    }
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
            f->record_size =
                FB_RECORD_METRIC_BYTES + packed_bytes(cand[0].rows, cand[0].cols, f->bpp);
            f->geometry = cand[0];
            return FB_OK;
        }
        for (i = 0; i < n; ++i) {
            rs = FB_RECORD_METRIC_BYTES + packed_bytes(cand[i].rows, cand[i].cols, f->bpp);
            if (region % rs == 0 && region / rs == count) {
                f->glyph_count = count;
                f->record_size = rs;
                f->geometry = cand[i];
                return FB_OK;
            }
        }
    }
    count = counts[count_options - 1];
    rs = FB_RECORD_METRIC_BYTES + packed_bytes(cand[0].rows, cand[0].cols, f->bpp);
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

static FB_SPECIALISE fb_error open_glyph_table(fb_font* f, const fb_geometry* given, int full) {
    uint32_t cp, expected = 0;
    int last_open = 0;
    if (f->index_bytes != FB_GLYPH_TABLE_BYTES)
        return fail(f, FB_ERR_BAD_HEADER, "indexBytes is not 131072 for the glyph-number table",
                    FB_FIXED_O_INDEX_BYTES, -1);
    f->index_size = FB_GLYPH_TABLE_BYTES;
    if (f->size - f->index_offset < f->index_size)
        return fail(f, FB_ERR_TRUNCATED, "file ends inside the glyph-number table", f->size, -1);
    f->records_offset = f->index_offset + f->index_size;
    if (!full) {
        /* Lookups check each number against the count the length gives. */
        fb_error err;
        f->glyph_count = FB_UNKNOWN;
        err = open_fixed_records(f, 0, given);
        f->char_count = f->glyph_count;
        if (err != FB_ERR_NOT_FOUND) return err;
    }
    /* Glyphs are numbered in code-point order: the entries that are not 0xFFFF read 0, 1, 2... */
    expected = 0;
    for (cp = 0; cp <= 0xFFFFu; ++cp) {
        uint32_t v = fbi_u16(f->data, f->index_offset + 2u * cp);
        if (v == FB_NO_GLYPH) continue;
        if (v != expected)
            return fail(f, FB_ERR_BAD_INDEX, "glyph numbers do not count up in code-point order",
                        f->index_offset + 2u * cp, (int32_t)cp);
        ++expected;
    }
    last_open =
        expected == 65535u && fbi_u16(f->data, f->index_offset + 2u * 0xFFFFu) == FB_NO_GLYPH;
    f->glyph_count = expected;
    f->char_count = expected;
    {
        fb_error err = open_fixed_records(f, last_open, given);
        f->char_count = f->glyph_count;
        return err;
    }
}

static FB_SPECIALISE fb_error open_code_list(fb_font* f, const fb_geometry* given, int full) {
    uint32_t i, count;
    if (f->index_bytes % 2u != 0 || f->index_bytes > FB_GLYPH_TABLE_BYTES)
        return fail(f, FB_ERR_BAD_HEADER, "indexBytes is not twice a character count",
                    FB_FIXED_O_INDEX_BYTES, -1);
    count = f->index_bytes / 2u;
    f->index_size = f->index_bytes;
    if (f->size - f->index_offset < f->index_size)
        return fail(f, FB_ERR_TRUNCATED, "file ends inside the code-point list", f->size, -1);
    f->records_offset = f->index_offset + f->index_size;
    for (i = 1; full && i < count; ++i) {
        if (fbi_u16(f->data, f->index_offset + 2u * i) <=
            fbi_u16(f->data, f->index_offset + 2u * (i - 1u)))
            return fail(f, FB_ERR_BAD_INDEX, "code-point list is not strictly ascending",
                        f->index_offset + 2u * i,
                        (int32_t)fbi_u16(f->data, f->index_offset + 2u * i));
    }
    f->char_count = count;
    f->glyph_count = count;
    return open_fixed_records(f, 0, given);
}

#endif

#ifndef FB_NO_TRIMMED
static FB_SPECIALISE fb_error open_offset_table(fb_font* f, const fb_geometry* given, int full) {
    uint32_t cp, records = 0;
    size_t expected;
    fb_geometry cand[4];
    unsigned n, i;
    if (f->style_flags & FB_STYLE_INDEX_LIST) {
        /* With both bits the field counts 4 bytes per selected character, although the full
           offset table follows; characters without ink have no record. */
        if (f->index_bytes % 4u != 0 || f->index_bytes > FB_OFFSET_TABLE_BYTES)
            return fail(f, FB_ERR_BAD_HEADER, "indexBytes is not four times a character count",
                        FB_FIXED_O_INDEX_BYTES, -1);
        f->char_count = f->index_bytes / 4u;
    } else {
        if (f->index_bytes != FB_OFFSET_TABLE_BYTES)
            return fail(f, FB_ERR_BAD_HEADER, "indexBytes is not 262144 for the offset table",
                        FB_FIXED_O_INDEX_BYTES, -1);
        f->char_count = FB_UNKNOWN;
    }
    f->index_size = FB_OFFSET_TABLE_BYTES;
    if (f->size - f->index_offset < f->index_size)
        return fail(f, FB_ERR_TRUNCATED, "file ends inside the offset table", f->size, -1);
    f->records_offset = f->index_offset + f->index_size;
    if (!full) {
        /* Each lookup checks its record; the cell is the caller's or the header's reading. */
        n = given ? 1u : geometry_candidates(f, cand);
        if (n == 0)
            return fail(f, FB_ERR_BAD_HEADER, "font size gives no valid cell", FB_FIXED_O_FONT_SIZE,
                        -1);
        f->glyph_count = FB_UNKNOWN;
        f->geometry = given ? *given : cand[0];
        return FB_OK;
    }
    /* Records follow each other without gaps, in code-point order, up to the end of the file. */
    expected = f->records_offset;
    for (cp = 0; cp <= 0xFFFFu; ++cp) {
        uint32_t off = fbi_u32(f->data, f->index_offset + 4u * cp);
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
        if (f->size - expected < FB_RECORD_METRIC_BYTES)
            return fail(f, FB_ERR_TRUNCATED, "file ends inside a glyph record", expected,
                        (int32_t)cp);
        top_skip = fbi_u8(f->data, expected + FB_RECORD_O_TOP_SKIP);
        ex = fbi_u8(f->data, expected + FB_RECORD_O_EXTENT_X);
        ey = fbi_u8(f->data, expected + FB_RECORD_O_EXTENT_Y);
        if (ex == 0)
            return fail(f, FB_ERR_BAD_RECORD, "trimmed record with extent x of 0", expected,
                        (int32_t)cp);
        if (ey <= top_skip)
            return fail(f, FB_ERR_BAD_RECORD, "trimmed record keeps no row (topSkip >= extent y)",
                        expected, (int32_t)cp);
        size = FB_RECORD_METRIC_BYTES + (size_t)(ey - top_skip) * row_bytes_for(ex, f->bpp);
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
        return fail(f, FB_ERR_BAD_HEADER, "more glyph records than indexBytes counts characters",
                    FB_FIXED_O_INDEX_BYTES, -1);
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

static FB_SPECIALISE fb_error open_legacy(fb_font* out, const fb_geometry* given, int full) {
    if (out->style_flags & FB_STYLE_CROP) {
        out->layout = FB_LAYOUT_OFFSET_TABLE;
#ifdef FB_NO_TRIMMED
        (void)given;
        (void)full;
        return fail(out, FB_ERR_BAD_MAGIC, "trimmed records are not compiled in", FB_FIXED_O_STYLE,
                    -1);
#else
        return open_offset_table(out, given, full);
#endif
    }
#ifdef FB_NO_FIXED
    return fail(out, FB_ERR_BAD_MAGIC, "fixed records are not compiled in", FB_FIXED_O_STYLE, -1);
#else
    if (out->style_flags & FB_STYLE_INDEX_LIST) {
        out->layout = FB_LAYOUT_CODE_LIST;
        return open_code_list(out, given, full);
    }
    out->layout = FB_LAYOUT_GLYPH_TABLE;
    return open_glyph_table(out, given, full);
#endif
}

fb_error fbi_open_legacy(fb_font* out, const fb_geometry* given) {
    return open_legacy(out, given, 0);
}

fb_error fbi_check_legacy(fb_font* out, const fb_geometry* given) {
    return open_legacy(out, given, 1);
}

#ifndef FB_NO_FIXED
static fb_error fixed_glyph(const fb_font* f, uint32_t code_point, uint32_t number, fb_glyph* out) {
    size_t offset;
    if (number >= f->glyph_count || f->record_size < FB_RECORD_METRIC_BYTES)
        return FB_ERR_BAD_INDEX;
    /* number < glyph_count and fb_open saw glyph_count records of record_size bytes. */
    offset = f->records_offset + (size_t)number * f->record_size;
    if (offset > f->size || f->size - offset < f->record_size) return FB_ERR_TRUNCATED;
    /* The whole record in one command, when read by command and the window holds it. */
    fbi_prefetch(f->data, offset, f->record_size);
    memset(out, 0, sizeof *out);
    out->code_point = code_point;
    out->number = number;
    out->offset = offset;
    out->size = f->record_size;
    out->trimmed = 0;
    out->bpp = f->bpp;
    out->rows = f->geometry.rows;
    out->cols = f->geometry.cols;
    out->origin_x = fbi_u8(f->data, offset + FB_RECORD_O_ORIGIN_X);
    out->origin_y = fbi_u8(f->data, offset + FB_RECORD_O_ORIGIN_Y);
    out->extent_x = fbi_u8(f->data, offset + FB_RECORD_O_EXTENT_X);
    out->extent_y = fbi_u8(f->data, offset + FB_RECORD_O_EXTENT_Y);
    out->top_skip = 0;
    out->row_bytes = 0;
    out->stored_rows = f->geometry.rows;
    out->bits = fbi_bytes(f->data, offset + FB_RECORD_METRIC_BYTES,
                          f->record_size - FB_RECORD_METRIC_BYTES);
    out->bits_size = f->record_size - FB_RECORD_METRIC_BYTES;
    out->box_w = out->cols;
    out->box_h = out->rows;
    out->advance = -1;
#ifdef FB_READ_CALLBACK
    out->flash = f->data.flash;
#endif
    return FB_OK;
}

#endif

#ifndef FB_NO_TRIMMED
static fb_error trimmed_glyph(const fb_font* f, uint32_t code_point, uint32_t off, fb_glyph* out) {
    unsigned top_skip, ex, ey, rb;
    size_t size;
    if ((size_t)off < f->records_offset || (size_t)off >= f->size ||
        f->size - off < FB_RECORD_METRIC_BYTES)
        return FB_ERR_BAD_INDEX;
    /* The metrics and the first rows in one command (the record's size is not known yet). */
    fbi_prefetch(f->data, off, FB_FLASH_PREFETCH_RECORD);
    top_skip = fbi_u8(f->data, off + FB_RECORD_O_TOP_SKIP);
    ex = fbi_u8(f->data, off + FB_RECORD_O_EXTENT_X);
    ey = fbi_u8(f->data, off + FB_RECORD_O_EXTENT_Y);
    if (ex == 0 || ey <= top_skip) return FB_ERR_BAD_RECORD;
    /* (fb_check_font saw every record fit; fb_open did not look.) */
    if (ex > f->geometry.cols || ey > f->geometry.rows) return FB_ERR_GEOMETRY;
    rb = row_bytes_for(ex, f->bpp);
    size = FB_RECORD_METRIC_BYTES + (size_t)(ey - top_skip) * rb;
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
    out->origin_y = fbi_u8(f->data, off + FB_RECORD_O_ORIGIN_Y);
    out->extent_x = ex;
    out->extent_y = ey;
    out->top_skip = top_skip;
    out->row_bytes = rb;
    out->stored_rows = ey - top_skip;
    out->bits = fbi_bytes(f->data, off + FB_RECORD_METRIC_BYTES, size - FB_RECORD_METRIC_BYTES);
    out->bits_size = size - FB_RECORD_METRIC_BYTES;
    out->box_y = top_skip;
    out->box_w = ex;
    out->box_h = ey - top_skip;
    out->advance = -1;
#ifdef FB_READ_CALLBACK
    out->flash = f->data.flash;
#endif
    return FB_OK;
}

#endif

fb_error fbi_legacy_find(const fb_font* font, uint32_t code_point, fb_glyph* out) {
    switch (font->layout) {
#ifndef FB_NO_FIXED
        case FB_LAYOUT_GLYPH_TABLE: {
            uint32_t v = fbi_u16(font->data, font->index_offset + 2u * code_point);
            if (v == FB_NO_GLYPH) {
                if (code_point == 0xFFFFu && font->glyph_count == 65536u)
                    return fixed_glyph(font, code_point, 65535u, out);
                return FB_ERR_NOT_FOUND;
            }
            return fixed_glyph(font, code_point, v, out);
        }
        case FB_LAYOUT_CODE_LIST: {
            const uint32_t k =
                fbi_search(font->data, font->index_offset, font->glyph_count, 2u, code_point);
            if (k == font->glyph_count ||
                fbi_u16(font->data, font->index_offset + 2u * k) != code_point)
                return FB_ERR_NOT_FOUND;
            return fixed_glyph(font, code_point, k, out);
        }
#endif
#ifndef FB_NO_TRIMMED
        case FB_LAYOUT_OFFSET_TABLE: {
            uint32_t off = fbi_u32(font->data, font->index_offset + 4u * code_point);
            if (off == FB_NO_RECORD) return FB_ERR_NOT_FOUND;
            return trimmed_glyph(font, code_point, off, out);
        }
#endif
        default:
            break;
    }
    return FB_ERR_ARGUMENT;
}

fb_error fbi_legacy_next(const fb_font* font, uint32_t from, fb_glyph* out) {
    uint32_t cp;
#ifndef FB_NO_FIXED
    if (font->layout == FB_LAYOUT_CODE_LIST) {
        const uint32_t k = fbi_search(font->data, font->index_offset, font->glyph_count, 2u, from);
        if (k >= font->glyph_count) return FB_ERR_NOT_FOUND;
        return fixed_glyph(font, fbi_u16(font->data, font->index_offset + 2u * k), k, out);
    }
#endif
    for (cp = from; cp <= 0xFFFFu; ++cp) {
        fb_error err = fb_find_glyph(font, cp, out);
        if (err != FB_ERR_NOT_FOUND) return err;
    }
    return FB_ERR_NOT_FOUND;
}

FB_NOINLINE fb_error fbi_legacy_rows(const fb_glyph* glyph, fb_row_fn fn, void* user) {
    uint8_t row[FB_COMPACT_MAX_WIDTH];
    unsigned x, y;
    for (y = 0; y < glyph->box_h; ++y) {
        for (x = 0; x < glyph->box_w; ++x)
            row[x] = (uint8_t)fb_glyph_pixel(glyph, glyph->box_x + x, glyph->box_y + y);
        fn(user, y, row, glyph->box_w);
    }
    return FB_OK;
}

#else
/* (ISO C wants at least one declaration in a file.) */
typedef int fb_legacy_unused;
#endif /* FB_LEGACY */

/*
 * fb_open: the entry points every layout shares. Opening reads what all files have in common
 * and hands the rest to the layout's own file; lookups are dispatched the same way.
 */
#include "fb_internal.h"

#ifdef FB_LEGACY
static const uint8_t kMagic[FB_FIXED_MAGIC_BYTES] = {
    FB_FIXED_MAGIC_0, FB_FIXED_MAGIC_1, FB_FIXED_MAGIC_2, FB_FIXED_MAGIC_3, FB_FIXED_MAGIC_4};
#endif

#ifndef FB_NO_ERROR_TEXTS
fb_error fbi_fail(fb_font* f, fb_error err, const char* detail, size_t offset, int32_t code_point) {
    f->ready = 0;
    f->error_detail = detail;
    f->error_offset = offset;
    f->error_code_point = code_point;
    return err;
}
#endif

#ifdef __OPTIMIZE_SIZE__
uint32_t fbi_rd32(const uint8_t* p) {
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}
#endif

uint32_t fbi_search(fbi_src s, size_t at, uint32_t count, uint32_t stride, uint32_t key) {
    uint32_t lo = 0, hi = count;
#ifdef FB_READ_CALLBACK
    int near = 0;
    if (s.flash) fbi_flash_narrow(s.flash, at, count, key, &lo, &hi);
#endif
    while (lo < hi) {
#ifdef FB_READ_CALLBACK
        /* Once the entries left (and one each side, which lookups read next) fit the window,
           one command brings them all. */
        if (s.flash && !near && (size_t)(hi - lo + 2u) * stride <= FB_FLASH_WINDOW) {
            near = 1;
            fbi_flash_prefetch(s.flash, at + (size_t)(lo ? lo - 1u : 0u) * stride,
                               (size_t)(hi - lo + 2u) * stride);
        }
#endif
        const uint32_t mid = lo + (hi - lo) / 2u;
        if (fbi_u16(s, at + (size_t)mid * stride) < key)
            lo = mid + 1u;
        else
            hi = mid;
    }
    return lo;
}

#if !defined(FB_NO_ADVANCES) || !defined(FB_NO_COMPACT)
fb_error fbi_find_pair(fbi_src s, size_t at, uint32_t count, uint32_t left, uint32_t right,
                       int* adjust) {
    uint32_t lo, hi, k, v;
    size_t pair;
    *adjust = 0;
    if (left > 0xFFFFu || right > 0xFFFFu || count == 0) return FB_ERR_NOT_FOUND;
    /* The pairs of `left`, then among them the one of `right` (its u16 two bytes on). */
    lo = fbi_search(s, at, count, FB_ADV_PAIR_BYTES, left);
    hi = fbi_search(s, at, count, FB_ADV_PAIR_BYTES, left + 1u);
    if (hi < lo) return FB_ERR_NOT_FOUND; /* (only where the pairs are out of order) */
    k = lo + fbi_search(s, at + (size_t)lo * FB_ADV_PAIR_BYTES + FB_PAIR_O_RIGHT, hi - lo,
                        FB_ADV_PAIR_BYTES, right);
    pair = at + (size_t)k * FB_ADV_PAIR_BYTES;
    if (k == hi || fbi_u16(s, pair + FB_PAIR_O_LEFT) != left ||
        fbi_u16(s, pair + FB_PAIR_O_RIGHT) != right)
        return FB_ERR_NOT_FOUND;
    v = fbi_u8(s, pair + FB_PAIR_O_ADJUST);
    *adjust = (int)v - (v < 128u ? 0 : 256);
    return FB_OK;
}
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
        case FB_ERR_CHECKSUM:
            return "checksum mismatch";
    }
    return "unknown error";
#endif
}

fb_error fb_open(const uint8_t* buf, size_t len, fb_font* out) {
    return fb_open_cell(buf, len, 0, 0, out);
}

#ifdef FB_LEGACY
/* The 14-byte header and the name; the index part and records are the layout's. */
static fb_error open_legacy_header(fb_font* out) {
    const fbi_src buf = out->data;
    const size_t len = out->size;
    unsigned i;
    /* The magic bytes first, so that any other file is named as such even when short. */
    for (i = 0; i < FB_FIXED_MAGIC_BYTES && FB_FIXED_O_MAGIC + i < len; ++i) {
        if (fbi_u8(buf, FB_FIXED_O_MAGIC + i) != kMagic[i])
            return fail(out, FB_ERR_BAD_MAGIC, "header bytes 1 to 5 are not 01 03 00 00 01",
                        FB_FIXED_O_MAGIC + i, -1);
    }
    if (len < FB_FIXED_HEADER_BYTES)
        return fail(out, FB_ERR_TRUNCATED, "file ends inside the header", len, -1);
    out->header_length = fbi_u8(buf, FB_FIXED_O_HEADER_LENGTH);
    out->font_size = fbi_u8(buf, FB_FIXED_O_FONT_SIZE);
    out->bpp = fbi_u8(buf, FB_FIXED_O_BPP);
    out->style_flags = fbi_u8(buf, FB_FIXED_O_STYLE);
    out->index_bytes = fbi_u32(buf, FB_FIXED_O_INDEX_BYTES);
    out->name_length = fbi_u8(buf, FB_FIXED_O_NAME_LENGTH);
    if (out->name_length == 0)
        return fail(out, FB_ERR_BAD_HEADER, "name length 0 (the terminating zero is counted)",
                    FB_FIXED_O_NAME_LENGTH, -1);
    if (out->header_length != FB_FIXED_HEADER_BYTES + out->name_length)
        return fail(out, FB_ERR_BAD_HEADER, "header length is not 14 + name length",
                    FB_FIXED_O_HEADER_LENGTH, -1);
    if (len < out->header_length)
        return fail(out, FB_ERR_TRUNCATED, "file ends inside the font name", len, -1);
    for (i = 0; i + 1u < out->name_length; ++i) {
        if (fbi_u8(buf, FB_FIXED_HEADER_BYTES + i) == 0)
            return fail(out, FB_ERR_BAD_HEADER, "zero byte inside the font name",
                        FB_FIXED_HEADER_BYTES + i, -1);
    }
    if (fbi_u8(buf, out->header_length - 1u) != 0)
        return fail(out, FB_ERR_BAD_HEADER, "font name does not end with a zero byte",
                    out->header_length - 1u, -1);
    out->name = (const char*)fbi_bytes(buf, FB_FIXED_HEADER_BYTES, out->name_length);
    if (out->font_size == 0)
        return fail(out, FB_ERR_BAD_HEADER, "font size 0", FB_FIXED_O_FONT_SIZE, -1);
    if (out->bpp != 1 && out->bpp != 2 && out->bpp != 4 && out->bpp != 8)
        return fail(out, FB_ERR_BAD_HEADER, "bits per pixel not 1, 2, 4 or 8", FB_FIXED_O_BPP, -1);
    if (out->style_flags & FB_STYLE_RESERVED)
        return fail(out, FB_ERR_BAD_HEADER, "style flag bits 5 to 7 are set", FB_FIXED_O_STYLE, -1);
    out->index_offset = out->header_length;
    return FB_OK;
}
#endif

/* Opens; `full` adds the passes over the index part and the records (fb_check_font). */
static FB_SPECIALISE fb_error open_font(fbi_src buf, size_t len, unsigned rows, unsigned cols,
                                        int full, fb_font* out) {
    fb_error err;
    fb_geometry given;
    if (!out) return FB_ERR_ARGUMENT;
    memset(out, 0, sizeof *out);
    out->error_detail = "";
    out->error_code_point = -1;
    if (FBI_SRC_NULL(buf)) return fail(out, FB_ERR_ARGUMENT, "no buffer", 0, -1);
    if ((rows == 0) != (cols == 0) || rows > FB_MAX_CELL || cols > FB_MAX_CELL)
        return fail(out, FB_ERR_ARGUMENT, "cell size out of range", 0, -1);
    given.rows = rows;
    given.cols = cols;
    given.scan = -1;
    given.rotate = -1;
    out->data = buf;
    out->size = len;
#ifndef FB_NO_COMPACT
    if (len >= FB_COMPACT_O_VERSION && fbi_u32(buf, FB_COMPACT_O_TAG) == FB_COMPACT_TAG) {
        err = fbi_open_compact(out, rows, cols);
        if (err != FB_OK) return err;
        out->error_detail = 0;
        FBI_KEEP_NAME(out);
        out->ready = 1;
        return FB_OK;
    }
#endif
#ifndef FB_LEGACY
    (void)err;
    (void)given;
    (void)full;
    return fail(out, FB_ERR_BAD_MAGIC, "not a compact font file", 0, -1);
#else
    err = open_legacy_header(out);
    if (err == FB_OK)
        err = full ? fbi_check_legacy(out, rows ? &given : 0)
                   : fbi_open_legacy(out, rows ? &given : 0);
    if (err != FB_OK) return err;
    out->error_detail = 0;
    FBI_KEEP_NAME(out);
    out->ready = 1;
    return FB_OK;
#endif
}

fb_error fb_open_cell(const uint8_t* buf, size_t len, unsigned rows, unsigned cols, fb_font* out) {
#ifdef FB_READ_CALLBACK
    return open_font(fbi_source(buf, 0), len, rows, cols, 0, out);
#else
    return open_font(buf, len, rows, cols, 0, out);
#endif
}

#ifdef FB_READ_CALLBACK
fb_error fb_open_flash(fb_flash* flash, uint32_t size, fb_font* out) {
    if (!flash || !flash->read) return open_font(fbi_source(0, 0), size, 0, 0, 0, out);
    fbi_flash_reset(flash, size);
    /* The header and the name, and whatever follows them, in one command. */
    fbi_flash_prefetch(flash, 0, size);
    return open_font(fbi_source(0, flash), size, 0, 0, 0, out);
}
#endif

fb_error fb_check_font(fb_font* font) {
    const int given = font && font->ready && font->geometry.scan < 0;
    fb_error err;
    if (!font || !font->ready) return FB_ERR_ARGUMENT;
    /* Opened again, with the passes fb_open leaves out, and the cell given then (if any). */
    err = open_font(font->data, font->size, given ? font->geometry.rows : 0,
                    given ? font->geometry.cols : 0, 1, font);
#ifndef FB_NO_COMPACT
    if (err == FB_OK && font->layout == FB_LAYOUT_COMPACT) err = fbi_check_compact(font);
#endif
    if (err != FB_OK) font->ready = 0;
    return err;
}

fb_error fb_find_glyph(const fb_font* font, uint32_t code_point, fb_glyph* out) {
    if (!font || !font->ready || !out || FBI_SRC_NULL(font->data)) return FB_ERR_ARGUMENT;
    if (code_point > 0xFFFFu) return FB_ERR_NOT_FOUND;
#ifndef FB_NO_COMPACT
    if (font->layout == FB_LAYOUT_COMPACT) return fbi_compact_find(font, code_point, out);
#endif
#ifdef FB_LEGACY
    return fbi_legacy_find(font, code_point, out);
#else
    return FB_ERR_ARGUMENT;
#endif
}

fb_error fb_next_glyph(const fb_font* font, uint32_t from, fb_glyph* out) {
    if (!font || !font->ready || !out) return FB_ERR_ARGUMENT;
#ifndef FB_NO_COMPACT
    if (font->layout == FB_LAYOUT_COMPACT)
        return from > 0xFFFFu ? FB_ERR_NOT_FOUND : fbi_compact_next(font, from, out);
#endif
#ifdef FB_LEGACY
    return fbi_legacy_next(font, from, out);
#else
    return FB_ERR_NOT_FOUND;
#endif
}

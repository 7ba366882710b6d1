/*
 * fb_advances: the advance-width file ("*_adv.bin", fontbin_reader.h) beside a font file of the
 * other layouts, with its kerning pairs (version 2).
 */
#include "fb_internal.h"

#ifndef FB_NO_ADVANCES
static const uint8_t kAdvTag[4] = {FB_ADV_TAG_0, FB_ADV_TAG_1, FB_ADV_TAG_2, FB_ADV_TAG_3};

#define adv_fail(a, err, detail) adv_fail_at(a, err, FB_TEXT(detail))
static fb_error adv_fail_at(fb_advances* a, fb_error err, const char* detail) {
    a->ready = 0;
    a->error_detail = detail;
    return err;
}

/* Position of `code_point` in an ascending u16 list of `count` entries, or count. */
static uint32_t find_in_list(fbi_src s, size_t at, uint32_t count, uint32_t code_point) {
    const uint32_t k = fbi_search(s, at, count, 2u, code_point);
    return k < count && fbi_u16(s, at + 2u * k) == code_point ? k : count;
}

/* Whether the tag's four bytes begin the file. */
static int has_tag(fbi_src buf) {
    unsigned i;
    for (i = 0; i < 4u; ++i)
        if (fbi_u8(buf, i) != kAdvTag[i]) return 0;
    return 1;
}

static fb_error open_advances(fbi_src buf, size_t len, const fb_font* font, fb_advances* out) {
    uint32_t i, count;
    size_t rest;
    int list;
    if (!out) return FB_ERR_ARGUMENT;
    memset(out, 0, sizeof *out);
    if (FBI_SRC_NULL(buf) || !font || !font->ready)
        return adv_fail(out, FB_ERR_ARGUMENT, "no buffer or font");
    if (len < FB_ADV_HEADER_BYTES)
        return adv_fail(out, FB_ERR_TRUNCATED, "file ends inside the header");
    if (!has_tag(buf) || fbi_u8(buf, FB_ADV_O_VERSION) < 1u || fbi_u8(buf, FB_ADV_O_VERSION) > 2u)
        return adv_fail(out, FB_ERR_BAD_MAGIC, "not an advance-width file of version 1 or 2");
    out->data = buf;
    out->size = len;
    out->font_size = fbi_u8(buf, FB_ADV_O_FONT_SIZE);
    count = fbi_u32(buf, FB_ADV_O_COUNT);
    out->count = count;
    out->baseline = fbi_u8(buf, FB_ADV_O_BASELINE);
    list = (fbi_u8(buf, FB_ADV_O_FLAGS) & FB_ADV_HAS_CODE_POINTS) != 0;
    if (fbi_u8(buf, FB_ADV_O_FLAGS) & ~FB_ADV_HAS_CODE_POINTS)
        return adv_fail(out, FB_ERR_BAD_HEADER, "unknown flag bits");
    if (font->layout == FB_LAYOUT_COMPACT)
        return adv_fail(out, FB_ERR_BAD_HEADER, "a compact font file holds its own widths");
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
    if (fbi_u8(buf, FB_ADV_O_VERSION) == 1u && rest != 0)
        return adv_fail(out, FB_ERR_LENGTH, "bytes after the last width or code point");
    if (fbi_u8(buf, FB_ADV_O_VERSION) == 2u) {
        size_t p;
        if (rest < FB_PAIR_COUNT_BYTES)
            return adv_fail(out, FB_ERR_TRUNCATED, "file ends before the pair count");
        p = len - rest + FB_PAIR_COUNT_BYTES;
        out->pair_count = fbi_u32(buf, p - FB_PAIR_COUNT_BYTES);
        if ((rest - FB_PAIR_COUNT_BYTES) / FB_ADV_PAIR_BYTES < out->pair_count)
            return adv_fail(out, FB_ERR_TRUNCATED, "file ends inside the kerning pairs");
        if (rest - FB_PAIR_COUNT_BYTES != (size_t)out->pair_count * FB_ADV_PAIR_BYTES)
            return adv_fail(out, FB_ERR_LENGTH, "bytes after the last kerning pair");
        for (i = 0; i < out->pair_count; ++i, p += FB_ADV_PAIR_BYTES) {
            if (fbi_u8(buf, p + FB_PAIR_O_ADJUST) == 0)
                return adv_fail(out, FB_ERR_BAD_INDEX, "a kerning pair adjusts by 0");
            if (i > 0 && fbi_pair_key(buf, p) <= fbi_pair_key(buf, p - FB_ADV_PAIR_BYTES))
                return adv_fail(out, FB_ERR_BAD_INDEX, "kerning pairs are not strictly ascending");
        }
        out->pairs = out->pair_count
                         ? fbi_bytes(buf, p - (size_t)out->pair_count * FB_ADV_PAIR_BYTES,
                                     (size_t)out->pair_count * FB_ADV_PAIR_BYTES)
                         : NULL;
    }
    out->widths = fbi_bytes(buf, FB_ADV_HEADER_BYTES, count);
    if (!list) {
        if (count != font->glyph_count)
            return adv_fail(out, FB_ERR_BAD_HEADER, "count differs from the font file's glyphs");
    } else {
        const size_t at = FB_ADV_HEADER_BYTES + (size_t)count; /* the code points */
        uint32_t cp;
        out->code_points = fbi_bytes(buf, at, 2u * (size_t)count);
        if (font->char_count != FB_UNKNOWN && count != font->char_count)
            return adv_fail(out, FB_ERR_BAD_HEADER,
                            "count differs from the font file's characters");
        for (i = 1; i < count; ++i)
            if (fbi_u16(buf, at + 2u * i) <= fbi_u16(buf, at + 2u * (i - 1u)))
                return adv_fail(out, FB_ERR_BAD_INDEX, "code points are not strictly ascending");
        /* Every character with a record was selected. */
        for (cp = 0, i = 0; cp <= 0xFFFFu; ++cp) {
            if (fbi_u32(font->data, font->index_offset + 4u * cp) == FB_NO_RECORD) continue;
            while (i < count && fbi_u16(buf, at + 2u * i) < cp) ++i;
            if (i == count || fbi_u16(buf, at + 2u * i) != cp)
                return adv_fail(out, FB_ERR_BAD_INDEX, "a character with a record is not listed");
        }
    }
    out->ready = 1;
    return FB_OK;
}

fb_error fb_open_advances(const uint8_t* buf, size_t len, const fb_font* font, fb_advances* out) {
#ifdef FB_READ_CALLBACK
    return open_advances(fbi_source(buf, 0), len, font, out);
#else
    return open_advances(buf, len, font, out);
#endif
}

#ifdef FB_READ_CALLBACK
fb_error fb_open_advances_flash(fb_flash* flash, uint32_t size, const fb_font* font,
                                fb_advances* out) {
    if (!flash || !flash->read) return open_advances(fbi_source(0, 0), size, font, out);
    fbi_flash_reset(flash, size);
    fbi_flash_prefetch(flash, 0, size);
    return open_advances(fbi_source(0, flash), size, font, out);
}
#endif

fb_error fb_advance(const fb_advances* adv, const fb_font* font, uint32_t code_point,
                    unsigned* width) {
    uint32_t k;
    if (!adv || !adv->ready || !font || !font->ready || !width) return FB_ERR_ARGUMENT;
    if (code_point > 0xFFFFu) return FB_ERR_NOT_FOUND;
    if (FBI_ADV_LISTED(adv)) {
        k = find_in_list(adv->data, FB_ADV_HEADER_BYTES + (size_t)adv->count, adv->count,
                         code_point);
    } else if (font->layout == FB_LAYOUT_CODE_LIST) {
        k = find_in_list(font->data, font->index_offset, font->glyph_count, code_point);
    } else {
        k = fbi_u16(font->data, font->index_offset + 2u * code_point);
        if (k == FB_NO_GLYPH && !(code_point == 0xFFFFu && font->glyph_count == 65536u))
            return FB_ERR_NOT_FOUND;
        if (k == FB_NO_GLYPH) k = 65535u;
    }
    if (k >= adv->count) return FB_ERR_NOT_FOUND;
    *width = fbi_u8(adv->data, FB_ADV_HEADER_BYTES + k);
    return FB_OK;
}

fb_error fb_kerning(const fb_advances* adv, uint32_t left, uint32_t right, int* adjust) {
    if (!adv || !adv->ready || !adjust) return FB_ERR_ARGUMENT;
    /* The pairs end the file. */
    return fbi_find_pair(adv->data, adv->size - (size_t)adv->pair_count * FB_ADV_PAIR_BYTES,
                         adv->pair_count, left, right, adjust);
}
#else
/* (ISO C wants at least one declaration in a file.) */
typedef int fb_advances_unused;
#endif /* FB_NO_ADVANCES */

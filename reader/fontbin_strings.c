#include "fontbin_strings.h"

#ifndef FB_NO_STRINGS

#include <string.h>

static unsigned u16_at(const uint8_t* p) {
    return (unsigned)p[0] | (unsigned)p[1] << 8;
}

static uint32_t u32_at(const uint8_t* p) {
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

static int s16_at(const uint8_t* p) {
    const unsigned v = u16_at(p);
    return v >= 0x8000u ? (int)v - 0x10000 : (int)v;
}

static int s8_at(const uint8_t* p) {
    return p[0] >= 0x80u ? (int)p[0] - 0x100 : (int)p[0];
}

unsigned fb_string_break_at(const fb_string* s, unsigned k);

/* A length, count, cluster or break: one byte, or two in a table of long strings. */
static unsigned field_at(const fb_strings* t, const uint8_t* p) {
    return (t->flags & FB_STRINGS_LONG) ? u16_at(p) : p[0];
}

static unsigned field_size(const fb_strings* t) {
    return (t->flags & FB_STRINGS_LONG) ? 2u : 1u;
}

/* Bytes of the glyph entry at p (the fixed part and the offsets its first byte announces). */
static size_t entry_size(const fb_strings* t, const uint8_t* p) {
    const size_t value = (t->flags & FB_STRINGS_WIDE) ? 2u : 1u;
    size_t size = 1u + ((t->flags & FB_STRINGS_BIG_LIST) ? 2u : 1u) + field_size(t);
    if (t->flags & FB_STRINGS_WIDE) size += 2u;
    if (p[0] & 0x40u) size += value;
    if (p[0] & 0x80u) size += value;
    return size;
}

/* Reads the record at `offset` into `out` without checks beyond those fb_strings_open made. */
static void read_record(const fb_strings* t, size_t offset, unsigned index, fb_string* out) {
    const uint8_t* p = t->data + offset;
    const unsigned name_length = p[0];
    const unsigned n = field_size(t);
    const uint8_t* f = p + 1 + name_length;
    out->table = t;
    out->name = (const char*)(p + 1);
    out->name_length = name_length;
    out->index = index;
    out->right_to_left = (f[0] & 1u) != 0;
    out->length = field_at(t, f + 1);
    out->glyph_count = field_at(t, f + 1 + n);
    out->break_count = field_at(t, f + 1 + 2 * n);
    out->width = s16_at(f + 1 + 3 * n);
    out->breaks = f + 3 + 3 * n;
    out->glyphs = out->breaks + (size_t)out->break_count * n;
}

void fb_string_begin(const fb_string* s, fb_string_cursor* cursor) {
    cursor->string = s;
    cursor->next = s->glyphs;
    cursor->left = s->glyph_count;
    cursor->dy = 0;
}

int fb_string_next(fb_string_cursor* cursor, fb_string_glyph* out) {
    const fb_strings* t = cursor->string->table;
    const uint8_t* p = cursor->next;
    const int wide = (t->flags & FB_STRINGS_WIDE) != 0;
    unsigned first;
    unsigned ref;
    if (cursor->left == 0) return 0;
    first = p[0];
    cursor->next += entry_size(t, p);
    --cursor->left;
    ++p;
    if (t->flags & FB_STRINGS_BIG_LIST) {
        ref = u16_at(p);
        p += 2;
    } else {
        ref = p[0];
        ++p;
    }
    out->code = u16_at(t->glyph_list + 2u * ref);
    out->cluster = field_at(t, p);
    p += field_size(t);
    out->advance = (int)(first & 0x3Fu);
    if (wide) {
        out->advance = s16_at(p);
        p += 2;
    }
    out->dx = 0;
    if (first & 0x40u) {
        out->dx = wide ? s16_at(p) : s8_at(p);
        p += wide ? 2 : 1;
    }
    /* An offset down holds for the glyphs after it until the next one. */
    if (first & 0x80u) cursor->dy = wide ? s16_at(p) : s8_at(p);
    out->dy = cursor->dy;
    return 1;
}

void fb_string_glyph_at(const fb_string* s, unsigned k, fb_string_glyph* out) {
    fb_string_cursor cursor;
    unsigned i;
    fb_string_begin(s, &cursor);
    for (i = 0; i <= k && fb_string_next(&cursor, out); ++i) {
    }
}

/* Whether a name is what the writer writes: letters, digits and '_', not starting with a digit,
   so that fb_string_find finds every string by its name. */
static int name_ok(const uint8_t* name, unsigned length) {
    unsigned i;
    for (i = 0; i < length; ++i) {
        const unsigned c = name[i];
        const int letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
        if (!letter && (i == 0 || c < '0' || c > '9')) return 0;
    }
    return 1;
}

/* Whether the record at `offset` lies inside the file and is consistent. */
static int record_ok(const fb_strings* t, size_t offset) {
    const unsigned n = field_size(t);
    const size_t ref_size = (t->flags & FB_STRINGS_BIG_LIST) ? 2u : 1u;
    const uint8_t* end = t->data + t->size;
    const uint8_t* p;
    fb_string s;
    unsigned k;
    unsigned previous = 0;
    if (offset >= t->size || t->data[offset] == 0 ||
        t->size - offset < 4u + 3u * n + t->data[offset])
        return 0;
    read_record(t, offset, 0, &s);
    if (!name_ok((const uint8_t*)s.name, s.name_length)) return 0;
    if ((((const uint8_t*)s.name)[s.name_length] & ~1u) != 0) return 0; /* flags */
    if ((size_t)(end - s.breaks) < (size_t)s.break_count * n) return 0;
    for (k = 0; k < s.break_count; ++k) {
        const unsigned b = fb_string_break_at(&s, k);
        if (b <= previous || b >= s.length) return 0;
        previous = b;
    }
    p = s.glyphs;
    for (k = 0; k < s.glyph_count; ++k) {
        unsigned ref;
        if (p >= end || (size_t)(end - p) < entry_size(t, p)) return 0;
        ref = ref_size == 2u ? u16_at(p + 1) : p[1];
        if (ref >= t->glyph_list_count || field_at(t, p + 1 + ref_size) >= s.length) return 0;
        p += entry_size(t, p);
    }
    return 1;
}

fb_error fb_strings_open(const uint8_t* buf, size_t len, fb_strings* out) {
    unsigned i;
    size_t offsets;
    if (!buf || !out) return FB_ERR_ARGUMENT;
    memset(out, 0, sizeof *out);
    if (len < FB_STRINGS_HEADER_BYTES + 2u) return FB_ERR_TRUNCATED;
    if (memcmp(buf, "FBST", 4) != 0 || buf[4] != 1u) return FB_ERR_BAD_MAGIC;
    if ((buf[5] & ~7u) != 0 || u32_at(buf + 12) != len) return FB_ERR_BAD_HEADER;
    out->data = buf;
    out->size = len;
    out->flags = buf[5];
    out->count = u16_at(buf + 6);
    out->font_size = buf[8];
    out->em_pixels = buf[9];
    out->baseline = buf[10];
    out->bpp = buf[11];
    out->glyph_list_count = u16_at(buf + FB_STRINGS_HEADER_BYTES);
    out->glyph_list = buf + FB_STRINGS_HEADER_BYTES + 2u;
    if ((len - FB_STRINGS_HEADER_BYTES - 2u) / 2u < out->glyph_list_count) return FB_ERR_TRUNCATED;
    offsets = FB_STRINGS_HEADER_BYTES + 2u + 2u * (size_t)out->glyph_list_count;
    out->offsets = buf + offsets;
    if ((len - offsets) / 4u < out->count) return FB_ERR_TRUNCATED;
    for (i = 0; i < out->count; ++i) {
        const uint32_t offset = u32_at(out->offsets + 4u * i);
        if (offset < offsets + 4u * (size_t)out->count || !record_ok(out, offset))
            return FB_ERR_BAD_RECORD;
    }
    out->ready = 1;
    return FB_OK;
}

fb_error fb_string_at(const fb_strings* table, unsigned index, fb_string* out) {
    if (!table || !table->ready || !out) return FB_ERR_ARGUMENT;
    if (index >= table->count) return FB_ERR_NOT_FOUND;
    read_record(table, u32_at(table->offsets + 4u * index), index, out);
    return FB_OK;
}

fb_error fb_string_find(const fb_strings* table, const char* name, fb_string* out) {
    unsigned i;
    size_t length;
    if (!table || !table->ready || !out || !name) return FB_ERR_ARGUMENT;
    length = strlen(name);
    for (i = 0; i < table->count; ++i) {
        fb_string s;
        (void)fb_string_at(table, i, &s);
        if (s.name_length == length && memcmp(s.name, name, length) == 0) {
            *out = s;
            return FB_OK;
        }
    }
    return FB_ERR_NOT_FOUND;
}

unsigned fb_string_break_at(const fb_string* s, unsigned k) {
    return field_at(s->table, s->breaks + (size_t)field_size(s->table) * k);
}

int fb_string_measure(const fb_string* s, unsigned from, unsigned to) {
    long width = 0; /* 65535 glyphs of 32767 pixels would overflow a 32-bit int */
    fb_string_cursor cursor;
    fb_string_glyph g;
    fb_string_begin(s, &cursor);
    while (fb_string_next(&cursor, &g))
        if (g.cluster >= from && g.cluster < to) width += g.advance;
    return width > 32767 ? 32767 : width < -32768 ? -32768 : (int)width;
}

typedef struct row_target {
    int x, y;
    fb_string_pixel_fn pixel;
    void* user;
} row_target;

static void put_row(void* user, unsigned y, const uint8_t* levels, unsigned width) {
    const row_target* t = (const row_target*)user;
    unsigned i;
    for (i = 0; i < width; ++i)
        if (levels[i] != 0) t->pixel(t->user, t->x + (int)i, t->y + (int)y, levels[i]);
}

/* The glyphs of code points [from, to), in the record's order, from the pen at x. */
static fb_error draw_range(const fb_font* font, const fb_string* s, unsigned from, unsigned to,
                           int x, int y, fb_string_pixel_fn pixel, void* user) {
    int pen = x;
    fb_string_cursor cursor;
    fb_string_glyph g;
    fb_string_begin(s, &cursor);
    while (fb_string_next(&cursor, &g)) {
        fb_glyph glyph;
        fb_error err;
        row_target target;
        if (g.cluster < from || g.cluster >= to) continue;
        err = fb_find_glyph(font, g.code, &glyph);
        if (err == FB_OK && glyph.box_w != 0 && glyph.box_h != 0) {
            target.x = pen + g.dx + (int)glyph.box_x;
            target.y = y + g.dy + (int)glyph.box_y;
            target.pixel = pixel;
            target.user = user;
            err = fb_decode_glyph_rows(font, &glyph, put_row, &target);
        }
        if (err != FB_OK && err != FB_ERR_NOT_FOUND) return err;
        pen += g.advance;
    }
    return FB_OK;
}

static fb_error check_draw(const fb_font* font, const fb_string* s, fb_string_pixel_fn pixel) {
    if (!font || !font->ready || !s || !pixel) return FB_ERR_ARGUMENT;
    if ((font->style_flags & FB_STYLE_SCAN_V) || font->geometry.rotate > 0) return FB_ERR_GEOMETRY;
    return FB_OK;
}

fb_error fb_string_draw(const fb_font* font, const fb_string* s, int x, int y,
                        fb_string_pixel_fn pixel, void* user) {
    const fb_error err = check_draw(font, s, pixel);
    if (err != FB_OK) return err;
    return draw_range(font, s, 0, s->length, x, y, pixel, user);
}

/* Whether the glyph of `code` leaves the display as it is: a space, or a code without a record
   (the offset-table layout stores none for a glyph without ink). */
static int is_blank(const fb_font* font, uint32_t code) {
    fb_glyph g;
    unsigned x, y;
    if (fb_find_glyph(font, code, &g) != FB_OK || g.box_w == 0 || g.box_h == 0) return 1;
    if (g.compact) return 0; /* a compact box is the ink's own */
    for (y = 0; y < g.box_h; ++y)
        for (x = 0; x < g.box_w; ++x)
            if (fb_glyph_pixel(&g, g.box_x + x, g.box_y + y) != 0) return 0;
    return 1;
}

/* The end of the line [start, end) without the blank clusters it ends with. A break follows the
   spaces after a word, and those spaces belong to neither line: counted, they would push a word
   that fits onto the next line, and drawn, they would open a gap where the line's bidi runs meet
   (a right-to-left run's last space lies on its left). */
static unsigned visible_end(const fb_font* font, const fb_string* s, unsigned start, unsigned end) {
    while (end > start) {
        fb_string_cursor cursor;
        fb_string_glyph g;
        unsigned last = start;
        int found = 0;
        int blank = 1;
        /* The last cluster of the line starts at the greatest cluster below `end`. */
        fb_string_begin(s, &cursor);
        while (fb_string_next(&cursor, &g))
            if (g.cluster >= last && g.cluster < end) {
                last = g.cluster;
                found = 1;
            }
        if (!found) return end;
        fb_string_begin(s, &cursor);
        while (blank && fb_string_next(&cursor, &g))
            if (g.cluster == last) blank = is_blank(font, g.code);
        if (!blank) return end;
        end = last;
    }
    return end;
}

/* Where the line that starts at code point `start` ends: the farthest break (or the end) whose
   piece, without its trailing spaces, fits in w, or the first one when none does. */
static unsigned line_end(const fb_font* font, const fb_string* s, unsigned start, unsigned w) {
    unsigned k;
    unsigned end = 0;
    for (k = 0; k <= s->break_count; ++k) {
        const unsigned b = k < s->break_count ? fb_string_break_at(s, k) : s->length;
        if (b <= start) continue;
        if (end != 0 && fb_string_measure(s, start, visible_end(font, s, start, b)) > (int)w) break;
        end = b;
    }
    return end;
}

fb_error fb_string_draw_box(const fb_font* font, const fb_string* s, int x, int y, unsigned w,
                            unsigned h, fb_string_pixel_fn pixel, void* user, unsigned* lines) {
    unsigned start = 0;
    unsigned count = 0;
    const fb_error err = check_draw(font, s, pixel);
    if (err != FB_OK) return err;
    while (start < s->length) {
        const unsigned end = line_end(font, s, start, w);
        const unsigned row = count * font->geometry.rows;
        if (row + font->geometry.rows <= h) {
            const unsigned shown = visible_end(font, s, start, end);
            const int width = fb_string_measure(s, start, shown);
            const int left = s->right_to_left ? x + (int)w - width : x;
            const fb_error drawn =
                draw_range(font, s, start, shown, left, y + (int)row, pixel, user);
            if (drawn != FB_OK) return drawn;
        }
        ++count;
        start = end;
    }
    if (lines) *lines = count;
    return FB_OK;
}

#endif /* FB_NO_STRINGS */

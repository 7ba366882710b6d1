/*
 * fb_compact: the compact layout ("*_compact.bin", docs/file-format.md). fb_open checks every
 * part once: the runs, each glyph's table record against the cell and its size against the
 * checkpoints and the data part. Decoding (fb_decode.c) then stays inside the data part whatever
 * its bits say (reads past its end give zero bits) and every loop is bounded by the glyph's box.
 */
#include "fb_internal.h"

#ifndef FB_NO_COMPACT
#define FIELD_SIZE FB_COMPACT_FIELD_SIZE
#define FIELD_ADVANCE FB_COMPACT_FIELD_ADVANCE
#define FIELD_X FB_COMPACT_FIELD_X
#define FIELD_Y FB_COMPACT_FIELD_Y
#define FIELD_W FB_COMPACT_FIELD_W
#define FIELD_H FB_COMPACT_FIELD_H
#define FIELD_COUNT FB_COMPACT_FIELD_COUNT
/* Whether a file has version 3's prefix codes: always, for a firmware that reads no other. */
#ifdef FB_NO_COMPACT_V2
#define IS_V3(c) 1
#else
#define IS_V3(c) ((c)->version == FB_COMPACT_VERSION)
#endif

/* A little-endian bit field of up to 24 bits at bit `bit` of p. The four bytes read from the
   field's first byte on lie in the file: the glyph table is followed by at least the four bytes
   of a checkpoint. */
static uint32_t rd_field(const fb_font* f, uint32_t bit, unsigned width) {
    return (fbi_u32(f->data, f->compact.table + (bit >> 3)) >> (bit & 7u)) & ((1u << width) - 1u);
}

/* The six fields of a glyph's record (size, advance, box x, y, w, h). */
static void compact_record(const fb_font* f, uint32_t number, uint32_t* v) {
    const fb_compact* c = &f->compact;
    uint32_t bit = number * c->record_bits;
    unsigned n;
    for (n = 0; n < FIELD_COUNT; ++n) {
        v[n] = c->field_min[n] + rd_field(f, bit, c->field_bits[n]);
        bit += c->field_bits[n];
    }
}

/* A glyph's code size alone: its record's first field. (Optimising for size, a call per glyph
   takes less flash than the field read inline.) */
static FB_SIZE_NOINLINE uint32_t compact_size(const fb_font* f, uint32_t number) {
    const fb_compact* c = &f->compact;
    return c->field_min[FIELD_SIZE] +
           rd_field(f, number * c->record_bits, c->field_bits[FIELD_SIZE]);
}

/* Version 3: a part's bits, most significant first, through a 32-bit window topped up a byte at
   a time; bits past the part's end read as zero. */
typedef struct fbi_bits {
    size_t at;       /* the part's file offset */
    uint32_t len;    /* its bytes */
    uint32_t next;   /* the next byte to load */
    uint32_t window; /* bits loaded and not yet taken, the next one highest */
    unsigned avail;  /* how many */
} fbi_bits;

/* Tops the window up to at least 25 bits. */
static FB_INLINE void bits_fill(const fb_font* f, fbi_bits* r) {
    while (r->avail <= 24u) {
        r->window |= (r->next < r->len ? fbi_u8(f->data, r->at + r->next) : 0u) << (24u - r->avail);
        ++r->next;
        r->avail += 8u;
    }
}

/* The next n (0 to 24) bits. */
static FB_INLINE uint32_t bits_take(const fb_font* f, fbi_bits* r, unsigned n) {
    uint32_t v;
    if (r->avail < n) bits_fill(f, r);
    v = r->window >> 1 >> (31u - n);
    r->window <<= n;
    r->avail -= n;
    return v;
}

/* The reader of the part [at, at + len) from its bit `bit` on. */
static void bits_start(const fb_font* f, fbi_bits* r, size_t at, uint32_t len, uint32_t bit) {
    r->at = at;
    r->len = len;
    r->next = bit >> 3;
    r->window = 0;
    r->avail = 0;
    /* Read by command: as much of the part from there as the window holds, in one command. */
    if (r->next < len) fbi_prefetch(f->data, at + r->next, len - r->next);
    bits_fill(f, r);
    (void)bits_take(f, r, bit & 7u);
}

/* The bit the reader has come to. */
static uint32_t bits_at(const fbi_bits* r) {
    return r->next * 8u - r->avail;
}

/* The next word, of the code at `code` whose symbols are `unit` bytes: the file offset of its
   symbol; 0 for a word that is not the code's. fb_open found the code inside its part, and the
   symbol lies below the sum of the counts. */
static FB_INLINE size_t code_symbol(const fb_font* f, size_t code, unsigned unit, fbi_bits* r) {
    const unsigned longest = fbi_u8(f->data, code);
    const uint8_t* count = fbi_bytes(f->data, code, 1u + longest);
    uint32_t word = 0, first = 0, index = 0, n, win;
    unsigned l;
    if (r->avail < FB_COMPACT_MAX_CODE_LENGTH) bits_fill(f, r);
    win = r->window;
    for (l = 1; l <= longest; ++l) {
        word |= win >> 31;
        win <<= 1;
        n = FBI_BYTE_AT(f, count, code, l);
        if (word - first < n) {
            (void)bits_take(f, r, l);
            return code + 1u + longest + (index + word - first) * unit;
        }
        index += n;
        first = (first + n) << 1;
        word <<= 1;
    }
    return longest ? 0u : code + 1u; /* L 0: the one symbol, no bits */
}

/* The bytes of the code at `at`, with symbols of `unit` bytes, if it ends by `end`; else 0. */
static size_t code_bytes(const fb_font* f, size_t at, size_t end, unsigned unit) {
    unsigned l, longest;
    size_t n = 0;
    if (at >= end) return 0;
    longest = fbi_u8(f->data, at);
    if (longest > FB_COMPACT_MAX_CODE_LENGTH || end - at <= longest) return 0;
    for (l = 1; l <= longest; ++l) n += fbi_u8(f->data, at + l);
    n = 1u + longest + (longest ? n : 1u) * unit;
    return n <= end - at ? n : 0u;
}

/* A glyph's size and advance (v[FIELD_SIZE], v[FIELD_ADVANCE]) from the glyph table's reader.
   0 for a word that is not the size code's. */
static FB_INLINE int coded_record(const fb_font* f, fbi_bits* r, uint32_t* v) {
    const fb_compact* c = &f->compact;
    const size_t s = code_symbol(f, c->size_code, 1u, r);
    uint32_t value;
    if (!s) return 0;
    value = fbi_u8(f->data, s) << c->field_bits[FIELD_SIZE] |
            bits_take(f, r, c->field_bits[FIELD_SIZE]);
    v[FIELD_SIZE] = value ? c->field_min[FIELD_SIZE] + value : 0u;
    v[FIELD_ADVANCE] = c->field_min[FIELD_ADVANCE] + bits_take(f, r, c->field_bits[FIELD_ADVANCE]);
    return 1;
}

/* The box at the head of the code from data bit `bit` into v[FIELD_X .. FIELD_H]; the bits it
   takes, or ~0 for a word that is not the box code's. */
static uint32_t coded_box(const fb_font* f, uint32_t bit, uint32_t* v) {
    const fb_compact* c = &f->compact;
    fbi_bits r;
    size_t e;
    unsigned n;
    bits_start(f, &r, c->stream, c->stream_size, bit);
    e = code_symbol(f, c->box_code, FB_COMPACT_BOX_SYMBOL_BYTES, &r);
    if (!e) return ~0u;
    for (n = 0; n < 4u; ++n) v[FIELD_X + n] = fbi_u8(f->data, e + n);
    if (v[FIELD_W] == 0) {
        /* The escape: the fields as the header describes them. */
        for (n = FIELD_X; n <= FIELD_H; ++n)
            v[n] = c->field_min[n] + bits_take(f, &r, c->field_bits[n]);
    }
    return bits_at(&r) - bit;
}

/* Version 3: the table bit of checkpoint `block`'s glyph. */
static uint32_t mark(const fb_font* f, uint32_t block) {
    const size_t m = f->compact.marks + FB_COMPACT_MARK_BYTES * block;
    return fbi_u16(f->data, m) | fbi_u8(f->data, m + 2u) << 16;
}

/* Model bytes of a depth and template, as the writer lays them out: a table per context, and
   at 8 bpp 16 more for the low four bits. */
static uint32_t compact_model_bytes(const fb_compact* c, unsigned bpp) {
    unsigned qb = bpp == 1 ? 1u : 2u, k = c->west * qb;
    if (c->above) k += (2u * c->above - 1u) * qb;
    if (c->above2) k += 2u * c->above2 - 1u;
    return (((uint32_t)1 << k) + (bpp == 8 ? 16u : 0u)) * fbi_table_bytes(bpp);
}

/* The number of run `run`'s first glyph; glyph_count past the last run. */
static uint32_t run_glyph(const fb_font* f, uint32_t run) {
    const size_t r = f->compact.runs + FB_COMPACT_RUN_BYTES * run;
    return run < f->compact.run_count ? (fbi_u16(f->data, r + FB_COMPACT_RUN_O_GLYPH) |
                                         fbi_u8(f->data, r + FB_COMPACT_RUN_O_GLYPH + 2u) << 16)
                                      : f->glyph_count;
}

/* Opening, step 1: the fixed header fields and the name. */
static fb_error open_header(fb_font* f, unsigned rows, unsigned cols, unsigned* flags) {
    fb_compact* c = &f->compact;
    const fbi_src b = f->data;
    unsigned tmpl, n;
    if (f->size < FB_COMPACT_HEADER_BYTES)
        return fail(f, FB_ERR_TRUNCATED, "file ends inside the header", f->size, -1);
    c->version = fbi_u8(b, FB_COMPACT_O_VERSION);
#ifdef FB_NO_COMPACT_V2
    if (c->version != FB_COMPACT_VERSION)
#else
    if (c->version - 1u > FB_COMPACT_VERSION - 1u) /* 1 to 3 */
#endif
        return fail(f, FB_ERR_BAD_HEADER, "unknown compact version", FB_COMPACT_O_VERSION, -1);
    f->font_size = fbi_u8(b, FB_COMPACT_O_FONT_SIZE);
    f->bpp = fbi_u8(b, FB_COMPACT_O_BPP);
    *flags = fbi_u8(b, FB_COMPACT_O_FLAGS);
    c->baseline = fbi_u8(b, FB_COMPACT_O_BASELINE);
    c->line_height = fbi_u8(b, FB_COMPACT_O_LINE_HEIGHT);
    f->geometry.rows = fbi_u16(b, FB_COMPACT_O_ROWS);
    f->geometry.cols = fbi_u16(b, FB_COMPACT_O_COLS);
    f->glyph_count = fbi_u32(b, FB_COMPACT_O_GLYPH_COUNT);
    c->run_count = fbi_u16(b, FB_COMPACT_O_RUN_COUNT);
    c->checkpoint_shift = fbi_u8(b, FB_COMPACT_O_CHECKPOINT_SHIFT);
    c->method = fbi_u8(b, FB_COMPACT_O_METHOD);
    tmpl = fbi_u8(b, FB_COMPACT_O_TEMPLATE);
    f->name_length = fbi_u8(b, FB_COMPACT_O_NAME_LENGTH);
    c->model_size = fbi_u32(b, FB_COMPACT_O_MODEL_SIZE);
    c->stream_size = fbi_u32(b, FB_COMPACT_O_DATA_SIZE);
    c->scan = (*flags >> FB_COMPACT_FLAG_SCAN_SHIFT) & FB_COMPACT_FLAG_FIELD_MASK;
    c->rotate = (*flags >> FB_COMPACT_FLAG_ROTATE_SHIFT) & FB_COMPACT_FLAG_FIELD_MASK;
    c->west = FB_COMPACT_TEMPLATE_WEST(tmpl);
    c->above = FB_COMPACT_TEMPLATE_ABOVE(tmpl);
    c->above2 = FB_COMPACT_TEMPLATE_ABOVE2(tmpl);
    f->style_flags =
        (*flags & FB_COMPACT_FLAG_STYLE) | (c->scan == FB_SCAN_COLUMNS ? FB_STYLE_SCAN_V : 0u);
    f->geometry.scan = (int)c->scan;
    f->geometry.rotate = (int)c->rotate;
    f->layout = FB_LAYOUT_COMPACT;
    if (f->font_size == 0)
        return fail(f, FB_ERR_BAD_HEADER, "font size 0", FB_COMPACT_O_FONT_SIZE, -1);
    if (f->bpp > 8u || !((0x116u >> f->bpp) & 1u)) /* bits 1, 2, 4 and 8 */
        return fail(f, FB_ERR_BAD_HEADER, "bits per pixel not 1, 2, 4 or 8", FB_COMPACT_O_BPP, -1);
    if ((*flags & FB_COMPACT_FLAG_RESERVED) || c->scan > 2u || c->rotate > 2u)
        return fail(f, FB_ERR_BAD_HEADER, "unknown flag bits, scan or rotation", FB_COMPACT_O_FLAGS,
                    -1);
    if (f->glyph_count > 65536u || c->run_count > f->glyph_count ||
        (c->run_count == 0 && f->glyph_count != 0))
        return fail(f, FB_ERR_BAD_HEADER, "glyph or run count out of range",
                    FB_COMPACT_O_GLYPH_COUNT, -1);
    if (f->glyph_count != 0 && (f->geometry.rows == 0 || f->geometry.cols == 0 ||
                                f->geometry.rows > FB_MAX_CELL || f->geometry.cols > FB_MAX_CELL))
        return fail(f, FB_ERR_BAD_HEADER, "cell size out of range", FB_COMPACT_O_ROWS, -1);
    if (f->glyph_count != 0) {
        /* Fields that must agree with each other (a damaged or forged header otherwise reads
           as a font whose lines overlap or whose baseline lies outside every glyph). */
        const unsigned r = f->geometry.rows, w = f->geometry.cols, fs = f->font_size;
        const unsigned upright = c->scan == FB_SCAN_ROWS && c->rotate == 0 ? r : w;
        const unsigned widest = ((3u * fs / 2u) + 7u) / 8u * 8u; /* italic, rounded up to 8 */
        if (r < fs || w < fs || r > widest || w > widest)
            return fail(f, FB_ERR_BAD_HEADER, "cell size is not one this font size gives",
                        FB_COMPACT_O_ROWS, -1);
        if (c->baseline > upright)
            return fail(f, FB_ERR_BAD_HEADER, "baseline below the cell", FB_COMPACT_O_BASELINE, -1);
        if (c->line_height == 0)
            return fail(f, FB_ERR_BAD_HEADER, "line height 0", FB_COMPACT_O_LINE_HEIGHT, -1);
    } else if (c->stream_size != 0) {
        return fail(f, FB_ERR_BAD_HEADER, "data part without glyphs", FB_COMPACT_O_DATA_SIZE, -1);
    }
    if (rows && (rows != f->geometry.rows || cols != f->geometry.cols))
        return fail(f, FB_ERR_GEOMETRY, "the file states another cell", FB_COMPACT_O_ROWS, -1);
    if (c->checkpoint_shift > FB_COMPACT_MAX_CHECKPOINT_SHIFT)
        return fail(f, FB_ERR_BAD_HEADER, "checkpoint interval out of range",
                    FB_COMPACT_O_CHECKPOINT_SHIFT, -1);
    if (c->method != FB_COMPACT_CONTEXT || (tmpl & FB_COMPACT_TEMPLATE_RESERVED) ||
        c->west > FB_COMPACT_MAX_WEST || c->above > FB_COMPACT_MAX_ABOVE ||
        c->above2 > FB_COMPACT_MAX_ABOVE2)
        return fail(f, FB_ERR_BAD_HEADER, "unknown coding method or template", FB_COMPACT_O_METHOD,
                    -1);
    if (compact_model_bytes(c, f->bpp) != c->model_size)
        return fail(f, FB_ERR_BAD_HEADER, "model size does not match the template",
                    FB_COMPACT_O_MODEL_SIZE, -1);
    c->record_bits = 0;
    for (n = 0; n < FIELD_COUNT; ++n) {
        const unsigned at = FB_COMPACT_O_FIELDS + FB_COMPACT_FIELD_BYTES * n;
        c->field_min[n] = fbi_u32(b, at + FB_COMPACT_FIELD_O_MIN);
        c->field_bits[n] = fbi_u8(b, at + FB_COMPACT_FIELD_O_BITS);
        if (c->field_bits[n] > FB_COMPACT_MAX_FIELD_BITS || c->field_min[n] > 0xFFFFFFu)
            return fail(f, FB_ERR_BAD_HEADER, "glyph table field out of range", at, -1);
        c->record_bits += c->field_bits[n];
    }
    /* Name: at least the zero byte that ends it. */
    f->header_length = FB_COMPACT_HEADER_BYTES + f->name_length;
    if (f->name_length == 0)
        return fail(f, FB_ERR_BAD_HEADER, "name length 0 (the terminating zero is counted)",
                    FB_COMPACT_O_NAME_LENGTH, -1);
    if (f->size < f->header_length)
        return fail(f, FB_ERR_TRUNCATED, "file ends inside the font name", f->size, -1);
    /* (A zero byte inside the name only shortens it; the writer never puts one there.) */
    if (fbi_u8(b, f->header_length - 1u) != 0)
        return fail(f, FB_ERR_BAD_HEADER, "font name does not end with a zero byte",
                    f->header_length - 1u, -1);
    f->name = (const char*)fbi_bytes(b, FB_COMPACT_HEADER_BYTES, f->name_length);
    return FB_OK;
}

/* Step 2: the parts the header sizes (runs, glyph table, checkpoints, model, version 2's
   checksums, data), each checked against what is left of the file. Returns through *at where
   they end. */
static fb_error open_parts(fb_font* f, size_t* at) {
    fb_compact* c = &f->compact;
    const uint32_t count = f->glyph_count;
    const uint32_t groups = count == 0 ? 0u : ((count - 1u) >> c->checkpoint_shift) + 1u;
    const int v3 = IS_V3(c);
    size_t part[9], start[9], left = f->size - *at, n1, n2, end;
    unsigned n;
    part[0] = (size_t)c->run_count * FB_COMPACT_RUN_BYTES;
    /* Version 3's codes: the lengths of the table and the codes, then the codes. */
    part[1] = v3 ? FB_COMPACT_CODES_HEAD_BYTES : 0u;
    part[2] = 0u;
    part[3] = v3 ? 0u : (size_t)(((uint32_t)count * c->record_bits + 7u) / 8u);
    part[4] = (size_t)groups * FB_COMPACT_CHECKPOINT_BYTES;
    part[5] = v3 ? (size_t)groups * FB_COMPACT_MARK_BYTES : 0u;
    part[6] = c->model_size;
    part[7] = !v3 && c->version == FB_COMPACT_VERSION_PLAIN
                  ? 0u
                  : ((size_t)groups + 1u) * FB_COMPACT_CRC_BYTES; /* blocks, then the tables */
    part[8] = c->stream_size;
    for (n = 0; n < 9u; ++n) {
        if (left < part[n])
            return fail(f, FB_ERR_TRUNCATED, "file ends before a part the header states", f->size,
                        -1);
        start[n] = *at;
        *at += part[n];
        left -= part[n];
        if (v3 && n == 1u) {
            c->table_bytes = fbi_u32(f->data, start[1] + FB_COMPACT_CODES_O_TABLE_BYTES);
            part[2] = fbi_u16(f->data, start[1] + FB_COMPACT_CODES_O_CODE_BYTES);
            part[3] = c->table_bytes;
        }
    }
    c->runs = start[0];
    c->table = start[3];
    c->checkpoints = start[4];
    c->marks = start[5];
    c->model = start[6];
    c->crcs = part[7] ? start[7] : 0u;
    c->stream = start[8];
    if (v3) {
        /* The two codes fill their part exactly. */
        end = start[2] + part[2];
        c->size_code = start[2];
        n1 = code_bytes(f, start[2], end, 1u);
        c->box_code = start[2] + n1;
        n2 = code_bytes(f, c->box_code, end, FB_COMPACT_BOX_SYMBOL_BYTES);
        if (n1 == 0 || n2 == 0 || n2 != end - c->box_code)
            return fail(f, FB_ERR_BAD_HEADER, "prefix codes do not fill their part", start[2], -1);
    }
    return FB_OK;
}

/* Step 3: the kerning section (flag bit 6), the pair count and then the pairs; the file ends
   with them. */
static fb_error open_kerning(fb_font* f, unsigned flags, size_t at) {
    fb_compact* c = &f->compact;
    size_t left = f->size - at;
    if (flags & FB_COMPACT_KERNING) {
        if (left < FB_PAIR_COUNT_BYTES)
            return fail(f, FB_ERR_TRUNCATED, "file ends before the kerning pair count", f->size,
                        -1);
        c->pair_count = fbi_u32(f->data, at);
        c->pairs = at + FB_PAIR_COUNT_BYTES;
        left -= FB_PAIR_COUNT_BYTES;
        /* (By multiplication: a division by 5 costs a library call on a core without one.) */
        if (c->pair_count > 0xFFFFFFFFu / FB_ADV_PAIR_BYTES ||
            (size_t)c->pair_count * FB_ADV_PAIR_BYTES > left)
            return fail(f, FB_ERR_TRUNCATED, "file ends inside the kerning pairs", f->size, -1);
        left -= (size_t)c->pair_count * FB_ADV_PAIR_BYTES;
        at = c->pairs + (size_t)c->pair_count * FB_ADV_PAIR_BYTES;
    }
    if (left != 0) return fail(f, FB_ERR_LENGTH, "bytes follow the last part", at, -1);
    return FB_OK;
}

/* fb_check_font, step 1: the kerning pairs strictly ascending, none adjusting by 0. */
static fb_error check_pairs(fb_font* f) {
    const fb_compact* c = &f->compact;
    size_t p = c->pairs;
    uint32_t i;
    for (i = 1; i <= c->pair_count; ++i, p += FB_ADV_PAIR_BYTES) {
        if (fbi_u8(f->data, p + FB_PAIR_O_ADJUST) == 0 ||
            (i < c->pair_count &&
             fbi_pair_key(f->data, p + FB_ADV_PAIR_BYTES) <= fbi_pair_key(f->data, p)))
            return fail(f, FB_ERR_BAD_INDEX,
                        "kerning pairs are not strictly ascending or one adjusts by 0", p,
                        (int32_t)fbi_u16(f->data, p + FB_PAIR_O_LEFT));
    }
    return FB_OK;
}

/* fb_check_font, step 2: the runs, glyph numbers from 0 up, code points ascending without overlap.
 */
static fb_error check_runs(fb_font* f) {
    const fb_compact* c = &f->compact;
    uint32_t i;
    for (i = 0; i < c->run_count; ++i) {
        const size_t r = c->runs + FB_COMPACT_RUN_BYTES * i;
        uint32_t first = fbi_u16(f->data, r), glyph = run_glyph(f, i), next = run_glyph(f, i + 1u);
        uint32_t run_glyphs;
        if ((i == 0 && glyph != 0) || next <= glyph || next > f->glyph_count)
            return fail(f, FB_ERR_BAD_INDEX, "run glyph numbers do not count up from 0",
                        c->runs + FB_COMPACT_RUN_BYTES * i, (int32_t)first);
        run_glyphs = next - glyph;
        if (run_glyphs - 1u > 0xFFFFu - first)
            return fail(f, FB_ERR_BAD_INDEX, "run reaches past U+FFFF",
                        c->runs + FB_COMPACT_RUN_BYTES * i, (int32_t)first);
        if (i + 1u < c->run_count &&
            fbi_u16(f->data, r + FB_COMPACT_RUN_BYTES) < first + run_glyphs)
            return fail(f, FB_ERR_BAD_INDEX, "runs are not in ascending code-point order",
                        c->runs + FB_COMPACT_RUN_BYTES * (i + 1u),
                        (int32_t)fbi_u16(f->data, r + FB_COMPACT_RUN_BYTES));
    }
    return FB_OK;
}

/* fb_check_font, step 3: the glyph records, boxes inside the cell, sizes adding up to the
   checkpoints and the data part. */
static fb_error check_records(fb_font* f) {
    const fb_compact* c = &f->compact;
    const uint32_t cap = c->stream_size >= 0x20000000u ? 0xFFFFFFFFu : c->stream_size * 8u;
    const int v3 = IS_V3(c);
    uint32_t i, t, bits = 0;
    fbi_bits r;
    bits_start(f, &r, c->table, c->table_bytes, 0);
    for (i = 0; i < f->glyph_count; ++i) {
        uint32_t v[FIELD_COUNT], size;
        const uint32_t block = i >> c->checkpoint_shift;
        if ((i & ((1u << c->checkpoint_shift) - 1u)) == 0 &&
            (fbi_u32(f->data, c->checkpoints + FB_COMPACT_CHECKPOINT_BYTES * block) != bits ||
             (v3 && mark(f, block) != bits_at(&r))))
            return fail(f, FB_ERR_BAD_INDEX, "checkpoint differs from the sizes before it",
                        c->checkpoints + FB_COMPACT_CHECKPOINT_BYTES * block, -1);
        if (v3) {
            if (!coded_record(f, &r, v))
                return fail(f, FB_ERR_BAD_RECORD, "glyph size is no word of the size code",
                            c->table + bits_at(&r) / 8u, -1);
            if (v[FIELD_SIZE] != 0 && coded_box(f, bits, v) > v[FIELD_SIZE])
                return fail(f, FB_ERR_BAD_RECORD, "glyph box is no word of the box code",
                            c->stream + bits / 8u, -1);
        } else {
            compact_record(f, i, v);
        }
        size = v[FIELD_SIZE];
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
    t = bits_at(&r);
    if (v3 && t / 8u + ((t & 7u) != 0) != c->table_bytes)
        return fail(f, FB_ERR_LENGTH, "glyph table is longer than its records", c->table, -1);
    t = bits / 8u + ((bits & 7u) != 0);
    if (t != c->stream_size)
        return fail(f, FB_ERR_LENGTH, "data part is longer than the glyphs' code", c->stream + t,
                    -1);
    return FB_OK;
}

fb_error fbi_open_compact(fb_font* f, unsigned rows, unsigned cols) {
    fb_compact* c = &f->compact;
    unsigned flags = 0;
    size_t at;
    fb_error err = open_header(f, rows, cols, &flags);
    if (err != FB_OK) return err;
    at = f->header_length;
    err = open_parts(f, &at);
    if (err == FB_OK) err = open_kerning(f, flags, at);
    if (err != FB_OK) return err;
    f->char_count = f->glyph_count;
#ifdef FB_LEGACY
    /* The general fields, for tools that read every layout. */
    f->index_offset = c->runs;
    f->index_size = c->model - c->runs;
    f->records_offset = c->stream;
    f->index_bytes = (uint32_t)f->index_size;
#else
    (void)c;
#endif
#ifdef FB_READ_CALLBACK
    if (f->data.flash) fbi_flash_keys(f->data.flash, c->runs, c->run_count, FB_COMPACT_RUN_BYTES);
#endif
    /* The passes over the pairs, the runs and the glyph table are fb_check_font's; lookups
       check what they read on their own. */
    return FB_OK;
}

fb_error fbi_check_compact(fb_font* f) {
    fb_error err = check_pairs(f);
    if (err == FB_OK) err = check_runs(f);
    return err == FB_OK ? check_records(f) : err;
}

static fb_error compact_glyph(const fb_font* f, uint32_t code_point, uint32_t number,
                              fb_glyph* out) {
    const fb_compact* c = &f->compact;
    const uint32_t cap = c->stream_size >= 0x20000000u ? 0xFFFFFFFFu : c->stream_size * 8u;
    const int v3 = IS_V3(c);
    uint32_t i, first, bit, size, head = 0, v[FIELD_COUNT];
    fbi_bits r = {0, 0, 0, 0, 0};
    /* fb_open did not walk the runs or the table: what they say is checked here, so that a
       damaged file gives an error and never a glyph outside the file or the cell. (Below
       glyph_count, the number's record and checkpoint lie inside their parts.) */
    if (number >= f->glyph_count) return FB_ERR_BAD_INDEX;
    first = number >> c->checkpoint_shift;
#ifdef FB_READ_CALLBACK
    if (f->data.flash && f->data.flash->checkpoints)
        bit = fbi_rd32(f->data.flash->checkpoints + FB_COMPACT_CHECKPOINT_BYTES * first);
    else
#endif
        bit = fbi_u32(f->data, c->checkpoints + FB_COMPACT_CHECKPOINT_BYTES * first);
    if (v3) bits_start(f, &r, c->table, c->table_bytes, mark(f, first));
    if (bit > cap) return FB_ERR_BAD_INDEX;
    /* The records from the checkpoint's up to this one's, with the four bytes a field read
       takes from its first byte: one command for a file read by command. */
    if (!v3)
        fbi_prefetch(
            f->data, c->table + (((first << c->checkpoint_shift) * c->record_bits) >> 3),
            ((number + 1u - (first << c->checkpoint_shift)) * c->record_bits + 7u) / 8u + 4u);
    for (i = first << c->checkpoint_shift; i < number; ++i) {
        if (v3) {
            if (!coded_record(f, &r, v)) return FB_ERR_BAD_INDEX;
            size = v[FIELD_SIZE];
        } else {
            size = compact_size(f, i);
        }
        if (size > cap - bit) return FB_ERR_BAD_INDEX;
        bit += size;
    }
    if (!v3) {
        compact_record(f, number, v);
    } else if (!coded_record(f, &r, v)) {
        return FB_ERR_BAD_RECORD;
    }
    if (v[FIELD_SIZE] > cap - bit) return FB_ERR_BAD_RECORD;
    /* Version 3: the box heads the glyph's code, which its pixels' code follows. */
    if (v3 && v[FIELD_SIZE] != 0 && (head = coded_box(f, bit, v)) > v[FIELD_SIZE])
        return FB_ERR_BAD_RECORD;
    if (v[FIELD_SIZE] != 0) {
        /* Fields are below 2^25: the sums cannot wrap. */
        if (v[FIELD_W] == 0 || v[FIELD_H] == 0 || v[FIELD_X] + v[FIELD_W] > f->geometry.cols ||
            v[FIELD_Y] + v[FIELD_H] > f->geometry.rows)
            return FB_ERR_BAD_RECORD;
        if (v[FIELD_W] > FB_COMPACT_MAX_WIDTH) return FB_ERR_GEOMETRY;
    }
    memset(out, 0, sizeof *out);
    out->code_point = code_point;
    out->number = number;
    out->compact = 1;
    out->bpp = f->bpp;
    out->rows = f->geometry.rows;
    out->cols = f->geometry.cols;
    out->origin_y = c->baseline;
    out->advance = (int)v[FIELD_ADVANCE];
    out->stream_bit = bit + head;
    out->stream_bits = v[FIELD_SIZE] - head;
    if (v[FIELD_SIZE] != 0) {
        out->box_x = v[FIELD_X];
        out->box_y = v[FIELD_Y];
        out->box_w = v[FIELD_W];
        out->box_h = v[FIELD_H];
    }
#ifdef FB_LEGACY
    /* The fields the other layouts fill, as far as they mean something here. */
    out->offset = c->stream + bit / 8u;
    out->size = (v[FIELD_SIZE] + (bit & 7u) + 7u) / 8u; /* the box's code too */
    out->bits = fbi_bytes(f->data, out->offset, out->size);
    out->bits_size = out->size;
    out->extent_x = out->box_x + out->box_w;
    out->extent_y = out->box_y + out->box_h;
    out->top_skip = out->box_y;
    out->stored_rows = out->box_h;
#endif
    return FB_OK;
}

/* The number of runs starting at or below `code_point`: the run holding it is the one before. */
static uint32_t compact_run(const fb_font* f, uint32_t code_point) {
    return fbi_search(f->data, f->compact.runs, f->compact.run_count, FB_COMPACT_RUN_BYTES,
                      code_point + 1u);
}

fb_error fb_compact_kerning(const fb_font* font, uint32_t left, uint32_t right, int* adjust) {
    if (!font || !font->ready || !adjust) return FB_ERR_ARGUMENT;
    if (font->layout != FB_LAYOUT_COMPACT || !font->compact.pair_count) {
        *adjust = 0;
        return FB_ERR_NOT_FOUND;
    }
    return fbi_find_pair(font->data, font->compact.pairs, font->compact.pair_count, left, right,
                         adjust);
}

fb_error fbi_compact_find(const fb_font* f, uint32_t code_point, fb_glyph* out) {
    uint32_t k = compact_run(f, code_point), first, glyph;
    if (k == 0) return FB_ERR_NOT_FOUND;
    first = fbi_u16(f->data, f->compact.runs + FB_COMPACT_RUN_BYTES * (k - 1u));
    glyph = run_glyph(f, k - 1u) + (code_point - first);
    if (glyph >= run_glyph(f, k)) return FB_ERR_NOT_FOUND;
    return compact_glyph(f, code_point, glyph, out);
}

/* The glyph of `from`, else the first of the next run: apart from fbi_compact_find, so that a
   firmware that only finds glyphs does not carry it. */
fb_error fbi_compact_next(const fb_font* f, uint32_t from, fb_glyph* out) {
    const fb_error err = fbi_compact_find(f, from, out);
    uint32_t k;
    if (err != FB_ERR_NOT_FOUND) return err;
    k = compact_run(f, from);
    if (k >= f->compact.run_count) return FB_ERR_NOT_FOUND;
    return compact_glyph(f, fbi_u16(f->data, f->compact.runs + FB_COMPACT_RUN_BYTES * k),
                         run_glyph(f, k), out);
}
#else
/* (ISO C wants at least one declaration in a file.) */
typedef int fb_compact_unused;
#endif /* FB_NO_COMPACT */

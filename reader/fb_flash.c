/*
 * fb_flash: files read by command (FB_READ_CALLBACK), for fonts kept in storage the core cannot
 * address, such as SPI NOR flash. Every read of a flash font goes through the window here (the
 * tables and records), the coder's chunk (a glyph's code), or the caller's cache (a compact
 * model and its checkpoints), so that a glyph costs a few commands and the state a few hundred
 * bytes. Nothing here asks for a byte outside the file, whatever the file holds: a span the
 * reader's checks would not have let through reads as zeros without a command.
 */
#include "fb_internal.h"

#ifdef FB_READ_CALLBACK
/* Bytes read at least on a miss of the window: a few values often lie side by side. */
#define MIN_READ 16u

static void flash_read(fb_flash* fl, size_t off, uint8_t* dest, size_t n) {
    if (fl->read(fl->user, (uint32_t)off, dest, (uint32_t)n) != 0) {
        memset(dest, 0, n);
        ++fl->failed;
    }
}

void fbi_flash_reset(fb_flash* fl, uint32_t size) {
    fl->size = size;
    fl->failed = 0;
    fl->at = 0;
    fl->len = 0;
    fl->model = 0;
    fl->checkpoints = 0;
    memset(fl->pin, 0, sizeof fl->pin);
    memset(fl->pin_len, 0, sizeof fl->pin_len);
    fl->lines = 0;
    fl->line_mask = 0;
    fl->line_shift = 0;
    fl->keys_at = 0;
    fl->key_count = 0;
    fl->key_entries = 0;
}

static int in_window(const fb_flash* fl, size_t off, size_t len) {
    return off >= fl->at && off - fl->at <= fl->len && len <= fl->len - (off - fl->at);
}

#ifndef FB_NO_COMPACT
/* Bytes [off, off + len) of part k from the line cache, the line read on a miss; null when
   they cross a line's end (then the window serves them). A line holds the file offset after its
   first byte (0: empty), then 2^line_shift bytes from the part's start on: shifts and masks, no
   division, which a Cortex-M0+ does not have. The line is picked by its number in the part,
   which keeps neighbouring contexts apart; the number of the part shifts it, so that the parts
   share the lines. */
static const uint8_t* line_at(fb_flash* fl, unsigned k, size_t off, size_t len) {
    const size_t bytes = (size_t)1 << fl->line_shift, rel = off - fl->pin_at[k];
    const size_t first = rel >> fl->line_shift, start = fl->pin_at[k] + (rel & ~(bytes - 1u));
    uint8_t* line = fl->lines + (((uint32_t)first + 0x55u * k) & fl->line_mask) * (4u + bytes);
    uint32_t tag;
    if (len > bytes - (rel & (bytes - 1u))) return 0;
    memcpy(&tag, line, 4u);
    if (tag != (uint32_t)start + 1u) {
        const uint32_t failed = fl->failed;
        const size_t left = fl->pin_len[k] - (start - fl->pin_at[k]);
        flash_read(fl, start, line + 4u, left < bytes ? left : bytes);
        /* (A failed read is not kept: the next one asks again.) */
        tag = fl->failed == failed ? (uint32_t)start + 1u : 0u;
        memcpy(line, &tag, 4u);
    }
    return line + 4u + (off - start);
}
#endif

const uint8_t* fbi_flash_at(fb_flash* fl, size_t off, size_t len) {
    size_t n;
    unsigned k;
    if (in_window(fl, off, len)) return fl->window + (off - fl->at);
    for (k = 0; k < 3u; ++k)
        if (off >= fl->pin_at[k] && off - fl->pin_at[k] < fl->pin_len[k] &&
            len <= fl->pin_len[k] - (off - fl->pin_at[k])) {
            if (fl->pin[k]) return fl->pin[k] + (off - fl->pin_at[k]);
#ifndef FB_NO_COMPACT
            if (fl->lines) {
                const uint8_t* p = line_at(fl, k, off, len);
                if (p) return p;
            }
#endif
            break;
        }
    if (len > FB_FLASH_WINDOW || off > fl->size || len > fl->size - off) {
        /* (Only a caller that skipped a bounds check gets here.) */
        fl->at = 0;
        fl->len = 0;
        memset(fl->window, 0, FB_FLASH_WINDOW);
        return fl->window;
    }
    n = len < MIN_READ ? MIN_READ : len;
    if (n > fl->size - off) n = fl->size - off;
    if (n == 0) return fl->window; /* (an empty span at the file's end) */
    flash_read(fl, off, fl->window, n);
    fl->at = (uint32_t)off;
    fl->len = (uint32_t)n;
    return fl->window;
}

void fbi_flash_prefetch(fb_flash* fl, size_t off, size_t len) {
    if (off >= fl->size) return;
    if (len > fl->size - off) len = fl->size - off;
    if (len > FB_FLASH_WINDOW) len = FB_FLASH_WINDOW;
    if (len && !in_window(fl, off, len)) {
        flash_read(fl, off, fl->window, len);
        fl->at = (uint32_t)off;
        fl->len = (uint32_t)len;
    }
}

/* The keys are the entries the first probes of fbi_search's loop read, whatever the table
   holds: the root's middle entry, then its halves' middles, and so on, node i's children at 2i
   and 2i + 1 (from 1). A search walks down them as the loop would and goes on where they end,
   so that it gives what the loop gives, even for a table out of order. */
void fbi_flash_narrow(const fb_flash* fl, size_t at, uint32_t count, uint32_t key, uint32_t* lo,
                      uint32_t* hi) {
    uint32_t node = 1;
    if (fl->key_count == 0 || fl->keys_at != at || fl->key_entries != count) return;
    while (*lo < *hi && node <= fl->key_count) {
        const uint32_t mid = *lo + (*hi - *lo) / 2u;
        if (fl->keys[node - 1u] < key) {
            *lo = mid + 1u;
            node = 2u * node + 1u;
        } else {
            *hi = mid;
            node = 2u * node;
        }
    }
}

void fbi_flash_keys(fb_flash* fl, size_t at, uint32_t count, uint32_t stride) {
    const fbi_src s = fbi_source(0, fl);
    uint32_t node;
    fl->key_count = 0;
    /* A table the window holds is found in one read without them. */
    if ((size_t)count * stride <= FB_FLASH_WINDOW / 2u) return;
    for (node = 1; node <= FB_FLASH_KEYS; ++node) {
        /* Down from the root by the bits of node below its leading one. */
        uint32_t lo = 0, hi = count, bit = 1, mid;
        while (bit * 2u <= node) bit *= 2u;
        for (bit /= 2u; bit; bit /= 2u) {
            mid = lo + (hi - lo) / 2u;
            if (node & bit)
                lo = mid + 1u;
            else
                hi = mid;
        }
        mid = lo + (hi - lo) / 2u;
        fl->keys[node - 1u] = lo < hi ? (uint16_t)fbi_u16(s, at + (size_t)mid * stride) : 0u;
    }
    fl->keys_at = at;
    fl->key_entries = count;
    fl->key_count = FB_FLASH_KEYS;
}

#ifndef FB_NO_COMPACT
/* The coder's buffer: the window when the model is in the cache (decoding reads nothing else
   then, and a glyph's code fits it whole more often), else the chunk. */
static uint8_t* coder_buffer(fb_flash* fl, uint32_t* cap) {
    if (fl->model) {
        *cap = FB_FLASH_WINDOW;
        return fl->window;
    }
    *cap = FB_FLASH_CHUNK;
    return fl->chunk;
}

void fbi_coder_begin(fb_coder* d, const fb_font* f, uint32_t at, uint32_t bytes) {
    fb_flash* fl = f->data.flash;
    const uint32_t left = at < f->compact.stream_size ? f->compact.stream_size - at : 0u;
    uint32_t cap;
    uint8_t* buf = coder_buffer(fl, &cap);
    /* The glyph's code and the few bytes the coder reads ahead of it, in one command. */
    uint32_t n = bytes + 8u < left ? bytes + 8u : left;
    if (n > cap) n = cap;
    d->flash = fl;
    d->p = buf;
    d->next = 0;
    d->end = n;
    d->pos = (uint32_t)f->compact.stream + at + n;
    d->rest = left - n;
    if (buf == fl->window && in_window(fl, f->compact.stream + at, n)) {
        /* Version 3's find read the box code ahead of it: the code is in the window already. */
        d->p = fl->window + (f->compact.stream + at - fl->at);
    } else if (n) {
        flash_read(fl, f->compact.stream + at, buf, n);
    }
    fl->len = buf == fl->window ? 0u : fl->len; /* (the coder owns the window now) */
}

void fbi_coder_fill_flash(fb_coder* d, uint32_t n) {
    do {
        if (d->next >= d->end && d->rest) {
            /* The chunk used up: the next one. */
            uint32_t cap;
            uint8_t* buf = coder_buffer(d->flash, &cap);
            const uint32_t k = d->rest < cap ? d->rest : cap;
            flash_read(d->flash, d->pos, buf, k);
            if (buf == d->flash->window) d->flash->len = 0;
            d->p = buf;
            d->pos += k;
            d->rest -= k;
            d->next = 0;
            d->end = k;
        }
        d->val = d->val << 8 | (uint32_t)(d->next < d->end ? d->p[d->next] : 0u);
        ++d->next;
        d->avail += 8u;
    } while (d->avail < n);
}

const uint8_t* fbi_model_at(const fb_font* f, const uint8_t* model, uint32_t off, uint32_t len) {
    return model ? model + off : fbi_flash_at(f->data.flash, f->compact.model + off, len);
}

/* The parts fb_flash_cache keeps, in the order it takes them: version 3's prefix codes (read
   for every record), the model (for every pixel), the checkpoints with version 3's marks (for
   every glyph). */
static void cached_part(const fb_font* f, unsigned k, size_t* at, size_t* len) {
    const fb_compact* c = &f->compact;
    const int v3 = c->version == FB_COMPACT_VERSION;
    *at = k == 0 ? c->size_code : k == 1 ? c->model : c->checkpoints;
    *len = k == 0   ? (v3 ? c->table - c->size_code : 0u)
           : k == 1 ? c->model_size
                    : (f->glyph_count ? c->model - c->checkpoints : 0u);
}
#endif

size_t fb_flash_cache_bytes(const fb_font* font) {
    size_t n = 0;
#ifndef FB_NO_COMPACT
    unsigned k;
    if (font && font->ready && font->data.flash && font->layout == FB_LAYOUT_COMPACT)
        for (k = 0; k < 3u; ++k) {
            size_t at, len;
            cached_part(font, k, &at, &len);
            n += len;
        }
#endif
    (void)font;
    return n;
}

size_t fb_flash_cache(fb_font* font, uint8_t* mem, size_t size) {
    size_t used = 0;
#ifndef FB_NO_COMPACT
    fb_flash* fl;
    unsigned i;
    uint32_t stride, line;
    int rest = 0;
    if (!fb_flash_cache_bytes(font) || !mem) return 0;
    fl = font->data.flash;
    fl->model = 0;
    fl->checkpoints = 0;
    fl->lines = 0;
    /* The model first: every pixel reads it, and its contexts are too many and too evenly met
       for a line cache much smaller than it to catch most reads (at 16 px, 1 bpp, the 256 met
       most take 69% of the reads, 1,024 of 2,048 take 93%). */
    for (i = 0; i < 3u; ++i) {
        const unsigned k = i == 0 ? 1u : i == 1 ? 0u : 2u;
        size_t at, len;
        cached_part(font, k, &at, &len);
        fl->pin[k] = 0;
        fl->pin_at[k] = at;
        fl->pin_len[k] = len;
        if (len == 0) continue;
        if (len > size - used) {
            rest = 1;
            continue;
        }
        flash_read(fl, at, mem + used, len);
        fl->pin[k] = mem + used;
        if (k == 1) fl->model = mem + used;
        if (k == 2) fl->checkpoints = mem + used;
        used += len;
    }
    /* What did not fit whole is read a line at a time into the rest, as many lines as a power
       of 2 that fits (a mask, not a division, picks a line for every pixel's read). The lines
       catch the prefix codes' and a share of the model's reads about as large as their share
       of the model. A line is FB_FLASH_LINE bytes, or at 2 bits and more four of the model's
       tables or more, so that few tables cross a line's end. */
    stride = fbi_table_bytes(font->bpp);
    for (fl->line_shift = 0; (1u << fl->line_shift) < FB_FLASH_LINE ||
                             (stride > 1u && (1u << fl->line_shift) < 4u * stride);)
        ++fl->line_shift;
    line = 4u + (1u << fl->line_shift);
    if (rest && size - used >= line) {
        size_t lines = 1;
        while (lines < 0x8000u && lines * 2u * line <= size - used) lines *= 2u;
        fl->lines = mem + used;
        fl->line_mask = (uint32_t)lines - 1u;
        memset(fl->lines, 0, lines * line);
        used += lines * line;
    }
#else
    (void)font, (void)mem, (void)size;
#endif
    return used;
}
#else
/* (ISO C wants at least one declaration in a file.) */
typedef int fb_flash_unused;
#endif /* FB_READ_CALLBACK */

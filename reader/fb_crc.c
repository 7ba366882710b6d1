/*
 * fb_crc: version 2 of the compact layout checks its bytes with CRC-32 (docs/file-format.md):
 * one over the header and tables, one per block of coded glyphs. fb_open found where the
 * checksums lie; each check reads one part, its bounds taken from what fb_open checked, and a
 * block's from its two checkpoints, checked here (fb_check_font may not have run).
 */
#include "fb_internal.h"

#if !defined(FB_NO_COMPACT) && !defined(FB_NO_CRC)
#ifdef FB_CRC_TABLE
/* Four bits at a time: the CRC of each nibble value, 64 bytes of flash. */
static const uint32_t kNibble[16] = {0x00000000u, 0x1DB71064u, 0x3B6E20C8u, 0x26D930ACu,
                                     0x76DC4190u, 0x6B6B51F4u, 0x4DB26158u, 0x5005713Cu,
                                     0xEDB88320u, 0xF00F9344u, 0xD6D6A3E8u, 0xCB61B38Cu,
                                     0x9B64C2B0u, 0x86D3D2D4u, 0xA00AE278u, 0xBDBDF21Cu};
#endif

uint32_t fb_crc32(uint32_t crc, const uint8_t* data, size_t len) {
    crc = ~crc;
    while (len--) {
        crc ^= *data++;
#ifdef FB_CRC_TABLE
        crc = (crc >> 4) ^ kNibble[crc & 15u];
        crc = (crc >> 4) ^ kNibble[crc & 15u];
#else
        {
            unsigned k;
            /* No table: the polynomial where the low bit is set (0 - 1 is all ones). */
            for (k = 0; k < 8u; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
#endif
    }
    return ~crc;
}

/* `len` bytes of the file from `at`: the one place the checks read the file. */
static uint32_t crc_span(const fb_font* f, uint32_t crc, size_t at, size_t len) {
#ifdef FB_READ_CALLBACK
    /* Read by command: a window at a time. */
    while (f->data.flash && len) {
        const size_t n = len < FB_FLASH_WINDOW ? len : FB_FLASH_WINDOW;
        crc = fb_crc32(crc, fbi_flash_at(f->data.flash, at, n), n);
        at += n;
        len -= n;
    }
    if (f->data.flash) return crc;
#endif
    return fb_crc32(crc, fbi_bytes(f->data, at, len), len);
}

static int has_crcs(const fb_font* f) {
    return f && f->ready && f->layout == FB_LAYOUT_COMPACT && f->compact.crcs != 0;
}

uint32_t fb_block_count(const fb_font* font) {
    if (!has_crcs(font) || font->glyph_count == 0) return 0;
    return ((font->glyph_count - 1u) >> font->compact.checkpoint_shift) + 1u;
}

fb_error fb_verify_tables(const fb_font* font) {
    const fb_compact* c;
    size_t at, end;
    uint32_t crc;
    if (!font || !font->ready) return FB_ERR_ARGUMENT;
    if (!has_crcs(font)) return FB_ERR_NOT_FOUND;
    c = &font->compact;
    /* Everything before the data but this checksum, then whatever follows the data. */
    at = c->stream - FB_COMPACT_CRC_BYTES;
    end = c->stream + c->stream_size;
    crc = crc_span(font, crc_span(font, 0, 0, at), end, font->size - end);
    return crc == fbi_u32(font->data, at) ? FB_OK : FB_ERR_CHECKSUM;
}

fb_error fb_verify_block(const fb_font* font, uint32_t block) {
    const fb_compact* c;
    const uint32_t blocks = fb_block_count(font);
    uint32_t first, last;
    if (!font || !font->ready) return FB_ERR_ARGUMENT;
    if (!has_crcs(font)) return FB_ERR_NOT_FOUND;
    if (block >= blocks) return FB_ERR_ARGUMENT;
    c = &font->compact;
    /* Bytes from the one holding the block's first code bit up to the one holding its last
       (two blocks may share a byte); the last block ends with the data part. */
    first = fbi_u32(font->data, c->checkpoints + FB_COMPACT_CHECKPOINT_BYTES * block) / 8u;
    last = block + 1u < blocks
               ? (fbi_u32(font->data, c->checkpoints + FB_COMPACT_CHECKPOINT_BYTES * (block + 1u)) +
                  7u) /
                     8u
               : c->stream_size;
    if (last > c->stream_size || first > last) return FB_ERR_BAD_INDEX;
    return crc_span(font, 0, c->stream + first, last - first) ==
                   fbi_u32(font->data, c->crcs + FB_COMPACT_CRC_BYTES * block)
               ? FB_OK
               : FB_ERR_CHECKSUM;
}

fb_error fb_verify_glyph(const fb_font* font, const fb_glyph* glyph) {
    if (!font || !glyph) return FB_ERR_ARGUMENT;
    return fb_verify_block(font, glyph->number >> font->compact.checkpoint_shift);
}

fb_error fb_verify_font(const fb_font* font, uint32_t* failed) {
    const uint32_t blocks = fb_block_count(font);
    uint32_t b;
    fb_error err = fb_verify_tables(font);
    if (failed) *failed = FB_TABLES_PART;
    for (b = 0; err == FB_OK && b < blocks; ++b) {
        err = fb_verify_block(font, b);
        if (failed) *failed = b;
    }
    return err;
}
#else
/* (ISO C wants at least one declaration in a file.) */
typedef int fb_crc_unused;
#endif

/*
 * A font read by command from a simulated SPI NOR flash, for bench/spi.sh: the commands and data
 * bytes per glyph found and drawn (fb_find_glyph, then fb_decode_glyph_rows), and the memory
 * the reader is given.
 *
 *   spi FILE
 *
 * Prints a Markdown row per way of reading: every glyph in code-point order and in a shuffled
 * order, for a compact file also with 0.5 to 4 KB given to fb_flash_cache (the parts that fit
 * whole, the rest as its line cache), then with all it keeps in RAM; and each glyph drawn by the
 * text API (fb_text_draw_char, which looks a glyph up more than once). A command costs its opcode
 * and three address bytes on the bus besides the data; the rows count both.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "fontbin_text.h"

static uint8_t* file;
static size_t file_size;
static unsigned long commands, bytes, outside;

static int read_flash(void* user, uint32_t offset, uint8_t* dest, uint32_t length) {
    (void)user;
    ++commands;
    bytes += length;
    if (offset > file_size || length > file_size - offset) {
        ++outside;
        return 1;
    }
    memcpy(dest, file + offset, length);
    return 0;
}

static void no_row(void* user, unsigned y, const uint8_t* levels, unsigned width) {
    (void)user, (void)y, (void)levels, (void)width;
}

static void no_pixel(void* user, int x, int y, unsigned level, unsigned max_level) {
    (void)user, (void)x, (void)y, (void)level, (void)max_level;
}

/* Each glyph found and decoded, or (text) drawn by the text API with fb_text_draw_char. */
static void row(const char* what, const fb_font* font, const uint32_t* cps, uint32_t n, int text) {
    uint32_t i;
    fb_glyph g;
    fb_text t;
    if (fb_text_init(&t, font, 0) != FB_OK) exit(1);
    t.pixel = no_pixel;
    commands = bytes = 0;
    for (i = 0; text && i < n; ++i) fb_text_draw_char(&t, 0, 0, cps[i]);
    for (i = 0; !text && i < n; ++i)
        if (fb_find_glyph(font, cps[i], &g) != FB_OK ||
            fb_decode_glyph_rows(font, &g, no_row, 0) != FB_OK) {
            fprintf(stderr, "spi: U+%04X failed\n", (unsigned)cps[i]);
            exit(1);
        }
    printf("%s%s | %.2f | %.1f | %.1f |\n", *what ? "| " : "", what, (double)commands / n,
           (double)bytes / n, (double)(bytes + 4u * commands) / n);
}

int main(int argc, char** argv) {
    static fb_flash flash;
    static uint8_t cache[1 << 20];
    fb_font mem, font;
    fb_glyph g;
    uint32_t* cps;
    uint32_t n = 0, i, cp, seed = 25;
    FILE* in;
    if (argc != 2 || !(in = fopen(argv[1], "rb"))) return 2;
    fseek(in, 0, SEEK_END);
    file_size = (size_t)ftell(in);
    rewind(in);
    file = malloc(file_size);
    if (!file || fread(file, 1, file_size, in) != file_size) return 2;
    fclose(in);
    if (fb_open(file, file_size, &mem) != FB_OK) return 3;
    cps = malloc(65536 * sizeof *cps);
    for (cp = 0; fb_next_glyph(&mem, cp, &g) == FB_OK; cp = g.code_point + 1)
        cps[n++] = g.code_point;

    flash.read = read_flash;
    if (fb_open_flash(&flash, (uint32_t)file_size, &font) != FB_OK) return 3;
    printf(
        "%s, %lu bytes: %lu commands, %lu bytes to open; state %u bytes (fb_font %u, fb_flash %u)",
        mem.layout == FB_LAYOUT_COMPACT ? "compact" : "fixed", (unsigned long)file_size, commands,
        bytes, (unsigned)FB_FLASH_STATE_BYTES, (unsigned)sizeof(fb_font),
        (unsigned)sizeof(fb_flash));
    if (mem.layout == FB_LAYOUT_COMPACT)
        printf("; model %u bytes, all fb_flash_cache keeps %u", (unsigned)mem.compact.model_size,
               (unsigned)fb_flash_cache_bytes(&font));
    printf(
        "\n\n| %u glyphs | commands/glyph | data bytes/glyph | bus bytes/glyph "
        "|\n|---|---:|---:|---:|\n",
        (unsigned)n);
    row("code-point order", &font, cps, n, 0);
    /* (A fixed shuffle, the same on every run.) */
    for (i = n; i > 1; --i) {
        uint32_t k, t;
        seed = seed * 1103515245u + 12345u;
        k = (seed >> 8) % i;
        t = cps[i - 1], cps[i - 1] = cps[k], cps[k] = t;
    }
    row("shuffled", &font, cps, n, 0);
    row("shuffled, fb_text_draw_char", &font, cps, n, 1);
    if (mem.layout == FB_LAYOUT_COMPACT) {
        const size_t codes = mem.compact.version == FB_COMPACT_VERSION
                                 ? mem.compact.table - mem.compact.size_code
                                 : 0u;
        fb_flash_cache(&font, cache, codes + mem.compact.model_size);
        printf("| shuffled, prefix codes (%u bytes) and model in RAM", (unsigned)codes);
        row("", &font, cps, n, 0);
        for (i = 512; i <= 4096; i += 512) {
            const size_t used = fb_flash_cache(&font, cache, i);
            printf("| shuffled, %u bytes given to fb_flash_cache (%u used, %u lines)", (unsigned)i,
                   (unsigned)used, font.data.flash->lines ? font.data.flash->line_mask + 1u : 0u);
            row("", &font, cps, n, 0);
        }
        fb_flash_cache(&font, cache, sizeof cache);
        row("shuffled, codes, model, checkpoints and marks in RAM", &font, cps, n, 0);
        row("the same, fb_text_draw_char", &font, cps, n, 1);
    }
    return outside != 0;
}

/*
 * Stands in for firmware: draws "Hello, 世界" into a 128 x 64 one-bit framebuffer with the font
 * that the build compiled in (ui_font_16.h, made by fontbin_add_font), then writes the
 * framebuffer out: as text ('#' for a lit pixel), or with --pbm FILE as a PBM image.
 *
 * The reader's text API (fontbin_text.h) does the layout: UTF-8, the advance widths (from the
 * advance-width file when the font has one), wrapping at the right edge, the box for a
 * character the font lacks, and the compact layout. The firmware only sets pixels.
 *
 * Built with FIRMWARE_SPI (cmake -DFIRMWARE_SPI=ON) the font stands for one in SPI NOR flash:
 * the reader is built with FB_READ_CALLBACK and reaches the font's bytes only through
 * read_flash, a command at a time, as it would through a board's flash driver.
 */
#include <stdio.h>
#include <string.h>

#include "fontbin_reader.h"
#include "fontbin_text.h"
#include "ui_font_16.h"

#define FB_WIDTH 128
#define FB_HEIGHT 64

static uint8_t framebuffer[FB_HEIGHT][FB_WIDTH / 8]; /* row-major, leftmost pixel in bit 7 */
static fb_font font;
#ifdef UI_FONT_16_HAS_ADVANCES
static fb_advances advances;
#endif

#ifdef FIRMWARE_SPI
/* The "flash": a read command of `length` bytes at `offset` of the file in `user`. A driver
   would send the read opcode and the address and clock the bytes in. */
typedef struct flash_file {
    const uint8_t* bytes;
    uint32_t size;
} flash_file;

static int read_flash(void* user, uint32_t offset, uint8_t* dest, uint32_t length) {
    const flash_file* f = (const flash_file*)user;
    if (offset > f->size || length > f->size - offset) return 1;
    memcpy(dest, f->bytes + offset, length);
    return 0;
}

static flash_file font_chip = {ui_font_16, sizeof ui_font_16};
static fb_flash font_flash; /* the reader's state for it, with font */
#ifdef UI_FONT_16_HAS_ADVANCES
static flash_file adv_chip = {ui_font_16_adv, sizeof ui_font_16_adv};
static fb_flash adv_flash;
#endif
#endif

/* Any level above 0 lights a one-bit pixel; a grey display would blend level / max_level. */
static void set_pixel(void* user, int x, int y, unsigned level, unsigned max_level) {
    (void)user, (void)level, (void)max_level;
    if (x >= 0 && x < FB_WIDTH && y >= 0 && y < FB_HEIGHT)
        framebuffer[y][x / 8] |= (uint8_t)(0x80u >> (x % 8));
}

int main(int argc, char** argv) {
    const fb_advances* widths = NULL;
    fb_text text;
    unsigned x, y;
#ifdef FIRMWARE_SPI
    font_flash.read = read_flash;
    font_flash.user = &font_chip;
    if (fb_open_flash(&font_flash, font_chip.size, &font) != FB_OK) {
#else
    if (fb_open(ui_font_16, ui_font_16_size, &font) != FB_OK) {
#endif
        fprintf(stderr, "font: %s\n", font.error_detail ? font.error_detail : "unreadable");
        return 1;
    }
#ifdef UI_FONT_16_HAS_ADVANCES
#ifdef FIRMWARE_SPI
    adv_flash.read = read_flash;
    adv_flash.user = &adv_chip;
    if (fb_open_advances_flash(&adv_flash, adv_chip.size, &font, &advances) != FB_OK) {
#else
    if (fb_open_advances(ui_font_16_adv, ui_font_16_adv_size, &font, &advances) != FB_OK) {
#endif
        fprintf(stderr, "advance widths: %s\n", advances.error_detail);
        return 1;
    }
    widths = &advances;
#endif
    if (fb_text_init(&text, &font, widths) != FB_OK) return 1;
    text.pixel = set_pixel;
    fb_text_draw(&text, 0, 0, "Hello, \xE4\xB8\x96\xE7\x95\x8C", FB_TEXT_NUL, FB_WIDTH,
                 FB_WRAP_CHARS, NULL);

    if (argc == 3 && strcmp(argv[1], "--pbm") == 0) {
        FILE* out = fopen(argv[2], "wb");
        if (!out) return 1;
        fprintf(out, "P4\n%d %d\n", FB_WIDTH, FB_HEIGHT);
        fwrite(framebuffer, 1, sizeof framebuffer, out);
        return fclose(out) == 0 ? 0 : 1;
    }
    for (y = 0; y < FB_HEIGHT; ++y) {
        for (x = 0; x < FB_WIDTH; ++x)
            putchar(framebuffer[y][x / 8] & (0x80u >> (x % 8)) ? '#' : '.');
        putchar('\n');
    }
    return 0;
}

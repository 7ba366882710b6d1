/*
 * fontbin_reader: reads a fontbin font bitmap file ("*_font.bin") from a byte buffer, for
 * firmware and for host tools.
 *
 * Portable C99 (also valid C++), no heap, no I/O, only the C standard headers. The buffer is
 * typically the file mapped from flash; the reader never copies it and never reads outside
 * [data, data + size), whatever the bytes hold.
 *
 * ---------------------------------------------------------------------------------------------
 * Using it
 *
 *     fb_font font;
 *     fb_glyph g;
 *     if (fb_open(file_bytes, file_size, &font) != FB_OK) { ... fb_error_string(...) ... }
 *     // Only needed when the file was made with rotation or a scanMode other than "H"/"V":
 *     // fb_set_geometry_for(&font, FB_SCAN_ROWS, 1);
 *     if (fb_find_glyph(&font, 0x4E00, &g) == FB_OK)
 *         for (y = 0; y < g.rows; ++y)
 *             for (x = 0; x < g.cols; ++x)
 *                 draw(x, y, fb_glyph_pixel(&g, x, y));   // 0 .. 2^bpp - 1
 *
 * fb_open takes constant time (a few hundred instructions): it checks the header, that its
 * fields agree with each other, and that every part the header states lies inside the buffer.
 * It does not walk the index part, the records or the runs; each lookup checks what it reads
 * instead, so lookups, pixel reads and decoding never leave the buffer and never loop without
 * end, whatever the bytes hold: a damaged entry gives an error (FB_ERR_BAD_INDEX,
 * FB_ERR_BAD_RECORD, FB_ERR_GEOMETRY) from that lookup. fb_check_font walks the whole file once
 * and refuses it if any part is inconsistent; host tools run it on every file, and a device can
 * run it once after flashing. (Two kinds of file still cost fb_open one pass over the glyph-
 * number table: a length that no cell or several cells of different sizes divide into records.)
 *
 * ---------------------------------------------------------------------------------------------
 * Cell geometry: what the file does not say
 *
 * Every glyph is drawn into a cell of the same size, which is then shaped (transposed for
 * column scanning, turned for rotation) and packed. The shaped ("packed") cell is what fixed
 * records hold and what trimmed records are cut from. Its size is not stored; it follows from
 * the configuration that produced the file:
 *
 *   W0      = ((italic + 2) * fontSize) / 2          (integer division: 1.5 x fontSize, italic)
 *   up8(n)  = n rounded up to a multiple of 8
 *
 *   1. Cell as drawn (rows x cols):
 *        scanMode starting with "V"                 up8(fontSize) x W0
 *        any other scanMode ("H", "", "v...")       fontSize      x up8(W0)
 *        rotation 1 or 2, whatever the scanMode     up8(fontSize) x W0
 *   2. Column scanning (scanMode starting with "V" or "v") transposes the cell: rows <-> cols.
 *   3. Rotation 1 or 2 turns it a quarter: rows <-> cols again.
 *
 *   Result (rows x cols of the packed cell):
 *        scanMode    rotate 0                    rotate 1 or 2
 *        "H", ""     fontSize x up8(W0)          W0 x up8(fontSize)
 *        "V..."      W0 x up8(fontSize)          up8(fontSize) x W0
 *        "v..."      up8(W0) x fontSize          up8(fontSize) x W0
 *
 * The header keeps fontSize, italic and one scan bit that is set only for the exact text "V".
 * It keeps neither the rotation nor a lower-case "v" nor a longer text such as "VH". fb_open
 * therefore assumes no rotation and the scan the bit states. When that cell cannot hold the
 * file's records (fixed records of another size; with fb_check_font, a trimmed record reaching
 * past the cell) it takes the first of the other cells a file with this bit can come from that
 * holds them:
 *   bit clear: "H" turned, then "v", then "v" turned ("V..." gives the same cells as these);
 *   bit set:   "V" turned.
 * font.geometry tells which cell was taken. Several cells often fit the same file (with italic
 * off every cell has fontSize x up8(fontSize) pixels, so fixed records have one size), so a
 * caller that knows the configuration says it with fb_set_geometry_for, or gives the size
 * with fb_set_geometry.
 *
 * Packed pixels: the packed cell is one row-major stream of rows x cols pixels of bpp bits;
 * pixel k = y * cols + x starts at bit k * bpp, counting from bit 0 (least significant) of
 * byte 0. So at 1 bpp the first pixel is bit 0, at 2 bpp bits 0-1, at 4 bpp the low nibble, at
 * 8 bpp a whole byte. Rows are not padded; only the last byte of the cell is.
 *
 * Trimmed records keep cell rows top_skip .. extent_y - 1 and columns 0 .. extent_x - 1; each
 * stored row is its own stream of extent_x pixels starting on a byte boundary, row_bytes =
 * ceil(extent_x * bpp / 8) bytes long. Pixels outside that box are 0.
 *
 * Worked example: fontSize 12, italic on, 1 bpp, scanMode "V", no rotation.
 *   W0 = (3 * 12) / 2 = 18. Drawn cell up8(12) x 18 = 16 x 18, transposed: 18 rows x 16 cols.
 *   Fixed record: 4 + ceil(18 * 16 * 1 / 8) = 4 + 36 = 40 bytes.
 *   Pixel x = 3, y = 5 (row 3, column 5 of the upright glyph): k = 5 * 16 + 3 = 83 -> byte 10,
 *   bit 3 of the record's pixel bytes.
 *   The same with rotation 1: drawn 16 x 18, transposed 18 x 16, turned: 16 rows x 18 cols.
 *   Still 36 bytes, but rows are 18 bits long: row 1 starts at bit 18, byte 2 bit 2.
 *   A trimmed record of that font with top_skip 2, extent (13, 15) stores rows 2 .. 14, each
 *   ceil(13 / 8) = 2 bytes: 4 + 13 * 2 = 30 bytes.
 */
#ifndef FONTBIN_READER_H
#define FONTBIN_READER_H

#include <stddef.h>
#include <stdint.h>

/* Included by its bare name, as this header is: the reader's files sit side by side. */
#include "fb_format.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The files' bytes (offsets, flags, sizes: FB_FIXED_HEADER_BYTES, FB_STYLE_*, ...) are named in
   fb_format.h. */
#define FB_UNKNOWN 0xFFFFFFFFu /* a count the file does not state */
#define FB_MAX_CELL 1024u      /* largest cell side the reader accepts */

typedef enum fb_error {
    FB_OK = 0,
    FB_ERR_ARGUMENT,    /* null pointer, or a font that was not opened */
    FB_ERR_TRUNCATED,   /* the buffer ends before a part the file says is there */
    FB_ERR_BAD_MAGIC,   /* header bytes 1..5 are not 01 03 00 00 01 */
    FB_ERR_BAD_HEADER,  /* a header field is impossible or contradicts another */
    FB_ERR_BAD_INDEX,   /* index part inconsistent: order, numbering, offsets */
    FB_ERR_BAD_RECORD,  /* a glyph record is impossible (sizes, extents, contents) */
    FB_ERR_LENGTH,      /* bytes follow the last record */
    FB_ERR_GEOMETRY,    /* the given cell size cannot hold the file's records */
    FB_ERR_NOT_FOUND,   /* no glyph record for this code point */
    FB_ERR_UNSUPPORTED, /* the text API cannot turn a column-scanned and rotated cell upright */
    FB_ERR_CHECKSUM     /* a compact file's bytes differ from those its checksum was made of */
} fb_error;

/* The three index layouts, chosen by the crop and indexMethod bits. */
typedef enum fb_layout {
    FB_LAYOUT_GLYPH_TABLE = 0,  /* 65536 u16 glyph numbers, fixed records */
    FB_LAYOUT_CODE_LIST = 1,    /* charCount u16 code points ascending, fixed records */
    FB_LAYOUT_OFFSET_TABLE = 2, /* 65536 u32 file offsets, trimmed records */
    FB_LAYOUT_COMPACT = 3       /* "*_compact.bin": runs of code points, coded ink boxes */
} fb_layout;

/* How the configured scanMode text shapes the cell (see the table above). */
typedef enum fb_scan {
    FB_SCAN_ROWS = 0,             /* any text not starting with "V" or "v" */
    FB_SCAN_COLUMNS = 1,          /* text starting with "V": column cell, transposed */
    FB_SCAN_COLUMNS_ROW_SIZED = 2 /* text starting with "v": row cell, transposed */
} fb_scan;

typedef struct fb_geometry {
    unsigned rows; /* rows of the packed cell */
    unsigned cols; /* columns of the packed cell */
    int scan;      /* fb_scan that gives this cell, or -1 when given as a bare size */
    int rotate;    /* 0, 1 or 2, or -1 when given as a bare size */
} fb_geometry;

/* Where the parts of a compact file lie, and how its glyph table and coder are set up. */
typedef struct fb_compact {
    unsigned baseline;            /* baseline row of the upright cell */
    unsigned line_height;         /* pixel rows of a line */
    unsigned rotate;              /* 0, 1 or 2, as configured */
    unsigned scan;                /* fb_scan of the configured scanMode */
    unsigned method;              /* FB_COMPACT_CONTEXT, the only one so far */
    unsigned west, above, above2; /* context template: pixels left; row above +-(above - 1); row
                                     two above +-(above2 - 1); 0 leaves a row out */
    uint32_t run_count;
    unsigned checkpoint_shift;
    uint32_t field_min[6]; /* glyph table fields: size, advance, box x, y, w, h */
    unsigned field_bits[6];
    unsigned record_bits;
    size_t runs; /* file offsets of the parts */
    size_t table;
    size_t checkpoints;
    size_t model;
    uint32_t model_size;
    size_t stream;
    uint32_t stream_size;
    size_t pairs;        /* kerning section: file offset of the first pair, */
    uint32_t pair_count; /* and how many (0 without the section) */
    unsigned version;    /* FB_COMPACT_VERSION, _CRC or _PLAIN */
    size_t crcs; /* version 2 on: file offset of the block checksums (the tables' one follows) */
    size_t size_code; /* version 3: file offsets of the size code, the box code, */
    size_t box_code;
    size_t marks;         /* the table marks, */
    uint32_t table_bytes; /* and the glyph table's length */
} fb_compact;

#ifdef FB_READ_CALLBACK
/* ---------------------------------------------------------------------------------------------
 * Reading a file by command (FB_READ_CALLBACK): a font in SPI NOR flash or any storage the
 * core cannot address. The reader asks for `length` bytes from file offset `offset` into
 * `dest`; it never asks for a byte outside the file it was opened with. A non-zero return is a
 * failed read: its bytes read as zero, `failed` counts it, and what was read from them is then
 * refused or drawn wrong, never read outside the file.
 *
 *     static int read_flash(void* user, uint32_t offset, uint8_t* dest, uint32_t length) {
 *         return spi_nor_read(FONT_ADDRESS + offset, dest, length);      // the board's driver
 *     }
 *     static fb_flash flash;   // fb_flash and fb_font: all the state (FB_FLASH_STATE_BYTES)
 *     static fb_font font;
 *     flash.read = read_flash;
 *     if (fb_open_flash(&flash, FONT_SIZE, &font) != FB_OK) ...
 *     fb_flash_cache(&font, model_ram, sizeof model_ram);   // optional, see below
 *     // then fb_find_glyph, fb_decode_glyph(_rows), fb_glyph_pixel and the text API as usual
 *
 * A glyph found through a flash font keeps a pointer to its fb_flash and none into the file
 * (bits is null, and the font's name reads as ""); fb_glyph_pixel reads its record through the
 * window, which holds a whole record of up to FB_FLASH_WINDOW bytes. Each call reads only what
 * it needs, in as few commands as it can: a compact glyph found and drawn costs a read of the
 * run table near it, one of its glyph-table records and one of its code (more for a code longer
 * than FB_FLASH_CHUNK bytes, or FB_FLASH_WINDOW with the model cached), plus one for its
 * checkpoint, about one per coded pixel for the model's tables and, in version 3, some for its
 * prefix codes, unless fb_flash_cache keeps them in RAM (whole, or a line at a time). Opening a
 * compact file reads the header and FB_FLASH_KEYS entries of the run table, a command each. Every
 * read changes the fb_flash, also through a const fb_font: a font read by command serves one caller
 * at a time. */
#ifndef FB_FLASH_WINDOW
#define FB_FLASH_WINDOW 192u /* bytes of file kept for the tables and records */
#endif
#ifndef FB_FLASH_CHUNK
#define FB_FLASH_CHUNK 64u /* bytes of coded glyph data read at a time */
#endif
#ifndef FB_FLASH_KEYS
#define FB_FLASH_KEYS 127u /* run-table keys taken at opening, to find a run in one read */
#endif
#ifndef FB_FLASH_LINE
#define FB_FLASH_LINE 16u /* least bytes of a line of fb_flash_cache (a power of 2) */
#endif
typedef int (*fb_read_fn)(void* user, uint32_t offset, uint8_t* dest, uint32_t length);

typedef struct fb_flash {
    fb_read_fn read; /* set by the caller before opening, with user */
    void* user;
    /* The reader's from here on. */
    uint32_t size;   /* file bytes */
    uint32_t failed; /* reads the callback refused */
    uint32_t at;     /* the window holds file bytes [at, at + len) */
    uint32_t len;
    const uint8_t* model;            /* compact: the model in fb_flash_cache's memory, or null */
    const uint8_t* checkpoints;      /* compact: the checkpoints there, or null */
    const uint8_t* pin[3];           /* compact: the parts fb_flash_cache keeps: file bytes */
    size_t pin_at[3], pin_len[3];    /* [pin_at, pin_at + pin_len) at pin */
    uint8_t* lines;                  /* compact: the line cache for the parts not pinned, */
    uint32_t line_mask, line_shift;  /* its lines less one (a power of 2), log2 of a line's bytes */
    size_t keys_at;                  /* compact: the run table the keys come from, */
    uint32_t key_count, key_entries; /* how many keys, entries in the table */
    uint16_t keys[FB_FLASH_KEYS];
    uint8_t window[FB_FLASH_WINDOW];
    uint8_t chunk[FB_FLASH_CHUNK];
} fb_flash;

/* Where an opened file's bytes are: a buffer (mem), or a file read by command (flash). */
typedef struct fb_data {
    const uint8_t* mem;
    fb_flash* flash;
} fb_data;
#else
typedef const uint8_t* fb_data; /* the file's first byte */
#endif

/* An opened file. All fields are read-only for the caller. */
typedef struct fb_font {
    fb_data data; /* the buffer (FB_READ_CALLBACK: data.mem, or data.flash) */
    size_t size;
    int ready; /* non-zero once fb_open succeeded */

    unsigned header_length; /* 14 + name_length */
    unsigned font_size;     /* pixels */
    unsigned bpp;           /* renderMode: 1, 2, 4 or 8 */
    unsigned style_flags;   /* FB_STYLE_* */
    uint32_t index_bytes;   /* header field as stored */
    unsigned name_length;   /* including the terminating zero */
    const char* name;       /* points into the buffer, zero-terminated */

    fb_layout layout;
    size_t index_offset;   /* = header_length */
    size_t index_size;     /* bytes of the index part actually present */
    size_t records_offset; /* first byte after the index part */
    uint32_t char_count;   /* characters selected, or FB_UNKNOWN (offset table only) */
    uint32_t glyph_count;  /* glyph records in the file */
    size_t record_size;    /* fixed records: 4 + packed cell bytes; 0 for trimmed */
    unsigned max_extent_x; /* trimmed records: largest extent_x and extent_y */
    unsigned max_extent_y;
    fb_geometry geometry; /* the packed cell in use */

    /* Compact layout only (see "The compact layout" below). */
    fb_compact compact;

    /* Why fb_open failed: a fixed text naming the rule, the file offset where the fault was
       seen, and the code point concerned (-1 when none). */
    const char* error_detail;
    size_t error_offset;
    int32_t error_code_point;
} fb_font;

/* One glyph record, as found by fb_find_glyph. Read-only for the caller. */
typedef struct fb_glyph {
    uint32_t code_point;
    uint32_t number; /* glyph number (position of a fixed record), FB_UNKNOWN for trimmed */
    size_t offset;   /* file offset of the record */
    size_t size;     /* record bytes, the 4 metric bytes included */
    int trimmed;     /* 1 for a trimmed record */
    unsigned bpp;
    unsigned rows; /* packed cell, from the font's geometry */
    unsigned cols;
    /* The metric bytes as stored (low 8 bits of the writer's values). origin_x exists only
       in fixed records; top_skip only in trimmed ones (0 for fixed). In fixed records the
       extent is the rasteriser's glyph box and, with column scanning and no rotation, is in
       the terms of the cell before its transposition. In trimmed records it is the glyph's
       box in the packed cell, right and bottom edge exclusive. */
    unsigned origin_x;
    unsigned origin_y;
    unsigned extent_x;
    unsigned extent_y;
    unsigned top_skip;
    unsigned row_bytes;   /* trimmed: bytes per stored row; fixed: 0 */
    unsigned stored_rows; /* trimmed: extent_y - top_skip; fixed: rows */
    const uint8_t* bits;  /* the packed pixel bytes after the 4 metric bytes */
    size_t bits_size;

    /* Filled for every layout, as far as it knows them. */
    int compact;           /* 1 for a compact glyph: pixels only through fb_decode_glyph */
    unsigned box_x, box_y; /* ink box in the packed cell; w or h 0: no ink */
    unsigned box_w, box_h;
    int advance; /* pen advance in pixels, or -1 when the layout does not store it */
    /* compact: first bit and bits of the glyph's pixels' code in the data part; in version 3
       its box's code comes before them, decoded by the find (so the box fields above are known
       without decoding, and the decode starts where the find left off) */
    uint32_t stream_bit;
    uint32_t stream_bits;
#ifdef FB_READ_CALLBACK
    fb_flash* flash; /* the file of a flash font (bits is then null), or null */
#endif
} fb_glyph;

/* A short English text for an error code ("truncated file", ...). Never null. */
const char* fb_error_string(fb_error err);

/* Parses and checks the header of the file in buf[0 .. len), in constant time, and picks its
   cell as described at the top. On failure out->error_detail, error_offset and error_code_point
   tell what was wrong; out->ready stays 0. FB_ERR_BAD_RECORD when no cell this font size allows
   holds the records. Trimmed records (offset table) are not counted: glyph_count is FB_UNKNOWN
   until fb_check_font, and a record reaching past the cell in use is FB_ERR_GEOMETRY when
   found. */
fb_error fb_open(const uint8_t* buf, size_t len, fb_font* out);

/* The whole structural check fb_open leaves out, in one pass over the file: every index entry,
   trimmed record and run, each compact glyph's table record against the cell, the checkpoints
   and the data part, the kerning pairs' order. It opens the font again with these passes (with
   the cell fb_open_cell was given, if any), so that the cell of a file with trimmed records is
   then chosen from the records as described at the top, and glyph_count is known. On failure
   the error fields say why and ready is 0. */
fb_error fb_check_font(fb_font* font);

/* The same for a file whose packed cell the caller knows: rows x cols instead of the cells the
   header allows (0, 0 means: as fb_open). FB_ERR_GEOMETRY when the records do not fit it. */
fb_error fb_open_cell(const uint8_t* buf, size_t len, unsigned rows, unsigned cols, fb_font* out);

#ifdef FB_READ_CALLBACK
/* All the memory a font read by command needs besides fb_flash_cache's. */
#define FB_FLASH_STATE_BYTES (sizeof(fb_font) + sizeof(fb_flash))

/* fb_open for a file of `size` bytes read through flash->read (see "Reading a file by
   command"). fb_check_font, fb_set_geometry and the lookups work on it as on a buffer. */
fb_error fb_open_flash(fb_flash* flash, uint32_t size, fb_font* out);

/* Optional, after opening a compact file: keeps the parts drawing reads most in the caller's
   `size` bytes at `mem`, each whole or not at all, in this order: the model, version 3's prefix
   codes, the checkpoints (with version 3's marks), so that drawing reads them no more. What is
   left, when a part did not fit, becomes a cache of the others' bytes in a power of 2 of
   lines, each FB_FLASH_LINE bytes (at 1 bpp; at more, 4 model tables rounded up to a power of
   2: 32 bytes at 2 bpp, 128 at 4 and 8) and a 4-byte tag. Returns the bytes
   used (0 for the other layouts); fb_flash_cache_bytes tells how many hold all. A glyph costs
   about three commands with all kept, five with the model and the codes, and, below the
   model's size, about as many more per pixel as the share of the model not in the lines. */
size_t fb_flash_cache(fb_font* font, uint8_t* mem, size_t size);
size_t fb_flash_cache_bytes(const fb_font* font);
#endif

/* The packed cell for a font size, italic flag, scan kind and rotation (0, 1 or 2), by the
   table at the top of this file. FB_ERR_ARGUMENT for a size of 0, a side above FB_MAX_CELL,
   or an unknown scan or rotation. */
fb_error fb_cell_geometry(unsigned font_size, int italic, fb_scan scan, int rotate,
                          fb_geometry* out);

/* The cell the header alone suggests: no rotation, scan by the FB_STYLE_SCAN_V bit. */
fb_error fb_default_geometry(const fb_font* font, fb_geometry* out);

/* Uses a packed cell of rows x cols from now on. FB_ERR_GEOMETRY, leaving the font as it was,
   when fixed records are not 4 + ceil(rows * cols * bpp / 8) bytes or a trimmed record reaches
   past the cell. */
fb_error fb_set_geometry(fb_font* font, unsigned rows, unsigned cols);

/* The same for the cell that this font's size and italic flag give with `scan` and `rotate`. */
fb_error fb_set_geometry_for(fb_font* font, fb_scan scan, int rotate);

/* Finds the record of a code point (0 .. 0xFFFF). FB_ERR_NOT_FOUND when it has none: not
   selected, or (trimmed records) without ink. */
fb_error fb_find_glyph(const fb_font* font, uint32_t code_point, fb_glyph* out);

/* The first glyph with a code point >= `from`, for walking all glyphs in code-point order:
   for (cp = 0; fb_next_glyph(f, cp, &g) == FB_OK; cp = g.code_point + 1) ...
   FB_ERR_NOT_FOUND after the last one. */
fb_error fb_next_glyph(const fb_font* font, uint32_t from, fb_glyph* out);

/* Pixel value 0 .. 2^bpp - 1 at column x, row y of the packed cell; 0 outside the cell and,
   for trimmed records, outside the stored box. */
unsigned fb_glyph_pixel(const fb_glyph* glyph, unsigned x, unsigned y);

/* Checks what the writer guarantees about a record's pixel bytes, beyond what fb_open needs
   for safe reading: fixed records pad the last byte with zero bits; a trimmed record's first
   stored row has ink and no stored row has ink right of extent_x. Returns FB_OK or
   FB_ERR_BAD_RECORD with *detail (when not null) set to a fixed text. */
fb_error fb_check_glyph(const fb_glyph* glyph, const char** detail);

/* ---------------------------------------------------------------------------------------------
 * The compact layout ("*_compact.bin", docs/file-format.md): every selected character, with its
 * ink box, advance width and coded pixels, found through sorted runs of consecutive code points.
 * A compact glyph's pixels are read only by decoding it:
 *
 *     if (fb_find_glyph(&font, 0x4E00, &g) == FB_OK && g.box_w != 0) {
 *         uint8_t px[32 * 32];                    // box_h rows of box_w levels
 *         if (fb_decode_glyph(&font, &g, px, g.box_w) == FB_OK) ...
 *     }
 *
 * or row by row, without a buffer of the caller's, through fb_decode_glyph_rows. Decoding reads
 * only the file (the model stays in flash), uses no heap and less than 512 bytes of stack.
 *
 * Source files: fb_open.c and fb_decode.c always; fb_compact.c for the compact layout (fb_crc.c
 * for its checksums),
 * fb_legacy.c for the fixed and trimmed ones, fb_advances.c for the width file, fb_decode_fast.c
 * for FB_FAST_DECODE, fb_flash.c for FB_READ_CALLBACK, fontbin_text.c and fontbin_text_lines.c for
 * the text API (fontbin_text.h, fontbin_text_internal.h); fb_internal.h beside them. A file whose
 * layout is switched off below compiles to nothing, so a build may simply take them all.
 *
 * Compile-time switches (define them when compiling the reader's files):
 *   FB_NO_ERROR_TEXTS   fb_error_string and the error details return "" (codes stay; the
 *                       error offset and code point are left 0 and -1).
 *   FB_NO_FIXED         leaves out the fixed-record layouts (glyph table, code-point list).
 *   FB_NO_TRIMMED       leaves out the offset-table layout with trimmed records.
 *   FB_NO_COMPACT       leaves out the compact layout.
 *   FB_NO_ADVANCES      leaves out the advance-width file (fb_open_advances, fb_advance).
 *   FB_ONLY_COMPACT     the same as FB_NO_FIXED, FB_NO_TRIMMED and FB_NO_ADVANCES.
 *   FB_NO_COMPACT_V2    reads compact files of version 3 (what fontbin writes) alone: files of
 *                       versions 1 and 2 are refused with FB_ERR_BAD_HEADER.
 *   FB_NO_CRC           leaves out the checksum calls (fb_crc.c compiles to nothing); files
 *                       with checksums still open and decode.
 *   FB_CRC_TABLE        the checksums four bits at a time from a 64-byte const table, about
 *                       twice as fast as the table-free loop.
 *   FB_READ_CALLBACK    adds reading a file by command (fb_open_flash, fb_flash.c): a font in
 *                       storage the core cannot address. Buffers still open as before.
 *   FB_FAST_DECODE      with GCC or Clang optimising for speed (not -Os): adds decoding loops
 *                       for 1 bpp and for 2 and 4 bpp that take about half the instructions
 *                       (two thirds on a Cortex-M0+) and about 150 bytes more stack. On by
 *                       default on 64-bit hosts.
 * A left-out layout's files are refused by fb_open with FB_ERR_BAD_MAGIC; the functions that
 * only serve left-out layouts (the cell-geometry calls without the fixed and trimmed layouts)
 * are left out with them.
 */
/* Widest glyph box the compact decoder takes; its row buffer is on the stack (about 1.3 bytes
   per pixel of width), so that decoding stays within 512 bytes of stack. 192 holds every glyph
   up to fontSize 192 without italic and up to 128 with it; a wider box
   is FB_ERR_GEOMETRY from fb_find_glyph and fb_check_font. A firmware with wider glyphs defines a
   larger value and grants the stack; the host tools build the reader with 1024. */
#ifndef FB_COMPACT_MAX_WIDTH
#define FB_COMPACT_MAX_WIDTH 192u
#endif

/* Writes the glyph's box_h rows of box_w levels (0 .. 2^bpp - 1, one byte each) to
   out[y * stride + x]. Any layout: for the others the box is the stored rectangle (trimmed
   records) or the whole cell (fixed records). FB_ERR_ARGUMENT when stride < box_w,
   FB_ERR_BAD_RECORD when the glyph's code is damaged (the rows written so far stay). */
fb_error fb_decode_glyph(const fb_font* font, const fb_glyph* glyph, uint8_t* out, size_t stride);

/* The kerning a compact file holds (written with "kerning") between `left` and a following
   `right`: pixels to add to the pen before drawing `right` (negative: closer). A binary search,
   O(log pair_count), linked only when called. FB_ERR_NOT_FOUND, with *adjust 0, when the file
   has no such pair (or no kerning section, or is not compact). Left out with FB_NO_COMPACT. */
fb_error fb_compact_kerning(const fb_font* font, uint32_t left, uint32_t right, int* adjust);

/* Receives one decoded row: y counts from box_y, `levels` holds `width` (= box_w) levels and is
   valid only during the call. */
typedef void (*fb_row_fn)(void* user, unsigned y, const uint8_t* levels, unsigned width);

/* The same, one box row at a time to `fn`, in order. Rows of other layouts wider than
   FB_COMPACT_MAX_WIDTH give FB_ERR_GEOMETRY. */
fb_error fb_decode_glyph_rows(const fb_font* font, const fb_glyph* glyph, fb_row_fn fn, void* user);

/* ---------------------------------------------------------------------------------------------
 * Checksums (fb_crc.c; left out with FB_NO_CRC or FB_NO_COMPACT). A compact file of version 2
 * carries a CRC-32 of its header and tables and one per block of coded glyphs: the glyphs from
 * one checkpoint to the next (2^checkpoint_shift of them, 32 as fontbin writes). The CRC is the
 * common one (zlib's crc32, Ethernet; reflected polynomial 0xEDB88320), so a CRC unit can check
 * the same bytes. Each call reads only its part, with no heap; FB_CRC_TABLE trades 64 bytes of
 * const table for about half the time. All return FB_ERR_CHECKSUM when the bytes differ from
 * those written, FB_ERR_NOT_FOUND for a file without checksums (version 1, or not compact). */
#define FB_TABLES_PART 0xFFFFFFFFu /* fb_verify_font's *failed: the header and tables */

/* CRC-32 of `len` bytes, continuing from `crc` (0 to start), as zlib's crc32. */
uint32_t fb_crc32(uint32_t crc, const uint8_t* data, size_t len);
/* Blocks of coded glyphs: 0 when the file has no checksums. */
uint32_t fb_block_count(const fb_font* font);
/* The header, name, runs, glyph table, checkpoints, model, block checksums and kerning pairs:
   after flashing a font, or once at start. */
fb_error fb_verify_tables(const fb_font* font);
/* Block `block`'s coded glyphs (FB_ERR_ARGUMENT past the last). */
fb_error fb_verify_block(const fb_font* font, uint32_t block);
/* The block holding a glyph fb_find_glyph found: before drawing from it. */
fb_error fb_verify_glyph(const fb_font* font, const fb_glyph* glyph);
/* The tables, then every block; on FB_ERR_CHECKSUM *failed (when not null) is FB_TABLES_PART or
   the first block that differs. */
fb_error fb_verify_font(const fb_font* font, uint32_t* failed);

/* ---------------------------------------------------------------------------------------------
 * Advance widths ("*_adv.bin", written beside the font file when the configuration asks for
 * "advances"): how far the pen moves after each character, in whole pixels.
 *
 *   offset 0   4 bytes   tag "FBAW"
 *          4   1         version, 1
 *          5   1         fontSize, as in the font file
 *          6   4         u32 count: the characters selected, in glyph order
 *          10  1         baseline row of the upright cell
 *          11  1         flags: bit 0 set when a code-point list follows the widths
 *          12  count     one width per character, in code-point order
 *          12 + count    (flag bit 0) count u16 code points, strictly ascending
 *
 * Version 2 (written with "kerning") goes on where version 1 ends, at P:
 *
 *          P       4         u32 pair_count
 *          P + 4   5 each    u16 left, u16 right code point, s8 adjust in pixels (never 0);
 *                            strictly ascending by left, then right
 *
 * The code-point list is there for the offset-table layout, whose file has no record (and so no
 * number) for characters without ink; the other layouts number every character themselves.
 */

typedef struct fb_advances {
    fb_data data; /* as fb_font's */
    size_t size;
    int ready;
    unsigned font_size;
    unsigned baseline;
    uint32_t count;
    const uint8_t* widths;      /* count bytes */
    const uint8_t* code_points; /* count u16, or null when the font file numbers the glyphs */
    const char* error_detail;   /* why fb_open_advances failed */
    uint32_t pair_count;        /* kerning pairs (version 2), 0 otherwise */
    const uint8_t* pairs;       /* pair_count pairs of FB_ADV_PAIR_BYTES, or null */
} fb_advances;

/* Checks buf[0 .. len) as the advance widths of `font` (opened with fb_open): tag, version,
   font size, count and length, and for the offset-table layout an ascending code-point list
   that holds every code point with a record; for version 2 the kerning pairs' count, order
   and length. */
fb_error fb_open_advances(const uint8_t* buf, size_t len, const fb_font* font, fb_advances* out);

#ifdef FB_READ_CALLBACK
/* The same for a width file of `size` bytes read through its own flash->read. */
fb_error fb_open_advances_flash(fb_flash* flash, uint32_t size, const fb_font* font,
                                fb_advances* out);
#endif

/* The advance width in pixels of a code point. FB_ERR_NOT_FOUND when it was not selected. */
fb_error fb_advance(const fb_advances* adv, const fb_font* font, uint32_t code_point,
                    unsigned* width);

/* The kerning between `left` and a following `right`: pixels to add to the pen before drawing
   `right` (negative: closer). A binary search, O(log pair_count). FB_ERR_NOT_FOUND, with *adjust
   0, when the file has no such pair (or no kerning at all). Left out with FB_NO_ADVANCES. */
fb_error fb_kerning(const fb_advances* adv, uint32_t left, uint32_t right, int* adjust);

#ifdef __cplusplus
}
#endif

#endif /* FONTBIN_READER_H */

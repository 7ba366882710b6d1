/*
 * fb_format: the bytes of fontbin's files, named once. The reader reads by these names and the
 * writers can write by them (plain macros: valid C and C++, nothing to link).
 * docs/file-format.md describes each field; multi-byte values are little-endian throughout.
 *
 * Names: FB_<FILE>_O_<FIELD> is a byte offset, FB_<FILE>_<NAME>_BYTES a size, the rest values.
 */
#ifndef FB_FORMAT_H
#define FB_FORMAT_H

/* ---------------------------------------------------------------------------------------------
 * "*_font.bin": the 14-byte header, the name, the index part, the glyph records. */
#define FB_FIXED_MAGIC_0 0x01u /* header bytes 1 to 5 */
#define FB_FIXED_MAGIC_1 0x03u
#define FB_FIXED_MAGIC_2 0x00u
#define FB_FIXED_MAGIC_3 0x00u
#define FB_FIXED_MAGIC_4 0x01u
#define FB_FIXED_MAGIC_BYTES 5u

#define FB_FIXED_O_HEADER_LENGTH 0u /* u8: 14 + name length */
#define FB_FIXED_O_MAGIC 1u         /* the 5 magic bytes */
#define FB_FIXED_O_FONT_SIZE 6u     /* u8 */
#define FB_FIXED_O_BPP 7u           /* u8: 1, 2, 4 or 8 */
#define FB_FIXED_O_STYLE 8u         /* u8: FB_STYLE_* */
#define FB_FIXED_O_INDEX_BYTES 9u   /* u32 */
#define FB_FIXED_O_NAME_LENGTH 13u  /* u8: the name's bytes with its terminating zero */
#define FB_FIXED_HEADER_BYTES 14u   /* header bytes before the name */

#define FB_GLYPH_TABLE_BYTES 131072u  /* 65536 u16 glyph numbers */
#define FB_OFFSET_TABLE_BYTES 262144u /* 65536 u32 file offsets */
#define FB_NO_GLYPH 0xFFFFu           /* glyph table: code point not exported */
#define FB_NO_RECORD 0xFFFFFFFFu      /* offset table: no record */

/* styleFlags bits (header byte 8). */
#define FB_STYLE_BOLD 0x01u
#define FB_STYLE_ITALIC 0x02u
#define FB_STYLE_SCAN_V 0x04u     /* scanMode was exactly "V" */
#define FB_STYLE_INDEX_LIST 0x08u /* indexMethod bit */
#define FB_STYLE_CROP 0x10u       /* crop bit */
#define FB_STYLE_RESERVED 0xE0u   /* bits 5 to 7: always 0 */

/* A glyph record's four metric bytes; the packed pixels follow them. */
#define FB_RECORD_O_ORIGIN_X 0u /* fixed records */
#define FB_RECORD_O_TOP_SKIP 0u /* trimmed records: first stored row */
#define FB_RECORD_O_ORIGIN_Y 1u
#define FB_RECORD_O_EXTENT_X 2u
#define FB_RECORD_O_EXTENT_Y 3u
#define FB_RECORD_METRIC_BYTES 4u

/* ---------------------------------------------------------------------------------------------
 * "*_compact.bin": the 62-byte header, the name, then runs, (version 3) codes, glyph table,
 * checkpoints, (version 3) table marks, model, (version 2 on) checksums, data and (flag bit 6)
 * the kerning section, each right after the one before. */
#define FB_COMPACT_TAG_0 'F' /* "FBCP" */
#define FB_COMPACT_TAG_1 'B'
#define FB_COMPACT_TAG_2 'C'
#define FB_COMPACT_TAG_3 'P'
#define FB_COMPACT_VERSION 3u       /* what fontbin writes: sizes and boxes in prefix codes */
#define FB_COMPACT_VERSION_CRC 2u   /* fixed-width glyph table with the checksums, still read */
#define FB_COMPACT_VERSION_PLAIN 1u /* the same without checksums, still read */

#define FB_COMPACT_O_TAG 0u               /* the 4 tag bytes */
#define FB_COMPACT_O_VERSION 4u           /* u8 */
#define FB_COMPACT_O_FONT_SIZE 5u         /* u8 */
#define FB_COMPACT_O_BPP 6u               /* u8: 1, 2, 4 or 8 */
#define FB_COMPACT_O_FLAGS 7u             /* u8: FB_COMPACT_FLAG_* and the fields below */
#define FB_COMPACT_O_BASELINE 8u          /* u8: baseline row of the upright cell */
#define FB_COMPACT_O_LINE_HEIGHT 9u       /* u8 */
#define FB_COMPACT_O_ROWS 10u             /* u16: the packed cell */
#define FB_COMPACT_O_COLS 12u             /* u16 */
#define FB_COMPACT_O_GLYPH_COUNT 14u      /* u32 */
#define FB_COMPACT_O_RUN_COUNT 18u        /* u16 */
#define FB_COMPACT_O_CHECKPOINT_SHIFT 20u /* u8: a checkpoint every 2^shift glyphs */
#define FB_COMPACT_O_METHOD 21u           /* u8: FB_COMPACT_CONTEXT */
#define FB_COMPACT_O_TEMPLATE 22u         /* u8: FB_COMPACT_TEMPLATE_* */
#define FB_COMPACT_O_NAME_LENGTH 23u      /* u8: with the terminating zero */
#define FB_COMPACT_O_MODEL_SIZE 24u       /* u32 */
#define FB_COMPACT_O_DATA_SIZE 28u        /* u32 */
#define FB_COMPACT_O_FIELDS 32u           /* FB_COMPACT_FIELD_COUNT field descriptions */
#define FB_COMPACT_HEADER_BYTES 62u       /* header bytes before the name */

/* Flags (header byte 7): style bits 0-1, the scan (fb_scan) in bits 2-3, the rotation in 4-5. */
#define FB_COMPACT_FLAG_BOLD 0x01u
#define FB_COMPACT_FLAG_ITALIC 0x02u
#define FB_COMPACT_FLAG_STYLE 0x03u
#define FB_COMPACT_FLAG_SCAN_SHIFT 2u
#define FB_COMPACT_FLAG_ROTATE_SHIFT 4u
#define FB_COMPACT_FLAG_FIELD_MASK 3u /* of the scan and the rotation, after their shift */
#define FB_COMPACT_KERNING 0x40u      /* a kerning section follows the data part */
#define FB_COMPACT_FLAG_RESERVED 0x80u

#define FB_COMPACT_CONTEXT 1u /* method: context-modelled arithmetic coding */

/* Template (header byte 22): west pixels in bits 0-2 (0 to 4), the row above's window in bits
   3-4 (0 to 3), the row two above's in bits 5-6 (0 to 2), bit 7 reserved. */
#define FB_COMPACT_TEMPLATE_WEST(t) ((t)&7u)
#define FB_COMPACT_TEMPLATE_ABOVE(t) (((t) >> 3) & 3u)
#define FB_COMPACT_TEMPLATE_ABOVE2(t) (((t) >> 5) & 3u)
#define FB_COMPACT_TEMPLATE(west, above, above2) ((west) | (above) << 3 | (above2) << 5)
#define FB_COMPACT_TEMPLATE_RESERVED 0x80u
#define FB_COMPACT_MAX_WEST 4u
#define FB_COMPACT_MAX_ABOVE 3u
#define FB_COMPACT_MAX_ABOVE2 2u

/* The glyph table's fields, in this order in each record and in the header: a field is
   described by a u32 minimum and a u8 bit width (at most 24), 5 bytes. */
#define FB_COMPACT_FIELD_SIZE 0u /* bits of the glyph's code; 0: no ink */
#define FB_COMPACT_FIELD_ADVANCE 1u
#define FB_COMPACT_FIELD_X 2u /* the ink box in the packed cell */
#define FB_COMPACT_FIELD_Y 3u
#define FB_COMPACT_FIELD_W 4u
#define FB_COMPACT_FIELD_H 5u
#define FB_COMPACT_FIELD_COUNT 6u
#define FB_COMPACT_FIELD_BYTES 5u
#define FB_COMPACT_FIELD_O_MIN 0u  /* u32 */
#define FB_COMPACT_FIELD_O_BITS 4u /* u8 */
#define FB_COMPACT_MAX_FIELD_BITS 24u

/* A run: u16 first code point, u24 number of its first glyph. */
#define FB_COMPACT_RUN_O_FIRST 0u
#define FB_COMPACT_RUN_O_GLYPH 2u
#define FB_COMPACT_RUN_BYTES 5u
#define FB_COMPACT_CHECKPOINT_BYTES 4u /* u32: bits of code before the group's first glyph */
#define FB_COMPACT_MAX_CHECKPOINT_SHIFT 16u

/* Version 3's codes part, after the runs: u32 the glyph table's length in bytes, u16 the two
   codes' bytes, then the size code and the box code. A code: u8 L, its longest word's length
   (at most 15), the number of words of each length 1 to L (u8 each), then its symbols in word
   order (canonical: each length's words count on from the shorter ones'); L 0 is one symbol
   with the empty word. A size symbol is a byte, the high bits of (size - the size field's
   minimum), whose low bits (the size field's bit count) follow the word; 0 is a glyph without
   ink. A box symbol is 4 bytes, x, y, w and h; w 0 is the escape, after which the box's fields
   follow as the header's x, y, w and h fields describe them. Bit strings are most significant
   bit first. */
#define FB_COMPACT_CODES_O_TABLE_BYTES 0u /* u32 */
#define FB_COMPACT_CODES_O_CODE_BYTES 4u  /* u16 */
#define FB_COMPACT_CODES_HEAD_BYTES 6u
#define FB_COMPACT_MAX_CODE_LENGTH 15u
#define FB_COMPACT_BOX_SYMBOL_BYTES 4u
/* Version 3's glyph table: per glyph the size's word, its low bits and the advance field. Each
   checkpoint's glyph has its table bit in a mark (u24), the marks right after the checkpoints;
   its code starts with its box's word. */
#define FB_COMPACT_MARK_BYTES 3u

/* The checksums part (version 2 on), between the model and the data: a u32 CRC-32 per block (the
   data bytes of one checkpoint's glyphs), then the u32 CRC-32 of the header and tables (every byte
   before it, and the kerning section). CRC-32 as zlib's crc32 and Ethernet compute it: reflected
   polynomial 0xEDB88320, initial value and final XOR 0xFFFFFFFF. */
#define FB_COMPACT_CRC_BYTES 4u

/* ---------------------------------------------------------------------------------------------
 * "*_adv.bin": the advance widths (fontbin_reader.h has the table). */
#define FB_ADV_TAG_0 'F' /* "FBAW" */
#define FB_ADV_TAG_1 'B'
#define FB_ADV_TAG_2 'A'
#define FB_ADV_TAG_3 'W'
#define FB_ADV_O_VERSION 4u   /* u8: 1, or 2 with kerning */
#define FB_ADV_O_FONT_SIZE 5u /* u8 */
#define FB_ADV_O_COUNT 6u     /* u32 */
#define FB_ADV_O_BASELINE 10u /* u8 */
#define FB_ADV_O_FLAGS 11u    /* u8 */
#define FB_ADV_HEADER_BYTES 12u
#define FB_ADV_HAS_CODE_POINTS 0x01u

/* ---------------------------------------------------------------------------------------------
 * A kerning pair, in the width file (version 2) and the compact file alike: u16 left, u16 right
 * code point, s8 adjustment (never 0); strictly ascending by left, then right. */
#define FB_PAIR_COUNT_BYTES 4u /* u32 pair count before the pairs */
#define FB_PAIR_O_LEFT 0u
#define FB_PAIR_O_RIGHT 2u
#define FB_PAIR_O_ADJUST 4u
#define FB_ADV_PAIR_BYTES 5u

#endif /* FB_FORMAT_H */

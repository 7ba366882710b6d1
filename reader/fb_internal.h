/*
 * fb_internal: what the reader's source files share and a firmware never includes. The public
 * interface is fontbin_reader.h; this header holds the switches' resolution, the reads of file
 * bytes, the one binary search, and the entry points each file offers the others.
 *
 * Every read of the buffer goes through a bounds check made against the buffer's length before
 * the read, with sizes compared by subtraction or division so that no sum can wrap around, also
 * where size_t has 32 bits.
 *
 * The files, the way the data flows (a firmware compiles the ones its switches keep):
 *   fb_open.c         error texts, fb_open, lookup and walking, dispatched per layout   always
 *   fb_legacy.c       fixed and trimmed records, the cell geometry     unless FB_NO_FIXED and
 *                                                                      FB_NO_TRIMMED
 *   fb_compact.c      the compact layout: open, glyph table, runs, kerning  unless FB_NO_COMPACT
 *   fb_crc.c          the compact layout's checksums (version 2)    unless FB_NO_CRC
 *   fb_decode.c       fb_decode_glyph(_rows), the coder, the portable decoding loop      always
 *   fb_decode_fast.c  the decoding loops for speed (FB_FAST_DECODE); empty at -Os  optional
 *   fb_advances.c     the advance-width file                                unless FB_NO_ADVANCES
 *   fb_flash.c        files read by command: the window, the coder's chunk, the caches
 *                                                                       with FB_READ_CALLBACK
 */
#ifndef FB_INTERNAL_H
#define FB_INTERNAL_H

/* Included by its bare name so that the files can be dropped into a firmware tree as they are. */
#include <string.h>

#include "fontbin_reader.h"

#ifdef FB_ONLY_COMPACT
#ifndef FB_NO_FIXED
#define FB_NO_FIXED
#endif
#ifndef FB_NO_TRIMMED
#define FB_NO_TRIMMED
#endif
#ifndef FB_NO_ADVANCES
#define FB_NO_ADVANCES
#endif
#endif
#if !defined(FB_NO_FIXED) || !defined(FB_NO_TRIMMED)
#define FB_LEGACY 1 /* a layout with the 14-byte header and cell geometry is in */
#endif

/* Error details are fixed texts; without them the literals never reach the binary. */
#ifdef FB_NO_ERROR_TEXTS
#define FB_TEXT(s) ""
/* fb_open_cell starts with ready 0, detail "" and no offset: a failure is just its code. */
#define fail(f, err, detail, offset, cp) (err)
#else
#define FB_TEXT(s) s
#define fail(f, err, detail, offset, cp) fbi_fail(f, err, detail, offset, cp)
#endif

/* Each decoding loop keeps its row buffers in its own frame, never in a caller's. */
#if defined(__GNUC__)
#define FB_NOINLINE __attribute__((noinline))
#else
#define FB_NOINLINE
#endif

/* A body copied into each caller, so that a constant argument (fb_open's or fb_check_font's)
   leaves the other's code out of it and the linker can drop what a firmware never calls. */
#if defined(__GNUC__)
#define FB_SPECIALISE inline __attribute__((always_inline))
#else
#define FB_SPECIALISE inline
#endif

/* Helpers kept out of line where flash counts more than speed (-Os). */
#if defined(__GNUC__) && defined(__OPTIMIZE_SIZE__)
#define FB_SIZE_NOINLINE __attribute__((noinline))
#else
#define FB_SIZE_NOINLINE
#endif

/* Hot helpers of the decoder; a hint only, C99 leaves inlining to the compiler. */
#if defined(__GNUC__) && !defined(__OPTIMIZE_SIZE__)
#define FB_INLINE inline __attribute__((always_inline))
#if defined(FB_FAST_DECODE) || defined(__x86_64__) || defined(__aarch64__)
#define FB_INLINE_SPEED 1 /* the decoding loops for speed (see FB_FAST_DECODE) */
#endif
#else
#define FB_INLINE inline
#endif
/* A count-leading-zeros instruction: renormalising in one step is also the smaller code. */
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__) || defined(__aarch64__) || \
                          defined(__ARM_FEATURE_CLZ))
#define FB_HAVE_CLZ 1
#endif

/* ---------------------------------------------------------------------------------------------
 * Reads of file bytes: little-endian, at a pointer the caller has bounds-checked. */
static inline uint32_t fbi_rd16(const uint8_t* p) {
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8);
}

#ifdef __OPTIMIZE_SIZE__
uint32_t fbi_rd32(const uint8_t* p); /* optimising for size, one copy (fb_open.c), called */
#else
static inline uint32_t fbi_rd32(const uint8_t* p) {
#if defined(FB_INLINE_SPEED) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    uint32_t v; /* one load where the host's order is the file's */
    memcpy(&v, p, 4);
    return v;
#else
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
#endif
}
#endif

/* The read layer. Every read of a file's bytes goes through these, by file offset: fbi_u8,
   fbi_u16 and fbi_u32 for single values, fbi_bytes for a span the caller walks through (a
   header, a record's pixels, the model, the coded data). A file in addressable memory is a
   buffer and fbi_src its first byte, so each is a load or a pointer. A file read by command
   (FB_READ_CALLBACK, fb_flash.c) makes fbi_src (fb_data) the buffer or the fb_flash, and the single
   values come from the flash's window, refilled by one command when they lie outside it; fbi_bytes
   then gives null, and the spans are read through the window, the coder's chunk or the
   caller's cache instead. Offsets are checked against the file's size before a read, never by
   these. */
typedef fb_data fbi_src;
#ifndef FB_READ_CALLBACK
#define FBI_SRC_NULL(s) (!(s))
#define FBI_FLASH(f) 0

static inline uint32_t fbi_u8(fbi_src s, size_t off) {
    return s[off];
}

static inline uint32_t fbi_u16(fbi_src s, size_t off) {
    return fbi_rd16(s + off);
}

static inline uint32_t fbi_u32(fbi_src s, size_t off) {
    return fbi_rd32(s + off);
}

/* `len` bytes from `off` on, valid while the caller works through them. */
static inline const uint8_t* fbi_bytes(fbi_src s, size_t off, size_t len) {
    (void)len;
    return s + off;
}

/* The packed pixel byte i of a fixed or trimmed glyph. */
#define fbi_glyph_byte(g, i) ((g)->bits[i])
#define fbi_prefetch(s, off, len) ((void)0)
#define FB_FLASH_PREFETCH_RECORD 0u
#define FBI_KEEP_NAME(f) ((void)0)
#define FBI_ADV_LISTED(a) ((a)->code_points != 0)
#define FBI_IN_MEMORY(p) 1
#define FBI_BYTE_AT(f, span, at, i) ((span)[i])
#define FBI_HAS_BITS(g) ((g)->bits != 0)
#else
#define FBI_SRC_NULL(s) (!(s).mem && !(s).flash)
#define FBI_FLASH(f) ((f)->data.flash != 0)

static inline fbi_src fbi_source(const uint8_t* mem, fb_flash* flash) {
    fbi_src s;
    s.mem = mem;
    s.flash = flash;
    return s;
}

/* fb_flash.c: file bytes [off, off + len) (len at most FB_FLASH_WINDOW) in the window, valid
   until the next read through it; zeros, without a read, for a span outside the file. */
const uint8_t* fbi_flash_at(fb_flash* fl, size_t off, size_t len);
/* Loads as much of [off, off + len) as the window holds, in one command, unless it is there. */
void fbi_flash_prefetch(fb_flash* fl, size_t off, size_t len);

static inline const uint8_t* fbi_at(fbi_src s, size_t off, size_t len) {
    return s.flash ? fbi_flash_at(s.flash, off, len) : s.mem + off;
}

static inline uint32_t fbi_u8(fbi_src s, size_t off) {
    return *fbi_at(s, off, 1);
}

static inline uint32_t fbi_u16(fbi_src s, size_t off) {
    return fbi_rd16(fbi_at(s, off, 2));
}

static inline uint32_t fbi_u32(fbi_src s, size_t off) {
    return fbi_rd32(fbi_at(s, off, 4));
}

static inline const uint8_t* fbi_bytes(fbi_src s, size_t off, size_t len) {
    (void)len;
    return s.flash ? 0 : s.mem + off;
}

void fbi_flash_reset(fb_flash* fl, uint32_t size);
/* A trimmed record's first read: its size is in its metrics, most are smaller than this. */
#define FB_FLASH_PREFETCH_RECORD 128u
/* A font read by command has no name in memory: it reads as "". */
#define FBI_KEEP_NAME(f) ((f)->name = (f)->name ? (f)->name : "")
/* Whether a span a found record points to is in memory (not for a font read by command). */
#define FBI_IN_MEMORY(p) ((p) != 0)
/* Byte i of a span fbi_bytes gave for file offset `at`: read through the window when null. */
#define FBI_BYTE_AT(f, span, at, i) ((span) ? (span)[i] : fbi_u8((f)->data, (at) + (i)))
/* Whether a width file lists code points: its flag, where the list is not in memory. */
#define FBI_ADV_LISTED(a)     \
    ((a)->code_points != 0 || \
     ((a)->data.flash && (fbi_u8((a)->data, FB_ADV_O_FLAGS) & FB_ADV_HAS_CODE_POINTS)))
/* Narrows a search's [lo, hi) by the keys taken from the table at `at`, if they were. */
void fbi_flash_narrow(const fb_flash* fl, size_t at, uint32_t count, uint32_t key, uint32_t* lo,
                      uint32_t* hi);
/* Takes the keys of the table at `at` that fbi_search's first probes read, for
   fbi_flash_narrow (a table larger than half the window). */
void fbi_flash_keys(fb_flash* fl, size_t at, uint32_t count, uint32_t stride);

static inline void fbi_prefetch(fbi_src s, size_t off, size_t len) {
    if (s.flash) fbi_flash_prefetch(s.flash, off, len);
}

#define FBI_HAS_BITS(g) ((g)->bits != 0 || (g)->flash != 0)

static inline uint8_t fbi_glyph_byte(const fb_glyph* g, size_t i) {
    return g->bits ? g->bits[i]
                   : *fbi_flash_at(g->flash, g->offset + FB_RECORD_METRIC_BYTES + i, 1);
}
#endif

/* The one binary search: the first of `count` entries of `stride` bytes from file offset `at`
   whose key, the u16 at the entry's first byte, is not below `key`; count when there is none.
   Whatever the entries hold, the index returned is at most count, and an entry it names below
   count has a key of at least `key`, so a walk that goes on from there moves forward. */
uint32_t fbi_search(fbi_src s, size_t at, uint32_t count, uint32_t stride, uint32_t key);

#ifndef FB_NO_ERROR_TEXTS
fb_error fbi_fail(fb_font* f, fb_error err, const char* detail, size_t offset, int32_t code_point);
#endif

#if !defined(FB_NO_ADVANCES) || !defined(FB_NO_COMPACT)
/* Kerning pairs, in the width file (version 2) and the compact file alike: 5 bytes each, u16
   left, u16 right code point, s8 pixels, ascending by left, then right. */
static inline uint32_t fbi_pair_key(fbi_src s, size_t pair) {
    return fbi_u16(s, pair + FB_PAIR_O_LEFT) << 16 | fbi_u16(s, pair + FB_PAIR_O_RIGHT);
}
/* The adjustment of `left` then `right` among `count` pairs from file offset `at`. */
fb_error fbi_find_pair(fbi_src s, size_t at, uint32_t count, uint32_t left, uint32_t right,
                       int* adjust);
#endif

/* ---------------------------------------------------------------------------------------------
 * fb_legacy.c: the layouts with the 14-byte header. */
#ifdef FB_LEGACY
/* After the common header fields: the index part and the records, and the cell (`given`, or the
   first the header allows that holds the records), in constant time; fbi_check_legacy reads
   every index entry and record too (fb_check_font). */
fb_error fbi_open_legacy(fb_font* f, const fb_geometry* given);
fb_error fbi_check_legacy(fb_font* f, const fb_geometry* given);
fb_error fbi_legacy_find(const fb_font* f, uint32_t code_point, fb_glyph* out);
fb_error fbi_legacy_next(const fb_font* f, uint32_t from, fb_glyph* out);
/* A glyph of these layouts, row by row through fb_glyph_pixel. */
fb_error fbi_legacy_rows(const fb_glyph* glyph, fb_row_fn fn, void* user);
#endif

/* ---------------------------------------------------------------------------------------------
 * fb_compact.c and the decoders. */
#ifndef FB_NO_COMPACT
/* The tag read as a little-endian u32. */
#define FB_COMPACT_TAG                                              \
    ((uint32_t)FB_COMPACT_TAG_0 | (uint32_t)FB_COMPACT_TAG_1 << 8 | \
     (uint32_t)FB_COMPACT_TAG_2 << 16 | (uint32_t)FB_COMPACT_TAG_3 << 24)

fb_error fbi_open_compact(fb_font* f, unsigned rows, unsigned cols);
/* fb_check_font's passes over an opened compact file. */
fb_error fbi_check_compact(fb_font* f);
fb_error fbi_compact_find(const fb_font* f, uint32_t code_point, fb_glyph* out);
fb_error fbi_compact_next(const fb_font* f, uint32_t from, fb_glyph* out);

/* Symbols of a context's table: 2 (one probability byte) at 1 bpp, else 4 or 16 levels (8 bpp:
   its high four bits), each table n - 1 cumulative frequencies of two bytes. */
static inline uint32_t fbi_table_symbols(unsigned bpp) {
    return bpp == 1 ? 2u : (bpp == 2 ? 4u : 16u);
}

static inline uint32_t fbi_table_bytes(unsigned bpp) {
    return bpp == 1 ? 1u : 2u * (fbi_table_symbols(bpp) - 1u);
}

/* Arithmetic decoder: the mirror of the writer's coder (output/CompactFontWriter.cpp). It keeps
   the interval's range and the code's offset in it (offset < range <= 0xFFFF); renormalising
   doubles the range until it is at least 0x8000, taking one code bit per doubling. The code bits
   not yet taken wait below the offset: `val` is the offset shifted left by `avail`, the next
   `avail` code bits below it (zeros past the data part). A decision compares `val` with its
   split shifted the same way, and renormalising by n doublings shifts the range and counts n
   bits off `avail`: bytes are fetched only when fewer than n wait. */
/* FB_DECODE_NARROW (4 or 1), for tests on a 64-bit host: the fast loops as a 32-bit core builds
   them, with words of 4 bytes or, as on a core that loads words only from their own multiples,
   of 1 (fb_decode_fast.c). */
#if defined(FB_INLINE_SPEED) && (defined(__x86_64__) || defined(__aarch64__)) && \
    !defined(FB_DECODE_NARROW)
typedef uint64_t fb_code_word; /* up to 31 bits wait, fetched four bytes at a time */
#define FB_CODE_WORD_64 1
#else
typedef uint32_t fb_code_word; /* up to 7 bits wait, fetched a byte at a time */
#endif
typedef struct fb_coder {
    const uint8_t* p;
    uint32_t next, end; /* next byte to load, end of the data part */
    fb_code_word val;
    uint32_t avail, range;
#ifdef FB_READ_CALLBACK
    /* A flash font: p is the flash's chunk, next and end count in it; the chunk after it starts
       at file offset pos, and `rest` bytes of the data part follow that. */
    fb_flash* flash;
    uint32_t pos, rest;
#endif
} fb_coder;

#ifdef FB_READ_CALLBACK
/* fb_flash.c: the coder's first chunk, from data-part byte `at` on; then, as fbi_coder_fetch,
   at least n code bits, a chunk at a time (zero bits past the data part). */
void fbi_coder_begin(fb_coder* d, const fb_font* f, uint32_t at, uint32_t bytes);
void fbi_coder_fill_flash(fb_coder* d, uint32_t n);
/* The model's table at byte `off`, `len` bytes: from the cache, or read into the window. */
const uint8_t* fbi_model_at(const fb_font* f, const uint8_t* model, uint32_t off, uint32_t len);
#define FBI_MODEL(f, model, off, len) \
    ((f)->data.flash ? fbi_model_at(f, model, off, len) : (model) + (off))
/* The table `back` bytes before the model's end. */
#define FBI_MODEL_END(f, model, size, back, len) \
    ((f)->data.flash ? fbi_model_at(f, model, (size) - (back), len) : (model) + (size) - (back))
#else
#define FBI_MODEL(f, model, off, len) ((model) + (off))
#define FBI_MODEL_END(f, model, size, back, len) ((model) + (size) - (back))
#endif

/* The one place the coder reads the data part: bytes from `*next` on into `*val` until at least
   n (up to 16) code bits wait. When fewer than n wait, the offset is below 2^(16 - n) (the range
   it is renormalised from is), so `val` keeps within its type. */
static FB_INLINE void fbi_coder_fetch(const uint8_t* p, uint32_t end, uint32_t* next,
                                      fb_code_word* val, uint32_t* avail, uint32_t n) {
#ifdef FB_CODE_WORD_64
    if (*next <= end && end - *next >= 4u) {
        const uint8_t* b = p + *next;
        *val =
            *val << 32 | (uint32_t)b[0] << 24 | (uint32_t)b[1] << 16 | (uint32_t)b[2] << 8 | b[3];
        *next += 4u;
        *avail += 32u;
        return;
    }
#endif
    do {
        *val = *val << 8 | (uint32_t)(*next < end ? p[*next] : 0u);
        ++*next;
        *avail += 8u;
    } while (*avail < n);
}

/* What fb_decode.c shares with the fast loops; without them (at -Os) it stays static there, so
   that the compiler may fold it into the one loop that calls it. */
#ifdef FB_INLINE_SPEED
#define FBI_DECODE_SHARED
/* Starts the coder at a glyph's first bit. FB_ERR_BAD_RECORD for a start no code has. */
fb_error fbi_coder_start(fb_coder* d, const fb_font* f, const fb_glyph* g);
#else
#define FBI_DECODE_SHARED static
#endif

/* The level a neighbour adds to a context: grey levels quantised to none, low, high, full. */
static FB_INLINE uint32_t fbi_quant(uint32_t v, uint32_t max) {
    if (v == 0 || max == 1u) return v;
    return 1u + (v > max / 2u) + (v == max);
}

/* Scratch for decoding: one row of levels with 4 zero bytes on each side (the context reads
   past both ends), then two rows of ink bits (pixel i at bit i + 8, so that i may be -8). */
#define FB_PAD 4u
#define FB_ROW_BYTES (FB_COMPACT_MAX_WIDTH + 2u * FB_PAD)
#define FB_INK_BYTES ((FB_COMPACT_MAX_WIDTH + 16u) / 8u)
#define FB_SCRATCH_BYTES (FB_ROW_BYTES + 2u * FB_INK_BYTES)

#ifdef FB_INLINE_SPEED
/* fb_decode_fast.c: 1 bpp with all three windows, and 2 and 4 bpp. */
fb_error fbi_rows_bilevel(const fb_font* f, const fb_glyph* g, fb_row_fn fn, void* user);
fb_error fbi_rows_grey(const fb_font* f, const fb_glyph* g, fb_row_fn fn, void* user);
#endif
#endif /* FB_NO_COMPACT */

#endif /* FB_INTERNAL_H */

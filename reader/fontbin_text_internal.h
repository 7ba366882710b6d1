/*
 * What the two halves of the text API share: fontbin_text.c measures and draws one character,
 * fontbin_text_lines.c decides where lines break and walks them. Not for the application.
 */
#ifndef FONTBIN_TEXT_INTERNAL_H
#define FONTBIN_TEXT_INTERNAL_H

#include <limits.h>

#include "fontbin_text.h"

#if defined(FB_ONLY_COMPACT) && !defined(FB_NO_ADVANCES)
#define FB_NO_ADVANCES
#endif

#ifdef __cplusplus
extern "C" {
#endif

struct fbi_text_slot;

/* One character measured: from its cache slot, or looked up (its record then in g). */
typedef struct fbi_measured {
    fb_char_metrics m;
    const struct fbi_text_slot* cached; /* its glyph in the cache (check cp: a slot may be reused
                                           since) */
    int looked_up;                      /* g holds its record */
    fb_glyph g;
} fbi_measured;

void fbi_text_measure(const fb_text* t, uint32_t cp, fbi_measured* r);

/* Draws a measured character with its upright cell's top-left corner at (x, y). */
void fbi_text_draw_measured(const fb_text* t, int x, int y, uint32_t cp, fbi_measured* r);

/* base + d, held at INT_MAX rather than wrapping around. */
static inline int fbi_text_offset(int base, unsigned d) {
    if (base < 0) {
        const unsigned below = (unsigned)(-(base + 1)) + 1u; /* -base, without overflow */
        if (d < below) return base + (int)d;
        d -= below;
        base = 0;
    }
    return d > (unsigned)(INT_MAX - base) ? INT_MAX : base + (int)d;
}

#ifdef __cplusplus
}
#endif

#endif

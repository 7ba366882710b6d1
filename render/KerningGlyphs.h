// Which glyphs a font's kerning can move, read from its GPOS kerning lookups or its legacy `kern`
// table, so that only those are shaped in pairs: a large set without kerning costs one pass.
// The sets are never smaller than what HarfBuzz applies (it may find no value for some of them).
#pragma once

#include <hb.h>

#include <memory>

struct KerningGlyphs {
    struct SetDeleter {
        void operator()(hb_set_t* set) const { hb_set_destroy(set); }
    };
    using Set = std::unique_ptr<hb_set_t, SetDeleter>;

    // Glyphs that kern against each other in either order.
    Set paired{hb_set_create()};
    // Glyphs that may kern before any glyph at all, and after any glyph at all: a class table
    // gives every glyph it does not list a class (0) of its own, and a value for that class
    // reaches glyphs that no table names.
    Set beforeAny{hb_set_create()};
    Set afterAny{hb_set_create()};
    // Glyphs from this index on kern with the paired ones too: a class table that stops short
    // of the font's last glyph leaves the rest in class 0.
    hb_codepoint_t pairedFrom = HB_SET_VALUE_INVALID;
    // Any two glyphs may kern.
    bool everyPair = false;
};

// The kerning glyphs of `face`: those of the GPOS lookups of the `kern` feature, or (when GPOS has
// no such feature) those of the legacy `kern` table, as HarfBuzz chooses when it shapes. False
// when the font has neither.
bool collectKerningGlyphs(hb_face_t* face, KerningGlyphs& out);

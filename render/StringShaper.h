// Shaping of UI strings at build time: the Unicode bidirectional algorithm (FriBidi) splits a
// string into runs of one direction, each run of one script is shaped by HarfBuzz with the first
// font of the chain that has all its characters, and the runs are laid out in visual order.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "config/FontConfig.h"

struct FT_FaceRec_;

// One glyph of a shaped run, as HarfBuzz places it. Positions are 26.6 pixels, y upwards.
struct ShapedGlyph {
    uint32_t glyph = 0;    // glyph id in the run's font
    uint32_t cluster = 0;  // index of the first code point of its cluster in the whole string
    int32_t xOffset = 0;
    int32_t yOffset = 0;
    int32_t xAdvance = 0;
};

// A stretch of one direction, script and font, in logical order of its code points.
struct ShapedRun {
    uint32_t start = 0;   // first code point
    uint32_t length = 0;  // code points
    bool rightToLeft = false;
    uint32_t script = 0;              // ISO 15924 tag as HarfBuzz spells it (hb_script_t)
    size_t font = 0;                  // index into the shaper's fonts
    std::vector<ShapedGlyph> glyphs;  // in visual order, left to right
};

struct ShapedString {
    bool rightToLeft = false;     // the paragraph's base direction
    std::vector<ShapedRun> runs;  // in visual order, left to right
};

class StringShaper {
public:
    // `fonts` is the chain [font, fallbackFonts...] as FreeType faces at the run's size; a null
    // entry (a font that repeats an earlier one) is never chosen. The faces must outlive this.
    explicit StringShaper(const std::vector<FT_FaceRec_*>& fonts);
    ~StringShaper();
    StringShaper(const StringShaper&) = delete;
    StringShaper& operator=(const StringShaper&) = delete;

    // `language`: a BCP 47 tag, or empty for none. With TextDirection::Auto the first strong
    // character decides the paragraph's direction (left to right when there is none).
    ShapedString shape(const std::u32string& text, const std::string& language,
                       TextDirection direction) const;

    // The font of every character: the first of the chain that has a glyph for it. A combining
    // mark or a joiner takes its base's font, and a space, digit or punctuation mark the font
    // of the character before it when that font has it.
    std::vector<size_t> fontsFor(const std::u32string& text) const;

    // True when font `font` maps `c` to a glyph other than .notdef.
    bool covers(size_t font, char32_t c) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// A glyph of a laid-out string in whole pixels: its pen position moves by `advance`, and it is
// drawn `dx` right and `dy` down of the pen (y downwards, as on a display).
struct PlacedGlyph {
    size_t font = 0;
    uint32_t glyph = 0;
    uint32_t cluster = 0;
    int32_t dx = 0;
    int32_t dy = 0;
    int32_t advance = 0;
};

struct LaidOutString {
    bool rightToLeft = false;
    std::vector<PlacedGlyph> glyphs;  // visual order, left to right
    int32_t width = 0;                // sum of the advances
};

// Rounds the 26.6 positions to pixels along the whole string, so that rounding never adds up:
// each glyph lands on the pixel nearest its exact position.
LaidOutString layOut(const ShapedString& shaped);

// The compact font file: every selected character's ink box, coded on its own so that a device
// can decode any glyph at once from flash, behind a small index of code-point runs.
//
//   header      tag "FBCP", version, font metrics, the packed cell, coder parameters, name
//   runs        sorted runs of consecutive code points, each with its first glyph number
//   glyph table one fixed-width bit record per glyph: coded size, advance, ink box
//   checkpoints the data offset of every 2^k-th glyph; the others follow from the sizes
//   model       the probability table the coder uses, built once for the whole font
//   data        the glyphs' coded bits, back to back
//   kerning     (with setKerning, flagged in the header) the pairs, as the width file stores them
//
// docs/file-format.md describes the bytes; reader/fontbin_reader.c decodes them. Everything here
// is integer arithmetic, so every host writes the same bytes for the same glyphs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "config/FontConfig.h"
#include "render/GlyphTypes.h"
#include "render/Kerning.h"

namespace compact {

// How the glyph data is coded (header byte 21). Only Context is written; Raw, the box's levels
// at bpp bits each, is the size that candidates() reports for comparison.
enum class Method : uint8_t {
    Raw = 0,
    Context = 1,  // arithmetic coding, each level modelled by its decoded neighbours
};

// The neighbours a pixel's context is made of: `west` pixels left of it in its own row (0..4),
// the row above from x - above to x + above (-1: none, 0..2), the row two above from x - above2
// to x + above2 (-1: none, 0..1; only whether each pixel has ink).
struct Template {
    int32_t west = 0;
    int32_t above = -1;
    int32_t above2 = -1;
};

// One coded glyph's size in bits for a method and template, and the model bytes, for the bench.
struct MethodSize {
    Method method;
    Template shape;
    uint64_t modelBytes;
    uint64_t dataBits;
};

}  // namespace compact

class CompactFontWriter {
public:
    // `settings.font` is the font name after the default was applied (its stem names the font);
    // `rotate` is 0, 1 or 2; `baseline` the baseline row of the upright cell.
    CompactFontWriter(const FontSetSettings& settings, int32_t rotate, int32_t baseline);

    // Once per selected character, in ascending code-point order, with the packed cell as the
    // other writers get it and its advance width in pixels (0..255). Glyphs without ink too.
    void addGlyph(const PackedGlyph& glyph, int32_t advance);

    // Kerning pairs among the selected characters, sorted by left then right code point, without
    // pairs of 0 (as chainKerning gives them): finish() then appends the kerning section, each
    // adjustment limited to -128 .. 127 as in the width file. Without a call the file has none.
    void setKerning(std::vector<KernPair> pairs);

    // The whole file. Deterministic: the same glyphs give the same bytes on every host.
    std::vector<uint8_t> finish();

    // The same glyphs coded with a given template instead of the writer's own choice (for the
    // bench and the tests). Raw, or a template outside the depth's largest, gives no bytes.
    std::vector<uint8_t> finishWith(compact::Method method, const compact::Template& shape);

    // Sizes of every method and template the writer weighs, estimated from the model's counts
    // (the choice finish() makes is the smallest of these).
    std::vector<compact::MethodSize> candidates();

private:
    struct Glyph {
        uint16_t code = 0;
        int32_t x = 0, y = 0, w = 0, h = 0;  // ink box in the packed cell; w == 0: no ink
        int32_t advance = 0;
        size_t levels = 0;  // first of its w * h levels in levels_
    };

    std::vector<uint8_t> build(compact::Method method, const compact::Template& shape);
    void appendKerning(std::vector<uint8_t>& file) const;

    FontSetSettings settings_;
    int32_t rotate_;
    int32_t baseline_;
    int32_t bpp_;
    bool vertical_;
    int32_t cellRows_ = 0;
    int32_t cellCols_ = 0;
    bool cellFromInk_ = false;  // the cell size came from a glyph with ink
    std::vector<Glyph> glyphs_;
    std::vector<uint8_t> levels_;  // every glyph's box, row-major, one level per byte
    std::vector<uint8_t> rows_;    // addGlyph's unpacked rows, kept for its allocation
    // Decision counts under the depth's largest template, as candidates() last made them, and
    // for how many glyphs: build() narrows them to its template instead of counting again.
    std::vector<uint64_t> fullCounts_;
    size_t countedGlyphs_ = 0;
    bool kerning_ = false;
    std::vector<KernPair> pairs_;
};

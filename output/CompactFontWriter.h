// The compact font file: every selected character's ink box, coded on its own so that a device
// can decode any glyph at once from flash, behind a small index of code-point runs.
//
// The writer gathers the glyphs' boxes; compact/Encoder.h weighs the context templates and codes
// them, compact/CompactLayout.h lays out the header, index and tables around the code (the file
// is described there and, byte by byte, in docs/file-format.md). Everything is integer
// arithmetic, so every host writes the same bytes for the same glyphs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "config/FontConfig.h"
#include "output/compact/Encoder.h"
#include "render/GlyphTypes.h"
#include "render/Kerning.h"

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

    // The whole file. Deterministic: the same glyphs give the same bytes on every host. Empty
    // only when the encoder found its own model unfit for the glyphs, a fault in the writer.
    std::vector<uint8_t> finish();

    // The same glyphs coded with a given template instead of the writer's own choice (for the
    // bench and the tests). Raw, or a template outside the depth's largest, gives no bytes.
    std::vector<uint8_t> finishWith(compact::Method method, const compact::Template& shape);

    // Writes version 2 (a fixed-width glyph table with the box in it) instead of version 3, so
    // that the tests keep a file of each version the reader reads.
    void setOlderTable() { olderTable_ = true; }

    // Sizes of every method and template the writer weighs, estimated from the model's counts
    // (the choice finish() makes is the smallest of these).
    std::vector<compact::MethodSize> candidates();

private:
    std::vector<uint8_t> build(compact::Method method, const compact::Template& shape);
    // With the counter-clockwise turn, widens the ink's stored rows [top, bottom) to the
    // smallest span, within the first `rows`, that a reader turns back to the upright place.
    void widenTurnedRows(const PackedGlyph& glyph, int32_t rows, int32_t& top,
                         int32_t& bottom) const;

    FontSetSettings settings_;
    int32_t rotate_;
    int32_t baseline_;
    int32_t bpp_;
    bool depthOk_;  // bpp_ is 1, 2, 4 or 8: otherwise no glyph has ink
    bool vertical_;
    int32_t cellRows_ = 0;
    int32_t cellCols_ = 0;
    bool cellFromInk_ = false;  // the cell size came from a glyph with ink
    compact::GlyphSet set_;
    std::vector<uint8_t> rows_;  // addGlyph's unpacked rows, kept for its allocation
    // Counts under the depth's largest template, as candidates() last made them, and for how
    // many glyphs: build() narrows them to its template instead of counting again.
    std::vector<uint64_t> fullCounts_;
    size_t countedGlyphs_ = 0;
    bool kerning_ = false;
    std::vector<KernPair> pairs_;
    bool olderTable_ = false;
};

// The glyph rasteriser: one FreeType library and face, and the per-character pipeline that turns
// a code point into a placed, shaped and packed glyph cell.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "config/FontConfig.h"
#include "config/Settings.h"
#include "render/GlyphTypes.h"
#include "render/GreyCell.h"
#include "render/Kerning.h"

// A font file that cannot be used: FreeType could not open it, or its metrics make sizing
// impossible. The message is one line naming the file and the cause.
class FontError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The values the font set's "hinting" accepts, in the order the error message names them.
constexpr const char* kHintingValues[] = {"default", "none", "light", "mono", "auto"};
bool isHintingValue(const std::string& hinting);

// FreeType load flags for a glyph drawn with `settings`: 0 (FreeType's defaults) for "default";
// "none" turns hinting off; "light" and "mono" pick that hinting target; "auto" uses FreeType's
// auto-hinter, aimed at one-bit output when renderMode is 1 and at light hinting otherwise.
int32_t hintingLoadFlags(const FontSetSettings& settings);
// A face or instance the configuration asks for and the font does not have. The message lists
// what the font does have (its faces, or its axes with their ranges).
class FontChoiceError : public FontError {
public:
    using FontError::FontError;
};

class CvxText {
public:
    // Opens face `faceIndex` of the font file (0: the first face of a collection, or the only
    // face of a single font) and sizes it for a 20-pixel line span.
    // Throws FontError when FreeType cannot start or open the file, or when the face's ascender
    // equals its descender.
    explicit CvxText(const std::string& fontPath, long faceIndex = 0);
    // The same, then sets the design coordinates of the named axes of a variable font (the
    // others keep their defaults) before the face is sized, so the sizing uses the instance's
    // metrics. Throws FontChoiceError when the font has no face `faceIndex`, is not variable,
    // lacks an axis or a value lies outside its axis's range.
    CvxText(const std::string& fontPath, long faceIndex, const std::vector<AxisValue>& variations);
    virtual ~CvxText();
    CvxText(const CvxText&) = delete;
    CvxText& operator=(const CvxText&) = delete;

    // Stores the absolute values of `size` when given, then sizes the face so that its
    // ascender-to-descender span is size[0] pixels.
    void setSize(const std::array<double, 4>* size = nullptr);

    // The whole per-character pipeline on a zero cell: load, embolden, slant, render, place and
    // copy; sample image; transposition, rotation, gamma; packing. `extent` comes in as the cell's
    // (width, height) and leaves as the glyph box's right and bottom edge; `origin` leaves as the
    // pen column and baseline row in the upright cell. A glyph FreeType fails to load or render
    // leaves an empty (all-zero) packed cell and `extent`/`origin` as they came.
    // inkLost() then tells whether the quarter turn moved ink out of the cell.
    void renderGlyph(GreyCell& cell, uint16_t code, IntPair& extent, IntPair& origin,
                     const FontSetSettings& settings, const TransformSettings& transform,
                     size_t& packedSize);

    // True when the face's active character map has a glyph for `code`.
    bool hasGlyph(uint16_t code) const;
    // The glyph `code` draws: the character map's, or the one mapPrivateGlyph gave it.
    uint32_t glyphIndex(uint16_t code) const;
    // From now on `code` (a private-use code point) draws glyph `glyph` of this face: glyphs of
    // shaped strings that no character names are stored under such code points.
    void mapPrivateGlyph(uint16_t code, uint32_t glyph);
    // The em of the face at its current size, in whole pixels.
    int32_t emPixels() const;
    // The FreeType face, for HarfBuzz to shape with the same tables, size and instance.
    FT_FaceRec_* ftFace() const;

    // The advance width, in 26.6 pixels, of the glyph the latest renderGlyph call loaded (before
    // emboldening or slanting, which leave it as it is); 0 when FreeType could not load it.
    long lastAdvance() const;
    // The non-zero kerning pairs among `codes` (ascending) at the face's current size
    // (render/Kerning.h).
    std::vector<KernPair> kerningPairs(const std::vector<uint16_t>& codes) const;
    // The baseline row of a cell for `fontSize`, as renderGlyph places glyphs.
    int32_t baseline(int32_t fontSize) const;

    // Why FreeType could not draw the glyph of the latest renderGlyph call (the call that failed
    // and FreeType's reason), or empty when it drew it. A mapped glyph that fails means damaged
    // glyph data, such as a font file cut short.
    const std::string& lastFailure() const;

    // True when the latest renderGlyph call's counter-clockwise turn shifted part of the glyph's
    // ink out of the cell (with column scanning the shift is measured in the unturned cell).
    bool inkLost() const;

    // The upright cell's column where the latest renderGlyph call placed FreeType's bitmap (0
    // when nothing was drawn).
    int32_t lastBitmapColumn() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The cell after rendering: the shaped cell and the number of packed bytes at cell.data.
struct GlyphCell {
    GreyCell cell;  // shaped cell (rows/cols after transposition and rotation), packed in place
    size_t packedSize = 0;
    int32_t bitmapColumn = 0;  // CvxText::lastBitmapColumn() of the render

    // A view of the packed glyph for the file writer; valid while this GlyphCell lives.
    PackedGlyph packed(uint16_t code, const IntPair& extent, const IntPair& origin) const;
};

// Makes the zero cell for `cellSize` and renders `code` into it with `text`. A cell size that
// gives no pixels returns an empty cell with packedSize 0 and leaves extent and origin alone.
GlyphCell renderCell(const CellSize& cellSize, uint16_t code, CvxText& text, IntPair& extent,
                     IntPair& origin, const FontSetSettings& settings,
                     const TransformSettings& transform);

// The same into `glyph`, whose storage is reused: a loop over many characters that passes the
// same GlyphCell allocates nothing once the first cell has been made.
void renderCell(GlyphCell& glyph, const CellSize& cellSize, uint16_t code, CvxText& text,
                IntPair& extent, IntPair& origin, const FontSetSettings& settings,
                const TransformSettings& transform);

// The FreeType-free steps of glyph rendering: where a bitmap goes in its cell, and how the cell is
// turned, gamma-corrected and packed afterwards. Pure functions over a GreyCell, so each step can
// be checked on small hand-made cells.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "config/FontConfig.h"
#include "config/Settings.h"
#include "render/GlyphTypes.h"
#include "render/GreyCell.h"

// Where a glyph bitmap was put in its cell. Shaping needs these facts after the bitmap is gone.
struct GlyphPlacement {
    int32_t x0 = 0;     // cell column of the bitmap's first column; negative when cut off at left
    int32_t y1 = 0;     // cell row just below the bitmap's last row
    int32_t width = 0;  // bitmap columns (0 for an empty bitmap)
    int32_t rows = 0;   // bitmap rows (0 for an empty bitmap)
    int32_t W = 0;      // cell width and height the caller announced (extent on entry)
    int32_t H = 0;

    int32_t y0() const { return y1 - rows; }
    bool empty() const { return rows == 0 || width == 0; }
};

// Row of the pen origin counted from the top of the cell: |ascender| * fontSize / (ascender -
// descender), truncated. The caller guarantees ascender != descender.
int32_t baselineRow(int32_t ascender, int32_t descender, int32_t fontSize);

// Places a `width` x `rows` bitmap whose offsets from the pen origin are `left` and `top` (top
// counted upwards) in a W x H cell with the pen on row `baseline`. A glyph reaching left of its
// origin starts at column 0; one too wide ends at the right edge (its left part is cut off); one
// starting above the cell starts at row 0; one reaching below the cell ends on its last row.
// Sets extent to the bitmap's right and bottom edge (exclusive) and origin to the pen position
// actually used.
GlyphPlacement placeGlyph(int32_t left, int32_t top, int32_t width, int32_t rows, int32_t W,
                          int32_t H, int32_t baseline, IntPair& extent, IntPair& origin);

// Gamma correction is on only for the exact text "gamma" and an exponent other than 1.
bool gammaEnabled(const TransformSettings& transform);

// The corrected value of one channel byte: 255 * (v / 255) ^ gamma, truncated, 0 stays 0.
uint8_t gammaCorrect(uint8_t v, double gamma);

// Transposition for column scanning, the quarter turn, and gamma correction, in that order, on
// the cell as drawn. `placed` describes the bitmap in the upright cell; the turn is skipped for an
// empty bitmap. Updates extent for a turn (right and bottom edge of the glyph in the turned cell).
// A turned or transposed cell keeps its storage and its spare buffer for the next glyph.
// Returns true when the counter-clockwise turn's shift moved ink out of the cell (it is computed
// for the upright cell, so with column scanning it can miss the glyph).
bool shapeCell(GreyCell& cell, IntPair& extent, const GlyphPlacement& placed,
               const FontSetSettings& settings, const TransformSettings& transform);

// Number of packed bytes for `pixels` pixels at 1, 2, 4 or 8 bits per pixel.
size_t packedByteCount(size_t pixels, int renderMode);

// Packs every pixel, walked row-major as one stream, into the start of the cell's own buffer (no
// row padding, only the last byte padded with zero bits; the first pixel of a byte in its least
// significant bits) and returns the byte count. The cell keeps rows and cols, so they still
// describe the shaped cell; only the first N bytes of its buffer are meaningful. For a renderMode
// other than 1, 2, 4, 8 nothing is packed and the size of the unpacked pixel data is returned. An
// empty cell gives 0.
size_t packCell(GreyCell& cell, int renderMode);

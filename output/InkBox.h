// The glyph's box in its shaped cell, as the layouts that trim glyphs keep it (the offset-table
// layout's trimmed records and the compact file): the columns left of the box's right edge and
// the rows above its bottom edge, counted from the cell's top-left corner.
#pragma once

#include <cstdint>

#include "render/GlyphTypes.h"

struct InkBox {
    int32_t width = 0;
    int32_t height = 0;
};

// Rows of the packed cell that lie wholly inside its bytes: only these are ever looked at.
int32_t packedRows(const PackedGlyph& glyph, uint32_t depth);

// The box of `glyph`, packed at `depth` bits a pixel (1, 2, 4 or 8), in a cell shaped for
// `vertical` scanning (the cell transposed: its rows are the glyph's columns) and `rotate`.
// Row scanning: `extent` as the renderer left it. A transposed cell without rotation: the
// renderer's box read with x and y exchanged. A transposed cell turned back by rotation: `extent`
// is in neither frame, so the ink decides (the right and bottom edges of its non-zero pixels).
// A glyph may reach past the cell (taller than it, or wider with a negative left bearing): the
// box never does, so it says what the cell really holds. Zero width or height: nothing to keep.
InkBox inkBox(const PackedGlyph& glyph, uint32_t depth, bool vertical, int32_t rotate);

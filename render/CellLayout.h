// The size of the glyph cell every character of a font set is drawn into.
#pragma once

#include <cstdint>

#include "config/FontConfig.h"
#include "render/GlyphTypes.h"

// Next multiple of 8 at or above a positive x (x itself when it already is one).
int32_t up8(int32_t x);

// rows/cols of the cell for these settings. Italic widens the cell by half; a "V" as the first
// character of scanMode (exactly, upper case) and any rotation round the rows up to whole bytes,
// row scanning rounds the columns, so that every packed row of the shaped cell fills whole bytes.
CellSize computeCellSize(const FontSetSettings& settings, int32_t rotate);

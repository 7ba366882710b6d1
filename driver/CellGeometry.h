// The glyph cell size of a font set, and the checks that keep every value inside the file's
// single-byte fields.
#pragma once

#include <cstdint>
#include <string>

#include "config/FontConfig.h"
#include "render/GlyphTypes.h"

// Next multiple of 8 at or above a positive x (x itself when it already is one).
int32_t up8(int32_t x);

// rows/cols of the cell every character is drawn into. Italic widens the cell by half; a "V" as
// the first character of scanMode (exactly, upper case) and any rotation round the rows up to
// whole bytes, row scanning rounds the columns.
CellSize computeCellSize(const FontSetSettings& settings, int32_t rotate);

// Empty when the font set can be written; otherwise one line naming the key and its value.
std::string validateFontSet(const FontSetSettings& settings, int32_t rotate);

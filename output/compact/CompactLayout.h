// The compact file's bytes around the coded glyphs:
//
//   header      tag "FBCP", version, font metrics, the packed cell, coder parameters, name
//   runs        sorted runs of consecutive code points, each with its first glyph number
//   glyph table one fixed-width bit record per glyph: coded size, advance, ink box
//   checkpoints the data offset of every 2^k-th glyph; the others follow from the sizes
//   model       the probability table the coder uses, built once for the whole font
//   data        the glyphs' coded bits, back to back
//   kerning     (when flagged in the header) the pairs, as the width file stores them
//
// docs/file-format.md describes the bytes; reader/ decodes them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "output/compact/Encoder.h"
#include "render/Kerning.h"

namespace compact {

// What the header says of the font besides its glyphs.
struct FontInfo {
    std::string name;  // the font's file name stem
    int32_t fontSize = 0;
    int32_t bpp = 0;  // as configured, stored even when no glyph could be coded at it
    bool bold = false;
    bool italic = false;
    uint32_t scan = 0;  // 0 rows, 1 columns ("V"), 2 columns in a row-sized cell ("v")
    int32_t rotate = 0;
    int32_t baseline = 0;  // of the upright cell
    int32_t cellRows = 0;
    int32_t cellCols = 0;
};

// The whole file without kerning: header, runs, glyph table, checkpoints, model and data.
std::vector<uint8_t> layOut(const FontInfo& info, const GlyphSet& set, const EncodedFont& font);

// Flags the kerning section in the header of `file` (from layOut) and appends it after the data.
void appendKerning(std::vector<uint8_t>& file, const std::vector<KernPair>& pairs);

}  // namespace compact

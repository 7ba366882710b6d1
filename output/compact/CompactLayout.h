// The compact file's bytes around the coded glyphs:
//
//   header      tag "FBCP", version, font metrics, the packed cell, coder parameters, name
//   runs        sorted runs of consecutive code points, each with its first glyph number
//   codes       (version 3) the prefix codes of the sizes and of the ink boxes
//   glyph table per glyph: coded size and advance (version 3), and the ink box (version 2)
//   checkpoints the data offset of every 2^k-th glyph; the others follow from the sizes; then
//               (version 3) the table bit of each such glyph
//   model       the probability table the coder uses, built once for the whole font
//   checksums   CRC-32 of each block of 2^k glyphs' code, then of the header and tables
//   data        the glyphs' coded bits, back to back
//   kerning     (when flagged in the header) the pairs, as the width file stores them
//
// docs/file-format.md describes the bytes; reader/ decodes them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "output/compact/Encoder.h"
#include "output/compact/GlyphCodes.h"
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

// The whole file without kerning: header, runs, glyph table, checkpoints, model, checksums and
// data. With `codes` (whose box prefixes `font` was coded with) version 3: the codes part before
// the table, sizes in their code, the table marks after the checkpoints; without, version 2.
std::vector<uint8_t> layOut(const FontInfo& info, const GlyphSet& set, const EncodedFont& font,
                            const GlyphCodes* codes);

// Flags the kerning section in the header of `file` (from layOut), appends it after the data and
// renews the tables' checksum, which covers it.
void appendKerning(std::vector<uint8_t>& file, const std::vector<KernPair>& pairs);

}  // namespace compact

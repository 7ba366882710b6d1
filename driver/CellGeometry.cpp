#include "driver/CellGeometry.h"

#include "output/FontFileWriter.h"

std::string validateFontSet(const FontSetSettings& s, int32_t rotate) {
    const int32_t r = s.renderMode;
    if (r != 1 && r != 2 && r != 4 && r != 8)
        return "renderMode " + std::to_string(r) +
               " is not supported: use 1, 2, 4 or 8 bits per pixel";
    if (s.fontSize < 1 || s.fontSize > 255)
        return "fontSize " + std::to_string(s.fontSize) + " is out of range: use 1 to 255 pixels";
    const CellSize cell = computeCellSize(s, rotate);
    if (cell.rows > 255 || cell.cols > 255)
        return "fontSize " + std::to_string(s.fontSize) + " gives a glyph cell of " +
               std::to_string(cell.rows) + " x " + std::to_string(cell.cols) +
               " pixels; the font file holds at most 255 in each direction";
    const std::string stem = fontStem(s.font.empty() ? std::string("simsun.ttc") : s.font);
    if (stem.size() > 112)
        return "font \"" + s.font + "\": the name before its first '.' has " +
               std::to_string(stem.size()) + " bytes; the font file holds at most 112";
    return {};
}

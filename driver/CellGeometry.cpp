#include "driver/CellGeometry.h"

#include "driver/FontLookup.h"
#include "output/FontFileWriter.h"
#include "render/CvxText.h"

namespace {

// The largest fontSize whose cell fits the font file's single-byte sizes, with the scan order,
// italic and rotation of `s`.
int32_t largestFontSize(FontSetSettings s, int32_t rotate) {
    for (s.fontSize = 255; s.fontSize > 1; --s.fontSize) {
        const CellSize cell = computeCellSize(s, rotate);
        if (cell.rows <= 255 && cell.cols <= 255) break;
    }
    return s.fontSize;
}

// "for row scanning with italic": what the largest size depends on.
std::string cellKind(const FontSetSettings& s, int32_t rotate) {
    std::string kind = rotate == 1 || rotate == 2                  ? "with rotation"
                       : scanKind(s.scanMode) == ScanKind::Columns ? "for column scanning"
                                                                   : "for row scanning";
    if (s.italic != 0) kind += " with italic";
    return kind;
}

}  // namespace

std::string validateFontSet(const FontSetSettings& s, int32_t rotate) {
    const int32_t r = s.renderMode;
    if (r != 1 && r != 2 && r != 4 && r != 8)
        return "renderMode " + std::to_string(r) +
               " is not supported: use 1, 2, 4 or 8 bits per pixel";
    const int32_t largest = largestFontSize(s, rotate);
    const std::string range = "use 1 to " + std::to_string(largest) + " pixels (the largest " +
                              cellKind(s, rotate) +
                              ", as the font file holds at most 255 pixels a side)";
    if (s.fontSize < 1 || s.fontSize > 255)
        return "fontSize " + std::to_string(s.fontSize) + " is out of range: " + range;
    const CellSize cell = computeCellSize(s, rotate);
    if (cell.rows > 255 || cell.cols > 255)
        return "fontSize " + std::to_string(s.fontSize) + " gives a glyph cell of " +
               std::to_string(cell.rows) + " x " + std::to_string(cell.cols) + " pixels: " + range;
    const std::string stem = fontStem(s.font.empty() ? std::string(kDefaultFontName) : s.font);
    if (stem.size() > 112)
        return "font \"" + s.font + "\": the name before its first '.' has " +
               std::to_string(stem.size()) + " bytes; the font file holds at most 112";
    if (!isHintingValue(s.hinting)) {
        std::string allowed;
        const size_t n = sizeof kHintingValues / sizeof kHintingValues[0];
        for (size_t i = 0; i < n; ++i)
            allowed += std::string(i == 0       ? ""
                                   : i + 1 == n ? " or "
                                                : ", ") +
                       "\"" + kHintingValues[i] + "\"";
        return "hinting \"" + s.hinting + "\" is not supported: use " + allowed;
    }
    return {};
}

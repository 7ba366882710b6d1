// Builds font bitmap files in memory the way the tool writes them, from cells given pixel by
// pixel, so the reader can be tested on every layout and depth without the renderer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fbtest {

struct Glyph {
    uint16_t code = 0;
    // Packed-cell pixels, rows x cols values, row-major, each 0 .. 2^bpp - 1.
    std::vector<uint8_t> pixels;
    uint8_t originX = 0;
    uint8_t originY = 0;
    // Fixed records store these as given. Trimmed records take them as the glyph's box in the
    // packed cell (right and bottom edge, exclusive), clamped to the cell.
    uint8_t extentX = 0;
    uint8_t extentY = 0;
};

struct Font {
    std::string name = "test";
    uint8_t fontSize = 12;
    uint8_t bpp = 1;
    bool bold = false;
    bool italic = false;
    bool scanV = false;  // styleFlags bit 2: scanMode was exactly "V"
    bool indexList = false;
    bool crop = false;
    unsigned rows = 0;  // packed cell
    unsigned cols = 0;
    std::vector<Glyph> glyphs;  // ascending code points, every selected character once
};

// Packs pixels as one row-major stream, first pixel in the least significant bits.
std::vector<uint8_t> packPixels(const std::vector<uint8_t>& pixels, unsigned bpp);

std::vector<uint8_t> buildFontFile(const Font& font);

// Offset of the first glyph record (header plus index part as written).
size_t recordsOffset(const Font& font);

}  // namespace fbtest

// A PNG file decoded to 8-bit RGB; empty (0 x 0) when it cannot be read.
struct RgbImage {
    unsigned width = 0, height = 0;
    std::vector<uint8_t> pixels;
    const uint8_t* at(unsigned x, unsigned y) const {
        return pixels.data() + (size_t(y) * width + x) * 3;
    }
};
RgbImage readRgbPng(const std::string& path);

namespace fbtest {

// What one run of the real tool wrote: the font file's path (in a folder that lives as long as
// this) and bytes.
struct ToolFont {
    std::string path;
    std::vector<uint8_t> bytes;
};

// Runs the real tool (bin/fontbin) on the real font `fontFile` for ASCII and the code points
// `extra`, the fontSet given by its JSON members `fontSet` (size, scanMode, layout, ...), with
// `rotate` in setting.ini. Fails the test (and returns no bytes) when the run fails.
ToolFont runTool(const std::string& fontFile, const std::vector<uint32_t>& extra,
                 const std::string& fontSet, int rotate = 0);

}  // namespace fbtest

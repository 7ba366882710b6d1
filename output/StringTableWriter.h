// The string table, "<base>_strings.bin": UI strings shaped at build time, each as a run of
// glyphs in visual order with pixel positions, its width and where it may be wrapped. The glyphs
// themselves are in the font file, under the code points given here. docs/file-format.md gives
// the layout byte by byte.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One glyph of a string: the code point its glyph is stored under in the font file, the first
// code point of the text it draws, and its place relative to the pen (pixels, y downwards).
struct StringTableGlyph {
    uint16_t code = 0;
    uint16_t cluster = 0;
    int32_t dx = 0;
    int32_t dy = 0;
    int32_t advance = 0;
};

struct StringTableEntry {
    std::string name;  // at most 255 bytes
    bool rightToLeft = false;
    uint16_t length = 0;                   // code points of the text
    int32_t width = 0;                     // pixels: the sum of the advances
    std::vector<StringTableGlyph> glyphs;  // visual order, left to right
    std::vector<uint16_t> breaks;  // code-point indices before which a line may start, ascending
};

struct StringTableHeader {
    uint8_t fontSize = 0;    // the font set's fontSize (line span in pixels)
    uint8_t emPixels = 0;    // the em, in pixels, that fontSize gave the main font
    uint8_t baseline = 0;    // baseline row of the font file's cells
    uint8_t renderMode = 0;  // bits per pixel of the glyphs
};

constexpr uint32_t kStringTableMagic = 0x54534246;  // "FBST"
constexpr uint8_t kStringTableVersion = 1;
constexpr size_t kStringTableHeaderSize = 16;
// Header flags.
constexpr uint8_t kStringsWide = 0x01;     // advances and offsets in 16 bits
constexpr uint8_t kStringsBigList = 0x02;  // more than 256 glyphs: references in 16 bits
constexpr uint8_t kStringsLong = 0x04;     // lengths, counts, clusters and breaks in 16 bits
// The first byte of a glyph entry: the advance (narrow files), and which offsets follow.
constexpr int32_t kStringNarrowAdvanceMax = 63;
constexpr uint8_t kStringGlyphDx = 0x40;
constexpr uint8_t kStringGlyphDy = 0x80;

// The whole file, as small as its values allow: glyphs refer to a list of the codes, a glyph
// entry holds an offset only when it is not 0 (dx) or differs from the glyph before (dy), and
// every field is one byte unless some value needs two (flags above). Widths and positions beyond
// 16 bits are clamped.
std::vector<uint8_t> stringTableBytes(const StringTableHeader& header,
                                      const std::vector<StringTableEntry>& strings);

// "<base>_strings.bin" for "<base>_font.bin" or "<base>_compact.bin"; empty for other names.
std::string stringsPathFor(const std::string& fontFile);

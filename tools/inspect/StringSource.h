// The strings of a string table shaped again from the configuration that wrote it: the font's own
// glyph ids, clusters and runs that the table (which names glyphs by code point) does not keep,
// and the faces to draw reference pictures with.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "reader/fontbin_strings.h"

struct FT_FaceRec_;

namespace inspect {

// One visual run of a string as HarfBuzz shaped it, in whole pixels as the table stores it.
struct SourceGlyph {
    uint32_t glyph = 0;    // glyph id in the run's font
    uint32_t cluster = 0;  // first code point of its cluster, counted from the run's start
    int dx = 0, dy = 0;    // pixels; dy downwards
    int advance = 0;
    int32_t x = 0, y = 0;  // HarfBuzz's exact position from the string's origin, 26.6, y upwards
};

struct SourceRun {
    size_t font = 0;  // index into StringSources::fontPaths
    bool rightToLeft = false;
    std::string script;               // ISO 15924, as hb-shape's --script takes it
    std::u32string text;              // the run's code points, in logical order
    uint32_t start = 0;               // its first code point in the string
    std::vector<SourceGlyph> glyphs;  // visual order
};

struct SourceString {
    std::string name;
    std::string language;
    std::vector<SourceRun> runs;  // visual order
};

class StringSources {
public:
    StringSources();
    ~StringSources();
    StringSources(const StringSources&) = delete;
    StringSources& operator=(const StringSources&) = delete;

    std::string configPath;
    std::vector<std::string> fontPaths;  // the chain [font, fallbackFonts...]
    std::vector<int> faceIndexes;
    std::vector<std::string> variations;  // hb-shape's --variations text, or empty
    std::vector<int> emPixels;            // each font's em at the run's size
    std::string hinting;                  // fontSet.hinting
    unsigned bpp = 1;
    std::vector<SourceString> strings;  // in the table's order
    bool differs = false;               // the table is not what the configuration gives now

    FT_FaceRec_* face(size_t font) const;

    struct Faces;
    std::unique_ptr<Faces> faces;
};

// Finds the configuration that wrote the string table `stringsFile` (`config` when given, else
// the .json beside it whose outputs have the table's base name), reads its strings files, opens
// its font chain as the run did (fonts found from `toolDir` and the configuration's folder) and
// shapes every string again, then checks that the table holds what the shaping gives: the same
// names, glyph counts, clusters and advances, each (font, glyph id) under one code point, and each
// code point's offsets moved by one amount (its cell's origin). Empty on success, else one line.
std::string shapeAgain(const std::string& stringsFile, const std::optional<std::string>& config,
                       const std::string& toolDir, const fb_strings& table, StringSources& out);

}  // namespace inspect

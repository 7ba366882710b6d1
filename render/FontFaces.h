// What a font file offers to choose from: its faces, each face's embedded bitmap strikes, and a
// variable font's axes and named instances. Read with FreeType, for error messages and reports.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One variation axis: design values in the font's units for that axis.
struct AxisInfo {
    std::string tag;   // "wght"
    std::string name;  // "Weight", from the font's name table, or the tag
    double minimum = 0;
    double defaultValue = 0;
    double maximum = 0;
};

struct NamedInstanceInfo {
    std::string name;                 // "Bold"
    std::vector<double> coordinates;  // one per axis, in axis order
};

// An embedded bitmap strike: glyph images drawn for one pixel size.
struct StrikeInfo {
    int32_t width = 0;  // nominal cell, in pixels
    int32_t height = 0;
    double xPpem = 0;  // pixels per em
    double yPpem = 0;
};

struct FaceInfo {
    long index = 0;
    std::string family;
    std::string style;
    long glyphCount = 0;
    bool outlines = false;
    int32_t unitsPerEm = 0;
    int32_t ascender = 0;
    int32_t descender = 0;
    std::vector<StrikeInfo> strikes;
    std::vector<AxisInfo> axes;
    std::vector<NamedInstanceInfo> instances;
    // fontSize values (1 to 255) whose pixel size under fontbin's sizing rule selects each strike,
    // parallel to `strikes`.
    std::vector<std::vector<int32_t>> strikeSizes;
    // The pixel size (em) that fontSize gives this face, or 0 when its metrics give none.
    uint32_t pixelSizeFor(int32_t fontSize) const;
};

// Every face of the font file at the UTF-8 `path`. Throws FontError (render/CvxText.h) when
// FreeType cannot open it.
std::vector<FaceInfo> describeFontFaces(const std::string& path);

// "0 Noto Sans CJK JP (Regular), 1 Noto Sans CJK KR (Regular)".
std::string faceListText(const std::vector<FaceInfo>& faces);
// "wght 100 to 900 (default 400), slnt -10 to 0 (default 0)".
std::string axisListText(const std::vector<AxisInfo>& axes);

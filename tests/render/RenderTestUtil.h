// Helpers shared by the render tests: a plain FreeType reference rendering to compare against,
// cell comparison with readable failure output, PNG reading and temporary working directories.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <opencv2/core.hpp>
#include <string>

#include "config/FontConfig.h"
#include "config/Settings.h"
#include "render/CvxText.h"
#include "render/GlyphTypes.h"
#include "render/GreyCell.h"

namespace rendertest {

// A glyph as FreeType renders it without any of the rasteriser's styling (no emboldening, no
// slant), read by the bitmap's own pixel mode into 0..255 values.
struct RefGlyph {
    int left = 0;
    int top = 0;
    int pixelMode = 0;        // FT_PIXEL_MODE_*
    bool bitmapSlot = false;  // the glyph slot held an embedded bitmap, not an outline
    cv::Mat pixels;           // CV_8UC1, rows x width of the bitmap
};

// Face metrics of face `face` of a font file.
struct FaceMetrics {
    int unitsPerEm = 0;
    int ascender = 0;
    int descender = 0;
};
FaceMetrics faceMetrics(const std::string& path, long face = 0);

// The pixel size the rasteriser sets for a line span of `fontSize` pixels.
unsigned ppemFor(const FaceMetrics& m, int fontSize);

RefGlyph refGlyph(const std::string& path, unsigned ppem, uint16_t code, bool mono, long face = 0);

// Which FreeType step fails for `code` at `ppem`: "" when none, else the call's name.
std::string failingStep(const std::string& path, unsigned ppem, uint16_t code);

// The cell size the export loop makes for these settings.
CellSize exportCellSize(const FontSetSettings& settings, int rotate);

FontSetSettings makeSettings(int fontSize, int renderMode, const std::string& scanMode = "H",
                             int bold = 0, int italic = 0);

// One renderCell call and its results, with the packed bytes unpacked to 0..255 per pixel.
struct Rendered {
    GlyphCell glyph;
    IntPair extent;
    IntPair origin;
    cv::Mat pixels;  // CV_8UC1 in the shaped cell's shape
};
// `text` must already be sized for settings.fontSize. A cell size with rows == 0 means the
// export loop's cell.
Rendered render(CvxText& text, uint16_t code, const FontSetSettings& settings,
                const TransformSettings& transform = {}, CellSize cellSize = {});
CvxText& sizedText(CvxText& text, int fontSize);

// The grey cell as a CV_8UC1 image, and a CV_8UC1 image as a grey cell, for comparisons and the
// image operations OpenCV offers.
cv::Mat toMat(const GreyCell& cell);
GreyCell toGrey(const cv::Mat& image);

// The cell picture of render/CellDump.h for a CV_8UC1 image.
std::string cellToAscii(const cv::Mat& image);

// `ref` drawn into a zero rows x cols image with its first pixel at (x0, y0), clipped.
cv::Mat placedAt(const cv::Mat& ref, int rows, int cols, int x0, int y0);

// Sum of all pixel values.
double ink(const cv::Mat& pixels);

// Equal size and pixels; on failure both cells are printed as text.
::testing::AssertionResult sameCell(const cv::Mat& actual, const cv::Mat& expected);

// Reads an 8-bit PNG as written by writePng: RGB into CV_8UC3 (kept in file order), grey into
// CV_8UC1. Empty on failure.
cv::Mat readPng(const std::string& path);

// A fresh directory that becomes the working directory; the old one is restored and the
// directory removed on destruction.
class TempWorkDir {
public:
    TempWorkDir();
    ~TempWorkDir();
    TempWorkDir(const TempWorkDir&) = delete;
    TempWorkDir& operator=(const TempWorkDir&) = delete;
    const std::filesystem::path& path() const { return dir_; }

private:
    std::filesystem::path previous_;
    std::filesystem::path dir_;
};

}  // namespace rendertest

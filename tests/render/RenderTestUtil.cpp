#include "RenderTestUtil.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_GLYPH_H
#include <png.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "render/CellDump.h"
#include "render/CellLayout.h"

namespace rendertest {

namespace {

struct Library {
    FT_Library lib = nullptr;
    FT_Face face = nullptr;
    Library(const std::string& path, long index) {
        if (FT_Init_FreeType(&lib) != 0) lib = nullptr;
        if (lib != nullptr && FT_New_Face(lib, path.c_str(), index, &face) != 0) face = nullptr;
    }
    ~Library() {
        if (face != nullptr) FT_Done_Face(face);
        if (lib != nullptr) FT_Done_FreeType(lib);
    }
};

}  // namespace

FaceMetrics faceMetrics(const std::string& path, long face) {
    Library ft(path, face);
    FaceMetrics m;
    if (ft.face == nullptr) return m;
    m.unitsPerEm = ft.face->units_per_EM;
    m.ascender = ft.face->ascender;
    m.descender = ft.face->descender;
    return m;
}

unsigned ppemFor(const FaceMetrics& m, int fontSize) {
    return static_cast<unsigned>(
        std::trunc(m.unitsPerEm / static_cast<double>(m.ascender - m.descender) * fontSize));
}

RefGlyph refGlyph(const std::string& path, unsigned ppem, uint16_t code, bool mono, long face) {
    RefGlyph ref;
    Library ft(path, face);
    if (ft.face == nullptr) return ref;
    FT_Set_Pixel_Sizes(ft.face, 0, ppem);
    if (FT_Load_Glyph(ft.face, FT_Get_Char_Index(ft.face, code), FT_LOAD_DEFAULT) != 0) return ref;
    ref.bitmapSlot = ft.face->glyph->format == FT_GLYPH_FORMAT_BITMAP;
    if (!ref.bitmapSlot &&
        FT_Render_Glyph(ft.face->glyph, mono ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL) != 0) {
        return ref;
    }
    const FT_Bitmap& bm = ft.face->glyph->bitmap;
    ref.left = ft.face->glyph->bitmap_left;
    ref.top = ft.face->glyph->bitmap_top;
    ref.pixelMode = bm.pixel_mode;
    ref.pixels = cv::Mat::zeros(static_cast<int>(bm.rows), static_cast<int>(bm.width), CV_8UC1);
    for (unsigned i = 0; i < bm.rows; ++i) {
        const unsigned char* row = bm.buffer + static_cast<long>(i) * bm.pitch;
        for (unsigned j = 0; j < bm.width; ++j) {
            uint8_t v = 0;
            if (bm.pixel_mode == FT_PIXEL_MODE_MONO) {
                v = (row[j / 8] >> (7 - j % 8)) & 1 ? 255 : 0;
            } else if (bm.pixel_mode == FT_PIXEL_MODE_GRAY) {
                v = row[j];
            }
            ref.pixels.at<uint8_t>(static_cast<int>(i), static_cast<int>(j)) = v;
        }
    }
    return ref;
}

std::string failingStep(const std::string& path, unsigned ppem, uint16_t code) {
    Library ft(path, 0);
    if (ft.face == nullptr) return "FT_New_Face";
    FT_Set_Pixel_Sizes(ft.face, 0, ppem);
    if (FT_Load_Glyph(ft.face, FT_Get_Char_Index(ft.face, code), FT_LOAD_DEFAULT) != 0) {
        return "FT_Load_Glyph";
    }
    FT_Glyph glyph = nullptr;
    if (FT_Get_Glyph(ft.face->glyph, &glyph) != 0) return "FT_Get_Glyph";
    const FT_Error error = FT_Glyph_To_Bitmap(&glyph, FT_RENDER_MODE_NORMAL, nullptr, 1);
    FT_Done_Glyph(glyph);
    return error != 0 ? "FT_Glyph_To_Bitmap" : "";
}

CellSize exportCellSize(const FontSetSettings& settings, int rotate) {
    return computeCellSize(settings, rotate);
}

FontSetSettings makeSettings(int fontSize, int renderMode, const std::string& scanMode, int bold,
                             int italic) {
    FontSetSettings s;
    s.fontSize = fontSize;
    s.renderMode = renderMode;
    s.scanMode = scanMode;
    s.bold = bold;
    s.italic = italic;
    return s;
}

CvxText& sizedText(CvxText& text, int fontSize) {
    const std::array<double, 4> size{static_cast<double>(fontSize), 0, 0.1, 0};
    text.setSize(&size);
    return text;
}

Rendered render(CvxText& text, uint16_t code, const FontSetSettings& settings,
                const TransformSettings& transform, CellSize cellSize) {
    if (cellSize.rows == 0) cellSize = exportCellSize(settings, transform.rotate);
    Rendered r;
    r.extent = {cellSize.cols, cellSize.rows};
    r.origin = {cellSize.cols, cellSize.rows};
    r.glyph = renderCell(cellSize, code, text, r.extent, r.origin, settings, transform);
    r.pixels = toMat(unpackCell(r.glyph.cell.data, r.glyph.packedSize, r.glyph.cell.rows,
                                r.glyph.cell.cols, settings.renderMode));
    return r;
}

cv::Mat toMat(const GreyCell& cell) {
    if (cell.empty()) return cv::Mat();
    cv::Mat out(cell.rows, cell.cols, CV_8UC1);
    std::memcpy(out.data, cell.data, cell.total());
    return out;
}

GreyCell toGrey(const cv::Mat& image) {
    GreyCell cell;
    if (image.empty() || image.type() != CV_8UC1) return cell;
    cell.create(image.rows, image.cols);
    for (int r = 0; r < image.rows; ++r) {
        std::memcpy(cell.ptr(r), image.ptr<uint8_t>(r), static_cast<size_t>(image.cols));
    }
    return cell;
}

std::string cellToAscii(const cv::Mat& image) {
    return ::cellToAscii(toGrey(image));
}

cv::Mat placedAt(const cv::Mat& ref, int rows, int cols, int x0, int y0) {
    cv::Mat out = cv::Mat::zeros(rows, cols, CV_8UC1);
    for (int i = 0; i < ref.rows; ++i) {
        for (int j = 0; j < ref.cols; ++j) {
            const int r = y0 + i;
            const int c = x0 + j;
            if (r >= 0 && r < rows && c >= 0 && c < cols)
                out.at<uint8_t>(r, c) = ref.at<uint8_t>(i, j);
        }
    }
    return out;
}

double ink(const cv::Mat& pixels) {
    return cv::sum(pixels)[0];
}

::testing::AssertionResult sameCell(const cv::Mat& actual, const cv::Mat& expected) {
    if (actual.size() == expected.size() && actual.type() == expected.type() &&
        cv::norm(actual, expected, cv::NORM_INF) == 0) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "cells differ: actual " << actual.rows << "x" << actual.cols << ", expected "
           << expected.rows << "x" << expected.cols << "\nactual:\n"
           << cellToAscii(actual) << "expected:\n"
           << cellToAscii(expected);
}

cv::Mat readPng(const std::string& path) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return cv::Mat();
    const bool colour = (image.format & PNG_FORMAT_FLAG_COLOR) != 0;
    image.format = colour ? PNG_FORMAT_RGB : PNG_FORMAT_GRAY;
    cv::Mat out(static_cast<int>(image.height), static_cast<int>(image.width),
                colour ? CV_8UC3 : CV_8UC1);
    if (!png_image_finish_read(&image, nullptr, out.data, static_cast<png_int_32>(out.step[0]),
                               nullptr)) {
        png_image_free(&image);
        return cv::Mat();
    }
    return out;
}

TempWorkDir::TempWorkDir() : previous_(std::filesystem::current_path()) {
    std::random_device random;
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info != nullptr ? info->name() : "test";
    for (char& c : name) {
        if (c == '/') c = '_';
    }
    dir_ = std::filesystem::temp_directory_path() /
           ("fontbin-render-" + name + "-" + std::to_string(random()));
    std::filesystem::create_directories(dir_);
    std::filesystem::current_path(dir_);
}

TempWorkDir::~TempWorkDir() {
    std::error_code error;
    std::filesystem::current_path(previous_, error);
    std::filesystem::remove_all(dir_, error);
}

}  // namespace rendertest

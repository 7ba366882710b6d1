// The glyph sheet: every glyph of a range on a grid, as a PNG written band by band with libpng,
// so that a sheet of tens of thousands of glyphs needs one band of pixels in memory.
#include <png.h>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/platform.h"
#include "tools/inspect/Inspect.h"

namespace inspect {
namespace {

constexpr uint8_t kSeparator[3] = {150, 170, 210};  // thin blue-grey grid lines
constexpr uint8_t kBoxTint[3] = {255, 246, 200};    // trimmed and compact: the stored box

struct PngSink {
    FILE* file = nullptr;
    png_structp png = nullptr;
    png_infop info = nullptr;
    char message[200] = {0};
};

void onPngError(png_structp png, png_const_charp text) {
    auto* sink = static_cast<PngSink*>(png_get_error_ptr(png));
    std::snprintf(sink->message, sizeof sink->message, "%s", text ? text : "libpng error");
    longjmp(png_jmpbuf(png), 1);
}

void onPngWarning(png_structp, png_const_charp) {}

// Only plain data lives in this frame, so the long jump of a libpng error skips nothing.
bool writeRows(PngSink& sink, unsigned width, unsigned height,
               void (*fillBand)(void* context, unsigned y, unsigned lines, uint8_t* band),
               void* context, unsigned bandLines, uint8_t* band) {
    sink.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &sink, onPngError, onPngWarning);
    if (!sink.png) return false;
    sink.info = png_create_info_struct(sink.png);
    if (!sink.info) return false;
    if (setjmp(png_jmpbuf(sink.png))) return false;
    png_init_io(sink.png, sink.file);
    png_set_IHDR(sink.png, sink.info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(sink.png, sink.info);
    for (unsigned y = 0; y < height; y += bandLines) {
        unsigned lines = height - y < bandLines ? height - y : bandLines;
        fillBand(context, y, lines, band);
        for (unsigned i = 0; i < lines; ++i) png_write_row(sink.png, band + size_t(i) * width * 3);
    }
    png_write_end(sink.png, sink.info);
    return true;
}

struct Layout {
    const fb_font* font;
    std::vector<fb_glyph> glyphs;
    std::vector<GlyphPixels> pixels;  // one per glyph
    bool upright;
    unsigned tileRows, tileCols;  // one glyph as shown, before scaling
    unsigned scale, gridCols, width;
};

void paint(uint8_t* px, const uint8_t rgb[3]) {
    std::memcpy(px, rgb, 3);
}

// Lines y .. y + lines - 1 of the sheet. Grid lines sit at every multiple of the tile pitch.
void fillBand(void* context, unsigned y0, unsigned lines, uint8_t* band) {
    const Layout& L = *static_cast<const Layout*>(context);
    const unsigned pitchX = L.tileCols * L.scale + 1, pitchY = L.tileRows * L.scale + 1;
    const unsigned maxValue = (1u << L.font->bpp) - 1u;
    for (unsigned i = 0; i < lines; ++i) {
        uint8_t* line = band + size_t(i) * L.width * 3;
        const unsigned y = y0 + i;
        const unsigned gridRow = y / pitchY, inY = y % pitchY;
        for (unsigned x = 0; x < L.width; ++x) {
            uint8_t* px = line + size_t(x) * 3;
            const unsigned gridCol = x / pitchX, inX = x % pitchX;
            if (inX == 0 || inY == 0) {
                paint(px, kSeparator);
                continue;
            }
            const size_t k = size_t(gridRow) * L.gridCols + gridCol;
            if (gridCol >= L.gridCols || k >= L.glyphs.size()) {
                std::memset(px, 255, 3);
                continue;
            }
            const fb_glyph& g = L.glyphs[k];
            unsigned dx = (inX - 1) / L.scale, dy = (inY - 1) / L.scale;
            unsigned cx = L.upright ? dy : dx, cy = L.upright ? dx : dy;
            unsigned v = L.pixels[k].at(cx, cy);
            const bool inBox = g.compact ? cx - g.box_x < g.box_w && cy - g.box_y < g.box_h
                                         : cx < g.extent_x && cy >= g.top_skip && cy < g.extent_y;
            if (v == 0 && (g.trimmed || g.compact) && inBox) {
                paint(px, kBoxTint);
                continue;
            }
            // Ink dark on white; grey levels in between.
            std::memset(px, static_cast<int>(255u - v * 255u / maxValue), 3);
        }
    }
}

}  // namespace

std::string writeSheet(const fb_font& font, const std::string& path, uint32_t first, uint32_t last,
                       bool upright, SheetInfo& info) {
    Layout L{};
    L.font = &font;
    L.upright = upright;
    fb_glyph g;
    for (uint32_t cp = first; cp <= last && fb_next_glyph(&font, cp, &g) == FB_OK;
         cp = g.code_point + 1) {
        if (g.code_point > last) break;
        L.glyphs.push_back(g);
        L.pixels.emplace_back(font, g);
    }
    if (L.glyphs.empty()) return "no glyphs in the range";
    const size_t count = L.glyphs.size();
    L.tileRows = upright ? font.geometry.cols : font.geometry.rows;
    L.tileCols = upright ? font.geometry.rows : font.geometry.cols;
    const unsigned side = std::max(L.tileRows, L.tileCols);
    // Small glyphs are scaled up so that a pixel can be seen; large sets stay at 1:1.
    L.scale = count <= 2048 ? std::min(8u, std::max(1u, 48u / std::max(1u, side))) : 1u;
    L.gridCols = count <= 256 ? 16u : (count <= 2048 ? 32u : 64u);
    const unsigned gridRows = static_cast<unsigned>((count + L.gridCols - 1) / L.gridCols);
    L.width = L.gridCols * (L.tileCols * L.scale + 1) + 1;
    const unsigned height = gridRows * (L.tileRows * L.scale + 1) + 1;

    info.glyphs = count;
    info.gridCols = L.gridCols;
    info.gridRows = gridRows;
    info.scale = L.scale;
    info.width = L.width;
    info.height = height;
    info.rowStarts.clear();
    for (size_t k = 0; k < count; k += L.gridCols) info.rowStarts.push_back(L.glyphs[k].code_point);

    return writePng(path, L.width, height, fillBand, &L);
}

std::string writePng(const std::string& path, unsigned width, unsigned height,
                     void (*fill)(void* context, unsigned y, unsigned lines, uint8_t* band),
                     void* context) {
    // Drawn into a temporary file beside the target, which replaces it only when complete: an
    // earlier picture stays when drawing fails, and a device or folder is never written.
    platform::FileReplacement out(platform::pathFromUtf8(path));
    std::string reason;
    if (!out.create(reason)) return "cannot create " + path + ": " + reason;
    PngSink sink;
    sink.file = out.stream();
    const unsigned bandLines = 64;
    std::vector<uint8_t> band(size_t(width) * 3 * bandLines);
    bool ok = writeRows(sink, width, height, fill, context, bandLines, band.data());
    if (sink.png) png_destroy_write_struct(&sink.png, sink.info ? &sink.info : nullptr);
    if (!ok)
        return "cannot write " + path + (sink.message[0] ? std::string(": ") + sink.message : "");
    if (!out.commit(reason)) return "cannot write " + path + ": " + reason;
    return {};
}

}  // namespace inspect

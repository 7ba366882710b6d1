// fontbin-micro: Google Benchmark micro-benchmarks of the per-glyph stages the tool owns, on real
// glyph cells: placing and copying a FreeType bitmap (inside renderCell, next to FreeType's own
// work for comparison), shaping, packing and the glyph-record writer.
//
// Usage: fontbin-micro [--benchmark_filter=REGEX] [other Google Benchmark flags]
// The font is wqy-microhei.ttc from the system font folders, or FONTBIN_BENCH_FONT.
#include <benchmark/benchmark.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_GLYPH_H
#include FT_OUTLINE_H

#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

#include "output/FontFileWriter.h"
#include "output/OstreamSink.h"
#include "platform/platform.h"
#include "render/CellLayout.h"
#include "render/CvxText.h"
#include "render/Shape.h"

namespace {

std::string fontPath() {
    if (const char* env = std::getenv("FONTBIN_BENCH_FONT")) return env;
    if (auto found = platform::findSystemFont("wqy-microhei.ttc"))
        return platform::pathToUtf8(*found);
    return "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc";
}

// One rasteriser per size, opened once for all benchmarks.
CvxText& text(int fontSize) {
    static std::unique_ptr<CvxText> texts[256];
    std::unique_ptr<CvxText>& t = texts[fontSize];
    if (!t) {
        t = std::make_unique<CvxText>(fontPath());
        const std::array<double, 4> size{static_cast<double>(fontSize), 0, 0.1, 0};
        t->setSize(&size);
    }
    return *t;
}

FontSetSettings settingsFor(int fontSize, int renderMode, const char* scanMode = "H") {
    FontSetSettings s;
    s.font = "wqy-microhei.ttc";
    s.fontSize = fontSize;
    s.renderMode = renderMode;
    s.scanMode = scanMode;
    return s;
}

constexpr uint16_t kFirst = 0x4E00;
constexpr uint16_t kCount = 512;  // glyphs cycled through, so no single glyph stays in cache

// The upright 8-bit grey cells of kCount CJK glyphs, as renderGlyph hands them to shaping.
struct UprightCells {
    std::vector<GreyCell> cells;
    std::vector<GlyphPlacement> placements;
};
const UprightCells& uprightCells(int fontSize) {
    static std::unique_ptr<UprightCells> byIndex[256];
    std::unique_ptr<UprightCells>& out = byIndex[fontSize];
    if (out) return *out;
    out = std::make_unique<UprightCells>();
    const FontSetSettings s = settingsFor(fontSize, 8);
    const CellSize size = computeCellSize(s, 0);
    for (uint16_t i = 0; i < kCount; ++i) {
        IntPair extent{size.cols, size.rows};
        IntPair origin = extent;
        GlyphCell glyph = renderCell(size, static_cast<uint16_t>(kFirst + i), text(fontSize),
                                     extent, origin, s, TransformSettings{});
        out->cells.push_back(glyph.cell);
        // The placement shaping needs: the glyph box as the renderer reported it.
        GlyphPlacement p;
        p.W = size.cols;
        p.H = size.rows;
        p.x0 = 0;
        p.width = extent.x;
        p.y1 = extent.y;
        p.rows = extent.y;
        out->placements.push_back(p);
    }
    return *out;
}

// ---- The whole pipeline, FreeType included, for scale ----------------------------------------

void BM_RenderCell(benchmark::State& state) {
    const int fontSize = static_cast<int>(state.range(0));
    const int mode = static_cast<int>(state.range(1));
    const FontSetSettings s = settingsFor(fontSize, mode);
    const CellSize size = computeCellSize(s, 0);
    CvxText& t = text(fontSize);
    GlyphCell glyph;
    uint16_t i = 0;
    for (auto _ : state) {
        IntPair extent{size.cols, size.rows};
        IntPair origin = extent;
        renderCell(glyph, size, static_cast<uint16_t>(kFirst + i), t, extent, origin, s,
                   TransformSettings{});
        benchmark::DoNotOptimize(glyph.cell.data[0]);
        i = static_cast<uint16_t>((i + 1) % kCount);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RenderCell)->Args({16, 1})->Args({16, 4})->Args({32, 4});

// FreeType's part of BM_RenderCell alone: the same calls, nothing drawn. The difference between
// the two is the cost of placing, copying, shaping and packing.
void BM_FreeTypeOnly(benchmark::State& state) {
    const int fontSize = static_cast<int>(state.range(0));
    const int mode = static_cast<int>(state.range(1));
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    if (FT_Init_FreeType(&library) != 0 || FT_New_Face(library, fontPath().c_str(), 0, &face)) {
        state.SkipWithError("cannot open the font");
        return;
    }
    FT_Set_Pixel_Sizes(
        face, 0,
        static_cast<FT_UInt>(face->units_per_EM /
                             static_cast<double>(face->ascender - face->descender) * fontSize));
    uint16_t i = 0;
    for (auto _ : state) {
        FT_Load_Glyph(face, FT_Get_Char_Index(face, kFirst + i), FT_LOAD_DEFAULT);
        if (fontSize % 8 != 0) FT_Outline_Embolden(&face->glyph->outline, 4);
        FT_Glyph glyph = nullptr;
        FT_Get_Glyph(face->glyph, &glyph);
        FT_Glyph_To_Bitmap(&glyph, mode == 1 ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL, nullptr,
                           1);
        benchmark::DoNotOptimize(glyph);
        FT_Done_Glyph(glyph);
        i = static_cast<uint16_t>((i + 1) % kCount);
    }
    FT_Done_Face(face);
    FT_Done_FreeType(library);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FreeTypeOnly)->Args({16, 1})->Args({16, 4})->Args({32, 4});

// ---- Shaping ----------------------------------------------------------------------------------

void BM_ShapeCell(benchmark::State& state) {
    const int fontSize = static_cast<int>(state.range(0));
    const int variant = static_cast<int>(state.range(1));
    const UprightCells& upright = uprightCells(fontSize);
    FontSetSettings s = settingsFor(fontSize, 8, variant == 1 ? "V" : "H");
    TransformSettings t;
    if (variant == 2 || variant == 3) t.rotate = variant - 1;
    if (variant == 4) {
        t.TransformAlgrithm = "gamma";
        t.gamma = 2.2;
    }
    state.SetLabel(variant == 0   ? "none"
                   : variant == 1 ? "scan V"
                   : variant == 2 ? "rotate 1"
                   : variant == 3 ? "rotate 2"
                                  : "gamma 2.2");
    GreyCell cell;
    size_t i = 0;
    for (auto _ : state) {
        // Shaping works in place: start each time from the upright cell (a plain copy, see
        // BM_CopyCellOnly for its cost).
        const GreyCell& source = upright.cells[i];
        cell.createUncleared(source.rows, source.cols);
        std::memcpy(cell.data, source.data, source.total());
        IntPair extent{upright.placements[i].width, upright.placements[i].y1};
        shapeCell(cell, extent, upright.placements[i], s, t);
        benchmark::DoNotOptimize(cell.data[0]);
        i = (i + 1) % kCount;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ShapeCell)->ArgsProduct({{16, 32}, {0, 1, 2, 3, 4}});

// ---- Packing ----------------------------------------------------------------------------------

void BM_PackCell(benchmark::State& state) {
    const int fontSize = static_cast<int>(state.range(0));
    const int mode = static_cast<int>(state.range(1));
    const UprightCells& upright = uprightCells(fontSize);
    // Cells of the depth's own values: 0/255 at 1 bit (what FreeType's mono bitmaps give).
    std::vector<GreyCell> sources = upright.cells;
    if (mode == 1) {
        for (GreyCell& c : sources) {
            for (size_t k = 0; k < c.total(); ++k) c.data[k] = c.data[k] >= 128 ? 255 : 0;
        }
    }
    GreyCell cell = sources[0];
    size_t i = 0;
    size_t bytes = 0;
    for (auto _ : state) {
        // Packing overwrites the cell: restore it from its source first (a plain copy).
        std::memcpy(cell.data, sources[i].data, sources[i].total());
        bytes += packCell(cell, mode);
        benchmark::DoNotOptimize(cell.data[0]);
        i = (i + 1) % kCount;
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
}
BENCHMARK(BM_PackCell)->ArgsProduct({{16, 32}, {1, 2, 4, 8}});

// Copying a cell the size of the ones above, as the baseline for BM_PackCell.
void BM_CopyCellOnly(benchmark::State& state) {
    const UprightCells& upright = uprightCells(static_cast<int>(state.range(0)));
    GreyCell cell = upright.cells[0];
    size_t i = 0;
    for (auto _ : state) {
        std::memcpy(cell.data, upright.cells[i].data, upright.cells[i].total());
        benchmark::DoNotOptimize(cell.data[0]);
        i = (i + 1) % kCount;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CopyCellOnly)->Arg(16)->Arg(32);

// ---- Record writer ----------------------------------------------------------------------------

// A stream buffer that only counts: the writer's own work without a file behind it.
class CountingBuffer : public std::streambuf {
public:
    uint64_t count = 0;

protected:
    std::streamsize xsputn(const char*, std::streamsize n) override {
        count += static_cast<uint64_t>(n);
        return n;
    }
    int_type overflow(int_type c) override {
        ++count;
        return traits_type::not_eof(c);
    }
    pos_type seekoff(off_type off, std::ios_base::seekdir dir, std::ios_base::openmode) override {
        return dir == std::ios_base::beg ? pos_type(off) : pos_type(static_cast<off_type>(count));
    }
    pos_type seekpos(pos_type pos, std::ios_base::openmode) override { return pos; }
};

void BM_WriteGlyph(benchmark::State& state) {
    const int fontSize = static_cast<int>(state.range(0));
    const int mode = static_cast<int>(state.range(1));
    const bool crop = state.range(2) != 0;
    state.SetLabel(crop ? "trimmed" : "fixed");
    FontSetSettings s = settingsFor(fontSize, mode);
    s.crop = crop ? 1 : 0;
    const CellSize size = computeCellSize(s, 0);
    // The packed glyphs, rendered once.
    std::vector<GlyphCell> glyphs(kCount);
    std::vector<IntPair> extents(kCount), origins(kCount);
    for (uint16_t i = 0; i < kCount; ++i) {
        extents[i] = {size.cols, size.rows};
        origins[i] = extents[i];
        renderCell(glyphs[i], size, static_cast<uint16_t>(kFirst + i), text(fontSize), extents[i],
                   origins[i], s, TransformSettings{});
    }
    CountingBuffer buffer;
    std::ostream out(&buffer);
    OstreamSink sink(out);
    FontFileWriter writer(sink, s, 0);
    std::vector<uint16_t> charIndex(65536, 0xFFFF);
    writer.writeHeader(charIndex.data(), nullptr, 0);
    size_t i = 0;
    for (auto _ : state) {
        writer.writeGlyph(
            glyphs[i].packed(static_cast<uint16_t>(kFirst + i), extents[i], origins[i]));
        i = (i + 1) % kCount;
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(static_cast<int64_t>(writer.bytesWritten()));
}
BENCHMARK(BM_WriteGlyph)->ArgsProduct({{16, 32}, {1, 4}, {0, 1}});

}  // namespace

BENCHMARK_MAIN();

// The rasteriser on real fonts: opening, sizing, FreeType modes, placement against the baseline,
// styling, embedded bitmap strikes, FreeType failures, and shaping of real glyphs.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "RenderTestUtil.h"
#include "render/CellDump.h"
#include "render/CvxText.h"
#include "render/Shape.h"

using namespace rendertest;

namespace {

const std::string kDejaVu = FONTBIN_TEST_FONT_DEJAVU;
const std::string kZenHei = FONTBIN_TEST_FONT_ZENHEI;
const std::string kUnifont = FONTBIN_TEST_FONT_UNIFONT;
constexpr long kZenHeiSharp = 2;  // the face of wqy-zenhei.ttc that carries bitmap strikes

bool onlyZeroAnd255(const cv::Mat& pixels) {
    for (auto it = pixels.begin<uint8_t>(); it != pixels.end<uint8_t>(); ++it) {
        if (*it != 0 && *it != 255) return false;
    }
    return true;
}

std::vector<char> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void putBigEndian16(std::vector<char>& bytes, size_t at, int value) {
    bytes[at] = static_cast<char>((value >> 8) & 0xFF);
    bytes[at + 1] = static_cast<char>(value & 0xFF);
}

// Offset of an sfnt table, or 0.
size_t tableOffset(const std::vector<char>& font, const char* tag) {
    auto u16 = [&](size_t at) {
        return (static_cast<unsigned char>(font[at]) << 8) |
               static_cast<unsigned char>(font[at + 1]);
    };
    const size_t tables = u16(4);
    for (size_t i = 0; i < tables; ++i) {
        const size_t record = 12 + 16 * i;
        if (std::string(font.data() + record, 4) == tag) {
            size_t offset = 0;
            for (int b = 0; b < 4; ++b)
                offset = (offset << 8) | static_cast<unsigned char>(font[record + 8 + b]);
            return offset;
        }
    }
    return 0;
}

}  // namespace

// ---- Opening and sizing -----------------------------------------------------------------------

TEST(CvxText, OpenFailuresNameTheFileAndTheCall) {
    TempWorkDir dir;
    try {
        CvxText text("no-such-font.ttf");
        FAIL() << "opened a missing file";
    } catch (const FontError& e) {
        const std::string message = e.what();
        EXPECT_NE(message.find("no-such-font.ttf"), std::string::npos) << message;
        EXPECT_NE(message.find("FT_New_Face"), std::string::npos) << message;
        EXPECT_EQ(message.find('\n'), std::string::npos) << message;
    }

    std::ofstream("notes.ttf") << "not a font at all\n";
    EXPECT_THROW(CvxText("notes.ttf"), FontError);
    EXPECT_THROW(CvxText(kDejaVu, 5), FontError);  // DejaVu Sans has one face
}

TEST(CvxText, AscenderEqualToDescenderIsAnUnusableFont) {
    TempWorkDir dir;
    std::vector<char> font = readFile(kDejaVu);
    const size_t hhea = tableOffset(font, "hhea");
    const size_t os2 = tableOffset(font, "OS/2");
    ASSERT_NE(hhea, 0u);
    ASSERT_NE(os2, 0u);
    for (size_t at : {hhea + 4, hhea + 6, os2 + 68, os2 + 70}) putBigEndian16(font, at, 700);
    std::ofstream("flat.ttf", std::ios::binary).write(font.data(), static_cast<long>(font.size()));
    ASSERT_EQ(faceMetrics("flat.ttf").ascender, faceMetrics("flat.ttf").descender);

    try {
        CvxText text("flat.ttf");
        FAIL() << "accepted a font without line height";
    } catch (const FontError& e) {
        const std::string message = e.what();
        EXPECT_NE(message.find("flat.ttf"), std::string::npos) << message;
        EXPECT_NE(message.find("ascender"), std::string::npos) << message;
    }
}

TEST(CvxText, HasGlyphFollowsTheCharacterMap) {
    CvxText dejavu(kDejaVu);
    CvxText zenhei(kZenHei);  // a collection: face 0
    EXPECT_TRUE(dejavu.hasGlyph('A'));
    EXPECT_FALSE(dejavu.hasGlyph(0x4E2D));
    EXPECT_TRUE(zenhei.hasGlyph(0x4E2D));
    EXPECT_FALSE(dejavu.hasGlyph(0xE000));
}

TEST(CvxText, PixelSizeIsTheTruncatedLineSpanShare) {
    // DejaVu Sans: 2048 units per em over a 2384-unit line span. 36 pixels of span give
    // 30.92 pixels per em, set as 30 (rounding would say 31).
    const FaceMetrics m = faceMetrics(kDejaVu);
    ASSERT_EQ(ppemFor(m, 36), 30u);
    CvxText text(kDejaVu);
    const FontSetSettings s = makeSettings(32, 8);  // a multiple of 8: no emboldening
    const Rendered got = render(sizedText(text, 36), 'H', s, {}, CellSize{48, 32, 48});
    const RefGlyph at30 = refGlyph(kDejaVu, 30, 'H', false);
    const RefGlyph at31 = refGlyph(kDejaVu, 31, 'H', false);
    ASSERT_NE(ink(at30.pixels), ink(at31.pixels));
    EXPECT_EQ(ink(got.pixels), ink(at30.pixels));
    EXPECT_EQ(got.extent.y - (got.origin.y - at30.top), at30.pixels.rows);

    // Unifont's span is exactly one em: the face is set to the font size itself.
    const FaceMetrics u = faceMetrics(kUnifont);
    ASSERT_EQ(u.unitsPerEm, u.ascender - u.descender);
    CvxText unifont(kUnifont);
    const Rendered a = render(sizedText(unifont, 16), 'A', makeSettings(16, 1));
    const RefGlyph ref = refGlyph(kUnifont, 16, 'A', true);
    EXPECT_TRUE(sameCell(a.pixels, placedAt(ref.pixels, 16, 16, ref.left, 14 - ref.top)));
}

// ---- Rendering and placement ------------------------------------------------------------------

TEST(RenderCell, MatchesFreeTypeAtEachDepth) {
    // At a size on the 8-pixel grid nothing is emboldened: the cell is FreeType's own rendering,
    // MONO for one bit and 8-bit grey (then quantised) for the others, placed on the baseline.
    const FaceMetrics m = faceMetrics(kDejaVu);
    const int baseline = baselineRow(m.ascender, m.descender, 16);
    CvxText text(kDejaVu);
    sizedText(text, 16);
    for (int mode : {1, 2, 4, 8}) {
        for (uint16_t code : {uint16_t{'A'}, uint16_t{'g'}, uint16_t{'%'}}) {
            SCOPED_TRACE("mode " + std::to_string(mode) + ", code " + std::to_string(code));
            const Rendered got = render(text, code, makeSettings(16, mode));
            const RefGlyph ref = refGlyph(kDejaVu, ppemFor(m, 16), code, mode == 1);
            GreyCell placed = toGrey(placedAt(ref.pixels, 16, 16, ref.left, baseline - ref.top));
            const size_t n = packCell(placed, mode);
            const cv::Mat expected = toMat(unpackCell(placed.data, n, 16, 16, mode));
            EXPECT_TRUE(sameCell(got.pixels, expected));
            EXPECT_EQ(got.glyph.packedSize, static_cast<size_t>(16 * 16 * mode / 8));
            EXPECT_EQ(got.extent.x, ref.left + ref.pixels.cols);
            EXPECT_EQ(got.extent.y, baseline - ref.top + ref.pixels.rows);
            EXPECT_EQ(got.origin.x, 0);
            EXPECT_EQ(got.origin.y, baseline);
        }
    }
}

TEST(RenderCell, PlacementClampsIntoTheCell) {
    // DejaVu Sans at 32: 27 pixels per em, baseline on row 25. Each case states the glyph fact
    // it relies on, so a different FreeType cannot silently turn it into the natural case.
    const FaceMetrics m = faceMetrics(kDejaVu);
    const unsigned ppem = ppemFor(m, 32);
    const int baseline = baselineRow(m.ascender, m.descender, 32);
    ASSERT_EQ(baseline, 25);
    CvxText text(kDejaVu);
    sizedText(text, 32);
    const FontSetSettings s = makeSettings(32, 8);

    {
        SCOPED_TRACE("negative left bearing: J starts in column 0");
        const RefGlyph ref = refGlyph(kDejaVu, ppem, 'J', false);
        ASSERT_LT(ref.left, 0);
        const Rendered got = render(text, 'J', s);
        EXPECT_TRUE(sameCell(got.pixels, placedAt(ref.pixels, 32, 32, 0, baseline - ref.top)));
        EXPECT_EQ(got.origin.x, -ref.left);
        EXPECT_EQ(got.extent.x, ref.pixels.cols);
    }
    {
        SCOPED_TRACE("too wide: W in an 8-column cell keeps its right part");
        const RefGlyph ref = refGlyph(kDejaVu, ppem, 'W', false);
        ASSERT_GE(ref.left, 0);
        ASSERT_GT(ref.left + ref.pixels.cols, 8);
        const Rendered got = render(text, 'W', s, {}, CellSize{32, 32, 8});
        const int x0 = 8 - ref.pixels.cols;
        EXPECT_TRUE(sameCell(got.pixels, placedAt(ref.pixels, 32, 8, x0, baseline - ref.top)));
        EXPECT_EQ(got.extent.x, 8);
        EXPECT_EQ(got.origin.x, x0 - ref.left);
    }
    {
        SCOPED_TRACE("above the cell: the ring of A-ring reaches above the baseline row's top");
        const RefGlyph ref = refGlyph(kDejaVu, ppem, 0x00C5, false);
        ASSERT_GT(ref.top, baseline);
        const Rendered got = render(text, 0x00C5, s);
        EXPECT_TRUE(sameCell(got.pixels, placedAt(ref.pixels, 32, 32, ref.left, 0)));
        EXPECT_EQ(got.extent.y, ref.pixels.rows);
        EXPECT_EQ(got.origin.y, ref.top);
    }
    {
        SCOPED_TRACE("below the cell: g in an 8-row cell ends on the last row");
        const RefGlyph ref = refGlyph(kDejaVu, ppem, 'g', false);
        ASSERT_GT(baseline - ref.top + ref.pixels.rows, 8);
        const Rendered got = render(text, 'g', s, {}, CellSize{8, 32, 32});
        const int y0 = 8 - ref.pixels.rows;
        EXPECT_TRUE(sameCell(got.pixels, placedAt(ref.pixels, 8, 32, ref.left, y0)));
        EXPECT_EQ(got.extent.y, 8);
        EXPECT_EQ(got.origin.y, y0 + ref.top);
    }
    {
        SCOPED_TRACE("space: nothing drawn, extent at the pen");
        const Rendered got = render(text, ' ', s);
        EXPECT_EQ(ink(got.pixels), 0);
        EXPECT_EQ(got.extent.x, 0);
        EXPECT_EQ(got.extent.y, baseline);
        EXPECT_EQ(got.origin.y, baseline);
    }
}

TEST(RenderCell, OneBitCellsHoldOnlyFullPixels) {
    // MONO rendering: each packed bit is FreeType's own pixel decision, not a threshold of grey.
    CvxText text(kDejaVu);
    sizedText(text, 24);
    const FaceMetrics m = faceMetrics(kDejaVu);
    const int baseline = baselineRow(m.ascender, m.descender, 24);
    const RefGlyph mono = refGlyph(kDejaVu, ppemFor(m, 24), '@', true);
    ASSERT_EQ(mono.pixelMode, 1);  // FT_PIXEL_MODE_MONO
    const Rendered got = render(text, '@', makeSettings(24, 1));
    EXPECT_TRUE(
        sameCell(got.pixels, placedAt(mono.pixels, 24, 24, mono.left, baseline - mono.top)));
}

TEST(RenderCell, EmboldeningDependsOnSizeAndBold) {
    // Off the 8-pixel grid every outline gains a sixteenth of a pixel; bold adds a whole pixel.
    CvxText text(kDejaVu);
    const FaceMetrics m = faceMetrics(kDejaVu);
    struct Case {
        int fontSize, bold;
        double minRatio, maxRatio;  // ink of the cell over FreeType's plain rendering
    };
    const Case cases[] = {
        {16, 0, 1.0, 1.0},   {24, 0, 1.0, 1.0}, {18, 0, 1.01, 1.15},
        {20, 0, 1.01, 1.15}, {16, 1, 1.4, 2.5}, {18, 1, 1.4, 2.5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("size " + std::to_string(c.fontSize) + " bold " + std::to_string(c.bold));
        sizedText(text, c.fontSize);
        const Rendered got = render(text, 'H', makeSettings(c.fontSize, 8, "H", c.bold));
        const RefGlyph plain = refGlyph(kDejaVu, ppemFor(m, c.fontSize), 'H', false);
        const double ratio = ink(got.pixels) / ink(plain.pixels);
        EXPECT_GE(ratio, c.minRatio);
        EXPECT_LE(ratio, c.maxRatio);
    }
}

TEST(RenderCell, ItalicSlantsToTheRight) {
    // 'l' is a vertical stem: slanted, its top rows sit further right than its bottom rows.
    CvxText text(kDejaVu);
    sizedText(text, 32);
    FontSetSettings s = makeSettings(32, 8, "H", 0, 1);
    const Rendered got = render(text, 'l', s);
    ASSERT_EQ(got.pixels.cols, 48);  // one and a half times the size
    auto firstInk = [&](int row) {
        for (int c = 0; c < got.pixels.cols; ++c) {
            if (got.pixels.at<uint8_t>(row, c) > 128) return c;
        }
        return -1;
    };
    const int top = got.extent.y - 19;  // near the top of the 20-row stem
    const int bottom = got.extent.y - 2;
    ASSERT_GE(firstInk(top), 0) << cellToAscii(got.pixels);
    EXPECT_GE(firstInk(top) - firstInk(bottom), 4) << cellToAscii(got.pixels);
}

TEST(RenderCell, EmbeddedMonoStrikesAreReadAsBits) {
    // The Sharp face of WenQuanYi Zen Hei carries 1-bit strikes for 12 to 16 pixels per em,
    // reached at font sizes 16 to 21. FreeType hands them back as MONO bitmaps even when grey
    // levels are asked for; read as bytes they would be garbage.
    const FaceMetrics m = faceMetrics(kZenHei, kZenHeiSharp);
    CvxText text(kZenHei, kZenHeiSharp);
    for (int fontSize : {16, 19, 21}) {
        SCOPED_TRACE("size " + std::to_string(fontSize));
        const RefGlyph strike =
            refGlyph(kZenHei, ppemFor(m, fontSize), 0x4E2D, false, kZenHeiSharp);
        ASSERT_TRUE(strike.bitmapSlot);
        ASSERT_EQ(strike.pixelMode, 1);  // FT_PIXEL_MODE_MONO
        sizedText(text, fontSize);
        const FontSetSettings one = makeSettings(fontSize, 1);
        const Rendered bits1 = render(text, 0x4E2D, one);
        const int baseline = baselineRow(m.ascender, m.descender, fontSize);
        const cv::Mat expected = placedAt(strike.pixels, bits1.pixels.rows, bits1.pixels.cols,
                                          strike.left, baseline - strike.top);
        EXPECT_TRUE(sameCell(bits1.pixels, expected));
        for (int mode : {4, 8}) {
            SCOPED_TRACE("mode " + std::to_string(mode));
            const Rendered grey = render(text, 0x4E2D, makeSettings(fontSize, mode));
            EXPECT_TRUE(onlyZeroAnd255(grey.pixels)) << cellToAscii(grey.pixels);
            EXPECT_TRUE(sameCell(grey.pixels, expected));
        }
    }
    // Face 0, the one the export uses, has no strikes: its outlines are grey as usual.
    CvxText face0(kZenHei);
    const Rendered outline = render(sizedText(face0, 16), 0x4E2D, makeSettings(16, 8));
    EXPECT_FALSE(onlyZeroAnd255(outline.pixels));
}

TEST(RenderCell, FreeTypeFailureGivesAnEmptyPackedCell) {
    // Absurd pixel sizes make each FreeType step fail in turn; the cell comes back blank and
    // packed, with extent and origin as they came in.
    struct Case {
        std::string font;
        double span;
        uint16_t code;
        const char* failing;
    };
    const FaceMetrics dejavu = faceMetrics(kDejaVu);
    const Case cases[] = {
        {kUnifont, 40000, 'A', "FT_Load_Glyph"},
        {kDejaVu, 80000, 'A', "FT_Get_Glyph"},        // advance beyond FreeType's limit
        {kDejaVu, 58204, '|', "FT_Glyph_To_Bitmap"},  // bitmap taller than 0x7FFF rows
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.failing);
        const unsigned ppem = c.font == kDejaVu ? ppemFor(dejavu, static_cast<int>(c.span))
                                                : static_cast<unsigned>(c.span);
        ASSERT_EQ(failingStep(c.font, std::min(ppem, 65535u), c.code), c.failing);
        CvxText text(c.font);
        const std::array<double, 4> size{c.span, 0, 0.1, 0};
        text.setSize(&size);
        for (int mode : {1, 8}) {
            const FontSetSettings s = makeSettings(16, mode, "V", 1, 1);
            TransformSettings t;
            t.rotate = 1;
            const Rendered got = render(text, c.code, s, t, CellSize{16, 16, 16});
            EXPECT_EQ(got.glyph.packedSize, static_cast<size_t>(16 * 16 * mode / 8));
            EXPECT_EQ(ink(got.pixels), 0);
            EXPECT_EQ(got.extent.x, 16);
            EXPECT_EQ(got.extent.y, 16);
            EXPECT_EQ(got.origin.x, 16);
            EXPECT_EQ(got.origin.y, 16);
        }
    }
}

TEST(RenderCell, CellWithoutPixelsIsNotRendered) {
    CvxText text(kDejaVu);
    sizedText(text, 16);
    IntPair extent{7, 9};
    IntPair origin{3, 4};
    const GlyphCell empty = renderCell(CellSize{0, 16, 16}, 'A', text, extent, origin,
                                       makeSettings(16, 1), TransformSettings{});
    EXPECT_TRUE(empty.cell.empty());
    EXPECT_EQ(empty.packedSize, 0u);
    EXPECT_EQ(extent.x, 7);
    EXPECT_EQ(origin.y, 4);
}

TEST(RenderCell, PackedViewDescribesTheShapedCell) {
    CvxText text(kDejaVu);
    sizedText(text, 16);
    const FontSetSettings s = makeSettings(16, 2, "V");
    const CellSize size = exportCellSize(s, 0);
    ASSERT_EQ(size.rows, 16);
    IntPair extent{size.cols, size.rows};
    IntPair origin{size.cols, size.rows};
    const GlyphCell glyph = renderCell(size, 'T', text, extent, origin, s, TransformSettings{});
    const PackedGlyph view = glyph.packed('T', extent, origin);
    EXPECT_EQ(view.code, 'T');
    EXPECT_EQ(view.data, glyph.cell.data);
    EXPECT_EQ(view.size, 64u);
    EXPECT_EQ(view.rows, 16);
    EXPECT_EQ(view.cols, 16);
    EXPECT_EQ(view.extent.x, extent.x);
    EXPECT_EQ(view.origin.y, origin.y);
}

TEST(RenderCell, ReusedCellGivesWhatAFreshCellGives) {
    // The export loop draws every character into one GlyphCell. Nothing of an earlier glyph may
    // show through: not its pixels, not its shape after a transposition or turn.
    CvxText text(kDejaVu);
    struct Case {
        int fontSize, mode;
        const char* scan;
        int rotate;
        uint16_t code;
    };
    const Case cases[] = {
        {32, 8, "H", 0, 'W'}, {16, 1, "H", 0, 'i'}, {16, 4, "V", 0, 'M'},
        {16, 1, "H", 0, ' '}, {18, 2, "H", 1, 'L'}, {18, 8, "H", 2, 'g'},
        {12, 1, "V", 1, 'Q'}, {32, 4, "H", 2, '@'}, {12, 8, "H", 0, '.'},
    };
    GlyphCell reused;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(1, static_cast<char>(c.code)) + " size " +
                     std::to_string(c.fontSize) + " scan " + c.scan + " rotate " +
                     std::to_string(c.rotate));
        sizedText(text, c.fontSize);
        const FontSetSettings s = makeSettings(c.fontSize, c.mode, c.scan);
        TransformSettings t;
        t.rotate = c.rotate;
        const CellSize size = exportCellSize(s, c.rotate);
        IntPair freshExtent{size.cols, size.rows}, freshOrigin = freshExtent;
        const GlyphCell fresh = renderCell(size, c.code, text, freshExtent, freshOrigin, s, t);
        IntPair extent{size.cols, size.rows}, origin = extent;
        renderCell(reused, size, c.code, text, extent, origin, s, t);
        ASSERT_EQ(reused.packedSize, fresh.packedSize);
        EXPECT_EQ(reused.cell.rows, fresh.cell.rows);
        EXPECT_EQ(reused.cell.cols, fresh.cell.cols);
        EXPECT_EQ(std::vector<uint8_t>(reused.cell.data, reused.cell.data + reused.packedSize),
                  std::vector<uint8_t>(fresh.cell.data, fresh.cell.data + fresh.packedSize));
        EXPECT_EQ(extent.x, freshExtent.x);
        EXPECT_EQ(extent.y, freshExtent.y);
        EXPECT_EQ(origin.x, freshOrigin.x);
        EXPECT_EQ(origin.y, freshOrigin.y);
    }
}

// ---- Shaping real glyphs ----------------------------------------------------------------------

TEST(RenderCell, ScanOrderAndRotationMoveTheUprightPixels) {
    // The upright cell of 'L' (16 rows x 24 columns, so a turn changes the shape), against the same
    // glyph under each scan order and turn.
    const FaceMetrics m = faceMetrics(kDejaVu);
    const RefGlyph ref = refGlyph(kDejaVu, ppemFor(m, 16), 'L', false);
    CvxText text(kDejaVu);
    sizedText(text, 16);
    const CellSize size{16, 16, 24};
    const Rendered upright = render(text, 'L', makeSettings(16, 8), {}, size);
    const int H = 16, W = 24;
    const int x0 = upright.extent.x - ref.pixels.cols;
    const int y1 = upright.extent.y;
    const int y0 = y1 - ref.pixels.rows;
    const cv::Mat& up = upright.pixels;

    struct Case {
        const char* scan;
        int rotate;
    };
    for (const Case c : {Case{"V", 0}, Case{"v", 0}, Case{"H", 1}, Case{"H", 2}, Case{"V", 1}}) {
        SCOPED_TRACE(std::string(c.scan) + " rotate " + std::to_string(c.rotate));
        TransformSettings t;
        t.rotate = c.rotate;
        const Rendered got = render(text, 'L', makeSettings(16, 8, c.scan), t, size);
        cv::Mat expected;
        IntPair extent = upright.extent;
        const bool vertical = c.scan[0] == 'V' || c.scan[0] == 'v';
        if (c.rotate == 0) {
            expected = up.t();
        } else if (c.rotate == 1) {
            cv::flip(vertical ? up : cv::Mat(up.t()), expected, 1);
            extent = {H - y0, x0 + ref.pixels.cols};
        } else {
            expected = cv::Mat::zeros(W, H, CV_8UC1);
            for (int r = 0; r < H; ++r) {
                for (int col = 0; col < W; ++col) {
                    const int row = 2 * x0 + ref.pixels.cols - 1 - col;
                    if (row >= 0 && row < W) expected.at<uint8_t>(row, r) = up.at<uint8_t>(r, col);
                }
            }
            extent = {y1, x0 + ref.pixels.cols};
        }
        EXPECT_TRUE(sameCell(got.pixels, expected));
        EXPECT_EQ(got.extent.x, extent.x);
        EXPECT_EQ(got.extent.y, extent.y);
        EXPECT_EQ(got.origin.x, upright.origin.x);  // origin stays in upright terms
        EXPECT_EQ(got.origin.y, upright.origin.y);
    }
}

TEST(RenderCell, GammaAppliesBeforePacking) {
    CvxText text(kDejaVu);
    sizedText(text, 16);
    const Rendered plain = render(text, 'o', makeSettings(16, 8));
    TransformSettings t;
    t.TransformAlgrithm = "gamma";
    t.gamma = 2.0;
    const Rendered corrected = render(text, 'o', makeSettings(16, 8), t);
    cv::Mat expected = plain.pixels.clone();
    for (auto it = expected.begin<uint8_t>(); it != expected.end<uint8_t>(); ++it) {
        *it = gammaCorrect(*it, 2.0);
    }
    EXPECT_TRUE(sameCell(corrected.pixels, expected));
    EXPECT_LT(ink(corrected.pixels), ink(plain.pixels));
}

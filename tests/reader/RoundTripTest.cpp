// Round trip through the real tool: fontbin writes a font file from a real font, the device
// reader decodes every glyph, and each must equal the packed cell the renderer produces for the
// same character with the same settings. Fixed records must hold the cell byte for byte; trimmed
// records must give the same ink at the same place. fontbin-inspect must accept every file.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "config/FontConfig.h"
#include "config/Settings.h"
#include "driver/CellGeometry.h"
#include "reader/fontbin_reader.h"
#include "render/CvxText.h"
#include "support/Sandbox.h"
#include "tools/inspect/Inspect.h"

namespace {

namespace fs = std::filesystem;
using testing_support::readBytes;
using testing_support::ToolSandbox;

struct RunCase {
    int layout;  // 0 glyph table, 1 code list, 2 offset table
    int bpp;
    std::string scan;
    int rotate;
    bool bold;
    bool italic;
    int fontSize;
    bool gamma;
};

std::string caseName(const RunCase& c) {
    static const char* const layouts[] = {"table", "list", "crop"};
    std::string scan = c.scan == "V" ? "V" : (c.scan == "v" ? "v_lower" : c.scan);
    return std::string(layouts[c.layout]) + "_bits" + std::to_string(c.bpp) + "_" + scan +
           "_rotate" + std::to_string(c.rotate) + "_size" + std::to_string(c.fontSize) +
           (c.bold ? "_bold" : "") + (c.italic ? "_italic" : "") + (c.gamma ? "_gamma" : "");
}

void PrintTo(const RunCase& c, std::ostream* os) {
    *os << caseName(c);
}

// Every layout and depth with row and column scanning, unturned and turned; the four style
// combinations go round the depths, so each layout, scan and rotation meets all of them. Then
// the lower-case "v", the other turn, a longer "V" text and gamma correction.
std::vector<RunCase> allCases() {
    std::vector<RunCase> cases;
    const int depths[] = {1, 2, 4, 8};
    for (int layout = 0; layout < 3; ++layout)
        for (const char* scan : {"H", "V"})
            for (int rotate : {0, 1})
                for (int d = 0; d < 4; ++d)
                    cases.push_back(RunCase{layout, depths[d], scan, rotate, (d & 1) != 0,
                                            (d & 2) != 0, d % 2 ? 16 : 13, false});
    for (int layout = 0; layout < 3; ++layout) {
        cases.push_back(RunCase{layout, 1, "v", 0, false, true, 13, false});
        cases.push_back(RunCase{layout, 2, "v", 2, true, false, 12, false});
        cases.push_back(RunCase{layout, 4, "H", 2, false, true, 13, false});
        cases.push_back(RunCase{layout, 8, "VH", 2, false, false, 11, true});
    }
    return cases;
}

fb_scan scanOf(const std::string& text) {
    if (!text.empty() && text[0] == 'V') return FB_SCAN_COLUMNS;
    if (!text.empty() && text[0] == 'v') return FB_SCAN_COLUMNS_ROW_SIZED;
    return FB_SCAN_ROWS;
}

unsigned packedPixel(const PackedGlyph& p, int bpp, unsigned x, unsigned y) {
    size_t bit = (static_cast<size_t>(y) * p.cols + x) * bpp;
    return (p.data[bit / 8] >> (bit % 8)) & ((1u << bpp) - 1);
}

class RoundTrip : public ::testing::TestWithParam<RunCase> {};

TEST_P(RoundTrip, EveryGlyphDecodesToTheRenderedCell) {
    const RunCase& c = GetParam();
    ASSERT_TRUE(fs::exists(testing_support::binary("fontbin"))) << FONTBIN_BIN_DIR;
    ToolSandbox box;
    box.addFont(FONTBIN_TEST_FONT_DEJAVU, "DejaVuSans.ttf");
    const bool crop = c.layout == 2, indexList = c.layout == 1;
    // ASCII, Latin-1 letters, a full block, a CJK character that DejaVu Sans lacks (its
    // .notdef box is drawn), and format characters that DejaVu Sans draws empty and the
    // fallback font draws as boxes.
    const std::string config =
        R"({"customerVals": [{"firstVal": "0x20", "range": "95"}, {"firstVal": "0xC0", "range": "64"},
            {"firstVal": "0x2588", "range": "1"}, {"firstVal": "0x4E2D", "range": "1"},
            {"firstVal": "0x200B", "range": "5"}, {"firstVal": "0x2060", "range": "1"}],
           "fontSet": {"font": "DejaVuSans.ttf", "fontSize": )" +
        std::to_string(c.fontSize) + R"(, "scanMode": ")" + c.scan + R"(", "bold": )" +
        (c.bold ? "true" : "false") + R"(, "italic": )" + (c.italic ? "true" : "false") +
        R"(, "renderMode": )" + std::to_string(c.bpp) + R"(, "indexMethod": )" +
        (indexList ? "1" : "0") + R"(, "crop": )" + (crop ? "1" : "0") + "}}";
    box.writeConfig(config);
    testing_support::writeFile(box.project() / "setting.ini",
                               "[Setting]\nrotate=" + std::to_string(c.rotate) + "\n" +
                                   (c.gamma ? "TransformAlgrithm=gamma\ngamma=0.6\n" : ""));
    auto run = box.run({"FontConfig.json"});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string stem =
        "DejaVuSans_size" + std::to_string(c.fontSize) + "_bits" + std::to_string(c.bpp);
    const std::vector<uint8_t> file = readBytes(box.project() / (stem + "_font.bin"));
    const std::vector<uint8_t> list = readBytes(box.project() / (stem + "_out.cst"));
    ASSERT_EQ(list.size(), 2u * (95 + 64 + 2 + 6));

    fb_font font;
    ASSERT_EQ(fb_open(file.data(), file.size(), &font), FB_OK) << font.error_detail;
    ASSERT_EQ(fb_check_font(&font), FB_OK) << font.error_detail;  // counts trimmed records too
    ASSERT_EQ(fb_set_geometry_for(&font, scanOf(c.scan), c.rotate), FB_OK);
    if (c.rotate == 0 && (c.scan == "H" || c.scan == "V")) {
        fb_geometry header{};  // the header alone gives this cell
        fb_default_geometry(&font, &header);
        EXPECT_EQ(header.rows, font.geometry.rows);
        EXPECT_EQ(header.cols, font.geometry.cols);
    }

    // The renderer, set up as the export loop sets it up.
    FontSetSettings settings;
    settings.font = "DejaVuSans.ttf";
    settings.fontSize = c.fontSize;
    settings.scanMode = c.scan;
    settings.bold = c.bold;
    settings.italic = c.italic;
    settings.renderMode = c.bpp;
    settings.indexMethod = indexList;
    settings.crop = crop;
    TransformSettings transform;
    transform.rotate = c.rotate;
    if (c.gamma) {
        transform.TransformAlgrithm = "gamma";
        transform.gamma = 0.6;
    }
    const CellSize cellSize = computeCellSize(settings, c.rotate);
    const std::array<double, 4> size{static_cast<double>(c.fontSize), 0, 0.1, 0};
    CvxText primary(FONTBIN_TEST_FONT_DEJAVU);
    primary.setSize(&size);
    CvxText fallback((box.toolDir() / "font" / "unifont.ttf").string());
    fallback.setSize(&size);

    size_t inked = 0, records = 0, fallbacks = 0, fallbackInk = 0;
    for (size_t i = 0; i < list.size(); i += 2) {
        const uint16_t code = static_cast<uint16_t>(list[i] | list[i + 1] << 8);
        SCOPED_TRACE(code);
        const size_t fallbacksBefore = fallbacks;
        IntPair extent{cellSize.cols, cellSize.rows}, origin{cellSize.cols, cellSize.rows};
        GlyphCell cell = renderCell(cellSize, code, primary, extent, origin, settings, transform);
        auto blank = [](const GlyphCell& g) {
            for (size_t k = 0; k < g.packedSize; ++k)
                if (g.cell.data[k]) return false;
            return true;
        };
        if (blank(cell)) {
            ++fallbacks;
            extent = IntPair{cellSize.cols, cellSize.rows};
            origin = IntPair{cellSize.cols, cellSize.rows};
            cell = renderCell(cellSize, code, fallback, extent, origin, settings, transform);
        }
        const PackedGlyph p = cell.packed(code, extent, origin);
        const bool ink = !blank(cell);
        inked += ink;
        fallbackInk += ink && fallbacks != fallbacksBefore;

        fb_glyph g;
        const fb_error err = fb_find_glyph(&font, code, &g);
        if (crop && !ink) {
            EXPECT_EQ(err, FB_ERR_NOT_FOUND);
            continue;
        }
        ASSERT_EQ(err, FB_OK);
        ++records;
        const char* why = nullptr;
        EXPECT_EQ(fb_check_glyph(&g, &why), FB_OK) << why;
        EXPECT_EQ(g.origin_y, static_cast<uint8_t>(origin.y));
        if (!crop) {
            // The whole packed cell, byte for byte, behind the renderer's four metric bytes.
            EXPECT_EQ(g.origin_x, static_cast<uint8_t>(origin.x));
            EXPECT_EQ(g.extent_x, static_cast<uint8_t>(extent.x));
            EXPECT_EQ(g.extent_y, static_cast<uint8_t>(extent.y));
            ASSERT_EQ(g.bits_size, p.size);
            EXPECT_EQ(std::memcmp(g.bits, p.data, p.size), 0);
        }
        if (!ink) continue;
        // A glyph with ink was shaped into the cell the reader uses.
        ASSERT_EQ(static_cast<unsigned>(p.rows), g.rows);
        ASSERT_EQ(static_cast<unsigned>(p.cols), g.cols);
        int wrong = 0;
        for (unsigned y = 0; y < g.rows; ++y)
            for (unsigned x = 0; x < g.cols; ++x)
                wrong += fb_glyph_pixel(&g, x, y) != packedPixel(p, c.bpp, x, y);
        EXPECT_EQ(wrong, 0) << "pixels differ from the rendered cell";
    }
    EXPECT_GT(inked, 150u);
    EXPECT_GE(fallbackInk, 6u);  // U+200B..U+200F and U+2060 come from the fallback font
    EXPECT_EQ(records, font.glyph_count);

    // The inspector accepts the file, shows a glyph and draws the sheet.
    auto inspect =
        testing_support::runProgram(testing_support::binary("fontbin-inspect"),
                                    {stem + "_font.bin", "--rotate", std::to_string(c.rotate),
                                     "--scan", c.scan, "--show", "A", "--sheet", "sheet.png"},
                                    box.project());
    EXPECT_EQ(inspect.status, 0) << inspect.err;
    EXPECT_NE(inspect.out.find("check       ok"), std::string::npos) << inspect.out;
    EXPECT_TRUE(fs::exists(box.project() / "sheet.png"));
}

INSTANTIATE_TEST_SUITE_P(RealTool, RoundTrip, ::testing::ValuesIn(allCases()),
                         [](const ::testing::TestParamInfo<RunCase>& info) {
                             return caseName(info.param);
                         });

}  // namespace

namespace {

// The text preview undoes the scan order and the rotation: the same text in the same font looks
// the same whichever way the file stores it (at 16 px every one of these cells is 16 x 16). With
// advance widths (a width file, or the compact file's own) the text is spaced by them instead.
TEST(RoundTripPreview, TextLooksTheSameWhateverTheScanAndRotation) {
    ASSERT_TRUE(fs::exists(testing_support::binary("fontbin"))) << FONTBIN_BIN_DIR;
    enum Widths { kInk, kWidthFile, kCompact };
    const struct {
        const char* scan;
        int rotate;
        int bpp;
        int crop;
        Widths widths = kInk;
    } cases[] = {{"H", 0, 1, 0},           {"V", 0, 1, 0},
                 {"H", 1, 1, 0},           {"H", 2, 1, 0},
                 {"H", 0, 1, 1},           {"V", 0, 1, 1},
                 {"H", 1, 1, 1},           {"H", 2, 1, 1},
                 {"H", 0, 4, 0},           {"V", 0, 4, 0},
                 {"H", 1, 4, 0},           {"H", 0, 1, 1, kWidthFile},
                 {"H", 0, 1, 0, kCompact}, {"V", 0, 1, 0, kCompact},
                 {"H", 1, 1, 0, kCompact}, {"H", 0, 4, 1, kWidthFile},
                 {"V", 0, 4, 0, kCompact}, {"H", 1, 4, 0, kCompact}};
    // Not {"H", 2, 4}: the counter-clockwise turn moves each glyph by an amount that depends on
    // its bitmap's first column, which the file does not keep; the preview takes the first
    // column with ink, and a column of greys too faint for 4 bits shifts the glyph a pixel.
    // Nor the turn in the compact layout: it keeps the ink box, not the bitmap's right edge,
    // which the turn's shift depends on as well.
    std::string reference[4];
    for (const auto& c : cases) {
        ToolSandbox box;
        box.addFont(FONTBIN_TEST_FONT_DEJAVU, "DejaVuSans.ttf");
        box.writeConfig(std::string(R"({"customerVals": [{"firstVal": "0x20", "range": "95"}],)") +
                        R"( "fontSet": {"font": "DejaVuSans.ttf", "fontSize": 16, "scanMode": ")" +
                        c.scan + R"(", "renderMode": )" + std::to_string(c.bpp) + R"(, "crop": )" +
                        std::to_string(c.crop) +
                        (c.widths == kWidthFile ? R"(, "advances": true)"
                         : c.widths == kCompact ? R"(, "compact": true)"
                                                : "") +
                        "}}");
        testing_support::writeFile(box.project() / "setting.ini",
                                   "[Setting]\nrotate=" + std::to_string(c.rotate) + "\n");
        ASSERT_EQ(box.run({"FontConfig.json"}).status, 0);
        const std::string file =
            (box.project() / ("DejaVuSans_size16_bits" + std::to_string(c.bpp) +
                              (c.widths == kCompact ? "_compact.bin" : "_font.bin")))
                .string();
        inspect::Result r = inspect::run({file, "--text", "Hello, World! (fjq) 0123\\nWAVE gjy",
                                          "--rotate", std::to_string(c.rotate)});
        ASSERT_EQ(r.status, 0) << r.err;
        std::string& ref = reference[(c.bpp == 1 ? 0 : 1) + (c.widths == kInk ? 0 : 2)];
        if (ref.empty())
            ref = r.out;
        else
            EXPECT_EQ(r.out, ref) << "scan " << c.scan << ", rotate " << c.rotate << ", bits "
                                  << c.bpp << ", crop " << c.crop << ", widths " << c.widths;
    }
    EXPECT_NE(reference[0].find('#'), std::string::npos);
    EXPECT_NE(reference[1].find('@'), std::string::npos);  // full ink at 4 bits
    EXPECT_NE(reference[2], reference[0]);                 // spaced by the font's widths
}

}  // namespace

namespace {

// fontbin-inspect on a compact file decodes its glyphs: the summary names the layout and its
// share of the fixed-record size, --show draws what the cropped file of the same run holds,
// --sheet draws every glyph, and a file cut short is refused in one line.
TEST(RoundTripInspect, CompactFileShowsAsTheCroppedOne) {
    ToolSandbox box;
    box.addFont(FONTBIN_TEST_FONT_DEJAVU, "DejaVuSans.ttf");
    const std::string selection = R"({"customerVals": [{"firstVal": "0x20", "range": "95"}],)";
    const std::string fontSet = R"( "fontSet": {"font": "DejaVuSans.ttf", "fontSize": 16,)"
                                R"( "renderMode": 4, "scanMode": "V", )";
    box.writeConfig(selection + fontSet + R"("crop": 1}})");
    ASSERT_EQ(box.run({"FontConfig.json"}).status, 0);
    box.writeConfig(selection + fontSet + R"("compact": true}})");
    ASSERT_EQ(box.run({"FontConfig.json"}).status, 0);
    const std::string cropped = (box.project() / "DejaVuSans_size16_bits4_font.bin").string();
    const std::string compact = (box.project() / "DejaVuSans_size16_bits4_compact.bin").string();

    const inspect::Result summary = inspect::run({compact});
    ASSERT_EQ(summary.status, inspect::kOk) << summary.err;
    for (const char* line :
         {"layout      compact", "glyphs      95 records, U+0020 to U+007E, 1 without ink",
          "compression 0.", "check       ok"})
        EXPECT_NE(summary.out.find(line), std::string::npos) << line << "\n" << summary.out;

    // The art from the cell line on: the same glyph, shown upright, in both files.
    auto art = [](const std::string& text) { return text.substr(text.find("  cell ")); };
    for (const char* cp : {"W", "g", "@"}) {
        const inspect::Result a = inspect::run({cropped, "--show", cp});
        const inspect::Result b = inspect::run({compact, "--show", cp});
        ASSERT_EQ(b.status, inspect::kOk) << b.err;
        EXPECT_EQ(art(b.out), art(a.out)) << cp;
    }

    const std::string sheet = (box.project() / "sheet.png").string();
    const inspect::Result drawn = inspect::run({compact, "--sheet", sheet});
    EXPECT_EQ(drawn.status, inspect::kOk) << drawn.err;
    EXPECT_NE(drawn.out.find(": 95 glyphs, 16 per row"), std::string::npos) << drawn.out;
    EXPECT_TRUE(fs::exists(sheet));

    const auto bytes = readBytes(compact);
    testing_support::writeFile(box.project() / "cut.bin",
                               std::string(bytes.begin(), bytes.end() - 1));
    const inspect::Result cut = inspect::run({(box.project() / "cut.bin").string()});
    EXPECT_EQ(cut.status, inspect::kViolation);
    EXPECT_EQ(std::count(cut.err.begin(), cut.err.end(), '\n'), 1) << cut.err;
}

}  // namespace

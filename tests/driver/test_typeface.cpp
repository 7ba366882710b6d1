// Choosing the typeface through the real tool: the face of a collection and the instance of a
// variable font must reach FreeType (the cell holds FreeType's own rendering of that face or
// instance), a fallbackFonts chain draws each character from the first font that maps it, and
// every refusal is one line with the documented status and files.
#include <ft2build.h>
#include <gtest/gtest.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "reader/fontbin_reader.h"
#include "support/Sandbox.h"

using testing_support::readBytes;
using testing_support::RunResult;
using testing_support::ToolSandbox;
namespace fs = std::filesystem;

namespace {

using Ink = std::vector<std::string>;  // the inked box, one text row per pixel row

// The ink of `pixel(x, y)` over a w x h area, cut to its bounding box.
template <typename Pixel>
Ink inkBox(unsigned w, unsigned h, Pixel pixel) {
    unsigned x0 = w, x1 = 0, y0 = h, y1 = 0;
    for (unsigned y = 0; y < h; ++y)
        for (unsigned x = 0; x < w; ++x)
            if (pixel(x, y)) {
                x0 = std::min(x0, x), x1 = std::max(x1, x + 1);
                y0 = std::min(y0, y), y1 = std::max(y1, y + 1);
            }
    Ink ink;
    for (unsigned y = y0; y < y1; ++y) {
        std::string row;
        for (unsigned x = x0; x < x1; ++x) row += pixel(x, y) ? '#' : '.';
        ink.push_back(row);
    }
    return ink;
}

// FreeType's own 1-bit rendering of `code` in face `face` of `path` (a named instance in the
// high 16 bits), sized as fontbin sizes a 16-pixel font (no emboldening at a multiple of 8).
Ink freetypeInk(const std::string& path, long face, uint32_t code) {
    FT_Library library;
    FT_Face ft;
    if (FT_Init_FreeType(&library) != 0) return {"no FreeType"};
    if (FT_New_Face(library, path.c_str(), face, &ft) != 0) {
        FT_Done_FreeType(library);
        return {"cannot open " + path};
    }
    // The em that a 16-pixel line span gives each font (fontbin-inspect --font F --size 16).
    FT_Set_Pixel_Sizes(ft, 0, path == FONTBIN_TEST_FONT_INTER ? 13 : 11);
    EXPECT_EQ(FT_Load_Char(ft, code, FT_LOAD_DEFAULT), 0);
    EXPECT_EQ(FT_Render_Glyph(ft->glyph, FT_RENDER_MODE_MONO), 0);
    const FT_Bitmap& b = ft->glyph->bitmap;
    Ink ink = inkBox(b.width, b.rows, [&b](unsigned x, unsigned y) {
        return (b.buffer[y * b.pitch + x / 8] >> (7 - x % 8)) & 1;
    });
    FT_Done_Face(ft);
    FT_Done_FreeType(library);
    return ink;
}

// A font bitmap file written by the tool, decoded by the device reader.
class FontFile {
public:
    explicit FontFile(const fs::path& path) : bytes_(readBytes(path)) {
        EXPECT_EQ(fb_open(bytes_.data(), bytes_.size(), &font_), FB_OK) << path;
    }
    Ink ink(uint32_t code) const {
        const fb_glyph g = glyph(code);
        return inkBox(g.cols, g.rows,
                      [&g](unsigned x, unsigned y) { return fb_glyph_pixel(&g, x, y) != 0; });
    }
    // The whole record: metric bytes and pixels.
    std::vector<uint8_t> record(uint32_t code) const {
        const fb_glyph g = glyph(code);
        return {bytes_.begin() + static_cast<long>(g.offset),
                bytes_.begin() + static_cast<long>(g.offset + g.size)};
    }

private:
    fb_glyph glyph(uint32_t code) const {
        fb_glyph g{};
        EXPECT_EQ(fb_find_glyph(&font_, code, &g), FB_OK) << std::hex << code;
        return g;
    }
    std::vector<uint8_t> bytes_;
    fb_font font_{};
};

const std::string kSelection =
    R"("customerVals": [{"firstVal": "0x41", "range": "2"}, {"firstVal": "0x61", "range": "7"},
       {"firstVal": "0x0F40", "range": "1"}, {"firstVal": "0x4E00", "range": "1"},
       {"firstVal": "0x76F4", "range": "1"}, {"firstVal": "0x9AA8", "range": "1"}])";

RunResult runWith(const ToolSandbox& box, const std::string& fontSet) {
    box.writeConfig("{" + kSelection + R"(, "fontSet": {"fontSize": 16, )" + fontSet + "}}");
    return box.run({"FontConfig.json"});
}

}  // namespace

TEST(Typeface, ChosenFaceAndInstanceAreWhatFreeTypeDraws) {
    // Inter's named instances "Semi Bold" and "Bold". (FreeType 2.12 reads the negative slant of
    // its italic instances as unsigned, so they make no reference.)
    const long semiBold = 11 << 16, bold = 13 << 16;
    const std::tuple<const char*, const char*, long, const char*> cases[] = {
        {R"("font": "NotoSansCJK-Regular.ttc", "faceIndex": 2)", FONTBIN_TEST_FONT_NOTO_CJK, 2,
         "NotoSansCJK-Regular_face2"},
        {R"("font": "NotoSansCJK-Regular.ttc")", FONTBIN_TEST_FONT_NOTO_CJK, 0,
         "NotoSansCJK-Regular"},
        {R"("font": "Inter.var.ttf", "variations": {"wght": 700})", FONTBIN_TEST_FONT_INTER, bold,
         "Inter_wght700"},
        {R"("font": "Inter.var.ttf", "variations": {"wght": 600, "slnt": 0})",
         FONTBIN_TEST_FONT_INTER, semiBold, "Inter_wght600_slnt0"},
    };
    ToolSandbox box;
    for (const auto& [fontSet, path, face, stem] : cases) {
        const RunResult r = runWith(box, fontSet);
        ASSERT_EQ(r.status, 0) << fontSet << r.err;
        const FontFile file(box.project() / (std::string(stem) + "_size16_bits1_font.bin"));
        for (uint32_t code : {0x41, 0x61, 0x76F4, 0x9AA8})
            EXPECT_EQ(file.ink(code), freetypeInk(path, face, code))
                << stem << " U+" << std::hex << code;
    }
    // The choices matter for these characters: otherwise the comparisons above prove nothing.
    EXPECT_NE(freetypeInk(FONTBIN_TEST_FONT_NOTO_CJK, 0, 0x76F4),
              freetypeInk(FONTBIN_TEST_FONT_NOTO_CJK, 2, 0x76F4));
    EXPECT_NE(freetypeInk(FONTBIN_TEST_FONT_INTER, 0, 0x61),
              freetypeInk(FONTBIN_TEST_FONT_INTER, bold, 0x61));
}

TEST(Typeface, ChainDrawsEachCharacterFromTheFirstFontThatMapsIt) {
    ToolSandbox box;
    ASSERT_EQ(runWith(box, R"("font": "DejaVuSans.ttf")").status, 0);
    const fs::path name = box.project() / "DejaVuSans_size16_bits1_font.bin";
    const FontFile alone(name);
    ASSERT_EQ(runWith(box, R"("font": "NotoSansCJK-Regular.ttc", "faceIndex": 2)").status, 0);
    const FontFile cjk(box.project() / "NotoSansCJK-Regular_face2_size16_bits1_font.bin");

    const RunResult r = runWith(box, R"("font": "DejaVuSans.ttf", "fallbackFonts": [{"font":
                                        "NotoSansCJK-Regular.ttc", "faceIndex": 2}, "wqy-zenhei.ttc"])");
    ASSERT_EQ(r.status, 0) << r.err;
    const FontFile chain(name);
    // DejaVu Sans maps the Latin letters; Noto Sans CJK SC comes before WenQuanYi Zen Hei for the
    // hanzi; none maps Tibetan, so DejaVu Sans draws its missing-glyph box.
    for (uint32_t code : {0x41, 0x61, 0x0F40})
        EXPECT_EQ(chain.record(code), alone.record(code)) << std::hex << code;
    for (uint32_t code : {0x4E00, 0x76F4, 0x9AA8})
        EXPECT_EQ(chain.record(code), cjk.record(code)) << std::hex << code;
    EXPECT_NE(chain.record(0x4E00), alone.record(0x4E00));
    EXPECT_NE(r.err.find("warning: neither DejaVuSans.ttf nor its fallback fonts have a glyph for "
                         "1 selected character (U+0F40)"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("characters drawn: 10 by DejaVuSans.ttf, 3 by NotoSansCJK-Regular.ttc "
                         "(face 2), 0 by wqy-zenhei.ttc\n"),
              std::string::npos)
        << r.err;
}

TEST(Typeface, RefusalsAreOneLineWithTheirStatusAndFiles) {
    struct Case {
        const char* fontSet;
        int status;
        const char* message;   // in stdout or stderr
        const char* listFile;  // the only file written, or "" for none
    };
    const Case cases[] = {
        // Wrong types: nothing written.
        {R"("font": "DejaVuSans.ttf", "fallbackFonts": [{"faceIndex": 1}])", 253,
         "fontSet.fallbackFonts[0].font must name a font file, not missing", ""},
        // What the font lacks: found before any output is named, so nothing written.
        {R"("font": "NotoSansCJK-Regular.ttc", "faceIndex": 10)", 253,
         "has no face 10; its faces: 0 Noto Sans CJK JP (Regular), 1 Noto Sans CJK KR (Regular), "
         "2 Noto Sans CJK SC (Regular), 3 Noto Sans CJK TC (Regular)",
         ""},
        {R"("font": "DejaVuSans.ttf", "faceIndex": 70000)", 253,
         "has no face 70000; its faces: 0 DejaVu Sans (Book)\n", ""},
        {R"("font": "Inter.var.ttf", "variations": {"wdth": 100})", 253,
         "Inter.var.ttf\" has no axis \"wdth\"; its axes: wght 100 to 900 (default 400), slnt -10 "
         "to 0 (default 0)\n",
         ""},
        {R"("font": "DejaVuSans.ttf", "variations": {"wght": 700})", 253,
         "DejaVuSans.ttf\" is not a variable font", ""},
        {R"("font": "DejaVuSans.ttf", "fallbackFonts": [{"font": "Inter.var.ttf",
            "variations": {"wght": 950}}])",
         253, "wght 950 is outside the axis's range", "DejaVuSans_size16_bits1_out.cst"},
        // A fallback font that is missing or unusable, as for the main font.
        {R"("font": "DejaVuSans.ttf", "fallbackFonts": ["Inter.var.ttf", "nothere.ttf"])", 252,
         "nothere.ttf not exist!\n", "DejaVuSans_size16_bits1_out.cst"},
        {R"("font": "DejaVuSans.ttf", "fallbackFonts": ["notafont.ttf"])", 252,
         "error: cannot open font", "DejaVuSans_size16_bits1_out.cst"},
    };
    for (const Case& c : cases) {
        ToolSandbox box;
        testing_support::writeFile(box.toolDir() / "font" / "notafont.ttf", "not a font");
        const RunResult r = runWith(box, c.fontSet);
        EXPECT_EQ(r.status, c.status) << c.fontSet << r.out << r.err;
        EXPECT_NE((r.out + r.err).find(c.message), std::string::npos) << r.out << r.err;
        // One line says what is wrong; a missing font adds notes on where it was looked for.
        size_t lines = 0;
        std::istringstream err(r.err);
        for (std::string line; std::getline(err, line);) lines += line.rfind("note: ", 0) != 0;
        EXPECT_LE(lines, 1u) << r.err;
        std::set<std::string> written;
        for (const auto& e : fs::directory_iterator(box.project()))
            if (e.path().filename() != "FontConfig.json")
                written.insert(e.path().filename().string());
        EXPECT_EQ(written,
                  *c.listFile ? std::set<std::string>{c.listFile} : std::set<std::string>{})
            << c.fontSet;
    }
}

TEST(Typeface, FontReportListsFacesStrikesAxesAndInstances) {
    const std::pair<std::vector<std::string>, std::vector<const char*>> cases[] = {
        {{"--font", "NotoSansCJK-Regular.ttc", "--size", "16"},
         {": 10 faces\n", "\nface 2      Noto Sans CJK SC (Regular)\n",
          "  size      fontSize 16: em 11 px, baseline on row 12, cell 16 rows x 16 columns "
          "(24 columns italic)\n"}},
        {{"--font", FONTBIN_TEST_FONT_ZENHEI, "--size", "16"},
         {"  strikes   12 px: fontSize 16\n", "            15 px: fontSize 19, 20\n",
          "(24 columns italic), drawn from the 12 px strike\n"}},
        {{"--font", "Inter.var.ttf"},
         {"  axes      wght \"Weight\" 100 to 900, default 400\n",
          "            Bold Italic: {\"wght\": 700, \"slnt\": -10}\n"}},
    };
    for (const auto& [args, lines] : cases) {
        const RunResult r = testing_support::runProgram(testing_support::binary("fontbin-inspect"),
                                                        args, fs::temp_directory_path());
        EXPECT_EQ(r.status, 0) << r.err;
        for (const char* line : lines) EXPECT_NE(r.out.find(line), std::string::npos) << line;
    }
}

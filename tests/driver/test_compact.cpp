// The compact layout end to end: the real tool run twice on one configuration, once with
// "compact": true added, and every glyph of the compact file decoded with the device reader and
// compared, pixel for pixel, with the trimmed record the offset-table layout (crop 1) holds for
// it, and its width with the advance-width file of that run.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "reader/fontbin_reader.h"
#include "support/Sandbox.h"

namespace {

namespace fs = std::filesystem;
using testing_support::readBytes;
using testing_support::ToolSandbox;
using testing_support::writeFile;

struct Case {
    const char* what;
    const char* font;     // copied into the tool's font/ folder as "f.ttf" (or "f.ttc")
    const char* name;     // the configured font
    const char* fontSet;  // the rest of fontSet
    int rotate;           // setting.ini
    const char* stem;     // output names
    fb_scan scan;
};

// ASCII, a stretch of hanzi, and private-use code points that no font maps (the fallback font,
// Unifont, draws them).
const char* const kSelection =
    R"("customerVals": [{"firstVal": "0x20", "range": "95"}, {"firstVal": "0x4E00", "range": "300"},
                        {"firstVal": "0xE000", "range": "4"}])";

TEST(Compact, EveryGlyphDecodesToTheCroppedRecordsPixels) {
    const Case cases[] = {
        {"hei 16 px, 1 bit", FONTBIN_TEST_FONT_MICROHEI, "f.ttc", R"("fontSize": 16)", 0,
         "f_size16_bits1", FB_SCAN_ROWS},
        {"hei 24 px, 4 bits, bold and italic", FONTBIN_TEST_FONT_MICROHEI, "f.ttc",
         R"("fontSize": 24, "renderMode": 4, "bold": true, "italic": true)", 0, "f_size24_bits4",
         FB_SCAN_ROWS},
        {"hei 16 px, 1 bit, turned clockwise", FONTBIN_TEST_FONT_MICROHEI, "f.ttc",
         R"("fontSize": 16)", 1, "f_size16_bits1", FB_SCAN_ROWS},
        {"hei 18 px, 4 bits, turned counter-clockwise", FONTBIN_TEST_FONT_MICROHEI, "f.ttc",
         R"("fontSize": 18, "renderMode": 4)", 2, "f_size18_bits4", FB_SCAN_ROWS},
        {"sans 16 px, 4 bits, column scanning, with a fallback font", FONTBIN_TEST_FONT_DEJAVU,
         "f.ttf",
         R"("fontSize": 16, "renderMode": 4, "scanMode": "V",
            "fallbackFonts": ["wqy-microhei.ttc"])",
         0, "f_size16_bits4", FB_SCAN_COLUMNS},
        {"sans 15 px, 1 bit, column scanning, italic, with a fallback font",
         FONTBIN_TEST_FONT_DEJAVU, "f.ttf",
         R"("fontSize": 15, "scanMode": "V", "italic": true,
            "fallbackFonts": ["wqy-microhei.ttc"])",
         0, "f_size15_bits1", FB_SCAN_COLUMNS},
        // A transposed cell turned back: the renderer's box is in neither frame, so the writer
        // must take the ink's own box (read as unrotated it keeps a corner of "A").
        {"hei 16 px, 1 bit, column scanning, turned clockwise", FONTBIN_TEST_FONT_MICROHEI, "f.ttc",
         R"("fontSize": 16, "scanMode": "V")", 1, "f_size16_bits1", FB_SCAN_COLUMNS},
        {"hei 17 px, 4 bits, column scanning, turned counter-clockwise", FONTBIN_TEST_FONT_MICROHEI,
         "f.ttc", R"("fontSize": 17, "renderMode": 4, "scanMode": "V")", 2, "f_size17_bits4",
         FB_SCAN_COLUMNS},
        {"hei 16 px, 2 bits, row-sized column scanning, turned clockwise",
         FONTBIN_TEST_FONT_MICROHEI, "f.ttc", R"("fontSize": 16, "renderMode": 2, "scanMode": "v")",
         1, "f_size16_bits2", FB_SCAN_COLUMNS_ROW_SIZED},
    };
    for (const Case& c : cases) {
        ToolSandbox box;
        box.addFont(c.font, c.name);
        box.addFont(FONTBIN_TEST_FONT_MICROHEI, "wqy-microhei.ttc");
        if (c.rotate)
            writeFile(box.project() / "setting.ini",
                      "[Setting]\nrotate=" + std::to_string(c.rotate) + "\n");
        const std::string fontSet = std::string(R"("font": ")") + c.name + "\", " + c.fontSet +
                                    R"(, "crop": 1, "advances": true)";
        box.writeConfig(std::string("{") + kSelection + R"(, "fontSet": {)" + fontSet + "}}");
        const auto crop = box.run({"FontConfig.json"});
        ASSERT_EQ(crop.status, 0) << c.what << ": " << crop.err;
        const fs::path fontPath = box.project() / (std::string(c.stem) + "_font.bin");
        const fs::path advPath = box.project() / (std::string(c.stem) + "_adv.bin");
        const auto cropBytes = readBytes(fontPath);
        const auto advBytes = readBytes(advPath);
        const auto list = readBytes(box.project() / (std::string(c.stem) + "_out.cst"));

        // The same configuration with "compact": crop and advances are noted and ignored, the
        // earlier run's font and width files stay, every other line is the same.
        box.writeConfig(std::string("{") + kSelection + R"(, "fontSet": {)" + fontSet +
                        R"(, "compact": true}})");
        const auto run = box.run({"FontConfig.json"});
        ASSERT_EQ(run.status, 0) << c.what << ": " << run.err;
        EXPECT_EQ(run.out, crop.out) << c.what;
        EXPECT_EQ(run.err,
                  "note: FontConfig.json: \"crop\" does not apply to the compact layout and is "
                  "ignored: it has its own index and always trims glyphs\n"
                  "note: FontConfig.json: \"advances\" writes no _adv.bin with \"compact\": the "
                  "compact file holds every advance width itself\n" +
                      crop.err)
            << c.what;
        EXPECT_EQ(readBytes(fontPath), cropBytes) << c.what;
        EXPECT_EQ(readBytes(advPath), advBytes) << c.what;
        EXPECT_EQ(readBytes(box.project() / (std::string(c.stem) + "_out.cst")), list) << c.what;
        const auto compactBytes = readBytes(box.project() / (std::string(c.stem) + "_compact.bin"));

        fb_font cropped, compact;
        fb_advances adv;
        ASSERT_EQ(fb_open(cropBytes.data(), cropBytes.size(), &cropped), FB_OK) << c.what;
        ASSERT_EQ(fb_set_geometry_for(&cropped, c.scan, c.rotate), FB_OK) << c.what;
        ASSERT_EQ(fb_open_advances(advBytes.data(), advBytes.size(), &cropped, &adv), FB_OK);
        ASSERT_EQ(fb_open(compactBytes.data(), compactBytes.size(), &compact), FB_OK) << c.what;
        ASSERT_EQ(compact.layout, FB_LAYOUT_COMPACT) << c.what;
        ASSERT_EQ(compact.geometry.rows, cropped.geometry.rows) << c.what;
        ASSERT_EQ(compact.geometry.cols, cropped.geometry.cols) << c.what;
        EXPECT_EQ(std::string(compact.name), std::string(cropped.name)) << c.what;
        EXPECT_EQ(compact.font_size, cropped.font_size) << c.what;
        EXPECT_EQ(compact.bpp, cropped.bpp) << c.what;

        // Every selected character, in list order, glyphs without ink included.
        size_t glyphs = 0, inked = 0;
        fb_glyph g;
        std::vector<uint8_t> box_;
        for (uint32_t cp = 0; fb_next_glyph(&compact, cp, &g) == FB_OK; cp = g.code_point + 1) {
            ASSERT_LT(2 * glyphs + 1, list.size()) << c.what;
            ASSERT_EQ(g.code_point, uint32_t(list[2 * glyphs] | list[2 * glyphs + 1] << 8))
                << c.what;
            ++glyphs;
            unsigned width = 0;
            ASSERT_EQ(fb_advance(&adv, &cropped, g.code_point, &width), FB_OK);
            EXPECT_EQ(g.advance, static_cast<int>(width)) << c.what << " U+" << g.code_point;
            box_.assign(size_t(g.box_w) * g.box_h + 1, 0);
            ASSERT_EQ(fb_decode_glyph(&compact, &g, box_.data(), g.box_w), FB_OK)
                << c.what << " U+" << std::hex << g.code_point;
            inked += g.box_w != 0;
            // A character without ink has no record in the offset-table layout.
            fb_glyph record;
            const bool recorded = fb_find_glyph(&cropped, g.code_point, &record) == FB_OK;
            for (unsigned y = 0; y < compact.geometry.rows; ++y) {
                for (unsigned x = 0; x < compact.geometry.cols; ++x) {
                    const bool inBox = x - g.box_x < g.box_w && y - g.box_y < g.box_h;
                    const unsigned v =
                        inBox ? box_[size_t(y - g.box_y) * g.box_w + (x - g.box_x)] : 0;
                    ASSERT_EQ(v, recorded ? fb_glyph_pixel(&record, x, y) : 0u)
                        << c.what << " U+" << std::hex << g.code_point << std::dec << " (" << x
                        << ", " << y << ")";
                }
            }
            if (g.code_point == 0xFFFF) break;
        }
        EXPECT_EQ(2 * glyphs, list.size()) << c.what;
        EXPECT_GT(inked, 300u) << c.what;
        EXPECT_LT(compactBytes.size(), cropBytes.size()) << c.what;
    }
}

}  // namespace

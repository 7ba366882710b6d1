// The advance-width file written by the real tool: FreeType's advance of the font that maps each
// character (a space and a zero-width space included), the code-point list of the offset-table
// layout, the device reader's view of it, and outputs unchanged without the key.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "output/AdvanceFileWriter.h"
#include "reader/fontbin_reader.h"
#include "support/Sandbox.h"

namespace {

namespace fs = std::filesystem;
using testing_support::readBytes;
using testing_support::ToolSandbox;

const char* const kSerifItalic = "/usr/share/fonts/truetype/dejavu/DejaVuSerif-Italic.ttf";

struct Case {
    const char* what;
    const char* font;  // file copied into the tool's font/ folder as the configured name
    const char* name;
    const char* fontSet;  // the rest of fontSet
    unsigned fontSize;
    const char* stem;
    std::vector<std::pair<uint32_t, unsigned>> widths;  // expected advance of code points
    unsigned count;
    bool codePointList;
};

TEST(Advances, WrittenBesideTheFontAndReadByTheReader) {
    const Case cases[] = {
        // 'j' overhangs to the left: 6 pixels of advance where extent + 1 gives 11. U+3000 is not
        // in the font, which draws its missing-glyph box: that font's width counts.
        {"serif italic, crop",
         kSerifItalic,
         "serif.ttf",
         R"("fontSize": 24, "crop": 1)",
         24,
         "serif_size24_bits1",
         {{'j', 6}, {' ', 6}, {0x200B, 0}, {'A', 14}, {0x3000, 12}},
         97,
         true},
        // 16 px of line span is a 13-pixel em here: W is 2025/2048 em, bold or not, and the
        // ideographic space of Micro Hei a whole em.
        {"sans, code list",
         FONTBIN_TEST_FONT_DEJAVU,
         "sans.ttf",
         R"("fontSize": 16, "indexMethod": 1, "bold": true)",
         16,
         "sans_size16_bits1",
         {{'j', 4}, {' ', 4}, {'W', 13}},
         97,
         false},
        // With a chain, the font that maps the character gives the width: the ideographic space
        // comes from Micro Hei (a whole em), not from DejaVu's missing-glyph box (8 pixels).
        {"sans with a fallback font",
         FONTBIN_TEST_FONT_DEJAVU,
         "sans.ttf",
         R"("fontSize": 16, "fallbackFonts": ["wqy-microhei.ttc"])",
         16,
         "sans_size16_bits1",
         {{'W', 13}, {0x3000, 13}},
         97,
         false},
        {"micro hei, glyph table",
         FONTBIN_TEST_FONT_MICROHEI,
         "hei.ttc",
         R"("fontSize": 16, "indexMethod": 0, "renderMode": 4)",
         16,
         "hei_size16_bits4",
         {{0x3000, 13}, {'i', 3}},
         97,
         false},
    };
    for (const Case& c : cases) {
        ToolSandbox box;
        box.addFont(c.font, c.name);
        const std::string selection =
            R"("customerVals": [{"firstVal": "0x20", "range": "95"}, {"firstVal": "0x200B", "range": "1"},)"
            R"( {"firstVal": "0x3000", "range": "1"}], )";
        box.writeConfig("{" + selection + R"("fontSet": {"font": ")" + c.name + "\", " + c.fontSet +
                        R"(, "advances": true}})");
        auto r = box.run({"FontConfig.json"});
        ASSERT_EQ(r.status, 0) << c.what << ": " << r.err;
        const auto fontBytes = readBytes(box.project() / (std::string(c.stem) + "_font.bin"));
        const auto advBytes = readBytes(box.project() / (std::string(c.stem) + "_adv.bin"));
        ASSERT_GE(advBytes.size(), 12u) << c.what;
        EXPECT_EQ(std::string(advBytes.begin(), advBytes.begin() + 5), "FBAW\x01") << c.what;
        EXPECT_EQ(advBytes[6] | advBytes[7] << 8, static_cast<int>(c.count)) << c.what;
        EXPECT_EQ(advBytes[11], c.codePointList ? 1 : 0) << c.what;

        fb_font font;
        fb_advances adv;
        ASSERT_EQ(fb_open(fontBytes.data(), fontBytes.size(), &font), FB_OK) << c.what;
        ASSERT_EQ(fb_open_advances(advBytes.data(), advBytes.size(), &font, &adv), FB_OK)
            << c.what << ": " << adv.error_detail;
        EXPECT_EQ(advBytes[5], c.fontSize) << c.what;
        EXPECT_EQ(font.font_size, c.fontSize) << c.what;
        // The baseline is the row the upright glyphs stand on.
        fb_glyph g;
        ASSERT_EQ(fb_find_glyph(&font, 'A', &g), FB_OK);
        EXPECT_EQ(adv.baseline, g.origin_y) << c.what;
        for (auto [cp, width] : c.widths) {
            unsigned got = 999;
            EXPECT_EQ(fb_advance(&adv, &font, cp, &got), FB_OK) << c.what << " " << cp;
            EXPECT_EQ(got, width) << c.what << ": U+" << std::hex << cp;
        }
        unsigned got = 0;
        EXPECT_EQ(fb_advance(&adv, &font, 0x4E00, &got), FB_ERR_NOT_FOUND) << c.what;
        // A cut or foreign file is refused.
        EXPECT_EQ(fb_open_advances(advBytes.data(), advBytes.size() - 1, &font, &adv),
                  FB_ERR_TRUNCATED);

        // Without the key: the same font and list file, and no width file.
        ToolSandbox plain;
        plain.addFont(c.font, c.name);
        plain.writeConfig("{" + selection + R"("fontSet": {"font": ")" + c.name + "\", " +
                          c.fontSet + "}}");
        ASSERT_EQ(plain.run({"FontConfig.json"}).status, 0);
        EXPECT_EQ(readBytes(plain.project() / (std::string(c.stem) + "_font.bin")), fontBytes);
        EXPECT_FALSE(fs::exists(plain.project() / (std::string(c.stem) + "_adv.bin")));
        // Run again without the key where the widths were written: they no longer belong to
        // the font file, and go with its replacement.
        box.writeConfig("{" + selection + R"("fontSet": {"font": ")" + c.name + "\", " + c.fontSet +
                        "}}");
        ASSERT_EQ(box.run({"FontConfig.json"}).status, 0);
        EXPECT_FALSE(fs::exists(box.project() / (std::string(c.stem) + "_adv.bin"))) << c.what;
    }
}

TEST(Advances, WholePixelsAndTheLimit) {
    const struct {
        long advance;
        unsigned pixels;
        bool clamped;
    } cases[] = {{0, 0, false},
                 {31, 0, false},
                 {32, 1, false},
                 {6 * 64, 6, false},
                 {255 * 64 + 31, 255, false},
                 {256 * 64, 255, true},
                 {-64, 0, false}};
    for (const auto& c : cases) {
        bool clamped = false;
        EXPECT_EQ(advancePixels(c.advance, clamped), c.pixels) << c.advance;
        EXPECT_EQ(clamped, c.clamped) << c.advance;
    }
}

}  // namespace

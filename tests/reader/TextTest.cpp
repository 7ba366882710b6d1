// The reader's text API on a font built in memory: UTF-8 that is not valid, where lines break
// (characters, spaces, CJK pairs), a box of lines, and the run callback drawing what the pixel
// callback draws. The preview and the firmware example draw through the same API, and
// tests/package compares the two on a real font.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "reader/FontFileBuilder.h"
#include "reader/fontbin_text.h"

namespace {

// Size 12, 12 x 16 cells, one bit: 'A' ink in columns 0..7 (advance 9), 'B' columns 0..3
// (advance 5), a space (12 / 3 = 4); anything else is missing: a box of 6, advance 7.
std::vector<uint8_t> fontBytes() {
    fbtest::Font f;
    f.rows = 12;
    f.cols = 16;
    auto glyph = [&](uint16_t code, unsigned width) {
        fbtest::Glyph g;
        g.code = code;
        g.pixels.assign(f.rows * f.cols, 0);
        for (unsigned x = 0; x < width; ++x) g.pixels[5 * f.cols + x] = 1;
        g.extentX = static_cast<uint8_t>(width);
        g.extentY = width ? 6 : 0;
        return g;
    };
    f.glyphs = {glyph(' ', 0), glyph('A', 8), glyph('B', 4)};
    return fbtest::buildFontFile(f);
}

struct Fixture {
    std::vector<uint8_t> bytes = fontBytes();
    fb_font font{};
    fb_text text{};
    Fixture() {
        EXPECT_EQ(fb_open(bytes.data(), bytes.size(), &font), FB_OK);
        EXPECT_EQ(fb_text_init(&text, &font, nullptr), FB_OK);
    }
    // The lines fb_text_line_break makes of `s`.
    std::vector<std::string> lines(const std::string& s, unsigned width, fb_wrap wrap) const {
        std::vector<std::string> out;
        for (size_t pos = 0, next = 0;; pos = next) {
            const size_t n =
                fb_text_line_break(&text, s.data() + pos, s.size() - pos, width, wrap, &next);
            out.push_back(s.substr(pos, n));
            next += pos;
            if (next >= s.size()) break;
        }
        return out;
    }
};

TEST(Text, Utf8AndMissingCharacters) {
    struct Case {
        std::string bytes;
        std::vector<uint32_t> codes;
    } cases[] = {
        {"A\xC3\xA9\xE4\xB8\x96\xF0\x9F\x98\x80", {'A', 0xE9, 0x4E16, 0x1F600}},
        {"\xFF"
         "A",
         {0xFFFD, 'A'}},  // a stray byte
        {"\xE4\xB8"
         "A",
         {0xFFFD, 'A'}},                             // a lead byte and one continuation: one
        {"\xC0\xAF\xED\xA0\x80", {0xFFFD, 0xFFFD}},  // overlong, surrogate
        {"\xF4\x90\x80\x80", {0xFFFD}},              // above U+10FFFF
    };
    for (const Case& c : cases) {
        std::vector<uint32_t> got;
        for (size_t at = 0, used = 0; at < c.bytes.size(); at += used)
            got.push_back(fb_utf8_next(c.bytes.data() + at, c.bytes.size() - at, &used));
        EXPECT_EQ(got, c.codes) << c.bytes;
    }
    // Invalid bytes draw the box (the font lacks U+FFFD) and the text goes on.
    Fixture fx;
    fb_text_extent e;
    fb_text_measure(&fx.text,
                    "\xFF"
                    "A",
                    FB_TEXT_NUL, 0, FB_WRAP_NONE, &e);
    EXPECT_EQ(e.width, 7u + 9u);
    fb_char_metrics m;
    fb_text_metrics(&fx.text, 0x4E16, nullptr, &m);
    EXPECT_TRUE(m.missing);
    EXPECT_EQ(m.advance, 7u);
}

TEST(Text, LineBreaks) {
    Fixture fx;
    struct Case {
        const char* text;
        unsigned width;
        fb_wrap wrap;
        std::vector<std::string> lines;
    } cases[] = {
        {"AB AB", 0, FB_WRAP_WORDS, {"AB AB"}},
        {"AB\nAB", 0, FB_WRAP_NONE, {"AB", "AB"}},
        // AB is 14 wide, with the space 18: a word moves whole, its space is not drawn.
        {"AB AB", 20, FB_WRAP_WORDS, {"AB", "AB"}},
        {"AB AB", 20, FB_WRAP_CHARS, {"AB ", "AB"}},
        // A word wider than the line is cut between characters.
        {"AAAA B", 20, FB_WRAP_WORDS, {"AA", "AA", "B"}},
        // Missing CJK characters (7 each) break between any two; Latin stays whole.
        {"\xE4\xB8\x96\xE7\x95\x8C\xE4\xB8\x96",
         15,
         FB_WRAP_WORDS,
         {"\xE4\xB8\x96\xE7\x95\x8C", "\xE4\xB8\x96"}},
        {"\xE4\xB8\x96"
         "AB",
         15,
         FB_WRAP_WORDS,
         {"\xE4\xB8\x96", "AB"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(fx.lines(c.text, c.width, c.wrap), c.lines) << c.text << " in " << c.width;
}

struct Pixels {
    std::map<std::pair<int, int>, unsigned> at;
    static void pixel(void* user, int x, int y, unsigned level, unsigned) {
        static_cast<Pixels*>(user)->at[{x, y}] = level;
    }
    static void run(void* user, int x, int y, const uint8_t* levels, unsigned n, unsigned) {
        for (unsigned i = 0; i < n; ++i)
            if (levels[i]) static_cast<Pixels*>(user)->at[{x + int(i), y}] = levels[i];
    }
};

TEST(Text, BoxesAndRunsDrawWhatPixelsDraw) {
    Fixture fx;
    Pixels byPixel, byRun;
    fx.text.pixel = Pixels::pixel;
    fx.text.user = &byPixel;
    // Two 12-row lines fit in 30 rows: the third line's text is left over.
    const std::string s = "AB AB AB\xE4\xB8\x96";
    EXPECT_EQ(fb_text_draw_box(&fx.text, -3, 10, 20, 30, s.c_str(), FB_TEXT_NUL), 6u);
    fx.text.pixel = nullptr;
    fx.text.run = Pixels::run;
    fx.text.user = &byRun;
    fb_text_draw_box(&fx.text, -3, 10, 20, 30, s.c_str(), FB_TEXT_NUL);
    EXPECT_EQ(byRun.at, byPixel.at);
    // 12 + 12 ink pixels on row 5 of each line, from x = -3.
    EXPECT_EQ(byPixel.at.size(), 24u);
    EXPECT_EQ(byPixel.at.count({-3, 15}), 1u);
    EXPECT_EQ(byPixel.at.count({-3, 27}), 1u);
}

}  // namespace

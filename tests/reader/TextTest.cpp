// The reader's text API on a font built in memory: UTF-8 that is not valid, where lines break
// (characters, spaces, CJK pairs, hyphens, kinsoku), a box of lines, and the run callback drawing
// what the pixel callback draws. Then on files the real tool wrote from a real CJK font: glyphs
// drawn by rows equal to the cell read pixel by pixel and turned upright, on every layout and
// depth, through every callback and the glyph cache; and rotate=2 against rotate=0. The preview
// and the firmware example draw through the same API, and tests/package compares the two.
#include <gtest/gtest.h>

#include <map>
#include <set>
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
        // Latin then CJK without a space (A B 14, the box 7).
        {"AB\xE4\xB8\x96", 20, FB_WRAP_WORDS, {"AB", "\xE4\xB8\x96"}},
        // After a hyphen (a box here) inside a word; not after one that follows a space, nor
        // before a digit (the word is then cut where it overflows).
        {"AB-AB", 25, FB_WRAP_WORDS, {"AB-", "AB"}},
        {"A -AB", 22, FB_WRAP_WORDS, {"A", "-AB"}},
        {"AB-12", 30, FB_WRAP_WORDS, {"AB-1", "2"}},
        // Kinsoku: "。", "，", "ぁ", ")" never start a line, "「" never ends one.
        {"世界。", 15, FB_WRAP_WORDS, {"世", "界。"}},
        {"世界，", 15, FB_WRAP_WORDS, {"世", "界，"}},
        {"世ぁ界", 15, FB_WRAP_WORDS, {"世ぁ", "界"}},
        {"世界)", 15, FB_WRAP_WORDS, {"世", "界)"}},
        {"世「界", 15, FB_WRAP_WORDS, {"世", "「界"}},
        // Spaces at a break end neither line.
        {"AB   AB", 25, FB_WRAP_WORDS, {"AB", "AB"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(fx.lines(c.text, c.width, c.wrap), c.lines) << c.text << " in " << c.width;
    // Spaces at a break are not measured: two or three, the text is as wide as "AB".
    for (const char* text : {"AB  AB", "AB   AB"}) {
        fb_text_extent e;
        fb_text_measure(&fx.text, text, FB_TEXT_NUL, 25, FB_WRAP_WORDS, &e);
        EXPECT_EQ(e.width, 14u) << text;
        EXPECT_EQ(e.lines, 2u) << text;
    }
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

// ---- Real fonts through the real tool ---------------------------------------------------------

// CJK characters and punctuation beside ASCII.
const std::vector<uint32_t> kCjk = {0x3001, 0x3002, 0x300C, 0x300D, 0x3041, 0x3042,
                                    0x4E00, 0x4E16, 0x4E2D, 0x4F60, 0x597D, 0x6587,
                                    0x754C, 0x9F98, 0xFF01, 0xFF08, 0xFF09, 0xFF0C};

using PixelMap = std::map<std::pair<int, int>, unsigned>;

// The glyph's cell read pixel by pixel (fb_glyph_pixel, or the compact box decoded) and turned
// upright as the text API documents it: the drawing every faster path must equal.
PixelMap uprightCell(const fb_font& font, const fb_glyph& g, int scan, int rotate) {
    std::vector<uint8_t> cell(size_t(g.rows) * g.cols, 0);
    if (g.compact) {
        std::vector<uint8_t> box(size_t(g.box_w) * g.box_h + 1);
        EXPECT_EQ(fb_decode_glyph(&font, &g, box.data(), g.box_w), FB_OK);
        for (unsigned y = 0; y < g.box_h; ++y)
            for (unsigned x = 0; x < g.box_w; ++x)
                cell[size_t(g.box_y + y) * g.cols + g.box_x + x] = box[size_t(y) * g.box_w + x];
    } else {
        for (unsigned y = 0; y < g.rows; ++y)
            for (unsigned x = 0; x < g.cols; ++x)
                cell[size_t(y) * g.cols + x] = uint8_t(fb_glyph_pixel(&g, x, y));
    }
    unsigned first = g.rows - 1;  // the first stored row with ink (rotate=2)
    for (unsigned y = 0; y + 1 < g.rows && first == g.rows - 1; ++y)
        for (unsigned x = 0; x < g.cols; ++x)
            if (cell[size_t(y) * g.cols + x]) first = y;
    const unsigned mirror = first + (g.compact ? g.box_y + g.box_h : unsigned(g.extent_y)) - 1;
    const bool turned = rotate || scan;
    const unsigned width = turned ? g.rows : g.cols, height = turned ? g.cols : g.rows;
    PixelMap out;
    for (unsigned y = 0; y < g.rows; ++y)
        for (unsigned x = 0; x < g.cols; ++x) {
            const unsigned v = cell[size_t(y) * g.cols + x];
            unsigned ux = x, uy = y;
            if (rotate == 1) ux = y, uy = g.cols - 1 - x;
            if (rotate == 2) ux = mirror - y, uy = x;
            if (!rotate && scan) ux = y, uy = x;
            if (v && !(rotate == 2 && y > mirror) && ux < width && uy < height)
                out[{int(ux), int(uy)}] = v;
        }
    return out;
}

struct Drawn {
    PixelMap pixels;
    static void pixel(void* user, int x, int y, unsigned level, unsigned) {
        static_cast<Drawn*>(user)->pixels[{x, y}] = level;
    }
    static void run(void* user, int x, int y, const uint8_t* levels, unsigned n, unsigned) {
        for (unsigned i = 0; i < n; ++i)
            if (levels[i]) static_cast<Drawn*>(user)->pixels[{x + int(i), y}] = levels[i];
    }
    static void page(void* user, int x, int page, const uint8_t* cols, unsigned n) {
        for (unsigned i = 0; i < n; ++i)
            for (int b = 0; b < 8; ++b)
                if (cols[i] >> b & 1)
                    static_cast<Drawn*>(user)->pixels[{x + int(i), page * 8 + b}] = 1;
    }
};

// Draws one character at (x, y) through the callbacks set in `t`.
PixelMap drawChar(fb_text t, uint32_t cp, int x = 0, int y = 0) {
    Drawn d;
    t.user = &d;
    fb_text_draw_char(&t, x, y, cp);
    return d.pixels;
}

PixelMap shifted(const PixelMap& m, int dx, int dy, unsigned threshold = 1) {
    PixelMap out;
    for (const auto& [at, v] : m)
        if (v >= threshold) out[{at.first + dx, at.second + dy}] = threshold > 1 ? 1 : v;
    return out;
}

TEST(Text, RowsDrawWhatTheCellHoldsOnEveryLayoutAndDepth) {
    struct Case {
        const char* fontSet;
        int scan, rotate;
    } cases[] = {
        {R"("fontSize": 16, "renderMode": 1, "indexMethod": 0, "crop": 0)", 0, 0},
        {R"("fontSize": 16, "renderMode": 2, "indexMethod": 1, "crop": 0)", 0, 0},
        {R"("fontSize": 16, "renderMode": 4, "indexMethod": 0, "crop": 1)", 0, 0},
        {R"("fontSize": 16, "renderMode": 8, "indexMethod": 1, "crop": 1)", 0, 0},
        {R"("fontSize": 16, "renderMode": 1, "compact": true)", 0, 0},
        {R"("fontSize": 16, "renderMode": 2, "compact": true)", 0, 0},
        {R"("fontSize": 24, "renderMode": 4, "compact": true)", 0, 0},
        {R"("fontSize": 12, "renderMode": 8, "compact": true)", 0, 0},
        // Column scanning, turns, and rows that do not end on a byte ("v", 13 columns).
        {R"("fontSize": 16, "renderMode": 1, "scanMode": "V", "crop": 0)", 1, 0},
        {R"("fontSize": 13, "renderMode": 1, "scanMode": "v", "italic": 1)", 2, 0},
        {R"("fontSize": 16, "renderMode": 4, "scanMode": "V", "crop": 1)", 1, 0},
        {R"("fontSize": 16, "renderMode": 2, "crop": 0)", 0, 1},
        {R"("fontSize": 16, "renderMode": 1, "crop": 1)", 0, 2},
        {R"("fontSize": 16, "renderMode": 4, "compact": true)", 0, 2},
    };
    for (const Case& c : cases) {
        const fbtest::ToolFont file =
            fbtest::runTool(FONTBIN_TEST_FONT_MICROHEI, kCjk, c.fontSet, c.rotate);
        fb_font font;
        ASSERT_EQ(fb_open(file.bytes.data(), file.bytes.size(), &font), FB_OK) << c.fontSet;
        if (font.layout != FB_LAYOUT_COMPACT) {
            ASSERT_EQ(fb_set_geometry_for(&font, fb_scan(c.scan), c.rotate), FB_OK) << c.fontSet;
        }
        fb_text t;
        ASSERT_EQ(fb_text_init(&t, &font, nullptr), FB_OK) << c.fontSet;
        std::vector<uint8_t> memory(64 * fb_text_cache_slot_bytes(&t) + 3);
        size_t glyphs = 0, inked = 0;
        fb_glyph g;
        for (uint32_t cp = 0; fb_next_glyph(&font, cp, &g) == FB_OK; cp = g.code_point + 1) {
            const PixelMap want = uprightCell(font, g, c.scan, c.rotate);
            fb_text by = t;
            by.pixel = Drawn::pixel;
            // Away from the origin, to see the pen added; every path draws the same pixels.
            EXPECT_EQ(drawChar(by, g.code_point, -5, 7), shifted(want, -5, 7))
                << c.fontSet << " U+" << std::hex << g.code_point;
            by.pixel = nullptr, by.run = Drawn::run;
            EXPECT_EQ(drawChar(by, g.code_point), want) << c.fontSet << " run";
            by.run = nullptr, by.page = Drawn::page;
            EXPECT_EQ(drawChar(by, g.code_point, 3, -5),
                      shifted(want, 3, -5, (t.max_level + 2) / 2))
                << c.fontSet << " page U+" << std::hex << g.code_point;
            // With a cache: decoded once, then drawn from the cache (only a compact font keeps
            // glyphs; the other layouts draw as without one).
            by.page = nullptr, by.pixel = Drawn::pixel;
            ASSERT_EQ(fb_text_set_cache(&by, memory.data() + 1, memory.size() - 1), FB_OK);
            EXPECT_EQ(drawChar(by, g.code_point), want) << c.fontSet << " filling the cache";
            EXPECT_EQ(drawChar(by, g.code_point), want) << c.fontSet << " from the cache";
            ++glyphs, inked += !want.empty();
        }
        EXPECT_EQ(glyphs, 95 + kCjk.size() - (font.layout == FB_LAYOUT_OFFSET_TABLE ? 1 : 0))
            << c.fontSet;  // (no record for the space when cropped)
        EXPECT_GT(inked, 100u) << c.fontSet;
        // A wrapped text through a cache of one slot, which every glyph takes from the one
        // before (also between measuring a character and drawing it): the same pixels.
        const std::string text = "Hello, 世界。你好「中文」 a-b ，！（一）";
        fb_text plain = t, cached = t;
        plain.pixel = cached.pixel = Drawn::pixel;
        ASSERT_EQ(fb_text_set_cache(&cached, memory.data(), fb_text_cache_slot_bytes(&t)), FB_OK);
        Drawn a, b;
        plain.user = &a, cached.user = &b;
        for (int pass = 0; pass < 2; ++pass) {
            fb_text_draw(&plain, 1, 2, text.data(), text.size(), 40, FB_WRAP_WORDS, nullptr);
            fb_text_draw(&cached, 1, 2, text.data(), text.size(), 40, FB_WRAP_WORDS, nullptr);
        }
        EXPECT_EQ(b.pixels, a.pixels) << c.fontSet;
    }
}

// rotate=2 turns each glyph counter-clockwise and then moves it so that its rows are where its
// columns were. The file keeps the bitmap's right edge (extent) but not its left one, so the text
// API takes the first row with ink for the bitmap's rightmost column. Where FreeType's bitmap ends
// in columns without ink (at 1 bpp, an outline reaching less than half a pixel into its last
// column), the turned glyph lands that many columns right of where rotate=0 draws it: exact for
// every other glyph, and never off by anything else.
TEST(Text, RotateTwoPlacedAsRotateZeroWhereTheFileCanTell) {
    std::vector<uint32_t> cjk;
    for (uint32_t cp = 0x4E00; cp < 0x4E00 + 1200; ++cp) cjk.push_back(cp);
    const char* fontSet = R"("fontSize": 16, "renderMode": 1, "indexMethod": 1, "crop": 0)";
    const fbtest::ToolFont upright = fbtest::runTool(FONTBIN_TEST_FONT_MICROHEI, cjk, fontSet, 0);
    const fbtest::ToolFont turned = fbtest::runTool(FONTBIN_TEST_FONT_MICROHEI, cjk, fontSet, 2);
    fb_font f0, f2;
    ASSERT_EQ(fb_open(upright.bytes.data(), upright.bytes.size(), &f0), FB_OK);
    ASSERT_EQ(fb_open(turned.bytes.data(), turned.bytes.size(), &f2), FB_OK);
    ASSERT_EQ(fb_set_geometry_for(&f2, FB_SCAN_ROWS, 2), FB_OK);
    fb_text t0, t2;
    ASSERT_EQ(fb_text_init(&t0, &f0, nullptr), FB_OK);
    ASSERT_EQ(fb_text_init(&t2, &f2, nullptr), FB_OK);
    t0.pixel = t2.pixel = Drawn::pixel;
    size_t glyphs = 0, exact = 0;
    fb_glyph g;
    for (uint32_t cp = 0x21; fb_next_glyph(&f0, cp, &g) == FB_OK; cp = g.code_point + 1) {
        const PixelMap want = drawChar(t0, g.code_point);
        if (want.empty()) continue;
        int right = 0;  // the ink's right edge
        for (const auto& px : want) right = std::max(right, px.first.first + 1);
        const int blank = int(g.extent_x) - right;  // bitmap columns right of the ink
        ASSERT_GE(blank, 0) << std::hex << g.code_point;
        EXPECT_EQ(drawChar(t2, g.code_point), shifted(want, blank, 0))
            << "U+" << std::hex << g.code_point;
        ++glyphs, exact += blank == 0;
    }
    EXPECT_GT(glyphs, 1200u);
    EXPECT_GT(exact, glyphs * 3 / 4);
}

}  // namespace

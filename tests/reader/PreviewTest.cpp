// fontbin-inspect --text on files built in memory: the cookbook's advance and space rules,
// missing characters, wrapping, the scan order and rotation undone, the advance-width file, and
// the PNG read back with libpng. Then word wrapping (--wrap) on a real CJK font the real tool
// wrote, line by line as the text API breaks the text.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "reader/FontFileBuilder.h"
#include "reader/fontbin_text.h"
#include "support/Sandbox.h"
#include "tools/inspect/Inspect.h"

namespace {

using fbtest::buildFontFile;
using fbtest::Font;
using fbtest::Glyph;
using testing_support::TempDir;

// Size 12, 12 x 16 cells: 'A' a diagonal (x i, y i + 2), 'B' one pixel at x 3, y 5, a space.
Font font(bool crop, bool scanV, bool withSpace = true) {
    Font f;
    f.crop = crop;
    f.scanV = scanV;
    f.rows = 12;
    f.cols = 16;
    Glyph a, b, space;
    a.code = 'A';
    a.pixels.assign(f.rows * f.cols, 0);
    for (unsigned i = 0; i < 8; ++i) a.pixels[(i + 2) * f.cols + i] = 1;
    a.extentX = 8;
    a.extentY = 10;
    b.code = 'B';
    b.pixels.assign(f.rows * f.cols, 0);
    b.pixels[5 * f.cols + 3] = 1;
    b.extentX = 4;
    b.extentY = 6;
    space.code = ' ';
    space.pixels.assign(f.rows * f.cols, 0);
    f.glyphs = {a, b};
    if (withSpace) f.glyphs.insert(f.glyphs.begin(), space);
    return f;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    size_t start = 0;
    for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
        out.push_back(text.substr(start, nl - start));
    return out;
}

std::string write(const TempDir& dir, const Font& f, const std::string& name = "t_font.bin") {
    const std::vector<uint8_t> bytes = buildFontFile(f);
    testing_support::writeFile(dir / name, std::string(bytes.begin(), bytes.end()));
    return (dir / name).string();
}

TEST(Preview, LaysTextOutAsTheCookbookSays) {
    TempDir dir;
    struct Case {
        const char* what;
        Font font;
        std::vector<std::string> args;
        unsigned width, height;
        std::vector<std::pair<unsigned, unsigned>> ink;  // (x, y) that must be '#'
        size_t inkCount;
        int status;
    } cases[] = {
        // A: 0..8 (extent 8 + 1), B: 9..13, space 12 / 3 = 4, A again at 18.
        {"rows", font(false, false), {"AB A"}, 27, 12, {{0, 2}, {7, 9}, {12, 5}, {18, 2}}, 17, 0},
        // Column scanning: stored (x, y) is upright (y, x) in 16-row lines; B's pixel at (5, 3).
        {"columns", font(false, true), {"BA"}, 14, 16, {{5, 3}, {7, 0}, {12, 5}}, 8, 0},
        // Trimmed records: the space has no record and still takes 4 pixels.
        {"crop space", font(true, false, false), {"A A"}, 22, 12, {{0, 2}, {13, 2}}, 16, 0},
        // Turned clockwise: advance by extent y + 1 (A 11, B 7); stored (x, y) is upright
        // (y, 15 - x), so B's pixel lands at column 11 + 5, row 12, in 16-row lines.
        {"rotate 1", font(false, false), {"AB", "--rotate", "1"}, 18, 16, {{11 + 5, 12}}, 9, 0},
        // Wrapping at 12 pixels puts each letter on its own line.
        {"wrap", font(false, false), {"AA", "--width", "12"}, 12, 24, {{0, 2}, {0, 14}}, 16, 0},
        {"newline", font(false, false), {"A\\nB"}, 9, 24, {{3, 12 + 5}}, 9, 0},
        // A missing character: a 6-pixel box outline (rows 1 to 10) and status 3.
        {"missing", font(false, false), {"CA"}, 16, 12, {{0, 1}, {5, 10}, {7, 2}}, 28 + 8, 3},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {write(dir, c.font), "--text"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        inspect::Result r = inspect::run(args);
        EXPECT_EQ(r.status, c.status) << c.what << ": " << r.err;
        const std::vector<std::string> art = lines(r.out);
        ASSERT_EQ(art.size(), c.height) << c.what << ":\n" << r.out;
        EXPECT_EQ(art[0].size(), c.width) << c.what << ":\n" << r.out;
        for (auto [x, y] : c.ink)
            EXPECT_EQ(art[y][x], '#') << c.what << " at " << x << ", " << y << ":\n" << r.out;
        size_t ink = 0;
        for (const std::string& l : art) ink += std::count(l.begin(), l.end(), '#');
        EXPECT_EQ(ink, c.inkCount) << c.what << ":\n" << r.out;
        if (c.status == 3) {
            EXPECT_NE(r.err.find("no glyph for U+0043 'C' (drawn as a box)"), std::string::npos)
                << r.err;
        }
    }
}

TEST(Preview, RefusesWhatItCannotDraw) {
    TempDir dir;
    const std::string path = write(dir, font(false, false));
    // 700,000 letters on one line: 6.3 million pixels wide, 12 high.
    inspect::Result r = inspect::run({path, "--text", std::string(700000, 'A')});
    EXPECT_EQ(r.status, inspect::kViolation);
    EXPECT_NE(r.err.find("more than 64 million pixels"), std::string::npos) << r.err;
    r = inspect::run({path, "--png", "x.png"});
    EXPECT_EQ(r.status, inspect::kUsage);
    r = inspect::run({path, "--text", "A", "--show", "A"});
    EXPECT_EQ(r.status, inspect::kUsage);
}

TEST(Preview, AdvanceWidthsFileTakesOver) {
    TempDir dir;
    const std::string path = write(dir, font(false, false));
    // Widths in glyph order (space, A, B): 2, 3, 10.
    std::vector<uint8_t> adv = {'F', 'B', 'A', 'W', 1, 12, 3, 0, 0, 0, 9, 0, 2, 3, 10};
    testing_support::writeFile(dir / "t_adv.bin", std::string(adv.begin(), adv.end()));
    inspect::Result r = inspect::run({path, "--text", "A B"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> art = lines(r.out);
    // A at 0 (advance 3), space 2, B at 5: its pixel at 8; the line is 15 wide.
    ASSERT_EQ(art.size(), 12u);
    EXPECT_EQ(art[0].size(), 15u);
    EXPECT_EQ(art[5][8], '#') << r.out;
    // The check of the file covers it.
    r = inspect::run({path});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("advances    " + (dir / "t_adv.bin").string() + ": 3 widths, ok"),
              std::string::npos)
        << r.out;
    // A width file of another font size is refused with the reader's reason, by both.
    adv[5] = 13;
    testing_support::writeFile(dir / "t_adv.bin", std::string(adv.begin(), adv.end()));
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{path, "--text", "A"}, std::vector<std::string>{path}}) {
        r = inspect::run(args);
        EXPECT_EQ(r.status, inspect::kViolation);
        EXPECT_NE(r.err.find("t_adv.bin: inconsistent header: font size differs"),
                  std::string::npos)
            << r.err;
    }
}

TEST(Preview, PngIsMagnifiedWithAGridAndRedBoxes) {
    TempDir dir;
    const std::string png = (dir / "p.png").string();
    inspect::Result r = inspect::run(
        {write(dir, font(false, false)), "--text", "CB", "--png", png, "--scale", "5"});
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.out.find("preview     " + png + ": 12 x 12 display pixels, 1 line(s), scale 5"),
              std::string::npos)
        << r.out;
    const RgbImage image = readRgbPng(png);
    ASSERT_EQ(image.width, 60u);
    ASSERT_EQ(image.height, 60u);
    auto at = [&](unsigned x, unsigned y) { return image.at(x, y); };
    EXPECT_EQ(at(0, 5 + 2)[0], 220);  // the box's left edge, red
    EXPECT_EQ(at(0, 5 + 2)[1], 40);
    EXPECT_EQ(at((7 + 3) * 5 + 1, 5 * 5 + 1)[0], 0);  // B's pixel, black
    EXPECT_EQ(at(12, 12)[0], 255);                    // background
    EXPECT_EQ(at(14, 12)[0], 248);                    // the grid, a shade darker
}

// Where word wrapping ends lines, on wqy-microhei at 16 px: each case's text wrapped at the width
// of `fits` plus `slack` pixels. The text API gives these lines, and the preview draws them as each
// line drawn alone.
TEST(Preview, WordWrapOnARealCjkFont) {
    struct Case {
        const char* what;
        std::string text, fits;
        int slack;
        std::vector<std::string> lines;
    } cases[] = {
        {"no line starts with 。", "你好。世界", "你好", 0, {"你", "好。", "世界"}},
        {"nor with ，or ！", "你好，世界！", "你好", 0, {"你", "好，", "世", "界！"}},
        {"nor with a Latin comma", "你好,世界", "你好", 0, {"你", "好,", "世界"}},
        {"nor with small kana", "あいぁう", "あい", 0, {"あ", "いぁ", "う"}},
        {"none ends with 「", "你好「世", "你好「", 0, {"你好", "「世"}},
        {"a word cut where it is too wide, kinsoku kept", "abcd)", "abcd", 0, {"abc", "d)"}},
        {"after a hyphen", "well-known", "well-kn", 0, {"well-", "known"}},
        {"between Latin and CJK", "x ab世", "x ab世", -1, {"x ab", "世"}},
        {"between CJK and Latin", "世 界ab", "世 界ab", -1, {"世 界", "ab"}},
        {"two spaces at a break", "ab  cd", "ab  c", 0, {"ab", "cd"}},
        {"three spaces at a break", "ab   cd", "ab   c", 0, {"ab", "cd"}},
    };
    std::vector<uint32_t> cjk;
    for (const Case& c : cases)
        for (size_t at = 0, used = 0; at < c.text.size(); at += used) {
            const uint32_t cp = fb_utf8_next(c.text.data() + at, c.text.size() - at, &used);
            if (cp > 0x7E && std::find(cjk.begin(), cjk.end(), cp) == cjk.end()) cjk.push_back(cp);
        }
    std::sort(cjk.begin(), cjk.end());
    const fbtest::ToolFont file = fbtest::runTool(
        FONTBIN_TEST_FONT_MICROHEI, cjk, R"("fontSize": 16, "renderMode": 1, "indexMethod": 1)");
    fb_font font;
    ASSERT_EQ(fb_open(file.bytes.data(), file.bytes.size(), &font), FB_OK);
    fb_text t;
    ASSERT_EQ(fb_text_init(&t, &font, nullptr), FB_OK);
    for (const Case& c : cases) {
        fb_text_extent e;
        fb_text_measure(&t, c.fits.data(), c.fits.size(), 0, FB_WRAP_NONE, &e);
        const unsigned width = unsigned(int(e.width) + c.slack);
        std::vector<std::string> got;
        for (size_t pos = 0, next = 0; pos < c.text.size(); pos = next) {
            const size_t n = fb_text_line_break(&t, c.text.data() + pos, c.text.size() - pos, width,
                                                FB_WRAP_WORDS, &next);
            got.push_back(c.text.substr(pos, n));
            next += pos;
        }
        EXPECT_EQ(got, c.lines) << c.what << " at " << width << " px";
        // The preview: the wrapped text is its lines drawn one under the other.
        const inspect::Result r =
            inspect::run({file.path, "--text", c.text, "--wrap", std::to_string(width)});
        ASSERT_EQ(r.status, 0) << c.what << ": " << r.err;
        std::string want;
        for (const std::string& line : c.lines) {
            for (std::string row : lines(inspect::run({file.path, "--text", line}).out)) {
                row.resize(width, '.');
                want += row + "\n";
            }
        }
        EXPECT_EQ(r.out, want) << c.what << ":\n" << r.out;
    }
}

// The summary counts a compact file's kerning pairs (DejaVu Sans kerns "AV", "To", ...).
TEST(Preview, SummaryCountsACompactFilesKerning) {
    const fbtest::ToolFont file =
        fbtest::runTool(FONTBIN_TEST_FONT_DEJAVU, {},
                        R"("fontSize": 16, "renderMode": 1, "compact": true, )"
                        R"("kerning": true)");
    fb_font font;
    ASSERT_EQ(fb_open(file.bytes.data(), file.bytes.size(), &font), FB_OK);
    ASSERT_GT(font.compact.pair_count, 100u);
    const inspect::Result r = inspect::run({file.path});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("kerning     " + std::to_string(font.compact.pair_count) +
                         " pairs, in the file's kerning section\n"),
              std::string::npos)
        << r.out;
}

}  // namespace

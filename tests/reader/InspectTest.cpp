// fontbin-inspect on files built in memory and written to a temporary folder: the summary, the
// check and its one-line reasons, glyph art (upright for column scanning), the PNG sheet read
// back with libpng, and the command line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "reader/FontFileBuilder.h"
#include "support/Sandbox.h"
#include "tools/inspect/Inspect.h"

namespace {

using fbtest::buildFontFile;
using fbtest::Font;
using fbtest::Glyph;
using testing_support::TempDir;

// Size 12, 1 bpp: 'A' with a diagonal, 'B' with one pixel at x 3, y 5, a space.
Font smallFont(bool crop, bool scanV) {
    Font f;
    f.crop = crop;
    f.scanV = scanV;
    f.rows = 12;  // "V" at size 12 packs 12 rows x 16 columns, as "H" does
    f.cols = 16;
    Glyph a, b, space;
    a.code = 'A';
    a.pixels = std::vector<uint8_t>(f.rows * f.cols, 0);
    for (unsigned i = 0; i < 8; ++i) a.pixels[(i + 2) * f.cols + i] = 1;
    a.extentX = 8;
    a.extentY = 10;
    b.code = 'B';
    b.pixels = std::vector<uint8_t>(f.rows * f.cols, 0);
    b.pixels[5 * f.cols + 3] = 1;
    b.extentX = 4;
    b.extentY = 6;
    space.code = ' ';
    space.pixels = std::vector<uint8_t>(f.rows * f.cols, 0);
    f.glyphs = {space, a, b};
    return f;
}

std::string writeFont(const TempDir& dir, const std::vector<uint8_t>& bytes,
                      const std::string& name = "font.bin") {
    testing_support::writeFile(dir / name, std::string(bytes.begin(), bytes.end()));
    return (dir / name).string();
}

size_t lineCount(const std::string& text) {
    size_t n = 0;
    for (char c : text) n += c == '\n';
    return n;
}

TEST(Inspect, SummaryAndCheckOfEachLayout) {
    TempDir dir;
    for (bool crop : {false, true}) {
        Font f = smallFont(crop, false);
        const std::string path = writeFont(dir, buildFontFile(f));
        inspect::Result r = inspect::run({path});
        EXPECT_EQ(r.status, inspect::kOk) << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_NE(r.out.find("name        \"test\"\n"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("font size   12 px\n"), std::string::npos);
        EXPECT_NE(r.out.find("check       ok"), std::string::npos);
        if (crop) {
            EXPECT_NE(r.out.find("glyphs      2 records, U+0041 to U+0042"), std::string::npos);
            EXPECT_NE(r.out.find("flags       0x10 (crop)"), std::string::npos);
            // 'A': 8 stored rows of 1 byte; 'B': 1 row of 1 byte.
            EXPECT_NE(r.out.find("bytes/glyph 5 to 12, 8.5 on average"), std::string::npos)
                << r.out;
        } else {
            EXPECT_NE(r.out.find("glyphs      3 records, U+0020 to U+0042, 1 without ink"),
                      std::string::npos);
            EXPECT_NE(r.out.find("bytes/glyph 28 (4 metric bytes + 24 pixel bytes)"),
                      std::string::npos);
            EXPECT_NE(r.out.find("12 rows x 16 columns (row scanning, no rotation: assumed"),
                      std::string::npos);
        }
    }
}

TEST(Inspect, ViolationsGiveOneLineAndStatus1) {
    TempDir dir;
    Font f = smallFont(true, false);
    std::vector<uint8_t> bytes = buildFontFile(f);
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        const char* reason;
    } cases[] = {
        {"truncated", std::vector<uint8_t>(bytes.begin(), bytes.end() - 1),
         "truncated file: file ends inside a glyph record (at byte 262175, U+0042)"},
        {"not a font", {'h', 'e', 'l', 'l', 'o'}, "not a fontbin font file"},
        {"empty", {}, "truncated file: file ends inside the header (at byte 0)"},
    };
    for (const Case& c : cases) {
        const std::string path = writeFont(dir, c.bytes);
        inspect::Result r = inspect::run({path});
        EXPECT_EQ(r.status, inspect::kViolation) << c.what;
        EXPECT_EQ(lineCount(r.err), 1u) << c.what << ": " << r.err;
        EXPECT_NE(r.err.find(c.reason), std::string::npos) << c.what << ": " << r.err;
        EXPECT_EQ(r.err.rfind("fontbin-inspect: " + path + ": ", 0), 0u) << r.err;
    }
    // Ink right of the stored box: the file opens, the check fails.
    std::vector<uint8_t> inked = bytes;
    // 'A' is 12 bytes; 'B' (extent x 4) follows with one stored row: set its column 7.
    inked[fbtest::recordsOffset(f) + 12 + 4] |= 0x80;
    inspect::Result r = inspect::run({writeFont(dir, inked)});
    EXPECT_EQ(r.status, inspect::kViolation);
    EXPECT_EQ(lineCount(r.err), 1u) << r.err;
    EXPECT_NE(r.err.find("(U+0042): ink right of extent x"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("check       FAILED"), std::string::npos);

    inspect::Result missing = inspect::run({(dir / "nothing.bin").string()});
    EXPECT_EQ(missing.status, inspect::kViolation);
    EXPECT_EQ(lineCount(missing.err), 1u);
    inspect::Result directory = inspect::run({dir.path().string()});
    EXPECT_EQ(directory.status, inspect::kViolation);
    EXPECT_NE(directory.err.find("is a directory"), std::string::npos);
}

TEST(Inspect, ShowDrawsTheGlyphUprightForColumnScanning) {
    TempDir dir;
    // Row scanning: pixel x 3, y 5 is row 5, column 3 of the art.
    inspect::Result r =
        inspect::run({writeFont(dir, buildFontFile(smallFont(false, false))), "--show", "B"});
    ASSERT_EQ(r.status, inspect::kOk) << r.err;
    EXPECT_NE(r.out.find("U+0042 'B': glyph 2, record of 28 bytes"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("   5 ...#............\n"), std::string::npos) << r.out;
    // "V": the stored row 5 is column 5 of the upright glyph, so the pixel is at row 3.
    r = inspect::run({writeFont(dir, buildFontFile(smallFont(false, true))), "--show", "U+42"});
    ASSERT_EQ(r.status, inspect::kOk) << r.err;
    EXPECT_NE(r.out.find("shown upright"), std::string::npos);
    EXPECT_NE(r.out.find("   3 .....#......\n"), std::string::npos) << r.out;
    r = inspect::run(
        {writeFont(dir, buildFontFile(smallFont(false, true))), "--show", "0x42", "--raw"});
    EXPECT_NE(r.out.find("   5 ...#............\n"), std::string::npos) << r.out;
    // Trimmed record: metrics of the stored box.
    r = inspect::run({writeFont(dir, buildFontFile(smallFont(true, false))), "--show", "A"});
    EXPECT_NE(
        r.out.find("topSkip 2, origin y 0, extent (8, 10): cell rows 2 to 9 stored, 1 byte each"),
        std::string::npos)
        << r.out;
    // A character without a record.
    r = inspect::run({writeFont(dir, buildFontFile(smallFont(true, false))), "--show", " "});
    EXPECT_EQ(r.status, inspect::kNoSuchGlyph);
    EXPECT_NE(r.err.find("no glyph record for U+0020 ' '"), std::string::npos) << r.err;
}

TEST(Inspect, SheetIsAPngOfTheGrid) {
    TempDir dir;
    const std::string font = writeFont(dir, buildFontFile(smallFont(true, false)));
    const std::string sheet = (dir / "sheet.png").string();
    inspect::Result r = inspect::run({font, "--sheet", sheet, "--range", "U+0041-U+0042"});
    ASSERT_EQ(r.status, inspect::kOk) << r.err;
    // Two glyphs of 12 x 16 at scale 48 / 16 = 3 on a 16-column grid.
    EXPECT_NE(r.out.find("2 glyphs, 16 per row, 785 x 38 pixels, scale 3"), std::string::npos)
        << r.out;

    const RgbImage image = readRgbPng(sheet);
    ASSERT_EQ(image.width, 785u);
    ASSERT_EQ(image.height, 38u);
    auto at = [&](unsigned x, unsigned y) { return image.at(x, y); };
    EXPECT_EQ(at(0, 0)[0], 150);  // grid line
    // 'B' (second tile, starting at x 50): its pixel x 3, y 5 is black, its neighbour
    // inside the stored box is tinted, and a pixel outside the box is white.
    EXPECT_EQ(at(50 + 3 * 3, 1 + 5 * 3)[0], 0);
    EXPECT_EQ(at(50 + 2 * 3, 1 + 5 * 3)[2], 200);
    EXPECT_EQ(at(50 + 10 * 3, 1 + 10 * 3)[2], 255);

    r = inspect::run({font, "--sheet", sheet, "--range", "U+0100-U+0200"});
    EXPECT_EQ(r.status, inspect::kViolation);
    EXPECT_NE(r.err.find("no glyphs in the range"), std::string::npos);
    r = inspect::run({font, "--sheet", (dir / "no" / "such" / "folder.png").string()});
    EXPECT_EQ(r.status, inspect::kViolation);
    EXPECT_NE(r.err.find("cannot create"), std::string::npos);
}

TEST(Inspect, GeometryOptions) {
    TempDir dir;
    // Size 10 italic, turned: 15 x 16 cells; the header alone would say 10 x 16.
    Font f;
    f.fontSize = 10;
    f.italic = true;
    f.rows = 15;
    f.cols = 16;
    Glyph g;
    g.code = 'A';
    g.pixels = std::vector<uint8_t>(15 * 16, 1);
    f.glyphs = {g};
    const std::string path = writeFont(dir, buildFontFile(f));
    inspect::Result r = inspect::run({path});
    EXPECT_EQ(r.status, inspect::kOk);
    EXPECT_NE(r.out.find("15 rows x 16 columns (row scanning, rotation 1 or 2: inferred"),
              std::string::npos)
        << r.out;
    r = inspect::run({path, "--rotate", "2"});
    EXPECT_EQ(r.status, inspect::kOk);
    EXPECT_NE(r.out.find("(row scanning, rotation 2, as given)"), std::string::npos) << r.out;
    r = inspect::run({path, "--rotate", "0"});
    EXPECT_EQ(r.status, inspect::kViolation);
    EXPECT_NE(r.err.find("the records do not fit the 10 x 16 cell of row scanning with rotation 0"),
              std::string::npos)
        << r.err;
    r = inspect::run({path, "--cell", "16x15"});
    EXPECT_EQ(r.status, inspect::kOk);
    EXPECT_NE(r.out.find("16 rows x 15 columns (as given)"), std::string::npos);
    r = inspect::run({path, "--cell", "10x16"});
    EXPECT_EQ(r.status, inspect::kViolation);
    EXPECT_NE(r.err.find("cell size does not fit the file"), std::string::npos) << r.err;
}

TEST(Inspect, CommandLine) {
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"a.bin", "b.bin"},
        {"a.bin", "--rotate", "3"},
        {"a.bin", "--rotate"},
        {"a.bin", "--cell", "16"},
        {"a.bin", "--cell", "0x16"},
        {"a.bin", "--cell", "16x16", "--rotate", "1"},
        {"a.bin", "--show", "AB"},
        {"a.bin", "--range", "U+20-U+7E"},
        {"a.bin", "--frobnicate"},
    };
    for (const auto& args : bad) {
        inspect::Result r = inspect::run(args);
        EXPECT_EQ(r.status, inspect::kUsage) << (args.empty() ? "" : args.back());
        EXPECT_EQ(lineCount(r.err), 1u);
    }
    inspect::Result help = inspect::run({"--help"});
    EXPECT_EQ(help.status, inspect::kOk);
    EXPECT_EQ(help.out.rfind("usage: fontbin-inspect FILE [options]\n", 0), 0u) << help.out;
    for (const char* option :
         {"--show", "--sheet", "--range", "--raw", "--text", "--png", "--scale", "--width",
          "--rotate", "--scan", "--cell", "--font", "--size"})
        EXPECT_NE(help.out.find(std::string(option) + " "), std::string::npos) << option;
}

TEST(Inspect, CodePointsAndRanges) {
    struct Case {
        const char* text;
        long expected;  // -1: refused
    } cases[] = {
        {"U+4E00", 0x4E00},       {"u+41", 0x41},     {"0x41", 0x41},   {"A", 0x41},
        {"\xE4\xB8\xAD", 0x4E2D}, {"\xC3\xA9", 0xE9}, {"AB", -1},       {"U+", -1},
        {"U+12345678", -1},       {"U+110000", -1},   {"\xC0\x81", -1}, {"\xED\xA0\x80", -1},
        {"\xE4\xB8", -1},         {"", -1},           {"U+G1", -1},
    };
    for (const Case& c : cases) {
        auto cp = inspect::parseCodePoint(c.text);
        if (c.expected < 0)
            EXPECT_FALSE(cp.has_value()) << c.text;
        else
            EXPECT_EQ(cp.value_or(0xFFFFFFFF), static_cast<uint32_t>(c.expected)) << c.text;
    }
    uint32_t first = 0, last = 0;
    EXPECT_TRUE(inspect::parseRange("U+0020-U+007E", first, last));
    EXPECT_EQ(first, 0x20u);
    EXPECT_EQ(last, 0x7Eu);
    EXPECT_TRUE(inspect::parseRange("-", first, last));  // the character '-' itself
    EXPECT_EQ(first, 0x2Du);
    EXPECT_FALSE(inspect::parseRange("U+7E-U+20", first, last));
    EXPECT_EQ(inspect::scanFromText("VH"), FB_SCAN_COLUMNS);
    EXPECT_EQ(inspect::scanFromText("v"), FB_SCAN_COLUMNS_ROW_SIZED);
    EXPECT_EQ(inspect::scanFromText(""), FB_SCAN_ROWS);
    EXPECT_EQ(inspect::describeCodePoint(0x200B), "U+200B");
    EXPECT_EQ(inspect::describeCodePoint(0x41), "U+0041 'A'");
}

}  // namespace

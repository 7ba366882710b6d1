// The device reader on files built in memory the way the tool writes them: every layout, every
// depth, the cell shapes of each scan and rotation, the header's corner cases, and each rule
// fb_open and fb_check_font enforce (opened through both, as the tools open every file).
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "reader/FontFileBuilder.h"
#include "reader/GuardedBuffer.h"
#include "reader/fontbin_reader.h"

namespace {

// fb_open, then the whole check: the error of the first that fails.
fb_error openChecked(const uint8_t* data, size_t size, fb_font* font) {
    const fb_error err = fb_open(data, size, font);
    return err == FB_OK ? fb_check_font(font) : err;
}

fb_error openCellChecked(const uint8_t* data, size_t size, unsigned rows, unsigned cols,
                         fb_font* font) {
    const fb_error err = fb_open_cell(data, size, rows, cols, font);
    return err == FB_OK ? fb_check_font(font) : err;
}

using fbtest::buildFontFile;
using fbtest::Font;
using fbtest::Glyph;
using Bytes = std::vector<uint8_t>;

enum Layout { kTable, kList, kOffsets };
const char* const kLayoutNames[] = {"glyph table", "code list", "offset table"};

struct Shape {
    unsigned fontSize;
    bool italic;
    fb_scan scan;
    int rotate;
};

// Cell shapes that cover aligned and unaligned rows, transposition and both turns.
const Shape kShapes[] = {
    {12, false, FB_SCAN_ROWS, 0},               // 12 x 16
    {12, true, FB_SCAN_COLUMNS, 0},             // 18 x 16
    {10, true, FB_SCAN_ROWS, 1},                // 15 x 16
    {12, false, FB_SCAN_COLUMNS_ROW_SIZED, 0},  // 16 x 12: rows of 12 pixels
    {13, true, FB_SCAN_COLUMNS, 2},             // 16 x 19: rows of 19 pixels
};

// A font with a few glyphs of random ink inside random boxes, one of them empty (a space).
Font makeFont(Layout layout, unsigned bpp, const Shape& shape, uint32_t seed,
              std::vector<uint16_t> codes = {0x20, 0x41, 0x42, 0x7A, 0x4E00, 0xFFFD}) {
    Font f;
    fb_geometry g{};
    EXPECT_EQ(fb_cell_geometry(shape.fontSize, shape.italic, shape.scan, shape.rotate, &g), FB_OK);
    f.fontSize = static_cast<uint8_t>(shape.fontSize);
    f.italic = shape.italic;
    f.scanV = shape.scan == FB_SCAN_COLUMNS;
    f.bpp = static_cast<uint8_t>(bpp);
    f.crop = layout == kOffsets;
    f.indexList = layout == kList;
    f.rows = g.rows;
    f.cols = g.cols;
    std::mt19937 rng(seed);
    for (uint16_t code : codes) {
        Glyph glyph;
        glyph.code = code;
        glyph.pixels = std::vector<uint8_t>(f.rows * f.cols, 0);
        unsigned x0 = rng() % (f.cols / 2), y0 = rng() % (f.rows / 2);
        unsigned x1 = x0 + 1 + rng() % (f.cols - x0), y1 = y0 + 1 + rng() % (f.rows - y0);
        if (code != 0x20) {
            for (unsigned y = y0; y < y1; ++y)
                for (unsigned x = x0; x < x1; ++x)
                    if (rng() % 3)
                        glyph.pixels[y * f.cols + x] = static_cast<uint8_t>(rng() % (1u << bpp));
            glyph.pixels[y0 * f.cols + x1 - 1] =
                static_cast<uint8_t>((1u << bpp) - 1);  // ink on the edges
        }
        glyph.originX = static_cast<uint8_t>(rng());
        glyph.originY = static_cast<uint8_t>(rng());
        glyph.extentX = static_cast<uint8_t>(x1);
        glyph.extentY = static_cast<uint8_t>(y1);
        f.glyphs.push_back(glyph);
    }
    return f;
}

bool hasInk(const Glyph& g) {
    for (uint8_t p : g.pixels)
        if (p) return true;
    return false;
}

// Decodes every glyph and compares it with the cell it was built from.
void expectDecodes(const Font& built, const std::vector<uint8_t>& bytes, const Shape& shape) {
    fbtest::GuardedBuffer buf(bytes);
    fb_font font;
    ASSERT_EQ(openChecked(buf.data(), buf.size(), &font), FB_OK) << font.error_detail;
    // fb_open alone, in constant time, reads fixed records as the whole check does.
    fb_font quick;
    ASSERT_EQ(fb_open(buf.data(), buf.size(), &quick), FB_OK);
    if (!built.crop) {
        EXPECT_EQ(quick.glyph_count, font.glyph_count);
        EXPECT_EQ(quick.geometry.rows, font.geometry.rows);
        EXPECT_EQ(quick.geometry.cols, font.geometry.cols);
    }
    ASSERT_EQ(fb_set_geometry_for(&font, shape.scan, shape.rotate), FB_OK);
    EXPECT_EQ(font.geometry.rows, built.rows);
    EXPECT_EQ(font.geometry.cols, built.cols);
    EXPECT_STREQ(font.name, built.name.c_str());
    EXPECT_EQ(font.bpp, built.bpp);
    EXPECT_EQ(font.font_size, built.fontSize);
    std::vector<uint32_t> expectedCodes;
    for (const Glyph& want : built.glyphs) {
        SCOPED_TRACE(want.code);
        fb_glyph g;
        fb_error err = fb_find_glyph(&font, want.code, &g);
        if (built.crop && !hasInk(want)) {
            EXPECT_EQ(err, FB_ERR_NOT_FOUND);
            continue;
        }
        ASSERT_EQ(err, FB_OK);
        expectedCodes.push_back(want.code);
        EXPECT_EQ(g.code_point, want.code);
        EXPECT_EQ(g.trimmed, built.crop ? 1 : 0);
        EXPECT_EQ(g.origin_y, want.originY);
        EXPECT_EQ(g.extent_x, want.extentX);
        EXPECT_EQ(g.extent_y, want.extentY);
        if (!built.crop) {
            EXPECT_EQ(g.origin_x, want.originX);
        }
        const char* why = nullptr;
        EXPECT_EQ(fb_check_glyph(&g, &why), FB_OK) << why;
        int wrong = 0;
        for (unsigned y = 0; y < built.rows + 2; ++y)
            for (unsigned x = 0; x < built.cols + 2; ++x) {
                unsigned expected =
                    (x < built.cols && y < built.rows) ? want.pixels[y * built.cols + x] : 0;
                wrong += fb_glyph_pixel(&g, x, y) != expected;
            }
        EXPECT_EQ(wrong, 0);
    }
    for (uint32_t missing : {0x21u, 0x43u, 0xFFFFu, 0x10000u}) {
        fb_glyph g;
        EXPECT_EQ(fb_find_glyph(&font, missing, &g), FB_ERR_NOT_FOUND) << missing;
    }
    std::vector<uint32_t> walked;
    fb_glyph g;
    for (uint32_t cp = 0; fb_next_glyph(&font, cp, &g) == FB_OK; cp = g.code_point + 1)
        walked.push_back(g.code_point);
    EXPECT_EQ(walked, expectedCodes);
}

TEST(Reader, DecodesEveryLayoutDepthAndCellShape) {
    uint32_t seed = 1;
    for (Layout layout : {kTable, kList, kOffsets})
        for (unsigned bpp : {1u, 2u, 4u, 8u})
            for (const Shape& shape : kShapes) {
                SCOPED_TRACE(std::string(kLayoutNames[layout]) + ", bpp " + std::to_string(bpp) +
                             ", size " + std::to_string(shape.fontSize) + ", scan " +
                             std::to_string(shape.scan) + ", rotate " +
                             std::to_string(shape.rotate));
                Font built = makeFont(layout, bpp, shape, seed++);
                expectDecodes(built, buildFontFile(built), shape);
            }
}

TEST(Reader, CellGeometryRules) {
    struct Case {
        unsigned size;
        int italic;
        fb_scan scan;
        int rotate;
        unsigned rows, cols;
    } cases[] = {
        {12, 0, FB_SCAN_ROWS, 0, 12, 16},               // drawn 12 x 16
        {12, 0, FB_SCAN_COLUMNS, 0, 12, 16},            // drawn 16 x 12, transposed
        {12, 1, FB_SCAN_ROWS, 0, 12, 24},               // W0 18 -> 24
        {12, 1, FB_SCAN_COLUMNS, 0, 18, 16},            // drawn 16 x 18, transposed
        {12, 0, FB_SCAN_COLUMNS_ROW_SIZED, 0, 16, 12},  // "v": drawn 12 x 16, transposed
        {16, 0, FB_SCAN_ROWS, 1, 16, 16},               // drawn 16 x 16, turned
        {16, 1, FB_SCAN_ROWS, 1, 24, 16},               // drawn 16 x 24, turned
        {16, 1, FB_SCAN_ROWS, 2, 24, 16},
        {12, 1, FB_SCAN_COLUMNS, 1, 16, 18},  // drawn 16 x 18, transposed, turned
        {12, 1, FB_SCAN_COLUMNS_ROW_SIZED, 2, 16, 18},
        {13, 1, FB_SCAN_ROWS, 0, 13, 24},  // W0 19
        {1, 0, FB_SCAN_ROWS, 0, 1, 8},
    };
    for (const Case& c : cases) {
        fb_geometry g{};
        ASSERT_EQ(fb_cell_geometry(c.size, c.italic, c.scan, c.rotate, &g), FB_OK);
        EXPECT_EQ(g.rows, c.rows) << c.size << " " << c.italic << " " << c.scan << " " << c.rotate;
        EXPECT_EQ(g.cols, c.cols) << c.size << " " << c.italic << " " << c.scan << " " << c.rotate;
    }
    fb_geometry g{};
    EXPECT_EQ(fb_cell_geometry(0, 0, FB_SCAN_ROWS, 0, &g), FB_ERR_ARGUMENT);
    EXPECT_EQ(fb_cell_geometry(12, 0, FB_SCAN_ROWS, 3, &g), FB_ERR_ARGUMENT);
    EXPECT_EQ(fb_cell_geometry(12, 0, static_cast<fb_scan>(7), 0, &g), FB_ERR_ARGUMENT);
}

TEST(Reader, HeaderOfSimsunWithoutGlyphs) {
    Font f;
    f.name = "simsun";
    f.fontSize = 16;
    f.indexList = true;
    std::vector<uint8_t> bytes = buildFontFile(f);
    ASSERT_EQ(bytes.size(), 21u);
    const uint8_t start[] = {0x15, 0x01, 0x03, 0x00, 0x00, 0x01, 16, 1, 0x08, 0, 0, 0, 0, 7};
    EXPECT_EQ(std::memcmp(bytes.data(), start, sizeof start), 0);
    fb_font font;
    ASSERT_EQ(openChecked(bytes.data(), bytes.size(), &font), FB_OK);
    EXPECT_EQ(font.header_length, 21u);
    EXPECT_EQ(font.name_length, 7u);
    EXPECT_STREQ(font.name, "simsun");
    EXPECT_EQ(font.layout, FB_LAYOUT_CODE_LIST);
    EXPECT_EQ(font.glyph_count, 0u);
    EXPECT_EQ(font.char_count, 0u);
    fb_glyph g;
    EXPECT_EQ(fb_find_glyph(&font, 0x41, &g), FB_ERR_NOT_FOUND);
    EXPECT_EQ(fb_next_glyph(&font, 0, &g), FB_ERR_NOT_FOUND);
}

TEST(Reader, BitOrderOfEachDepth) {
    // A 12 x 12 cell at 1 bpp packs into 18 bytes; its second row begins at bit 4 of byte 1.
    Font f;
    f.indexList = true;
    f.rows = f.cols = 12;
    Glyph g1;
    g1.code = 0x41;
    g1.pixels = std::vector<uint8_t>(144, 0);
    g1.pixels[12] = 1;  // x 0, y 1
    f.glyphs = {g1};
    std::vector<uint8_t> bytes = buildFontFile(f);
    const size_t at = fbtest::recordsOffset(f) + 4;
    ASSERT_EQ(bytes.size(), at + 18);
    EXPECT_EQ(bytes[at + 1], 0x10);
    fb_font font;
    // No font size gives a 12 x 12 cell: for size 12 the record is one 12 x 16 cell short.
    // The caller can name the cell.
    EXPECT_EQ(openChecked(bytes.data(), bytes.size(), &font), FB_ERR_TRUNCATED);
    EXPECT_EQ(openCellChecked(bytes.data(), bytes.size(), 6, 16, &font), FB_ERR_GEOMETRY);
    ASSERT_EQ(openCellChecked(bytes.data(), bytes.size(), 12, 12, &font), FB_OK);
    EXPECT_EQ(font.geometry.scan, -1);
    fb_glyph g;
    ASSERT_EQ(fb_find_glyph(&font, 0x41, &g), FB_OK);
    EXPECT_EQ(fb_glyph_pixel(&g, 0, 1), 1u);
    EXPECT_EQ(fb_glyph_pixel(&g, 1, 1), 0u);
    EXPECT_EQ(fb_glyph_pixel(&g, 0, 0), 0u);

    // The record's pixel bytes, hand-packed, and the value at the first three pixels.
    struct Case {
        unsigned bpp;
        uint8_t byte0;
        unsigned p0, p1, p2;
    } cases[] = {
        {1, 0x05, 1, 0, 1}, {2, 0x39, 1, 2, 3}, {4, 0x5A, 0xA, 0x5, 0}, {8, 0xC3, 0xC3, 0, 0}};
    for (const Case& c : cases) {
        Font d;
        d.bpp = static_cast<uint8_t>(c.bpp);
        d.indexList = true;
        d.rows = 12;
        d.cols = 16;
        Glyph g2;
        g2.code = 0x42;
        g2.pixels = std::vector<uint8_t>(12 * 16, 0);
        d.glyphs = {g2};
        std::vector<uint8_t> b = buildFontFile(d);
        b[fbtest::recordsOffset(d) + 4] = c.byte0;
        fb_font df;
        ASSERT_EQ(openChecked(b.data(), b.size(), &df), FB_OK);
        fb_glyph dg;
        ASSERT_EQ(fb_find_glyph(&df, 0x42, &dg), FB_OK);
        EXPECT_EQ(fb_glyph_pixel(&dg, 0, 0), c.p0) << c.bpp;
        EXPECT_EQ(fb_glyph_pixel(&dg, 1, 0), c.p1) << c.bpp;
        EXPECT_EQ(fb_glyph_pixel(&dg, 2, 0), c.p2) << c.bpp;
    }
}

TEST(Reader, TrimmedRecordsKeepTheirBox) {
    // First three rows empty: topSkip 3. Row widths 9 at 1 bpp and 4 bpp: 2 and 5 bytes.
    for (unsigned bpp : {1u, 4u}) {
        Font f = makeFont(kOffsets, bpp, kShapes[0], 7, {0x41});
        Glyph& g = f.glyphs[0];
        g.pixels = std::vector<uint8_t>(f.rows * f.cols, 0);
        g.pixels[3 * f.cols + 8] = 1;
        g.pixels[10 * f.cols + 0] = 1;
        g.extentX = 9;
        g.extentY = 12;
        std::vector<uint8_t> bytes = buildFontFile(f);
        fb_font font;
        ASSERT_EQ(openChecked(bytes.data(), bytes.size(), &font), FB_OK);
        fb_glyph out;
        ASSERT_EQ(fb_find_glyph(&font, 0x41, &out), FB_OK);
        EXPECT_EQ(out.offset, fbtest::recordsOffset(f));
        EXPECT_EQ(out.top_skip, 3u);
        EXPECT_EQ(out.row_bytes, bpp == 1 ? 2u : 5u);
        EXPECT_EQ(out.stored_rows, 9u);
        EXPECT_EQ(out.size, 4u + 9u * out.row_bytes);
        EXPECT_EQ(bytes.size(), out.offset + out.size);
        EXPECT_EQ(fb_glyph_pixel(&out, 8, 3), 1u);
        EXPECT_EQ(fb_glyph_pixel(&out, 0, 10), 1u);
        EXPECT_EQ(fb_glyph_pixel(&out, 9, 3), 0u);
    }
}

TEST(Reader, CropWithIndexMethodCountsCharactersYetHasTheFullTable) {
    Font f = makeFont(kOffsets, 1, kShapes[0], 3);
    f.indexList = true;
    std::vector<uint8_t> bytes = buildFontFile(f);
    EXPECT_EQ(bytes[9] | bytes[10] << 8, 4 * 6);
    fb_font font;
    ASSERT_EQ(openChecked(bytes.data(), bytes.size(), &font), FB_OK);
    EXPECT_EQ(font.layout, FB_LAYOUT_OFFSET_TABLE);
    EXPECT_EQ(font.char_count, 6u);
    EXPECT_EQ(font.glyph_count, 5u);  // the space has no record
    EXPECT_EQ(font.records_offset, font.header_length + 262144u);
    expectDecodes(f, bytes, kShapes[0]);
}

TEST(Reader, EveryCodePointSelected) {
    // All 65536 code points: U+FFFF is glyph 65535, which its table entry 0xFFFF cannot say.
    for (bool withLast : {true, false}) {
        Font f;
        f.fontSize = 1;
        f.rows = 1;
        f.cols = 8;
        for (uint32_t cp = 0; cp < (withLast ? 65536u : 65535u); ++cp) {
            Glyph g;
            g.code = static_cast<uint16_t>(cp);
            g.pixels = std::vector<uint8_t>(8, 0);
            g.pixels[cp % 8] = 1;
            g.originX = static_cast<uint8_t>(cp);
            f.glyphs.push_back(std::move(g));
        }
        std::vector<uint8_t> bytes = buildFontFile(f);
        fb_font font;
        ASSERT_EQ(openChecked(bytes.data(), bytes.size(), &font), FB_OK) << font.error_detail;
        EXPECT_EQ(font.glyph_count, withLast ? 65536u : 65535u);
        fb_glyph g;
        ASSERT_EQ(fb_find_glyph(&font, 0xFFFE, &g), FB_OK);
        EXPECT_EQ(g.number, 0xFFFEu);
        EXPECT_EQ(fb_glyph_pixel(&g, 6, 0), 1u);
        if (withLast) {
            ASSERT_EQ(fb_find_glyph(&font, 0xFFFF, &g), FB_OK);
            EXPECT_EQ(g.number, 0xFFFFu);
            EXPECT_EQ(g.origin_x, 0xFFu);
            EXPECT_EQ(fb_glyph_pixel(&g, 7, 0), 1u);
        } else {
            EXPECT_EQ(fb_find_glyph(&font, 0xFFFF, &g), FB_ERR_NOT_FOUND);
        }
    }
}

TEST(Reader, GeometryTheHeaderCannotTellIsInferredOrGiven) {
    // Size 10 italic, row scanning turned by rotation: 15 x 16 cells (150 pixels as drawn
    // unturned would be 10 x 16). The record size tells them apart.
    Shape turned{10, true, FB_SCAN_ROWS, 1};
    Font f = makeFont(kList, 1, turned, 11);
    std::vector<uint8_t> bytes = buildFontFile(f);
    fb_font font;
    ASSERT_EQ(openChecked(bytes.data(), bytes.size(), &font), FB_OK);
    EXPECT_EQ(font.geometry.rows, 15u);
    EXPECT_EQ(font.geometry.cols, 16u);
    EXPECT_EQ(font.geometry.rotate, 1);
    fb_geometry header{};
    ASSERT_EQ(fb_default_geometry(&font, &header), FB_OK);
    EXPECT_EQ(header.rows, 10u);
    EXPECT_EQ(header.cols, 16u);
    // A cell of another byte count is refused and the font keeps its cell.
    EXPECT_EQ(fb_set_geometry(&font, 10, 16), FB_ERR_GEOMETRY);
    EXPECT_EQ(fb_set_geometry_for(&font, FB_SCAN_ROWS, 0), FB_ERR_GEOMETRY);
    EXPECT_EQ(font.geometry.rows, 15u);
    // Same pixel count, other shape: accepted, the caller knows best.
    EXPECT_EQ(fb_set_geometry(&font, 16, 15), FB_OK);
    EXPECT_EQ(fb_set_geometry(&font, 0, 15), FB_ERR_GEOMETRY);

    // Trimmed: a record 20 rows tall does not fit 16 x 24 (size 16 italic, unturned) but fits
    // the turned 24 x 16 cell.
    Shape turned16{16, true, FB_SCAN_ROWS, 2};
    Font t = makeFont(kOffsets, 2, turned16, 12, {0x41});
    t.glyphs[0].pixels[19 * t.cols + 2] = 3;
    t.glyphs[0].extentX = 3;
    t.glyphs[0].extentY = 20;
    bytes = buildFontFile(t);
    ASSERT_EQ(openChecked(bytes.data(), bytes.size(), &font), FB_OK);
    EXPECT_EQ(font.geometry.rows, 24u);
    EXPECT_EQ(font.geometry.rotate, 1);
    EXPECT_EQ(fb_set_geometry_for(&font, FB_SCAN_ROWS, 0), FB_ERR_GEOMETRY);
    EXPECT_EQ(fb_set_geometry(&font, 20, 3), FB_OK);
    EXPECT_EQ(fb_set_geometry(&font, 19, 3), FB_ERR_GEOMETRY);
}

TEST(Reader, RefusesBrokenFilesWithTheRightCode) {
    struct Case {
        const char* what;
        Layout layout;
        void (*mutate)(std::vector<uint8_t>& b, size_t records, size_t header);
        fb_error expected;
    } cases[] = {
        {"magic", kList, [](Bytes& b, size_t, size_t) { b[2] = 4; }, FB_ERR_BAD_MAGIC},
        {"short", kList, [](Bytes& b, size_t, size_t) { b.resize(10); }, FB_ERR_TRUNCATED},
        {"header length", kList, [](Bytes& b, size_t, size_t) { b[0]++; }, FB_ERR_BAD_HEADER},
        {"name length 0", kList, [](Bytes& b, size_t, size_t) { b[0] = 14, b[13] = 0; },
         FB_ERR_BAD_HEADER},
        {"name unterminated", kList, [](Bytes& b, size_t, size_t h) { b[h - 1] = 'x'; },
         FB_ERR_BAD_HEADER},
        {"zero in name", kList, [](Bytes& b, size_t, size_t) { b[15] = 0; }, FB_ERR_BAD_HEADER},
        {"size 0", kList, [](Bytes& b, size_t, size_t) { b[6] = 0; }, FB_ERR_BAD_HEADER},
        {"bpp 3", kList, [](Bytes& b, size_t, size_t) { b[7] = 3; }, FB_ERR_BAD_HEADER},
        {"flag bit 5", kList, [](Bytes& b, size_t, size_t) { b[8] |= 0x20; }, FB_ERR_BAD_HEADER},
        {"odd indexBytes", kList, [](Bytes& b, size_t, size_t) { b[9]++; }, FB_ERR_BAD_HEADER},
        {"list order", kList, [](Bytes& b, size_t, size_t h) { std::swap(b[h + 2], b[h + 4]); },
         FB_ERR_BAD_INDEX},
        {"list duplicate", kList,
         [](Bytes& b, size_t, size_t h) { b[h + 4] = b[h + 2], b[h + 5] = b[h + 3]; },
         FB_ERR_BAD_INDEX},
        {"trailing byte", kList, [](Bytes& b, size_t, size_t) { b.push_back(0); }, FB_ERR_LENGTH},
        {"one record short", kList,
         [](Bytes& b, size_t r, size_t) { b.resize(b.size() - (b.size() - r) / 6); },
         FB_ERR_TRUNCATED},
        {"record size", kList, [](Bytes& b, size_t r, size_t) { b.resize(r + 6 * 30); },
         FB_ERR_BAD_RECORD},
        {"table indexBytes", kTable, [](Bytes& b, size_t, size_t) { b[9] = 2; }, FB_ERR_BAD_HEADER},
        {"table numbering", kTable, [](Bytes& b, size_t, size_t h) { b[h + 2 * 0x41] = 5; },
         FB_ERR_BAD_INDEX},
        {"table truncated", kTable, [](Bytes& b, size_t, size_t h) { b.resize(h + 1000); },
         FB_ERR_TRUNCATED},
        {"offsets indexBytes", kOffsets, [](Bytes& b, size_t, size_t) { b[11] = 3; },
         FB_ERR_BAD_HEADER},
        {"offset into index", kOffsets, [](Bytes& b, size_t, size_t h) { b[h + 4 * 0x41] = 3; },
         FB_ERR_BAD_INDEX},
        {"offsets swapped", kOffsets,
         [](Bytes& b, size_t, size_t h) {
             for (int i = 0; i < 4; ++i) std::swap(b[h + 4 * 0x41 + i], b[h + 4 * 0x42 + i]);
         },
         FB_ERR_BAD_INDEX},
        {"offset gap", kOffsets, [](Bytes& b, size_t, size_t h) { b[h + 4 * 0x42]++; },
         FB_ERR_BAD_INDEX},
        {"offset past end", kOffsets,
         [](Bytes& b, size_t, size_t h) { b[h + 4 * 0xFFFD + 3] = 0x7F; }, FB_ERR_TRUNCATED},
        {"extent x 0", kOffsets, [](Bytes& b, size_t r, size_t) { b[r + 2] = 0; },
         FB_ERR_BAD_RECORD},
        {"topSkip past bottom", kOffsets, [](Bytes& b, size_t r, size_t) { b[r] = b[r + 3]; },
         FB_ERR_BAD_RECORD},
        {"offsets trailing", kOffsets, [](Bytes& b, size_t, size_t) { b.push_back(1); },
         FB_ERR_LENGTH},
        {"crop list count", kOffsets,
         [](Bytes& b, size_t, size_t) { b[8] |= 8, b[9] = 8, b[10] = 0, b[11] = 0; },
         FB_ERR_BAD_HEADER},
    };
    for (const Case& c : cases) {
        Font f = makeFont(c.layout, 1, kShapes[0], 5);
        std::vector<uint8_t> bytes = buildFontFile(f);
        c.mutate(bytes, fbtest::recordsOffset(f), 14 + f.name.size() + 1);
        fbtest::GuardedBuffer buf(bytes);
        fb_font font;
        EXPECT_EQ(openChecked(buf.data(), buf.size(), &font), c.expected) << c.what;
        EXPECT_FALSE(font.ready) << c.what;
        EXPECT_NE(font.error_detail, nullptr) << c.what;
        fb_glyph g;
        EXPECT_EQ(fb_find_glyph(&font, 0x41, &g), FB_ERR_ARGUMENT) << c.what;
    }
    fb_font font;
    EXPECT_EQ(fb_open(nullptr, 0, &font), FB_ERR_ARGUMENT);
    EXPECT_EQ(fb_open(reinterpret_cast<const uint8_t*>(""), 0, nullptr), FB_ERR_ARGUMENT);
    EXPECT_STREQ(fb_error_string(FB_ERR_TRUNCATED), "truncated file");
    EXPECT_STREQ(fb_error_string(static_cast<fb_error>(99)), "unknown error");
}

TEST(Reader, TrimmedRecordWiderThanAnyCell) {
    Font f = makeFont(kOffsets, 1, kShapes[0], 5, {0x41});
    f.cols = 200;  // a record 200 pixels wide, in a file of size 12
    f.glyphs[0].pixels = std::vector<uint8_t>(f.rows * f.cols, 1);
    f.glyphs[0].extentX = 200;
    f.glyphs[0].extentY = 2;
    std::vector<uint8_t> bytes = buildFontFile(f);
    fb_font font;
    EXPECT_EQ(openChecked(bytes.data(), bytes.size(), &font), FB_ERR_BAD_RECORD);
    EXPECT_EQ(openCellChecked(bytes.data(), bytes.size(), 12, 199, &font), FB_ERR_GEOMETRY);
    ASSERT_EQ(openCellChecked(bytes.data(), bytes.size(), 2, 200, &font), FB_OK);
    fb_glyph g;
    ASSERT_EQ(fb_find_glyph(&font, 0x41, &g), FB_OK);
    EXPECT_EQ(fb_glyph_pixel(&g, 199, 1), 1u);
    EXPECT_EQ(openCellChecked(bytes.data(), bytes.size(), 2, 0, &font), FB_ERR_ARGUMENT);
}

TEST(Reader, ErrorsNameTheCodePoint) {
    Font f = makeFont(kOffsets, 1, kShapes[0], 5);
    std::vector<uint8_t> bytes = buildFontFile(f);
    size_t h = 14 + f.name.size() + 1;
    bytes[h + 4 * 0x42]++;
    fb_font font;
    ASSERT_EQ(openChecked(bytes.data(), bytes.size(), &font), FB_ERR_BAD_INDEX);
    EXPECT_EQ(font.error_code_point, 0x42);
    EXPECT_EQ(font.error_offset, h + 4 * 0x42);
}

TEST(Reader, CheckGlyphFindsWhatTheWriterNeverDoes) {
    Font f = makeFont(kOffsets, 1, kShapes[0], 9, {0x41});
    Glyph& g = f.glyphs[0];
    g.pixels = std::vector<uint8_t>(f.rows * f.cols, 0);
    g.pixels[2 * f.cols + 1] = 1;
    g.extentX = 3;
    g.extentY = 4;
    std::vector<uint8_t> bytes = buildFontFile(f);
    size_t r = fbtest::recordsOffset(f);
    ASSERT_EQ(bytes[r], 2);  // topSkip
    const char* why = nullptr;
    fb_font font;
    fb_glyph out;
    bytes[r] = 1;  // one empty row kept: the first stored row is then empty
    bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(r + 4), 0);
    ASSERT_EQ(openChecked(bytes.data(), bytes.size(), &font), FB_OK);
    ASSERT_EQ(fb_find_glyph(&font, 0x41, &out), FB_OK);
    EXPECT_EQ(fb_check_glyph(&out, &why), FB_ERR_BAD_RECORD);
    EXPECT_STREQ(why, "first stored row is empty (topSkip too small)");
    bytes.erase(bytes.begin() + static_cast<std::ptrdiff_t>(r + 4));
    bytes[r] = 2;
    bytes[r + 4] |= 0x80;  // ink right of extent x 3
    ASSERT_EQ(openChecked(bytes.data(), bytes.size(), &font), FB_OK);
    ASSERT_EQ(fb_find_glyph(&font, 0x41, &out), FB_OK);
    EXPECT_EQ(fb_check_glyph(&out, &why), FB_ERR_BAD_RECORD);
    EXPECT_STREQ(why, "ink right of extent x");

    // Fixed record of a 12 x 12 cell at 1 bpp: 144 bits, no padding; 12 x 13 would have some.
    Font d;
    d.indexList = true;
    d.rows = 13;
    d.cols = 12;
    Glyph p;
    p.code = 1;
    p.pixels = std::vector<uint8_t>(13 * 12, 0);
    d.glyphs = {p};
    bytes = buildFontFile(d);
    bytes.back() = 0x10;
    ASSERT_EQ(openCellChecked(bytes.data(), bytes.size(), 13, 12, &font), FB_OK);
    ASSERT_EQ(fb_find_glyph(&font, 1, &out), FB_OK);
    EXPECT_EQ(fb_check_glyph(&out, &why), FB_ERR_BAD_RECORD);
    EXPECT_STREQ(why, "padding bits after the last pixel are not zero");
}

// Structural boundaries of a file: every header byte, the ends of name and index part, and
// both sides of every record boundary.
std::vector<size_t> boundaries(const Font& f, const std::vector<uint8_t>& bytes) {
    std::vector<size_t> cuts;
    for (size_t i = 0; i <= 16; ++i) cuts.push_back(i);
    size_t header = 14 + f.name.size() + 1, records = fbtest::recordsOffset(f);
    for (size_t at : {header, records}) cuts.insert(cuts.end(), {at - 1, at, at + 1});
    fb_font font;
    EXPECT_EQ(openChecked(bytes.data(), bytes.size(), &font), FB_OK);
    fb_glyph g;
    for (uint32_t cp = 0; fb_next_glyph(&font, cp, &g) == FB_OK; cp = g.code_point + 1)
        cuts.insert(cuts.end(),
                    {g.offset - 1, g.offset, g.offset + 1, g.offset + 4, g.offset + g.size - 1});
    return cuts;
}

TEST(Reader, FilesCutAnywhereAreRefused) {
    size_t tried = 0;
    for (Layout layout : {kTable, kList, kOffsets})
        for (unsigned bpp : {1u, 8u}) {
            Font f = makeFont(layout, bpp, kShapes[4], 21);
            std::vector<uint8_t> bytes = buildFontFile(f);
            std::vector<size_t> cuts = boundaries(f, bytes);
            if (layout == kList)  // small enough to cut at every length
                for (size_t n = 0; n < bytes.size(); ++n) cuts.push_back(n);
            for (size_t n : cuts) {
                if (n >= bytes.size()) continue;
                fbtest::GuardedBuffer buf(bytes.data(), n);
                fb_font font;
                fb_error err = openChecked(buf.data(), buf.size(), &font);
                EXPECT_NE(err, FB_OK) << kLayoutNames[layout] << " cut at " << n;
                ++tried;
            }
        }
    EXPECT_GT(tried, 500u);
}

// Reads everything a caller can read from an opened font, under every cell it accepts.
size_t readEverything(fb_font& font) {
    size_t reads = 0;
    const fb_scan scans[] = {FB_SCAN_ROWS, FB_SCAN_COLUMNS, FB_SCAN_COLUMNS_ROW_SIZED};
    for (int pass = 0; pass < 7; ++pass) {
        if (pass > 0 && fb_set_geometry_for(&font, scans[(pass - 1) / 2], (pass - 1) % 2) != FB_OK)
            continue;
        fb_glyph g;
        for (uint32_t cp = 0; fb_next_glyph(&font, cp, &g) == FB_OK; cp = g.code_point + 1) {
            const char* why;
            fb_check_glyph(&g, &why);
            for (unsigned y = 0; y <= g.rows; ++y)
                for (unsigned x = 0; x <= g.cols; ++x) reads += fb_glyph_pixel(&g, x, y) < 256;
        }
    }
    return reads;
}

TEST(Reader, RandomByteFlipsGiveAnErrorOrAReadableFont) {
    std::mt19937 rng(20240607);
    for (Layout layout : {kTable, kList, kOffsets})
        for (unsigned bpp : {1u, 2u, 4u, 8u}) {
            Font f = makeFont(layout, bpp, kShapes[(layout + bpp) % 5], bpp * 3 + layout);
            const std::vector<uint8_t> clean = buildFontFile(f);
            const size_t header = 14 + f.name.size() + 1, records = fbtest::recordsOffset(f);
            std::vector<size_t> indexSpots;
            for (const Glyph& g : f.glyphs)
                indexSpots.push_back(header + (layout == kList
                                                   ? 2 * indexSpots.size()
                                                   : (layout == kTable ? 2 : 4) * g.code));
            int opened = 0, refused = 0;
            for (int round = 0; round < 400; ++round) {
                std::vector<uint8_t> bytes = clean;
                for (int flips = 1 + rng() % 3; flips > 0; --flips) {
                    size_t at;
                    switch (rng() % 4) {
                        case 0:
                            at = rng() % header;
                            break;
                        case 1:
                            at = indexSpots[rng() % indexSpots.size()] + rng() % 4;
                            break;
                        case 2:
                            at = records + rng() % (bytes.size() - records);
                            break;
                        default:
                            at = rng() % bytes.size();
                            break;
                    }
                    bytes[at % bytes.size()] ^= static_cast<uint8_t>(1 + rng() % 255);
                }
                fbtest::GuardedBuffer buf(bytes);
                fb_font font;
                // A device opens without the whole check: whatever it reads stays in the buffer.
                if (fb_open(buf.data(), buf.size(), &font) == FB_OK) {
                    fb_font unchecked = font;
                    readEverything(unchecked);
                }
                if (openChecked(buf.data(), buf.size(), &font) == FB_OK) {
                    ++opened;
                    readEverything(font);
                } else {
                    ++refused;
                    EXPECT_NE(font.error_detail, nullptr);
                }
            }
            EXPECT_GT(refused, 0) << kLayoutNames[layout] << " " << bpp;
            EXPECT_GT(opened, 0) << kLayoutNames[layout] << " "
                                 << bpp;  // pixel flips stay readable
        }
}

}  // namespace

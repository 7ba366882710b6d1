// Trimmed records of the crop layout: row trimming, the reading of `extent` for each scan order,
// clamping to the cell, and the invariant that a record decodes to exactly the cell's ink.
#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <sstream>
#include <vector>

#include "OutputTestSupport.h"
#include "output/FontFileWriter.h"

using namespace outtest;

namespace {

constexpr size_t kTable = FontFileWriter::kOffsetTableBytes;

// One crop-layout file with the given glyphs; `offsets` receives the table entries by code.
struct CropFile {
    std::string bytes;
    size_t headerLength = 0;
    bool ok = false;

    CropFile(const FontSetSettings& settings, int32_t rotate,
             const std::vector<PackedGlyph>& glyphs) {
        std::ostringstream out;
        StreamFontFileWriter writer(out, settings, rotate);
        writer.writeHeader(nullptr, nullptr, 0);
        for (const PackedGlyph& g : glyphs) writer.writeGlyph(g);
        writer.finish();
        ok = writer.ok();
        bytes = out.str();
        headerLength = uint8_t(bytes.at(0));
    }
    uint32_t offset(uint16_t code) const {
        return readLE(bytes, headerLength + 4 * size_t(code), 4);
    }
    size_t firstRecord() const { return headerLength + kTable; }
};

// Decodes `rec` over the whole cell and checks it against the cell pixel by pixel; pixels the
// record holds beyond the cell's columns must be zero.
void expectRecordIsCell(const Record& rec, const Cell& cell, const std::string& what) {
    for (int32_t r = 0; r < cell.rows; ++r)
        for (int32_t c = 0; c < cell.cols; ++c)
            ASSERT_EQ(rec.pixel(r, c), cell.at(r, c)) << what << " at row " << r << " col " << c;
    for (int32_t r = rec.topSkip; r < rec.height; ++r)
        for (int32_t c = cell.cols; c < rec.pixelsPerRow(); ++c)
            ASSERT_EQ(rec.pixel(r, c), 0) << what << " past the cell, row " << r << " col " << c;
    ASSERT_LE(rec.height, cell.rows) << what;
    ASSERT_LE(rec.width, cell.cols) << what;
}

}  // namespace

TEST(TrimmedRecord, LeadingEmptyRowsAreSkippedTrailingOnesKept) {
    Cell cell(16, 16, 1);
    cell.at(3, 0) = 1;
    cell.at(4, 7) = 1;
    cell.at(5, 2) = 1;
    const auto packed = pack(cell);
    CropFile file(settingsFor(1, 1), 0, {glyphOf(0x41, packed, cell, {8, 10}, {0, 12})});
    ASSERT_TRUE(file.ok);
    const size_t at = file.firstRecord();
    ASSERT_EQ(file.offset(0x41), at);
    // topSkip 3, origin.y 12, extent (8, 10); rows 3..9 of one byte, rows 6..9 empty.
    EXPECT_EQ(file.bytes.substr(at), std::string("\x03\x0C\x08\x0A\x01\x80\x04\0\0\0\0", 11));
}

TEST(TrimmedRecord, RowBytesFollowBitsPerPixel) {
    struct Case {
        int32_t depth, width;
        size_t rowBytes;
    };
    const Case cases[] = {{1, 9, 2}, {2, 9, 3}, {4, 9, 5}, {8, 9, 9}, {1, 8, 1}, {4, 16, 8}};
    for (const Case& c : cases) {
        Cell cell(4, 16, c.depth);
        cell.at(1, c.width - 1) = 1;
        const auto packed = pack(cell);
        CropFile file(settingsFor(1, 0, c.depth), 0, {glyphOf(0x30, packed, cell, {c.width, 2})});
        ASSERT_TRUE(file.ok);
        EXPECT_EQ(file.bytes.size(), file.firstRecord() + 4 + c.rowBytes)
            << c.depth << ' ' << c.width;
        const Record rec = decodeRecord(file.bytes, file.firstRecord(), c.depth);
        EXPECT_EQ(rec.rowBytes, c.rowBytes);
        EXPECT_EQ(rec.pixel(1, c.width - 1), 1);
    }
}

TEST(TrimmedRecord, NoRecordWithoutInkOrWithEmptyExtent) {
    Cell ink(8, 8, 1);
    ink.at(2, 2) = 1;
    Cell blank(8, 8, 1);
    const auto inkPacked = pack(ink);
    const auto blankPacked = pack(blank);
    CropFile file(settingsFor(1, 1), 0,
                  {glyphOf(0x20, blankPacked, blank, {3, 5}),  // a space
                   glyphOf(0x21, inkPacked, ink, {0, 8}),      // extent.x 0
                   glyphOf(0x22, inkPacked, ink, {8, 0}),      // extent.y 0
                   glyphOf(0x23, inkPacked, ink, {-3, 8}),     // negative extent
                   glyphOf(0x24, inkPacked, ink, {8, 2}),      // the ink lies below extent.y
                   glyphOf(0x25, inkPacked, ink, {3, 3})});
    ASSERT_TRUE(file.ok);
    for (uint16_t code = 0x20; code <= 0x24; ++code)
        EXPECT_EQ(file.offset(code), 0xFFFFFFFFu) << code;
    EXPECT_EQ(file.offset(0x25), file.firstRecord());
    EXPECT_EQ(file.bytes.size(), file.firstRecord() + 4 + 1);
}

// A glyph taller than the cell, and one wider than it: the record holds the cell's rows and
// columns only, says so, and the next record starts right after it.
TEST(TrimmedRecord, ExtentPastTheCellIsClamped) {
    Cell tall(16, 16, 1);
    for (int r = 0; r < 16; ++r) tall.at(r, 1) = 1;
    Cell wide(12, 16, 2);
    for (int c = 0; c < 16; ++c) wide.at(11, c) = 3;
    const auto tallPacked = pack(tall);
    const auto widePacked = pack(wide);
    CropFile file(
        settingsFor(1, 1, 1), 0,
        {glyphOf(0x41, tallPacked, tall, {4, 23}), glyphOf(0x42, tallPacked, tall, {4, 16})});
    ASSERT_TRUE(file.ok);
    const Record first = decodeRecord(file.bytes, file.offset(0x41), 1);
    EXPECT_EQ(first.height, 16);
    EXPECT_EQ(first.rows.size(), 16u);
    EXPECT_EQ(file.offset(0x42), file.offset(0x41) + 4 + 16);
    expectRecordIsCell(first, tall, "tall");
    EXPECT_EQ(file.bytes.size(), file.offset(0x42) + 4 + 16u);

    CropFile wideFile(
        settingsFor(1, 1, 2), 0,
        {glyphOf(0x41, widePacked, wide, {19, 12}), glyphOf(0x42, widePacked, wide, {16, 12})});
    ASSERT_TRUE(wideFile.ok);
    const Record rec = decodeRecord(wideFile.bytes, wideFile.offset(0x41), 2);
    EXPECT_EQ(rec.width, 16);
    EXPECT_EQ(rec.topSkip, 11);
    EXPECT_EQ(rec.rowBytes, 4u);
    EXPECT_EQ(wideFile.offset(0x42), wideFile.offset(0x41) + 4 + 4);
    expectRecordIsCell(rec, wide, "wide");
}

// "V" without rotation: the renderer's extent (x0 + width, y1) bounds the transposed cell's rows
// and columns the other way round. fontSize 12: the cell 16 x 12 becomes 12 rows x 16 columns.
TEST(TrimmedRecord, VerticalScanReadsExtentExchanged) {
    Cell cell(12, 16, 1);
    // Upright glyph in columns 2..6, rows 3..9: transposed rows 2..6, columns 3..9.
    for (int r = 2; r <= 6; ++r)
        for (int c = 3; c <= 9; ++c) cell.at(r, c) = uint8_t((r + c) % 2);
    const auto packed = pack(cell);
    CropFile file(settingsFor(1, 1, 1, "V"), 0, {glyphOf(0x41, packed, cell, {7, 10}, {2, 9})});
    ASSERT_TRUE(file.ok);
    const Record rec = decodeRecord(file.bytes, file.offset(0x41), 1);
    EXPECT_EQ(rec.width, 10);
    EXPECT_EQ(rec.height, 7);
    EXPECT_EQ(rec.topSkip, 2);
    EXPECT_EQ(rec.originY, 9);
    EXPECT_EQ(rec.rowBytes, 2u);
    expectRecordIsCell(rec, cell, "V");
}

// "V" with rotation turns the cell back to its upright shape while extent stays in other terms:
// the record takes the ink's own right and bottom edges. 16 x 12 at 1 bit: rows are 12 bits.
TEST(TrimmedRecord, VerticalScanWithRotationUsesTheInkBox) {
    for (int32_t rotate : {1, 2}) {
        Cell cell(16, 12, 1);
        for (int r = 4; r <= 9; ++r) cell.at(r, 1 + (r % 3)) = 1;
        cell.at(7, 10) = 1;
        const auto packed = pack(cell);
        CropFile file(settingsFor(1, 1, 1, "v"), rotate,
                      {glyphOf(0x41, packed, cell, {3, 2}, {0, 11})});
        ASSERT_TRUE(file.ok);
        const Record rec = decodeRecord(file.bytes, file.offset(0x41), 1);
        EXPECT_EQ(rec.width, 11) << rotate;
        EXPECT_EQ(rec.height, 10) << rotate;
        EXPECT_EQ(rec.topSkip, 4) << rotate;
        EXPECT_EQ(rec.rows.size(), 6u * 2);
        expectRecordIsCell(rec, cell, "rotated");
    }
    // Without rotation the same "v" cell is read through extent.
    Cell cell(16, 12, 1);
    cell.at(5, 5) = 1;
    const auto packed = pack(cell);
    CropFile file(settingsFor(1, 1, 1, "v"), 0, {glyphOf(0x41, packed, cell, {6, 6})});
    const Record rec = decodeRecord(file.bytes, file.offset(0x41), 1);
    EXPECT_EQ(rec.width, 6);
    EXPECT_EQ(rec.height, 6);
}

// "v" sizes the cell for rows (12 x 16 at fontSize 12) and then transposes it to 16 rows of 12
// pixels, so at 1 bit row 1 starts at bit 4 of byte 1. Each record row starts on its own byte.
TEST(TrimmedRecord, LowerCaseVerticalRowsAreRealignedBitExactly) {
    Cell cell(16, 12, 1);
    cell.at(1, 0) = 1;
    cell.at(1, 11) = 1;
    cell.at(2, 8) = 1;
    const auto packed = pack(cell);
    ASSERT_EQ(packed[1], 0x10);  // pixel (1, 0) is bit 12 of the stream
    ASSERT_EQ(packed[2], 0x80);  // pixel (1, 11) is bit 23
    CropFile file(settingsFor(1, 1, 1, "v"), 0, {glyphOf(0x41, packed, cell, {3, 12}, {1, 10})});
    ASSERT_TRUE(file.ok);
    EXPECT_EQ(file.bytes.substr(file.firstRecord()),
              std::string("\x01\x0A\x0C\x03\x01\x08\x00\x01", 8));

    // 4 bits in 5 columns: rows of 20 bits; row 1 holds 3, 0, 0, 0, 15.
    Cell grey(3, 5, 4);
    grey.at(1, 0) = 3;
    grey.at(1, 4) = 15;
    grey.at(2, 1) = 7;
    const auto greyPacked = pack(grey);
    CropFile greyFile(settingsFor(1, 1, 4, "v"), 0, {glyphOf(0x42, greyPacked, grey, {3, 5})});
    ASSERT_TRUE(greyFile.ok);
    EXPECT_EQ(greyFile.bytes.substr(greyFile.firstRecord()),
              std::string("\x01\x00\x05\x03\x03\x00\x0F\x70\x00\x00", 10));
}

// Random cells at every depth and several shapes, including rows that do not start on byte
// boundaries: each record decodes to exactly the cell's ink, records follow one another with no
// gap, and a cell without ink has none.
TEST(TrimmedRecord, RandomCellsDecodeToTheirInk) {
    struct Shape {
        int32_t rows, cols;
    };
    const Shape shapes[] = {{16, 16}, {12, 16}, {16, 12}, {13, 7}, {24, 10},
                            {1, 1},   {9, 3},   {8, 33},  {5, 24}};
    enum Mode { Rows, Vertical, VerticalRotated };
    std::mt19937 rng(20240611u);
    auto pick = [&rng](int32_t lo, int32_t hi) {
        return std::uniform_int_distribution<int32_t>(lo, hi)(rng);
    };

    for (int32_t depth : {1, 2, 4, 8}) {
        for (Mode mode : {Rows, Vertical, VerticalRotated}) {
            const std::string scan = mode == Rows ? "H" : (pick(0, 1) ? "V" : "v");
            std::vector<Cell> cells;
            std::vector<std::vector<uint8_t>> packed;
            std::vector<PackedGlyph> glyphs;
            const int count = 400;
            cells.reserve(count);
            packed.reserve(count);
            for (int i = 0; i < count; ++i) {
                const Shape shape = shapes[pick(0, int32_t(std::size(shapes)) - 1)];
                Cell cell(shape.rows, shape.cols, depth);
                // Ink somewhere inside the box [x0, x1) x [y0, y1); sometimes none at all.
                const int32_t x1 = pick(0, shape.cols), y1 = pick(0, shape.rows);
                const int32_t x0 = pick(0, std::max(0, x1 - 1)), y0 = pick(0, std::max(0, y1 - 1));
                const int density = pick(0, 3);
                for (int32_t r = y0; r < y1; ++r)
                    for (int32_t c = x0; c < x1; ++c)
                        if (density > 0 && pick(0, density) == 0)
                            cell.at(r, c) = uint8_t(pick(1, (1 << depth) - 1));
                // The box the renderer reports, sometimes reaching past the cell.
                IntPair box{x1 + (pick(0, 4) == 0 ? pick(1, 9) : 0),
                            y1 + (pick(0, 4) == 0 ? pick(1, 9) : 0)};
                IntPair extent = box;
                if (mode == Vertical) extent = {box.y, box.x};
                if (mode == VerticalRotated) extent = {pick(-3, 40), pick(-3, 40)};
                cells.push_back(cell);
                packed.push_back(pack(cells.back()));
                glyphs.push_back(glyphOf(uint16_t(0x100 + i), packed.back(), cells.back(), extent,
                                         {0, pick(0, 255)}));
            }
            const FontSetSettings settings = settingsFor(1, pick(0, 1), depth, scan);
            CropFile file(settings, mode == VerticalRotated ? pick(1, 2) : 0, glyphs);
            ASSERT_TRUE(file.ok);

            size_t expectedAt = file.firstRecord();
            for (int i = 0; i < count; ++i) {
                const std::string what = "depth " + std::to_string(depth) + " mode " +
                                         std::to_string(mode) + " glyph " + std::to_string(i);
                const uint32_t offset = file.offset(uint16_t(0x100 + i));
                if (!cells[i].hasInk()) {
                    ASSERT_EQ(offset, 0xFFFFFFFFu) << what;
                    continue;
                }
                ASSERT_EQ(offset, expectedAt) << what;
                const Record rec = decodeRecord(file.bytes, offset, depth);
                ASSERT_EQ(rec.rows.size(), size_t(rec.height - rec.topSkip) * rec.rowBytes) << what;
                ASSERT_EQ(rec.originY, glyphs[i].origin.y) << what;
                expectRecordIsCell(rec, cells[i], what);
                // topSkip removed every leading empty row: the first row kept has ink.
                bool firstRowInk = false;
                for (size_t b = 0; b < rec.rowBytes; ++b) firstRowInk |= rec.rows[b] != 0;
                ASSERT_TRUE(firstRowInk) << what;
                expectedAt += rec.byteSize();
            }
            EXPECT_EQ(file.bytes.size(), expectedAt) << depth << ' ' << mode;
            for (uint32_t code : {0u, 0xFFu, 0x100u + count, 0xFFFFu})
                EXPECT_EQ(file.offset(uint16_t(code)), 0xFFFFFFFFu);
        }
    }
}

// The writer looks only at the packed bytes it is given, even when the cell claims more.
TEST(TrimmedRecord, ShortDataIsNeverReadPast) {
    Cell cell(16, 16, 8);
    for (int r = 0; r < 16; ++r)
        for (int c = 0; c < 16; ++c) cell.at(r, c) = uint8_t(1 + r);
    const auto full = pack(cell);
    const std::vector<uint8_t> cut(full.begin(), full.begin() + 16 * 5 + 3);  // 5 whole rows
    PackedGlyph g = glyphOf(0x41, cut, cell, {16, 16});
    CropFile file(settingsFor(1, 1, 8), 0, {g});
    ASSERT_TRUE(file.ok);
    const Record rec = decodeRecord(file.bytes, file.offset(0x41), 8);
    EXPECT_EQ(rec.height, 5);
    EXPECT_EQ(rec.rows.size(), 5u * 16);
}

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "OutputTestSupport.h"
#include "output/FontFileWriter.h"

using namespace outtest;

namespace {

constexpr size_t kTable = FontFileWriter::kOffsetTableBytes;

// A 16 x 16 cell at 1 bit with ink on rows 2..4, columns 1..5: 32 packed bytes.
struct SmallGlyph {
    Cell cell{16, 16, 1};
    std::vector<uint8_t> packed;
    SmallGlyph() {
        for (int r = 2; r <= 4; ++r)
            for (int c = 1; c <= 5; ++c) cell.at(r, c) = 1;
        packed = pack(cell);
    }
    PackedGlyph glyph(uint16_t code) const { return glyphOf(code, packed, cell, {6, 5}, {1, 13}); }
};

// Writes a complete file for the three characters A, B and U+4E00 (glyph numbers 0, 1, 2).
std::string writeThree(const FontSetSettings& settings, bool& ok) {
    std::vector<uint16_t> index(65536, 0xFFFF);
    const std::vector<uint16_t> list = {0x41, 0x42, 0x4E00};
    for (size_t i = 0; i < list.size(); ++i) index[list[i]] = uint16_t(i);
    SmallGlyph g;
    std::ostringstream out;
    StreamFontFileWriter writer(out, settings, 0);
    writer.writeHeader(index.data(), list.data(), int32_t(list.size()));
    for (uint16_t code : list) writer.writeGlyph(g.glyph(code));
    writer.finish();
    ok = writer.ok();
    EXPECT_EQ(writer.bytesWritten(), out.str().size());
    return out.str();
}

}  // namespace

TEST(FontStem, UpToFirstPoint) {
    const std::pair<std::string, std::string> cases[] = {
        {"simsun.ttc", "simsun"},
        {"my.font.ttf", "my"},
        {"", ""},
        {"noext", "noext"},
        {".hidden", ""},
        {"dir/a.b", "a"},
        {"/tmp/my.fonts/x.ttf", "x"},
        {"C:\\my.fonts\\y.ttc", "y"},
    };
    for (const auto& [font, stem] : cases) EXPECT_EQ(fontStem(font), stem) << font;
}

TEST(FontHeader, SimsunBytes) {
    FontSetSettings s = settingsFor(0, 1);
    s.fontSize = 16;
    s.renderMode = 1;
    const std::vector<uint8_t> expected = {0x15, 0x01, 0x03, 0x00, 0x00, 0x01, 0x10,
                                           0x01, 0x08, 0x04, 0x02, 0x00, 0x00, 0x07,
                                           's',  'i',  'm',  's',  'u',  'n',  0x00};
    EXPECT_EQ(buildFontHeader(s, 258), expected);  // indexBytes 2 x 258 = 0x204
}

TEST(FontHeader, OtherNameAndEveryFlag) {
    FontSetSettings s = settingsFor(1, 0, 4, "V");
    s.font = "wqy-microhei.ttc";
    s.fontSize = 24;
    s.bold = 1;
    s.italic = 1;
    const std::vector<uint8_t> h = buildFontHeader(s, 100);
    ASSERT_EQ(h.size(), 27u);
    EXPECT_EQ(h[0], 27);
    EXPECT_EQ(h[6], 24);
    EXPECT_EQ(h[7], 4);
    EXPECT_EQ(h[8], 0x17);  // bold, italic, exact "V", crop
    EXPECT_EQ(std::vector<uint8_t>(h.begin() + 9, h.begin() + 13),
              (std::vector<uint8_t>{0x00, 0x00, 0x04, 0x00}));  // 4 x 65536
    EXPECT_EQ(h[13], 13);
    EXPECT_EQ(std::string(h.begin() + 14, h.end()), std::string("wqy-microhei\0", 13));
}

TEST(FontHeader, LongStemIsCutSoHeaderLengthStaysASignedByte) {
    FontSetSettings s = settingsFor(0, 1);
    s.font = std::string(200, 'a') + ".ttf";
    const std::vector<uint8_t> h = buildFontHeader(s, 0);
    EXPECT_EQ(h.size(), 127u);
    EXPECT_EQ(h[0], 127);
    EXPECT_EQ(h[13], 113);
    EXPECT_EQ(h.back(), 0);
}

TEST(FontHeader, ScanFlagOnlyForExactV) {
    const std::pair<std::string, uint8_t> cases[] = {
        {"V", 0x04}, {"v", 0}, {"VX", 0}, {"", 0}, {"H", 0}, {" V", 0},
    };
    for (const auto& [scan, bit] : cases) {
        FontSetSettings s = settingsFor(0, 0, 1, scan);
        EXPECT_EQ(buildFontHeader(s, 0)[8], bit) << '"' << scan << '"';
    }
}

TEST(FontHeader, FlagsUseLowestBitsAndAnyNonZeroStyle) {
    struct Case {
        int32_t bold, italic, indexMethod, crop;
        uint8_t flags;
    };
    const Case cases[] = {
        {0, 0, 0, 0, 0x00}, {2, 0, 0, 0, 0x01}, {0, -1, 0, 0, 0x02}, {0, 0, 3, 0, 0x08},
        {0, 0, 2, 0, 0x00}, {0, 0, 0, 3, 0x10}, {0, 0, 0, 2, 0x00},  {1, 1, 1, 1, 0x1B},
    };
    for (const Case& c : cases) {
        FontSetSettings s = settingsFor(c.crop, c.indexMethod);
        s.bold = c.bold;
        s.italic = c.italic;
        EXPECT_EQ(buildFontHeader(s, 0)[8], c.flags)
            << c.bold << ' ' << c.italic << ' ' << c.indexMethod << ' ' << c.crop;
    }
}

TEST(FontHeader, IndexBytesPerLayout) {
    struct Case {
        int32_t crop, indexMethod, count;
        uint32_t indexBytes;
    };
    const Case cases[] = {
        {0, 0, 10, 131072}, {0, 1, 10, 20}, {1, 0, 10, 262144},
        {1, 1, 10, 40},  // the full table is written all the same
        {0, 1, 0, 0},       {2, 3, 7, 14},  {3, 2, 7, 262144},
    };
    for (const Case& c : cases) {
        const std::vector<uint8_t> h = buildFontHeader(settingsFor(c.crop, c.indexMethod), c.count);
        EXPECT_EQ(readLE(std::string(h.begin(), h.end()), 9, 4), c.indexBytes)
            << c.crop << ' ' << c.indexMethod << ' ' << c.count;
    }
}

TEST(FontFileWriter, GlyphNumberLayout) {
    bool ok = false;
    const std::string file = writeThree(settingsFor(0, 0), ok);
    ASSERT_TRUE(ok);
    const size_t hl = 21;
    ASSERT_EQ(file.size(), hl + 131072 + 3 * (4 + 32));
    EXPECT_EQ(readLE(file, hl + 2 * 0x41, 2), 0u);
    EXPECT_EQ(readLE(file, hl + 2 * 0x42, 2), 1u);
    EXPECT_EQ(readLE(file, hl + 2 * 0x43, 2), 0xFFFFu);
    EXPECT_EQ(readLE(file, hl + 2 * 0x4E00, 2), 2u);
    EXPECT_EQ(readLE(file, hl + 2 * 0xFFFF, 2), 0xFFFFu);
    // Record with glyph number 2 starts at headerLength + indexBytes + 2 x (4 + N).
    SmallGlyph g;
    const size_t at = hl + 131072 + 2 * 36;
    EXPECT_EQ(file.substr(at, 4), std::string("\x01\x0D\x06\x05", 4));
    EXPECT_EQ(bytesOf(file.substr(at + 4)), g.packed);
}

TEST(FontFileWriter, CodePointListLayout) {
    bool ok = false;
    const std::string file = writeThree(settingsFor(0, 1), ok);
    ASSERT_TRUE(ok);
    ASSERT_EQ(file.size(), 21 + 6 + 3 * 36u);
    EXPECT_EQ(file.substr(21, 6), std::string("\x41\x00\x42\x00\x00\x4E", 6));
    EXPECT_EQ(file.substr(27, 4), std::string("\x01\x0D\x06\x05", 4));
}

TEST(FontFileWriter, CropLayoutLengthAndTable) {
    for (int32_t indexMethod : {0, 1}) {
        bool ok = false;
        const std::string file = writeThree(settingsFor(1, indexMethod), ok);
        ASSERT_TRUE(ok);
        // Each record: 4 bytes and rows 2..4 (topSkip 2, extent.y 5) of one byte.
        const size_t first = 21 + kTable;
        ASSERT_EQ(file.size(), first + 3 * (4 + 3));
        EXPECT_EQ(readLE(file, 21 + 4 * 0x41, 4), first);
        EXPECT_EQ(readLE(file, 21 + 4 * 0x42, 4), first + 7);
        EXPECT_EQ(readLE(file, 21 + 4 * 0x4E00, 4), first + 14);
        EXPECT_EQ(readLE(file, 21 + 4 * 0x43, 4), 0xFFFFFFFFu);
        EXPECT_EQ(readLE(file, 21 + 4 * 0, 4), 0xFFFFFFFFu);
        EXPECT_EQ(file.substr(first, 7), std::string("\x02\x0D\x06\x05\x3E\x3E\x3E", 7));
    }
}

TEST(FontFileWriter, NoCharactersWithCodePointListIsHeaderOnly) {
    std::ostringstream out;
    StreamFontFileWriter writer(out, settingsFor(0, 1), 0);
    writer.writeHeader(nullptr, nullptr, 0);
    writer.finish();
    EXPECT_TRUE(writer.ok());
    EXPECT_EQ(bytesOf(out.str()), buildFontHeader(settingsFor(0, 1), 0));
    EXPECT_EQ(writer.bytesWritten(), 21u);
}

TEST(FontFileWriter, FixedRecordStoresLowBytesAndWholeCell) {
    Cell cell(2, 8, 8);  // 16 packed bytes; an empty glyph still gets its record
    const std::vector<uint8_t> packed = pack(cell);
    std::ostringstream out;
    StreamFontFileWriter writer(out, settingsFor(0, 1, 8), 0);
    const uint16_t list[] = {0x20};
    writer.writeHeader(nullptr, list, 1);
    writer.writeGlyph(glyphOf(0x20, packed, cell, {256 + 7, -2}, {300, -1}));
    writer.finish();
    ASSERT_TRUE(writer.ok());
    const std::string file = out.str();
    ASSERT_EQ(file.size(), 21 + 2 + 4 + 16u);
    EXPECT_EQ(file.substr(23, 4), std::string("\x2C\xFF\x07\xFE", 4));
    EXPECT_EQ(file.substr(27), std::string(16, '\0'));
}

TEST(FontFileWriter, CropFirstRecordOffsetAndOrder) {
    std::ostringstream out;
    StreamFontFileWriter writer(out, settingsFor(1, 1), 0);
    const uint16_t list[] = {0x20, 0x41, 0x42, 0x43};
    writer.writeHeader(nullptr, list, 4);
    SmallGlyph ink;
    Cell blank(16, 16, 1);
    const std::vector<uint8_t> blankPacked = pack(blank);
    writer.writeGlyph(glyphOf(0x20, blankPacked, blank, {4, 10}));  // a space: no record
    const uint64_t afterSpace = writer.bytesWritten();
    for (uint16_t code : {0x41, 0x42, 0x43}) writer.writeGlyph(ink.glyph(code));
    const uint64_t beforeFinish = writer.bytesWritten();
    writer.finish();
    ASSERT_TRUE(writer.ok());
    const std::string file = out.str();
    EXPECT_EQ(afterSpace, 21 + kTable);
    EXPECT_EQ(file.size(), beforeFinish);  // rewriting the table keeps the length
    EXPECT_EQ(readLE(file, 21 + 4 * 0x20, 4), 0xFFFFFFFFu);
    EXPECT_EQ(readLE(file, 21 + 4 * 0x41, 4), 21 + kTable);
    uint32_t previous = 0;
    for (uint16_t code : {0x41, 0x42, 0x43}) {
        const uint32_t offset = readLE(file, 21 + 4 * size_t(code), 4);
        EXPECT_GT(offset, previous);
        previous = offset;
    }
}

TEST(FontFileWriter, CropTableIsRelativeToTheStreamStart) {
    std::stringstream out;
    out << "prefix";  // e.g. a stream that already holds other data
    StreamFontFileWriter writer(out, settingsFor(1, 0), 0);
    writer.writeHeader(nullptr, nullptr, 0);
    SmallGlyph g;
    writer.writeGlyph(g.glyph(0x41));
    writer.finish();
    ASSERT_TRUE(writer.ok());
    const std::string file = out.str().substr(6);
    EXPECT_EQ(file.size(), writer.bytesWritten());
    EXPECT_EQ(readLE(file, 21 + 4 * 0x41, 4), 21 + kTable);
    EXPECT_EQ(uint8_t(file[21 + kTable]), 2);
}

TEST(FontFileWriter, FailedStreamTurnsOkFalse) {
    SmallGlyph g;
    {
        std::ostringstream out;
        out.setstate(std::ios::badbit);
        StreamFontFileWriter writer(out, settingsFor(0, 1), 0);
        EXPECT_FALSE(writer.ok());
        writer.writeHeader(nullptr, nullptr, 0);
        EXPECT_FALSE(writer.ok());
        EXPECT_EQ(writer.bytesWritten(), 0u);
    }
    // Fails during the records of each layout.
    for (int32_t crop : {0, 1}) {
        FailingBuf buf(crop ? 21 + kTable + 10 : 21 + 131072 + 40);  // room for one record
        std::ostream out(&buf);
        StreamFontFileWriter writer(out, settingsFor(crop, 0), 0);
        writer.writeHeader(nullptr, nullptr, 0);
        writer.writeGlyph(g.glyph(0x41));
        EXPECT_TRUE(writer.ok()) << crop;
        writer.writeGlyph(g.glyph(0x42));
        writer.finish();
        EXPECT_FALSE(writer.ok()) << crop;
    }
    // The crop layout needs to go back to its table; a stream that cannot seek fails.
    for (int32_t crop : {0, 1}) {
        FailingBuf buf(1u << 20, false);
        std::ostream out(&buf);
        StreamFontFileWriter writer(out, settingsFor(crop, 1), 0);
        writer.writeHeader(nullptr, nullptr, 0);
        writer.writeGlyph(g.glyph(0x41));
        writer.finish();
        EXPECT_EQ(writer.ok(), crop == 0) << crop;
    }
}

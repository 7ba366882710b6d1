// Code-page tables built byte by byte in the test, loaded from disk.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "CharsetTestUtil.h"
#include "charset/CodePageFile.h"

namespace {

using Marks = std::vector<uint32_t>;

void putU16(std::vector<uint8_t>& image, size_t offset, uint16_t value) {
    image[offset] = static_cast<uint8_t>(value);
    image[offset + 1] = static_cast<uint8_t>(value >> 8);
}

// A table with `maxCharSize` h, default d, m multibyte words; `mb` gives mbTable[b], `wc` the
// wcTable entry of each code point (cut to one byte when h is 1; unused for other h).
std::vector<uint8_t> makeTable(uint16_t h, uint16_t d, uint16_t m,
                               const std::function<uint16_t(uint32_t)>& mb,
                               const std::function<uint16_t(uint32_t)>& wc) {
    const size_t wcOffset = 28 + 2u * m;
    const size_t entry = h == 1 || h == 2 ? h : 0;
    std::vector<uint8_t> image(wcOffset + 65536u * h, 0);
    putU16(image, 0, 13);
    putU16(image, 2, 1252);
    putU16(image, 4, h);
    putU16(image, 6, d);
    putU16(image, 26, m);
    for (uint32_t b = 0; b < 256 && 28 + 2 * b + 1 < image.size(); ++b)
        putU16(image, 28 + 2 * b, mb(b));
    for (uint32_t c = 0; c < 65536 && entry != 0; ++c) {
        if (entry == 1) {
            image[wcOffset + c] = static_cast<uint8_t>(wc(c));
        } else {
            putU16(image, wcOffset + 2 * c, wc(c));
        }
    }
    return image;
}

uint16_t identity(uint32_t b) {
    return static_cast<uint16_t>(b);
}

// ASCII-only single-byte table: 0x00-0x7F convert to themselves, everything else to '?'.
std::vector<uint8_t> asciiTable() {
    return makeTable(1, 0x3F, 259, identity, [](uint32_t c) { return c < 0x80 ? c : 0x3F; });
}

struct Loaded {
    int result;
    Marks marks;
    std::string problem;
};

Loaded load(const TempDir& dir, const std::vector<uint8_t>& image) {
    auto index = freshIndex();
    std::string problem = "stale";
    int r = loadCodePageFile(dir.write("c_test.nls", image), index.data(), &problem);
    return {r, marked(index), problem};
}

Marks range(uint32_t first, uint32_t last) {
    Marks m;
    for (uint32_t c = first; c <= last; ++c) m.push_back(c);
    return m;
}

}  // namespace

TEST(CodePageFile, SingleByteTableMarksItsRepertoireAndTheDefaultItself) {
    TempDir dir;
    std::vector<uint8_t> image = asciiTable();
    ASSERT_EQ(image.size(), 66082u);  // 259 multibyte words: wcTable at byte 546
    Loaded l = load(dir, image);
    EXPECT_EQ(l.result, 0);
    EXPECT_EQ(l.problem, "");
    // U+003F converts to the default character, yet mbTable[0x3F] brings it back in.
    EXPECT_EQ(l.marks, range(0x00, 0x7F));
}

TEST(CodePageFile, DefaultCharacterComesFromMbTable) {
    TempDir dir;
    // '?' is written 0x3F, and mbTable says 0x3F stands for U+1234 (an odd but legal table).
    auto image = makeTable(
        1, 0x3F, 256, [](uint32_t b) { return b == 0x3F ? 0x1234 : b; },
        [](uint32_t c) { return c >= 0x41 && c <= 0x5A ? c : 0x3F; });
    Loaded l = load(dir, image);
    EXPECT_EQ(l.result, 0);
    Marks expected = range(0x41, 0x5A);
    expected.push_back(0x1234);
    EXPECT_EQ(l.marks, expected);
}

TEST(CodePageFile, BestFitEntriesCountAsRepresentable) {
    TempDir dir;
    // U+0100 converts by best fit to 'A': not the default, so it is selected.
    auto image = makeTable(1, 0x3F, 259, identity, [](uint32_t c) {
        return c == 0x100 ? 0x41 : (c == 0x41 ? 0x41 : 0x3F);
    });
    EXPECT_EQ(load(dir, image).marks, (Marks{0x3F, 0x41, 0x100}));
}

TEST(CodePageFile, DoubleByteTableComparesWholeEntries) {
    TempDir dir;
    // Entries whose low byte is 0x3F (0x813F) are real characters in a double-byte table.
    auto wc = [](uint32_t c) -> uint16_t {
        if (c < 0x80) return c;
        if (c == 0x4E00) return 0xD2BB;
        if (c == 0x4E01) return 0x813F;
        return 0x3F;
    };
    Loaded l = load(dir, makeTable(2, 0x3F, 600, identity, wc));
    EXPECT_EQ(l.result, 0);
    Marks expected = range(0, 0x7F);
    expected.push_back(0x4E00);
    expected.push_back(0x4E01);
    EXPECT_EQ(l.marks, expected);

    // A default of 256 or more adds no extra mark: U+003F now converts to 0x3F like any other.
    auto wide = makeTable(2, 0x8145, 600, identity,
                          [](uint32_t c) -> uint16_t { return c < 0x10 ? c : 0x8145; });
    EXPECT_EQ(load(dir, wide).marks, range(0, 0x0F));
}

TEST(CodePageFile, SingleByteTableWithWideDefaultMarksEverything) {
    TempDir dir;
    // A byte entry can never equal a default of 256 or more.
    auto image = makeTable(1, 0x100, 259, identity, [](uint32_t) { return 0x3F; });
    Loaded l = load(dir, image);
    EXPECT_EQ(l.result, 0);
    EXPECT_EQ(l.marks.size(), 65536u);
}

TEST(CodePageFile, UnknownEntryWidthReadsEveryEntryAsFFFF) {
    TempDir dir;
    auto h3 = makeTable(3, 0x3F, 256, identity, identity);
    ASSERT_EQ(h3.size(), 28u + 512u + 3u * 65536u);
    Loaded l = load(dir, h3);
    EXPECT_EQ(l.result, 0);
    EXPECT_EQ(l.marks.size(), 65536u);
    EXPECT_NE(l.problem.find("maxCharSize 3"), std::string::npos) << l.problem;

    auto h3ffff = makeTable(3, 0xFFFF, 256, identity, identity);
    EXPECT_EQ(load(dir, h3ffff).marks, Marks{});

    // maxCharSize 0: the file is the header and the multibyte section alone.
    auto h0 = makeTable(0, 0x3F, 300, identity, identity);
    ASSERT_EQ(h0.size(), 628u);
    l = load(dir, h0);
    EXPECT_EQ(l.result, 0);
    EXPECT_EQ(l.marks.size(), 65536u);
}

TEST(CodePageFile, MalformedFilesMarkNothing) {
    TempDir dir;
    const std::vector<uint8_t> good = asciiTable();
    struct Case {
        const char* name;
        std::vector<uint8_t> image;
        int result;
        const char* problem;
    };
    std::vector<Case> cases;
    auto badHeader = good;
    badHeader[0] = 0x0C;
    cases.push_back({"wrong header byte", badHeader, -2, "first byte is 0x0C, not 0x0D"});
    auto longer = good;
    longer.push_back(0);
    cases.push_back({"one byte longer", longer, -3, "66083 bytes, expected 66082"});
    auto shorter = good;
    shorter.pop_back();
    cases.push_back({"one byte shorter", shorter, -3, "66081 bytes, expected 66082"});
    auto wrongM = good;
    putU16(wrongM, 26, 260);
    cases.push_back({"mbSectionWords does not match", wrongM, -3, "mbSectionWords 260"});
    auto wrongH = good;
    putU16(wrongH, 4, 2);
    cases.push_back({"maxCharSize does not match", wrongH, -3, "expected 131618"});
    // 28 + 2 x 255 = 538 bytes passes the length formula with maxCharSize 0, but cannot hold
    // the mbTable.
    auto tiny = makeTable(0, 0x3F, 255, identity, identity);
    ASSERT_EQ(tiny.size(), 538u);
    cases.push_back({"shorter than 540 bytes", tiny, -3, "shorter than the 540 bytes"});
    cases.push_back({"empty", {}, -3, "0 bytes"});
    cases.push_back({"one header byte", {0x0D}, -3, "1 bytes"});
    cases.push_back({"one wrong byte", {0x41}, -2, "first byte is 0x41"});
    for (const Case& c : cases) {
        Loaded l = load(dir, c.image);
        EXPECT_EQ(l.result, c.result) << c.name;
        EXPECT_EQ(l.marks, Marks{}) << c.name;
        EXPECT_NE(l.problem.find(c.problem), std::string::npos) << c.name << ": " << l.problem;
        EXPECT_NE(l.problem.find("c_test.nls"), std::string::npos) << c.name << ": " << l.problem;
    }
}

TEST(CodePageFile, HeaderHighByteIsNotExamined) {
    TempDir dir;
    auto image = asciiTable();
    image[1] = 0x7F;
    EXPECT_EQ(load(dir, image).result, 0);
}

TEST(CodePageFile, MissingFileOrDirectoryIsMinusOne) {
    TempDir dir;
    auto index = freshIndex();
    std::string problem;
    EXPECT_EQ(loadCodePageFile(dir.path() / "c_none.nls", index.data(), &problem), -1);
    EXPECT_EQ(problem, "cannot open code-page file \"" + (dir.path() / "c_none.nls").string() +
                           "\": No such file or directory");
    EXPECT_EQ(loadCodePageFile(dir.path(), index.data(), &problem), -1);
    EXPECT_NE(problem.find("Is a directory"), std::string::npos) << problem;
    EXPECT_EQ(loadCodePageFile(dir.path(), index.data()), -1);
    EXPECT_EQ(markedCount(index), 0u);
}

TEST(CodePageFile, TwoTablesSelectTheUnionAndRepeatingOneChangesNothing) {
    TempDir dir;
    auto latin = dir.write("a.nls", asciiTable());
    auto greek = dir.write("b.nls", makeTable(1, 0x3F, 259, identity, [](uint32_t c) {
                               return c >= 0x391 && c <= 0x3A9 ? 0xC1 : 0x3F;
                           }));
    auto index = freshIndex();
    EXPECT_EQ(loadCodePageFile(latin, index.data()), 0);
    EXPECT_EQ(loadCodePageFile(greek, index.data()), 0);
    Marks expected = range(0, 0x7F);
    Marks greekLetters = range(0x391, 0x3A9);
    expected.insert(expected.end(), greekLetters.begin(), greekLetters.end());
    EXPECT_EQ(marked(index), expected);
    EXPECT_EQ(loadCodePageFile(greek, index.data()), 0);
    EXPECT_EQ(loadCodePageFile(latin, index.data()), 0);
    EXPECT_EQ(marked(index), expected);
}

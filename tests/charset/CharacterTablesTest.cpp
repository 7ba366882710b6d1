// The build of the selection: sources in order, customer ranges, listing and numbering.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "CharsetTestUtil.h"
#include "charset/CharacterTables.h"

namespace {

using Marks = std::vector<uint32_t>;

// The finished tables must be inverses of each other, with 0xFFFF everywhere else.
void expectConsistent(const CharacterTables& t) {
    ASSERT_EQ(t.charIndex.size(), kCodePointCount);
    ASSERT_EQ(t.charList.size(), kCodePointCount);
    ASSERT_GE(t.charCount, 0);
    ASSERT_LE(t.charCount, 65536);
    std::vector<bool> listed(kCodePointCount, false);
    for (int32_t i = 0; i < t.charCount; ++i) {
        if (i > 0) {
            ASSERT_LT(t.charList[i - 1], t.charList[i]) << i;
        }
        ASSERT_EQ(t.charIndex[t.charList[i]], static_cast<uint16_t>(i)) << i;
        listed[t.charList[i]] = true;
    }
    for (uint32_t i = static_cast<uint32_t>(t.charCount); i < kCodePointCount; ++i) {
        ASSERT_EQ(t.charList[i], 0xFFFF) << i;
    }
    for (uint32_t c = 0; c < kCodePointCount; ++c) {
        if (!listed[c]) {
            ASSERT_EQ(t.charIndex[c], 0xFFFF) << c;
        }
    }
}

Marks listOf(const CharacterTables& t) {
    return Marks(t.charList.begin(), t.charList.begin() + t.charCount);
}

CharacterTables build(const FontConfig& config, SelectionReport* report = nullptr,
                      const std::filesystem::path& toolDir = "/nonexistent-tool-dir") {
    CharacterTables t;
    SelectionReport r = buildCharacterTables(toolDir, config, t);
    if (report) *report = r;
    return t;
}

FontConfig rangesOnly(std::vector<CustomerRange> ranges) {
    FontConfig config;
    config.customerVals = std::move(ranges);
    return config;
}

std::string cstBytes(const Marks& codes) {
    std::string bytes;
    for (uint32_t c : codes) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    return bytes;
}

}  // namespace

TEST(CharacterTables, NothingConfiguredSelectsNothing) {
    SelectionReport report;
    CharacterTables t = build(FontConfig{}, &report);
    EXPECT_EQ(t.charCount, 0);
    EXPECT_EQ(report.rejectedRanges, 0);
    EXPECT_TRUE(report.warnings.empty());
    EXPECT_TRUE(std::all_of(t.charIndex.begin(), t.charIndex.end(),
                            [](uint16_t v) { return v == 0xFFFF; }));
    EXPECT_TRUE(
        std::all_of(t.charList.begin(), t.charList.end(), [](uint16_t v) { return v == 0xFFFF; }));
}

TEST(CharacterTables, CustomerRangeRules) {
    struct Case {
        int32_t firstVal;
        int32_t range;
        bool rejected;
        int32_t count;
        uint32_t first, last;  // of the selection, when count > 0
    };
    const Case cases[] = {
        {0x41, 26, false, 26, 0x41, 0x5A},
        {0xFF00, 256, false, 256, 0xFF00, 0xFFFF},  // ends exactly at 65,536: accepted
        {0xFF00, 257, true, 0, 0, 0},               // reaches 65,537: rejected whole, not clipped
        {0x10000, 1, true, 0, 0, 0},
        {0x41, 0, false, 0, 0, 0},   // empty: silent
        {0x41, -5, false, 0, 0, 0},  // negative: silent
        {-5, 10, true, 0, 0, 0},     // would start below U+0000
        {-5, 0, false, 0, 0, 0},     // nothing to write: silent
        {-5, -1, false, 0, 0, 0},
        {INT32_MAX, 1, true, 0, 0, 0},   // the end overflows 32 bits
        {INT32_MIN, -1, true, 0, 0, 0},  // the end underflows 32 bits
        {INT32_MAX, INT32_MIN, false, 0, 0, 0},
        {0, 1, false, 1, 0, 0},
        {0, 65536, false, 65536, 0, 0xFFFF},
        {0, 65537, true, 0, 0, 0},
        {0xFFFF, 1, false, 1, 0xFFFF, 0xFFFF},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.firstVal) + " + " + std::to_string(c.range));
        SelectionReport report;
        CharacterTables t = build(rangesOnly({{c.firstVal, c.range}}), &report);
        EXPECT_EQ(report.rejectedRanges, c.rejected ? 1 : 0);
        EXPECT_EQ(t.charCount, c.count);
        if (c.count > 0) {
            EXPECT_EQ(t.charList[0], c.first);
            EXPECT_EQ(t.charList[c.count - 1], c.last);
        }
        expectConsistent(t);
    }
}

TEST(CharacterTables, EveryRejectedRangeIsCountedAndLaterRangesStillApply) {
    SelectionReport report;
    CharacterTables t =
        build(rangesOnly({{0x30, 3}, {0xFFFF, 2}, {-1, 2}, {0x41, 2}, {0x41, 0}}), &report);
    EXPECT_EQ(report.rejectedRanges, 2);
    EXPECT_EQ(listOf(t), (Marks{0x30, 0x31, 0x32, 0x41, 0x42}));
    // Each rejected range is described with its values and the reason, in order.
    ASSERT_EQ(report.rejectedRangeReasons.size(), 2u);
    EXPECT_EQ(report.rejectedRangeReasons[0],
              "customer range firstVal 65535, range 2 is skipped: it would end at U+10000, past "
              "U+FFFF");
    EXPECT_EQ(report.rejectedRangeReasons[1],
              "customer range firstVal -1, range 2 is skipped: it starts below U+0000");
    build(rangesOnly({{INT32_MAX, 1}}), &report);
    EXPECT_NE(report.rejectedRangeReasons.at(0).find("does not fit in 32 bits"), std::string::npos);
}

TEST(CharacterTables, OnlyU0000) {
    CharacterTables t = build(rangesOnly({{0, 1}}));
    EXPECT_EQ(t.charCount, 1);
    EXPECT_EQ(t.charList[0], 0);
    EXPECT_EQ(t.charIndex[0], 0);
    EXPECT_EQ(t.charList[1], 0xFFFF);
    expectConsistent(t);
}

TEST(CharacterTables, AllCodePointsGiveUFFFFGlyphNumberFFFF) {
    CharacterTables t = build(rangesOnly({{0, 0x8000}, {0x8000, 0x8000}}));
    EXPECT_EQ(t.charCount, 65536);
    for (uint32_t c = 0; c < kCodePointCount; ++c) {
        ASSERT_EQ(t.charList[c], c);
        ASSERT_EQ(t.charIndex[c], c);  // U+FFFF: glyph number 0xFFFF
    }
}

TEST(CharacterTables, CodePagePathIsPlainConcatenation) {
    namespace fs = std::filesystem;
    const std::string sep(1, static_cast<char>(fs::path::preferred_separator));
    EXPECT_EQ(codePagePath("/opt/fontbin", L"c_936.nls").string(),
              "/opt/fontbin" + sep + "CodePage" + sep + "c_936.nls");
    // An absolute name stays below the folder instead of replacing it.
    EXPECT_EQ(codePagePath("/opt/fontbin", L"/etc/passwd").string(),
              "/opt/fontbin" + sep + "CodePage" + sep + "/etc/passwd");
    EXPECT_EQ(codePagePath("/opt/fontbin", L"../x.nls").string(),
              "/opt/fontbin" + sep + "CodePage" + sep + "../x.nls");
}

TEST(CharacterTables, SourcesAreAppliedAndProblemsReported) {
    TempDir dir;
    // A tool folder with one code-page table: ASCII letters only.
    std::filesystem::create_directories(dir.path() / "CodePage");
    std::vector<uint8_t> table(546 + 65536, 0);
    table[0] = 0x0D;
    table[4] = 1;
    table[6] = 0x3F;
    table[26] = 3;
    table[27] = 1;  // 259 words
    table[28 + 2 * 0x3F] = 0x3F;
    for (uint32_t c = 0; c < 65536; ++c) {
        table[546 + c] = (c >= 'a' && c <= 'z') ? static_cast<uint8_t>(c) : 0x3F;
    }
    dir.write("CodePage/c_az.nls", table);
    FontConfig config;
    config.codePages = {L"c_az.nls", L"c_missing.nls"};
    config.mappingPaths = {wide(dir.write("m.txt", "0x8140\t0x4E02\n0x1F600\n")),
                           wide(dir.path() / "missing.txt")};
    config.cstPaths = {wide(dir.write("a.cst", cstBytes({0x3000, 0x4E02}))),
                       wide(dir.path() / "missing.cst")};
    config.textPaths = {wide(dir.write("ui.txt", "\xEF\xBB\xBFOK \xE4\xB8\xAD\r\n"))};
    config.customerVals = {{0x30, 2}, {0xFFFF, 5}};
    SelectionReport report;
    CharacterTables t = build(config, &report, dir.path());
    Marks expected = {0x20, 0x30, 0x31, 0x3F, 0x4B, 0x4F};
    for (uint32_t c = 'a'; c <= 'z'; ++c) expected.push_back(c);
    expected.push_back(0x3000);
    expected.push_back(0x4E02);
    expected.push_back(0x4E2D);
    EXPECT_EQ(listOf(t), expected);
    expectConsistent(t);
    EXPECT_EQ(report.rejectedRanges, 1);
    ASSERT_EQ(report.warnings.size(), 1u);
    EXPECT_NE(report.warnings[0].find("outside U+0000..U+FFFF"), std::string::npos);
    // Files that cannot be read are errors: the run stops on them.
    ASSERT_EQ(report.errors.size(), 3u);
    EXPECT_NE(report.errors[0].find("c_missing.nls"), std::string::npos);
    EXPECT_NE(report.errors[1].find("missing.txt"), std::string::npos);
    EXPECT_NE(report.errors[2].find("missing.cst"), std::string::npos);
}

TEST(CharacterTables, UnionIsIndependentOfOrderAndDuplicates) {
    TempDir dir;
    std::mt19937 rng(42);
    std::vector<std::wstring> csts, maps;
    for (int f = 0; f < 4; ++f) {
        Marks codes;
        std::string text;
        for (int i = 0; i < 300; ++i) {
            uint32_t c = rng() % 0x10000;
            codes.push_back(c);
            char line[32];
            snprintf(line, sizeof line, "0x%X\t0x%04X\n", i, (c * 7) & 0xFFFF);
            text += line;
        }
        csts.push_back(wide(dir.write("f" + std::to_string(f) + ".cst", cstBytes(codes))));
        maps.push_back(wide(dir.write("f" + std::to_string(f) + ".txt", text)));
    }
    FontConfig a;
    a.cstPaths = csts;
    a.mappingPaths = maps;
    a.customerVals = {{0x4E00, 100}, {0x20, 0x5F}, {0x4E10, 5}};
    FontConfig b;
    b.cstPaths = {csts[3], csts[1], csts[1], csts[0], csts[2]};
    b.mappingPaths = {maps[2], maps[0], maps[3], maps[1], maps[0]};
    b.customerVals = {{0x4E10, 5}, {0x20, 0x5F}, {0x4E00, 100}, {0x4E00, 100}};
    CharacterTables ta = build(a);
    CharacterTables tb = build(b);
    expectConsistent(ta);
    EXPECT_EQ(ta.charCount, tb.charCount);
    EXPECT_EQ(ta.charIndex, tb.charIndex);
    EXPECT_EQ(ta.charList, tb.charList);
    // Every source became one list entry per code point.
    EXPECT_EQ(std::adjacent_find(ta.charList.begin(), ta.charList.begin() + ta.charCount),
              ta.charList.begin() + ta.charCount);
}

TEST(CharacterTables, ListWrittenAsCstReproducesTheSelection) {
    TempDir dir;
    std::mt19937 rng(7);
    Marks codes;
    for (int i = 0; i < 5000; ++i) codes.push_back(rng() % 0x10000);
    FontConfig first;
    first.cstPaths = {wide(dir.write("in.cst", cstBytes(codes)))};
    first.mappingPaths = {wide(dir.write("in.txt", "0x41\n0x20\t0xFFFE\n0x0\n"))};
    first.customerVals = {{0xFFF0, 16}};
    CharacterTables t1 = build(first);
    ASSERT_GT(t1.charCount, 4000);

    // The list as the "_out.cst" side file holds it: little-endian 16-bit values.
    std::string out;
    for (int32_t i = 0; i < t1.charCount; ++i) {
        out += static_cast<char>(t1.charList[i] & 0xFF);
        out += static_cast<char>(t1.charList[i] >> 8);
    }
    FontConfig second;
    second.cstPaths = {wide(dir.write("run_out.cst", out))};
    CharacterTables t2 = build(second);
    EXPECT_EQ(t2.charCount, t1.charCount);
    EXPECT_EQ(t2.charIndex, t1.charIndex);
    EXPECT_EQ(t2.charList, t1.charList);
}

TEST(CharacterTables, BuildingAgainStartsFromScratch) {
    CharacterTables t = build(rangesOnly({{0x41, 3}}));
    buildCharacterTables("/nonexistent", rangesOnly({{0x61, 1}}), t);
    EXPECT_EQ(listOf(t), Marks{0x61});
    expectConsistent(t);
}

// Kerning written by the real tool into version 2 of the width file (or the compact file's kerning
// section) and looked up by the device reader; the files without the key keep their bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "reader/fontbin_reader.h"
#include "reader/fontbin_text.h"
#include "support/FontTables.h"
#include "support/Sandbox.h"

namespace {

using testing_support::readBytes;
using testing_support::ToolSandbox;

// Hides the font's GPOS table, so that HarfBuzz reads the legacy kern table instead.
void hideGpos(const std::filesystem::path& font) {
    auto bytes = readBytes(font);
    testing_support::hideTable(bytes, "GPOS");
    testing_support::writeFile(font, std::string(bytes.begin(), bytes.end()));
}

struct Pair {
    uint32_t left, right;
    int sign;  // -1 closer, +1 apart, 0 not listed
};

// A compact file written with "kerning": its pairs through fb_compact_kerning and the text API,
// and otherwise the bytes of the same run without the key, header flag and section aside.
void expectCompactKerning(const char* what, const fb_font& font, const std::vector<uint8_t>& kerned,
                          const std::string& head, const std::vector<Pair>& pairs) {
    for (const Pair& p : pairs) {
        int adjust = 99;
        EXPECT_EQ(fb_compact_kerning(&font, p.left, p.right, &adjust),
                  p.sign ? FB_OK : FB_ERR_NOT_FOUND)
            << what << " " << p.left;
        EXPECT_EQ(adjust < 0 ? -1 : adjust > 0, p.sign) << what << " " << p.left;
    }
    ToolSandbox plain;
    plain.addFont(FONTBIN_TEST_FONT_DEJAVU, "sans.ttf");
    plain.writeConfig(head + "\"kerning\": false}}");
    ASSERT_EQ(plain.run({"FontConfig.json"}).status, 0) << what;
    auto bytes = readBytes(plain.project() / "sans_size16_bits1_compact.bin");
    ASSERT_EQ(bytes.size() + 4 + 5 * font.compact.pair_count, kerned.size()) << what;
    bytes[7] |= FB_COMPACT_KERNING;
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), kerned.begin())) << what;

    // The text API moves the pen by the pair: "AV" is narrower by its adjustment.
    bytes[7] &= ~FB_COMPACT_KERNING & 0xFFu;
    fb_font unkerned;
    ASSERT_EQ(fb_open(bytes.data(), bytes.size(), &unkerned), FB_OK) << what;
    fb_text text;
    fb_text_extent kernedExtent, plainExtent;
    int av = 0;
    ASSERT_EQ(fb_compact_kerning(&font, 'A', 'V', &av), FB_OK) << what;
    ASSERT_EQ(fb_text_init(&text, &font, nullptr), FB_OK);
    fb_text_measure(&text, "AV", FB_TEXT_NUL, 0, FB_WRAP_NONE, &kernedExtent);
    ASSERT_EQ(fb_text_init(&text, &unkerned, nullptr), FB_OK);
    fb_text_measure(&text, "AV", FB_TEXT_NUL, 0, FB_WRAP_NONE, &plainExtent);
    EXPECT_EQ(static_cast<int>(kernedExtent.width), static_cast<int>(plainExtent.width) + av)
        << what;
}

TEST(Kerning, PairsReachTheReaderAndTheWidthsStayAsTheyWere) {
    const struct {
        const char* what;
        const char* font;
        const char* name;
        const char* rest;  // selection and further fontSet keys
        const char* stem;
        std::vector<Pair> pairs;
        bool compact = false;  // the pairs are in the compact file, not in a width file
    } cases[] = {
        {"DejaVu Sans, ASCII, code list",
         FONTBIN_TEST_FONT_DEJAVU,
         "sans.ttf",
         R"("customerVals": [{"firstVal": "0x20", "range": "95"}], "fontSet": {"indexMethod": 1)",
         "sans_size16_bits1",
         {{'A', 'V', -1}, {'T', 'o', -1}, {'T', 'y', -1}, {'H', 'H', 0}, {'o', 'o', 0}}},
        // The offset-table layout lists the code points before the pairs.
        // Without GPOS, DejaVu's legacy kern table gives the same pairs.
        {"DejaVu Sans, kern table",
         FONTBIN_TEST_FONT_DEJAVU,
         "legacy.ttf",
         R"("customerVals": [{"firstVal": "0x20", "range": "95"}], "fontSet": {"indexMethod": 1)",
         "legacy_size16_bits1",
         {{'A', 'V', -1}, {'T', 'o', -1}, {'H', 'H', 0}}},
        {"DejaVu Sans, Latin-1, offset table",
         FONTBIN_TEST_FONT_DEJAVU,
         "sans.ttf",
         R"("customerVals": [{"firstVal": "0x20", "range": "224"}], "fontSet": {"crop": 1)",
         "sans_size16_bits1",
         {{'A', 'V', -1}, {'T', 0xE9, -1}, {'H', 'H', 0}}},
        // The CJK block: only the glyphs some kerning lookup names are paired, so this is a
        // quick run; the ideographs have no pairs.
        {"Micro Hei, CJK block",
         FONTBIN_TEST_FONT_MICROHEI,
         "hei.ttc",
         R"("customerVals": [{"firstVal": "0x20", "range": "95"}, {"firstVal": "0x4E00",)"
         R"( "range": "20992"}], "fontSet": {"indexMethod": 0)",
         "hei_size16_bits1",
         {{'A', 'V', -1}, {0x4E00, 0x4E01, 0}, {'A', 0x4E00, 0}}},
        {"DejaVu Sans, ASCII, compact",
         FONTBIN_TEST_FONT_DEJAVU,
         "sans.ttf",
         R"("customerVals": [{"firstVal": "0x20", "range": "95"}], "fontSet": {"compact": true)",
         "sans_size16_bits1",
         {{'A', 'V', -1}, {'T', 'o', -1}, {'T', 'y', -1}, {'H', 'H', 0}},
         true},
    };
    for (const auto& c : cases) {
        const std::string head =
            std::string("{") + c.rest + R"(, "fontSize": 16, "font": ")" + c.name + "\", ";
        const std::string adv = std::string(c.stem) + "_adv.bin";
        const std::string fontFile =
            std::string(c.stem) + (c.compact ? "_compact.bin" : "_font.bin");
        ToolSandbox kerned;
        kerned.addFont(c.font, c.name);
        if (std::string(c.name) == "legacy.ttf") hideGpos(kerned.toolDir() / "font" / c.name);
        kerned.writeConfig(head + R"("kerning": true}})");
        const auto r = kerned.run({"FontConfig.json"});
        ASSERT_EQ(r.status, 0) << c.what << ": " << r.err;
        const auto fontBytes = readBytes(kerned.project() / fontFile);
        const auto v2 = readBytes(kerned.project() / adv);

        fb_font font;
        fb_advances a;
        ASSERT_EQ(fb_open(fontBytes.data(), fontBytes.size(), &font), FB_OK) << c.what;
        if (c.compact) {
            expectCompactKerning(c.what, font, fontBytes, head, c.pairs);
            continue;
        }
        ASSERT_EQ(fb_open_advances(v2.data(), v2.size(), &font, &a), FB_OK)
            << c.what << ": " << a.error_detail;
        EXPECT_EQ(v2[4], 2) << c.what;
        EXPECT_GT(a.pair_count, 0u) << c.what;
        for (const Pair& p : c.pairs) {
            int adjust = 99;
            const fb_error err = fb_kerning(&a, p.left, p.right, &adjust);
            EXPECT_EQ(err, p.sign ? FB_OK : FB_ERR_NOT_FOUND) << c.what << " " << p.left;
            EXPECT_EQ(adjust < 0 ? -1 : adjust > 0, p.sign) << c.what << " " << p.left;
        }

        // "advances" alone: version 1, the same bytes up to where the pairs begin.
        ToolSandbox plain;
        plain.addFont(c.font, c.name);
        if (std::string(c.name) == "legacy.ttf") hideGpos(plain.toolDir() / "font" / c.name);
        plain.writeConfig(head + R"("advances": true}})");
        ASSERT_EQ(plain.run({"FontConfig.json"}).status, 0) << c.what;
        auto v1 = readBytes(plain.project() / adv);
        EXPECT_EQ(readBytes(plain.project() / fontFile), fontBytes) << c.what;
        ASSERT_EQ(v1.size() + 4 + 5 * a.pair_count, v2.size()) << c.what;
        EXPECT_EQ(v1[4], 1) << c.what;
        v1[4] = 2;
        EXPECT_TRUE(std::equal(v1.begin(), v1.end(), v2.begin())) << c.what;

        // The text API moves the pen by the pair: "AV" is narrower by its adjustment.
        fb_advances widthsOnly;
        v1[4] = 1;
        ASSERT_EQ(fb_open_advances(v1.data(), v1.size(), &font, &widthsOnly), FB_OK) << c.what;
        fb_text text;
        fb_text_extent kernedExtent, plainExtent;
        int av = 0;
        fb_kerning(&a, 'A', 'V', &av);
        ASSERT_EQ(fb_text_init(&text, &font, &a), FB_OK);
        fb_text_measure(&text, "AV", FB_TEXT_NUL, 0, FB_WRAP_NONE, &kernedExtent);
        ASSERT_EQ(fb_text_init(&text, &font, &widthsOnly), FB_OK);
        fb_text_measure(&text, "AV", FB_TEXT_NUL, 0, FB_WRAP_NONE, &plainExtent);
        EXPECT_EQ(static_cast<int>(kernedExtent.width), static_cast<int>(plainExtent.width) + av)
            << c.what;
    }
}

// A kern table written by the test into DejaVu Sans (GPOS hidden), run with a 16-pixel line:
// adjustments beyond what a pair holds are clamped with a warning that counts them, and
// a table that kerns every pair (Apple's format 3, every glyph of class 0) is warned about with
// its pair count.
TEST(Kerning, ClampedAdjustmentsAndTooManyPairsAreWarnedAbout) {
    using testing_support::TableWriter;
    const uint16_t A = 36, L = 47, T = 55, V = 57, o = 82;  // DejaVu Sans's glyph indices
    TableWriter pairList;
    pairList.u16(3).u16(12).u16(1).u16(6);
    pairList.u16(A).u16(V).u16(-32000).u16(L).u16(T).u16(-300).u16(T).u16(o).u16(30000);
    TableWriter everyPair;
    everyPair.u16(0).u8(1).u8(1).u8(1).u8(0).u16(-200).u8(0);
    const struct {
        const char* what;
        TableWriter kern;
        const char* range;                      // characters from U+0020
        std::vector<std::array<int, 3>> pairs;  // left, right, pixels
        size_t clamped;                         // adjustments warned about
        bool tooMany;                           // the pair count is warned about
    } cases[] = {
        {"clamped",
         testing_support::kernTable(false, 0, pairList),
         "95",
         {{'A', 'V', -128}, {'L', 'T', -2}, {'T', 'o', 127}},
         2,
         false},
        {"every pair",
         testing_support::kernTable(true, 3, everyPair),
         "1000",
         {{'A', 'V', -1}, {' ', 0x1A0, -1}},
         0,
         true},
    };
    for (const auto& c : cases) {
        ToolSandbox box;
        const auto font = box.toolDir() / "font" / "sans.ttf";
        box.addFont(FONTBIN_TEST_FONT_DEJAVU, "sans.ttf");
        auto bytes = readBytes(font);
        testing_support::hideTable(bytes, "GPOS");
        testing_support::replaceTable(bytes, "kern", c.kern);
        testing_support::writeFile(font, std::string(bytes.begin(), bytes.end()));
        box.writeConfig(
            std::string(R"({"customerVals": [{"firstVal": "0x20", "range": ")") + c.range +
            R"("}], "fontSet": {"font": "sans.ttf", "fontSize": 16, "kerning": true}})");
        const auto r = box.run({"FontConfig.json"});
        ASSERT_EQ(r.status, 0) << c.what << ": " << r.err;
        const auto fontBytes = readBytes(box.project() / "sans_size16_bits1_font.bin");
        const auto widths = readBytes(box.project() / "sans_size16_bits1_adv.bin");
        fb_font f;
        fb_advances a;
        ASSERT_EQ(fb_open(fontBytes.data(), fontBytes.size(), &f), FB_OK) << c.what;
        ASSERT_EQ(fb_open_advances(widths.data(), widths.size(), &f, &a), FB_OK) << c.what;
        const std::string clamped = "warning: sans.ttf: " + std::to_string(c.clamped) +
                                    " kerning adjustment(s) beyond -128 .. 127 pixels stored as "
                                    "-128 or 127\n";
        const std::string tooMany = "warning: sans.ttf: " + std::to_string(a.pair_count) +
                                    " kerning pairs, more than 500000 ";
        EXPECT_EQ(r.err.find(clamped) != std::string::npos, c.clamped > 0) << c.what << r.err;
        EXPECT_EQ(r.err.find(tooMany) != std::string::npos, c.tooMany) << c.what << r.err;
        for (const auto& [left, right, pixels] : c.pairs) {
            int adjust = 0;
            EXPECT_EQ(fb_kerning(&a, left, right, &adjust), FB_OK) << c.what << " " << left;
            EXPECT_EQ(adjust, pixels) << c.what << " " << left;
        }
    }
}

// Damaged pair parts of a real version-2 file: each is refused with its own error, never read.
TEST(Kerning, DamagedPairsAreRefused) {
    ToolSandbox box;
    box.addFont(FONTBIN_TEST_FONT_DEJAVU, "sans.ttf");
    box.writeConfig(R"({"customerVals": [{"firstVal": "0x20", "range": "95"}],)"
                    R"( "fontSet": {"font": "sans.ttf", "fontSize": 16, "kerning": true}})");
    ASSERT_EQ(box.run({"FontConfig.json"}).status, 0);
    const auto fontBytes = readBytes(box.project() / "sans_size16_bits1_font.bin");
    const auto good = readBytes(box.project() / "sans_size16_bits1_adv.bin");
    fb_font font;
    ASSERT_EQ(fb_open(fontBytes.data(), fontBytes.size(), &font), FB_OK);
    // The pair count (u32 at byte 107, 95 widths after the header) is followed by the pairs.
    ASSERT_GT(good.size(), 12u + 95 + 4 + 10);
    using Bytes = std::vector<uint8_t>;
    const struct {
        const char* what;
        void (*damage)(Bytes&);
        fb_error expected;
    } cases[] = {
        {"cut inside the count", [](Bytes& b) { b.resize(109); }, FB_ERR_TRUNCATED},
        {"cut inside the last pair", [](Bytes& b) { b.pop_back(); }, FB_ERR_TRUNCATED},
        {"a byte after the last pair", [](Bytes& b) { b.push_back(0); }, FB_ERR_LENGTH},
        {"a zero adjustment", [](Bytes& b) { b[115] = 0; }, FB_ERR_BAD_INDEX},
        {"pairs out of order", [](Bytes& b) { std::swap_ranges(&b[111], &b[116], &b[116]); },
         FB_ERR_BAD_INDEX},
        {"a pair twice", [](Bytes& b) { std::copy(&b[111], &b[116], &b[116]); }, FB_ERR_BAD_INDEX},
        {"version 3", [](Bytes& b) { b[4] = 3; }, FB_ERR_BAD_MAGIC},
        {"version 1 with pairs", [](Bytes& b) { b[4] = 1; }, FB_ERR_LENGTH},
        {"one pair more counted", [](Bytes& b) { ++b[107]; }, FB_ERR_TRUNCATED},
        {"one pair fewer counted", [](Bytes& b) { --b[107]; }, FB_ERR_LENGTH},
        {"a count that overflows", [](Bytes& b) { std::fill(&b[107], &b[111], 0xFF); },
         FB_ERR_TRUNCATED},
    };
    for (const auto& c : cases) {
        Bytes bad = good;
        c.damage(bad);
        fb_advances a;
        EXPECT_EQ(fb_open_advances(bad.data(), bad.size(), &font, &a), c.expected) << c.what;
        EXPECT_FALSE(a.ready) << c.what;
    }
}

}  // namespace

// The compact writer's own guarantees: a model that does not fit the levels it codes fails the
// font instead of hanging the coder, the prefix codes are ones the reader can decode, and the
// files the real tool writes stay under a size ceiling per depth (sizes are deterministic; the
// speed of coding is bench/compact.sh's).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "output/compact/Encoder.h"
#include "output/compact/GlyphCodes.h"
#include "support/Sandbox.h"

namespace {

using namespace compact;

// One 3 x 2 glyph of the given levels.
GlyphSet oneGlyph(uint32_t bpp, std::vector<uint8_t> levels) {
    GlyphSet set;
    set.bpp = bpp;
    GlyphBox g;
    g.code = 'A';
    g.w = 3;
    g.h = 2;
    set.glyphs.push_back(g);
    set.levels = std::move(levels);
    return set;
}

TEST(CompactEncoder, ACountTableThatDoesNotFitTheGlyphsFailsTheFont) {
    struct Case {
        const char* what;
        uint32_t bpp;
        std::vector<uint8_t> counted;  // the levels the model is built from
        std::vector<uint8_t> coded;    // the levels coded with it
        bool ok;
    };
    const Case cases[] = {
        {"2 bits, the same levels", 2, {0, 1, 3, 3, 2, 0}, {0, 1, 3, 3, 2, 0}, true},
        {"2 bits, a level never counted", 2, {0, 0, 3, 3, 0, 0}, {0, 1, 3, 3, 2, 0}, false},
        {"4 bits, nothing counted", 4, {0, 0, 0, 0, 0, 0}, {0, 9, 15, 15, 9, 0}, false},
        {"8 bits, the same levels", 8, {0, 200, 255, 255, 17, 0}, {0, 200, 255, 255, 17, 0}, true},
        {"8 bits, a low half never counted",
         8,
         {0, 200, 255, 255, 17, 0},
         {0, 201, 255, 255, 17, 0},
         false},
        // A binary decision always has room: the model is only worse.
        {"1 bit, other levels", 1, {0, 0, 0, 0, 0, 0}, {1, 1, 1, 0, 1, 0}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Template shape = fullTemplate(c.bpp);
        const std::vector<uint64_t> counts = countLevels(oneGlyph(c.bpp, c.counted), shape);
        const GlyphSet coded = oneGlyph(c.bpp, c.coded);
        const EncodedFont font = encodeFont(coded, shape, counts);
        EXPECT_EQ(font.ok, c.ok);
        EXPECT_EQ(!font.data.empty(), c.ok);
        // Counts of another template's size are refused before any coding.
        EXPECT_FALSE(encodeFont(coded, Template{0, -1, -1}, counts).ok);
    }
}

// Every code the writer builds is canonical with no word over 15 bits, so that the reader's
// decoding loop finds each symbol: skewed frequencies (Fibonacci, whose Huffman words would grow
// to 29 bits) are flattened, and a lone symbol has the empty word.
TEST(CompactEncoder, PrefixCodesAreCanonicalAndAtMost15BitsLong) {
    std::vector<uint64_t> fibonacci{1, 1};
    while (fibonacci.size() < 30) fibonacci.push_back(fibonacci.end()[-1] + fibonacci.end()[-2]);
    const struct {
        const char* what;
        std::vector<uint64_t> frequencies;
        uint32_t longest;
    } cases[] = {
        {"none", {0, 0}, 0},
        {"lone", {0, 7, 0}, 0},
        {"two", {3, 0, 5}, 1},
        {"uneven", {50, 20, 20, 5, 5}, 4},
        {"fibonacci", fibonacci, kMaxCodeLength},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const PrefixCode code = prefixCode(c.frequencies);
        ASSERT_FALSE(code.order.empty());
        uint32_t longest = 0, counted = 0;
        for (uint32_t l = 1; l <= kMaxCodeLength; ++l) {
            counted += code.counts[l - 1];
            if (code.counts[l - 1]) longest = l;
        }
        EXPECT_EQ(longest, c.longest);
        EXPECT_EQ(counted, longest ? code.order.size() : 0u);
        // Canonical: in word order each word is the one before plus one, shifted to its length.
        double kraft = 0;
        uint32_t word = 0, length = 0;
        for (size_t i = 0; i < code.order.size(); ++i) {
            const uint32_t s = code.order[i], l = code.lengthOf[s];
            EXPECT_TRUE(code.order.size() == 1 || c.frequencies[s] != 0) << s;
            if (i > 0) word = (word + 1) << (l - length);
            EXPECT_EQ(code.wordOf[s], word) << s;
            length = l;
            kraft += l ? 1.0 / (1u << l) : 1.0;
        }
        EXPECT_LE(kraft, 1.0);
    }
}

// The real tool on one fixed font, a Latin and a CJK stretch, at every depth. The ceilings lie
// about 1% above what the writer gives today: a change that makes the files larger fails here.
TEST(CompactEncoder, FilesStayUnderTheirCeilingAtEveryDepth) {
    const struct {
        int bpp;
        uintmax_t ceiling;
    } cases[] = {{1, 7040}, {2, 13710}, {4, 30670}, {8, 57950}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bpp);
        testing_support::ToolSandbox box;
        box.addFont(FONTBIN_TEST_FONT_MICROHEI, "wqy-microhei.ttc");
        box.writeConfig(
            R"({"customerVals": [{"firstVal": "0x20", "range": "95"},
                                 {"firstVal": "0x4E00", "range": "500"}],
                "fontSet": {"font": "wqy-microhei.ttc", "fontSize": 16, "compact": true,
                            "renderMode": )" +
            std::to_string(c.bpp) + "}}");
        const auto run = box.run({"FontConfig.json"});
        ASSERT_EQ(run.status, 0) << run.err;
        const auto bytes = testing_support::readBytes(
            box.project() / ("wqy-microhei_size16_bits" + std::to_string(c.bpp) + "_compact.bin"));
        EXPECT_GT(bytes.size(), c.ceiling * 9 / 10);  // the run wrote every glyph
        EXPECT_LE(bytes.size(), c.ceiling);
        std::printf("compact 16 px, %d bits: %zu bytes (ceiling %ju)\n", c.bpp, bytes.size(),
                    c.ceiling);
    }
}

}  // namespace

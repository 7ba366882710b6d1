#include <gtest/gtest.h>

#include <string>

#include "config/FontChoices.h"
#include "config/FontConfig.h"

namespace {

FontConfig bindFontSet(const std::string& fontSet) {
    const std::string json = "{\"fontSet\": {" + fontSet + "}}";
    FontConfig model;
    EXPECT_TRUE(bindConfigText(json.data(), json.size(), model)) << json;
    return model;
}

}  // namespace

TEST(FontChoices, ValuesOfTheWrongTypeAreOneErrorEach) {
    const std::pair<const char*, const char*> cases[] = {
        {R"("faceIndex": 2147483647, "variations": {}, "fallbackFonts": [])", ""},
        {R"("FACEINDEX": 0.5)",
         "fontSet.faceIndex must be a whole number 0 or more (the face of "
         "a collection), not 0.5"},
        {R"("faceIndex": "1")", "not \"1\""},
        {R"("variations": [700])", "fontSet.variations must be an object of axis tags and numbers"},
        {R"("variations": {"wg\nt": 700})", "fontSet.variations: \"wg\\nt\" is not an axis tag"},
        {R"("variations": {"wght": 7, "wght": 4})", "fontSet.variations names \"wght\" twice"},
        {R"("faceIndex": 1e400)", "not a number too large"},
        {R"("variations": {"wght": 40000})",
         "variations.wght must be a number from -32768 to "
         "32767, not 40000"},
        {R"("fallbackFonts": "a.ttf")", "fallbackFonts must be an array of font names or objects"},
        {R"("fallbackFonts": ["a.ttf", ""])", "fontSet.fallbackFonts[1] must be a font name"},
        {R"("fallbackFonts": [{"font": "a", "faceIndex": -2}])", "[0].faceIndex must be a whole"},
    };
    for (const auto& [fontSet, error] : cases) {
        const FontConfig m = bindFontSet(fontSet);
        ASSERT_EQ(m.errors.size(), *error ? 1u : 0u) << fontSet;
        if (*error) {
            EXPECT_NE(m.errors[0].find(error), std::string::npos) << m.errors[0];
        }
    }
}

TEST(FontChoices, BoundInOrderAndNamedShortest) {
    const FontConfig m = bindFontSet(R"("faceIndex": 2, "variations": {"wght": 700, "slnt": -10,
        "opsz": 14.25}, "fallbackFonts": ["b.ttf", {"FONT": "c.ttc", "faceindex": 3}])");
    ASSERT_TRUE(m.errors.empty());
    EXPECT_EQ(fontChoiceSuffix(m.fontSet.faceIndex, m.fontSet.variations),
              "_face2_wght700_slnt-10_opsz14.25");
    ASSERT_EQ(m.fontSet.fallbackFonts.size(), 2u);
    EXPECT_EQ(m.fontSet.fallbackFonts[0].font + m.fontSet.fallbackFonts[1].font, "b.ttfc.ttc");
    EXPECT_EQ(m.fontSet.fallbackFonts[1].faceIndex, 3);
    EXPECT_EQ(shortestDecimal(1e-5) + " " + shortestDecimal(-0.0), "0.00001 0");
    // Named by the coordinate the font gets (16.16 fixed point), in few digits.
    const FontConfig tiny =
        bindFontSet(R"("variations": {"opsz": 0.1, "wdth": -1e-300, "slnt": 14.2500000001})");
    ASSERT_TRUE(tiny.errors.empty());
    EXPECT_EQ(fontChoiceSuffix(0, tiny.fontSet.variations), "_opsz0.1_wdth0_slnt14.25");
}

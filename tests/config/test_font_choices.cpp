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
    struct Case {
        const char* fontSet;
        const char* error;  // the first error; "" for none
    };
    const Case cases[] = {
        {R"("faceIndex": 3, "variations": {"wght": 700.5}, "fallbackFonts": ["a.ttf"])", ""},
        {R"("faceIndex": 2147483647, "variations": {}, "fallbackFonts": [])", ""},
        {R"("faceIndex": -1)", "fontSet.faceIndex must be a whole number 0 or more"},
        {R"("FACEINDEX": 0.5)",
         "fontSet.faceIndex must be a whole number 0 or more (the face of "
         "a collection), not 0.5"},
        {R"("faceIndex": 2147483648)", "not 2147483648"},
        {R"("faceIndex": "1")", "not \"1\""},
        {R"("faceIndex": true)", "not true"},
        {R"("faceIndex": null)", "not null"},
        {R"("variations": [700])", "fontSet.variations must be an object of axis tags and numbers"},
        {R"("variations": {"weight": 700})", "fontSet.variations: \"weight\" is not an axis tag"},
        {R"("variations": {"": 700})", "\"\" is not an axis tag"},
        {R"("variations": {"wg/t": 700})", "\"wg/t\" is not an axis tag"},
        {R"("variations": {"wght": 700, "wght": 400})", "fontSet.variations names \"wght\" twice"},
        {R"("variations": {"wght": "700"})",
         "fontSet.variations.wght must be a number from "
         "-32768 to 32767, not \"700\""},
        {R"("variations": {"wght": 40000})", "not 40000"},
        {R"("fallbackFonts": "a.ttf")",
         "fontSet.fallbackFonts must be an array of font names "
         "or objects, not \"a.ttf\""},
        {R"("fallbackFonts": ["a.ttf", 3])",
         "fontSet.fallbackFonts[1] must be a font name or an "
         "object with \"font\", not 3"},
        {R"("fallbackFonts": [""])", "fontSet.fallbackFonts[0] must be a font name"},
        {R"("fallbackFonts": [{"faceIndex": 1}])",
         "fontSet.fallbackFonts[0].font must name a font file, not missing"},
        {R"("fallbackFonts": [{"font": "a.ttc", "faceIndex": -2}])",
         "fontSet.fallbackFonts[0].faceIndex must be a whole number"},
        {R"("fallbackFonts": [{"font": "a.ttf", "variations": {"wght": []}}])",
         "fontSet.fallbackFonts[0].variations.wght must be a number"},
    };
    for (const Case& c : cases) {
        const FontConfig m = bindFontSet(c.fontSet);
        if (*c.error == '\0') {
            EXPECT_TRUE(m.errors.empty()) << c.fontSet << ": " << m.errors.front();
        } else {
            ASSERT_EQ(m.errors.size(), 1u) << c.fontSet;
            EXPECT_NE(m.errors[0].find(c.error), std::string::npos)
                << c.fontSet << ": " << m.errors[0];
        }
    }
}

TEST(FontChoices, BoundInOrderAndNamedShortest) {
    const FontConfig m = bindFontSet(R"("font": "Inter.var.ttf", "faceIndex": 2,
        "variations": {"wght": 700, "slnt": -10, "opsz": 14.25},
        "fallbackFonts": ["b.ttf", {"FONT": "c.ttc", "faceindex": 3, "variations": {"GRAD": 0}}])");
    ASSERT_TRUE(m.errors.empty());
    EXPECT_EQ(m.fontSet.faceIndex, 2);
    EXPECT_EQ(fontChoiceSuffix(m.fontSet.faceIndex, m.fontSet.variations),
              "_face2_wght700_slnt-10_opsz14.25");
    ASSERT_EQ(m.fontSet.fallbackFonts.size(), 2u);
    EXPECT_EQ(m.fontSet.fallbackFonts[0].font, "b.ttf");
    EXPECT_EQ(m.fontSet.fallbackFonts[0].faceIndex, 0);
    EXPECT_EQ(m.fontSet.fallbackFonts[1].font, "c.ttc");
    EXPECT_EQ(m.fontSet.fallbackFonts[1].faceIndex, 3);
    EXPECT_EQ(fontChoiceSuffix(0, m.fontSet.fallbackFonts[1].variations), "_GRAD0");
    // Absent, and defaults written out, add nothing to the names.
    EXPECT_EQ(fontChoiceSuffix(0, bindFontSet(R"("variations": {})").fontSet.variations), "");
    const std::pair<double, const char*> decimals[] = {{0.1, "0.1"},
                                                       {-0.0, "0"},
                                                       {1e-5, "0.00001"},
                                                       {32767, "32767"},
                                                       {100.0 / 3, "33.333333333333336"}};
    for (const auto& [value, text] : decimals) EXPECT_EQ(shortestDecimal(value), text);
}

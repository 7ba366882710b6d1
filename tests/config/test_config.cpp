#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "config/FontConfig.h"
#include "support/Sandbox.h"

namespace {

FontConfig bindJson(const std::string& json, bool* parsed = nullptr) {
    FontConfig model;
    bool ok = bindConfigText(json.data(), json.size(), model);
    if (parsed) *parsed = ok;
    return model;
}

void expectDefaults(const FontConfig& m) {
    EXPECT_TRUE(m.codePages.empty());
    EXPECT_TRUE(m.mappingPaths.empty());
    EXPECT_TRUE(m.cstPaths.empty());
    EXPECT_TRUE(m.customerVals.empty());
    EXPECT_EQ(m.fontSet.fontSize, 32);
    EXPECT_EQ(m.fontSet.font, "");
    EXPECT_EQ(m.fontSet.scanMode, "H");
    EXPECT_EQ(m.fontSet.bold, 0);
    EXPECT_EQ(m.fontSet.italic, 0);
    EXPECT_EQ(m.fontSet.renderMode, 1);
    EXPECT_EQ(m.fontSet.indexMethod, 1);
    EXPECT_EQ(m.fontSet.crop, 0);
}

}  // namespace

TEST(ConfigBinder, TableHasFifteenEntriesInVisitingOrder) {
    FontConfig m;
    auto table = makeConfigBindings(m);
    ASSERT_GE(table.size(), 15u);  // extensions follow the classic keys
    const char* keys[] = {"codePages", "mappingPaths", "cstPaths",   "customerVals", "fontSet",
                          "firstVal",  "range",        "font",       "fontSize",     "scanMode",
                          "bold",      "italic",       "renderMode", "indexMethod",  "crop"};
    for (size_t i = 0; i < 15; ++i) EXPECT_EQ(table[i].key, keys[i]);
    EXPECT_EQ(table[5].path, "root.customerVals");
    EXPECT_EQ(table[14].path, "root.fontSet");
}

// "advances" and "compact" are font-set booleans; with "compact" the keys it has no use for are
// named when the file gives them a non-zero value (indexMethod's default 1 does not count).
TEST(ConfigBinder, AdvancesIsAFontSetBoolean) {
    using Keys = std::vector<std::string>;
    struct Case {
        const char* json;
        int32_t advances;
        int32_t compact;
        size_t warnings;
        Keys ignored;
    } cases[] = {
        {R"({"fontSet": {}})", 0, 0, 0, {}},
        {R"({"fontSet": {"advances": true}})", 1, 0, 0, {}},
        {R"({"fontSet": {"ADVANCES": 2}})", 1, 0, 0, {}},
        {R"({"fontSet": {"advances": "yes"}})", 0, 0, 1, {}},
        {R"({"fontSet": {"compact": true}})", 0, 1, 0, {}},
        {R"({"fontSet": {"compact": "yes"}})", 0, 0, 1, {}},
        {R"({"fontSet": {"crop": 1, "indexMethod": 1, "advances": true}})", 1, 0, 0, {}},
        {R"({"fontSet": {"compact": 1, "crop": 0, "indexMethod": 0, "advances": false}})",
         0,
         1,
         0,
         {}},
        {R"({"fontSet": {"compact": true, "advances": true, "crop": 1, "indexMethod": 1}})", 1, 1,
         0, Keys{"indexMethod", "crop", "advances"}},
        {R"({"fontSet": {"compact": true, "crop": 3}})", 0, 1, 0, Keys{"crop"}},
    };
    for (const Case& c : cases) {
        FontConfig m;
        std::vector<std::string> warnings;
        ASSERT_TRUE(bindConfigText(c.json, std::strlen(c.json), m, &warnings)) << c.json;
        EXPECT_EQ(m.fontSet.advances, c.advances) << c.json;
        EXPECT_EQ(m.fontSet.compact, c.compact) << c.json;
        EXPECT_EQ(warnings.size(), c.warnings) << c.json;
        EXPECT_EQ(m.ignoredKeys, c.ignored) << c.json;
    }
}

TEST(ConfigBinder, DefaultsForEmptyInvalidAndNonObjectText) {
    bool parsed = true;
    expectDefaults(bindJson("{}", &parsed));
    EXPECT_TRUE(parsed);
    expectDefaults(bindJson("", &parsed));
    EXPECT_FALSE(parsed);
    expectDefaults(bindJson("{\"fontSet\": {\"fontSize\": 16,}", &parsed));  // no partial binding
    EXPECT_FALSE(parsed);
    expectDefaults(bindJson("[1, 2]"));
    expectDefaults(bindJson("\"fontSet\""));
    expectDefaults(bindJson("{\"fontSet\": [{\"fontSize\": 16}]}"));    // array instead of object
    expectDefaults(bindJson("{\"fontSize\": 16, \"renderMode\": 4}"));  // font-set keys at the top
    expectDefaults(bindJson(std::string(20000, '[') + std::string(20000, ']')));  // too deep
}

TEST(ConfigBinder, MembersAreReadByTheBindingKind) {
    struct Case {
        const char* fontSetJson;
        int32_t FontSetSettings::*field;
        int32_t expected;
    } cases[] = {
        {"\"fontSize\": 16.9", &FontSetSettings::fontSize, 16},
        {"\"fontSize\": -2.5", &FontSetSettings::fontSize, -2},
        {"\"fontSize\": \"16\"", &FontSetSettings::fontSize, 0},
        {"\"fontSize\": true", &FontSetSettings::fontSize, 1},
        {"\"fontSize\": false", &FontSetSettings::fontSize, 0},
        {"\"fontSize\": null", &FontSetSettings::fontSize, 0},
        {"\"fontSize\": [16]", &FontSetSettings::fontSize, 0},
        {"\"fontSize\": 1e12", &FontSetSettings::fontSize, INT32_MAX},
        {"\"bold\": 2", &FontSetSettings::bold, 1},
        {"\"bold\": 0.5", &FontSetSettings::bold, 0},
        {"\"bold\": \"true\"", &FontSetSettings::bold, 0},
        {"\"italic\": true", &FontSetSettings::italic, 1},
        {"\"renderMode\": 4", &FontSetSettings::renderMode, 4},
        {"\"indexMethod\": 0", &FontSetSettings::indexMethod, 0},
        {"\"crop\": 3", &FontSetSettings::crop, 3},
        {"\"FONTSIZE\": 12", &FontSetSettings::fontSize, 12},                    // case ignored
        {"\"fontsize\": 12, \"fontSize\": 14", &FontSetSettings::fontSize, 12},  // first wins
    };
    for (const Case& c : cases) {
        FontConfig m = bindJson(std::string("{\"fontSet\": {") + c.fontSetJson + "}}");
        EXPECT_EQ(m.fontSet.*c.field, c.expected) << c.fontSetJson;
    }
}

TEST(ConfigBinder, StringsAndNonStrings) {
    FontConfig m = bindJson(R"({"FontSet": {"font": "\u5b8b.ttf", "scanMode": "V"}})");
    EXPECT_EQ(m.fontSet.font, "\xE5\xAE\x8B.ttf");  // the UTF-8 bytes, unchanged
    EXPECT_EQ(m.fontSet.scanMode, "V");
    // A string member holding another type leaves the target alone (no crash).
    m = bindJson(R"({"fontSet": {"font": 12, "scanMode": null}})");
    EXPECT_EQ(m.fontSet.font, "");
    EXPECT_EQ(m.fontSet.scanMode, "H");
}

TEST(ConfigBinder, CustomerRangesCarryOverMissingMembers) {
    struct Case {
        const char* json;
        std::vector<std::pair<int32_t, int32_t>> expected;
    } cases[] = {
        {R"([{"firstVal": "0x41", "range": "26"}, {"firstVal": "0x61"}])", {{65, 26}, {97, 26}}},
        {R"([{"firstVal": "0x4E00"}, {"firstVal": "0X4e00"}, {"firstVal": "19968"}])",
         {{19968, 1}, {19968, 1}, {19968, 1}}},
        {R"([{"range": "12abc"}, {"range": "abc"}, {"range": ""}, {"range": "  "}])",
         {{0, 12}, {0, 0}, {0, 0}, {0, 0}}},
        {R"([{"firstVal": "-5", "range": "+7"}, {"firstVal": " 0x10"}])", {{-5, 7}, {0, 7}}},
        {R"([{"firstVal": "0x", "range": "99999999999"}])", {{0, INT32_MAX}}},
        {R"([{"firstVal": 65, "range": true}])", {{0, 1}}},  // not strings: untouched
        {R"({"a": {"firstVal": "1"}, "b": {"range": "2"}})", {{1, 1}, {1, 2}}},
        {R"("0x41")", {}},
    };
    for (const Case& c : cases) {
        FontConfig m = bindJson(std::string("{\"customerVals\": ") + c.json + "}");
        std::vector<std::pair<int32_t, int32_t>> got;
        for (const CustomerRange& r : m.customerVals) got.emplace_back(r.firstVal, r.range);
        EXPECT_EQ(got, c.expected) << c.json;
    }
}

TEST(ConfigBinder, ListsAreReplacedOnlyWhenPresent) {
    FontConfig m;
    m.codePages = {L"keep.nls"};
    m.mappingPaths = {L"old.txt"};
    std::string json = R"({"mappingPaths": [], "cstPaths": ["a.cst", 5, "\u00e9.cst"]})";
    ASSERT_TRUE(bindConfigText(json.data(), json.size(), m));
    EXPECT_EQ(m.codePages, std::vector<std::wstring>{L"keep.nls"});
    EXPECT_TRUE(m.mappingPaths.empty());
    EXPECT_EQ(m.cstPaths, (std::vector<std::wstring>{L"a.cst", L"\u00e9.cst"}));

    m = bindJson(R"({"codePages": "c_936.nls"})");
    EXPECT_TRUE(m.codePages.empty());
    m = bindJson(R"({"codePages": {"x": "c_936.nls", "y": "c_950.nls"}})");
    EXPECT_EQ(m.codePages, (std::vector<std::wstring>{L"c_936.nls", L"c_950.nls"}));
}

TEST(ConfigBinder, TrailingTextAndByteOrderMark) {
    FontConfig m = bindJson("{\"fontSet\": {\"fontSize\": 20}} trailing garbage {");
    EXPECT_EQ(m.fontSet.fontSize, 20);
    m = bindJson("\xEF\xBB\xBF{\"fontSet\": {\"fontSize\": 24}}");
    EXPECT_EQ(m.fontSet.fontSize, 24);
}

TEST(ConfigBinder, SaysWhereTheTextStopsBeingJson) {
    FontConfig m;
    std::string error;
    std::string text = "{\n  \"fontSet\": {\"fontSize\": 16,}\n}";
    EXPECT_FALSE(bindConfigText(text.data(), text.size(), m, nullptr, &error));
    EXPECT_EQ(error.rfind("is not valid JSON (error near line 2, column ", 0), 0u) << error;
    EXPECT_FALSE(bindConfigText("", 0, m, nullptr, &error));
    EXPECT_EQ(error, "the file is empty");
}

TEST(ConfigFile, OpenResults) {
    testing_support::TempDir dir;
    FontConfig m;
    EXPECT_EQ(loadFontConfig(dir / "missing.json", m), ConfigLoad::CannotOpen);
    EXPECT_EQ(loadFontConfig(dir.path(), m), ConfigLoad::CannotOpen);
    testing_support::writeFile(dir / "bad.json", "not json");
    EXPECT_EQ(loadFontConfig(dir / "bad.json", m), ConfigLoad::NotJson);
    testing_support::writeFile(dir / "ok.json", "{\"fontSet\": {\"renderMode\": 8}}");
    EXPECT_EQ(loadFontConfig(dir / "ok.json", m), ConfigLoad::Loaded);
    EXPECT_EQ(m.fontSet.renderMode, 8);
}

TEST(ConfigBinder, MembersOfTheWrongTypeAreReported) {
    FontConfig m;
    std::vector<std::string> warnings;
    const std::string json =
        R"({"codePages": ["c_936.nls", 936], "customerVals": [{"firstVal": 65, "range": "2"}],
            "cstPaths": "a.cst", "fontSet": {"font": null, "fontSize": "16", "bold": "yes",
            "italic": 1, "crop": true}})";
    ASSERT_TRUE(bindConfigText(json.data(), json.size(), m, &warnings));
    EXPECT_EQ(warnings,
              (std::vector<std::string>{"an element of codePages is not a string and is ignored",
                                        "cstPaths is not a list and is left empty",
                                        "customerVals.firstVal is not a string and is ignored",
                                        "fontSet.font is not a string and is ignored",
                                        "fontSet.fontSize is not a number and is read as 0",
                                        "fontSet.bold is not true or false and is read as false"}));
    // The values themselves follow the binding rules: first value kept, number read as 0.
    ASSERT_EQ(m.customerVals.size(), 1u);
    EXPECT_EQ(m.customerVals[0].firstVal, 0);
    EXPECT_EQ(m.customerVals[0].range, 2);
    EXPECT_EQ(m.fontSet.fontSize, 0);
}

TEST(ConfigBinder, UnknownKeysNameTheNearestKnownKey) {
    const std::string known = "is not a known key and is ignored; ";
    struct Case {
        const char* json;
        std::vector<std::string> lines;
    } cases[] = {
        // Keys of this and of neighbouring features, in any case, draw no warning.
        {R"({"textPaths": [], "customerVals": [{"firstVal": "1", "range": "2"}], "fontSet": {
            "FONTSIZE": 8, "hinting": "mono", "faceIndex": 1, "variations": {},
            "fallbackFonts": [{"FONT": "a.ttf", "faceIndex": 1, "variations": {}}],
            "advances": true, "compact": false}})",
         {}},
        {R"({"fontSet": {"compat": true}})",
         {"\"compat\" in fontSet " + known + "did you mean \"compact\"?"}},
        {R"({"fontSet": {"fallbackFonts": ["a.ttf", {"font": "b.ttc", "faceIdx": 1}]}})",
         {"\"faceIdx\" in a fallbackFonts element " + known + "did you mean \"faceIndex\"?"}},
        {R"({"size": 16, "fontSet": {"cstPaths": []}, "customerVals": [{"rnage": "2"}]})",
         {"\"size\" at the top level " + known + "did you mean \"fontSize\" inside \"fontSet\"?",
          "\"cstPaths\" in fontSet " + known + "it belongs at the top level",
          "\"rnage\" in a customerVals element " + known + "did you mean \"range\"?"}},
    };
    for (const Case& c : cases) {
        FontConfig m;
        std::vector<std::string> unknown;
        ASSERT_TRUE(bindConfigText(c.json, std::strlen(c.json), m, nullptr, nullptr, &unknown));
        EXPECT_EQ(unknown, c.lines) << c.json;
    }
}

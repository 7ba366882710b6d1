// fontbin-studio below its page: the server's refusals, the keys its messages belong to, and the
// preview drawn from the in-memory file of every layout.
#include <cjson/cJSON.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/platform.h"
#include "tools/studio/Engine.h"
#include "tools/studio/Json.h"
#include "tools/studio/Server.h"

namespace {

const std::string kToken = "00112233445566778899aabbccddeeff";

TEST(StudioServer, RefusesWhatIsNotThePage) {
    struct Case {
        const char* path;
        const char* host;
        const char* origin;  // null: no Origin header
        bool allowed;
    };
    const std::string page = "/" + kToken + "/api/check";
    const std::string bare = "/" + kToken;  // no trailing slash
    const Case cases[] = {
        {page.c_str(), "127.0.0.1:8080", nullptr, true},
        {page.c_str(), "127.0.0.1:8080", "http://127.0.0.1:8080", true},
        {"/api/check", "127.0.0.1:8080", nullptr, false},
        {bare.c_str(), "127.0.0.1:8080", nullptr, false},
        {"/00112233445566778899aabbccddeefe/api/check", "127.0.0.1:8080", nullptr, false},
        {page.c_str(), "localhost:8080", nullptr, false},  // DNS rebinding
        {page.c_str(), "127.0.0.1:8081", nullptr, false},  // another port
        {page.c_str(), "127.0.0.1:8080", "http://evil.example", false},
        {page.c_str(), "127.0.0.1:8080", "null", false},  // a sandboxed frame
        {page.c_str(), "127.0.0.1:8080", "http://127.0.0.1:9999", false},
    };
    for (const Case& c : cases) {
        const std::string why = studio::refusal(c.path, c.host, c.origin ? c.origin : "",
                                                c.origin != nullptr, kToken, 8080);
        EXPECT_EQ(why.empty(), c.allowed) << c.path << " " << c.host << " " << why;
    }
}

TEST(StudioMessages, BelongToTheirKeys) {
    const std::pair<const char*, const char*> cases[] = {
        {"fontSize 300 is out of range: use 1 to 248 pixels", "fontSet.fontSize"},
        {"renderMode 3 is not supported: use 1, 2, 4 or 8 bits per pixel", "fontSet.renderMode"},
        {"fontSet.bold is not true or false and is read as false", "fontSet.bold"},
        {"fontSet.faceIndex must be a whole number 0 or more", "fontSet.faceIndex"},
        {"font \"/x.ttc\" has no face 5; its faces: 0 A (Regular)", "fontSet.faceIndex"},
        {"font \"/x.ttf\": wght 1000 is outside the axis's range", "fontSet.variations"},
        {"mapping file \"a.txt\" is in neither the working directory", "mappingPaths"},
        {"an element of cstPaths is not a string and is ignored", "cstPaths"},
        {"code page \"c_9.nls\" is not in /x/CodePage", "codePages"},
        {"setting.ini: gamma = \"abc\" is not a valid number", ""},
        {"/fonts/simsun.ttc not exist!", "fontSet.font"},
    };
    for (const auto& [text, key] : cases) EXPECT_EQ(studio::messageKey(text), key) << text;
}

std::filesystem::path scratchDir() {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "studio-preview";
    std::filesystem::create_directories(dir);
    return dir;
}

// The text box of a preview of `text` in DejaVu Sans at 20 px, 4 bits: its levels, in base64.
std::string textLevels(studio::Engine& engine, const std::string& text, bool words) {
    studio::Json request(cJSON_CreateObject());
    cJSON* config = cJSON_AddObjectToObject(request.get(), "config");
    cJSON* fontSet = cJSON_AddObjectToObject(config, "fontSet");
    cJSON_AddStringToObject(fontSet, "font", FONTBIN_TEST_FONT_DEJAVU);
    cJSON_AddNumberToObject(fontSet, "fontSize", 20);
    cJSON_AddNumberToObject(fontSet, "renderMode", 4);
    cJSON* ranges = cJSON_AddArrayToObject(config, "customerVals");
    cJSON* range = cJSON_CreateObject();
    cJSON_AddStringToObject(range, "firstVal", "0x20");
    cJSON_AddStringToObject(range, "range", "95");
    cJSON_AddItemToArray(ranges, range);
    cJSON_AddStringToObject(request.get(), "text", text.c_str());
    cJSON_AddNumberToObject(request.get(), "wrap", 80);
    cJSON_AddBoolToObject(request.get(), "words", words);
    studio::Json answer(cJSON_Parse(engine.preview(request.get()).c_str()));
    const cJSON* box = cJSON_GetObjectItem(answer.get(), "text");
    return box ? cJSON_GetObjectItem(box, "levels")->valuestring : "";
}

// Wrapped at words, as fb_text_draw_box wraps on a device, a line breaks at the space (which is
// not drawn) where wrapping at characters would cut the word.
TEST(StudioPreview, WrapsAtWordsAsTheDeviceBox) {
    studio::Engine engine(
        {platform::pathFromUtf8(FONTBIN_BIN_DIR), scratchDir() / "FontConfig.json"});
    const std::string atWords = textLevels(engine, "Hello world", true);
    ASSERT_FALSE(atWords.empty());
    EXPECT_EQ(atWords, textLevels(engine, "Hello\nworld", false));
    EXPECT_NE(atWords, textLevels(engine, "Hello world", false));
}

// The text drawn from the in-memory file of each layout, with its widths: the same pixels, as
// the device shows the same font whatever layout holds it.
TEST(StudioPreview, EveryLayoutDrawsTheSamePixels) {
    studio::Engine engine(
        {platform::pathFromUtf8(FONTBIN_BIN_DIR), scratchDir() / "FontConfig.json"});
    const char* layouts[] = {R"("indexMethod": 1, "advances": true)",
                             R"("indexMethod": 0, "advances": true)",
                             R"("crop": 1, "advances": true)", R"("compact": true)"};
    std::string first;
    for (const char* layout : layouts) {
        const std::string body =
            std::string(R"({"config": {"customerVals": [{"firstVal": "0x20", "range": "95"}],)") +
            R"("fontSet": {"font": ")" + FONTBIN_TEST_FONT_DEJAVU + R"(", "fontSize": 20,)" +
            R"("renderMode": 4, "kerning": true, )" + layout +
            R"(}}, "text": "AVATAR Wave\nTo", "wrap": 60, "codes": [65, 86]})";
        studio::Json request(cJSON_Parse(body.c_str()));
        studio::Json answer(cJSON_Parse(engine.preview(request.get()).c_str()));
        const cJSON* text = cJSON_GetObjectItem(answer.get(), "text");
        ASSERT_NE(text, nullptr) << layout << ": " << cJSON_PrintUnformatted(answer.get());
        EXPECT_EQ(cJSON_GetObjectItem(text, "lines")->valueint, 4) << layout;  // wrapped at 60 px
        const std::string levels = cJSON_GetObjectItem(text, "levels")->valuestring;
        if (first.empty()) first = levels;
        EXPECT_EQ(levels, first) << layout;
        // Only the characters shown are in the file.
        EXPECT_EQ(cJSON_GetObjectItem(answer.get(), "rendered")->valueint, 10) << layout;
    }
}

}  // namespace

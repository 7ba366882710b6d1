// What the tool says on stderr about common mistakes. Stdout and exit statuses stay as they are;
// every line checked here is extra help.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/Sandbox.h"

using testing_support::readBytes;
using testing_support::ToolSandbox;
using testing_support::writeFile;
namespace fs = std::filesystem;

namespace {

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

}  // namespace

TEST(Guidance, FontNotFoundNamesFoldersFamilyAndNearestFiles) {
    struct Case {
        const char* font;
        std::vector<std::string> says;
    } cases[] = {
#ifdef _WIN32
        // The Windows fonts folders, flat.
        {"DejaVu Sanz",
         {"note: \"DejaVu Sanz\" was looked for in the system font folders (", "\\Fonts, ",
          "\\Microsoft\\Windows\\Fonts), then in ", "\\font\\, then as a path of its own"}},
#else
        // No file and no installed family of that name (a family name is used as the font:
        // tests/platform/test_font_names.sh).
        {"DejaVu Sanz",
         {"note: \"DejaVu Sanz\" was looked for in the system font folders (", "/usr/share/fonts",
          "/font/, then as a path of its own"}},
#endif
        // A name off by a character and in the wrong case: the nearest installed names,
        // compared without case.
        {"dejavusans-mono.TTF",
         {"note: installed font files with the nearest names: DejaVuSansMono.ttf, "}},
    };
    for (const Case& c : cases) {
        ToolSandbox box;
        box.writeConfig(
            std::string(R"({"customerVals": [{"firstVal": "65"}], "fontSet": {"font": ")") +
            c.font + "\"}}");
        auto r = box.run({"FontConfig.json"});
        EXPECT_EQ(r.status, 252);
        // Stdout as always: the last place tried, "not exist!".
        EXPECT_TRUE(has(r.out, (box.toolDir() / "font" / c.font).string() + " not exist!\n"))
            << r.out;
        for (const std::string& part : c.says)
            EXPECT_TRUE(has(r.err, part)) << part << "\n" << r.err;
    }
}

TEST(Guidance, FontGivenAsAPathIsUsedAndNamesTheOutputs) {
    ToolSandbox box;
    fs::create_directories(box.root() / "my fonts");
    fs::copy_file(FONTBIN_TEST_FONT_DEJAVU, box.root() / "my fonts" / "Brand.Sans.ttf");
    // Forward slashes: they are Windows separators too, and need no escaping in JSON.
    const std::string absolute = (box.root() / "my fonts" / "Brand.Sans.ttf").generic_string();
    // Absolute, and relative to the configuration's folder (not to the working directory).
    for (const std::string& font : {absolute, std::string("../my fonts/Brand.Sans.ttf")}) {
        box.writeConfig(R"({"customerVals": [{"firstVal": "65", "range": "3"}],
                            "fontSet": {"font": ")" +
                        font + R"(", "fontSize": 16}})");
        auto r = box.run({(box.project() / "FontConfig.json").string()}, box.root());
        ASSERT_EQ(r.status, 0) << font << r.err;
        EXPECT_EQ(r.err, "");
        const std::vector<uint8_t> file = readBytes(box.project() / "Brand_size16_bits1_font.bin");
        // Header: 14 bytes, then the name the outputs carry, NUL-terminated.
        ASSERT_EQ(file.size(), 14u + 6u + 6u + 3u * 36u);
        EXPECT_EQ(std::string(file.begin() + 14, file.begin() + 20), std::string("Brand\0", 6));
        EXPECT_EQ(fs::file_size(box.project() / "Brand_size16_bits1_out.cst"), 6u);
        fs::remove(box.project() / "Brand_size16_bits1_font.bin");
        fs::remove(box.project() / "Brand_size16_bits1_out.cst");
    }
}

TEST(Guidance, ConfigurationMistakes) {
    ToolSandbox box(true, true);
    writeFile(box.project() / "menu.txt", "0x41\n");
    writeFile(box.project() / "ui.txt", "OK");
    box.writeConfig(R"({"mappingPaths": ["menu.txt"], "textPaths": ["ui.txt"],
        "customerVals": [{"firstVal": "0xFFF0", "range": "0x20"}, {"firstVal": "0x42"}],
        "fontSet": {"font": "DejaVuSans.ttf", "fontSize": 16, "italc": true}})");
    // Run from the folder above: the mapping and text files lie beside the configuration only,
    // and are read from there.
    auto r = box.run({"project/FontConfig.json"}, box.root());
    EXPECT_EQ(r.status, 0) << r.err;
    // U+0041 comes from menu.txt alone.
    EXPECT_EQ(readBytes(box.project() / "DejaVuSans_size16_bits1_out.cst")[0], 0x41);
    EXPECT_EQ(r.out.substr(r.out.size() - 21), "\nerror customer range");  // stdout unchanged
    const std::vector<std::string> says = {
        "warning: project/FontConfig.json: \"italc\" in fontSet is not a known key and is "
        "ignored; did you mean \"italic\"?",
        "warning: customer range firstVal 65520, range 32 is skipped: ",
    };
    for (const std::string& part : says) EXPECT_TRUE(has(r.err, part)) << part << "\n" << r.err;

    // A missing code page: the tables CodePage/ holds.
    box.writeConfig(R"({"codePages": ["c_9999.nls"]})");
    r = box.run({"FontConfig.json"});
    EXPECT_TRUE(has(r.err, "code page \"c_9999.nls\" is not in " +
                               (box.toolDir() / "CodePage").string() +
                               ", which holds: c_1250.nls c_1251.nls"))
        << r.err;

    // Only white space: the warning says what the defaults mean.
    box.writeConfig("\n");
    r = box.run({"FontConfig.json"});
    EXPECT_TRUE(has(r.err,
                    "using the default configuration: every setting takes its default, so "
                    "no character is selected and the font is simsun.ttc"))
        << r.err;
}

TEST(Guidance, InkTurnedOutOfTheCellIsReported) {
    ToolSandbox box;
    box.writeConfig(R"({"customerVals": [{"firstVal": "0x41"}, {"firstVal": "0x223C"}],
        "fontSet": {"font": "wqy-microhei.ttc", "fontSize": 34, "italic": true, "scanMode": "V"}})");
    for (const char* rotate : {"1", "2"}) {
        writeFile(box.project() / "setting.ini", std::string("[Setting]\nrotate=") + rotate + "\n");
        auto r = box.run({"FontConfig.json"});
        EXPECT_EQ(r.status, 0) << r.err;
        if (std::string(rotate) == "1") {
            EXPECT_EQ(r.err, "");
        } else {
            EXPECT_TRUE(has(r.err, "warning: 2 glyph(s) lost ink outside the cell (U+0041 U+223C)"))
                << r.err;
        }
    }
}

// Windows habits: single backslashes in JSON paths, a configuration saved in the ANSI code page.
TEST(Guidance, BackslashEscapesInPathsAreExplained) {
    struct Case {
        const char* json;  // as a Windows user writes it
        int status;
        std::string says;
    } cases[] = {
        {R"({"fontSet": {"font": "C:\tools\fonts\rasa.ttf"}})", 252,
         R"(note: "C:\tools\fonts\rasa.ttf" holds control characters: JSON reads "\t" as a tab, )"
         R"("\f" as a form feed and "\r" as a carriage return; in a path write each backslash )"
         R"(twice ("C:\\tools\\fonts\\rasa.ttf") or use "/" ("C:/tools/fonts/rasa.ttf"))"},
        {R"({"mappingPaths": ["D:\fonts\new.txt"]})", 253,
         R"(note: "D:\fonts\new.txt" holds control characters: JSON reads "\f" as a form feed )"
         R"(and "\n" as a line break; in a path write each backslash twice )"
         R"(("D:\\fonts\\new.txt") or use "/" ("D:/fonts/new.txt"))"},
    };
    for (const Case& c : cases) {
        ToolSandbox box;
        box.writeConfig(c.json);
        auto r = box.run({"FontConfig.json"});
        EXPECT_EQ(r.status, c.status) << c.json << "\n" << r.err;
        EXPECT_TRUE(has(r.err, c.says)) << c.says << "\n" << r.err;
    }
}

TEST(Guidance, ConfigurationThatIsNotUtf8) {
    ToolSandbox box;
    // "宋体.txt" in GBK, as an older Chinese Notepad saves it.
    const std::string name = "\xCB\xCE\xCC\xE5.txt";
    box.writeConfig(R"({"mappingPaths": [")" + name +
                    R"("], "fontSet": {"font": "DejaVuSans.ttf", "fontSize": 16}})");
    box.addFont(FONTBIN_TEST_FONT_DEJAVU, "DejaVuSans.ttf");
#ifdef _WIN32
    // Read in the system's ANSI code page, whichever it is: the file of that name is found.
    uint32_t codePage = 0;
    const std::string ansi = *platform::ansiCodePageToUtf8(name, codePage);
    writeFile(box.project() / fs::u8path(ansi), "0x41\n");
    auto r = box.run({"FontConfig.json"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err,
              "note: FontConfig.json is not valid UTF-8 and was read in the system's ANSI "
              "code page " +
                  std::to_string(codePage) +
                  "; save it as UTF-8 so that it reads the same on every system\n");
    EXPECT_EQ(readBytes(box.project() / "DejaVuSans_size16_bits1_out.cst"),
              (std::vector<uint8_t>{0x41, 0}));
#else
    auto r = box.run({"FontConfig.json"});
    EXPECT_EQ(r.status, 253);
    EXPECT_EQ(r.err,
              "error: FontConfig.json is not valid UTF-8 (byte 0xCB at line 1, column 20): "
              "save it as UTF-8\n");
    EXPECT_FALSE(fs::exists(box.project() / "DejaVuSans_size16_bits1_out.cst"));
#endif
}

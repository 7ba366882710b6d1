// The run sequence through the real binary: console lines, exit statuses, settings lookup.
#include <gtest/gtest.h>

#include "support/Sandbox.h"

using testing_support::ToolSandbox;
namespace fs = std::filesystem;

namespace {

std::string quoted(const fs::path& dir) {
    return testing_support::toolDirLine(dir);
}

const char* kDejaVuConfig = R"({
  "customerVals": [{"firstVal": "0x41", "range": "2"}],
  "fontSet": {"font": "DejaVuSans.ttf", "fontSize": 16}
})";

}  // namespace

TEST(RunSequence, NoArgumentReadsConfigBesideTheTool) {
    ToolSandbox box;
    auto r = box.run({});
    EXPECT_EQ(r.status, 254);
    EXPECT_EQ(r.out, quoted(box.toolDir()) + (box.toolDir() / "FontConfig.json").string() +
                         " not exist!\n");

    testing_support::writeFile(box.toolDir() / "FontConfig.json", kDejaVuConfig);
    r = box.run({});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, quoted(box.toolDir()));
    EXPECT_TRUE(fs::exists(box.toolDir() / "DejaVuSans_size16_bits1_font.bin"));
}

TEST(RunSequence, CommandLineErrors) {
    ToolSandbox box;
    // A missing argument path.
    auto r = box.run({"nothing.json"});
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.out, quoted(box.toolDir()) + "nothing.json\nnothing.json not exist!\n");
    // A directory: it exists, its parent becomes the project folder, and it cannot be opened.
    fs::create_directories(box.project() / "sub");
    r = box.run({"sub"});
    EXPECT_EQ(r.status, 254);
    EXPECT_EQ(r.out,
              quoted(box.toolDir()) + "sub\n" + box.project().string() + "\nsub not exist!\n");
    // Two arguments: only the tool's folder is printed; the usage line goes to stderr.
    r = box.run({"a", "b"});
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.out, quoted(box.toolDir()));
    EXPECT_EQ(r.err.rfind("Usage: fontbin [CONFIG]", 0), 0u) << r.err;
    EXPECT_NE(r.err.find("2 arguments were given"), std::string::npos) << r.err;
}

TEST(RunSequence, RelativeArgumentAndQuotedToolFolder) {
    FONTBIN_SKIP_ON_WINDOWS("a backslash and a double quote cannot be in a Windows file name");
    ToolSandbox box;
    // A tool folder whose name holds a backslash and a double quote is printed escaped.
    fs::path odd = box.root() / "we\\ird\"dir";
    fs::create_directories(odd / "font");
    fs::copy_file(box.tool(), odd / "fontbin");
    box.writeConfig(kDejaVuConfig, "cfg/my config.json");
    auto r = testing_support::runShell("'" + (odd / "fontbin").string() + "' 'cfg/my config.json'",
                                       box.project());
    EXPECT_EQ(r.status, 0) << r.err;
    std::string escaped = "\"" + box.root().string() + "/we\\\\ird\\\"dir\"\n";
    EXPECT_EQ(r.out, escaped + "cfg/my config.json\n" + (box.project() / "cfg").string() + "\n");
    EXPECT_TRUE(fs::exists(box.project() / "cfg" / "DejaVuSans_size16_bits1_out.cst"));
}

TEST(RunSequence, StartedThroughASymlinkFindsItsRealFolder) {
    FONTBIN_SKIP_ON_WINDOWS("symbolic links need privileges there; the start goes through sh");
    ToolSandbox box;
    box.addFont(FONTBIN_TEST_FONT_DEJAVU, "private.ttf");
    fs::create_directories(box.root() / "bin");
    fs::create_symlink(box.tool(), box.root() / "bin" / "fb");
    box.writeConfig(
        R"({"customerVals": [{"firstVal": "65"}], "fontSet": {"font": "private.ttf"}})");
    auto r = testing_support::runShell(
        "PATH='" + (box.root() / "bin").string() + "':$PATH fb FontConfig.json", box.project());
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out.substr(0, r.out.find('\n') + 1), quoted(box.toolDir()));
}

TEST(RunSequence, SettingsComeFromTheWorkingDirectoryOnly) {
    ToolSandbox box;
    box.writeConfig(kDejaVuConfig);
    testing_support::writeFile(box.project() / "setting.ini", "[Setting]\ngamma=abc\n");
    fs::create_directories(box.root() / "elsewhere");
    // Beside the configuration but not in the working directory: not read.
    auto r = box.run({(box.project() / "FontConfig.json").string()}, box.root() / "elsewhere");
    EXPECT_EQ(r.status, 0) << r.err;
    // In the working directory: read, and a gamma that is not a number stops the run.
    fs::remove(box.project() / "DejaVuSans_size16_bits1_out.cst");
    r = box.run({"FontConfig.json"});
    EXPECT_EQ(r.status, 253);
    EXPECT_NE(r.err.find("setting.ini"), std::string::npos);
    EXPECT_NE(r.err.find("gamma"), std::string::npos);
    EXPECT_FALSE(fs::exists(box.project() / "DejaVuSans_size16_bits1_out.cst"));
}

TEST(RunSequence, InvalidValuesStopBeforeAnythingIsWritten) {
    struct Case {
        std::string fontSet;
        const char* ini;
        const char* key;
    } cases[] = {
        {R"("renderMode": 3)", "", "renderMode"},
        {R"("renderMode": 0)", "", "renderMode"},
        {R"("fontSize": 0)", "", "fontSize"},
        // Too large: the message names the real maximum for the scan order, italic and rotation.
        {R"("fontSize": 256)", "", "use 1 to 248 pixels (the largest for row scanning, "},
        {R"("fontSize": 200, "italic": true)", "",  // 300 columns
         "use 1 to 165 pixels (the largest for row scanning with italic, "},
        {R"("fontSize": 200, "italic": true, "scanMode": "V")", "", "use 1 to 170 pixels"},
        {R"("fontSize": 252)", "[Setting]\nrotate=1\n",  // rows round up to 256
         "use 1 to 248 pixels (the largest with rotation, "},
        {"\"font\": \"" + std::string(113, 'a') + ".ttf\"", "", "font"},
        {R"("fontSize": 16)", "[Setting]\nrotate=9999999999\n", "rotate"},
        {R"("hinting": "full")", "",
         R"(hinting "full" is not supported: use "default", "none", "light", "mono" or "auto")"},
        {R"("hinting": "")", "", "hinting \"\""},
    };
    for (const Case& c : cases) {
        ToolSandbox box;
        box.writeConfig(std::string("{\"customerVals\": [{\"firstVal\": \"65\"}], \"fontSet\": {") +
                        c.fontSet + "}}");
        if (*c.ini) testing_support::writeFile(box.project() / "setting.ini", c.ini);
        auto r = box.run({"FontConfig.json"});
        EXPECT_EQ(r.status, 253) << c.fontSet;
        EXPECT_NE(r.err.find(c.key), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        size_t files =
            std::distance(fs::directory_iterator(box.project()), fs::directory_iterator());
        EXPECT_EQ(files, *c.ini ? 2u : 1u) << "nothing but the inputs";
    }
}

TEST(RunSequence, InputProblemsAreWarningsNotFailures) {
    ToolSandbox box;
    // Missing selection files stop the run before anything is written.
    box.writeConfig(R"({"codePages": ["c_none.nls"], "mappingPaths": ["missing.txt"],
        "fontSet": {"font": "DejaVuSans.ttf", "fontSize": 12}})");
    auto r = box.run({"FontConfig.json"});
    EXPECT_EQ(r.status, 253);
    EXPECT_NE(r.err.find("c_none.nls"), std::string::npos);
    EXPECT_NE(r.err.find("missing.txt"), std::string::npos);
    EXPECT_FALSE(fs::exists(box.project() / "DejaVuSans_size12_bits1_out.cst"));

    box.writeConfig(R"({"customerVals": [{"firstVal": "0xFFFF", "range": "2"},
                         {"firstVal": "-1", "range": "5"}, {"firstVal": "0x41", "range": "1"}],
        "fontSet": {"font": "DejaVuSans.ttf", "fontSize": 12}})");
    r = box.run({"FontConfig.json"});
    EXPECT_EQ(r.status, 0);
    // Two rejected ranges: the message twice on one line, with no line break after either.
    EXPECT_NE(r.out.find("error customer rangeerror customer range"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.substr(r.out.size() - 20), "error customer range");
    EXPECT_EQ(testing_support::readFile(box.project() / "DejaVuSans_size12_bits1_out.cst"),
              std::string("\x41\x00", 2));

    // Text that is not JSON: an error naming the file, and nothing written.
    box.writeConfig("{ not json");
    r = box.run({"FontConfig.json"});
    EXPECT_EQ(r.status, 253);
    EXPECT_EQ(r.err, "error: FontConfig.json is not valid JSON (error near line 1, column 4)\n");
    EXPECT_FALSE(fs::exists(box.project() / "_size32_bits1_out.cst"));
    // Only white space: the defaults (nothing selected), with warnings naming the file.
    box.writeConfig(" \n");
    r = box.run({"FontConfig.json"});
    EXPECT_NE(r.err.find("FontConfig.json selects no character"), std::string::npos) << r.err;
    EXPECT_EQ(fs::file_size(box.project() / "_size32_bits1_out.cst"), 0u);
}

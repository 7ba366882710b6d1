// What the tool tells its user besides the outputs: help, version, progress, missing glyphs.
#include <gtest/gtest.h>

#include "support/Sandbox.h"

using testing_support::ToolSandbox;
namespace fs = std::filesystem;

TEST(Messages, HelpAndVersionUnlessSuchAFileExists) {
    ToolSandbox box;
    for (const char* option : {"--help", "-h"}) {
        auto r = box.run({option});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out.rfind("Usage: fontbin [CONFIG]\n", 0), 0u) << r.out;
    }
    auto r = box.run({"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("fontbin ", 0), 0u);
    // A real file named "--help" is a configuration like any other.
    box.writeConfig("{}", "--help");
    r = box.run({"--help"});
    EXPECT_EQ(r.out.find("Usage"), std::string::npos);
    EXPECT_NE(r.out.find(box.project().string()), std::string::npos);
}

TEST(Messages, ProgressOnlyOnATerminal) {
    ToolSandbox box;
    box.writeConfig(R"({"customerVals": [{"firstVal": "0x4E00", "range": "1500"}],
                        "fontSet": {"font": "wqy-microhei.ttc", "fontSize": 12}})");
    const std::string tool = testing_support::shellQuote(box.tool().string());
    // Not a terminal: nothing on stderr.
    auto plain = box.run({"FontConfig.json"});
    ASSERT_EQ(plain.status, 0);
    EXPECT_EQ(plain.err, "");
    // Under a pseudo-terminal: a self-updating line, cleared, then a one-line summary.
    auto tty = testing_support::runShell(
        "script -qec " + testing_support::shellQuote(tool + " FontConfig.json 1>/dev/null") +
            " /dev/null",
        box.project());
    ASSERT_EQ(tty.status, 0) << tty.out;
    EXPECT_NE(tty.out.find("/ 1500 glyphs"), std::string::npos) << tty.out;
    EXPECT_NE(tty.out.find("\r\033[K"), std::string::npos);
    EXPECT_NE(tty.out.find("wqy-microhei_size12_bits1_font.bin: 1500 glyphs, "), std::string::npos)
        << tty.out;
}

TEST(Messages, MissingGlyphReport) {
    const std::string config =
        R"({"customerVals": [{"firstVal": "0x41"}, {"firstVal": "0x4E00", "range": "10"}],
                                   "fontSet": {"font": "DejaVuSans.ttf", "fontSize": 16}})";
    ToolSandbox withFallback;
    withFallback.writeConfig(config);
    auto r = withFallback.run({"FontConfig.json"});
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.err,
              "warning: DejaVuSans.ttf has no glyph for 10 selected characters (U+4E00 U+4E01 "
              "U+4E02 U+4E03 U+4E04 U+4E05 U+4E06 U+4E07 ...); the fallback font has none for 0 "
              "of them\n");
    const auto bytes =
        testing_support::readBytes(withFallback.project() / "DejaVuSans_size16_bits1_font.bin");

    ToolSandbox noFallback(false);
    noFallback.writeConfig(config);
    r = noFallback.run({"FontConfig.json"});
    ASSERT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("has none for 10 of them"), std::string::npos) << r.err;
    // The report changes nothing in the outputs of an identical run.
    r = withFallback.run({"FontConfig.json"});
    EXPECT_EQ(
        testing_support::readBytes(withFallback.project() / "DejaVuSans_size16_bits1_font.bin"),
        bytes);
}

// What the tool tells its user besides the outputs: help, version, progress, missing glyphs.
#include <gtest/gtest.h>

#include "driver/Progress.h"
#include "support/Sandbox.h"

using testing_support::ToolSandbox;
namespace fs = std::filesystem;

TEST(Messages, HelpAndVersionUnlessSuchAFileExists) {
    ToolSandbox box;
    for (const char* option : {"--help", "-h", "/?"}) {
        auto r = box.run({option});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out.rfind("Usage: fontbin [CONFIG]\n", 0), 0u) << r.out;
    }
    // The version, the licence, FreeType's credit line, and where the notices of what the
    // package ships lie: beside the tool in the Windows zip.
    auto r = box.run({"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("fontbin ", 0), 0u);
    for (const char* part :
         {"fontbin developers. MIT licence.\n", "Portions of this software are copyright \u00a9 20",
          " The FreeType Project (www.freetype.org). All rights reserved.\n",
          "ships with: THIRD-PARTY-NOTICES.txt in the Windows zip, "})
        EXPECT_NE(r.out.find(part), std::string::npos) << part << "\n" << r.out;
    testing_support::writeFile(box.toolDir() / "THIRD-PARTY-NOTICES.txt", "notices");
    r = box.run({"--version"});
    EXPECT_NE(
        r.out.find("ships with: " + (box.toolDir() / "THIRD-PARTY-NOTICES.txt").string() + "\n"),
        std::string::npos)
        << r.out;
    // A real file named "--help" is a configuration like any other.
    box.writeConfig("{}", "--help");
    r = box.run({"--help"});
    EXPECT_EQ(r.out.find("Usage"), std::string::npos);
    EXPECT_NE(r.out.find(box.project().string()), std::string::npos);

    // A folder as the argument: stdout as always, and stderr says what it is and names the
    // configuration inside.
    box.writeConfig("{}", "fonts/FontConfig.json");
    r = box.run({"fonts"});
    EXPECT_EQ(r.status, 254);
    EXPECT_NE(r.out.find("fonts not exist!\n"), std::string::npos) << r.out;
    const std::string inside = (fs::path("fonts") / "FontConfig.json").string();
    EXPECT_EQ(r.err,
              "error: fonts is a folder; give the path of a configuration file (" + inside + ")\n");
}

TEST(Messages, ProgressOnlyOnATerminal) {
    ToolSandbox box;
    box.writeConfig(R"({"customerVals": [{"firstVal": "0x4E00", "range": "1500"}],
                        "fontSet": {"font": "wqy-microhei.ttc", "fontSize": 12}})");
    FONTBIN_SKIP_ON_WINDOWS("the terminal is simulated with script(1)");
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
    // The compact layout's summary names the file written.
    box.writeConfig(R"({"customerVals": [{"firstVal": "0x4E00", "range": "1500"}],
                        "fontSet": {"font": "wqy-microhei.ttc", "fontSize": 12, "compact": true}})");
    tty = testing_support::runShell(
        "script -qec " + testing_support::shellQuote(tool + " FontConfig.json 1>/dev/null") +
            " /dev/null",
        box.project());
    EXPECT_NE(tty.out.find("wqy-microhei_size12_bits1_compact.bin: 1500 glyphs, "),
              std::string::npos)
        << tty.out;
}

TEST(Messages, AnErrorAfterProgressStartsOnAClearedLine) {
    ToolSandbox box;
    box.writeConfig(R"({"customerVals": [{"firstVal": "0x4E00", "range": "3000"}],
                        "fontSet": {"font": "wqy-microhei.ttc", "fontSize": 32, "renderMode": 8}})");
    FONTBIN_SKIP_ON_WINDOWS("the terminal is simulated with script(1), the size limit with ulimit");
    const std::string tool = testing_support::shellQuote(box.tool().string());
    // The font file outgrows a 1 MB size limit during a run long enough for a progress line.
    auto tty =
        testing_support::runShell("script -qec " +
                                      testing_support::shellQuote("ulimit -f 1024; " + tool +
                                                                  " FontConfig.json 1>/dev/null") +
                                      " /dev/null",
                                  box.project());
    EXPECT_NE(tty.out.find("\r\033[Kerror: cannot write "), std::string::npos) << tty.out;
}

TEST(Messages, MissingGlyphReport) {
    // DejaVu Sans has no CJK; its missing-glyph symbol is a visible box, so the fallback font is
    // never asked and the warning says so.
    ToolSandbox box;
    box.writeConfig(
        R"({"customerVals": [{"firstVal": "0x41"}, {"firstVal": "0x4E00", "range": "10"}],
                        "fontSet": {"font": "DejaVuSans.ttf", "fontSize": 16}})");
    auto r = box.run({"FontConfig.json"});
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.err,
              "warning: DejaVuSans.ttf has no glyph for 10 selected characters (U+4E00 U+4E01 "
              "U+4E02 U+4E03 U+4E04 U+4E05 U+4E06 U+4E07 ...): 10 drawn as its missing-glyph "
              "symbol\n");
    const auto bytes =
        testing_support::readBytes(box.project() / "DejaVuSans_size16_bits1_font.bin");
    // The report changes nothing in the outputs of an identical run.
    r = box.run({"FontConfig.json"});
    EXPECT_EQ(testing_support::readBytes(box.project() / "DejaVuSans_size16_bits1_font.bin"),
              bytes);
}

TEST(Messages, MissingGlyphCounts) {
    MissingGlyphs none;
    EXPECT_EQ(none.report("x.ttf"), "");
    MissingGlyphs some;
    some.add(0x20AC, true, true);
    some.add(0x4E00, true, false);
    some.add(0x4E01, false, false);
    EXPECT_EQ(some.report("x.ttf"),
              "warning: x.ttf has no glyph for 3 selected characters (U+20AC U+4E00 U+4E01): 1 "
              "drawn as its missing-glyph symbol, 1 drawn by the fallback font, 1 missing from "
              "the fallback font too");
}

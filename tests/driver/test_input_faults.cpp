// Inputs that used to end with a useless or misnamed font, a crash or the wrong status: each row
// runs the real tool and checks its status, the line that says why, and which outputs exist.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "support/Sandbox.h"

using testing_support::readFile;
using testing_support::ToolSandbox;
namespace fs = std::filesystem;

namespace {

struct Fault {
    const char* name;
    std::string config;  // FontConfig.json in the project folder; $ROOT is the sandbox's root
    std::vector<std::pair<std::string, std::string>> files;  // below the sandbox's root
    bool fromElsewhere;  // run from the sandbox's root instead of the project folder
    int status;
    std::string says;  // in stdout or stderr
    // The outputs' stem in the project folder: both outputs after status 0, the list file alone
    // after 252 (it is written before the font is opened), none after 253.
    std::string stem = {};
    std::string list = {};       // the list file's contents, when they matter
    const char* huge = nullptr;  // a file below the root made 1 TB, sparse (not under Wine)
};

std::string fontSet(const std::string& font, const std::string& more = "") {
    return R"("customerVals": [{"firstVal": "65", "range": "2"}], "fontSet": {"font": ")" + font +
           R"(", "fontSize": 16)" + more + "}";
}

// Every output file below `dir`, as paths relative to it.
std::set<std::string> outputs(const fs::path& dir) {
    std::set<std::string> found;
    for (const auto& e : fs::recursive_directory_iterator(dir)) {
        const std::string name = e.path().filename().string();
        for (const std::string end : {"_font.bin", "_out.cst", "_adv.bin"})
            if (name.size() > end.size() &&
                name.compare(name.size() - end.size(), end.size(), end) == 0)
                found.insert(fs::relative(e.path(), dir).generic_string());
    }
    return found;
}

}  // namespace

TEST(InputFaults, StopBeforeWritingOrNameTheRightFile) {
    std::string axes;
    for (int i = 0; i < 100; ++i) axes += (i ? ", \"x" : "\"x") + std::to_string(100 + i) + "\": 1";
    const std::string utf16Config("\xFF\xFE{\0}\0", 6);
    const std::string dejavu = "DejaVuSans_size16_bits1";
    const Fault faults[] = {
        {"missing comma",
         R"({"fontSet": {"font": "DejaVuSans.ttf" "fontSize": 16}})",
         {},
         false,
         253,
         "FontConfig.json is not valid JSON (error near line 1, column 39)"},
        {"Windows path",
         R"({"fontSet": {"font": "C:\Windows\Fonts\simsun.ttc"}})",
         {},
         false,
         253,
         R"("\W" is not an escape JSON knows; in paths write "\\" for each backslash)"},
        {"UTF-16 with mark",
         utf16Config,
         {},
         false,
         253,
         "(a UTF-16 byte-order mark at line 1, column 1): it looks saved as UTF-16; save it as "
         "UTF-8"},
        {"UTF-16 without mark",
         utf16Config.substr(2),
         {},
         false,
         253,
         "(a NUL byte at line 1, column 2): it looks saved as UTF-16"},
        {"NUL in a string",
         "{\"textPaths\": [\"ui.txt\\u0000evil\"], " + fontSet("DejaVuSans.ttf") + "}",
         {{"project/ui.txt", "AB"}},
         false,
         253,
         "holds \"\\u0000\" in a string (line 1, column 23)"},
        {"mapping beside the configuration",
         "{\"mappingPaths\": [\"m.txt\"], " + fontSet("DejaVuSans.ttf") + "}",
         {{"project/m.txt", "0x20\n"}},
         true,
         0,
         "",
         dejavu,
         std::string(" \0A\0B\0", 6)},
        {"mapping nowhere",
         "{\"mappingPaths\": [\"m.txt\"], " + fontSet("DejaVuSans.ttf") + "}",
         {},
         true,
         253,
         "mapping file \"m.txt\" is in neither the working directory ("},
        {"cst that is a folder",
         "{\"cstPaths\": [\"dir.cst\"], " + fontSet("DejaVuSans.ttf") + "}",
         {{"project/dir.cst/x", ""}},
         false,
         253,
         "cannot open cst file \"dir.cst\": "},
        {"missing code page",
         "{\"codePages\": [\"c_9999.nls\"], " + fontSet("DejaVuSans.ttf") + "}",
         {},
         false,
         253,
         "code page \"c_9999.nls\" is not in "},
        {"UTF-16 text file",
         "{\"textPaths\": [\"ui.txt\"], " + fontSet("DejaVuSans.ttf") + "}",
         {{"project/ui.txt", std::string("\xFE\xFF\0C\0\n", 6)}},
         false,
         0,
         "",
         dejavu,
         std::string("A\0B\0C\0", 6)},
        {"missing font in a folder",
         "{" + fontSet("fonts/Brand.ttf") + "}",
         {},
         false,
         252,
         "Brand.ttf not exist!\n",
         "Brand_size16_bits1"},
        {"missing font in a dotted folder",
         "{" + fontSet("$ROOT/my.fonts/x.ttf") + "}",
         {{"my.fonts/y.ttf", ""}},
         false,
         252,
         "x.ttf not exist!\n",
         "x_size16_bits1"},
        {"font in a folder of the tool's",
         "{" + fontSet("sub/Brand.ttf") + "}",
         {{"tool/font/sub/Brand.ttf", readFile(FONTBIN_TEST_FONT_DEJAVU)}},
         false,
         0,
         "",
         "Brand_size16_bits1"},
        {"100 unknown axes",
         "{" + fontSet("Inter.var.ttf", ", \"variations\": {" + axes + "}") + "}",
         {},
         false,
         253,
         "has no axis \"x100\""},
        {"1 TB configuration",
         "",
         {},
         false,
         253,
         "more than the 16 MiB a configuration may have",
         "",
         "",
         "project/FontConfig.json"},
        {"1 TB mapping file",
         "{\"mappingPaths\": [\"m.txt\"], " + fontSet("DejaVuSans.ttf") + "}",
         {{"project/m.txt", ""}},
         false,
         253,
         "more than the 64 MiB a mapping file may have",
         "",
         "",
         "project/m.txt"},
        {"1 TB setting.ini",
         "{" + fontSet("DejaVuSans.ttf") + "}",
         {{"project/setting.ini", ""}},
         false,
         253,
         "error: setting.ini: it is 1099511627776 bytes",
         "",
         "",
         "project/setting.ini"},
        {"1 TB font",
         "{" + fontSet("huge.ttf") + "}",
         {{"tool/font/huge.ttf", ""}},
         false,
         252,
         "more than the 2 GiB a font file may have",
         "huge_size16_bits1",
         "",
         "tool/font/huge.ttf"},
    };
    for (const Fault& f : faults) {
        SCOPED_TRACE(f.name);
#ifdef _WIN32
        if (f.huge) continue;  // Wine's files are not sparse: 1 TB would be written out
#endif
        ToolSandbox box;
        std::string config = f.config;
        if (const size_t at = config.find("$ROOT"); at != std::string::npos)
            config.replace(at, 5, box.root().generic_string());
        box.writeConfig(config);
        for (const auto& [path, bytes] : f.files)
            testing_support::writeFile(box.root() / path, bytes);
        if (f.huge) fs::resize_file(box.root() / f.huge, uint64_t{1} << 40);
        const auto r = f.fromElsewhere ? box.run({"project/FontConfig.json"}, box.root())
                                       : box.run({"FontConfig.json"});
        EXPECT_EQ(r.status, f.status) << r.out << r.err;
        EXPECT_NE((r.out + r.err).find(f.says), std::string::npos) << r.out << r.err;
        if (f.status == 253) {
            EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        }
        std::set<std::string> expected;
        if (f.status != 253) expected.insert("project/" + f.stem + "_out.cst");
        if (f.status == 0) expected.insert("project/" + f.stem + "_font.bin");
        EXPECT_EQ(outputs(box.root()), expected);
        if (!f.list.empty()) {
            EXPECT_EQ(readFile(box.project() / (f.stem + "_out.cst")), f.list);
        }
    }
}

TEST(InputFaults, InspectRefusesFilesLargerThanTheirKindMayBe) {
    FONTBIN_SKIP_ON_WINDOWS("Wine's files are not sparse: 1 TB would be written out");
    ToolSandbox box;
    box.writeConfig("{" + fontSet("DejaVuSans.ttf", ", \"advances\": true") + "}");
    ASSERT_EQ(box.run({"FontConfig.json"}).status, 0);
    const fs::path font = box.project() / "DejaVuSans_size16_bits1_font.bin";
    for (const auto& [huge, says] :
         {std::pair<std::string, std::string>{"DejaVuSans_size16_bits1_adv.bin",
                                              "more than the 1 MiB a width file may have"},
          {"DejaVuSans_size16_bits1_font.bin", "more than the 4 GiB a font file may have"}}) {
        fs::resize_file(box.project() / huge, uint64_t{1} << 40);
        const auto r = testing_support::runProgram(testing_support::binary("fontbin-inspect"),
                                                   {font.string()}, box.project());
        EXPECT_NE((r.out + r.err).find(says), std::string::npos) << r.out << r.err;
    }
}

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
    std::string name, config;  // FontConfig.json in the project folder; $ROOT: the sandbox's root
    int status = 0;
    std::string says;  // in stdout or stderr
    // The outputs' stem in the project folder: both outputs after status 0, the list file alone
    // after 252 (it is written before the font is opened), none after 253.
    std::string stem;
    std::vector<std::pair<std::string, std::string>> files;  // below the sandbox's root
    bool elsewhere = false;  // run from the sandbox's root instead of the project folder
    std::string list;        // the list file's contents, when they matter
    std::string huge;        // a file below the root made 1 TB, sparse (not under Wine)
    Fault& with(const std::string& path, const std::string& bytes) {
        files.emplace_back(path, bytes);
        return *this;
    }
    Fault& fromRoot() {
        elsewhere = true;
        return *this;
    }
    Fault& listing(const std::string& bytes) {
        list = bytes;
        return *this;
    }
    Fault& made1TB(const std::string& path) {
        huge = path;
        return with(path, "");
    }
};

Fault row(std::string name, std::string config, int status, std::string says,
          std::string stem = "") {
    Fault f;
    f.name = std::move(name);
    f.config = std::move(config);
    f.status = status;
    f.says = std::move(says);
    f.stem = std::move(stem);
    return f;
}

std::string fontSet(const std::string& font, const std::string& more = "") {
    return R"({"customerVals": [{"firstVal": "65", "range": "2"}], "fontSet": {"font": ")" + font +
           R"(", "fontSize": 16)" + more + "}" + "}";
}

// A configuration that selects A and B and, through `key`, the file `name`.
std::string selecting(const std::string& key, const std::string& name) {
    return "{\"" + key + "\": [\"" + name + "\"], " + fontSet("DejaVuSans.ttf").substr(1);
}

// Every output file below `dir`, as paths relative to it.
std::set<std::string> outputs(const fs::path& dir) {
    std::set<std::string> found;
    for (const auto& e : fs::recursive_directory_iterator(dir)) {
        const std::string name = e.path().filename().string();
        for (const std::string end : {"_font.bin", "_out.cst", "_adv.bin"})
            if (name.size() > end.size() && name.substr(name.size() - end.size()) == end)
                found.insert(fs::relative(e.path(), dir).generic_string());
    }
    return found;
}

}  // namespace

TEST(InputFaults, StopBeforeWritingOrNameTheRightFile) {
    std::string axes;
    for (int i = 0; i < 100; ++i) axes += (i ? ", \"x" : "\"x") + std::to_string(100 + i) + "\": 1";
    const std::string utf16("\xFF\xFE{\0}\0", 6), dejavu = "DejaVuSans_size16_bits1";
    std::vector<Fault> faults = {
        row("missing comma", R"({"fontSet": {"font": "DejaVuSans.ttf" "fontSize": 16}})", 253,
            "FontConfig.json is not valid JSON (error near line 1, column 39)"),
        row("Windows path", R"({"fontSet": {"font": "C:\Windows\Fonts\simsun.ttc"}})", 253,
            R"("\W" is not an escape JSON knows; in paths write "\\" for each backslash)"),
        row("UTF-16 with mark", utf16, 253,
            "(a UTF-16 byte-order mark at line 1, column 1): it looks saved as UTF-16; save it as "
            "UTF-8"),
        row("UTF-16 without mark", utf16.substr(2), 253,
            "(a NUL byte at line 1, column 2): it looks saved as UTF-16"),
        row("NUL in a string", selecting("textPaths", "ui.txt\\u0000evil"), 253,
            "holds \"\\u0000\" in a string (line 1, column 23)")
            .with("project/ui.txt", "AB"),
        row("mapping beside the configuration", selecting("mappingPaths", "m.txt"), 0, "", dejavu)
            .with("project/m.txt", "0x20\n")
            .fromRoot()
            .listing(std::string(" \0A\0B\0", 6)),
        row("mapping nowhere", selecting("mappingPaths", "m.txt"), 253,
            "mapping file \"m.txt\" is in neither the working directory (")
            .fromRoot(),
        row("cst that is a folder", selecting("cstPaths", "dir.cst"), 253,
            "cannot open cst file \"dir.cst\": ")
            .with("project/dir.cst/x", ""),
        row("missing code page", selecting("codePages", "c_9999.nls"), 253,
            "code page \"c_9999.nls\" is not in "),
        row("UTF-16 text file", selecting("textPaths", "ui.txt"), 0, "", dejavu)
            .with("project/ui.txt", std::string("\xFE\xFF\0C\0\n", 6))
            .listing(std::string("A\0B\0C\0", 6)),
        row("missing font in a folder", fontSet("fonts/Brand.ttf"), 252, "Brand.ttf not exist!\n",
            "Brand_size16_bits1"),
        row("missing font in a dotted folder", fontSet("$ROOT/my.fonts/x.ttf"), 252,
            "x.ttf not exist!\n", "x_size16_bits1")
            .with("my.fonts/y.ttf", ""),
        row("font in a folder of the tool's", fontSet("sub/Brand.ttf"), 0, "", "Brand_size16_bits1")
            .with("tool/font/sub/Brand.ttf", readFile(FONTBIN_TEST_FONT_DEJAVU)),
        row("100 unknown axes", fontSet("Inter.var.ttf", ", \"variations\": {" + axes + "}"), 253,
            "has no axis \"x100\""),
        row("1 TB configuration", "", 253, "more than the 16 MiB a configuration may have")
            .made1TB("project/FontConfig.json"),
        row("1 TB mapping file", selecting("mappingPaths", "m.txt"), 253,
            "more than the 64 MiB a mapping file may have")
            .made1TB("project/m.txt"),
        row("1 TB setting.ini", fontSet("DejaVuSans.ttf"), 253,
            "error: setting.ini: it is 1099511627776 bytes")
            .made1TB("project/setting.ini"),
        row("1 TB font", fontSet("huge.ttf"), 252, "more than the 2 GiB a font file may have",
            "huge_size16_bits1")
            .made1TB("tool/font/huge.ttf"),
    };
    for (Fault& f : faults) {
        SCOPED_TRACE(f.name);
#ifdef _WIN32
        if (!f.huge.empty()) continue;  // Wine's files are not sparse: 1 TB would be written out
#endif
        ToolSandbox box;
        if (const size_t at = f.config.find("$ROOT"); at != std::string::npos)
            f.config.replace(at, 5, box.root().generic_string());
        box.writeConfig(f.config);
        for (const auto& [path, bytes] : f.files)
            testing_support::writeFile(box.root() / path, bytes);
        if (!f.huge.empty()) fs::resize_file(box.root() / f.huge, uint64_t{1} << 40);
        const auto r = f.elsewhere ? box.run({"project/FontConfig.json"}, box.root())
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
    box.writeConfig(fontSet("DejaVuSans.ttf", ", \"advances\": true"));
    ASSERT_EQ(box.run({"FontConfig.json"}).status, 0);
    const std::string stem = (box.project() / "DejaVuSans_size16_bits1").string();
    for (const auto& [file, says] : {std::pair<std::string, std::string>{
                                         "_adv.bin", "more than the 1 MiB a width file may have"},
                                     {"_font.bin", "more than the 4 GiB a font file may have"}}) {
        fs::resize_file(stem + file, uint64_t{1} << 40);
        const auto r = testing_support::runProgram(testing_support::binary("fontbin-inspect"),
                                                   {stem + "_font.bin"}, box.project());
        EXPECT_NE((r.out + r.err).find(says), std::string::npos) << r.out << r.err;
    }
}

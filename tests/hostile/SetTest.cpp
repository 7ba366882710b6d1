// The outputs of a run replace the earlier ones as a set, through the real tool: a target that
// cannot be replaced is found before anything is renamed, a rename that still fails puts back
// what was already replaced, and either way every earlier file keeps its bytes; once the fault is
// gone the same run writes the whole new set.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <string>

#include "support/Sandbox.h"

using testing_support::folderBytes;
using testing_support::readFile;
using testing_support::RunResult;
using testing_support::ToolSandbox;
using testing_support::writeFile;
namespace fs = std::filesystem;

namespace {

std::string config(const std::string& font, const char* range, const char* extra) {
    return std::string(R"({"customerVals": [{"firstVal": "0x41", "range": ")") + range +
           R"("}], "fontSet": {"font": ")" + font + R"(", "fontSize": 16)" + extra + "}}";
}

// A folder below `root` whose path has exactly `length` bytes.
fs::path folderOfLength(const fs::path& root, size_t length) {
    fs::path dir = root;
    while (dir.string().size() < length) {
        const size_t left = length - dir.string().size() - 1;
        // No element shorter than 2 bytes, so that the last one can always be made to fit.
        const size_t take = left > 200 ? std::min<size_t>(left - 2, 200) : left;
        dir /= std::string(take, 'd');
    }
    fs::create_directories(dir);
    return dir;
}

}  // namespace

TEST(OutputSets, AFaultAtAnyTargetKeepsTheWholeEarlierSet) {
    // On Windows a file held open is the fault (WindowsTest.cpp); these need POSIX.
    FONTBIN_SKIP_ON_WINDOWS("chattr and 4,095-byte paths are POSIX's");
    struct Row {
        const char* fault;
        std::string font;
        const char* extra;    // of the second run, which selects fewer characters
        std::string message;  // in the one error line
        std::function<bool(const fs::path& target)> inject;  // false: cannot be staged here
        const char* target;                                  // the output the fault is at
        size_t pathLength;  // of the folder, when not the sandbox's own
    };
    auto chattr = [](const char* flag) {
        return [flag](const fs::path& t) {
            return std::system(("chattr " + std::string(flag) + " '" + t.string() + "' 2>/dev/null")
                                   .c_str()) == 0;
        };
    };
    const std::vector<Row> rows = {
        {"an immutable font file", "DejaVuSans.ttf", R"(, "crop": 1, "advances": true)",
         "_font.bin: it is immutable (chattr +i)", chattr("+i"), "_font.bin", 0},
        {"an immutable width file that must go", "DejaVuSans.ttf", "", "cannot remove ",
         chattr("+i"), "_adv.bin", 0},
        // The folder's path so long that the compact file's full path passes the 4,095 bytes a
        // path may have, while every other output's and the temporaries' fit: its rename fails
        // after the list file's, which is put back.
        {"a path too long, found at its rename", std::string(112, 'f') + ".ttf",
         R"(, "compact": true)",
         "_compact.bin: File name too long; the 1 file(s) already changed were put back",
         [](const fs::path&) { return true; }, "_compact.bin", 3959},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fault);
        ToolSandbox box;
        const fs::path d =
            row.pathLength ? folderOfLength(box.project(), row.pathLength) : box.project();
        fs::copy_file(FONTBIN_TEST_FONT_DEJAVU, d / row.font);
        box.writeConfig(config(row.font, "26", R"(, "crop": 1, "advances": true)"));
        fs::remove(d / "c.json");  // MinGW's copy_file does not overwrite
        fs::copy_file(box.project() / "FontConfig.json", d / "c.json");
        ASSERT_EQ(box.run({"c.json"}, d).status, 0);
        box.writeConfig(config(row.font, "10", row.extra));
        fs::remove(d / "c.json");  // MinGW's copy_file does not overwrite
        fs::copy_file(box.project() / "FontConfig.json", d / "c.json");
        const auto before = folderBytes(d);
        const std::string stem = row.font.substr(0, row.font.find('.')) + "_size16_bits1";
        const fs::path target = d / (stem + row.target);
        if (!row.inject(target)) {
            GTEST_SKIP() << row.fault
                         << ": cannot be staged here (chattr +i needs CAP_LINUX_IMMUTABLE and a "
                            "file system that keeps the flag)";
        }
        const RunResult r = box.run({"c.json"}, d);
        if (row.pathLength == 0) chattr("-i")(target);
        EXPECT_EQ(r.status, 251) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_NE(r.err.find(row.message), std::string::npos) << r.err;
        EXPECT_EQ(folderBytes(d), before) << "every earlier file as it was, nothing added";

        // The fault gone, the new set is whole: the list file says 10 characters.
        if (row.pathLength) continue;  // that path never fits
        ASSERT_EQ(box.run({"c.json"}, d).status, 0);
        EXPECT_EQ(readFile(d / (stem + "_out.cst")).size(), 20u);
        EXPECT_NE(readFile(d / (stem + "_font.bin")), before.at(stem + "_font.bin"));
    }
}

TEST(OutputSets, EarlierOutputsStayWhileTheyMatchTheListAndGoWithTheSetWhenNot) {
    ToolSandbox box;
    const fs::path d = box.project();
    fs::copy_file(FONTBIN_TEST_FONT_DEJAVU, d / "DejaVuSans.ttf");
    const std::string font = "DejaVuSans_size16_bits1_font.bin";
    const std::string adv = "DejaVuSans_size16_bits1_adv.bin";
    const std::string compact = "DejaVuSans_size16_bits1_compact.bin";
    struct Step {
        const char* what;
        const char* range;
        const char* extra;
        std::vector<std::string> present;  // besides the configuration, font and list file
        std::vector<std::string> removed;  // each named on a line of its own
    } steps[] = {
        {"trimmed, with widths", "26", R"(, "crop": 1, "advances": true)", {font, adv}, {}},
        {"compact, same list: the pair stays",
         "26",
         R"(, "compact": true)",
         {font, adv, compact},
         {}},
        {"trimmed, same list, without widths: the compact file stays, the widths go",
         "26",
         R"(, "crop": 1)",
         {font, compact},
         {adv}},
        {"fixed records, another list: the compact file goes", "10", "", {font}, {compact}},
        {"compact, another list: the font file goes",
         "12",
         R"(, "compact": true)",
         {compact},
         {font}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        box.writeConfig(config("DejaVuSans.ttf", step.range, step.extra));
        const RunResult r = box.run({"FontConfig.json"});
        ASSERT_EQ(r.status, 0) << r.err;
        std::vector<std::string> names;
        for (const auto& [name, bytes] : folderBytes(d))
            if (name != "FontConfig.json" && name != "DejaVuSans.ttf" &&
                name != "DejaVuSans_size16_bits1_out.cst")
                names.push_back(name);
        std::vector<std::string> want = step.present;
        std::sort(want.begin(), want.end());
        EXPECT_EQ(names, want);
        for (const std::string& gone : step.removed)
            EXPECT_NE(r.err.find("note: removed " + (d / gone).u8string() + ", "),
                      std::string::npos)
                << r.err;
        size_t notes = 0;
        for (size_t at = r.err.find("note: removed"); at != std::string::npos;
             at = r.err.find("note: removed", at + 1))
            ++notes;
        EXPECT_EQ(notes, step.removed.size()) << r.err;
    }
}

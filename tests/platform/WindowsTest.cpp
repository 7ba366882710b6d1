// What only Windows has: drive letters and UNC-style paths, the fonts folders the system
// reports, files held open by another program, read-only files and negative exit codes.
// Run under Wine by the Windows build.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which these need.
#include <knownfolders.h>
#include <shlobj.h>

#include <algorithm>
#include <map>

#include "platform/platform.h"
#include "support/Sandbox.h"

namespace fs = std::filesystem;
using testing_support::folderBytes;
using testing_support::readFile;
using testing_support::RunResult;
using testing_support::ToolSandbox;
using testing_support::writeFile;

namespace {

fs::path knownFolder(REFKNOWNFOLDERID id) {
    PWSTR path = nullptr;
    EXPECT_TRUE(SUCCEEDED(SHGetKnownFolderPath(id, 0, nullptr, &path)));
    fs::path result(path ? path : L"");
    CoTaskMemFree(path);
    return result;
}

std::string config(const std::string& font) {
    return R"({"customerVals": [{"firstVal": "0x41", "range": "26"}], "fontSet": {"font": ")" +
           font + R"(", "fontSize": 16}})";
}

// A font file placed in a folder for the length of a test.
class PlacedFont {
public:
    PlacedFont(const fs::path& dir, const std::string& name) : path_(dir / name) {
        fs::create_directories(dir);
        fs::copy_file(FONTBIN_TEST_FONT_DEJAVU, path_, fs::copy_options::overwrite_existing);
    }
    ~PlacedFont() {
        std::error_code ec;
        fs::remove(path_, ec);
    }

private:
    fs::path path_;
};

}  // namespace

TEST(WindowsPaths, FullPathsKeepDrivesAndUncRoots) {
    const std::string cwd = platform::pathToUtf8(fs::current_path());
    struct Case {
        std::string path, folder;
    } cases[] = {
        {"C:\\fontbin\\cfg\\FontConfig.json", "C:\\fontbin\\cfg"},
        {"c:/fontbin/cfg/../FontConfig.json", "c:\\fontbin"},
        {"C:\\FontConfig.json", "C:\\"},
        {"\\\\server\\share\\FontConfig.json", "\\\\server\\share"},
        {"\\\\?\\C:\\fontbin\\FontConfig.json", "\\\\?\\C:\\fontbin"},
        {"sub\\FontConfig.json", cwd + "\\sub"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(platform::pathToUtf8(platform::directoryOf(platform::pathFromUtf8(c.path))),
                  c.folder)
            << c.path;
}

TEST(WindowsPaths, ConfigurationByDriveLetterAndUncStyleAndNonAsciiToolFolder) {
    ToolSandbox box;
    box.writeConfig(config("DejaVuSans.ttf"));
    const std::string project = platform::pathToUtf8(box.project());
    // Forward slashes, and the extended-length form that long and UNC paths use.
    std::string forward = project + "/FontConfig.json";
    for (char& c : forward)
        if (c == '\\') c = '/';
    for (const std::string& arg : {forward, "\\\\?\\" + project + "\\FontConfig.json"}) {
        SCOPED_TRACE(arg);
        fs::remove(box.project() / "DejaVuSans_size16_bits1_font.bin");
        const RunResult r = box.run({arg}, box.root());
        EXPECT_EQ(r.status, 0) << r.out << r.err;
        EXPECT_TRUE(fs::exists(box.project() / "DejaVuSans_size16_bits1_font.bin")) << r.out;
    }
    // The tool's folder comes from the system with its real name, printed as UTF-8.
    const fs::path odd = box.root() / fs::u8path("工具 ü");
    fs::create_directories(odd / "font");
    fs::copy_file(box.tool(), odd / "fontbin.exe");
    const RunResult r =
        testing_support::runProgram(odd / "fontbin.exe", {"FontConfig.json"}, box.project());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, r.out.find('\n') + 1), testing_support::toolDirLine(odd));
    // Escaped backslashes, and the folder's name as UTF-8.
    EXPECT_NE(r.out.find("\\\\fontbin-test-"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\\\\\xE5\xB7\xA5\xE5\x85\xB7 \xC3\xBC\"\n"), std::string::npos) << r.out;
}

TEST(WindowsFonts, FoundInTheSystemAndThePerUserFontsFolders) {
    const std::string name = "fontbin-test-" + std::to_string(GetCurrentProcessId()) + ".ttf";
    const fs::path folders[] = {
        knownFolder(FOLDERID_Fonts),
        knownFolder(FOLDERID_LocalAppData) / "Microsoft" / "Windows" / "Fonts",
    };
    for (const fs::path& folder : folders) {
        SCOPED_TRACE(folder.string());
        // A run that died before cleaning up may have left a file of this name.
        std::error_code ec;
        fs::remove(folder / name, ec);
        ToolSandbox box;  // its own font/ folder holds only Unifont
        box.writeConfig(config(name));
        {
            PlacedFont font(folder, name);
            const RunResult r = box.run({"FontConfig.json"});
            EXPECT_EQ(r.status, 0) << r.out << r.err;
            const std::string bytes =
                readFile(box.project() / ("fontbin-test-" + std::to_string(GetCurrentProcessId()) +
                                          "_size16_bits1_font.bin"));
            EXPECT_GT(bytes.size(), 26u * 36);
        }
        // Gone from every folder: the line names the tool's own font folder, as ever.
        const RunResult r = box.run({"FontConfig.json"});
        EXPECT_EQ(r.exitCode, -4);
        EXPECT_NE(r.out.find((box.toolDir() / "font" / name).string() + " not exist!"),
                  std::string::npos)
            << r.out;
    }
}

namespace {

// Opens `path` as viewers and flashing tools do: reading, sharing reading only.
HANDLE holdForReading(const fs::path& path) {
    return CreateFileW(path.wstring().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

TEST(WindowsOutput, AHeldFileKeepsTheWholeEarlierSetUntilItIsClosed) {
    ToolSandbox box;
    const fs::path d = box.project();
    box.writeConfig(R"({"customerVals": [{"firstVal": "0x41", "range": "26"}],
        "fontSet": {"font": "DejaVuSans.ttf", "fontSize": 16, "crop": 1, "advances": true}})");
    ASSERT_EQ(box.run({"FontConfig.json"}).status, 0);
    ASSERT_EQ(testing_support::runProgram(testing_support::binary("fontbin-embed"),
                                          {"DejaVuSans_size16_bits1_font.bin", "o"}, d)
                  .status,
              0);
    box.writeConfig(config("DejaVuSans.ttf"));  // fewer characters, no widths
    // The list file is replaced first and the font file second; the width file would go last.
    struct Row {
        const char* held;
        const char* program;  // fontbin or fontbin-embed
        std::vector<std::string> args;
        long exitCode;
    } rows[] = {
        {"DejaVuSans_size16_bits1_font.bin", "fontbin", {"FontConfig.json"}, -5},
        {"DejaVuSans_size16_bits1_adv.bin", "fontbin", {"FontConfig.json"}, -5},
        {"o.c", "fontbin-embed", {"DejaVuSans_size16_bits1_font.bin", "o", "--symbol", "other"}, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.held);
        const auto before = folderBytes(d);
        const fs::path program = std::string(row.program) == "fontbin"
                                     ? box.tool()
                                     : testing_support::binary(row.program);
        const HANDLE held = holdForReading(d / row.held);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        const RunResult r = testing_support::runProgram(program, row.args, d);
        CloseHandle(held);
        EXPECT_EQ(r.exitCode, row.exitCode) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_NE(r.err.find(row.held), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("another program has it open and does not let it be replaced"),
                  std::string::npos)
            << r.err;
        EXPECT_EQ(folderBytes(d), before) << "every earlier file as it was, nothing added";
    }
    // Closed, the run writes the new set whole: the widths of the earlier font file go with it.
    const RunResult r = box.run({"FontConfig.json"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(fs::exists(d / "DejaVuSans_size16_bits1_adv.bin"));
    EXPECT_NE(r.err.find("note: removed"), std::string::npos) << r.err;
}

TEST(WindowsOutput, ReadOnlyTargetsFailAndKeepTheEarlierFile) {
    ToolSandbox box;
    box.writeConfig(config("DejaVuSans.ttf"));
    const fs::path target = box.project() / "DejaVuSans_size16_bits1_font.bin";
    writeFile(target, "earlier");
    const std::wstring wide = target.wstring();
    ASSERT_TRUE(SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_READONLY));
    const RunResult r = box.run({"FontConfig.json"});
    SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(r.exitCode, -5);
    EXPECT_NE(r.err.find(target.string() + ": it is read-only"), std::string::npos) << r.err;
    EXPECT_EQ(readFile(target), "earlier");
    size_t files = std::distance(fs::directory_iterator(box.project()), fs::directory_iterator());
    EXPECT_EQ(files, 2u) << "the configuration and the earlier font file only";
}

TEST(WindowsExit, StatusesAreNegative) {
    ToolSandbox box;
    box.writeConfig(R"({"fontSet": {"font": "DejaVuSans.ttf", "renderMode": 3}})", "bad.json");
    box.writeConfig(config("no-such-font.ttf"), "missing.json");
    struct Case {
        std::vector<std::string> args;
        long exitCode;
    } cases[] = {
        {{"nothing.json"}, -1},
        {{"a", "b"}, -1},
        {{"bad.json"}, -3},
        {{"missing.json"}, -4},
    };
    for (const Case& c : cases) EXPECT_EQ(box.run(c.args).exitCode, c.exitCode) << c.args[0];
}

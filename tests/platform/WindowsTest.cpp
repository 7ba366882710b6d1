// What only Windows has: drive letters and UNC-style paths, the fonts folders the system
// reports, files held open by another program, read-only files and negative exit codes.
// Run under Wine by the Windows build.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which these need.
#include <knownfolders.h>
#include <shlobj.h>

#include <algorithm>

#include "platform/platform.h"
#include "support/Sandbox.h"

namespace fs = std::filesystem;
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

TEST(WindowsOutput, LockedAndReadOnlyTargetsFailAndKeepTheEarlierFile) {
    ToolSandbox box;
    box.writeConfig(config("DejaVuSans.ttf"));
    const fs::path target = box.project() / "DejaVuSans_size16_bits1_font.bin";
    writeFile(target, "earlier");
    const std::wstring wide = target.wstring();
    {
        // Another program holds the file open and shares nothing.
        const HANDLE held = CreateFileW(wide.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        const RunResult r = box.run({"FontConfig.json"});
        CloseHandle(held);
        EXPECT_EQ(r.exitCode, -5);
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_NE(r.err.find("error: cannot write " + target.string()), std::string::npos) << r.err;
        // The list file went first: the line says the set no longer matches.
        EXPECT_NE(r.err.find("; already replaced: " +
                             (box.project() / "DejaVuSans_size16_bits1_out.cst").string()),
                  std::string::npos)
            << r.err;
    }
    EXPECT_EQ(readFile(target), "earlier");

    ASSERT_TRUE(SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_READONLY));
    const RunResult r = box.run({"FontConfig.json"});
    SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(r.exitCode, -5);
    EXPECT_NE(r.err.find(target.string() + ": it is read-only"), std::string::npos) << r.err;
    EXPECT_EQ(readFile(target), "earlier");
    size_t files = std::distance(fs::directory_iterator(box.project()), fs::directory_iterator());
    EXPECT_EQ(files, 3u) << "configuration, list file and the earlier font file only";
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

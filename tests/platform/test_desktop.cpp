// platform/desktop.h through real processes: arguments reach another program exactly as given
// (on Windows through the command line's quoting rules), in the folder asked for, with both of
// its output streams and its exit status.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "platform/desktop.h"
#include "platform/platform.h"

namespace fs = std::filesystem;

namespace {

fs::path fontbinTool() {
#ifdef _WIN32
    return platform::pathFromUtf8(FONTBIN_BIN_DIR) / "fontbin.exe";
#else
    return platform::pathFromUtf8(FONTBIN_BIN_DIR) / "fontbin";
#endif
}

// fontbin prints its one argument on the second line of its output before it looks for it.
TEST(Desktop, ArgumentsArriveAsGiven) {
    const char* arguments[] = {
        "plain",
        "with spaces",
        "quote\"inside",
        "trailing backslash\\",
        "two\\\\ \"mixed\"",
        "\\\\server\\share",
        "中文 ünïcode.json",
        "tab\there",
    };
    for (const char* argument : arguments) {
        const platform::ProcessResult run =
            platform::runProcess(fontbinTool(), {argument}, fs::temp_directory_path());
        ASSERT_TRUE(run.started) << run.error;
        const size_t first = run.out.find('\n');
        ASSERT_NE(first, std::string::npos) << run.out;
        std::string second = run.out.substr(first + 1, run.out.find('\n', first + 1) - first - 1);
        if (!second.empty() && second.back() == '\r') second.pop_back();
        EXPECT_EQ(second, argument);
        // A path that does not exist: -1, as the system reports it.
#ifdef _WIN32
        EXPECT_EQ(run.status, -1) << argument;
#else
        EXPECT_EQ(run.status, 255) << argument;
#endif
    }
}

TEST(Desktop, RunsInTheFolderAndCollectsBothStreams) {
    const fs::path dir = fs::temp_directory_path() / "fontbin desktop test";
    fs::create_directories(dir);
    std::ofstream(dir / "FontConfig.json") << "not json";
    // A relative name is found in the folder given, and fontbin prints that folder.
    const platform::ProcessResult invalid =
        platform::runProcess(fontbinTool(), {"FontConfig.json"}, dir);
    EXPECT_NE(invalid.out.find(platform::pathToUtf8(dir)), std::string::npos) << invalid.out;
    EXPECT_NE(invalid.err.find("is not valid JSON"), std::string::npos) << invalid.err;
    const platform::ProcessResult two = platform::runProcess(fontbinTool(), {"a", "b"}, dir);
    EXPECT_NE(two.err.find("2 arguments were given"), std::string::npos) << two.err;
    const platform::ProcessResult missing = platform::runProcess(dir / "no such program", {}, dir);
    EXPECT_FALSE(missing.started && missing.status == 0);
}

TEST(Desktop, RandomBytesDiffer) {
    std::set<std::string> seen;
    for (int i = 0; i < 8; ++i) {
        std::string bytes(16, '\0');
        ASSERT_TRUE(platform::randomBytes(bytes.data(), bytes.size()));
        seen.insert(bytes);
    }
    EXPECT_EQ(seen.size(), 8u);
}

}  // namespace

#include <gtest/gtest.h>

#include "platform/platform.h"

using platform::PathStyle;

TEST(PathRules, AbsoluteOrNot) {
    struct Case {
        const char* path;
        PathStyle style;
        bool absolute;
    } cases[] = {
        {"C:\\tools\\fontbin.exe", PathStyle::Windows, true},
        {"c:/tools", PathStyle::Windows, true},
        {"C:tools", PathStyle::Windows, false},  // drive-relative
        {"C:", PathStyle::Windows, false},
        {"\\tools", PathStyle::Windows, false},  // root of the current drive
        {"\\\\server\\share\\x", PathStyle::Windows, true},
        {"//server/share", PathStyle::Windows, true},
        {"tools\\x", PathStyle::Windows, false},
        {"", PathStyle::Windows, false},
        {"/usr/bin", PathStyle::Posix, true},
        {"usr/bin", PathStyle::Posix, false},
        {"C:\\x", PathStyle::Posix, false},
        {"", PathStyle::Posix, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(platform::isAbsolutePath(c.path, c.style), c.absolute) << c.path;
}

TEST(PathRules, MakeAbsoluteNormalisesLexically) {
    struct Case {
        const char* path;
        const char* cwd;
        PathStyle style;
        const char* expected;
    } cases[] = {
        {"sub\\FontConfig.json", "C:\\work", PathStyle::Windows, "C:\\work\\sub\\FontConfig.json"},
        {"..\\a.json", "C:\\work\\x", PathStyle::Windows, "C:\\work\\a.json"},
        {"..\\..\\..\\a.json", "C:\\work", PathStyle::Windows, "C:\\a.json"},
        {".\\a.json", "C:\\", PathStyle::Windows, "C:\\a.json"},
        {"\\a.json", "D:\\work\\x", PathStyle::Windows, "D:\\a.json"},
        {"c:/x/./y/../z", "D:\\", PathStyle::Windows, "c:\\x\\z"},
        {"\\\\srv\\share\\a\\..\\b", "C:\\", PathStyle::Windows, "\\\\srv\\share\\b"},
        {"sub/cfg.json", "/home/u", PathStyle::Posix, "/home/u/sub/cfg.json"},
        {"../../../cfg.json", "/home/u", PathStyle::Posix, "/cfg.json"},
        {"./a/./b/", "/", PathStyle::Posix, "/a/b/"},
        {"/x//y/../z", "/home", PathStyle::Posix, "/x/z"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(platform::makeAbsolutePath(c.path, c.cwd, c.style), c.expected) << c.path;
}

TEST(PathRules, ParentKeepsRoots) {
    struct Case {
        const char* path;
        PathStyle style;
        const char* expected;
    } cases[] = {
        {"C:\\tools\\fontbin.exe", PathStyle::Windows, "C:\\tools"},
        {"C:\\fontbin.exe", PathStyle::Windows, "C:\\"},
        {"C:\\", PathStyle::Windows, "C:\\"},
        {"C:\\a\\\\b", PathStyle::Windows, "C:\\a"},
        {"C:\\a\\b\\", PathStyle::Windows, "C:\\a"},
        {"\\\\server\\share\\cfg.json", PathStyle::Windows, "\\\\server\\share"},
        {"\\\\server\\share", PathStyle::Windows, "\\\\server\\share"},
        {"/usr/bin/fontbin", PathStyle::Posix, "/usr/bin"},
        {"/fontbin", PathStyle::Posix, "/"},
        {"/", PathStyle::Posix, "/"},
        {"/a/b/", PathStyle::Posix, "/a"},
        {"/a\\b", PathStyle::Posix, "/"},  // a backslash is an ordinary character on POSIX
    };
    for (const Case& c : cases)
        EXPECT_EQ(platform::parentPath(c.path, c.style), c.expected) << c.path;
}

TEST(Text, Utf8RoundTripAndInvalidBytes) {
    const std::string text = "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80";  // a, e-acute, zhong, emoji
    const std::wstring wide = platform::utf8ToWide(text);
    ASSERT_EQ(wide.size(), sizeof(wchar_t) == 2 ? 5u : 4u);
    EXPECT_EQ(wide[1], L'\u00E9');
    EXPECT_EQ(wide[2], L'\u4E2D');
    EXPECT_EQ(platform::wideToUtf8(wide), text);

    // Stray continuation bytes, truncated sequences, overlong forms and encoded surrogates.
    EXPECT_EQ(platform::utf8ToWide("\x80"), std::wstring(1, L'\uFFFD'));
    EXPECT_EQ(platform::utf8ToWide("a\xE4\xB8"), std::wstring(L"a\uFFFD"));
    EXPECT_EQ(platform::utf8ToWide("\xC0\xAF"), std::wstring(1, L'\uFFFD'));
    EXPECT_EQ(platform::utf8ToWide("\xED\xA0\x80x"), std::wstring(L"\uFFFDx"));
    EXPECT_EQ(platform::utf8ToWide(std::string("\0z", 2)), std::wstring(L"\0z", 2));
}

TEST(Host, ExistenceAndExecutable) {
    EXPECT_TRUE(platform::pathExists("/"));
    EXPECT_FALSE(platform::pathExists("/definitely/not/here"));
    EXPECT_FALSE(platform::pathExists(std::string(5000, 'x')));  // too long: false, no throw
    auto self = platform::executablePath();
    ASSERT_TRUE(self.has_value());
    EXPECT_EQ(self->stem(), "platform_tests");
}

TEST(Host, FindsFontsBelowSystemFontFolders) {
    auto found = platform::findSystemFont("DejaVuSans.ttf");
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->filename(), "DejaVuSans.ttf");
    EXPECT_FALSE(platform::findSystemFont("no-such-font.ttf").has_value());
    EXPECT_FALSE(platform::findSystemFont("").has_value());
}

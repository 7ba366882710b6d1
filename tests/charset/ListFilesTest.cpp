// Mapping files and cst files, written into a temporary folder and loaded from disk.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CharsetTestUtil.h"
#include "charset/ListFiles.h"

using namespace std::string_literals;

namespace {

std::vector<uint32_t> mapping(const TempDir& dir, const std::string& text,
                              std::string* problem = nullptr) {
    auto index = freshIndex();
    EXPECT_EQ(loadMappingFile(dir.write("map.txt", text), index.data(), problem), 0);
    return marked(index);
}

using Marks = std::vector<uint32_t>;

}  // namespace

TEST(MappingFile, LineRules) {
    struct Case {
        const char* name;
        std::string text;
        Marks expected;
    };
    const Case cases[] = {
        {"two values, comment", "0x8140\t0x4E02\t# CJK\n", {0x4E02}},
        {"one value", "0x4E02\n", {0x4E02}},
        {"upper-case prefix", "0X4E02\n", {0x4E02}},
        {"upper-case digits", "0x4e02\t0X4E03\n", {0x4E03}},
        {"one value with comment", "0x80\t#UNDEFINED\n", {0x80}},
        {"three values: the second", "0x41\t0x42\t0x43\n", {0x42}},
        {"indented by space", " 0x41\n", {}},
        {"indented by tab", "\t0x41\n", {}},
        {"comment and empty lines", "# 0x41\n\n#\n", {}},
        {"only value 0xFFFF", "0xFFFF\n", {}},
        {"second value 0xFFFF", "0x41\t0xffff\n", {}},
        {"0xFFFE is a code point", "0xFFFE\n", {0xFFFE}},
        {"prefix without digit", "0x\n", {0x0000}},
        {"second value read at comment sign", "0x41\t#0x42\n", {0x0000}},
        {"failed first value suppresses second", "0x\t0x42\n", {}},
        {"first value overflows: second not read", "0x100000000\t0x42\n", {}},
        {"no line feed at the end", "0x41\n0x42", {0x41, 0x42}},
        {"CRLF", "0x41\r\n0x20\t0x42\r\n", {0x41, 0x42}},
        {"byte-order mark hides line 1",
         "\xEF\xBB\xBF"
         "0x41\n0x42\n",
         {0x42}},
        {"NUL ends the line", "0x41\0\t0x42\n"s, {0x41}},
        {"leading zeros", "0x00000041\n", {0x41}},
        {"zero value", "0x0\n", {0x0000}},
        {"empty file", "", {}},
        {"just line feeds", "\n\n\n", {}},
        {"second value read at the text after the first", "0x20 means 0x30\n", {0x0000}},
        {"second prefix glued to the first value", "0x410x42\n", {0x0000}},
    };
    TempDir dir;
    for (const Case& c : cases) {
        EXPECT_EQ(mapping(dir, c.text), c.expected) << c.name;
    }
}

TEST(MappingFile, CrLfGivesSameResultAsLf) {
    TempDir dir;
    const std::string lf = "# table\n0x8140\t0x4E02\n0x80\t#UNDEFINED\n0x41\n\n0x8141 0x4E04 #x\n";
    std::string crlf;
    for (char c : lf) crlf += c == '\n' ? "\r\n"s : std::string(1, c);
    EXPECT_EQ(mapping(dir, lf), mapping(dir, crlf));
    EXPECT_EQ(mapping(dir, lf), (Marks{0x41, 0x80, 0x4E02, 0x4E04}));
}

TEST(MappingFile, ValuesOutsideTheBmpAreSkippedAndReported) {
    TempDir dir;
    std::string problem;
    Marks m =
        mapping(dir, "0x41\n0x1F600\n0x42\t-0x43\n0x44 0x10000\n0x80000000\n0x45\n", &problem);
    EXPECT_EQ(m, (Marks{0x41, 0x45}));
    EXPECT_NE(problem.find("4 value(s) outside U+0000..U+FFFF"), std::string::npos) << problem;
    EXPECT_NE(problem.find("first: line 2"), std::string::npos) << problem;
    EXPECT_NE(problem.find("map.txt"), std::string::npos) << problem;
}

TEST(MappingFile, LongLinesAreCutAt599AndReadingGoesOn) {
    TempDir dir;
    auto padTo = [](std::string s, size_t n) {
        s.resize(n, ' ');
        return s;
    };
    // 599 characters: the whole line counts, its second value is read.
    std::string whole = padTo("0x41", 595) + "0x42";
    ASSERT_EQ(whole.size(), 599u);
    // 600 characters: the last digit falls away, so 0x42 is read instead of 0x423.
    std::string cutDigit = padTo("0x43", 595) + "0x423";
    // The second "0x" starts beyond the cut: a one-value line.
    std::string cutPrefix = padTo("0x44", 700) + "0x45";
    // A line far longer than the buffer, with a value in what is cut away.
    std::string huge = padTo("0x46", 5000) + "0x4600";
    std::string problem;
    Marks m = mapping(
        dir, whole + "\n" + cutDigit + "\n" + cutPrefix + "\n0x47\n" + huge + "\n0x48", &problem);
    EXPECT_EQ(m, (Marks{0x42, 0x44, 0x46, 0x47, 0x48}));
    EXPECT_NE(problem.find("3 line(s) longer than 599 characters cut (first: line 2)"),
              std::string::npos)
        << problem;
}

TEST(MappingFile, CleanFileHasNoProblem) {
    TempDir dir;
    std::string problem = "stale";
    mapping(dir, "0x41\n", &problem);
    EXPECT_EQ(problem, "");
}

TEST(MappingFile, MissingFileOrDirectoryMarksNothingAndReturnsZero) {
    TempDir dir;
    auto index = freshIndex();
    std::string problem;
    EXPECT_EQ(loadMappingFile(dir.path() / "nope.txt", index.data(), &problem), 0);
    EXPECT_EQ(problem, "cannot open mapping file \"" + (dir.path() / "nope.txt").string() +
                           "\": No such file or directory");
    EXPECT_EQ(loadMappingFile(dir.path(), index.data(), &problem), 0);
    EXPECT_NE(problem.find("Is a directory"), std::string::npos) << problem;
    EXPECT_EQ(loadMappingFile(dir.path() / "nope.txt", index.data()), 0);  // no problem wanted
    EXPECT_EQ(markedCount(index), 0u);
}

TEST(MappingFile, LargeFileMarksEveryLine) {
    TempDir dir;
    std::string text;
    for (uint32_t c = 0; c < 0xFFFF; ++c) {
        char line[32];
        snprintf(line, sizeof line, "0x%X\t0x%04X\t# comment\n", 0x10000 + c, c);
        text += line;
    }
    auto index = freshIndex();
    loadMappingFile(dir.write("big.txt", text), index.data());
    EXPECT_EQ(markedCount(index), 0xFFFFu);
    EXPECT_EQ(index[0xFFFF], 0xFFFF);
}

TEST(CstFile, MarkingRules) {
    struct Case {
        const char* name;
        std::string bytes;
        Marks expected;
        bool oddLength;
    };
    const Case cases[] = {
        {"empty", "", {}, false},
        {"little-endian", "\x02\x4E", {0x4E02}, false},
        {"three bytes: first value only", "\x41\x00\x42"s, {0x41}, true},
        {"any order, duplicates",
         "\x00\x4E\x41\x00\x00\x4E\xFF\xFF\x00\x00"s,
         {0x0000, 0x41, 0x4E00, 0xFFFF},
         false},
        {"one byte", "\x41", {}, true},
    };
    TempDir dir;
    for (const Case& c : cases) {
        auto index = freshIndex();
        std::string problem;
        EXPECT_EQ(loadCstFile(dir.write("list.cst", c.bytes), index.data(), &problem), 0) << c.name;
        EXPECT_EQ(marked(index), c.expected) << c.name;
        EXPECT_EQ(problem.find("odd length") != std::string::npos, c.oddLength) << c.name;
    }
}

TEST(CstFile, MissingFileOrDirectoryIsMinusTwo) {
    TempDir dir;
    auto index = freshIndex();
    std::string problem;
    EXPECT_EQ(loadCstFile(dir.path() / "nope.cst", index.data(), &problem), -2);
    EXPECT_EQ(problem, "cannot open cst file \"" + (dir.path() / "nope.cst").string() +
                           "\": No such file or directory");
    EXPECT_EQ(loadCstFile(dir.path(), index.data(), &problem), -2);
    EXPECT_NE(problem.find("Is a directory"), std::string::npos) << problem;
    EXPECT_EQ(markedCount(index), 0u);
}

TEST(TextFile, EveryCharacterButLineEnds) {
    struct Case {
        const char* name;
        std::string text;
        Marks expected;
        std::vector<std::string> problems;  // fragments, one per expected problem line
    };
    const Case cases[] = {
        {"space counts, CR LF do not", "a b\r\nb\n", {0x20, 0x61, 0x62}, {}},
        {"leading BOM is not a character", "\xEF\xBB\xBF\xE4\xB8\xAD", {0x4E2D}, {}},
        {"a later BOM is U+FEFF", "A\xEF\xBB\xBF", {0x41, 0xFEFF}, {}},
        {"two, three and four bytes",
         "\xC2\xB0\xE2\x82\xAC\xF0\x9D\x84\x9Ex\xEF\xBF\xBF",
         {0x78, 0xB0, 0x20AC, 0xFFFF},
         {"1 character(s) beyond U+FFFF skipped (first: line 1, column 3)"}},
        {"invalid bytes: stray, overlong, surrogate, cut short",
         "ok\n\x80\xC0\xAF\xED\xA0\x80z\xE4\xB8",
         {0x6B, 0x6F, 0x7A},
         {"8 byte(s) that are not valid UTF-8 skipped (first: line 2, column 1)"}},
        {"empty file", "", {}, {}},
    };
    for (const Case& c : cases) {
        TempDir dir;
        auto index = freshIndex();
        std::vector<std::string> problems;
        loadTextFile(dir.write("ui.txt", c.text), index.data(), &problems);
        EXPECT_EQ(marked(index), c.expected) << c.name;
        ASSERT_EQ(problems.size(), c.problems.size()) << c.name;
        for (size_t i = 0; i < problems.size(); ++i)
            EXPECT_NE(problems[i].find(c.problems[i]), std::string::npos) << problems[i];
    }
    // A file that cannot be read warns as a missing mapping file does, and marks nothing.
    TempDir dir;
    auto index = freshIndex();
    std::vector<std::string> problems;
    loadTextFile(dir.path() / "missing.txt", index.data(), &problems);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].rfind("cannot open text file \"", 0), 0u) << problems[0];
    EXPECT_EQ(markedCount(index), 0u);
}

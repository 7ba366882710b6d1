// The code-page tables that fontbin-codepage writes into bin/CodePage, checked with the loader
// and against counts made here directly with iconv(3), from both directions.
#include <gtest/gtest.h>
#include <iconv.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "CharsetTestUtil.h"
#include "charset/CharacterTables.h"
#include "charset/CodePageFile.h"
#include "tools/codepage/CodePageTable.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace {

namespace fs = std::filesystem;

struct CodePage {
    int number;
    const char* iconvName;
    bool doubleByte;
};

const CodePage kGenerated[] = {
    {936, "CP936", true},    {950, "CP950", true},    {932, "CP932", true},
    {949, "CP949", true},    {874, "CP874", false},   {1250, "CP1250", false},
    {1251, "CP1251", false}, {1252, "CP1252", false}, {1253, "CP1253", false},
    {1254, "CP1254", false}, {1255, "CP1255", false}, {1256, "CP1256", false},
    {1257, "CP1257", false}, {1258, "CP1258", false}, {437, "CP437", false},
};

fs::path tablePath(int number) {
    return fs::path(FONTBIN_BIN_DIR) / "CodePage" / ("c_" + std::to_string(number) + ".nls");
}

std::vector<uint8_t> readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Whole-input conversion through iconv; empty optional on any failure or lossy step.
class Iconv {
public:
    Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Iconv() {
        if (ok()) iconv_close(cd_);
    }
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    bool run(const std::string& in, std::string& out) {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        char buffer[32];
        char* inPtr = const_cast<char*>(in.data());
        size_t inLeft = in.size();
        char* outPtr = buffer;
        size_t outLeft = sizeof buffer;
        if (iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft) != 0 || inLeft != 0) return false;
        if (iconv(cd_, nullptr, nullptr, &outPtr, &outLeft) == static_cast<size_t>(-1)) {
            return false;
        }
        out.assign(buffer, outPtr);
        return true;
    }

private:
    iconv_t cd_;
};

std::string utf16(uint32_t c) {
    return std::string{static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
}

// Code points that convert to one character of the code page (one byte, or two for a
// double-byte code page) and back to themselves. Made from the Unicode side.
std::set<uint32_t> roundTripsFromUnicode(const CodePage& cp) {
    Iconv to(cp.iconvName, "UTF-16LE"), from("UTF-16LE", cp.iconvName);
    EXPECT_TRUE(to.ok() && from.ok()) << cp.iconvName;
    std::set<uint32_t> out;
    std::string bytes, back;
    for (uint32_t c = 0; c < 0x10000; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF) continue;
        if (!to.run(utf16(c), bytes)) continue;
        if (bytes.size() != 1 && !(cp.doubleByte && bytes.size() == 2)) continue;
        if (from.run(bytes, back) && back == utf16(c)) out.insert(c);
    }
    return out;
}

// The same set from the code-page side: every byte and, for a double-byte code page, every
// byte pair that decodes to one code point which encodes back to the same bytes.
std::set<uint32_t> roundTripsFromBytes(const CodePage& cp) {
    Iconv to(cp.iconvName, "UTF-16LE"), from("UTF-16LE", cp.iconvName);
    std::set<uint32_t> out;
    std::string text, again;
    auto tryBytes = [&](const std::string& bytes) {
        if (!from.run(bytes, text) || text.size() != 2) return;
        uint32_t c = static_cast<uint8_t>(text[0]) | (static_cast<uint8_t>(text[1]) << 8);
        if (c >= 0xD800 && c <= 0xDFFF) return;
        if (to.run(text, again) && again == bytes) out.insert(c);
    };
    for (int b = 0; b < 256; ++b) tryBytes(std::string(1, static_cast<char>(b)));
    if (cp.doubleByte) {
        for (int lead = 0x80; lead < 0x100; ++lead) {
            for (int trail = 0; trail < 0x100; ++trail) {
                tryBytes(std::string{static_cast<char>(lead), static_cast<char>(trail)});
            }
        }
    }
    return out;
}

std::set<uint32_t> selectedBy(const fs::path& table, int* result = nullptr) {
    auto index = freshIndex();
    std::string problem;
    int r = loadCodePageFile(table, index.data(), &problem);
    if (result) *result = r;
    EXPECT_EQ(problem, "") << table;
    auto m = marked(index);
    return std::set<uint32_t>(m.begin(), m.end());
}

uint16_t wcEntry(const std::vector<uint8_t>& image, uint32_t c) {
    const size_t m = image[26] | (image[27] << 8);
    const size_t wc = 28 + 2 * m;
    if (image[4] == 1) return image[wc + c];
    return static_cast<uint16_t>(image[wc + 2 * c] | (image[wc + 2 * c + 1] << 8));
}

}  // namespace

class GeneratedTable : public ::testing::TestWithParam<CodePage> {};

TEST_P(GeneratedTable, LoadsAndSelectsExactlyTheRoundTripRepertoire) {
    const CodePage cp = GetParam();
    const fs::path path = tablePath(cp.number);
    ASSERT_TRUE(fs::exists(path)) << path;
    std::vector<uint8_t> image = readAll(path);
    ASSERT_GE(image.size(), 540u);
    EXPECT_EQ(image[0], 0x0D);
    EXPECT_EQ(image[2] | (image[3] << 8), cp.number);
    EXPECT_EQ(image[4] | (image[5] << 8), cp.doubleByte ? 2 : 1);
    EXPECT_EQ(image[6] | (image[7] << 8), 0x3F);
    EXPECT_EQ(image[28 + 2 * 0x3F] | (image[29 + 2 * 0x3F] << 8), 0x3F);  // mbTable['?']

    int result = 1;
    std::set<uint32_t> selected = selectedBy(path, &result);
    EXPECT_EQ(result, 0);
    std::set<uint32_t> fromUnicode = roundTripsFromUnicode(cp);
    std::set<uint32_t> fromBytes = roundTripsFromBytes(cp);
    EXPECT_EQ(selected.size(), fromUnicode.size());
    EXPECT_EQ(selected, fromUnicode);
    EXPECT_EQ(selected, fromBytes);
    RecordProperty("selected", static_cast<int>(selected.size()));
    std::printf("c_%d.nls (%s): %zu code points\n", cp.number, cp.iconvName, selected.size());
}

INSTANTIATE_TEST_SUITE_P(CodePages, GeneratedTable, ::testing::ValuesIn(kGenerated),
                         [](const auto& info) { return std::to_string(info.param.number); });

TEST(GeneratedTables, KnownFacts) {
    auto c1252 = readAll(tablePath(1252));
    auto s1252 = selectedBy(tablePath(1252));
    EXPECT_EQ(c1252.size(), 66082u);   // the size of Windows' own single-byte tables
    EXPECT_TRUE(s1252.count(0x20AC));  // euro sign at 0x80
    EXPECT_EQ(wcEntry(c1252, 0x20AC), 0x80);
    EXPECT_EQ(wcEntry(c1252, 0x00E9), 0xE9);
    EXPECT_FALSE(s1252.count(0x0100));  // no best fit to 'A'
    EXPECT_EQ(wcEntry(c1252, 0x0100), 0x3F);
    EXPECT_EQ(s1252.size(), 251u);  // 256 bytes less the five undefined 0x81 0x8D 0x8F 0x90 0x9D

    auto c936 = readAll(tablePath(936));
    auto s936 = selectedBy(tablePath(936));
    EXPECT_TRUE(s936.count(0x4E00));
    EXPECT_EQ(wcEntry(c936, 0x4E00), 0xD2BB);
    EXPECT_EQ(wcEntry(c936, 0x0041), 0x0041);
    EXPECT_EQ(wcEntry(c936, 0xAC00), 0x003F);  // Hangul is not in GBK
    EXPECT_FALSE(s936.count(0xAC00));
    // GBK: 21,886 double-byte characters beside ASCII; the exact count is checked against
    // iconv above, here only its order of magnitude.
    EXPECT_GT(s936.size(), 21800u);
    EXPECT_LT(s936.size(), 22100u);

    EXPECT_EQ(wcEntry(readAll(tablePath(950)), 0x4E00), 0xA440);
    EXPECT_EQ(wcEntry(readAll(tablePath(932)), 0x3042), 0x82A0);
    EXPECT_EQ(wcEntry(readAll(tablePath(949)), 0xAC00), 0xB0A1);
    EXPECT_EQ(wcEntry(readAll(tablePath(437)), 0x2591), 0xB0);
    EXPECT_EQ(wcEntry(readAll(tablePath(874)), 0x0E01), 0xA1);
    // Composing converters must not turn a precomposed letter into two bytes.
    EXPECT_EQ(readAll(tablePath(1258)).size(), 66082u);
    EXPECT_EQ(readAll(tablePath(1255)).size(), 66082u);
}

TEST(GeneratedTables, BuildWithCodePage936SelectsGbk) {
    FontConfig config;
    config.codePages = {L"c_936.nls"};
    CharacterTables tables;
    SelectionReport report = buildCharacterTables(FONTBIN_BIN_DIR, config, tables);
    EXPECT_TRUE(report.warnings.empty());
    std::set<uint32_t> gbk = roundTripsFromUnicode({936, "CP936", true});
    ASSERT_EQ(static_cast<size_t>(tables.charCount), gbk.size());
    EXPECT_TRUE(std::equal(gbk.begin(), gbk.end(), tables.charList.begin()));
    const auto rank = std::distance(gbk.begin(), gbk.find(0x4E00));
    EXPECT_EQ(tables.charIndex[0x4E00], rank);
}

TEST(GeneratedTables, GeneratorRejectsWhatTheLibraryLacks) {
    std::string error;
    EXPECT_FALSE(codepage::buildCodePageTable(9999, error));
    EXPECT_NE(error.find("no converter for code page 9999"), std::string::npos) << error;
    EXPECT_FALSE(codepage::buildCodePageTable(0, error));
    EXPECT_FALSE(codepage::buildCodePageTable(70000, error));
}

#ifndef _WIN32
namespace {

int runTool(const std::string& arguments, const fs::path& errFile) {
    std::string command = std::string("\"") + FONTBIN_CODEPAGE_TOOL + "\" " + arguments + " 2>\"" +
                          errFile.string() + "\"";
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string readText(const fs::path& path) {
    auto bytes = readAll(path);
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace

TEST(CodePageTool, CommandLine) {
    TempDir dir;
    const fs::path err = dir.path() / "err.txt";
    const std::string out = "\"" + (dir.path() / "out").string() + "\"";

    EXPECT_NE(runTool("", err), 0);
    EXPECT_NE(readText(err).find("usage: fontbin-codepage OUTDIR CP"), std::string::npos);
    EXPECT_NE(runTool(out, err), 0);
    for (const char* bad : {"abc", "0", "65536", "-1", "12x", "\"\""}) {
        EXPECT_NE(runTool(out + " 1252 " + bad, err), 0) << bad;
        EXPECT_NE(readText(err).find("bad code-page number"), std::string::npos) << bad;
    }
    EXPECT_FALSE(fs::exists(dir.path() / "out" / "c_1252.nls"));  // arguments checked first

    // A code page the C library lacks is skipped with a warning; the others are written.
    EXPECT_EQ(runTool(out + " 9999 1252", err), 0);
    std::string warning = readText(err);
    EXPECT_NE(warning.find("warning: skipping 9999"), std::string::npos) << warning;
    EXPECT_EQ(std::count(warning.begin(), warning.end(), '\n'), 1);
    EXPECT_FALSE(fs::exists(dir.path() / "out" / "c_9999.nls"));
    EXPECT_EQ(readAll(dir.path() / "out" / "c_1252.nls"), readAll(tablePath(1252)));
}
#endif

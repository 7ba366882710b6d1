// Hostile inputs through the real binary: damaged fonts, huge or deeply nested configurations,
// giant selection files, awkward names and outputs that cannot be written. Every case must end
// with the documented status and a clear message, and a failed run must leave the font file of
// an earlier run as it was.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "support/Sandbox.h"

using testing_support::readBytes;
using testing_support::readFile;
using testing_support::RunResult;
using testing_support::shellQuote;
using testing_support::ToolSandbox;
using testing_support::writeFile;
namespace fs = std::filesystem;

namespace {

constexpr int kFontUnusable = 252;  // -4
constexpr int kOutputFailed = 251;  // -5

// A configuration selecting `selection` (JSON members) from `font` at 16 px, 1 bit, glyph-table
// layout (the largest fixed layout, so that a small file-size limit is sure to be hit).
std::string config(const std::string& font, const std::string& selection) {
    return "{" + selection + R"(, "fontSet": {"font": ")" + font +
           R"(", "fontSize": 16, "indexMethod": 0}})";
}

const std::string kAtoZ = R"("customerVals": [{"firstVal": "0x41", "range": "26"}])";

size_t lines(const std::string& text) {
    return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

// Files in `dir` whose name contains ".tmp": what a failed write would leave behind.
size_t temporaryFiles(const fs::path& dir) {
    size_t n = 0;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.path().filename().string().find(".tmp") != std::string::npos) ++n;
    return n;
}

uint32_t be32(const std::string& b, size_t at) {
    return static_cast<uint32_t>(
        static_cast<uint8_t>(b[at]) << 24 | static_cast<uint8_t>(b[at + 1]) << 16 |
        static_cast<uint8_t>(b[at + 2]) << 8 | static_cast<uint8_t>(b[at + 3]));
}

// Where the last table of the first face of a collection ends.
size_t firstFaceEnd(const std::string& ttc) {
    const uint32_t directory = be32(ttc, 12);
    const uint32_t tables = be32(ttc, directory + 2) & 0xFFFF;
    size_t end = 0;
    for (uint32_t i = 0; i < tables; ++i) {
        const size_t entry = directory + 12 + 16 * i;
        end = std::max<size_t>(end, size_t{be32(ttc, entry + 8)} + be32(ttc, entry + 12));
    }
    return end;
}

// Offset of a table of a TrueType file (not a collection), 0 when absent.
size_t tableOffset(const std::string& font, const std::string& tag) {
    const uint32_t tables = be32(font, 4) >> 16;
    for (uint32_t i = 0; i < tables; ++i)
        if (font.compare(12 + 16 * i, 4, tag) == 0) return be32(font, 12 + 16 * i + 8);
    return 0;
}

void putBe16(std::string& font, size_t at, int value) {
    font[at] = static_cast<char>((value >> 8) & 0xFF);
    font[at + 1] = static_cast<char>(value & 0xFF);
}

// The font with every simple outline claiming 65,536 points in one contour, more than its data
// holds: the table directory is sound, FreeType opens the file, and every glyph fails to load.
std::string withBrokenOutlines(std::string font) {
    auto be16 = [&font](size_t at) { return be32(font, at) >> 16; };
    const size_t head = tableOffset(font, "head"), maxp = tableOffset(font, "maxp");
    const size_t loca = tableOffset(font, "loca"), glyf = tableOffset(font, "glyf");
    const bool longOffsets = be16(head + 50) != 0;
    const uint32_t glyphs = be16(maxp + 4);
    for (uint32_t g = 0; g < glyphs; ++g) {
        const size_t from = longOffsets ? be32(font, loca + 4 * g) : 2 * be16(loca + 2 * g);
        const size_t to = longOffsets ? be32(font, loca + 4 * g + 4) : 2 * be16(loca + 2 * g + 2);
        if (to < from + 12) continue;
        const size_t at = glyf + from;
        putBe16(font, at, 1);            // numberOfContours
        putBe16(font, at + 10, 0xFFFF);  // the last point of that contour
    }
    return font;
}

// The font with other vertical metrics: units per em (head) and ascender and descender (hhea).
std::string withMetrics(std::string font, int unitsPerEm, int ascender, int descender) {
    putBe16(font, tableOffset(font, "head") + 18, unitsPerEm);
    putBe16(font, tableOffset(font, "hhea") + 4, ascender);
    putBe16(font, tableOffset(font, "hhea") + 6, descender);
    return font;
}

// Every failing case below: the status, exactly one line on standard error that contains
// `needle`, no temporary file, and the earlier font file unchanged.
void expectCleanFailure(const RunResult& r, int status, const std::string& needle,
                        const fs::path& earlier, const std::string& earlierBytes) {
    EXPECT_EQ(r.status, status) << r.out << r.err;
    EXPECT_EQ(lines(r.err), 1u) << r.err;
    EXPECT_NE(r.err.find(needle), std::string::npos) << r.err;
    EXPECT_EQ(readFile(earlier), earlierBytes);
    EXPECT_EQ(temporaryFiles(earlier.parent_path()), 0u);
}

}  // namespace

TEST(HostileFont, DamagedFontFilesStopTheRunAndKeepTheEarlierFile) {
    ToolSandbox box;
    const std::string dejavu = readFile(FONTBIN_TEST_FONT_DEJAVU);
    const std::string microhei = readFile(FONTBIN_TEST_FONT_MICROHEI);
    std::mt19937 random(20261207);
    std::string noise(64 * 1024, '\0');
    for (char& c : noise) c = static_cast<char>(random());
    // A real table directory followed by noise: FreeType gets past the signature.
    std::string headed = dejavu.substr(0, 12 + 16 * 22) + noise;

    struct Case {
        const char* name;
        std::string bytes;
        const char* needle;
    };
    const std::vector<Case> cases = {
        {"empty", "", "cannot open font"},
        {"random bytes", noise, "cannot open font"},
        {"real header, random tables", headed, "font"},
        {"cut in half", dejavu.substr(0, dejavu.size() / 2), "font"},
        // Only the last table is cut: FreeType alone would open it and draw from it.
        {"one byte short", dejavu.substr(0, dejavu.size() - 1), "past the end"},
        // Sound tables, broken glyph data: the fallback font must not quietly stand in.
        {"broken outlines", withBrokenOutlines(dejavu),
         "maps U+0041 but FreeType cannot draw it: FT_Load_Glyph"},
        // A line span of one unit against an em of 2048: every glyph scaled up 2,000 times.
        {"sliver of a line span", withMetrics(dejavu, 2048, 1, 0), "a sixteenth of its em"},
        // An em of 16 units with outlines of about 2,000: glyphs thousands of pixels across.
        {"giant outlines", withMetrics(dejavu, 16, 13, -3), "far beyond a cell"},
        // A collection cut one byte into the last table of its first face.
        {"collection cut short", microhei.substr(0, firstFaceEnd(microhei) - 1), "past the end"},
    };
    const fs::path earlier = box.project() / "damaged_size16_bits1_font.bin";
    const std::string earlierBytes = "an earlier font file";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(box.toolDir() / "font" / "damaged.ttf", c.bytes);
        writeFile(earlier, earlierBytes);
        box.writeConfig(config("damaged.ttf", kAtoZ));
        const RunResult r = box.run({"FontConfig.json"});
        expectCleanFailure(r, kFontUnusable, c.needle, earlier, earlierBytes);
        EXPECT_NE(r.err.find("damaged.ttf"), std::string::npos) << r.err;
    }
}

TEST(HostileFont, FontPathThatIsADirectory) {
    ToolSandbox box;
    fs::create_directories(box.toolDir() / "font" / "folder.ttf");
    const fs::path earlier = box.project() / "folder_size16_bits1_font.bin";
    writeFile(earlier, "earlier");
    box.writeConfig(config("folder.ttf", kAtoZ));
    expectCleanFailure(box.run({"FontConfig.json"}), kFontUnusable, "is a directory", earlier,
                       "earlier");
}

TEST(HostileNames, PipesAreRefusedInsteadOfWaitedOn) {
    // Opening a pipe for reading waits for a writer; no input may make the tool hang.
    FONTBIN_SKIP_ON_WINDOWS("named pipes are made with mkfifo");
#ifndef _WIN32
    ToolSandbox box;
    ASSERT_EQ(mkfifo((box.project() / "pipe.json").c_str(), 0600), 0);
    RunResult r = box.run({"pipe.json"});
    EXPECT_EQ(r.status, 254);
    EXPECT_NE(r.out.find("pipe.json not exist!"), std::string::npos) << r.out;

    ASSERT_EQ(mkfifo((box.project() / "list.txt").c_str(), 0600), 0);
    ASSERT_EQ(mkfifo((box.toolDir() / "font" / "pipe.ttf").c_str(), 0600), 0);
    box.writeConfig(R"({"mappingPaths": ["list.txt"], "cstPaths": ["list.txt"], )" + kAtoZ +
                    R"(, "fontSet": {"font": "pipe.ttf"}})");
    r = box.run({"FontConfig.json"});
    EXPECT_EQ(r.status, 253);  // a selection file that cannot be read stops the run
    EXPECT_NE(r.err.find("mapping file \"list.txt\": not a regular file"), std::string::npos)
        << r.err;
    box.writeConfig("{" + kAtoZ + R"(, "fontSet": {"font": "pipe.ttf"}})");
    r = box.run({"FontConfig.json"});
    EXPECT_EQ(r.status, kFontUnusable);
    EXPECT_NE(r.err.find("pipe.ttf\": it is not a regular file"), std::string::npos) << r.err;
#endif
}

TEST(HostileConfig, TenMegabyteConfiguration) {
    ToolSandbox box;
    // Valid JSON: a 10 MB member the tool does not know, then the real settings.
    const std::string big = R"({"notes": ")" + std::string(10 << 20, 'x') + R"(", )" + kAtoZ +
                            R"(, "fontSet": {"font": "DejaVuSans.ttf", "fontSize": 16}})";
    box.writeConfig(big);
    RunResult r = box.run({"FontConfig.json"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readBytes(box.project() / "DejaVuSans_size16_bits1_out.cst").size(), 52u);

    // 10 MB that is not JSON: one error line, and the run stops.
    box.writeConfig(std::string(10 << 20, '{'));
    r = box.run({"FontConfig.json"});
    EXPECT_EQ(r.status, 253);
    EXPECT_EQ(lines(r.err), 1u) << r.err;
    EXPECT_NE(r.err.find("not valid JSON"), std::string::npos) << r.err;
}

TEST(HostileConfig, HundredThousandCustomerRanges) {
    ToolSandbox box;
    // 100,000 ranges over the capital letters; every 1,000th reaches past U+FFFF.
    std::string ranges = R"("customerVals": [)";
    for (int i = 0; i < 100000; ++i) {
        if (i) ranges += ",";
        ranges += i % 1000 == 999
                      ? R"({"firstVal": "0xFFFF", "range": "2"})"
                      : R"({"firstVal": ")" + std::to_string(0x41 + i % 26) + R"(", "range": "1"})";
    }
    ranges += "]";
    box.writeConfig(config("DejaVuSans.ttf", ranges));
    const RunResult r = box.run({"FontConfig.json"});
    EXPECT_EQ(r.status, 0) << r.err;
    size_t rejected = 0;
    for (size_t at = r.out.find("error customer range"); at != std::string::npos;
         at = r.out.find("error customer range", at + 1))
        ++rejected;
    EXPECT_EQ(rejected, 100u);
    EXPECT_EQ(readBytes(box.project() / "DejaVuSans_size16_bits1_out.cst").size(), 52u);
}

TEST(HostileConfig, JsonNestedTenThousandDeep) {
    ToolSandbox box;
    box.addFont(FONTBIN_TEST_FONT_DEJAVU, "simsun.ttc");  // the default font, so the run ends
    const std::string deep = std::string(10000, '[') + std::string(10000, ']');
    box.writeConfig(R"({"deep": )" + deep + ", " + kAtoZ +
                    R"(, "fontSet": {"font": "DejaVuSans.ttf"}})");
    const RunResult r = box.run({"FontConfig.json"});
    // The parser refuses the nesting instead of recursing 10,000 levels, and the run stops.
    EXPECT_EQ(r.status, 253) << r.err;
    EXPECT_NE(r.err.find("nested more than 1000 deep"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(box.project() / "_size32_bits1_out.cst"));
}

TEST(HostileSelection, MillionLineMappingAndOneMegabyteLine) {
    ToolSandbox box;
    std::string million;
    million.reserve(8 << 20);
    char line[16];
    for (int i = 0; i < 1000000; ++i) {
        std::snprintf(line, sizeof line, "0x%04X\t0x%04X\n", 0x8140 + i % 64, 0x4E00 + i % 64);
        million += line;
    }
    writeFile(box.project() / "million.txt", million);
    // One line of 1 MB: cut to what the line buffer holds, so only its first value counts.
    writeFile(box.project() / "long.txt", "0x41 " + std::string(1 << 20, 'z') + " 0x42\n0x43\n");
    box.writeConfig(config("wqy-microhei.ttc", R"("mappingPaths": ["million.txt", "long.txt"])"));
    const RunResult r = box.run({"FontConfig.json"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(lines(r.err), 1u) << r.err;
    EXPECT_NE(r.err.find("long.txt"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("longer than 599"), std::string::npos) << r.err;
    // U+0041, U+0043 and the 64 CJK characters: 66 code points.
    const auto list = readBytes(box.project() / "wqy-microhei_size16_bits1_out.cst");
    ASSERT_EQ(list.size(), 2u * 66u);
    EXPECT_EQ(list[0] | list[1] << 8, 0x41);
    EXPECT_EQ(list[2] | list[3] << 8, 0x43);
    EXPECT_EQ(list[4] | list[5] << 8, 0x4E00);
}

TEST(HostileSelection, CstFileOfOddLength) {
    ToolSandbox box;
    writeFile(box.project() / "odd.cst", std::string("\x02\x4e\x41", 3));
    box.writeConfig(config("wqy-microhei.ttc", R"("cstPaths": ["odd.cst"])"));
    const RunResult r = box.run({"FontConfig.json"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(lines(r.err), 1u) << r.err;
    EXPECT_NE(r.err.find("odd length"), std::string::npos) << r.err;
    EXPECT_EQ(readFile(box.project() / "wqy-microhei_size16_bits1_out.cst"),
              std::string("\x02\x4e", 2));
}

TEST(HostileNames, SpacesAndNonAsciiLettersInEveryPath) {
    // Names are UTF-8 text: u8path keeps them so on Windows too, where a plain string is read
    // in the ANSI code page.
    auto u8 = [](const std::string& name) { return fs::u8path(name); };
    ToolSandbox box;
    const std::string fontName = "Fönt Ñame 字体.ttf";
    box.addFont(FONTBIN_TEST_FONT_DEJAVU, fontName);
    const fs::path dir = box.project() / u8("my fonts/配置 ü");
    fs::create_directories(dir);
    writeFile(dir / u8("映射 map é.txt"), "0x8140\t0x4E02\n");
    writeFile(dir / u8("列表 list ß.cst"), std::string("\x41\x00", 2));
    writeFile(
        dir / u8("Font Config ñ.json"),
        config(fontName, R"("mappingPaths": ["映射 map é.txt"], "cstPaths": ["列表 list ß.cst"],
                                  "customerVals": [{"firstVal": "0x42", "range": "1"}])"));
    // Selection files are relative to the working directory: run from the configuration's folder.
    const RunResult r = box.run({"Font Config ñ.json"}, dir);
    EXPECT_EQ(r.status, 0) << r.err;
    const auto list = readBytes(dir / u8("Fönt Ñame 字体_size16_bits1_out.cst"));
    EXPECT_EQ(list, (std::vector<uint8_t>{0x41, 0, 0x42, 0, 0x02, 0x4E}));
    const auto font = readBytes(dir / u8("Fönt Ñame 字体_size16_bits1_font.bin"));
    // The header keeps the stem's UTF-8 bytes.
    const std::string stem = "Fönt Ñame 字体";
    ASSERT_GT(font.size(), 14u + stem.size());
    EXPECT_EQ(std::string(font.begin() + 14, font.begin() + 14 + stem.size()), stem);

    // The same through an absolute path from elsewhere.
    fs::remove(dir / u8("Fönt Ñame 字体_size16_bits1_font.bin"));
    const RunResult again = box.run({(dir / u8("Font Config ñ.json")).u8string()}, dir);
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_TRUE(fs::exists(dir / u8("Fönt Ñame 字体_size16_bits1_font.bin")));
}

TEST(HostileOutput, FileSizeLimitFailsTheWrite) {
    FONTBIN_SKIP_ON_WINDOWS("the size limit is set with ulimit");
    ToolSandbox box;
    box.writeConfig(config("DejaVuSans.ttf", kAtoZ));
    const fs::path earlier = box.project() / "DejaVuSans_size16_bits1_font.bin";
    writeFile(earlier, "earlier");
    // 64 blocks of 512 bytes: the list file fits, the 131 KB glyph table does not.
    const RunResult r = testing_support::runShell(
        "ulimit -f 64; " + shellQuote(box.tool().string()) + " FontConfig.json", box.project());
    expectCleanFailure(r, kOutputFailed, "cannot write", earlier, "earlier");
    EXPECT_NE(r.err.find(earlier.string()), std::string::npos) << r.err;
    // The reason is the write's own, not whatever a later system call left behind.
    EXPECT_NE(r.err.find("File too large"), std::string::npos) << r.err;
}

TEST(HostileOutput, ReadOnlyOutputFolder) {
    FONTBIN_SKIP_ON_WINDOWS("folder permissions and setpriv; the Windows tests lock files instead");
#ifndef _WIN32
    ToolSandbox box;
    box.writeConfig(config("DejaVuSans.ttf", kAtoZ));
    const fs::path earlier = box.project() / "DejaVuSans_size16_bits1_font.bin";
    writeFile(earlier, "earlier");
    fs::permissions(box.project(),
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    std::string prefix;
    if (geteuid() == 0) {
        // Root writes anywhere; run the tool as an unprivileged user instead.
        if (!fs::exists("/usr/bin/setpriv")) GTEST_SKIP() << "setpriv is not installed";
        prefix = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
        // A temporary folder below a private one (TMPDIR) is out of that user's reach.
        const RunResult probe = testing_support::runShell(
            prefix + "test -r FontConfig.json -a -x " + shellQuote(box.tool().string()),
            box.project());
        if (probe.status != 0) GTEST_SKIP() << "the unprivileged user cannot reach " << box.root();
    }
    const RunResult r = testing_support::runShell(
        prefix + shellQuote(box.tool().string()) + " FontConfig.json", box.project());
    fs::permissions(box.project(), fs::perms::owner_write, fs::perm_options::add);
    // The list file, written first, is the one that fails.
    expectCleanFailure(r, kOutputFailed, "DejaVuSans_size16_bits1_out.cst", earlier, "earlier");
    EXPECT_NE(r.err.find("Permission denied"), std::string::npos) << r.err;
#endif
}

TEST(HostileOutput, OutputNamesThatAreDirectories) {
    ToolSandbox box;
    box.writeConfig(config("DejaVuSans.ttf", kAtoZ));
    for (const char* name :
         {"DejaVuSans_size16_bits1_out.cst", "DejaVuSans_size16_bits1_font.bin"}) {
        SCOPED_TRACE(name);
        const fs::path blocked = box.project() / name;
        fs::create_directories(blocked / "inside");
        const RunResult r = box.run({"FontConfig.json"});
        EXPECT_EQ(r.status, kOutputFailed) << r.err;
        EXPECT_EQ(lines(r.err), 1u) << r.err;
        EXPECT_NE(r.err.find(name), std::string::npos) << r.err;
        EXPECT_TRUE(fs::is_directory(blocked / "inside"));
        EXPECT_EQ(temporaryFiles(box.project()), 0u);
        fs::remove_all(blocked);
    }
}

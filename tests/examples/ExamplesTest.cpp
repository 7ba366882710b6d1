// Every example under examples/ run the way scripts/run.sh runs it: the real tool, the working
// directory set to the example's folder, the configuration given by its full path. The checks
// are what the cookbook promises: the output names and sizes, the messages, and the byte
// layouts that the recipes explain to firmware developers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/Sandbox.h"

using testing_support::readBytes;
using testing_support::readFile;
using testing_support::RunResult;
using testing_support::ToolSandbox;
using testing_support::writeFile;
namespace fs = std::filesystem;

namespace {

const fs::path kExamples = fs::path(FONTBIN_SOURCE_DIR) / "examples";

// Outputs of earlier runs in the source tree are left out of the copy, so every output the
// test looks at comes from the run under test.
bool isGenerated(const fs::path& file) {
    const std::string name = file.filename().string();
    auto endsWith = [&](const std::string& tail) {
        return name.size() >= tail.size() &&
               name.compare(name.size() - tail.size(), tail.size(), tail) == 0;
    };
    return endsWith("_font.bin") || endsWith("_compact.bin") || endsWith("_out.cst") ||
           endsWith("_sheet.png");
}

std::set<std::string> filesIn(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.insert(entry.path().filename().string());
    return names;
}

// The examples tree, copied into the sandbox (examples may share files through "../").
class ExampleTree {
public:
    ExampleTree() {
        // The code-page tables, for the examples that select by code page.
        fs::copy(fs::path(FONTBIN_BIN_DIR) / "CodePage", box_.toolDir() / "CodePage",
                 fs::copy_options::recursive | fs::copy_options::overwrite_existing);
        for (const auto& entry : fs::recursive_directory_iterator(kExamples)) {
            const fs::path rel = fs::relative(entry.path(), kExamples);
            if (entry.is_directory()) {
                fs::create_directories(root() / rel);
            } else if (!isGenerated(entry.path()) &&
                       entry.path().filename().string().rfind('.', 0) != 0) {
                fs::copy_file(entry.path(), root() / rel);
            }
        }
    }
    fs::path root() const { return box_.root() / "examples"; }
    fs::path folder(const std::string& name) const {
        return root() / fs::path(name).make_preferred();
    }
    const ToolSandbox& box() const { return box_; }

    // As scripts/run.sh does: cd into the configuration's folder, pass its full path.
    RunResult run(const std::string& folderName, const std::string& config) const {
        return box_.run({(folder(folderName) / config).string()}, folder(folderName));
    }

private:
    ToolSandbox box_;
};

// One fixed-record font file with the code-point list (indexMethod 1, crop 0), as the recipes
// that compare layouts use.
struct ListFont {
    std::vector<uint8_t> bytes;
    size_t headerLength = 0;
    size_t count = 0;
    size_t recordSize = 0;

    explicit ListFont(const fs::path& path) : bytes(readBytes(path)) {
        if (bytes.size() < 14) return;
        headerLength = bytes[0];
        const uint32_t indexBytes =
            bytes[9] | bytes[10] << 8 | bytes[11] << 16 | static_cast<uint32_t>(bytes[12]) << 24;
        count = indexBytes / 2;
        if (count) recordSize = (bytes.size() - headerLength - indexBytes) / count;
    }
    uint16_t code(size_t k) const {
        const size_t at = headerLength + 2 * k;
        return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
    }
    const uint8_t* record(size_t k) const {
        return bytes.data() + headerLength + 2 * count + k * recordSize;
    }
    // 1 bit per pixel, row-major over a cell `cols` wide, first pixel in bit 0.
    int pixel(size_t k, int cols, int x, int y) const {
        const int bit = y * cols + x;
        return (record(k)[4 + bit / 8] >> (bit % 8)) & 1;
    }
};

std::string replaceOnce(std::string text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

struct Example {
    const char* folder;
    const char* config;
    const char* stem;         // output names: <stem>_font.bin, <stem>_out.cst
    int64_t fontBytes;        // exact size, or kTrimmed / kCompact (checked by range)
    int64_t listBytes;        // 2 per selected character
    const char* inspectArgs;  // what fontbin-inspect needs to know about the run
    const char* stderrText;   // expected on stderr; "" means nothing at all
};

constexpr int64_t kTrimmed = -1;  // offset table and trimmed records, <stem>_font.bin
constexpr int64_t kCompact = -2;  // "compact": true, <stem>_compact.bin

// Sizes of fixed-record files: header (14 + name + 1) + index part + glyphs x (4 + cell bytes).
const Example kExampleRuns[] = {
    // 16 x 16 cell at 1 bit: 32 bytes; glyph-number table of 131072 bytes.
    {"quickstart", "FontConfig.json", "wqy-microhei_size16_bits1", 27 + 131072 + 7540 * 36,
     7540 * 2, "", ""},
    // 12 x 16 cell at 1 bit: 24 bytes; code-point list of 95 entries.
    {"oled-ascii-12px", "FontConfig.json", "DejaVuSansMono_size12_bits1", 29 + 190 + 95 * 28, 190,
     "", ""},
    // Trimmed records after a 262144-byte offset table.
    {"gb2312-grey4", "FontConfig.json", "wqy-microhei_size16_bits4", kTrimmed, 7540 * 2, "", ""},
    // The same characters in the compact layout.
    {"compact-cjk", "FontConfig.json", "wqy-microhei_size16_bits4", kCompact, 7540 * 2, "", ""},
    // The code page selects 9397 characters; 1914 of them (controls, user-defined area) have
    // no glyph in the font, and the run says so.
    {"japanese-cp932", "FontConfig.json", "ipag_size16_bits1", 19 + 9397 * 2 + 9397 * 36, 9397 * 2,
     "",
     "warning: ipag.ttf has no glyph for 1914 selected characters (U+0000 U+0001 U+0002 U+0003 "
     "U+0004 U+0005 U+0006 U+0007 ...): 1914 drawn as its missing-glyph symbol\n"},
    {"sideways-rotate", "FontConfig.json", "DejaVuSans_size16_bits1", 25 + 190 + 95 * 36, 190,
     "--rotate 1", ""},
    {"ssd1306-pages", "FontConfig.json", "DejaVuSansMono_size16_bits1", 29 + 190 + 95 * 36, 190, "",
     ""},
    // 95 ASCII characters and 29 of the menu texts; the 24 px cell holds 72 bytes at 1 bit.
    {"reuse-selection", "first-run.json", "wqy-microhei_size16_bits1", 27 + 248 + 124 * 36, 248, "",
     ""},
    {"reuse-selection", "FontConfig.json", "wqy-microhei_size24_bits1", 27 + 248 + 124 * 76, 248,
     "", ""},
    // The Windows package's own configuration: code page 936 and ASCII, 21920 characters, drawn
    // by the Unifont that comes with the tool.
    {"windows-quickstart", "FontConfig.json", "unifont_size16_bits1", 22 + 21920 * (2 + 36),
     21920 * 2, "", ""},
    // The 60 different characters of the UI texts, the space included.
    {"ui-strings", "FontConfig.json", "wqy-microhei_size16_bits1", 27 + 120 + 60 * 36, 120, "", ""},
    // Arabic, Hindi and Thai UI strings shaped: the ten digits and the 85 glyphs the strings
    // use (under private-use code points where no digit draws them) in 16 x 24 cells at 4 bits.
    {"ui-strings-shaped", "FontConfig.json", "NotoSansArabic-Regular_size24_bits4",
     37 + 190 + 95 * 292, 190, "",
     "characters drawn: 45 by NotoSansArabic-Regular.ttf, 26 by NotoSansDevanagari-Regular.ttf, "
     "22 by NotoSansThai-Regular.ttf, 2 by DejaVuSans.ttf\n"},
    // ASCII and 世界 for the firmware example, which CMake builds (tests/package).
    {"firmware-cmake/fonts", "FontConfig.json", "wqy-microhei_size16_bits1", 27 + 194 + 97 * 36,
     194, "", ""},
    // Latin (and the Greek, Cyrillic and symbols of GB2312) from DejaVu Sans, the hanzi from the
    // simplified Chinese face of Noto Sans CJK.
    {"latin-and-cjk", "FontConfig.json", "DejaVuSans_size16_bits1", 25 + 7540 * (2 + 36), 7540 * 2,
     "", "characters drawn: 401 by DejaVuSans.ttf, 7139 by NotoSansCJK-Regular.ttc (face 2)\n"},
    // Inter's own bold instance at 4 bits: 16 x 16 cell of 128 bytes.
    {"variable-bold", "FontConfig.json", "Inter_wght700_size16_bits4", 20 + 190 + 95 * 132, 190, "",
     ""},
    {"simplified-chinese-face", "FontConfig.json", "NotoSansCJK-Regular_face2_size16_bits1",
     34 + 7540 * (2 + 36), 7540 * 2, "", ""},
};

// Test names and failure messages show the example, not the bytes of the record.
void PrintTo(const Example& e, std::ostream* os) {
    *os << e.folder << "/" << e.config;
}

std::string exampleName(const testing::TestParamInfo<Example>& info) {
    std::string name = std::string(info.param.folder) + "_" + info.param.config;
    for (char& c : name)
        if (!isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

class ExampleRunTest : public testing::TestWithParam<Example> {};

TEST_P(ExampleRunTest, RunsAndWritesTheDocumentedFiles) {
    const Example& e = GetParam();
    ExampleTree tree;
    const fs::path dir = tree.folder(e.folder);
    const std::set<std::string> before = filesIn(dir);
    const bool shapesStrings =
        testing_support::readFile(dir / e.config).find("stringPaths") != std::string::npos;

    const RunResult r = tree.run(e.folder, e.config);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out, testing_support::toolDirLine(tree.box().toolDir()) +
                         (dir / e.config).string() + "\n" + dir.string() + "\n");
    if (std::string(e.stderrText).empty()) {
        EXPECT_EQ(r.err, "");
    } else {
        EXPECT_NE(r.err.find(e.stderrText), std::string::npos) << r.err;
    }

    // Exactly the two outputs appear, in the configuration's folder (and the string table when
    // the example shapes strings).
    const std::string fontName =
        std::string(e.stem) + (e.fontBytes == kCompact ? "_compact.bin" : "_font.bin");
    const std::string listName = std::string(e.stem) + "_out.cst";
    std::set<std::string> expected = before;
    expected.insert(fontName);
    expected.insert(listName);
    if (shapesStrings) expected.insert(std::string(e.stem) + "_strings.bin");
    EXPECT_EQ(filesIn(dir), expected);

    const auto fontSize = static_cast<int64_t>(fs::file_size(dir / fontName));
    if (e.fontBytes >= 0) {
        EXPECT_EQ(fontSize, e.fontBytes);
    } else if (e.fontBytes == kCompact) {
        // Well under the fixed-record layout of the same 16 x 16 cells at 4 bits.
        const int64_t glyphs = e.listBytes / 2;
        EXPECT_GT(fontSize, glyphs * 2);
        EXPECT_LT(fontSize, glyphs * (2 + 4 + 128) * 6 / 10);
    } else {
        // Offset table plus trimmed records, smaller than the same glyphs as fixed records.
        const int64_t glyphs = e.listBytes / 2;
        EXPECT_GT(fontSize, 27 + 262144 + glyphs * 4);
        EXPECT_LT(fontSize, 27 + 262144 + glyphs * (4 + 128));
    }
    EXPECT_EQ(static_cast<int64_t>(fs::file_size(dir / listName)), e.listBytes);

    const fs::path inspect = testing_support::binary("fontbin-inspect");
    ASSERT_TRUE(fs::exists(inspect)) << inspect;
    std::vector<std::string> args{fontName};
    std::istringstream words(e.inspectArgs);
    for (std::string word; words >> word;) args.push_back(word);
    const RunResult check = testing_support::runProgram(inspect, args, dir);
    EXPECT_EQ(check.status, 0) << check.out << check.err;
    EXPECT_NE(check.out.find("every structural rule holds"), std::string::npos) << check.out;
}

INSTANTIATE_TEST_SUITE_P(Examples, ExampleRunTest, testing::ValuesIn(kExampleRuns), exampleName);

TEST(Examples, EveryFolderHasARun) {
    std::set<std::string> tested;
    for (const Example& e : kExampleRuns)
        tested.insert(fs::path(e.folder).begin()->string());  // the example's own folder
    std::set<std::string> folders;
    for (const auto& entry : fs::directory_iterator(kExamples))
        if (entry.is_directory()) folders.insert(entry.path().filename().string());
    EXPECT_EQ(folders, tested);
}

uint64_t fnv1a(const std::string& bytes) {
    uint64_t hash = 0xcbf29ce484222325u;
    for (unsigned char b : bytes) hash = (hash ^ b) * 0x100000001b3u;
    return hash;
}

// Without the typeface keys every byte of the quick start stays as it was before they existed.
TEST(Examples, QuickStartBytesAreUnchanged) {
    ExampleTree tree;
    ASSERT_EQ(tree.run("quickstart", "FontConfig.json").status, 0);
    const fs::path dir = tree.folder("quickstart");
    EXPECT_EQ(fnv1a(readFile(dir / "wqy-microhei_size16_bits1_font.bin")), 0xd1bbdbf531d6a1ffu);
    EXPECT_EQ(fnv1a(readFile(dir / "wqy-microhei_size16_bits1_out.cst")), 0x12c7d4f799a92759u);
}

// The list file fed back through cstPaths selects the same characters in the same order, so
// glyph numbers stay valid in firmware built against the first font.
TEST(Examples, ReusedListReproducesTheSelection) {
    ExampleTree tree;
    ASSERT_EQ(tree.run("reuse-selection", "first-run.json").status, 0);
    ASSERT_EQ(tree.run("reuse-selection", "FontConfig.json").status, 0);
    const fs::path dir = tree.folder("reuse-selection");
    const std::string shipped = readFile(dir / "menu.cst");
    EXPECT_EQ(readFile(dir / "wqy-microhei_size16_bits1_out.cst"), shipped);
    EXPECT_EQ(readFile(dir / "wqy-microhei_size24_bits1_out.cst"), shipped);
    const ListFont small(dir / "wqy-microhei_size16_bits1_font.bin");
    const ListFont large(dir / "wqy-microhei_size24_bits1_font.bin");
    ASSERT_EQ(small.count, 124u);
    ASSERT_EQ(large.count, 124u);
    for (size_t k = 0; k < small.count; ++k) EXPECT_EQ(small.code(k), large.code(k)) << k;
}

// textPaths selects exactly the characters of the UI texts: no line ends, the space included.
TEST(Examples, UiStringsSelectExactlyTheirCharacters) {
    ExampleTree tree;
    ASSERT_EQ(tree.run("ui-strings", "FontConfig.json").status, 0);
    const std::string list =
        readFile(tree.folder("ui-strings") / "wqy-microhei_size16_bits1_out.cst");
    std::u16string selected;
    for (size_t i = 0; i + 1 < list.size(); i += 2)
        selected += static_cast<char16_t>(static_cast<uint8_t>(list[i]) |
                                          static_cast<uint8_t>(list[i + 1]) << 8);
    EXPECT_EQ(selected,
              u" !%-./0258:BCFSTVWacdeghilmnoprstuwy\u00B0亮低取回定已度接无消温电确线络网置设返连"
              u"量音！");
}

// Column scanning as an SSD1306 wants it: with a 16 px font each glyph column is two bytes, the
// upper page (rows 0-7) then the lower page (rows 8-15), bit 0 the top pixel of the page. The
// same font scanned by rows is the reference.
TEST(Examples, ColumnScanGivesPageBytes) {
    ExampleTree tree;
    const fs::path dir = tree.folder("ssd1306-pages");
    ASSERT_EQ(tree.run("ssd1306-pages", "FontConfig.json").status, 0);
    const ListFont columns(dir / "DejaVuSansMono_size16_bits1_font.bin");
    fs::rename(dir / "DejaVuSansMono_size16_bits1_font.bin", dir / "columns.bin");

    const std::string config = readFile(dir / "FontConfig.json");
    writeFile(dir / "FontConfig.json",
              replaceOnce(config, "\"scanMode\": \"V\"", "\"scanMode\": \"H\""));
    ASSERT_EQ(tree.run("ssd1306-pages", "FontConfig.json").status, 0);
    const ListFont rows(dir / "DejaVuSansMono_size16_bits1_font.bin");

    ASSERT_EQ(columns.count, 95u);
    ASSERT_EQ(columns.recordSize, 36u);
    ASSERT_EQ(rows.recordSize, 36u);
    ASSERT_EQ(columns.bytes[8] & 0x04, 0x04);  // the header's column-scan flag
    int inked = 0;
    for (size_t k = 0; k < columns.count; ++k) {
        const uint8_t* record = columns.record(k);
        // The metric bytes describe the upright glyph, as in the row-scanned file.
        EXPECT_EQ(std::vector<uint8_t>(record, record + 4),
                  std::vector<uint8_t>(rows.record(k), rows.record(k) + 4))
            << columns.code(k);
        for (int x = 0; x < 16; ++x) {
            for (int page = 0; page < 2; ++page) {
                const uint8_t pageByte = record[4 + 2 * x + page];
                for (int bit = 0; bit < 8; ++bit) {
                    const int y = 8 * page + bit;
                    ASSERT_EQ((pageByte >> bit) & 1, rows.pixel(k, 16, x, y))
                        << "U+" << std::hex << columns.code(k) << std::dec << " x " << x << " y "
                        << y;
                    inked += rows.pixel(k, 16, x, y);
                }
            }
        }
    }
    EXPECT_GT(inked, 1000);
}

// rotate=1 turns every glyph a quarter clockwise: stored pixel (x, y) is upright pixel
// (column y, row 15 - x) of the same font drawn without the setting.
TEST(Examples, SidewaysGlyphsAreTurnedClockwise) {
    ExampleTree tree;
    const fs::path dir = tree.folder("sideways-rotate");
    ASSERT_EQ(tree.run("sideways-rotate", "FontConfig.json").status, 0);
    const ListFont turned(dir / "DejaVuSans_size16_bits1_font.bin");
    // setting.ini is read from the working directory only: without it the glyphs stand upright.
    fs::rename(dir / "setting.ini", dir / "setting.ini.off");
    ASSERT_EQ(tree.run("sideways-rotate", "FontConfig.json").status, 0);
    const ListFont upright(dir / "DejaVuSans_size16_bits1_font.bin");

    ASSERT_EQ(turned.count, 95u);
    ASSERT_EQ(turned.recordSize, 36u);
    ASSERT_EQ(upright.recordSize, 36u);
    int inked = 0;
    for (size_t k = 0; k < turned.count; ++k) {
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 16; ++x) {
                ASSERT_EQ(turned.pixel(k, 16, x, y), upright.pixel(k, 16, y, 15 - x))
                    << "U+" << std::hex << turned.code(k) << std::dec << " x " << x << " y " << y;
                inked += turned.pixel(k, 16, x, y);
            }
        }
        // The glyph's right edge becomes its bottom edge in the turned cell.
        if (turned.code(k) != 0x20) {
            EXPECT_EQ(turned.record(k)[3], upright.record(k)[2]) << turned.code(k);
        }
    }
    EXPECT_GT(inked, 1000);
}

}  // namespace

// The export loop through the real binary on real fonts: names, font lookup, fallback, file
// layouts, and what a failed run leaves behind.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/resource.h>
#endif

#include "support/Sandbox.h"

using testing_support::readBytes;
using testing_support::ToolSandbox;
namespace fs = std::filesystem;

namespace {

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (uint32_t(b[at + 3]) << 24);
}
uint16_t le16(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | (b[at + 1] << 8);
}

std::string config(const std::string& selection, const std::string& fontSet) {
    return "{" + selection + ", \"fontSet\": {" + fontSet + "}}";
}

const std::string kAtoZ = R"("customerVals": [{"firstVal": "0x41", "range": "26"}])";

}  // namespace

TEST(Export, HeaderAndFixedLayoutForAFontNamedSimsun) {
    ToolSandbox box;
    box.addFont(FONTBIN_TEST_FONT_DEJAVU, "simsun.ttc");
    box.writeConfig(config(kAtoZ, R"("font": "simsun.ttc", "fontSize": 16, "indexMethod": 0,
                                     "bold": true, "scanMode": "V")"));
    auto r = box.run({"FontConfig.json"});
    ASSERT_EQ(r.status, 0) << r.err;
    auto file = readBytes(box.project() / "simsun_size16_bits1_font.bin");
    const std::vector<uint8_t> header = {0x15, 1,    3, 0,   0,   1,   16,  1,   0x05, 0x00, 0x00,
                                         0x02, 0x00, 7, 's', 'i', 'm', 's', 'u', 'n',  0};
    ASSERT_GE(file.size(), header.size());
    EXPECT_EQ(std::vector<uint8_t>(file.begin(), file.begin() + 21), header);
    // "V": 16 rows x 16 columns at 1 bit = 32 bytes a glyph, plus 4 metric bytes.
    EXPECT_EQ(file.size(), 21u + 131072u + 26u * 36u);
    EXPECT_EQ(le16(file, 21 + 2 * 0x41), 0);
    EXPECT_EQ(le16(file, 21 + 2 * 0x5A), 25);
    EXPECT_EQ(le16(file, 21 + 2 * 0x61), 0xFFFF);
    EXPECT_EQ(readBytes(box.project() / "simsun_size16_bits1_out.cst").size(), 52u);
}

TEST(Export, NamesComeFromTheConfiguredFont) {
    ToolSandbox box;
    box.addFont(FONTBIN_TEST_FONT_DEJAVU, "simsun.ttc");
    box.addFont(FONTBIN_TEST_FONT_DEJAVU, "my.font.ttf");
    // An empty font: names start with "_size", the default font draws, the header names it.
    box.writeConfig(config(kAtoZ, R"("fontSize": 12)"));
    auto r = box.run({"FontConfig.json"});
    ASSERT_EQ(r.status, 0) << r.err;
    auto file = readBytes(box.project() / "_size12_bits1_font.bin");
    ASSERT_GT(file.size(), 21u);
    EXPECT_EQ(std::string(file.begin() + 14, file.begin() + 20), "simsun");
    EXPECT_TRUE(fs::exists(box.project() / "_size12_bits1_out.cst"));

    box.writeConfig(config(kAtoZ, R"("font": "my.font.ttf", "fontSize": 12, "renderMode": 4)"));
    r = box.run({"FontConfig.json"});
    ASSERT_EQ(r.status, 0) << r.err;
    file = readBytes(box.project() / "my_size12_bits4_font.bin");
    ASSERT_GT(file.size(), 17u);
    EXPECT_EQ(file[0], 14 + 3);
    EXPECT_EQ(std::string(file.begin() + 14, file.begin() + 17), std::string("my\0", 3));
}

TEST(Export, MissingOrUnusableFont) {
    ToolSandbox box;
    box.writeConfig(config(kAtoZ, R"("font": "nothere.ttf", "fontSize": 16)"));
    auto r = box.run({"FontConfig.json"});
    EXPECT_EQ(r.status, 252);
    // The message names the second place looked in, and the list file is written all the same.
    EXPECT_NE(r.out.find((box.toolDir() / "font" / "nothere.ttf").string() + " not exist!\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(readBytes(box.project() / "nothere_size16_bits1_out.cst").size(), 52u);
    EXPECT_FALSE(fs::exists(box.project() / "nothere_size16_bits1_font.bin"));

    for (const std::string& bytes :
         {std::string(), std::string("not a font at all"), std::string(100000, '\x01')}) {
        testing_support::writeFile(box.toolDir() / "font" / "broken.ttf", bytes);
        box.writeConfig(config(kAtoZ, R"("font": "broken.ttf", "fontSize": 16)"));
        r = box.run({"FontConfig.json"});
        EXPECT_EQ(r.status, 252);
        EXPECT_NE(r.err.find("broken.ttf"), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_FALSE(fs::exists(box.project() / "broken_size16_bits1_font.bin"));
    }
}

TEST(Export, ListLayoutAndCropLayout) {
    ToolSandbox box;
    const std::string selection = R"("customerVals": [{"firstVal": "0x20", "range": "3"},
                                                      {"firstVal": "0x41", "range": "2"}])";
    // Code-point list layout: header, 2 bytes a character, fixed records.
    box.writeConfig(
        config(selection, R"("font": "DejaVuSans.ttf", "fontSize": 12, "renderMode": 2)"));
    auto r = box.run({"FontConfig.json"});
    ASSERT_EQ(r.status, 0) << r.err;
    auto file = readBytes(box.project() / "DejaVuSans_size12_bits2_font.bin");
    const size_t headerLength = file.at(0);
    EXPECT_EQ(le32(file, 9), 10u);
    const size_t n = (12 * 16 * 2 + 7) / 8;
    EXPECT_EQ(file.size(), headerLength + 10 + 5 * (4 + n));
    EXPECT_EQ(le16(file, headerLength), 0x20);
    EXPECT_EQ(le16(file, headerLength + 8), 0x42);

    // Crop layout (with indexMethod 1: indexBytes says 4 x count, the table is full size).
    box.writeConfig(config(selection, R"("font": "DejaVuSans.ttf", "fontSize": 12, "crop": 1)"));
    r = box.run({"FontConfig.json"});
    ASSERT_EQ(r.status, 0) << r.err;
    file = readBytes(box.project() / "DejaVuSans_size12_bits1_font.bin");
    EXPECT_EQ(file[8], 0x18);
    EXPECT_EQ(le32(file, 9), 20u);
    ASSERT_GT(file.size(), headerLength + 262144);
    auto offset = [&](uint32_t code) { return le32(file, headerLength + 4 * code); };
    EXPECT_EQ(offset(0x20), 0xFFFFFFFFu);  // a space has no ink, so no record
    EXPECT_EQ(offset(0x21), headerLength + 262144);
    EXPECT_LT(offset(0x21), offset(0x22));
    EXPECT_LT(offset(0x22), offset(0x41));
    EXPECT_LT(offset(0x41), offset(0x42));
    EXPECT_EQ(offset(0x43), 0xFFFFFFFFu);
    // The last record ends the file: topSkip..extent.y rows of ceil(extent.x / 8) bytes.
    size_t last = offset(0x42);
    size_t rowsTaken = file[last + 3] - file[last];
    size_t rowBytes = (file[last + 2] + 7) / 8;
    EXPECT_EQ(file.size(), last + 4 + rowsTaken * rowBytes);
}

TEST(Export, EmptyCellsAreDrawnByTheFallbackFont) {
    ToolSandbox box;
    // DejaVu Sans has no CJK; its missing-glyph box is not empty, so to see the fallback at work
    // use a character it maps to an empty glyph: U+2028 LINE SEPARATOR has no ink in DejaVu but
    // a drawn box in GNU Unifont's control picture style.
    box.writeConfig(config(R"("customerVals": [{"firstVal": "0x2028"}, {"firstVal": "0x20"}])",
                           R"("font": "DejaVuSans.ttf", "fontSize": 16, "indexMethod": 0)"));
    auto r = box.run({"FontConfig.json"});
    ASSERT_EQ(r.status, 0) << r.err;
    auto file = readBytes(box.project() / "DejaVuSans_size16_bits1_font.bin");
    const size_t first = 21 - 7 + 11 + 131072;  // header "DejaVuSans" is 14 + 11 bytes
    ASSERT_EQ(file.size(), first + 2 * 36);
    auto inked = [&](size_t record) {
        for (size_t i = 0; i < 32; ++i)
            if (file[first + record * 36 + 4 + i]) return true;
        return false;
    };
    EXPECT_FALSE(inked(0));  // the space stays empty in both fonts
    EXPECT_TRUE(inked(1));   // drawn by the fallback
}

TEST(Export, FailedWritesLeaveNoPartialFileAndKeepTheOldOne) {
    ToolSandbox box;
    box.writeConfig(config(R"("customerVals": [{"firstVal": "0x4E00", "range": "2000"}])",
                           R"("font": "wqy-microhei.ttc", "fontSize": 32, "renderMode": 8)"));
    auto r = box.run({"FontConfig.json"});
    ASSERT_EQ(r.status, 0) << r.err;
    const fs::path font = box.project() / "wqy-microhei_size32_bits8_font.bin";
    const auto good = readBytes(font);

#ifndef _WIN32
    // A file-size limit below the font file's size makes the writes fail.
    r = testing_support::runShell("ulimit -f 512; '" + box.tool().string() + "' FontConfig.json",
                                  box.project());
    EXPECT_EQ(r.status, 251);
    EXPECT_NE(r.err.find(font.string()), std::string::npos) << r.err;
    EXPECT_EQ(readBytes(font), good);
    size_t files = std::distance(fs::directory_iterator(box.project()), fs::directory_iterator());
    EXPECT_EQ(files, 3u) << "configuration, list file and the old font file only";
#endif

    // An output name that is an existing directory.
    fs::remove(font);
    fs::create_directories(font);
    r = box.run({"FontConfig.json"});
    EXPECT_EQ(r.status, 251);
    EXPECT_NE(r.err.find(font.string()), std::string::npos) << r.err;
    EXPECT_TRUE(fs::is_directory(font));
}

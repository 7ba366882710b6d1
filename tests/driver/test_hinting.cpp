// The "hinting" font-set key through the real binary: FreeType's mono-target hinting gives the
// one-bit glyphs of DejaVu Sans Mono even stems.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/Sandbox.h"

using testing_support::readBytes;
using testing_support::ToolSandbox;

namespace {

// Runs DejaVu Sans Mono at 16 px, 1 bit, over the letters, with `hinting` (none: key absent),
// and returns the font file.
std::vector<uint8_t> letters16(const ToolSandbox& box, const std::string& hinting) {
    box.writeConfig(R"({"customerVals": [{"firstVal": "0x41", "range": "26"},
                                         {"firstVal": "0x61", "range": "26"}],
        "fontSet": {"font": "DejaVuSansMono.ttf", "fontSize": 16, "renderMode": 1,
                    "indexMethod": 1)" +
                    (hinting.empty() ? std::string() : ", \"hinting\": \"" + hinting + "\"") +
                    "}}");
    auto r = box.run({"FontConfig.json"});
    EXPECT_EQ(r.status, 0) << r.err;
    return readBytes(box.project() / "DejaVuSansMono_size16_bits1_font.bin");
}

// Widths of the vertical stems of letter `c` in such a file: runs of adjacent columns that hold
// a vertical stretch of ink at least 5 pixels long. Records are 4 metric bytes and 16 rows of
// 16 pixels, first pixel in bit 0.
std::vector<int> stemWidths(const std::vector<uint8_t>& file, char c) {
    const size_t header = file.at(0);
    const size_t count = 52;
    const size_t glyph =
        c >= 'a' ? 26 + static_cast<size_t>(c - 'a') : static_cast<size_t>(c - 'A');
    const uint8_t* record = file.data() + header + 2 * count + glyph * 36;
    std::vector<int> widths;
    int width = 0;
    for (int x = 0; x <= 16; ++x) {
        int longest = 0;
        for (int y = 0, run = 0; x < 16 && y < 16; ++y) {
            const int bit = y * 16 + x;
            run = (record[4 + bit / 8] >> (bit % 8)) & 1 ? run + 1 : 0;
            longest = std::max(longest, run);
        }
        if (longest >= 5) {
            ++width;
        } else if (width > 0) {
            widths.push_back(width);
            width = 0;
        }
    }
    return widths;
}

}  // namespace

TEST(Hinting, MonoGivesDejaVuSansMonoEvenStemsAtOneBit) {
    ToolSandbox box;
    const std::vector<uint8_t> absent = letters16(box, "");
    const std::vector<uint8_t> byDefault = letters16(box, "default");
    const std::vector<uint8_t> mono = letters16(box, "mono");
    ASSERT_EQ(absent.size(), 29u + 104u + 52u * 36u);
    // "default" is exactly what the tool always did.
    EXPECT_EQ(byDefault, absent);

    // The letters whose stems FreeType's default hinting draws 2 pixels wide at this size, and
    // letters whose stems it draws 1 pixel wide.
    const std::string uneven = "EFILTdhn";
    const std::string even = "BDHKMNRUblmpqr";
    for (char c : even) {
        const std::vector<int> before = stemWidths(absent, c);
        EXPECT_FALSE(before.empty()) << c;
        for (int w : before) EXPECT_EQ(w, 1) << c;
    }
    for (char c : uneven) {
        const std::vector<int> before = stemWidths(absent, c);
        EXPECT_NE(std::find(before.begin(), before.end(), 2), before.end()) << c;
    }
    for (char c : uneven + even) {
        const std::vector<int> after = stemWidths(mono, c);
        EXPECT_FALSE(after.empty()) << c;
        for (int w : after) EXPECT_EQ(w, 1) << c;
    }
}

// The compact layout end to end: fontbin writes a cropped run of a real font, its glyphs go
// through CompactFontWriter, and the device reader must decode every glyph to the cropped file's
// pixels. Then damaged copies of a real compact file must give an error code, never a bad read.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "output/CompactFontWriter.h"
#include "reader/fontbin_reader.h"
#include "support/Sandbox.h"
#include "tests/support/CropGlyphs.h"

namespace {

using testing_support::ToolSandbox;

struct Case {
    const char* name;
    const char* fontPath;
    const char* font;
    const char* ranges;  // customerVals members
    int fontSize, bpp;
    const char* scan;
    bool italic;
};

// A cropped run (with advance widths) of `c`, as the writer's input.
cropglyphs::Run cropRun(ToolSandbox& box, const Case& c) {
    box.addFont(c.fontPath, c.font);
    box.writeConfig(std::string(R"({"customerVals": [)") + c.ranges +
                    R"(], "fontSet": {"font": ")" + c.font + R"(", "fontSize": )" +
                    std::to_string(c.fontSize) + R"(, "scanMode": ")" + c.scan +
                    R"(", "italic": )" + (c.italic ? "true" : "false") + R"(, "renderMode": )" +
                    std::to_string(c.bpp) + R"(, "crop": 1, "advances": true}})");
    const auto run = box.run({"FontConfig.json"});
    EXPECT_EQ(run.status, 0) << run.err;
    const std::string stem = std::string(c.font).substr(0, std::string(c.font).find('.'));
    return cropglyphs::load((box.project() / (stem + "_size" + std::to_string(c.fontSize) +
                                              "_bits" + std::to_string(c.bpp)))
                                .string());
}

// With `older`, version 2 (the fixed-width glyph table), which the reader still reads.
std::vector<uint8_t> writeCompact(const cropglyphs::Run& run, const compact::Template* shape,
                                  const std::vector<KernPair>* pairs = nullptr,
                                  bool older = false) {
    FontSetSettings settings;
    settings.font = "Test.ttf";
    settings.fontSize = static_cast<int32_t>(run.font.font_size);
    settings.renderMode = run.bpp;
    CompactFontWriter writer(settings, 0, run.baseline);
    for (const cropglyphs::Glyph& g : run.glyphs) writer.addGlyph(run.packed(g), g.advance);
    if (pairs) writer.setKerning(*pairs);
    if (older) writer.setOlderTable();
    return shape ? writer.finishWith(compact::Method::Context, *shape) : writer.finish();
}

// Every glyph of `bytes` against the cropped file: box, advance and every pixel of the cell.
void expectSamePixels(const cropglyphs::Run& run, const std::vector<uint8_t>& bytes) {
    fb_font font;
    ASSERT_EQ(fb_open(bytes.data(), bytes.size(), &font), FB_OK) << font.error_detail;
    EXPECT_EQ(font.layout, FB_LAYOUT_COMPACT);
    EXPECT_EQ(font.glyph_count, run.glyphs.size());
    size_t inked = 0;
    for (const cropglyphs::Glyph& want : run.glyphs) {
        SCOPED_TRACE(want.code);
        fb_glyph g, c;
        ASSERT_EQ(fb_find_glyph(&font, want.code, &g), FB_OK);
        EXPECT_EQ(g.advance, want.advance);
        std::vector<uint8_t> px(static_cast<size_t>(g.box_w) * g.box_h);
        ASSERT_EQ(fb_decode_glyph(&font, &g, px.data(), g.box_w), FB_OK);
        const bool hasRecord = fb_find_glyph(&run.font, want.code, &c) == FB_OK;
        inked += g.box_w != 0;
        int wrong = 0;
        for (unsigned y = 0; y < g.rows; ++y)
            for (unsigned x = 0; x < g.cols; ++x) {
                const bool in = x - g.box_x < g.box_w && y - g.box_y < g.box_h;
                const unsigned got = in ? px[(y - g.box_y) * g.box_w + (x - g.box_x)] : 0;
                wrong += got != (hasRecord ? fb_glyph_pixel(&c, x, y) : 0u);
            }
        EXPECT_EQ(wrong, 0);
    }
    EXPECT_GT(inked, run.glyphs.size() / 2);
}

const char* const kLatin =
    R"({"firstVal": "0x20", "range": "95"}, {"firstVal": "0xC0", "range": "64"},
       {"firstVal": "0x200B", "range": "5"})";
const char* const kCjk =
    R"({"firstVal": "0x4E00", "range": "150"}, {"firstVal": "0x3001", "range": "2"})";

class CompactRoundTrip : public ::testing::TestWithParam<Case> {};

TEST_P(CompactRoundTrip, EveryGlyphDecodesToTheCroppedPixels) {
    ToolSandbox box;
    const cropglyphs::Run run = cropRun(box, GetParam());
    ASSERT_TRUE(run.error.empty()) << run.error;
    // The writer's own choice, then the largest template of the depth, which the decoder's
    // fast loops take; then the same as version 2, the box in the glyph table (refused by a
    // reader built for version 3 alone).
    expectSamePixels(run, writeCompact(run, nullptr));
    const compact::Template full =
        run.bpp == 1 ? compact::Template{4, 2, 1} : compact::Template{2, 1, 1};
    expectSamePixels(run, writeCompact(run, &full));
    const std::vector<uint8_t> older = writeCompact(run, nullptr, nullptr, true);
#ifdef FB_NO_COMPACT_V2
    fb_font font;
    EXPECT_EQ(fb_open(older.data(), older.size(), &font), FB_ERR_BAD_HEADER);
#else
    expectSamePixels(run, older);
#endif
}

INSTANTIATE_TEST_SUITE_P(
    RealFonts, CompactRoundTrip,
    ::testing::Values(
        Case{"latin1", FONTBIN_TEST_FONT_DEJAVU, "DejaVuSans.ttf", kLatin, 16, 1, "H", false},
        Case{"latin2V", FONTBIN_TEST_FONT_DEJAVU, "DejaVuSans.ttf", kLatin, 13, 2, "V", true},
        Case{"latin4", FONTBIN_TEST_FONT_DEJAVU, "DejaVuSans.ttf", kLatin, 16, 4, "H", false},
        Case{"latin8v", FONTBIN_TEST_FONT_DEJAVU, "DejaVuSans.ttf", kLatin, 12, 8, "v", false},
        Case{"cjk1", FONTBIN_TEST_FONT_MICROHEI, "wqy-microhei.ttc", kCjk, 16, 1, "H", false},
        Case{"cjk4italic", FONTBIN_TEST_FONT_MICROHEI, "wqy-microhei.ttc", kCjk, 24, 4, "H", true},
        // One glyph: codes of a lone symbol, no bits; large glyphs: sizes of many low bits.
        Case{"single", FONTBIN_TEST_FONT_DEJAVU, "DejaVuSans.ttf",
             R"({"firstVal": "0x41", "range": "1"})", 16, 1, "H", false},
        Case{"large2", FONTBIN_TEST_FONT_DEJAVU, "DejaVuSans.ttf",
             R"({"firstVal": "0x41", "range": "40"})", 100, 2, "H", false}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

// A damaged file: the byte at `offset` (counted from the end when negative) set to `value`, or
// the file cut to `offset` bytes when `value` is -1.
struct Damage {
    const char* what;
    long offset;
    int value;
    fb_error expected;
    bool kerned = false;  // damage the file with two kerning pairs, AV and To
};

TEST(CompactReader, DamagedFilesGiveTheirErrorCode) {
    ToolSandbox box;
    const cropglyphs::Run run = cropRun(
        box, Case{"", FONTBIN_TEST_FONT_DEJAVU, "DejaVuSans.ttf",
                  R"({"firstVal": "0x41", "range": "26"}, {"firstVal": "0x61", "range": "26"})", 12,
                  4, "H", false});
    const std::vector<uint8_t> good = writeCompact(run, nullptr);
    const std::vector<KernPair> pairs{{'A', 'V', -1}, {'T', 'o', -2}};
    const std::vector<uint8_t> kerned = writeCompact(run, nullptr, &pairs);
    fb_font font;
    ASSERT_EQ(fb_open(kerned.data(), kerned.size(), &font), FB_OK);
    ASSERT_EQ(fb_open(good.data(), good.size(), &font), FB_OK);
    const long runs = static_cast<long>(font.compact.runs);
    const long checkpoints = static_cast<long>(font.compact.checkpoints);
    const long codes = static_cast<long>(font.compact.size_code);
    const long boxes = static_cast<long>(font.compact.box_code);
    const long marks = static_cast<long>(font.compact.marks);
    const Damage cases[] = {
        {"tag", 3, 'Q', FB_ERR_BAD_MAGIC},
        {"version", 4, 4, FB_ERR_BAD_HEADER},
        {"font size 0", 5, 0, FB_ERR_BAD_HEADER},
        {"3 bpp", 6, 3, FB_ERR_BAD_HEADER},
        {"rotation 3", 7, 0x30, FB_ERR_BAD_HEADER},
        {"cell of 0 rows", 10, 0, FB_ERR_BAD_HEADER},
        {"more runs than glyphs", 19, 0xFF, FB_ERR_BAD_HEADER},
        {"checkpoint shift 17", 20, 17, FB_ERR_BAD_HEADER},
        {"unknown method", 21, 0, FB_ERR_BAD_HEADER},
        {"template without its model", 22, 0x2C, FB_ERR_BAD_HEADER},
        {"field of 25 bits", 36, 25, FB_ERR_BAD_HEADER},
        {"name without its zero", runs - 1, 'x', FB_ERR_BAD_HEADER},
        {"first run not at glyph 0", runs + 2, 1, FB_ERR_BAD_INDEX},
        {"runs out of order", runs + 5, 0x40, FB_ERR_BAD_INDEX},
        {"checkpoint off by one", checkpoints, 1, FB_ERR_BAD_INDEX},
        {"table mark off by one", marks, 1, FB_ERR_BAD_INDEX},
        {"prefix codes a byte shorter", codes - 2, good[codes - 2] - 1, FB_ERR_BAD_HEADER},
        {"size code of 16-bit words", codes, 16, FB_ERR_BAD_HEADER},
        {"box code of 16-bit words", boxes, 16, FB_ERR_BAD_HEADER},
        {"glyph table a byte shorter", codes - 6, good[codes - 6] - 1, FB_ERR_LENGTH},
        // Header fields that contradict each other.
        {"cell one column wide", 12, 1, FB_ERR_BAD_HEADER},
        {"cell wider than italic gives", 12, 40, FB_ERR_BAD_HEADER},
        {"baseline below the cell", 8, 13, FB_ERR_BAD_HEADER},
        {"line height 0", 9, 0, FB_ERR_BAD_HEADER},
        {"no glyphs, yet data", 14, 0, FB_ERR_BAD_HEADER},
        {"a byte more", static_cast<long>(good.size()), 0, FB_ERR_LENGTH},
        {"cut in the header", 40, -1, FB_ERR_TRUNCATED},
        {"cut in the name", runs - 1, -1, FB_ERR_TRUNCATED},
        {"cut in the data", -1, -1, FB_ERR_TRUNCATED},
        {"empty", 0, -1, FB_ERR_TRUNCATED},
        {"kerning flag without the section", 7, FB_COMPACT_KERNING, FB_ERR_TRUNCATED},
        // The kerned file ends with the pair count (u32 at -14) and the two pairs.
        {"a kerning pair more counted", -14, 3, FB_ERR_TRUNCATED, true},
        {"kerning pairs out of order", -5, 'A' - 1, FB_ERR_BAD_INDEX, true},
    };
    for (const Damage& d : cases) {
        SCOPED_TRACE(d.what);
        const std::vector<uint8_t>& base = d.kerned ? kerned : good;
        std::vector<uint8_t> bad = base;
        const size_t at = static_cast<size_t>(
            d.offset < 0 ? static_cast<long>(base.size()) + d.offset : d.offset);
        if (d.value < 0)
            bad.resize(at);
        else if (at == bad.size())
            bad.push_back(static_cast<uint8_t>(d.value));
        else
            bad[at] = static_cast<uint8_t>(d.value);
        ASSERT_NE(bad, base);
        fb_error err = fb_open(bad.data(), bad.size(), &font);
        if (err == FB_OK) err = fb_check_font(&font);  // what only the whole pass sees
        EXPECT_EQ(err, d.expected) << (font.error_detail ? font.error_detail : "");
        EXPECT_FALSE(font.ready);
    }
    // The old layouts' reader takes none of it for its own.
    EXPECT_NE(good[1], 0x01);
}

// Any bit of the data part flipped: every glyph still decodes or reports a damaged record, with
// levels in range (the sanitizer builds watch the reads).
TEST(CompactReader, FlippedDataBitsNeverLeaveTheBox) {
    ToolSandbox box;
    const cropglyphs::Run run =
        cropRun(box, Case{"", FONTBIN_TEST_FONT_MICROHEI, "wqy-microhei.ttc",
                          R"({"firstVal": "0x4E00", "range": "16"})", 16, 4, "H", false});
    std::vector<uint8_t> bytes = writeCompact(run, nullptr);
    fb_font font;
    ASSERT_EQ(fb_open(bytes.data(), bytes.size(), &font), FB_OK);
    const size_t stream = font.compact.stream;
    for (size_t bit = 0; bit < (bytes.size() - stream) * 8; bit += 7) {
        bytes[stream + bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
        ASSERT_EQ(fb_open(bytes.data(), bytes.size(), &font), FB_OK);
        fb_glyph g;
        for (uint32_t cp = 0; fb_next_glyph(&font, cp, &g) == FB_OK; cp = g.code_point + 1) {
            std::vector<uint8_t> px(static_cast<size_t>(g.box_w) * g.box_h + 1, 0xA5);
            const fb_error err = fb_decode_glyph(&font, &g, px.data(), g.box_w);
            ASSERT_TRUE(err == FB_OK || err == FB_ERR_BAD_RECORD);
            ASSERT_EQ(px.back(), 0xA5);
            for (size_t i = 0; err == FB_OK && i + 1 < px.size(); ++i) ASSERT_LT(px[i], 16);
        }
        bytes[stream + bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
    }
}

// Runs with gaps (Latin-1 letters, CJK, a lone code point): every selected code point is found,
// none between them; walking visits them in order; a glyph without ink has its advance and no
// code; the same glyphs give the same bytes again.
TEST(CompactReader, RunsFindEverySelectedCodePointAndNoOther) {
    ToolSandbox box;
    const cropglyphs::Run run =
        cropRun(box, Case{"", FONTBIN_TEST_FONT_MICROHEI, "wqy-microhei.ttc",
                          R"({"firstVal": "0x20", "range": "3"}, {"firstVal": "0x41", "range": "5"},
                             {"firstVal": "0x4E00", "range": "4"}, {"firstVal": "0x9FA5", "range": "1"})",
                          14, 2, "H", false});
    const std::vector<uint8_t> bytes = writeCompact(run, nullptr);
    EXPECT_EQ(writeCompact(run, nullptr), bytes);
    fb_font font;
    ASSERT_EQ(fb_open(bytes.data(), bytes.size(), &font), FB_OK);
    EXPECT_EQ(font.compact.run_count, 4u);
    std::vector<uint32_t> walked;
    fb_glyph g;
    for (uint32_t cp = 0; fb_next_glyph(&font, cp, &g) == FB_OK; cp = g.code_point + 1)
        walked.push_back(g.code_point);
    ASSERT_EQ(walked.size(), run.glyphs.size());
    for (size_t i = 0; i < walked.size(); ++i) EXPECT_EQ(walked[i], run.glyphs[i].code);
    for (uint32_t cp : {0x1Fu, 0x23u, 0x40u, 0x46u, 0x4E04u, 0x9FA4u, 0x9FA6u, 0x10000u})
        EXPECT_EQ(fb_find_glyph(&font, cp, &g), FB_ERR_NOT_FOUND) << cp;
    ASSERT_EQ(fb_find_glyph(&font, 0x20, &g), FB_OK);  // the space: no ink, an advance
    EXPECT_EQ(g.box_w, 0u);
    EXPECT_EQ(g.stream_bits, 0u);
    EXPECT_GT(g.advance, 0);
    EXPECT_EQ(fb_decode_glyph(&font, &g, nullptr, 0), FB_OK);
}

// fb_decode_glyph reads the other layouts too, through the box they store: the cropped file's
// glyphs decode to their own pixels.
TEST(CompactReader, DecodeGlyphReadsTrimmedRecords) {
    ToolSandbox box;
    const cropglyphs::Run run =
        cropRun(box, Case{"", FONTBIN_TEST_FONT_DEJAVU, "DejaVuSans.ttf",
                          R"({"firstVal": "0x41", "range": "26"})", 16, 4, "H", false});
    fb_glyph g;
    for (uint32_t cp = 0; fb_next_glyph(&run.font, cp, &g) == FB_OK; cp = g.code_point + 1) {
        EXPECT_FALSE(g.compact);
        EXPECT_EQ(g.advance, -1);
        std::vector<uint8_t> px(static_cast<size_t>(g.box_w) * g.box_h);
        ASSERT_EQ(fb_decode_glyph(&run.font, &g, px.data(), g.box_w), FB_OK);
        for (unsigned y = 0; y < g.box_h; ++y)
            for (unsigned x = 0; x < g.box_w; ++x)
                ASSERT_EQ(px[y * g.box_w + x], fb_glyph_pixel(&g, g.box_x + x, g.box_y + y));
    }
}

}  // namespace

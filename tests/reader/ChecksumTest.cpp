// The compact layout's checksums end to end: fontbin writes a kerned compact file of a real
// font, the reader's checks pass on it, a single flipped bit in each part is caught by the check
// of that part only and named by fontbin-inspect with status 1, and files of versions 2 and 1
// (the fixed-width glyph table, with and without the checksums part) still open and decode to
// the same pixels.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "output/CompactFontWriter.h"
#include "reader/fb_format.h"
#include "reader/fontbin_reader.h"
#include "support/Sandbox.h"
#include "tests/support/CropGlyphs.h"
#include "tools/inspect/Inspect.h"

namespace {

using testing_support::readBytes;
using testing_support::ToolSandbox;

// 95 ASCII glyphs: blocks of 32, 32 and 31, and the kerning section after the data.
std::vector<uint8_t> writeKernedCompact(ToolSandbox& box) {
    box.addFont(FONTBIN_TEST_FONT_DEJAVU, "DejaVuSans.ttf");
    box.writeConfig(R"({"customerVals": [{"firstVal": "0x20", "range": "95"}],
        "fontSet": {"font": "DejaVuSans.ttf", "fontSize": 16, "renderMode": 2,
                    "compact": true, "kerning": true}})");
    const auto run = box.run({"FontConfig.json"});
    EXPECT_EQ(run.status, 0) << run.err;
    return readBytes(box.project() / "DejaVuSans_size16_bits2_compact.bin");
}

inspect::Result inspectBytes(const ToolSandbox& box, const std::vector<uint8_t>& bytes) {
    const auto path = box.project() / "probe_compact.bin";
    testing_support::writeFile(path, std::string(bytes.begin(), bytes.end()));
    return inspect::run({path.string()});
}

uint32_t checkpoint(const fb_font& f, uint32_t block) {
    const uint8_t* p = f.data + f.compact.checkpoints + FB_COMPACT_CHECKPOINT_BYTES * block;
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

TEST(Checksum, TheToolsFileChecksAndEachFlippedBitIsNamedByItsPart) {
    ToolSandbox box;
    const std::vector<uint8_t> good = writeKernedCompact(box);
    fb_font font;
    ASSERT_EQ(fb_open(good.data(), good.size(), &font), FB_OK) << font.error_detail;
    ASSERT_EQ(font.compact.version, FB_COMPACT_VERSION);
    ASSERT_EQ(fb_block_count(&font), 3u);
    ASSERT_GT(font.compact.pair_count, 0u);
    uint32_t failed = 0;
    EXPECT_EQ(fb_verify_font(&font, &failed), FB_OK);
    EXPECT_EQ(inspectBytes(box, good).status, inspect::kOk);
    const char check[] = "123456789";  // CRC-32's check value, as zlib gives it
    EXPECT_EQ(fb_crc32(0, reinterpret_cast<const uint8_t*>(check), 9), 0xCBF43926u);

    const fb_compact& c = font.compact;
    const size_t data = c.stream, block1 = data + checkpoint(font, 1) / 8 + 2;
    const struct {
        const char* what;
        size_t at;
        uint32_t part;  // the check that fails: FB_TABLES_PART or a block
        const char* named;
    } cases[] = {
        {"baseline", FB_COMPACT_O_BASELINE, FB_TABLES_PART, "the header and tables"},
        {"font name", FB_COMPACT_HEADER_BYTES + 1, FB_TABLES_PART, "the header and tables"},
        {"a run", c.runs + FB_COMPACT_RUN_O_FIRST, FB_TABLES_PART, "the header and tables"},
        {"glyph table", c.table + 7, FB_TABLES_PART, "the header and tables"},
        {"checkpoint", c.checkpoints + 4, FB_TABLES_PART, "the header and tables"},
        {"model", c.model + 1, FB_TABLES_PART, "the header and tables"},
        {"a block's checksum", c.crcs + 4, FB_TABLES_PART, "the header and tables"},
        {"the tables' checksum", data - 1, FB_TABLES_PART, "the header and tables"},
        {"kerning pair", good.size() - 1, FB_TABLES_PART, "the header and tables"},
        {"data, block 0", data, 0, "block 0 (glyphs 0 to 31)"},
        {"data, block 1", block1, 1, "block 1 (glyphs 32 to 63)"},
        {"data, last byte", data + c.stream_size - 1, 2, "block 2 (glyphs 64 to 94)"},
    };
    fb_glyph a;  // glyph 33, in block 1: a device checks its block before drawing it
    ASSERT_EQ(fb_find_glyph(&font, 'A', &a), FB_OK);
    for (const auto& d : cases) {
        SCOPED_TRACE(d.what);
        std::vector<uint8_t> bad = good;
        bad[d.at] ^= 0x01;
        fb_font f;
        ASSERT_EQ(fb_open(bad.data(), bad.size(), &f), FB_OK) << f.error_detail;
        EXPECT_EQ(fb_verify_tables(&f), d.part == FB_TABLES_PART ? FB_ERR_CHECKSUM : FB_OK);
        if (d.part != FB_TABLES_PART) {  // (damaged tables may touch the blocks' checks too)
            for (uint32_t b = 0; b < 3; ++b)
                EXPECT_EQ(fb_verify_block(&f, b), b == d.part ? FB_ERR_CHECKSUM : FB_OK) << b;
            EXPECT_EQ(fb_verify_glyph(&f, &a), d.part == 1 ? FB_ERR_CHECKSUM : FB_OK);
        }
        EXPECT_EQ(fb_verify_font(&f, &failed), FB_ERR_CHECKSUM);
        EXPECT_EQ(failed, d.part);
        const inspect::Result r = inspectBytes(box, bad);
        EXPECT_EQ(r.status, inspect::kViolation);
        EXPECT_NE(r.err.find(std::string(": ") + d.named + " differs from its checksum"),
                  std::string::npos)
            << r.err;
    }
    EXPECT_EQ(fb_verify_block(&font, 3), FB_ERR_ARGUMENT);
}

// Version 2 of the same glyphs and pairs: the writer fed from a cropped run of the same font.
std::vector<uint8_t> writeVersion2(ToolSandbox& box, const fb_font& current) {
    box.writeConfig(R"({"customerVals": [{"firstVal": "0x20", "range": "95"}],
        "fontSet": {"font": "DejaVuSans.ttf", "fontSize": 16, "renderMode": 2,
                    "crop": 1, "advances": true}})");
    EXPECT_EQ(box.run({"FontConfig.json"}).status, 0);
    const cropglyphs::Run run =
        cropglyphs::load((box.project() / "DejaVuSans_size16_bits2").string());
    FontSetSettings settings;
    settings.font = "DejaVuSans.ttf";
    settings.fontSize = 16;
    settings.renderMode = 2;
    CompactFontWriter writer(settings, 0, run.baseline);
    for (const cropglyphs::Glyph& g : run.glyphs) writer.addGlyph(run.packed(g), g.advance);
    std::vector<KernPair> pairs;
    for (uint32_t i = 0; i < current.compact.pair_count; ++i) {
        const uint8_t* p = current.data + current.compact.pairs + FB_ADV_PAIR_BYTES * i;
        pairs.push_back({static_cast<uint16_t>(p[0] | p[1] << 8),
                         static_cast<uint16_t>(p[2] | p[3] << 8), static_cast<int8_t>(p[4])});
    }
    writer.setKerning(pairs);
    writer.setOlderTable();
    return writer.finish();
}

TEST(Checksum, FilesOfVersions1And2OpenAndDecodeAsVersion3) {
    ToolSandbox box;
    const std::vector<uint8_t> current = writeKernedCompact(box);
    fb_font font;
    ASSERT_EQ(fb_open(current.data(), current.size(), &font), FB_OK);
    const std::vector<uint8_t> older = writeVersion2(box, font);
    fb_font v2;
    ASSERT_EQ(fb_open(older.data(), older.size(), &v2), FB_OK) << v2.error_detail;
    ASSERT_EQ(v2.compact.version, FB_COMPACT_VERSION_CRC);
    EXPECT_EQ(fb_verify_font(&v2, nullptr), FB_OK);
    // Version 1 is version 2 without the checksums part, between the model and the data.
    std::vector<uint8_t> old = older;
    old[FB_COMPACT_O_VERSION] = FB_COMPACT_VERSION_PLAIN;
    old.erase(old.begin() + static_cast<long>(v2.compact.crcs),
              old.begin() + static_cast<long>(v2.compact.stream));
    fb_font plain;
    ASSERT_EQ(fb_open(old.data(), old.size(), &plain), FB_OK) << plain.error_detail;
    ASSERT_EQ(fb_check_font(&plain), FB_OK) << plain.error_detail;
    EXPECT_EQ(plain.compact.version, FB_COMPACT_VERSION_PLAIN);
    EXPECT_EQ(fb_block_count(&plain), 0u);
    EXPECT_EQ(fb_verify_font(&plain, nullptr), FB_ERR_NOT_FOUND);
    EXPECT_EQ(plain.compact.pair_count, font.compact.pair_count);
    const fb_font* fonts[3] = {&font, &v2, &plain};
    for (uint32_t cp = 0x20; cp <= 0x7E; ++cp) {
        fb_glyph g[3];
        std::vector<uint8_t> px[3];
        for (int v = 0; v < 3; ++v) {
            ASSERT_EQ(fb_find_glyph(fonts[v], cp, &g[v]), FB_OK);
            px[v].assign(g[v].box_w * g[v].box_h + 1u, 0);
            ASSERT_EQ(fb_decode_glyph(fonts[v], &g[v], px[v].data(), g[v].box_w), FB_OK);
            EXPECT_EQ(g[v].advance, g[0].advance) << cp;
        }
        EXPECT_EQ(px[1], px[0]) << cp;
        EXPECT_EQ(px[2], px[0]) << cp;
    }
    const inspect::Result r = inspectBytes(box, old);
    EXPECT_EQ(r.status, inspect::kOk) << r.err;
}

}  // namespace

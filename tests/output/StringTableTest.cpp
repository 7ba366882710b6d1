// The string table as written and as the device reader reads it back: narrow and wide glyph
// entries, and damaged tables that fb_strings_open must refuse before anything is drawn.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "output/StringTableWriter.h"
#include "reader/fontbin_strings.h"

namespace {

std::vector<StringTableEntry> sample(int32_t dx) {
    StringTableEntry a;
    a.name = "greeting";
    a.rightToLeft = true;
    a.length = 5;
    a.glyphs = {{0xE000, 4, 0, 0, 7}, {0x0020, 3, 0, 0, 3}, {0xE001, 0, dx, -3, 9}};
    a.width = 19;
    a.breaks = {1, 4};
    StringTableEntry b;
    b.name = "b";
    b.length = 0;
    return {a, b};
}

TEST(StringTable, ReadsBackWhatWasWritten) {
    for (const int32_t dx : {-2, -200}) {
        SCOPED_TRACE(dx);
        const std::vector<StringTableEntry> entries = sample(dx);
        const std::vector<uint8_t> bytes = stringTableBytes({16, 12, 13, 4}, entries);
        fb_strings t;
        ASSERT_EQ(fb_strings_open(bytes.data(), bytes.size(), &t), FB_OK);
        EXPECT_EQ(t.flags & FB_STRINGS_WIDE, dx < -128 ? FB_STRINGS_WIDE : 0u);
        EXPECT_EQ(t.count, 2u);
        EXPECT_EQ(t.em_pixels, 12u);
        EXPECT_EQ(t.baseline, 13u);
        fb_string s;
        ASSERT_EQ(fb_string_find(&t, "greeting", &s), FB_OK);
        EXPECT_TRUE(s.right_to_left);
        EXPECT_EQ(s.width, 19);
        ASSERT_EQ(s.glyph_count, 3u);
        for (unsigned k = 0; k < 3; ++k) {
            fb_string_glyph g;
            fb_string_glyph_at(&s, k, &g);
            const StringTableGlyph& want = entries[0].glyphs[k];
            EXPECT_EQ(g.code, want.code);
            EXPECT_EQ(g.cluster, want.cluster);
            EXPECT_EQ(g.dx, want.dx);
            EXPECT_EQ(g.dy, want.dy);
            EXPECT_EQ(g.advance, want.advance);
        }
        ASSERT_EQ(s.break_count, 2u);
        EXPECT_EQ(fb_string_break_at(&s, 1), 4u);
        // Code points [0, 1) are drawn by the last glyph alone, [1, 5) by the other two.
        EXPECT_EQ(fb_string_measure(&s, 0, 1), 9);
        EXPECT_EQ(fb_string_measure(&s, 1, 5), 10);
        ASSERT_EQ(fb_string_at(&t, 1, &s), FB_OK);
        EXPECT_EQ(std::string(s.name, s.name_length), "b");
        EXPECT_EQ(fb_string_at(&t, 2, &s), FB_ERR_NOT_FOUND);
        EXPECT_EQ(fb_string_find(&t, "greetin", &s), FB_ERR_NOT_FOUND);
    }
}

TEST(StringTable, DamagedTablesAreRefused) {
    const std::vector<uint8_t> good = stringTableBytes({16, 12, 13, 4}, sample(-2));
    // Where the parts of the first record lie, as the reader finds them in the sound table.
    fb_strings table;
    fb_string first;
    ASSERT_EQ(fb_strings_open(good.data(), good.size(), &table), FB_OK);
    ASSERT_EQ(fb_string_at(&table, 0, &first), FB_OK);
    const auto at = [&](const void* p) {
        return size_t(static_cast<const uint8_t*>(p) - good.data());
    };
    const size_t offsets = at(table.offsets), record = at(first.name) - 1;
    const size_t flags = record + 1 + first.name_length, glyphs = at(first.glyphs);
    const size_t breaks = at(first.breaks);
    const struct {
        const char* what;
        std::function<void(std::vector<uint8_t>&)> damage;
        fb_error expected;
    } cases[] = {
        {"magic", [](auto& b) { b[0] = 'X'; }, FB_ERR_BAD_MAGIC},
        {"version", [](auto& b) { b[4] = 2; }, FB_ERR_BAD_MAGIC},
        {"unknown flag", [](auto& b) { b[5] = 8; }, FB_ERR_BAD_HEADER},
        {"cut short", [](auto& b) { b.resize(b.size() - 1); }, FB_ERR_BAD_HEADER},
        {"header only", [](auto& b) { b.resize(10); }, FB_ERR_TRUNCATED},
        {"glyph list beyond the file", [](auto& b) { b[17] = 0x7F; }, FB_ERR_TRUNCATED},
        {"offset into the header", [&](auto& b) { b[offsets] = 4; }, FB_ERR_BAD_RECORD},
        {"offset beyond the file", [&](auto& b) { b[offsets + 1] = 0x40; }, FB_ERR_BAD_RECORD},
        {"empty name", [&](auto& b) { b[record] = 0; }, FB_ERR_BAD_RECORD},
        {"NUL in the name", [&](auto& b) { b[record + 3] = 0; }, FB_ERR_BAD_RECORD},
        {"unknown record flag", [&](auto& b) { b[flags] = 3; }, FB_ERR_BAD_RECORD},
        {"glyph count too large", [&](auto& b) { b[flags + 2] = 0xFF; }, FB_ERR_BAD_RECORD},
        {"breaks out of order", [&](auto& b) { b[breaks] = 9; }, FB_ERR_BAD_RECORD},
        {"reference beyond the glyph list", [&](auto& b) { b[glyphs + 1] = 3; }, FB_ERR_BAD_RECORD},
        {"cluster beyond the text", [&](auto& b) { b[glyphs + 2] = 5; }, FB_ERR_BAD_RECORD},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> bytes = good;
        c.damage(bytes);
        // The size field follows the bytes, so that the damage itself is what is refused.
        if (std::string(c.what) != "cut short" && bytes.size() >= 16)
            for (int i = 0; i < 4; ++i) bytes[12 + i] = static_cast<uint8_t>(bytes.size() >> 8 * i);
        fb_strings t;
        EXPECT_EQ(fb_strings_open(bytes.data(), bytes.size(), &t), c.expected) << c.what;
        EXPECT_FALSE(t.ready) << c.what;
    }
}

}  // namespace

// The kerning pairs of fonts whose kern or GPOS table the test writes, against HarfBuzz shaping
// every pair of characters alone: reading only the glyphs the tables name loses no pair.
#include <ft2build.h>
#include <gtest/gtest.h>
#include FT_FREETYPE_H

#include <hb.h>

#include <string>
#include <vector>

#include "render/Kerning.h"
#include "support/FontTables.h"
#include "support/Sandbox.h"

namespace {

using testing_support::kernTable;
using testing_support::TableWriter;

constexpr int kPixels = 16;  // DejaVu Sans has 2048 units per em: 128 units a pixel

// The pairs of `codes` as HarfBuzz gives them when it shapes each pair on its own, at the size
// FreeType makes of `kPixels` for a 2048-unit em (a scale of exactly 16 × 64). A combining mark
// (U+0300..U+036F) is placed on its base, not kerned: its pairs are left out.
std::vector<KernPair> shapedPairs(const std::vector<uint8_t>& font,
                                  const std::vector<uint16_t>& codes) {
    hb_blob_t* blob = hb_blob_create(reinterpret_cast<const char*>(font.data()),
                                     static_cast<unsigned>(font.size()), HB_MEMORY_MODE_READONLY,
                                     nullptr, nullptr);
    hb_face_t* face = hb_face_create(blob, 0);
    hb_font_t* hbFont = hb_font_create(face);
    hb_font_set_scale(hbFont, kPixels * 64, kPixels * 64);
    hb_font_set_ppem(hbFont, kPixels, kPixels);
    std::vector<hb_feature_t> features;
    for (const char* f : {"kern", "-ccmp", "-locl", "-rlig", "-calt", "-clig", "-liga", "-rclt"})
        hb_feature_from_string(f, -1, &features.emplace_back());
    std::vector<KernPair> pairs;
    hb_buffer_t* buffer = hb_buffer_create();
    for (const uint16_t left : codes)
        for (const uint16_t right : codes) {
            if ((left >= 0x300 && left < 0x370) || (right >= 0x300 && right < 0x370)) continue;
            hb_buffer_clear_contents(buffer);
            const uint32_t text[] = {left, right};
            hb_buffer_add_utf32(buffer, text, 2, 0, 2);
            hb_buffer_guess_segment_properties(buffer);
            hb_shape(hbFont, buffer, features.data(), static_cast<unsigned>(features.size()));
            const hb_glyph_info_t* info = hb_buffer_get_glyph_infos(buffer, nullptr);
            const hb_glyph_position_t* pos = hb_buffer_get_glyph_positions(buffer, nullptr);
            const long moved = long{pos[0].x_advance} -
                               hb_font_get_glyph_h_advance(hbFont, info[0].codepoint) +
                               pos[1].x_offset - pos[0].x_offset;
            if (const int32_t pixels = kerningPixels(moved); pixels != 0)
                pairs.push_back(KernPair{left, right, pixels});
        }
    hb_buffer_destroy(buffer);
    hb_font_destroy(hbFont);
    hb_face_destroy(face);
    hb_blob_destroy(blob);
    return pairs;
}

// fontbin's pairs of `codes` for the font at `kPixels`.
std::vector<KernPair> fontbinPairs(const std::vector<uint8_t>& font,
                                   const std::vector<uint16_t>& codes) {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    std::vector<KernPair> pairs;
    if (FT_Init_FreeType(&library) == 0 &&
        FT_New_Memory_Face(library, font.data(), static_cast<FT_Long>(font.size()), 0, &face) ==
            0 &&
        FT_Set_Pixel_Sizes(face, 0, kPixels) == 0)
        pairs = faceKerningPairs(face, codes);
    if (face) FT_Done_Face(face);
    FT_Done_FreeType(library);
    return pairs;
}

std::string describe(const std::vector<KernPair>& pairs) {
    std::string text;
    for (const KernPair& p : pairs)
        text += " " + std::to_string(p.left) + "," + std::to_string(p.right) + ":" +
                std::to_string(p.adjust);
    return text;
}

// DejaVu Sans's glyph indices of the ASCII letters: A..Z from 36, a..z from 68.
uint16_t glyph(char c) {
    return static_cast<uint16_t>(c >= 'a' ? 68 + (c - 'a') : 36 + (c - 'A'));
}

// Format 2: capitals by rows (A, D, G, ... row 1; B, E, ... row 2; C, F, ... row 0, which names
// no class), small letters by columns (a, d, ... column 1; b, e, ... column 2; c, f, ... the
// column of every unlisted glyph). Row 2 has a value in that column, so B, E, ... kern before
// any glyph; 'z' is given an offset that on its own lies inside the array, so any glyph before
// it kerns.
TableWriter classArray(bool apple) {
    const int header = apple ? 8 : 6;
    const int left = header + 8, right = left + 4 + 2 * 26, array = right + 4 + 2 * 26;
    const int rowWidth = 2 * 3;
    TableWriter t;
    t.u16(rowWidth).u16(left).u16(right).u16(array);
    t.u16(glyph('A')).u16(26);
    for (int i = 0; i < 26; ++i) t.u16(i % 3 == 2 ? 0 : array + rowWidth * (1 + i % 3));
    t.u16(glyph('a')).u16(26);
    for (int i = 0; i < 25; ++i) t.u16(i % 3 == 2 ? 0 : 2 * (1 + i % 3));
    t.u16(array + 2);  // 'z'
    const int values[3][3] = {{0, -200, 0}, {0, -300, 260}, {-140, 170, -450}};
    for (const auto& row : values)
        for (const int v : row) t.u16(v);
    return t;
}

// Apple's format 3 for the glyphs up to 'z': T and V left class 1 and 2, o and e right class 1,
// A right class 2; class 0 (every other glyph, also those past 'z') before A kerns too.
TableWriter classIndex() {
    const int count = glyph('z') + 1;
    TableWriter t;
    t.u16(count).u8(4).u8(3).u8(3).u8(0).u16(0).u16(-300).u16(250).u16(-170);
    for (int g = 0; g < count; ++g) t.u8(g == glyph('T') ? 1 : g == glyph('V') ? 2 : 0);
    for (int g = 0; g < count; ++g)
        t.u8(g == glyph('o') || g == glyph('e') ? 1 : g == glyph('A') ? 2 : 0);
    for (const int index : {0, 0, 3, 0, 1, 2, 3, 1, 0}) t.u8(index);
    return t;
}

// A GPOS table with one `kern` lookup (through an extension subtable when `extension`): a pair
// adjustment by classes for T, V and A (T class 1) before o (class 1) and every other glyph
// (class 0): T × class 0 is -300 units.
TableWriter pairClasses(bool extension) {
    TableWriter sub;
    sub.u16(2).u16(0).u16(0x0004).u16(0).u16(0).u16(0).u16(2).u16(2);
    for (const int v : {0, -100, -300, -200}) sub.u16(v);
    sub.patchOffset(2);
    sub.u16(1).u16(3).u16(glyph('A')).u16(glyph('T')).u16(glyph('V'));
    sub.patchOffset(8);
    sub.u16(1).u16(glyph('T')).u16(1).u16(1);
    sub.patchOffset(10);
    sub.u16(2).u16(1).u16(glyph('o')).u16(glyph('o')).u16(1);

    TableWriter t;
    t.u32(0x00010000).u16(10).u16(30).u16(44);
    // Script list: DFLT, its default language naming feature 0.
    t.u16(1).tag("DFLT").u16(8).u16(4).u16(0).u16(0).u16(0xFFFF).u16(1).u16(0);
    // Feature list: kern, lookup 0.
    t.u16(1).tag("kern").u16(8).u16(0).u16(1).u16(0);
    // Lookup list: one lookup of one subtable.
    t.u16(1).u16(4).u16(extension ? 9 : 2).u16(0).u16(1).u16(8);
    if (extension) t.u16(1).u16(2).u32(8);
    return t.append(sub);
}

TEST(KerningTables, PairsOfClassTablesAreHarfBuzzs) {
    const auto dejavu = testing_support::readBytes(FONTBIN_TEST_FONT_DEJAVU);
    std::vector<uint16_t> ascii;  // and a combining acute
    for (uint16_t c = 0x20; c < 0x7F; ++c) ascii.push_back(c);
    ascii.push_back(0x301);
    const struct {
        const char* what;
        const char* tag;  // the table replaced
        TableWriter table;
        size_t minPairs;  // at least this many pairs kern
    } cases[] = {
        {"kern format 2, Microsoft", "kern", kernTable(false, 2, classArray(false)), 600},
        {"kern format 2, Apple", "kern", kernTable(true, 2, classArray(true)), 600},
        {"kern format 3, Apple", "kern", kernTable(true, 3, classIndex()), 95},
        // Microsoft's header has no format 3; nor has either a format 5.
        {"kern format 3, Microsoft", "kern", kernTable(false, 3, classIndex()), 0},
        {"kern format 5", "kern", kernTable(true, 5, classIndex()), 0},
        {"GPOS pairs by class, class 0", "GPOS", pairClasses(false), 95},
        {"GPOS pairs by class, through an extension", "GPOS", pairClasses(true), 95},
    };
    for (const auto& c : cases) {
        auto font = dejavu;
        testing_support::replaceTable(font, c.tag, c.table);
        if (std::string(c.tag) == "kern") testing_support::hideTable(font, "GPOS");
        const std::vector<KernPair> expected = shapedPairs(font, ascii);
        const std::vector<KernPair> pairs = fontbinPairs(font, ascii);
        EXPECT_GE(expected.size(), c.minPairs) << c.what;
        EXPECT_EQ(describe(pairs), describe(expected)) << c.what;
    }
}

}  // namespace

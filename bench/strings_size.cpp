// Flash of UI strings shaped at build time against the same strings pre-rendered as bitmaps:
// reads a font file in the offset-table layout (trimmed records) and its string table, draws
// every string through reader/fontbin_strings, and prints
//   glyphs <bytes of the glyph records> table <bytes of the string table>
//   bitmaps <bytes of every string's ink box coded as a trimmed record> strings <count>
// The trimmed record is the coder of the glyphs themselves: 4 bytes, then rows of packed pixels.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <vector>

#include "reader/fontbin_reader.h"
#include "reader/fontbin_strings.h"

namespace {

std::vector<uint8_t> readAll(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

struct Box {
    int left = 1 << 30, top = 1 << 30, right = -(1 << 30), bottom = -(1 << 30);
};

void grow(void* user, int x, int y, unsigned) {
    Box& b = *static_cast<Box*>(user);
    b.left = std::min(b.left, x);
    b.top = std::min(b.top, y);
    b.right = std::max(b.right, x + 1);
    b.bottom = std::max(b.bottom, y + 1);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: fontbin-strings-bench FONT_FILE STRINGS_FILE\n");
        return 2;
    }
    const std::vector<uint8_t> fontBytes = readAll(argv[1]), tableBytes = readAll(argv[2]);
    fb_font font;
    fb_strings table;
    if (fb_open(fontBytes.data(), fontBytes.size(), &font) != FB_OK ||
        fb_strings_open(tableBytes.data(), tableBytes.size(), &table) != FB_OK) {
        std::fprintf(stderr, "cannot open the font file or the string table\n");
        return 1;
    }
    uint64_t glyphs = 0;
    fb_glyph g;
    for (uint32_t cp = 0; fb_next_glyph(&font, cp, &g) == FB_OK; cp = g.code_point + 1) {
        glyphs += g.compact ? 0 : g.size;
        if (g.code_point == 0xFFFF) break;
    }
    uint64_t bitmaps = 0;
    for (unsigned i = 0; i < table.count; ++i) {
        fb_string s;
        fb_string_at(&table, i, &s);
        Box box;
        if (fb_string_draw(&font, &s, 0, 0, grow, &box) != FB_OK) return 1;
        if (box.right <= box.left) continue;
        const uint64_t w = uint64_t(box.right - box.left), h = uint64_t(box.bottom - box.top);
        bitmaps += 4 + h * ((w * font.bpp + 7) / 8);
    }
    std::printf("glyphs %llu table %llu bitmaps %llu strings %u\n",
                static_cast<unsigned long long>(glyphs),
                static_cast<unsigned long long>(tableBytes.size()),
                static_cast<unsigned long long>(bitmaps), table.count);
    return 0;
}

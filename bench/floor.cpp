// fontbin-floor: the least work that any exporter of the same font set has to do, as a yardstick
// for fontbin's own time and memory. It opens face 0, sizes it with the same formula, and for every
// code point runs exactly the FreeType calls the tool runs (char index, load, the emboldening rule,
// get glyph, shear when italic, to bitmap), then packs the bitmap into a cell-sized buffer at the
// target depth. No OpenCV, no files; a checksum of the packed cells is printed so that nothing can
// be optimised away.
//
// Usage: fontbin-floor FONT SIZE BITS ITALIC BOLD FIRST-LAST [FIRST-LAST ...]
//   FONT       path of the font file (face 0 is used)
//   SIZE       fontSize: the ascender-to-descender span in pixels
//   BITS       renderMode: 1, 2, 4 or 8 bits per pixel
//   ITALIC     0 or 1
//   BOLD       0 or 1
//   FIRST-LAST an inclusive code-point range in hexadecimal, e.g. 4E00-9FFF
//
// The packed cell is the one the tool writes for row scanning without rotation or gamma: fontSize
// rows of up8(W0) columns, the glyph placed against the baseline, walked row-major, first pixel in
// the lowest bits.
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_GLYPH_H
#include FT_OUTLINE_H

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

struct Range {
    unsigned long first;
    unsigned long last;
};

int usage() {
    std::fprintf(stderr,
                 "usage: fontbin-floor FONT SIZE BITS ITALIC BOLD FIRST-LAST [FIRST-LAST ...]\n"
                 "  FIRST-LAST: inclusive code-point range in hexadecimal, e.g. 4E00-9FFF\n");
    return 2;
}

bool parseRange(const char* text, Range& range) {
    char* end = nullptr;
    range.first = std::strtoul(text, &end, 16);
    if (end == text || *end != '-') return false;
    const char* second = end + 1;
    range.last = std::strtoul(second, &end, 16);
    return end != second && *end == '\0' && range.first <= range.last && range.last <= 0xFFFF;
}

int32_t up8(int32_t x) {
    return x % 8 == 0 ? x : (x / 8) * 8 + 8;
}

// Quantises an 8-bit grey value to `bits` bits, as the tool packs it.
inline unsigned quantise(unsigned v, int bits) {
    switch (bits) {
        case 1:
            return v >= 80 ? 1u : 0u;
        case 2:
            return v == 0 ? 0u : v < 128 ? 1u : v < 255 ? 2u : 3u;
        case 4:
            return v >> 4;
        default:
            return v;
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 7) return usage();
    const char* fontPath = argv[1];
    const int32_t fontSize = std::atoi(argv[2]);
    const int bits = std::atoi(argv[3]);
    const int italic = std::atoi(argv[4]);
    const int bold = std::atoi(argv[5]);
    if (fontSize < 1 || fontSize > 255 || (bits != 1 && bits != 2 && bits != 4 && bits != 8))
        return usage();
    std::vector<Range> ranges;
    for (int i = 6; i < argc; ++i) {
        Range range{};
        if (!parseRange(argv[i], range)) return usage();
        ranges.push_back(range);
    }

    FT_Library library = nullptr;
    FT_Face face = nullptr;
    if (FT_Init_FreeType(&library) != 0 || FT_New_Face(library, fontPath, 0, &face) != 0) {
        std::fprintf(stderr, "fontbin-floor: cannot open %s\n", fontPath);
        return 1;
    }
    const int32_t span = face->ascender - face->descender;
    const FT_UInt pixelHeight =
        static_cast<FT_UInt>(std::trunc(face->units_per_EM / static_cast<double>(span) * fontSize));
    FT_Set_Pixel_Sizes(face, 0, pixelHeight);

    // The tool's cell for row scanning: fontSize rows, W0 rounded up to whole bytes of pixels.
    const int32_t rows = fontSize;
    const int32_t cols = up8(((italic + 2) * fontSize) / 2);
    const int32_t baseline = std::abs(face->ascender) * fontSize / span;
    const size_t pixels = static_cast<size_t>(rows) * cols;
    const size_t packedBytes = (pixels * bits + 7) / 8;
    const int perByte = 8 / bits;
    std::vector<uint8_t> cell(packedBytes);

    const FT_Render_Mode mode = bits == 1 ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL;
    FT_Matrix shear;
    shear.xx = 0x10000;
    shear.xy = 0x5800;
    shear.yx = 0;
    shear.yy = 0x10000;

    uint64_t checksum = 1469598103934665603ull;  // FNV-1a over every packed cell
    unsigned long glyphs = 0;
    for (const Range& range : ranges) {
        for (unsigned long code = range.first; code <= range.last; ++code) {
            const FT_UInt index = FT_Get_Char_Index(face, code);
            FT_Load_Glyph(face, index, FT_LOAD_DEFAULT);
            if (face->glyph->format == FT_GLYPH_FORMAT_OUTLINE) {
                if (bold != 0) {
                    FT_Outline_Embolden(&face->glyph->outline, 64);
                } else if (fontSize % 8 != 0) {
                    FT_Outline_Embolden(&face->glyph->outline, 4);
                }
            }
            FT_Glyph glyph = nullptr;
            if (FT_Get_Glyph(face->glyph, &glyph) != 0) continue;
            if (italic != 0) FT_Glyph_Transform(glyph, &shear, nullptr);
            FT_Glyph_To_Bitmap(&glyph, mode, nullptr, 1);
            ++glyphs;

            std::memset(cell.data(), 0, cell.size());
            if (glyph->format == FT_GLYPH_FORMAT_BITMAP) {
                const auto* bitmapGlyph = reinterpret_cast<const FT_BitmapGlyphRec*>(glyph);
                const FT_Bitmap& bitmap = bitmapGlyph->bitmap;
                const int32_t width = static_cast<int32_t>(bitmap.width);
                const int32_t height = static_cast<int32_t>(bitmap.rows);
                const int32_t left = bitmapGlyph->left;
                const int32_t top = bitmapGlyph->top;
                const int32_t x0 = left < 0 ? 0 : left + width <= cols ? left : cols - width;
                const int32_t d = baseline - top;
                const int32_t y1 = d < 0 ? height : d + height <= rows ? d + height : rows;
                const int32_t y0 = y1 - height;
                for (int32_t i = 0; i < height; ++i) {
                    const int32_t y = y0 + i;
                    if (y < 0 || y >= rows) continue;
                    const uint8_t* src = bitmap.buffer + static_cast<ptrdiff_t>(i) * bitmap.pitch;
                    for (int32_t j = 0; j < width; ++j) {
                        const int32_t x = x0 + j;
                        if (x < 0 || x >= cols) continue;
                        const unsigned v = bitmap.pixel_mode == FT_PIXEL_MODE_MONO
                                               ? ((src[j >> 3] >> (7 - (j & 7))) & 1u) * 255u
                                               : src[j];
                        const unsigned q = quantise(v, bits);
                        if (q == 0) continue;
                        const size_t k = static_cast<size_t>(y) * cols + x;
                        cell[k / perByte] |= static_cast<uint8_t>(q << ((k % perByte) * bits));
                    }
                }
            }
            FT_Done_Glyph(glyph);
            for (uint8_t b : cell) checksum = (checksum ^ b) * 1099511628211ull;
        }
    }

    FT_Done_Face(face);
    FT_Done_FreeType(library);
    // The pixel size is printed too: it is the em size that converters taking an em size need.
    std::printf("%lu glyphs, %zu bytes each, ppem %u, checksum %016llx\n", glyphs, packedBytes,
                pixelHeight, static_cast<unsigned long long>(checksum));
    return 0;
}

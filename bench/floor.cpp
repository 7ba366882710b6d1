// fontbin-floor: the least work that any exporter of the same font set has to do, as a yardstick
// for fontbin's own time and memory. It opens face 0, sizes it with the same formula, and for every
// code point runs exactly the FreeType calls the tool runs (char index, load, the emboldening rule,
// get glyph, shear when italic, to bitmap), then packs the bitmap into a cell-sized buffer at the
// target depth. No OpenCV, no files; a checksum of the packed cells is printed so that nothing can
// be optimised away.
//
// Usage: fontbin-floor [--verify FONT_BIN] FONT SIZE BITS ITALIC BOLD FIRST-LAST [FIRST-LAST ...]
//   FONT       path of the font file (face 0 is used)
//   SIZE       fontSize: the ascender-to-descender span in pixels
//   BITS       renderMode: 1, 2, 4 or 8 bits per pixel
//   ITALIC     0 or 1
//   BOLD       0 or 1
//   FIRST-LAST an inclusive code-point range in hexadecimal, e.g. 4E00-9FFF
//   --verify   after the run, check that the glyph records of FONT_BIN, a fixed-layout file that
//              fontbin wrote for the same settings and code points, hold exactly these cells
//              (true as long as no character needed the fallback font)
//
// The packed cell is the one the tool writes for row scanning without rotation or gamma: fontSize
// rows of up8(W0) columns, the glyph placed against the baseline, walked row-major, first pixel in
// the lowest bits.
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_GLYPH_H
#include FT_OUTLINE_H

#include <algorithm>
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
                 "usage: fontbin-floor [--verify FONT_BIN] FONT SIZE BITS ITALIC BOLD FIRST-LAST "
                 "[FIRST-LAST ...]\n"
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

// Packs a FreeType bitmap placed with its first pixel at (x0, y0) into the zero cell: rows x cols
// pixels walked row-major as one stream at `bits` per pixel, first pixel in the lowest bits, the
// grey levels quantised as the tool does (1 bit: from 80 on; 2 bits: 0, 1..127, 128..254, 255;
// 4 bits: the upper half). `mono` tells a 1-bit FreeType bitmap from an 8-bit one.
template <int bits, bool mono>
void packBitmap(uint8_t* cell, const FT_Bitmap& bitmap, int32_t x0, int32_t y0, int32_t rows,
                int32_t cols) {
    constexpr int perByte = 8 / bits;
    const int32_t iBegin = std::max(0, -y0);
    const int32_t iEnd = std::min(static_cast<int32_t>(bitmap.rows), rows - y0);
    const int32_t jBegin = std::max(0, -x0);
    const int32_t jEnd = std::min(static_cast<int32_t>(bitmap.width), cols - x0);
    for (int32_t i = iBegin; i < iEnd; ++i) {
        const uint8_t* src = bitmap.buffer + static_cast<ptrdiff_t>(i) * bitmap.pitch;
        // Pixel k of the stream sits in byte k / perByte at bit (k % perByte) * bits.
        const size_t k = static_cast<size_t>(y0 + i) * cols + x0 + jBegin;
        uint8_t* out = cell + k / perByte;
        unsigned shift = static_cast<unsigned>(k % perByte) * bits;
        int32_t j = jBegin;
        if (!mono && bits == 8) {
            std::memcpy(out, src + j, static_cast<size_t>(jEnd - j));
            continue;
        }
        if (!mono && bits == 4) {
            // Two grey pixels a byte: the even one in the low half.
            if (shift != 0 && j < jEnd) {
                *out++ |= static_cast<uint8_t>(src[j++] & 0xF0);
                shift = 0;
            }
            for (; j + 1 < jEnd; j += 2) {
                *out++ = static_cast<uint8_t>((src[j] >> 4) | (src[j + 1] & 0xF0));
            }
        }
        for (; j < jEnd; ++j) {
            unsigned q;
            if (mono) {
                q = (src[j >> 3] >> (7 - (j & 7))) & 1u;
                if (bits != 1) q *= (1u << bits) - 1;  // 255 quantised
            } else {
                const unsigned v = src[j];
                q = bits == 1   ? (v >= 80 ? 1u : 0u)
                    : bits == 2 ? (v == 0    ? 0u
                                   : v < 128 ? 1u
                                   : v < 255 ? 2u
                                             : 3u)
                    : bits == 4 ? v >> 4
                                : v;
            }
            *out |= static_cast<uint8_t>(q << shift);
            shift += bits;
            if (shift == 8) {
                shift = 0;
                ++out;
            }
        }
    }
}

template <int bits>
void packBitmap(uint8_t* cell, const FT_Bitmap& bitmap, int32_t x0, int32_t y0, int32_t rows,
                int32_t cols) {
    if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO) {
        packBitmap<bits, true>(cell, bitmap, x0, y0, rows, cols);
    } else if (bitmap.pixel_mode == FT_PIXEL_MODE_GRAY) {
        packBitmap<bits, false>(cell, bitmap, x0, y0, rows, cols);
    }
}

// The same checksum over the glyph records of a font bitmap file that fontbin wrote in the fixed
// layout (crop 0): each record's packed cell, after its four metric bytes. Nothing when the file
// cannot be read or is not in that layout.
bool recordsChecksum(const char* path, size_t packedBytes, uint64_t& checksum, size_t& records) {
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) return false;
    std::vector<uint8_t> bytes;
    uint8_t chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + n);
    std::fclose(file);
    if (bytes.size() < 14 || (bytes[8] & 0x10) != 0) return false;
    const size_t indexBytes = bytes[9] | bytes[10] << 8 | bytes[11] << 16 | size_t{bytes[12]} << 24;
    size_t at = bytes[0] + indexBytes;
    const size_t recordBytes = 4 + packedBytes;
    if (at > bytes.size() || (bytes.size() - at) % recordBytes != 0) return false;
    records = (bytes.size() - at) / recordBytes;
    checksum = 1469598103934665603ull;
    std::vector<uint8_t> cell((packedBytes + 7) / 8 * 8);
    for (; at < bytes.size(); at += recordBytes) {
        std::memcpy(cell.data(), bytes.data() + at + 4, packedBytes);
        for (size_t w = 0; w < packedBytes; w += 8) {
            uint64_t word;
            std::memcpy(&word, cell.data() + w, sizeof word);
            checksum = (checksum ^ word) * 1099511628211ull;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    // --verify FILE: also compare with the glyph records of a fixed-layout fontbin output.
    const char* verify = nullptr;
    if (argc >= 3 && std::strcmp(argv[1], "--verify") == 0) {
        verify = argv[2];
        argc -= 2;
        argv += 2;
    }
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
    std::vector<uint8_t> cell((packedBytes + 7) / 8 * 8);

    const FT_Render_Mode mode = bits == 1 ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL;
    FT_Matrix shear;
    shear.xx = 0x10000;
    shear.xy = 0x5800;
    shear.yx = 0;
    shear.yy = 0x10000;

    uint64_t checksum = 1469598103934665603ull;  // FNV-1a over every packed cell, by words
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
                switch (bits) {
                    case 1:
                        packBitmap<1>(cell.data(), bitmap, x0, y0, rows, cols);
                        break;
                    case 2:
                        packBitmap<2>(cell.data(), bitmap, x0, y0, rows, cols);
                        break;
                    case 4:
                        packBitmap<4>(cell.data(), bitmap, x0, y0, rows, cols);
                        break;
                    default:
                        packBitmap<8>(cell.data(), bitmap, x0, y0, rows, cols);
                        break;
                }
            }
            FT_Done_Glyph(glyph);
            // Eight bytes at a time (the cell is padded with zeros to whole words).
            for (size_t at = 0; at < packedBytes; at += 8) {
                uint64_t word;
                std::memcpy(&word, cell.data() + at, sizeof word);
                checksum = (checksum ^ word) * 1099511628211ull;
            }
        }
    }

    FT_Done_Face(face);
    FT_Done_FreeType(library);
    // The pixel size is printed too: it is the em size that converters taking an em size need.
    std::printf("%lu glyphs, %zu bytes each, ppem %u, checksum %016llx\n", glyphs, packedBytes,
                pixelHeight, static_cast<unsigned long long>(checksum));
    if (verify != nullptr) {
        uint64_t theirs = 0;
        size_t records = 0;
        if (!recordsChecksum(verify, packedBytes, theirs, records)) {
            std::fprintf(stderr, "fontbin-floor: %s is not a fixed-layout font bitmap file\n",
                         verify);
            return 1;
        }
        const bool same = records == glyphs && theirs == checksum;
        std::printf("%s: %zu records, checksum %016llx: %s\n", verify, records,
                    static_cast<unsigned long long>(theirs), same ? "the same cells" : "DIFFERENT");
        if (!same) return 1;
    }
    return 0;
}

#include "render/Shape.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>

int32_t baselineRow(int32_t ascender, int32_t descender, int32_t fontSize) {
    // Widened so that no configuration can overflow; for real font metrics and sizes below 256
    // the result is the plain 32-bit quotient.
    const int64_t span = static_cast<int64_t>(ascender) - descender;
    if (span == 0) return 0;
    const int64_t row = std::llabs(static_cast<int64_t>(ascender)) * fontSize / span;
    return static_cast<int32_t>(std::clamp<int64_t>(row, INT32_MIN, INT32_MAX));
}

GlyphPlacement placeGlyph(int32_t left, int32_t top, int32_t width, int32_t rows, int32_t W,
                          int32_t H, int32_t baseline, IntPair& extent, IntPair& origin) {
    GlyphPlacement p;
    p.width = width;
    p.rows = rows;
    p.W = W;
    p.H = H;

    if (left < 0) {
        p.x0 = 0;
    } else if (left + width <= W) {
        p.x0 = left;
    } else {
        p.x0 = W - width;
    }

    const int32_t d = baseline - top;  // natural row of the bitmap's first row
    if (d < 0) {
        p.y1 = rows;
    } else if (d + rows <= H) {
        p.y1 = d + rows;
    } else {
        p.y1 = H;
    }

    extent = {p.x0 + width, p.y1};
    origin = {p.x0 - left, p.y0() + top};
    return p;
}

bool gammaEnabled(const TransformSettings& transform) {
    return transform.TransformAlgrithm == "gamma" && transform.gamma != 1.0;
}

uint8_t gammaCorrect(uint8_t v, double gamma) {
    if (v == 0) return 0;
    const double p = 255.0 * std::pow(v / 255.0, gamma);
    if (!(p > 0.0)) return 0;  // also catches NaN from a NaN exponent
    if (p >= 255.0) return 255;
    return static_cast<uint8_t>(p);
}

namespace {

// One table per exponent: 256 pow() calls instead of one per pixel, and none at all while the
// exponent stays the same from glyph to glyph.
const uint8_t* gammaTable(double gamma) {
    thread_local double tableGamma = 1.0;
    thread_local std::array<uint8_t, 256> table = [] {
        std::array<uint8_t, 256> t{};
        for (int v = 0; v < 256; ++v) t[v] = static_cast<uint8_t>(v);
        return t;
    }();
    if (!(tableGamma == gamma)) {
        for (int v = 0; v < 256; ++v) table[v] = gammaCorrect(static_cast<uint8_t>(v), gamma);
        tableGamma = gamma;
    }
    return table.data();
}

void applyGamma(GreyCell& cell, double gamma) {
    const uint8_t* table = gammaTable(gamma);
    uint8_t* p = cell.data;
    const size_t n = cell.total();
    for (size_t i = 0; i < n; ++i) p[i] = table[p[i]];
}

// The spare buffer a turned or transposed cell is built in before the two are swapped. One per
// thread, so that shaping allocates nothing once the largest cell has been seen.
GreyCell& spareCell() {
    thread_local GreyCell spare;
    return spare;
}

// dst(i, j) = src(j, i).
void transposeCell(GreyCell& cell) {
    GreyCell& out = spareCell();
    out.createUncleared(cell.cols, cell.rows);
    const int32_t rows = cell.rows;
    const int32_t cols = cell.cols;
    // Row i of the result is column i of the cell read downwards.
    for (int32_t i = 0; i < cols; ++i) {
        uint8_t* dst = out.ptr(i);
        const uint8_t* src = cell.data + i;
        for (int32_t r = 0; r < rows; ++r, src += cols) dst[r] = *src;
    }
    cell.swap(out);
}

size_t inkPixels(const GreyCell& cell) {
    const size_t n = static_cast<size_t>(cell.rows) * static_cast<size_t>(cell.cols);
    return n - static_cast<size_t>(std::count(cell.data, cell.data + n, uint8_t{0}));
}

// Returns true when pixels with ink were left behind by the counter-clockwise turn's shift.
bool rotateCell(GreyCell& cell, IntPair& extent, const GlyphPlacement& placed, int rotate) {
    bool lost = false;
    GreyCell& out = spareCell();
    const int32_t rows = cell.rows;  // of the cell before the turn
    const int32_t cols = cell.cols;
    if (rotate == 1) {
        // A quarter turn clockwise (transposition, then the columns mirrored): pixel (r, c) goes
        // to (c, rows - 1 - r).
        // Row i of the result is column i of the cell read upwards.
        out.createUncleared(cols, rows);
        for (int32_t i = 0; i < cols; ++i) {
            uint8_t* dst = out.ptr(i);
            const uint8_t* src = cell.data + static_cast<size_t>(rows - 1) * cols + i;
            for (int32_t r = 0; r < rows; ++r, src -= cols) dst[r] = *src;
        }
        extent = {placed.H - placed.y0(), placed.x0 + placed.width};
    } else {
        // A quarter turn counter-clockwise (transposition, then the rows mirrored) puts pixel
        // (r, c) on row cols - 1 - c, so the glyph lies on rows W - x0 - width .. W - x0 - 1. It is
        // then moved up by u = W - 2 x0 - width rows (down when negative), zero rows filling in,
        // which brings it back to rows x0 .. x0 + width - 1, where its columns were.
        const int64_t u = static_cast<int64_t>(placed.W) - 2 * static_cast<int64_t>(placed.x0) -
                          static_cast<int64_t>(placed.width);
        // Row i of the result is column cols - 1 - i - u of the cell read downwards, or zero
        // where that column lies outside the cell.
        out.createUncleared(cols, rows);
        for (int32_t i = 0; i < cols; ++i) {
            uint8_t* dst = out.ptr(i);
            const int64_t c = static_cast<int64_t>(cols) - 1 - i - u;
            if (c < 0 || c >= cols) {
                std::memset(dst, 0, static_cast<size_t>(rows));
                continue;
            }
            const uint8_t* src = cell.data + c;
            for (int32_t r = 0; r < rows; ++r, src += cols) dst[r] = *src;
        }
        extent = {placed.y1, placed.x0 + placed.width};
        // The shift can leave columns with ink behind; the bytes stay as they are, but the run
        // reports it.
        lost = inkPixels(out) < inkPixels(cell);
    }
    cell.swap(out);
    return lost;
}

// Packs `ppb` pixels per byte; `code(v)` gives a pixel's bits. Handles any pixel count, one pixel
// at a time; the depth-specific packers below use it for what remains after their wide steps.
template <int ppb, typename Code>
void packStream(const uint8_t* src, uint8_t* dst, size_t pixels, Code code) {
    constexpr int bits = 8 / ppb;
    size_t k = 0;
    // Every pixel of a byte is read before the byte is written, and the byte lies at or before
    // the first of them, so the stream can be packed over itself.
    for (; k + ppb <= pixels; k += ppb, src += ppb) {
        unsigned byte = 0;
        for (int i = 0; i < ppb; ++i) byte |= static_cast<unsigned>(code(src[i])) << (i * bits);
        *dst++ = static_cast<uint8_t>(byte);
    }
    if (k < pixels) {
        unsigned byte = 0;
        for (int i = 0; k + i < pixels; ++i) {
            byte |= static_cast<unsigned>(code(src[i])) << (i * bits);
        }
        *dst = static_cast<uint8_t>(byte);
    }
}

bool littleEndianHost() {
    const uint16_t probe = 1;
    uint8_t first = 0;
    std::memcpy(&first, &probe, 1);
    return first == 1;
}

// Eight pixels at a time as one 64-bit word, pixel i in byte i (little-endian loads).
uint64_t load8(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

constexpr uint64_t kHighBits = 0x8080808080808080ull;
constexpr uint64_t kLow7Bits = 0x7F7F7F7F7F7F7F7Full;

// 1 bit: a pixel is set from 80 on. Per byte, v >= 80 exactly when its top bit is set or its low
// seven bits plus 48 reach 128 (no carry leaves a byte: 127 + 48 < 256). The eight flags, one per
// byte, are then gathered into one byte, pixel i in bit i, by a multiplication.
void packOneBit(uint8_t* data, size_t pixels) {
    size_t k = 0;
    uint8_t* dst = data;
    if (littleEndianHost()) {
        for (; k + 8 <= pixels; k += 8) {
            const uint64_t x = load8(data + k);
            const uint64_t set = ((x | ((x & kLow7Bits) + 0x3030303030303030ull)) & kHighBits) >> 7;
            *dst++ = static_cast<uint8_t>((set * 0x0102040810204080ull) >> 56);
        }
    }
    packStream<8>(data + k, dst, pixels - k, [](uint8_t v) { return v >= 80 ? 1u : 0u; });
}

// 4 bits: the upper half of each pixel, the even pixel in the low half of the byte. Works on four
// 16-bit lanes of two pixels each, then closes the gaps between the four result bytes.
void packFourBits(uint8_t* data, size_t pixels) {
    size_t k = 0;
    uint8_t* dst = data;
    if (littleEndianHost()) {
        for (; k + 8 <= pixels; k += 8) {
            const uint64_t x = load8(data + k);
            uint64_t t = ((x >> 4) & 0x000F000F000F000Full) | ((x >> 8) & 0x00F000F000F000F0ull);
            t = (t | (t >> 8)) & 0x0000FFFF0000FFFFull;
            t = (t | (t >> 16)) & 0x00000000FFFFFFFFull;
            const uint32_t four = static_cast<uint32_t>(t);
            std::memcpy(dst, &four, sizeof four);  // little-endian: pixel pair 0 first
            dst += 4;
        }
    }
    packStream<2>(data + k, dst, pixels - k, [](uint8_t v) { return unsigned{v} >> 4; });
}

// 2 bits: 0 -> 0, 1..127 -> 1, 128..254 -> 2, 255 -> 3 (trunc(1 + (v - 1) / 127) for v != 0),
// from a table.
void packTwoBits(uint8_t* data, size_t pixels) {
    static const std::array<uint8_t, 256> code = [] {
        std::array<uint8_t, 256> t{};
        for (int v = 0; v < 256; ++v) t[v] = v == 0 ? 0 : v < 128 ? 1 : v < 255 ? 2 : 3;
        return t;
    }();
    packStream<4>(data, data, pixels, [](uint8_t v) { return unsigned{code[v]}; });
}

}  // namespace

bool shapeCell(GreyCell& cell, IntPair& extent, const GlyphPlacement& placed,
               const FontSetSettings& settings, const TransformSettings& transform) {
    if (cell.empty()) return false;
    if (scansColumns(scanKind(settings.scanMode))) transposeCell(cell);
    bool lost = false;
    if ((transform.rotate == 1 || transform.rotate == 2) && !placed.empty()) {
        lost = rotateCell(cell, extent, placed, transform.rotate);
    }
    if (gammaEnabled(transform)) applyGamma(cell, transform.gamma);
    return lost;
}

size_t packedByteCount(size_t pixels, int renderMode) {
    switch (renderMode) {
        case 1:
            return (pixels + 7) / 8;
        case 2:
            return (pixels + 3) / 4;
        case 4:
            return (pixels + 1) / 2;
        case 8:
            return pixels;
        default:
            return 0;
    }
}

size_t packCell(GreyCell& cell, int renderMode) {
    if (cell.empty()) return 0;
    const size_t pixels = cell.total();
    uint8_t* data = cell.data;
    switch (renderMode) {
        case 1:
            packOneBit(data, pixels);
            break;
        case 2:
            packTwoBits(data, pixels);
            break;
        case 4:
            packFourBits(data, pixels);
            break;
        case 8:
            break;  // one byte per pixel: the cell already is its packed form
        default:
            return pixels;  // not a packed depth: the pixels stay as they are
    }
    return packedByteCount(pixels, renderMode);
}

#include "render/Shape.h"

#include <algorithm>
#include <array>
#include <cctype>
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

bool scansVertically(const std::string& scanMode) {
    return !scanMode.empty() &&
           std::toupper(static_cast<unsigned char>(scanMode[0])) == static_cast<unsigned char>('V');
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

void applyGamma(cv::Mat& cell, double gamma) {
    const uint8_t* table = gammaTable(gamma);
    const size_t rowBytes = static_cast<size_t>(cell.cols) * cell.elemSize();
    for (int r = 0; r < cell.rows; ++r) {
        uint8_t* p = cell.ptr<uint8_t>(r);
        for (size_t i = 0; i < rowBytes; ++i) p[i] = table[p[i]];
    }
}

// Moves the content of the cell by `shift` rows (up when positive, down when negative), filling
// the rows it leaves with zero: the same pixels as padding the cell with |shift| zero rows on the
// far side and taking the cell-sized window, without a second buffer.
void shiftRows(cv::Mat& cell, int64_t shift) {
    const int64_t R = cell.rows;
    const size_t rowBytes = static_cast<size_t>(cell.cols) * cell.elemSize();
    if (shift == 0 || rowBytes == 0) return;
    if (shift >= R || -shift >= R) {
        cell.setTo(cv::Scalar::all(0));
        return;
    }
    if (shift > 0) {
        for (int64_t r = 0; r + shift < R; ++r) {
            std::memmove(cell.ptr(static_cast<int>(r)), cell.ptr(static_cast<int>(r + shift)),
                         rowBytes);
        }
        for (int64_t r = R - shift; r < R; ++r) {
            std::memset(cell.ptr(static_cast<int>(r)), 0, rowBytes);
        }
    } else {
        const int64_t down = -shift;
        for (int64_t r = R - 1; r >= down; --r) {
            std::memmove(cell.ptr(static_cast<int>(r)), cell.ptr(static_cast<int>(r - down)),
                         rowBytes);
        }
        for (int64_t r = 0; r < down; ++r) std::memset(cell.ptr(static_cast<int>(r)), 0, rowBytes);
    }
}

void rotateCell(cv::Mat& cell, IntPair& extent, const GlyphPlacement& placed, int rotate) {
    const int64_t x0 = placed.x0;
    const int64_t width = placed.width;
    if (rotate == 1) {
        // A quarter turn clockwise: pixel (r, c) goes to (c, H - 1 - r).
        cv::transpose(cell, cell);
        cv::flip(cell, cell, 1);
        extent = {placed.H - placed.y0(), placed.x0 + placed.width};
    } else {
        // A quarter turn counter-clockwise puts the glyph on rows W - x0 - width .. W - x0 - 1;
        // the shift brings it back to rows x0 .. x0 + width - 1, where its columns were.
        cv::transpose(cell, cell);
        cv::flip(cell, cell, 0);
        shiftRows(cell, static_cast<int64_t>(placed.W) - 2 * x0 - width);
        extent = {placed.y1, placed.x0 + placed.width};
    }
}

// Packs `ppb` pixels per byte; `code(v)` gives a pixel's bits, `bits` their width.
template <int ppb, typename Code>
void packStream(uint8_t* data, size_t pixels, size_t stride, Code code) {
    constexpr int bits = 8 / ppb;
    const uint8_t* src = data;
    uint8_t* dst = data;
    size_t k = 0;
    // Every pixel of a byte is read before the byte is written, and the byte lies at or before
    // the first of them, so the stream can be packed over itself.
    for (; k + ppb <= pixels; k += ppb, src += ppb * stride) {
        unsigned byte = 0;
        for (int i = 0; i < ppb; ++i)
            byte |= static_cast<unsigned>(code(src[i * stride])) << (i * bits);
        *dst++ = static_cast<uint8_t>(byte);
    }
    if (k < pixels) {
        unsigned byte = 0;
        for (int i = 0; k + i < pixels; ++i) {
            byte |= static_cast<unsigned>(code(src[i * stride])) << (i * bits);
        }
        *dst = static_cast<uint8_t>(byte);
    }
}

}  // namespace

void shapeCell(cv::Mat& cell, IntPair& extent, const GlyphPlacement& placed,
               const FontSetSettings& settings, const TransformSettings& transform) {
    if (scansVertically(settings.scanMode)) cv::transpose(cell, cell);
    if ((transform.rotate == 1 || transform.rotate == 2) && !placed.empty()) {
        rotateCell(cell, extent, placed, transform.rotate);
    }
    if (gammaEnabled(transform)) applyGamma(cell, transform.gamma);
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

size_t packCell(cv::Mat& cell, int renderMode) {
    if (cell.empty() || cell.depth() != CV_8U) return 0;
    const size_t pixels = cell.total();
    if (renderMode != 1 && renderMode != 2 && renderMode != 4 && renderMode != 8) {
        return pixels * cell.elemSize();
    }
    // The stream runs through the buffer row after row; a cell that is a window into a wider
    // matrix gets its own buffer first (the cells made here are always continuous).
    if (!cell.isContinuous()) cell = cell.clone();

    uint8_t* data = cell.data;
    const size_t stride = cell.elemSize();  // channel 0 of each pixel
    switch (renderMode) {
        case 1:
            packStream<8>(data, pixels, stride, [](uint8_t v) { return v >= 80 ? 1u : 0u; });
            break;
        case 2:
            // 0 -> 0, 1..127 -> 1, 128..254 -> 2, 255 -> 3: trunc(1 + (v - 1) / 127) for v != 0.
            packStream<4>(data, pixels, stride, [](uint8_t v) {
                return v == 0 ? 0u : v < 128 ? 1u : v < 255 ? 2u : 3u;
            });
            break;
        case 4:
            packStream<2>(data, pixels, stride, [](uint8_t v) { return unsigned{v} >> 4; });
            break;
        default:
            packStream<1>(data, pixels, stride, [](uint8_t v) { return unsigned{v}; });
            break;
    }
    return packedByteCount(pixels, renderMode);
}

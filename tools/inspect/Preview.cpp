// The text preview: a string laid out and drawn the way cookbook-following firmware draws it,
// as character art or as a magnified PNG.
#include <algorithm>
#include <cstring>

#include "platform/platform.h"
#include "tools/inspect/Inspect.h"

namespace inspect {
namespace {

// Unicode space characters: without an advance-width file, the offset-table layout cannot tell
// a space (no ink, so no record) from a character that was not exported.
bool isSpace(uint32_t cp) {
    return cp == 0x20 || cp == 0xA0 || cp == 0x1680 || (cp >= 0x2000 && cp <= 0x200B) ||
           cp == 0x202F || cp == 0x205F || cp == 0x3000;
}

// A stored glyph seen upright: the scan order and the rotation of the file undone.
struct Upright {
    enum Mode { kAsStored, kTransposed, kClockwise, kCounterClockwise };
    Mode mode = kAsStored;
    unsigned rows = 0, cols = 0;  // of the upright cell
    unsigned mirror = 0;          // counter-clockwise: stored row of upright column c is mirror - c

    unsigned at(const fb_glyph& g, const GlyphPixels& p, unsigned c, unsigned r) const {
        switch (mode) {
            case kAsStored:
                return p.at(c, r);
            case kTransposed:
                return p.at(r, c);
            case kClockwise:  // stored (x, y) is upright (column y, row cols - 1 - x)
                return r < g.cols ? p.at(g.cols - 1 - r, c) : 0;
            case kCounterClockwise:
                return c <= mirror ? p.at(r, mirror - c) : 0;
        }
        return 0;
    }
};

struct Placement {
    unsigned x, y;
    bool box;
    fb_glyph glyph;
    GlyphPixels pixels;
};

}  // namespace

std::vector<uint32_t> decodeUtf8(const std::string& text) {
    std::vector<uint32_t> out;
    const auto* b = reinterpret_cast<const unsigned char*>(text.data());
    for (size_t i = 0; i < text.size();) {
        char32_t cp = 0;
        size_t bad = 0;
        if (const size_t length = platform::decodeUtf8(b + i, text.size() - i, cp, bad)) {
            out.push_back(cp);
            i += length;
        } else {
            out.push_back(0xFFFD);
            i += bad;
        }
    }
    return out;
}

Canvas drawText(const fb_font& font, const fb_advances* advances,
                const std::vector<uint32_t>& codes, unsigned wrapWidth, std::string& error) {
    Canvas canvas;
    const fb_geometry& geo = font.geometry;
    const int scan = geo.scan < 0 ? FB_SCAN_ROWS : geo.scan;
    const int rotate = geo.rotate < 0 ? 0 : geo.rotate;
    if (rotate != 0 && scan != FB_SCAN_ROWS) {
        error = "the preview cannot turn back a cell that was both column-scanned and rotated";
        return canvas;
    }
    Upright up;
    up.mode = rotate == 1            ? Upright::kClockwise
              : rotate == 2          ? Upright::kCounterClockwise
              : scan != FB_SCAN_ROWS ? Upright::kTransposed
                                     : Upright::kAsStored;
    up.rows = up.mode == Upright::kAsStored ? geo.rows : geo.cols;
    up.cols = up.mode == Upright::kAsStored ? geo.cols : geo.rows;
    const unsigned lineHeight = up.rows;
    const unsigned spaceWidth = std::max(1u, font.font_size / 3);
    const unsigned boxWidth = std::max(3u, font.font_size / 2);

    std::vector<Placement> placed;
    unsigned penX = 0, line = 0, right = 0;
    for (uint32_t cp : codes) {
        if (cp == '\n') {
            penX = 0;
            ++line;
            continue;
        }
        fb_glyph g;
        const bool found = fb_find_glyph(&font, cp, &g) == FB_OK;
        const bool ink = found && hasInk(g);
        unsigned stored = 0;
        // A compact file holds every width itself.
        const bool own = found && g.compact && g.advance >= 0;
        if (own) stored = static_cast<unsigned>(g.advance);
        const bool listed = own || (advances && fb_advance(advances, &font, cp, &stored) == FB_OK);
        // Missing: not in the file. In the offset-table layout a character without ink has no
        // record either; the advance widths list it, else only a space is taken for one.
        const bool missing =
            !found && (advances ? !listed : font.layout != FB_LAYOUT_OFFSET_TABLE || !isSpace(cp));
        unsigned inkRight = 0, advance;
        if (missing) {
            inkRight = boxWidth;
            advance = boxWidth + 1;
            if (std::find(canvas.missing.begin(), canvas.missing.end(), cp) == canvas.missing.end())
                canvas.missing.push_back(cp);
        } else if (ink) {
            // A trimmed record's extent is the box in the stored cell, which column scanning
            // transposed; a fixed record's is the box before the transposition.
            const bool transposed = g.trimmed && up.mode == Upright::kTransposed;
            inkRight = rotate || transposed ? g.extent_y : g.extent_x;
            // A compact glyph's box lies in the stored cell, whose rows are the upright
            // columns when the cell is transposed or turned.
            if (g.compact)
                inkRight = up.mode == Upright::kAsStored ? g.box_x + g.box_w : g.box_y + g.box_h;
            advance = listed ? stored : inkRight + 1;
        } else {
            advance = listed ? stored : spaceWidth;
        }
        if (wrapWidth && penX > 0 && penX + std::max(advance, inkRight) > wrapWidth) {
            penX = 0;
            ++line;
        }
        if (missing || ink)
            placed.push_back(Placement{penX, line * lineHeight, missing, g,
                                       ink ? GlyphPixels(font, g) : GlyphPixels()});
        right = std::max(right, penX + std::max(advance, inkRight));
        penX += advance;
    }

    canvas.lines = line + 1;
    canvas.width = wrapWidth ? wrapWidth : std::max(1u, right);
    canvas.height = canvas.lines * lineHeight;
    canvas.maxValue = (1u << font.bpp) - 1u;
    // A picture of some megapixels is plenty for a display; a long text without --width must
    // not take the machine's memory.
    if (size_t(canvas.width) * canvas.height > (size_t(1) << 26)) {
        error = "the text would take more than 64 million pixels: give a shorter text or --width";
        return Canvas{};
    }
    canvas.pixels.assign(size_t(canvas.width) * canvas.height, 0);
    canvas.boxes.assign(canvas.pixels.size(), 0);
    auto put = [&canvas](unsigned x, unsigned y, unsigned v, bool box) {
        if (x >= canvas.width || y >= canvas.height) return;
        uint8_t& p = canvas.pixels[size_t(y) * canvas.width + x];
        p = static_cast<uint8_t>(std::max<unsigned>(p, v));
        if (box) canvas.boxes[size_t(y) * canvas.width + x] = 1;
    };
    const unsigned fs = font.font_size, boxTop = fs / 8, boxBottom = std::max(fs - fs / 8, 3u);
    for (const Placement& p : placed) {
        if (p.box) {
            for (unsigned x = 0; x < boxWidth; ++x)
                for (unsigned y = boxTop; y < boxBottom; ++y)
                    if (x == 0 || x + 1 == boxWidth || y == boxTop || y + 1 == boxBottom)
                        put(p.x + x, p.y + y, canvas.maxValue, true);
            continue;
        }
        Upright u = up;
        if (u.mode == Upright::kCounterClockwise) {
            // The turned glyph's columns run backwards from its first stored row with ink.
            unsigned first = 0;
            while (first + 1 < p.glyph.rows) {
                bool any = false;
                for (unsigned x = 0; x < p.glyph.cols && !any; ++x)
                    any = p.pixels.at(x, first) != 0;
                if (any) break;
                ++first;
            }
            u.mirror =
                first + (p.glyph.compact ? p.glyph.box_y + p.glyph.box_h : p.glyph.extent_y) - 1;
        }
        for (unsigned r = 0; r < u.rows; ++r)
            for (unsigned c = 0; c < u.cols; ++c)
                if (unsigned v = u.at(p.glyph, p.pixels, c, r)) put(p.x + c, p.y + r, v, false);
    }
    return canvas;
}

std::string canvasArt(const Canvas& canvas) {
    std::string s;
    s.reserve((size_t(canvas.width) + 1) * canvas.height);
    for (unsigned y = 0; y < canvas.height; ++y) {
        for (unsigned x = 0; x < canvas.width; ++x) {
            const unsigned v = canvas.pixels[size_t(y) * canvas.width + x];
            s += artPixel(v, canvas.maxValue);
        }
        s += '\n';
    }
    return s;
}

namespace {

struct PngCanvas {
    const Canvas* canvas;
    unsigned scale;
    unsigned width;
};

void fillCanvasBand(void* context, unsigned y0, unsigned lines, uint8_t* band) {
    const PngCanvas& P = *static_cast<const PngCanvas*>(context);
    const Canvas& C = *P.canvas;
    for (unsigned i = 0; i < lines; ++i) {
        const unsigned y = y0 + i, cy = y / P.scale;
        uint8_t* row = band + size_t(i) * P.width * 3;
        for (unsigned x = 0; x < P.width; ++x) {
            const unsigned cx = x / P.scale;
            const size_t k = size_t(cy) * C.width + cx;
            uint8_t rgb[3];
            if (C.boxes[k]) {
                rgb[0] = 220, rgb[1] = 40, rgb[2] = 40;
            } else {
                std::memset(rgb, 255 - C.pixels[k] * 255 / C.maxValue, 3);
            }
            // A faint grid on the last line and column of each display pixel.
            if (P.scale >= 3 && (x % P.scale == P.scale - 1 || y % P.scale == P.scale - 1))
                for (uint8_t& v : rgb) v = static_cast<uint8_t>((v * 7 + 200) / 8);
            std::memcpy(row + size_t(x) * 3, rgb, 3);
        }
    }
}

}  // namespace

std::string writeCanvasPng(const Canvas& canvas, const std::string& path, unsigned scale) {
    PngCanvas P{&canvas, scale, canvas.width * scale};
    return writePng(path, P.width, canvas.height * scale, fillCanvasBand, &P);
}

}  // namespace inspect

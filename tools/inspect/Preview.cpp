// The text preview: a string laid out and drawn by the device reader's text API, the code a
// firmware runs, as character art or as a magnified PNG.
#include <algorithm>
#include <cstring>

#include "reader/fontbin_text.h"
#include "tools/inspect/Inspect.h"

namespace inspect {
namespace {

// Paints the text API's pixels into a canvas, keeping the brightest level where glyphs meet.
struct Painter {
    Canvas* canvas;
    bool box;  // the character being drawn is a missing one: its pixels are the box
};

void paintPixel(void* user, int x, int y, unsigned level, unsigned /*maxLevel*/) {
    Painter& p = *static_cast<Painter*>(user);
    Canvas& c = *p.canvas;
    if (x < 0 || y < 0 || unsigned(x) >= c.width || unsigned(y) >= c.height) return;
    const size_t k = size_t(y) * c.width + unsigned(x);
    c.pixels[k] = static_cast<uint8_t>(std::max<unsigned>(c.pixels[k], level));
    if (p.box) c.boxes[k] = 1;
}

void noteChar(void* user, uint32_t cp, int, int, int missing) {
    Painter& p = *static_cast<Painter*>(user);
    p.box = missing != 0;
    std::vector<uint32_t>& list = p.canvas->missing;
    if (missing && std::find(list.begin(), list.end(), cp) == list.end()) list.push_back(cp);
}

}  // namespace

Canvas drawText(const fb_font& font, const fb_advances* advances, const std::string& text,
                unsigned wrapWidth, std::string& error, bool words) {
    Canvas canvas;
    fb_text t;
    if (fb_text_init(&t, &font, advances) != FB_OK) {
        error = "the preview cannot turn back a cell that was both column-scanned and rotated";
        return canvas;
    }
    // The device's own layout: measured first for the canvas, then drawn into it.
    const fb_wrap wrap = !wrapWidth ? FB_WRAP_NONE : words ? FB_WRAP_WORDS : FB_WRAP_CHARS;
    fb_text_extent extent;
    fb_text_measure(&t, text.data(), text.size(), wrapWidth, wrap, &extent);
    canvas.lines = extent.lines;
    canvas.width = wrapWidth ? wrapWidth : std::max(1u, extent.width);
    canvas.height = extent.height;
    canvas.maxValue = t.max_level;
    // A picture of some megapixels is plenty for a display; a long text without --width must
    // not take the machine's memory.
    if (size_t(canvas.width) * canvas.height > (size_t(1) << 26)) {
        error = "the text would take more than 64 million pixels: give a shorter text or --width";
        return Canvas{};
    }
    canvas.pixels.assign(size_t(canvas.width) * canvas.height, 0);
    canvas.boxes.assign(canvas.pixels.size(), 0);
    Painter painter{&canvas, false};
    t.pixel = paintPixel;
    t.on_char = noteChar;
    t.user = &painter;
    fb_text_draw(&t, 0, 0, text.data(), text.size(), wrapWidth, wrap, nullptr);
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

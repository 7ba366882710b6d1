#include "output/CompactFontWriter.h"

#include <algorithm>

#include "output/FontFileWriter.h"
#include "output/InkBox.h"
#include "output/compact/CompactLayout.h"

using namespace compact;

CompactFontWriter::CompactFontWriter(const FontSetSettings& settings, int32_t rotate,
                                     int32_t baseline)
    : settings_(settings),
      rotate_(rotate),
      baseline_(baseline),
      bpp_(settings.renderMode),
      depthOk_(bpp_ == 1 || bpp_ == 2 || bpp_ == 4 || bpp_ == 8),
      vertical_(scansColumns(scanKind(settings.scanMode))) {
    set_.bpp = depthOk_ ? static_cast<uint32_t>(bpp_) : 1u;
}

void CompactFontWriter::widenTurnedRows(const PackedGlyph& glyph, int32_t rows, int32_t& top,
                                        int32_t& bottom) const {
    if (rotate_ != 2 || vertical_) return;
    // The turn put upright column c on stored row span - 1 - c, where span is the sum of the
    // bitmap's first and end rows, and a reader turns the box back about its own middle. A box
    // with that middle (the ink's rows and their mirror images, the empty ones coded as 0s)
    // brings every glyph back where the upright cell has it. A bitmap cut off at the cell's
    // left has no such box inside the cell: its ink box stays.
    const int32_t span = glyph.bitmapColumn + glyph.extent.y;
    const int32_t first = std::min(top, span - bottom);
    if (first >= 0 && span - first <= rows) {
        top = first;
        bottom = span - first;
    }
}

void CompactFontWriter::addGlyph(const PackedGlyph& glyph, int32_t advance) {
    GlyphBox g;
    g.code = glyph.code;
    g.advance = std::clamp(advance, 0, 255);
    // The renderer leaves a cell with nothing drawn as it was before shaping, so with a turn it
    // has the other shape: the cell of the file is that of the first glyph with ink, and until
    // one comes, that of the first glyph.
    if (cellRows_ == 0) {
        cellRows_ = glyph.rows;
        cellCols_ = glyph.cols;
    }
    if (!depthOk_ || glyph.data == nullptr || glyph.rows <= 0 || glyph.cols <= 0) {
        set_.glyphs.push_back(g);
        return;
    }
    // The pixels the cropped layout keeps, then the box of their ink.
    const uint32_t depth = set_.bpp;
    const InkBox kept = inkBox(glyph, depth, vertical_, rotate_);
    const int32_t width = kept.width, height = kept.height;
    // A box without a column or a row holds no ink.
    if (width <= 0 || height <= 0) {
        set_.glyphs.push_back(g);
        return;
    }
    // The kept rows, unpacked to a level per byte: pixel k of the cell starts at bit k * depth,
    // lowest bits first. The depth divides 8 and every row starts at a multiple of it, so a pixel
    // never straddles two bytes: walk the bytes with a shift instead of dividing each pixel's bit
    // offset.
    const uint32_t mask = (1u << depth) - 1;
    const uint64_t rowBits = static_cast<uint64_t>(glyph.cols) * depth;
    const size_t w = static_cast<size_t>(width);
    rows_.assign(w * static_cast<size_t>(height), 0);
    for (int32_t y = 0; y < height; ++y) {
        const uint64_t bit = static_cast<uint64_t>(y) * rowBits;
        const uint8_t* src = glyph.data + bit / 8;
        uint32_t shift = static_cast<uint32_t>(bit % 8);
        uint8_t* out = &rows_[static_cast<size_t>(y) * w];
        for (size_t x = 0; x < w; ++x) {
            out[x] = static_cast<uint8_t>((*src >> shift) & mask);
            shift += depth;
            if (shift == 8) {
                shift = 0;
                ++src;
            }
        }
    }
    int32_t left = width, right = 0, top = height, bottom = 0;
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* row = &rows_[static_cast<size_t>(y) * w];
        int32_t first = 0, last = width;
        while (first < width && row[first] == 0) ++first;
        if (first == width) continue;
        while (row[last - 1] == 0) --last;
        left = std::min(left, first);
        right = std::max(right, last);
        top = std::min(top, y);
        bottom = y + 1;
    }
    if (right > left && bottom > top) {
        widenTurnedRows(glyph, height, top, bottom);
        if (!cellFromInk_) {
            cellFromInk_ = true;
            cellRows_ = glyph.rows;
            cellCols_ = glyph.cols;
        }
        g.x = left;
        g.y = top;
        g.w = right - left;
        g.h = bottom - top;
        g.levels = set_.levels.size();
        for (int32_t y = top; y < bottom; ++y) {
            const uint8_t* row = &rows_[static_cast<size_t>(y) * w];
            set_.levels.insert(set_.levels.end(), row + left, row + right);
        }
    }
    set_.glyphs.push_back(g);
}

std::vector<MethodSize> CompactFontWriter::candidates() {
    if (!depthOk_) return {};
    // One pass over the pixels counts every level under the largest template; the others are
    // weighed from those counts.
    fullCounts_ = countLevels(set_, fullTemplate(set_.bpp));
    countedGlyphs_ = set_.glyphs.size();
    return weighTemplates(set_, fullCounts_);
}

std::vector<uint8_t> CompactFontWriter::finish() {
    const std::vector<MethodSize> options = candidates();
    const MethodSize* best = nullptr;
    for (const MethodSize& m : options) {
        if (m.method != Method::Context) continue;
        if (best == nullptr ||
            m.modelBytes * 8 + m.dataBits < best->modelBytes * 8 + best->dataBits)
            best = &m;
    }
    // Without a depth the writer knows, no glyph has ink: the smallest template will do.
    std::vector<uint8_t> file =
        build(Method::Context, best != nullptr ? best->shape : Template{0, -1, -1});
    if (kerning_) appendKerning(file, pairs_);
    return file;
}

void CompactFontWriter::setKerning(std::vector<KernPair> pairs) {
    kerning_ = true;
    pairs_ = std::move(pairs);
}

std::vector<uint8_t> CompactFontWriter::finishWith(Method method, const Template& shape) {
    return build(method, shape);
}

std::vector<uint8_t> CompactFontWriter::build(Method method, const Template& shape) {
    // Plain levels are weighed by candidates() as the measure to beat, but never written.
    if (method != Method::Context || !fitsDepth(shape, set_.bpp)) return {};
    // The counts of candidates() when it saw these glyphs, else a pass of our own.
    const std::vector<uint64_t> counts =
        countedGlyphs_ == set_.glyphs.size() && !fullCounts_.empty()
            ? narrowCounts(fullCounts_, Depth(set_.bpp), fullTemplate(set_.bpp), shape)
            : countLevels(set_, shape);
    const GlyphCodes codes = olderTable_ ? GlyphCodes{} : boxCodes(set_);
    const EncodedFont font = encodeFont(set_, shape, counts, olderTable_ ? nullptr : &codes.boxes);
    if (!font.ok) return {};

    FontInfo info;
    info.name = fontStem(settings_.font);
    info.fontSize = settings_.fontSize;
    info.bpp = bpp_;
    info.bold = settings_.bold != 0;
    info.italic = settings_.italic != 0;
    info.scan = static_cast<uint32_t>(scanKind(settings_.scanMode));  // numbered as fb_scan
    info.rotate = rotate_;
    info.baseline = baseline_;
    info.cellRows = cellRows_;
    info.cellCols = cellCols_;
    return layOut(info, set_, font, olderTable_ ? nullptr : &codes);
}

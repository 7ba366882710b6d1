// Glyphs of a real run, recovered from the cropped layout that fontbin wrote (with "crop": 1 and
// "advances": true), as packed cells the compact writer takes. The cropped layout keeps exactly
// the pixels the compact layout must keep, so a compact file built from these cells decodes to
// the cropped file's pixels. Shared by the compact bench and the round-trip test.
#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "reader/fontbin_reader.h"
#include "render/GlyphTypes.h"

namespace cropglyphs {

inline std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

struct Glyph {
    uint16_t code = 0;
    int32_t advance = 0;
    std::vector<uint8_t> cell;  // the packed cell, rows x cols
    IntPair extent;
};

struct Run {
    std::vector<uint8_t> fontBytes;  // the cropped file, kept for its reader
    fb_font font{};
    int32_t rows = 0, cols = 0, bpp = 0, baseline = 0;
    std::vector<Glyph> glyphs;  // every selected character, ink or not
    std::string error;

    PackedGlyph packed(const Glyph& g) const {
        PackedGlyph p;
        p.code = g.code;
        p.data = g.cell.data();
        p.size = g.cell.size();
        p.rows = rows;
        p.cols = cols;
        p.extent = g.extent;
        p.origin.y = baseline;
        return p;
    }
};

// `stem` is the path without "_font.bin": the run's font, list and advance files.
inline Run load(const std::string& stem) {
    Run run;
    run.fontBytes = readFile(stem + "_font.bin");
    const std::vector<uint8_t> list = readFile(stem + "_out.cst");
    const std::vector<uint8_t> adv = readFile(stem + "_adv.bin");
    if (fb_open(run.fontBytes.data(), run.fontBytes.size(), &run.font) != FB_OK ||
        run.font.layout != FB_LAYOUT_OFFSET_TABLE) {
        run.error = "not a cropped font file: " + stem + "_font.bin";
        return run;
    }
    fb_advances widths{};
    const bool haveWidths = fb_open_advances(adv.data(), adv.size(), &run.font, &widths) == FB_OK;
    run.rows = static_cast<int32_t>(run.font.geometry.rows);
    run.cols = static_cast<int32_t>(run.font.geometry.cols);
    run.bpp = static_cast<int32_t>(run.font.bpp);
    run.baseline = haveWidths ? static_cast<int32_t>(widths.baseline) : 0;
    const size_t cellBytes = (static_cast<size_t>(run.rows) * static_cast<size_t>(run.cols) *
                                  static_cast<size_t>(run.bpp) +
                              7) /
                             8;
    for (size_t i = 0; i + 1 < list.size(); i += 2) {
        Glyph g;
        g.code = static_cast<uint16_t>(list[i] | (list[i + 1] << 8));
        unsigned width = 0;
        if (haveWidths && fb_advance(&widths, &run.font, g.code, &width) == FB_OK)
            g.advance = static_cast<int32_t>(width);
        g.cell.assign(cellBytes, 0);
        fb_glyph fg;
        if (fb_find_glyph(&run.font, g.code, &fg) == FB_OK) {
            g.extent.x = static_cast<int32_t>(fg.extent_x);
            g.extent.y = static_cast<int32_t>(fg.extent_y);
            for (int32_t y = 0; y < run.rows; ++y)
                for (int32_t x = 0; x < run.cols; ++x) {
                    const unsigned v =
                        fb_glyph_pixel(&fg, static_cast<unsigned>(x), static_cast<unsigned>(y));
                    const size_t bit = (static_cast<size_t>(y) * static_cast<size_t>(run.cols) +
                                        static_cast<size_t>(x)) *
                                       static_cast<size_t>(run.bpp);
                    g.cell[bit / 8] = static_cast<uint8_t>(g.cell[bit / 8] | (v << (bit % 8)));
                }
        }
        run.glyphs.push_back(std::move(g));
    }
    return run;
}

}  // namespace cropglyphs

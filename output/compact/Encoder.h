// The compact file's encoder: a font's glyph boxes in, their coded bits and the model out,
// ready for the layout (CompactLayout.h) to put behind the header and the index.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "output/compact/Templates.h"

namespace compact {

// How the glyph data is coded (header byte 21). Only Context is written; Raw, the box's levels
// at bpp bits each, is the size that weighTemplates() reports for comparison.
enum class Method : uint8_t {
    Raw = 0,
    Context = 1,  // arithmetic coding, each level modelled by its decoded neighbours
};

// One coded glyph's size in bits for a method and template, and the model bytes, for the bench.
struct MethodSize {
    Method method;
    Template shape;
    uint64_t modelBytes;
    uint64_t dataBits;
};

// A checkpoint every 2^kCheckpointShift glyphs: one bit per glyph in the index.
constexpr uint32_t kCheckpointShift = 5;

// One glyph as the encoder takes it: its ink box in the packed cell and where its levels lie.
struct GlyphBox {
    uint16_t code = 0;
    int32_t x = 0, y = 0, w = 0, h = 0;  // w == 0: no ink
    int32_t advance = 0;
    size_t levels = 0;  // first of its w * h levels in GlyphSet::levels
};

// Every glyph of a font in code-point order, each box's levels row-major, one per byte.
struct GlyphSet {
    uint32_t bpp = 1;  // 1, 2, 4 or 8
    std::vector<GlyphBox> glyphs;
    std::vector<uint8_t> levels;
};

// Code bits that come before a glyph's pixels (version 3: its box), highest first.
struct Prefix {
    uint64_t bits = 0;
    uint32_t count = 0;  // at most 63
};

// The glyphs coded under one template.
struct EncodedFont {
    // False when the template does not fit the depth, or the counts do not fit the glyphs: a
    // level the model gives no room, or a count table of the wrong size.
    bool ok = false;
    Template shape;
    std::vector<uint8_t> model;         // the probability tables, as stored
    std::vector<uint8_t> data;          // every glyph's bits back to back, the last byte padded
    std::vector<uint32_t> sizes;        // bits of each glyph's code; 0: no ink
    std::vector<uint32_t> checkpoints;  // bit offset in `data` of every 2^kCheckpointShift-th glyph
};

// How often each level occurs in each context under `shape`, in Depth::countSlots order.
std::vector<uint64_t> countLevels(const GlyphSet& set, const Template& shape);

// The sizes of Raw and of every template weighed at the depth (estimated from the counts, the
// coder's flush included), from `fullCounts` = countLevels(set, fullTemplate(set.bpp)).
std::vector<MethodSize> weighTemplates(const GlyphSet& set,
                                       const std::vector<uint64_t>& fullCounts);

// The glyphs coded under `shape` with the model built from `counts`, which must be
// countLevels(set, shape) or the full template's counts narrowed to it; each inked glyph's code
// starts with its `prefixes` entry when they are given (one per glyph), and its size counts it.
EncodedFont encodeFont(const GlyphSet& set, const Template& shape,
                       const std::vector<uint64_t>& counts,
                       const std::vector<Prefix>* prefixes = nullptr);

}  // namespace compact

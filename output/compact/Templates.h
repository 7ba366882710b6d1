// The context templates: which decoded neighbours make up a level's context, the templates the
// writer weighs at each depth, and the scan that hands the coder each level with its context.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <utility>
#include <vector>

#include "output/compact/Model.h"

namespace compact {

// The neighbours a pixel's context is made of: `west` pixels left of it in its own row (0..4),
// the row above from x - above to x + above (-1: none, 0..2), the row two above from x - above2
// to x + above2 (-1: none, 0..1; only whether each pixel has ink).
struct Template {
    int32_t west = 0;
    int32_t above = -1;
    int32_t above2 = -1;
};

// The templates weighed at 1 bpp and at 2, 4 and 8 bpp, largest first. Each lies inside the
// first, so their counts follow from the first one's counts without another pass over the
// pixels. The scan below compiles a loop of its own for each.
inline constexpr Template kBinaryTemplates[] = {{4, 2, 1},  {3, 2, 1},  {4, 2, -1},
                                                {3, 1, 1},  {2, 1, 0},  {2, 1, -1},
                                                {1, 1, -1}, {1, 0, -1}, {0, -1, -1}};
inline constexpr Template kLevelTemplates[] = {{2, 1, 1},  {1, 1, 1},  {2, 1, -1},  {1, 1, 0},
                                               {1, 1, -1}, {1, 0, -1}, {1, -1, -1}, {0, -1, -1}};

// The templates weighed at `bpp`, largest first.
std::vector<Template> templatesFor(uint32_t bpp);
// The largest template of `bpp`, the one every other lies inside.
inline Template fullTemplate(uint32_t bpp) {
    return bpp == 1 ? kBinaryTemplates[0] : kLevelTemplates[0];
}
// True when `shape` lies inside fullTemplate(bpp): the shapes the writer can code.
bool fitsDepth(const Template& shape, uint32_t bpp);

// Bits of a context under `s`, each neighbour adding `qbits` (the row two above: one).
uint32_t contextBits(const Template& s, uint32_t qbits);
// The template as header byte 22 stores it.
uint8_t templateByte(const Template& s);

// Counts under `full`, summed into the contexts of `sub` (a template inside it).
std::vector<uint64_t> narrowCounts(const std::vector<uint64_t>& counts, const Depth& d,
                                   const Template& full, const Template& sub);

// A glyph's box with zero margins: two rows above, four columns left, three right, so that every
// neighbour a template reaches is a plain read.
class PaddedBox {
public:
    static constexpr int32_t kTop = 2, kLeft = 4, kRight = 3;
    void load(const uint8_t* levels, int32_t w, int32_t h) {
        stride_ = w + kLeft + kRight;
        cells_.assign(static_cast<size_t>(stride_) * static_cast<size_t>(h + kTop), 0);
        for (int32_t y = 0; y < h; ++y)
            std::copy(levels + static_cast<size_t>(y) * static_cast<size_t>(w),
                      levels + static_cast<size_t>(y + 1) * static_cast<size_t>(w),
                      cells_.begin() + index(0, y));
    }
    uint8_t at(int32_t x, int32_t y) const { return cells_[index(x, y)]; }

    // Calls f(v, ctx) for every pixel of the w x h box in row order, with its level and its
    // context under s. The templates of the tables above get a loop each, their shifts and masks
    // constants; any other shape takes the general loop.
    template <typename F>
    void forEach(int32_t w, int32_t h, const Template& s, const Depth& d, F&& f) const {
        constexpr size_t kBinary = std::size(kBinaryTemplates);
        constexpr size_t kLevel = std::size(kLevelTemplates);
        if (d.qbits == 1 && forTable<1>(w, h, s, d, f, std::make_index_sequence<kBinary>{})) return;
        if (d.qbits == 2 && forTable<2>(w, h, s, d, f, std::make_index_sequence<kLevel>{})) return;
        scan(w, h, RuntimeShape{d.qbits, s.west, s.above, s.above2}, d, f);
    }

private:
    static constexpr const Template* tableFor(uint32_t qbits) {
        return qbits == 1 ? kBinaryTemplates : kLevelTemplates;
    }
    struct RuntimeShape {
        uint32_t qbits;
        int32_t west, above, above2;
    };
    template <uint32_t Q, int32_t W, int32_t A, int32_t A2>
    struct FixedShape {
        static constexpr uint32_t qbits = Q;
        static constexpr int32_t west = W, above = A, above2 = A2;
    };
    template <uint32_t Q, typename F, size_t... I>
    bool forTable(int32_t w, int32_t h, const Template& s, const Depth& d, F& f,
                  std::index_sequence<I...>) const {
        return (forShape<Q, tableFor(Q)[I].west, tableFor(Q)[I].above, tableFor(Q)[I].above2>(
                    w, h, s, d, f) ||
                ...);
    }
    template <uint32_t Q, int32_t W, int32_t A, int32_t A2, typename F>
    bool forShape(int32_t w, int32_t h, const Template& s, const Depth& d, F& f) const {
        if (s.west != W || s.above != A || s.above2 != A2) return false;
        scan(w, h, FixedShape<Q, W, A, A2>{}, d, f);
        return true;
    }

    // The context is kept up to date from pixel to pixel as the reader keeps it: the west and
    // row-above windows in one register that moves a level per pixel, the row two above in
    // another that moves a bit.
    template <typename S, typename F>
    void scan(int32_t w, int32_t h, const S& s, const Depth& d, F& f) const {
        const uint32_t qb = s.qbits;
        const int32_t r1 = std::max(s.above, 0), r2 = std::max(s.above2, 0);
        const uint32_t b0 = static_cast<uint32_t>(s.west) * qb;
        const uint32_t b01 = b0 + (s.above >= 0 ? static_cast<uint32_t>(2 * r1 + 1) * qb : 0);
        const uint32_t e0 = s.west > 0 ? (1u << qb) - 1 : 0;
        const uint32_t e1 = s.above >= 0 ? (1u << qb) - 1 : 0;
        const uint32_t keep = ((1u << b01) - 1) & ~(e1 << b0);
        const uint32_t m2 = s.above2 >= 0 ? (1u << (2 * r2 + 1)) - 1 : 0;
        const int32_t lead = std::max(r1, r2);
        for (int32_t y = 0; y < h; ++y) {
            uint32_t ctx = 0, w2 = 0;
            for (int32_t k = -lead; k <= 0; ++k) {
                ctx = ((ctx << qb) & keep) | ((d.quant[at(k + r1, y - 1)] & e1) << b0);
                w2 = (w2 << 1) | (at(k + r2, y - 2) != 0);
            }
            const uint8_t* row = &cells_[index(0, y)];
            const uint8_t* up1 = &cells_[index(1 + r1, y - 1)];
            const uint8_t* up2 = &cells_[index(1 + r2, y - 2)];
            for (int32_t x = 0; x < w; ++x) {
                const uint32_t v = row[x];
                f(v, ctx | ((w2 & m2) << b01));
                ctx = ((ctx << qb) & keep) | (d.quant[v] & e0) | ((d.quant[up1[x]] & e1) << b0);
                w2 = (w2 << 1) | (up2[x] != 0);
            }
        }
    }

    size_t index(int32_t x, int32_t y) const {
        return static_cast<size_t>(y + kTop) * static_cast<size_t>(stride_) +
               static_cast<size_t>(x + kLeft);
    }
    int32_t stride_ = 0;
    std::vector<uint8_t> cells_;
};

}  // namespace compact

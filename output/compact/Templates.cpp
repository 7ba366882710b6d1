#include "output/compact/Templates.h"

#include <iterator>

namespace compact {
namespace {

// The context of `full` narrowed to `sub` (a template inside it).
uint32_t narrow(uint32_t ctx, const Template& full, const Template& sub, uint32_t qbits) {
    const uint32_t b0 = static_cast<uint32_t>(full.west) * qbits;
    const uint32_t b1 = static_cast<uint32_t>(2 * full.above + 1) * qbits;
    const uint32_t e0 = ctx & ((1u << b0) - 1);
    const uint32_t e1 = (ctx >> b0) & ((1u << b1) - 1);
    const uint32_t e2 = ctx >> (b0 + b1);
    const uint32_t s0 = e0 & ((1u << (static_cast<uint32_t>(sub.west) * qbits)) - 1);
    uint32_t s1 = 0, s2 = 0, w1 = 0, w2 = 0;
    if (sub.above >= 0) {
        w1 = static_cast<uint32_t>(2 * sub.above + 1) * qbits;
        s1 = (e1 >> (static_cast<uint32_t>(full.above - sub.above) * qbits)) & ((1u << w1) - 1);
    }
    if (sub.above2 >= 0) {
        w2 = static_cast<uint32_t>(2 * sub.above2 + 1);
        s2 = (e2 >> static_cast<uint32_t>(full.above2 - sub.above2)) & ((1u << w2) - 1);
    }
    const uint32_t sb0 = static_cast<uint32_t>(sub.west) * qbits;
    return s0 | (s1 << sb0) | (s2 << (sb0 + w1));
}

}  // namespace

std::vector<Template> templatesFor(uint32_t bpp) {
    if (bpp == 1) return {std::begin(kBinaryTemplates), std::end(kBinaryTemplates)};
    return {std::begin(kLevelTemplates), std::end(kLevelTemplates)};
}

bool fitsDepth(const Template& shape, uint32_t bpp) {
    const Template full = fullTemplate(bpp);
    return shape.west >= 0 && shape.west <= full.west && shape.above >= -1 &&
           shape.above <= full.above && shape.above2 >= -1 && shape.above2 <= full.above2;
}

uint32_t contextBits(const Template& s, uint32_t qbits) {
    uint32_t k = static_cast<uint32_t>(s.west) * qbits;
    if (s.above >= 0) k += static_cast<uint32_t>(2 * s.above + 1) * qbits;
    if (s.above2 >= 0) k += static_cast<uint32_t>(2 * s.above2 + 1);
    return k;
}

uint8_t templateByte(const Template& s) {
    return static_cast<uint8_t>(s.west | ((s.above + 1) << 3) | ((s.above2 + 1) << 5));
}

std::vector<uint64_t> narrowCounts(const std::vector<uint64_t>& counts, const Depth& d,
                                   const Template& full, const Template& sub) {
    const uint32_t fullContexts = 1u << contextBits(full, d.qbits);
    const uint32_t contexts = 1u << contextBits(sub, d.qbits);
    std::vector<uint64_t> out(d.countSlots(contexts), 0);
    for (uint32_t c = 0; c < fullContexts; ++c) {
        const size_t s = static_cast<size_t>(narrow(c, full, sub, d.qbits)) * d.symbols;
        for (uint32_t n = 0; n < d.symbols; ++n)
            out[s + n] += counts[static_cast<size_t>(c) * d.symbols + n];
    }
    for (uint32_t n = 0; n < d.extra; ++n)
        out[static_cast<size_t>(contexts) * d.symbols + n] =
            counts[static_cast<size_t>(fullContexts) * d.symbols + n];
    return out;
}

}  // namespace compact

#include "output/compact/Encoder.h"

#include "output/compact/ArithmeticEncoder.h"
#include "output/compact/BitIo.h"

namespace compact {

std::vector<uint64_t> countLevels(const GlyphSet& set, const Template& shape) {
    const Depth d(set.bpp);
    const uint32_t contexts = 1u << contextBits(shape, d.qbits);
    std::vector<uint64_t> counts(d.countSlots(contexts), 0);
    PaddedBox box;
    for (const GlyphBox& g : set.glyphs) {
        if (g.w == 0) continue;
        box.load(&set.levels[g.levels], g.w, g.h);
        if (d.bpp == 8) {
            box.forEach(g.w, g.h, shape, d, [&](uint32_t v, uint32_t ctx) {
                d.count(v, ctx, contexts, counts.data());
            });
        } else {
            // Up to 4 bits a level is its own symbol and the symbols a power of two: a slot is
            // the context shifted and the level.
            uint64_t* const slots = counts.data();
            const uint32_t shift = d.bpp == 1 ? 1 : d.bpp;
            box.forEach(g.w, g.h, shape, d, [slots, shift](uint32_t v, uint32_t ctx) {
                ++slots[(static_cast<size_t>(ctx) << shift) | v];
            });
        }
    }
    return counts;
}

std::vector<MethodSize> weighTemplates(const GlyphSet& set,
                                       const std::vector<uint64_t>& fullCounts) {
    std::vector<MethodSize> out;
    const Depth d(set.bpp);
    uint64_t rawBits = 0, inked = 0;
    for (const GlyphBox& g : set.glyphs) {
        rawBits += static_cast<uint64_t>(g.w) * static_cast<uint64_t>(g.h) * d.bpp;
        inked += g.w != 0;
    }
    out.push_back({Method::Raw, Template{}, 0, rawBits});
    const Template full = fullTemplate(d.bpp);
    for (const Template& t : templatesFor(d.bpp)) {
        const uint32_t contexts = 1u << contextBits(t, d.qbits);
        const std::vector<uint64_t> sub = narrowCounts(fullCounts, d, full, t);
        // About 2.5 bits of coder flush per glyph with ink.
        const uint64_t bits = (codeLength(sub, d, contexts) >> 16) + inked * 5 / 2;
        out.push_back({Method::Context, t, d.modelBytes(contexts), bits});
    }
    return out;
}

EncodedFont encodeFont(const GlyphSet& set, const Template& shape,
                       const std::vector<uint64_t>& counts, const std::vector<Prefix>* prefixes) {
    EncodedFont font;
    font.shape = shape;
    const Depth d(set.bpp);
    const uint32_t contexts = 1u << contextBits(shape, d.qbits);
    if (!fitsDepth(shape, d.bpp) || counts.size() != d.countSlots(contexts)) return font;

    const Model model = buildModel(counts, d, contexts);
    std::vector<uint32_t> p1(d.bpp == 1 ? contexts : 0);
    for (size_t c = 0; c < p1.size(); ++c) p1[c] = probability(model.bytes[c]);
    // The cumulative frequencies (at most 4096) as u16: half the cache lines per lookup.
    const std::vector<uint16_t> cum16(model.cum.begin(), model.cum.end());
    const uint16_t* const cumBase = cum16.data();
    const size_t stride = d.symbols + 1;

    BitStream data;
    data.reserve(set.levels.size() / 4);
    font.sizes.assign(set.glyphs.size(), 0);
    PaddedBox box;
    bool failed = false;
    for (size_t i = 0; i < set.glyphs.size(); ++i) {
        const GlyphBox& g = set.glyphs[i];
        if (i % (1u << kCheckpointShift) == 0)
            font.checkpoints.push_back(static_cast<uint32_t>(data.bits()));
        if (g.w == 0) continue;
        const uint64_t start = data.bits();
        if (prefixes) data.putBits((*prefixes)[i].bits, (*prefixes)[i].count);
        box.load(&set.levels[g.levels], g.w, g.h);
        ArithmeticEncoder enc(data);
        if (d.bpp == 1) {
            const uint32_t* const p = p1.data();
            box.forEach(g.w, g.h, shape, d,
                        [&enc, p](uint32_t v, uint32_t ctx) { enc.encode(v, p[ctx]); });
        } else if (d.bpp == 8) {
            const uint16_t* const lowBase = cumBase + static_cast<size_t>(contexts) * stride;
            box.forEach(g.w, g.h, shape, d,
                        [&enc, cumBase, lowBase, stride](uint32_t v, uint32_t ctx) {
                            const uint32_t s = v >> 4;
                            const uint16_t* cum = cumBase + static_cast<size_t>(ctx) * stride;
                            enc.encodeRange(cum[s], cum[s + 1]);
                            const uint16_t* low = lowBase + static_cast<size_t>(s) * stride;
                            enc.encodeRange(low[v & 15], low[(v & 15) + 1]);
                        });
        } else {
            box.forEach(g.w, g.h, shape, d, [&enc, cumBase, stride](uint32_t v, uint32_t ctx) {
                const uint16_t* cum = cumBase + static_cast<size_t>(ctx) * stride;
                enc.encodeRange(cum[v], cum[v + 1]);
            });
        }
        enc.finish();
        failed |= enc.failed();
        font.sizes[i] = static_cast<uint32_t>(data.bits() - start);
    }
    if (failed) return font;
    font.model = model.bytes;
    font.data = data.take();
    font.ok = true;
    return font;
}

}  // namespace compact

#include "output/compact/CompactLayout.h"

#include <algorithm>

#include "output/AdvanceFileWriter.h"
#include "output/LittleEndian.h"
#include "output/compact/BitIo.h"

namespace compact {
namespace {

constexpr size_t kHeaderFixedBytes = 62;
constexpr uint8_t kVersion = 1;
constexpr size_t kMaxStemBytes = 200;
constexpr uint8_t kFlagKerning = 0x40;  // header byte 7: a kerning section follows the data

// The glyph table: six fields, each stored as value - min in just enough bits.
struct GlyphTable {
    uint32_t min[6];
    uint32_t width[6];
    FieldPacker bits;
};

// The box fields of glyphs without ink (size 0) are stored as 0 and take no part in their
// ranges; size and advance count every glyph.
GlyphTable glyphTable(const GlyphSet& set, const std::vector<uint32_t>& sizes) {
    auto valuesOf = [&](size_t i, uint32_t* v) {
        const GlyphBox& g = set.glyphs[i];
        v[0] = sizes[i];
        v[1] = static_cast<uint32_t>(g.advance);
        v[2] = static_cast<uint32_t>(g.x);
        v[3] = static_cast<uint32_t>(g.y);
        v[4] = static_cast<uint32_t>(g.w);
        v[5] = static_cast<uint32_t>(g.h);
    };
    GlyphTable table;
    uint32_t max[6];
    std::fill(table.min, table.min + 6, 0xFFFFFFFFu);
    std::fill(max, max + 6, 0u);
    for (size_t i = 0; i < set.glyphs.size(); ++i) {
        uint32_t v[6];
        valuesOf(i, v);
        for (int f = 0; f < 6; ++f) {
            if (f >= 2 && sizes[i] == 0) continue;
            table.min[f] = std::min(table.min[f], v[f]);
            max[f] = std::max(max[f], v[f]);
        }
    }
    for (int f = 0; f < 6; ++f) {
        if (table.min[f] > max[f]) table.min[f] = max[f] = 0;
        table.width[f] = bitsFor(max[f] - table.min[f]);
    }
    for (size_t i = 0; i < set.glyphs.size(); ++i) {
        uint32_t v[6];
        valuesOf(i, v);
        for (int f = 0; f < 6; ++f) {
            const uint32_t stored = (f >= 2 && sizes[i] == 0) ? 0 : v[f] - table.min[f];
            table.bits.put(stored, table.width[f]);
        }
    }
    return table;
}

// Runs of consecutive code points: u16 first code point, u24 its glyph number.
std::vector<uint8_t> codePointRuns(const GlyphSet& set) {
    std::vector<uint8_t> runs;
    for (size_t i = 0; i < set.glyphs.size(); ++i) {
        if (i > 0 && set.glyphs[i].code == set.glyphs[i - 1].code + 1) continue;
        uint8_t entry[5];
        storeLittleEndian(entry, set.glyphs[i].code, 2);
        storeLittleEndian(entry + 2, static_cast<uint32_t>(i), 3);
        runs.insert(runs.end(), entry, entry + 5);
    }
    return runs;
}

}  // namespace

std::vector<uint8_t> layOut(const FontInfo& info, const GlyphSet& set, const EncodedFont& font) {
    const GlyphTable table = glyphTable(set, font.sizes);
    const std::vector<uint8_t> runs = codePointRuns(set);
    std::string name = info.name;
    if (name.size() > kMaxStemBytes) name.resize(kMaxStemBytes);

    std::vector<uint8_t> out(kHeaderFixedBytes, 0);
    out[0] = 'F';
    out[1] = 'B';
    out[2] = 'C';
    out[3] = 'P';
    out[4] = kVersion;
    out[5] = static_cast<uint8_t>(info.fontSize);
    out[6] = static_cast<uint8_t>(info.bpp);
    out[7] = static_cast<uint8_t>((info.bold ? 1u : 0u) | (info.italic ? 2u : 0u) |
                                  (info.scan << 2) | (static_cast<uint32_t>(info.rotate & 3) << 4));
    out[8] = static_cast<uint8_t>(std::clamp(info.baseline, 0, 255));
    out[9] = static_cast<uint8_t>(info.fontSize);
    storeLittleEndian(&out[10], static_cast<uint32_t>(info.cellRows), 2);
    storeLittleEndian(&out[12], static_cast<uint32_t>(info.cellCols), 2);
    storeLittleEndian(&out[14], static_cast<uint32_t>(set.glyphs.size()), 4);
    storeLittleEndian(&out[18], static_cast<uint32_t>(runs.size() / 5), 2);
    out[20] = kCheckpointShift;
    out[21] = static_cast<uint8_t>(Method::Context);
    out[22] = templateByte(font.shape);
    out[23] = static_cast<uint8_t>(name.size() + 1);
    storeLittleEndian(&out[24], static_cast<uint32_t>(font.model.size()), 4);
    storeLittleEndian(&out[28], static_cast<uint32_t>(font.data.size()), 4);
    for (int f = 0; f < 6; ++f) {
        storeLittleEndian(&out[32 + 5 * f], table.min[f], 4);
        out[36 + 5 * f] = static_cast<uint8_t>(table.width[f]);
    }
    out.insert(out.end(), name.begin(), name.end());
    out.push_back(0);
    out.insert(out.end(), runs.begin(), runs.end());
    out.insert(out.end(), table.bits.bytes().begin(), table.bits.bytes().end());
    for (uint32_t c : font.checkpoints) {
        uint8_t b[4];
        storeLittleEndian(b, c, 4);
        out.insert(out.end(), b, b + 4);
    }
    out.insert(out.end(), font.model.begin(), font.model.end());
    out.insert(out.end(), font.data.begin(), font.data.end());
    return out;
}

void appendKerning(std::vector<uint8_t>& file, const std::vector<KernPair>& pairs) {
    if (file.size() < kHeaderFixedBytes) return;
    file[7] = static_cast<uint8_t>(file[7] | kFlagKerning);
    const size_t at = file.size();
    file.resize(at + kerningSectionBytes(pairs.size()));
    storeKerningSection(&file[at], pairs);
}

}  // namespace compact

#include "output/compact/CompactLayout.h"

#include <zlib.h>

#include <algorithm>

#include "output/AdvanceFileWriter.h"
#include "output/LittleEndian.h"
#include "output/compact/BitIo.h"
#include "output/compact/GlyphCodes.h"
#include "reader/fb_format.h"

namespace compact {
namespace {

constexpr size_t kMaxStemBytes = 200;

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

// CRC-32 of a span, continuing `crc`: zlib's, so that the files check with any common CRC-32.
uint32_t crcOf(uint32_t crc, const uint8_t* p, size_t n) {
    return static_cast<uint32_t>(crc32(crc, p, static_cast<uInt>(n)));
}

uint32_t dataBytes(const std::vector<uint8_t>& file) {
    const uint8_t* p = &file[FB_COMPACT_O_DATA_SIZE];
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// Stores the checksum of the header and tables: every byte before it, then those after the data
// part (the kerning section). `data` is where the data part starts.
void sealTables(std::vector<uint8_t>& file, size_t data) {
    const size_t at = data - FB_COMPACT_CRC_BYTES;
    const size_t end = data + dataBytes(file);
    const uint32_t crc = crcOf(crcOf(0, file.data(), at), file.data() + end, file.size() - end);
    storeLittleEndian(&file[at], crc, FB_COMPACT_CRC_BYTES);
}

void put(std::vector<uint8_t>& out, uint32_t value, size_t bytes) {
    uint8_t b[4];
    storeLittleEndian(b, value, bytes);
    out.insert(out.end(), b, b + bytes);
}

}  // namespace

std::vector<uint8_t> layOut(const FontInfo& info, const GlyphSet& set, const EncodedFont& font,
                            const GlyphCodes* codes) {
    GlyphTable table = glyphTable(set, font.sizes);
    // Version 3: the sizes in their code, the boxes in the glyphs' own code; the header's fields
    // say how the low bits of a size, the advance and an escaped box's fields are stored.
    SizeTable sized;
    if (codes) {
        sized = sizeTable(set, font.sizes, table.min[1], table.width[1]);
        table.min[0] = sized.sizeMin;
        table.width[0] = sized.lowBits;
        std::copy(codes->boxMin, codes->boxMin + 4, table.min + 2);
        std::copy(codes->boxBits, codes->boxBits + 4, table.width + 2);
    }
    const std::vector<uint8_t> runs = codePointRuns(set);
    std::string name = info.name;
    if (name.size() > kMaxStemBytes) name.resize(kMaxStemBytes);

    std::vector<uint8_t> out(FB_COMPACT_HEADER_BYTES, 0);
    uint8_t* h = out.data();
    h[FB_COMPACT_O_TAG + 0] = FB_COMPACT_TAG_0;
    h[FB_COMPACT_O_TAG + 1] = FB_COMPACT_TAG_1;
    h[FB_COMPACT_O_TAG + 2] = FB_COMPACT_TAG_2;
    h[FB_COMPACT_O_TAG + 3] = FB_COMPACT_TAG_3;
    h[FB_COMPACT_O_VERSION] =
        static_cast<uint8_t>(codes ? FB_COMPACT_VERSION : FB_COMPACT_VERSION_CRC);
    h[FB_COMPACT_O_FONT_SIZE] = static_cast<uint8_t>(info.fontSize);
    h[FB_COMPACT_O_BPP] = static_cast<uint8_t>(info.bpp);
    h[FB_COMPACT_O_FLAGS] = static_cast<uint8_t>(
        (info.bold ? FB_COMPACT_FLAG_BOLD : 0u) | (info.italic ? FB_COMPACT_FLAG_ITALIC : 0u) |
        (info.scan << FB_COMPACT_FLAG_SCAN_SHIFT) |
        (static_cast<uint32_t>(info.rotate) & FB_COMPACT_FLAG_FIELD_MASK)
            << FB_COMPACT_FLAG_ROTATE_SHIFT);
    h[FB_COMPACT_O_BASELINE] = static_cast<uint8_t>(std::clamp(info.baseline, 0, 255));
    h[FB_COMPACT_O_LINE_HEIGHT] = static_cast<uint8_t>(info.fontSize);
    storeLittleEndian(&h[FB_COMPACT_O_ROWS], static_cast<uint32_t>(info.cellRows), 2);
    storeLittleEndian(&h[FB_COMPACT_O_COLS], static_cast<uint32_t>(info.cellCols), 2);
    storeLittleEndian(&h[FB_COMPACT_O_GLYPH_COUNT], static_cast<uint32_t>(set.glyphs.size()), 4);
    storeLittleEndian(&h[FB_COMPACT_O_RUN_COUNT],
                      static_cast<uint32_t>(runs.size() / FB_COMPACT_RUN_BYTES), 2);
    h[FB_COMPACT_O_CHECKPOINT_SHIFT] = kCheckpointShift;
    h[FB_COMPACT_O_METHOD] = static_cast<uint8_t>(Method::Context);
    h[FB_COMPACT_O_TEMPLATE] = templateByte(font.shape);
    h[FB_COMPACT_O_NAME_LENGTH] = static_cast<uint8_t>(name.size() + 1);
    storeLittleEndian(&h[FB_COMPACT_O_MODEL_SIZE], static_cast<uint32_t>(font.model.size()), 4);
    storeLittleEndian(&h[FB_COMPACT_O_DATA_SIZE], static_cast<uint32_t>(font.data.size()), 4);
    for (uint32_t f = 0; f < FB_COMPACT_FIELD_COUNT; ++f) {
        uint8_t* field = &h[FB_COMPACT_O_FIELDS + FB_COMPACT_FIELD_BYTES * f];
        storeLittleEndian(field + FB_COMPACT_FIELD_O_MIN, table.min[f], 4);
        field[FB_COMPACT_FIELD_O_BITS] = static_cast<uint8_t>(table.width[f]);
    }
    out.insert(out.end(), name.begin(), name.end());
    out.push_back(0);
    out.insert(out.end(), runs.begin(), runs.end());
    if (codes) {
        put(out, static_cast<uint32_t>(sized.table.size()), FB_COMPACT_CODES_O_CODE_BYTES);
        put(out, static_cast<uint32_t>(sized.code.size() + codes->boxCode.size()),
            FB_COMPACT_CODES_HEAD_BYTES - FB_COMPACT_CODES_O_CODE_BYTES);
        out.insert(out.end(), sized.code.begin(), sized.code.end());
        out.insert(out.end(), codes->boxCode.begin(), codes->boxCode.end());
        out.insert(out.end(), sized.table.begin(), sized.table.end());
    } else {
        out.insert(out.end(), table.bits.bytes().begin(), table.bits.bytes().end());
    }
    for (uint32_t c : font.checkpoints) put(out, c, FB_COMPACT_CHECKPOINT_BYTES);
    if (codes)
        for (uint32_t m : sized.marks) put(out, m, FB_COMPACT_MARK_BYTES);
    out.insert(out.end(), font.model.begin(), font.model.end());
    // A block is one checkpoint's glyphs: the bytes from the one holding its first code bit to
    // the one holding its last (neighbours may share a byte); the last block ends the data.
    const std::vector<uint32_t>& cp = font.checkpoints;
    for (size_t j = 0; j < cp.size(); ++j) {
        const size_t first = cp[j] / 8;
        const size_t last = j + 1 < cp.size() ? (cp[j + 1] + 7) / 8 : font.data.size();
        put(out, crcOf(0, font.data.data() + first, last - first), FB_COMPACT_CRC_BYTES);
    }
    put(out, 0, FB_COMPACT_CRC_BYTES);  // the tables' checksum, once they are all in
    const size_t data = out.size();
    out.insert(out.end(), font.data.begin(), font.data.end());
    sealTables(out, data);
    return out;
}

void appendKerning(std::vector<uint8_t>& file, const std::vector<KernPair>& pairs) {
    if (file.size() < FB_COMPACT_HEADER_BYTES) return;
    file[FB_COMPACT_O_FLAGS] = static_cast<uint8_t>(file[FB_COMPACT_O_FLAGS] | FB_COMPACT_KERNING);
    const size_t at = file.size();
    file.resize(at + kerningSectionBytes(pairs.size()));
    storeKerningSection(&file[at], pairs);
    // The data part ends where the pairs begin; the checksum covers them and the new flag.
    sealTables(file, at - dataBytes(file));
}

}  // namespace compact

#include "output/StringTableWriter.h"

#include <algorithm>

#include "output/LittleEndian.h"

namespace {

uint16_t clamp16(int32_t v) {
    return static_cast<uint16_t>(static_cast<int16_t>(std::clamp(v, -32768, 32767)));
}

void put(std::vector<uint8_t>& out, uint32_t value, size_t bytes) {
    const size_t at = out.size();
    out.resize(at + bytes);
    storeLittleEndian(out.data() + at, value, bytes);
}

bool fitsNarrow(const StringTableGlyph& g) {
    return g.advance >= 0 && g.advance <= kStringNarrowAdvanceMax && g.dx >= -128 && g.dx <= 127 &&
           g.dy >= -128 && g.dy <= 127;
}

}  // namespace

std::vector<uint8_t> stringTableBytes(const StringTableHeader& header,
                                      const std::vector<StringTableEntry>& strings) {
    // The glyph list: every code the strings draw, once, ascending; entries refer to it.
    std::vector<uint16_t> list;
    bool wide = false;
    bool longCounts = false;
    for (const StringTableEntry& s : strings) {
        for (const StringTableGlyph& g : s.glyphs) {
            list.push_back(g.code);
            wide = wide || !fitsNarrow(g);
        }
        longCounts = longCounts || s.length > 255 || s.glyphs.size() > 255 || s.breaks.size() > 255;
    }
    std::sort(list.begin(), list.end());
    list.erase(std::unique(list.begin(), list.end()), list.end());
    const bool bigList = list.size() > 256;
    const size_t n = longCounts ? 2 : 1;  // bytes of a length, count, cluster or break
    std::vector<uint8_t> out;
    put(out, kStringTableMagic, 4);
    put(out, kStringTableVersion, 1);
    put(out,
        (wide ? kStringsWide : 0u) | (bigList ? kStringsBigList : 0u) |
            (longCounts ? kStringsLong : 0u),
        1);
    put(out, static_cast<uint32_t>(strings.size()), 2);
    put(out, header.fontSize, 1);
    put(out, header.emPixels, 1);
    put(out, header.baseline, 1);
    put(out, header.renderMode, 1);
    put(out, 0, 4);  // the file's size, set at the end
    put(out, static_cast<uint32_t>(list.size()), 2);
    for (const uint16_t code : list) put(out, code, 2);
    const size_t table = out.size();
    out.resize(table + 4 * strings.size());
    for (size_t i = 0; i < strings.size(); ++i) {
        const StringTableEntry& s = strings[i];
        storeLittleEndian(out.data() + table + 4 * i, static_cast<uint32_t>(out.size()), 4);
        const size_t nameLength = std::min<size_t>(s.name.size(), 255);
        put(out, static_cast<uint32_t>(nameLength), 1);
        out.insert(out.end(), s.name.begin(), s.name.begin() + static_cast<long>(nameLength));
        put(out, s.rightToLeft ? 1 : 0, 1);
        put(out, s.length, n);
        put(out, static_cast<uint32_t>(s.glyphs.size()), n);
        put(out, static_cast<uint32_t>(s.breaks.size()), n);
        put(out, clamp16(s.width), 2);
        for (const uint16_t b : s.breaks) put(out, b, n);
        int32_t dy = 0;  // offsets down are sticky: a run of one font shares its baseline shift
        for (const StringTableGlyph& g : s.glyphs) {
            const bool dx = g.dx != 0, newDy = g.dy != dy;
            const uint32_t advance = wide ? 0 : static_cast<uint32_t>(g.advance);
            put(out, advance | (dx ? kStringGlyphDx : 0u) | (newDy ? kStringGlyphDy : 0u), 1);
            const auto ref = std::lower_bound(list.begin(), list.end(), g.code) - list.begin();
            put(out, static_cast<uint32_t>(ref), bigList ? 2 : 1);
            put(out, g.cluster, n);
            const size_t v = wide ? 2 : 1;
            if (wide) put(out, clamp16(g.advance), 2);
            if (dx) put(out, clamp16(g.dx), v);
            if (newDy) put(out, clamp16(g.dy), v);
            dy = g.dy;
        }
    }
    storeLittleEndian(out.data() + 12, static_cast<uint32_t>(out.size()), 4);
    return out;
}

std::string stringsPathFor(const std::string& fontFile) {
    for (const std::string suffix : {"_font.bin", "_compact.bin"})
        if (fontFile.size() > suffix.size() &&
            fontFile.compare(fontFile.size() - suffix.size(), suffix.size(), suffix) == 0)
            return fontFile.substr(0, fontFile.size() - suffix.size()) + "_strings.bin";
    return {};
}

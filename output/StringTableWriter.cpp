#include "output/StringTableWriter.h"

#include <algorithm>

#include "output/LittleEndian.h"

namespace {

bool fitsNarrow(const StringTableGlyph& g) {
    return g.dx >= -128 && g.dx <= 127 && g.dy >= -128 && g.dy <= 127 && g.advance >= 0 &&
           g.advance <= 255;
}

uint16_t clamp16(int32_t v) {
    return static_cast<uint16_t>(static_cast<int16_t>(std::clamp(v, -32768, 32767)));
}

void put(std::vector<uint8_t>& out, uint32_t value, size_t bytes) {
    const size_t at = out.size();
    out.resize(at + bytes);
    storeLittleEndian(out.data() + at, value, bytes);
}

}  // namespace

std::vector<uint8_t> stringTableBytes(const StringTableHeader& header,
                                      const std::vector<StringTableEntry>& strings) {
    bool wide = false;
    for (const StringTableEntry& s : strings)
        wide = wide || !std::all_of(s.glyphs.begin(), s.glyphs.end(), fitsNarrow);
    std::vector<uint8_t> out;
    put(out, kStringTableMagic, 4);
    put(out, kStringTableVersion, 1);
    put(out, wide ? 1 : 0, 1);
    put(out, static_cast<uint32_t>(strings.size()), 2);
    put(out, header.fontSize, 1);
    put(out, header.emPixels, 1);
    put(out, header.baseline, 1);
    put(out, header.renderMode, 1);
    put(out, 0, 4);  // the file's size, set at the end
    const size_t table = out.size();
    out.resize(table + 4 * strings.size());
    for (size_t i = 0; i < strings.size(); ++i) {
        const StringTableEntry& s = strings[i];
        storeLittleEndian(out.data() + table + 4 * i, static_cast<uint32_t>(out.size()), 4);
        const size_t nameLength = std::min<size_t>(s.name.size(), 255);
        put(out, static_cast<uint32_t>(nameLength), 1);
        out.insert(out.end(), s.name.begin(), s.name.begin() + static_cast<long>(nameLength));
        put(out, s.rightToLeft ? 1 : 0, 1);
        put(out, s.length, 2);
        put(out, static_cast<uint32_t>(s.glyphs.size()), 2);
        put(out, static_cast<uint32_t>(s.breaks.size()), 2);
        put(out, clamp16(s.width), 2);
        for (const StringTableGlyph& g : s.glyphs) {
            put(out, g.code, 2);
            put(out, g.cluster, 2);
            if (wide) {
                put(out, clamp16(g.dx), 2);
                put(out, clamp16(g.dy), 2);
                put(out, clamp16(g.advance), 2);
            } else {
                put(out, static_cast<uint8_t>(static_cast<int8_t>(g.dx)), 1);
                put(out, static_cast<uint8_t>(static_cast<int8_t>(g.dy)), 1);
                put(out, static_cast<uint8_t>(g.advance), 1);
            }
        }
        for (const uint16_t b : s.breaks) put(out, b, 2);
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

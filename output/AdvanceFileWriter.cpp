#include "output/AdvanceFileWriter.h"

#include "output/LittleEndian.h"

bool writeAdvanceFile(ByteSink& out, const AdvanceFile& file) {
    const size_t count = file.widths.size();
    const size_t pairsAt = 12 + count + 2 * file.codePoints.size();
    std::vector<uint8_t> bytes(pairsAt +
                               (file.kerning ? kerningSectionBytes(file.pairs.size()) : 0));
    bytes[0] = 'F';
    bytes[1] = 'B';
    bytes[2] = 'A';
    bytes[3] = 'W';
    bytes[4] = file.kerning ? 2 : 1;  // version
    bytes[5] = file.fontSize;
    storeLittleEndian(&bytes[6], static_cast<uint32_t>(count), 4);
    bytes[10] = file.baseline;
    bytes[11] = file.codePoints.empty() ? 0 : 1;  // a code-point list follows the widths
    for (size_t i = 0; i < count; ++i) bytes[12 + i] = file.widths[i];
    for (size_t i = 0; i < file.codePoints.size(); ++i)
        storeLittleEndian(&bytes[12 + count + 2 * i], file.codePoints[i], 2);
    if (file.kerning) storeKerningSection(&bytes[pairsAt], file.pairs);
    return out.write(bytes.data(), bytes.size());
}

void storeKerningSection(uint8_t* dst, const std::vector<KernPair>& pairs) {
    storeLittleEndian(dst, static_cast<uint32_t>(pairs.size()), 4);
    for (size_t i = 0; i < pairs.size(); ++i) {
        uint8_t* pair = dst + 4 + 5 * i;
        bool clamped = false;
        storeLittleEndian(pair, pairs[i].left, 2);
        storeLittleEndian(pair + 2, pairs[i].right, 2);
        pair[4] = static_cast<uint8_t>(kerningByte(pairs[i].adjust, clamped));
    }
}

int8_t kerningByte(int32_t pixels, bool& clamped) {
    clamped = pixels < -128 || pixels > 127;
    return static_cast<int8_t>(pixels < -128 ? -128 : (pixels > 127 ? 127 : pixels));
}

uint8_t advancePixels(long advance26_6, bool& clamped) {
    const long pixels = (advance26_6 + 32) >> 6;
    clamped = pixels > 255;
    return static_cast<uint8_t>(pixels < 0 ? 0 : (pixels > 255 ? 255 : pixels));
}

std::string advancePathFor(const std::string& fontPath) {
    const std::string suffix = "_font.bin";
    if (fontPath.size() < suffix.size() ||
        fontPath.compare(fontPath.size() - suffix.size(), suffix.size(), suffix) != 0)
        return {};
    return fontPath.substr(0, fontPath.size() - suffix.size()) + "_adv.bin";
}

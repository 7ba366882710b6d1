#include "output/AdvanceFileWriter.h"

#include "output/LittleEndian.h"
#include "reader/fb_format.h"

bool writeAdvanceFile(ByteSink& out, const AdvanceFile& file) {
    const size_t count = file.widths.size();
    const size_t pairsAt = FB_ADV_HEADER_BYTES + count + 2 * file.codePoints.size();
    std::vector<uint8_t> bytes(pairsAt +
                               (file.kerning ? kerningSectionBytes(file.pairs.size()) : 0));
    bytes[0] = FB_ADV_TAG_0;
    bytes[1] = FB_ADV_TAG_1;
    bytes[2] = FB_ADV_TAG_2;
    bytes[3] = FB_ADV_TAG_3;
    bytes[FB_ADV_O_VERSION] = file.kerning ? 2 : 1;
    bytes[FB_ADV_O_FONT_SIZE] = file.fontSize;
    storeLittleEndian(&bytes[FB_ADV_O_COUNT], static_cast<uint32_t>(count), 4);
    bytes[FB_ADV_O_BASELINE] = file.baseline;
    // A code-point list follows the widths.
    bytes[FB_ADV_O_FLAGS] = file.codePoints.empty() ? 0 : FB_ADV_HAS_CODE_POINTS;
    for (size_t i = 0; i < count; ++i) bytes[FB_ADV_HEADER_BYTES + i] = file.widths[i];
    for (size_t i = 0; i < file.codePoints.size(); ++i)
        storeLittleEndian(&bytes[FB_ADV_HEADER_BYTES + count + 2 * i], file.codePoints[i], 2);
    if (file.kerning) storeKerningSection(&bytes[pairsAt], file.pairs);
    return out.write(bytes.data(), bytes.size());
}

void storeKerningSection(uint8_t* dst, const std::vector<KernPair>& pairs) {
    storeLittleEndian(dst, static_cast<uint32_t>(pairs.size()), FB_PAIR_COUNT_BYTES);
    for (size_t i = 0; i < pairs.size(); ++i) {
        uint8_t* pair = dst + FB_PAIR_COUNT_BYTES + FB_ADV_PAIR_BYTES * i;
        bool clamped = false;
        storeLittleEndian(pair + FB_PAIR_O_LEFT, pairs[i].left, 2);
        storeLittleEndian(pair + FB_PAIR_O_RIGHT, pairs[i].right, 2);
        pair[FB_PAIR_O_ADJUST] = static_cast<uint8_t>(kerningByte(pairs[i].adjust, clamped));
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

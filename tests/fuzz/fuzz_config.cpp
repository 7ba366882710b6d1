// Fuzz target: FontConfig.json text through the JSON binder, then everything the run derives
// from the bound model before any file is touched: customer ranges, listing, the font-set
// checks, the cell size and the font file header.
#include <cstddef>
#include <cstdint>

#include "charset/CharacterTables.h"
#include "config/FontChoices.h"
#include "config/FontConfig.h"
#include "driver/CellGeometry.h"
#include "output/FontFileWriter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FontConfig config;
    if (!bindConfigText(reinterpret_cast<const char*>(data), size, config)) return 0;

    CharacterTables tables;
    tables.charIndex.assign(kCodePointCount, kNotSelected);
    tables.charList.assign(kCodePointCount, kNotSelected);
    for (const CustomerRange& range : config.customerVals)
        applyCustomerRange(tables.charIndex.data(), range);
    listAndNumber(tables);

    for (int32_t rotate = 0; rotate <= 2; ++rotate) {
        if (!validateFontSet(config.fontSet, rotate).empty()) continue;
        const CellSize cell = computeCellSize(config.fontSet, rotate);
        if (cell.rows <= 0 || cell.cols <= 0 || cell.rows > 255 || cell.cols > 255)
            __builtin_trap();
    }
    // The typeface keys: each error is one line, at most one per key; without errors only values
    // the rasteriser can take and that keep output names inside the project folder.
    if (config.errors.size() > 3) __builtin_trap();
    for (const std::string& error : config.errors)
        if (error.find_first_of("\r\n") != std::string::npos) __builtin_trap();
    auto checkChoice = [](int32_t face, const std::vector<AxisValue>& variations) {
        if (face < 0) __builtin_trap();
        for (const AxisValue& v : variations)
            if (v.tag.empty() || v.tag.size() > 4 || !(v.value >= kMinAxisValue) ||
                !(v.value <= kMaxAxisValue))
                __builtin_trap();
        if (fontChoiceSuffix(face, variations).find_first_of("/\\: ") != std::string::npos)
            __builtin_trap();
    };
    if (config.errors.empty()) {
        checkChoice(config.fontSet.faceIndex, config.fontSet.variations);
        for (const FontChoice& f : config.fontSet.fallbackFonts) {
            if (f.font.empty()) __builtin_trap();
            checkChoice(f.faceIndex, f.variations);
        }
    }
    const std::vector<uint8_t> header = buildFontHeader(config.fontSet, tables.charCount);
    if (header.empty() || header[0] != header.size()) __builtin_trap();
    return 0;
}

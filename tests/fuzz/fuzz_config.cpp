// Fuzz target: FontConfig.json text through the JSON binder, then everything the run derives
// from the bound model before any file is touched: customer ranges, listing, the font-set
// checks, the cell size and the font file header.
#include <cstddef>
#include <cstdint>

#include "charset/CharacterTables.h"
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
    const std::vector<uint8_t> header = buildFontHeader(config.fontSet, tables.charCount);
    if (header.empty() || header[0] != header.size()) __builtin_trap();
    return 0;
}

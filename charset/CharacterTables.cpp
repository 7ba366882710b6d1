#include "charset/CharacterTables.h"

#include <cstdio>

#include "charset/CodePageFile.h"
#include "charset/FileImage.h"
#include "charset/ListFiles.h"
#include "platform/InputLimits.h"
#include "platform/platform.h"

namespace fs = std::filesystem;

fs::path codePagePath(const fs::path& toolDir, const std::wstring& name) {
    // Joined as text: fs::path's operator/ would let an absolute name replace the folder.
    const fs::path::string_type sep(1, fs::path::preferred_separator);
    fs::path::string_type joined = toolDir.native();
    joined += sep;
    joined += fs::path("CodePage").native();
    joined += sep;
    joined += platform::pathFromWide(name).native();
    return fs::path(joined);
}

bool applyCustomerRange(uint16_t* charIndex, const CustomerRange& range, std::string* why) {
    const int64_t first = range.firstVal;
    const int64_t end = first + range.range;
    auto reject = [&](const std::string& reason) {
        if (why)
            *why = "customer range firstVal " + std::to_string(range.firstVal) + ", range " +
                   std::to_string(range.range) + " is skipped: " + reason;
        return false;
    };
    if (end < INT32_MIN || end > INT32_MAX)
        return reject("firstVal + range does not fit in 32 bits");
    if (end > int64_t{kCodePointCount}) {
        char last[16];
        std::snprintf(last, sizeof last, "U+%04llX", static_cast<unsigned long long>(end - 1));
        return reject("it would end at " + std::string(last) + ", past U+FFFF");
    }
    if (first >= end) return true;  // empty: nothing to mark, no fault
    if (first < 0) return reject("it starts below U+0000");
    for (int64_t c = first; c < end; ++c) markCodePoint(charIndex, static_cast<uint16_t>(c));
    return true;
}

void listAndNumber(CharacterTables& tables) {
    uint16_t* index = tables.charIndex.data();
    uint16_t* list = tables.charList.data();
    int32_t count = 0;
    for (uint32_t c = 0; c < kCodePointCount; ++c) {
        if (index[c] != kNotSelected) list[count++] = static_cast<uint16_t>(c);
    }
    tables.charCount = count;
    // Every mark is 0, so this pass visits the same code points in the same order. With all
    // 65,536 selected, U+FFFF receives glyph number 0xFFFF.
    uint16_t k = 0;
    for (uint32_t c = 0; c < kCodePointCount; ++c) {
        if (index[c] == 0) index[c] = k++;
    }
}

SelectionReport buildCharacterTables(const fs::path& toolDir, const FontConfig& config,
                                     CharacterTables& tables) {
    SelectionReport report;
    tables.charIndex.assign(kCodePointCount, kNotSelected);
    tables.charList.assign(kCodePointCount, kNotSelected);
    tables.charCount = 0;
    uint16_t* index = tables.charIndex.data();
    std::string problem;

    // Each file is read here, so that one that cannot be read is told apart from one whose
    // contents are only partly usable.
    std::string image;
    auto read = [&](const fs::path& path, const char* what, uint64_t maxBytes) {
        if (readSelectionFile(path, what, maxBytes, image, &problem)) return true;
        report.errors.push_back(problem);
        return false;
    };
    auto note = [&] {
        if (!problem.empty()) report.warnings.push_back(problem);
    };
    for (const std::wstring& name : config.codePages) {
        const fs::path path = codePagePath(toolDir, name);
        if (!read(path, "code-page file", limits::kMaxCodePageBytes)) continue;
        applyCodePageImage(imageBytes(image), image.size(), index, quotedPath(path), &problem);
        note();
    }
    for (const std::wstring& wide : config.mappingPaths) {
        const fs::path path = platform::pathFromWide(wide);
        if (!read(path, "mapping file", limits::kMaxMappingBytes)) continue;
        applyMappingImage(imageBytes(image), image.size(), index, quotedPath(path), &problem);
        note();
    }
    for (const std::wstring& wide : config.cstPaths) {
        const fs::path path = platform::pathFromWide(wide);
        if (!read(path, "cst file", limits::kMaxCstBytes)) continue;
        applyCstImage(imageBytes(image), image.size(), index, quotedPath(path), &problem);
        note();
    }
    // Characters from text come after the other files and before the ranges.
    for (const std::wstring& wide : config.textPaths) {
        const fs::path path = platform::pathFromWide(wide);
        if (!read(path, "text file", limits::kMaxTextBytes)) continue;
        applyTextImage(imageBytes(image), image.size(), index, quotedPath(path), &report.warnings);
    }
    for (const CustomerRange& range : config.customerVals) {
        std::string why;
        if (!applyCustomerRange(index, range, &why)) {
            ++report.rejectedRanges;
            report.rejectedRangeReasons.push_back(why);
        }
    }
    listAndNumber(tables);
    return report;
}

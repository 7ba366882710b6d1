// The selection of exported characters: one slot per BMP code point, and the selected code points
// in ascending order. Sources only ever mark; listing and numbering then turn the marks into
// glyph numbers.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "charset/Selection.h"
#include "config/FontConfig.h"

struct CharacterTables {
    // Slot c for U+c. While the sources run: 0 (selected) or 0xFFFF. After the build: the glyph
    // number of U+c, or 0xFFFF when it is not exported.
    std::vector<uint16_t> charIndex;
    // The first charCount slots hold the selected code points, strictly ascending; the rest 0xFFFF.
    std::vector<uint16_t> charList;
    int32_t charCount = 0;
};

struct SelectionReport {
    // Customer ranges skipped because they reach beyond U+FFFF, start below U+0000 or overflow
    // 32 bits. The driver prints "error customer range" (no line end) once for each.
    int32_t rejectedRanges = 0;
    // For each of them, in order: its values and why it was skipped.
    std::vector<std::string> rejectedRangeReasons;
    // One line each about a selection file that is malformed, or whose contents were partly
    // skipped.
    std::vector<std::string> warnings;
    // One line each about a selection file that could not be read (missing, not a file,
    // unreadable, too large). Such a file would silently shrink the font: the run must stop.
    std::vector<std::string> errors;
};

// Allocates both tables with every slot 0xFFFF, then applies, in this order: the code pages
// (<toolDir><sep>CodePage<sep><name>, joined as text so that a name is never taken as a path of
// its own), the mapping files, the cst files (paths as configured), the text files and the customer
// ranges; then lists and numbers the selection. Never fails; problems are returned in the report,
// files that could not be read among its errors.
SelectionReport buildCharacterTables(const std::filesystem::path& toolDir, const FontConfig& config,
                                     CharacterTables& tables);

// The code-page file path for a configured name: plain concatenation with the host separator.
std::filesystem::path codePagePath(const std::filesystem::path& toolDir, const std::wstring& name);

// Applies one customer range to a 65,536-slot table. Returns false (nothing marked) for a range
// that must be reported: it ends beyond U+FFFF, its end overflows 32 bits, or it starts below
// U+0000 while covering at least one code point. An empty or negative range returns true.
// `why`, when given, receives a line with the range's values and the reason it is refused.
bool applyCustomerRange(uint16_t* charIndex, const CustomerRange& range,
                        std::string* why = nullptr);

// Lists the marked slots into charList and numbers them in charIndex (two linear passes).
void listAndNumber(CharacterTables& tables);

// UI strings in the run: shaped with the font chain, their glyphs given code points (a selected
// character's when it draws the same glyph, otherwise a private-use one), and laid out for the
// string table.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "charset/CharacterTables.h"
#include "charset/StringFiles.h"
#include "output/StringTableWriter.h"

class CvxText;

struct StringPlan {
    CharacterTables tables;           // the selection and the strings' private-use code points
    std::set<uint16_t> privateCodes;  // the latter, which never fall back to another font
    std::vector<StringTableEntry> entries;
};

// `fonts` is the chain [font, fallbackFonts...], null for one that repeats an earlier one. Maps
// each private-use code point in the font that draws it. Returns an empty text, or the error
// line when the strings need more private-use code points than the selection and the fonts
// leave free.
std::string planStrings(const std::vector<UiString>& strings, const std::vector<CvxText*>& fonts,
                        const CharacterTables& selected, StringPlan& plan);

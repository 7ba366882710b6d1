#include "driver/StringExport.h"

#include <map>

#include "render/CvxText.h"
#include "render/LineBreaks.h"
#include "render/StringShaper.h"

namespace {

constexpr uint32_t kPrivateFirst = 0xE000;
constexpr uint32_t kPrivateLast = 0xF8FF;

}  // namespace

std::string planStrings(const std::vector<UiString>& strings, const std::vector<CvxText*>& fonts,
                        const CharacterTables& selected, StringPlan& plan) {
    std::vector<FT_FaceRec_*> faces;
    for (CvxText* font : fonts) faces.push_back(font ? font->ftFace() : nullptr);
    const StringShaper shaper(faces);
    std::vector<LaidOutString> laid;
    std::vector<std::vector<uint32_t> > breaks;
    for (const UiString& s : strings) {
        laid.push_back(layOut(shaper.shape(s.text, s.language, s.direction)));
        breaks.push_back(lineBreaks(s.text, s.language));
    }

    // A selected character keeps its glyph: a string glyph that is the same glyph of the same
    // font is stored once, under the character. The font that draws a character is the first of
    // the chain that maps it, as in the export loop.
    std::map<std::pair<size_t, uint32_t>, uint16_t> codes;
    for (int32_t i = 0; i < selected.charCount; ++i) {
        const uint16_t c = selected.charList[static_cast<size_t>(i)];
        for (size_t f = 0; f < fonts.size(); ++f) {
            if (fonts[f] && fonts[f]->hasGlyph(c)) {
                codes.emplace(std::make_pair(f, fonts[f]->glyphIndex(c)), c);
                break;
            }
        }
    }
    plan.tables = selected;
    uint32_t next = kPrivateFirst;
    auto isFree = [&](uint32_t c) {
        if (selected.charIndex[c] != kNotSelected) return false;
        for (CvxText* font : fonts)
            if (font && font->hasGlyph(static_cast<uint16_t>(c))) return false;
        return true;
    };
    for (const LaidOutString& s : laid) {
        for (const PlacedGlyph& g : s.glyphs) {
            const auto key = std::make_pair(g.font, g.glyph);
            if (codes.count(key)) continue;
            while (next <= kPrivateLast && !isFree(next)) ++next;
            if (next > kPrivateLast)
                return "the strings use more glyphs than the private-use code points U+E000 to "
                       "U+F8FF that the selection and the fonts leave free";
            const auto code = static_cast<uint16_t>(next++);
            codes.emplace(key, code);
            fonts[g.font]->mapPrivateGlyph(code, g.glyph);
            plan.privateCodes.insert(code);
            markCodePoint(plan.tables.charIndex.data(), code);
        }
    }
    // Numbering starts again from the marks: selected slots hold glyph numbers, not 0.
    for (uint32_t c = 0; c < kCodePointCount; ++c)
        if (plan.tables.charIndex[c] != kNotSelected) plan.tables.charIndex[c] = 0;
    listAndNumber(plan.tables);

    for (size_t i = 0; i < strings.size(); ++i) {
        StringTableEntry entry;
        entry.name = strings[i].name;
        entry.rightToLeft = laid[i].rightToLeft;
        entry.length = static_cast<uint16_t>(strings[i].text.size());
        entry.width = laid[i].width;
        for (const PlacedGlyph& g : laid[i].glyphs)
            entry.glyphs.push_back(StringTableGlyph{codes.at(std::make_pair(g.font, g.glyph)),
                                                    static_cast<uint16_t>(g.cluster), g.dx, g.dy,
                                                    g.advance});
        entry.breaks.assign(breaks[i].begin(), breaks[i].end());
        plan.entries.push_back(std::move(entry));
    }
    return {};
}

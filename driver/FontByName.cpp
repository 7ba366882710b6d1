#include "driver/FontByName.h"

#include <map>
#include <vector>

#include "platform/platform.h"
#include "render/CvxText.h"
#include "render/FontFaces.h"

namespace {

bool sameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

}  // namespace

bool findFontByName(const std::string& name, FontLookup& lookup) {
    const std::optional<platform::NamedFont> named = platform::fontFileForName(name);
    if (!named) return false;
    int32_t face = named->faceIndex;
    // The registry names a collection's file once for each of its faces, without saying which:
    // the faces' own names decide.
    try {
        for (const FaceInfo& info : describeFontFaces(platform::pathToUtf8(named->file)))
            if (sameName(info.family, name) || sameName(info.family + " " + info.style, name)) {
                face = static_cast<int32_t>(info.index);
                break;
            }
    } catch (const FontError&) {
        // Opening it for the run reports what is wrong with it.
    }
    lookup.fontPath = named->file;
    lookup.found = true;
    lookup.byName = true;
    lookup.faceIndex = face;
    lookup.nameFont = platform::pathToUtf8(named->file.filename());
    return true;
}

void applyFacesChosenByName(const std::filesystem::path& toolDir,
                            const std::filesystem::path& projectDir, const FontLookup& font,
                            FontSetSettings& fontSet) {
    if (font.byName && fontSet.faceIndex == 0) fontSet.faceIndex = font.faceIndex;
    // Each name once: a configuration may name the same fallback font many times.
    std::map<std::string, FontLookup> looked;
    for (FontChoice& choice : fontSet.fallbackFonts) {
        auto known = looked.find(choice.font);
        if (known == looked.end())
            known = looked.emplace(choice.font, lookUpFont(toolDir, projectDir, choice.font)).first;
        if (known->second.byName && choice.faceIndex == 0)
            choice.faceIndex = known->second.faceIndex;
    }
}

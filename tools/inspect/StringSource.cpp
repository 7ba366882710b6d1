#include "tools/inspect/StringSource.h"

#include <hb.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <map>

#include "charset/StringFiles.h"
#include "config/FontConfig.h"
#include "driver/Export.h"
#include "driver/FontByName.h"
#include "driver/FontLookup.h"
#include "platform/platform.h"
#include "render/CvxText.h"
#include "render/StringShaper.h"

namespace fs = std::filesystem;

namespace inspect {

struct StringSources::Faces {
    std::vector<std::unique_ptr<CvxText>> fonts;
};

StringSources::StringSources() : faces(std::make_unique<Faces>()) {}
StringSources::~StringSources() = default;

FT_FaceRec_* StringSources::face(size_t font) const {
    return faces->fonts.at(font)->ftFace();
}

namespace {

constexpr const char* kStringsSuffix = "_strings.bin";

// A configuration and what its run was named and drew with.
struct Candidate {
    fs::path path;
    FontConfig config;
    FontSetSettings fontSet;  // faces chosen by name applied
    FontLookup lookup;
    std::string base;
};

bool readCandidate(const fs::path& path, const fs::path& toolDir, Candidate& c) {
    c.path = path;
    if (loadFontConfig(path, c.config) != ConfigLoad::Loaded || !c.config.errors.empty())
        return false;
    const fs::path projectDir = platform::directoryOf(path);
    const std::string& font = c.config.fontSet.font;
    c.lookup = lookUpFont(toolDir, projectDir, font.empty() ? kDefaultFontName : font);
    FontLookup named = c.lookup;
    if (font.empty()) named.nameFont.clear();
    c.fontSet = c.config.fontSet;
    applyFacesChosenByName(toolDir, projectDir, c.lookup, c.fontSet);
    c.base = outputBaseName(c.fontSet, named);
    return true;
}

// The configuration given, or the first .json beside the table (in name order) that has strings
// and names its outputs as the table is named.
std::string findConfig(const std::string& stringsFile, const std::optional<std::string>& config,
                       const fs::path& toolDir, Candidate& found) {
    const fs::path table = platform::pathFromUtf8(stringsFile);
    std::string base = platform::pathToUtf8(table.filename());
    base.resize(base.size() - std::string(kStringsSuffix).size());
    if (config) {
        const fs::path path = platform::pathFromUtf8(*config);
        if (!readCandidate(path, toolDir, found)) return *config + " is no readable configuration";
        if (found.config.stringPaths.empty()) return *config + " has no \"stringPaths\"";
        if (found.base != base)
            return *config + " writes " + found.base + kStringsSuffix + ", not " + base +
                   kStringsSuffix;
        return {};
    }
    const fs::path folder = platform::directoryOf(table);
    std::vector<fs::path> jsons;
    std::error_code ec;
    for (fs::directory_iterator it(folder.empty() ? fs::path(".") : folder, ec), end;
         !ec && it != end; it.increment(ec))
        if (it->path().extension() == ".json" && it->is_regular_file(ec))
            jsons.push_back(it->path());
    std::sort(jsons.begin(), jsons.end());
    for (const fs::path& path : jsons)
        if (readCandidate(path, toolDir, found) && !found.config.stringPaths.empty() &&
            found.base == base)
            return {};
    return "no configuration beside " + stringsFile + " writes " + base + kStringsSuffix +
           " (fontbin writes its outputs beside the configuration): give --config PATH";
}

// A relative strings file is found as fontbin finds it: from the working directory, else from
// the configuration's folder.
void resolveStringPaths(FontConfig& config, const fs::path& projectDir) {
    for (StringSource& source : config.stringPaths) {
        const fs::path path = platform::pathFromWide(source.path);
        if (path.is_absolute() || platform::pathExists(path)) continue;
        source.path = (projectDir / path).wstring();
    }
}

std::string variationText(const std::vector<AxisValue>& variations) {
    std::string text;
    for (const AxisValue& v : variations) {
        char value[32];
        std::snprintf(value, sizeof value, "%g", v.value);
        text += (text.empty() ? "" : ",") + v.tag + "=" + value;
    }
    return text;
}

// Opens the chain [font, fallbackFonts...] at the run's size, as the run opened it.
std::string openChain(const Candidate& c, const fs::path& toolDir, StringSources& out) {
    const fs::path projectDir = platform::directoryOf(c.path);
    std::vector<std::pair<fs::path, const FontChoice*>> chain{{c.lookup.fontPath, nullptr}};
    if (!c.lookup.found) return "font " + c.fontSet.font + " not found";
    for (const FontChoice& choice : c.fontSet.fallbackFonts) {
        const FontLookup found = lookUpFont(toolDir, projectDir, choice.font);
        if (!found.found) return "fallback font " + choice.font + " not found";
        chain.emplace_back(found.fontPath, &choice);
    }
    const std::array<double, 4> size{static_cast<double>(c.fontSet.fontSize), 0, 0.1, 0};
    try {
        for (const auto& [path, choice] : chain) {
            const int32_t face = choice ? choice->faceIndex : c.fontSet.faceIndex;
            const std::vector<AxisValue>& axes = choice ? choice->variations : c.fontSet.variations;
            out.faces->fonts.push_back(
                std::make_unique<CvxText>(platform::pathToUtf8(path), face, axes));
            out.faces->fonts.back()->setSize(&size);
            out.fontPaths.push_back(platform::pathToUtf8(path));
            out.faceIndexes.push_back(face);
            out.variations.push_back(variationText(axes));
            out.emPixels.push_back(out.faces->fonts.back()->emPixels());
        }
    } catch (const std::exception& e) {
        return e.what();
    }
    return {};
}

void shapeAll(const std::vector<UiString>& strings, StringSources& out) {
    std::vector<FT_FaceRec_*> faces;
    for (const auto& font : out.faces->fonts) faces.push_back(font->ftFace());
    const StringShaper shaper(faces);
    for (const UiString& s : strings) {
        const ShapedString shaped = shaper.shape(s.text, s.language, s.direction);
        const LaidOutString laid = layOut(shaped);
        SourceString source{s.name, s.language, {}};
        size_t placed = 0;
        int64_t pen = 0;
        for (const ShapedRun& run : shaped.runs) {
            SourceRun r;
            r.font = run.font;
            r.rightToLeft = run.rightToLeft;
            char tag[5] = {};
            hb_tag_to_string(hb_script_to_iso15924_tag(static_cast<hb_script_t>(run.script)), tag);
            r.script = tag;
            r.text = s.text.substr(run.start, run.length);
            r.start = run.start;
            for (const ShapedGlyph& g : run.glyphs) {
                const PlacedGlyph& p = laid.glyphs.at(placed++);
                r.glyphs.push_back(SourceGlyph{g.glyph, g.cluster - run.start, p.dx, p.dy,
                                               p.advance, static_cast<int32_t>(pen + g.xOffset),
                                               g.yOffset});
                pen += g.xAdvance;
            }
            source.runs.push_back(std::move(r));
        }
        out.strings.push_back(std::move(source));
    }
}

// Whether the table holds the strings as shaped again; empty if so, else where it differs.
std::string compare(const fb_strings& table, const StringSources& shaped) {
    if (table.count != shaped.strings.size())
        return "the table holds " + std::to_string(table.count) + " strings, the strings files " +
               std::to_string(shaped.strings.size());
    std::map<std::pair<size_t, uint32_t>, uint32_t> codeOf;
    std::map<uint32_t, std::pair<size_t, uint32_t>> glyphOf;
    std::map<uint32_t, std::pair<int, int>> originOf;
    for (unsigned i = 0; i < table.count; ++i) {
        const SourceString& source = shaped.strings[i];
        fb_string s;
        fb_string_at(&table, i, &s);
        const std::string name(s.name, s.name_length);
        if (name != source.name)
            return "string " + std::to_string(i) + " is \"" + name + "\" in the table, \"" +
                   source.name + "\" in the strings files";
        fb_string_cursor cursor;
        fb_string_begin(&s, &cursor);
        unsigned k = 0;
        for (const SourceRun& run : source.runs) {
            for (const SourceGlyph& g : run.glyphs) {
                fb_string_glyph stored;
                const std::string at = "\"" + name + "\", glyph " + std::to_string(k++);
                if (!fb_string_next(&cursor, &stored)) return at + ": not in the table";
                const auto key = std::make_pair(run.font, g.glyph);
                const std::pair<int, int> origin{stored.dx - g.dx, stored.dy - g.dy};
                if (stored.cluster != run.start + g.cluster || stored.advance != g.advance ||
                    codeOf.emplace(key, stored.code).first->second != stored.code ||
                    glyphOf.emplace(stored.code, key).first->second != key ||
                    originOf.emplace(stored.code, origin).first->second != origin)
                    return at + ": the table holds another glyph or place";
            }
        }
        if (k != s.glyph_count)
            return "\"" + name + "\": " + std::to_string(s.glyph_count) + " glyphs in the table, " +
                   std::to_string(k) + " shaped";
    }
    return {};
}

}  // namespace

std::string shapeAgain(const std::string& stringsFile, const std::optional<std::string>& config,
                       const std::string& toolDir, const fb_strings& table, StringSources& out) {
    const fs::path tools = platform::pathFromUtf8(toolDir);
    Candidate c;
    if (std::string why = findConfig(stringsFile, config, tools, c); !why.empty()) return why;
    out.configPath = platform::pathToUtf8(c.path);
    const std::string from = out.configPath + ": ";
    resolveStringPaths(c.config, platform::directoryOf(c.path));
    std::vector<UiString> strings;
    std::string error;
    if (!readStringFiles(c.config.stringPaths, strings, error)) return from + error;
    if (std::string why = openChain(c, tools, out); !why.empty()) return from + why;
    out.hinting = c.fontSet.hinting;
    out.bpp = static_cast<unsigned>(c.fontSet.renderMode);
    shapeAll(strings, out);
    if (std::string why = compare(table, out); !why.empty()) {
        out.differs = true;
        return stringsFile + " is not what " + out.configPath + " gives now (" + why +
               "): run fontbin again";
    }
    return {};
}

}  // namespace inspect

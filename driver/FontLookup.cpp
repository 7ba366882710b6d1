#include "driver/FontLookup.h"

#include <algorithm>
#include <utility>

#include "config/FontConfig.h"
#include "driver/FontByName.h"
#include "platform/InputLimits.h"
#include "platform/platform.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kFallbackFont = "unifont.ttf";

std::string toolFontDir(const fs::path& toolDir) {
    return platform::pathToUtf8(toolDir) + platform::hostSeparator() + "font" +
           platform::hostSeparator();
}

bool isReadableFile(const fs::path& path) {
    return platform::pathExists(path) && platform::notAFileReason(path).empty();
}

}  // namespace

FontLookup lookUpFont(const fs::path& toolDir, const fs::path& projectDir,
                      const std::string& font) {
    FontLookup lookup;
    lookup.nameFont = font;
    // The font is a bare file name: the system's font folders first, then the tool's own.
    const std::string fontDir = toolFontDir(toolDir);
    if (auto found = platform::findSystemFont(font))
        lookup.fontPath = *found;
    else
        lookup.fontPath = platform::pathFromUtf8(fontDir + font);
    lookup.found = platform::pathExists(lookup.fontPath);
    if (!lookup.found && !font.empty()) {
        // A path of its own, as users write it when the font lies in their project.
        const platform::PathStyle style = platform::hostPathStyle();
        const fs::path asPath = platform::isAbsolutePath(font, style)
                                    ? platform::pathFromUtf8(font)
                                    : platform::pathFromUtf8(platform::pathToUtf8(projectDir) +
                                                             platform::hostSeparator() + font);
        if (isReadableFile(asPath)) {
            lookup.fontPath = asPath;
            lookup.found = true;
            lookup.byPath = true;
            lookup.nameFont = platform::pathToUtf8(asPath.filename());
        }
    }
    if (!lookup.found && !font.empty()) findFontByName(font, lookup);  // "Noto Sans CJK SC"
    // A fallback that is not a readable file (a folder, a pipe) counts as missing.
    lookup.fallbackPath = platform::pathFromUtf8(fontDir + kFallbackFont);
    if (!isReadableFile(lookup.fallbackPath)) lookup.fallbackPath = lookup.fontPath;
    return lookup;
}

std::string fontFileProblem(const fs::path& path) {
    if (std::string reason = platform::notAFileReason(path); !reason.empty()) return reason;
    if (const auto size = platform::fileSize(path); size && *size > limits::kMaxFontBytes)
        return limits::tooLargeReason(*size, limits::kMaxFontBytes, "a font file");
    return {};
}

std::vector<std::string> nearestNames(const std::string& wanted, std::vector<std::string> names,
                                      size_t count) {
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    std::vector<std::pair<size_t, std::string>> ranked;
    ranked.reserve(names.size());
    for (std::string& name : names)
        ranked.emplace_back(editDistance(wanted, name), std::move(name));
    std::stable_sort(ranked.begin(), ranked.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::string> nearest;
    for (size_t i = 0; i < ranked.size() && i < count; ++i) nearest.push_back(ranked[i].second);
    return nearest;
}

std::string controlCharacterNote(const std::string& path) {
    struct Escape {
        char code;
        char letter;
        const char* name;
    };
    static const Escape kEscapes[] = {{'\b', 'b', "a backspace"},
                                      {'\f', 'f', "a form feed"},
                                      {'\n', 'n', "a line break"},
                                      {'\r', 'r', "a carriage return"},
                                      {'\t', 't', "a tab"}};
    std::string written;  // as the configuration spells it
    std::string doubled;  // each backslash written twice
    std::string slashed;  // with "/" for each backslash
    std::vector<std::string> read;
    bool control = false;
    for (const char c : path) {
        const Escape* escape = std::find_if(std::begin(kEscapes), std::end(kEscapes),
                                            [c](const Escape& e) { return e.code == c; });
        if (escape != std::end(kEscapes)) {
            const std::string what = std::string("\"\\") + escape->letter + "\" as " + escape->name;
            if (std::find(read.begin(), read.end(), what) == read.end()) read.push_back(what);
            written += std::string("\\") + escape->letter;
            doubled += std::string("\\\\") + escape->letter;
            slashed += std::string("/") + escape->letter;
        } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            static const char kHex[] = "0123456789abcdef";
            const std::string code = std::string("\\u00") + kHex[(c >> 4) & 7] + kHex[c & 15];
            written += code;
            doubled += code;
            slashed += code;
        } else {
            written += c == '\\' ? std::string("\\\\") : std::string(1, c);
            doubled += c == '\\' ? std::string("\\\\") : std::string(1, c);
            slashed += c == '\\' ? '/' : c;
            continue;
        }
        control = true;
    }
    if (!control) return {};
    std::string list;
    for (size_t i = 0; i < read.size(); ++i)
        list += (i == 0 ? "" : i + 1 == read.size() ? " and " : ", ") + read[i];
    return "note: \"" + written + "\" holds control characters" +
           (list.empty() ? std::string() : ": JSON reads " + list) +
           "; in a path write each backslash twice (\"" + doubled + "\") or use \"/\" (\"" +
           slashed + "\")";
}

std::vector<std::string> fontNotFoundHelp(const fs::path& toolDir, const std::string& font) {
    std::vector<std::string> lines;
    if (std::string note = controlCharacterNote(font); !note.empty())
        lines.push_back(std::move(note));
    std::string folders;
    for (const fs::path& dir : platform::systemFontDirs())
        folders += (folders.empty() ? "" : ", ") + platform::pathToUtf8(dir);
    lines.push_back("note: \"" + font + "\" was looked for in the system font folders" +
                    (folders.empty() ? std::string() : " (" + folders + ")") +
                    // Windows keeps fonts flat in its folders, and only those are searched.
                    (platform::hostPathStyle() == platform::PathStyle::Windows
                         ? ""
                         : " and the folders below them") +
                    ", then in " + toolFontDir(toolDir) +
                    ", then as a path of its own (absolute, or relative to the configuration's "
                    "folder)");
    if (auto file = platform::fontFileForFamily(font)) {
        lines.push_back("note: \"" + font + "\" is a font family; its file is " +
                        platform::pathToUtf8(*file) + ": write \"font\": \"" +
                        platform::pathToUtf8(file->filename()) + "\"");
    }
    std::vector<std::string> names;
    for (const fs::path& file : platform::systemFontFiles())
        names.push_back(platform::pathToUtf8(file.filename()));
    std::error_code ec;
    for (fs::directory_iterator it(platform::pathFromUtf8(toolFontDir(toolDir)), ec), end;
         !ec && it != end; it.increment(ec))
        names.push_back(platform::pathToUtf8(it->path().filename()));
    const std::vector<std::string> nearest = nearestNames(font, std::move(names), 3);
    if (!nearest.empty()) {
        std::string list;
        for (const std::string& name : nearest) list += (list.empty() ? "" : ", ") + name;
        lines.push_back("note: installed font files with the nearest names: " + list);
    }
    return lines;
}

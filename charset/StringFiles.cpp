#include "charset/StringFiles.h"

#include <cjson/cJSON.h>

#include <cstdio>
#include <cstring>
#include <map>

#include "charset/FileImage.h"
#include "config/FontChoices.h"
#include "platform/InputLimits.h"
#include "platform/platform.h"

namespace fs = std::filesystem;

namespace {

bool isIdentifierChar(char c, bool first) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' ||
           (!first && c >= '0' && c <= '9');
}

bool isIdentifier(const std::string& name) {
    if (name.empty() || name.size() > kMaxStringNameLength) return false;
    for (size_t i = 0; i < name.size(); ++i)
        if (!isIdentifierChar(name[i], i == 0)) return false;
    return true;
}

// A name made from the file's stem and a line number: "menu_ar.txt" line 3 gives "menu_ar_3".
std::string lineName(const fs::path& path, size_t line) {
    std::string stem;
    for (const char c : platform::pathToUtf8(path.stem()))
        stem += isIdentifierChar(c, false) ? c : '_';
    if (stem.empty() || (stem[0] >= '0' && stem[0] <= '9')) stem = "s_" + stem;
    const std::string suffix = "_" + std::to_string(line);
    if (stem.size() + suffix.size() > kMaxStringNameLength)
        stem.resize(kMaxStringNameLength - suffix.size());
    return stem + suffix;
}

// Decodes UTF-8 text into `text`. False with the reason in `why` for bytes that are not UTF-8, a
// control character or a string longer than kMaxStringLength.
bool decodeText(const char* bytes, size_t size, std::u32string& text, std::string& why) {
    text.clear();
    for (size_t i = 0, column = 1; i < size; ++column) {
        char32_t code = 0;
        size_t bad = 0;
        const size_t length = platform::decodeUtf8(
            reinterpret_cast<const unsigned char*>(bytes) + i, size - i, code, bad);
        if (length == 0) {
            why = "bytes that are not UTF-8 at column " + std::to_string(column);
            return false;
        }
        if (code < 0x20 || (code >= 0x7F && code < 0xA0)) {
            char hex[16];
            std::snprintf(hex, sizeof hex, "U+%04X", static_cast<unsigned>(code));
            why = std::string("the control character ") + hex + " at column " +
                  std::to_string(column) + " (a string is one line of text)";
            return false;
        }
        if (text.size() == kMaxStringLength) {
            why = "more than " + std::to_string(kMaxStringLength) + " characters";
            return false;
        }
        text.push_back(code);
        i += length;
    }
    return true;
}

bool parseJson(const std::string& bytes, const std::string& label, const StringSource& source,
               std::vector<UiString>& strings, std::string& error) {
    const size_t bom = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    cJSON* tree = cJSON_ParseWithLength(bytes.data() + bom, bytes.size() - bom);
    if (!cJSON_IsObject(tree)) {
        error = "strings file " + label +
                (tree ? " must hold one JSON object of named strings"
                      : " is not valid JSON (it must hold one object of named strings)");
        cJSON_Delete(tree);
        return false;
    }
    for (const cJSON* member = tree->child; member; member = member->next) {
        UiString s;
        s.name = member->string ? member->string : "";
        s.language = source.language;
        s.direction = source.direction;
        std::string why;
        if (!cJSON_IsString(member) || !member->valuestring) {
            why = "not a string but " + jsonText(member);
        } else if (decodeText(member->valuestring, std::strlen(member->valuestring), s.text, why)) {
            strings.push_back(s);
            continue;
        }
        error = "strings file " + label + ": \"" + s.name + "\": " + why;
        cJSON_Delete(tree);
        return false;
    }
    cJSON_Delete(tree);
    return true;
}

bool parseLines(const std::string& bytes, const fs::path& path, const std::string& label,
                const StringSource& source, std::vector<UiString>& strings, std::string& error) {
    size_t at = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    for (size_t line = 1; at < bytes.size(); ++line) {
        size_t end = bytes.find('\n', at);
        if (end == std::string::npos) end = bytes.size();
        size_t stop = end;
        if (stop > at && bytes[stop - 1] == '\r') --stop;
        UiString s;
        s.name = lineName(path, line);
        s.language = source.language;
        s.direction = source.direction;
        std::string why;
        // A blank line is no string, but it counts: names follow the lines as an editor shows.
        if (stop > at && !decodeText(bytes.data() + at, stop - at, s.text, why)) {
            error = "strings file " + label + ", line " + std::to_string(line) + ": " + why;
            return false;
        }
        if (!s.text.empty()) strings.push_back(s);
        at = end + 1;
    }
    return true;
}

std::string upper(const std::string& name) {
    std::string out = name;
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

}  // namespace

bool parseStringFile(const std::string& bytes, const fs::path& path, const StringSource& source,
                     std::vector<UiString>& strings, std::string& error) {
    const std::string label = quotedPath(path);
    std::string extension = platform::pathToUtf8(path.extension());
    const bool json = upper(extension) == ".JSON";
    const size_t first = strings.size();
    if (!(json ? parseJson(bytes, label, source, strings, error)
               : parseLines(bytes, path, label, source, strings, error)))
        return false;
    for (size_t i = first; i < strings.size(); ++i) {
        if (!isIdentifier(strings[i].name)) {
            error = "strings file " + label + ": the name \"" + strings[i].name +
                    "\" must be 1 to " + std::to_string(kMaxStringNameLength) +
                    " letters, digits or \"_\", not starting with a digit";
            return false;
        }
    }
    return true;
}

bool readStringFiles(const std::vector<StringSource>& sources, std::vector<UiString>& strings,
                     std::string& error) {
    std::map<std::string, std::string> seen;  // capitalised name -> its file
    std::string image;
    for (const StringSource& source : sources) {
        const fs::path path = platform::pathFromWide(source.path);
        if (!readSelectionFile(path, "strings file", limits::kMaxTextBytes, image, &error))
            return false;
        const size_t first = strings.size();
        if (!parseStringFile(image, path, source, strings, error)) return false;
        for (size_t i = first; i < strings.size(); ++i) {
            const auto [it, added] = seen.emplace(upper(strings[i].name), quotedPath(path));
            if (!added) {
                error = "strings file " + quotedPath(path) + ": the name \"" + strings[i].name +
                        "\" is already used in " + it->second +
                        " (names are compared in capitals, as FB_STR_ names)";
                return false;
            }
        }
        if (strings.size() > kMaxStringCount) {
            error = "strings file " + quotedPath(path) + ": more than " +
                    std::to_string(kMaxStringCount) + " strings in all";
            return false;
        }
    }
    return true;
}

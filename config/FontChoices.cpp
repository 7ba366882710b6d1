#include "config/FontChoices.h"

#include <cjson/cJSON.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

std::string jsonText(const cJSON* node) {
    // cJSON reads 1e400 as infinity and prints it as null.
    if (cJSON_IsNumber(node) && !std::isfinite(node->valuedouble)) return "a number too large";
    char* printed = cJSON_PrintUnformatted(node);
    std::string text = printed ? printed : "?";
    cJSON_free(printed);
    if (text.size() > 40) text = text.substr(0, 37) + "...";
    return text;
}

namespace {

// A member name, quoted and escaped as JSON text.
std::string quotedName(const char* text) {
    cJSON* node = cJSON_CreateString(text ? text : "");
    std::string quoted = jsonText(node);
    cJSON_Delete(node);
    return quoted;
}

bool isAxisTag(const std::string& tag) {
    if (tag.empty() || tag.size() > 4) return false;
    for (unsigned char c : tag)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
            return false;
    return true;
}

// Reads `member` (the value of `name`) as a face index; false after adding the error.
bool readFaceIndex(const cJSON* member, const std::string& name, int32_t& target,
                   std::vector<std::string>& errors) {
    const double v = member->valuedouble;
    if (!cJSON_IsNumber(member) || !(v >= 0) || v > std::numeric_limits<int32_t>::max() ||
        std::floor(v) != v) {
        errors.push_back(name +
                         " must be a whole number 0 or more (the face of a collection), not " +
                         jsonText(member));
        return false;
    }
    target = static_cast<int32_t>(v);
    return true;
}

bool readVariations(const cJSON* member, const std::string& name, std::vector<AxisValue>& target,
                    std::vector<std::string>& errors) {
    if (!cJSON_IsObject(member)) {
        errors.push_back(name + " must be an object of axis tags and numbers, such as " +
                         "{\"wght\": 700}, not " + jsonText(member));
        return false;
    }
    std::vector<AxisValue> values;
    for (const cJSON* axis = member->child; axis; axis = axis->next) {
        const std::string tag = axis->string ? axis->string : "";
        if (!isAxisTag(tag)) {
            errors.push_back(name + ": " + quotedName(axis->string) +
                             " is not an axis tag (1 to 4 letters or digits, such as \"wght\")");
            return false;
        }
        for (const AxisValue& earlier : values) {
            if (earlier.tag == tag) {
                errors.push_back(name + " names \"" + tag + "\" twice");
                return false;
            }
        }
        if (!cJSON_IsNumber(axis) || !(axis->valuedouble >= kMinAxisValue) ||
            !(axis->valuedouble <= kMaxAxisValue)) {
            errors.push_back(name + "." + tag + " must be a number from -32768 to 32767, not " +
                             jsonText(axis));
            return false;
        }
        values.push_back(AxisValue{tag, axis->valuedouble});
    }
    target = values;
    return true;
}

bool isFontName(const cJSON* node) {
    return cJSON_IsString(node) && node->valuestring != nullptr && node->valuestring[0] != '\0';
}

bool readFallbackFonts(const cJSON* member, const std::string& name,
                       std::vector<FontChoice>& target, std::vector<std::string>& errors) {
    if (!cJSON_IsArray(member)) {
        errors.push_back(name + " must be an array of font names or objects, not " +
                         jsonText(member));
        return false;
    }
    std::vector<FontChoice> fonts;
    int index = 0;
    for (const cJSON* e = member->child; e; e = e->next, ++index) {
        const std::string element = name + "[" + std::to_string(index) + "]";
        FontChoice choice;
        if (isFontName(e)) {
            choice.font = e->valuestring;
        } else if (cJSON_IsObject(e)) {
            const cJSON* font = cJSON_GetObjectItem(e, "font");
            if (!isFontName(font)) {
                errors.push_back(element + ".font must name a font file, not " +
                                 (font ? jsonText(font) : std::string("missing")));
                return false;
            }
            choice.font = font->valuestring;
            if (const cJSON* face = cJSON_GetObjectItem(e, "faceIndex"))
                if (!readFaceIndex(face, element + ".faceIndex", choice.faceIndex, errors))
                    return false;
            if (const cJSON* variations = cJSON_GetObjectItem(e, "variations"))
                if (!readVariations(variations, element + ".variations", choice.variations, errors))
                    return false;
        } else {
            errors.push_back(element + " must be a font name or an object with \"font\", not " +
                             jsonText(e));
            return false;
        }
        fonts.push_back(choice);
    }
    target = fonts;
    return true;
}

}  // namespace

void readFontChoices(const cJSON* fontSet, FontSetSettings& settings,
                     std::vector<std::string>& errors) {
    if (fontSet == nullptr) return;
    // Keys match without regard to case, and the first of two wins, as for every other key.
    if (const cJSON* face = cJSON_GetObjectItem(fontSet, "faceIndex"))
        readFaceIndex(face, "fontSet.faceIndex", settings.faceIndex, errors);
    if (const cJSON* variations = cJSON_GetObjectItem(fontSet, "variations"))
        readVariations(variations, "fontSet.variations", settings.variations, errors);
    if (const cJSON* fallback = cJSON_GetObjectItem(fontSet, "fallbackFonts"))
        readFallbackFonts(fallback, "fontSet.fallbackFonts", settings.fallbackFonts, errors);
}

std::string shortestDecimal(double value) {
    // Fixed notation: an exponent ("1e+03") has no place in a file name.
    char buffer[400];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    if (result.ec != std::errc()) return "0";
    std::string text(buffer, result.ptr);
    return text == "-0" ? "0" : text;
}

namespace {

// The shortest decimal that sets the same design coordinate as `value`: FreeType takes 16.16
// fixed point, so five decimals always suffice, and a value written with a hundred digits (or
// as 1e-300) names the instance it draws, in a name that fits the file system.
std::string coordinateText(double value) {
    const long fixed = std::lround(value * 65536.0);
    for (int digits = 0; digits <= 5; ++digits) {
        char buffer[48];
        const auto result =
            std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, digits);
        if (result.ec != std::errc()) break;
        const std::string text(buffer, result.ptr);
        if (std::lround(std::strtod(text.c_str(), nullptr) * 65536.0) == fixed)
            return text == "-0" ? "0" : text;
    }
    return shortestDecimal(static_cast<double>(fixed) / 65536.0);
}

}  // namespace

std::string fontChoiceSuffix(int32_t faceIndex, const std::vector<AxisValue>& variations) {
    std::string suffix;
    if (faceIndex != 0) suffix += "_face" + std::to_string(faceIndex);
    for (const AxisValue& v : variations) suffix += "_" + v.tag + coordinateText(v.value);
    return suffix;
}

#include "config/StringPaths.h"

#include <cjson/cJSON.h>

#include <algorithm>

#include "config/FontChoices.h"
#include "platform/platform.h"

namespace {

bool isAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isNonEmptyText(const cJSON* node) {
    return cJSON_IsString(node) && node->valuestring != nullptr && node->valuestring[0] != '\0';
}

// Reads one object element into `source`; false, with one line in `errors`, on the first fault.
bool readSourceObject(const cJSON* e, const std::string& element, StringSource& source,
                      std::vector<std::string>& errors) {
    for (const cJSON* member = e->child; member; member = member->next) {
        const std::string key = member->string ? member->string : "";
        if (key != "path" && key != "language" && key != "direction") {
            errors.push_back(element + " has the member \"" + key +
                             "\", which is not one of \"path\", \"language\" and \"direction\"");
            return false;
        }
    }
    const cJSON* path = cJSON_GetObjectItem(e, "path");
    if (!isNonEmptyText(path)) {
        errors.push_back(element + ".path must name a strings file, not " +
                         (path ? jsonText(path) : std::string("missing")));
        return false;
    }
    source.path = platform::utf8ToWide(path->valuestring);
    if (const cJSON* language = cJSON_GetObjectItem(e, "language")) {
        if (!cJSON_IsString(language) || !language->valuestring ||
            !isLanguageTag(language->valuestring)) {
            errors.push_back(element + ".language must be a BCP 47 language tag such as \"ar\" " +
                             "or \"ur-PK\", not " + jsonText(language));
            return false;
        }
        source.language = language->valuestring;
    }
    if (const cJSON* direction = cJSON_GetObjectItem(e, "direction")) {
        const std::string text =
            cJSON_IsString(direction) && direction->valuestring ? direction->valuestring : "";
        if (text == "auto") {
            source.direction = TextDirection::Auto;
        } else if (text == "ltr") {
            source.direction = TextDirection::LeftToRight;
        } else if (text == "rtl") {
            source.direction = TextDirection::RightToLeft;
        } else {
            errors.push_back(element + ".direction must be \"auto\", \"ltr\" or \"rtl\", not " +
                             jsonText(direction));
            return false;
        }
    }
    return true;
}

}  // namespace

bool isLanguageTag(const std::string& tag) {
    size_t start = 0;
    bool first = true;
    while (true) {
        const size_t end = std::min(tag.find('-', start), tag.size());
        const size_t length = end - start;
        if (length < (first ? 2u : 1u) || length > 8) return false;
        for (size_t i = start; i < end; ++i) {
            const char c = tag[i];
            if (!isAsciiLetter(c) && (first || c < '0' || c > '9')) return false;
        }
        if (end == tag.size()) return true;
        start = end + 1;
        first = false;
    }
}

void readStringPaths(const cJSON* member, std::vector<StringSource>& sources,
                     std::vector<std::string>& errors) {
    const std::string name = "stringPaths";
    if (!cJSON_IsArray(member)) {
        errors.push_back(name + " must be an array of paths or objects with \"path\", not " +
                         jsonText(member));
        return;
    }
    std::vector<StringSource> read;
    int index = 0;
    for (const cJSON* e = member->child; e; e = e->next, ++index) {
        const std::string element = name + "[" + std::to_string(index) + "]";
        StringSource source;
        if (isNonEmptyText(e)) {
            source.path = platform::utf8ToWide(e->valuestring);
        } else if (cJSON_IsObject(e)) {
            if (!readSourceObject(e, element, source, errors)) return;
        } else {
            errors.push_back(element + " must be a path or an object with \"path\", not " +
                             jsonText(e));
            return;
        }
        read.push_back(source);
    }
    sources = read;
}

#include "config/FontConfig.h"

#include <cjson/cJSON.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>
#include <utility>

#include "config/FontChoices.h"
#include "platform/InputLimits.h"
#include "platform/platform.h"

namespace {

ConfigBinding binding(const char* path, const char* key, BindingKind kind) {
    ConfigBinding b;
    b.path = path;
    b.key = key;
    b.kind = kind;
    return b;
}

ConfigBinding listBinding(const char* path, const char* key, BindingKind kind, void* list) {
    ConfigBinding b = binding(path, key, kind);
    b.listTarget = list;
    return b;
}

ConfigBinding intBinding(const char* path, const char* key, BindingKind kind, int32_t* target) {
    ConfigBinding b = binding(path, key, kind);
    b.intTarget = target;
    return b;
}

ConfigBinding textBinding(const char* path, const char* key, std::string* target) {
    ConfigBinding b = binding(path, key, BindingKind::String);
    b.narrowTarget = target;
    return b;
}

// Members of an array, or of an object given where an array was expected, in file order.
// Walking the child list directly keeps long lists linear (index lookups would be quadratic).
template <typename Visit>
void forEachElement(const cJSON* node, Visit visit) {
    if (!node || !(node->type & (cJSON_Array | cJSON_Object))) return;
    for (const cJSON* child = node->child; child; child = child->next) visit(child);
}

}  // namespace

std::vector<ConfigBinding> makeConfigBindings(FontConfig& m) {
    FontSetSettings& fs = m.fontSet;
    return {
        listBinding("root", "codePages", BindingKind::WideStringList, &m.codePages),
        listBinding("root", "mappingPaths", BindingKind::WideStringList, &m.mappingPaths),
        listBinding("root", "cstPaths", BindingKind::WideStringList, &m.cstPaths),
        listBinding("root", "customerVals", BindingKind::ObjectList, &m.customerVals),
        binding("root", "fontSet", BindingKind::Object),
        intBinding("root.customerVals", "firstVal", BindingKind::String,
                   &m.currentCustomerRange.firstVal),
        intBinding("root.customerVals", "range", BindingKind::String,
                   &m.currentCustomerRange.range),
        textBinding("root.fontSet", "font", &fs.font),
        intBinding("root.fontSet", "fontSize", BindingKind::Number, &fs.fontSize),
        textBinding("root.fontSet", "scanMode", &fs.scanMode),
        intBinding("root.fontSet", "bold", BindingKind::Boolean, &fs.bold),
        intBinding("root.fontSet", "italic", BindingKind::Boolean, &fs.italic),
        intBinding("root.fontSet", "renderMode", BindingKind::Number, &fs.renderMode),
        intBinding("root.fontSet", "indexMethod", BindingKind::Number, &fs.indexMethod),
        intBinding("root.fontSet", "crop", BindingKind::Number, &fs.crop),
        intBinding("root.fontSet", "advances", BindingKind::Boolean, &fs.advances),
        intBinding("root.fontSet", "compact", BindingKind::Boolean, &fs.compact),
        intBinding("root.fontSet", "kerning", BindingKind::Boolean, &fs.kerning),
    };
}

std::vector<ConfigBinding> makeExtensionBindings(FontConfig& m) {
    return {
        listBinding("root", "textPaths", BindingKind::WideStringList, &m.textPaths),
        textBinding("root.fontSet", "hinting", &m.fontSet.hinting),
    };
}

namespace {

// White space as the classic locale classifies it.
bool isBlank(unsigned char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// The value of digit `c` in `base` (10 or 16), or -1.
int digitValue(unsigned char c, int base) {
    int d = -1;
    if (c >= '0' && c <= '9') {
        d = c - '0';
    } else if (c >= 'a' && c <= 'f') {
        d = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
        d = c - 'A' + 10;
    }
    return d < base ? d : -1;
}

}  // namespace

// What `std::istringstream(text) >> value` (with std::hex for base 16) stores in the classic
// locale, written out by hand: a string stream would set up the standard library's locale on
// first use, which costs more memory than the rest of a small run.
bool readConfigInteger(const std::string& text, int32_t& target) {
    const char* p = text.data();
    const char* const end = p + text.size();
    while (p != end && isBlank(static_cast<unsigned char>(*p))) ++p;
    if (p == end) return false;
    const int base =
        text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X') ? 16 : 10;
    bool negative = false;
    if (*p == '-' || *p == '+') {
        negative = *p == '-';
        ++p;
    }
    // In base 16 a "0x" after the sign is a prefix, not a digit.
    if (base == 16 && end - p >= 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) p += 2;
    // The magnitude saturates far above the 32-bit range; only whether it fits matters then.
    uint64_t magnitude = 0;
    for (; p != end; ++p) {
        const int d = digitValue(static_cast<unsigned char>(*p), base);
        if (d < 0) break;
        if (magnitude <= 0xFFFFFFFFFull)
            magnitude = magnitude * static_cast<unsigned>(base) + static_cast<unsigned>(d);
    }
    // No digits leave the magnitude 0, which is what the stream stores too.
    constexpr uint64_t kMax = std::numeric_limits<int32_t>::max();
    if (negative) {
        target = magnitude > kMax + 1 ? std::numeric_limits<int32_t>::min()
                                      : static_cast<int32_t>(-static_cast<int64_t>(magnitude));
    } else {
        target = magnitude > kMax ? std::numeric_limits<int32_t>::max()
                                  : static_cast<int32_t>(magnitude);
    }
    return true;
}

namespace {

// "root.customerVals" + "firstVal" -> "customerVals.firstVal": the member as the user wrote it.
std::string memberName(const std::string& path, const std::string& key) {
    const std::string full = path + "." + key;
    return full.compare(0, 5, "root.") == 0 ? full.substr(5) : full;
}

void warnNotText(std::vector<std::string>* warnings, const std::string& what) {
    if (warnings) warnings->push_back(what + " is not a string and is ignored");
}

void warn(std::vector<std::string>* warnings, const std::string& line) {
    if (warnings) warnings->push_back(line);
}

bool isList(const cJSON* node) {
    return node->type & (cJSON_Array | cJSON_Object);
}

}  // namespace

namespace {

// A list of texts: emptied, then filled with the string elements converted by `convert`;
// elements of other types are skipped with a warning.
template <typename Text, typename Convert>
void bindTextList(std::vector<Text>& list, const cJSON* member, const std::string& name,
                  std::vector<std::string>* warnings, Convert convert) {
    list.clear();
    if (!isList(member)) warn(warnings, name + " is not a list and is left empty");
    forEachElement(member, [&](const cJSON* e) {
        if (cJSON_IsString(e) && e->valuestring)
            list.push_back(convert(e->valuestring));
        else
            warnNotText(warnings, "an element of " + name);
    });
}

}  // namespace

void bindConfig(FontConfig& model, const std::vector<ConfigBinding>& bindings,
                const std::string& path, const cJSON* node, std::vector<std::string>* warnings) {
    if (!node) return;
    const std::string prefix = path + ".";
    for (const ConfigBinding& b : bindings) {
        if (b.path != path) continue;
        const cJSON* member = cJSON_GetObjectItem(node, b.key.c_str());
        if (!member) continue;
        // The binding's kind alone decides which field of the member is read.
        switch (b.kind) {
            case BindingKind::Object:
                bindConfig(model, bindings, prefix + b.key, member, warnings);
                break;
            case BindingKind::String: {
                // A member that is not a JSON string has no text: its target keeps its value.
                const char* text = member->valuestring;
                if (!text || !cJSON_IsString(member)) {
                    warnNotText(warnings, memberName(path, b.key));
                    break;
                }
                if (b.narrowTarget) *b.narrowTarget = text;
                if (b.wideTarget) *b.wideTarget = platform::utf8ToWide(text);
                if (b.intTarget) readConfigInteger(text, *b.intTarget);
                break;
            }
            case BindingKind::Number:
                if (!cJSON_IsNumber(member) && !cJSON_IsBool(member))
                    warn(warnings, memberName(path, b.key) + " is not a number and is read as 0");
                if (b.narrowTarget)
                    *b.narrowTarget = std::to_string(member->valueint);
                else if (b.intTarget)
                    *b.intTarget = member->valueint;
                break;
            case BindingKind::Boolean:
                if (!cJSON_IsNumber(member) && !cJSON_IsBool(member))
                    warn(warnings,
                         memberName(path, b.key) + " is not true or false and is read as false");
                if (b.narrowTarget)
                    *b.narrowTarget = member->valueint ? "true" : "false";
                else if (b.intTarget)
                    *b.intTarget = member->valueint ? 1 : 0;
                break;
            case BindingKind::StringList:
                bindTextList(*static_cast<std::vector<std::string>*>(b.listTarget), member,
                             memberName(path, b.key), warnings,
                             [](const char* text) { return std::string(text); });
                break;
            case BindingKind::WideStringList:
                bindTextList(*static_cast<std::vector<std::wstring>*>(b.listTarget), member,
                             memberName(path, b.key), warnings, platform::utf8ToWide);
                break;
            case BindingKind::ObjectList: {
                auto& list = *static_cast<std::vector<CustomerRange>*>(b.listTarget);
                list.clear();
                if (!isList(member))
                    warn(warnings, memberName(path, b.key) + " is not a list and is left empty");
                forEachElement(member, [&](const cJSON* e) {
                    bindConfig(model, bindings, prefix + b.key, e, warnings);
                    list.push_back(model.currentCustomerRange);
                });
                break;
            }
        }
    }
}

namespace {

// "line 3, column 14" for the byte at `offset` of `text` (both counted from 1).
std::string textPosition(const char* text, size_t offset) {
    size_t line = 1;
    size_t column = 1;
    for (size_t i = 0; i < offset; ++i) {
        if (text[i] == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
    return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

bool isBlankText(const char* text, size_t size) {
    return std::all_of(text, text + size,
                       [](char c) { return isBlank(static_cast<unsigned char>(c)); });
}

// Where the first "\u0000" escape inside a string of valid JSON text starts, or nothing. cJSON
// would end the string's text there without a word, and "good.txt\u0000evil" would quietly
// become "good.txt".
std::optional<size_t> escapedNul(const char* text, size_t size) {
    bool inString = false;
    for (size_t i = 0; i < size; ++i) {
        if (!inString) {
            inString = text[i] == '"';
        } else if (text[i] == '"') {
            inString = false;
        } else if (text[i] == '\\' && i + 1 < size) {
            if (text[i + 1] == 'u' && i + 5 < size && std::memcmp(text + i + 2, "0000", 4) == 0)
                return i;
            ++i;  // the escaped character, which may be a quote or a backslash
        }
    }
    return std::nullopt;
}

// How deeply arrays and objects are nested at `offset` of JSON text.
size_t nestingAt(const char* text, size_t offset) {
    size_t depth = 0;
    bool inString = false;
    for (size_t i = 0; i < offset; ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            ++depth;
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        }
    }
    return depth;
}

// Why text that is neither blank nor UTF-16 does not parse, as a clause that follows the path.
std::string parseFailure(const char* text, size_t size) {
    const char* at = cJSON_GetErrorPtr();
    if (at == nullptr || at < text || at > text + size) return "is not valid JSON";
    const size_t offset = static_cast<size_t>(at - text);
    std::string why = "is not valid JSON (error near " + textPosition(text, offset);
    // cJSON stops at the backslash of an escape it does not know: mostly a Windows path.
    if (offset + 1 < size && text[offset] == '\\' &&
        std::strchr("\"\\/bfnrtu", text[offset + 1]) == nullptr)
        why += std::string(": \"\\") + text[offset + 1] +
               "\" is not an escape JSON knows; in paths write \"\\\\\" for each backslash "
               "(\"C:\\\\Windows\\\\Fonts\") or use \"/\" (\"C:/Windows/Fonts\")";
    else if (nestingAt(text, offset) >= CJSON_NESTING_LIMIT)
        why += ": arrays and objects nested more than " + std::to_string(CJSON_NESTING_LIMIT) +
               " deep";
    return why + ")";
}

// Text saved as UTF-16 (Notepad's "Unicode", PowerShell's default) starts with a byte-order
// mark, or holds a NUL byte beside every ASCII character: a clause that says so, or empty.
std::string utf16Failure(const char* text, size_t size) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    std::string where;
    if (size >= 2 &&
        ((bytes[0] == 0xFF && bytes[1] == 0xFE) || (bytes[0] == 0xFE && bytes[1] == 0xFF)))
        where = "a UTF-16 byte-order mark at line 1, column 1";
    else if (const void* nul = std::memchr(text, 0, size))
        where = "a NUL byte at " +
                textPosition(text, static_cast<size_t>(static_cast<const char*>(nul) - text));
    if (where.empty()) return {};
    return "is not valid JSON (" + where + "): it looks saved as UTF-16; save it as UTF-8";
}

// Where text stops being UTF-8: the offset of the first byte of a bad sequence, or nothing.
std::optional<size_t> invalidUtf8At(const char* text, size_t size) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    for (size_t i = 0; i < size;) {
        char32_t code = 0;
        size_t bad = 0;
        const size_t length = platform::decodeUtf8(bytes + i, size - i, code, bad);
        if (length == 0) return i;
        i += length;
    }
    return std::nullopt;
}

}  // namespace

bool bindConfigText(const char* text, size_t size, FontConfig& model,
                    std::vector<std::string>* warnings, std::string* parseError,
                    std::vector<std::string>* unknownKeys) {
    auto fail = [parseError](const std::string& why) {
        if (parseError) *parseError = why;
        return false;
    };
    if (const std::string utf16 = utf16Failure(text, size); !utf16.empty()) return fail(utf16);
    // Editors on Windows like to start UTF-8 files with a byte-order mark; skip it.
    if (size >= 3 && static_cast<unsigned char>(text[0]) == 0xEF &&
        static_cast<unsigned char>(text[1]) == 0xBB &&
        static_cast<unsigned char>(text[2]) == 0xBF) {
        text += 3;
        size -= 3;
    }
    // Text in a legacy code page (GBK from an older Notepad) would name files that do not exist
    // and outputs that nobody can read.
    if (const auto bad = invalidUtf8At(text, size)) {
        static const char kHex[] = "0123456789ABCDEF";
        const auto byte = static_cast<unsigned char>(text[*bad]);
        return fail(std::string("is not valid UTF-8 (byte 0x") + kHex[byte >> 4] + kHex[byte & 15] +
                    " at " + textPosition(text, *bad) + "): save it as UTF-8");
    }
    // The text ends at the end of the buffer; whatever follows the top-level value is ignored.
    const char* parsedEnd = nullptr;
    cJSON* tree = cJSON_ParseWithLengthOpts(text, size, &parsedEnd, false);
    if (!tree) {
        // Blank text keeps the defaults; the caller warns in the words it always used.
        if (isBlankText(text, size))
            return fail(size == 0 ? "the file is empty" : "the file holds only white space");
        return fail(parseFailure(text, size));
    }
    const size_t parsed = parsedEnd >= text && parsedEnd <= text + size
                              ? static_cast<size_t>(parsedEnd - text)
                              : size;
    if (const auto nul = escapedNul(text, parsed)) {
        cJSON_Delete(tree);
        return fail("holds \"\\u0000\" in a string (" + textPosition(text, *nul) +
                    "): a NUL character would cut the text short there; remove it");
    }
    std::vector<ConfigBinding> bindings = makeConfigBindings(model);
    for (ConfigBinding& b : makeExtensionBindings(model)) bindings.push_back(std::move(b));
    bindConfig(model, bindings, "root", tree, warnings);
    if (unknownKeys) *unknownKeys = findUnknownKeys(tree);
    readFontChoices(cJSON_GetObjectItem(tree, "fontSet"), model.fontSet, model.errors);
    // Keys the compact layout ignores, when they were written at all: their defaults are not
    // zero everywhere (indexMethod is 1), so only what the file says counts.
    const cJSON* fontSet = cJSON_GetObjectItem(tree, "fontSet");
    if (model.fontSet.compact && cJSON_IsObject(fontSet)) {
        const std::pair<const char*, int32_t> ignored[] = {
            {"indexMethod", model.fontSet.indexMethod},
            {"crop", model.fontSet.crop},
            {"advances", model.fontSet.advances}};
        for (const auto& [key, value] : ignored)
            if (value != 0 && cJSON_GetObjectItem(fontSet, key)) model.ignoredKeys.push_back(key);
    }
    cJSON_Delete(tree);
    return true;
}

ConfigLoad loadFontConfig(const std::filesystem::path& path, FontConfig& model,
                          std::vector<std::string>* warnings, std::string* parseError,
                          std::vector<std::string>* unknownKeys) {
    // Refused before it is read: a file far larger than any configuration.
    if (const auto size = platform::fileSize(path); size && *size > limits::kMaxConfigBytes) {
        if (parseError)
            *parseError = "is " + std::to_string(*size) + " bytes, more than the " +
                          limits::sizeText(limits::kMaxConfigBytes) + " a configuration may have";
        return ConfigLoad::NotJson;
    }
    // A directory or a pipe is not a configuration file; the reader refuses both.
    std::string buffer;
    std::string reason;
    if (!platform::readWholeFile(path, buffer, reason, limits::kMaxConfigBytes, "a configuration"))
        return ConfigLoad::CannotOpen;
    // Where the system has an ANSI code page (Windows), text that is neither UTF-16 nor UTF-8
    // was most likely saved in it.
    if (utf16Failure(buffer.data(), buffer.size()).empty() &&
        invalidUtf8At(buffer.data(), buffer.size())) {
        if (auto converted = platform::ansiCodePageToUtf8(buffer, model.readInCodePage))
            buffer = std::move(*converted);
    }
    if (bindConfigText(buffer.data(), buffer.size(), model, warnings, parseError, unknownKeys))
        return ConfigLoad::Loaded;
    const size_t bom = buffer.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    return isBlankText(buffer.data() + bom, buffer.size() - bom) ? ConfigLoad::Empty
                                                                 : ConfigLoad::NotJson;
}

size_t editDistance(const std::string& a, const std::string& b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            const size_t replace = diagonal + (lower(a[i - 1]) == lower(b[j - 1]) ? 0 : 1);
            row[j] = std::min({replace, above + 1, row[j - 1] + 1});
            diagonal = above;
        }
    }
    return row[b.size()];
}

namespace {

// Members each level of the file knows. Besides those bound above, the font-set keys that other
// features read (a collection's face, a variable font's instance, further fonts, advance widths)
// count as known, so that a file written for them draws no warning here.
const std::vector<std::string> kRootKeys = {"codePages",    "mappingPaths", "cstPaths",
                                            "customerVals", "fontSet",      "textPaths"};
const std::vector<std::string> kFontSetKeys = {
    "font",       "fontSize",      "scanMode", "bold",    "italic",
    "renderMode", "indexMethod",   "crop",     "hinting", "faceIndex",
    "variations", "fallbackFonts", "advances", "compact", "kerning"};
const std::vector<std::string> kRangeKeys = {"firstVal", "range"};

// As cJSON_GetObjectItem compares member names: ASCII letters without regard to case.
bool knows(const std::vector<std::string>& keys, const char* name) {
    return std::any_of(keys.begin(), keys.end(), [&](const std::string& k) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        return std::equal(k.begin(), k.end(), name, name + std::strlen(name),
                          [&](char x, char y) { return lower(x) == lower(y); });
    });
}

// The known key nearest to `name`, with the number of edits between them.
std::pair<const std::string*, size_t> nearest(const std::vector<std::string>& keys,
                                              const std::string& name) {
    const std::string* best = nullptr;
    size_t bestDistance = 0;
    auto lower = [](std::string t) {
        for (char& c : t)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        return t;
    };
    for (const std::string& k : keys) {
        size_t d = editDistance(name, k);
        // A part of the key ("size" for "fontSize") is as near as one edit.
        if (d > 1 && name.size() >= 3 && lower(k).find(lower(name)) != std::string::npos) d = 1;
        if (!best || d < bestDistance) {
            best = &k;
            bestDistance = d;
        }
    }
    return {best, bestDistance};
}

// `keys` are the members this object knows; `elsewhere` those of the other level, where a key
// written at the wrong level belongs.
void checkMembers(const cJSON* node, const std::vector<std::string>& keys, const std::string& where,
                  const std::vector<std::string>& elsewhere, const std::string& elsewhereName,
                  std::vector<std::string>& lines) {
    if (!cJSON_IsObject(node)) return;
    for (const cJSON* member = node->child; member; member = member->next) {
        if (!member->string || knows(keys, member->string)) continue;
        const std::string name = member->string;
        std::string line = "\"" + name + "\" " + where + " is not a known key and is ignored; ";
        const auto here = nearest(keys, name);
        const auto there = nearest(elsewhere, name);
        if (there.first && there.second == 0)
            line += "it belongs " + elsewhereName;
        else if (there.first && there.second < here.second)
            line += "did you mean \"" + *there.first + "\" " + elsewhereName + "?";
        else
            line += "did you mean \"" + *here.first + "\"?";
        lines.push_back(line);
    }
}

}  // namespace

std::vector<std::string> findUnknownKeys(const cJSON* root) {
    std::vector<std::string> lines;
    checkMembers(root, kRootKeys, "at the top level", kFontSetKeys, "inside \"fontSet\"", lines);
    if (!cJSON_IsObject(root)) return lines;
    if (const cJSON* fontSet = cJSON_GetObjectItem(root, "fontSet")) {
        checkMembers(fontSet, kFontSetKeys, "in fontSet", kRootKeys, "at the top level", lines);
        // A misspelt faceIndex in a fallback font would draw silently with another face.
        forEachElement(cJSON_GetObjectItem(fontSet, "fallbackFonts"), [&](const cJSON* element) {
            checkMembers(element, {"font", "faceIndex", "variations"}, "in a fallbackFonts element",
                         {}, "", lines);
        });
    }
    forEachElement(cJSON_GetObjectItem(root, "customerVals"), [&](const cJSON* element) {
        checkMembers(element, kRangeKeys, "in a customerVals element", {}, "", lines);
    });
    return lines;
}

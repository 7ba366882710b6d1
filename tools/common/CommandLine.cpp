#include "tools/common/CommandLine.h"

#include <cstdio>

#include "platform/platform.h"

namespace tool {

bool parseDecimal(const std::string& text, unsigned maxDigits, unsigned& out) {
    if (text.empty() || text.size() > maxDigits) return false;
    unsigned v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<unsigned>(c - '0');
    }
    out = v;
    return true;
}

bool parseHex(const std::string& digits, uint32_t& out) {
    if (digits.empty() || digits.size() > 6) return false;
    uint32_t v = 0;
    for (char c : digits) {
        int d = (c >= '0' && c <= '9')   ? c - '0'
                : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                         : -1;
        if (d < 0) return false;
        v = v * 16 + static_cast<uint32_t>(d);
    }
    out = v;
    return v <= 0x10FFFF;
}

std::optional<uint32_t> parseCodePoint(const std::string& text, bool decimal) {
    uint32_t cp = 0;
    if (text.size() > 2 && (text[0] == 'U' || text[0] == 'u') && text[1] == '+')
        return parseHex(text.substr(2), cp) ? std::optional<uint32_t>(cp) : std::nullopt;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        return parseHex(text.substr(2), cp) ? std::optional<uint32_t>(cp) : std::nullopt;
    if (decimal && text.size() > 1 && text.find_first_not_of("0123456789") == std::string::npos) {
        unsigned v = 0;
        return parseDecimal(text, 7, v) && v <= 0x10FFFF ? std::optional<uint32_t>(v)
                                                         : std::nullopt;
    }
    // Exactly one UTF-8 character, shortest form.
    if (text.empty()) return std::nullopt;
    char32_t code = 0;
    size_t bad = 0;
    if (platform::decodeUtf8(reinterpret_cast<const unsigned char*>(text.data()), text.size(), code,
                             bad) != text.size())
        return std::nullopt;
    return static_cast<uint32_t>(code);
}

std::string codePointText(uint32_t cp) {
    return format("U+%04llX", cp);
}

std::string format(const char* fmt, unsigned long long a, unsigned long long b,
                   unsigned long long c) {
    char buf[128];
    std::snprintf(buf, sizeof buf, fmt, a, b, c);
    return buf;
}

}  // namespace tool

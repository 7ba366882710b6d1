// UTF-8 <-> wide text, decoded by hand so the process locale never matters.
#include "platform/text.h"

#include <climits>
#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

namespace platform {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

void appendWide(std::wstring& out, char32_t cp) {
    if constexpr (sizeof(wchar_t) == 2) {
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<wchar_t>(0xD800 + (cp >> 10));
            out += static_cast<wchar_t>(0xDC00 + (cp & 0x3FF));
            return;
        }
    }
    out += static_cast<wchar_t>(cp);
}

}  // namespace

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

size_t decodeUtf8(const unsigned char* p, size_t left, char32_t& code, size_t& badLength) {
    const unsigned char b = p[0];
    if (b < 0x80) {
        code = b;
        return 1;
    }
    size_t len;
    char32_t min;
    if ((b & 0xE0) == 0xC0) {
        len = 2, code = b & 0x1F, min = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
        len = 3, code = b & 0x0F, min = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
        len = 4, code = b & 0x07, min = 0x10000;
    } else {
        badLength = 1;
        return 0;
    }
    size_t k = 1;
    for (; k < len && k < left && (p[k] & 0xC0) == 0x80; ++k) code = (code << 6) | (p[k] & 0x3F);
    if (k < len || code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        // The lead byte and the continuation bytes that followed it make one bad sequence.
        badLength = k;
        return 0;
    }
    return len;
}

std::wstring utf8ToWide(const std::string& text) {
    std::wstring out;
    out.reserve(text.size());
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    for (size_t i = 0; i < n;) {
        char32_t cp = 0;
        size_t bad = 0;
        if (const size_t len = decodeUtf8(s + i, n - i, cp, bad)) {
            appendWide(out, cp);
            i += len;
        } else {
            out += static_cast<wchar_t>(kReplacement);
            i += bad;
        }
    }
    return out;
}

std::string wideToUtf8(const std::wstring& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t cp = static_cast<char32_t>(text[i]);
        if constexpr (sizeof(wchar_t) == 2) {
            cp &= 0xFFFF;
            if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size()) {
                char32_t low = static_cast<char32_t>(text[i + 1]) & 0xFFFF;
                if (low >= 0xDC00 && low <= 0xDFFF) {
                    appendUtf8(out, 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00));
                    ++i;
                    continue;
                }
            }
        }
        if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) cp = kReplacement;
        appendUtf8(out, cp);
    }
    return out;
}

std::optional<std::string> ansiCodePageToUtf8(const std::string& text, uint32_t& codePage) {
#ifdef _WIN32
    const UINT ansi = GetACP();
    if (ansi == CP_UTF8 || text.size() > static_cast<size_t>(INT_MAX)) return std::nullopt;
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
    if (length <= 0 && size > 0) return std::nullopt;
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), size, wide.data(), length);
    codePage = ansi;
    return wideToUtf8(wide);
#else
    (void)text;
    (void)codePage;
    return std::nullopt;
#endif
}

std::filesystem::path pathFromWide(const std::wstring& text) {
#ifdef _WIN32
    return std::filesystem::path(text);
#else
    return std::filesystem::path(wideToUtf8(text));
#endif
}

std::filesystem::path pathFromUtf8(const std::string& text) {
#ifdef _WIN32
    return std::filesystem::path(utf8ToWide(text));
#else
    return std::filesystem::path(text);
#endif
}

std::string pathToUtf8(const std::filesystem::path& path) {
#ifdef _WIN32
    return wideToUtf8(path.wstring());
#else
    return path.string();
#endif
}

}  // namespace platform

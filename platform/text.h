// Text: UTF-8, wide text, the ANSI code page, and paths from configuration text and back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace platform {

// ---- Text -----------------------------------------------------------------------------------

// One UTF-8 sequence at `p`, of which `left` bytes are available: its length, with its code
// point in `code`; or 0 when the bytes there are not valid UTF-8 (a stray continuation byte, a
// sequence cut short, an overlong form, a surrogate, a value beyond U+10FFFF), with the number
// of bytes that make up the bad sequence (at least 1) in `badLength`.
size_t decodeUtf8(const unsigned char* p, size_t left, char32_t& code, size_t& badLength);
// Appends `code` (at most U+10FFFF) as UTF-8.
void appendUtf8(std::string& out, char32_t code);

// UTF-8 to wide text (UTF-32 or UTF-16, as wchar_t is); invalid bytes become U+FFFD.
std::wstring utf8ToWide(const std::string& text);
// Wide text to UTF-8; unpaired surrogates and values beyond U+10FFFF become U+FFFD.
std::string wideToUtf8(const std::wstring& text);

// Text in the system's ANSI code page (Windows: GetACP, 936 on a simplified-Chinese system) as
// UTF-8, with that code page in `codePage`. Nothing where there is no such code page (POSIX
// systems), or where it is UTF-8 itself.
std::optional<std::string> ansiCodePageToUtf8(const std::string& text, uint32_t& codePage);

// Paths from configuration text and back.
std::filesystem::path pathFromWide(const std::wstring& text);
std::filesystem::path pathFromUtf8(const std::string& text);
std::string pathToUtf8(const std::filesystem::path& path);

}  // namespace platform

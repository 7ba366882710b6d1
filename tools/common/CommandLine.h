// The command-line values the tools share, read strictly (digits only: no sign, no spaces, no
// trailing text), and a code point printed the one way every tool prints it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tool {

// At most `maxDigits` decimal digits.
bool parseDecimal(const std::string& text, unsigned maxDigits, unsigned& out);

// One to six hexadecimal digits, at most U+10FFFF.
bool parseHex(const std::string& digits, uint32_t& out);

// "U+4E00", "u+4e00", "0x4E00", or exactly one UTF-8 character; with `decimal`, also two or
// more decimal digits ("20013"; a single digit is that character).
std::optional<uint32_t> parseCodePoint(const std::string& text, bool decimal = false);

// "U+4E00": at least four upper-case hexadecimal digits.
std::string codePointText(uint32_t cp);

// snprintf with up to three unsigned numbers, for report lines.
std::string format(const char* fmt, unsigned long long a, unsigned long long b = 0,
                   unsigned long long c = 0);

}  // namespace tool

// Where a UI string may be wrapped: the line-break opportunities of UAX #14 (libunibreak), and
// inside Thai text, which writes no spaces between words, the word breaks of libthai's
// dictionary.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The code-point indices, ascending, before which a new line may start (never 0 nor the end).
// `language` (a BCP 47 tag, or empty) tunes a few rules of UAX #14.
std::vector<uint32_t> lineBreaks(const std::u32string& text, const std::string& language);

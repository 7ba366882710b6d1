// Files of UI strings ("stringPaths"): a .json file holds an object of named strings, any other
// file is UTF-8 text with one string per line, named after the file and the line.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

#include "config/FontConfig.h"

// Longest string, in code points: the string table counts glyphs and clusters in 16 bits.
constexpr size_t kMaxStringLength = 4000;
// Longest name, in bytes: it becomes a C identifier (FB_STR_<NAME>) in fontbin-embed's header.
constexpr size_t kMaxStringNameLength = 63;
// Strings a run may hold: the table counts them in 16 bits.
constexpr size_t kMaxStringCount = 65535;

// One UI string as read, before shaping.
struct UiString {
    std::string name;  // letters, digits and "_", not starting with a digit
    std::u32string text;
    std::string language;  // BCP 47 tag of its file, or empty
    TextDirection direction = TextDirection::Auto;
};

// Reads every file of `sources` in order and appends its strings. Returns false at the first
// fault with one line in `error` naming the file and the line or string: a file that cannot be
// read, JSON that is not an object of strings, text that is not UTF-8 or holds control
// characters, a name that is no identifier or repeats an earlier one (letters compared without
// regard to case, as the enum spells them in capitals), a string or a list too long.
bool readStringFiles(const std::vector<StringSource>& sources, std::vector<UiString>& strings,
                     std::string& error);

// The same for one file already in memory; `label` names it in messages.
bool parseStringFile(const std::string& bytes, const std::filesystem::path& path,
                     const StringSource& source, std::vector<UiString>& strings,
                     std::string& error);

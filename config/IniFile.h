// A small INI reader: [sections] of key = value lines, '#' comments.
#pragma once

#include <filesystem>
#include <map>
#include <string>

class IniFile {
public:
    using Section = std::map<std::string, std::string>;

    // Reads the file, replacing any earlier content. False when it cannot be opened.
    bool load(const std::filesystem::path& fileName);
    // Reads INI text held in memory, replacing any earlier content.
    void loadText(const std::string& text);

    // The value of `key` in section "Setting", or `defaultValue` when section or key is absent.
    std::string getSetting(const std::string& key, const std::string& defaultValue) const;

    const std::map<std::string, Section>& sections() const { return sections_; }

private:
    std::map<std::string, Section> sections_;
};

// Splits one line (without its line end). True for a section header (sets `section` only) and
// for a key line (sets `key` and `value` only); false for anything else.
bool parseIniLine(const std::string& line, std::string& section, std::string& key,
                  std::string& value);

// Removes leading and trailing spaces and tabs, in place.
void trimBlanks(std::string& text);

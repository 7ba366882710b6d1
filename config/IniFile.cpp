#include "config/IniFile.h"

#include "platform/platform.h"

void trimBlanks(std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        text.clear();
        return;
    }
    const size_t last = text.find_last_not_of(" \t");
    text = text.substr(first, last - first + 1);
}

bool parseIniLine(const std::string& line, std::string& section, std::string& key,
                  std::string& value) {
    if (line.empty()) return false;
    std::string content = line;
    const size_t hash = line.find('#');
    if (hash == 0) return false;
    if (hash != std::string::npos) content = line.substr(0, hash);

    // A header is recognised on the whole line, also past a comment sign.
    const size_t open = line.find('[');
    const size_t close = line.find(']');
    if (open != std::string::npos && close != std::string::npos && open < close) {
        section = line.substr(open + 1, close - open - 1);
        return true;
    }

    const size_t eq = content.find('=');
    if (eq == std::string::npos) return false;
    key = content.substr(0, eq);
    value = content.substr(eq + 1);
    trimBlanks(key);
    if (key.empty()) return false;
    trimBlanks(value);
    // Stray line-end characters left inside a value are dropped, once each.
    const size_t cr = value.find('\r');
    if (cr != std::string::npos && cr != 0) value.erase(cr, 1);
    const size_t lf = value.find('\n');
    if (lf != std::string::npos && lf != 0) value.erase(lf, 1);
    return true;
}

void IniFile::loadText(const std::string& text) {
    sections_.clear();
    std::string section;
    std::string key;
    std::string value;
    Section scratch;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        // Text files may end their lines with CR LF; the CR is not part of the line.
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (parseIniLine(line, section, key, value)) {
            auto found = sections_.find(section);
            if (found == sections_.end()) {
                // A section not seen before starts afresh; the line's own key is not stored.
                scratch.clear();
                sections_.emplace(section, Section{});
            } else {
                scratch[key] = value;
                found->second = scratch;
            }
        }
        key.clear();
        value.clear();
    }
}

bool IniFile::load(const std::filesystem::path& fileName) {
    sections_.clear();
    std::string text;
    std::string reason;
    if (!platform::readWholeFile(fileName, text, reason)) return false;
    loadText(text);
    return true;
}

std::string IniFile::getSetting(const std::string& key, const std::string& defaultValue) const {
    auto section = sections_.find("Setting");
    if (section == sections_.end()) return defaultValue;
    auto found = section->second.find(key);
    if (found == section->second.end()) return defaultValue;
    return found->second;
}

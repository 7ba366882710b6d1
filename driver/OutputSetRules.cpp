#include "driver/OutputSetRules.h"

#include <algorithm>
#include <optional>

#include "platform/platform.h"
#include "reader/fontbin_reader.h"

namespace fs = std::filesystem;

std::string inputCollision(const fs::path& output, const std::vector<RunInput>& inputs) {
    for (const RunInput& input : inputs)
        if (platform::sameFile(output, input.path))
            return "it is " + input.what + " " + platform::pathToUtf8(input.path) +
                   ", which the run reads";
    return {};
}

namespace {

// Only a regular file is an earlier output: a folder or link of that name is left alone.
bool isEarlierFile(const fs::path& path) {
    std::error_code ec;
    return fs::is_regular_file(fs::symlink_status(path, ec));
}

// Ascending little-endian 16-bit code points, as a list file or a width file holds them.
std::vector<uint32_t> codePoints(const uint8_t* bytes, size_t count) {
    std::vector<uint32_t> codes(count);
    for (size_t i = 0; i < count; ++i)
        codes[i] = bytes[2 * i] | static_cast<uint32_t>(bytes[2 * i + 1]) << 8;
    return codes;
}

// The code points an earlier font or compact file was made for, ascending; nothing when that
// cannot be told.
std::optional<std::vector<uint32_t>> madeFor(const fs::path& file, const OutputNames& names) {
    platform::MappedFile mapped;
    fb_font font;
    if (!mapped.open(file) || fb_open(mapped.data(), mapped.size(), &font) != FB_OK)
        return std::nullopt;
    std::vector<uint32_t> records;
    fb_glyph glyph;
    for (uint32_t cp = 0; cp <= 0xFFFF && fb_next_glyph(&font, cp, &glyph) == FB_OK;
         cp = glyph.code_point + 1)
        records.push_back(glyph.code_point);
    if (font.layout != FB_LAYOUT_OFFSET_TABLE) return records;
    // A trimmed file has no record for a character without ink. Its width file lists every
    // character; else the earlier list file does, when it agrees with the file: every record's
    // character in it, and as many characters as the file says were selected.
    platform::MappedFile widths;
    fb_advances advances;
    if (isEarlierFile(names.advanceFile) && widths.open(names.advanceFile) &&
        fb_open_advances(widths.data(), widths.size(), &font, &advances) == FB_OK &&
        advances.code_points)
        return codePoints(advances.code_points, advances.count);
    std::string bytes, reason;
    if (!isEarlierFile(names.listFile) ||
        !platform::readWholeFile(names.listFile, bytes, reason, 2 * 65536) || bytes.size() % 2)
        return std::nullopt;
    const std::vector<uint32_t> listed =
        codePoints(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size() / 2);
    if ((font.char_count != FB_UNKNOWN && font.char_count != listed.size()) ||
        !std::is_sorted(listed.begin(), listed.end()) ||
        !std::includes(listed.begin(), listed.end(), records.begin(), records.end()))
        return std::nullopt;
    return listed;
}

bool sameSelection(const std::optional<std::vector<uint32_t>>& codes,
                   const CharacterTables& tables) {
    if (!codes || codes->size() != static_cast<size_t>(tables.charCount)) return false;
    for (size_t i = 0; i < codes->size(); ++i)
        if ((*codes)[i] != tables.charList[i]) return false;
    return true;
}

}  // namespace

EarlierOutputs earlierOutputs(const OutputNames& names, bool compact, bool writesAdvances,
                              bool writesStrings, const CharacterTables& tables) {
    EarlierOutputs earlier;
    auto remove = [&earlier](const fs::path& path, const std::string& why) {
        earlier.remove.push_back(path);
        earlier.notes.push_back("note: removed " + platform::pathToUtf8(path) + ", " + why);
    };
    // The other layout's file of this name.
    const fs::path& other = compact ? names.fontFile : names.compactFile;
    bool otherRemoved = false;
    if (isEarlierFile(other)) {
        const auto codes = madeFor(other, names);
        if (!sameSelection(codes, tables)) {
            otherRemoved = true;
            remove(other, codes ? "an earlier output made for other characters than the new list"
                                : "an earlier output whose characters cannot be told, so it "
                                  "cannot be shown to match the new list");
        }
    }
    // The width file describes the font file beside it, whatever the list.
    if (isEarlierFile(names.advanceFile) && !writesAdvances && (!compact || otherRemoved))
        remove(names.advanceFile, compact ? "the width file of the font file removed with it"
                                          : "the width file of the font file this run replaced");
    // A string table names its glyphs by the code points the font file of its run gave them,
    // private-use ones among them: beside another font file it would draw other glyphs.
    if (isEarlierFile(names.stringsFile) && !writesStrings)
        remove(names.stringsFile, "the string table of the font file this run replaced");
    return earlier;
}

// Fonts named as users see them: a family or full name ("Noto Sans CJK SC", "Microsoft YaHei")
// where the configuration's lookups find no file of that name.
#pragma once

#include <filesystem>
#include <string>

#include "config/FontConfig.h"
#include "driver/FontLookup.h"

// When `name` is the family or full name of an installed font, points `lookup` at its file,
// named after that file, with the face of a collection that carries the name (the first face
// whose family, or family and style, is `name`; else the one the system's catalogue gives).
// Returns whether it did; `lookup` is untouched otherwise.
bool findFontByName(const std::string& name, FontLookup& lookup);

// The faces chosen by name, for the font and each fallback font, as if faceIndex gave them. A
// faceIndex the configuration gives itself (other than 0) stays.
void applyFacesChosenByName(const std::filesystem::path& toolDir,
                            const std::filesystem::path& projectDir, const FontLookup& font,
                            FontSetSettings& fontSet);

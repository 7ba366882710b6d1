// Where the configured font and the fallback font are found, and what to tell a user whose font
// is not found.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// The font of a configuration that names none.
constexpr const char* kDefaultFontName = "simsun.ttc";

struct FontLookup {
    std::filesystem::path fontPath;  // the font to draw with (the last place tried if not found)
    std::filesystem::path fallbackPath;  // the font for cells the configured one leaves empty
    bool found = false;
    // The font was found only as a path of its own (absolute, or relative to the configuration's
    // folder): the outputs are then named after its file name, which `nameFont` holds.
    bool byPath = false;
    std::string nameFont;
    // Found as a family or full name of an installed font (driver/FontByName.h): `nameFont` is
    // the file's name, and `faceIndex` the face of a collection that carries the name.
    bool byName = false;
    int32_t faceIndex = 0;
};

// Looks `font` (the default font already applied) up: the system font folders, then `font/`
// beside the tool; when neither holds it and `font` names an existing file, absolutely or
// relative to `projectDir`, that file; else an installed font of that family or full name. The
// fallback is `font/unifont.ttf` beside the tool, or the
// font itself when that is missing.
FontLookup lookUpFont(const std::filesystem::path& toolDir, const std::filesystem::path& projectDir,
                      const std::string& font);

// Why the font file at `path` cannot be handed to FreeType although it exists: it is a directory,
// not a regular file (a pipe would be waited on forever), or larger than a font may be
// (platform/InputLimits.h). Empty when it can be tried.
std::string fontFileProblem(const std::filesystem::path& path);

// For a path that was not found and holds control characters, mostly because JSON read a
// Windows path's "\t" or "\f" as an escape: a note that shows the path as the configuration
// spells it and how to write it. Empty for a path without control characters.
std::string controlCharacterNote(const std::string& path);

// Lines for standard error after a font was not found (the control-character note first): the
// folders searched, the font file that holds a family of that name, and up to three installed font
// files with the nearest names.
std::vector<std::string> fontNotFoundHelp(const std::filesystem::path& toolDir,
                                          const std::string& font);

// Up to `count` of `names` nearest to `wanted` by edit distance (letters without regard to case),
// nearest first, ties in name order, without repeats.
std::vector<std::string> nearestNames(const std::string& wanted, std::vector<std::string> names,
                                      size_t count);

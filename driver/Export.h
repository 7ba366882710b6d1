// Export of the one font set: list file, font resolution, rendering, font file.
#pragma once

#include <filesystem>

#include "charset/CharacterTables.h"
#include "charset/StringFiles.h"
#include "config/FontConfig.h"
#include "config/Settings.h"
#include "driver/FontLookup.h"
#include "driver/OutputSetRules.h"

// Writes the character list file and the font bitmap file (the compact file with "compact")
// into `projectDir` and returns the exit status of the run (0, or -4 / -5 after printing why).
// `lookup` is where lookUpFont found the font set's font; `inputs` are the other files the run
// reads (configuration, settings, selection files), which no output may be. With `strings`, they
// are shaped and their glyphs join the font file, and <base>_strings.bin is written too (-3 when
// they cannot be given code points).
int exportFontSet(const std::filesystem::path& toolDir, const std::filesystem::path& projectDir,
                  FontSetSettings fontSet, const TransformSettings& transform,
                  const CharacterTables& tables, const FontLookup& lookup,
                  const std::vector<RunInput>& inputs, const std::vector<UiString>& strings = {});

// "<stem>[_face<k>][_<tag><value>...]_size<N>_bits<B>": what every output's name starts with.
// `fontSet` has the faces chosen by name applied; `lookup.nameFont` is empty for a configuration
// that names no font.
std::string outputBaseName(const FontSetSettings& fontSet, const FontLookup& lookup);

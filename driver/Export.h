// Export of the one font set: list file, font resolution, rendering, font file.
#pragma once

#include <filesystem>

#include "charset/CharacterTables.h"
#include "config/FontConfig.h"
#include "config/Settings.h"

// Writes the character list file and the font bitmap file into `projectDir` and returns the
// exit status of the run (0, or -4 / -5 after printing why).
int exportFontSet(const std::filesystem::path& toolDir, const std::filesystem::path& projectDir,
                  FontSetSettings fontSet, const TransformSettings& transform,
                  const CharacterTables& tables);

// The checks that keep every value of a font set inside the font file's single-byte fields.
#pragma once

#include <cstdint>
#include <string>

#include "config/FontConfig.h"
#include "render/CellLayout.h"

// Empty when the font set can be written; otherwise one line naming the key and its value.
std::string validateFontSet(const FontSetSettings& settings, int32_t rotate);

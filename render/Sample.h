// Sample images: PNG pictures of the lower-case letters as drawn, for a user to look at.
#pragma once

#include <cstdint>
#include <string>

#include "render/GreyCell.h"

// Writes `cell` (the upright cell as drawn, before shaping) to "sample/<code as 4 lower-case hex
// digits>.png" when `code` is a letter a to z and an entry named "sample" exists in the working
// directory. The image is 8-bit RGB with the grey value in all three channels. Every failure is
// silent; nothing else is touched.
void writeSample(const GreyCell& cell, uint16_t code);

enum class PngColour {
    Grey,  // one 8-bit channel
    Rgb,   // the grey value repeated in three 8-bit channels
};

// Writes the cell as an 8-bit PNG. Returns false when the cell is empty or the file cannot be
// written.
bool writePng(const std::string& fileName, const GreyCell& image, PngColour colour);

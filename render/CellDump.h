// Readable text pictures of glyph cells, for tests that fail and for the cellview tool.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "render/GreyCell.h"

// One character per pixel, one line per row: '.' for 0, '#' for 255, and for the levels between,
// from faint to strong, ":-=+*%@".
std::string cellToAscii(const GreyCell& cell);

// The inverse of packing: `size` bytes of a row-major pixel stream at `renderMode` bits per pixel
// (first pixel in the least significant bits) back into a rows x cols grey cell, each value
// scaled to 0..255 (1 bit: 0/255, 2 bits: x85, 4 bits: x17). Pixels the bytes do not reach, and
// every pixel for an unknown renderMode, are 0.
GreyCell unpackCell(const uint8_t* data, size_t size, int rows, int cols, int renderMode);

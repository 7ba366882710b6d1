// Plain glyph types shared by the rasteriser, the export loop and the file writers.
#pragma once

#include <cstddef>
#include <cstdint>

// A pair of integers, x first. `extent` and `origin` travel in and out of renderCell as these.
struct IntPair {
    int32_t x = 0;
    int32_t y = 0;
};

// The size handed to every renderCell call: cell height, the font size it was sized for, width.
struct CellSize {
    int32_t rows = 0;
    int32_t fontSize = 0;
    int32_t cols = 0;
};

// One rendered, shaped and packed glyph as the font-file writer sees it. `data` points at
// `size` packed bytes: the shaped cell (`rows` x `cols` pixels) walked row-major as one bit
// stream, only the last byte padded. The bytes are owned by the renderer's cell and stay valid
// until the next render.
struct PackedGlyph {
    uint16_t code = 0;
    const uint8_t* data = nullptr;
    size_t size = 0;
    int32_t rows = 0;  // of the shaped cell
    int32_t cols = 0;
    IntPair extent;  // right and bottom edge (exclusive) of the glyph box, as the renderer left it
    IntPair origin;  // pen origin column and baseline row in the upright cell
    // Column of the upright cell where FreeType's bitmap starts (negative when its left part is
    // cut off): with the counter-clockwise turn its columns become the stored rows from here to
    // extent.y, mirrored about their middle, and its ink need not reach either end.
    int32_t bitmapColumn = 0;
};

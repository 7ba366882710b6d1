#include "output/InkBox.h"

#include <algorithm>

namespace {

// Right and bottom edges (exclusive) of the non-zero pixels among the first `rows` rows. Pixel k
// of the cell starts at bit k * depth, lowest bits first; the depth divides 8, so a pixel never
// straddles two bytes.
InkBox inkEdges(const PackedGlyph& glyph, uint32_t depth, int32_t rows) {
    InkBox box;
    const uint32_t mask = (1u << depth) - 1;
    const uint64_t rowBits = static_cast<uint64_t>(glyph.cols) * depth;
    for (int32_t r = 0; r < rows; ++r) {
        // From the right: the first pixel with ink is the row's right edge.
        for (int32_t x = glyph.cols - 1; x >= 0; --x) {
            const uint64_t bit =
                static_cast<uint64_t>(r) * rowBits + static_cast<uint64_t>(x) * depth;
            if (((glyph.data[bit / 8] >> (bit % 8)) & mask) != 0) {
                box.width = std::max(box.width, x + 1);
                box.height = r + 1;
                break;
            }
        }
    }
    return box;
}

}  // namespace

int32_t packedRows(const PackedGlyph& glyph, uint32_t depth) {
    if (glyph.data == nullptr || glyph.rows <= 0 || glyph.cols <= 0) return 0;
    const uint64_t rowBits = static_cast<uint64_t>(glyph.cols) * depth;
    return static_cast<int32_t>(std::min<uint64_t>(glyph.rows, glyph.size * 8 / rowBits));
}

InkBox inkBox(const PackedGlyph& glyph, uint32_t depth, bool vertical, int32_t rotate) {
    const int32_t rows = packedRows(glyph, depth);
    InkBox box{glyph.extent.x, glyph.extent.y};
    if (vertical) {
        if (rotate == 1 || rotate == 2)
            box = inkEdges(glyph, depth, rows);
        else
            box = InkBox{glyph.extent.y, glyph.extent.x};
    }
    box.width = std::min(box.width, glyph.cols);
    box.height = std::min(box.height, rows);
    return box;
}

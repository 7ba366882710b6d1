#include "render/CellDump.h"

std::string cellToAscii(const GreyCell& cell) {
    static const char kShades[] = ":-=+*%@";
    std::string text;
    if (cell.empty()) return text;
    text.reserve(static_cast<size_t>(cell.rows) * (static_cast<size_t>(cell.cols) + 1));
    for (int32_t r = 0; r < cell.rows; ++r) {
        const uint8_t* p = cell.ptr(r);
        for (int32_t c = 0; c < cell.cols; ++c, ++p) {
            const unsigned v = *p;
            if (v == 0) {
                text += '.';
            } else if (v == 255) {
                text += '#';
            } else {
                text += kShades[(v - 1) * 7 / 254];
            }
        }
        text += '\n';
    }
    return text;
}

GreyCell unpackCell(const uint8_t* data, size_t size, int rows, int cols, int renderMode) {
    GreyCell cell(rows, cols);
    if (renderMode != 1 && renderMode != 2 && renderMode != 4 && renderMode != 8) return cell;
    if (data == nullptr) return cell;
    const size_t bits = static_cast<size_t>(renderMode);
    const size_t perByte = 8 / bits;
    const unsigned mask = (1u << bits) - 1;
    const unsigned scale = 255 / mask;
    uint8_t* out = cell.data;
    const size_t pixels = cell.total();
    for (size_t k = 0; k < pixels && k / perByte < size; ++k) {
        const unsigned q = (data[k / perByte] >> ((k % perByte) * bits)) & mask;
        out[k] = static_cast<uint8_t>(q * scale);
    }
    return cell;
}

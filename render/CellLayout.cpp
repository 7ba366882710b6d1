#include "render/CellLayout.h"

int32_t up8(int32_t x) {
    return x % 8 == 0 ? x : (x / 8) * 8 + 8;
}

CellSize computeCellSize(const FontSetSettings& s, int32_t rotate) {
    const int32_t w0 = ((s.italic + 2) * s.fontSize) / 2;
    int32_t rows;
    int32_t cols;
    if (scanKind(s.scanMode) == ScanKind::Columns) {
        rows = up8(s.fontSize);
        cols = w0;
    } else {
        rows = s.fontSize;
        cols = up8(w0);
    }
    if (rotate == 1 || rotate == 2) {
        rows = up8(s.fontSize);
        cols = w0;
    }
    return CellSize{rows, s.fontSize, cols};
}

#include <gtest/gtest.h>

#include "driver/CellGeometry.h"
#include "driver/Run.h"

TEST(CellGeometry, SizesFollowScanItalicAndRotation) {
    struct Case {
        int32_t fontSize;
        int32_t italic;
        const char* scanMode;
        int32_t rotate;
        int32_t rows;
        int32_t cols;
    } cases[] = {
        {12, 0, "H", 0, 12, 16}, {12, 0, "V", 0, 16, 12}, {12, 1, "H", 0, 12, 24},
        {12, 0, "v", 0, 12, 16},  // only an upper-case V sizes the cell for columns
        {12, 0, "", 0, 12, 16},  {16, 0, "H", 1, 16, 16}, {16, 1, "H", 2, 16, 24},
        {13, 1, "V", 0, 16, 19}, {13, 0, "V", 1, 16, 13}, {8, 0, "Vertical", 0, 8, 8},
    };
    for (const Case& c : cases) {
        FontSetSettings s;
        s.fontSize = c.fontSize;
        s.italic = c.italic;
        s.scanMode = c.scanMode;
        CellSize cell = computeCellSize(s, c.rotate);
        EXPECT_EQ(cell.rows, c.rows) << c.fontSize << c.scanMode << c.rotate;
        EXPECT_EQ(cell.cols, c.cols) << c.fontSize << c.scanMode << c.rotate;
        EXPECT_EQ(cell.fontSize, c.fontSize);
    }
}

TEST(CellGeometry, ValidationLimits) {
    FontSetSettings s;
    s.fontSize = 255;
    EXPECT_NE(validateFontSet(s, 0), "");  // row scanning rounds the columns up to 256
    s.fontSize = 248;
    EXPECT_EQ(validateFontSet(s, 0), "");
    s.italic = 1;
    EXPECT_NE(validateFontSet(s, 0), "");
    s.italic = 0;
    s.font = std::string(112, 'a') + ".ttf";
    EXPECT_EQ(validateFontSet(s, 0), "");
    s.font = std::string(113, 'a');
    EXPECT_NE(validateFontSet(s, 0), "");
}

TEST(Console, QuotedPathsEscapeBackslashesAndQuotes) {
    EXPECT_EQ(quotePath("C:\\tools"), "\"C:\\\\tools\"");
    EXPECT_EQ(quotePath("/a\"b"), "\"/a\\\"b\"");
}

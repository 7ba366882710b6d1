#include <gtest/gtest.h>

#include "driver/CellGeometry.h"
#include "driver/Run.h"
#include "reader/fontbin_reader.h"

// The writer's cell (computeCellSize, the cell as drawn) against the reader's (fb_cell_geometry,
// the cell as stored) for every font size, style, scanMode and rotation: column scanning and
// rotation each transpose the drawn cell, so the two agree once that is undone. The reader's
// rule itself is pinned by Reader.CellGeometryRules.
TEST(CellGeometry, WriterAndReaderAgreeOnEveryCell) {
    // Only the first character of scanMode counts: "V" sizes the cell for columns, "v" as rows.
    const struct {
        const char* text;
        fb_scan scan;
    } scans[] = {{"H", FB_SCAN_ROWS},
                 {"", FB_SCAN_ROWS},
                 {"V", FB_SCAN_COLUMNS},
                 {"Vertical", FB_SCAN_COLUMNS},
                 {"v", FB_SCAN_COLUMNS_ROW_SIZED}};
    for (int32_t size = 1; size <= 255; ++size)
        for (int32_t italic = 0; italic <= 1; ++italic)
            for (const auto& scan : scans)
                for (int32_t rotate = 0; rotate <= 2; ++rotate) {
                    FontSetSettings s;
                    s.fontSize = size;
                    s.italic = italic;
                    s.scanMode = scan.text;
                    const CellSize drawn = computeCellSize(s, rotate);
                    fb_geometry g{};
                    ASSERT_EQ(fb_cell_geometry(static_cast<unsigned>(size), italic, scan.scan,
                                               rotate, &g),
                              FB_OK);
                    const bool turned = (scan.scan != FB_SCAN_ROWS) != (rotate != 0);
                    const std::string at = std::to_string(size) + (italic ? " italic " : " ") +
                                           "\"" + scan.text + "\" rotate " + std::to_string(rotate);
                    EXPECT_EQ(drawn.fontSize, size) << at;
                    EXPECT_EQ(static_cast<int32_t>(g.rows), turned ? drawn.cols : drawn.rows) << at;
                    EXPECT_EQ(static_cast<int32_t>(g.cols), turned ? drawn.rows : drawn.cols) << at;
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

// Placement arithmetic, shaping and packing on small hand-made cells.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "RenderTestUtil.h"
#include "render/CellDump.h"
#include "render/Shape.h"

using rendertest::sameCell;
using rendertest::toMat;

namespace {

// A cell with the given grey values (row-major).
GreyCell greyCell(int rows, int cols, const std::vector<int>& values) {
    GreyCell cell(rows, cols);
    for (size_t k = 0; k < values.size() && k < cell.total(); ++k) {
        cell.data[k] = static_cast<uint8_t>(values[k]);
    }
    return cell;
}

std::vector<int> packedBytes(const GreyCell& cell, size_t n) {
    return std::vector<int>(cell.data, cell.data + n);
}

// A cell with a glyph box of distinct non-zero values at (x0, y0), `width` x `rows`.
GreyCell boxCell(int H, int W, const GlyphPlacement& p) {
    GreyCell cell(H, W);
    for (int r = p.y0(); r < p.y1; ++r) {
        for (int c = std::max(0, p.x0); c < p.x0 + p.width; ++c) {
            cell.at(r, c) = static_cast<uint8_t>(1 + (r * 31 + c) % 254);
        }
    }
    return cell;
}

GlyphPlacement placement(int x0, int width, int y1, int rows, int W, int H) {
    GlyphPlacement p;
    p.x0 = x0;
    p.width = width;
    p.y1 = y1;
    p.rows = rows;
    p.W = W;
    p.H = H;
    return p;
}

TransformSettings rotation(int rotate) {
    TransformSettings t;
    t.rotate = rotate;
    return t;
}

}  // namespace

// ---- The cell ----------------------------------------------------------------------------------

TEST(GreyCell, CopiesOwnTheirPixelsAndCreateClearsReusedStorage) {
    GreyCell a = greyCell(2, 3, {1, 2, 3, 4, 5, 6});
    GreyCell b = a;
    b.at(0, 0) = 9;
    EXPECT_EQ(a.at(0, 0), 1);
    EXPECT_NE(a.data, b.data);

    const uint8_t* storage = a.data;
    GreyCell moved = std::move(a);
    EXPECT_EQ(moved.data, storage);
    EXPECT_EQ(moved.at(1, 2), 6);

    // Smaller, then back to the largest size: the same storage, all pixels zero again.
    moved.create(1, 2);
    EXPECT_EQ(moved.data, storage);
    EXPECT_EQ(moved.total(), 2u);
    moved.at(0, 1) = 7;
    moved.create(3, 2);
    EXPECT_EQ(moved.data, storage);
    EXPECT_EQ(packedBytes(moved, 6), std::vector<int>(6, 0));

    moved.create(0, 5);
    EXPECT_TRUE(moved.empty());
    EXPECT_EQ(moved.total(), 0u);
}

// ---- Placement --------------------------------------------------------------------------------

TEST(PlaceGlyph, BaselineRowTruncates) {
    EXPECT_EQ(baselineRow(1901, -483, 32), 25);  // 60832 / 2384 = 25.5
    EXPECT_EQ(baselineRow(56, -8, 16), 14);
    EXPECT_EQ(baselineRow(-100, -300, 10), 5);  // |ascender|
}

// ---- Scan order -------------------------------------------------------------------------------

TEST(ShapeCell, FirstCharacterVInEitherCaseTransposes) {
    const GreyCell upright = greyCell(2, 3, {1, 2, 3, 4, 5, 6});
    for (const char* scan : {"V", "v", "Vertical"}) {
        SCOPED_TRACE(scan);
        GreyCell cell = upright;
        IntPair extent{3, 2};
        shapeCell(cell, extent, placement(0, 3, 2, 2, 3, 2), rendertest::makeSettings(16, 8, scan),
                  TransformSettings{});
        EXPECT_TRUE(sameCell(toMat(cell), toMat(upright).t()));
        EXPECT_EQ(extent.x, 3);  // not swapped by the transposition
        EXPECT_EQ(extent.y, 2);
    }
    for (const char* scan : {"H", "", "x", " V"}) {
        SCOPED_TRACE(scan);
        GreyCell cell = upright;
        IntPair extent{3, 2};
        shapeCell(cell, extent, placement(0, 3, 2, 2, 3, 2), rendertest::makeSettings(16, 8, scan),
                  TransformSettings{});
        EXPECT_TRUE(sameCell(toMat(cell), toMat(upright)));
    }
}

// ---- Rotation ---------------------------------------------------------------------------------

TEST(ShapeCell, RotateOneTurnsClockwise) {
    const int H = 16, W = 16;
    const GlyphPlacement p = placement(3, 5, 10, 4, W, H);  // rows 6..9, columns 3..7
    const GreyCell upright = boxCell(H, W, p);
    GreyCell cell = upright;
    IntPair extent{p.x0 + p.width, p.y1};
    shapeCell(cell, extent, p, rendertest::makeSettings(16, 8), rotation(1));

    cv::Mat expected = cv::Mat::zeros(W, H, CV_8UC1);
    for (int r = 0; r < H; ++r) {
        for (int c = 0; c < W; ++c) expected.at<uint8_t>(c, H - 1 - r) = upright.at(r, c);
    }
    EXPECT_TRUE(sameCell(toMat(cell), expected));
    EXPECT_EQ(extent.x, H - p.y0());  // 10: glyph columns 6..9 of the turned cell
    EXPECT_EQ(extent.y, p.x0 + p.width);
}

TEST(ShapeCell, RotateTwoTurnsCounterClockwiseAndShifts) {
    struct Case {
        const char* what;
        int H, W, x0, width, y1, rows;
        int u;  // rows the turned glyph moves up
    };
    const Case cases[] = {
        {"u > 0 (x0 0, width 10, cell 16 wide)", 16, 16, 0, 10, 6, 4, 6},
        {"u < 0", 16, 16, 5, 10, 12, 5, -4},
        {"u = 0", 16, 16, 3, 10, 12, 5, 0},
        {"wider than high", 16, 24, 2, 12, 14, 9, 8},
        {"glyph cut off at the left", 8, 8, -2, 10, 8, 8, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const GlyphPlacement p = placement(c.x0, c.width, c.y1, c.rows, c.W, c.H);
        ASSERT_EQ(c.u, c.W - 2 * c.x0 - c.width);
        const GreyCell upright = boxCell(c.H, c.W, p);
        GreyCell cell = upright;
        IntPair extent{p.x0 + p.width, p.y1};
        shapeCell(cell, extent, p, rendertest::makeSettings(16, 8), rotation(2));

        // Counter-clockwise: (r, c) -> (W - 1 - c, r); then up by u: row 2 x0 + width - 1 - c.
        cv::Mat expected = cv::Mat::zeros(c.W, c.H, CV_8UC1);
        for (int r = 0; r < c.H; ++r) {
            for (int col = 0; col < c.W; ++col) {
                const int row = c.W - 1 - col - c.u;
                if (row >= 0 && row < c.W) expected.at<uint8_t>(row, r) = upright.at(r, col);
            }
        }
        EXPECT_TRUE(sameCell(toMat(cell), expected));
        EXPECT_EQ(extent.x, c.y1);
        EXPECT_EQ(extent.y, c.x0 + c.width);
        if (c.x0 >= 0) {
            // The glyph now covers rows x0 .. x0 + width - 1, where its columns were.
            cv::Mat rowsInk;
            cv::reduce(toMat(cell), rowsInk, 1, cv::REDUCE_MAX);
            for (int r = 0; r < c.W; ++r) {
                EXPECT_EQ(rowsInk.at<uint8_t>(r) != 0, r >= c.x0 && r < c.x0 + c.width)
                    << "row " << r;
            }
        }
    }
}

TEST(ShapeCell, EmptyBitmapIsNotTurned) {
    for (int rotate : {1, 2}) {
        SCOPED_TRACE(rotate);
        GreyCell cell(16, 24);
        IntPair extent{5, 12};
        shapeCell(cell, extent, placement(5, 0, 12, 0, 24, 16), rendertest::makeSettings(16, 1),
                  rotation(rotate));
        EXPECT_EQ(cell.rows, 16);
        EXPECT_EQ(cell.cols, 24);
        EXPECT_EQ(extent.x, 5);
        EXPECT_EQ(extent.y, 12);
    }
}

TEST(ShapeCell, VerticalScanWithRotationEndsInTheUprightShape) {
    // Column scanning transposes first, the turn transposes back: a 16 x 8 cell stays 16 x 8, and
    // a clockwise turn of the transposed cell is the upright cell mirrored left to right.
    const GlyphPlacement p = placement(1, 5, 14, 10, 8, 16);
    const GreyCell upright = boxCell(16, 8, p);
    GreyCell cell = upright;
    IntPair extent{6, 14};
    shapeCell(cell, extent, p, rendertest::makeSettings(16, 1, "V"), rotation(1));
    cv::Mat mirrored;
    cv::flip(toMat(upright), mirrored, 1);
    EXPECT_TRUE(sameCell(toMat(cell), mirrored));
    EXPECT_EQ(extent.x, 16 - 4);
    EXPECT_EQ(extent.y, 6);
}

// ---- Gamma ------------------------------------------------------------------------------------

TEST(ShapeCell, GammaTruncatesAndNeedsTheExactName) {
    struct Case {
        const char* algorithm;
        double gamma;
        int in, out;
    };
    const Case cases[] = {
        {"gamma", 2.0, 128, 64},  {"gamma", 0.5, 64, 127},  {"gamma", 2.0, 0, 0},
        {"gamma", 2.0, 255, 255}, {"gamma", 2.0, 1, 0},     {"gamma", 0.5, 1, 15},
        {"gamma", 2.2, 200, 149}, {"Gamma", 2.0, 128, 128}, {"gamma ", 2.0, 128, 128},
        {"", 2.0, 128, 128},      {"gamma", 1.0, 128, 128}, {"gamma", -1.0, 128, 255},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("\"") + c.algorithm + "\" " + std::to_string(c.gamma) + " " +
                     std::to_string(c.in));
        TransformSettings t;
        t.TransformAlgrithm = c.algorithm;
        t.gamma = c.gamma;
        GreyCell cell = greyCell(2, 2, {c.in, c.in, 0, c.in});
        IntPair extent{2, 2};
        shapeCell(cell, extent, placement(0, 2, 2, 2, 2, 2), rendertest::makeSettings(16, 8), t);
        const cv::Mat expected = (cv::Mat_<uint8_t>(2, 2) << c.out, c.out, 0, c.out);
        EXPECT_TRUE(sameCell(toMat(cell), expected));
    }
}

// ---- Packing ----------------------------------------------------------------------------------

TEST(PackCell, SizesAtEachDepth) {
    struct Case {
        int rows, cols, mode;
        size_t bytes;
    };
    const Case cases[] = {
        {16, 16, 1, 32}, {16, 16, 2, 64}, {16, 16, 4, 128}, {16, 16, 8, 256}, {12, 12, 1, 18},
        {3, 3, 1, 2},    {3, 3, 2, 3},    {3, 3, 4, 5},     {3, 3, 8, 9},     {24, 36, 1, 108},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.rows) + "x" + std::to_string(c.cols) + " at " +
                     std::to_string(c.mode));
        GreyCell cell(c.rows, c.cols);
        const uint8_t* before = cell.data;
        EXPECT_EQ(packCell(cell, c.mode), c.bytes);
        EXPECT_EQ(packedByteCount(static_cast<size_t>(c.rows) * c.cols, c.mode), c.bytes);
        EXPECT_EQ(cell.data, before);  // in place, no new buffer
        EXPECT_EQ(cell.rows, c.rows);
        EXPECT_EQ(cell.cols, c.cols);
    }
}

TEST(PackCell, OneBitStreamRunsAcrossRows) {
    // 12 columns: row 1 begins at pixel 12, bit 4 of byte 1.
    GreyCell cell = greyCell(12, 12, {});
    cell.at(1, 0) = 255;
    cell.at(0, 11) = 255;
    cell.at(11, 11) = 255;  // pixel 143: bit 7 of byte 17
    ASSERT_EQ(packCell(cell, 1), 18u);
    std::vector<int> expected(18, 0);
    expected[1] = 0x10 | 0x08;
    expected[17] = 0x80;
    EXPECT_EQ(packedBytes(cell, 18), expected);
}

TEST(PackCell, ValueCodesAndBitOrder) {
    struct Case {
        const char* what;
        int mode;
        std::vector<int> pixels;
        std::vector<int> bytes;
    };
    const Case cases[] = {
        {"1 bit: threshold 80, first pixel in bit 0", 1, {79, 80, 0, 255, 128, 1, 0, 0}, {0x1A}},
        {"1 bit: only the last byte padded",
         1,
         {255, 255, 255, 255, 255, 255, 255, 255, 255},
         {0xFF, 0x01}},
        {"2 bits: 0, 1..127, 128..254, 255",
         2,
         {0, 1, 127, 128, 254, 255, 0, 0},
         {0 | 1 << 2 | 1 << 4 | 2 << 6, 2 | 3 << 2}},
        {"4 bits: even pixel in the low nibble",
         4,
         {0x10, 0xF0, 0x2F, 0x0F, 0xFF},
         {0xF1, 0x02, 0x0F}},
        {"8 bits: the value", 8, {0, 7, 128, 255}, {0, 7, 128, 255}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        GreyCell cell = greyCell(1, static_cast<int>(c.pixels.size()), c.pixels);
        ASSERT_EQ(packCell(cell, c.mode), c.bytes.size());
        EXPECT_EQ(packedBytes(cell, c.bytes.size()), c.bytes);
    }
}

TEST(PackCell, UnknownDepthLeavesTheCellUnpacked) {
    GreyCell cell = greyCell(2, 3, {1, 2, 3, 4, 5, 6});
    const GreyCell before = cell;
    EXPECT_EQ(packCell(cell, 3), 6u);
    EXPECT_TRUE(sameCell(toMat(cell), toMat(before)));
    GreyCell empty;
    EXPECT_EQ(packCell(empty, 1), 0u);
}

TEST(PackCell, RoundTripsThroughUnpack) {
    // Random cells of awkward sizes: packing then unpacking gives each pixel's quantised value.
    std::mt19937 random(12345);
    for (int mode : {1, 2, 4, 8}) {
        for (int trial = 0; trial < 20; ++trial) {
            const int rows = 1 + static_cast<int>(random() % 23);
            const int cols = 1 + static_cast<int>(random() % 37);
            GreyCell cell(rows, cols);
            cv::Mat expected(rows, cols, CV_8UC1);
            for (int r = 0; r < rows; ++r) {
                for (int c = 0; c < cols; ++c) {
                    const int v = static_cast<int>(random() % 256);
                    cell.at(r, c) = static_cast<uint8_t>(v);
                    int q = v;
                    if (mode == 1) q = v >= 80 ? 255 : 0;
                    if (mode == 2) q = (v == 0 ? 0 : v < 128 ? 1 : v < 255 ? 2 : 3) * 85;
                    if (mode == 4) q = (v >> 4) * 17;
                    expected.at<uint8_t>(r, c) = static_cast<uint8_t>(q);
                }
            }
            const size_t n = packCell(cell, mode);
            ASSERT_EQ(n, (static_cast<size_t>(rows) * cols * mode + 7) / 8);
            // The padding bits of the last byte are zero.
            const size_t usedBits = static_cast<size_t>(rows) * cols * mode % 8;
            if (usedBits != 0) {
                EXPECT_EQ(cell.data[n - 1] >> usedBits, 0);
            }
            ASSERT_TRUE(sameCell(toMat(unpackCell(cell.data, n, rows, cols, mode)), expected))
                << "mode " << mode << ", " << rows << "x" << cols;
        }
    }
}

// ---- Text pictures ----------------------------------------------------------------------------

TEST(CellDump, ShowsLevelsAndRows) {
    const GreyCell cell = greyCell(2, 3, {0, 255, 1, 128, 254, 0});
    EXPECT_EQ(cellToAscii(cell), ".#:\n+@.\n");
    EXPECT_EQ(cellToAscii(GreyCell()), "");
}

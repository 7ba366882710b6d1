// Sample images: written only for a to z, only into an existing "sample" entry of the working
// directory, showing the upright cell as drawn.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "RenderTestUtil.h"
#include "render/CellDump.h"
#include "render/CvxText.h"
#include "render/Sample.h"

using namespace rendertest;
namespace fs = std::filesystem;

namespace {

const std::string kDejaVu = FONTBIN_TEST_FONT_DEJAVU;

std::set<std::string> filesIn(const fs::path& dir) {
    std::set<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(dir, error)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

cv::Mat channel(const cv::Mat& image, int c) {
    cv::Mat out;
    cv::extractChannel(image, out, c);
    return out;
}

}  // namespace

TEST(Sample, WrittenForLowerCaseLettersOnly) {
    TempWorkDir dir;
    fs::create_directory("sample");
    CvxText text(kDejaVu);
    sizedText(text, 16);
    for (uint16_t code = 0x20; code < 0x100; ++code) render(text, code, makeSettings(16, 1));
    render(text, 0x4E2D, makeSettings(16, 1));
    render(text, 0x0161, makeSettings(16, 1));  // s with caron is not a to z

    std::set<std::string> expected;
    for (char c = 'a'; c <= 'z'; ++c) {
        char name[16];
        std::snprintf(name, sizeof name, "%04x.png", static_cast<unsigned>(c));
        expected.insert(name);
    }
    EXPECT_EQ(filesIn("sample"), expected);
    EXPECT_EQ(filesIn("."), std::set<std::string>{"sample"});
}

TEST(Sample, NothingWithoutTheFolder) {
    TempWorkDir dir;
    CvxText text(kDejaVu);
    sizedText(text, 16);
    render(text, 'a', makeSettings(16, 1));
    EXPECT_TRUE(filesIn(".").empty());

    // A plain file named "sample" exists but takes no images; rendering goes on.
    std::ofstream("sample") << "x";
    const Rendered got = render(text, 'a', makeSettings(16, 1));
    EXPECT_GT(ink(got.pixels), 0);
    EXPECT_EQ(filesIn("."), std::set<std::string>{"sample"});
}

TEST(Sample, ShowsTheUprightCellAsDrawn) {
    TempWorkDir dir;
    fs::create_directory("sample");
    CvxText text(kDejaVu);
    sizedText(text, 16);

    // The upright grey cell: at 8 bits and without shaping, the packed bytes are the pixels.
    const Rendered upright = render(text, 'k', makeSettings(16, 8), {}, CellSize{16, 16, 16});
    // Same glyph, column-scanned, turned and gamma-corrected: the image must not show any of it.
    TransformSettings t;
    t.rotate = 1;
    t.TransformAlgrithm = "gamma";
    t.gamma = 2.0;
    const Rendered shaped = render(text, 'k', makeSettings(16, 8, "V"), t, CellSize{16, 16, 16});
    ASSERT_FALSE(sameCell(shaped.pixels, upright.pixels));

    const cv::Mat image = readPng("sample/006b.png");
    ASSERT_EQ(image.type(), CV_8UC3);
    for (int c = 0; c < 3; ++c) EXPECT_TRUE(sameCell(channel(image, c), upright.pixels));

    // Grey levels at 8 bits; full pixels only at 1 bit.
    bool grey = false;
    for (auto it = upright.pixels.begin<uint8_t>(); it != upright.pixels.end<uint8_t>(); ++it) {
        grey = grey || (*it != 0 && *it != 255);
    }
    EXPECT_TRUE(grey);
    render(text, 'k', makeSettings(16, 1));
    const cv::Mat mono = channel(readPng("sample/006b.png"), 0);
    ASSERT_FALSE(mono.empty());
    int full = 0;
    for (auto it = mono.begin<uint8_t>(); it != mono.end<uint8_t>(); ++it) {
        EXPECT_TRUE(*it == 0 || *it == 255) << cellToAscii(mono);
        full += *it == 255;
    }
    EXPECT_GT(full, 10);
}

TEST(WritePng, RejectsWhatItCannotWrite) {
    TempWorkDir dir;
    EXPECT_FALSE(writePng("empty.png", GreyCell(), PngColour::Grey));
    EXPECT_FALSE(writePng("missing/dir.png", GreyCell(2, 2), PngColour::Rgb));
    EXPECT_TRUE(filesIn(".").empty());
    const cv::Mat grey = (cv::Mat_<uint8_t>(2, 3) << 0, 1, 2, 253, 254, 255);
    ASSERT_TRUE(writePng("grey.png", toGrey(grey), PngColour::Grey));
    EXPECT_TRUE(sameCell(readPng("grey.png"), grey));
    // RGB: the grey value in each of the three channels.
    ASSERT_TRUE(writePng("rgb.png", toGrey(grey), PngColour::Rgb));
    const cv::Mat rgb = readPng("rgb.png");
    ASSERT_EQ(rgb.type(), CV_8UC3);
    for (int c = 0; c < 3; ++c) EXPECT_TRUE(sameCell(channel(rgb, c), grey));
}

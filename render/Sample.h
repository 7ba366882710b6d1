// Sample images: PNG pictures of the lower-case letters as drawn, for a user to look at.
#pragma once

#include <cstdint>
#include <opencv2/core.hpp>
#include <string>

// Writes `cell` (the upright cell as drawn, before shaping) to "sample/<code as 4 lower-case hex
// digits>.png" when `code` is a letter a to z and an entry named "sample" exists in the working
// directory. Every failure is silent; nothing else is touched.
void writeSample(const cv::Mat& cell, uint16_t code);

// Writes an 8-bit PNG with libpng: a CV_8UC3 image (OpenCV's BGR order) as RGB, a CV_8UC1 image
// as grey. Returns false when the image is empty or of another type, or the file cannot be
// written.
bool writePng(const std::string& fileName, const cv::Mat& image);

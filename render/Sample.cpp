#include "render/Sample.h"

#include <png.h>

#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

#include "platform/platform.h"

namespace {

// libpng reports through these; the library never prints.
[[noreturn]] void pngError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}
void pngWarning(png_structp, png_const_charp) {}

// Only trivially destructible locals live here, because a libpng error returns through longjmp.
// `rowBuffer` holds one RGB row when `colour` asks for three channels.
bool writePngStream(std::FILE* file, const GreyCell& image, bool colour, uint8_t* rowBuffer) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, pngError, pngWarning);
    if (png == nullptr) return false;
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    // Sample cells are tiny: favour speed, as OpenCV's encoder does by default.
    png_set_compression_level(png, 1);
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.cols),
                 static_cast<png_uint_32>(image.rows), 8,
                 colour ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int32_t r = 0; r < image.rows; ++r) {
        const uint8_t* grey = image.ptr(r);
        if (!colour) {
            png_write_row(png, grey);
            continue;
        }
        for (int32_t c = 0; c < image.cols; ++c) {
            rowBuffer[3 * c] = rowBuffer[3 * c + 1] = rowBuffer[3 * c + 2] = grey[c];
        }
        png_write_row(png, rowBuffer);
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

bool writePng(const std::string& fileName, const GreyCell& image, PngColour colour) {
    if (image.empty()) return false;
    const bool rgb = colour == PngColour::Rgb;
    std::vector<uint8_t> rowBuffer(rgb ? 3 * static_cast<size_t>(image.cols) : 0);
    // Complete or not at all, and never through a link or onto a device.
    platform::FileReplacement file(platform::pathFromUtf8(fileName));
    std::string reason;
    if (!file.create(reason)) return false;
    return writePngStream(file.stream(), image, rgb, rowBuffer.data()) && file.commit(reason);
}

void writeSample(const GreyCell& cell, uint16_t code) {
    // The range test comes first so that the other characters cost no file-system query.
    if (code < 0x61 || code > 0x7A) return;
    std::error_code error;
    if (!std::filesystem::exists(std::filesystem::path("sample"), error)) return;
    char fileName[32];
    std::snprintf(fileName, sizeof fileName, "sample/%04x.png", static_cast<unsigned>(code));
    writePng(fileName, cell, PngColour::Rgb);
}

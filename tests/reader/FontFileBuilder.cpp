#include "reader/FontFileBuilder.h"

#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "support/Sandbox.h"

namespace fbtest {
namespace {

void put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void put32At(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

std::vector<uint8_t> packPixels(const std::vector<uint8_t>& pixels, unsigned bpp) {
    std::vector<uint8_t> out((pixels.size() * bpp + 7) / 8, 0);
    for (size_t k = 0; k < pixels.size(); ++k) {
        size_t bit = k * bpp;
        out[bit / 8] |= static_cast<uint8_t>((pixels[k] & ((1u << bpp) - 1)) << (bit % 8));
    }
    return out;
}

size_t recordsOffset(const Font& font) {
    size_t header = 14 + font.name.size() + 1;
    if (font.crop) return header + 262144;
    if (font.indexList) return header + 2 * font.glyphs.size();
    return header + 131072;
}

std::vector<uint8_t> buildFontFile(const Font& font) {
    std::vector<uint8_t> out;
    const uint32_t count = static_cast<uint32_t>(font.glyphs.size());
    const uint32_t nameLength = static_cast<uint32_t>(font.name.size() + 1);
    uint8_t flags =
        static_cast<uint8_t>((font.bold ? 1 : 0) | (font.italic ? 2 : 0) | (font.scanV ? 4 : 0) |
                             (font.indexList ? 8 : 0) | (font.crop ? 16 : 0));
    uint32_t indexBytes = (font.crop ? 4u : 2u) * (font.indexList ? count : 65536u);
    out = {static_cast<uint8_t>(14 + nameLength), 1, 3, 0, 0, 1, font.fontSize, font.bpp, flags};
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(indexBytes >> (8 * i)));
    out.push_back(static_cast<uint8_t>(nameLength));
    out.insert(out.end(), font.name.begin(), font.name.end());
    out.push_back(0);

    if (!font.crop) {
        if (font.indexList) {
            for (const Glyph& g : font.glyphs) put16(out, g.code);
        } else {
            std::vector<uint16_t> table(65536, 0xFFFF);
            for (uint32_t k = 0; k < count; ++k)
                table[font.glyphs[k].code] = static_cast<uint16_t>(k);
            for (uint16_t v : table) put16(out, v);
        }
        for (const Glyph& g : font.glyphs) {
            out.insert(out.end(), {g.originX, g.originY, g.extentX, g.extentY});
            std::vector<uint8_t> packed = packPixels(g.pixels, font.bpp);
            out.insert(out.end(), packed.begin(), packed.end());
        }
        return out;
    }

    const size_t tableAt = out.size();
    out.resize(out.size() + 262144, 0xFF);
    for (const Glyph& g : font.glyphs) {
        unsigned ex = std::min<unsigned>(g.extentX, font.cols);
        unsigned ey = std::min<unsigned>(g.extentY, font.rows);
        if (ex == 0) continue;
        // Each kept row is cut bit-exactly out of the cell and starts on a byte boundary.
        std::vector<std::vector<uint8_t>> rows;
        unsigned topSkip = 0;
        for (unsigned r = 0; r < ey; ++r) {
            std::vector<uint8_t> line(g.pixels.begin() + r * font.cols,
                                      g.pixels.begin() + r * font.cols + ex);
            std::vector<uint8_t> bytes = packPixels(line, font.bpp);
            bool empty = std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0; });
            if (rows.empty() && empty) {
                ++topSkip;
                continue;
            }
            rows.push_back(bytes);
        }
        if (rows.empty()) continue;
        put32At(out, tableAt + 4u * g.code, static_cast<uint32_t>(out.size()));
        out.insert(out.end(), {static_cast<uint8_t>(topSkip), g.originY, static_cast<uint8_t>(ex),
                               static_cast<uint8_t>(ey)});
        for (const auto& bytes : rows) out.insert(out.end(), bytes.begin(), bytes.end());
    }
    return out;
}

}  // namespace fbtest

RgbImage readRgbPng(const std::string& path) {
    RgbImage image;
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str())) return image;
    png.format = PNG_FORMAT_RGB;
    image.pixels.resize(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, image.pixels.data(), 0, nullptr)) {
        image.pixels.clear();
        return image;
    }
    image.width = png.width;
    image.height = png.height;
    return image;
}

namespace fbtest {

ToolFont runTool(const std::string& fontFile, const std::vector<uint32_t>& extra,
                 const std::string& fontSet, int rotate) {
    namespace fs = std::filesystem;
    static int runs = 0;
    static testing_support::TempDir keep;  // outputs outlive the sandbox
    ToolFont out;
    testing_support::ToolSandbox box;
    box.addFont(fontFile, "font.ttc");
    std::string vals = R"({"firstVal": "0x20", "range": "95"})";
    for (uint32_t cp : extra) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%X", static_cast<unsigned>(cp));
        vals += R"(, {"firstVal": ")" + std::string(hex) + R"(", "range": "1"})";
    }
    box.writeConfig(R"({"customerVals": [)" + vals + R"(], "fontSet": {"font": "font.ttc", )" +
                    fontSet + "}}");
    testing_support::writeFile(box.project() / "setting.ini",
                               "[Setting]\nrotate=" + std::to_string(rotate) + "\n");
    const auto run = box.run({"FontConfig.json"});
    EXPECT_EQ(run.status, 0) << fontSet << ": " << run.err;
    for (const auto& entry : fs::directory_iterator(box.project())) {
        const std::string name = entry.path().filename().string();
        if (name.size() > 9 && (name.substr(name.size() - 9) == "_font.bin" ||
                                name.find("_compact.bin") != std::string::npos)) {
            const fs::path kept = keep / (std::to_string(++runs) + "_" + name);
            fs::copy_file(entry.path(), kept);
            out.path = kept.string();
            out.bytes = testing_support::readBytes(kept);
        }
    }
    EXPECT_FALSE(out.bytes.empty()) << fontSet;
    return out;
}

}  // namespace fbtest

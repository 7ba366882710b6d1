// fontbin-cellview: renders one character exactly as the font export would (same cell size, same
// rasteriser, shaping and packing) and shows the packed cell as text or writes it as a PNG.
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "render/CellDump.h"
#include "render/CellLayout.h"
#include "render/CvxText.h"
#include "render/Sample.h"
#include "tools/common/CommandLine.h"

namespace {

const char kUsage[] =
    "usage: fontbin-cellview FONT CODEPOINT [--size N] [--bits 1|2|4|8] [--bold] [--italic]\n"
    "                        [--scan H|V] [--rotate 0|1|2] [--gamma G] [--face I]\n"
    "                        [--png out.png] [--hex]\n"
    "CODEPOINT: U+4E2D, 0x4e2d, decimal, or the character itself (UTF-8).\n";

int usage(const std::string& problem) {
    if (!problem.empty()) std::fprintf(stderr, "fontbin-cellview: %s\n", problem.c_str());
    std::fputs(kUsage, stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    // The arguments as UTF-8 (on Windows from the wide command line), read through argv as before.
    const std::vector<std::string> args = platform::startProcess(argc, argv);
    std::vector<char*> pointers;
    for (const std::string& arg : args) pointers.push_back(const_cast<char*>(arg.c_str()));
    pointers.push_back(nullptr);
    argc = static_cast<int>(args.size());
    argv = pointers.data();
    if (argc < 3) return usage("");
    const std::string fontPath = argv[1];
    const std::optional<uint32_t> parsed = tool::parseCodePoint(argv[2], true);
    if (!parsed || *parsed > 0xFFFF) return usage("not a BMP code point: " + std::string(argv[2]));
    const uint32_t code = *parsed;

    FontSetSettings settings;
    settings.fontSize = 16;
    TransformSettings transform;
    unsigned face = 0;
    std::string pngPath;
    bool hex = false;
    for (int i = 3; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](unsigned low, unsigned high, unsigned& out) {
            if (i + 1 >= argc || !tool::parseDecimal(argv[i + 1], 5, out) || out < low ||
                out > high) {
                return false;
            }
            ++i;
            return true;
        };
        unsigned n = 0;
        if (arg == "--size" && value(1, 255, n)) {
            settings.fontSize = static_cast<int32_t>(n);
        } else if (arg == "--bits" && value(1, 8, n) && (n == 1 || n == 2 || n == 4 || n == 8)) {
            settings.renderMode = static_cast<int32_t>(n);
        } else if (arg == "--rotate" && value(0, 2, n)) {
            transform.rotate = static_cast<int32_t>(n);
        } else if (arg == "--face" && value(0, 0xFFFF, n)) {
            face = n;
        } else if (arg == "--bold") {
            settings.bold = 1;
        } else if (arg == "--italic") {
            settings.italic = 1;
        } else if (arg == "--scan" && i + 1 < argc) {
            settings.scanMode = argv[++i];
        } else if (arg == "--gamma" && i + 1 < argc) {
            char* end = nullptr;
            transform.gamma = std::strtod(argv[++i], &end);
            if (end == nullptr || *end != '\0') return usage("bad gamma: " + std::string(argv[i]));
            transform.TransformAlgrithm = "gamma";
        } else if (arg == "--png" && i + 1 < argc) {
            pngPath = argv[++i];
        } else if (arg == "--hex") {
            hex = true;
        } else {
            return usage("bad option or value: " + arg);
        }
    }

    try {
        CvxText text(fontPath, face);
        const std::array<double, 4> size{static_cast<double>(settings.fontSize), 0, 0.1, 0};
        text.setSize(&size);

        const CellSize cellSize = computeCellSize(settings, transform.rotate);
        IntPair extent{cellSize.cols, cellSize.rows};
        IntPair origin{cellSize.cols, cellSize.rows};
        const auto ch = static_cast<uint16_t>(code);
        const GlyphCell glyph = renderCell(cellSize, ch, text, extent, origin, settings, transform);
        const GreyCell pixels = unpackCell(glyph.cell.data, glyph.packedSize, glyph.cell.rows,
                                           glyph.cell.cols, settings.renderMode);

        std::printf("%s%s size %d, bits %d, scan \"%s\", rotate %d%s%s\n",
                    tool::codePointText(code).c_str(),
                    text.hasGlyph(ch) ? "" : " (not in the font)", settings.fontSize,
                    settings.renderMode, settings.scanMode.c_str(), transform.rotate,
                    settings.bold ? ", bold" : "", settings.italic ? ", italic" : "");
        std::printf("cell %d rows x %d cols, extent (%d, %d), origin (%d, %d), %zu packed bytes\n",
                    glyph.cell.rows, glyph.cell.cols, extent.x, extent.y, origin.x, origin.y,
                    glyph.packedSize);
        if (hex) {
            for (size_t k = 0; k < glyph.packedSize; ++k) {
                std::printf("%02x%s", glyph.cell.data[k], (k + 1) % 16 == 0 ? "\n" : " ");
            }
            if (glyph.packedSize % 16 != 0) std::printf("\n");
        }
        std::fputs(cellToAscii(pixels).c_str(), stdout);
        if (!pngPath.empty() && !writePng(pngPath, pixels, PngColour::Grey)) {
            std::fprintf(stderr, "fontbin-cellview: cannot write %s\n", pngPath.c_str());
            return 1;
        }
    } catch (const FontError& e) {
        std::fprintf(stderr, "fontbin-cellview: %s\n", e.what());
        return 1;
    }
    return 0;
}

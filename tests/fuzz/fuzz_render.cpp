// Fuzz target: a mutated font file through the rasteriser, the shaping and packing, and the font
// bitmap file writer; the written file must then pass the device reader's checks. The font
// settings vary with the input's length, so that every mutation that grows or shrinks a font
// also tries another size, depth, style, scan order and rotation.
#ifdef _WIN32
#include <process.h>
#define getpid _getpid
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "charset/CharacterTables.h"
#include "driver/CellGeometry.h"
#include "output/FontFileWriter.h"
#include "output/OstreamSink.h"
#include "reader/fontbin_reader.h"
#include "render/CvxText.h"

namespace {

// FreeType opens fonts by path here as in the tool; the input goes to a private file, in memory
// when /dev/shm exists, removed at exit.
struct FontFile {
    std::string path;
    FontFile() {
        std::error_code ec;
        const std::filesystem::path dir = std::filesystem::is_directory("/dev/shm", ec)
                                              ? std::filesystem::path("/dev/shm")
                                              : std::filesystem::temp_directory_path();
        path = (dir / ("fontbin-fuzz-render-" + std::to_string(getpid()) + ".ttf")).string();
    }
    ~FontFile() { std::remove(path.c_str()); }
};

const std::string& fontPath() {
    static const FontFile file;
    return file.path;
}

bool writeFont(const uint8_t* data, size_t size) {
    std::FILE* f = std::fopen(fontPath().c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

// Latin, a combining mark, CJK, kana, a private-use point, the replacement character, and the
// space and a control character that most fonts leave empty.
constexpr std::array<uint16_t, 9> kCodes = {0x0009, 0x0020, 0x0041, 0x0067, 0x00E9,
                                            0x0301, 0x3042, 0x4E00, 0xFFFD};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!writeFont(data, size)) return 0;

    size_t pick = size;
    auto choose = [&pick](size_t n) {
        const size_t v = pick % n;
        pick /= n;
        return v;
    };
    FontSetSettings settings;
    constexpr int32_t kSizes[] = {12, 16, 7, 24, 33};
    constexpr int32_t kDepths[] = {1, 2, 4, 8};
    settings.fontSize = kSizes[choose(5)];
    settings.renderMode = kDepths[choose(4)];
    settings.bold = static_cast<int32_t>(choose(2));
    settings.italic = static_cast<int32_t>(choose(2));
    settings.scanMode = choose(2) ? "V" : "H";
    settings.crop = static_cast<int32_t>(choose(2));
    settings.indexMethod = static_cast<int32_t>(choose(2));
    TransformSettings transform;
    transform.rotate = static_cast<int32_t>(choose(3));
    if (choose(2)) {
        transform.TransformAlgrithm = "gamma";
        transform.gamma = 2.2;
    }
    settings.font = "fuzz.ttf";
    if (!validateFontSet(settings, transform.rotate).empty()) __builtin_trap();

    std::unique_ptr<CvxText> text;
    try {
        text = std::make_unique<CvxText>(fontPath());
        const std::array<double, 4> sizeVector{static_cast<double>(settings.fontSize), 0, 0.1, 0};
        text->setSize(&sizeVector);
    } catch (const FontError&) {
        return 0;  // a font FreeType refuses is reported by the tool, not drawn
    }

    CharacterTables tables;
    tables.charIndex.assign(kCodePointCount, kNotSelected);
    tables.charList.assign(kCodePointCount, kNotSelected);
    for (uint16_t code : kCodes) markCodePoint(tables.charIndex.data(), code);
    listAndNumber(tables);

    std::ostringstream out;
    OstreamSink sink(out);
    FontFileWriter writer(sink, settings, transform.rotate);
    writer.writeHeader(tables.charIndex.data(), tables.charList.data(), tables.charCount);
    const CellSize cellSize = computeCellSize(settings, transform.rotate);
    // The packed cell the device reader derives from the same settings.
    fb_geometry geometry;
    if (fb_cell_geometry(static_cast<unsigned>(settings.fontSize), settings.italic,
                         settings.scanMode == "V" ? FB_SCAN_COLUMNS : FB_SCAN_ROWS,
                         transform.rotate, &geometry) != FB_OK)
        __builtin_trap();
    for (uint16_t code : kCodes) {
        text->hasGlyph(code);
        IntPair extent{cellSize.cols, cellSize.rows};
        IntPair origin{cellSize.cols, cellSize.rows};
        GlyphCell cell = renderCell(cellSize, code, *text, extent, origin, settings, transform);
        const PackedGlyph packed = cell.packed(code, extent, origin);
        const size_t pixels = static_cast<size_t>(packed.rows) * static_cast<size_t>(packed.cols);
        if (packed.size != (pixels * static_cast<size_t>(settings.renderMode) + 7) / 8)
            __builtin_trap();
        // A glyph FreeType could not draw is left unturned under rotation; it must then be empty.
        if (static_cast<unsigned>(packed.rows) != geometry.rows ||
            static_cast<unsigned>(packed.cols) != geometry.cols) {
            if (pixels != static_cast<size_t>(geometry.rows) * geometry.cols) __builtin_trap();
            for (size_t i = 0; i < packed.size; ++i)
                if (packed.data[i] != 0) __builtin_trap();
        }
        writer.writeGlyph(packed);
    }
    writer.finish();
    if (!writer.ok()) __builtin_trap();

    // What the writer produced from whatever the font drew must read back.
    const std::string file = out.str();
    const std::vector<uint8_t> bytes(file.begin(), file.end());
    fb_font font;
    const fb_error err =
        fb_open_cell(bytes.data(), bytes.size(), geometry.rows, geometry.cols, &font);
    if (err != FB_OK) {
        std::fprintf(stderr, "written file rejected: %s (%s at offset %zu, U+%04X)\n",
                     fb_error_string(err), font.error_detail ? font.error_detail : "-",
                     font.error_offset, static_cast<unsigned>(font.error_code_point));
        __builtin_trap();
    }
    return 0;
}

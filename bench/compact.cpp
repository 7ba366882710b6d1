// fontbin-compact-bench: the compact layout on a real run.
//
//   fontbin-compact-bench STEM [--all] [--out FILE] [--template WEST,ABOVE,ABOVE2]
//       STEM is a cropped run's path without "_font.bin" (made with "crop": 1 and
//       "advances": true). Builds the compact file from its glyphs, checks that every glyph
//       decodes to the cropped file's pixels, and prints sizes, encode time and decode time
//       per glyph. --all also builds and checks every method and template the writer weighs;
//       --template writes the file with that template instead of the writer's choice.
//   fontbin-compact-bench --decode FILE [REPEAT]
//       Decodes every glyph of a compact file REPEAT times (default 1) and nothing else: the
//       program bench/compact_decode.sh runs under callgrind.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "output/CompactFontWriter.h"
#include "tests/support/CropGlyphs.h"

namespace {

using Clock = std::chrono::steady_clock;

void ignoreRow(void* user, unsigned, const uint8_t* levels, unsigned width) {
    unsigned* sum = static_cast<unsigned*>(user);
    *sum += levels[0] + levels[width - 1];
}

// Decodes every glyph once; returns the glyphs decoded, or -1 on an error.
long decodeAll(const fb_font& font, unsigned& sum) {
    fb_glyph g;
    long n = 0;
    for (uint32_t cp = 0; fb_next_glyph(&font, cp, &g) == FB_OK; cp = g.code_point + 1) {
        if (fb_decode_glyph_rows(&font, &g, ignoreRow, &sum) != FB_OK) return -1;
        ++n;
    }
    return n;
}

// Every glyph of `bytes` against the cropped file's pixels; the first difference, or "".
std::string compare(const cropglyphs::Run& run, const std::vector<uint8_t>& bytes) {
    fb_font font;
    if (fb_open(bytes.data(), bytes.size(), &font) != FB_OK)
        return std::string("fb_open: ") + (font.error_detail ? font.error_detail : "?");
    std::vector<uint8_t> px;
    for (const cropglyphs::Glyph& want : run.glyphs) {
        fb_glyph g, c;
        if (fb_find_glyph(&font, want.code, &g) != FB_OK) return "missing glyph";
        if (g.advance != want.advance) return "advance differs at " + std::to_string(want.code);
        px.assign(static_cast<size_t>(g.box_w) * g.box_h + 1, 0xEE);
        if (fb_decode_glyph(&font, &g, px.data(), g.box_w) != FB_OK) return "decode failed";
        const bool inked = fb_find_glyph(&run.font, want.code, &c) == FB_OK;
        for (unsigned y = 0; y < g.rows; ++y)
            for (unsigned x = 0; x < g.cols; ++x) {
                const unsigned expect = inked ? fb_glyph_pixel(&c, x, y) : 0;
                const bool inside =
                    x >= g.box_x && x < g.box_x + g.box_w && y >= g.box_y && y < g.box_y + g.box_h;
                const unsigned got =
                    inside ? px[(y - g.box_y) * static_cast<size_t>(g.box_w) + (x - g.box_x)] : 0;
                if (got != expect)
                    return "pixel differs at U+" + std::to_string(want.code) + " (" +
                           std::to_string(x) + "," + std::to_string(y) + ")";
            }
    }
    return "";
}

int decodeOnly(const char* path, int repeat) {
    const std::vector<uint8_t> bytes = cropglyphs::readFile(path);
    fb_font font;
    if (fb_open(bytes.data(), bytes.size(), &font) != FB_OK) {
        std::fprintf(stderr, "fb_open failed: %s\n", font.error_detail ? font.error_detail : "");
        return 1;
    }
    unsigned sum = 0;
    long n = 0;
    for (int i = 0; i < repeat; ++i) n = decodeAll(font, sum);
    std::printf("%ld glyphs (checksum %u)\n", n, sum);
    return n < 0;
}

const char* methodName(compact::Method m) {
    return m == compact::Method::Raw ? "raw levels" : "context";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], "--decode") == 0)
        return decodeOnly(argv[2], argc >= 4 ? std::atoi(argv[3]) : 1);
    if (argc < 2) {
        std::fprintf(stderr, "usage: fontbin-compact-bench STEM [--all] [--out FILE]\n");
        return 2;
    }
    const std::string stem = argv[1];
    bool all = false, forced = false;
    std::string outPath;
    compact::Template shape;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--all") == 0) all = true;
        if (std::strcmp(argv[i], "--out") == 0 && i + 1 < argc) outPath = argv[++i];
        if (std::strcmp(argv[i], "--template") == 0 && i + 1 < argc)
            forced =
                std::sscanf(argv[++i], "%d,%d,%d", &shape.west, &shape.above, &shape.above2) == 3;
    }
    const cropglyphs::Run run = cropglyphs::load(stem);
    if (!run.error.empty()) {
        std::fprintf(stderr, "%s\n", run.error.c_str());
        return 2;
    }
    FontSetSettings settings;
    settings.font = run.font.name;  // the stem the cropped file carries
    settings.fontSize = static_cast<int32_t>(run.font.font_size);
    settings.renderMode = run.bpp;

    const auto t0 = Clock::now();
    CompactFontWriter writer(settings, 0, run.baseline);
    for (const cropglyphs::Glyph& g : run.glyphs) writer.addGlyph(run.packed(g), g.advance);
    const std::vector<uint8_t> bytes =
        forced ? writer.finishWith(compact::Method::Context, shape) : writer.finish();
    if (bytes.empty()) {
        std::fprintf(stderr, "template out of range for this depth\n");
        return 2;
    }
    const double encodeMs = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();

    const std::string diff = compare(run, bytes);
    fb_font font;
    fb_open(bytes.data(), bytes.size(), &font);
    std::printf(
        "%s: %zu glyphs, compact %zu bytes (method %u, template %u/%u/%u), encode %.0f ms, "
        "round trip %s\n",
        stem.c_str(), run.glyphs.size(), bytes.size(), font.compact.method, font.compact.west,
        font.compact.above, font.compact.above2, encodeMs, diff.empty() ? "ok" : diff.c_str());
    const fb_compact& c = font.compact;
    const size_t codes = c.version >= 3 ? c.table - c.size_code + FB_COMPACT_CODES_HEAD_BYTES : 0;
    std::printf(
        "  parts: header+runs %zu, codes %zu, glyph table %zu (%.1f bits/glyph), checkpoints "
        "%zu, model %u, data %u\n",
        c.table - codes, codes, c.checkpoints - c.table,
        8.0 * static_cast<double>(c.checkpoints - c.table) / std::max<size_t>(1, font.glyph_count),
        c.model - c.checkpoints, c.model_size, c.stream_size);
    if (!outPath.empty()) {
        FILE* f = std::fopen(outPath.c_str(), "wb");
        if (f) {
            std::fwrite(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
        }
    }
    // Decode time: every glyph, repeated for at least 0.3 s.
    unsigned sum = 0;
    long glyphs = 0;
    const auto d0 = Clock::now();
    double seconds = 0;
    do {
        glyphs += decodeAll(font, sum);
        seconds = std::chrono::duration<double>(Clock::now() - d0).count();
    } while (seconds < 0.3);
    std::printf("  decode: %.0f ns per glyph (find + decode)\n", seconds * 1e9 / glyphs);

    if (all) {
        std::printf(
            "  | method | template (west/above/above2) | model bytes | estimated file data "
            "| file bytes | round trip |\n");
        for (const compact::MethodSize& m : writer.candidates()) {
            if (m.method == compact::Method::Raw) {
                // Not written: the same file with plain levels would be this much larger.
                std::printf("  | %s | - | 0 | %llu | %llu | - |\n", methodName(m.method),
                            static_cast<unsigned long long>((m.dataBits + 7) / 8),
                            static_cast<unsigned long long>(bytes.size() - font.compact.model_size -
                                                            font.compact.stream_size +
                                                            (m.dataBits + 7) / 8));
                continue;
            }
            const std::vector<uint8_t> b = writer.finishWith(m.method, m.shape);
            const std::string d = compare(run, b);
            std::printf("  | %s | %d/%d/%d | %llu | %llu | %zu | %s |\n", methodName(m.method),
                        m.shape.west, m.shape.above, m.shape.above2,
                        static_cast<unsigned long long>(m.modelBytes),
                        static_cast<unsigned long long>((m.dataBits + 7) / 8), b.size(),
                        d.empty() ? "ok" : d.c_str());
        }
    }
    return diff.empty() ? 0 : 1;
}

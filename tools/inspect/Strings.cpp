// The string table beside a font file, as the device reads it: summary, one string's glyph run
// in hb-shape's notation, and a sheet of every string drawn through reader/fontbin_strings beside
// a reference drawing.
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cstdio>

#include "output/StringTableWriter.h"
#include "platform/InputLimits.h"
#include "platform/platform.h"
#include "reader/fontbin_strings.h"
#include "render/CvxText.h"
#include "tools/inspect/Inspect.h"
#include "tools/inspect/StringSource.h"

namespace inspect {

namespace {

struct StringCanvas {
    Canvas* canvas;
    int top;
};

void plot(void* user, int x, int y, unsigned level) {
    const StringCanvas& c = *static_cast<const StringCanvas*>(user);
    const int row = y + c.top;
    if (x < 0 || row < 0 || x >= int(c.canvas->width) || row >= int(c.canvas->height)) return;
    c.canvas->pixels[size_t(row) * c.canvas->width + size_t(x)] = static_cast<uint8_t>(level);
}

// fontbin beside this tool finds its fonts in font/ there, as fontbin-inspect does by default.
std::string ownFolder() {
    const auto self = platform::executablePath();
    return self ? platform::pathToUtf8(platform::directoryOf(*self)) : std::string(".");
}

std::string text(const char* fmt, long a, long b = 0) {
    char buf[96];
    std::snprintf(buf, sizeof buf, fmt, a, b);
    return buf;
}

// hb-shape's command line for one run, so that its output can be set beside ours.
std::string hbShapeCommand(const StringSources& src, const std::string& language,
                           const SourceRun& run) {
    auto quote = [](const std::string& text) {
        std::string out = "'";
        for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
        return out + "'";
    };
    std::string utf8;
    for (char32_t c : run.text) platform::appendUtf8(utf8, c);
    std::string line =
        "hb-shape --no-glyph-names" + text(" --font-size=%ld", src.emPixels[run.font]);
    if (src.faceIndexes[run.font]) line += text(" --face-index=%ld", src.faceIndexes[run.font]);
    if (!src.variations[run.font].empty()) line += " --variations=" + src.variations[run.font];
    return line + " --direction=" + (run.rightToLeft ? "rtl" : "ltr") + " --script=" + run.script +
           " --language=" + (language.empty() ? "und" : language) + " " +
           quote(src.fontPaths[run.font]) + " " + quote(utf8);
}

// [gid=cluster@dx,dy+advance|...] in pixels, y upwards, "@dx,dy" only when not 0, as hb-shape
// --no-glyph-names prints a run.
std::string hbShapeRun(const SourceRun& run) {
    std::string out = "[";
    for (const SourceGlyph& g : run.glyphs) {
        out += (out.size() > 1 ? "|" : "") + text("%ld=%ld", long(g.glyph), long(g.cluster));
        if (g.dx || g.dy) out += text("@%ld,%ld", g.dx, -g.dy);
        out += text("+%ld", g.advance);
    }
    return out + "]";
}

// A string drawn as HarfBuzz places its glyphs and FreeType renders them, at the run's size and
// hinting, levels cut to the font's bits per pixel: what the device's drawing is judged against.
void drawReference(const StringSources& src, const SourceString& s, int left, int baseline,
                   unsigned maxValue, StringCanvas& target) {
    FontSetSettings settings;
    settings.hinting = src.hinting;
    settings.renderMode = int32_t(src.bpp);
    const int32_t flags = hintingLoadFlags(settings);
    for (const SourceRun& run : s.runs) {
        FT_Face face = src.face(run.font);
        for (const SourceGlyph& g : run.glyphs) {
            if (FT_Load_Glyph(face, g.glyph, flags) != 0 ||
                FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL) != 0)
                continue;
            const FT_Bitmap& bitmap = face->glyph->bitmap;
            // A font's own bitmap strike stays one bit per pixel.
            const bool mono = bitmap.pixel_mode == FT_PIXEL_MODE_MONO;
            if (!mono && bitmap.pixel_mode != FT_PIXEL_MODE_GRAY) continue;
            const int x0 = left + ((g.x + 32) >> 6) + face->glyph->bitmap_left;
            const int y0 = baseline - ((g.y + 32) >> 6) - face->glyph->bitmap_top;
            for (unsigned y = 0; y < bitmap.rows; ++y)
                for (unsigned x = 0; x < bitmap.width; ++x) {
                    const uint8_t* row = bitmap.buffer + ptrdiff_t(y) * bitmap.pitch;
                    const unsigned v = mono ? ((row[x / 8] >> (7 - x % 8)) & 1u) * 255u : row[x];
                    const unsigned level = (v * maxValue + 127) / 255;
                    if (level) plot(&target, x0 + int(x), y0 + int(y), level);
                }
        }
    }
}

// Every string on its own line, a right-to-left one aligned right; a margin of a cell's width
// on both sides takes what reaches beyond the advances. With `sources`, each string's reference
// drawing stands beside it, in a second column as wide as the first.
std::string drawSheet(const fb_font& font, const fb_strings& table, const std::string& path,
                      unsigned scale, const StringSources* sources) {
    int widest = 0;
    for (unsigned i = 0; i < table.count; ++i) {
        fb_string s;
        fb_string_at(&table, i, &s);
        widest = std::max(widest, s.width);
    }
    const unsigned margin = font.geometry.cols;
    const unsigned column = unsigned(widest) + 2 * margin;
    Canvas canvas;
    canvas.maxValue = (1u << font.bpp) - 1u;
    canvas.width = sources ? 2 * column : column;
    canvas.height = std::max(1u, table.count) * font.geometry.rows;
    canvas.pixels.assign(size_t(canvas.width) * canvas.height, 0);
    canvas.boxes.assign(canvas.pixels.size(), 0);
    for (unsigned i = 0; i < table.count; ++i) {
        fb_string s;
        fb_string_at(&table, i, &s);
        StringCanvas target{&canvas, int(i * font.geometry.rows)};
        const int x = int(margin) + (s.right_to_left ? widest - s.width : 0);
        const fb_error err = fb_string_draw(&font, &s, x, 0, plot, &target);
        if (err != FB_OK) return std::string(s.name, s.name_length) + ": " + fb_error_string(err);
        if (sources)
            drawReference(*sources, sources->strings[i], int(column) + x, int(table.baseline),
                          canvas.maxValue, target);
    }
    return writeCanvasPng(canvas, path, scale);
}

}  // namespace

void reportStrings(const Options& o, const fb_font& font, Result& r) {
    const std::string path = stringsPathFor(o.file);
    const bool asked = !o.stringsPng.empty() || o.stringName;
    const std::string prefix = "fontbin-inspect: ";
    auto fail = [&](const std::string& why) {
        r.out += "strings     FAILED: " + why + "\n";
        r.err += prefix + why + "\n";
        r.status = kViolation;
    };
    if (path.empty() || !platform::pathExists(platform::pathFromUtf8(path))) {
        if (asked)
            fail("no string table " + (path.empty() ? o.file + " has no _strings.bin name" : path));
        return;
    }
    std::string bytes, reason;
    if (!platform::readWholeFile(platform::pathFromUtf8(path), bytes, reason,
                                 limits::kMaxBitmapFontBytes, "a string table"))
        return fail(path + ": " + reason);
    fb_strings table;
    const fb_error err =
        fb_strings_open(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &table);
    if (err != FB_OK) return fail(path + ": " + fb_error_string(err));
    r.out += "strings     " + path +
             text(": %ld strings, em %ld px", table.count, table.em_pixels) +
             text(" at fontSize %ld, %ld glyphs, ok\n", table.font_size, table.glyph_list_count);
    // The table names glyphs by code point: the font's glyph ids and the runs come from the
    // configuration, shaped again as the run shaped them and checked against the table.
    StringSources sources;
    const std::string unshaped =
        asked ? shapeAgain(path, o.config, o.toolDir.empty() ? ownFolder() : o.toolDir, table,
                           sources)
              : std::string();
    if (o.stringName) {
        fb_string s;
        if (fb_string_find(&table, o.stringName->c_str(), &s) != FB_OK)
            return fail(path + ": no string named \"" + *o.stringName + "\"");
        if (!unshaped.empty()) return fail(unshaped);
        const SourceString& source = sources.strings[s.index];
        r.out += "\nstring      " + *o.stringName + (s.right_to_left ? " (right to left)" : "") +
                 text(", %ld pixels wide, visual runs: %ld,", s.width, long(source.runs.size())) +
                 " as hb-shape prints them (font glyph ids, clusters from the run's start, "
                 "pixels); shaped again from " +
                 sources.configPath + ", as the table holds it\n";
        for (size_t k = 0; k < source.runs.size(); ++k)
            r.out += text("run %-8ld", long(k + 1)) +
                     hbShapeCommand(sources, source.language, source.runs[k]) + "\n            " +
                     hbShapeRun(source.runs[k]) + "\n";
    }
    if (!o.stringsPng.empty()) {
        if (sources.differs) return fail(unshaped);
        const StringSources* references = unshaped.empty() ? &sources : nullptr;
        const std::string why = drawSheet(font, table, o.stringsPng, o.scale, references);
        if (!why.empty()) return fail(why);
        r.out +=
            "\nstrings     " + o.stringsPng + text(": %ld strings drawn", table.count) +
            (references ? ", each beside its reference drawing by HarfBuzz and FreeType from " +
                              sources.configPath
                        : "; no reference drawings: " + unshaped) +
            "\n";
    }
}

}  // namespace inspect

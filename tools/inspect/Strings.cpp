// The string table beside a font file, as the device reads it: summary, one string's glyph run,
// and a sheet of every string drawn through reader/fontbin_strings.
#include <algorithm>
#include <cstdio>

#include "output/StringTableWriter.h"
#include "platform/InputLimits.h"
#include "platform/platform.h"
#include "reader/fontbin_strings.h"
#include "tools/inspect/Inspect.h"

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

std::string text(const char* fmt, long a, long b = 0) {
    char buf[96];
    std::snprintf(buf, sizeof buf, fmt, a, b);
    return buf;
}

// Every string on its own line, a right-to-left one aligned right; a margin of a cell's width
// on both sides takes what reaches beyond the advances.
std::string drawSheet(const fb_font& font, const fb_strings& table, const std::string& path,
                      unsigned scale) {
    int widest = 0;
    for (unsigned i = 0; i < table.count; ++i) {
        fb_string s;
        fb_string_at(&table, i, &s);
        widest = std::max(widest, s.width);
    }
    const unsigned margin = font.geometry.cols;
    Canvas canvas;
    canvas.maxValue = (1u << font.bpp) - 1u;
    canvas.width = unsigned(widest) + 2 * margin;
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
    if (o.stringName) {
        fb_string s;
        if (fb_string_find(&table, o.stringName->c_str(), &s) != FB_OK)
            return fail(path + ": no string named \"" + *o.stringName + "\"");
        std::string run = "[";
        for (unsigned k = 0; k < s.glyph_count; ++k) {
            fb_string_glyph g;
            fb_string_glyph_at(&s, k, &g);
            run += (k ? "|" : "") + text("U+%04lX=%ld", long(g.code), long(g.cluster));
            if (g.dx || g.dy) run += text("@%ld,%ld", g.dx, g.dy);
            run += text("+%ld", g.advance);
        }
        r.out += "\nstring      " + *o.stringName + (s.right_to_left ? " (right to left)" : "") +
                 text(", %ld pixels wide\n", s.width) + run + "]\n";
    }
    if (!o.stringsPng.empty()) {
        const std::string why = drawSheet(font, table, o.stringsPng, o.scale);
        if (!why.empty()) return fail(why);
        r.out += "\nstrings     " + o.stringsPng + text(": %ld strings drawn\n", table.count);
    }
}

}  // namespace inspect

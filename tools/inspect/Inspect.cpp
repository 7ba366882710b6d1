#include "tools/inspect/Inspect.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <new>

#include "output/AdvanceFileWriter.h"
#include "output/StringTableWriter.h"
#include "platform/InputLimits.h"
#include "platform/platform.h"
#include "tools/inspect/FontReport.h"

namespace inspect {
namespace {

using tool::codePointText;
using tool::format;

const char* scanText(int scan) {
    switch (scan) {
        case FB_SCAN_ROWS:
            return "row scanning";
        case FB_SCAN_COLUMNS:
            return "column scanning \"V\"";
        case FB_SCAN_COLUMNS_ROW_SIZED:
            return "column scanning \"v\"";
    }
    return "?";
}

std::string flagsText(unsigned flags) {
    static const char* const names[] = {"bold", "italic", "scanMode \"V\"", "indexMethod", "crop"};
    std::string out = format("0x%02llX", flags);
    std::string list;
    for (unsigned bit = 0; bit < 5; ++bit)
        if (flags & (1u << bit)) list += std::string(list.empty() ? "" : ", ") + names[bit];
    return out + " (" + (list.empty() ? "none" : list) + ")";
}

const char* layoutText(fb_layout layout) {
    switch (layout) {
        case FB_LAYOUT_GLYPH_TABLE:
            return "glyph-number table (65536 entries), fixed-size records";
        case FB_LAYOUT_CODE_LIST:
            return "code-point list, fixed-size records";
        case FB_LAYOUT_OFFSET_TABLE:
            return "offset table (65536 entries), trimmed records";
        case FB_LAYOUT_COMPACT:
            return "compact: code-point runs, coded ink boxes with advance widths";
    }
    return "?";
}

std::string openError(const std::string& file, const fb_font& font, fb_error err) {
    std::string line = file + ": " + fb_error_string(err);
    if (font.error_detail) line += std::string(": ") + font.error_detail;
    line += format(" (at byte %llu", font.error_offset);
    if (font.error_code_point >= 0)
        line += ", " + codePointText(static_cast<uint32_t>(font.error_code_point));
    return line + ")";
}

// The part of a compact file one checksum covers, for an error line.
std::string checksumPart(const fb_font& font, uint32_t part) {
    if (part == FB_TABLES_PART) return "the header and tables";
    const uint32_t first = part << font.compact.checkpoint_shift;
    const uint32_t last =
        std::min(font.glyph_count, first + (1u << font.compact.checkpoint_shift)) - 1u;
    return format("block %llu (glyphs %llu to %llu)", part, first, last);
}

// What walking every glyph found.
struct Walk {
    size_t glyphs = 0;
    uint32_t first = 0, last = 0;
    size_t minSize = 0, maxSize = 0, totalSize = 0;
    size_t blank = 0;  // records without ink
    std::string violation;
};

Walk walkGlyphs(const fb_font& font) {
    Walk w;
    fb_glyph g;
    fb_error err = FB_OK;
    uint32_t cp = 0;
    while ((err = fb_next_glyph(&font, cp, &g)) == FB_OK) {
        if (w.glyphs == 0) w.first = g.code_point;
        w.last = g.code_point;
        w.minSize = w.glyphs == 0 ? g.size : std::min(w.minSize, g.size);
        w.maxSize = std::max(w.maxSize, g.size);
        w.totalSize += g.size;
        ++w.glyphs;
        if (!hasInk(g)) ++w.blank;
        const char* why = nullptr;
        if (w.violation.empty() && fb_check_glyph(&g, &why) != FB_OK)
            w.violation = format("glyph record at byte %llu", g.offset) + " (" +
                          codePointText(g.code_point) + "): " + (why ? why : "inconsistent");
        // A compact glyph's code is only known to be sound once it decodes.
        if (g.compact && w.violation.empty()) {
            if (const fb_error e = GlyphPixels(font, g).error(); e != FB_OK)
                w.violation = format("compact glyph at byte %llu", g.offset) + " (" +
                              codePointText(g.code_point) + "): " + fb_error_string(e);
        }
        if (g.code_point == 0xFFFF) break;
        cp = g.code_point + 1;
    }
    if (err != FB_OK && err != FB_ERR_NOT_FOUND && w.violation.empty())
        w.violation = format("glyph after U+%04llX: ", cp) + fb_error_string(err);
    return w;
}

std::string geometryText(const fb_font& font, const Options& o) {
    const fb_geometry& g = font.geometry;
    std::string text = format("%llu rows x %llu columns", g.rows, g.cols);
    if (font.layout == FB_LAYOUT_COMPACT)
        return text + " (" + scanText(int(font.compact.scan)) +
               (font.compact.rotate ? format(", rotation %llu", font.compact.rotate)
                                    : std::string(", no rotation")) +
               ", as the file records it)";
    if (g.scan < 0) return text + " (as given)";
    text += std::string(" (") + scanText(g.scan) + ", ";
    if (g.rotate == 0)
        text += "no rotation";
    else if (o.rotate)
        text += format("rotation %llu", static_cast<unsigned>(*o.rotate));
    else
        text += "rotation 1 or 2";
    if (o.rotate || o.scan) return text + ", as given)";
    fb_geometry header{};
    fb_default_geometry(&font, &header);
    if (header.rows == g.rows && header.cols == g.cols && header.scan == g.scan &&
        header.rotate == g.rotate)
        return text + ": assumed, the file does not record it)";
    return text + ": inferred from the records, the file does not record it)";
}

std::string summary(const fb_font& f, const std::string& file, const Walk& w, const Options& o) {
    std::string s;
    auto line = [&s](const char* key, const std::string& value) {
        char buf[24];
        std::snprintf(buf, sizeof buf, "%-12s", key);
        s += buf + value + "\n";
    };
    line("file", file + format(" (%llu bytes)", f.size));
    line("name", "\"" + std::string(f.name) + "\"");
    line("font size", format("%llu px", f.font_size));
    line("bits", format("%llu per pixel", f.bpp));
    line("flags", flagsText(f.style_flags));
    line("layout", layoutText(f.layout));
    if (f.char_count == FB_UNKNOWN)
        line("characters", "not recorded (offset table without indexMethod)");
    else
        line("characters", format("%llu selected", f.char_count));
    std::string glyphs = format("%llu records", w.glyphs);
    if (w.glyphs) glyphs += ", " + codePointText(w.first) + " to " + codePointText(w.last);
    if (w.blank) glyphs += format(", %llu without ink", w.blank);
    line("glyphs", glyphs);
    if (f.layout != FB_LAYOUT_OFFSET_TABLE && f.layout != FB_LAYOUT_COMPACT)
        line("bytes/glyph",
             format("%llu (4 metric bytes + %llu pixel bytes)", f.record_size, f.record_size - 4));
    else if (f.layout == FB_LAYOUT_OFFSET_TABLE && w.glyphs)
        line("bytes/glyph", format("%llu to %llu, ", w.minSize, w.maxSize) +
                                format("%llu.%llu on average", w.totalSize / w.glyphs,
                                       w.totalSize * 10 / w.glyphs % 10));
    if (f.layout == FB_LAYOUT_COMPACT && w.glyphs) {
        line("bytes/glyph", format("%llu.%llu on average, the whole file counted",
                                   f.size / w.glyphs, f.size * 10 / w.glyphs % 10));
        const uint64_t fixed = fixedLayoutBytes(f, w.glyphs);
        line("compression", format("%llu.%03llu of the fixed-record layout",
                                   f.size * 1000 / fixed / 1000, f.size * 1000 / fixed % 1000) +
                                format(" (%llu bytes with the code-point list)", fixed));
        if (f.compact.pair_count)
            line("kerning",
                 format("%llu pairs, in the file's kerning section", f.compact.pair_count));
    }
    line("cell", geometryText(f, o));
    line("index", format("%llu bytes at byte %llu; records from byte %llu", f.index_size,
                         f.index_offset, f.records_offset));
    return s;
}

// The advance widths beside `file`, when there are any: `present` says so, and the result is
// empty or why they cannot be used. `bytes` keeps the file's bytes for `adv`.
std::string openAdvances(const std::string& file, const fb_font& font, std::string& bytes,
                         fb_advances& adv, bool& present) {
    const std::string path = advancePathFor(file);
    present = !path.empty() && platform::pathExists(platform::pathFromUtf8(path));
    if (!present) return {};
    std::string reason;
    if (!platform::readWholeFile(platform::pathFromUtf8(path), bytes, reason,
                                 limits::kMaxWidthFileBytes, "a width file"))
        return path + ": " + reason;
    const fb_error err =
        fb_open_advances(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &font, &adv);
    if (err == FB_OK) return {};
    return path + ": " + fb_error_string(err) +
           (adv.error_detail ? std::string(": ") + adv.error_detail : std::string());
}

// --text: the art on stdout, or the PNG and one line about it; missing characters on stderr.
Result preview(const Options& o, const fb_font& font, const std::string& prefix) {
    Result r;
    std::string advBytes;
    fb_advances adv{};
    bool withAdvances = false;
    const std::string advError = openAdvances(o.file, font, advBytes, adv, withAdvances);
    if (!advError.empty()) {
        r.err = prefix + advError + "\n";
        r.status = kViolation;
        return r;
    }
    const std::string advPath = advancePathFor(o.file);
    // A backslash and an n start a new line, as a line break typed into the shell would.
    std::string text = *o.text;
    for (size_t at = text.find("\\n"); at != std::string::npos; at = text.find("\\n", at))
        text.replace(at, 2, "\n");
    std::string error;
    const Canvas canvas =
        drawText(font, withAdvances ? &adv : nullptr, text, o.width, error, o.words);
    if (error.empty() && !o.png.empty() &&
        (size_t(canvas.width) * o.scale > 100000 ||
         size_t(canvas.width) * o.scale * canvas.height * o.scale > (size_t(1) << 26)))
        error =
            "the picture would be wider than 100000 or larger than 64 million pixels: give "
            "--width, a shorter text or a smaller --scale";
    if (error.empty() && !o.png.empty()) error = writeCanvasPng(canvas, o.png, o.scale);
    if (!error.empty()) {
        r.err = prefix + error + "\n";
        r.status = kViolation;
        return r;
    }
    if (o.png.empty())
        r.out = canvasArt(canvas);
    else
        r.out = "preview     " + o.png +
                format(": %llu x %llu display pixels", canvas.width, canvas.height) +
                format(", %llu line(s), scale %llu", canvas.lines, o.scale) +
                (withAdvances ? ", advance widths from " + advPath : std::string()) + "\n";
    if (!canvas.missing.empty()) {
        std::string list;
        for (uint32_t cp : canvas.missing)
            list += (list.empty() ? "" : ", ") + describeCodePoint(cp);
        r.err = prefix + o.file + ": no glyph for " + list + " (drawn as a box)\n";
        r.status = kNoSuchGlyph;
    }
    return r;
}

}  // namespace

bool parseRange(const std::string& text, uint32_t& first, uint32_t& last) {
    size_t dash = text.find('-', 1);
    auto a = parseCodePoint(dash == std::string::npos ? text : text.substr(0, dash));
    auto b = dash == std::string::npos ? a : parseCodePoint(text.substr(dash + 1));
    if (!a || !b || *a > *b) return false;
    first = *a;
    last = *b;
    return true;
}

bool parseCell(const std::string& text, unsigned& rows, unsigned& cols) {
    size_t x = text.find_first_of("xX");
    if (x == std::string::npos) return false;
    return tool::parseDecimal(text.substr(0, x), 4, rows) &&
           tool::parseDecimal(text.substr(x + 1), 4, cols) && rows >= 1 && cols >= 1 &&
           rows <= FB_MAX_CELL && cols <= FB_MAX_CELL;
}

fb_scan scanFromText(const std::string& text) {
    if (!text.empty() && text[0] == 'V') return FB_SCAN_COLUMNS;
    if (!text.empty() && text[0] == 'v') return FB_SCAN_COLUMNS_ROW_SIZED;
    return FB_SCAN_ROWS;
}

bool hasInk(const fb_glyph& g) {
    if (g.compact) return g.box_w != 0 && g.box_h != 0;
    for (size_t i = 0; i < g.bits_size; ++i)
        if (g.bits[i]) return true;
    return false;
}

char artPixel(unsigned value, unsigned maxValue) {
    static const char kRamp[] = ":-=+*%#@";
    if (value == 0) return '.';
    return maxValue == 1 ? '#' : kRamp[(value * 8 - 1) / maxValue];
}

std::string usageText() {
    return "usage: fontbin-inspect FILE [options]\n"
           "Reports what a fontbin font bitmap file holds and checks every structural rule.\n"
           "\n"
           "  --show CHAR           print a glyph as text art with its metrics; CHAR is U+4E00,\n"
           "                        0x4E00 or the character itself (repeatable)\n"
           "  --sheet OUT.png       draw all glyphs on a grid into a PNG\n"
           "  --range U+20-U+7E     only these code points on the sheet\n"
           "  --raw                 column-scanned cells as stored, not turned upright\n"
           "  --text \"Hello, 世界\"  draw the text as the display shows it (character art);\n"
           "                        \\n in it starts a new line\n"
           "  --png OUT.png         with --text: a magnified PNG with a pixel grid instead\n"
           "  --scale N             with --png or --strings: screen pixels per display pixel (1 to "
           "32, 4)\n"
           "  --width PX            with --text: wrap lines at this many pixels\n"
           "  --wrap PX             with --text: wrap lines between words at this many pixels,\n"
           "                        as the text API's word wrapping does (CJK rules included)\n"
           "  --strings OUT.png     draw every UI string of <base>_strings.bin into a PNG, each\n"
           "                        beside a reference drawing by HarfBuzz and FreeType\n"
           "  --string NAME         print that string's visual runs as hb-shape does, with the\n"
           "                        hb-shape command of each: [gid=cluster@dx,dy+advance|...]\n"
           "  --config PATH         with --string or --strings: the configuration of the run\n"
           "                        (default: the .json beside FILE that writes it)\n"
           "  --tool-dir DIR        the folder of fontbin, whose font/ the run used (default:\n"
           "                        this tool's folder)\n"
           "The file does not record rotation nor a scanMode other than \"H\" or \"V\":\n"
           "  --rotate N            the rotate setting of the run (0, 1 or 2)\n"
           "  --scan TEXT           the scanMode of the run (\"H\", \"V\", \"v\", ...)\n"
           "  --cell ROWSxCOLS      the packed cell size itself\n"
           "\n"
           "usage: fontbin-inspect --font FONT [--size N]\n"
           "Lists the faces of a font file (a path, or a name looked up as fontbin does), with\n"
           "their bitmap strikes, variation axes and named instances: what faceIndex, variations\n"
           "and fontSize can choose. --size N adds the pixel size and cell of fontSize N.\n"
           "\n"
           "Exit status: 0 all rules hold, 1 unreadable file or a rule broken (one line on\n"
           "stderr says which), 2 bad command line, 3 a --show or --text character has no glyph.\n";
}

std::string parseOptions(const std::vector<std::string>& args, Options& o) {
    bool range = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& v) {
            if (i + 1 >= args.size()) return false;
            v = args[++i];
            return true;
        };
        std::string v;
        if (a == "-h" || a == "--help") {
            o.help = true;
        } else if (a == "--raw") {
            o.raw = true;
        } else if (a == "--rotate") {
            unsigned r;
            if (!value(v) || !tool::parseDecimal(v, 4, r) || r > 2)
                return "--rotate takes 0, 1 or 2";
            o.rotate = static_cast<int>(r);
        } else if (a == "--scan") {
            if (!value(v)) return "--scan takes the scanMode text";
            o.scan = v;
        } else if (a == "--cell") {
            if (!value(v) || !parseCell(v, o.cellRows, o.cellCols))
                return "--cell takes ROWSxCOLS, each 1 to 1024";
        } else if (a == "--show") {
            auto cp = value(v) ? parseCodePoint(v) : std::nullopt;
            if (!cp) return "--show takes U+XXXX, 0xXXXX or one character";
            o.show.push_back(*cp);
        } else if (a == "--sheet") {
            if (!value(v) || v.empty()) return "--sheet takes the PNG file to write";
            o.sheet = v;
        } else if (a == "--text") {
            if (!value(v)) return "--text takes the text to draw";
            o.text = v;
        } else if (a == "--png") {
            if (!value(v) || v.empty()) return "--png takes the PNG file to write";
            o.png = v;
        } else if (a == "--scale") {
            if (!value(v) || !tool::parseDecimal(v, 4, o.scale) || o.scale < 1 || o.scale > 32)
                return "--scale takes 1 to 32";
        } else if (a == "--width" || a == "--wrap") {
            if (o.width && o.words != (a == "--wrap"))
                return "--width and --wrap exclude each other";
            if (!value(v) || !tool::parseDecimal(v, 4, o.width) || o.width < 1)
                return a + " takes 1 to 9999 pixels";
            o.words = a == "--wrap";
        } else if (a == "--strings") {
            if (!value(v) || v.empty()) return "--strings takes the PNG file to write";
            o.stringsPng = v;
        } else if (a == "--string") {
            if (!value(v) || v.empty()) return "--string takes the name of a UI string";
            o.stringName = v;
        } else if (a == "--config") {
            if (!value(v) || v.empty()) return "--config takes the configuration of the run";
            o.config = v;
        } else if (a == "--tool-dir") {
            if (!value(v) || v.empty()) return "--tool-dir takes the folder of fontbin";
            o.toolDir = v;
        } else if (a == "--range") {
            if (!value(v) || !parseRange(v, o.rangeFirst, o.rangeLast))
                return "--range takes FIRST-LAST, such as U+0020-U+007E";
            range = true;
        } else if (!a.empty() && a[0] == '-' && a != "-") {
            return "unknown option " + a;
        } else if (o.file.empty()) {
            o.file = a;
        } else {
            return "more than one file given";
        }
    }
    if (o.help) return {};
    if (o.file.empty()) return "no file given";
    if (o.cellRows && (o.rotate || o.scan)) return "--cell excludes --rotate and --scan";
    if (range && o.sheet.empty()) return "--range needs --sheet";
    if (o.text && (!o.show.empty() || !o.sheet.empty()))
        return "--text excludes --show and --sheet";
    if (!o.text && (!o.png.empty() || o.width)) return "--png, --width and --wrap need --text";
    if ((o.config || !o.toolDir.empty()) && !o.stringName && o.stringsPng.empty())
        return "--config and --tool-dir need --string or --strings";
    return {};
}

std::string describeCodePoint(uint32_t cp) {
    std::string s = codePointText(cp);
    // Controls, format characters and surrogates are shown by number only.
    bool printable = cp >= 0x20 && cp != 0x7F && !(cp >= 0x80 && cp < 0xA0) && cp != 0xAD &&
                     !(cp >= 0x200B && cp <= 0x200F) && !(cp >= 0x2028 && cp <= 0x202E) &&
                     !(cp >= 0x2060 && cp <= 0x206F) && !(cp >= 0xD800 && cp <= 0xDFFF) &&
                     cp != 0xFEFF && cp < 0xFFF0;
    if (printable) {
        s += " '";
        s += platform::wideToUtf8(std::wstring(1, static_cast<wchar_t>(cp)));
        s += "'";
    }
    return s;
}

bool showsUpright(const fb_font& font, bool raw) {
    return !raw && font.geometry.rotate == 0 &&
           (font.geometry.scan == FB_SCAN_COLUMNS ||
            font.geometry.scan == FB_SCAN_COLUMNS_ROW_SIZED);
}

GlyphPixels::GlyphPixels(const fb_font& font, const fb_glyph& glyph) : glyph_(glyph) {
    if (!glyph.compact || glyph.box_w == 0 || glyph.box_h == 0) return;
    box_.assign(size_t(glyph.box_w) * glyph.box_h, 0);
    error_ = fb_decode_glyph(&font, &glyph, box_.data(), glyph.box_w);
    if (error_ != FB_OK) std::fill(box_.begin(), box_.end(), 0);
}

unsigned GlyphPixels::at(unsigned x, unsigned y) const {
    if (!glyph_.compact) return fb_glyph_pixel(&glyph_, x, y);
    if (box_.empty() || x < glyph_.box_x || y < glyph_.box_y) return 0;
    x -= glyph_.box_x;
    y -= glyph_.box_y;
    return x < glyph_.box_w && y < glyph_.box_h ? box_[size_t(y) * glyph_.box_w + x] : 0;
}

uint64_t fixedLayoutBytes(const fb_font& font, uint64_t glyphs) {
    const uint64_t header = 14 + std::string(font.name).size() + 1;
    const uint64_t cellBytes =
        (uint64_t(font.geometry.rows) * font.geometry.cols * font.bpp + 7) / 8;
    return header + glyphs * (2 + 4 + cellBytes);
}

std::string glyphArt(const fb_font& font, const fb_glyph& g, bool upright) {
    std::string s = describeCodePoint(g.code_point);
    if (g.compact) {
        s += format(": compact glyph, %llu bits of code from bit %llu of the data\n", g.stream_bits,
                    g.stream_bit) +
             format("  ink box (%llu, %llu) ", g.box_x, g.box_y) +
             format("%llu x %llu, advance %llu\n", g.box_w, g.box_h, unsigned(g.advance));
    } else if (g.trimmed) {
        s += format(": trimmed record of %llu bytes at byte %llu\n", g.size, g.offset);
        s += format("  topSkip %llu, origin y %llu, extent (%llu, ", g.top_skip, g.origin_y,
                    g.extent_x);
        s += format("%llu): cell rows %llu to %llu stored, ", g.extent_y, g.top_skip,
                    g.extent_y - 1);
        s += format(g.row_bytes == 1 ? "%llu byte each\n" : "%llu bytes each\n", g.row_bytes);
    } else {
        s += format(": glyph %llu, record of %llu bytes", g.number, g.size) +
             format(" at byte %llu\n", g.offset);
        s += format("  origin (%llu, %llu), ", g.origin_x, g.origin_y) +
             format("extent (%llu, %llu)\n", g.extent_x, g.extent_y);
    }
    const unsigned rows = upright ? g.cols : g.rows, cols = upright ? g.rows : g.cols;
    s += format("  cell %llu rows x %llu columns, %llu bit", g.rows, g.cols, g.bpp);
    s += g.bpp == 1 ? "" : "s";
    s += upright ? " per pixel, shown upright (each stored row is a column here)\n"
                 : " per pixel, as stored\n";
    const unsigned maxValue = (1u << g.bpp) - 1u;
    const GlyphPixels pixels(font, g);
    s += "     ";
    for (unsigned x = 0; x < cols; ++x) s += static_cast<char>('0' + x % 10);
    s += "\n";
    for (unsigned y = 0; y < rows; ++y) {
        s += format("  %2llu ", y);
        for (unsigned x = 0; x < cols; ++x) {
            unsigned v = upright ? pixels.at(y, x) : pixels.at(x, y);
            s += artPixel(v, maxValue);
        }
        s += "\n";
    }
    return s;
}

Result run(const std::vector<std::string>& args) {
    if (wantsFontReport(args)) {
        const auto self = platform::executablePath();
        return fontReport(args, self ? platform::pathToUtf8(platform::directoryOf(*self)) : ".");
    }
    Result r;
    Options o;
    const std::string prefix = "fontbin-inspect: ";
    std::string error = parseOptions(args, o);
    if (!error.empty()) {
        r.err = prefix + error + " (see --help)\n";
        r.status = kUsage;
        return r;
    }
    if (o.help) {
        r.out = usageText();
        return r;
    }

    // A folder or a pipe is refused before it is opened: reading a pipe would wait for a writer.
    const std::filesystem::path path = platform::pathFromUtf8(o.file);
    std::string bytes, reason = platform::notAFileReason(path);
    if (!reason.empty() ||
        !platform::readWholeFile(path, bytes, reason, limits::kMaxBitmapFontBytes, "a font file")) {
        r.err = prefix + o.file + ": " + reason + "\n";
        r.status = kViolation;
        return r;
    }

    // A picture never replaces the file it is drawn from.
    const std::pair<std::string, const char*> read[] = {{o.file, "font file"},
                                                        {advancePathFor(o.file), "width file"},
                                                        {stringsPathFor(o.file), "string table"}};
    for (const std::string* out : {&o.png, &o.sheet, &o.stringsPng}) {
        if (out->empty()) continue;
        const std::filesystem::path target = platform::pathFromUtf8(*out);
        for (const auto& [input, what] : read) {
            if (input.empty() || !platform::sameFile(target, platform::pathFromUtf8(input)))
                continue;
            r.err = prefix + "cannot write " + *out + ": it is the " + what + " being read\n";
            r.status = kViolation;
            return r;
        }
    }

    fb_font font;
    fb_error err = fb_open_cell(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                                o.cellRows, o.cellCols, &font);
    if (err == FB_OK) {
        // A compact file's checksums first: a changed byte is named by its part, before what
        // the change may break elsewhere.
        uint32_t part = FB_TABLES_PART;
        if (fb_verify_font(&font, &part) == FB_ERR_CHECKSUM) {
            r.err = prefix + o.file + ": " + checksumPart(font, part) +
                    " differs from its checksum: the file changed since it was written\n";
            r.status = kViolation;
            return r;
        }
        err = fb_check_font(&font);  // every part, not only the header
    }
    if (err != FB_OK) {
        r.err = prefix + openError(o.file, font, err) + "\n";
        r.status = kViolation;
        return r;
    }
    if (font.layout == FB_LAYOUT_COMPACT && (o.rotate || o.scan || o.cellRows)) {
        // The compact file records its cell, scan order and rotation: options may only agree.
        const bool agrees = !o.cellRows &&
                            (!o.rotate || unsigned(*o.rotate) == font.compact.rotate) &&
                            (!o.scan || unsigned(scanFromText(*o.scan)) == font.compact.scan);
        if (!agrees) {
            r.err = prefix + o.file + ": the compact file records its cell, " +
                    scanText(int(font.compact.scan)) +
                    format(" and rotation %llu; --cell, --scan and --rotate", font.compact.rotate) +
                    " may only repeat them\n";
            r.status = kUsage;
            return r;
        }
    } else if (o.rotate || o.scan) {
        fb_scan scan =
            o.scan ? scanFromText(*o.scan)
                   : ((font.style_flags & FB_STYLE_SCAN_V) ? FB_SCAN_COLUMNS : FB_SCAN_ROWS);
        fb_geometry want{};
        fb_cell_geometry(font.font_size, (font.style_flags & FB_STYLE_ITALIC) != 0, scan,
                         o.rotate.value_or(0), &want);
        if (fb_set_geometry_for(&font, scan, o.rotate.value_or(0)) != FB_OK) {
            r.err = prefix + o.file +
                    format(": the records do not fit the %llu x %llu cell", want.rows, want.cols) +
                    " of " + scanText(scan) + format(" with rotation %llu\n", o.rotate.value_or(0));
            r.status = kViolation;
            return r;
        }
    }

    if (o.text) return preview(o, font, prefix);

    const Walk walk = walkGlyphs(font);
    r.out = summary(font, o.file, walk, o);
    r.out += walk.violation.empty() ? "check       ok: every structural rule holds\n"
                                    : "check       FAILED: " + walk.violation + "\n";
    // The advance widths beside the file are checked against it too.
    std::string advBytes;
    fb_advances adv{};
    bool withAdvances = false;
    const std::string advError = openAdvances(o.file, font, advBytes, adv, withAdvances);
    if (withAdvances && advError.empty())
        r.out += "advances    " + advancePathFor(o.file) + format(": %llu widths, ", adv.count) +
                 (adv.data[4] == 2 ? format("%llu kerning pairs, ", adv.pair_count) : "") + "ok\n";
    else if (withAdvances)
        r.out += "advances    FAILED: " + advError + "\n";

    reportStrings(o, font, r);

    const bool upright = showsUpright(font, o.raw);
    bool missing = false;
    for (uint32_t cp : o.show) {
        fb_glyph g;
        r.out += "\n";
        if (fb_find_glyph(&font, cp, &g) == FB_OK) {
            r.out += glyphArt(font, g, upright);
        } else {
            r.out += describeCodePoint(cp) + ": no glyph record\n";
            r.err += prefix + o.file + ": no glyph record for " + describeCodePoint(cp) + "\n";
            missing = true;
        }
    }
    if (!o.sheet.empty()) {
        SheetInfo info;
        std::string why = writeSheet(font, o.sheet, o.rangeFirst, o.rangeLast, upright, info);
        if (!why.empty()) {
            r.err += prefix + why + "\n";
            r.status = kViolation;
        } else {
            r.out +=
                "\nsheet       " + o.sheet +
                format(": %llu glyphs, %llu per row, ", info.glyphs, info.gridCols) +
                format("%llu x %llu pixels, scale %llu\n", info.width, info.height, info.scale);
            if (info.rowStarts.size() <= 64)
                for (size_t i = 0; i < info.rowStarts.size(); ++i)
                    r.out += format("  sheet row %2llu starts at ", i) +
                             codePointText(info.rowStarts[i]) + "\n";
        }
    }
    if (!walk.violation.empty()) {
        r.err += prefix + o.file + ": " + walk.violation + "\n";
        r.status = kViolation;
    } else if (!advError.empty()) {
        r.err += prefix + advError + "\n";
        r.status = kViolation;
    } else if (missing && r.status == kOk) {
        r.status = kNoSuchGlyph;
    }
    return r;
}

}  // namespace inspect

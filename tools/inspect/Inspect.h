// fontbin-inspect: reads a font bitmap file through the device reader, reports what it holds,
// checks every structural rule, shows glyphs as text and draws glyph sheets.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "reader/fontbin_reader.h"
#include "tools/common/CommandLine.h"

namespace inspect {

// Exit statuses.
constexpr int kOk = 0;
constexpr int kViolation = 1;    // unreadable file, or a structural rule broken
constexpr int kUsage = 2;        // bad command line
constexpr int kNoSuchGlyph = 3;  // a --show code point has no glyph record

struct Options {
    std::string file;
    std::optional<int> rotate;        // --rotate N
    std::optional<std::string> scan;  // --scan TEXT, as configured
    unsigned cellRows = 0;            // --cell ROWSxCOLS
    unsigned cellCols = 0;
    std::vector<uint32_t> show;  // --show, in order
    std::string sheet;           // --sheet PATH
    uint32_t rangeFirst = 0;     // --range
    uint32_t rangeLast = 0xFFFF;
    bool raw = false;  // --raw: column-scanned cells as stored, not upright
    bool help = false;
    std::optional<std::string> text;        // --text: the string to preview
    std::string png;                        // --png OUT.png
    unsigned scale = 4;                     // --scale N
    unsigned width = 0;                     // --width PX or --wrap PX, 0 for one line per text line
    bool words = false;                     // --wrap: lines end between words, not characters
    std::string stringsPng;                 // --strings OUT.png: every UI string drawn
    std::optional<std::string> stringName;  // --string NAME: its glyph run printed
    std::optional<std::string> config;      // --config PATH: the run's configuration
    std::string toolDir;                    // --tool-dir DIR: fontbin's folder (its font/)
};

// "U+4E00", "u+4e00", "0x4E00", or exactly one UTF-8 character.
using tool::parseCodePoint;
// "U+0020-U+007E", or one code point.
bool parseRange(const std::string& text, uint32_t& first, uint32_t& last);
// "16x24" (rows x columns).
bool parseCell(const std::string& text, unsigned& rows, unsigned& cols);
// How a configured scanMode text shapes the cell: its first character decides.
fb_scan scanFromText(const std::string& text);

// Empty on success; otherwise the reason.
std::string parseOptions(const std::vector<std::string>& args, Options& out);
std::string usageText();

// "U+0041 'A'": the code point, and the character itself when it is printable.
std::string describeCodePoint(uint32_t cp);

// A glyph's pixels by position in its packed cell, whatever the layout: a compact glyph is
// decoded once into its ink box (the reader gives its pixels only by decoding), the other
// layouts are read in place.
class GlyphPixels {
public:
    GlyphPixels() = default;
    GlyphPixels(const fb_font& font, const fb_glyph& glyph);
    // FB_OK, or why a compact glyph's code cannot be decoded (its pixels then read as 0).
    fb_error error() const { return error_; }
    unsigned at(unsigned x, unsigned y) const;

private:
    fb_glyph glyph_{};
    std::vector<uint8_t> box_;  // compact: box_h rows of box_w levels
    fb_error error_ = FB_OK;
};

// The glyph as text art with its metrics. `upright` turns a column-scanned cell back.
std::string glyphArt(const fb_font& font, const fb_glyph& glyph, bool upright);

// The bytes the code-point-list layout with fixed records would take for the same glyphs: the
// yardstick of the compact layout's compression.
uint64_t fixedLayoutBytes(const fb_font& font, uint64_t glyphs);

// Whether the font's cell is shown transposed back to the upright glyph.
bool showsUpright(const fb_font& font, bool raw);

struct SheetInfo {
    size_t glyphs = 0;
    unsigned gridCols = 0;
    unsigned gridRows = 0;
    unsigned scale = 1;
    unsigned width = 0;
    unsigned height = 0;
    std::vector<uint32_t> rowStarts;  // first code point of each grid row
};

// Writes a PNG with every glyph of [first, last] in code-point order on a grid. Empty on
// success, else the reason.
std::string writeSheet(const fb_font& font, const std::string& path, uint32_t first, uint32_t last,
                       bool upright, SheetInfo& info);

// ---- Text preview ---------------------------------------------------------------------------

// True when any stored pixel of the glyph is set (a compact glyph: when its ink box is not empty).
bool hasInk(const fb_glyph& g);

// One pixel of character art: '.' for no ink, '#' at 1 bit, else a ramp from ':' to '@'.
char artPixel(unsigned value, unsigned maxValue);

// Text as the display shows it: one value per pixel (0 .. 2^bpp - 1), rows of `width` pixels.
struct Canvas {
    unsigned width = 0;
    unsigned height = 0;
    unsigned maxValue = 1;
    unsigned lines = 0;
    std::vector<uint8_t> pixels;
    std::vector<uint8_t> boxes;     // 1 where the outline of a missing character's box lies
    std::vector<uint32_t> missing;  // characters the file lacks, in text order, once each
};

// Lays UTF-8 `text` out and draws it through the reader's text API (reader/fontbin_text.h),
// as firmware does: each glyph's cell upright with its top-left corner at the pen; the pen moves
// by the advance width from `advances` when given, else by the ink's right edge + 1, and by
// fontSize / 3 for a character without ink. A line ends at '\n' and, when `wrapWidth` is not 0,
// before a character that would cross it, or with `words` where the text API's word wrapping
// ends it. Empty `error` on success.
Canvas drawText(const fb_font& font, const fb_advances* advances, const std::string& text,
                unsigned wrapWidth, std::string& error, bool words = false);

// The canvas as text: '.' for background, '#' for ink (grey levels as for --show).
std::string canvasArt(const Canvas& canvas);

// The canvas as a PNG, each pixel `scale` x `scale` with a faint grid; boxes in red.
std::string writeCanvasPng(const Canvas& canvas, const std::string& path, unsigned scale);

// Writes a PNG of width x height RGB pixels; `fillBand` fills `lines` rows from row y.
std::string writePng(const std::string& path, unsigned width, unsigned height,
                     void (*fillBand)(void* context, unsigned y, unsigned lines, uint8_t* band),
                     void* context);

struct Result {
    int status = kOk;
    std::string out;  // for standard output
    std::string err;  // for standard error, one line per problem
};

// ---- UI strings -------------------------------------------------------------------------------

// Adds what the string table beside the font file holds to `r`: a summary line (strings, the em
// size in pixels, check), with --string the named string's visual runs as hb-shape prints them
// ([gid=cluster@dx,dy+advance|...], with the hb-shape command for each), with --strings a PNG of
// every string drawn through the reader beside its reference drawing. The glyph ids and the
// reference come from the strings shaped again with the run's configuration (--config, or the
// one beside the file). Sets r.status to kViolation for a table that is missing (when asked
// for), broken or not what its configuration gives, and for --string without a configuration.
void reportStrings(const Options& o, const fb_font& font, Result& r);

// The whole tool on its arguments (without the program name).
Result run(const std::vector<std::string>& args);

}  // namespace inspect

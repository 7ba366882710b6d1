#include "tools/studio/Render.h"

#include <algorithm>
#include <set>
#include <sstream>
#include <tuple>

#include "driver/Progress.h"
#include "output/AdvanceFileWriter.h"
#include "output/CompactFontWriter.h"
#include "output/FontFileWriter.h"
#include "output/OstreamSink.h"
#include "platform/platform.h"
#include "reader/fontbin_text.h"
#include "render/CellLayout.h"
#include "tools/inspect/Inspect.h"
#include "tools/studio/Json.h"

namespace studio {
namespace {

// Counts the bytes a writer would put into a file, without keeping them.
class CountingSink : public ByteSink {
public:
    bool write(const void*, size_t size) override {
        at_ += size;
        size_ = std::max(size_, at_);
        return true;
    }
    bool tell(uint64_t& offset) override {
        offset = at_;
        return true;
    }
    bool seek(uint64_t offset) override {
        at_ = offset;
        return true;
    }
    bool flush() override { return true; }
    bool good() const override { return true; }
    int error() const override { return 0; }
    uint64_t size() const { return size_; }

private:
    uint64_t at_ = 0;
    uint64_t size_ = 0;
};

std::vector<uint8_t> bytesOf(const std::stringstream& stream) {
    const std::string s = stream.str();
    return std::vector<uint8_t>(s.begin(), s.end());
}

// The selection tables of exactly `codes`, numbered as the tool numbers a selection.
CharacterTables tablesOf(const std::vector<uint16_t>& codes) {
    CharacterTables t;
    t.charIndex.assign(kCodePointCount, kNotSelected);
    t.charList.assign(kCodePointCount, kNotSelected);
    for (uint16_t c : codes) markCodePoint(t.charIndex.data(), c);
    listAndNumber(t);
    return t;
}

// The kerning pairs among `codes`: each character belongs to the first font of the chain that
// maps it, and a pair counts only when one font has both, as in the export.
std::vector<KernPair> kerningAmong(const ChainFonts& fonts, const std::vector<uint16_t>& codes) {
    std::vector<std::vector<uint16_t>> byFont(fonts.chain.size() + 1);
    for (uint16_t code : codes) {
        if (fonts.primary->hasGlyph(code)) {
            byFont[0].push_back(code);
            continue;
        }
        for (size_t k = 0; k < fonts.chain.size(); ++k)
            if (fonts.chain[k] && fonts.chain[k]->hasGlyph(code)) {
                byFont[k + 1].push_back(code);
                break;
            }
    }
    std::vector<KernPair> pairs;
    for (size_t k = 0; k < byFont.size(); ++k) {
        const CvxText* text = k == 0 ? fonts.primary : fonts.chain[k - 1];
        if (!text || byFont[k].empty()) continue;
        const std::vector<KernPair> found = text->kerningPairs(byFont[k]);
        pairs.insert(pairs.end(), found.begin(), found.end());
    }
    std::sort(pairs.begin(), pairs.end());
    return pairs;
}

std::vector<uint16_t> allSelected(const CharacterTables& tables) {
    return std::vector<uint16_t>(tables.charList.begin(),
                                 tables.charList.begin() + tables.charCount);
}

}  // namespace

ChainFonts openChain(const Prepared& p, const FontOpener& open, std::string& error) {
    ChainFonts fonts;
    const FontSetSettings& s = p.fontSet;
    const std::array<double, 4> size{static_cast<double>(s.fontSize), 0, 0.1, 0};
    try {
        fonts.primary = open(p.chainPaths[0], s.faceIndex, s.variations);
        fonts.primary->setSize(&size);
        using Key = std::tuple<std::string, int32_t, std::vector<std::pair<std::string, double>>>;
        auto key = [](const std::filesystem::path& path, int32_t face,
                      const std::vector<AxisValue>& variations) {
            Key k{platform::pathToUtf8(path), face, {}};
            for (const AxisValue& v : variations) std::get<2>(k).emplace_back(v.tag, v.value);
            return k;
        };
        std::set<Key> opened{key(p.chainPaths[0], s.faceIndex, s.variations)};
        for (size_t k = 0; k < s.fallbackFonts.size(); ++k) {
            const FontChoice& choice = s.fallbackFonts[k];
            const bool repeats =
                !opened.insert(key(p.chainPaths[k + 1], choice.faceIndex, choice.variations))
                     .second;
            fonts.chain.push_back(
                repeats ? nullptr : open(p.chainPaths[k + 1], choice.faceIndex, choice.variations));
            if (fonts.chain.back()) fonts.chain.back()->setSize(&size);
        }
        // Standing in for a missing unifont.ttf, the configured font keeps its face and instance.
        const bool fallbackIsFont = p.lookup.fallbackPath == p.lookup.fontPath;
        fonts.fallback = fallbackIsFont ? open(p.lookup.fallbackPath, s.faceIndex, s.variations)
                                        : open(p.lookup.fallbackPath, 0, {});
        fonts.fallback->setSize(&size);
    } catch (const FontError& e) {
        error = std::string("error: ") + e.what();
    }
    return fonts;
}

std::string renderCodes(const Prepared& p, ChainFonts& fonts, const std::vector<uint16_t>& codes,
                        const GlyphSink& sink, const std::atomic<bool>* cancel) {
    const CellSize cellSize = computeCellSize(p.fontSet, p.transform.rotate);
    GlyphCell cell;
    for (uint16_t code : codes) {
        if (cancel && *cancel) return "cancelled";
        IntPair extent{cellSize.cols, cellSize.rows};
        IntPair origin = extent;
        // The first font of [font, fallbackFonts...] that maps the character draws it.
        CvxText* text = fonts.primary;
        if (!fonts.chain.empty() && !text->hasGlyph(code))
            for (CvxText* next : fonts.chain)
                if (next && next->hasGlyph(code)) {
                    text = next;
                    break;
                }
        renderCell(cell, cellSize, code, *text, extent, origin, p.fontSet, p.transform);
        if (!text->lastFailure().empty() && text->hasGlyph(code))
            return "error: font maps " + codePointText(code) +
                   " but FreeType cannot draw it: " + text->lastFailure();
        // A cell the font leaves empty is drawn once more with the fallback font.
        const bool usedFallback =
            cell.packedSize == 0 || std::all_of(cell.cell.data, cell.cell.data + cell.packedSize,
                                                [](uint8_t b) { return b == 0; });
        if (usedFallback) {
            extent = IntPair{cellSize.cols, cellSize.rows};
            origin = extent;
            renderCell(cell, cellSize, code, *fonts.fallback, extent, origin, p.fontSet,
                       p.transform);
        }
        // The font of the chain that maps the character gives its width, even when empty.
        const CvxText& from = usedFallback && !text->hasGlyph(code) ? *fonts.fallback : *text;
        bool clamped = false;
        sink(cell.packed(code, extent, origin), advancePixels(from.lastAdvance(), clamped));
    }
    return {};
}

std::string writeInMemory(const Prepared& p, ChainFonts& fonts, const std::vector<uint16_t>& codes,
                          MemoryFiles& out) {
    const FontSetSettings& s = p.fontSet;
    const int32_t rotate = p.transform.rotate;
    const int32_t baseline = fonts.primary->baseline(s.fontSize);
    if (s.compact) {
        CompactFontWriter writer(s, rotate, baseline);
        const std::string error = renderCodes(
            p, fonts, codes,
            [&](const PackedGlyph& g, uint8_t advance) { writer.addGlyph(g, advance); });
        if (!error.empty()) return error;
        if (s.kerning) writer.setKerning(kerningAmong(fonts, codes));
        out.font = writer.finish();
        return {};
    }
    const CharacterTables tables = tablesOf(codes);
    std::stringstream file;
    OstreamSink sink(file);
    FontFileWriter writer(sink, s, rotate);
    writer.writeHeader(tables.charIndex.data(), tables.charList.data(), tables.charCount);
    AdvanceFile advances;
    advances.fontSize = static_cast<uint8_t>(s.fontSize);
    advances.baseline = static_cast<uint8_t>(baseline);
    const std::string error = renderCodes(p, fonts, codes, [&](const PackedGlyph& g, uint8_t w) {
        writer.writeGlyph(g);
        advances.widths.push_back(w);
    });
    if (!error.empty()) return error;
    writer.finish();
    out.font = bytesOf(file);
    if (s.advances || s.kerning) {
        if (s.crop & 1) advances.codePoints = codes;
        advances.kerning = s.kerning != 0;
        if (s.kerning) advances.pairs = kerningAmong(fonts, codes);
        std::stringstream widths;
        OstreamSink widthSink(widths);
        writeAdvanceFile(widthSink, advances);
        out.advances = bytesOf(widths);
    }
    return {};
}

namespace {

// One glyph's upright cell as the text API draws it, one level per pixel.
struct CellCanvas {
    unsigned width, height;
    std::vector<uint8_t> levels;
};

void paintCell(void* user, int x, int y, unsigned level, unsigned) {
    CellCanvas& c = *static_cast<CellCanvas*>(user);
    if (x >= 0 && y >= 0 && unsigned(x) < c.width && unsigned(y) < c.height)
        c.levels[size_t(y) * c.width + unsigned(x)] = static_cast<uint8_t>(level);
}

cJSON* glyphJson(const fb_text& t, uint32_t code, bool selected) {
    cJSON* g = cJSON_CreateObject();
    cJSON_AddNumberToObject(g, "cp", code);
    cJSON_AddBoolToObject(g, "selected", selected);
    fb_glyph glyph{};
    fb_char_metrics m{};
    fb_text_metrics(&t, code, &glyph, &m);
    cJSON_AddBoolToObject(g, "found", m.found);
    cJSON_AddBoolToObject(g, "ink", m.ink);
    cJSON_AddNumberToObject(g, "advance", m.advance);
    cJSON_AddNumberToObject(g, "inkRight", m.ink_right);
    if (m.found) {
        cJSON* r = cJSON_AddObjectToObject(g, "record");
        cJSON_AddNumberToObject(r, "bytes", double(glyph.size));
        cJSON_AddNumberToObject(r, "originX", glyph.origin_x);
        cJSON_AddNumberToObject(r, "originY", glyph.origin_y);
        cJSON_AddNumberToObject(r, "extentX", glyph.extent_x);
        cJSON_AddNumberToObject(r, "extentY", glyph.extent_y);
        cJSON_AddNumberToObject(r, "boxX", glyph.box_x);
        cJSON_AddNumberToObject(r, "boxY", glyph.box_y);
        cJSON_AddNumberToObject(r, "boxW", glyph.box_w);
        cJSON_AddNumberToObject(r, "boxH", glyph.box_h);
        cJSON_AddBoolToObject(r, "trimmed", glyph.trimmed);
        cJSON_AddBoolToObject(r, "compact", glyph.compact);
    }
    CellCanvas cell{t.cell_width, t.line_height,
                    std::vector<uint8_t>(size_t(t.cell_width) * t.line_height, 0)};
    fb_text drawer = t;
    drawer.pixel = paintCell;
    drawer.run = nullptr;
    drawer.on_char = nullptr;
    drawer.user = &cell;
    if (m.found) fb_text_draw_char(&drawer, 0, 0, code);
    cJSON_AddStringToObject(g, "levels", base64(cell.levels.data(), cell.levels.size()).c_str());
    return g;
}

}  // namespace

std::string previewJson(const Prepared& p, ChainFonts& fonts, const std::vector<uint32_t>& codes,
                        const std::string& text, unsigned wrapWidth, bool words) {
    // Only what is shown is rendered: the selected characters of the text and of `codes`.
    std::vector<uint16_t> shown;
    auto wanted = [&](uint32_t c) {
        if (c <= 0xFFFF && p.tables.charIndex[c] != kNotSelected) shown.push_back(uint16_t(c));
    };
    for (uint32_t c : codes) wanted(c);
    for (size_t at = 0; at < text.size();) {
        size_t used = 1;
        wanted(fb_utf8_next(text.data() + at, text.size() - at, &used));
        at += used;
    }
    std::sort(shown.begin(), shown.end());
    shown.erase(std::unique(shown.begin(), shown.end()), shown.end());

    MemoryFiles files;
    if (std::string error = writeInMemory(p, fonts, shown, files); !error.empty())
        return errorJson(error);
    fb_font font;
    if (fb_error e = fb_open(files.font.data(), files.font.size(), &font); e != FB_OK)
        return errorJson(std::string("the reader refuses the font file: ") + fb_error_string(e));
    if (!p.fontSet.compact)
        fb_set_geometry_for(&font, inspect::scanFromText(p.fontSet.scanMode), p.transform.rotate);
    fb_advances advances;
    const bool withAdvances =
        !files.advances.empty() &&
        fb_open_advances(files.advances.data(), files.advances.size(), &font, &advances) == FB_OK;
    const fb_advances* adv = withAdvances ? &advances : nullptr;

    std::string error;
    const inspect::Canvas canvas = inspect::drawText(font, adv, text, wrapWidth, error, words);
    if (!error.empty()) return errorJson(error);
    fb_text t;
    fb_text_init(&t, &font, adv);

    Json tree(cJSON_CreateObject());
    cJSON* root = tree.get();
    cJSON_AddNumberToObject(root, "maxLevel", t.max_level);
    cJSON_AddNumberToObject(root, "lineHeight", t.line_height);
    cJSON_AddNumberToObject(root, "cellWidth", t.cell_width);
    cJSON_AddNumberToObject(root, "fileBytes", double(files.font.size()));
    cJSON_AddNumberToObject(root, "rendered", double(shown.size()));
    cJSON* box = cJSON_AddObjectToObject(root, "text");
    cJSON_AddNumberToObject(box, "width", canvas.width);
    cJSON_AddNumberToObject(box, "height", canvas.height);
    cJSON_AddNumberToObject(box, "lines", canvas.lines);
    cJSON_AddStringToObject(box, "levels",
                            base64(canvas.pixels.data(), canvas.pixels.size()).c_str());
    cJSON_AddStringToObject(box, "boxes", base64(canvas.boxes.data(), canvas.boxes.size()).c_str());
    cJSON* missing = cJSON_AddArrayToObject(box, "missing");
    for (uint32_t c : canvas.missing) cJSON_AddItemToArray(missing, cJSON_CreateNumber(c));
    cJSON* glyphs = cJSON_AddArrayToObject(root, "glyphs");
    for (uint32_t c : codes)
        cJSON_AddItemToArray(glyphs,
                             glyphJson(t, c, c <= 0xFFFF && p.tables.charIndex[c] != kNotSelected));
    return printJson(std::move(tree));
}

std::string layoutSizesJson(const Prepared& p, ChainFonts& fonts, std::atomic<int64_t>& done,
                            const std::atomic<bool>& cancel) {
    const FontSetSettings& s = p.fontSet;
    const std::vector<uint16_t> codes = allSelected(p.tables);
    // The three plain layouts and the compact one, all fed the same glyphs.
    struct Plain {
        const char* name;
        int32_t crop, indexMethod;
        CountingSink sink;
        std::unique_ptr<FontFileWriter> writer;
    };
    Plain plain[3] = {
        {"list", 0, 1, {}, nullptr}, {"table", 0, 0, {}, nullptr}, {"cropped", 1, 0, {}, nullptr}};
    for (Plain& layout : plain) {
        FontSetSettings settings = s;
        settings.compact = 0;
        settings.crop = layout.crop;
        settings.indexMethod = layout.indexMethod;
        layout.writer = std::make_unique<FontFileWriter>(layout.sink, settings, p.transform.rotate);
        layout.writer->writeHeader(p.tables.charIndex.data(), p.tables.charList.data(),
                                   p.tables.charCount);
    }
    FontSetSettings compactSettings = s;
    compactSettings.compact = 1;
    CompactFontWriter compact(compactSettings, p.transform.rotate,
                              fonts.primary->baseline(s.fontSize));
    AdvanceFile advances;
    const std::string error = renderCodes(
        p, fonts, codes,
        [&](const PackedGlyph& g, uint8_t advance) {
            for (Plain& layout : plain) layout.writer->writeGlyph(g);
            compact.addGlyph(g, advance);
            advances.widths.push_back(advance);
            ++done;
        },
        &cancel);
    if (!error.empty()) return errorJson(error);
    Json tree(cJSON_CreateObject());
    cJSON* sizes = cJSON_AddObjectToObject(tree.get(), "sizes");
    for (Plain& layout : plain) {
        layout.writer->finish();
        cJSON_AddNumberToObject(sizes, layout.name, double(layout.sink.size()));
    }
    if (s.kerning) compact.setKerning(kerningAmong(fonts, codes));
    cJSON_AddNumberToObject(sizes, "compact", double(compact.finish().size()));
    // The width file that goes with the plain layouts, when the configuration asks for it.
    if (s.advances || s.kerning) {
        advances.kerning = s.kerning != 0;
        if (s.kerning) advances.pairs = kerningAmong(fonts, codes);
        if (s.crop & 1) advances.codePoints = codes;
        CountingSink widths;
        writeAdvanceFile(widths, advances);
        cJSON_AddNumberToObject(tree.get(), "advances", double(widths.size()));
    }
    cJSON_AddNumberToObject(tree.get(), "glyphs", double(codes.size()));
    return printJson(std::move(tree));
}

}  // namespace studio

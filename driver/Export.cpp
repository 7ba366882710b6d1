#include "driver/Export.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <tuple>

#include "config/FontChoices.h"
#include "driver/CellGeometry.h"
#include "driver/FontLookup.h"
#include "driver/OutputFile.h"
#include "driver/OutputSetRules.h"
#include "driver/Progress.h"
#include "driver/Run.h"
#include "driver/StringExport.h"
#include "output/AdvanceFileWriter.h"
#include "output/CharListWriter.h"
#include "output/CompactFontWriter.h"
#include "output/FontFileWriter.h"
#include "output/StringTableWriter.h"
#include "platform/platform.h"
#include "render/CvxText.h"
#include "render/Kerning.h"

namespace fs = std::filesystem;

namespace {

// Output names are appended to the folder as text, so a stem with folders in it stays below it.
fs::path outputPath(const fs::path& projectDir, const std::string& name) {
    return platform::pathFromUtf8(platform::pathToUtf8(projectDir) + platform::hostSeparator() +
                                  name);
}

int reportWriteFailure(const fs::path& path, const std::string& reason) {
    platform::writeErrLine("error: cannot write " + platform::pathToUtf8(path) + ": " + reason);
    return kExitOutputFailed;
}

bool allZero(const uint8_t* data, size_t size) {
    return std::all_of(data, data + size, [](uint8_t b) { return b == 0; });
}

OutputNames outputNames(const fs::path& projectDir, const FontSetSettings& fontSet,
                        const FontLookup& lookup) {
    // Names come from the font as configured, before the default applies: an empty font gives
    // names that start with "_size". A font found only as a path is named after its file. A
    // face other than 0 and each variation add to the names, so runs that differ only in face
    // or instance never overwrite each other.
    OutputNames names;
    names.base = outputBaseName(fontSet, lookup);
    names.fontFile = outputPath(projectDir, names.base + "_font.bin");
    names.compactFile = outputPath(projectDir, names.base + "_compact.bin");
    names.listFile = outputPath(projectDir, names.base + "_out.cst");
    names.advanceFile = outputPath(projectDir, names.base + "_adv.bin");
    names.stringsFile = outputPath(projectDir, names.base + "_strings.bin");
    return names;
}

// The list file, written first. It replaces the earlier one together with the font file, or on
// its own when the run stops for the font (missing or unusable), as it did before the font was
// looked at.
struct ListOutput {
    OutputFile* file = nullptr;
    bool written = false;
    std::string error;  // why it was not written
};

ListOutput writeListFile(OutputSet& outputs, const fs::path& path, const CharacterTables& tables) {
    ListOutput list;
    list.file = outputs.add(path, list.error);
    if (list.file) {
        writeCharList(*list.file, tables.charList.data(), tables.charCount);
        list.written = list.file->close(list.error);
    }
    return list;
}

// Ends a run that stops for its font with `status`: the list file alone replaces the earlier
// one. A missing font is the fault the user must hear of, whatever became of the list file.
int keepList(ListOutput& list, const fs::path& path, int status, bool fontMissing) {
    std::string error = list.error;
    if (list.written && list.file->commit(error)) return status;
    const int failed = reportWriteFailure(path, error);
    return fontMissing ? status : failed;
}

// The fonts that draw, in the order they are asked: the configured font, the fallbackFonts, and
// the fallback font for a cell the chosen font leaves empty.
struct FontChain {
    std::vector<fs::path> paths;  // [font, fallbackFonts...], as found
    std::unique_ptr<CvxText> primary;
    // The fallbackFonts, in order; null for one that repeats the font or an earlier fallback
    // font (same file, face and instance), which could never draw a character and would only
    // cost another FreeType instance.
    std::vector<std::unique_ptr<CvxText>> chain;
    std::unique_ptr<CvxText> fallback;
    // Private-use code points of string glyphs: drawn by their font alone, never by the
    // fallback font, even when they have no ink (a space).
    std::set<uint16_t> stringCodes;
    // Every code point the strings draw, with the pen origin its cell got: the string table
    // places cells, so it needs where each glyph's origin lies in its cell.
    std::map<uint16_t, IntPair> stringOrigins;
};

// Every fallback font of the chain, in order, each name looked up once however often the list
// repeats it: the input check and the chain use the same answers.
std::vector<FontLookup> lookUpFallbacks(const fs::path& toolDir, const fs::path& projectDir,
                                        const FontSetSettings& fontSet) {
    std::vector<FontLookup> found;
    std::map<std::string, size_t> looked;
    for (const FontChoice& choice : fontSet.fallbackFonts) {
        const auto known = looked.find(choice.font);
        if (known != looked.end()) {
            found.push_back(found[known->second]);
            continue;
        }
        looked.emplace(choice.font, found.size());
        found.push_back(lookUpFont(toolDir, projectDir, choice.font));
    }
    return found;
}

// Finds the configured font and every fallback font, or explains which is missing or not a file.
int findChainFonts(const fs::path& toolDir, const FontSetSettings& fontSet,
                   const FontLookup& lookup, const std::vector<FontLookup>& fallbacks,
                   std::vector<fs::path>& paths) {
    const fs::path& fontPath = lookup.fontPath;
    if (!lookup.found) {
        platform::writeOut(platform::pathToUtf8(fontPath) + " not exist!\n");
        for (const std::string& line : fontNotFoundHelp(toolDir, fontSet.font))
            platform::writeErrLine(line);
        return kExitFontUnusable;
    }

    // FreeType would call a folder an unknown file format, and would wait forever on a pipe.
    if (const std::string reason = fontFileProblem(fontPath); !reason.empty()) {
        platform::writeErrLine("error: cannot open font \"" + platform::pathToUtf8(fontPath) +
                               "\": " + reason);
        return kExitFontUnusable;
    }
    // The fonts asked in turn for characters `font` does not map, found as `font` is.
    paths.assign(1, fontPath);
    for (size_t i = 0; i < fallbacks.size(); ++i) {
        const FontChoice& choice = fontSet.fallbackFonts[i];
        const FontLookup& found = fallbacks[i];
        const fs::path& path = found.fontPath;
        if (!found.found) {
            platform::writeOut(platform::pathToUtf8(path) + " not exist!\n");
            platform::writeErrLine("note: \"" + choice.font +
                                   "\" is named in fontSet.fallbackFonts");
            for (const std::string& line : fontNotFoundHelp(toolDir, choice.font))
                platform::writeErrLine(line);
            return kExitFontUnusable;
        }
        if (const std::string reason = fontFileProblem(path); !reason.empty()) {
            platform::writeErrLine("error: cannot open font \"" + platform::pathToUtf8(path) +
                                   "\": " + reason);
            return kExitFontUnusable;
        }
        paths.push_back(path);
    }
    return kExitOk;
}

// Opens and sizes every font of the chain whose paths findChainFonts set.
int openFontChain(const FontSetSettings& fontSet, const FontLookup& lookup, FontChain& fonts) {
    const std::vector<fs::path>& chainPaths = fonts.paths;
    const fs::path& fallbackPath = lookup.fallbackPath;
    // Without unifont.ttf the configured font stands in for it.
    const bool fallbackIsFont = fallbackPath == lookup.fontPath;
    try {
        const std::array<double, 4> size{static_cast<double>(fontSet.fontSize), 0, 0.1, 0};
        fonts.primary = std::make_unique<CvxText>(platform::pathToUtf8(chainPaths[0]),
                                                  fontSet.faceIndex, fontSet.variations);
        fonts.primary->setSize(&size);
        // One key per [file, face, instance]: a set finds repeats in a long list at once. The
        // file is keyed by its elements, so paths that compare equal give equal keys.
        using Key = std::tuple<std::vector<fs::path::string_type>, int32_t,
                               std::vector<std::pair<std::string, double>>>;
        auto key = [&](size_t at, int32_t face, const std::vector<AxisValue>& variations) {
            Key k;
            for (const fs::path& element : chainPaths[at])
                std::get<0>(k).push_back(element.native());
            std::get<1>(k) = face;
            for (const AxisValue& v : variations) std::get<2>(k).emplace_back(v.tag, v.value);
            return k;
        };
        std::set<Key> opened{key(0, fontSet.faceIndex, fontSet.variations)};
        for (size_t k = 0; k < fontSet.fallbackFonts.size(); ++k) {
            const FontChoice& choice = fontSet.fallbackFonts[k];
            const bool repeats =
                !opened.insert(key(k + 1, choice.faceIndex, choice.variations)).second;
            fonts.chain.push_back(
                repeats ? nullptr
                        : std::make_unique<CvxText>(platform::pathToUtf8(chainPaths[k + 1]),
                                                    choice.faceIndex, choice.variations));
            if (fonts.chain.back()) fonts.chain.back()->setSize(&size);
        }
        // Standing in for a missing unifont.ttf, the configured font keeps its face and instance.
        fonts.fallback = fallbackIsFont
                             ? std::make_unique<CvxText>(platform::pathToUtf8(fallbackPath),
                                                         fontSet.faceIndex, fontSet.variations)
                             : std::make_unique<CvxText>(platform::pathToUtf8(fallbackPath));
        fonts.fallback->setSize(&size);
    } catch (const FontChoiceError& e) {
        platform::writeErrLine(std::string("error: ") + e.what());
        return kExitInvalidValue;
    } catch (const FontError& e) {
        platform::writeErrLine(std::string("error: ") + e.what());
        return kExitFontUnusable;
    }
    return kExitOk;
}

// What the render loop learns besides the glyphs, reported once the files are written.
struct RenderReport {
    MissingGlyphs missing;
    // Glyphs whose ink the counter-clockwise turn moved out of the cell, and the first of them.
    int32_t inkLost = 0;
    std::string inkLostFirst;
    std::vector<int32_t> drawnBy;  // per font of the chain
    size_t clampedAdvances = 0;
    size_t clampedKerning = 0;
    size_t kerningPairs = 0;
};

// Takes each glyph in code-point order with its advance width (0 unless widths were asked for);
// false ends the loop.
using GlyphSink = std::function<bool(const PackedGlyph& glyph, uint8_t advance)>;

// Renders every selected character with the font chain and hands it to `sink`. Returns 0, or -4
// after printing why when a font cannot draw a character it maps.
int renderGlyphs(const FontSetSettings& fontSet, const TransformSettings& transform,
                 const CharacterTables& tables, FontChain& fonts, bool withAdvances,
                 Progress& progress, RenderReport& report, const GlyphSink& sink) {
    const CellSize cellSize = computeCellSize(fontSet, transform.rotate);
    CvxText& primaryText = *fonts.primary;
    CvxText& fallbackText = *fonts.fallback;
    const auto& chain = fonts.chain;
    report.drawnBy.assign(chain.empty() ? 0 : chain.size() + 1, 0);
    // One cell for the whole loop: each character is drawn over the previous one's storage.
    GlyphCell cell;
    bool more = true;
    for (int32_t i = 0; i < tables.charCount && more; ++i) {
        const uint16_t code = tables.charList[static_cast<size_t>(i)];
        IntPair extent{cellSize.cols, cellSize.rows};
        IntPair origin{cellSize.cols, cellSize.rows};
        // The first font of [font, fallbackFonts...] that maps the character draws it; the
        // configured font when none does.
        CvxText* text = &primaryText;
        size_t drawer = 0;
        if (!chain.empty() && !primaryText.hasGlyph(code)) {
            for (size_t k = 0; k < chain.size() && drawer == 0; ++k) {
                if (chain[k] && chain[k]->hasGlyph(code)) {
                    text = chain[k].get();
                    drawer = k + 1;
                }
            }
        }
        renderCell(cell, cellSize, code, *text, extent, origin, fontSet, transform);
        // A character the font maps but FreeType cannot load or draw means damaged glyph data
        // (a file cut short, say). Drawing it with the fallback font would hide that, so the
        // run stops here and the earlier font file stays as it was.
        if (!text->lastFailure().empty() && text->hasGlyph(code)) {
            progress.abandon();
            platform::writeErrLine("error: font \"" + platform::pathToUtf8(fonts.paths[drawer]) +
                                   "\" maps " + codePointText(code) +
                                   " but FreeType cannot draw it: " + text->lastFailure());
            return kExitFontUnusable;
        }
        // A cell the configured font leaves empty is drawn once more with the fallback font.
        const bool usedFallback =
            (cell.packedSize == 0 || allZero(cell.cell.data, cell.packedSize)) &&
            fonts.stringCodes.count(code) == 0;
        if (usedFallback) {
            extent = IntPair{cellSize.cols, cellSize.rows};
            origin = IntPair{cellSize.cols, cellSize.rows};
            renderCell(cell, cellSize, code, fallbackText, extent, origin, fontSet, transform);
        }
        if ((usedFallback ? fallbackText : *text).inkLost() && ++report.inkLost <= 8)
            report.inkLostFirst += (report.inkLostFirst.empty() ? "" : " ") + codePointText(code);
        if (drawer == 0 && !primaryText.hasGlyph(code))
            report.missing.add(code, usedFallback, usedFallback && fallbackText.hasGlyph(code));
        if (!report.drawnBy.empty()) ++report.drawnBy[drawer];
        if (const auto at = fonts.stringOrigins.find(code); at != fonts.stringOrigins.end())
            at->second = origin;
        uint8_t advance = 0;
        if (withAdvances) {
            // The font of the chain that maps the character gives its width, even when it draws
            // it empty (a space); when none maps it, the font whose cell is kept.
            const CvxText& from = usedFallback && !text->hasGlyph(code) ? fallbackText : *text;
            bool clamped = false;
            advance = advancePixels(from.lastAdvance(), clamped);
            report.clampedAdvances += clamped;
        }
        more = sink(cell.packed(code, extent, origin), advance);
        progress.update(i + 1);
    }
    return kExitOk;
}

// The fixed-record and offset-table layouts, "<base>_font.bin", through FontFileWriter, as a
// member of `outputs`. Widths go to `advances` when it is given. `bytes` is the file's size.
int writeFontFile(OutputSet& outputs, const fs::path& path, const FontSetSettings& fontSet,
                  const TransformSettings& transform, const CharacterTables& tables,
                  FontChain& fonts, Progress& progress, RenderReport& report, AdvanceFile* advances,
                  uint64_t& bytes) {
    std::string error;
    OutputFile* fontFile = outputs.add(path, error);
    if (!fontFile) return reportWriteFailure(path, error);
    FontFileWriter writer(*fontFile, fontSet, transform.rotate);
    writer.writeHeader(tables.charIndex.data(), tables.charList.data(), tables.charCount);

    if (advances) {
        advances->fontSize = static_cast<uint8_t>(fontSet.fontSize);
        advances->baseline = static_cast<uint8_t>(fonts.primary->baseline(fontSet.fontSize));
        advances->widths.reserve(static_cast<size_t>(tables.charCount));
    }

    // A header that could not be written stops the run before the first glyph is drawn.
    if (writer.ok()) {
        const int status =
            renderGlyphs(fontSet, transform, tables, fonts, advances != nullptr, progress, report,
                         [&](const PackedGlyph& glyph, uint8_t width) {
                             if (advances) advances->widths.push_back(width);
                             writer.writeGlyph(glyph);
                             return writer.ok();
                         });
        if (status != kExitOk) return status;
    }
    writer.finish();
    if (!writer.ok()) {
        progress.abandon();
        // The temporary files go with `outputs`; the earlier files stay as they were.
        return reportWriteFailure(path,
                                  writer.error() ? std::strerror(writer.error()) : "write failed");
    }
    bytes = writer.bytesWritten();
    return kExitOk;
}

// The kerning pairs among the selected characters. Each character belongs to the first font of
// the chain that maps it, as its width does, and a pair counts only when one font has both: two
// fonts' glyphs were never designed to kern against each other. A character no font maps has none.
std::vector<KernPair> chainKerning(const FontChain& fonts, const CharacterTables& tables) {
    std::vector<std::vector<uint16_t>> byFont(fonts.chain.size() + 1);
    for (int32_t i = 0; i < tables.charCount; ++i) {
        const uint16_t code = tables.charList[static_cast<size_t>(i)];
        if (fonts.primary->hasGlyph(code)) {
            byFont[0].push_back(code);
            continue;
        }
        for (size_t k = 0; k < fonts.chain.size(); ++k) {
            if (fonts.chain[k] && fonts.chain[k]->hasGlyph(code)) {
                byFont[k + 1].push_back(code);
                break;
            }
        }
    }
    std::vector<KernPair> pairs;
    for (size_t k = 0; k < byFont.size(); ++k) {
        const CvxText* text = k == 0 ? fonts.primary.get() : fonts.chain[k - 1].get();
        if (!text || byFont[k].empty()) continue;
        const std::vector<KernPair> found = text->kerningPairs(byFont[k]);
        pairs.insert(pairs.end(), found.begin(), found.end());
    }
    std::sort(pairs.begin(), pairs.end());
    return pairs;
}

// The pairs, and adjustments a pair cannot hold, for the run's warnings.
void countClampedKerning(const std::vector<KernPair>& pairs, RenderReport& report) {
    report.kerningPairs = pairs.size();
    for (const KernPair& pair : pairs) {
        bool clamped = false;
        kerningByte(pair.adjust, clamped);
        report.clampedKerning += clamped;
    }
}

// The compact layout, "<base>_compact.bin", through CompactFontWriter, as a member of `outputs`:
// the writer needs every glyph before it can build its model, so the file is written in one
// piece at the end.
int writeCompactFile(OutputSet& outputs, const fs::path& path, const FontSetSettings& fontSet,
                     const TransformSettings& transform, const CharacterTables& tables,
                     FontChain& fonts, Progress& progress, RenderReport& report, uint64_t& bytes) {
    std::string error;
    OutputFile* compactFile = outputs.add(path, error);
    if (!compactFile) return reportWriteFailure(path, error);
    CompactFontWriter writer(fontSet, transform.rotate, fonts.primary->baseline(fontSet.fontSize));
    const int status = renderGlyphs(fontSet, transform, tables, fonts, true, progress, report,
                                    [&](const PackedGlyph& glyph, uint8_t advance) {
                                        writer.addGlyph(glyph, advance);
                                        return true;
                                    });
    if (status != kExitOk) return status;
    if (fontSet.kerning) {
        std::vector<KernPair> pairs = chainKerning(fonts, tables);
        countClampedKerning(pairs, report);
        writer.setKerning(std::move(pairs));
    }
    const std::vector<uint8_t> file = writer.finish();
    // An empty file means the coder found its own model unfit for these glyphs: a fault in
    // fontbin, never a file to hand to a device.
    if (file.empty()) {
        progress.abandon();
        return reportWriteFailure(path,
                                  "the compact coder failed on these glyphs (a fault in "
                                  "fontbin; please report it with the configuration)");
    }
    if (!compactFile->write(file.data(), file.size()) || !compactFile->flush()) {
        progress.abandon();
        return reportWriteFailure(
            path, compactFile->error() ? std::strerror(compactFile->error()) : "write failed");
    }
    bytes = file.size();
    return kExitOk;
}

// "<base>_adv.bin" as a member of `outputs`, when widths were asked for.
int addAdvanceFile(OutputSet& outputs, const fs::path& path, const FontSetSettings& fontSet,
                   const CharacterTables& tables, AdvanceFile& advances) {
    // The offset-table layout has no record for a character without ink, so the file lists the
    // code points its widths belong to.
    if (fontSet.crop & 1)
        advances.codePoints.assign(tables.charList.begin(),
                                   tables.charList.begin() + tables.charCount);
    std::string error;
    OutputFile* advanceFile = outputs.add(path, error);
    if (!advanceFile) return reportWriteFailure(path, error);
    writeAdvanceFile(*advanceFile, advances);
    return kExitOk;
}

void warnClampedAdvances(const FontSetSettings& fontSet, const RenderReport& report) {
    if (report.clampedAdvances)
        platform::writeErrLine("warning: " + fontSet.font + ": " +
                               std::to_string(report.clampedAdvances) +
                               " advance width(s) above 255 pixels stored as 255");
    if (report.clampedKerning)
        platform::writeErrLine("warning: " + fontSet.font + ": " +
                               std::to_string(report.clampedKerning) +
                               " kerning adjustment(s) beyond -128 .. 127 pixels stored as -128 "
                               "or 127");
    if (report.kerningPairs > kUsualKerningPairs)
        platform::writeErrLine(
            "warning: " + fontSet.font + ": " + std::to_string(report.kerningPairs) +
            " kerning pairs, more than " + std::to_string(kUsualKerningPairs) +
            " (no usual font has as many); its kern or GPOS table may be damaged");
}

// The lines about characters nobody could draw, who drew what, and ink the turn lost.
void printRenderReport(const FontSetSettings& fontSet, const RenderReport& report) {
    const bool chained = !fontSet.fallbackFonts.empty();
    const std::string missingReport = report.missing.report(fontSet.font, chained);
    if (!missingReport.empty()) platform::writeErrLine(missingReport);
    if (chained) {
        auto label = [](const std::string& font, int32_t face) {
            return face == 0 ? font : font + " (face " + std::to_string(face) + ")";
        };
        std::vector<std::string> names{label(fontSet.font, fontSet.faceIndex)};
        for (const FontChoice& choice : fontSet.fallbackFonts)
            names.push_back(label(choice.font, choice.faceIndex));
        platform::writeErrLine(chainReport(names, report.drawnBy));
    }
    if (report.inkLost > 0)
        platform::writeErrLine(
            "warning: " + std::to_string(report.inkLost) + " glyph(s) lost ink outside the cell (" +
            report.inkLostFirst + (report.inkLost > 8 ? " ..." : "") +
            "): the counter-clockwise turn (rotate=2) shifts each glyph by where it lies in the "
            "upright cell, which with column scanning (\"V\") can move ink out; the bytes are "
            "written as they are");
}

// The line for a run that waits for another to finish with the same outputs.
void tellWaiting(long holder, void* listFile) {
    const fs::path& list = *static_cast<const fs::path*>(listFile);
    std::string base = platform::pathToUtf8(list);
    base.resize(base.size() - std::string("_out.cst").size());
    platform::writeErrLine("note: waiting for " +
                           (holder > 0 ? "fontbin process " + std::to_string(holder)
                                       : std::string("another fontbin run")) +
                           ", which is writing " + base + "_*");
}

// Refuses, before anything is written, a run whose outputs (or earlier outputs it may remove)
// would overwrite one of its own inputs: the configuration, a selection file, a font.
int refuseInputs(const FontLookup& lookup, const std::vector<FontLookup>& fallbacks,
                 const OutputNames& names, std::vector<RunInput> inputs) {
    if (lookup.found) inputs.push_back({lookup.fontPath, "the font"});
    inputs.push_back({lookup.fallbackPath, "the fallback font"});
    for (const FontLookup& fallback : fallbacks)
        inputs.push_back({fallback.fontPath, "the fallback font"});
    for (const fs::path* output : {&names.listFile, &names.fontFile, &names.compactFile,
                                   &names.advanceFile, &names.stringsFile}) {
        if (const std::string why = inputCollision(*output, inputs); !why.empty()) {
            platform::writeErrLine("error: cannot write " + platform::pathToUtf8(*output) + ": " +
                                   why + "; nothing was written");
            return kExitOutputFailed;
        }
    }
    return kExitOk;
}

// Shapes the strings with the open chain and maps their glyphs in it. -3 after printing why.
int planChainStrings(const std::vector<UiString>& strings, FontChain& fonts,
                     const CharacterTables& tables, StringPlan& plan) {
    std::vector<CvxText*> chain{fonts.primary.get()};
    for (const auto& font : fonts.chain) chain.push_back(font.get());
    const std::string error = planStrings(strings, chain, tables, plan);
    if (!error.empty()) {
        platform::writeErrLine("error: " + error);
        return kExitInvalidValue;
    }
    fonts.stringCodes = plan.privateCodes;
    for (const StringTableEntry& entry : plan.entries)
        for (const StringTableGlyph& glyph : entry.glyphs) fonts.stringOrigins[glyph.code] = {};
    return kExitOk;
}

// "<base>_strings.bin" as a member of `outputs`.
int addStringsFile(OutputSet& outputs, const fs::path& path, const FontSetSettings& fontSet,
                   const FontChain& fonts, const StringPlan& plan) {
    StringTableHeader header;
    header.fontSize = static_cast<uint8_t>(fontSet.fontSize);
    header.emPixels = static_cast<uint8_t>(fonts.primary->emPixels());
    header.baseline = static_cast<uint8_t>(fonts.primary->baseline(fontSet.fontSize));
    header.renderMode = static_cast<uint8_t>(fontSet.renderMode);
    // The table places each glyph's upright cell: its pen origin lies origin.x columns right of
    // the cell's left edge, on row origin.y (the baseline row, unless the glyph was pushed).
    std::vector<StringTableEntry> entries = plan.entries;
    for (StringTableEntry& entry : entries) {
        for (StringTableGlyph& glyph : entry.glyphs) {
            const IntPair origin = fonts.stringOrigins.at(glyph.code);
            glyph.dx -= origin.x;
            glyph.dy += header.baseline - origin.y;
        }
    }
    const std::vector<uint8_t> bytes = stringTableBytes(header, entries);
    std::string error;
    OutputFile* file = outputs.add(path, error);
    if (!file) return reportWriteFailure(path, error);
    if (!file->write(bytes.data(), bytes.size()) || !file->flush())
        return reportWriteFailure(path,
                                  file->error() ? std::strerror(file->error()) : "write failed");
    return kExitOk;
}

}  // namespace

std::string outputBaseName(const FontSetSettings& fontSet, const FontLookup& lookup) {
    return fontStem(lookup.nameFont) + fontChoiceSuffix(fontSet.faceIndex, fontSet.variations) +
           "_size" + std::to_string(fontSet.fontSize) + "_bits" +
           std::to_string(fontSet.renderMode);
}

int exportFontSet(const fs::path& toolDir, const fs::path& projectDir, FontSetSettings fontSet,
                  const TransformSettings& transform, const CharacterTables& selected,
                  const FontLookup& lookup, const std::vector<RunInput>& inputs,
                  const std::vector<UiString>& strings) {
    const OutputNames names = outputNames(projectDir, fontSet, lookup);
    // One run at a time writes the outputs of this name, from the first check to the last
    // rename.
    platform::OutputLock lock;
    std::string lockName = platform::pathToUtf8(names.listFile.filename());
    lockName.resize(lockName.size() - std::string("_out.cst").size());
    lock.acquire(names.listFile.parent_path(), lockName, tellWaiting,
                 const_cast<fs::path*>(&names.listFile));
    const std::vector<FontLookup> fallbacks = lookUpFallbacks(toolDir, projectDir, fontSet);
    if (const int status = refuseInputs(lookup, fallbacks, names, inputs); status != kExitOk)
        return status;

    // Every file of the run is written under a temporary name, and all replace the earlier ones
    // together once complete. With strings the list file waits for their glyphs' code points,
    // unless the run stops for its font first.
    OutputSet outputs;
    const bool withStrings = !strings.empty();
    ListOutput list;
    if (!withStrings) {
        list = writeListFile(outputs, names.listFile, selected);
        if (!list.written && lookup.found) return reportWriteFailure(names.listFile, list.error);
    }
    auto stopForFont = [&](int status, bool fontMissing) {
        if (withStrings && !list.file) list = writeListFile(outputs, names.listFile, selected);
        return keepList(list, names.listFile, status, fontMissing);
    };

    if (fontSet.font.empty()) fontSet.font = kDefaultFontName;
    // The font file's header names the font as the outputs do.
    if (lookup.byPath) fontSet.font = lookup.nameFont;

    FontChain fonts;
    if (const int status = findChainFonts(toolDir, fontSet, lookup, fallbacks, fonts.paths);
        status != kExitOk)
        return stopForFont(status, !lookup.found);
    if (const int status = openFontChain(fontSet, lookup, fonts); status != kExitOk)
        return stopForFont(status, false);
    StringPlan plan;
    if (withStrings) {
        if (const int status = planChainStrings(strings, fonts, selected, plan); status != kExitOk)
            return status;
        list = writeListFile(outputs, names.listFile, plan.tables);
        if (!list.written) return reportWriteFailure(names.listFile, list.error);
    }
    const CharacterTables& tables = withStrings ? plan.tables : selected;

    RenderReport report;
    Progress progress(tables.charCount, platform::stderrIsTerminal());
    uint64_t bytes = 0;
    // The compact file replaces neither "<base>_font.bin" nor "<base>_adv.bin": an earlier run's
    // pair still describe each other, and a firmware may still use them. Its widths are inside.
    std::optional<AdvanceFile> advances;
    // Kerning pairs live in the width file (its version 2), which they bring along; the compact
    // file holds them itself.
    if ((fontSet.advances || fontSet.kerning) && !fontSet.compact) advances.emplace();
    const fs::path& fontFile = fontSet.compact ? names.compactFile : names.fontFile;
    const int status =
        fontSet.compact ? writeCompactFile(outputs, fontFile, fontSet, transform, tables, fonts,
                                           progress, report, bytes)
                        : writeFontFile(outputs, fontFile, fontSet, transform, tables, fonts,
                                        progress, report, advances ? &*advances : nullptr, bytes);
    // A font that cannot draw a character it maps stops the run; the list file still replaces
    // the earlier one, as it does for a missing font.
    if (status == kExitFontUnusable) return keepList(list, names.listFile, status, false);
    if (status != kExitOk) return status;
    if (withStrings) {
        if (const int added = addStringsFile(outputs, names.stringsFile, fontSet, fonts, plan);
            added != kExitOk) {
            progress.abandon();
            return added;
        }
    }
    if (advances && fontSet.kerning) {
        advances->kerning = true;
        advances->pairs = chainKerning(fonts, tables);
        countClampedKerning(advances->pairs, report);
    }
    if (advances) {
        if (const int added =
                addAdvanceFile(outputs, names.advanceFile, fontSet, tables, *advances);
            added != kExitOk) {
            progress.abandon();
            return added;
        }
    }
    // Earlier outputs of this name that no longer belong beside the new ones go with the set.
    const EarlierOutputs earlier =
        earlierOutputs(names, fontSet.compact, advances.has_value(), withStrings, tables);
    fs::path failed;
    std::string error;
    if (!outputs.commit(earlier.remove, failed, error)) {
        progress.abandon();
        if (std::find(earlier.remove.begin(), earlier.remove.end(), failed) == earlier.remove.end())
            return reportWriteFailure(failed, error);
        platform::writeErrLine(
            "error: cannot remove " + platform::pathToUtf8(failed) +
            ", an earlier output that does not belong with the new files: " + error);
        return kExitOutputFailed;
    }
    lock.release();
    progress.finish(platform::pathToUtf8(fontFile), bytes);
    for (const std::string& note : earlier.notes) platform::writeErrLine(note);
    if (fontSet.compact || advances) warnClampedAdvances(fontSet, report);
    printRenderReport(fontSet, report);
    return kExitOk;
}

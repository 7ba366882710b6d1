#include "driver/Export.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <tuple>

#include "config/FontChoices.h"
#include "driver/CellGeometry.h"
#include "driver/FontLookup.h"
#include "driver/OutputFile.h"
#include "driver/Progress.h"
#include "driver/Run.h"
#include "output/AdvanceFileWriter.h"
#include "output/CharListWriter.h"
#include "output/FontFileWriter.h"
#include "platform/platform.h"
#include "render/CvxText.h"

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

}  // namespace

int exportFontSet(const fs::path& toolDir, const fs::path& projectDir, FontSetSettings fontSet,
                  const TransformSettings& transform, const CharacterTables& tables,
                  const FontLookup& lookup) {
    // Names come from the font as configured, before the default applies: an empty font gives
    // names that start with "_size". A font found only as a path is named after its file. A
    // face other than 0 and each variation add to the names, so runs that differ only in face
    // or instance never overwrite each other.
    const std::string base =
        fontStem(lookup.nameFont) + fontChoiceSuffix(fontSet.faceIndex, fontSet.variations) +
        "_size" + std::to_string(fontSet.fontSize) + "_bits" + std::to_string(fontSet.renderMode);
    const fs::path fontFilePath = outputPath(projectDir, base + "_font.bin");
    const fs::path listFilePath = outputPath(projectDir, base + "_out.cst");

    // The list file is written first. It replaces the earlier one together with the font file,
    // or on its own when the run stops for the font (missing or unusable), as it did before the
    // font was looked at.
    OutputSet outputs;
    std::string error;
    OutputFile* listFile = outputs.add(listFilePath, error);
    bool listWritten = listFile != nullptr;
    if (listWritten) {
        writeCharList(*listFile, tables.charList.data(), tables.charCount);
        listWritten = listFile->close(error);
    }
    // A missing font is the fault the user must hear of, whatever became of the list file.
    if (!listWritten && lookup.found) return reportWriteFailure(listFilePath, error);
    auto keepList = [&](int status) {
        return listFile->commit(error) ? status : reportWriteFailure(listFilePath, error);
    };

    if (fontSet.font.empty()) fontSet.font = kDefaultFontName;
    // The font file's header names the font as the outputs do.
    if (lookup.byPath) fontSet.font = lookup.nameFont;

    const fs::path& fontPath = lookup.fontPath;
    const fs::path& fallbackPath = lookup.fallbackPath;
    // Without unifont.ttf the configured font stands in for it.
    const bool fallbackIsFont = fallbackPath == fontPath;
    if (!lookup.found) {
        if (listWritten && !listFile->commit(error)) listWritten = false;
        if (!listWritten)
            platform::writeErrLine("error: cannot write " + platform::pathToUtf8(listFilePath) +
                                   ": " + error);
        platform::writeOut(platform::pathToUtf8(fontPath) + " not exist!\n");
        for (const std::string& line : fontNotFoundHelp(toolDir, fontSet.font))
            platform::writeErrLine(line);
        return kExitFontUnusable;
    }

    // FreeType would call a folder an unknown file format, and would wait forever on a pipe.
    if (const std::string reason = fontFileProblem(fontPath); !reason.empty()) {
        platform::writeErrLine("error: cannot open font \"" + platform::pathToUtf8(fontPath) +
                               "\": " + reason);
        return keepList(kExitFontUnusable);
    }
    // The fonts asked in turn for characters `font` does not map, found as `font` is.
    std::vector<fs::path> chainPaths{fontPath};
    std::map<std::string, FontLookup> looked;  // a name the list repeats is looked up once
    for (const FontChoice& choice : fontSet.fallbackFonts) {
        auto known = looked.find(choice.font);
        if (known == looked.end())
            known = looked.emplace(choice.font, lookUpFont(toolDir, projectDir, choice.font)).first;
        const FontLookup& found = known->second;
        const fs::path& path = found.fontPath;
        if (!found.found) {
            platform::writeOut(platform::pathToUtf8(path) + " not exist!\n");
            platform::writeErrLine("note: \"" + choice.font +
                                   "\" is named in fontSet.fallbackFonts");
            for (const std::string& line : fontNotFoundHelp(toolDir, choice.font))
                platform::writeErrLine(line);
            return keepList(kExitFontUnusable);
        }
        if (const std::string reason = fontFileProblem(path); !reason.empty()) {
            platform::writeErrLine("error: cannot open font \"" + platform::pathToUtf8(path) +
                                   "\": " + reason);
            return keepList(kExitFontUnusable);
        }
        chainPaths.push_back(path);
    }

    const CellSize cellSize = computeCellSize(fontSet, transform.rotate);
    std::unique_ptr<CvxText> primaryText;
    std::unique_ptr<CvxText> fallbackText;
    // The fallbackFonts, in order; null for one that repeats the font or an earlier fallback
    // font (same file, face and instance), which could never draw a character and would only
    // cost another FreeType instance.
    std::vector<std::unique_ptr<CvxText>> chain;
    try {
        const std::array<double, 4> size{static_cast<double>(fontSet.fontSize), 0, 0.1, 0};
        primaryText = std::make_unique<CvxText>(platform::pathToUtf8(fontPath), fontSet.faceIndex,
                                                fontSet.variations);
        primaryText->setSize(&size);
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
            chain.push_back(repeats
                                ? nullptr
                                : std::make_unique<CvxText>(platform::pathToUtf8(chainPaths[k + 1]),
                                                            choice.faceIndex, choice.variations));
            if (chain.back()) chain.back()->setSize(&size);
        }
        // Standing in for a missing unifont.ttf, the configured font keeps its face and instance.
        fallbackText = fallbackIsFont
                           ? std::make_unique<CvxText>(platform::pathToUtf8(fallbackPath),
                                                       fontSet.faceIndex, fontSet.variations)
                           : std::make_unique<CvxText>(platform::pathToUtf8(fallbackPath));
        fallbackText->setSize(&size);
    } catch (const FontChoiceError& e) {
        platform::writeErrLine(std::string("error: ") + e.what());
        return keepList(kExitInvalidValue);
    } catch (const FontError& e) {
        platform::writeErrLine(std::string("error: ") + e.what());
        return keepList(kExitFontUnusable);
    }

    OutputFile* fontFile = outputs.add(fontFilePath, error);
    if (!fontFile) return reportWriteFailure(fontFilePath, error);
    FontFileWriter writer(*fontFile, fontSet, transform.rotate);
    writer.writeHeader(tables.charIndex.data(), tables.charList.data(), tables.charCount);

    // Advance widths, when asked for: one per character, in glyph order.
    AdvanceFile advances;
    size_t clampedAdvances = 0;
    if (fontSet.advances) {
        advances.fontSize = static_cast<uint8_t>(fontSet.fontSize);
        advances.baseline = static_cast<uint8_t>(primaryText->baseline(fontSet.fontSize));
        advances.widths.reserve(static_cast<size_t>(tables.charCount));
    }

    Progress progress(tables.charCount, platform::stderrIsTerminal());
    MissingGlyphs missing;
    // Glyphs whose ink the counter-clockwise turn moved out of the cell, and the first of them.
    int32_t inkLost = 0;
    std::string inkLostFirst;
    std::vector<int32_t> drawnBy(chain.empty() ? 0 : chain.size() + 1);  // per font of the chain
    // One cell for the whole loop: each character is drawn over the previous one's storage.
    GlyphCell cell;
    for (int32_t i = 0; i < tables.charCount && writer.ok(); ++i) {
        const uint16_t code = tables.charList[static_cast<size_t>(i)];
        IntPair extent{cellSize.cols, cellSize.rows};
        IntPair origin{cellSize.cols, cellSize.rows};
        // The first font of [font, fallbackFonts...] that maps the character draws it; the
        // configured font when none does.
        CvxText* text = primaryText.get();
        size_t drawer = 0;
        if (!chain.empty() && !primaryText->hasGlyph(code)) {
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
            platform::writeErrLine("error: font \"" + platform::pathToUtf8(chainPaths[drawer]) +
                                   "\" maps " + codePointText(code) +
                                   " but FreeType cannot draw it: " + text->lastFailure());
            return keepList(kExitFontUnusable);
        }
        // A cell the configured font leaves empty is drawn once more with the fallback font.
        const bool usedFallback = cell.packedSize == 0 || allZero(cell.cell.data, cell.packedSize);
        if (usedFallback) {
            extent = IntPair{cellSize.cols, cellSize.rows};
            origin = IntPair{cellSize.cols, cellSize.rows};
            renderCell(cell, cellSize, code, *fallbackText, extent, origin, fontSet, transform);
        }
        if ((usedFallback ? *fallbackText : *text).inkLost() && ++inkLost <= 8)
            inkLostFirst += (inkLostFirst.empty() ? "" : " ") + codePointText(code);
        if (drawer == 0 && !primaryText->hasGlyph(code))
            missing.add(code, usedFallback, usedFallback && fallbackText->hasGlyph(code));
        if (!drawnBy.empty()) ++drawnBy[drawer];
        if (fontSet.advances) {
            // The font of the chain that maps the character gives its width, even when it draws
            // it empty (a space); when none maps it, the font whose cell is kept.
            const CvxText& from = usedFallback && !text->hasGlyph(code) ? *fallbackText : *text;
            bool clamped = false;
            advances.widths.push_back(advancePixels(from.lastAdvance(), clamped));
            clampedAdvances += clamped;
        }
        writer.writeGlyph(cell.packed(code, extent, origin));
        progress.update(i + 1);
    }
    writer.finish();
    if (!writer.ok()) {
        progress.abandon();
        // The temporary files go with `outputs`; the earlier files stay as they were.
        return reportWriteFailure(fontFilePath,
                                  writer.error() ? std::strerror(writer.error()) : "write failed");
    }
    if (fontSet.advances) {
        // The offset-table layout has no record for a character without ink, so the file lists
        // the code points its widths belong to.
        if (fontSet.crop & 1)
            advances.codePoints.assign(tables.charList.begin(),
                                       tables.charList.begin() + tables.charCount);
        const fs::path advancePath = outputPath(projectDir, base + "_adv.bin");
        OutputFile* advanceFile = outputs.add(advancePath, error);
        if (!advanceFile) {
            progress.abandon();
            return reportWriteFailure(advancePath, error);
        }
        writeAdvanceFile(*advanceFile, advances);
    }
    fs::path failed;
    if (!outputs.commit(failed, error)) {
        progress.abandon();
        return reportWriteFailure(failed, error);
    }
    progress.finish(platform::pathToUtf8(fontFilePath), writer.bytesWritten());
    if (fontSet.advances) {
        if (clampedAdvances)
            platform::writeErrLine("warning: " + fontSet.font + ": " +
                                   std::to_string(clampedAdvances) +
                                   " advance width(s) above 255 pixels stored as 255");
    } else {
        // Widths of an earlier run describe the font file just replaced, not this one: the
        // reader and the tools would pair them by name.
        const fs::path stale = outputPath(projectDir, base + "_adv.bin");
        if (platform::pathExists(stale) && platform::notAFileReason(stale).empty()) {
            std::error_code ec;
            if (!fs::remove(stale, ec) && ec)
                platform::writeErrLine("warning: cannot remove " + platform::pathToUtf8(stale) +
                                       ", the width file of an earlier run, which does not match "
                                       "the new font file: " +
                                       ec.message());
        }
    }
    const std::string missingReport = missing.report(fontSet.font, !chain.empty());
    if (!missingReport.empty()) platform::writeErrLine(missingReport);
    if (!chain.empty()) {
        auto label = [](const std::string& font, int32_t face) {
            return face == 0 ? font : font + " (face " + std::to_string(face) + ")";
        };
        std::vector<std::string> names{label(fontSet.font, fontSet.faceIndex)};
        for (const FontChoice& choice : fontSet.fallbackFonts)
            names.push_back(label(choice.font, choice.faceIndex));
        platform::writeErrLine(chainReport(names, drawnBy));
    }
    if (inkLost > 0)
        platform::writeErrLine(
            "warning: " + std::to_string(inkLost) + " glyph(s) lost ink outside the cell (" +
            inkLostFirst + (inkLost > 8 ? " ..." : "") +
            "): the counter-clockwise turn (rotate=2) shifts each glyph by where it lies in the "
            "upright cell, which with column scanning (\"V\") can move ink out; the bytes are "
            "written as they are");
    return kExitOk;
}

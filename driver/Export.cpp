#include "driver/Export.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>

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

constexpr const char* kDefaultFont = "simsun.ttc";

std::string separator() {
    return platform::hostPathStyle() == platform::PathStyle::Windows ? "\\" : "/";
}

// Output names are appended to the folder as text, so a stem with folders in it stays below it.
fs::path outputPath(const fs::path& projectDir, const std::string& name) {
    return platform::pathFromUtf8(platform::pathToUtf8(projectDir) + separator() + name);
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
    // names that start with "_size". A font found only as a path is named after its file.
    const std::string base = fontStem(lookup.nameFont) + "_size" +
                             std::to_string(fontSet.fontSize) + "_bits" +
                             std::to_string(fontSet.renderMode);
    const fs::path fontFilePath = outputPath(projectDir, base + "_font.bin");
    const fs::path listFilePath = outputPath(projectDir, base + "_out.cst");

    // The list file is written first, so it exists even when the font turns out to be missing.
    {
        OutputFile listFile(listFilePath);
        std::string error;
        if (!listFile.open(error)) return reportWriteFailure(listFilePath, error);
        writeCharList(listFile, tables.charList.data(), tables.charCount);
        if (!listFile.commit(error)) return reportWriteFailure(listFilePath, error);
    }

    if (fontSet.font.empty()) fontSet.font = kDefaultFont;
    // The font file's header names the font as the outputs do.
    if (lookup.byPath) fontSet.font = lookup.nameFont;

    const fs::path& fontPath = lookup.fontPath;
    const fs::path& fallbackPath = lookup.fallbackPath;
    if (!lookup.found) {
        platform::writeOut(platform::pathToUtf8(fontPath) + " not exist!\n");
        for (const std::string& line : fontNotFoundHelp(toolDir, fontSet.font))
            platform::writeErrLine(line);
        return kExitFontUnusable;
    }

    // FreeType would call a folder an unknown file format, and would wait forever on a pipe.
    if (const std::string reason = platform::notAFileReason(fontPath); !reason.empty()) {
        platform::writeErrLine("error: cannot open font \"" + platform::pathToUtf8(fontPath) +
                               "\": " + reason);
        return kExitFontUnusable;
    }

    const CellSize cellSize = computeCellSize(fontSet, transform.rotate);
    std::unique_ptr<CvxText> primaryText;
    std::unique_ptr<CvxText> fallbackText;
    try {
        const std::array<double, 4> size{static_cast<double>(fontSet.fontSize), 0, 0.1, 0};
        primaryText = std::make_unique<CvxText>(platform::pathToUtf8(fontPath));
        primaryText->setSize(&size);
        fallbackText = std::make_unique<CvxText>(platform::pathToUtf8(fallbackPath));
        fallbackText->setSize(&size);
    } catch (const FontError& e) {
        platform::writeErrLine(std::string("error: ") + e.what());
        return kExitFontUnusable;
    }

    OutputFile fontFile(fontFilePath);
    std::string error;
    if (!fontFile.open(error)) return reportWriteFailure(fontFilePath, error);
    FontFileWriter writer(fontFile, fontSet, transform.rotate);
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
    // One cell for the whole loop: each character is drawn over the previous one's storage.
    GlyphCell cell;
    for (int32_t i = 0; i < tables.charCount && writer.ok(); ++i) {
        const uint16_t code = tables.charList[static_cast<size_t>(i)];
        IntPair extent{cellSize.cols, cellSize.rows};
        IntPair origin{cellSize.cols, cellSize.rows};
        renderCell(cell, cellSize, code, *primaryText, extent, origin, fontSet, transform);
        // A character the font maps but FreeType cannot load or draw means damaged glyph data
        // (a file cut short, say). Drawing it with the fallback font would hide that, so the
        // run stops here and the earlier font file stays as it was.
        if (!primaryText->lastFailure().empty() && primaryText->hasGlyph(code)) {
            progress.abandon();
            platform::writeErrLine("error: font \"" + platform::pathToUtf8(fontPath) + "\" maps " +
                                   codePointText(code) +
                                   " but FreeType cannot draw it: " + primaryText->lastFailure());
            return kExitFontUnusable;
        }
        // A cell the configured font leaves empty is drawn once more with the fallback font.
        const bool usedFallback = cell.packedSize == 0 || allZero(cell.cell.data, cell.packedSize);
        if (usedFallback) {
            extent = IntPair{cellSize.cols, cellSize.rows};
            origin = IntPair{cellSize.cols, cellSize.rows};
            renderCell(cell, cellSize, code, *fallbackText, extent, origin, fontSet, transform);
        }
        if ((usedFallback ? *fallbackText : *primaryText).inkLost() && ++inkLost <= 8)
            inkLostFirst += (inkLostFirst.empty() ? "" : " ") + codePointText(code);
        if (!primaryText->hasGlyph(code))
            missing.add(code, usedFallback, usedFallback && fallbackText->hasGlyph(code));
        if (fontSet.advances) {
            // The font that maps the character gives its width, even when it draws it empty (a
            // space); when it does not map it, the font whose cell is kept.
            const CvxText& from =
                usedFallback && !primaryText->hasGlyph(code) ? *fallbackText : *primaryText;
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
        // The temporary file is dropped with `fontFile`; an earlier good file stays as it was.
        return reportWriteFailure(fontFilePath,
                                  writer.error() ? std::strerror(writer.error()) : "write failed");
    }
    if (!fontFile.commit(error)) {
        progress.abandon();
        return reportWriteFailure(fontFilePath, error);
    }
    progress.finish(platform::pathToUtf8(fontFilePath), writer.bytesWritten());
    if (fontSet.advances) {
        // The offset-table layout has no record for a character without ink, so the file lists
        // the code points its widths belong to.
        if (fontSet.crop & 1)
            advances.codePoints.assign(tables.charList.begin(),
                                       tables.charList.begin() + tables.charCount);
        const fs::path advancePath = outputPath(projectDir, base + "_adv.bin");
        OutputFile advanceFile(advancePath);
        if (!advanceFile.open(error)) return reportWriteFailure(advancePath, error);
        writeAdvanceFile(advanceFile, advances);
        if (!advanceFile.commit(error)) return reportWriteFailure(advancePath, error);
        if (clampedAdvances)
            platform::writeErrLine("warning: " + fontSet.font + ": " +
                                   std::to_string(clampedAdvances) +
                                   " advance width(s) above 255 pixels stored as 255");
    }
    const std::string missingReport = missing.report(fontSet.font);
    if (!missingReport.empty()) platform::writeErrLine(missingReport);
    if (inkLost > 0)
        platform::writeErrLine(
            "warning: " + std::to_string(inkLost) + " glyph(s) lost ink outside the cell (" +
            inkLostFirst + (inkLost > 8 ? " ..." : "") +
            "): the counter-clockwise turn (rotate=2) shifts each glyph by where it lies in the "
            "upright cell, which with column scanning (\"V\") can move ink out; the bytes are "
            "written as they are");
    return kExitOk;
}

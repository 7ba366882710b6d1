// The export's pipeline for some of the selected characters, into memory: the fonts of the chain,
// each character drawn as the tool draws it, and the font file (with its width file) that the
// tool's writers make of them, for the device reader to draw from.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "charset/CharacterTables.h"
#include "render/CvxText.h"
#include "tools/studio/Engine.h"

namespace studio {

// The fonts that draw, as the export asks them: the configured font, the fallbackFonts in order
// (null for one that repeats another), and the fallback font for a cell left empty.
struct ChainFonts {
    CvxText* primary = nullptr;
    std::vector<CvxText*> chain;
    CvxText* fallback = nullptr;
};

// Opens (or takes from a cache) one font of the chain; throws FontError as CvxText does.
using FontOpener = std::function<CvxText*(const std::filesystem::path& path, int32_t face,
                                          const std::vector<AxisValue>& variations)>;

// The chain for `p`, every font sized to its fontSize. Empty `error` on success; otherwise the
// command line's line about the font that failed.
ChainFonts openChain(const Prepared& p, const FontOpener& open, std::string& error);

// Each of `codes` (ascending) drawn as the export draws it, handed to `sink` with its advance
// width in pixels. Stops early when `cancel` becomes true. Empty on success, else the reason.
using GlyphSink = std::function<void(const PackedGlyph& glyph, uint8_t advance)>;
std::string renderCodes(const Prepared& p, ChainFonts& fonts, const std::vector<uint16_t>& codes,
                        const GlyphSink& sink, const std::atomic<bool>* cancel = nullptr);

// The font file (the compact one with "compact") and the width file, when the configuration asks
// for one, of exactly the characters of `codes`, as fontbin would write them for that selection.
struct MemoryFiles {
    std::vector<uint8_t> font;
    std::vector<uint8_t> advances;
};
std::string writeInMemory(const Prepared& p, ChainFonts& fonts, const std::vector<uint16_t>& codes,
                          MemoryFiles& out);

// The answer to a preview request: `codes` the glyphs to show one by one, `text` to draw with
// lines wrapped at `wrapWidth` pixels (0: only at line ends), before a character or at words.
std::string previewJson(const Prepared& p, ChainFonts& fonts, const std::vector<uint32_t>& codes,
                        const std::string& text, unsigned wrapWidth, bool words);

// The sizes of every layout for the whole selection, in JSON, counting `done` as it goes.
std::string layoutSizesJson(const Prepared& p, ChainFonts& fonts, std::atomic<int64_t>& done,
                            const std::atomic<bool>& cancel);

}  // namespace studio

// What a long run tells the person watching it: a self-updating progress line on a terminal,
// and a report of characters the font cannot draw. Only standard error is used.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

class Progress {
public:
    // Shows progress only when standard error is a terminal and the run is long enough to wait
    // for; `enabled` overrides the terminal test (for tests).
    Progress(int32_t total, bool enabled);
    void update(int32_t done);
    // Clears the progress line and prints the one-line summary (only when progress was shown).
    void finish(const std::string& file, uint64_t bytes);
    // Clears the progress line without a summary, so that an error message starts a clean line.
    void abandon();

    static constexpr int32_t kMinimumGlyphs = 1000;

private:
    double elapsed() const;

    int32_t total_;
    bool enabled_;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastDraw_;
};

// Characters the configured font has no glyph for (character index 0). The font then draws its
// missing-glyph symbol, or, when that is empty, the fallback font is asked; the report says
// which happened, so nobody mistakes a file full of boxes for a complete one.
class MissingGlyphs {
public:
    // `usedFallback`: the configured font drew nothing, so the fallback font drew the character;
    // `fallbackHasIt`: the fallback font maps it.
    void add(uint16_t code, bool usedFallback, bool fallbackHasIt);
    // One line for standard error, or empty when every character is mapped. `chained`: the
    // characters counted are those no font of the fallbackFonts chain maps either.
    std::string report(const std::string& fontName, bool chained = false) const;

    static constexpr size_t kListed = 8;

private:
    int32_t count_ = 0;
    int32_t drawnAsMissing_ = 0;
    int32_t drawnByFallback_ = 0;
    int32_t missingInFallback_ = 0;
    std::vector<uint16_t> first_;
};

// "characters drawn: 95 by DejaVuSans.ttf, 7445 by NotoSansCJK-Regular.ttc (face 2)": how many
// characters each font of the chain drew, fonts and counts in chain order.
std::string chainReport(const std::vector<std::string>& fonts, const std::vector<int32_t>& counts);

// "U+4E00": the code point in at least four upper-case hexadecimal digits.
std::string codePointText(uint32_t code);

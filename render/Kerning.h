// Kerning of a font at the run's size, for the width file: which selected characters move closer
// together or further apart when they follow each other, in whole pixels. Read through HarfBuzz
// from the GPOS pair adjustments of the `kern` feature, or from the legacy `kern` table when GPOS
// has no such feature (HarfBuzz's own choice when it shapes).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct FT_FaceRec_;

// The pen moves by `adjust` pixels more (negative: less) between `left` and a following `right`.
struct KernPair {
    uint16_t left = 0;
    uint16_t right = 0;
    int32_t adjust = 0;

    bool operator<(const KernPair& other) const {
        return left != other.left ? left < other.left : right < other.right;
    }
};

// About twice the pairs of the most kerned font we know, over all of its characters: a count past
// it points at a damaged table rather than at kerning, and the run warns. Over every BMP
// character each font maps, at 16 and 32 px, 300 fonts (DejaVu, Noto, Noto CJK, WenQuanYi, IPA,
// Inter) give at most 220,425 (Inter Display at 32 px; 257,009 at 128 px), Noto Serif Ethiopic
// 130,962, Noto Serif 54,311, Noto Sans CJK 11,018 and DejaVu Sans 2,727.
constexpr size_t kUsualKerningPairs = 500000;

// A 26.6 pixel value rounded to whole pixels, halves towards positive infinity: the rule of the
// advance widths ((v + 32) >> 6), also for negative values.
int32_t kerningPixels(long value26_6);

// The non-zero pairs among `codes` (ascending) for the sized FreeType `face`, sorted by left then
// right code point. Only characters whose glyph some kerning lookup (or the kern table) names are
// paired, so a large set without kerning costs one pass over its characters.
std::vector<KernPair> faceKerningPairs(FT_FaceRec_* face, const std::vector<uint16_t>& codes);

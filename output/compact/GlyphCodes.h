// The prefix codes of the compact file's version 3: each glyph's coded size in the glyph table
// and its ink box at the head of its own code, both in canonical prefix codes built for the
// font, so that a box the font repeats costs 2 to 4 bits where fixed fields took 13 or more.
#pragma once

#include <cstdint>
#include <vector>

#include "output/compact/BitIo.h"
#include "output/compact/Encoder.h"

namespace compact {

// Longest code word: the reader's decoding loop runs over 1 .. kMaxCodeLength.
constexpr uint32_t kMaxCodeLength = 15;

// A canonical prefix code: words of each length 1 .. kMaxCodeLength, symbols in word order.
struct PrefixCode {
    std::vector<uint32_t> lengthOf;   // per symbol as given (0: not coded, or the lone one)
    std::vector<uint32_t> wordOf;     // per symbol, the word's bits (lengthOf of them)
    std::vector<uint32_t> order;      // the coded symbols in word order, as the file lists them
    uint16_t counts[kMaxCodeLength];  // words of length 1 .. kMaxCodeLength
};

// The code of least total length for these frequencies with no word over kMaxCodeLength; a lone
// symbol (or, without any, symbol 0) gets the empty word.
PrefixCode prefixCode(const std::vector<uint64_t>& frequencies);

// What version 3 adds to the file: the codes' part and each glyph's box prefix.
struct GlyphCodes {
    uint32_t boxMin[4] = {0, 0, 0, 0};  // x, y, w, h: an escaped box's raw fields, value - min
    uint32_t boxBits[4] = {0, 0, 0, 0};
    std::vector<uint8_t> boxCode;  // the box code as stored, 4 bytes a symbol
    std::vector<Prefix> boxes;     // per glyph (count 0 without ink)
};

// The box code for every inked glyph of `set`: the font's boxes that pay for their dictionary
// entry, and an escape followed by the raw fields for the others.
GlyphCodes boxCodes(const GlyphSet& set);

// The glyph table of version 3 for `sizes` and the advances (minimum and bits as the header's
// fields give them), with the mark of every 2^kCheckpointShift-th glyph.
struct SizeTable {
    uint32_t sizeMin = 0;         // size = min + value, value 0 meaning a glyph without ink
    uint32_t lowBits = 0;         // the value's low bits, stored as they are after the code
    std::vector<uint8_t> code;    // the size code as stored, 1 byte a symbol
    std::vector<uint8_t> table;   // the records, most significant bit first
    std::vector<uint32_t> marks;  // table bit of each checkpoint's first glyph
};
SizeTable sizeTable(const GlyphSet& set, const std::vector<uint32_t>& sizes, uint32_t advanceMin,
                    uint32_t advanceBits);

}  // namespace compact

// The compact file's model: how each level is coded at a depth, the counts the writer gathers,
// and the probability tables built from them, stored once for the whole font.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "output/compact/ArithmeticEncoder.h"

namespace compact {

// How one level is coded in its context (see docs/file-format.md). 1 bpp: one binary decision,
// its probability a byte per context. 2 and 4 bpp: the level is one symbol of 4 or 16, coded by
// a cumulative frequency table of 12-bit u16 per context. 8 bpp: the high four bits so, then the
// low four by one of 16 tables chosen by the high four, in no context.
struct Depth {
    uint32_t bpp;
    uint32_t maxLevel;
    uint32_t qbits;    // bits a neighbour adds to the context: 1, or 2 for its quantised level
    uint32_t symbols;  // 2 (binary) or the symbols of a context's table
    uint32_t extra;    // counts after those of the contexts: 8 bpp's low four bits, 16 x 16
    uint8_t quant[256];

    explicit Depth(uint32_t b);
    size_t countSlots(uint32_t contexts) const {
        return static_cast<size_t>(contexts) * symbols + extra;
    }
    uint64_t modelBytes(uint32_t contexts) const {
        if (bpp == 1) return contexts;
        return static_cast<uint64_t>(contexts) * 2 * (symbols - 1) + (extra ? 16 * 30 : 0);
    }
    // The tables of cumulative frequencies (2 bpp and up): one per context, and 8 bpp's 16.
    uint32_t tables(uint32_t contexts) const { return contexts + (extra ? 16 : 0); }
    void count(uint32_t v, uint32_t ctx, uint32_t contexts, uint64_t* counts) const {
        if (bpp == 8) {
            ++counts[static_cast<size_t>(ctx) * symbols + (v >> 4)];
            ++counts[static_cast<size_t>(contexts) * symbols + v];  // 16 x high + low = v
        } else {
            ++counts[static_cast<size_t>(ctx) * symbols + v];
        }
    }
};

// The model bytes and, for the encoder, each table's cumulative frequencies (symbols + 1 per
// table: 0 first, 4096 last; none at 1 bpp, whose probabilities are the bytes).
struct Model {
    std::vector<uint8_t> bytes;
    std::vector<uint32_t> cum;
};

// The model of `counts` (Depth::countSlots(contexts) of them).
Model buildModel(const std::vector<uint64_t>& counts, const Depth& d, uint32_t contexts);

// P(bit = 1) in 1/4096 that a 1 bpp model byte stands for: (16 q + 8) / 4096.
inline uint32_t probability(uint8_t q) {
    return 16u * q + 8u;
}

// Bits the coded levels take under a model built from `counts`, in 1/65536 bits.
uint64_t codeLength(const std::vector<uint64_t>& counts, const Depth& d, uint32_t contexts);

}  // namespace compact

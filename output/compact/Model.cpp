#include "output/compact/Model.h"

namespace compact {
namespace {

// -log2(k / 4096) in 1/65536 bits, k = 1..4095, from integers only (so every host chooses the
// same model): the integer part from the highest bit, the fraction by repeated squaring.
uint32_t log2Q16(uint32_t k) {
    uint32_t whole = bitsFor(k) - 1;
    uint64_t y = (static_cast<uint64_t>(k) << 30) >> whole;  // k / 2^whole in [1, 2), Q30
    uint32_t frac = 0;
    for (int i = 15; i >= 0; --i) {
        y = (y * y) >> 30;
        if (y >= (2ull << 30)) {
            y >>= 1;
            frac |= 1u << i;
        }
    }
    return (whole << 16) | frac;
}

const std::vector<uint32_t>& costTable() {
    static const std::vector<uint32_t> table = [] {
        std::vector<uint32_t> t(kProbOne, 0);
        for (uint32_t k = 1; k < t.size(); ++k) t[k] = (kProbBits << 16) - log2Q16(k);
        return t;
    }();
    return table;
}

uint8_t probabilityByte(uint64_t n0, uint64_t n1) {
    // About (n1 + 1/2) / (n0 + n1 + 1), in steps of 1/256.
    const uint64_t q = (2 * n1 + 1) * 256 / (2 * (n0 + n1) + 2);
    return static_cast<uint8_t>(std::min<uint64_t>(q, 255));
}

// 12-bit frequencies of `n` symbols from their counts: every symbol that occurs gets at least
// 1, one that never occurs 0 (it is never coded), and they add up to 4096.
void frequencies(const uint64_t* counts, uint32_t n, uint32_t* freq) {
    uint64_t total = 0;
    uint32_t top = 0;
    for (uint32_t k = 0; k < n; ++k) {
        total += counts[k];
        if (counts[k] > counts[top]) top = k;
    }
    if (total == 0) {
        for (uint32_t k = 0; k < n; ++k) freq[k] = k == 0 ? kProbOne : 0;
        return;
    }
    int64_t sum = 0;
    for (uint32_t k = 0; k < n; ++k) {
        freq[k] = counts[k] == 0
                      ? 0
                      : static_cast<uint32_t>(std::max<uint64_t>(1, counts[k] * kProbOne / total));
        sum += freq[k];
    }
    freq[top] = static_cast<uint32_t>(static_cast<int64_t>(freq[top]) + kProbOne - sum);
}

}  // namespace

Depth::Depth(uint32_t b) : bpp(b), maxLevel((1u << b) - 1) {
    qbits = b == 1 ? 1 : 2;
    symbols = b == 1 ? 2 : std::min<uint32_t>(1u << b, 16);
    extra = b == 8 ? 256 : 0;
    for (uint32_t v = 0; v < 256; ++v) {
        uint32_t q = 0;
        if (b == 1)
            q = v != 0;
        else if (v == 0)
            q = 0;
        else if (v >= maxLevel)
            q = 3;
        else
            q = v < (maxLevel + 1) / 2 ? 1 : 2;
        quant[v] = static_cast<uint8_t>(q);
    }
}

Model buildModel(const std::vector<uint64_t>& counts, const Depth& d, uint32_t contexts) {
    Model m;
    if (d.bpp == 1) {
        m.bytes.resize(contexts);
        for (uint32_t c = 0; c < contexts; ++c)
            m.bytes[c] = probabilityByte(counts[2 * c], counts[2 * c + 1]);
        return m;
    }
    const uint32_t n = d.symbols;
    const uint32_t tables = d.tables(contexts);
    m.cum.resize(static_cast<size_t>(tables) * (n + 1));
    uint32_t freq[16];
    for (uint32_t t = 0; t < tables; ++t) {
        frequencies(&counts[static_cast<size_t>(t) * n], n, freq);
        uint32_t* cum = &m.cum[static_cast<size_t>(t) * (n + 1)];
        cum[0] = 0;
        for (uint32_t k = 0; k < n; ++k) cum[k + 1] = cum[k] + freq[k];
        for (uint32_t k = 1; k < n; ++k) {
            m.bytes.push_back(static_cast<uint8_t>(cum[k]));
            m.bytes.push_back(static_cast<uint8_t>(cum[k] >> 8));
        }
    }
    return m;
}

uint64_t codeLength(const std::vector<uint64_t>& counts, const Depth& d, uint32_t contexts) {
    const std::vector<uint32_t>& cost = costTable();
    uint64_t q16 = 0;
    if (d.bpp == 1) {
        for (uint32_t c = 0; c < contexts; ++c) {
            const uint32_t p1 = probability(probabilityByte(counts[2 * c], counts[2 * c + 1]));
            q16 += counts[2 * c] * cost[kProbOne - p1] + counts[2 * c + 1] * cost[p1];
        }
        return q16;
    }
    const uint32_t tables = d.tables(contexts);
    uint32_t freq[16];
    for (uint32_t t = 0; t < tables; ++t) {
        const uint64_t* c = &counts[static_cast<size_t>(t) * d.symbols];
        frequencies(c, d.symbols, freq);
        for (uint32_t k = 0; k < d.symbols; ++k)
            if (c[k] != 0 && freq[k] < kProbOne) q16 += c[k] * cost[freq[k]];
    }
    return q16;
}

}  // namespace compact

#include "output/compact/GlyphCodes.h"

#include <algorithm>
#include <map>
#include <queue>
#include <utility>

#include "reader/fb_format.h"

namespace compact {
namespace {

// Symbols of a code: each length's count is a byte.
constexpr uint32_t kMaxSymbols = 255;
// Symbols of the size code.
constexpr uint32_t kMaxSizeSymbols = 16;
// Boxes listed, besides the escape.
constexpr size_t kMaxBoxes = kMaxSymbols - 1;

// Huffman's word lengths for the symbols of non-zero frequency.
std::vector<uint32_t> huffmanLengths(const std::vector<uint64_t>& f) {
    std::vector<uint32_t> length(f.size(), 0);
    // Nodes: the symbols, then the merged pairs; parent links give each symbol's depth.
    std::vector<size_t> parent(f.size(), 0);
    using Entry = std::pair<uint64_t, size_t>;
    std::priority_queue<Entry, std::vector<Entry>, std::greater<Entry>> queue;
    for (size_t i = 0; i < f.size(); ++i)
        if (f[i] != 0) queue.push({f[i], i});
    while (queue.size() > 1) {
        const Entry a = queue.top();
        queue.pop();
        const Entry b = queue.top();
        queue.pop();
        parent.push_back(0);
        parent[a.second] = parent[b.second] = parent.size() - 1;
        queue.push({a.first + b.first, parent.size() - 1});
    }
    const size_t root = parent.size() - 1;
    for (size_t i = 0; i < f.size(); ++i)
        if (f[i] != 0)
            for (size_t n = i; n != root; n = parent[n]) ++length[i];
    return length;
}

// The code as stored: its longest word length L, the counts of each length 1 .. L (u8), then
// what `symbol` writes for each symbol in word order.
template <typename Write>
std::vector<uint8_t> storedCode(const PrefixCode& code, Write symbol) {
    uint32_t longest = 0;
    for (uint32_t l = 1; l <= kMaxCodeLength; ++l)
        if (code.counts[l - 1] != 0) longest = l;
    std::vector<uint8_t> out{static_cast<uint8_t>(longest)};
    for (uint32_t l = 1; l <= longest; ++l) out.push_back(static_cast<uint8_t>(code.counts[l - 1]));
    for (uint32_t s : code.order) symbol(out, s);
    return out;
}

uint64_t codedBits(const PrefixCode& code, const std::vector<uint64_t>& f) {
    uint64_t bits = 0;
    for (size_t i = 0; i < f.size(); ++i) bits += f[i] * code.lengthOf[i];
    return bits;
}

}  // namespace

PrefixCode prefixCode(const std::vector<uint64_t>& frequencies) {
    PrefixCode code;
    std::fill(code.counts, code.counts + kMaxCodeLength, uint16_t{0});
    std::vector<uint64_t> f = frequencies;
    code.lengthOf.assign(f.size(), 0);
    for (size_t i = 0; i < f.size(); ++i)
        if (f[i] != 0) code.order.push_back(static_cast<uint32_t>(i));
    // A lone symbol (or none: symbol 0 stands for it) has the empty word.
    if (code.order.size() <= 1) {
        if (code.order.empty()) code.order.push_back(0);
        code.wordOf.assign(f.size(), 0);
        return code;
    }
    // Too long a word: flatten the frequencies until none is.
    for (;;) {
        code.lengthOf = huffmanLengths(f);
        if (*std::max_element(code.lengthOf.begin(), code.lengthOf.end()) <= kMaxCodeLength) break;
        for (uint64_t& v : f)
            if (v != 0) v = (v + 1) / 2;
    }
    std::stable_sort(code.order.begin(), code.order.end(),
                     [&](uint32_t a, uint32_t b) { return code.lengthOf[a] < code.lengthOf[b]; });
    // Canonical words: each length's words follow on from the shorter ones', in symbol order.
    code.wordOf.assign(f.size(), 0);
    uint32_t word = 0, length = 1;
    for (uint32_t s : code.order) {
        for (; length < code.lengthOf[s]; ++length) word <<= 1;
        code.wordOf[s] = word++;
        ++code.counts[length - 1];
    }
    return code;
}

GlyphCodes boxCodes(const GlyphSet& set) {
    GlyphCodes out;
    out.boxes.assign(set.glyphs.size(), Prefix{});
    uint32_t lo[4] = {~0u, ~0u, ~0u, ~0u}, hi[4] = {0, 0, 0, 0};
    std::map<uint32_t, uint64_t> seen;  // a box that fits in 4 bytes, as they are stored
    auto packed = [](const GlyphBox& g) {
        return static_cast<uint32_t>(g.x | g.y << 8 | g.w << 16) | static_cast<uint32_t>(g.h) << 24;
    };
    auto fitsBytes = [](const GlyphBox& g) { return (g.x | g.y | g.w | g.h) < 256; };
    for (const GlyphBox& g : set.glyphs) {
        if (g.w == 0) continue;
        const int32_t v[4] = {g.x, g.y, g.w, g.h};
        for (int k = 0; k < 4; ++k) {
            lo[k] = std::min(lo[k], static_cast<uint32_t>(v[k]));
            hi[k] = std::max(hi[k], static_cast<uint32_t>(v[k]));
        }
        if (fitsBytes(g)) ++seen[packed(g)];
    }
    uint32_t rawBits = 0;
    for (int k = 0; k < 4; ++k) {
        if (lo[k] > hi[k]) lo[k] = hi[k] = 0;
        out.boxMin[k] = lo[k];
        out.boxBits[k] = bitsFor(hi[k] - lo[k]);
        rawBits += out.boxBits[k];
    }
    std::vector<std::pair<uint64_t, uint32_t>> byCount;  // (count, box), most frequent first
    uint64_t inked = 0;
    for (const auto& [box, count] : seen) byCount.push_back({count, box});
    for (const GlyphBox& g : set.glyphs) inked += g.w != 0;
    std::stable_sort(byCount.begin(), byCount.end(),
                     [](const auto& a, const auto& b) { return a.first > b.first; });

    // The dictionary of the `n` most frequent boxes (symbols 0 .. n - 1) and the escape
    // (symbol n): its code and frequencies.
    auto codeFor = [&](size_t n, std::vector<uint64_t>& f) {
        f.assign(n + 1, 0);
        uint64_t listed = 0;
        for (size_t i = 0; i < n; ++i) listed += f[i] = byCount[i].first;
        f[n] = inked - listed;
        return prefixCode(f);
    };
    // Each box listed costs its 4 bytes: weigh dictionaries of growing size, each a quarter
    // larger than the one before.
    size_t best = 0;
    uint64_t bestBits = ~uint64_t{0};
    std::vector<uint64_t> f;
    const size_t most = std::min(byCount.size(), kMaxBoxes);
    for (size_t n = 0;; n = std::max(n + 1, n * 5 / 4)) {
        n = std::min(n, most);
        const PrefixCode code = codeFor(n, f);
        const uint64_t bits = codedBits(code, f) + f[n] * rawBits + 32 * code.order.size();
        if (bits < bestBits) {
            bestBits = bits;
            best = n;
        }
        if (n == most) break;
    }
    const PrefixCode code = codeFor(best, f);
    out.boxCode = storedCode(code, [&](std::vector<uint8_t>& o, uint32_t s) {
        const uint32_t box = s < best ? byCount[s].second : 0;  // w 0: the escape
        for (int k = 0; k < 4; ++k) o.push_back(static_cast<uint8_t>(box >> (8 * k)));
    });
    std::map<uint32_t, uint32_t> symbolOf;
    for (size_t i = 0; i < best; ++i) symbolOf[byCount[i].second] = static_cast<uint32_t>(i);
    for (size_t i = 0; i < set.glyphs.size(); ++i) {
        const GlyphBox& g = set.glyphs[i];
        if (g.w == 0) continue;
        const auto it = fitsBytes(g) ? symbolOf.find(packed(g)) : symbolOf.end();
        const uint32_t s = it != symbolOf.end() ? it->second : static_cast<uint32_t>(best);
        Prefix& p = out.boxes[i];
        p.bits = code.wordOf[s];
        p.count = code.lengthOf[s];
        if (s == best) {
            const int32_t v[4] = {g.x, g.y, g.w, g.h};
            for (int k = 0; k < 4; ++k) {
                p.bits = p.bits << out.boxBits[k] | (static_cast<uint32_t>(v[k]) - out.boxMin[k]);
                p.count += out.boxBits[k];
            }
        }
    }
    return out;
}

SizeTable sizeTable(const GlyphSet& set, const std::vector<uint32_t>& sizes, uint32_t advanceMin,
                    uint32_t advanceBits) {
    SizeTable out;
    uint32_t least = ~0u, most = 0;
    for (uint32_t s : sizes)
        if (s != 0) least = std::min(least, s), most = std::max(most, s);
    out.sizeMin = least == ~0u ? 0 : least - 1;
    std::vector<uint32_t> value(sizes.size());
    for (size_t i = 0; i < sizes.size(); ++i) value[i] = sizes[i] ? sizes[i] - out.sizeMin : 0;
    const uint32_t top = most == 0 ? 0 : most - out.sizeMin;

    // The high bits of each value in the code, the low `k` as they are: the k that gives the
    // fewest bits, the table of symbols (a byte each) included, among those with at most
    // kMaxSizeSymbols symbols (short words: a find decodes up to 31 of them; at 16 px this
    // costs 0.06% of the file and saves a fifth of the find).
    PrefixCode code;
    uint64_t bestBits = ~uint64_t{0};
    for (uint32_t k = 0; k <= bitsFor(top); ++k) {
        if ((top >> k) >= kMaxSizeSymbols) continue;
        std::vector<uint64_t> f((top >> k) + 1, 0);
        for (uint32_t v : value) ++f[v >> k];
        PrefixCode c = prefixCode(f);
        const uint64_t bits = codedBits(c, f) + uint64_t{k} * value.size() + 8 * c.order.size();
        if (bits < bestBits) {
            bestBits = bits;
            code = std::move(c);
            out.lowBits = k;
        }
    }
    out.code = storedCode(
        code, [](std::vector<uint8_t>& o, uint32_t s) { o.push_back(static_cast<uint8_t>(s)); });
    BitStream table;
    for (size_t i = 0; i < value.size(); ++i) {
        if (i % (1u << kCheckpointShift) == 0)
            out.marks.push_back(static_cast<uint32_t>(table.bits()));
        const uint32_t high = value[i] >> out.lowBits;
        table.putBits(code.wordOf[high], code.lengthOf[high]);
        table.putBits(value[i] & ((1u << out.lowBits) - 1), out.lowBits);
        table.putBits(static_cast<uint32_t>(set.glyphs[i].advance) - advanceMin, advanceBits);
    }
    out.table = table.take();
    return out;
}

}  // namespace compact

#include "output/CompactFontWriter.h"

#include <algorithm>
#include <cctype>
#include <string>

#include "output/AdvanceFileWriter.h"
#include "output/FontFileWriter.h"
#include "output/LittleEndian.h"

namespace compact {
namespace {

constexpr size_t kHeaderFixedBytes = 62;
constexpr uint8_t kVersion = 1;
constexpr uint32_t kCheckpointShift = 5;  // a checkpoint every 32 glyphs: one bit per glyph
constexpr size_t kMaxStemBytes = 200;
constexpr uint8_t kFlagKerning = 0x40;  // header byte 7: a kerning section follows the data

// Probabilities are 12-bit: a table byte q stands for P(bit = 1) = (16 q + 8) / 4096.
constexpr uint32_t kProbBits = 12;

uint32_t bitsFor(uint32_t range) {
    uint32_t n = 0;
    while (n < 32 && (range >> n) != 0) ++n;
    return n;
}

// Little-endian bit fields (the glyph table): bit i of the stream is bit i % 8 of byte i / 8.
class FieldPacker {
public:
    void put(uint32_t value, uint32_t width) {
        for (uint32_t i = 0; i < width; ++i, ++bit_) {
            if (bit_ % 8 == 0) bytes_.push_back(0);
            if ((value >> i) & 1u) bytes_.back() |= static_cast<uint8_t>(1u << (bit_ % 8));
        }
    }
    std::vector<uint8_t>& bytes() { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
    uint64_t bit_ = 0;
};

// The glyph data: most significant bit of each byte first, as the arithmetic coder emits it.
// Bits gather in a 64-bit register and go out eight bytes at a time.
class BitStream {
public:
    void put(uint32_t bit) { putBits(bit, 1); }
    // The low `count` bits of `value` (count <= 63, no higher bits set), highest first.
    void putBits(uint64_t value, uint32_t count) {
        if (count < 64 - pending_) {
            acc_ = (acc_ << count) | value;
            pending_ += count;
        } else {
            spill(value, count);
        }
    }
    // putBits() when the register fills: its first 64 bits go out as eight bytes.
    __attribute__((noinline)) void spill(uint64_t value, uint32_t count) {
        const uint32_t room = 64 - pending_;
        const uint64_t head = value >> (count - room);
        acc_ = room == 64 ? head : (acc_ << room) | head;
        for (int shift = 56; shift >= 0; shift -= 8)
            bytes_.push_back(static_cast<uint8_t>(acc_ >> shift));
        pending_ = count - room;
        acc_ = value;  // only the low `pending_` bits count
    }
    // `count` copies of `bit`.
    void repeat(uint32_t bit, uint32_t count) {
        for (; count >= 32; count -= 32) putBits(bit ? 0xFFFFFFFFu : 0u, 32);
        if (count != 0) putBits(bit ? (1u << count) - 1 : 0u, count);
    }
    void reserve(size_t bytes) { bytes_.reserve(bytes); }
    uint64_t bits() const { return static_cast<uint64_t>(bytes_.size()) * 8 + pending_; }
    // The bytes, the last one padded with zero bits.
    std::vector<uint8_t>& bytes() {
        for (; pending_ >= 8; pending_ -= 8)
            bytes_.push_back(static_cast<uint8_t>(acc_ >> (pending_ - 8)));
        if (pending_ != 0) bytes_.push_back(static_cast<uint8_t>(acc_ << (8 - pending_)));
        pending_ = 0;
        acc_ = 0;
        return bytes_;
    }

private:
    std::vector<uint8_t> bytes_;
    uint64_t acc_ = 0;      // the bits not yet in bytes_, the last in bit 0
    uint32_t pending_ = 0;  // below 64
};

// Arithmetic coder with a 16-bit range and bitwise output; the reader mirrors it. The interval
// [low, low + range) is split in proportion to 12-bit probabilities (a binary decision, or a
// symbol's cumulative frequencies) and renormalised one bit at a time while range < 2^15; a bit
// that depends on a later carry is held back as in CABAC. The decoder needs only the range and
// its offset in the interval, so a decision costs it a multiply, a compare and, per output bit, a
// shift. The first bit of every glyph's code is
// always 0 (the interval starts below 2^16) and is not stored. The flush writes the fewest bits
// (at most three) that name an aligned block inside the final interval, so the decoder may read
// any bits after them (the next glyph's) without changing a decision.
class ArithmeticEncoder {
public:
    explicit ArithmeticEncoder(BitStream& out) : out_(out), start_(out.bits()) {}
    void encode(uint32_t bit, uint32_t p1) {
        const uint32_t r0 = (range_ * ((1u << kProbBits) - p1)) >> kProbBits;
        if (bit) {
            low_ += r0;
            range_ -= r0;
        } else {
            range_ = r0;
        }
        renormalise();
    }
    // A symbol whose cumulative frequencies are [lo, hi) of 4096; hi > lo.
    // With hi = 4096 the product is range * 2^12 (below 2^28), so rhi is range itself.
    void encodeRange(uint32_t lo, uint32_t hi) {
        const uint32_t rlo = (range_ * lo) >> kProbBits;
        const uint32_t rhi = (range_ * hi) >> kProbBits;
        low_ += rlo;
        range_ = rhi - rlo;
        renormalise();
    }
    void renormalise() {
        if (range_ < 0x8000u) shift();
    }

private:
    // The steps run on local copies, the bits they settle gathered in a register and handed to
    // the stream once: at most 15 steps (range >= 1), each settled bit followed by the waiting
    // ones, which go out directly should there be more than 32 of them.
    // Out of line, so that the per-pixel coding around it stays small enough to inline.
    __attribute__((noinline)) void shift() {
        uint32_t low = low_, range = range_, waiting = outstanding_;
        uint64_t bits = 0;
        uint32_t count = 0;
        while (range < 0x8000u) {
            if (low - 0x8000u < 0x8000u) {
                low -= 0x8000u;
                ++waiting;
            } else {
                const uint32_t bit = low >> 16;  // low < 2^17
                low -= bit << 16;
                if (first_) {
                    first_ = false;
                } else {
                    bits = (bits << 1) | bit;
                    ++count;
                }
                if (waiting != 0) {
                    if (waiting > 32) {
                        out_.putBits(bits, count);
                        bits = 0;
                        count = 0;
                        out_.repeat(bit ^ 1u, waiting);
                    } else {
                        bits = (bits << waiting) | (bit ? 0u : (1ull << waiting) - 1);
                        count += waiting;
                    }
                    waiting = 0;
                }
            }
            range <<= 1;
            low <<= 1;
        }
        if (count != 0) out_.putBits(bits, count);
        low_ = low;
        range_ = range;
        outstanding_ = waiting;
    }

public:
    void finish() {
        for (uint32_t k = 1; k <= 3; ++k) {
            const uint32_t step = 1u << (17 - k);
            const uint32_t v = (low_ + step - 1) & ~(step - 1);
            if (v + step > low_ + range_) continue;
            for (uint32_t i = 0; i < k; ++i) put((v >> (16 - i)) & 1u);
            break;
        }
        // A glyph with ink always has at least one stored bit: size 0 means "no ink".
        if (out_.bits() == start_) out_.put(0);
    }

private:
    void put(uint32_t bit) {
        if (first_)
            first_ = false;
        else
            out_.put(bit);
        if (outstanding_ != 0) {
            out_.repeat(bit ^ 1u, outstanding_);
            outstanding_ = 0;
        }
    }
    BitStream& out_;
    uint64_t start_;
    uint32_t low_ = 0;
    uint32_t range_ = 0xFFFFu;
    uint32_t outstanding_ = 0;
    bool first_ = true;
};

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
        std::vector<uint32_t> t(1u << kProbBits, 0);
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

uint32_t probability(uint8_t q) {
    return 16u * q + 8u;
}

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

    explicit Depth(uint32_t b) : bpp(b), maxLevel((1u << b) - 1) {
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
    size_t countSlots(uint32_t contexts) const {
        return static_cast<size_t>(contexts) * symbols + extra;
    }
    uint64_t modelBytes(uint32_t contexts) const {
        if (bpp == 1) return contexts;
        return static_cast<uint64_t>(contexts) * 2 * (symbols - 1) + (extra ? 16 * 30 : 0);
    }
    void count(uint32_t v, uint32_t ctx, uint32_t contexts, uint64_t* counts) const {
        if (bpp == 8) {
            ++counts[static_cast<size_t>(ctx) * symbols + (v >> 4)];
            ++counts[static_cast<size_t>(contexts) * symbols + v];  // 16 x high + low = v
        } else {
            ++counts[static_cast<size_t>(ctx) * symbols + v];
        }
    }
};

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
        for (uint32_t k = 0; k < n; ++k) freq[k] = k == 0 ? 4096 : 0;
        return;
    }
    int64_t sum = 0;
    for (uint32_t k = 0; k < n; ++k) {
        freq[k] = counts[k] == 0
                      ? 0
                      : static_cast<uint32_t>(std::max<uint64_t>(1, counts[k] * 4096 / total));
        sum += freq[k];
    }
    freq[top] = static_cast<uint32_t>(static_cast<int64_t>(freq[top]) + 4096 - sum);
}

// The model bytes and, for the encoder, each table's cumulative frequencies (symbols + 1 per
// table: 0 first, 4096 last).
struct Model {
    std::vector<uint8_t> bytes;
    std::vector<uint32_t> cum;
};

Model buildModel(const std::vector<uint64_t>& counts, const Depth& d, uint32_t contexts);

uint32_t contextBits(const Template& s, uint32_t qbits) {
    uint32_t k = static_cast<uint32_t>(s.west) * qbits;
    if (s.above >= 0) k += static_cast<uint32_t>(2 * s.above + 1) * qbits;
    if (s.above2 >= 0) k += static_cast<uint32_t>(2 * s.above2 + 1);
    return k;
}

uint8_t templateByte(const Template& s) {
    return static_cast<uint8_t>(s.west | ((s.above + 1) << 3) | ((s.above2 + 1) << 5));
}

// A glyph's box with zero margins: two rows above, four columns left, two right, so that every
// neighbour a template reaches is a plain read.
class PaddedBox {
public:
    static constexpr int32_t kTop = 2, kLeft = 4, kRight = 3;
    void load(const uint8_t* levels, int32_t w, int32_t h) {
        stride_ = w + kLeft + kRight;
        cells_.assign(static_cast<size_t>(stride_) * static_cast<size_t>(h + kTop), 0);
        for (int32_t y = 0; y < h; ++y)
            std::copy(levels + static_cast<size_t>(y) * static_cast<size_t>(w),
                      levels + static_cast<size_t>(y + 1) * static_cast<size_t>(w),
                      cells_.begin() + index(0, y));
    }
    uint8_t at(int32_t x, int32_t y) const { return cells_[index(x, y)]; }

    // Calls f(v, ctx) for every pixel of the w x h box in row order, with its level and its
    // context under s. The templates the writer weighs get a loop of their own, their shifts and
    // masks constants; any other shape takes the general loop.
    template <typename F>
    void forEach(int32_t w, int32_t h, const Template& s, const Depth& d, F&& f) const {
        if (d.qbits == 1) {
            if (forShape<1, 4, 2, 1>(w, h, s, d, f) || forShape<1, 3, 2, 1>(w, h, s, d, f) ||
                forShape<1, 4, 2, -1>(w, h, s, d, f) || forShape<1, 3, 1, 1>(w, h, s, d, f) ||
                forShape<1, 2, 1, 0>(w, h, s, d, f) || forShape<1, 2, 1, -1>(w, h, s, d, f) ||
                forShape<1, 1, 1, -1>(w, h, s, d, f) || forShape<1, 1, 0, -1>(w, h, s, d, f) ||
                forShape<1, 0, -1, -1>(w, h, s, d, f))
                return;
        } else if (d.qbits == 2) {
            if (forShape<2, 2, 1, 1>(w, h, s, d, f) || forShape<2, 1, 1, 1>(w, h, s, d, f) ||
                forShape<2, 2, 1, -1>(w, h, s, d, f) || forShape<2, 1, 1, 0>(w, h, s, d, f) ||
                forShape<2, 1, 1, -1>(w, h, s, d, f) || forShape<2, 1, 0, -1>(w, h, s, d, f) ||
                forShape<2, 1, -1, -1>(w, h, s, d, f) || forShape<2, 0, -1, -1>(w, h, s, d, f))
                return;
        }
        scan(w, h, RuntimeShape{d.qbits, s.west, s.above, s.above2}, d, f);
    }

private:
    struct RuntimeShape {
        uint32_t qbits;
        int32_t west, above, above2;
    };
    template <uint32_t Q, int32_t W, int32_t A, int32_t A2>
    struct FixedShape {
        static constexpr uint32_t qbits = Q;
        static constexpr int32_t west = W, above = A, above2 = A2;
    };
    template <uint32_t Q, int32_t W, int32_t A, int32_t A2, typename F>
    bool forShape(int32_t w, int32_t h, const Template& s, const Depth& d, F& f) const {
        if (s.west != W || s.above != A || s.above2 != A2) return false;
        scan(w, h, FixedShape<Q, W, A, A2>{}, d, f);
        return true;
    }

    // The context is kept up to date from pixel to pixel as the reader keeps it: the west and
    // row-above windows in one register that moves a level per pixel, the row two above in
    // another that moves a bit.
    template <typename S, typename F>
    void scan(int32_t w, int32_t h, const S& s, const Depth& d, F& f) const {
        const uint32_t qb = s.qbits;
        const int32_t r1 = std::max(s.above, 0), r2 = std::max(s.above2, 0);
        const uint32_t b0 = static_cast<uint32_t>(s.west) * qb;
        const uint32_t b01 = b0 + (s.above >= 0 ? static_cast<uint32_t>(2 * r1 + 1) * qb : 0);
        const uint32_t e0 = s.west > 0 ? (1u << qb) - 1 : 0;
        const uint32_t e1 = s.above >= 0 ? (1u << qb) - 1 : 0;
        const uint32_t keep = ((1u << b01) - 1) & ~(e1 << b0);
        const uint32_t m2 = s.above2 >= 0 ? (1u << (2 * r2 + 1)) - 1 : 0;
        const int32_t lead = std::max(r1, r2);
        for (int32_t y = 0; y < h; ++y) {
            uint32_t ctx = 0, w2 = 0;
            for (int32_t k = -lead; k <= 0; ++k) {
                ctx = ((ctx << qb) & keep) | ((d.quant[at(k + r1, y - 1)] & e1) << b0);
                w2 = (w2 << 1) | (at(k + r2, y - 2) != 0);
            }
            const uint8_t* row = &cells_[index(0, y)];
            const uint8_t* up1 = &cells_[index(1 + r1, y - 1)];
            const uint8_t* up2 = &cells_[index(1 + r2, y - 2)];
            for (int32_t x = 0; x < w; ++x) {
                const uint32_t v = row[x];
                f(v, ctx | ((w2 & m2) << b01));
                ctx = ((ctx << qb) & keep) | (d.quant[v] & e0) | ((d.quant[up1[x]] & e1) << b0);
                w2 = (w2 << 1) | (up2[x] != 0);
            }
        }
    }

private:
    size_t index(int32_t x, int32_t y) const {
        return static_cast<size_t>(y + kTop) * static_cast<size_t>(stride_) +
               static_cast<size_t>(x + kLeft);
    }
    int32_t stride_ = 0;
    std::vector<uint8_t> cells_;
};

// The templates weighed for a depth, largest first. Each lies inside full(depth), so their
// counts follow from the full template's counts without another pass over the pixels.
Template fullTemplate(uint32_t bpp) {
    return bpp == 1 ? Template{4, 2, 1} : Template{2, 1, 1};
}

std::vector<Template> templatesFor(uint32_t bpp) {
    if (bpp == 1)
        return {{4, 2, 1},  {3, 2, 1},  {4, 2, -1}, {3, 1, 1},  {2, 1, 0},
                {2, 1, -1}, {1, 1, -1}, {1, 0, -1}, {0, -1, -1}};
    return {{2, 1, 1},  {1, 1, 1},  {2, 1, -1},  {1, 1, 0},
            {1, 1, -1}, {1, 0, -1}, {1, -1, -1}, {0, -1, -1}};
}

// The context of `full` narrowed to `sub` (a template inside it).
uint32_t narrow(uint32_t ctx, const Template& full, const Template& sub, uint32_t qbits) {
    const uint32_t b0 = static_cast<uint32_t>(full.west) * qbits;
    const uint32_t b1 = static_cast<uint32_t>(2 * full.above + 1) * qbits;
    const uint32_t e0 = ctx & ((1u << b0) - 1);
    const uint32_t e1 = (ctx >> b0) & ((1u << b1) - 1);
    const uint32_t e2 = ctx >> (b0 + b1);
    const uint32_t s0 = e0 & ((1u << (static_cast<uint32_t>(sub.west) * qbits)) - 1);
    uint32_t s1 = 0, s2 = 0, w1 = 0, w2 = 0;
    if (sub.above >= 0) {
        w1 = static_cast<uint32_t>(2 * sub.above + 1) * qbits;
        s1 = (e1 >> (static_cast<uint32_t>(full.above - sub.above) * qbits)) & ((1u << w1) - 1);
    }
    if (sub.above2 >= 0) {
        w2 = static_cast<uint32_t>(2 * sub.above2 + 1);
        s2 = (e2 >> static_cast<uint32_t>(full.above2 - sub.above2)) & ((1u << w2) - 1);
    }
    const uint32_t sb0 = static_cast<uint32_t>(sub.west) * qbits;
    return s0 | (s1 << sb0) | (s2 << (sb0 + w1));
}

// Counts under the full template, summed into the contexts of `sub`.
std::vector<uint64_t> narrowCounts(const std::vector<uint64_t>& counts, const Depth& d,
                                   const Template& full, const Template& sub) {
    const uint32_t fullContexts = 1u << contextBits(full, d.qbits);
    const uint32_t contexts = 1u << contextBits(sub, d.qbits);
    std::vector<uint64_t> out(d.countSlots(contexts), 0);
    for (uint32_t c = 0; c < fullContexts; ++c) {
        const size_t s = static_cast<size_t>(narrow(c, full, sub, d.qbits)) * d.symbols;
        for (uint32_t n = 0; n < d.symbols; ++n)
            out[s + n] += counts[static_cast<size_t>(c) * d.symbols + n];
    }
    for (uint32_t n = 0; n < d.extra; ++n)
        out[static_cast<size_t>(contexts) * d.symbols + n] =
            counts[static_cast<size_t>(fullContexts) * d.symbols + n];
    return out;
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
    const uint32_t tables = contexts + (d.extra ? 16 : 0);
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

// Bits the coded pixels take under a model built from `counts`, in 1/65536 bits.
uint64_t codeLength(const std::vector<uint64_t>& counts, const Depth& d, uint32_t contexts) {
    const std::vector<uint32_t>& cost = costTable();
    uint64_t q16 = 0;
    if (d.bpp == 1) {
        for (uint32_t c = 0; c < contexts; ++c) {
            const uint32_t p1 = probability(probabilityByte(counts[2 * c], counts[2 * c + 1]));
            q16 += counts[2 * c] * cost[(1u << kProbBits) - p1] + counts[2 * c + 1] * cost[p1];
        }
        return q16;
    }
    const uint32_t tables = contexts + (d.extra ? 16 : 0);
    uint32_t freq[16];
    for (uint32_t t = 0; t < tables; ++t) {
        const uint64_t* c = &counts[static_cast<size_t>(t) * d.symbols];
        frequencies(c, d.symbols, freq);
        for (uint32_t k = 0; k < d.symbols; ++k)
            if (c[k] != 0 && freq[k] < (1u << kProbBits)) q16 += c[k] * cost[freq[k]];
    }
    return q16;
}

}  // namespace
}  // namespace compact

using namespace compact;

CompactFontWriter::CompactFontWriter(const FontSetSettings& settings, int32_t rotate,
                                     int32_t baseline)
    : settings_(settings),
      rotate_(rotate),
      baseline_(baseline),
      bpp_(settings.renderMode),
      vertical_(!settings.scanMode.empty() &&
                std::toupper(static_cast<unsigned char>(settings.scanMode[0])) == 'V') {}

void CompactFontWriter::addGlyph(const PackedGlyph& glyph, int32_t advance) {
    Glyph g;
    g.code = glyph.code;
    g.advance = std::clamp(advance, 0, 255);
    // The renderer leaves a cell with nothing drawn as it was before shaping, so with a turn it
    // has the other shape: the cell of the file is that of the first glyph with ink, and until
    // one comes, that of the first glyph.
    if (cellRows_ == 0) {
        cellRows_ = glyph.rows;
        cellCols_ = glyph.cols;
    }
    const bool depthOk = bpp_ == 1 || bpp_ == 2 || bpp_ == 4 || bpp_ == 8;
    if (!depthOk || glyph.data == nullptr || glyph.rows <= 0 || glyph.cols <= 0) {
        glyphs_.push_back(g);
        return;
    }
    const uint32_t depth = static_cast<uint32_t>(bpp_);
    const uint64_t rowBits = static_cast<uint64_t>(glyph.cols) * depth;
    const int32_t cellRows =
        static_cast<int32_t>(std::min<uint64_t>(glyph.rows, glyph.size * 8 / rowBits));
    // The pixels the cropped layout keeps: columns left of the glyph box's right edge, rows above
    // its bottom edge, with the box read as the trimmed records read it.
    int32_t width = glyph.extent.x;
    int32_t height = glyph.extent.y;
    if (vertical_) {
        if (rotate_ == 1 || rotate_ == 2) {
            width = glyph.cols;
            height = cellRows;
        } else {
            width = glyph.extent.y;
            height = glyph.extent.x;
        }
    }
    width = std::min(width, glyph.cols);
    height = std::min(height, cellRows);
    // The kept rows, unpacked to a level per byte: pixel k of the cell starts at bit k * depth,
    // lowest bits first.
    const uint32_t mask = (1u << depth) - 1;
    const size_t w = static_cast<size_t>(std::max(width, 0));
    // A box without a column or a row holds no ink.
    if (w == 0 || height <= 0) {
        glyphs_.push_back(g);
        return;
    }
    rows_.assign(w * static_cast<size_t>(height), 0);
    // The depth divides 8 and every row starts at a multiple of it, so a pixel never straddles
    // two bytes: walk the bytes with a shift instead of dividing each pixel's bit offset.
    for (int32_t y = 0; y < height; ++y) {
        const uint64_t bit = static_cast<uint64_t>(y) * rowBits;
        const uint8_t* src = glyph.data + bit / 8;
        uint32_t shift = static_cast<uint32_t>(bit % 8);
        uint8_t* out = &rows_[static_cast<size_t>(y) * w];
        for (size_t x = 0; x < w; ++x) {
            out[x] = static_cast<uint8_t>((*src >> shift) & mask);
            shift += depth;
            if (shift == 8) {
                shift = 0;
                ++src;
            }
        }
    }
    int32_t left = width, right = 0, top = height, bottom = 0;
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* row = &rows_[static_cast<size_t>(y) * w];
        int32_t first = 0, last = width;
        while (first < width && row[first] == 0) ++first;
        if (first == width) continue;
        while (row[last - 1] == 0) --last;
        left = std::min(left, first);
        right = std::max(right, last);
        top = std::min(top, y);
        bottom = y + 1;
    }
    if (right > left && bottom > top) {
        if (!cellFromInk_) {
            cellFromInk_ = true;
            cellRows_ = glyph.rows;
            cellCols_ = glyph.cols;
        }
        g.x = left;
        g.y = top;
        g.w = right - left;
        g.h = bottom - top;
        g.levels = levels_.size();
        for (int32_t y = top; y < bottom; ++y) {
            const uint8_t* row = &rows_[static_cast<size_t>(y) * w];
            levels_.insert(levels_.end(), row + left, row + right);
        }
    }
    glyphs_.push_back(g);
}

std::vector<MethodSize> CompactFontWriter::candidates() {
    std::vector<MethodSize> out;
    if (bpp_ != 1 && bpp_ != 2 && bpp_ != 4 && bpp_ != 8) return out;
    const Depth d(static_cast<uint32_t>(bpp_));
    uint64_t rawBits = 0;
    for (const Glyph& g : glyphs_)
        rawBits += static_cast<uint64_t>(g.w) * static_cast<uint64_t>(g.h) * d.bpp;
    out.push_back({Method::Raw, Template{}, 0, rawBits});

    // One pass over the pixels counts every level under the largest template.
    const Template full = fullTemplate(d.bpp);
    const uint32_t fullContexts = 1u << contextBits(full, d.qbits);
    std::vector<uint64_t> counts(d.countSlots(fullContexts), 0);
    PaddedBox box;
    uint64_t inked = 0;
    for (const Glyph& g : glyphs_) {
        if (g.w == 0) continue;
        ++inked;
        box.load(&levels_[g.levels], g.w, g.h);
        if (d.bpp == 8) {
            box.forEach(g.w, g.h, full, d, [&](uint32_t v, uint32_t ctx) {
                d.count(v, ctx, fullContexts, counts.data());
            });
        } else {
            // Up to 4 bits a level is its own symbol and the symbols a power of two: a slot is
            // the context shifted and the level.
            uint64_t* const slots = counts.data();
            const uint32_t shift = d.bpp == 1 ? 1 : d.bpp;
            box.forEach(g.w, g.h, full, d, [slots, shift](uint32_t v, uint32_t ctx) {
                ++slots[(static_cast<size_t>(ctx) << shift) | v];
            });
        }
    }
    for (const Template& t : templatesFor(d.bpp)) {
        const uint32_t contexts = 1u << contextBits(t, d.qbits);
        const std::vector<uint64_t> sub = narrowCounts(counts, d, full, t);
        // About 2.5 bits of coder flush per glyph with ink.
        const uint64_t bits = (codeLength(sub, d, contexts) >> 16) + inked * 5 / 2;
        out.push_back({Method::Context, t, d.modelBytes(contexts), bits});
    }
    fullCounts_ = std::move(counts);
    countedGlyphs_ = glyphs_.size();
    return out;
}

std::vector<uint8_t> CompactFontWriter::finish() {
    const std::vector<MethodSize> options = candidates();
    const MethodSize* best = nullptr;
    for (const MethodSize& m : options) {
        if (m.method != Method::Context) continue;
        if (best == nullptr ||
            m.modelBytes * 8 + m.dataBits < best->modelBytes * 8 + best->dataBits)
            best = &m;
    }
    // Without a depth the writer knows, no glyph has ink: the smallest template will do.
    std::vector<uint8_t> file =
        build(Method::Context, best != nullptr ? best->shape : Template{0, -1, -1});
    appendKerning(file);
    return file;
}

void CompactFontWriter::setKerning(std::vector<KernPair> pairs) {
    kerning_ = true;
    pairs_ = std::move(pairs);
}

// The kerning section after the data part, flagged by bit 6 of header byte 7: the pair count,
// then each pair as the width file stores it (u16 left, u16 right, s8 pixels).
void CompactFontWriter::appendKerning(std::vector<uint8_t>& file) const {
    if (!kerning_ || file.size() < kHeaderFixedBytes) return;
    file[7] = static_cast<uint8_t>(file[7] | kFlagKerning);
    const size_t at = file.size();
    file.resize(at + 4 + 5 * pairs_.size());
    storeLittleEndian(&file[at], static_cast<uint32_t>(pairs_.size()), 4);
    for (size_t i = 0; i < pairs_.size(); ++i) {
        uint8_t* pair = &file[at + 4 + 5 * i];
        bool clamped = false;
        storeLittleEndian(pair, pairs_[i].left, 2);
        storeLittleEndian(pair + 2, pairs_[i].right, 2);
        pair[4] = static_cast<uint8_t>(kerningByte(pairs_[i].adjust, clamped));
    }
}

std::vector<uint8_t> CompactFontWriter::finishWith(Method method, const Template& shape) {
    return build(method, shape);
}

std::vector<uint8_t> CompactFontWriter::build(Method method, const Template& shape) {
    const bool depthOk = bpp_ == 1 || bpp_ == 2 || bpp_ == 4 || bpp_ == 8;
    const Depth d(depthOk ? static_cast<uint32_t>(bpp_) : 1u);
    const Template full = fullTemplate(d.bpp);
    // Plain levels are weighed by candidates() as the measure to beat, but never written.
    if (method != Method::Context || shape.west < 0 || shape.west > full.west || shape.above < -1 ||
        shape.above > full.above || shape.above2 < -1 || shape.above2 > full.above2)
        return {};

    // Model: probabilities counted over every glyph under the template.
    const uint32_t contexts = 1u << contextBits(shape, d.qbits);
    Model model;
    PaddedBox box;
    {
        // The counts of candidates() when it saw these glyphs, else one pass of our own.
        std::vector<uint64_t> counts;
        if (countedGlyphs_ == glyphs_.size() && !fullCounts_.empty()) {
            counts = narrowCounts(fullCounts_, d, full, shape);
        } else {
            counts.assign(d.countSlots(contexts), 0);
            for (const Glyph& g : glyphs_) {
                if (g.w == 0) continue;
                box.load(&levels_[g.levels], g.w, g.h);
                box.forEach(g.w, g.h, shape, d, [&](uint32_t v, uint32_t ctx) {
                    d.count(v, ctx, contexts, counts.data());
                });
            }
        }
        model = buildModel(counts, d, contexts);
    }
    std::vector<uint32_t> p1(d.bpp == 1 ? contexts : 0);
    for (size_t c = 0; c < p1.size(); ++c) p1[c] = probability(model.bytes[c]);
    const uint32_t n = d.symbols;
    // The cumulative frequencies (at most 4096) as u16: half the cache lines per lookup.
    const std::vector<uint16_t> cum16(model.cum.begin(), model.cum.end());
    const uint16_t* const cumBase = cum16.data();
    const size_t stride = n + 1;

    // Data: each glyph's bits, and its size for the glyph table.
    BitStream data;
    data.reserve(levels_.size() / 4);
    std::vector<uint32_t> sizes(glyphs_.size(), 0);
    std::vector<uint32_t> checkpoints;
    for (size_t i = 0; i < glyphs_.size(); ++i) {
        const Glyph& g = glyphs_[i];
        if (i % (1u << kCheckpointShift) == 0)
            checkpoints.push_back(static_cast<uint32_t>(data.bits()));
        if (g.w == 0) continue;
        const uint64_t start = data.bits();
        box.load(&levels_[g.levels], g.w, g.h);
        ArithmeticEncoder enc(data);
        if (d.bpp == 1) {
            const uint32_t* const p = p1.data();
            box.forEach(g.w, g.h, shape, d,
                        [&enc, p](uint32_t v, uint32_t ctx) { enc.encode(v, p[ctx]); });
        } else if (d.bpp == 8) {
            const uint16_t* const lowBase = cumBase + static_cast<size_t>(contexts) * stride;
            box.forEach(g.w, g.h, shape, d,
                        [&enc, cumBase, lowBase, stride](uint32_t v, uint32_t ctx) {
                            const uint32_t s = v >> 4;
                            const uint16_t* cum = cumBase + static_cast<size_t>(ctx) * stride;
                            enc.encodeRange(cum[s], cum[s + 1]);
                            const uint16_t* low = lowBase + static_cast<size_t>(s) * stride;
                            enc.encodeRange(low[v & 15], low[(v & 15) + 1]);
                        });
        } else {
            box.forEach(g.w, g.h, shape, d, [&enc, cumBase, stride](uint32_t v, uint32_t ctx) {
                const uint16_t* cum = cumBase + static_cast<size_t>(ctx) * stride;
                enc.encodeRange(cum[v], cum[v + 1]);
            });
        }
        enc.finish();
        sizes[i] = static_cast<uint32_t>(data.bits() - start);
    }

    // Glyph table: six fields, each stored as value - min in just enough bits. The box fields
    // of glyphs without ink (size 0) are stored as 0 and take no part in their ranges; size and
    // advance count every glyph.
    struct Field {
        uint32_t min = 0xFFFFFFFFu, max = 0;
    } fields[6];
    auto valuesOf = [&](size_t i, uint32_t* v) {
        const Glyph& g = glyphs_[i];
        v[0] = sizes[i];
        v[1] = static_cast<uint32_t>(g.advance);
        v[2] = static_cast<uint32_t>(g.x);
        v[3] = static_cast<uint32_t>(g.y);
        v[4] = static_cast<uint32_t>(g.w);
        v[5] = static_cast<uint32_t>(g.h);
    };
    for (size_t i = 0; i < glyphs_.size(); ++i) {
        uint32_t v[6];
        valuesOf(i, v);
        for (int f = 0; f < 6; ++f) {
            if (f >= 2 && sizes[i] == 0) continue;
            fields[f].min = std::min(fields[f].min, v[f]);
            fields[f].max = std::max(fields[f].max, v[f]);
        }
    }
    uint32_t widths[6];
    for (int f = 0; f < 6; ++f) {
        if (fields[f].min > fields[f].max) fields[f].min = fields[f].max = 0;
        widths[f] = bitsFor(fields[f].max - fields[f].min);
    }
    FieldPacker table;
    for (size_t i = 0; i < glyphs_.size(); ++i) {
        uint32_t v[6];
        valuesOf(i, v);
        for (int f = 0; f < 6; ++f) {
            const uint32_t stored = (f >= 2 && sizes[i] == 0) ? 0 : v[f] - fields[f].min;
            table.put(stored, widths[f]);
        }
    }

    // Runs of consecutive code points.
    std::vector<uint8_t> runs;
    for (size_t i = 0; i < glyphs_.size(); ++i) {
        if (i > 0 && glyphs_[i].code == glyphs_[i - 1].code + 1) continue;
        uint8_t entry[5];
        storeLittleEndian(entry, glyphs_[i].code, 2);
        storeLittleEndian(entry + 2, static_cast<uint32_t>(i), 3);
        runs.insert(runs.end(), entry, entry + 5);
    }

    std::string name = fontStem(settings_.font);
    if (name.size() > kMaxStemBytes) name.resize(kMaxStemBytes);
    std::vector<uint8_t> out(kHeaderFixedBytes, 0);
    out[0] = 'F';
    out[1] = 'B';
    out[2] = 'C';
    out[3] = 'P';
    out[4] = kVersion;
    out[5] = static_cast<uint8_t>(settings_.fontSize);
    out[6] = static_cast<uint8_t>(bpp_);
    uint32_t scan = 0;
    if (vertical_) scan = settings_.scanMode[0] == 'V' ? 1 : 2;
    out[7] =
        static_cast<uint8_t>((settings_.bold != 0 ? 1u : 0u) | (settings_.italic != 0 ? 2u : 0u) |
                             (scan << 2) | (static_cast<uint32_t>(rotate_ & 3) << 4));
    out[8] = static_cast<uint8_t>(std::clamp(baseline_, 0, 255));
    out[9] = static_cast<uint8_t>(settings_.fontSize);
    storeLittleEndian(&out[10], static_cast<uint32_t>(cellRows_), 2);
    storeLittleEndian(&out[12], static_cast<uint32_t>(cellCols_), 2);
    storeLittleEndian(&out[14], static_cast<uint32_t>(glyphs_.size()), 4);
    storeLittleEndian(&out[18], static_cast<uint32_t>(runs.size() / 5), 2);
    out[20] = kCheckpointShift;
    out[21] = static_cast<uint8_t>(method);
    out[22] = templateByte(shape);
    out[23] = static_cast<uint8_t>(name.size() + 1);
    storeLittleEndian(&out[24], static_cast<uint32_t>(model.bytes.size()), 4);
    storeLittleEndian(&out[28], static_cast<uint32_t>(data.bytes().size()), 4);
    for (int f = 0; f < 6; ++f) {
        storeLittleEndian(&out[32 + 5 * f], fields[f].min, 4);
        out[36 + 5 * f] = static_cast<uint8_t>(widths[f]);
    }
    out.insert(out.end(), name.begin(), name.end());
    out.push_back(0);
    out.insert(out.end(), runs.begin(), runs.end());
    out.insert(out.end(), table.bytes().begin(), table.bytes().end());
    for (uint32_t c : checkpoints) {
        uint8_t b[4];
        storeLittleEndian(b, c, 4);
        out.insert(out.end(), b, b + 4);
    }
    out.insert(out.end(), model.bytes.begin(), model.bytes.end());
    out.insert(out.end(), data.bytes().begin(), data.bytes().end());
    return out;
}

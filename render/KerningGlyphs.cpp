#include "render/KerningGlyphs.h"

#include <hb-ot.h>

#include <algorithm>
#include <bitset>
#include <cstdint>
#include <vector>

namespace {

constexpr hb_tag_t kKern = HB_TAG('k', 'e', 'r', 'n');

// A font table's bytes, read big-endian; a read past the end gives 0, as HarfBuzz reads what
// lies outside a table, so damaged offsets and counts need no check of their own.
class TableBytes {
public:
    TableBytes(hb_face_t* face, hb_tag_t tag) : blob_(hb_face_reference_table(face, tag)) {
        unsigned size = 0;
        data_ = reinterpret_cast<const uint8_t*>(hb_blob_get_data(blob_.get(), &size));
        size_ = size;
    }
    uint64_t size() const { return size_; }
    bool has(uint64_t at, uint64_t count) const { return at + count <= size_; }
    uint32_t u8(uint64_t at) const { return has(at, 1) ? data_[at] : 0; }
    uint32_t u16(uint64_t at) const {
        return has(at, 2) ? uint32_t{data_[at]} << 8 | data_[at + 1] : 0;
    }
    uint32_t u32(uint64_t at) const { return u16(at) << 16 | u16(at + 2); }

private:
    struct BlobDeleter {
        void operator()(hb_blob_t* blob) const { hb_blob_destroy(blob); }
    };
    std::unique_ptr<hb_blob_t, BlobDeleter> blob_;
    const uint8_t* data_ = nullptr;
    uint64_t size_ = 0;
};

// A glyph's class in an OpenType class definition (format 1: a run of classes from a first
// glyph; format 2: ranges of glyphs with one class each, found by binary search as HarfBuzz
// does); unlisted glyphs are class 0.
uint32_t classOf(const TableBytes& t, uint64_t at, uint32_t glyph) {
    if (t.u16(at) == 1) {
        const uint32_t first = t.u16(at + 2);
        return glyph >= first && glyph - first < t.u16(at + 4) ? t.u16(at + 6 + 2 * (glyph - first))
                                                               : 0;
    }
    if (t.u16(at) != 2) return 0;
    for (uint32_t low = 0, high = t.u16(at + 2); low < high;) {
        const uint32_t middle = (low + high) / 2;
        const uint64_t range = at + 4 + 6 * uint64_t{middle};
        if (glyph < t.u16(range))
            high = middle;
        else if (glyph > t.u16(range + 2))
            low = middle + 1;
        else
            return t.u16(range + 4);
    }
    return 0;
}

// The glyphs of an OpenType coverage table (format 1: a list; format 2: ranges).
KerningGlyphs::Set coveredGlyphs(const TableBytes& t, uint64_t at) {
    KerningGlyphs::Set glyphs(hb_set_create());
    const uint32_t count = t.u16(at + 2);
    if (t.u16(at) == 1) {
        for (uint32_t i = 0; i < count && t.has(at + 4 + 2 * i, 2); ++i)
            hb_set_add(glyphs.get(), t.u16(at + 4 + 2 * i));
    } else if (t.u16(at) == 2) {
        for (uint32_t r = 0; r < count && t.has(at + 4 + 6 * r, 6); ++r)
            hb_set_add_range(glyphs.get(), t.u16(at + 4 + 6 * r), t.u16(at + 6 + 6 * r));
    }
    return glyphs;
}

// A pair adjustment by classes (GPOS PairPos format 2) gives each first glyph's class a value for
// class 0 of the second glyph, which is every glyph the second class definition leaves out, and
// HarfBuzz applies it to whatever follows. Collecting a lookup's glyphs names only the listed
// classes, so first glyphs of a class whose class-0 value is not zero may kern before any glyph.
void addClassZeroLefts(const TableBytes& gpos, uint64_t sub, hb_set_t* beforeAny) {
    const uint32_t recordSize =
        2 * static_cast<uint32_t>(std::bitset<16>(gpos.u16(sub + 4)).count() +
                                  std::bitset<16>(gpos.u16(sub + 6)).count());
    const uint32_t class1Count = gpos.u16(sub + 12);
    if (gpos.u16(sub + 14) == 0) return;  // no class 0 of the second glyph
    const uint64_t rowSize = uint64_t{gpos.u16(sub + 14)} * recordSize;
    std::vector<bool> classZeroKerns(class1Count, false);
    bool any = false;
    for (uint32_t c1 = 0; c1 < class1Count && gpos.has(sub + 16 + c1 * rowSize, recordSize); ++c1)
        for (uint32_t word = 0; word < recordSize; word += 2)
            if (gpos.u16(sub + 16 + c1 * rowSize + word) != 0) classZeroKerns[c1] = any = true;
    if (!any) return;
    const KerningGlyphs::Set covered = coveredGlyphs(gpos, sub + gpos.u16(sub + 2));
    for (hb_codepoint_t glyph = HB_SET_VALUE_INVALID; hb_set_next(covered.get(), &glyph);) {
        const uint32_t c1 = classOf(gpos, sub + gpos.u16(sub + 8), glyph);
        if (c1 < class1Count && classZeroKerns[c1]) hb_set_add(beforeAny, glyph);
    }
}

// The class-0 values of the pair adjustments by classes among the GPOS `lookups`, also those
// reached through extension subtables.
void addGposClassZeroLefts(hb_face_t* face, hb_set_t* lookups, hb_set_t* beforeAny) {
    const TableBytes gpos(face, HB_OT_TAG_GPOS);
    const uint64_t list = gpos.u16(8);
    for (hb_codepoint_t lookup = HB_SET_VALUE_INVALID; hb_set_next(lookups, &lookup);) {
        if (lookup >= gpos.u16(list)) continue;
        const uint64_t at = list + gpos.u16(list + 2 + 2 * uint64_t{lookup});
        for (uint32_t s = 0, count = gpos.u16(at + 4); s < count; ++s) {
            uint64_t sub = at + gpos.u16(at + 6 + 2 * s);
            uint32_t type = gpos.u16(at);
            if (type == 9) {
                type = gpos.u16(sub + 2);
                sub += gpos.u32(sub + 4);
            }
            if (type == 2 && gpos.u16(sub) == 2) addClassZeroLefts(gpos, sub, beforeAny);
        }
    }
}

// Format 0: a list of pairs.
void addPairList(const TableBytes& kern, uint64_t at, hb_set_t* paired) {
    // Big tables overflow the 16-bit length; the pair count and the table's end hold.
    const uint32_t pairs = kern.u16(at);
    for (uint64_t p = 0; p < pairs && kern.has(at + 8 + 6 * p, 4); ++p) {
        hb_set_add(paired, kern.u16(at + 8 + 6 * p));
        hb_set_add(paired, kern.u16(at + 8 + 6 * p + 2));
    }
}

// Format 2: a two-dimensional array of values, its row found by the left glyph's class and its
// column by the right glyph's. The classes are byte offsets (the left one from the subtable, the
// right one within the row) that HarfBuzz adds and reads the array at, so a glyph that a class
// table does not list (offset 0) still reaches a value when the other offset alone lies inside
// the array.
void addClassArray(const TableBytes& kern, uint64_t subtable, uint64_t at, KerningGlyphs& out) {
    const uint64_t array = kern.u16(at + 6);
    const auto kerns = [&](uint64_t left, uint64_t right) {
        const uint64_t offset = left + right;
        return offset >= array && kern.u16(subtable + array + (offset - array) / 2 * 2) != 0;
    };
    const auto addClassed = [&](uint64_t table, bool left) {
        const uint32_t first = kern.u16(table);
        for (uint32_t i = 0, count = kern.u16(table + 2);
             i < count && kern.has(table + 4 + 2 * i, 2); ++i) {
            const uint32_t glyph = first + i, offset = kern.u16(table + 4 + 2 * i);
            hb_set_add(out.paired.get(), glyph);
            if (left ? kerns(offset, 0) : kerns(0, offset))
                hb_set_add(left ? out.beforeAny.get() : out.afterAny.get(), glyph);
        }
    };
    addClassed(subtable + kern.u16(at + 2), true);
    addClassed(subtable + kern.u16(at + 4), false);
    out.everyPair |= kerns(0, 0);
}

// Format 3 (Apple's): a left and a right class of one byte for each glyph up to a count, and one
// byte per class pair indexing a list of values; glyphs past the count are class 0. Glyphs of a
// class with some non-zero value kern.
void addClassIndex(const TableBytes& kern, uint64_t at, KerningGlyphs& out) {
    const uint32_t glyphCount = kern.u16(at), valueCount = kern.u8(at + 2);
    const uint32_t leftCount = kern.u8(at + 3), rightCount = kern.u8(at + 4);
    const uint64_t values = at + 6, leftClasses = values + 2 * valueCount;
    const uint64_t rightClasses = leftClasses + glyphCount, indices = rightClasses + glyphCount;
    std::bitset<256> leftKerns, rightKerns;
    for (uint32_t l = 0; l < leftCount; ++l)
        for (uint32_t r = 0; r < rightCount; ++r) {
            const uint32_t index = kern.u8(indices + l * rightCount + r);
            if (index < valueCount && kern.u16(values + 2 * index) != 0)
                leftKerns[l] = rightKerns[r] = true;
        }
    for (uint32_t glyph = 0; glyph < glyphCount; ++glyph)
        if (leftKerns[kern.u8(leftClasses + glyph)] || rightKerns[kern.u8(rightClasses + glyph)])
            hb_set_add(out.paired.get(), glyph);
    if (leftKerns[0] || rightKerns[0]) out.pairedFrom = std::min(out.pairedFrom, glyphCount);
}

// The legacy kern table under Microsoft's header (version 0) or Apple's (version 1.0). Subtables
// that cannot move a glyph along the line (vertical, cross-stream, variation) and formats that
// HarfBuzz does not read by pairs or classes (Apple's state tables, format 1) are skipped.
bool addKernTableGlyphs(hb_face_t* face, KerningGlyphs& out) {
    const TableBytes kern(face, kKern);
    if (kern.size() == 0) return false;
    const bool apple = kern.u16(0) == 1 && kern.u16(2) == 0;
    const uint32_t tables = apple ? kern.u32(4) : kern.u16(2);
    uint64_t at = apple ? 8 : 4;
    for (uint32_t t = 0; t < tables && kern.has(at, 8); ++t) {
        // Microsoft: version, length, format, coverage bits (1 horizontal, 4 cross-stream).
        // Apple: u32 length, coverage bits (0x80 vertical, 0x40 cross-stream, 0x20 variation),
        // format, tuple index.
        const uint64_t length = apple ? kern.u32(at) : kern.u16(at + 2);
        const uint32_t format = kern.u8(at + (apple ? 5 : 4));
        const uint32_t coverage = kern.u8(at + (apple ? 4 : 5));
        const bool along = apple ? (coverage & 0xE0) == 0 : (coverage & 0x05) == 0x01;
        const uint64_t body = at + (apple ? 8 : 6);
        if (along && format == 0) addPairList(kern, body, out.paired.get());
        if (along && format == 2) addClassArray(kern, at, body, out);
        if (along && format == 3 && apple) addClassIndex(kern, body, out);
        if (length < 6) break;
        at += length;
    }
    return true;
}

}  // namespace

bool collectKerningGlyphs(hb_face_t* face, KerningGlyphs& out) {
    bool gposKern = false;
    if (hb_ot_layout_has_positioning(face)) {
        hb_tag_t tags[64];
        for (unsigned start = 0, count = 64; count == 64 && !gposKern; start += 64) {
            count = 64;
            hb_ot_layout_table_get_feature_tags(face, HB_OT_TAG_GPOS, start, &count, tags);
            for (unsigned i = 0; i < count; ++i) gposKern |= tags[i] == kKern;
        }
    }
    if (!gposKern) return addKernTableGlyphs(face, out);
    const hb_tag_t features[] = {kKern, HB_TAG_NONE};
    const KerningGlyphs::Set lookups(hb_set_create());
    hb_ot_layout_collect_lookups(face, HB_OT_TAG_GPOS, nullptr, nullptr, features, lookups.get());
    hb_set_t* paired = out.paired.get();
    for (hb_codepoint_t lookup = HB_SET_VALUE_INVALID; hb_set_next(lookups.get(), &lookup);)
        hb_ot_layout_lookup_collect_glyphs(face, HB_OT_TAG_GPOS, lookup, paired, paired, paired,
                                           nullptr);
    addGposClassZeroLefts(face, lookups.get(), out.beforeAny.get());
    return true;
}

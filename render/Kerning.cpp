#include "render/Kerning.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <hb-ot.h>
#include <hb.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>
#include <vector>

#include "render/HbFont.h"

namespace {

constexpr hb_tag_t kKern = HB_TAG('k', 'e', 'r', 'n');

// Glyphs named by the legacy kern table's pair lists (formats 0 of the Microsoft and the Apple
// headers). A subtable of another format has no list to read: then every glyph may kern.
bool addKernTableGlyphs(hb_face_t* face, hb_set_t* glyphs, bool& everyGlyph) {
    const BlobHolder blob(hb_face_reference_table(face, kKern));
    unsigned size = 0;
    const auto* data = reinterpret_cast<const uint8_t*>(hb_blob_get_data(blob.get(), &size));
    if (size == 0) return false;
    const auto u16 = [&](uint64_t at) -> uint32_t {
        return at + 2 <= size ? uint32_t{data[at]} << 8 | data[at + 1] : 0;
    };
    const bool apple = u16(0) == 1 && u16(2) == 0;
    const uint32_t tables = apple ? u16(4) << 16 | u16(6) : u16(2);
    uint64_t at = apple ? 8 : 4;
    for (uint32_t t = 0; t < tables && at + 8 <= size; ++t) {
        // Microsoft: version, length, coverage (format in the high byte), then the format's data.
        // Apple: u32 length, coverage (format in the low byte), tuple index.
        const uint64_t length = apple ? (u16(at) << 16 | u16(at + 2)) : u16(at + 2);
        const uint32_t format = apple ? u16(at + 4) & 0xFF : u16(at + 4) >> 8;
        const uint64_t pairsAt = at + (apple ? 8 : 6);
        if (format != 0) {
            everyGlyph = true;
        } else {
            // Big tables overflow the 16-bit length; the pair count and the table's end hold.
            const uint32_t pairs = u16(pairsAt);
            for (uint64_t p = 0; p < pairs && pairsAt + 8 + 6 * p + 4 <= size; ++p) {
                hb_set_add(glyphs, u16(pairsAt + 8 + 6 * p));
                hb_set_add(glyphs, u16(pairsAt + 8 + 6 * p + 2));
            }
        }
        if (length < 6) break;
        at += length;
    }
    return true;
}

// Every glyph that a kerning lookup of GPOS (in any role) or the kern table names. Returns false
// when the font has no kerning at all.
bool kerningGlyphs(hb_face_t* face, hb_set_t* glyphs, bool& everyGlyph) {
    bool gposKern = false;
    if (hb_ot_layout_has_positioning(face)) {
        hb_tag_t tags[64];
        for (unsigned start = 0, count = 64; count == 64 && !gposKern; start += 64) {
            count = 64;
            hb_ot_layout_table_get_feature_tags(face, HB_OT_TAG_GPOS, start, &count, tags);
            for (unsigned i = 0; i < count; ++i) gposKern |= tags[i] == kKern;
        }
    }
    if (gposKern) {
        const hb_tag_t features[] = {kKern, HB_TAG_NONE};
        const SetHolder lookups(hb_set_create());
        hb_ot_layout_collect_lookups(face, HB_OT_TAG_GPOS, nullptr, nullptr, features,
                                     lookups.get());
        for (hb_codepoint_t lookup = HB_SET_VALUE_INVALID; hb_set_next(lookups.get(), &lookup);)
            hb_ot_layout_lookup_collect_glyphs(face, HB_OT_TAG_GPOS, lookup, glyphs, glyphs, glyphs,
                                               nullptr);
        return true;
    }
    // HarfBuzz applies the kern table when GPOS has no kern feature.
    return addKernTableGlyphs(face, glyphs, everyGlyph);
}

// Only kerning: every other feature HarfBuzz turns on by default would substitute or move glyphs.
const hb_feature_t* shapingFeatures(unsigned& count) {
    static const char* const kOff[] = {"ccmp", "locl", "rlig", "calt", "clig", "liga", "rclt",
                                       "mark", "mkmk", "curs", "dist", "abvm", "blwm", "rvrn",
                                       "ltra", "ltrm", "frac", "numr", "dnom"};
    static const std::vector<hb_feature_t> features = [] {
        std::vector<hb_feature_t> list;
        hb_feature_t f{};
        hb_feature_from_string("kern", -1, &f);
        list.push_back(f);
        for (const char* tag : kOff) {
            hb_feature_from_string(tag, -1, &f);
            f.value = 0;
            list.push_back(f);
        }
        return list;
    }();
    count = static_cast<unsigned>(features.size());
    return features.data();
}

hb_script_t pairScript(uint32_t left, uint32_t right) {
    hb_unicode_funcs_t* unicode = hb_unicode_funcs_get_default();
    for (const uint32_t code : {left, right}) {
        const hb_script_t script = hb_unicode_script(unicode, code);
        if (script != HB_SCRIPT_COMMON && script != HB_SCRIPT_INHERITED &&
            script != HB_SCRIPT_UNKNOWN)
            return script;
    }
    return HB_SCRIPT_COMMON;
}

struct Candidate {
    uint16_t code;
    hb_codepoint_t glyph;
};

// Shapes `lefts` x `rights` runs of (left, right[, separator]) and adds each non-zero pair. With a
// separator, one buffer holds every right character of a left one; the separator keeps one pair's
// adjustment out of the next. Without one (or when shaping changed the glyphs) each pair is
// shaped alone.
class PairShaper {
public:
    PairShaper(hb_font_t* font, hb_codepoint_t separator, std::vector<KernPair>& out)
        : font_(font), separator_(separator), buffer_(hb_buffer_create()), out_(out) {}

    void shapeLeft(const Candidate& left, hb_script_t script,
                   const std::vector<Candidate>& rights) {
        const hb_position_t advance = hb_font_get_glyph_h_advance(font_, left.glyph);
        if (separator_ != 0 && rights.size() > 1 &&
            shape(left, script, rights, 0, rights.size(), true, advance))
            return;
        for (size_t k = 0; k < rights.size(); ++k)
            shape(left, script, rights, k, k + 1, false, advance);
    }

private:
    bool shape(const Candidate& left, hb_script_t script, const std::vector<Candidate>& rights,
               size_t from, size_t to, bool separated, hb_position_t advance) {
        hb_buffer_t* b = buffer_.get();
        hb_buffer_clear_contents(b);
        hb_buffer_set_content_type(b, HB_BUFFER_CONTENT_TYPE_UNICODE);
        hb_buffer_set_direction(b, HB_DIRECTION_LTR);
        hb_buffer_set_script(b, script);
        const unsigned step = separated ? 3 : 2;
        unsigned cluster = 0;
        for (size_t k = from; k < to; ++k) {
            hb_buffer_add(b, left.code, cluster++);
            hb_buffer_add(b, rights[k].code, cluster++);
            if (separated) hb_buffer_add(b, separator_, cluster++);
        }
        unsigned featureCount = 0;
        const hb_feature_t* features = shapingFeatures(featureCount);
        hb_shape(font_, b, features, featureCount);
        unsigned length = 0;
        const hb_glyph_info_t* info = hb_buffer_get_glyph_infos(b, &length);
        const hb_glyph_position_t* pos = hb_buffer_get_glyph_positions(b, nullptr);
        if (length != step * (to - from)) return false;
        for (size_t k = from, i = 0; k < to; ++k, i += step)
            if (info[i].codepoint != left.glyph || info[i + 1].codepoint != rights[k].glyph)
                return false;
        for (size_t k = from, i = 0; k < to; ++k, i += step) {
            // How far the right glyph's ink moves against the left's: the left advance's change
            // plus the right glyph's shift, less the left glyph's own.
            const long moved =
                long{pos[i].x_advance} - advance + pos[i + 1].x_offset - pos[i].x_offset;
            if (const int32_t pixels = kerningPixels(moved); pixels != 0)
                out_.push_back(KernPair{left.code, rights[k].code, pixels});
        }
        return true;
    }

    hb_font_t* font_;
    hb_codepoint_t separator_;
    BufferHolder buffer_;
    std::vector<KernPair>& out_;
};

}  // namespace

int32_t kerningPixels(long value26_6) {
    const long t = value26_6 + 32;
    return static_cast<int32_t>(t >= 0 ? t / 64 : -((-t + 63) / 64));
}

std::vector<KernPair> faceKerningPairs(FT_FaceRec_* face, const std::vector<uint16_t>& codes) {
    std::vector<KernPair> pairs;
    if (!face || !FT_IS_SFNT(face) || face->units_per_EM == 0 || !face->size ||
        face->size->metrics.x_scale == 0 || codes.empty())
        return pairs;
    const FaceHolder hbFace = faceOverFreeType(face);
    const SetHolder glyphs(hb_set_create());
    bool everyGlyph = false;
    if (!kerningGlyphs(hbFace.get(), glyphs.get(), everyGlyph)) return pairs;
    const FontHolder font = sizedFont(face, hbFace.get());

    std::vector<Candidate> candidates;
    for (const uint16_t code : codes) {
        hb_codepoint_t glyph = 0;
        if (hb_font_get_nominal_glyph(font.get(), code, &glyph) && glyph != 0 &&
            (everyGlyph || hb_set_has(glyphs.get(), glyph)))
            candidates.push_back(Candidate{code, glyph});
    }
    if (candidates.empty()) return pairs;
    // A private-use character the font does not map draws as glyph 0, which no kerning names.
    hb_codepoint_t separator = 0;
    for (const hb_codepoint_t code : {0x10FFFDu, 0xFFFFDu, 0xF8FFu}) {
        hb_codepoint_t glyph = 0;
        if (!hb_font_get_nominal_glyph(font.get(), code, &glyph) && !hb_set_has(glyphs.get(), 0)) {
            separator = code;
            break;
        }
    }
    PairShaper shaper(font.get(), separator, pairs);
    std::map<hb_script_t, std::vector<Candidate>> byScript;
    for (const Candidate& left : candidates) {
        byScript.clear();
        for (const Candidate& right : candidates)
            byScript[pairScript(left.code, right.code)].push_back(right);
        for (const auto& [script, rights] : byScript) shaper.shapeLeft(left, script, rights);
    }
    std::sort(pairs.begin(), pairs.end());
    return pairs;
}

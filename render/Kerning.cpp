#include "render/Kerning.h"

#include <ft2build.h>

#include "render/KerningGlyphs.h"
#include FT_FREETYPE_H
#include FT_MULTIPLE_MASTERS_H
#include FT_TRUETYPE_TABLES_H

#include <hb-ot.h>
#include <hb.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>
#include <vector>

namespace {

template <typename T, void (*Destroy)(T*)>
struct HbDeleter {
    void operator()(T* p) const { Destroy(p); }
};
using FaceHolder = std::unique_ptr<hb_face_t, HbDeleter<hb_face_t, hb_face_destroy>>;
using FontHolder = std::unique_ptr<hb_font_t, HbDeleter<hb_font_t, hb_font_destroy>>;
using BufferHolder = std::unique_ptr<hb_buffer_t, HbDeleter<hb_buffer_t, hb_buffer_destroy>>;

// HarfBuzz reads the tables through FreeType, so the face is exactly the one that draws: the same
// member of a collection, also when FreeType opened the file through our own stream.
hb_blob_t* referenceTable(hb_face_t*, hb_tag_t tag, void* user) {
    const FT_Face face = static_cast<FT_Face>(user);
    FT_ULong length = 0;
    if (FT_Load_Sfnt_Table(face, tag, 0, nullptr, &length) != 0 || length == 0) return nullptr;
    auto* bytes = static_cast<FT_Byte*>(std::malloc(length));
    if (!bytes) return nullptr;
    if (FT_Load_Sfnt_Table(face, tag, 0, bytes, &length) != 0) {
        std::free(bytes);
        return nullptr;
    }
    return hb_blob_create(reinterpret_cast<const char*>(bytes), static_cast<unsigned>(length),
                          HB_MEMORY_MODE_WRITABLE, bytes, std::free);
}

// The font at FreeType's size and instance, scaled as HarfBuzz's FreeType integration does, so
// positions come out in 26.6 pixels.
FontHolder sizedFont(FT_Face face, hb_face_t* hbFace) {
    FontHolder font(hb_font_create(hbFace));
    hb_ot_font_set_funcs(font.get());
    const uint64_t upem = face->units_per_EM;
    const auto scale = [&](FT_Fixed s) {
        return static_cast<int>((static_cast<uint64_t>(s < 0 ? -s : s) * upem + 0x8000u) >> 16);
    };
    hb_font_set_scale(font.get(), scale(face->size->metrics.x_scale),
                      scale(face->size->metrics.y_scale));
    hb_font_set_ppem(font.get(), face->size->metrics.x_ppem, face->size->metrics.y_ppem);
    FT_MM_Var* mm = nullptr;
    if (FT_HAS_MULTIPLE_MASTERS(face) && FT_Get_MM_Var(face, &mm) == 0) {
        std::vector<FT_Fixed> blend(mm->num_axis);
        if (FT_Get_Var_Blend_Coordinates(face, mm->num_axis, blend.data()) == 0) {
            std::vector<int> coords(blend.size());
            for (size_t i = 0; i < blend.size(); ++i) coords[i] = static_cast<int>(blend[i] >> 2);
            hb_font_set_var_coords_normalized(font.get(), coords.data(),
                                              static_cast<unsigned>(coords.size()));
        }
        FT_Done_MM_Var(face->glyph->library, mm);
    }
    return font;
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

bool isMark(hb_unicode_funcs_t* unicode, uint32_t code) {
    const hb_unicode_general_category_t category = hb_unicode_general_category(unicode, code);
    return category == HB_UNICODE_GENERAL_CATEGORY_NON_SPACING_MARK ||
           category == HB_UNICODE_GENERAL_CATEGORY_SPACING_MARK ||
           category == HB_UNICODE_GENERAL_CATEGORY_ENCLOSING_MARK;
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
    const FaceHolder hbFace(hb_face_create_for_tables(referenceTable, face, nullptr));
    hb_face_set_upem(hbFace.get(), face->units_per_EM);
    KerningGlyphs kerning;
    if (!collectKerningGlyphs(hbFace.get(), kerning)) return pairs;
    const FontHolder font = sizedFont(face, hbFace.get());

    // Every mapped character; those that kern with each other, before any or after any one. A
    // combining mark that no table names is left out: the kern table's pairs skip marks, and
    // what HarfBuzz does to one is placing it on its base, not kerning.
    std::vector<Candidate> all, paired, afterAny;
    std::vector<bool> beforeAny;
    hb_unicode_funcs_t* unicode = hb_unicode_funcs_get_default();
    for (const uint16_t code : codes) {
        hb_codepoint_t glyph = 0;
        if (!hb_font_get_nominal_glyph(font.get(), code, &glyph) || glyph == 0) continue;
        const bool named = hb_set_has(kerning.paired.get(), glyph);
        if (!named && isMark(unicode, code)) continue;
        const Candidate c{code, glyph};
        const bool isPaired = kerning.everyPair || named || glyph >= kerning.pairedFrom;
        all.push_back(c);
        beforeAny.push_back(kerning.everyPair || hb_set_has(kerning.beforeAny.get(), glyph));
        if (isPaired) paired.push_back(c);
        if (hb_set_has(kerning.afterAny.get(), glyph)) afterAny.push_back(c);
    }
    if (paired.empty() && afterAny.empty() &&
        std::find(beforeAny.begin(), beforeAny.end(), true) == beforeAny.end())
        return pairs;
    // A private-use character the font does not map draws as glyph 0, which no kerning names.
    // (A kern table may still reach it through class 0: then the value it shares with the next
    // left glyph moves that glyph's advance and its offset alike, which the measure cancels.)
    hb_codepoint_t separator = 0;
    for (const hb_codepoint_t code : {0x10FFFDu, 0xFFFFDu, 0xF8FFu}) {
        hb_codepoint_t glyph = 0;
        if (!hb_font_get_nominal_glyph(font.get(), code, &glyph) &&
            !hb_set_has(kerning.paired.get(), 0)) {
            separator = code;
            break;
        }
    }
    PairShaper shaper(font.get(), separator, pairs);
    std::map<hb_script_t, std::vector<Candidate>> byScript;
    size_t nextPaired = 0;
    for (size_t i = 0; i < all.size(); ++i) {
        const Candidate& left = all[i];
        const bool isPaired = nextPaired < paired.size() && paired[nextPaired].code == left.code;
        nextPaired += isPaired;
        byScript.clear();
        const auto addRights = [&](const std::vector<Candidate>& rights) {
            for (const Candidate& right : rights)
                byScript[pairScript(left.code, right.code)].push_back(right);
        };
        if (beforeAny[i]) {
            addRights(all);
        } else if (isPaired && afterAny.empty()) {
            addRights(paired);
        } else {
            // The characters that kern after any character, with the paired ones when the left
            // one is, each once and in order.
            std::vector<Candidate> rights;
            std::merge(isPaired ? paired.begin() : paired.end(), paired.end(), afterAny.begin(),
                       afterAny.end(), std::back_inserter(rights),
                       [](const Candidate& a, const Candidate& b) { return a.code < b.code; });
            rights.erase(std::unique(rights.begin(), rights.end(),
                                     [](const Candidate& a, const Candidate& b) {
                                         return a.code == b.code;
                                     }),
                         rights.end());
            addRights(rights);
        }
        for (const auto& [script, rights] : byScript) shaper.shapeLeft(left, script, rights);
    }
    std::sort(pairs.begin(), pairs.end());
    return pairs;
}

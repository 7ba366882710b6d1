#include "render/StringShaper.h"

#include <fribidi.h>

#include <algorithm>
#include <numeric>

#include "render/HbFont.h"

struct StringShaper::Impl {
    std::vector<FaceHolder> faces;  // null for a null entry
    std::vector<FontHolder> fonts;
    BufferHolder buffer{hb_buffer_create()};
};

StringShaper::StringShaper(const std::vector<FT_FaceRec_*>& fonts)
    : impl_(std::make_unique<Impl>()) {
    for (FT_FaceRec_* face : fonts) {
        if (!face) {
            impl_->faces.emplace_back();
            impl_->fonts.emplace_back();
            continue;
        }
        impl_->faces.push_back(faceOverFreeType(face));
        impl_->fonts.push_back(sizedFont(face, impl_->faces.back().get()));
    }
}

StringShaper::~StringShaper() = default;

namespace {

// Characters that need no glyph of their own: HarfBuzz hides them, so any font can take them.
bool needsNoGlyph(char32_t c) {
    return c == 0x200C || c == 0x200D || (c >= 0x200E && c <= 0x200F) ||
           (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) || c == 0xFEFF ||
           (c >= 0xFE00 && c <= 0xFE0F);
}

bool isRealScript(hb_script_t s) {
    return s != HB_SCRIPT_COMMON && s != HB_SCRIPT_INHERITED && s != HB_SCRIPT_UNKNOWN;
}

// The script of every character: common and inherited characters (spaces, digits, punctuation,
// combining marks) take the script of the text before them, or, at the start, after them.
std::vector<hb_script_t> resolvedScripts(const std::u32string& text) {
    hb_unicode_funcs_t* unicode = hb_unicode_funcs_get_default();
    std::vector<hb_script_t> scripts(text.size());
    for (size_t i = 0; i < text.size(); ++i) scripts[i] = hb_unicode_script(unicode, text[i]);
    hb_script_t last = HB_SCRIPT_COMMON;
    for (hb_script_t& s : scripts) {
        if (isRealScript(s))
            last = s;
        else
            s = last;
    }
    hb_script_t next = HB_SCRIPT_COMMON;
    for (size_t i = scripts.size(); i-- > 0;) {
        if (isRealScript(scripts[i]))
            next = scripts[i];
        else
            scripts[i] = next;
    }
    return scripts;
}

}  // namespace

bool StringShaper::covers(size_t font, char32_t c) const {
    hb_font_t* hbFont = impl_->fonts[font].get();
    hb_codepoint_t glyph = 0;
    return hbFont && hb_font_get_nominal_glyph(hbFont, c, &glyph) && glyph != 0;
}

std::vector<size_t> StringShaper::fontsFor(const std::u32string& text) const {
    hb_unicode_funcs_t* unicode = hb_unicode_funcs_get_default();
    std::vector<size_t> fonts(text.size(), 0);
    for (size_t i = 0; i < text.size(); ++i) {
        const char32_t c = text[i];
        const hb_unicode_general_category_t category = hb_unicode_general_category(unicode, c);
        const bool mark = category == HB_UNICODE_GENERAL_CATEGORY_NON_SPACING_MARK ||
                          category == HB_UNICODE_GENERAL_CATEGORY_SPACING_MARK ||
                          category == HB_UNICODE_GENERAL_CATEGORY_ENCLOSING_MARK;
        const bool common = hb_unicode_script(unicode, c) == HB_SCRIPT_COMMON;
        // A mark or joiner stays with its base's font; a space, digit or punctuation mark with
        // the font before it when that font has it, so that runs are not split for them.
        if (i > 0 && (mark || needsNoGlyph(c) || (common && covers(fonts[i - 1], c)))) {
            fonts[i] = fonts[i - 1];
            continue;
        }
        bool found = false;
        for (size_t f = 0; f < impl_->fonts.size() && !found; ++f) {
            if (covers(f, c)) {
                fonts[i] = f;
                found = true;
            }
        }
        // No font has it: it stays with the text before it (and draws as that font's .notdef).
        if (!found && i > 0) fonts[i] = fonts[i - 1];
    }
    return fonts;
}

ShapedString StringShaper::shape(const std::u32string& text, const std::string& language,
                                 TextDirection direction) const {
    ShapedString shaped;
    const auto n = static_cast<FriBidiStrIndex>(text.size());
    FriBidiParType base = direction == TextDirection::RightToLeft   ? FRIBIDI_PAR_RTL
                          : direction == TextDirection::LeftToRight ? FRIBIDI_PAR_LTR
                                                                    : FRIBIDI_PAR_ON;
    std::vector<FriBidiChar> chars(text.begin(), text.end());
    std::vector<FriBidiCharType> types(text.size());
    std::vector<FriBidiBracketType> brackets(text.size());
    std::vector<FriBidiLevel> levels(text.size());
    std::vector<FriBidiStrIndex> map(text.size());
    fribidi_get_bidi_types(chars.data(), n, types.data());
    fribidi_get_bracket_types(chars.data(), n, types.data(), brackets.data());
    if (n > 0 && fribidi_get_par_embedding_levels_ex(types.data(), brackets.data(), n, &base,
                                                     levels.data()) == 0)
        std::fill(levels.begin(), levels.end(), FriBidiLevel{0});
    shaped.rightToLeft = FRIBIDI_IS_RTL(base);
    // The whole string is one line here: this applies rule L1 (trailing white space takes the
    // paragraph's level) and gives the visual position of every character.
    std::iota(map.begin(), map.end(), 0);
    if (n > 0 && fribidi_reorder_line(FRIBIDI_FLAGS_DEFAULT, types.data(), n, 0, base,
                                      levels.data(), nullptr, map.data()) == 0)
        std::iota(map.begin(), map.end(), 0);
    std::vector<size_t> visual(text.size());
    for (size_t v = 0; v < map.size(); ++v) visual[static_cast<size_t>(map[v])] = v;

    // Runs of one level, one script and one font, in logical order.
    const std::vector<hb_script_t> scripts = resolvedScripts(text);
    const std::vector<size_t> fonts = fontsFor(text);
    std::vector<ShapedRun> runs;
    for (size_t i = 0; i < text.size();) {
        size_t end = i + 1;
        while (end < text.size() && levels[end] == levels[i] && scripts[end] == scripts[i] &&
               fonts[end] == fonts[i])
            ++end;
        ShapedRun run;
        run.start = static_cast<uint32_t>(i);
        run.length = static_cast<uint32_t>(end - i);
        run.rightToLeft = (levels[i] & 1) != 0;
        run.script = scripts[i];
        run.font = fonts[i];
        runs.push_back(run);
        i = end;
    }
    const hb_language_t hbLanguage =
        language.empty()
            ? HB_LANGUAGE_INVALID
            : hb_language_from_string(language.c_str(), static_cast<int>(language.size()));
    hb_buffer_t* buffer = impl_->buffer.get();
    for (ShapedRun& run : runs) {
        hb_font_t* font = impl_->fonts[run.font].get();
        if (!font) continue;
        hb_buffer_clear_contents(buffer);
        // Each run is shaped on its own, as `hb-shape` shapes it given the run's text.
        std::vector<uint32_t> codes(text.begin() + run.start,
                                    text.begin() + run.start + run.length);
        hb_buffer_add_utf32(buffer, codes.data(), static_cast<int>(codes.size()), 0,
                            static_cast<int>(codes.size()));
        hb_buffer_set_direction(buffer, run.rightToLeft ? HB_DIRECTION_RTL : HB_DIRECTION_LTR);
        hb_buffer_set_script(buffer, static_cast<hb_script_t>(run.script));
        hb_buffer_set_language(buffer, hbLanguage);
        hb_shape(font, buffer, nullptr, 0);
        unsigned count = 0;
        const hb_glyph_info_t* info = hb_buffer_get_glyph_infos(buffer, &count);
        const hb_glyph_position_t* pos = hb_buffer_get_glyph_positions(buffer, nullptr);
        for (unsigned g = 0; g < count; ++g)
            run.glyphs.push_back(ShapedGlyph{info[g].codepoint, run.start + info[g].cluster,
                                             pos[g].x_offset, pos[g].y_offset, pos[g].x_advance});
    }
    std::stable_sort(runs.begin(), runs.end(), [&](const ShapedRun& a, const ShapedRun& b) {
        return visual[a.start] < visual[b.start];
    });
    shaped.runs = std::move(runs);
    return shaped;
}

namespace {

// 26.6 to whole pixels, halves upwards (as the advance widths round).
int32_t roundPixels(int64_t value) {
    return static_cast<int32_t>((value + 32) >> 6);
}

}  // namespace

LaidOutString layOut(const ShapedString& shaped) {
    LaidOutString out;
    out.rightToLeft = shaped.rightToLeft;
    int64_t pen = 0;
    for (const ShapedRun& run : shaped.runs) {
        for (const ShapedGlyph& g : run.glyphs) {
            const int32_t at = roundPixels(pen);
            PlacedGlyph p;
            p.font = run.font;
            p.glyph = g.glyph;
            p.cluster = g.cluster;
            p.dx = roundPixels(pen + g.xOffset) - at;
            p.dy = -roundPixels(g.yOffset);
            pen += g.xAdvance;
            p.advance = roundPixels(pen) - at;
            out.glyphs.push_back(p);
        }
    }
    out.width = roundPixels(pen);
    return out;
}

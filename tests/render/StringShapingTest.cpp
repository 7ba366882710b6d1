// Strings shaped by StringShaper against `hb-shape` (Debian's libharfbuzz-bin) on the same font,
// direction, script and language: every visual run, in the order FriBidi gives, must have
// hb-shape's glyph ids and clusters, and positions within one pixel of hb-shape's at the same em.
#include <ft2build.h>
#include <gtest/gtest.h>
#include FT_FREETYPE_H

#include <hb.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "render/LineBreaks.h"
#include "render/StringShaper.h"
#include "support/Sandbox.h"

namespace {

const std::string kNoto = "/usr/share/fonts/truetype/noto/";

struct HbGlyph {
    uint32_t glyph = 0, cluster = 0;
    double dx = 0, dy = 0, advance = 0;  // font units
};

// hb-shape's text output with glyph ids: [gid=cluster@dx,dy+ax|...], "@dx,dy" only when not 0.
std::vector<HbGlyph> parseHbShape(const std::string& text) {
    std::vector<HbGlyph> glyphs;
    size_t at = text.find('[');
    while (at != std::string::npos && at + 1 < text.size() && text[at] != ']') {
        ++at;
        HbGlyph g;
        char* end = nullptr;
        g.glyph = static_cast<uint32_t>(std::strtoul(text.c_str() + at, &end, 10));
        g.cluster = static_cast<uint32_t>(std::strtoul(end + 1, &end, 10));
        if (*end == '@') {
            g.dx = std::strtod(end + 1, &end);
            g.dy = std::strtod(end + 1, &end);
        }
        if (*end == '+') g.advance = std::strtod(end + 1, &end);
        glyphs.push_back(g);
        at = static_cast<size_t>(end - text.c_str());
        at = text.find_first_of("|]", at);
    }
    return glyphs;
}

std::string utf8(const std::u32string& text) {
    std::string out;
    for (const char32_t c : text) platform::appendUtf8(out, c);
    return out;
}

std::string hbShape(const std::string& font, const std::u32string& text, bool rtl, uint32_t script,
                    const std::string& language) {
    char tag[5] = {};
    hb_tag_to_string(hb_script_to_iso15924_tag(static_cast<hb_script_t>(script)), tag);
    const std::string command = "hb-shape --no-glyph-names --font-funcs=ot --direction=" +
                                std::string(rtl ? "rtl" : "ltr") + " --script=" + tag +
                                " --language=" + (language.empty() ? "und" : language) + " " +
                                testing_support::shellQuote(font) + " " +
                                testing_support::shellQuote(utf8(text)) + " 2>&1";
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        size_t n = 0;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
        pclose(pipe);
    }
    return out;
}

struct Case {
    const char* what;
    std::vector<std::string> fonts;  // the chain; runs name their font by index
    std::u32string text;
    std::string language;
    TextDirection direction;
    size_t runs;  // visual runs expected; 0 for a mixed string (FriBidi and the fonts decide)
};

const std::vector<Case>& cases() {
    static const std::vector<Case> list = {
        {"Arabic joining",
         {"NotoSansArabic-Regular.ttf"},
         U"مرحبا بالعالم",
         "ar",
         TextDirection::Auto,
         1},
        {"Arabic lam-alef",
         {"NotoSansArabic-Regular.ttf"},
         U"لا إله إلا الله",
         "ar",
         TextDirection::Auto,
         1},
        {"Naskh harakat",
         {"NotoNaskhArabic-Regular.ttf"},
         U"بِسْمِ ٱللَّهِ ٱلرَّحْمَٰنِ",
         "ar",
         TextDirection::Auto,
         1},
        {"Urdu", {"NotoNaskhArabic-Regular.ttf"}, U"یہ اردو زبان ہے", "ur", TextDirection::Auto, 1},
        {"Hebrew", {"NotoSansHebrew-Regular.ttf"}, U"שלום עולם", "he", TextDirection::Auto, 1},
        {"Hebrew, numbers, brackets",
         {"NotoSansHebrew-Regular.ttf", FONTBIN_TEST_FONT_DEJAVU},
         U"המחיר (120 ש״ח) בלבד",
         "he",
         TextDirection::Auto,
         0},
        {"Arabic with a brand and a temperature",
         {"NotoSansArabic-Regular.ttf", FONTBIN_TEST_FONT_DEJAVU},
         U"درجة الحرارة في Fontbin Pro هي 23°C الآن",
         "ar",
         TextDirection::Auto,
         0},
        {"Devanagari conjuncts",
         {"NotoSansDevanagari-Regular.ttf"},
         U"क्षत्रिय त्रिकोण ज्ञान",
         "hi",
         TextDirection::Auto,
         1},
        {"Devanagari reph and i",
         {"NotoSansDevanagari-Regular.ttf"},
         U"हिन्दी धर्म कार्य",
         "hi",
         TextDirection::Auto,
         1},
        {"Bengali",
         {"NotoSansBengali-Regular.ttf"},
         U"বাংলা ভাষা ক্ষমা",
         "bn",
         TextDirection::Auto,
         1},
        {"Tamil", {"NotoSansTamil-Regular.ttf"}, U"தமிழ் மொழி க்ஷ", "ta", TextDirection::Auto, 1},
        {"Thai stacked marks",
         {"NotoSansThai-Regular.ttf"},
         U"ที่นี่ทิ๋ ภาษาไทย",
         "th",
         TextDirection::Auto,
         1},
        {"CJK and Latin",
         {FONTBIN_TEST_FONT_MICROHEI},
         U"设置 Settings",
         "zh",
         TextDirection::LeftToRight,
         0},
    };
    return list;
}

std::string fontPath(const std::string& name) {
    return name[0] == '/' ? name : kNoto + name;
}

class Faces {
public:
    explicit Faces(const std::vector<std::string>& paths, FT_UInt pixels) {
        FT_Init_FreeType(&library_);
        for (const std::string& p : paths) {
            FT_Face face = nullptr;
            if (FT_New_Face(library_, fontPath(p).c_str(), 0, &face) == 0) {
                FT_Set_Pixel_Sizes(face, 0, pixels);
                faces_.push_back(face);
            }
        }
    }
    ~Faces() {
        for (FT_Face f : faces_) FT_Done_Face(f);
        FT_Done_FreeType(library_);
    }
    std::vector<FT_FaceRec_*> faces() const { return faces_; }

private:
    FT_Library library_ = nullptr;
    std::vector<FT_Face> faces_;
};

TEST(StringShaping, EveryVisualRunEqualsHbShape) {
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.what);
        constexpr FT_UInt kEm = 20;
        const Faces faces(c.fonts, kEm);
        ASSERT_EQ(faces.faces().size(), c.fonts.size());
        const StringShaper shaper(faces.faces());
        const ShapedString shaped = shaper.shape(c.text, c.language, c.direction);
        // A string of one direction and one font is one run; any string's runs cover its text
        // once.
        if (c.runs != 0) {
            EXPECT_EQ(shaped.runs.size(), c.runs);
        }
        std::vector<int> covered(c.text.size());
        for (const ShapedRun& r : shaped.runs)
            for (uint32_t i = r.start; i < r.start + r.length; ++i) ++covered.at(i);
        EXPECT_EQ(covered, std::vector<int>(c.text.size(), 1));
        const LaidOutString laid = layOut(shaped);
        size_t placed = 0;
        for (const ShapedRun& run : shaped.runs) {
            const FT_Face face = faces.faces()[run.font];
            const double pixelsPerUnit = double(kEm) / face->units_per_EM;
            const std::u32string part = c.text.substr(run.start, run.length);
            const std::string out =
                hbShape(fontPath(c.fonts[run.font]), part, run.rightToLeft, run.script, c.language);
            const std::vector<HbGlyph> expected = parseHbShape(out);
            ASSERT_EQ(run.glyphs.size(), expected.size()) << out;
            for (size_t k = 0; k < expected.size(); ++k, ++placed) {
                const PlacedGlyph& got = laid.glyphs[placed];
                EXPECT_EQ(got.glyph, expected[k].glyph) << out << " glyph " << k;
                EXPECT_EQ(got.cluster, run.start + expected[k].cluster) << out << " glyph " << k;
                EXPECT_NEAR(got.advance, expected[k].advance * pixelsPerUnit, 1.0) << out;
                EXPECT_NEAR(got.dx, expected[k].dx * pixelsPerUnit, 1.0) << out;
                EXPECT_NEAR(got.dy, -expected[k].dy * pixelsPerUnit, 1.0) << out;
            }
        }
        EXPECT_EQ(placed, laid.glyphs.size());
    }
}

// Line-break opportunities: between words (UAX #14), and inside Thai, which has no spaces, at
// the word boundaries of libthai's dictionary.
TEST(StringShaping, LineBreaks) {
    const struct {
        std::u32string text;
        std::vector<uint32_t> breaks;
    } cases[] = {
        {U"Save all files", {5, 9}},
        {U"مرحبا بالعالم", {6}},
        {U"ภาษาไทยง่าย", {4, 7}},
        {U"x", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(lineBreaks(c.text, ""), c.breaks) << utf8(c.text);
}

}  // namespace

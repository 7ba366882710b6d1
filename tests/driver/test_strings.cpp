// UI strings ("stringPaths") through the real tool: shaped, their glyphs stored in the font file,
// the string table decoded and drawn by the device reader; and the faults that stop a run before
// it writes anything.
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "reader/fontbin_reader.h"
#include "reader/fontbin_strings.h"
#include "support/Sandbox.h"

namespace {

namespace fs = std::filesystem;
using testing_support::readBytes;
using testing_support::ToolSandbox;
using testing_support::writeFile;

const std::string kNoto = "/usr/share/fonts/truetype/noto/";

// Every file of the sandbox's project folder that the run wrote.
std::set<std::string> outputs(const ToolSandbox& box) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(box.project())) {
        const std::string name = entry.path().filename().u8string();
        if (name.find("_size") != std::string::npos) names.insert(name);
    }
    return names;
}

struct Canvas {
    std::map<std::pair<int, int>, unsigned> ink;
    static void put(void* user, int x, int y, unsigned level) {
        static_cast<Canvas*>(user)->ink[{x, y}] = level;
    }
};

// A run over Arabic, Devanagari, Thai and Hebrew strings with a font chain, in each layout.
class StringRun {
public:
    explicit StringRun(const std::string& layout) {
        box_.addFont(kNoto + "NotoSansArabic-Regular.ttf", "arabic.ttf");
        for (const char* f : {"NotoSansDevanagari-Regular.ttf", "NotoSansThai-Regular.ttf",
                              "NotoSansHebrew-Regular.ttf"})
            box_.addFont(kNoto + f, f);
        box_.addFont(FONTBIN_TEST_FONT_DEJAVU, "sans.ttf");
        writeFile(box_.project() / "ui.json",
                  R"({"greeting": "مرحبا بالعالم", "hindi": "हिन्दी क्षत्रिय", )"
                  R"("thai": "ที่นี่ทิ๋ ภาษาไทยง่ายมาก"})");
        writeFile(box_.project() / "he.txt", "\xEF\xBB\xBFשלום עולם (123) ברוכים הבאים\n\nHello\n");
        box_.writeConfig(
            R"({"customerVals": [{"firstVal": "0x20", "range": "95"}],
                "stringPaths": ["ui.json", {"path": "he.txt", "language": "he"}],
                "fontSet": {"font": "arabic.ttf", "fontSize": 20, "renderMode": 4, )" +
            layout +
            R"(, "fallbackFonts": ["NotoSansDevanagari-Regular.ttf", "NotoSansThai-Regular.ttf",
                                     "NotoSansHebrew-Regular.ttf", "sans.ttf"]}})");
        result_ = box_.run({"FontConfig.json"});
        const std::string stem = (box_.project() / "arabic_size20_bits4").u8string();
        font_ = readBytes(
            stem + (layout.find("compact") != std::string::npos ? "_compact.bin" : "_font.bin"));
        strings_ = readBytes(stem + "_strings.bin");
        list_ = readBytes(stem + "_out.cst");
    }
    const testing_support::RunResult& result() const { return result_; }
    const ToolSandbox& box() const { return box_; }
    const std::vector<uint8_t>& font() const { return font_; }
    const std::vector<uint8_t>& strings() const { return strings_; }
    std::set<uint16_t> listed() const {
        std::set<uint16_t> codes;
        for (size_t i = 0; i + 1 < list_.size(); i += 2) codes.insert(list_[i] | list_[i + 1] << 8);
        return codes;
    }

private:
    ToolSandbox box_;
    testing_support::RunResult result_;
    std::vector<uint8_t> font_, strings_, list_;
};

TEST(Strings, ShapedGlyphsAreStoredOnceAndDrawnAlikeInEveryLayout) {
    std::map<std::string, Canvas> firstLayout;
    for (const std::string layout : {R"("indexMethod": 1)", R"("crop": 1)", R"("compact": true)"}) {
        SCOPED_TRACE(layout);
        const StringRun run(layout);
        ASSERT_EQ(run.result().status, 0) << run.result().err;
        fb_font font;
        ASSERT_EQ(fb_open(run.font().data(), run.font().size(), &font), FB_OK);
        fb_strings table;
        ASSERT_EQ(fb_strings_open(run.strings().data(), run.strings().size(), &table), FB_OK);
        ASSERT_EQ(table.count, 5u);
        EXPECT_EQ(table.font_size, 20u);
        const std::set<uint16_t> listed = run.listed();
        std::set<uint16_t> privateUsed;
        const char* names[] = {"greeting", "hindi", "thai", "he_1", "he_3"};
        const bool rtl[] = {true, false, false, true, false};
        for (unsigned i = 0; i < table.count; ++i) {
            fb_string s;
            ASSERT_EQ(fb_string_at(&table, i, &s), FB_OK);
            EXPECT_EQ(std::string(s.name, s.name_length), names[i]);
            EXPECT_EQ(s.right_to_left, rtl[i]) << names[i];
            fb_string found;
            ASSERT_EQ(fb_string_find(&table, names[i], &found), FB_OK);
            EXPECT_EQ(found.index, i);
            EXPECT_EQ(fb_string_measure(&s, 0, s.length), s.width);
            for (unsigned k = 0; k < s.glyph_count; ++k) {
                fb_string_glyph g;
                fb_string_glyph_at(&s, k, &g);
                EXPECT_TRUE(listed.count(static_cast<uint16_t>(g.code))) << names[i] << " " << k;
                if (g.code >= 0xE000 && g.code <= 0xF8FF) privateUsed.insert(g.code);
            }
            Canvas canvas;
            ASSERT_EQ(fb_string_draw(&font, &s, 0, 0, Canvas::put, &canvas), FB_OK);
            EXPECT_GT(canvas.ink.size(), 20u) << names[i];
            // Every layout draws the same pixels.
            if (firstLayout.count(names[i]))
                EXPECT_EQ(canvas.ink, firstLayout[names[i]].ink) << names[i];
            else
                firstLayout[names[i]] = canvas;
        }
        // The private-use code points listed are exactly those the strings use: every glyph
        // that no selected character draws, once.
        std::set<uint16_t> privateListed;
        for (uint16_t c : listed)
            if (c >= 0xE000 && c <= 0xF8FF) privateListed.insert(c);
        EXPECT_EQ(privateListed, privateUsed);
        EXPECT_EQ(fb_string_find(&table, "nothing", nullptr), FB_ERR_ARGUMENT);
    }
}

// A right-to-left paragraph wraps at its word breaks, each line aligned right.
TEST(Strings, WrappedRightToLeftLinesAlignRight) {
    const StringRun run(R"("crop": 1)");
    ASSERT_EQ(run.result().status, 0) << run.result().err;
    fb_font font;
    fb_strings table;
    fb_string s;
    ASSERT_EQ(fb_open(run.font().data(), run.font().size(), &font), FB_OK);
    ASSERT_EQ(fb_strings_open(run.strings().data(), run.strings().size(), &table), FB_OK);
    ASSERT_EQ(fb_string_find(&table, "he_1", &s), FB_OK);
    const unsigned w = static_cast<unsigned>(s.width) / 2 + 4;
    Canvas canvas;
    unsigned lines = 0;
    ASSERT_EQ(fb_string_draw_box(&font, &s, 10, 0, w, 1000, Canvas::put, &canvas, &lines), FB_OK);
    EXPECT_GE(lines, 2u);
    const int rows = static_cast<int>(font.geometry.rows);
    for (unsigned line = 0; line < lines; ++line) {
        int right = -1000, left = 1000;
        for (const auto& [at, level] : canvas.ink) {
            if (at.second / rows != static_cast<int>(line)) continue;
            right = std::max(right, at.first);
            left = std::min(left, at.first);
        }
        EXPECT_GE(left, 10 - 2) << line;
        EXPECT_GE(right, 10 + static_cast<int>(w) - 4) << line;
        EXPECT_LE(right, 10 + static_cast<int>(w) + 1) << line;
    }
    // Drawing into a box too low for the second line draws the first line alone.
    Canvas one;
    ASSERT_EQ(fb_string_draw_box(&font, &s, 10, 0, w, static_cast<unsigned>(rows), Canvas::put,
                                 &one, nullptr),
              FB_OK);
    EXPECT_FALSE(one.ink.empty());
    EXPECT_LT(one.ink.size(), canvas.ink.size());
}

// A wrapped line neither counts nor draws the spaces before its break: a box as wide as the
// first two words holds them, left to right, right to left or mixed, and each line's ink stays
// inside the box, a right-to-left line's reaching its right edge.
TEST(Strings, WrappedLinesLeaveTheirTrailingSpacesOut) {
    const struct {
        const char* name;
        const char* text;
        unsigned twoWords;  // code points of the first two words, without the space after them
    } cases[] = {
        {"latin", "Save all now", 8},
        {"hebrew", "שלום עולם טוב", 9},
        {"mixed", "abc שלום עולם", 8},
    };
    for (const std::string layout : {R"("crop": 1)", R"("compact": true)"}) {
        SCOPED_TRACE(layout);
        ToolSandbox box;
        box.addFont(FONTBIN_TEST_FONT_DEJAVU, "sans.ttf");
        std::string json;
        for (const auto& c : cases)
            json +=
                std::string(json.empty() ? "{" : ", ") + "\"" + c.name + "\": \"" + c.text + "\"";
        writeFile(box.project() / "ui.json", json + "}");
        box.writeConfig(R"({"stringPaths": ["ui.json"], "fontSet": {"font": "sans.ttf", )"
                        R"("fontSize": 16, "renderMode": 4, )" +
                        layout + "}}");
        const auto result = box.run({"FontConfig.json"});
        ASSERT_EQ(result.status, 0) << result.err;
        const std::string stem = (box.project() / "sans_size16_bits4").u8string();
        const auto fontBytes = readBytes(
            stem + (layout.find("compact") != std::string::npos ? "_compact.bin" : "_font.bin"));
        const auto tableBytes = readBytes(stem + "_strings.bin");
        fb_font font;
        fb_strings table;
        ASSERT_EQ(fb_open(fontBytes.data(), fontBytes.size(), &font), FB_OK);
        ASSERT_EQ(fb_strings_open(tableBytes.data(), tableBytes.size(), &table), FB_OK);
        for (const auto& c : cases) {
            SCOPED_TRACE(c.name);
            fb_string s;
            ASSERT_EQ(fb_string_find(&table, c.name, &s), FB_OK);
            const int w = fb_string_measure(&s, 0, c.twoWords);
            Canvas canvas;
            unsigned lines = 0;
            ASSERT_EQ(fb_string_draw_box(&font, &s, 10, 0, unsigned(w), 1000, Canvas::put, &canvas,
                                         &lines),
                      FB_OK);
            EXPECT_EQ(lines, 2u);
            for (unsigned line = 0; line < 2; ++line) {
                int left = 1 << 20, right = -1;
                for (const auto& [at, level] : canvas.ink)
                    if (at.second / int(font.geometry.rows) == int(line))
                        left = std::min(left, at.first), right = std::max(right, at.first);
                EXPECT_GE(left, 10) << line;
                EXPECT_LT(right, 10 + w) << line;
                // The first line fills the box; a right-to-left one's lines reach its right edge.
                if (line == 0) {
                    EXPECT_LE(left, 10 + 2);
                }
                if (line == 0 || s.right_to_left) {
                    EXPECT_GE(right, 10 + w - 3) << line;
                }
            }
        }
    }
}

// A string table belongs to the font file of its run: a run without strings removes the one an
// earlier run left, a run with other strings replaces it.
TEST(Strings, EarlierStringTableGoesWithTheFontFile) {
    const struct {
        const char* what;
        const char* keys;      // of the second run
        const char* fontKeys;  // and of its fontSet
        int strings;           // in the table after it, -1 for none
        const char* says;
    } cases[] = {
        {"no strings", R"("textPaths": ["a.txt"])", "", -1,
         "note: removed %s, the string table of the font file this run replaced"},
        {"other strings", R"("stringPaths": ["b.txt"])", "", 2, ""},
        {"no strings, compact", R"("textPaths": ["a.txt"])", R"(, "compact": true)", -1,
         "the string table of the font file this run replaced"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ToolSandbox box;
        box.addFont(FONTBIN_TEST_FONT_DEJAVU, "sans.ttf");
        writeFile(box.project() / "a.txt", "Save\n");
        writeFile(box.project() / "b.txt", "Open\nClose\n");
        const std::string fontSet = R"("fontSet": {"font": "sans.ttf", "fontSize": 16)";
        box.writeConfig(R"({"stringPaths": ["a.txt"], )" + fontSet + "}}");
        ASSERT_EQ(box.run({"FontConfig.json"}).status, 0);
        const fs::path table = box.project() / "sans_size16_bits1_strings.bin";
        ASSERT_TRUE(fs::exists(table));
        box.writeConfig("{" + std::string(c.keys) + ", " + fontSet + c.fontKeys + "}}");
        const auto second = box.run({"FontConfig.json"});
        ASSERT_EQ(second.status, 0) << second.err;
        EXPECT_EQ(fs::exists(table), c.strings >= 0);
        if (c.strings >= 0) {
            const auto bytes = readBytes(table.u8string());
            fb_strings strings;
            ASSERT_EQ(fb_strings_open(bytes.data(), bytes.size(), &strings), FB_OK);
            EXPECT_EQ(strings.count, unsigned(c.strings));
        }
        std::string says = c.says;
        if (const size_t at = says.find("%s"); at != std::string::npos)
            says.replace(at, 2, table.u8string());
        EXPECT_NE(second.err.find(says), std::string::npos) << second.err;
    }
}

// fontbin-embed carries the table and an enum of the names; its list of a run's inputs, which
// fontbin_add_font reruns the build on, names the strings files; fontbin-inspect prints a run.
TEST(Strings, EmbedAndInspectSeeTheTable) {
    const StringRun run(R"("indexMethod": 1)");
    ASSERT_EQ(run.result().status, 0) << run.result().err;
    const fs::path project = run.box().project();
    const std::string font = (project / "arabic_size20_bits4_font.bin").u8string();
    auto embed = testing_support::runProgram(testing_support::binary("fontbin-embed"),
                                             {font, "ui", "--symbol", "ui"}, project);
    ASSERT_EQ(embed.status, 0) << embed.err;
    const std::string header = testing_support::readFile(project / "ui.h");
    for (const char* line : {"FB_STR_GREETING = 0,", "FB_STR_HINDI = 1,", "FB_STR_HE_3 = 4,",
                             "UI_STRING_COUNT = 5", "extern const uint8_t ui_strings["})
        EXPECT_NE(header.find(line), std::string::npos) << line;
    embed = testing_support::runProgram(
        testing_support::binary("fontbin-embed"),
        {"--inputs", "FontConfig.json", "--tool-dir", run.box().toolDir().u8string(), "--depfile",
         "ui.d", "--target", "ui.c"},
        project);
    ASSERT_EQ(embed.status, 0) << embed.err;
    const std::string depfile = testing_support::readFile(project / "ui.d");
    EXPECT_NE(depfile.find("ui.json"), std::string::npos) << depfile;
    EXPECT_NE(depfile.find("he.txt"), std::string::npos) << depfile;
}

struct HbGlyph {
    long glyph = 0, cluster = 0, dx = 0, dy = 0, advance = 0;
};

// A run in hb-shape's notation: [gid=cluster@dx,dy+advance|...], "@dx,dy" only when not 0.
std::vector<HbGlyph> parseRun(const std::string& text) {
    std::vector<HbGlyph> glyphs;
    const char* p = text.c_str() + text.find('[');
    while (*p == '[' || *p == '|') {
        HbGlyph g;
        char* end = nullptr;
        g.glyph = std::strtol(p + 1, &end, 10);
        g.cluster = std::strtol(end + 1, &end, 10);
        if (*end == '@') {
            g.dx = std::strtol(end + 1, &end, 10);
            g.dy = std::strtol(end + 1, &end, 10);
        }
        g.advance = std::strtol(end + 1, &end, 10);
        glyphs.push_back(g);
        p = end;
    }
    return glyphs;
}

// Debian's hb-shape, the reference, is not on the Windows test machine.
#ifdef _WIN32
constexpr bool kHaveHbShape = false;
#else
constexpr bool kHaveHbShape = true;
#endif

// fontbin-inspect --string prints each visual run of a string with the font's glyph ids, as
// hb-shape prints it, and the hb-shape command that gives it: run, hb-shape must agree (glyphs
// and clusters exactly, pixels within one). The configuration is the one beside the file, or
// --config; without one, one line and status 1.
TEST(Strings, InspectPrintsRunsAsHbShapeDoes) {
    const StringRun run(R"("compact": true)");
    ASSERT_EQ(run.result().status, 0) << run.result().err;
    const fs::path project = run.box().project();
    const std::string font = (project / "arabic_size20_bits4_compact.bin").u8string();
    const std::string tools = run.box().toolDir().u8string();
    auto inspect = [&](const std::vector<std::string>& extra) {
        std::vector<std::string> args{font, "--tool-dir", tools};
        args.insert(args.end(), extra.begin(), extra.end());
        return testing_support::runProgram(testing_support::binary("fontbin-inspect"), args,
                                           project);
    };
    const struct {
        const char* name;
        size_t runs;
    } cases[] = {{"greeting", 1}, {"hindi", 1}, {"thai", 1}, {"he_1", 5}, {"he_3", 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto shown = inspect({"--string", c.name});
        ASSERT_EQ(shown.status, 0) << shown.err;
        EXPECT_NE(shown.out.find("5 strings, em "), std::string::npos) << shown.out;
        size_t runs = 0;
        for (size_t at = shown.out.find("\nrun "); at != std::string::npos;
             at = shown.out.find("\nrun ", at + 1), ++runs) {
            const size_t command = shown.out.find("hb-shape ", at);
            const size_t lineEnd = shown.out.find('\n', command);
            const std::string ours =
                shown.out.substr(lineEnd, shown.out.find('\n', lineEnd + 1) - lineEnd);
            // The reference is Debian's hb-shape, which the Windows test machine does not have.
            if (!kHaveHbShape) continue;
            const auto theirs =
                testing_support::runShell(shown.out.substr(command, lineEnd - command), project);
            ASSERT_EQ(theirs.status, 0) << theirs.err;
            const std::vector<HbGlyph> a = parseRun(ours), b = parseRun(theirs.out);
            ASSERT_EQ(a.size(), b.size()) << ours << theirs.out;
            ASSERT_FALSE(a.empty());
            for (size_t k = 0; k < a.size(); ++k) {
                EXPECT_EQ(a[k].glyph, b[k].glyph) << k << ours << theirs.out;
                EXPECT_EQ(a[k].cluster, b[k].cluster) << k << ours << theirs.out;
                EXPECT_NEAR(a[k].dx, b[k].dx, 1) << k << ours << theirs.out;
                EXPECT_NEAR(a[k].dy, b[k].dy, 1) << k << ours << theirs.out;
                EXPECT_NEAR(a[k].advance, b[k].advance, 1) << k << ours << theirs.out;
            }
        }
        EXPECT_EQ(runs, c.runs) << shown.out;
    }

    // Elsewhere, the configuration is named; without it, one line says what to give.
    fs::rename(project / "FontConfig.json", project / "ui-config.txt");
    const auto missing = inspect({"--string", "hindi"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("give --config PATH"), std::string::npos) << missing.err;
    EXPECT_EQ(std::count(missing.err.begin(), missing.err.end(), '\n'), 1) << missing.err;
    const auto named = inspect({"--string", "hindi", "--config", "ui-config.txt"});
    EXPECT_EQ(named.status, 0) << named.err;
    // A table that its configuration no longer gives is found out.
    writeFile(project / "ui.json", R"({"greeting": "مرحبا", "hindi": "हिन्दी", "thai": "ไทย"})");
    const auto stale = inspect({"--string", "hindi", "--config", "ui-config.txt"});
    EXPECT_EQ(stale.status, 1);
    EXPECT_NE(stale.err.find("run fontbin again"), std::string::npos) << stale.err;
}

// fontbin-inspect's sheet of the strings, for a native reader to review: every string (one per
// script) pixel for pixel as the reader draws it, and beside it the reference drawing by
// HarfBuzz and FreeType, whose ink must lie where the device's does.
TEST(Strings, InspectSheetIsWhatTheReaderDraws) {
    const StringRun run(R"("crop": 1)");
    ASSERT_EQ(run.result().status, 0) << run.result().err;
    const fs::path project = run.box().project();
    const auto inspect = testing_support::runProgram(
        testing_support::binary("fontbin-inspect"),
        {(project / "arabic_size20_bits4_font.bin").u8string(), "--strings", "sheet.png", "--scale",
         "1", "--tool-dir", run.box().toolDir().u8string()},
        project);
    ASSERT_EQ(inspect.status, 0) << inspect.err;
    EXPECT_NE(inspect.out.find("each beside its reference drawing"), std::string::npos)
        << inspect.out;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, (project / "sheet.png").u8string().c_str()));
    image.format = PNG_FORMAT_GRAY;
    std::vector<uint8_t> grey(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, grey.data(), 0, nullptr));

    fb_font font;
    fb_strings table;
    ASSERT_EQ(fb_open(run.font().data(), run.font().size(), &font), FB_OK);
    ASSERT_EQ(fb_strings_open(run.strings().data(), run.strings().size(), &table), FB_OK);
    // The sheet's layout: a margin of one cell, a line of cell rows per string, right-to-left
    // strings aligned right.
    int widest = 0;
    std::vector<fb_string> all(table.count);
    for (unsigned i = 0; i < table.count; ++i) {
        ASSERT_EQ(fb_string_at(&table, i, &all[i]), FB_OK);
        widest = std::max(widest, all[i].width);
    }
    const int margin = static_cast<int>(font.geometry.cols);
    const int rows = static_cast<int>(font.geometry.rows);
    const int column = widest + 2 * margin;
    ASSERT_EQ(image.width, static_cast<unsigned>(2 * column));
    ASSERT_EQ(image.height, table.count * font.geometry.rows);
    Canvas drawn;
    for (unsigned i = 0; i < table.count; ++i) {
        Canvas line;
        const int x = margin + (all[i].right_to_left ? widest - all[i].width : 0);
        ASSERT_EQ(fb_string_draw(&font, &all[i], x, 0, Canvas::put, &line), FB_OK);
        for (const auto& [at, level] : line.ink) {
            const int y = at.second + static_cast<int>(i) * rows;
            if (at.first >= 0 && y >= 0 && at.first < static_cast<int>(image.width) &&
                y < static_cast<int>(image.height))
                drawn.ink[{at.first, y}] = level;
        }
    }
    Canvas sheet;
    std::vector<Canvas> reference(table.count);
    for (unsigned y = 0; y < image.height; ++y)
        for (unsigned x = 0; x < image.width; ++x)
            if (const unsigned v = grey[size_t(y) * image.width + x]; v != 255) {
                const int level = (255 - int(v)) * 15 / 255, left = int(x) - column;
                if (left < 0)
                    sheet.ink[{int(x), int(y)}] = level;
                else
                    reference[y / rows].ink[{left, int(y) % rows}] = level;
            }
    EXPECT_GT(sheet.ink.size(), 500u);
    EXPECT_EQ(sheet.ink, drawn.ink);
    // Each reference lies over the device's drawing: the same ink box within two pixels, and
    // about as much ink. Two rows at the top and bottom of each line are left out, where marks
    // of the lines above and below may reach.
    const auto inBand = [rows](int y) { return y % rows >= 2 && y % rows < rows - 2; };
    for (unsigned i = 0; i < table.count; ++i) {
        SCOPED_TRACE(std::string(all[i].name, all[i].name_length));
        std::array<int, 4> device{1 << 20, 1 << 20, -1, -1}, ref = device;
        auto extend = [](std::array<int, 4>& box, int x, int y) {
            box = {std::min(box[0], x), std::min(box[1], y), std::max(box[2], x),
                   std::max(box[3], y)};
        };
        size_t deviceInk = 0, refInk = 0;
        for (const auto& [at, level] : drawn.ink)
            if (at.second / rows == int(i) && inBand(at.second))
                extend(device, at.first, at.second % rows), ++deviceInk;
        for (const auto& [at, level] : reference[i].ink)
            if (inBand(at.second)) extend(ref, at.first, at.second), ++refInk;
        for (int k = 0; k < 4; ++k) EXPECT_NEAR(device[k], ref[k], 2) << k;
        EXPECT_NEAR(double(refInk), double(deviceInk), 0.25 * double(deviceInk));
    }
}

// Thai writes no spaces between words: its breaks come from libthai's dictionary, which the Linux
// build reads from Debian's libthai-data and the Windows build from beside the tool, where its
// package ships it, in a folder of any name. Without that file a Windows run finds no breaks
// inside Thai words.
TEST(Strings, ThaiWordsBreakWhereTheDictionarySays) {
    const std::vector<unsigned> words = {4, 7, 11};  // ภาษา|ไทย|ง่าย|มาก
    struct Case {
        const char* what;
        bool dictionary;
        const char* toolFolder;  // the tool's copy to run, when not the sandbox's own
    };
    for (const Case& c : {Case{"beside the tool", true, ""},
                          Case{"in a folder the ANSI code page cannot spell", true, "工具 ü"},
                          Case{"none beside the tool", false, ""}}) {
        SCOPED_TRACE(c.what);
        ToolSandbox box;
        if (!c.dictionary) fs::remove(box.toolDir() / "thbrk.tri");
        box.addFont(kNoto + "NotoSansThai-Regular.ttf", "thai.ttf");
        writeFile(box.project() / "th.txt", "ภาษาไทยง่ายมาก\n");
        box.writeConfig(
            R"({"customerVals": [{"firstVal": "0x41", "range": "3"}], "stringPaths": ["th.txt"],
                "fontSet": {"font": "thai.ttf", "fontSize": 16}})");
        fs::path tool = box.tool();
        if (*c.toolFolder) {
            const fs::path folder = box.root() / fs::u8path(c.toolFolder);
            fs::copy(box.toolDir(), folder, fs::copy_options::recursive);
            tool = folder / tool.filename();
        }
        const auto result = testing_support::runProgram(tool, {"FontConfig.json"}, box.project());
        ASSERT_EQ(result.status, 0) << result.err;
        const auto bytes = readBytes((box.project() / "thai_size16_bits1_strings.bin").u8string());
        fb_strings table;
        fb_string s;
        ASSERT_EQ(fb_strings_open(bytes.data(), bytes.size(), &table), FB_OK);
        ASSERT_EQ(fb_string_at(&table, 0, &s), FB_OK);
        std::vector<unsigned> breaks;
        for (unsigned k = 0; k < s.break_count; ++k) breaks.push_back(fb_string_break_at(&s, k));
#ifdef _WIN32
        EXPECT_EQ(breaks, c.dictionary ? words : std::vector<unsigned>{});
#else
        EXPECT_EQ(breaks, words);  // libthai reads the system's dictionary
#endif
    }
}

struct Fault {
    const char* what;
    std::map<std::string, std::string> files;
    std::string stringPaths;  // the key's value
    std::string says;
    std::string fontSetExtra = "";
};

TEST(Strings, BadInputStopsTheRunBeforeAnythingIsWritten) {
    const std::vector<Fault> faults = {
        {"not an array", {{"a.txt", "x\n"}}, R"("a.txt")", "stringPaths must be an array"},
        {"JSON array",
         {{"a.json", R"(["x"])"}},
         R"(["a.json"])",
         "\"a.json\" must hold one JSON object"},
        {"value not text",
         {{"a.json", R"({"ok": "x", "count": 5})"}},
         R"(["a.json"])",
         "\"a.json\": \"count\": not a string but 5"},
        {"name no identifier",
         {{"a.json", R"({"1st": "x"})"}},
         R"(["a.json"])",
         "the name \"1st\" must be"},
        {"control character",
         {{"a.json", R"({"tab": "a\tb"})"}},
         R"(["a.json"])",
         "\"tab\": the control character U+0009 at column 2"},
        {"not UTF-8",
         {{"a.txt",
           "good\nba\xFF"
           "d\n"}},
         R"(["a.txt"])",
         "\"a.txt\", line 2: bytes that are not UTF-8 at column 3"},
        {"repeated name",
         {{"a.json", R"({"Title": "x"})"}, {"b.json", R"({"TITLE": "y"})"}},
         R"(["a.json", "b.json"])",
         "the name \"TITLE\" is already used in"},
        {"missing file", {}, R"(["nope.txt"])", "strings file \"nope.txt\" is in neither"},
        {"bad direction",
         {{"a.txt", "x\n"}},
         R"([{"path": "a.txt", "direction": "up"}])",
         "stringPaths[0].direction must be \"auto\", \"ltr\" or \"rtl\", not \"up\""},
        {"bad language",
         {{"a.txt", "x\n"}},
         R"([{"path": "a.txt", "language": "en us"}])",
         "stringPaths[0].language must be a BCP 47"},
        {"unknown member",
         {{"a.txt", "x\n"}},
         R"([{"path": "a.txt", "lang": "ar"}])",
         "stringPaths[0] has the member \"lang\""},
        {"column scanning",
         {{"a.txt", "x\n"}},
         R"(["a.txt"])",
         "needs upright cells",
         R"(, "scanMode": "V")"},
    };
    for (const Fault& f : faults) {
        SCOPED_TRACE(f.what);
        ToolSandbox box;
        box.addFont(FONTBIN_TEST_FONT_DEJAVU, "sans.ttf");
        for (const auto& [name, text] : f.files) writeFile(box.project() / name, text);
        box.writeConfig(
            R"({"customerVals": [{"firstVal": "0x41", "range": "3"}], "stringPaths": )" +
            f.stringPaths + R"(, "fontSet": {"font": "sans.ttf", "fontSize": 16)" + f.fontSetExtra +
            "}}");
        const auto result = box.run({"FontConfig.json"});
        EXPECT_EQ(result.status, 253);
        EXPECT_NE(result.err.find(f.says), std::string::npos) << result.err;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
        EXPECT_TRUE(outputs(box).empty());
    }
}

}  // namespace

#include "tools/embed/Embed.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "config/FontConfig.h"
#include "driver/FontLookup.h"
#include "output/AdvanceFileWriter.h"
#include "platform/platform.h"
#include "reader/fontbin_reader.h"

namespace embed {
namespace {

namespace fs = std::filesystem;

std::string format(const char* fmt, unsigned long long a, unsigned long long b = 0) {
    char buf[96];
    std::snprintf(buf, sizeof buf, fmt, a, b);
    return buf;
}

// Keywords of C99 and C++: a symbol must not be one.
// clang-format off
const char* const kKeywords[] = {
    "alignas", "alignof", "and", "and_eq", "asm", "auto", "bitand", "bitor", "bool", "break",
    "case", "catch", "char", "char16_t", "char32_t", "char8_t", "class", "compl", "concept",
    "const", "const_cast", "consteval", "constexpr", "constinit", "continue", "co_await",
    "co_return", "co_yield", "decltype", "default", "delete", "do", "double", "dynamic_cast",
    "else", "enum", "explicit", "export", "extern", "false", "float", "for", "friend", "goto",
    "if", "inline", "int", "long", "mutable", "namespace", "new", "noexcept", "not", "not_eq",
    "nullptr", "operator", "or", "or_eq", "private", "protected", "public", "register",
    "reinterpret_cast", "requires", "restrict", "return", "short", "signed", "sizeof", "static",
    "static_assert", "static_cast", "struct", "switch", "template", "this", "thread_local",
    "throw", "true", "try", "typedef", "typeid", "typename", "union", "unsigned", "using",
    "virtual", "void", "volatile", "wchar_t", "while", "xor", "xor_eq",
};
// clang-format on

bool isLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

const char* layoutText(fb_layout layout) {
    switch (layout) {
        case FB_LAYOUT_GLYPH_TABLE:
            return "glyph-number table, fixed-size records";
        case FB_LAYOUT_CODE_LIST:
            return "code-point list, fixed-size records";
        case FB_LAYOUT_OFFSET_TABLE:
            return "offset table, trimmed records";
        case FB_LAYOUT_COMPACT:
            return "compact, coded ink boxes with advance widths";
    }
    return "?";
}

std::string openError(const fb_font& font, fb_error err) {
    std::string line = fb_error_string(err);
    if (font.error_detail) line += std::string(": ") + font.error_detail;
    line += format(" (at byte %llu)", font.error_offset);
    return line;
}

// The bytes as an initialiser list, 16 to a line.
void appendBytes(std::string& out, const std::vector<uint8_t>& bytes) {
    static const char kHex[] = "0123456789abcdef";
    out.reserve(out.size() + bytes.size() * 6 + bytes.size() / 16 * 4 + 16);
    for (size_t i = 0; i < bytes.size(); ++i) {
        out += i % 16 == 0 ? "\n    " : " ";
        out += "0x";
        out += kHex[bytes[i] >> 4];
        out += kHex[bytes[i] & 15];
        out += ',';
    }
    if (bytes.empty()) out += "\n    0x00, /* an array cannot be empty; the size says 0 */";
    out += "\n";
}

// The attribute that aligns the arrays: 4 bytes, the widest value the reader reads.
const char* const kAlignMacro =
    "#ifndef FONTBIN_FONT_ALIGN\n"
    "#if defined(__GNUC__) || defined(__clang__)\n"
    "#define FONTBIN_FONT_ALIGN __attribute__((aligned(4)))\n"
    "#elif defined(_MSC_VER)\n"
    "#define FONTBIN_FONT_ALIGN __declspec(align(4))\n"
    "#else\n"
    "#define FONTBIN_FONT_ALIGN\n"
    "#endif\n"
    "#endif\n";

// Text for a comment: a file or font name cannot end the comment early.
std::string commentText(std::string text) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    for (size_t at = text.find("*/"); at != std::string::npos; at = text.find("*/", at))
        text.replace(at, 2, "*_/");
    return text;
}

bool readFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& reason) {
    std::string text;
    if (!platform::readWholeFile(platform::pathFromUtf8(path), text, reason)) return false;
    bytes.assign(text.begin(), text.end());
    return true;
}

// Writes each file under a temporary name first, then renames them all: a failure leaves no
// output changed.
bool writeAll(const std::vector<std::pair<std::string, std::string>>& files, std::string& error) {
    std::vector<fs::path> temps;
    auto dropTemps = [&temps] {
        std::error_code ec;
        for (const fs::path& t : temps) fs::remove(t, ec);
    };
    // A target that cannot be replaced is refused before any file is.
    for (const auto& file : files) {
        if (platform::isDirectory(platform::pathFromUtf8(file.first))) {
            error = "cannot write " + file.first + ": it is a directory";
            return false;
        }
    }
    for (const auto& [path, text] : files) {
        fs::path temp = platform::pathFromUtf8(path + ".tmp");
        temps.push_back(temp);
        std::error_code ec;
        if (!temp.parent_path().empty()) fs::create_directories(temp.parent_path(), ec);
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        out.close();
        if (!out) {
            dropTemps();
            error = "cannot write " + path;
            return false;
        }
    }
    for (size_t i = 0; i < files.size(); ++i) {
        std::string reason;
        if (!platform::replaceFile(temps[i], platform::pathFromUtf8(files[i].first), reason)) {
            dropTemps();
            error = "cannot write " + files[i].first + ": " + reason;
            return false;
        }
    }
    return true;
}

std::string generic(const fs::path& p) {
    return p.lexically_normal().generic_u8string();
}

const char* const kUsageText =
    "usage: fontbin-embed FILE.bin OUT [--symbol NAME]\n"
    "       fontbin-embed --inputs CONFIG --tool-dir DIR --depfile DEP --target OUTPUT\n"
    "Writes OUT.c with the bytes of a fontbin font file as `const uint8_t NAME[]` and OUT.h\n"
    "declaring it. NAME defaults to one made from the file name. The file is checked with the\n"
    "device reader first; a damaged file is refused and nothing is written. When\n"
    "<base>_adv.bin lies beside <base>_font.bin, its bytes become NAME_adv.\n"
    "Define FONTBIN_FONT_SECTION before the arrays (for example on the compiler's command\n"
    "line) to place them in a section of your choice.\n"
    "\n"
    "--inputs writes DEP, a make-style dependency file naming OUTPUT and every file a fontbin\n"
    "run on CONFIG in the working directory reads (DIR is the folder of the fontbin tool).\n";

}  // namespace

bool isCIdentifier(const std::string& name) {
    if (name.empty() || !isLetter(name[0])) return false;
    for (char c : name)
        if (!isLetter(c) && !isDigit(c)) return false;
    return std::find_if(std::begin(kKeywords), std::end(kKeywords),
                        [&name](const char* k) { return name == k; }) == std::end(kKeywords);
}

std::string symbolFromFileName(const std::string& path) {
    std::string name = platform::pathToUtf8(platform::pathFromUtf8(path).filename());
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.resize(dot);
    for (char& c : name)
        if (!isLetter(c) && !isDigit(c)) c = '_';
    if (name.empty() || !isLetter(name[0]) || name[0] == '_') name = "font_" + name;
    return isCIdentifier(name) ? name : name + "_font";
}

Source makeSource(const std::vector<uint8_t>& font, const std::vector<uint8_t>* advances,
                  const std::string& fileName, const std::string& headerName,
                  const std::string& symbol, std::string& error) {
    Source s;
    fb_font f;
    fb_error err =
        fb_open(font.empty() ? reinterpret_cast<const uint8_t*>("") : font.data(), font.size(), &f);
    if (err != FB_OK) {
        error = openError(f, err);
        return s;
    }
    if (advances) {
        fb_advances a;
        // An empty vector has no storage; the reader then says the file is cut short.
        const uint8_t* bytes =
            advances->empty() ? reinterpret_cast<const uint8_t*>("") : advances->data();
        err = fb_open_advances(bytes, advances->size(), &f, &a);
        if (err != FB_OK) {
            s.advancesRejected = true;
            error = std::string("advance widths: ") + fb_error_string(err) +
                    (a.error_detail ? std::string(": ") + a.error_detail : std::string());
            return s;
        }
    }
    // The code-point range, from the records.
    fb_glyph g;
    uint32_t first = 0, last = 0;
    if (fb_next_glyph(&f, 0, &g) == FB_OK) first = g.code_point;
    std::vector<uint8_t> box;
    for (uint32_t cp = first; fb_next_glyph(&f, cp, &g) == FB_OK; cp = g.code_point + 1) {
        last = g.code_point;
        // A compact glyph's code is only known to be sound once it decodes.
        if (g.compact && g.box_w && g.box_h) {
            box.resize(size_t(g.box_w) * g.box_h);
            if ((err = fb_decode_glyph(&f, &g, box.data(), g.box_w)) != FB_OK) {
                error = format("glyph U+%04llX: ", g.code_point) + fb_error_string(err);
                return s;
            }
        }
        if (g.code_point == 0xFFFF) break;
    }

    std::string glyphs = format("%llu glyph records", f.glyph_count);
    if (f.glyph_count) glyphs += format(", U+%04llX to U+%04llX", first, last);
    if (f.char_count != FB_UNKNOWN && f.char_count != f.glyph_count)
        glyphs += format(" (%llu characters selected)", f.char_count);
    std::string style;
    if (f.style_flags & FB_STYLE_BOLD) style += ", bold";
    if (f.style_flags & FB_STYLE_ITALIC) style += ", italic";
    if (f.style_flags & FB_STYLE_SCAN_V) style += ", column scanning";

    // The symbol as it is: symbols that differ only in case need headers of their own.
    const std::string guard = "FONTBIN_EMBED_" + symbol + "_H";
    std::string& h = s.header;
    h = "/* " + symbol + ": the font file " + commentText(fileName) + ", made by fontbin-embed.\n";
    h += " *\n";
    h += " * font     \"" + commentText(f.name) + "\", fontSize " +
         format("%llu px, ", f.font_size) +
         format(f.bpp == 1 ? "%llu bit per pixel" : "%llu bits per pixel", f.bpp) + style + "\n";
    h += std::string(" * layout   ") + layoutText(f.layout) + "\n";
    h += " * glyphs   " + glyphs + "\n";
    // The file does not record a rotation: this is the cell fb_open takes by default.
    h += format(" * cell     %llu rows x %llu columns", f.geometry.rows, f.geometry.cols) +
         (f.geometry.rotate == 0 ? ", as fb_open reads it without rotation"
                                 : ", as fb_open reads it (turned)") +
         "\n";
    h += format(" * size     %llu bytes", font.size()) +
         (!advances ? std::string() : format(", advance widths %llu bytes", advances->size())) +
         "\n";
    h += " *\n * Read it with fontbin_reader.h: fb_open(" + symbol + ", " + symbol +
         "_size, &font).\n";
    if (f.layout == FB_LAYOUT_COMPACT)
        h +=
            " * Its glyphs are coded: fb_find_glyph, then fb_decode_glyph or fb_decode_glyph_rows\n"
            " * for the pixels of the ink box; the advance width is in the fb_glyph.\n";
    h += " * Define FONTBIN_FONT_SECTION (for example as __attribute__((section(\".fonts\"))))\n"
         " * to place the arrays in a section of your choice.\n */\n";
    h += "#ifndef " + guard + "\n#define " + guard + "\n\n";
    h += "#include <stddef.h>\n#include <stdint.h>\n\n";
    h += "#ifndef FONTBIN_FONT_SECTION\n#define FONTBIN_FONT_SECTION\n#endif\n";
    h += kAlignMacro;
    h += "\n#ifdef __cplusplus\nextern \"C\" {\n#endif\n\n";
    h += "extern const uint8_t " + symbol + format("[%llu];\n", font.empty() ? 1 : font.size());
    h += "extern const size_t " + symbol + "_size;\n";
    if (advances) {
        h += "\n/* Advance widths in pixels, read with fb_open_advances. */\n";
        h += "#define " + upper(symbol) + "_HAS_ADVANCES 1\n";
        h += "extern const uint8_t " + symbol + format("_adv[%llu];\n", advances->size());
        h += "extern const size_t " + symbol + "_adv_size;\n";
    }
    h += "\n#ifdef __cplusplus\n}\n#endif\n\n#endif /* " + guard + " */\n";

    std::string& c = s.source;
    c = "/* " + symbol + ": the font file " + commentText(fileName) +
        ", made by fontbin-embed. */\n";
    c += "#include \"" + headerName + "\"\n\n";
    c += "FONTBIN_FONT_SECTION FONTBIN_FONT_ALIGN const uint8_t " + symbol +
         format("[%llu] = {", font.empty() ? 1 : font.size());
    appendBytes(c, font);
    c += "};\n";
    c += "const size_t " + symbol + format("_size = %llu;\n", font.size());
    if (advances) {
        c += "\nFONTBIN_FONT_SECTION FONTBIN_FONT_ALIGN const uint8_t " + symbol +
             format("_adv[%llu] = {", advances->size());
        appendBytes(c, *advances);
        c += "};\n";
        c += "const size_t " + symbol + format("_adv_size = %llu;\n", advances->size());
    }
    return s;
}

std::vector<std::string> runInputs(const std::string& configPath, const std::string& workDir,
                                   const std::string& toolDir) {
    const fs::path work = platform::pathFromUtf8(workDir);
    const fs::path tool = platform::pathFromUtf8(toolDir);
    std::vector<std::string> inputs;
    // A missing file is stood for by its folder: creating the file changes the folder.
    auto add = [&inputs](const fs::path& p) {
        if (platform::pathExists(p))
            inputs.push_back(generic(p));
        else if (platform::isDirectory(p.parent_path()))
            inputs.push_back(generic(p.parent_path()));
    };
    const fs::path config = work / platform::pathFromUtf8(configPath);
    add(config);
    add(work / "setting.ini");
    FontConfig model;
    if (loadFontConfig(config, model) != ConfigLoad::Loaded) return inputs;
    for (const std::wstring& name : model.codePages)
        add(tool / "CodePage" / platform::pathFromWide(name));
    for (const auto* list : {&model.mappingPaths, &model.cstPaths, &model.textPaths})
        for (const std::wstring& path : *list) add(work / platform::pathFromWide(path));
    // Every font the run may open, found as the tool finds them: the font, the one that draws
    // cells it leaves empty, and the fallback fonts.
    const fs::path projectDir = platform::directoryOf(config);
    const std::string font = model.fontSet.font.empty() ? kDefaultFontName : model.fontSet.font;
    const FontLookup lookup = lookUpFont(tool, projectDir, font);
    add(lookup.fontPath);
    add(lookup.fallbackPath);
    for (const FontChoice& choice : model.fontSet.fallbackFonts)
        add(lookUpFont(tool, projectDir, choice.font).fontPath);
    // Without duplicates, in a stable order.
    std::sort(inputs.begin(), inputs.end());
    inputs.erase(std::unique(inputs.begin(), inputs.end()), inputs.end());
    return inputs;
}

std::string depfileText(const std::string& target, const std::vector<std::string>& inputs) {
    auto escape = [](const std::string& path) {
        std::string out;
        for (char c : path) {
            if (c == ' ' || c == '#') out += '\\';
            if (c == '$') out += '$';
            out += c;
        }
        return out;
    };
    std::string text = escape(target) + ":";
    for (const std::string& input : inputs) text += " \\\n  " + escape(input);
    return text + "\n";
}

int run(const std::vector<std::string>& args, std::string& out, std::string& err) {
    const std::string prefix = "fontbin-embed: ";
    std::vector<std::string> positional;
    std::string symbol, inputs, toolDir, depfile, target;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& v) {
            if (i + 1 >= args.size()) return false;
            v = args[++i];
            return true;
        };
        bool ok = true;
        if (a == "-h" || a == "--help") {
            out = kUsageText;
            return kOk;
        } else if (a == "--symbol") {
            ok = value(symbol);
        } else if (a == "--inputs") {
            ok = value(inputs);
        } else if (a == "--tool-dir") {
            ok = value(toolDir);
        } else if (a == "--depfile") {
            ok = value(depfile);
        } else if (a == "--target") {
            ok = value(target);
        } else if (a.size() > 1 && a[0] == '-') {
            err = prefix + "unknown option " + a + " (see --help)\n";
            return kUsage;
        } else {
            positional.push_back(a);
        }
        if (!ok) {
            err = prefix + a + " needs a value (see --help)\n";
            return kUsage;
        }
    }

    if (!inputs.empty()) {
        if (toolDir.empty() || depfile.empty() || target.empty() || !positional.empty()) {
            err = prefix + "--inputs needs --tool-dir, --depfile and --target (see --help)\n";
            return kUsage;
        }
        std::error_code ec;
        const std::string text = depfileText(
            target, runInputs(inputs, platform::pathToUtf8(fs::current_path(ec)), toolDir));
        std::string error;
        if (!writeAll({{depfile, text}}, error)) {
            err = prefix + error + "\n";
            return kFailed;
        }
        return kOk;
    }

    if (positional.size() != 2) {
        err = prefix + "give FILE.bin and OUT (see --help)\n";
        return kUsage;
    }
    const std::string& file = positional[0];
    const std::string& outBase = positional[1];
    if (symbol.empty()) symbol = symbolFromFileName(file);
    if (!isCIdentifier(symbol)) {
        err = prefix + "--symbol " + symbol + " is not a C identifier\n";
        return kUsage;
    }

    std::vector<uint8_t> font, advances;
    bool withAdvances = false;
    std::string reason;
    if (!readFile(file, font, reason)) {
        err = prefix + "cannot read " + file + ": " + reason + "\n";
        return kFailed;
    }
    const std::string advPath = advancePathFor(file);
    // A width file beside the font belongs to it, even an empty one (which the reader refuses).
    withAdvances = !advPath.empty() && platform::pathExists(platform::pathFromUtf8(advPath));
    if (withAdvances && !readFile(advPath, advances, reason)) {
        err = prefix + "cannot read " + advPath + ": " + reason + "\n";
        return kFailed;
    }
    const std::string fileName = platform::pathToUtf8(platform::pathFromUtf8(file).filename());
    const std::string headerName =
        platform::pathToUtf8(platform::pathFromUtf8(outBase + ".h").filename());
    std::string error;
    Source s =
        makeSource(font, withAdvances ? &advances : nullptr, fileName, headerName, symbol, error);
    if (!error.empty()) {
        err = prefix + (s.advancesRejected ? advPath : file) + ": " + error + "\n";
        return kFailed;
    }
    if (!writeAll({{outBase + ".h", s.header}, {outBase + ".c", s.source}}, error)) {
        err = prefix + error + "\n";
        return kFailed;
    }
    return kOk;
}

}  // namespace embed

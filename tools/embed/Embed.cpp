#include "tools/embed/Embed.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iterator>
#include <memory>
#include <new>
#include <regex>

#include "config/FontConfig.h"
#include "driver/FontLookup.h"
#include "output/AdvanceFileWriter.h"
#include "output/StringTableWriter.h"
#include "platform/InputLimits.h"
#include "platform/platform.h"
#include "reader/fontbin_reader.h"
#include "reader/fontbin_strings.h"
#include "tools/common/CommandLine.h"

namespace embed {
namespace {

namespace fs = std::filesystem;

using tool::codePointText;
using tool::format;

// Keywords of every C standard (C89 to C23) and of C++: a symbol must not be one.
// clang-format off
const char* const kKeywords[] = {
    "_Alignas", "_Alignof", "_Atomic", "_BitInt", "_Bool", "_Complex", "_Decimal128",
    "_Decimal32", "_Decimal64", "_Generic", "_Imaginary", "_Noreturn", "_Static_assert",
    "_Thread_local",
    "alignas", "alignof", "and", "and_eq", "asm", "auto", "bitand", "bitor", "bool", "break",
    "case", "catch", "char", "char16_t", "char32_t", "char8_t", "class", "compl", "concept",
    "const", "const_cast", "consteval", "constexpr", "constinit", "continue", "co_await",
    "co_return", "co_yield", "decltype", "default", "delete", "do", "double", "dynamic_cast",
    "else", "enum", "explicit", "export", "extern", "false", "float", "for", "friend", "goto",
    "if", "inline", "int", "long", "mutable", "namespace", "new", "noexcept", "not",
    "not_eq", "nullptr", "operator", "or", "or_eq", "private", "protected", "public", "register",
    "reinterpret_cast", "requires", "restrict", "return", "short", "signed", "sizeof", "static",
    "static_assert", "static_cast", "struct", "switch", "template", "this", "thread_local",
    "throw", "true", "try", "typedef", "typeid", "typename", "typeof", "typeof_unqual", "union",
    "unsigned", "using", "virtual", "void", "volatile", "wchar_t", "while", "xor", "xor_eq",
};
// Names that <stddef.h> and <stdint.h> declare besides the families matched below, and main.
// The output's own macros and the reader's names (fontbin_reader.h, fontbin_text.h) are taken by
// their prefixes, FONTBIN_, fb_ and FB_, so that a name the reader adds later is taken too.
const char* const kTaken[] = {
    "NULL", "offsetof", "size_t", "ptrdiff_t", "max_align_t", "nullptr_t", "unreachable",
    "intptr_t", "uintptr_t", "intmax_t", "uintmax_t", "main",
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

// The families of <stdint.h>: its types (int8_t, uint_least16_t, ...) and limit macros
// (INT8_MAX, UINT_FAST32_MIN, INTMAX_C, SIZE_MAX, ...), of every width an implementation may add.
bool stdintName(const std::string& name) {
    static const std::regex families(
        "u?int(_least|_fast)?[0-9]+_t|"
        "U?INT((_LEAST|_FAST)?[0-9]+|MAX|PTR)_(MIN|MAX|WIDTH|C)|"
        "(PTRDIFF|SIG_ATOMIC|SIZE|WCHAR|WINT)_(MIN|MAX|WIDTH)");
    return std::regex_match(name, families);
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

// Writes the bytes as an initialiser list, 16 to a line, a block at a time: the text of a large
// file is six times its size and is never held whole.
bool writeBytes(std::FILE* out, const std::string& bytes) {
    static const char kHex[] = "0123456789abcdef";
    std::string block;
    block.reserve((1 << 16) + 16);
    for (size_t i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        block += i % 16 == 0 ? "\n    " : " ";
        block += "0x";
        block += kHex[b >> 4];
        block += kHex[b & 15];
        block += ',';
        if (block.size() >= (1 << 16)) {
            if (std::fwrite(block.data(), 1, block.size(), out) != block.size()) return false;
            block.clear();
        }
    }
    if (bytes.empty()) block += "\n    0x00, /* an array cannot be empty; the size says 0 */";
    block += "\n";
    return std::fwrite(block.data(), 1, block.size(), out) == block.size();
}

bool writeText(std::FILE* out, const std::string& text) {
    return std::fwrite(text.data(), 1, text.size(), out) == text.size();
}

// The string table beside the font file: its array, and an enum of its string names in the order
// fb_string_at numbers them (FB_STR_GREETING for "greeting"). Empty `error` on success.
std::string stringsHeader(const std::string& table, const std::string& symbol, std::string& error) {
    fb_strings t;
    const fb_error err =
        fb_strings_open(reinterpret_cast<const uint8_t*>(table.data()), table.size(), &t);
    if (err != FB_OK) {
        error = std::string("string table: ") + fb_error_string(err);
        return {};
    }
    std::string h = "\n/* UI strings shaped at build time, read with fb_strings_open(" + symbol +
                    "_strings, " + symbol + "_strings_size, &table) (fontbin_strings.h). */\n";
    h += "#define " + upper(symbol) + "_HAS_STRINGS 1\n";
    h += "extern const uint8_t " + symbol + format("_strings[%llu];\n", table.size());
    h += "extern const size_t " + symbol + "_strings_size;\n";
    h += "enum " + symbol + "_string {\n";
    for (unsigned i = 0; i < t.count; ++i) {
        fb_string str;
        fb_string_at(&t, i, &str);
        h +=
            "    FB_STR_" + upper(std::string(str.name, str.name_length)) + format(" = %llu,\n", i);
    }
    h += "    " + upper(symbol) + format("_STRING_COUNT = %llu\n};\n", t.count);
    return h;
}

bool writeStringsSource(std::FILE* out, const std::string& table, const std::string& symbol) {
    std::string c = "\nFONTBIN_FONT_SECTION FONTBIN_FONT_ALIGN const uint8_t " + symbol +
                    format("_strings[%llu] = {", table.size());
    if (!writeText(out, c) || !writeBytes(out, table)) return false;
    c = "};\n";
    c += "const size_t " + symbol + format("_strings_size = %llu;\n", table.size());
    return writeText(out, c);
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

// Why `path` cannot be an output of a run that reads `inputs`: a file the tool reads, or a
// name it cannot replace (a directory, link or device). Empty when it can.
std::string outputProblem(const std::string& path, const std::vector<std::string>& inputs) {
    const fs::path target = platform::pathFromUtf8(path);
    for (const std::string& input : inputs)
        if (platform::sameFile(target, platform::pathFromUtf8(input)))
            return "cannot write " + path + ": it is " + input + ", which is read";
    const std::string why = platform::notReplaceableReason(target);
    return why.empty() ? why : "cannot write " + path + ": " + why;
}

// Writes each file under its own temporary name, then replaces the targets together: a failure
// before that leaves every output as it was, and no half-written file appears.
bool writeAll(const std::vector<std::pair<std::string, std::function<bool(std::FILE*)>>>& files,
              const std::vector<std::string>& inputs, std::string& error) {
    // Every target is checked before anything is written.
    for (const auto& file : files)
        if (!(error = outputProblem(file.first, inputs)).empty()) return false;
    std::vector<std::unique_ptr<platform::FileReplacement>> outs;
    std::vector<platform::FileReplacement*> set;
    for (const auto& [path, write] : files) {
        const fs::path target = platform::pathFromUtf8(path);
        std::error_code ec;
        if (target.has_parent_path()) fs::create_directories(target.parent_path(), ec);
        outs.push_back(std::make_unique<platform::FileReplacement>(target));
        set.push_back(outs.back().get());
        std::string reason;
        if (!outs.back()->create(reason)) {
            error = "cannot write " + path + ": " + reason;
            return false;
        }
        errno = 0;
        const bool wrote = write(outs.back()->stream());
        const int writeError = errno;
        if (!outs.back()->close(reason) || !wrote) {
            // The write's own reason: closing after it may leave another errno behind.
            if (!wrote) reason = writeError ? std::strerror(writeError) : "write failed";
            error = "cannot write " + path + ": " + reason;
            return false;
        }
    }
    size_t failed = 0;
    std::string reason;
    if (platform::commitAll(set, {}, failed, reason)) return true;
    error = "cannot write " + files[failed].first + ": " + reason;
    return false;
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

std::string symbolProblem(const std::string& name) {
    if (name.empty() || !isLetter(name[0])) return "is not a C identifier";
    for (char c : name)
        if (!isLetter(c) && !isDigit(c)) return "is not a C identifier";
    // The symbol and the names made from it: each must be free.
    for (const std::string& n :
         {name, name + "_size", name + "_adv", name + "_adv_size", upper(name) + "_HAS_ADVANCES"}) {
        const auto is = [&n](const char* k) { return n == k; };
        if (std::any_of(std::begin(kKeywords), std::end(kKeywords), is))
            return n == name ? "is not a C identifier: it is a keyword of C or C++"
                             : "makes " + n + ", a keyword of C or C++";
        // Any name that starts with an underscore is the implementation's at file scope.
        if (n[0] == '_') return "is reserved: names starting with _ belong to the compiler";
        // The library's names: a program including that header beside the font would not build.
        // Its families reserved by prefix count for the symbol itself only.
        if (const char* header = cLibraryHeader(n, n == name))
            return (n == name ? "is" : "makes " + n + ",") +
                   std::string(" a name of the C standard library's <") + header + ">";
        if (std::any_of(std::begin(kTaken), std::end(kTaken), is) || n.rfind("FONTBIN_", 0) == 0 ||
            n.rfind("fb_", 0) == 0 || n.rfind("FB_", 0) == 0 || stdintName(n))
            return (n == name ? "is" : "makes " + n + ",") +
                   std::string(
                       " a name that <stdint.h>, <stddef.h>, fontbin_reader.h or the "
                       "output itself uses");
    }
    return {};
}

bool isCIdentifier(const std::string& name) {
    return symbolProblem(name).empty();
}

std::string symbolFromFileName(const std::string& path) {
    std::string name = platform::pathToUtf8(platform::pathFromUtf8(path).filename());
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.resize(dot);
    // Letters outside ASCII by their code, so that names in any script stay apart and readable.
    std::string ascii;
    const auto* p = reinterpret_cast<const unsigned char*>(name.data());
    for (size_t left = name.size(); left > 0;) {
        char32_t code = 0;
        size_t bad = 0;
        const size_t n = platform::decodeUtf8(p, left, code, bad);
        if (n == 0) {
            ascii += '_';
            p += bad;
            left -= bad;
            continue;
        }
        p += n;
        left -= n;
        if (code >= 0x80) {
            char hex[16];
            std::snprintf(hex, sizeof hex, code > 0xFFFF ? "U%08x" : "u%04x",
                          static_cast<unsigned>(code));
            ascii += hex;
        } else {
            const char c = static_cast<char>(code);
            ascii += isLetter(c) || isDigit(c) ? c : '_';
        }
    }
    name = ascii;
    if (name.empty() || !isLetter(name[0]) || name[0] == '_') name = "font_" + name;
    if (isCIdentifier(name)) return name;
    return isCIdentifier(name + "_font") ? name + "_font" : "font_" + name;
}

Source makeSource(const std::string& font, const std::string* advances, const std::string& fileName,
                  const std::string& symbol, std::string& error) {
    Source s;
    fb_font f;
    fb_error err = fb_open(reinterpret_cast<const uint8_t*>(font.data()), font.size(), &f);
    if (err == FB_OK) err = fb_check_font(&f);  // every part, not only the header
    if (err != FB_OK) {
        error = openError(f, err);
        return s;
    }
    if (advances) {
        fb_advances a;
        err = fb_open_advances(reinterpret_cast<const uint8_t*>(advances->data()), advances->size(),
                               &f, &a);
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
                error = "glyph " + codePointText(g.code_point) + ": " + fb_error_string(err);
                return s;
            }
        }
        if (g.code_point == 0xFFFF) break;
    }

    std::string glyphs = format("%llu glyph records", f.glyph_count);
    if (f.glyph_count) glyphs += ", " + codePointText(first) + " to " + codePointText(last);
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

    return s;
}

bool writeSource(std::FILE* out, const std::string& font, const std::string* advances,
                 const std::string& fileName, const std::string& headerName,
                 const std::string& symbol) {
    std::string c = "/* " + symbol + ": the font file " + commentText(fileName) +
                    ", made by fontbin-embed. */\n";
    c += "#include \"" + headerName + "\"\n\n";
    c += "FONTBIN_FONT_SECTION FONTBIN_FONT_ALIGN const uint8_t " + symbol +
         format("[%llu] = {", font.empty() ? 1 : font.size());
    if (!writeText(out, c) || !writeBytes(out, font)) return false;
    c = "};\n";
    c += "const size_t " + symbol + format("_size = %llu;\n", font.size());
    if (advances) {
        c += "\nFONTBIN_FONT_SECTION FONTBIN_FONT_ALIGN const uint8_t " + symbol +
             format("_adv[%llu] = {", advances->size());
        if (!writeText(out, c) || !writeBytes(out, *advances)) return false;
        c = "};\n";
        c += "const size_t " + symbol + format("_adv_size = %llu;\n", advances->size());
    }
    return writeText(out, c);
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
    for (const StringSource& source : model.stringPaths)
        add(work / platform::pathFromWide(source.path));
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

std::string depfileText(const std::string& target, const std::vector<std::string>& inputs,
                        std::string& error) {
    // As make and ninja read a dependency file (and as compilers write one): a space or '#' gets
    // a backslash, as do the backslashes right before it; '$' is doubled; a colon gets a
    // backslash, except a drive letter's, which both take as it is. A line break cannot be
    // written at all.
    auto escape = [&error](const std::string& path) {
        std::string out;
        for (size_t i = 0; i < path.size(); ++i) {
            const char c = path[i];
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                if (error.empty())
                    error = "cannot list " + commentText(path) +
                            " in a dependency file: it holds a line break or control character";
                return out;
            }
            if (c == ' ' || c == '#') {
                for (size_t k = i; k > 0 && path[k - 1] == '\\'; --k) out += '\\';
                out += '\\';
            } else if (c == '$') {
                out += '$';
            } else if (c == ':' && !(i == 1 && isLetter(path[0]) && path[0] != '_' &&
                                     path.size() > 2 && (path[2] == '/' || path[2] == '\\'))) {
                out += '\\';
            }
            out += c;
        }
        return out;
    };
    std::string text = escape(target) + ":";
    for (const std::string& input : inputs) text += " \\\n  " + escape(input);
    if (!error.empty()) return {};
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
        const std::vector<std::string> read =
            runInputs(inputs, platform::pathToUtf8(fs::current_path(ec)), toolDir);
        std::string error;
        const std::string text = depfileText(target, read, error);
        if (!error.empty()) {
            err = prefix + error + "\n";
            return kFailed;
        }
        const auto writeDepfile = [&text](std::FILE* out) { return writeText(out, text); };
        if (!writeAll({{depfile, writeDepfile}}, {inputs}, error)) {
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
    if (const std::string problem = symbolProblem(symbol); !problem.empty()) {
        err = prefix + "--symbol " + symbol + " " + problem + "\n";
        return kUsage;
    }
    // OUT.c includes OUT.h by its name, which must fit between the quotes of an #include.
    const std::string outName = platform::pathToUtf8(platform::pathFromUtf8(outBase).filename());
    if (outName.empty() || outName == "." || outName == ".." ||
        std::any_of(outName.begin(), outName.end(), [](char c) {
            return static_cast<unsigned char>(c) < 0x20 || c == 0x7F || c == '"' || c == '\\';
        })) {
        err = prefix + "OUT \"" + commentText(outBase) +
              "\" cannot be included by its name: give a file name, without quotes, backslashes "
              "or control characters\n";
        return kUsage;
    }

    // OUT names a pair of files beside it: a device of that name ("/dev/null") means the user
    // wanted something other than OUT.c and OUT.h in its folder.
    if (platform::notAFileReason(platform::pathFromUtf8(outBase)) == "it is not a regular file") {
        err = prefix + "OUT \"" + commentText(outBase) +
              "\" is a device, pipe or socket: OUT names the regular files OUT.c and OUT.h to "
              "write\n";
        return kUsage;
    }

    std::string font, advances;
    bool withAdvances = false;
    std::string reason;
    if (!platform::readWholeFile(platform::pathFromUtf8(file), font, reason,
                                 limits::kMaxBitmapFontBytes, "a font file")) {
        err = prefix + "cannot read " + file + ": " + reason + "\n";
        return kFailed;
    }
    const std::string advPath = advancePathFor(file);
    // A width file beside the font belongs to it, even an empty one (which the reader refuses).
    withAdvances = !advPath.empty() && platform::pathExists(platform::pathFromUtf8(advPath));
    if (withAdvances && !platform::readWholeFile(platform::pathFromUtf8(advPath), advances, reason,
                                                 limits::kMaxWidthFileBytes, "a width file")) {
        err = prefix + "cannot read " + advPath + ": " + reason + "\n";
        return kFailed;
    }
    const std::string fileName = platform::pathToUtf8(platform::pathFromUtf8(file).filename());
    const std::string headerName =
        platform::pathToUtf8(platform::pathFromUtf8(outBase + ".h").filename());
    std::string error;
    Source s = makeSource(font, withAdvances ? &advances : nullptr, fileName, symbol, error);
    if (!error.empty()) {
        err = prefix + (s.advancesRejected ? advPath : file) + ": " + error + "\n";
        return kFailed;
    }
    // The string table of the same run, when there is one, joins the font's arrays.
    const std::string stringsPath = stringsPathFor(file);
    std::string table;
    const bool withStrings =
        !stringsPath.empty() && platform::pathExists(platform::pathFromUtf8(stringsPath));
    if (withStrings) {
        std::string added;
        if (platform::readWholeFile(platform::pathFromUtf8(stringsPath), table, reason,
                                    limits::kMaxBitmapFontBytes, "a string table"))
            added = stringsHeader(table, symbol, error);
        else
            error = reason;
        if (!error.empty()) {
            err = prefix + stringsPath + ": " + error + "\n";
            return kFailed;
        }
        const size_t end = s.header.rfind("\n#ifdef __cplusplus\n}");
        s.header.insert(end, added);
    }
    const auto writeHeader = [&s](std::FILE* out) { return writeText(out, s.header); };
    const auto writeC = [&](std::FILE* out) {
        return writeSource(out, font, withAdvances ? &advances : nullptr, fileName, headerName,
                           symbol) &&
               (!withStrings || writeStringsSource(out, table, symbol));
    };
    std::vector<std::string> read{file};
    if (withAdvances) read.push_back(advPath);
    if (withStrings) read.push_back(stringsPath);
    if (!writeAll({{outBase + ".h", writeHeader}, {outBase + ".c", writeC}}, read, error)) {
        err = prefix + error + "\n";
        return kFailed;
    }
    return kOk;
}

}  // namespace embed

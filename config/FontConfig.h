// Configuration model: what FontConfig.json asks for, bound by a fixed table of key bindings.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

struct cJSON;

// One design coordinate of a variable font: an axis tag ("wght") and its value.
struct AxisValue {
    std::string tag;  // 1 to 4 ASCII letters or digits
    double value = 0;
};

// A font of the per-character chain: a name looked up as `font` is, the face of a collection and
// the instance of a variable font.
struct FontChoice {
    std::string font;
    int32_t faceIndex = 0;
    std::vector<AxisValue> variations;  // in the order written; empty: the default instance
};

// How scanMode packs a cell. Its first character alone decides: "V" scans columns in a cell
// sized for columns, "v" scans columns in the cell sized as for rows, anything else scans rows.
// The reader's fb_scan is the same three kinds.
enum class ScanKind { Rows = 0, Columns = 1, ColumnsSizedAsRows = 2 };

// Header-only, like FontSetSettings, so that the writers need not link the loader.
inline ScanKind scanKind(const std::string& scanMode) {
    if (scanMode.empty()) return ScanKind::Rows;
    if (scanMode[0] == 'V') return ScanKind::Columns;
    return scanMode[0] == 'v' ? ScanKind::ColumnsSizedAsRows : ScanKind::Rows;
}

inline bool scansColumns(ScanKind kind) {
    return kind != ScanKind::Rows;
}

// The one font set a run exports. Copied by value into the rasteriser.
struct FontSetSettings {
    int32_t fontSize = 32;       // pixel size of the line span (ascender to descender)
    std::string font;            // bare font file name, UTF-8 bytes as written in the JSON
    std::string scanMode = "H";  // its first character gives the ScanKind
    int32_t bold = 0;            // 0 or 1
    int32_t italic = 0;          // 0 or 1
    int32_t renderMode = 1;      // bits per pixel: 1, 2, 4 or 8
    int32_t indexMethod = 1;     // lowest bit: 1 = code-point list, 0 = full glyph-number table
    int32_t crop = 0;            // lowest bit: 1 = offset table with trimmed records
    // FreeType's hinting for every glyph load: "default" (FreeType's own choice, as without the
    // key), "none", "light", "mono" or "auto". Anything else is refused before the run starts.
    std::string hinting = "default";
    int32_t advances = 0;  // 1: also write the advance widths, <base>_adv.bin
    // 1: write <base>_compact.bin (trimmed, compressed glyphs with their widths) instead of
    // <base>_font.bin; indexMethod, crop and advances then do not apply.
    int32_t compact = 0;
    // 1: also store the font's kerning pairs among the selected characters in the width file,
    // which is then written even without "advances" (as its version 2), or with "compact" in
    // the compact file.
    int32_t kerning = 0;
    // Which typeface draws (config/FontChoices.h): the face of `font`, its instance, and the
    // fonts asked in turn for characters `font` does not map. Defaults leave every output as
    // it is without them.
    int32_t faceIndex = 0;
    std::vector<AxisValue> variations;
    std::vector<FontChoice> fallbackFonts;
};

// `range` consecutive code points starting at `firstVal`.
struct CustomerRange {
    int32_t firstVal = 0;
    int32_t range = 1;
};

// The base direction of a strings file's paragraphs.
enum class TextDirection : int32_t {
    Auto = 0,  // from each string's first strong character (left to right when it has none)
    LeftToRight = 1,
    RightToLeft = 2,
};

// One entry of "stringPaths": a file of UI strings shaped at build time, its language (a BCP 47
// tag; empty: none, the script alone decides) and its strings' base direction.
struct StringSource {
    std::wstring path;
    std::string language;
    TextDirection direction = TextDirection::Auto;
};

// Everything FontConfig.json can set. Defaults are in force for every key the file leaves out.
struct FontConfig {
    std::vector<std::wstring> codePages;     // code-page file names under <toolDir>/CodePage
    std::vector<std::wstring> mappingPaths;  // text mapping files, relative to the working dir
    std::vector<std::wstring> cstPaths;      // binary code-point lists
    std::vector<std::wstring> textPaths;     // UTF-8 text files: every character in them
    std::vector<CustomerRange> customerVals;
    std::vector<StringSource> stringPaths;  // UI strings, shaped into <base>_strings.bin
    FontSetSettings fontSet;
    // Scratch record the binder fills from one customerVals element before appending a copy.
    // It is deliberately not reset between elements: a missing member keeps the previous value.
    CustomerRange currentCustomerRange;
    // Values that make the configuration unusable, one line each; the run ends before writing.
    std::vector<std::string> errors;
    // fontSet keys written with a non-zero value that the chosen layout has no use for
    // ("indexMethod", "crop" and "advances" with "compact"), in that order.
    std::vector<std::string> ignoredKeys;
    // The system's ANSI code page the file was read in because it is not UTF-8 (Windows only);
    // 0 when it was read as UTF-8.
    uint32_t readInCodePage = 0;
};

enum class BindingKind : int32_t {
    Object = 0,
    String = 1,
    Number = 2,
    Boolean = 3,
    StringList = 4,
    WideStringList = 5,
    ObjectList = 6,
};

// One row of the binding table: where a key lives, how its value is read, where it goes.
struct ConfigBinding {
    std::string path;  // "root", "root.customerVals" or "root.fontSet"
    std::string key;
    BindingKind kind;
    std::string* narrowTarget = nullptr;
    void* listTarget = nullptr;  // vector<string>, vector<wstring> or vector<CustomerRange> by kind
    int32_t* intTarget = nullptr;
    std::wstring* wideTarget = nullptr;
};

// The bindings (the 15 classic keys, then the extensions), in visiting order, with targets inside
// `model`.
std::vector<ConfigBinding> makeConfigBindings(FontConfig& model);

// The bindings of the keys added since: "textPaths" and fontSet "hinting". They are visited after
// the 15 above, so a file without them binds exactly as before.
std::vector<ConfigBinding> makeExtensionBindings(FontConfig& model);

// Binds the members of `node` that the table names under `path` into `model`. A null node
// binds nothing. Never fails: a member of the wrong JSON type is read by the binding's kind.
// Members that must be text but are not (and are therefore ignored) are described, one line
// each, in `warnings` when it is given.
void bindConfig(FontConfig& model, const std::vector<ConfigBinding>& bindings,
                const std::string& path, const cJSON* node,
                std::vector<std::string>* warnings = nullptr);

enum class ConfigLoad {
    Loaded,  // parsed and bound
    Empty,   // opened, but holds nothing or only white space: nothing bound, defaults stay
    // Opened, but unusable: not valid JSON, saved as UTF-16, a string holding "\u0000", or larger
    // than a configuration may be. Nothing bound; the run must not go on with the defaults.
    NotJson,
    CannotOpen,  // missing, a directory, or unreadable: nothing bound
};

// Reads the whole file and binds it into `model`. A UTF-8 byte-order mark is skipped. Text that
// is not valid UTF-8 is read in the system's ANSI code page where there is one (Windows), which
// `model.readInCodePage` then names; elsewhere it is NotJson ("is not valid UTF-8 (byte 0xB9
// at line 2, column 14): save it as UTF-8").
// For Empty, `parseError` (if given) says "the file is empty" or "the file holds only white
// space"; for NotJson it holds a clause to follow the file's name: "is not valid
// JSON (error near line 3, column 14)", with a hint for an escape that is no JSON escape (a
// Windows path) and for too deep nesting; "is not valid JSON (a NUL byte at line 1, column 2): it
// looks saved as UTF-16; save it as UTF-8"; "holds "\u0000" in a string (...)..."; "is N bytes,
// more than ...".
// `unknownKeys` (if given) receives one line per member that no binding knows.
ConfigLoad loadFontConfig(const std::filesystem::path& path, FontConfig& model,
                          std::vector<std::string>* warnings = nullptr,
                          std::string* parseError = nullptr,
                          std::vector<std::string>* unknownKeys = nullptr);

// Parses and binds JSON text held in memory (the file's contents). Returns false, with
// `parseError` as loadFontConfig gives it, when the text is not usable JSON.
bool bindConfigText(const char* text, size_t size, FontConfig& model,
                    std::vector<std::string>* warnings = nullptr, std::string* parseError = nullptr,
                    std::vector<std::string>* unknownKeys = nullptr);

// One line per member of the root object, of "fontSet" and of the "customerVals" elements
// that the configuration does not know, each with the nearest known key: `"size" in fontSet is
// not a known key and is ignored; did you mean "fontSize"?`. Keys compare without regard to
// ASCII case, as the binder looks them up.
std::vector<std::string> findUnknownKeys(const cJSON* root);

// The number of single-character edits (insert, delete, replace) between two texts, letters
// compared without regard to ASCII case.
size_t editDistance(const std::string& a, const std::string& b);

// Formatted reading of an integer from configuration text: base 16 after a leading "0x"/"0X",
// otherwise base 10; leading blanks skipped, optional sign, stops at the first non-digit.
// Returns false (target untouched) for empty or all-blank text; no digits at all gives 0.
bool readConfigInteger(const std::string& text, int32_t& target);

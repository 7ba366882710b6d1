#include "driver/Run.h"

#include <algorithm>
#include <optional>

#include "charset/CharacterTables.h"
#include "config/FontConfig.h"
#include "config/IniFile.h"
#include "config/Settings.h"
#include "driver/CellGeometry.h"
#include "driver/Export.h"
#include "driver/FontByName.h"
#include "driver/FontLookup.h"
#include "platform/InputLimits.h"
#include "platform/platform.h"
#include "render/CvxText.h"

namespace fs = std::filesystem;

std::string quotePath(const std::string& path) {
    std::string out = "\"";
    for (char c : path) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    out += '"';
    return out;
}

namespace {

void printLine(const std::string& text) {
    platform::writeOut(text + "\n");
}

std::string withSeparator(const std::string& dir) {
    if (!dir.empty() && (dir.back() == '/' || dir.back() == '\\')) return dir;
    return dir + platform::hostSeparator();
}

// Mapping, cst and text paths as the run reads them: a relative path is taken from the working
// directory when it is there, else from the configuration's folder, so that a configuration run
// from another folder still finds the files beside it. A path found in neither gives one line in
// `errors`; it is left as it is.
void resolveSelectionPaths(FontConfig& config, const fs::path& projectDir,
                           std::vector<std::string>& errors, std::vector<std::string>& notes) {
    const platform::PathStyle style = platform::hostPathStyle();
    std::error_code ec;
    const std::string cwd = platform::pathToUtf8(fs::current_path(ec));
    const std::pair<std::vector<std::wstring>*, const char*> lists[] = {
        {&config.mappingPaths, "mapping file"},
        {&config.cstPaths, "cst file"},
        {&config.textPaths, "text file"}};
    for (const auto& [list, what] : lists) {
        for (std::wstring& wide : *list) {
            const std::string path = platform::wideToUtf8(wide);
            if (path.empty() || platform::isAbsolutePath(path, style) ||
                platform::pathExists(platform::pathFromWide(wide)))
                continue;
            const std::string besideConfig = withSeparator(platform::pathToUtf8(projectDir)) + path;
            if (platform::pathExists(platform::pathFromUtf8(besideConfig))) {
                wide = platform::utf8ToWide(besideConfig);
                continue;
            }
            errors.push_back(std::string(what) + " \"" + path +
                             "\" is in neither the working directory (" + cwd +
                             ") nor the configuration's folder (" +
                             platform::pathToUtf8(projectDir) + ")");
            if (std::string note = controlCharacterNote(path); !note.empty())
                notes.push_back(std::move(note));
        }
    }
}

// The error line for a configured code page that CodePage/ beside the tool lacks: where it was
// looked for and which tables are there.
std::string missingCodePage(const fs::path& toolDir, const std::wstring& name) {
    const fs::path dir = codePagePath(toolDir, L"").parent_path();
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        names.push_back(platform::pathToUtf8(it->path().filename()));
    std::sort(names.begin(), names.end());
    std::string line = "code page \"" + platform::wideToUtf8(name) + "\" is not in " +
                       platform::pathToUtf8(dir) + ", which holds";
    if (names.empty()) return line + " no code-page tables";
    line += ":";
    for (const std::string& table : names) line += " " + table;
    return line;
}

// What the compact layout makes of the keys it ignores: one line for the layout choices, one
// for the width file.
std::vector<std::string> ignoredKeyNotes(const std::vector<std::string>& keys) {
    std::vector<std::string> lines;
    std::string layout;
    for (const std::string& key : keys) {
        if (key == "advances") {
            lines.push_back(
                "\"advances\" writes no _adv.bin with \"compact\": the compact file holds every "
                "advance width itself");
        } else {
            layout += (layout.empty() ? "\"" : " and \"") + key + "\"";
        }
    }
    if (!layout.empty())
        lines.insert(
            lines.begin(),
            layout +
                (layout.find(" and ") == std::string::npos ? " does not apply" : " do not apply") +
                " to the compact layout and " +
                (layout.find(" and ") == std::string::npos ? "is" : "are") +
                " ignored: it has its own index and always trims glyphs");
    return lines;
}

// The error line for a folder given as the configuration, with the configuration it probably
// meant when the folder holds one.
std::string folderGivenError(const fs::path& folder) {
    std::string line = "error: " + platform::pathToUtf8(folder) +
                       " is a folder; give the path of a configuration file";
    const std::string inside = withSeparator(platform::pathToUtf8(folder)) + "FontConfig.json";
    if (platform::pathExists(platform::pathFromUtf8(inside))) line += " (" + inside + ")";
    return line;
}

// What --version prints: the version, the licences, and where the notices of the libraries and
// fonts the package ships with lie (beside the tool in the Windows zip, in the documentation
// folder of an installation). FreeType's licence asks for its credit line in the documentation.
std::string versionText(const std::optional<fs::path>& tool) {
    std::string text = std::string("fontbin ") + FONTBIN_VERSION +
                       "\nCopyright (c) " FONTBIN_COPYRIGHT_YEAR
                       " fontbin developers. MIT licence.\n"
                       "Portions of this software are copyright \u00a9 " FONTBIN_FREETYPE_YEAR
                       " The FreeType Project (www.freetype.org). All rights reserved.\n";
    const std::string dir =
        tool ? withSeparator(platform::pathToUtf8(platform::directoryOf(*tool))) : std::string();
    for (const char* notices : {"THIRD-PARTY-NOTICES.txt", "../../share/doc/fontbin/copyright"}) {
        const std::string path =
            platform::makeAbsolutePath(dir + notices, dir, platform::hostPathStyle());
        if (tool && platform::pathExists(platform::pathFromUtf8(path)))
            return text + "The licences of the libraries and fonts it ships with: " + path + "\n";
    }
    return text +
           "The licences of the libraries and fonts it ships with: THIRD-PARTY-NOTICES.txt in "
           "the Windows zip, share/doc/fontbin/copyright where it is installed\n";
}

}  // namespace

namespace {
const char* const kUsage =
    "Usage: fontbin [CONFIG]\n"
    "Turns one scalable font into bitmap font data for embedded displays.\n"
    "\n"
    "CONFIG is a JSON configuration (default: FontConfig.json beside the tool). The outputs,\n"
    "<font>_size<N>_bits<B>_font.bin and <font>_size<N>_bits<B>_out.cst, are written into the\n"
    "folder of the configuration (a faceIndex other than 0 and each variation add _face<k> and\n"
    "_<tag><value> after <font>); setting.ini in the working directory adds gamma and rotation.\n"
    "\n"
    "Exit status: 0 done, -1 bad command line, -2 configuration not readable, -3 invalid value,\n"
    "-4 font missing or unusable, -5 output not writable.\n"
    "\n"
    "  -h, --help, /? show this text\n"
    "  --version      show the version\n";
}  // namespace

int runFontbin(const std::vector<std::string>& args) {
    // Options are only options when no file of that name exists, so a configuration that
    // happens to be called "--help" still runs.
    if (args.size() == 2 && !platform::pathExists(platform::pathFromUtf8(args[1]))) {
        if (args[1] == "--help" || args[1] == "-h" || args[1] == "/?") {
            platform::writeOut(kUsage);
            return kExitOk;
        }
        if (args[1] == "--version") {
            platform::writeOut(versionText(platform::executablePath()));
            return kExitOk;
        }
    }
    // The tool's folder comes from the operating system, so a start through PATH or a symlink
    // still finds CodePage/ and font/. Argument 0 is the fallback when the system cannot tell.
    fs::path toolPath;
    if (auto self = platform::executablePath()) {
        toolPath = *self;
    } else {
        const std::string arg0 = args.empty() ? std::string() : args[0];
        if (!platform::pathExists(platform::pathFromUtf8(arg0))) {
            printLine(arg0 + " not exist!");
            return kExitBadCommandLine;
        }
        toolPath = platform::pathFromUtf8(arg0);
    }
    const fs::path toolDir = platform::directoryOf(toolPath);
    printLine(quotePath(platform::pathToUtf8(toolDir)));

    fs::path configPath;
    fs::path projectDir;
    if (args.size() <= 1) {
        configPath = platform::pathFromUtf8(withSeparator(platform::pathToUtf8(toolDir)) +
                                            "FontConfig.json");
        projectDir = toolDir;
    } else if (args.size() == 2) {
        printLine(args[1]);
        configPath = platform::pathFromUtf8(args[1]);
        if (!platform::pathExists(configPath)) {
            printLine(args[1] + " not exist!");
            return kExitBadCommandLine;
        }
        projectDir = platform::directoryOf(configPath);
        printLine(platform::pathToUtf8(projectDir));
    } else {
        // Standard output stays as it always was; the reason goes to standard error.
        platform::writeErrLine("Usage: fontbin [CONFIG]  (one configuration path at most; " +
                               std::to_string(args.size() - 1) +
                               " arguments were given: quote a path that holds spaces)");
        return kExitBadCommandLine;
    }

    FontConfig config;
    std::vector<std::string> configWarnings;
    std::string parseError;
    std::vector<std::string> unknownKeys;
    switch (loadFontConfig(configPath, config, &configWarnings, &parseError, &unknownKeys)) {
        case ConfigLoad::CannotOpen:
            printLine(platform::pathToUtf8(configPath) + " not exist!");
            if (platform::isDirectory(configPath))
                platform::writeErrLine(folderGivenError(configPath));
            return kExitConfigNotReadable;
        case ConfigLoad::NotJson:
            // Going on with the defaults would replace good outputs with an empty font.
            platform::writeErrLine("error: " + platform::pathToUtf8(configPath) + " " + parseError);
            return kExitInvalidValue;
        case ConfigLoad::Empty:
            platform::writeErrLine(
                "warning: " + platform::pathToUtf8(configPath) + " is not valid JSON (" +
                parseError +
                "); using the default configuration: every setting takes its default, so no "
                "character is selected and the font is " +
                kDefaultFontName);
            break;
        case ConfigLoad::Loaded:
            break;
    }
    if (config.readInCodePage != 0)
        platform::writeErrLine("note: " + platform::pathToUtf8(configPath) +
                               " is not valid UTF-8 and was read in the system's ANSI code page " +
                               std::to_string(config.readInCodePage) +
                               "; save it as UTF-8 so that it reads the same on every system");
    // Many identical warnings (a long list written with numbers) would bury the output.
    const size_t shown = std::min<size_t>(configWarnings.size(), 5);
    for (size_t i = 0; i < shown; ++i)
        platform::writeErrLine("warning: " + platform::pathToUtf8(configPath) + ": " +
                               configWarnings[i]);
    if (configWarnings.size() > shown)
        platform::writeErrLine("warning: " + platform::pathToUtf8(configPath) + ": " +
                               std::to_string(configWarnings.size() - shown) +
                               " more warnings like these");
    for (const std::string& line : unknownKeys)
        platform::writeErrLine("warning: " + platform::pathToUtf8(configPath) + ": " + line);
    for (const std::string& line : ignoredKeyNotes(config.ignoredKeys))
        platform::writeErrLine("note: " + platform::pathToUtf8(configPath) + ": " + line);

    // setting.ini is looked up in the working directory, not beside the configuration.
    TransformSettings transform;
    IniFile ini;
    if (const auto size = platform::fileSize(platform::pathFromUtf8("setting.ini"));
        size && *size > limits::kMaxSettingsBytes) {
        platform::writeErrLine(
            "error: setting.ini: " +
            limits::tooLargeReason(*size, limits::kMaxSettingsBytes, "a settings file"));
        return kExitInvalidValue;
    }
    if (ini.load("setting.ini")) {
        SettingsError error;
        if (!readTransformSettings(ini, transform, error)) {
            platform::writeErrLine("error: setting.ini: " + error.key + " = \"" + error.text +
                                   "\" is not a valid number (" + error.what + ")");
            return kExitInvalidValue;
        }
    }

    // A typeface choice of the wrong type would silently draw with the wrong face or instance.
    if (!config.errors.empty()) {
        platform::writeErrLine("error: " + platform::pathToUtf8(configPath) + ": " +
                               config.errors.front());
        return kExitInvalidValue;
    }
    // The font is looked up before the values are checked, so that a font given as a path is
    // checked under the file name that will name the outputs.
    const FontLookup font = lookUpFont(
        toolDir, projectDir, config.fontSet.font.empty() ? kDefaultFontName : config.fontSet.font);
    FontLookup named = font;
    if (config.fontSet.font.empty()) named.nameFont.clear();  // the outputs start with "_size"
    FontSetSettings checked = config.fontSet;
    if (font.byPath || font.byName) checked.font = font.nameFont;
    const std::string invalid = validateFontSet(checked, transform.rotate);
    if (!invalid.empty()) {
        platform::writeErrLine("error: " + platform::pathToUtf8(configPath) + ": " + invalid);
        return kExitInvalidValue;
    }

    // A face or instance the font lacks ends the run before any output is named or written:
    // the names carry each variation, so a long list of wrong axes would otherwise fail as a
    // name too long to write. Only configurations that choose a face or instance pay for it.
    if ((config.fontSet.faceIndex != 0 || !config.fontSet.variations.empty()) && font.found &&
        fontFileProblem(font.fontPath).empty()) {
        try {
            CvxText probe(platform::pathToUtf8(font.fontPath), config.fontSet.faceIndex,
                          config.fontSet.variations);
        } catch (const FontChoiceError& e) {
            platform::writeErrLine(std::string("error: ") + e.what());
            return kExitInvalidValue;
        } catch (const FontError&) {
            // An unusable font is reported where it is opened for drawing, as before.
        }
    }

    // Every selection file must be read whole: a missing one would quietly shrink the font.
    std::vector<std::string> inputErrors;
    std::vector<std::string> inputNotes;
    resolveSelectionPaths(config, projectDir, inputErrors, inputNotes);
    for (const std::wstring& name : config.codePages)
        if (!platform::pathExists(codePagePath(toolDir, name)))
            inputErrors.push_back(missingCodePage(toolDir, name));
    CharacterTables tables;
    SelectionReport report;
    if (inputErrors.empty()) {
        report = buildCharacterTables(toolDir, config, tables);
        inputErrors = report.errors;
    }
    if (!inputErrors.empty()) {
        for (const std::string& line : inputErrors)
            platform::writeErrLine("error: " + platform::pathToUtf8(configPath) + ": " + line);
        for (const std::string& line : inputNotes) platform::writeErrLine(line);
        return kExitInvalidValue;
    }
    for (int32_t i = 0; i < report.rejectedRanges; ++i) platform::writeOut("error customer range");
    if (report.rejectedRanges > 0 && platform::stdoutIsTerminal())
        platform::writeErr("\n");  // the stdout message has no line end of its own
    for (const std::string& why : report.rejectedRangeReasons)
        platform::writeErrLine("warning: " + why);
    for (const std::string& warning : report.warnings)
        platform::writeErrLine("warning: " + warning);
    if (tables.charCount == 0)
        platform::writeErrLine("warning: " + platform::pathToUtf8(configPath) +
                               " selects no character; the font file will hold no glyphs");

    // A font named by its family or full name draws with the face that carries the name.
    FontSetSettings fontSet = config.fontSet;
    applyFacesChosenByName(toolDir, projectDir, font, fontSet);
    // The files no output may be: a configuration named like an output would be replaced.
    std::vector<RunInput> inputs{{configPath, "the configuration"},
                                 {platform::pathFromUtf8("setting.ini"), "the settings file"}};
    for (const std::wstring& name : config.codePages)
        inputs.push_back({codePagePath(toolDir, name), "the code-page table"});
    for (const auto& [list, what] : {std::pair{&config.mappingPaths, "the mapping file"},
                                     std::pair{&config.cstPaths, "the cst file"},
                                     std::pair{&config.textPaths, "the text file"}})
        for (const std::wstring& path : *list)
            inputs.push_back({platform::pathFromWide(path), what});
    return exportFontSet(toolDir, projectDir, fontSet, transform, tables, named, inputs);
}

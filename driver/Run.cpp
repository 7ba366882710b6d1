#include "driver/Run.h"

#include <algorithm>

#include "charset/CharacterTables.h"
#include "config/FontConfig.h"
#include "config/IniFile.h"
#include "config/Settings.h"
#include "driver/CellGeometry.h"
#include "driver/Export.h"
#include "platform/platform.h"

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
    return dir + (platform::hostPathStyle() == platform::PathStyle::Windows ? "\\" : "/");
}

}  // namespace

namespace {
const char* const kUsage =
    "Usage: fontbin [CONFIG]\n"
    "Turns one scalable font into bitmap font data for embedded displays.\n"
    "\n"
    "CONFIG is a JSON configuration (default: FontConfig.json beside the tool). The outputs,\n"
    "<font>_size<N>_bits<B>_font.bin and <font>_size<N>_bits<B>_out.cst, are written into the\n"
    "folder of the configuration; setting.ini in the working directory adds gamma and rotation.\n"
    "\n"
    "Exit status: 0 done, -1 bad command line, -2 configuration not readable, -3 invalid value,\n"
    "-4 font missing or unusable, -5 output not writable.\n"
    "\n"
    "  -h, --help     show this text\n"
    "  --version      show the version\n";
}  // namespace

int runFontbin(const std::vector<std::string>& args) {
    // Options are only options when no file of that name exists, so a configuration that
    // happens to be called "--help" still runs.
    if (args.size() == 2 && !platform::pathExists(platform::pathFromUtf8(args[1]))) {
        if (args[1] == "--help" || args[1] == "-h") {
            platform::writeOut(kUsage);
            return kExitOk;
        }
        if (args[1] == "--version") {
            platform::writeOut(std::string("fontbin ") + FONTBIN_VERSION + "\n");
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
        return kExitBadCommandLine;
    }

    FontConfig config;
    std::vector<std::string> configWarnings;
    std::string parseError;
    switch (loadFontConfig(configPath, config, &configWarnings, &parseError)) {
        case ConfigLoad::CannotOpen:
            printLine(platform::pathToUtf8(configPath) + " not exist!");
            return kExitConfigNotReadable;
        case ConfigLoad::NotJson:
            platform::writeErrLine("warning: " + platform::pathToUtf8(configPath) +
                                   " is not valid JSON (" + parseError +
                                   "); using the default configuration");
            break;
        case ConfigLoad::Loaded:
            break;
    }
    // Many identical warnings (a long list written with numbers) would bury the output.
    const size_t shown = std::min<size_t>(configWarnings.size(), 5);
    for (size_t i = 0; i < shown; ++i)
        platform::writeErrLine("warning: " + platform::pathToUtf8(configPath) + ": " +
                               configWarnings[i]);
    if (configWarnings.size() > shown)
        platform::writeErrLine("warning: " + platform::pathToUtf8(configPath) + ": " +
                               std::to_string(configWarnings.size() - shown) +
                               " more warnings like these");

    // setting.ini is looked up in the working directory, not beside the configuration.
    TransformSettings transform;
    IniFile ini;
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
    const std::string invalid = validateFontSet(config.fontSet, transform.rotate);
    if (!invalid.empty()) {
        platform::writeErrLine("error: " + platform::pathToUtf8(configPath) + ": " + invalid);
        return kExitInvalidValue;
    }

    CharacterTables tables;
    const SelectionReport report = buildCharacterTables(toolDir, config, tables);
    for (int32_t i = 0; i < report.rejectedRanges; ++i) platform::writeOut("error customer range");
    for (const std::string& warning : report.warnings)
        platform::writeErrLine("warning: " + warning);
    if (tables.charCount == 0)
        platform::writeErrLine("warning: " + platform::pathToUtf8(configPath) +
                               " selects no character; the font file will hold no glyphs");

    return exportFontSet(toolDir, projectDir, config.fontSet, transform, tables);
}

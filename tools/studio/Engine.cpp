#include "tools/studio/Engine.h"

#include <algorithm>
#include <cstring>

#include "config/FontChoices.h"
#include "config/IniFile.h"
#include "driver/CellGeometry.h"
#include "driver/FontByName.h"
#include "output/FontFileWriter.h"
#include "platform/desktop.h"
#include "platform/platform.h"
#include "render/CellLayout.h"
#include "render/CvxText.h"
#include "render/FontFaces.h"
#include "tools/studio/Json.h"
#include "tools/studio/Render.h"

namespace fs = std::filesystem;

namespace studio {

fs::path Places::projectDir() const {
    return platform::directoryOf(configPath);
}

std::string messageKey(const std::string& text) {
    // The words a line of the command line holds, or starts with, name its key.
    if (text.find(" has no face ") != std::string::npos) return "fontSet.faceIndex";
    if (text.find("axis") != std::string::npos || text.find("variable font") != std::string::npos)
        return "fontSet.variations";
    static const std::pair<const char*, const char*> starts[] = {
        {"renderMode ", "fontSet.renderMode"},
        {"fontSize ", "fontSet.fontSize"},
        {"font \"", "fontSet.font"},
        {"hinting ", "fontSet.hinting"},
        {"mapping file", "mappingPaths"},
        {"cst file", "cstPaths"},
        {"text file", "textPaths"},
        {"code page", "codePages"},
        {"code-page file", "codePages"},
        {"customer range", "customerVals"},
        {"customerVals", "customerVals"},
        {"gamma", "gamma"},
        {"rotate", "rotate"},
        {"cannot open font", "fontSet.font"},
        {"damaged font", "fontSet.font"},
        {"unusable font", "fontSet.font"}};
    for (const auto& [start, key] : starts)
        if (text.rfind(start, 0) == 0) return key;
    for (const char* list : {"codePages", "mappingPaths", "cstPaths", "textPaths"})
        if (text.rfind(list, 0) == 0 || text.rfind(std::string("an element of ") + list, 0) == 0)
            return list;
    if (text.rfind("fontSet.", 0) == 0) return text.substr(0, text.find_first_of(" [", 8));
    if (text.find(" not exist!") != std::string::npos) return "fontSet.font";
    return {};
}

int signedStatus(int status) {
#ifdef _WIN32
    return status;
#else
    // fontbin's statuses -1 to -5 arrive as 255 to 251.
    return status >= 251 && status <= 255 ? status - 256 : status;
#endif
}

namespace {

void add(std::vector<Message>& to, const char* level, const std::string& text,
         std::string key = {}) {
    to.push_back(Message{key.empty() ? messageKey(text) : key, level, text});
}

std::string withSeparator(const std::string& dir) {
    if (!dir.empty() && (dir.back() == '/' || dir.back() == '\\')) return dir;
    return dir + platform::hostSeparator();
}

// Relative selection files are read from the configuration's folder, where fontbin runs on
// export: its working directory and the configuration's folder are then the same.
void resolveAgainst(const fs::path& projectDir, FontConfig& config) {
    for (auto* list : {&config.mappingPaths, &config.cstPaths, &config.textPaths})
        for (std::wstring& wide : *list) {
            const std::string path = platform::wideToUtf8(wide);
            if (!path.empty() && !platform::isAbsolutePath(path, platform::hostPathStyle()))
                wide = platform::utf8ToWide(withSeparator(platform::pathToUtf8(projectDir)) + path);
        }
}

// setting.ini's text for the request's values, so that the tool's reader checks them.
std::string iniText(const cJSON* setting) {
    return "[Setting]\nTransformAlgrithm=" + jsonString(setting, "TransformAlgrithm") +
           "\ngamma=" + jsonString(setting, "gamma", "1") +
           "\nrotate=" + jsonString(setting, "rotate", "0") + "\n";
}

cJSON* messagesJson(const std::vector<Message>& messages) {
    cJSON* list = cJSON_CreateArray();
    for (const Message& m : messages) {
        cJSON* item = cJSON_CreateObject();
        cJSON_AddStringToObject(item, "key", m.key.c_str());
        cJSON_AddStringToObject(item, "level", m.level.c_str());
        cJSON_AddStringToObject(item, "text", m.text.c_str());
        cJSON_AddItemToArray(list, item);
    }
    return list;
}

std::string fontKey(const fs::path& path, int32_t face, const std::vector<AxisValue>& variations) {
    std::string key = platform::pathToUtf8(path) + "#" + std::to_string(face);
    for (const AxisValue& v : variations) key += " " + v.tag + "=" + shortestDecimal(v.value);
    return key;
}

fs::path besideTool(const fs::path& toolDir, const std::string& name) {
#ifdef _WIN32
    return toolDir / (name + ".exe");
#else
    // Installed, the tool's folder is <prefix>/lib/fontbin and the helper tools are in bin/.
    const fs::path beside = toolDir / name;
    if (platform::pathExists(beside)) return beside;
    return toolDir.parent_path().parent_path() / "bin" / name;
#endif
}

}  // namespace

Engine::Engine(Places places) : places_(std::move(places)) {}

Engine::~Engine() {
    std::lock_guard<std::mutex> lock(jobMutex_);
    if (job_) {
        job_->cancelled = true;
        if (job_->worker.joinable()) job_->worker.join();
    }
}

bool Engine::prepare(const cJSON* body, Prepared& p) {
    const fs::path projectDir = places_.projectDir();
    const cJSON* configNode = cJSON_GetObjectItemCaseSensitive(body, "config");
    char* text = configNode ? cJSON_PrintUnformatted(configNode) : nullptr;
    const std::string configText = text ? text : "{}";
    cJSON_free(text);
    std::vector<std::string> warnings, unknownKeys;
    std::string parseError;
    if (!bindConfigText(configText.data(), configText.size(), p.config, &warnings, &parseError,
                        &unknownKeys)) {
        add(p.messages, "error", "the configuration " + parseError);
        return false;
    }
    for (const std::string& w : warnings) add(p.messages, "warning", w);
    for (const std::string& w : unknownKeys) add(p.messages, "warning", w);

    IniFile ini;
    ini.loadText(iniText(cJSON_GetObjectItemCaseSensitive(body, "setting")));
    SettingsError settingsError;
    if (!readTransformSettings(ini, p.transform, settingsError)) {
        add(p.messages, "error",
            "setting.ini: " + settingsError.key + " = \"" + settingsError.text +
                "\" is not a valid number (" + settingsError.what + ")",
            settingsError.key);
        return false;
    }
    for (const std::string& e : p.config.errors) add(p.messages, "error", e);
    if (!p.config.errors.empty()) return false;

    // The order of the command line's checks: the font is found first, so that a font given as
    // a path is checked under the file name that names the outputs.
    const std::string& configured = p.config.fontSet.font;
    p.lookup =
        lookUpFont(places_.toolDir, projectDir, configured.empty() ? kDefaultFontName : configured);
    FontSetSettings checked = p.config.fontSet;
    if (p.lookup.byPath || p.lookup.byName) checked.font = p.lookup.nameFont;
    if (const std::string invalid = validateFontSet(checked, p.transform.rotate);
        !invalid.empty()) {
        add(p.messages, "error", invalid);
        return false;
    }
    p.fontSet = p.config.fontSet;
    applyFacesChosenByName(places_.toolDir, projectDir, p.lookup, p.fontSet);
    if (p.fontSet.font.empty()) p.fontSet.font = kDefaultFontName;
    if (p.lookup.byPath) p.fontSet.font = p.lookup.nameFont;

    bool fontsUsable = true;
    auto findFont = [&](const FontLookup& found, const std::string& name) {
        if (!found.found) {
            add(p.messages, "error", platform::pathToUtf8(found.fontPath) + " not exist!",
                "fontSet.font");
            for (const std::string& line : fontNotFoundHelp(places_.toolDir, name))
                add(p.messages, "note", line, "fontSet.font");
        } else if (const std::string why = fontFileProblem(found.fontPath); !why.empty()) {
            add(p.messages, "error",
                "cannot open font \"" + platform::pathToUtf8(found.fontPath) + "\": " + why);
        } else {
            p.chainPaths.push_back(found.fontPath);
            return;
        }
        fontsUsable = false;
    };
    findFont(p.lookup, p.fontSet.font);
    for (const FontChoice& choice : p.fontSet.fallbackFonts)
        findFont(lookUpFont(places_.toolDir, projectDir, choice.font), choice.font);
    if (fontsUsable && (p.fontSet.faceIndex != 0 || !p.fontSet.variations.empty())) {
        try {
            CvxText probe(platform::pathToUtf8(p.lookup.fontPath), p.fontSet.faceIndex,
                          p.fontSet.variations);
        } catch (const FontError& e) {
            add(p.messages, "error", e.what());
            fontsUsable = false;
        }
    }

    // Every selection file must be read whole, as on the command line.
    resolveAgainst(projectDir, p.config);
    bool selectionUsable = true;
    for (const std::wstring& name : p.config.codePages)
        if (!platform::pathExists(codePagePath(places_.toolDir, name))) {
            add(p.messages, "error",
                "code page \"" + platform::wideToUtf8(name) + "\" is not in " +
                    platform::pathToUtf8(codePagePath(places_.toolDir, L"").parent_path()));
            selectionUsable = false;
        }
    if (selectionUsable) {
        const SelectionReport report = buildCharacterTables(places_.toolDir, p.config, p.tables);
        for (const std::string& e : report.errors) add(p.messages, "error", e);
        for (const std::string& w : report.rejectedRangeReasons) add(p.messages, "warning", w);
        for (const std::string& w : report.warnings) add(p.messages, "warning", w);
        selectionUsable = report.errors.empty();
        if (selectionUsable && p.tables.charCount == 0)
            add(p.messages, "warning",
                "the configuration selects no character; the font file will hold no glyphs",
                "selection");
    }
    p.usable = fontsUsable && selectionUsable;
    return p.usable;
}

CvxText* Engine::cachedFont(const fs::path& path, int32_t face,
                            const std::vector<AxisValue>& variations) {
    std::unique_ptr<CvxText>& slot = fontCache_[fontKey(path, face, variations)];
    if (!slot) slot = std::make_unique<CvxText>(platform::pathToUtf8(path), face, variations);
    return slot.get();
}

std::string Engine::state() {
    std::lock_guard<std::mutex> lock(mutex_);
    Json tree(cJSON_CreateObject());
    cJSON* root = tree.get();
    cJSON_AddStringToObject(root, "version", FONTBIN_VERSION);
    cJSON_AddStringToObject(root, "configPath", platform::pathToUtf8(places_.configPath).c_str());
    cJSON_AddStringToObject(root, "projectDir", platform::pathToUtf8(places_.projectDir()).c_str());
    cJSON_AddStringToObject(root, "separator", platform::hostSeparator().c_str());
    // The configuration as written, for the page to fill its controls from.
    std::string text, reason;
    cJSON* config = nullptr;
    if (platform::readWholeFile(places_.configPath, text, reason, 16u << 20, "a configuration")) {
        FontConfig model;
        std::string parseError;
        if (bindConfigText(text.data(), text.size(), model, nullptr, &parseError)) {
            const size_t bom = text.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
            config = cJSON_ParseWithLength(text.data() + bom, text.size() - bom);
        } else {
            cJSON_AddStringToObject(
                root, "loadError",
                ("error: " + platform::pathToUtf8(places_.configPath) + " " + parseError).c_str());
        }
    }
    cJSON_AddBoolToObject(root, "configExists", platform::pathExists(places_.configPath));
    cJSON_AddItemToObject(root, "config",
                          config && cJSON_IsObject(config) ? config : cJSON_CreateObject());
    if (config && !cJSON_IsObject(config)) cJSON_Delete(config);
    // setting.ini where the export runs fontbin: the configuration's folder.
    IniFile ini;
    cJSON* setting = cJSON_AddObjectToObject(root, "setting");
    const bool hasIni = ini.load(places_.projectDir() / "setting.ini");
    cJSON_AddStringToObject(setting, "TransformAlgrithm",
                            ini.getSetting("TransformAlgrithm", "").c_str());
    cJSON_AddStringToObject(setting, "gamma", ini.getSetting("gamma", "1").c_str());
    cJSON_AddStringToObject(setting, "rotate", ini.getSetting("rotate", "0").c_str());
    cJSON_AddBoolToObject(root, "settingExists", hasIni);
    cJSON* pages = cJSON_AddArrayToObject(root, "codePages");
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(places_.toolDir / "CodePage", ec), end; !ec && it != end;
         it.increment(ec))
        names.push_back(platform::pathToUtf8(it->path().filename()));
    std::sort(names.begin(), names.end());
    for (const std::string& name : names)
        cJSON_AddItemToArray(pages, cJSON_CreateString(name.c_str()));
    return printJson(std::move(tree));
}

std::string Engine::fonts() {
    Json tree(cJSON_CreateArray());
    for (const platform::InstalledFont& font : platform::installedFonts()) {
        cJSON* item = cJSON_CreateObject();
        cJSON_AddStringToObject(item, "family", font.family.c_str());
        cJSON* families = cJSON_AddArrayToObject(item, "families");
        for (const std::string& name : font.families)
            cJSON_AddItemToArray(families, cJSON_CreateString(name.c_str()));
        cJSON_AddStringToObject(item, "style", font.style.c_str());
        cJSON_AddStringToObject(item, "file", platform::pathToUtf8(font.file.filename()).c_str());
        cJSON_AddStringToObject(item, "path", platform::pathToUtf8(font.file).c_str());
        cJSON_AddNumberToObject(item, "face", font.faceIndex);
        // Whether the file name alone finds this file, as "font" is looked up.
        const auto found = platform::findSystemFont(platform::pathToUtf8(font.file.filename()));
        cJSON_AddBoolToObject(item, "byFileName", found && *found == font.file);
        cJSON_AddItemToArray(tree.get(), item);
    }
    return printJson(std::move(tree));
}

std::string Engine::check(const cJSON* body) {
    std::lock_guard<std::mutex> lock(mutex_);
    Prepared p;
    prepare(body, p);
    Json tree(cJSON_CreateObject());
    cJSON* root = tree.get();
    cJSON_AddBoolToObject(root, "usable", p.usable);
    cJSON_AddItemToObject(root, "messages", messagesJson(p.messages));
    cJSON_AddNumberToObject(root, "charCount", p.tables.charCount);
    // The selection as runs [first, last], for the glyph sheet's pages.
    cJSON* runs = cJSON_AddArrayToObject(root, "runs");
    for (int32_t i = 0; i < p.tables.charCount;) {
        int32_t j = i;
        while (j + 1 < p.tables.charCount &&
               p.tables.charList[size_t(j) + 1] == p.tables.charList[size_t(j)] + 1)
            ++j;
        const int pair[2] = {p.tables.charList[size_t(i)], p.tables.charList[size_t(j)]};
        cJSON_AddItemToArray(runs, cJSON_CreateIntArray(pair, 2));
        i = j + 1;
    }
    if (p.usable) {
        const CellSize cell = computeCellSize(p.fontSet, p.transform.rotate);
        cJSON_AddNumberToObject(root, "cellRows", cell.rows);
        cJSON_AddNumberToObject(root, "cellCols", cell.cols);
        cJSON_AddStringToObject(root, "fontPath", platform::pathToUtf8(p.lookup.fontPath).c_str());
        cJSON_AddNumberToObject(root, "faceIndex", p.fontSet.faceIndex);
        try {
            cJSON* faces = cJSON_AddArrayToObject(root, "faces");
            for (const FaceInfo& f : describeFontFaces(platform::pathToUtf8(p.lookup.fontPath))) {
                cJSON* face = cJSON_CreateObject();
                cJSON_AddNumberToObject(face, "index", double(f.index));
                cJSON_AddStringToObject(face, "name", (f.family + " (" + f.style + ")").c_str());
                cJSON* axes = cJSON_AddArrayToObject(face, "axes");
                for (const AxisInfo& a : f.axes) {
                    cJSON* axis = cJSON_CreateObject();
                    cJSON_AddStringToObject(axis, "tag", a.tag.c_str());
                    cJSON_AddStringToObject(axis, "name", a.name.c_str());
                    cJSON_AddNumberToObject(axis, "min", a.minimum);
                    cJSON_AddNumberToObject(axis, "max", a.maximum);
                    cJSON_AddNumberToObject(axis, "default", a.defaultValue);
                    cJSON_AddItemToArray(axes, axis);
                }
                cJSON_AddItemToArray(faces, face);
            }
        } catch (const FontError&) {
            // Drawing reports it.
        }
    }
    return printJson(std::move(tree));
}

std::string Engine::preview(const cJSON* body) {
    std::lock_guard<std::mutex> lock(mutex_);
    Prepared p;
    if (!prepare(body, p)) {
        Json tree(cJSON_CreateObject());
        cJSON_AddItemToObject(tree.get(), "messages", messagesJson(p.messages));
        return printJson(std::move(tree));
    }
    std::vector<uint32_t> codes;
    const cJSON* item = nullptr;
    cJSON_ArrayForEach(item, cJSON_GetObjectItemCaseSensitive(body, "codes")) {
        if (cJSON_IsNumber(item) && item->valuedouble >= 0 && item->valuedouble <= 0xFFFF &&
            codes.size() < 4096)
            codes.push_back(static_cast<uint32_t>(item->valuedouble));
    }
    const double wrap = jsonNumber(body, "wrap", 0);
    // A handful of fonts is what a session compares; the fonts of earlier choices go, but never
    // while a request holds them.
    if (fontCache_.size() > 12) fontCache_.clear();
    std::string error;
    ChainFonts fonts = openChain(
        p,
        [this](const fs::path& path, int32_t face, const std::vector<AxisValue>& variations) {
            return cachedFont(path, face, variations);
        },
        error);
    if (!error.empty()) return errorJson(error);
    return previewJson(p, fonts, codes, jsonString(body, "text"),
                       wrap >= 1 && wrap <= 9999 ? unsigned(wrap) : 0, jsonBool(body, "words"));
}

std::string Engine::startSizes(const cJSON* body) {
    auto p = std::make_shared<Prepared>();
    std::lock_guard<std::mutex> guard(mutex_);
    if (!prepare(body, *p)) return errorJson("the configuration cannot be exported as it is");
    std::lock_guard<std::mutex> lock(jobMutex_);
    if (job_) {
        job_->cancelled = true;
        if (job_->worker.joinable()) job_->worker.join();
    }
    auto job = std::make_shared<SizesJob>();
    job->total = p->tables.charCount;
    job->worker = std::thread([job, p] {
        // Fonts of its own: the preview's may be drawing at the same time.
        std::vector<std::unique_ptr<CvxText>> owned;
        std::string error;
        ChainFonts fonts = openChain(
            *p,
            [&owned](const fs::path& path, int32_t face, const std::vector<AxisValue>& v) {
                owned.push_back(std::make_unique<CvxText>(platform::pathToUtf8(path), face, v));
                return owned.back().get();
            },
            error);
        job->result = error.empty() ? layoutSizesJson(*p, fonts, job->done, job->cancelled)
                                    : errorJson(error);
        job->finished = true;
    });
    job_ = job;
    return "{\"started\":true}";
}

std::string Engine::sizes() {
    std::lock_guard<std::mutex> lock(jobMutex_);
    if (!job_) return "{\"idle\":true}";
    if (job_->finished) return job_->result;
    return "{\"done\":" + std::to_string(job_->done.load()) +
           ",\"total\":" + std::to_string(job_->total) + "}";
}

namespace {

// Writes `bytes` over `path` in one step, as every output of the tools is written.
std::string replaceWith(const fs::path& path, const std::string& bytes) {
    platform::FileReplacement file(path);
    std::string reason;
    if (!file.create(reason)) return reason;
    if (std::fwrite(bytes.data(), 1, bytes.size(), file.stream()) != bytes.size())
        return std::strerror(errno);
    return file.commit(reason) ? std::string() : reason;
}

cJSON* runJson(const platform::ProcessResult& run, const std::string& command) {
    cJSON* out = cJSON_CreateObject();
    cJSON_AddStringToObject(out, "command", command.c_str());
    cJSON_AddBoolToObject(out, "started", run.started);
    cJSON_AddStringToObject(out, "error", run.error.c_str());
    cJSON_AddNumberToObject(out, "status", signedStatus(run.status));
    cJSON_AddNumberToObject(out, "rawStatus", run.status);
    cJSON_AddStringToObject(out, "stdout", run.out.c_str());
    cJSON_AddStringToObject(out, "stderr", run.err.c_str());
    return out;
}

}  // namespace

std::string Engine::exportFiles(const cJSON* body) {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::string text = jsonString(body, "configText");
    std::string target = jsonString(body, "path");
    if (target.empty()) return errorJson("give the path of the configuration file to save");
    if (!platform::isAbsolutePath(target, platform::hostPathStyle()))
        target = withSeparator(platform::pathToUtf8(places_.projectDir())) + target;
    const fs::path configPath = platform::pathFromUtf8(target);
    const fs::path dir = platform::directoryOf(configPath);
    if (!platform::isDirectory(dir))
        return errorJson("the folder " + platform::pathToUtf8(dir) + " does not exist");
    if (std::string why = replaceWith(configPath, text); !why.empty())
        return errorJson("cannot write " + target + ": " + why);
    places_.configPath = configPath;
    Json tree(cJSON_CreateObject());
    cJSON* root = tree.get();
    cJSON_AddStringToObject(root, "saved", target.c_str());
    // fontbin reads setting.ini from its working directory, which is the configuration's folder.
    const cJSON* setting = cJSON_GetObjectItemCaseSensitive(body, "setting");
    const fs::path iniPath = dir / "setting.ini";
    const bool plain = jsonString(setting, "TransformAlgrithm").empty() &&
                       jsonString(setting, "gamma", "1") == "1" &&
                       jsonString(setting, "rotate", "0") == "0";
    if (!plain || platform::pathExists(iniPath)) {
        if (std::string why = replaceWith(iniPath, iniText(setting)); !why.empty())
            return errorJson("cannot write " + platform::pathToUtf8(iniPath) + ": " + why);
        cJSON_AddStringToObject(root, "setting", platform::pathToUtf8(iniPath).c_str());
    }
    const fs::path fontbin = besideTool(places_.toolDir, "fontbin");
    const platform::ProcessResult run = platform::runProcess(fontbin, {target}, dir);
    cJSON_AddItemToObject(root, "run", runJson(run, "fontbin \"" + target + "\""));

    // The files the run names, as fontbin names them.
    Prepared p;
    Json request(cJSON_CreateObject());
    cJSON_AddItemToObject(request.get(), "config", cJSON_ParseWithLength(text.data(), text.size()));
    cJSON_AddItemReferenceToObject(request.get(), "setting", const_cast<cJSON*>(setting));
    prepare(request.get(), p);
    const std::string base =
        fontStem(p.config.fontSet.font.empty() ? std::string() : p.lookup.nameFont) +
        fontChoiceSuffix(p.fontSet.faceIndex, p.fontSet.variations) + "_size" +
        std::to_string(p.fontSet.fontSize) + "_bits" + std::to_string(p.fontSet.renderMode);
    cJSON* files = cJSON_AddArrayToObject(root, "files");
    auto listFile = [&](cJSON* into, const std::string& name) {
        if (auto size = platform::fileSize(dir / platform::pathFromUtf8(name))) {
            cJSON* f = cJSON_CreateObject();
            cJSON_AddStringToObject(f, "name", name.c_str());
            cJSON_AddNumberToObject(f, "bytes", double(*size));
            cJSON_AddItemToArray(into, f);
        }
    };
    const std::string fontName = base + (p.fontSet.compact ? "_compact.bin" : "_font.bin");
    if (signedStatus(run.status) == 0)
        for (const char* suffix : {"_font.bin", "_compact.bin", "_out.cst", "_adv.bin"})
            listFile(files, base + suffix);
    if (signedStatus(run.status) == 0 && jsonBool(body, "embed")) {
        // The C source of the font file, beside it: <base>.c and <base>.h.
        std::vector<std::string> args{platform::pathToUtf8(dir / platform::pathFromUtf8(fontName)),
                                      platform::pathToUtf8(dir / platform::pathFromUtf8(base))};
        const std::string symbol = jsonString(body, "symbol");
        if (!symbol.empty()) args.insert(args.end(), {"--symbol", symbol});
        const platform::ProcessResult embed =
            platform::runProcess(besideTool(places_.toolDir, "fontbin-embed"), args, dir);
        cJSON* e = runJson(embed, "fontbin-embed " + fontName + " " + base +
                                      (symbol.empty() ? "" : " --symbol " + symbol));
        cJSON_AddItemToObject(root, "embed", e);
        cJSON* c = cJSON_AddArrayToObject(e, "files");
        if (signedStatus(embed.status) == 0) {
            listFile(c, base + ".c");
            listFile(c, base + ".h");
        }
    }
    return printJson(std::move(tree));
}

std::string Engine::upload(const std::string& name, const std::string& bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    // Only a plain file name: the page may not write anywhere else.
    if (name.empty() || name == "." || name == ".." ||
        name.find_first_of("/\\:\"<>|?*") != std::string::npos ||
        std::any_of(name.begin(), name.end(), [](char c) { return (unsigned char)c < 0x20; }))
        return errorJson("\"" + name + "\" is not a plain file name");
    const fs::path dir = places_.projectDir();
    const fs::path path = dir / platform::pathFromUtf8(name);
    std::string existing, reason;
    if (platform::pathExists(path)) {
        if (!platform::readWholeFile(path, existing, reason) || existing != bytes)
            return errorJson(platform::pathToUtf8(path) +
                             " already exists with other contents; rename the dropped file");
    } else if (std::string why = replaceWith(path, bytes); !why.empty()) {
        return errorJson("cannot write " + platform::pathToUtf8(path) + ": " + why);
    }
    Json tree(cJSON_CreateObject());
    cJSON_AddStringToObject(tree.get(), "font", name.c_str());
    cJSON_AddStringToObject(tree.get(), "path", platform::pathToUtf8(path).c_str());
    return printJson(std::move(tree));
}

}  // namespace studio

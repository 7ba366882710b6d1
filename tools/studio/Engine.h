// What the page asks fontbin-studio for, without HTTP: the configuration checked with the tool's
// own checks, a preview rendered in memory by the tool's own pipeline and drawn by the device
// reader, the file sizes of every layout, and the export through the fontbin executable.
//
// Every request carries the configuration as a user writes it (a JSON object) and the values of
// setting.ini; the answers are JSON text.
#pragma once

#include <atomic>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "charset/CharacterTables.h"
#include "config/FontConfig.h"
#include "config/Settings.h"
#include "driver/FontLookup.h"

struct cJSON;
class CvxText;

namespace studio {

// One line the command line would print, tied to the configuration key it is about ("fontSet.
// fontSize", "mappingPaths", "gamma", ...; empty when it concerns none in particular).
struct Message {
    std::string key;
    std::string level;  // "error", "warning" or "note"
    std::string text;
};

// A request's configuration after the tool's checks, ready to render when `usable`.
struct Prepared {
    FontConfig config;
    TransformSettings transform;
    FontLookup lookup;
    // The files of [font, fallbackFonts...], as found.
    std::vector<std::filesystem::path> chainPaths;
    FontSetSettings fontSet;  // faces chosen by name applied, the default font, the header's name
    CharacterTables tables;
    std::vector<Message> messages;
    bool usable = false;
};

// Where the studio works: the tool's folder (CodePage/, font/, the fontbin executable) and the
// configuration's file, whose folder is where relative paths point and outputs go.
struct Places {
    std::filesystem::path toolDir;
    std::filesystem::path configPath;
    std::filesystem::path projectDir() const;
};

// The sizes of every layout for a whole selection, computed in the background.
struct SizesJob {
    std::atomic<int64_t> done{0};
    int64_t total = 0;
    std::atomic<bool> finished{false};
    std::atomic<bool> cancelled{false};
    std::string result;  // JSON, once finished
    std::thread worker;
};

class Engine {
public:
    explicit Engine(Places places);
    ~Engine();

    // The configuration the studio was started with (or the defaults), its setting.ini values,
    // and what the page needs to offer choices (the code pages beside the tool).
    std::string state();
    // The installed fonts by family and style.
    std::string fonts();
    // The tool's checks on the request's configuration: its messages, the selection's size and
    // code points (as runs), the cell, and the chosen font's faces and axes.
    std::string check(const cJSON* body);
    // The shown characters only ("text" and "codes"), rendered into an in-memory font file in
    // the configured layout and drawn through the reader: the text as the device draws it and
    // each requested glyph's upright cell with its metrics.
    std::string preview(const cJSON* body);
    // Starts computing the size of each layout for the whole selection (a new start cancels the
    // one before); `sizes` tells how far it got and, once done, the sizes.
    std::string startSizes(const cJSON* body);
    std::string sizes();
    // Saves the configuration text and setting.ini, then runs fontbin (and fontbin-embed for C
    // source) on it from the configuration's folder, with their messages and exit statuses.
    std::string exportFiles(const cJSON* body);
    // Stores a font file dropped on the page in the configuration's folder.
    std::string upload(const std::string& name, const std::string& bytes);

private:
    bool prepare(const cJSON* body, Prepared& p);
    CvxText* cachedFont(const std::filesystem::path& path, int32_t face,
                        const std::vector<AxisValue>& variations);

    Places places_;
    std::mutex mutex_;  // one request renders at a time; the font cache is shared
    std::map<std::string, std::unique_ptr<CvxText>> fontCache_;
    std::mutex jobMutex_;
    std::shared_ptr<SizesJob> job_;
};

// The key a message of the tool is about, from the words it starts with.
std::string messageKey(const std::string& text);

// An exit status as the command line documents it: POSIX reports -3 as 253.
int signedStatus(int status);

}  // namespace studio

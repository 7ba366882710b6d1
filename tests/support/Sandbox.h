// Test support: a temporary folder, and a private copy of the fontbin tool with its own font/
// and CodePage/ folders, run as a real process.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace testing_support {

namespace fs = std::filesystem;

inline std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline std::vector<uint8_t> readBytes(const fs::path& path) {
    std::string s = readFile(path);
    return std::vector<uint8_t>(s.begin(), s.end());
}

inline void writeFile(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A fresh empty folder, removed with the object.
class TempDir {
public:
    TempDir() {
        static std::atomic<int> counter{0};
        path_ = fs::temp_directory_path() /
                ("fontbin-test-" + std::to_string(getpid()) + "-" + std::to_string(counter++));
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ec;
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const fs::path& path() const { return path_; }
    fs::path operator/(const std::string& name) const { return path_ / name; }

private:
    fs::path path_;
};

inline std::string shellQuote(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

struct RunResult {
    int status = 0;  // exit status as the shell sees it (0..255; -1 reads 255)
    std::string out;
    std::string err;
};

// Runs `command` (a shell command line) in `cwd`, capturing both streams.
inline RunResult runShell(const std::string& command, const fs::path& cwd) {
    TempDir capture;
    const fs::path out = capture / "stdout";
    const fs::path err = capture / "stderr";
    std::string line = "cd " + shellQuote(cwd.string()) + " && " + command + " >" +
                       shellQuote(out.string()) + " 2>" + shellQuote(err.string()) + " </dev/null";
    int raw = std::system(line.c_str());
    RunResult r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    r.out = readFile(out);
    r.err = readFile(err);
    return r;
}

// A private installation of the tool: <dir>/fontbin with <dir>/font/ and <dir>/CodePage/.
// The binary is copied, not linked: the tool finds its folders through its real path.
class ToolSandbox {
public:
    explicit ToolSandbox(bool withFallbackFont = true, bool withCodePages = false) {
        toolDir_ = dir_.path() / "tool";
        fs::create_directories(toolDir_ / "font");
        fs::create_directories(toolDir_ / "CodePage");
        fs::copy_file(fs::path(FONTBIN_BIN_DIR) / "fontbin", tool());
        if (withFallbackFont)
            fs::copy_file(fs::path(FONTBIN_BIN_DIR) / "font" / "unifont.ttf",
                          toolDir_ / "font" / "unifont.ttf");
        if (withCodePages)
            fs::copy(fs::path(FONTBIN_BIN_DIR) / "CodePage", toolDir_ / "CodePage",
                     fs::copy_options::overwrite_existing | fs::copy_options::recursive);
        project_ = dir_.path() / "project";
        fs::create_directories(project_);
    }
    const fs::path& toolDir() const { return toolDir_; }
    fs::path tool() const { return toolDir_ / "fontbin"; }
    // A folder for configurations and outputs, also the default working directory.
    const fs::path& project() const { return project_; }
    const fs::path& root() const { return dir_.path(); }

    // Puts a font file into the tool's font/ folder under `name`.
    void addFont(const fs::path& source, const std::string& name) const {
        fs::copy_file(source, toolDir_ / "font" / name, fs::copy_options::overwrite_existing);
    }

    // Writes FontConfig.json text into the project folder and returns its path.
    fs::path writeConfig(const std::string& json,
                         const std::string& name = "FontConfig.json") const {
        fs::path p = project_ / name;
        writeFile(p, json);
        return p;
    }

    RunResult run(const std::vector<std::string>& args, const fs::path& cwd = {}) const {
        std::string command = shellQuote(tool().string());
        for (const std::string& a : args) command += " " + shellQuote(a);
        return runShell(command, cwd.empty() ? project_ : cwd);
    }

private:
    TempDir dir_;
    fs::path toolDir_;
    fs::path project_;
};

}  // namespace testing_support

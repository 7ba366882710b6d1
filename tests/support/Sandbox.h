// Test support: a temporary folder, and a private copy of the fontbin tool with its own font/
// and CodePage/ folders, run as a real process.
#pragma once

#ifdef _WIN32
#include <process.h>
#include <windows.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace testing_support {

namespace fs = std::filesystem;

inline long currentProcessId() {
#ifdef _WIN32
    return static_cast<long>(_getpid());
#else
    return static_cast<long>(getpid());
#endif
}

// A program of the build, by its name without suffix ("fontbin-inspect").
inline fs::path binary(const std::string& name) {
#ifdef _WIN32
    return fs::path(FONTBIN_BIN_DIR) / (name + ".exe");
#else
    return fs::path(FONTBIN_BIN_DIR) / name;
#endif
}

// The first line the tool prints: its folder quoted, with backslashes and quotes escaped.
inline std::string toolDirLine(const fs::path& dir) {
    std::string out = "\"";
    for (char c : dir.u8string()) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out + "\"\n";
}

// A reason to skip a test on Windows, printed with the skip; empty elsewhere.
#ifdef _WIN32
#define FONTBIN_SKIP_ON_WINDOWS(reason) GTEST_SKIP() << "not on Windows: " << reason
#else
#define FONTBIN_SKIP_ON_WINDOWS(reason) (void)0
#endif

inline std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline std::vector<uint8_t> readBytes(const fs::path& path) {
    std::string s = readFile(path);
    return std::vector<uint8_t>(s.begin(), s.end());
}

// Every file of the folder with its bytes: temporaries and lock files would show here too.
inline std::map<std::string, std::string> folderBytes(const fs::path& dir) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(dir))
        files[entry.path().filename().u8string()] = readFile(entry.path());
    return files;
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
        path_ = fs::temp_directory_path() / ("fontbin-test-" + std::to_string(currentProcessId()) +
                                             "-" + std::to_string(counter++));
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
    int status = 0;     // exit status as the shell sees it (0..255; -1 reads 255)
    long exitCode = 0;  // the process's own exit code: -1 stays -1 on Windows
    std::string out;
    std::string err;
};

#ifdef _WIN32
inline std::wstring wideFromUtf8(const std::string& text) {
    if (text.empty()) return {};
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

// One argument quoted so that the C runtime's command-line parser gives it back unchanged.
inline std::wstring quoteArgument(const std::wstring& arg) {
    std::wstring out = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(2 * backslashes, L'\\');
    return out + L"\"";
}

// Runs `program` with `args` (UTF-8) in `cwd`, its streams captured in files, with no input.
inline RunResult runProgram(const fs::path& program, const std::vector<std::string>& args,
                            const fs::path& cwd);
#endif

// Runs `command` (a shell command line) in `cwd`, capturing both streams.
inline RunResult runShell(const std::string& command, const fs::path& cwd) {
    TempDir capture;
    const fs::path out = capture / "stdout";
    const fs::path err = capture / "stderr";
    std::string line = "cd " + shellQuote(cwd.string()) + " && " + command + " >" +
                       shellQuote(out.string()) + " 2>" + shellQuote(err.string()) + " </dev/null";
    int raw = std::system(line.c_str());
    RunResult r;
#ifdef _WIN32
    r.status = raw & 0xFF;
#else
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
#endif
    r.exitCode = r.status;
    r.out = readFile(out);
    r.err = readFile(err);
    return r;
}

#ifdef _WIN32
inline RunResult runProgram(const fs::path& program, const std::vector<std::string>& args,
                            const fs::path& cwd) {
    TempDir capture;
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    auto create = [&](const fs::path& path, DWORD access, DWORD disposition) {
        return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                           disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    };
    HANDLE in = create(L"NUL", GENERIC_READ, OPEN_EXISTING);
    HANDLE out = create(capture / "stdout", GENERIC_WRITE, CREATE_ALWAYS);
    HANDLE err = create(capture / "stderr", GENERIC_WRITE, CREATE_ALWAYS);
    std::wstring commandLine = quoteArgument(program.wstring());
    for (const std::string& a : args) commandLine += L" " + quoteArgument(wideFromUtf8(a));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process{};
    RunResult r;
    const std::wstring dir = cwd.wstring();
    // Under Wine on a loaded machine a start now and then fails for a moment (the program just
    // copied into its sandbox); that is not what a test checks, so a start is tried again.
    bool started = false;
    for (int attempt = 0; attempt < 5 && !started; ++attempt) {
        if (attempt) Sleep(200);
        started = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                 dir.c_str(), &startup, &process) != 0;
    }
    if (started) {
        WaitForSingleObject(process.hProcess, INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        r.exitCode = static_cast<long>(static_cast<int32_t>(code));
        r.status = static_cast<int>(code & 0xFF);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    } else {
        r.status = r.exitCode = 127;
    }
    const DWORD startError = started ? 0 : GetLastError();
    CloseHandle(in);
    CloseHandle(out);
    CloseHandle(err);
    // Text-mode output ends lines with CR LF; the tests compare lines.
    auto lines = [](std::string text) {
        for (size_t at; (at = text.find("\r\n")) != std::string::npos;) text.erase(at, 1);
        return text;
    };
    r.out = lines(readFile(capture / "stdout"));
    r.err = lines(readFile(capture / "stderr"));
    if (!started)
        r.err += "cannot start the program: Windows error " + std::to_string(startError) + "\n";
    return r;
}
#else
inline RunResult runProgram(const fs::path& program, const std::vector<std::string>& args,
                            const fs::path& cwd) {
    std::string command = shellQuote(program.string());
    for (const std::string& a : args) command += " " + shellQuote(a);
    return runShell(command, cwd);
}
#endif

// A private installation of the tool: <dir>/fontbin with <dir>/font/ and <dir>/CodePage/.
// The binary is copied, not linked: the tool finds its folders through its real path.
class ToolSandbox {
public:
    explicit ToolSandbox(bool withFallbackFont = true, bool withCodePages = false) {
        toolDir_ = dir_.path() / "tool";
        fs::create_directories(toolDir_ / "font");
        fs::create_directories(toolDir_ / "CodePage");
        fs::copy_file(binary("fontbin"), tool());
        // libthai's dictionary, where the build puts it beside the programs (Windows).
        const fs::path thai = fs::path(FONTBIN_BIN_DIR) / "thbrk.tri";
        if (fs::exists(thai)) fs::copy_file(thai, toolDir_ / "thbrk.tri");
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
    fs::path tool() const { return toolDir_ / binary("fontbin").filename(); }
    // A folder for configurations and outputs, also the default working directory.
    const fs::path& project() const { return project_; }
    const fs::path& root() const { return dir_.path(); }

    // Puts a font file into the tool's font/ folder under `name`.
    void addFont(const fs::path& source, const std::string& name) const {
        fs::copy_file(source, toolDir_ / "font" / fs::u8path(name),
                      fs::copy_options::overwrite_existing);
    }

    // Writes FontConfig.json text into the project folder and returns its path.
    fs::path writeConfig(const std::string& json,
                         const std::string& name = "FontConfig.json") const {
        fs::path p = project_ / name;
        writeFile(p, json);
        return p;
    }

    RunResult run(const std::vector<std::string>& args, const fs::path& cwd = {}) const {
        return runProgram(tool(), args, cwd.empty() ? project_ : cwd);
    }

private:
    TempDir dir_;
    fs::path toolDir_;
    fs::path project_;
};

}  // namespace testing_support

// Services of an interactive program: random bytes, the browser, child processes, font lists.
#include "platform/desktop.h"

#include <algorithm>
#include <cstdlib>
#include <set>
#include <thread>
#include <tuple>

#include "platform/RegistryFonts.h"
#include "platform/platform.h"

#ifdef _WIN32
#include <windows.h>
// After windows.h, which they need.
#include <bcrypt.h>
#include <shellapi.h>
#else
#include <fcntl.h>
#include <fontconfig/fontconfig.h>
#include <sys/random.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

namespace fs = std::filesystem;

namespace platform {

bool randomBytes(void* out, size_t size) {
#ifdef _WIN32
    return BCryptGenRandom(nullptr, static_cast<PUCHAR>(out), static_cast<ULONG>(size),
                           BCRYPT_USE_SYSTEM_PREFERRED_RNG) == 0;
#else
    auto* bytes = static_cast<unsigned char*>(out);
    while (size > 0) {
        const ssize_t n = getrandom(bytes, size, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes += n;
        size -= static_cast<size_t>(n);
    }
    return true;
#endif
}

bool openInBrowser(const std::string& url) {
#ifdef _WIN32
    const std::wstring wide = utf8ToWide(url);
    return reinterpret_cast<INT_PTR>(
               ShellExecuteW(nullptr, L"open", wide.c_str(), nullptr, nullptr, SW_SHOWNORMAL)) > 32;
#else
    // Without a display xdg-open would start a text browser in this very terminal.
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((!display || !*display) && (!wayland || !*wayland)) return false;
    const pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
        // Only calls that are safe between fork and exec in a threaded program.
        setsid();
        const int null = open("/dev/null", O_RDWR);
        if (null >= 0) {
            dup2(null, 0);
            dup2(null, 1);
            dup2(null, 2);
        }
        execlp("xdg-open", "xdg-open", url.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    // xdg-open may wait for the browser it started: it is reaped whenever it ends.
    std::thread([pid] { waitpid(pid, nullptr, 0); }).detach();
    return true;
#endif
}

namespace {

#ifdef _WIN32
// One argument quoted as the C runtime's command-line parser reads it back.
std::wstring quoteArgument(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) return arg;
    std::wstring out = L"\"";
    size_t slashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++slashes;
            continue;
        }
        out.append(c == L'"' ? slashes * 2 + 1 : slashes, L'\\');
        slashes = 0;
        out += c;
    }
    out.append(slashes * 2, L'\\');
    return out + L"\"";
}

void drain(HANDLE pipe, std::string& into) {
    char buffer[4096];
    DWORD n = 0;
    while (ReadFile(pipe, buffer, sizeof buffer, &n, nullptr) && n > 0) into.append(buffer, n);
}
#else
void drain(int fd, std::string& into) {
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        into.append(buffer, static_cast<size_t>(n));
    }
}
#endif

}  // namespace

ProcessResult runProcess(const fs::path& program, const std::vector<std::string>& args,
                         const fs::path& workDir) {
    ProcessResult result;
#ifdef _WIN32
    std::wstring commandLine = quoteArgument(program.wstring());
    for (const std::string& arg : args) commandLine += L" " + quoteArgument(utf8ToWide(arg));
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE outRead = nullptr, outWrite = nullptr, errRead = nullptr, errWrite = nullptr;
    if (!CreatePipe(&outRead, &outWrite, &inherit, 0) ||
        !CreatePipe(&errRead, &errWrite, &inherit, 0)) {
        result.error = windowsErrorText(GetLastError());
        for (HANDLE h : {outRead, outWrite, errRead, errWrite})
            if (h) CloseHandle(h);
        return result;
    }
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = INVALID_HANDLE_VALUE;
    startup.hStdOutput = outWrite;
    startup.hStdError = errWrite;
    PROCESS_INFORMATION info{};
    const std::wstring dir = workDir.wstring();
    const BOOL created =
        CreateProcessW(program.wstring().c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                       CREATE_NO_WINDOW, nullptr, dir.c_str(), &startup, &info);
    const DWORD createError = GetLastError();
    CloseHandle(outWrite);
    CloseHandle(errWrite);
    if (!created) {
        result.error = windowsErrorText(createError);
        CloseHandle(outRead);
        CloseHandle(errRead);
        return result;
    }
    result.started = true;
    std::thread errReader([&] { drain(errRead, result.err); });
    drain(outRead, result.out);
    errReader.join();
    WaitForSingleObject(info.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(info.hProcess, &code);
    result.status = static_cast<int>(code);
    for (HANDLE h : {info.hProcess, info.hThread, outRead, errRead}) CloseHandle(h);
#else
    // Everything the child needs is made before the fork: after it, in a threaded program, only
    // calls that are safe there may run.
    const std::string path = program.string();
    const std::string dir = workDir.string();
    std::vector<std::string> argStore{path};
    argStore.insert(argStore.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argStore) argv.push_back(a.data());
    argv.push_back(nullptr);
    int outPipe[2], errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0) {
        result.error = std::strerror(errno);
        return result;
    }
    if (pipe2(errPipe, O_CLOEXEC) != 0) {
        result.error = std::strerror(errno);
        close(outPipe[0]);
        close(outPipe[1]);
        return result;
    }
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_RDONLY);
        if (null >= 0) dup2(null, 0);
        dup2(outPipe[1], 1);
        dup2(errPipe[1], 2);
        if (chdir(dir.c_str()) != 0) _exit(126);
        execv(path.c_str(), argv.data());
        _exit(127);
    }
    const int forkError = errno;
    close(outPipe[1]);
    close(errPipe[1]);
    if (pid < 0) {
        result.error = std::strerror(forkError);
        close(outPipe[0]);
        close(errPipe[0]);
        return result;
    }
    result.started = true;
    std::thread errReader([&] { drain(errPipe[0], result.err); });
    drain(outPipe[0], result.out);
    errReader.join();
    close(outPipe[0]);
    close(errPipe[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
#endif
    return result;
}

std::vector<InstalledFont> installedFonts() {
    std::vector<InstalledFont> fonts;
#ifdef _WIN32
    const std::vector<fs::path> dirs = systemFontDirs();
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
        forEachRegistryFont(root, dirs.empty() ? fs::path() : dirs.front(),
                            [&](const std::vector<std::wstring>& names, const fs::path& file) {
                                for (size_t face = 0; face < names.size(); ++face) {
                                    const std::string name = wideToUtf8(names[face]);
                                    fonts.push_back(InstalledFont{
                                        name, {name}, "", file, static_cast<int32_t>(face)});
                                }
                                return false;
                            });
#else
    FcConfig* config = FcInitLoadConfigAndFonts();
    if (!config) return fonts;
    FcPattern* scalable = FcPatternCreate();
    FcPatternAddBool(scalable, FC_SCALABLE, FcTrue);
    FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, FC_STYLE, FC_FILE, FC_INDEX, nullptr);
    std::set<std::pair<std::string, int> > seen;
    if (FcFontSet* list = FcFontList(config, scalable, objects)) {
        for (int i = 0; i < list->nfont; ++i) {
            FcPattern* font = list->fonts[i];
            FcChar8* value = nullptr;
            int index = 0;
            if (FcPatternGetString(font, FC_FILE, 0, &value) != FcResultMatch) continue;
            InstalledFont entry;
            entry.file = fs::path(reinterpret_cast<char*>(value));
            FcPatternGetInteger(font, FC_INDEX, 0, &index);
            // The bits above the lowest 16 number a named instance of a variable font, which
            // is no face of its own.
            if ((index >> 16) != 0 || !seen.emplace(entry.file.string(), index).second) continue;
            entry.faceIndex = index;
            for (int k = 0; FcPatternGetString(font, FC_FAMILY, k, &value) == FcResultMatch; ++k)
                entry.families.emplace_back(reinterpret_cast<char*>(value));
            if (entry.families.empty()) continue;
            entry.family = entry.families.front();
            if (FcPatternGetString(font, FC_STYLE, 0, &value) == FcResultMatch)
                entry.style = reinterpret_cast<char*>(value);
            fonts.push_back(std::move(entry));
        }
        FcFontSetDestroy(list);
    }
    FcObjectSetDestroy(objects);
    FcPatternDestroy(scalable);
    FcConfigDestroy(config);
#endif
    std::sort(fonts.begin(), fonts.end(), [](const InstalledFont& a, const InstalledFont& b) {
        return std::tie(a.family, a.style, a.file, a.faceIndex) <
               std::tie(b.family, b.style, b.file, b.faceIndex);
    });
    return fonts;
}

}  // namespace platform

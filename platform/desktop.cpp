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
#include <dwrite.h>
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

#ifdef _WIN32
namespace {

// A COM interface pointer released when it goes.
template <class T>
struct Com {
    T* p = nullptr;
    Com() = default;
    Com(const Com&) = delete;
    Com& operator=(const Com&) = delete;
    ~Com() {
        if (p) p->Release();
    }
    T* operator->() const { return p; }
    T** out() { return &p; }
};

// Every name of a list, in the language of each, once; the English one first.
std::vector<std::string> localizedNames(IDWriteLocalizedStrings* strings) {
    std::vector<std::string> names;
    UINT32 english = 0;
    BOOL hasEnglish = FALSE;
    strings->FindLocaleName(L"en-us", &english, &hasEnglish);
    const UINT32 count = strings->GetCount();
    for (UINT32 k = 0; k < count; ++k) {
        const UINT32 i = hasEnglish ? (k == 0 ? english : (k <= english ? k - 1 : k)) : k;
        UINT32 length = 0;
        if (FAILED(strings->GetStringLength(i, &length))) continue;
        std::wstring text(length + 1, L'\0');
        if (FAILED(strings->GetString(i, text.data(), length + 1))) continue;
        text.resize(length);
        const std::string name = wideToUtf8(text);
        if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
    }
    return names;
}

// The system's font collection through DirectWrite, which knows every name a font carries (文泉驿
// 微米黑 beside WenQuanYi Micro Hei). Faces DirectWrite only simulates (a bold made from the
// regular) are not faces of a file and are left out.
void directWriteFonts(std::vector<InstalledFont>& fonts) {
    Com<IDWriteFactory> factory;
    if (FAILED(DWriteCreateFactory(DWRITE_FACTORY_TYPE_SHARED, __uuidof(IDWriteFactory),
                                   reinterpret_cast<IUnknown**>(factory.out()))))
        return;
    Com<IDWriteFontCollection> collection;
    if (FAILED(factory->GetSystemFontCollection(collection.out(), FALSE))) return;
    std::set<std::pair<std::wstring, UINT32>> seen;
    for (UINT32 f = 0; f < collection->GetFontFamilyCount(); ++f) {
        Com<IDWriteFontFamily> family;
        Com<IDWriteLocalizedStrings> familyNames;
        if (FAILED(collection->GetFontFamily(f, family.out())) ||
            FAILED(family->GetFamilyNames(familyNames.out())))
            continue;
        const std::vector<std::string> families = localizedNames(familyNames.p);
        if (families.empty()) continue;
        for (UINT32 k = 0; k < family->GetFontCount(); ++k) {
            Com<IDWriteFont> font;
            Com<IDWriteFontFace> face;
            if (FAILED(family->GetFont(k, font.out())) ||
                font->GetSimulations() != DWRITE_FONT_SIMULATIONS_NONE ||
                FAILED(font->CreateFontFace(face.out())))
                continue;
            UINT32 files = 1;
            Com<IDWriteFontFile> file;
            Com<IDWriteFontFileLoader> loader;
            Com<IDWriteLocalFontFileLoader> local;
            const void* key = nullptr;
            UINT32 keySize = 0, length = 0;
            if (FAILED(face->GetFiles(&files, file.out())) || files != 1 ||
                FAILED(file->GetReferenceKey(&key, &keySize)) ||
                FAILED(file->GetLoader(loader.out())) ||
                FAILED(loader->QueryInterface(__uuidof(IDWriteLocalFontFileLoader),
                                              reinterpret_cast<void**>(local.out()))) ||
                FAILED(local->GetFilePathLengthFromKey(key, keySize, &length)))
                continue;
            std::wstring path(length + 1, L'\0');
            if (FAILED(local->GetFilePathFromKey(key, keySize, path.data(), length + 1))) continue;
            path.resize(length);
            std::string style;
            Com<IDWriteLocalizedStrings> faceNames;
            if (SUCCEEDED(font->GetFaceNames(faceNames.out()))) {
                const std::vector<std::string> styles = localizedNames(faceNames.p);
                if (!styles.empty()) style = styles.front();
            }
            if (!seen.emplace(path, face->GetIndex()).second) continue;
            fonts.push_back(InstalledFont{families.front(), families, style, fs::path(path),
                                          static_cast<int32_t>(face->GetIndex())});
        }
    }
}

}  // namespace
#endif

std::vector<InstalledFont> installedFonts() {
    std::vector<InstalledFont> fonts;
#ifdef _WIN32
    directWriteFonts(fonts);
    // The registry's lists add, in English, what DirectWrite did not name (or everything, where
    // it names nothing). Paths compare without regard to case, as Windows compares them.
    auto key = [](const fs::path& file, int32_t face) {
        std::wstring text = file.wstring();
        CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
        return std::make_pair(text, face);
    };
    std::set<std::pair<std::wstring, int32_t>> listed;
    for (const InstalledFont& font : fonts) listed.insert(key(font.file, font.faceIndex));
    const std::vector<fs::path> dirs = systemFontDirs();
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
        forEachRegistryFont(root, dirs.empty() ? fs::path() : dirs.front(),
                            [&](const std::vector<std::wstring>& names, const fs::path& file) {
                                for (size_t face = 0; face < names.size(); ++face) {
                                    const int32_t index = static_cast<int32_t>(face);
                                    if (!listed.insert(key(file, index)).second) continue;
                                    const std::string name = wideToUtf8(names[face]);
                                    fonts.push_back(InstalledFont{name, {name}, "", file, index});
                                }
                                return false;
                            });
#else
    FcConfig* config = FcInitLoadConfigAndFonts();
    if (!config) return fonts;
    FcPattern* scalable = FcPatternCreate();
    FcPatternAddBool(scalable, FC_SCALABLE, FcTrue);
    FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, FC_STYLE, FC_FILE, FC_INDEX, nullptr);
    std::set<std::pair<std::string, int>> seen;
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

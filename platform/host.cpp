// Operating-system services: the tool's own location, existence tests, font folders, console.
#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <system_error>

#include "platform/RegistryFonts.h"
#include "platform/platform.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
// After windows.h, which these need.
#include <knownfolders.h>
#include <shlobj.h>
#else
#include <fontconfig/fontconfig.h>
#include <unistd.h>

#include <csignal>
#endif

namespace fs = std::filesystem;

namespace platform {

PathStyle hostPathStyle() {
#ifdef _WIN32
    return PathStyle::Windows;
#else
    return PathStyle::Posix;
#endif
}

std::string hostSeparator() {
    return hostPathStyle() == PathStyle::Windows ? "\\" : "/";
}

fs::path directoryOf(const fs::path& path) {
#ifdef _WIN32
    // The system's own full-path rules: drive-relative paths ("C:x") take the drive's current
    // folder, which only the system knows.
    const std::wstring wide = path.wstring();
    DWORD n = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (n > 0) {
        std::wstring full(n, L'\0');
        n = GetFullPathNameW(wide.c_str(), n, full.data(), nullptr);
        if (n > 0 && n < full.size()) {
            full.resize(n);
            return pathFromUtf8(parentPath(wideToUtf8(full), PathStyle::Windows));
        }
    }
#endif
    std::error_code ec;
    fs::path cwd = fs::current_path(ec);
    const PathStyle style = hostPathStyle();
    std::string absolute = makeAbsolutePath(pathToUtf8(path), pathToUtf8(cwd), style);
    return pathFromUtf8(parentPath(absolute, style));
}

bool pathExists(const fs::path& path) noexcept {
    std::error_code ec;
    return fs::exists(path, ec);
}

bool isDirectory(const fs::path& path) noexcept {
    std::error_code ec;
    return fs::is_directory(path, ec);
}

std::string notAFileReason(const fs::path& path) noexcept {
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (ec) return {};
    switch (status.type()) {
        case fs::file_type::directory:
            return "it is a directory";
        case fs::file_type::fifo:
        case fs::file_type::socket:
        case fs::file_type::block:
        case fs::file_type::character:
            return "it is not a regular file";
        default:
            return {};
    }
}

std::optional<fs::path> executablePath() {
#ifdef _WIN32
    std::wstring buffer(32768, L'\0');
    DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0 || n >= buffer.size()) return std::nullopt;
    buffer.resize(n);
    return fs::path(buffer);
#else
    std::error_code ec;
    fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (ec || self.empty()) return std::nullopt;
    return self;
#endif
}

std::string thaiDictionaryPath() {
#ifdef _WIN32
    const auto self = executablePath();
    if (!self) return {};
    const std::wstring wide = (self->parent_path() / L"thbrk.tri").wstring();
    // With UTF-8 as the ANSI code page (a Windows 10 option) every name converts, and the
    // conversion takes neither the flag nor the report of a lossy character.
    auto ansi = [](const std::wstring& path) -> std::optional<std::string> {
        const bool utf8 = GetACP() == CP_UTF8;
        const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
        BOOL lossy = FALSE;
        const int n = WideCharToMultiByte(CP_ACP, flags, path.c_str(), -1, nullptr, 0, nullptr,
                                          utf8 ? nullptr : &lossy);
        if (n <= 0 || lossy) return std::nullopt;
        std::string out(static_cast<size_t>(n), '\0');
        WideCharToMultiByte(CP_ACP, flags, path.c_str(), -1, out.data(), n, nullptr, nullptr);
        out.resize(static_cast<size_t>(n - 1));
        return out;
    };
    if (auto path = ansi(wide)) return *path;
    std::wstring shortPath(32768, L'\0');
    const DWORD n =
        GetShortPathNameW(wide.c_str(), shortPath.data(), static_cast<DWORD>(shortPath.size()));
    if (n == 0 || n >= shortPath.size()) return {};
    shortPath.resize(n);
    return ansi(shortPath).value_or(std::string());
#else
    return {};
#endif
}

#ifdef _WIN32
namespace {

std::optional<fs::path> knownFolder(REFKNOWNFOLDERID id) {
    PWSTR path = nullptr;
    std::optional<fs::path> result;
    if (SUCCEEDED(SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, nullptr, &path)) && path)
        result = fs::path(path);
    CoTaskMemFree(path);
    return result;
}

}  // namespace
#endif

std::vector<fs::path> systemFontDirs() {
#ifdef _WIN32
    // The fonts folder is c:\windows\fonts only where Windows lives on C:.
    std::vector<fs::path> dirs;
    if (auto fonts = knownFolder(FOLDERID_Fonts))
        dirs.push_back(*fonts);
    else
        dirs.push_back(fs::path(L"c:\\windows\\fonts"));
    if (auto local = knownFolder(FOLDERID_LocalAppData))
        dirs.push_back(*local / L"Microsoft" / L"Windows" / L"Fonts");
    return dirs;
#else
    std::vector<fs::path> dirs;
    FcConfig* config = FcInitLoadConfig();  // reads the configuration without scanning fonts
    if (!config) return dirs;
    FcStrList* list = FcConfigGetFontDirs(config);
    if (list) {
        while (FcChar8* dir = FcStrListNext(list)) dirs.emplace_back(reinterpret_cast<char*>(dir));
        FcStrListDone(list);
    }
    FcConfigDestroy(config);
    return dirs;
#endif
}

namespace {

// Visits each system font folder and the folders below it, breadth first, in name order, until
// `visit` returns true. Returns whether it did. Windows keeps its fonts flat in each folder, and
// there only the folders themselves are visited.
template <typename Visit>
bool walkFontFolders(Visit visit) {
#ifdef _WIN32
    const int depths = 1;
#else
    const int depths = 8;
#endif
    for (const fs::path& top : systemFontDirs()) {
        std::vector<fs::path> level{top};
        // A depth limit keeps a symlink loop below a font folder from walking forever.
        for (int depth = 0; depth < depths && !level.empty(); ++depth) {
            std::vector<fs::path> next;
            for (const fs::path& dir : level) {
                if (visit(dir)) return true;
                std::error_code ec;
                std::vector<fs::path> subdirs;
                for (fs::directory_iterator
                         it(dir, fs::directory_options::skip_permission_denied, ec),
                     end;
                     !ec && it != end; it.increment(ec)) {
                    std::error_code typeError;
                    if (it->is_directory(typeError)) subdirs.push_back(it->path());
                }
                std::sort(subdirs.begin(), subdirs.end());
                next.insert(next.end(), subdirs.begin(), subdirs.end());
            }
            level.swap(next);
        }
    }
    return false;
}

bool hasFontExtension(const fs::path& file) {
    std::string ext = file.extension().string();
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return ext == ".ttf" || ext == ".otf" || ext == ".ttc" || ext == ".otc";
}

}  // namespace

namespace {

// The system font folders and the folders below them, in search order, walked once per process:
// a configuration that names many fonts (a long fallbackFonts list) would otherwise walk the
// whole tree again for each of them.
const std::vector<fs::path>& fontFolders() {
    static const std::vector<fs::path> folders = [] {
        std::vector<fs::path> all;
        walkFontFolders([&](const fs::path& dir) {
            all.push_back(dir);
            return false;
        });
        return all;
    }();
    return folders;
}

}  // namespace

std::optional<fs::path> findSystemFont(const std::string& fileName) {
    if (fileName.empty()) return std::nullopt;
    // One run looks a name up once, however often the configuration repeats it.
    static std::map<std::string, std::optional<fs::path>> known;
    if (const auto it = known.find(fileName); it != known.end()) return it->second;
    const std::string separator = hostSeparator();
    std::optional<fs::path> found;
    for (const fs::path& dir : fontFolders()) {
        // Plain concatenation: a name with folders in it is looked up below each folder.
        fs::path candidate = pathFromUtf8(pathToUtf8(dir) + separator + fileName);
        if (pathExists(candidate)) {
            found = candidate;
            break;
        }
    }
    known.emplace(fileName, found);
    return found;
}

std::vector<fs::path> systemFontFiles() {
    std::vector<fs::path> files;
    walkFontFolders([&](const fs::path& dir) {
        std::error_code ec;
        std::vector<fs::path> here;
        for (fs::directory_iterator it(dir, fs::directory_options::skip_permission_denied, ec), end;
             !ec && it != end; it.increment(ec)) {
            std::error_code typeError;
            if (it->is_regular_file(typeError) && hasFontExtension(it->path()))
                here.push_back(it->path());
        }
        std::sort(here.begin(), here.end());
        files.insert(files.end(), here.begin(), here.end());
        return false;
    });
    return files;
}

std::optional<fs::path> fontFileForFamily(const std::string& family) {
#ifdef _WIN32
    (void)family;
    return std::nullopt;
#else
    if (family.empty()) return std::nullopt;
    FcConfig* config = FcInitLoadConfigAndFonts();
    if (!config) return std::nullopt;
    std::optional<fs::path> file;
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcConfigSubstitute(config, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    if (FcPattern* match = FcFontMatch(config, pattern, &result)) {
        // fontconfig always finds some font; it counts only when a family name is the one asked.
        bool sameFamily = false;
        FcChar8* name = nullptr;
        for (int i = 0; FcPatternGetString(match, FC_FAMILY, i, &name) == FcResultMatch; ++i)
            sameFamily =
                sameFamily ||
                FcStrCmpIgnoreCase(name, reinterpret_cast<const FcChar8*>(family.c_str())) == 0;
        FcChar8* path = nullptr;
        if (sameFamily && FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch)
            file = fs::path(reinterpret_cast<char*>(path));
        FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
    FcConfigDestroy(config);
    return file;
#endif
}

std::optional<NamedFont> fontFileForName(const std::string& name) {
    if (name.empty()) return std::nullopt;
#ifdef _WIN32
    const std::wstring wanted = utf8ToWide(name);
    const std::vector<fs::path> dirs = systemFontDirs();
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        std::optional<NamedFont> found;
        forEachRegistryFont(
            root, dirs.empty() ? fs::path() : dirs.front(),
            [&](const std::vector<std::wstring>& names, const fs::path& file) {
                for (size_t face = 0; face < names.size(); ++face) {
                    if (CompareStringOrdinal(names[face].c_str(), -1, wanted.c_str(), -1, TRUE) !=
                        CSTR_EQUAL)
                        continue;
                    found = NamedFont{file, static_cast<int32_t>(face)};
                    return true;
                }
                return false;
            });
        if (found && pathExists(found->file)) return found;
    }
    return std::nullopt;
#else
    FcConfig* config = FcInitLoadConfigAndFonts();
    if (!config) return std::nullopt;
    const auto* wanted = reinterpret_cast<const FcChar8*>(name.c_str());
    auto named = [wanted](FcPattern* font, const char* object) {
        FcChar8* value = nullptr;
        for (int i = 0; FcPatternGetString(font, object, i, &value) == FcResultMatch; ++i)
            if (FcStrCmpIgnoreCase(value, wanted) == 0) return true;
        return false;
    };
    auto fileOf = [](FcPattern* font) -> std::optional<NamedFont> {
        FcChar8* path = nullptr;
        int index = 0;
        if (FcPatternGetString(font, FC_FILE, 0, &path) != FcResultMatch) return std::nullopt;
        FcPatternGetInteger(font, FC_INDEX, 0, &index);
        // The bits above the lowest 16 number a named instance, which a face index cannot say.
        return NamedFont{fs::path(reinterpret_cast<char*>(path)), index & 0xFFFF};
    };
    std::optional<NamedFont> found;
    // A family: the face fontconfig picks for it, its regular style before the others.
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, wanted);
    FcConfigSubstitute(config, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    if (FcPattern* match = FcFontMatch(config, pattern, &result)) {
        // fontconfig always finds some font; it counts only when it has the name asked for.
        if (named(match, FC_FAMILY)) found = fileOf(match);
        FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
    // A full name ("DejaVu Sans Bold"): the first font of that name, by file and face.
    if (!found) {
        FcPattern* any = FcPatternCreate();
        FcObjectSet* objects = FcObjectSetBuild(FC_FULLNAME, FC_FILE, FC_INDEX, nullptr);
        if (FcFontSet* fonts = FcFontList(config, any, objects)) {
            for (int i = 0; i < fonts->nfont; ++i) {
                if (!named(fonts->fonts[i], FC_FULLNAME)) continue;
                std::optional<NamedFont> candidate = fileOf(fonts->fonts[i]);
                if (candidate && (!found || std::make_pair(candidate->file, candidate->faceIndex) <
                                                std::make_pair(found->file, found->faceIndex)))
                    found = candidate;
            }
            FcFontSetDestroy(fonts);
        }
        FcObjectSetDestroy(objects);
        FcPatternDestroy(any);
    }
    FcConfigDestroy(config);
    return found;
#endif
}

std::vector<std::string> startProcess(int argc, char** argv) {
    removeTemporariesOnInterrupt();
#ifdef _WIN32
    (void)argc;
    (void)argv;
    std::vector<std::string> args;
    int count = 0;
    if (LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        for (int i = 0; i < count; ++i) args.push_back(wideToUtf8(wide[i]));
        LocalFree(wide);
    }
    return args;
#else
    std::signal(SIGXFSZ, SIG_IGN);
    return std::vector<std::string>(argv, argv + argc);
#endif
}

namespace {

#ifdef _WIN32
// Writes to the console itself when `stream` is one: as UTF-16, so the console's code page does
// not matter. False when the stream is redirected (a file or pipe then gets the UTF-8 bytes).
bool writeConsole(DWORD which, std::string text) {
    const HANDLE handle = GetStdHandle(which);
    DWORD mode = 0;
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE || !GetConsoleMode(handle, &mode))
        return false;
    // The progress line clears its tail with an ANSI sequence; consoles before Windows 10 do
    // not understand it, and there it is dropped rather than shown.
    if (!(mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) &&
        !SetConsoleMode(handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING)) {
        for (size_t at; (at = text.find("\033[K")) != std::string::npos;) text.erase(at, 3);
    }
    const std::wstring wide = utf8ToWide(text);
    DWORD written = 0;
    WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    return true;
}
#endif

void writeStream(std::FILE* stream, const std::string& text) {
#ifdef _WIN32
    std::fflush(stream);
    if (writeConsole(stream == stdout ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE, text)) return;
#endif
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

}  // namespace

void writeOut(const std::string& text) {
    writeStream(stdout, text);
}

void writeErrLine(const std::string& text) {
    writeStream(stderr, text + "\n");
}

void writeErr(const std::string& text) {
    writeStream(stderr, text);
}

bool stdoutIsTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stdout)) != 0;
#else
    return isatty(STDOUT_FILENO) != 0;
#endif
}

bool stderrIsTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(STDERR_FILENO) != 0;
#endif
}

}  // namespace platform

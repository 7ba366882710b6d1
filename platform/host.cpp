// Operating-system services: the tool's own location, existence tests, font folders, console.
#include <algorithm>
#include <cstdio>
#include <string>
#include <system_error>

#include "platform/platform.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <fontconfig/fontconfig.h>
#include <unistd.h>
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

fs::path directoryOf(const fs::path& path) {
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

std::vector<fs::path> systemFontDirs() {
#ifdef _WIN32
    return {fs::path(L"c:\\windows\\fonts\\")};
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
// `visit` returns true. Returns whether it did.
template <typename Visit>
bool walkFontFolders(Visit visit) {
    for (const fs::path& top : systemFontDirs()) {
        std::vector<fs::path> level{top};
        // A depth limit keeps a symlink loop below a font folder from walking forever.
        for (int depth = 0; depth < 8 && !level.empty(); ++depth) {
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

std::optional<fs::path> findSystemFont(const std::string& fileName) {
#ifdef _WIN32
    fs::path candidate = pathFromUtf8("c:\\windows\\fonts\\" + fileName);
    if (pathExists(candidate)) return candidate;
    return std::nullopt;
#else
    if (fileName.empty()) return std::nullopt;
    std::optional<fs::path> found;
    walkFontFolders([&](const fs::path& dir) {
        // Plain concatenation: a name with folders in it is looked up below each folder.
        fs::path candidate = fs::path(dir.string() + "/" + fileName);
        if (pathExists(candidate)) found = candidate;
        return found.has_value();
    });
    return found;
#endif
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

void writeOut(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

void writeErrLine(const std::string& text) {
    std::string line = text + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

void writeErr(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
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

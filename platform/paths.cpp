// Path rules as plain string functions, so both styles can be tested on any machine.
#include "platform/paths.h"

#include <string>
#include <vector>

namespace platform {
namespace {

bool isSeparator(char c, PathStyle style) {
    return c == '/' || (style == PathStyle::Windows && c == '\\');
}

bool isDriveLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

char preferredSeparator(PathStyle style) {
    return style == PathStyle::Windows ? '\\' : '/';
}

// Length of the root of an absolute path: "C:\" (3), "\\server\share" (up to the separator after
// the share name, or the end), "/" (1). 0 when the path is not absolute.
size_t rootLength(const std::string& path, PathStyle style) {
    if (style == PathStyle::Posix) return !path.empty() && path[0] == '/' ? 1 : 0;
    if (path.size() >= 3 && isDriveLetter(path[0]) && path[1] == ':' && isSeparator(path[2], style))
        return 3;
    if (path.size() >= 3 && isSeparator(path[0], style) && isSeparator(path[1], style) &&
        !isSeparator(path[2], style)) {
        // \\server\share: the root spans two elements; \\?\ and \\.\ device paths likewise.
        size_t pos = 2;
        for (int element = 0; element < 2; ++element) {
            while (pos < path.size() && !isSeparator(path[pos], style)) ++pos;
            if (element == 0 && pos < path.size()) ++pos;
        }
        return pos;
    }
    return 0;
}

std::vector<std::string> splitElements(const std::string& text, PathStyle style) {
    std::vector<std::string> out;
    std::string current;
    for (char c : text) {
        if (isSeparator(c, style)) {
            if (!current.empty()) out.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty()) out.push_back(current);
    return out;
}

}  // namespace

bool isAbsolutePath(const std::string& path, PathStyle style) {
    return rootLength(path, style) > 0;
}

std::string makeAbsolutePath(const std::string& path, const std::string& cwd, PathStyle style) {
    std::string root;
    std::string rest;
    const char sep = preferredSeparator(style);
    if (isAbsolutePath(path, style)) {
        size_t n = rootLength(path, style);
        root = path.substr(0, n);
        rest = path.substr(n);
    } else {
        size_t n = rootLength(cwd, style);
        root = cwd.substr(0, n);
        std::string cwdRest = cwd.substr(n);
        if (style == PathStyle::Windows && !path.empty() && isSeparator(path[0], style)) {
            // "\x" is relative to the root of the current drive.
            rest = path;
        } else if (style == PathStyle::Windows && path.size() >= 2 && isDriveLetter(path[0]) &&
                   path[1] == ':') {
            // "D:x": relative to the current directory of drive D. We only know the current
            // directory of the current drive; for another drive its root is the best answer.
            bool sameDrive = root.size() >= 2 && (root[0] | 0x20) == (path[0] | 0x20);
            if (!sameDrive) {
                root = path.substr(0, 2) + sep;
                cwdRest.clear();
            }
            rest = cwdRest + sep + path.substr(2);
        } else {
            rest = cwdRest + sep + path;
        }
    }
    // Normalise the elements: "." vanishes, ".." removes the previous element but never the root.
    std::vector<std::string> kept;
    for (const std::string& element : splitElements(rest, style)) {
        if (element == ".") continue;
        if (element == "..") {
            if (!kept.empty()) kept.pop_back();
            continue;
        }
        kept.push_back(element);
    }
    if (style == PathStyle::Windows) {
        for (char& c : root)
            if (c == '/') c = '\\';
    }
    std::string out = root;
    if (!kept.empty() && !out.empty() && !isSeparator(out.back(), style)) out += sep;
    for (size_t i = 0; i < kept.size(); ++i) {
        if (i > 0) out += sep;
        out += kept[i];
    }
    // Keep a trailing separator, as the full-path service does.
    if (!kept.empty() && !path.empty() && isSeparator(path.back(), style)) out += sep;
    return out;
}

std::string parentPath(const std::string& absolutePath, PathStyle style) {
    const size_t rootLen = rootLength(absolutePath, style);
    std::string text = absolutePath;
    size_t end = text.size();
    // Drop trailing separators (but not into the root), then the last element, then the
    // separators before it.
    while (end > rootLen && isSeparator(text[end - 1], style)) --end;
    while (end > rootLen && !isSeparator(text[end - 1], style)) --end;
    while (end > rootLen && isSeparator(text[end - 1], style)) --end;
    if (end < rootLen) end = rootLen;
    return text.substr(0, end);
}

}  // namespace platform

// Path rules as pure string functions (UTF-8 text) for either style, and the host's.
#pragma once

#include <filesystem>
#include <string>

namespace platform {

// ---- Path rules, as pure string functions (UTF-8 text), for either style -------------------

enum class PathStyle { Windows, Posix };

// The style of the machine we run on.
PathStyle hostPathStyle();

// The separator this machine's paths are joined with: "\\" on Windows, "/" elsewhere.
std::string hostSeparator();

// Windows: "C:\x", "c:/x", "\\server\share", "//?/..." are absolute; "C:x" and "\x" are not.
// POSIX: a leading '/'.
bool isAbsolutePath(const std::string& path, PathStyle style);

// Joins a relative `path` to the absolute directory `cwd` and removes "." and ".." elements
// lexically (no symlinks are followed), as the Windows full-path service does. An absolute
// `path` is only normalised.
std::string makeAbsolutePath(const std::string& path, const std::string& cwd, PathStyle style);

// The parent of an absolute path: the last element and the separators before it removed. A
// root ("C:\", "\\server\share\", "/") stays whole.
std::string parentPath(const std::string& absolutePath, PathStyle style);

// The directory of `path` on this machine: made absolute against the current directory, then
// its parent.
std::filesystem::path directoryOf(const std::filesystem::path& path);

}  // namespace platform

// Where the system keeps its fonts, and installed fonts found by file, family or full name.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// The system's font folders, in search order: fontconfig's configured directories on Linux; on
// Windows the fonts folder as the system reports it, then the per-user fonts folder
// (%LOCALAPPDATA%\Microsoft\Windows\Fonts, where Windows 10 installs fonts "for this user").
std::vector<std::filesystem::path> systemFontDirs();

// The first file named exactly `fileName` (text appended to the folder as it is) in the system
// font folders: each folder itself first, then the folders below it, breadth first, in name
// order (on Windows, where font folders are flat, only each folder itself). Nothing when no such
// file exists. The folders are listed once per process, and each name's answer is kept for the
// rest of the process: a run sees the font folders as they were when it first looked.
std::optional<std::filesystem::path> findSystemFont(const std::string& fileName);

// Every font file (a name ending in .ttf, .otf, .ttc or .otc, in any case) in the system font
// folders and the folders below them, in search order. Meant for suggestions after a failed
// lookup: it walks the whole tree.
std::vector<std::filesystem::path> systemFontFiles();

// The file that holds the font family `family` (compared without regard to case) as the system's
// font catalogue knows it (fontconfig on Linux), or nothing when no installed family has that
// name or the system keeps no catalogue.
std::optional<std::filesystem::path> fontFileForFamily(const std::string& family);

// An installed font found by its name: its file, and the face of a collection that carries the
// name as far as the system's catalogue tells (0 when it does not).
struct NamedFont {
    std::filesystem::path file;
    int32_t faceIndex = 0;
};

// The installed font whose family or full name is `name` (compared without regard to case), as
// users see fonts named: on Linux through fontconfig (localised family names included, and the
// regular style of a family preferred), on Windows from the installed-font lists of the machine
// and of the user in the registry (their names in English, as Windows writes them: "SimSun &
// NSimSun", "Arial Bold"). Nothing when no installed font has that name.
std::optional<NamedFont> fontFileForName(const std::string& name);

}  // namespace platform

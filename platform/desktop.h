// What an interactive program (fontbin-studio) needs from the system beyond what a run needs:
// unpredictable bytes, the user's browser, another program run to its end with its output
// collected, and the installed fonts listed by the names users know them by.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace platform {

// Fills `out` with `size` bytes from the system's cryptographic random source (getrandom on
// Linux, BCryptGenRandom on Windows). False when the source cannot give them.
bool randomBytes(void* out, size_t size);

// Asks the desktop to open `url` in the default browser (xdg-open on Linux, the shell on
// Windows) without waiting for the browser. False when there is no desktop to ask (no display
// on Linux) or the request could not be made; the caller then tells the user to open it.
bool openInBrowser(const std::string& url);

struct ProcessResult {
    bool started = false;
    std::string error;  // why it could not be started
    // The exit status as the system reports it: on POSIX 0 to 255 (a status of -3 reads 253),
    // or 128 + the signal's number when a signal ended it; on Windows the full 32-bit value,
    // read as signed (-3).
    int status = 0;
    std::string out;  // everything it wrote on standard output
    std::string err;  // and on standard error
};

// Runs `program` with `args` (UTF-8; without the program's own name) in the folder `workDir`,
// with no input, and waits for it to end. Both output streams are collected whole.
ProcessResult runProcess(const std::filesystem::path& program, const std::vector<std::string>& args,
                         const std::filesystem::path& workDir);

// One face of an installed scalable font.
struct InstalledFont {
    std::string family;                 // the first family name (as the system lists it)
    std::vector<std::string> families;  // every family name it has, localised ones included
    std::string style;                  // "Regular", "Bold", ... (may be empty)
    std::filesystem::path file;
    int32_t faceIndex = 0;
};

// The installed scalable fonts, one entry per file and face, sorted by family, then style: from
// fontconfig on Linux (with the localised family names a font carries, such as 文泉驿微米黑),
// from the installed-font lists of the machine and the user in the registry on Windows (whose
// names are in English).
std::vector<InstalledFont> installedFonts();

}  // namespace platform

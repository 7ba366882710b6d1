// The only place that knows which operating system we run on: paths, the tool's own location,
// font folders, text conversion and the console. Everything else calls these.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

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

// ---- File system ----------------------------------------------------------------------------

// True when any file-system entry (file, directory, ...) has this name. Never throws.
bool pathExists(const std::filesystem::path& path) noexcept;
bool isDirectory(const std::filesystem::path& path) noexcept;

// Why `path` cannot be read as an input file although it exists: "it is a directory", or "it is
// not a regular file" for a pipe, socket or device (opening a pipe would wait for a writer
// forever). Empty when it is a regular file, or when it does not exist (opening then reports).
std::string notAFileReason(const std::filesystem::path& path) noexcept;

// Reads the whole file into `bytes` with plain C stdio: no C++ stream is made, so reading a
// small input does not pull in the standard library's locale set-up. On failure returns false,
// leaves `bytes` empty and puts the reason into `reason`: "Is a directory", "not a regular file"
// (pipes, devices), the system's text for a failed open ("No such file or directory", ...), or
// "cannot be read".
// A file larger than `maxBytes` is not read: `reason` then says how large it is and that it is
// more than `kind` may have (see platform/InputLimits.h), and nothing is allocated for it.
bool readWholeFile(const std::filesystem::path& path, std::string& bytes, std::string& reason,
                   uint64_t maxBytes = UINT64_MAX, const std::string& kind = "a file");

// The size of a file in bytes, or nothing when it cannot be told (no such file, not a file).
std::optional<uint64_t> fileSize(const std::filesystem::path& path) noexcept;

// Opens a file by its path, with a C stdio mode ("rb", "wb"): by the wide path on Windows, so
// that names outside the ANSI code page work. Null on failure, with errno set.
std::FILE* openFile(const std::filesystem::path& path, const char* mode);

// 64-bit position and seek (from the start) of an open file: a font file can pass 2 GiB.
int64_t fileTell(std::FILE* file);
int fileSeek(std::FILE* file, uint64_t offset);

// True when a UTF-8 path can be handed as it is to libraries that open files themselves
// (FreeType's FT_New_Face). On Windows they would read it in the ANSI code page, so files are
// opened by us there and handed over as streams.
bool narrowPathsAreNative();

// Replaces `target` with the complete file `temporary` in one step: a reader sees either the old
// file or the new one. On failure `target` is untouched, and `reason` says why ("it is
// read-only", or the system's text: another program holding the file open, no permission...).
bool replaceFile(const std::filesystem::path& temporary, const std::filesystem::path& target,
                 std::string& reason);

// This process's id.
long processId();

// ---- Writing files --------------------------------------------------------------------------
// Every tool writes through FileReplacement, so that no output is ever half written, written
// through a link, or written over a device.

// Why a new file cannot take the place of `target`: "it is a directory", "it is a symbolic
// link" (renaming over it would drop the link, writing through it would let anyone who can
// write the folder aim the tool at another file), "it is not a regular file" (a device, pipe or
// socket), on Windows also "it is read-only". Empty when it can, or when nothing has that name.
std::string notReplaceableReason(const std::filesystem::path& target);

// True when both paths name one existing file, however spelt or linked (device and inode; on
// Windows volume serial number and file index). False when either does not exist.
bool sameFile(const std::filesystem::path& a, const std::filesystem::path& b) noexcept;

// A file that replaces `target` in one step once complete. Its bytes go to a temporary file
// created exclusively, under an unpredictable name, in the target's folder: never an existing
// file, and never a link planted under a name the tool was expected to use. The name also tells
// which process made it (see removeLeftTemporaries); on Windows the file is hidden and marked
// temporary until it takes the target's place. Until commit the target stays as it was; the
// temporary is removed unless committed. Closing syncs it to the disk.
class FileReplacement {
public:
    explicit FileReplacement(std::filesystem::path target);
    ~FileReplacement();
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    // Refuses a target that cannot be replaced (notReplaceableReason), then creates the
    // temporary. On failure `reason` says why.
    bool create(std::string& reason);
    // The temporary, for writing; null before create.
    std::FILE* stream() const { return file_; }
    // Flushes and closes the temporary; false with the reason when a write failed.
    bool close(std::string& reason);
    // Closes when still open, then renames the temporary over the target.
    bool commit(std::string& reason);

    bool closed() const { return closed_; }
    const std::filesystem::path& target() const { return target_; }

private:
    std::filesystem::path target_;
    std::filesystem::path temporary_;
    std::FILE* file_ = nullptr;
    bool closed_ = false;
    bool committed_ = false;
    int liveSlot_ =
        -1;  // where an interrupt finds the temporary (see removeTemporariesOnInterrupt)

    friend bool commitAll(const std::vector<FileReplacement*>&,
                          const std::vector<std::filesystem::path>&, size_t&, std::string&);
};

// Why `target` cannot be replaced or removed just now, although it is a regular file (or nothing
// has that name): on Windows another program holding it open without sharing its deletion (as
// viewers and flashing tools do); on POSIX a folder this user may not change, a read-only file
// system, an immutable or append-only file or folder (chattr +i, +a), or a sticky folder where
// the file is another user's. Empty when nothing stands in the way.
std::string replaceBlockedReason(const std::filesystem::path& target);

// Replaces the targets of `files` and removes the files `removals` as one set: every target is
// checked first (notReplaceableReason, replaceBlockedReason) and nothing is renamed unless all
// pass. Each earlier target is kept under a second name (a hard link, or a copy where the file
// system has none) until the set is complete; when a rename still fails, the targets already
// replaced or removed are put back from those, so the folder holds the old set or the new one.
// Temporaries and their folders are synced to disk first. On failure `failed` is the index of
// the change that failed (files first, then removals) and `reason` says why, and whether the
// others were put back. An interrupt waits until the set is complete.
bool commitAll(const std::vector<FileReplacement*>& files,
               const std::vector<std::filesystem::path>& removals, size_t& failed,
               std::string& reason);

// Removes, once per folder and process, the temporaries that runs which are gone left in
// `folder`: a temporary's name holds the machine, process id and start time of its maker, so a
// run killed outright (SIGKILL, taskkill /F, power loss) leaves nothing a later run keeps.
// FileReplacement::create calls this.
void removeLeftTemporaries(const std::filesystem::path& folder);

// The lock a run holds on the outputs of one base name in one folder, from its first check to
// its last rename, so that two runs never mix their files. An advisory lock on a small file
// ".fontbin-<base>.lock" beside the outputs (flock; LockFileEx on Windows), which the system
// releases when the process ends however it ends; the file goes with the lock.
class OutputLock {
public:
    OutputLock() = default;
    ~OutputLock();
    OutputLock(const OutputLock&) = delete;
    OutputLock& operator=(const OutputLock&) = delete;

    // Takes the lock, waiting while another process holds it; before waiting, `onWait` is told
    // that process's id (0 when it cannot be told). False when no lock file can be made there
    // (a folder that cannot be written): the writes then fail with their own reason.
    bool acquire(const std::filesystem::path& folder, const std::string& base,
                 void (*onWait)(long holder, void* user), void* user);
    void release();

private:
    std::filesystem::path path_;
#ifdef _WIN32
    void* handle_ = nullptr;
#else
    int fd_ = -1;
    bool holdIfNamed(int fd);

public:
    // Takes the lock of this lock file only when no one holds it (and so removes it when
    // released): how a run clears the lock file of a run that was killed.
    void acquireIfFree(const std::filesystem::path& path);

private:
#endif
    int liveSlot_ = -1;
};

// From now on an interrupt (Ctrl+C; on POSIX SIGINT, SIGTERM and SIGHUP; on Windows also a
// closed console, a logoff or a shutdown) removes every temporary a FileReplacement still holds
// and ends the process at once: with status 128 + the signal's number on POSIX (130 for Ctrl+C),
// with STATUS_CONTROL_C_EXIT on Windows. A signal the parent set to be ignored stays ignored.
// startProcess calls this.
void removeTemporariesOnInterrupt();

// A file's bytes, read-only, mapped into memory (an empty file maps to no bytes). Meant for fonts:
// the library reading them then makes no system calls of its own.
class MappedFile {
public:
    MappedFile() = default;
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    // False when the file cannot be opened or mapped.
    bool open(const std::filesystem::path& path);
    const unsigned char* data() const { return data_; }
    uint64_t size() const { return size_; }

private:
    const unsigned char* data_ = nullptr;
    uint64_t size_ = 0;
};

// The running executable's own path as the operating system reports it (follows PATH lookup
// and symlinks), or nothing when it cannot tell.
std::optional<std::filesystem::path> executablePath();

// The file of Thai words that libthai breaks Thai text with, as the C library's fopen takes a
// path: on Windows thbrk.tri beside the executable, which the package ships (in the ANSI code
// page, or as the short name when the ANSI code page cannot spell the folder); empty elsewhere,
// where libthai reads the system's own (Debian's libthai-data).
std::string thaiDictionaryPath();

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

// ---- Text -----------------------------------------------------------------------------------

// One UTF-8 sequence at `p`, of which `left` bytes are available: its length, with its code
// point in `code`; or 0 when the bytes there are not valid UTF-8 (a stray continuation byte, a
// sequence cut short, an overlong form, a surrogate, a value beyond U+10FFFF), with the number
// of bytes that make up the bad sequence (at least 1) in `badLength`.
size_t decodeUtf8(const unsigned char* p, size_t left, char32_t& code, size_t& badLength);
// Appends `code` (at most U+10FFFF) as UTF-8.
void appendUtf8(std::string& out, char32_t code);

// UTF-8 to wide text (UTF-32 or UTF-16, as wchar_t is); invalid bytes become U+FFFD.
std::wstring utf8ToWide(const std::string& text);
// Wide text to UTF-8; unpaired surrogates and values beyond U+10FFFF become U+FFFD.
std::string wideToUtf8(const std::wstring& text);

// Text in the system's ANSI code page (Windows: GetACP, 936 on a simplified-Chinese system) as
// UTF-8, with that code page in `codePage`. Nothing where there is no such code page (POSIX
// systems), or where it is UTF-8 itself.
std::optional<std::string> ansiCodePageToUtf8(const std::string& text, uint32_t& codePage);

#ifdef _WIN32
// One line of the system's own text for a Win32 error code, for messages of platform/ only.
std::string windowsErrorText(unsigned long error);
#endif

// Paths from configuration text and back.
std::filesystem::path pathFromWide(const std::wstring& text);
std::filesystem::path pathFromUtf8(const std::string& text);
std::string pathToUtf8(const std::filesystem::path& path);

// ---- Process --------------------------------------------------------------------------------

// The command-line arguments as UTF-8 (on Windows taken from the wide command line, so that
// names outside the ANSI code page survive), and the process set up for a run: a file-size
// limit then fails a write with an error we can report instead of killing the process, and an
// interrupt removes the temporaries (removeTemporariesOnInterrupt).
std::vector<std::string> startProcess(int argc, char** argv);

// ---- Console --------------------------------------------------------------------------------
// All output goes through the narrow stdio streams as UTF-8; wide streams are never used, so
// narrow and wide output can never mix on one stream. On a Windows console, whose code page is
// rarely UTF-8, the text is written as UTF-16 through the console itself instead, so that
// non-ASCII paths show as they are.

// Writes `text` to standard output as it is (no line end added) and flushes.
void writeOut(const std::string& text);
// Writes one line to standard error (a line end is added) and flushes.
void writeErrLine(const std::string& text);
// Writes `text` to standard error as it is and flushes (for a self-updating progress line).
void writeErr(const std::string& text);
// True when standard error is a terminal.
bool stderrIsTerminal();
// True when standard output is a terminal.
bool stdoutIsTerminal();

// True when the console window closes as this process ends: on Windows, when the process is
// the only one on its console (started by a double-click, or by dropping a file on the
// program) and that console is its standard input and output. False elsewhere.
bool consoleClosesWithProcess();
// Waits until a key is pressed on the console (keys pressed before are dropped).
void waitForKey();

}  // namespace platform

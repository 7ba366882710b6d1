// Reading files and asking the file system about them; a file mapped into memory.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

namespace platform {

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

#ifdef _WIN32
// One line of the system's own text for a Win32 error code, for messages of platform/ only.
std::string windowsErrorText(unsigned long error);
#endif

}  // namespace platform

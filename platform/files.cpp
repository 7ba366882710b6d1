#include <cerrno>
#include <cstdio>
#include <new>
#include <string>
#include <system_error>

#include "platform/InputLimits.h"
#include "platform/platform.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace platform {

std::FILE* openFile(const std::filesystem::path& path, const char* mode) {
#ifdef _WIN32
    const std::wstring wideMode(mode, mode + std::char_traits<char>::length(mode));
    return _wfopen(path.c_str(), wideMode.c_str());
#else
    return std::fopen(path.c_str(), mode);
#endif
}

int64_t fileTell(std::FILE* file) {
#ifdef _WIN32
    return _ftelli64(file);
#else
    return static_cast<int64_t>(ftello(file));
#endif
}

int fileSeek(std::FILE* file, uint64_t offset) {
#ifdef _WIN32
    return _fseeki64(file, static_cast<long long>(offset), SEEK_SET);
#else
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET);
#endif
}

bool narrowPathsAreNative() {
#ifdef _WIN32
    return false;
#else
    return true;
#endif
}

long processId() {
#ifdef _WIN32
    return static_cast<long>(GetCurrentProcessId());
#else
    return static_cast<long>(getpid());
#endif
}

#ifdef _WIN32
namespace {

std::string windowsErrorText(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPWSTR>(&text),
        0, nullptr);
    std::wstring message = n ? std::wstring(text, n) : std::wstring();
    if (text) LocalFree(text);
    // One line: the system's text ends with a full stop and a line break.
    while (!message.empty() && (message.back() == L'\r' || message.back() == L'\n' ||
                                message.back() == L' ' || message.back() == L'.'))
        message.pop_back();
    if (message.empty()) return "system error " + std::to_string(error);
    return wideToUtf8(message);
}

}  // namespace
#endif

bool replaceFile(const std::filesystem::path& temporary, const std::filesystem::path& target,
                 std::string& reason) {
#ifdef _WIN32
    // Windows refuses to replace a read-only file; saying so is clearer than "access denied".
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) &&
        !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        reason = "it is read-only";
        return false;
    }
    if (!MoveFileExW(temporary.c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        reason = windowsErrorText(GetLastError());
        return false;
    }
    return true;
#else
    std::error_code ec;
    std::filesystem::rename(temporary, target, ec);
    if (ec) {
        reason = ec.message();
        return false;
    }
    return true;
#endif
}

std::optional<uint64_t> fileSize(const std::filesystem::path& path) noexcept {
    std::error_code ec;
    const uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec) return std::nullopt;
    return static_cast<uint64_t>(size);
}

bool readWholeFile(const std::filesystem::path& path, std::string& bytes, std::string& reason,
                   uint64_t maxBytes, const std::string& kind) {
    bytes.clear();
    // Opening a directory for reading succeeds on POSIX, and a pipe would block until a writer
    // comes: neither is an input file.
    const std::string notAFile = notAFileReason(path);
    if (!notAFile.empty()) {
        reason = notAFile == "it is a directory" ? std::generic_category().message(EISDIR)
                                                 : "not a regular file";
        return false;
    }
    errno = 0;
    std::FILE* file = openFile(path, "rb");
    if (file == nullptr) {
        const int err = errno;
        reason = err != 0 ? std::generic_category().message(err) : "cannot be opened";
        return false;
    }
    // The size is only a hint for the first allocation: the file is read up to its end, so one
    // that grows or shrinks meanwhile, or reports no size, still reads as it really is. A file
    // that turns out larger than allowed is refused before, or as soon as, it passes the limit.
    const std::optional<uint64_t> size = fileSize(path);
    if (size && *size > maxBytes) {
        std::fclose(file);
        reason = limits::tooLargeReason(*size, maxBytes, kind);
        return false;
    }
    char chunk[1 << 14];
    try {
        if (size && *size > 0) bytes.reserve(static_cast<size_t>(*size));
        for (;;) {
            const size_t got = std::fread(chunk, 1, sizeof chunk, file);
            bytes.append(chunk, got);
            if (bytes.size() > maxBytes) {
                std::fclose(file);
                reason = limits::tooLargeReason(bytes.size(), maxBytes, kind);
                bytes.clear();
                return false;
            }
            if (got < sizeof chunk) break;
        }
    } catch (const std::bad_alloc&) {
        // Within its limit, a file can still be more than this machine has memory for.
        std::fclose(file);
        bytes = std::string();
        reason = "not enough memory to read it";
        return false;
    }
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) {
        bytes.clear();
        reason = "cannot be read";
        return false;
    }
    return true;
}

MappedFile::~MappedFile() {
    if (!data_) return;
#ifdef _WIN32
    UnmapViewOfFile(data_);
#else
    munmap(const_cast<unsigned char*>(data_), static_cast<size_t>(size_));
#endif
}

bool MappedFile::open(const std::filesystem::path& path) {
#ifdef _WIN32
    // Others may go on reading the file, and renaming or deleting it waits for no one: the
    // mapping keeps the bytes.
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size{};
    bool ok = GetFileSizeEx(file, &size) && GetFileType(file) == FILE_TYPE_DISK;
    if (ok && size.QuadPart > 0) {
        // An empty file cannot be mapped; it simply has no bytes.
        const HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
        const void* view = mapping ? MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0) : nullptr;
        if (mapping) CloseHandle(mapping);
        ok = view != nullptr;
        data_ = static_cast<const unsigned char*>(view);
        size_ = ok ? static_cast<uint64_t>(size.QuadPart) : 0;
    }
    CloseHandle(file);
    return ok;
#else
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (ok && st.st_size > 0) {
        void* view = mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
        ok = view != MAP_FAILED;
        data_ = ok ? static_cast<const unsigned char*>(view) : nullptr;
        size_ = ok ? static_cast<uint64_t>(st.st_size) : 0;
    }
    ::close(fd);
    return ok;
#endif
}

}  // namespace platform

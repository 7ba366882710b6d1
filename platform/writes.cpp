// Writing files so that a target is replaced whole or not at all, and never through a name
// someone else prepared: the bytes go to a new file created exclusively under an unpredictable
// name beside the target, which is renamed over the target once complete.
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <system_error>

#include "platform/platform.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#endif

namespace fs = std::filesystem;

namespace platform {
namespace {

std::string systemText(int error) {
    return error ? std::generic_category().message(error) : std::string("write failed");
}

// 64 bits no other process can guess. The random device alone may be a fixed sequence on older
// MinGW runtimes, so the clock, the process and a counter are mixed in; exclusive creation keeps
// a guessed name harmless anyway (it only makes the creation retry).
uint64_t unpredictable() {
    static std::atomic<uint64_t> counter{0};
    uint64_t value = 0;
    try {
        std::random_device device;
        value = (static_cast<uint64_t>(device()) << 32) ^ device();
    } catch (...) {
    }
    value ^=
        static_cast<uint64_t>(std::chrono::high_resolution_clock::now().time_since_epoch().count());
    value ^= static_cast<uint64_t>(processId()) << 40;
    value += 0x9E3779B97F4A7C15ull * ++counter;
    // A final mix so that neighbouring inputs give unrelated names.
    value ^= value >> 31;
    value *= 0xBF58476D1CE4E5B9ull;
    value ^= value >> 29;
    return value;
}

// The folder a target's temporary goes to: its own, so that the rename stays on one volume.
fs::path folderOf(const fs::path& target) {
    return target.has_parent_path() ? target.parent_path() : fs::path(".");
}

// ---- The temporaries an interrupt removes ----------------------------------------------------
// Fixed slots, each holding a native path built when the temporary was created, so that the
// interrupt handler only reads pointers and calls unlink or DeleteFileW: it allocates nothing and
// takes no lock the interrupted code may hold. On POSIX the handler runs on the one thread that
// writes files, between two instructions of it: a slot is emptied before its path is freed. On
// Windows the handler runs on a thread of its own, so the slots are changed under a lock, which
// the handler takes and keeps until the process ends.

#ifdef _WIN32
using NativeChar = wchar_t;
#else
using NativeChar = char;
#endif
constexpr int kLiveSlots = 64;  // more than any tool holds at once; beyond that none is tracked
std::atomic<NativeChar*> liveTemporaries[kLiveSlots];
#ifdef _WIN32
SRWLOCK liveLock = SRWLOCK_INIT;
#endif

struct LiveLock {
#ifdef _WIN32
    LiveLock() {
        AcquireSRWLockExclusive(&liveLock);
    }
    ~LiveLock() {
        ReleaseSRWLockExclusive(&liveLock);
    }
#endif
};

int trackTemporary(const fs::path& path) {
#ifdef _WIN32
    NativeChar* copy = _wcsdup(path.c_str());
#else
    NativeChar* copy = strdup(path.c_str());
#endif
    if (!copy) return -1;
    [[maybe_unused]] LiveLock lock;
    for (int i = 0; i < kLiveSlots; ++i) {
        NativeChar* empty = nullptr;
        if (liveTemporaries[i].compare_exchange_strong(empty, copy)) return i;
    }
    std::free(copy);
    return -1;
}

void untrackTemporary(int& slot) {
    if (slot < 0) return;
    NativeChar* path = nullptr;
    {
        [[maybe_unused]] LiveLock lock;
        path = liveTemporaries[slot].exchange(nullptr);
    }
    std::free(path);
    slot = -1;
}

#ifdef _WIN32
BOOL WINAPI onConsoleEvent(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            break;
        default:
            return FALSE;
    }
    // Never released: the main thread must not replace or free a path from here on.
    AcquireSRWLockExclusive(&liveLock);
    // The main thread may still have a temporary open; it was opened sharing deletion, so the
    // file goes when the process's handles close.
    for (auto& slot : liveTemporaries)
        if (const wchar_t* path = slot.load()) DeleteFileW(path);
    // TerminateProcess rather than ExitProcess: ExitProcess would let the C runtime flush streams
    // whose locks the main thread may be holding, and wait on them forever.
    TerminateProcess(GetCurrentProcess(), STATUS_CONTROL_C_EXIT);
    return TRUE;
}
#else
extern "C" void onTerminatingSignal(int signal) {
    for (auto& slot : liveTemporaries)
        if (const char* path = slot.load()) unlink(path);
    _exit(128 + signal);
}
#endif

#ifdef _WIN32
std::string windowsText(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPWSTR>(&text),
        0, nullptr);
    std::wstring message = n ? std::wstring(text, n) : std::wstring();
    if (text) LocalFree(text);
    while (!message.empty() && (message.back() == L'\r' || message.back() == L'\n' ||
                                message.back() == L' ' || message.back() == L'.'))
        message.pop_back();
    if (message.empty()) return "system error " + std::to_string(error);
    return wideToUtf8(message);
}

// Creates `path` only when nothing of that name exists (a planted link included).
std::FILE* createExclusive(const fs::path& path, std::string& reason, bool& exists) {
    // Shared for deletion only, so that an interrupt can remove it while it is open.
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        exists = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
        reason = windowsText(error);
        return nullptr;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_BINARY | _O_WRONLY);
    if (fd < 0) {
        CloseHandle(h);
        reason = "cannot be opened";
        return nullptr;
    }
    std::FILE* file = _fdopen(fd, "wb");
    if (!file) {
        _close(fd);
        reason = systemText(errno);
    }
    return file;
}
#else
std::FILE* createExclusive(const fs::path& path, std::string& reason, bool& exists) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        exists = errno == EEXIST;
        reason = systemText(errno);
        return nullptr;
    }
    std::FILE* file = fdopen(fd, "wb");
    if (!file) {
        reason = systemText(errno);
        ::close(fd);
    }
    return file;
}
#endif

}  // namespace

std::string notReplaceableReason(const fs::path& target) {
#ifdef _WIN32
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return {};
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return "it is a symbolic link";
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return "it is a directory";
    // MoveFileEx refuses to replace a read-only file; saying so is clearer than "access denied".
    if (attributes & FILE_ATTRIBUTE_READONLY) return "it is read-only";
    // Device names (NUL, COM1, ...) and pipes answer too; only a disk file is a regular file.
    HANDLE h =
        CreateFileW(target.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        const DWORD type = GetFileType(h);
        CloseHandle(h);
        if (type != FILE_TYPE_DISK) return "it is not a regular file";
    }
    return {};
#else
    struct stat st;
    if (lstat(target.c_str(), &st) != 0) return {};
    // Renaming over a link would drop the link; writing through it would let whoever can write
    // the folder point the tool at any file of the user. Neither is what was asked for.
    if (S_ISLNK(st.st_mode)) return "it is a symbolic link";
    if (S_ISDIR(st.st_mode)) return "it is a directory";
    if (!S_ISREG(st.st_mode)) return "it is not a regular file";
    return {};
#endif
}

bool sameFile(const fs::path& a, const fs::path& b) noexcept {
#ifdef _WIN32
    auto identity = [](const fs::path& p, BY_HANDLE_FILE_INFORMATION& info) {
        HANDLE h = CreateFileW(p.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (h == INVALID_HANDLE_VALUE) return false;
        const bool ok = GetFileInformationByHandle(h, &info) != 0;
        CloseHandle(h);
        return ok;
    };
    BY_HANDLE_FILE_INFORMATION x, y;
    return identity(a, x) && identity(b, y) && x.dwVolumeSerialNumber == y.dwVolumeSerialNumber &&
           x.nFileIndexHigh == y.nFileIndexHigh && x.nFileIndexLow == y.nFileIndexLow;
#else
    struct stat x, y;
    return stat(a.c_str(), &x) == 0 && stat(b.c_str(), &y) == 0 && x.st_dev == y.st_dev &&
           x.st_ino == y.st_ino;
#endif
}

FileReplacement::FileReplacement(fs::path target) : target_(std::move(target)) {}

FileReplacement::~FileReplacement() {
    if (file_) std::fclose(file_);
    if (!temporary_.empty() && !committed_) {
        std::error_code ec;
        fs::remove(temporary_, ec);
    }
    // Only now: an interrupt before the removal still finds the file.
    untrackTemporary(liveSlot_);
}

bool FileReplacement::create(std::string& reason) {
    if (std::string why = notReplaceableReason(target_); !why.empty()) {
        reason = why;
        return false;
    }
    const fs::path folder = folderOf(target_);
    for (int attempt = 0; attempt < 64; ++attempt) {
        char name[40];
        std::snprintf(name, sizeof name, ".fontbin-%016llx.tmp",
                      static_cast<unsigned long long>(unpredictable()));
        const fs::path candidate = folder / name;
        bool exists = false;
        file_ = createExclusive(candidate, reason, exists);
        if (file_) {
            temporary_ = candidate;
            liveSlot_ = trackTemporary(temporary_);
            return true;
        }
        if (!exists) return false;
    }
    reason = "no free temporary name";
    return false;
}

bool FileReplacement::close(std::string& reason) {
    if (!file_) {
        reason = "write failed";
        return false;
    }
    errno = 0;
    const bool flushed = std::fflush(file_) == 0 && !std::ferror(file_);
    const int flushError = errno;
    errno = 0;
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!flushed || !closed) {
        reason = systemText(!flushed ? flushError : errno);
        return false;
    }
    closed_ = true;
    return true;
}

bool FileReplacement::commit(std::string& reason) {
    if (!closed_ && !close(reason)) return false;
    // Checked again: the target may have changed since the temporary was made.
    if (std::string why = notReplaceableReason(target_); !why.empty()) {
        reason = why;
        return false;
    }
    if (!replaceFile(temporary_, target_, reason)) return false;
    committed_ = true;
    untrackTemporary(liveSlot_);
    return true;
}

void removeTemporariesOnInterrupt() {
#ifdef _WIN32
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
#else
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction action {};
        if (sigaction(signal, nullptr, &action) != 0 || action.sa_handler == SIG_IGN) continue;
        action = {};
        action.sa_handler = onTerminatingSignal;
        sigemptyset(&action.sa_mask);
        sigaction(signal, &action, nullptr);
    }
#endif
}

bool commitAll(const std::vector<FileReplacement*>& files, size_t& replaced, std::string& reason) {
    replaced = 0;
    // Everything that can be checked is checked before the first rename.
    for (FileReplacement* file : files) {
        if (!file->closed() && !file->close(reason)) return false;
        if (std::string why = notReplaceableReason(file->target()); !why.empty()) {
            reason = why;
            return false;
        }
    }
    for (FileReplacement* file : files) {
        if (!file->commit(reason)) return false;
        ++replaced;
    }
    return true;
}

}  // namespace platform

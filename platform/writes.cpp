// Writing files so that a target is replaced whole or not at all, and never through a name
// someone else prepared: the bytes go to a new file created exclusively under an unpredictable
// name beside the target, which is renamed over the target once complete.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <system_error>

#include "platform/internal.h"
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

using detail::folderOf;

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
SRWLOCK commitLock = SRWLOCK_INIT;  // held while a set is renamed
#endif

// While a set is renamed, an interrupt waits: it takes effect once the set is whole, old or new.
class InterruptsHeld {
public:
#ifdef _WIN32
    InterruptsHeld() {
        AcquireSRWLockExclusive(&commitLock);
    }
    ~InterruptsHeld() {
        ReleaseSRWLockExclusive(&commitLock);
    }
#else
    InterruptsHeld() {
        sigset_t signals;
        sigemptyset(&signals);
        for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&signals, signal);
        sigprocmask(SIG_BLOCK, &signals, &previous_);
    }
    ~InterruptsHeld() {
        sigprocmask(SIG_SETMASK, &previous_, nullptr);
    }

private:
    sigset_t previous_;
#endif
};

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

}  // namespace

int detail::trackTemporary(const fs::path& path) {
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

void detail::untrackTemporary(int& slot) {
    if (slot < 0) return;
    NativeChar* path = nullptr;
    {
        [[maybe_unused]] LiveLock lock;
        path = liveTemporaries[slot].exchange(nullptr);
    }
    std::free(path);
    slot = -1;
}

namespace {

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
    // A set being renamed is completed first: the handler must not leave half a set.
    AcquireSRWLockExclusive(&commitLock);
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
// Creates `path` only when nothing of that name exists (a planted link included).
std::FILE* createExclusive(const fs::path& path, std::string& reason, bool& exists) {
    // Shared for deletion only, so that an interrupt can remove it while it is open. Hidden and
    // temporary until it takes the target's place (see renameInto).
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        exists = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
        reason = windowsErrorText(error);
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

// Renames a complete temporary over `target`. On Windows the temporary's hidden and temporary
// marks go first: the target would keep them.
bool renameInto(const fs::path& temporary, const fs::path& target, std::string& reason) {
#ifdef _WIN32
    SetFileAttributesW(temporary.c_str(), FILE_ATTRIBUTE_ARCHIVE);
#endif
    return replaceFile(temporary, target, reason);
}

// Keeps `target` under a second name in its folder until the set is complete: a hard link,
// which costs nothing, or a copy on a file system without links. Named as a temporary, so that
// a run killed meanwhile leaves nothing a later run keeps.
bool keepCopy(const fs::path& target, fs::path& kept, std::string& reason) {
    kept = folderOf(target) / pathFromUtf8(detail::temporaryName());
#ifdef _WIN32
    if (CreateHardLinkW(kept.c_str(), target.c_str(), nullptr) ||
        CopyFileW(target.c_str(), kept.c_str(), TRUE))
        return true;
    reason = "cannot keep a copy of it: " + windowsErrorText(GetLastError());
#else
    if (link(target.c_str(), kept.c_str()) == 0) return true;
    std::error_code ec;
    if (fs::copy_file(target, kept, ec)) return true;
    reason = "cannot keep a copy of it: " + ec.message();
#endif
    kept.clear();
    return false;
}

// Puts a target back as it was before the set began: the kept file under its name, or, for a
// target that did not exist, no file at all.
bool putBack(const fs::path& target, const fs::path& kept, std::string& reason) {
    if (!kept.empty()) return replaceFile(kept, target, reason);
    std::error_code ec;
    fs::remove(target, ec);
    if (ec) reason = ec.message();
    return !ec;
}

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
    detail::untrackTemporary(liveSlot_);
}

bool FileReplacement::create(std::string& reason) {
    if (std::string why = notReplaceableReason(target_); !why.empty()) {
        reason = why;
        return false;
    }
    const fs::path folder = folderOf(target_);
    removeLeftTemporaries(folder);
    for (int attempt = 0; attempt < 64; ++attempt) {
        const fs::path candidate = folder / pathFromUtf8(detail::temporaryName());
        bool exists = false;
        file_ = createExclusive(candidate, reason, exists);
        if (file_) {
            temporary_ = candidate;
            liveSlot_ = detail::trackTemporary(temporary_);
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
    // On the disk before it is renamed: a power cut must not leave an empty file under the name.
    const bool flushed = std::fflush(file_) == 0 && !std::ferror(file_) && detail::syncFile(file_);
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
    if (!renameInto(temporary_, target_, reason)) return false;
    committed_ = true;
    detail::untrackTemporary(liveSlot_);
    detail::syncFolder(folderOf(target_));
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

bool commitAll(const std::vector<FileReplacement*>& files, const std::vector<fs::path>& removals,
               size_t& failed, std::string& reason) {
    failed = 0;
    // Every target, of a file to write or to remove, is checked before the first rename.
    std::vector<fs::path> targets;
    for (FileReplacement* file : files) targets.push_back(file->target());
    targets.insert(targets.end(), removals.begin(), removals.end());
    for (size_t i = 0; i < targets.size(); ++i) {
        failed = i;
        if (i < files.size() && !files[i]->closed() && !files[i]->close(reason)) return false;
        if (!(reason = notReplaceableReason(targets[i])).empty() ||
            !(reason = replaceBlockedReason(targets[i])).empty())
            return false;
    }
    std::vector<fs::path> folders;
    for (const fs::path& target : targets)
        if (std::find(folders.begin(), folders.end(), folderOf(target)) == folders.end())
            folders.push_back(folderOf(target));
    for (const fs::path& folder : folders) detail::syncFolder(folder);

    InterruptsHeld held;
    std::vector<fs::path> kept(targets.size());
    std::vector<int> keptSlots(targets.size(), -1);
    auto forget = [&](size_t i) {
        detail::untrackTemporary(keptSlots[i]);
        std::error_code ec;
        if (!kept[i].empty()) fs::remove(kept[i], ec);
    };
    size_t done = 0;
    for (; done < targets.size(); ++done) {
        failed = done;
        const fs::path& target = targets[done];
        if (pathExists(target)) {
            if (!keepCopy(target, kept[done], reason)) break;
            keptSlots[done] = detail::trackTemporary(kept[done]);
        }
        bool changed = false;
        if (done < files.size()) {
            changed = renameInto(files[done]->temporary_, target, reason);
        } else {
            std::error_code ec;
            changed = fs::remove(target, ec) || !ec;
            if (ec) reason = ec.message();
        }
        if (!changed) break;
    }
    if (done == targets.size()) {
        for (size_t i = 0; i < targets.size(); ++i) {
            if (i < files.size()) {
                files[i]->committed_ = true;
                detail::untrackTemporary(files[i]->liveSlot_);
            }
            forget(i);
        }
        for (const fs::path& folder : folders) detail::syncFolder(folder);
        return true;
    }
    // Back to the earlier set, the last change first.
    std::string notPutBack;
    forget(done);
    for (size_t i = done; i-- > 0;) {
        std::string why;
        if (putBack(targets[i], kept[i], why)) {
            kept[i].clear();  // renamed back into place
        } else {
            // The earlier file stays under its second name, for the user to rename back.
            notPutBack += "; " + pathToUtf8(targets[i]) + " could not be put back (" + why +
                          "): the earlier file is " + pathToUtf8(kept[i]);
        }
        detail::untrackTemporary(keptSlots[i]);
    }
    if (done > 0)
        reason += notPutBack.empty()
                      ? "; the " + std::to_string(done) + " file(s) already changed were put back"
                      : notPutBack;
    for (const fs::path& folder : folders) detail::syncFolder(folder);
    return false;
}

}  // namespace platform

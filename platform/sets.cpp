// What keeps a set of outputs whole on disk: temporaries named after the process that made them,
// so that a later run can remove those whose maker is gone; the check that a target can still be
// replaced before anything is renamed; syncing to disk; and the lock on one base name's outputs.
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <system_error>

#include "platform/internal.h"
#include "platform/platform.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <csignal>
#ifdef __linux__
#include <linux/fs.h>
#endif
#endif

namespace fs = std::filesystem;

namespace platform {
namespace detail {

fs::path folderOf(const fs::path& target) {
    return target.has_parent_path() ? target.parent_path() : fs::path(".");
}

namespace {

// FNV-1a: a short, stable tag for this machine's name.
uint32_t hashText(const std::string& text) {
    uint32_t h = 2166136261u;
    for (unsigned char c : text) h = (h ^ c) * 16777619u;
    return h;
}

// What names a process for as long as it lives, and no other after it: the machine (a folder
// may be shared over the network), the process id, and the process's start time (ids are
// reused).
struct ProcessStamp {
    uint32_t machine = 0;
    unsigned long pid = 0;
    unsigned long long start = 0;  // 0 when the system cannot tell
};

#ifdef _WIN32
bool startTimeOf(HANDLE process, unsigned long long& start) {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return false;
    start = (static_cast<unsigned long long>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
    return true;
}
#else
// Field 22 of /proc/<pid>/stat, in clock ticks after boot. False when there is no such file.
bool startTimeOf(unsigned long pid, unsigned long long& start, int& error) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%lu/stat", pid);
    std::FILE* f = std::fopen(path, "re");
    if (!f) {
        error = errno;
        return false;
    }
    char text[1024];
    const size_t n = std::fread(text, 1, sizeof text - 1, f);
    std::fclose(f);
    text[n] = '\0';
    // The command name, in parentheses, may hold spaces and parentheses: fields follow the last.
    const char* p = std::strrchr(text, ')');
    start = 0;
    error = 0;
    if (!p) return true;
    for (int field = 2; field < 22 && p; ++field) p = std::strchr(p + 1, ' ');
    if (p) start = std::strtoull(p + 1, nullptr, 10);
    return true;
}
#endif

const ProcessStamp& ownStamp() {
    static const ProcessStamp stamp = [] {
        ProcessStamp s;
        s.pid = static_cast<unsigned long>(processId());
#ifdef _WIN32
        wchar_t name[MAX_COMPUTERNAME_LENGTH + 1];
        DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
        if (GetComputerNameW(name, &size))
            s.machine = hashText(wideToUtf8(std::wstring(name, size)));
        startTimeOf(GetCurrentProcess(), s.start);
#else
        char name[256] = {};
        if (gethostname(name, sizeof name - 1) == 0) s.machine = hashText(name);
        int error = 0;
        startTimeOf(s.pid, s.start, error);
#endif
        return s;
    }();
    return stamp;
}

// True only when the process is known to be gone: a process that cannot be asked counts as
// alive, so another user's run never loses its files.
bool processGone(unsigned long pid, unsigned long long start) {
#ifdef _WIN32
    const HANDLE process =
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
    if (!process) return GetLastError() == ERROR_INVALID_PARAMETER;
    DWORD code = 0;
    unsigned long long started = 0;
    bool gone = GetExitCodeProcess(process, &code) && code != STILL_ACTIVE;
    if (!gone && startTimeOf(process, started)) gone = started != start;
    CloseHandle(process);
    return gone;
#else
    unsigned long long started = 0;
    int error = 0;
    if (ownStamp().start != 0) {
        if (startTimeOf(pid, started, error)) return started != start;
        return error == ENOENT;
    }
    // No /proc: only the id can be asked.
    return kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
#endif
}

uint64_t randomBits() {
    static std::atomic<uint64_t> counter{0};
    uint64_t value = 0;
    try {
        std::random_device device;
        value = (static_cast<uint64_t>(device()) << 32) ^ device();
    } catch (...) {
    }
    // The random device alone may be a fixed sequence on older MinGW runtimes; exclusive
    // creation keeps a guessed name harmless anyway (it only makes the creation retry).
    value ^=
        static_cast<uint64_t>(std::chrono::high_resolution_clock::now().time_since_epoch().count());
    value += 0x9E3779B97F4A7C15ull * ++counter;
    value ^= value >> 31;
    value *= 0xBF58476D1CE4E5B9ull;
    value ^= value >> 29;
    return value;
}

const char kPrefix[] = ".fontbin-";
const char kSuffix[] = ".tmp";

}  // namespace

std::string temporaryName() {
    const ProcessStamp& s = ownStamp();
    char name[96];
    std::snprintf(name, sizeof name, "%s%08x-%lu-%llx-%016llx%s", kPrefix,
                  static_cast<unsigned>(s.machine), s.pid, s.start,
                  static_cast<unsigned long long>(randomBits()), kSuffix);
    return name;
}

bool syncFile(std::FILE* file) {
#ifdef _WIN32
    const intptr_t handle = _get_osfhandle(_fileno(file));
    return handle != -1 && FlushFileBuffers(reinterpret_cast<HANDLE>(handle));
#else
    return fsync(fileno(file)) == 0 || errno == EINVAL;  // EINVAL: a file that cannot be synced
#endif
}

void syncFolder(const fs::path& folder) {
#ifndef _WIN32
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    ::close(fd);
#else
    (void)folder;
#endif
}

}  // namespace detail

void removeLeftTemporaries(const fs::path& folder) {
    static std::set<fs::path> swept;
    if (!swept.insert(folder).second) return;
    const detail::ProcessStamp& own = detail::ownStamp();
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = pathToUtf8(it->path().filename());
#ifndef _WIN32
        // A lock file that no one holds: its run was killed before it could remove it.
        if (name.rfind(detail::kPrefix, 0) == 0 && name.size() > 5 &&
            name.compare(name.size() - 5, 5, ".lock") == 0) {
            OutputLock stale;
            stale.acquireIfFree(it->path());
            continue;
        }
#endif
        unsigned machine = 0;
        unsigned long pid = 0;
        unsigned long long start = 0, random = 0;
        if (name.rfind(detail::kPrefix, 0) != 0 ||
            std::sscanf(name.c_str() + sizeof detail::kPrefix - 1, "%8x-%lu-%llx-%16llx", &machine,
                        &pid, &start, &random) != 4)
            continue;
        // Only names exactly as this version makes them, and only this machine's.
        char expected[96];
        std::snprintf(expected, sizeof expected, "%s%08x-%lu-%llx-%016llx%s", detail::kPrefix,
                      machine, pid, start, random, detail::kSuffix);
        if (name != expected || machine != own.machine || (pid == own.pid && start == own.start))
            continue;
        if (detail::processGone(pid, start)) {
            std::error_code removed;
            fs::remove(it->path(), removed);
        }
    }
}

std::string replaceBlockedReason(const fs::path& target) {
#ifdef _WIN32
    // A rename over the target needs to open it for deletion; a program that holds it open
    // without sharing deletion refuses that, as it refuses the rename.
    const HANDLE h =
        CreateFileW(target.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        CloseHandle(h);
        return {};
    }
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return {};
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION)
        return "another program has it open and does not let it be replaced; close it and run "
               "again";
    return windowsErrorText(error);
#else
    const fs::path folder = detail::folderOf(target);
    struct stat dir, file;
    if (stat(folder.c_str(), &dir) != 0) return {};  // the writes say why
    struct statvfs volume;
    if (statvfs(folder.c_str(), &volume) == 0 && (volume.f_flag & ST_RDONLY))
        return "its folder is on a read-only file system";
    if (faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0)
        return "its folder cannot be changed by this user (" + std::string(std::strerror(errno)) +
               ")";
    const bool exists = lstat(target.c_str(), &file) == 0;
    if (exists && (dir.st_mode & S_ISVTX) && geteuid() != 0 && file.st_uid != geteuid() &&
        dir.st_uid != geteuid())
        return "it is another user's, in a folder where only a file's owner may replace it";
#ifdef __linux__
    // Immutable and append-only files and folders refuse the rename even to root.
    auto flagsOf = [](const fs::path& p, int extra) {
        int flags = 0;
        const int fd = ::open(p.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC | extra);
        if (fd < 0) return 0;
        if (ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0) flags = 0;
        ::close(fd);
        return flags;
    };
    const int folderFlags = flagsOf(folder, O_DIRECTORY);
    if (folderFlags & (FS_IMMUTABLE_FL | FS_APPEND_FL))
        return std::string("its folder is ") + (folderFlags & FS_IMMUTABLE_FL
                                                    ? "immutable (chattr +i)"
                                                    : "append-only (chattr +a)");
    const int fileFlags = exists && S_ISREG(file.st_mode) ? flagsOf(target, 0) : 0;
    if (fileFlags & FS_IMMUTABLE_FL) return "it is immutable (chattr +i)";
    if (fileFlags & FS_APPEND_FL) return "it is append-only (chattr +a)";
#endif
    return {};
#endif
}

// ---- The lock on one base name's outputs ----------------------------------------------------
// POSIX: whoever holds the lock removes the file before closing it, and a run that got the lock
// checks that the name still leads to the file it locked (else it locks the new one), so two
// runs never hold locks on two different files of one name. Windows: every run opens the file
// to be deleted when closed; while a deleted file is still open the name cannot be opened again,
// and a run waits for that.

namespace {
std::string lockFileName(const std::string& base) {
    // Within the usual 255 bytes of a name; a longer base is named by its hash.
    if (base.size() <= 200) return detail::kPrefix + base + ".lock";
    char tag[16];
    std::snprintf(tag, sizeof tag, "%08x", static_cast<unsigned>(detail::hashText(base)));
    return detail::kPrefix + std::string(tag) + ".lock";
}
}  // namespace

OutputLock::~OutputLock() {
    release();
}

bool OutputLock::acquire(const fs::path& folder, const std::string& base,
                         void (*onWait)(long holder, void* user), void* user) {
    release();
    path_ = folder / pathFromUtf8(lockFileName(base));
    bool told = false;
    auto tell = [&](long holder) {
        if (!told && onWait) onWait(holder, user);
        told = true;
    };
#ifdef _WIN32
    for (int attempt = 0;; ++attempt) {
        const HANDLE h = CreateFileW(
            path_.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
            FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            // A lock file deleted while its last holder still closes it: wait for the name.
            // Access denied for long means a folder this user cannot write.
            if (GetLastError() != ERROR_ACCESS_DENIED || attempt > 3000) return false;
            Sleep(10);
            continue;
        }
        OVERLAPPED at{};
        at.OffsetHigh = 1;  // a byte past any content, so that the holder's id stays readable
        if (!LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
            char text[24] = {};
            DWORD got = 0;
            ReadFile(h, text, sizeof text - 1, &got, nullptr);
            tell(std::strtol(text, nullptr, 10));
            at = OVERLAPPED{};
            at.OffsetHigh = 1;
            if (!LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at)) {
                CloseHandle(h);
                return false;
            }
        }
        const std::string id = std::to_string(processId());
        DWORD wrote = 0;
        SetFilePointer(h, 0, nullptr, FILE_BEGIN);
        WriteFile(h, id.data(), static_cast<DWORD>(id.size()), &wrote, nullptr);
        SetEndOfFile(h);
        handle_ = h;
        return true;
    }
#else
    for (;;) {
        const int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0) return false;
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            char text[24] = {};
            if (pread(fd, text, sizeof text - 1, 0) < 0) text[0] = '\0';
            tell(std::strtol(text, nullptr, 10));
            int r;
            while ((r = flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
            }
            if (r != 0) {
                ::close(fd);
                return false;
            }
        }
        if (holdIfNamed(fd)) return true;
    }
#endif
}

#ifndef _WIN32
bool OutputLock::holdIfNamed(int fd) {
    struct stat held, named;
    if (fstat(fd, &held) != 0 || lstat(path_.c_str(), &named) != 0 || held.st_dev != named.st_dev ||
        held.st_ino != named.st_ino) {
        ::close(fd);  // the holder before us removed it: lock the file that has the name now
        return false;
    }
    const std::string id = std::to_string(processId());
    if (ftruncate(fd, 0) != 0 || pwrite(fd, id.data(), id.size(), 0) < 0) {
        // The id is only for the message of a run that waits.
    }
    fd_ = fd;
    liveSlot_ = detail::trackTemporary(path_);
    return true;
}

void OutputLock::acquireIfFree(const fs::path& path) {
    path_ = path;
    const int fd = ::open(path_.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return;
    }
    holdIfNamed(fd);
}
#endif

void OutputLock::release() {
#ifdef _WIN32
    if (handle_) CloseHandle(static_cast<HANDLE>(handle_));
    handle_ = nullptr;
#else
    if (fd_ >= 0) {
        unlink(path_.c_str());
        ::close(fd_);
    }
    fd_ = -1;
    detail::untrackTemporary(liveSlot_);
#endif
}

}  // namespace platform

// Writing files: every output goes through a FileReplacement, and a run's outputs replace
// the earlier ones as one set under a lock.
#pragma once

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace platform {

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

}  // namespace platform

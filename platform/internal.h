// Helpers that the files of platform/ share among themselves; not for the rest of the tool.
#pragma once

#include <filesystem>
#include <string>

namespace platform::detail {

// The folder a target's temporary goes to: its own, so that the rename stays on one volume.
std::filesystem::path folderOf(const std::filesystem::path& target);

// A fresh name for a temporary file of this process, ".fontbin-<machine>-<process id>-<start
// time>-<random>.tmp": removeLeftTemporaries tells from it whether its maker is gone.
std::string temporaryName();

// Flushes a written file to the disk (fsync; FlushFileBuffers on Windows). False on failure.
bool syncFile(std::FILE* file);
// Makes the folder's entries durable: the names of new and renamed files in it (POSIX; on
// Windows renames are written through, and there is nothing to do).
void syncFolder(const std::filesystem::path& folder);

// Registers a path that an interrupt removes (see removeTemporariesOnInterrupt); the slot, or
// -1 when none is free. untrackTemporary empties the slot.
int trackTemporary(const std::filesystem::path& path);
void untrackTemporary(int& slot);

}  // namespace platform::detail

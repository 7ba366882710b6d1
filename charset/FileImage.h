// Reading a whole selection file into memory with one read.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// Reads the whole file. On failure returns false, leaves `bytes` empty and puts the reason
// ("No such file or directory", "Is a directory", ...) into `reason`. A directory counts as a
// file that cannot be opened, although an input stream would open it on some systems.
bool readFileImage(const std::filesystem::path& path, std::vector<uint8_t>& bytes,
                   std::string& reason);

// `"<path>"` as UTF-8, for problem lines.
std::string quotedPath(const std::filesystem::path& path);

// Reading a whole selection file into memory with one read, and describing what went wrong.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

// Reads the whole file into `bytes`. On failure returns false, leaves `bytes` empty and, when
// `problem` is given, puts one line there: cannot open <what> "<path>": <reason> ("No such file or
// directory", "Is a directory", "not a regular file", or that it is larger than `maxBytes`, the
// limit for its kind in platform/InputLimits.h).
bool readSelectionFile(const std::filesystem::path& path, const char* what, uint64_t maxBytes,
                       std::string& bytes, std::string* problem);

// The bytes of a file image as the loaders read them.
inline const uint8_t* imageBytes(const std::string& bytes) {
    return reinterpret_cast<const uint8_t*>(bytes.data());
}

// `"<path>"` as UTF-8, for problem lines.
std::string quotedPath(const std::filesystem::path& path);

inline void setProblem(std::string* problem, const std::string& text) {
    if (problem) *problem = text;
}

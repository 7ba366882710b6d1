#include <cerrno>
#include <cstdio>
#include <system_error>

#include "platform/platform.h"

namespace platform {

namespace {

std::FILE* openForReading(const std::filesystem::path& path) {
#ifdef _WIN32
    return _wfopen(path.c_str(), L"rb");
#else
    return std::fopen(path.c_str(), "rb");
#endif
}

}  // namespace

bool readWholeFile(const std::filesystem::path& path, std::string& bytes, std::string& reason) {
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
    std::FILE* file = openForReading(path);
    if (file == nullptr) {
        const int err = errno;
        reason = err != 0 ? std::generic_category().message(err) : "cannot be opened";
        return false;
    }
    // The size is only a hint for the first allocation: the file is read up to its end, so one
    // that grows or shrinks meanwhile, or reports no size, still reads as it really is.
    if (std::fseek(file, 0, SEEK_END) == 0) {
        const long size = std::ftell(file);
        if (size > 0) bytes.reserve(static_cast<size_t>(size));
        std::fseek(file, 0, SEEK_SET);
    }
    char chunk[1 << 14];
    for (;;) {
        const size_t got = std::fread(chunk, 1, sizeof chunk, file);
        bytes.append(chunk, got);
        if (got < sizeof chunk) break;
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

}  // namespace platform

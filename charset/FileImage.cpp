#include "charset/FileImage.h"

#include <cerrno>
#include <fstream>
#include <system_error>

#include "platform/platform.h"

bool readFileImage(const std::filesystem::path& path, std::vector<uint8_t>& bytes,
                   std::string& reason) {
    bytes.clear();
    const std::string notAFile = platform::notAFileReason(path);
    if (!notAFile.empty()) {
        reason = notAFile == "it is a directory" ? std::generic_category().message(EISDIR)
                                                 : "not a regular file";
        return false;
    }
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        int err = errno;
        reason = err != 0 ? std::generic_category().message(err) : "cannot be opened";
        return false;
    }
    in.seekg(0, std::ios::end);
    std::streamoff length = in.tellg();
    if (length < 0) {
        reason = "cannot be read (no length)";
        return false;
    }
    in.seekg(0, std::ios::beg);
    bytes.resize(static_cast<size_t>(length));
    if (length > 0) {
        in.read(reinterpret_cast<char*>(bytes.data()), length);
        // A file that shrank since its length was taken keeps what was really read.
        bytes.resize(static_cast<size_t>(in.gcount()));
        if (in.bad()) {
            bytes.clear();
            reason = "cannot be read";
            return false;
        }
    }
    return true;
}

std::string quotedPath(const std::filesystem::path& path) {
    return "\"" + platform::pathToUtf8(path) + "\"";
}

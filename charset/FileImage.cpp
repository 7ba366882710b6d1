#include "charset/FileImage.h"

#include "platform/platform.h"

bool readSelectionFile(const std::filesystem::path& path, const char* what, uint64_t maxBytes,
                       std::string& bytes, std::string* problem) {
    std::string reason;
    if (platform::readWholeFile(path, bytes, reason, maxBytes, std::string("a ") + what))
        return true;
    setProblem(problem,
               std::string("cannot open ") + what + " " + quotedPath(path) + ": " + reason);
    return false;
}

std::string quotedPath(const std::filesystem::path& path) {
    return "\"" + platform::pathToUtf8(path) + "\"";
}

#include "charset/FileImage.h"

#include "platform/platform.h"

bool readFileImage(const std::filesystem::path& path, std::vector<uint8_t>& bytes,
                   std::string& reason) {
    bytes.clear();
    std::string text;
    if (!platform::readWholeFile(path, text, reason)) return false;
    bytes.assign(text.begin(), text.end());
    return true;
}

std::string quotedPath(const std::filesystem::path& path) {
    return "\"" + platform::pathToUtf8(path) + "\"";
}

// The page's files, built into the executable from tools/studio/web/ (EmbedFiles.cmake).
#pragma once

#include <cstddef>
#include <vector>

namespace studio {

struct WebFile {
    const char* name;  // "index.html", "studio.js", ...
    const unsigned char* data;
    size_t size;
};

const std::vector<WebFile>& webFiles();

}  // namespace studio

// Fuzz target: a mapping file image through the mapping reader.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "charset/CharacterTables.h"
#include "charset/ListFiles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint16_t> charIndex(kCodePointCount, kNotSelected);
    std::string problem;
    applyMappingImage(data, size, charIndex.data(), "\"fuzz\"", &problem);
    // The line reader on its own, on the whole input as one line.
    mappingLineValue(reinterpret_cast<const char*>(data), size);
    return 0;
}

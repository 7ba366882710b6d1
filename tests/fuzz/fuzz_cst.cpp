// Fuzz target: a cst file image through the cst reader.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "charset/CharacterTables.h"
#include "charset/ListFiles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint16_t> charIndex(kCodePointCount, kNotSelected);
    std::string problem;
    applyCstImage(data, size, charIndex.data(), "\"fuzz\"", &problem);
    if ((size % 2 != 0) == problem.empty()) __builtin_trap();  // an odd length is reported
    return 0;
}

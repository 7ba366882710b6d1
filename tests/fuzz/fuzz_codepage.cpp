// Fuzz target: a code-page table image (raw, or in the packed form of FuzzInput.h) through the
// code-page loader.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzInput.h"
#include "charset/CharacterTables.h"
#include "charset/CodePageFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fuzzing::ExactBuffer image(fuzzing::expandInput(data, size));
    std::vector<uint16_t> charIndex(kCodePointCount, kNotSelected);
    std::string problem;
    const int result =
        applyCodePageImage(image.data(), image.size(), charIndex.data(), "\"fuzz\"", &problem);
    if (result != 0) {
        // A rejected table marks nothing and says why.
        if (problem.empty()) __builtin_trap();
        for (uint16_t v : charIndex)
            if (v != kNotSelected) __builtin_trap();
    }
    return 0;
}

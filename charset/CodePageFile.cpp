#include "charset/CodePageFile.h"

#include <cstdio>
#include <vector>

#include "charset/FileImage.h"
#include "charset/Selection.h"
#include "platform/InputLimits.h"

namespace {

uint16_t readU16(const uint8_t* data, size_t offset) {
    return static_cast<uint16_t>(data[offset] | (data[offset + 1] << 8));
}

}  // namespace

int applyCodePageImage(const uint8_t* data, size_t size, uint16_t* charIndex,
                       const std::string& name, std::string* problem) {
    if (problem) problem->clear();
    const std::string label = "code-page file " + name;
    if (size >= 1 && data[0] != kCodePageHeaderByte) {
        char text[64];
        std::snprintf(text, sizeof text, ": first byte is 0x%02X, not 0x0D", data[0]);
        setProblem(problem, label + " is malformed" + text);
        return -2;
    }
    // The header fields and the 256-entry mbTable are read below; a shorter file cannot hold them.
    if (size < kCodePageMinimumSize) {
        setProblem(problem, label + " is malformed: " + std::to_string(size) +
                                " bytes, shorter than the 540 bytes of header and mbTable");
        return -3;
    }
    const uint16_t maxCharSize = readU16(data, 4);
    const uint16_t defaultChar = readU16(data, 6);
    const uint16_t mbSectionWords = readU16(data, 26);
    const uint64_t wcOffset = kCodePageHeaderSize + 2ull * mbSectionWords;
    const uint64_t expected = wcOffset + uint64_t{kCodePointCount} * maxCharSize;
    if (size != expected) {
        setProblem(problem, label + " is malformed: " + std::to_string(size) + " bytes, expected " +
                                std::to_string(expected) + " (maxCharSize " +
                                std::to_string(maxCharSize) + ", mbSectionWords " +
                                std::to_string(mbSectionWords) + ")");
        return -3;
    }

    // The Unicode-to-code-page direction: a code point is representable when it converts to
    // anything but the default character.
    const uint8_t* wc = data + wcOffset;
    if (maxCharSize == 1) {
        for (uint32_t c = 0; c < kCodePointCount; ++c) {
            if (wc[c] != defaultChar) markCodePoint(charIndex, static_cast<uint16_t>(c));
        }
    } else if (maxCharSize == 2) {
        for (uint32_t c = 0; c < kCodePointCount; ++c) {
            uint16_t w = static_cast<uint16_t>(wc[2 * c] | (wc[2 * c + 1] << 8));
            if (w != defaultChar) markCodePoint(charIndex, static_cast<uint16_t>(c));
        }
    } else {
        // No entry width we know: every entry reads as 0xFFFF.
        if (defaultChar != 0xFFFF) {
            for (uint32_t c = 0; c < kCodePointCount; ++c) {
                markCodePoint(charIndex, static_cast<uint16_t>(c));
            }
        }
        setProblem(problem, label + " has maxCharSize " + std::to_string(maxCharSize) +
                                " (expected 1 or 2); its entries are read as 0xFFFF");
    }
    // The default character itself converts to the default, yet it is a real character.
    if (defaultChar < 256) {
        markCodePoint(charIndex, readU16(data, kCodePageHeaderSize + 2u * defaultChar));
    }
    return 0;
}

int loadCodePageFile(const std::filesystem::path& path, uint16_t* charIndex, std::string* problem) {
    if (problem) problem->clear();
    std::string image;
    if (!readSelectionFile(path, "code-page file", limits::kMaxCodePageBytes, image, problem))
        return -1;
    return applyCodePageImage(imageBytes(image), image.size(), charIndex, quotedPath(path),
                              problem);
}

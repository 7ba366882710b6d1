#include "charset/ListFiles.h"

#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "charset/FileImage.h"
#include "charset/Selection.h"
#include "platform/InputLimits.h"
#include "platform/platform.h"

namespace {

// White space as the classic locale classifies it.
inline bool isSpace(unsigned char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// 0-15 for a hexadecimal digit of either case, -1 otherwise.
inline int hexDigit(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

inline bool isX(unsigned char c) {
    return c == 'x' || c == 'X';
}

}  // namespace

bool extractHexInt(const char*& pos, const char* end, int32_t& value) {
    const char* p = pos;
    while (p != end && isSpace(static_cast<unsigned char>(*p))) ++p;
    if (p == end) {  // the stream's sentry fails: nothing is stored
        pos = p;
        return false;
    }
    bool negative = false;
    if (*p == '-' || *p == '+') {
        negative = *p == '-';
        ++p;
    }
    // A leading "0" counts as a digit on its own; "0x" is a prefix and does not.
    bool zeroSeen = false;
    if (p != end && *p == '0') {
        zeroSeen = true;
        ++p;
        if (p != end && isX(static_cast<unsigned char>(*p))) {
            zeroSeen = false;
            ++p;
        }
    }
    // Accumulate the magnitude, saturating far above the 32-bit range.
    uint64_t magnitude = 0;
    bool digits = false;
    for (; p != end; ++p) {
        int d = hexDigit(static_cast<unsigned char>(*p));
        if (d < 0) break;
        digits = true;
        if (magnitude <= 0xFFFFFFFFFull) magnitude = magnitude * 16 + static_cast<unsigned>(d);
    }
    pos = p;
    if (!digits && !zeroSeen) {
        value = 0;
        return false;
    }
    constexpr uint64_t kMaxPositive = std::numeric_limits<int32_t>::max();
    if (negative) {
        if (magnitude > kMaxPositive + 1) {
            value = std::numeric_limits<int32_t>::min();
            return false;
        }
        value = static_cast<int32_t>(-static_cast<int64_t>(magnitude));
        return true;
    }
    if (magnitude > kMaxPositive) {
        value = std::numeric_limits<int32_t>::max();
        return false;
    }
    value = static_cast<int32_t>(magnitude);
    return true;
}

int32_t mappingLineValue(const char* line, size_t length) {
    // The line is a C string in its buffer: a NUL byte ends it.
    if (const void* nul = std::memchr(line, '\0', length)) {
        length = static_cast<size_t>(static_cast<const char*>(nul) - line);
    }
    int32_t code = 0xFFFF;
    if (length < 2 || line[0] != '0' || !isX(static_cast<unsigned char>(line[1]))) return code;
    // Is there a further "0x" after the one the line starts with?
    bool twoValues = false;
    for (size_t i = length - 1; i >= 3; --i) {
        if (isX(static_cast<unsigned char>(line[i])) && line[i - 1] == '0') {
            twoValues = true;
            break;
        }
    }
    const char* pos = line;
    const char* end = line + length;
    if (twoValues) {
        int32_t source = 0;
        if (!extractHexInt(pos, end, source)) return code;  // a failed reader reads no more
    }
    extractHexInt(pos, end, code);
    return code;
}

void applyMappingImage(const uint8_t* bytes, size_t size, uint16_t* charIndex,
                       const std::string& name, std::string* problem) {
    if (problem) problem->clear();
    const char* data = reinterpret_cast<const char*>(bytes);
    const char* const end = data + size;
    size_t lineNumber = 0;
    size_t longLines = 0, firstLongLine = 0;
    size_t outOfRange = 0, firstOutOfRange = 0;
    for (const char* line = data; line < end;) {
        ++lineNumber;
        const char* lf = static_cast<const char*>(std::memchr(line, '\n', end - line));
        const char* lineEnd = lf ? lf : end;
        size_t length = static_cast<size_t>(lineEnd - line);
        if (length > kMappingLineLimit) {
            // Cut to what the line buffer holds; the rest of the line is skipped.
            length = kMappingLineLimit;
            if (longLines++ == 0) firstLongLine = lineNumber;
        }
        int32_t value = mappingLineValue(line, length);
        if (value >= 0 && value < 0xFFFF) {
            markCodePoint(charIndex, static_cast<uint16_t>(value));
        } else if (value != 0xFFFF) {
            // A negative value or one beyond the BMP has no slot.
            if (outOfRange++ == 0) firstOutOfRange = lineNumber;
        }
        line = lf ? lf + 1 : end;
    }
    if (longLines > 0 || outOfRange > 0) {
        std::string text = "mapping file " + name + ":";
        if (longLines > 0) {
            text += " " + std::to_string(longLines) + " line(s) longer than 599 characters cut " +
                    "(first: line " + std::to_string(firstLongLine) + ")";
        }
        if (outOfRange > 0) {
            if (longLines > 0) text += ";";
            text += " " + std::to_string(outOfRange) +
                    " value(s) outside U+0000..U+FFFF skipped (first: line " +
                    std::to_string(firstOutOfRange) + ")";
        }
        setProblem(problem, text);
    }
}

int loadMappingFile(const std::filesystem::path& path, uint16_t* charIndex, std::string* problem) {
    if (problem) problem->clear();
    std::string image;
    if (!readSelectionFile(path, "mapping file", limits::kMaxMappingBytes, image, problem))
        return 0;
    applyMappingImage(imageBytes(image), image.size(), charIndex, quotedPath(path), problem);
    return 0;
}

void applyCstImage(const uint8_t* bytes, size_t size, uint16_t* charIndex, const std::string& name,
                   std::string* problem) {
    if (problem) problem->clear();
    const size_t count = size / 2;
    for (size_t i = 0; i < count; ++i) {
        markCodePoint(charIndex, static_cast<uint16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8)));
    }
    if (size % 2 != 0) {
        setProblem(problem, "cst file " + name + " has an odd length (" + std::to_string(size) +
                                " bytes); its last byte is ignored");
    }
}

int loadCstFile(const std::filesystem::path& path, uint16_t* charIndex, std::string* problem) {
    if (problem) problem->clear();
    std::string image;
    if (!readSelectionFile(path, "cst file", limits::kMaxCstBytes, image, problem)) return -2;
    applyCstImage(imageBytes(image), image.size(), charIndex, quotedPath(path), problem);
    return 0;
}

namespace {

// Counts one kind of skipped text and remembers where the first one was.
struct Skipped {
    size_t count = 0;
    size_t line = 0;
    size_t column = 0;
    void add(size_t atLine, size_t atColumn) {
        if (count++ == 0) {
            line = atLine;
            column = atColumn;
        }
    }
    std::string where() const {
        return "first: line " + std::to_string(line) + ", column " + std::to_string(column);
    }
};

}  // namespace

namespace {

// One UTF-16 character at `p` (`left` bytes there): its length in bytes (2 or 4), with its code
// point in `code`; 0 for an unpaired surrogate or a last odd byte, with the bytes to skip in `bad`.
size_t decodeUtf16(const uint8_t* p, size_t left, bool bigEndian, char32_t& code, size_t& bad) {
    auto unit = [p, bigEndian](size_t at) {
        return static_cast<char32_t>(bigEndian ? p[at] << 8 | p[at + 1] : p[at + 1] << 8 | p[at]);
    };
    bad = left < 2 ? left : 2;
    if (left < 2) return 0;
    const char32_t first = unit(0);
    if (first < 0xD800 || first > 0xDFFF) {
        code = first;
        return 2;
    }
    if (first > 0xDBFF || left < 4) return 0;
    const char32_t second = unit(2);
    if (second < 0xDC00 || second > 0xDFFF) return 0;
    code = 0x10000 + ((first - 0xD800) << 10) + (second - 0xDC00);
    return 4;
}

}  // namespace

void applyTextImage(const uint8_t* bytes, size_t size, uint16_t* charIndex, const std::string& name,
                    std::vector<std::string>* problems) {
    // A byte-order mark tells UTF-16 (Notepad's "Unicode", PowerShell's default) from UTF-8.
    size_t i = 0;
    bool utf16 = false;
    bool bigEndian = false;
    if (size >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
        i = 3;
    } else if (size >= 2 &&
               ((bytes[0] == 0xFF && bytes[1] == 0xFE) || (bytes[0] == 0xFE && bytes[1] == 0xFF))) {
        i = 2;
        utf16 = true;
        bigEndian = bytes[0] == 0xFE;
    }
    size_t line = 1;
    size_t column =
        1;  // in characters; a byte (UTF-16: a code unit) that is not valid counts as one
    Skipped invalid;
    Skipped beyond;
    while (i < size) {
        char32_t code = 0;
        size_t bad = 0;
        const size_t length = utf16 ? decodeUtf16(bytes + i, size - i, bigEndian, code, bad)
                                    : platform::decodeUtf8(bytes + i, size - i, code, bad);
        if (length == 0) {
            invalid.add(line, column);
            i += utf16 ? bad : 1;
            ++column;
            continue;
        }
        i += length;
        if (code == '\n') {
            ++line;
            column = 1;
            continue;
        }
        if (code != '\r') {
            if (code > 0xFFFF)
                beyond.add(line, column);
            else
                markCodePoint(charIndex, static_cast<uint16_t>(code));
        }
        ++column;
    }
    if (!problems) return;
    if (invalid.count > 0)
        problems->push_back("text file " + name + ": " + std::to_string(invalid.count) +
                            (utf16 ? " code unit(s) that are not valid UTF-16 skipped ("
                                   : " byte(s) that are not valid UTF-8 skipped (") +
                            invalid.where() + ")");
    if (beyond.count > 0)
        problems->push_back("text file " + name + ": " + std::to_string(beyond.count) +
                            " character(s) beyond U+FFFF skipped (" + beyond.where() + ")");
}

void loadTextFile(const std::filesystem::path& path, uint16_t* charIndex,
                  std::vector<std::string>* problems) {
    std::string image;
    std::string problem;
    if (!readSelectionFile(path, "text file", limits::kMaxTextBytes, image, &problem)) {
        if (problems) problems->push_back(problem);
        return;
    }
    applyTextImage(imageBytes(image), image.size(), charIndex, quotedPath(path), problems);
}

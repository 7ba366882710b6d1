// The largest input file of each kind that the tools read. Every input is read whole into memory
// (or, for fonts, handed to FreeType), so a file far larger than any real one (a sparse file, a
// disk image named by mistake) is refused with a clear message before anything is allocated. The
// limits are generous: each is many times the largest real file of its kind.
#pragma once

#include <cstdint>
#include <string>

namespace limits {

constexpr uint64_t kMiB = uint64_t{1} << 20;

// FontConfig.json: a 100,000-range configuration is about 4 MiB.
constexpr uint64_t kMaxConfigBytes = 16 * kMiB;
// setting.ini: a few lines.
constexpr uint64_t kMaxSettingsBytes = 1 * kMiB;
// A code-page table: at most 28 + 2 x 65,535 + 2 x 65,536 bytes (about 256 KiB).
constexpr uint64_t kMaxCodePageBytes = 1 * kMiB;
// Mapping and text files: a million-line mapping file is about 12 MiB.
constexpr uint64_t kMaxMappingBytes = 64 * kMiB;
constexpr uint64_t kMaxTextBytes = 64 * kMiB;
// A cst file lists at most 65,536 code points (128 KiB), but repeats are allowed, so files that
// were joined together still pass.
constexpr uint64_t kMaxCstBytes = 16 * kMiB;
// Font files: the largest real ones (Noto CJK collections) are about 20 to 120 MiB; FreeType reads
// through 32-bit offsets, and on Windows its stream sizes are 32-bit too.
constexpr uint64_t kMaxFontBytes = 2048 * kMiB;  // 2 GiB
// A font file fontbin wrote, as fontbin-inspect reads it: its offsets are 32-bit, and 65,536
// records of the largest cell stay below 4 GiB.
constexpr uint64_t kMaxBitmapFontBytes = 4096 * kMiB;  // 4 GiB
// An advance-width file: a header and at most three bytes per code point.
constexpr uint64_t kMaxWidthFileBytes = 1 * kMiB;

// "2 GiB", "16 MiB", "64 KiB" or "1000 bytes": a limit as the messages name it.
inline std::string sizeText(uint64_t bytes) {
    if (bytes % (1024 * kMiB) == 0) return std::to_string(bytes / (1024 * kMiB)) + " GiB";
    if (bytes % kMiB == 0) return std::to_string(bytes / kMiB) + " MiB";
    if (bytes % 1024 == 0) return std::to_string(bytes / 1024) + " KiB";
    return std::to_string(bytes) + " bytes";
}

// The reason a file of `size` bytes is refused, for a message line:
// "it is 1099511627776 bytes, more than the 16 MiB a configuration may have".
inline std::string tooLargeReason(uint64_t size, uint64_t limit, const std::string& kind) {
    return "it is " + std::to_string(size) + " bytes, more than the " + sizeText(limit) + " " +
           kind + " may have";
}

}  // namespace limits

// The largest files fontbin-inspect and fontbin-embed read: each is read whole, so a larger one
// (a sparse file of a terabyte, say) is refused by its size before any memory is taken for it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>

namespace tools {

// The largest font file the format can describe: a 269-byte header (a 255-byte name), the
// 262144-byte offset table, and 65536 records of a 255 x 255 cell at 8 bits per pixel.
constexpr uint64_t kMaxFontFileBytes = 269 + 262144 + 65536ull * (4 + 255 * 255);
// The largest width file: its 12-byte header, then a width and a code point per character.
constexpr uint64_t kMaxWidthFileBytes = 12 + 3 * 65536;

// Why the file at `path` is not read: it is larger than `maximum` bytes, the most a `kind` can
// be. Empty when it is not, or when its size cannot be told (reading it then says why).
inline std::string tooLargeReason(const std::filesystem::path& path, uint64_t maximum,
                                  const char* kind) {
    std::error_code ec;
    const uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec || size <= maximum) return {};
    return std::to_string(size) + " bytes, larger than " + kind + " can be (" +
           std::to_string(maximum) + " bytes)";
}

}  // namespace tools

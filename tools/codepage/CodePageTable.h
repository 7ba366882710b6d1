// Code-page tables in the binary layout fontbin reads from <bin>/CodePage/c_<N>.nls, computed
// from the C library's iconv converters instead of copied from Windows.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace codepage {

// The code-page value that stands for a character the code page lacks: '?'.
constexpr uint16_t kDefaultChar = 0x3F;

struct GeneratedTable {
    std::string iconvName;       // the converter used, e.g. "CP936"
    uint16_t maxCharSize = 1;    // 2 when any character takes two bytes
    uint32_t representable = 0;  // code points the table selects, U+003F included
    std::vector<uint8_t> image;  // the whole file
};

// The iconv names tried for a Windows code-page number, in order.
std::vector<std::string> iconvCandidates(uint32_t codePage);

// Builds the table for `codePage` (1..65535). A code point is representable when iconv converts
// it to one or two bytes without loss and those bytes convert back to the same code point;
// surrogates never are. Returns nothing, with the reason in `error`, when the C library has no
// converter for the code page or its '?' is not 0x3F.
std::optional<GeneratedTable> buildCodePageTable(uint32_t codePage, std::string& error);

}  // namespace codepage

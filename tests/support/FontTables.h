// Test fonts made from real ones: a table of a TrueType file replaced by bytes the test writes
// (appended, its directory entry pointed there; readers do not check the checksums) or hidden.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

namespace testing_support {

// Table bytes, big-endian, in the order they are written.
struct TableWriter {
    std::vector<uint8_t> bytes;

    TableWriter& u8(uint32_t v) { return bytes.push_back(static_cast<uint8_t>(v)), *this; }
    TableWriter& u16(int32_t v) { return u8(static_cast<uint32_t>(v) >> 8).u8(v & 0xFF); }
    TableWriter& u32(uint32_t v) { return u16(static_cast<int32_t>(v >> 16)).u16(v & 0xFFFF); }
    TableWriter& tag(const char* t) { return u16(t[0] << 8 | t[1]).u16(t[2] << 8 | t[3]); }
    TableWriter& append(const TableWriter& t) {
        return bytes.insert(bytes.end(), t.bytes.begin(), t.bytes.end()), *this;
    }
    // An offset to where the next byte goes, written over the two bytes at `at`.
    void patchOffset(size_t at) {
        bytes[at] = static_cast<uint8_t>(bytes.size() >> 8);
        bytes[at + 1] = static_cast<uint8_t>(bytes.size());
    }
};

// The table directory entry of `tag`, or 0.
inline size_t tableEntry(const std::vector<uint8_t>& font, const char* tag) {
    for (size_t i = 0, count = size_t{font[4]} << 8 | font[5]; i < count; ++i)
        if (std::memcmp(&font[12 + 16 * i], tag, 4) == 0) return 12 + 16 * i;
    return 0;
}

// Renames table `tag` (the directory's order is kept), so that no reader finds it.
inline void hideTable(std::vector<uint8_t>& font, const char* tag) {
    if (const size_t entry = tableEntry(font, tag)) font[entry + 3] ^= 0x20;
}

// Replaces the contents of table `tag`, which the font has.
inline void replaceTable(std::vector<uint8_t>& font, const char* tag, const TableWriter& table) {
    const size_t entry = tableEntry(font, tag);
    if (entry == 0) return;
    font.resize((font.size() + 3) & ~size_t{3}, 0);
    const uint32_t at = static_cast<uint32_t>(font.size()),
                   length = static_cast<uint32_t>(table.bytes.size());
    for (int k = 0; k < 4; ++k) {
        font[entry + 8 + k] = static_cast<uint8_t>(at >> (24 - 8 * k));
        font[entry + 12 + k] = static_cast<uint8_t>(length >> (24 - 8 * k));
    }
    font.insert(font.end(), table.bytes.begin(), table.bytes.end());
}

// A kern table of one horizontal subtable of `format` under Microsoft's header (version 0) or
// Apple's (version 1.0); `body` follows the subtable's header.
inline TableWriter kernTable(bool apple, int format, const TableWriter& body) {
    const auto length = static_cast<uint32_t>((apple ? 8 : 6) + body.bytes.size());
    TableWriter t;
    if (apple) return t.u32(0x00010000).u32(1).u32(length).u8(0).u8(format).u16(0).append(body);
    return t.u16(0).u16(1).u16(0).u16(length).u8(format).u8(1).append(body);
}

}  // namespace testing_support

// Test fonts made from real ones: a table of a TrueType file replaced by bytes the test writes
// (appended at the end, its directory entry pointed there; readers do not check the checksums),
// or hidden by renaming it, and a small big-endian writer to assemble such tables.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace testing_support {

// Table bytes in the order they are written; offsets are patched in once they are known.
struct TableWriter {
    std::vector<uint8_t> bytes;

    TableWriter& u8(uint32_t v) {
        bytes.push_back(static_cast<uint8_t>(v));
        return *this;
    }
    TableWriter& u16(int32_t v) {
        return u8(static_cast<uint32_t>(v) >> 8).u8(static_cast<uint32_t>(v));
    }
    TableWriter& u32(uint32_t v) {
        return u16(static_cast<int32_t>(v >> 16)).u16(static_cast<int32_t>(v));
    }
    TableWriter& tag(const char* t) {
        bytes.insert(bytes.end(), t, t + 4);
        return *this;
    }
    size_t size() const { return bytes.size(); }
    // Writes a 16-bit value over two bytes written before.
    void patch16(size_t at, size_t v) {
        bytes[at] = static_cast<uint8_t>(v >> 8);
        bytes[at + 1] = static_cast<uint8_t>(v);
    }
    TableWriter& append(const TableWriter& other) {
        bytes.insert(bytes.end(), other.bytes.begin(), other.bytes.end());
        return *this;
    }
};

// The index of table `tag` in the file's table directory, or -1.
inline int tableIndex(const std::vector<uint8_t>& font, const char* tag) {
    const size_t tables = size_t{font[4]} << 8 | font[5];
    for (size_t i = 0; i < tables; ++i)
        if (std::memcmp(&font[12 + 16 * i], tag, 4) == 0) return static_cast<int>(i);
    return -1;
}

// Renames table `tag` in place, so that no reader finds it (the directory's order is kept).
inline void hideTable(std::vector<uint8_t>& font, const char* tag) {
    const int i = tableIndex(font, tag);
    if (i >= 0) font[15 + 16 * static_cast<size_t>(i)] ^= 0x20;
}

// Replaces the contents of table `tag`, which the font must have.
inline void replaceTable(std::vector<uint8_t>& font, const char* tag, const TableWriter& table) {
    const int i = tableIndex(font, tag);
    if (i < 0) return;
    font.resize((font.size() + 3) & ~size_t{3}, 0);
    const size_t entry = 12 + 16 * static_cast<size_t>(i);
    const uint32_t at = static_cast<uint32_t>(font.size());
    const uint32_t length = static_cast<uint32_t>(table.size());
    for (int k = 0; k < 4; ++k) {
        font[entry + 8 + k] = static_cast<uint8_t>(at >> (24 - 8 * k));
        font[entry + 12 + k] = static_cast<uint8_t>(length >> (24 - 8 * k));
    }
    font.insert(font.end(), table.bytes.begin(), table.bytes.end());
}

// A kern table of one horizontal subtable of `format` under Microsoft's header (version 0) or
// Apple's (version 1.0); `body` follows the subtable's header.
inline TableWriter kernTable(bool apple, int format, const TableWriter& body) {
    TableWriter t;
    const auto length = static_cast<uint32_t>((apple ? 8 : 6) + body.size());
    if (apple)
        t.u32(0x00010000).u32(1).u32(length).u8(0).u8(static_cast<uint32_t>(format)).u16(0);
    else
        t.u16(0)
            .u16(1)
            .u16(0)
            .u16(static_cast<int32_t>(length))
            .u8(static_cast<uint32_t>(format))
            .u8(1);
    return t.append(body);
}

}  // namespace testing_support

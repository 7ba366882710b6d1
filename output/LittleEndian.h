// Byte order of every multi-byte value in the files we write: least significant byte first,
// whatever the host's own order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// Stores the low `byteCount` bytes of `value` at `dst`, least significant first.
inline void storeLittleEndian(uint8_t* dst, uint32_t value, size_t byteCount) {
    for (size_t i = 0; i < byteCount; ++i) {
        dst[i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

// True when the host stores multi-byte integers least significant byte first, as the files do:
// then an array of them can be written as it lies in memory.
inline bool hostIsLittleEndian() {
    const uint16_t probe = 1;
    uint8_t first = 0;
    std::memcpy(&first, &probe, 1);
    return first == 1;
}

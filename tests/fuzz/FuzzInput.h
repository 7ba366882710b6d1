// Helpers shared by the fuzz targets.
//
// Some inputs are large but mostly uniform: a font bitmap file carries a 128 KB glyph table or a
// 256 KB offset table that is nearly all 0xFF, a double-byte code-page table 128 KB of entries.
// Seeds of that size make slow and blunt fuzzing, so those targets also take a packed form:
//
//   "FBX1", then records until the input ends:
//     0x00 n(u16 LE) bytes...   n literal bytes (fewer when the input ends first)
//     0x01 n(u32 LE) b          n copies of byte b
//     0x02 n(u32 LE) b0 b1      n copies of the byte pair b0 b1 (a 16-bit value repeated)
//   Any other record byte ends the expansion. The result is capped at kExpandLimit bytes.
//
// An input that does not start with the magic is taken as it is. tests/fuzz/pack_seed.py writes
// the packed form of a real file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace fuzzing {

constexpr size_t kExpandLimit = 4u << 20;

inline std::vector<uint8_t> expandInput(const uint8_t* data, size_t size) {
    if (size < 4 || std::memcmp(data, "FBX1", 4) != 0)
        return std::vector<uint8_t>(data, data + size);
    std::vector<uint8_t> out;
    size_t pos = 4;
    while (pos < size) {
        const uint8_t op = data[pos++];
        if (op == 0x00) {
            if (size - pos < 2) break;
            size_t n = data[pos] | (data[pos + 1] << 8);
            pos += 2;
            if (n > size - pos) n = size - pos;
            if (n > kExpandLimit - out.size()) n = kExpandLimit - out.size();
            out.insert(out.end(), data + pos, data + pos + n);
            pos += n;
        } else if (op == 0x01 || op == 0x02) {
            const size_t width = op;  // bytes in the repeated unit
            if (size - pos < 4 + width) break;
            size_t n = static_cast<size_t>(data[pos]) | (static_cast<size_t>(data[pos + 1]) << 8) |
                       (static_cast<size_t>(data[pos + 2]) << 16) |
                       (static_cast<size_t>(data[pos + 3]) << 24);
            const uint8_t* unit = data + pos + 4;
            pos += 4 + width;
            if (n > (kExpandLimit - out.size()) / width) n = (kExpandLimit - out.size()) / width;
            const size_t start = out.size();
            out.resize(start + n * width, unit[0]);
            if (width == 2)
                for (size_t i = start + 1; i < out.size(); i += 2) out[i] = unit[1];
        } else {
            break;
        }
        if (out.size() >= kExpandLimit) break;
    }
    return out;
}

// A heap copy of exactly `bytes.size()` bytes, so that the address sanitizer sees any read past
// the end (a vector's spare capacity would hide it).
class ExactBuffer {
public:
    explicit ExactBuffer(const std::vector<uint8_t>& bytes)
        : size_(bytes.size()), data_(new uint8_t[bytes.empty() ? 1 : bytes.size()]) {
        if (!bytes.empty()) std::memcpy(data_, bytes.data(), bytes.size());
    }
    ~ExactBuffer() { delete[] data_; }
    ExactBuffer(const ExactBuffer&) = delete;
    ExactBuffer& operator=(const ExactBuffer&) = delete;
    const uint8_t* data() const { return data_; }
    size_t size() const { return size_; }

private:
    size_t size_;
    uint8_t* data_;
};

}  // namespace fuzzing

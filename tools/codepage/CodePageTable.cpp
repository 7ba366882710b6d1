#include "tools/codepage/CodePageTable.h"

#include <iconv.h>

#include <array>
#include <memory>

namespace codepage {
namespace {

constexpr uint32_t kCodePoints = 65536;
constexpr uint16_t kUniDefaultChar = 0x003F;
constexpr size_t kLeadByteRanges = 6;  // 12 bytes of (first, last) pairs

// One converter, reset before every conversion so that no state leaks between characters.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (ok()) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Converts all of `in` losslessly; returns the output length, or -1.
    int convert(const uint8_t* in, size_t inLength, uint8_t* out, size_t outCapacity) {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        char* inPtr = reinterpret_cast<char*>(const_cast<uint8_t*>(in));
        char* outPtr = reinterpret_cast<char*>(out);
        size_t inLeft = inLength, outLeft = outCapacity;
        size_t r = iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft);
        if (r != 0 || inLeft != 0) return -1;  // failed, or irreversible conversions were made
        if (iconv(cd_, nullptr, nullptr, &outPtr, &outLeft) == static_cast<size_t>(-1)) return -1;
        return static_cast<int>(outCapacity - outLeft);
    }

private:
    iconv_t cd_;
};

// Code-page bytes -> the single code point they stand for, or -1.
int32_t toUnicode(Converter& back, const uint8_t* bytes, size_t length) {
    uint8_t out[16];
    if (back.convert(bytes, length, out, sizeof out) != 4) return -1;
    return static_cast<int32_t>(out[0] | (out[1] << 8) | (out[2] << 16) |
                                (static_cast<uint32_t>(out[3]) << 24));
}

void putU16(std::vector<uint8_t>& image, size_t offset, uint16_t value) {
    image[offset] = static_cast<uint8_t>(value & 0xFF);
    image[offset + 1] = static_cast<uint8_t>(value >> 8);
}

}  // namespace

std::vector<std::string> iconvCandidates(uint32_t codePage) {
    const std::string n = std::to_string(codePage);
    std::vector<std::string> names = {"CP" + n, "WINDOWS-" + n, "MS" + n, "IBM" + n};
    if (codePage == 950) names.push_back("BIG5");
    if (codePage == 936) names.push_back("GBK");
    if (codePage == 949) names.push_back("UHC");
    if (codePage == 932) names.push_back("WINDOWS-31J");
    return names;
}

std::optional<GeneratedTable> buildCodePageTable(uint32_t codePage, std::string& error) {
    if (codePage == 0 || codePage > 0xFFFF) {
        error = "code page " + std::to_string(codePage) + " is out of range 1..65535";
        return std::nullopt;
    }
    GeneratedTable table;
    std::unique_ptr<Converter> forward, back;
    for (const std::string& name : iconvCandidates(codePage)) {
        forward = std::make_unique<Converter>(name.c_str(), "UTF-32LE");
        back = std::make_unique<Converter>("UTF-32LE", name.c_str());
        if (forward->ok() && back->ok()) {
            table.iconvName = name;
            break;
        }
        forward.reset();
        back.reset();
    }
    if (!forward) {
        error = "the C library has no converter for code page " + std::to_string(codePage);
        return std::nullopt;
    }

    // Unicode -> code page, kept only where it round-trips. 0xFFFF marks "not representable".
    std::vector<uint16_t> wc(kCodePoints, 0xFFFF);
    std::array<bool, 256> leadByte{};
    for (uint32_t c = 0; c < kCodePoints; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF) continue;  // surrogates are not characters
        const uint8_t in[4] = {static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8), 0, 0};
        uint8_t out[16];
        int n = forward->convert(in, 4, out, sizeof out);
        if (n != 1 && n != 2) continue;
        // Two bytes are one double-byte character only when the first is a lead byte, which means
        // nothing alone. Converters that compose (CP1255, CP1258) write base letter plus
        // combining mark for a precomposed letter; Windows' single-byte tables have no such entry.
        if (n == 2 && toUnicode(*back, out, 1) >= 0) continue;
        if (toUnicode(*back, out, static_cast<size_t>(n)) != static_cast<int32_t>(c)) continue;
        if (n == 1) {
            wc[c] = out[0];
        } else if (out[0] != 0xFF || out[1] != 0xFF) {  // 0xFFFF is kept as "not representable"
            wc[c] = static_cast<uint16_t>((out[0] << 8) | out[1]);
            leadByte[out[0]] = true;
        }
    }
    if (wc[kUniDefaultChar] != kDefaultChar) {
        error = "code page " + std::to_string(codePage) + " (" + table.iconvName +
                ") does not write '?' as 0x3F";
        return std::nullopt;
    }
    size_t leadCount = 0;
    for (bool b : leadByte) leadCount += b ? 1 : 0;
    table.maxCharSize = leadCount > 0 ? 2 : 1;
    if (leadCount > 250) {
        error = "code page " + std::to_string(codePage) + " has too many lead bytes";
        return std::nullopt;
    }

    // Code page -> Unicode for single bytes: lead bytes 0, bytes without a round trip U+003F.
    std::array<uint16_t, 256> mb{};
    for (uint32_t b = 0; b < 256; ++b) {
        if (leadByte[b]) continue;
        const uint8_t byte = static_cast<uint8_t>(b);
        int32_t u = toUnicode(*back, &byte, 1);
        mb[b] = (u >= 0 && u < 0x10000 && wc[u] == b) ? static_cast<uint16_t>(u) : kUniDefaultChar;
    }

    // Multibyte section: mbTable, no glyph table, the lead-byte count, for a double-byte code
    // page the trail tables (256 words naming each lead byte's table, then 256 words per lead
    // byte), and a closing 0 word.
    const size_t mbWords = 256 + 2 + (leadCount > 0 ? 256 + 256 * leadCount : 0) + 1;
    const size_t wcOffset = 28 + 2 * mbWords;
    table.image.assign(wcOffset + kCodePoints * table.maxCharSize, 0);
    std::vector<uint8_t>& img = table.image;
    putU16(img, 0, 13);
    putU16(img, 2, static_cast<uint16_t>(codePage));
    putU16(img, 4, table.maxCharSize);
    putU16(img, 6, kDefaultChar);
    putU16(img, 8, kUniDefaultChar);
    putU16(img, 10, kDefaultChar);     // the code-page value of the Unicode default
    putU16(img, 12, kUniDefaultChar);  // the Unicode value of the code-page default
    size_t ranges = 0;
    for (uint32_t b = 0; b < 256 && ranges < kLeadByteRanges; ++b) {
        if (!leadByte[b]) continue;
        uint32_t last = b;
        while (last + 1 < 256 && leadByte[last + 1]) ++last;
        img[14 + 2 * ranges] = static_cast<uint8_t>(b);
        img[15 + 2 * ranges] = static_cast<uint8_t>(last);
        ++ranges;
        b = last;
    }
    putU16(img, 26, static_cast<uint16_t>(mbWords));
    size_t at = 28;
    for (uint16_t u : mb) {
        putU16(img, at, u);
        at += 2;
    }
    at += 2;  // no glyph table
    putU16(img, at, static_cast<uint16_t>(leadCount));
    at += 2;
    if (leadCount > 0) {
        size_t offsets = at;
        at += 2 * 256;
        uint16_t ordinal = 0;
        for (uint32_t lead = 0; lead < 256; ++lead) {
            if (!leadByte[lead]) continue;
            putU16(img, offsets + 2 * lead, ++ordinal);
            for (uint32_t trail = 0; trail < 256; ++trail) {
                const uint8_t bytes[2] = {static_cast<uint8_t>(lead), static_cast<uint8_t>(trail)};
                int32_t u = toUnicode(*back, bytes, 2);
                bool roundTrips = u >= 0 && u < 0x10000 && wc[u] == ((lead << 8) | trail);
                putU16(img, at, roundTrips ? static_cast<uint16_t>(u) : kUniDefaultChar);
                at += 2;
            }
        }
    }
    at += 2;  // closing word
    if (at != wcOffset) {
        error = "internal error: multibyte section of code page " + std::to_string(codePage) +
                " has the wrong size";
        return std::nullopt;
    }
    // wcTable: every code point that does not round-trip converts to the default character.
    for (uint32_t c = 0; c < kCodePoints; ++c) {
        uint16_t v = wc[c] == 0xFFFF ? kDefaultChar : wc[c];
        if (v != kDefaultChar || c == kUniDefaultChar) ++table.representable;
        if (table.maxCharSize == 1) {
            img[wcOffset + c] = static_cast<uint8_t>(v);
        } else {
            putU16(img, wcOffset + 2 * c, v);
        }
    }
    return table;
}

}  // namespace codepage

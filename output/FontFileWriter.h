// The font bitmap file: a header describing the font set, an index from code point to glyph, and
// one glyph record per exported character in ascending code-point order.
//
// Three layouts, chosen by the lowest bits of `crop` and `indexMethod`:
//   crop 0, indexMethod 0: 65536 glyph numbers by code point, then fixed-size records;
//   crop 0, indexMethod 1: the selected code points, then fixed-size records;
//   crop 1:                65536 file offsets by code point (0xFFFFFFFF: no record), then
//                          trimmed records for the characters that have ink.
// Every multi-byte value is little-endian. The writers only produce bytes: the caller owns the
// sink, the file name and any message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "config/FontConfig.h"
#include "output/ByteSink.h"
#include "reader/fb_format.h"
#include "render/GlyphTypes.h"

// The file name of `font` without its folders (after the last '/' or '\\', on every system, so
// that the bytes are the same everywhere) up to, not including, its first '.'; the whole name when
// it holds none. A dotted folder ("/tmp/my.fonts/x.ttf") does not cut the name.
std::string fontStem(const std::string& font);

// The header exactly as stored: 14 fixed bytes, the name stem and its terminating zero. Its first
// byte, headerLength, is read as a signed byte by existing readers, so a stem longer than 112
// bytes is cut there to keep headerLength at most 127.
std::vector<uint8_t> buildFontHeader(const FontSetSettings& settings, int32_t charCount);

class FontFileWriter {
public:
    static constexpr int32_t kCodePoints = 65536;
    static constexpr size_t kOffsetTableBytes = FB_OFFSET_TABLE_BYTES;
    static constexpr uint32_t kNoRecord = FB_NO_RECORD;

    // `settings.font` is the font name after the default was applied; `rotate` is 0, 1 or 2.
    // The sink's position when the header is written is taken as the start of the file.
    FontFileWriter(ByteSink& out, const FontSetSettings& settings, int32_t rotate);
    FontFileWriter(const FontFileWriter&) = delete;
    FontFileWriter& operator=(const FontFileWriter&) = delete;

    // Header (its fixed part and its name in two writes), then the index part in one write.
    // `charIndex` holds 65536 entries; `charList` holds `charCount` entries.
    void writeHeader(const uint16_t* charIndex, const uint16_t* charList, int32_t charCount);
    // One glyph record in one write: fixed size, or trimmed (possibly none) in the crop layout.
    // Ignored before writeHeader and after finish.
    void writeGlyph(const PackedGlyph& glyph);
    // Crop layout: writes the filled offset table over its placeholder. Then flushes the sink.
    void finish();

    bool ok() const { return ok_; }
    // errno as the first failed sink operation left it (0 when the sink did not say).
    int error() const { return error_; }
    uint64_t bytesWritten() const { return bytesWritten_; }

private:
    void write(const uint8_t* bytes, size_t count);
    void fail();
    void writeFixedRecord(const PackedGlyph& glyph);
    void writeTrimmedRecord(const PackedGlyph& glyph);
    // The four record bytes and the offset-table entry of the rows now in record_, then the write.
    void finishTrimmedRecord(const PackedGlyph& glyph, int32_t topSkip, int32_t width,
                             int32_t height);

    ByteSink& out_;
    FontSetSettings settings_;
    int32_t rotate_;
    bool crop_;
    bool vertical_;  // the shaped cell is transposed: its rows are the glyph's columns

    bool ok_;
    int error_ = 0;
    bool headerWritten_ = false;
    bool finished_ = false;
    uint64_t bytesWritten_ = 0;
    uint64_t start_ = 0;  // sink position of the file's first byte
    size_t headerLength_ = 0;

    std::vector<uint8_t> offsetTable_;  // crop layout only, kept little-endian
    uint64_t nextOffset_ = 0;           // file offset of the next trimmed record
    std::vector<uint8_t> record_;       // reused for every record
};

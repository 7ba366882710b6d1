#include "output/FontFileWriter.h"

#include <algorithm>
#include <cstring>

#include "output/InkBox.h"
#include "output/LittleEndian.h"
#include "reader/fb_format.h"

namespace {

constexpr size_t kFixedHeaderBytes = FB_FIXED_HEADER_BYTES;
// headerLength is one byte that readers take as signed: 14 + 112 + 1 = 127.
constexpr size_t kMaxStemBytes = 112;

bool packedDepth(int32_t renderMode) {
    return renderMode == 1 || renderMode == 2 || renderMode == 4 || renderMode == 8;
}

// Copies `bitCount` bits of the packed stream `src` (of `srcSize` bytes), starting at bit
// `firstBit`, to `dst` starting at bit 0. Packed pixels sit lowest bits first within each byte,
// so a plain bit shift keeps every pixel's value and order. Bits past the source read as zero and
// the unused high bits of the last destination byte are cleared, so nothing of a following row
// leaks in. `dst` receives (bitCount + 7) / 8 bytes.
void copyBits(const uint8_t* src, size_t srcSize, uint64_t firstBit, uint64_t bitCount,
              uint8_t* dst) {
    const size_t dstBytes = static_cast<size_t>((bitCount + 7) / 8);
    if (dstBytes == 0) return;
    const uint64_t firstByte = firstBit / 8;
    const unsigned shift = static_cast<unsigned>(firstBit % 8);
    if (shift == 0 && firstByte + dstBytes <= srcSize) {
        std::memcpy(dst, src + firstByte, dstBytes);
    } else {
        for (size_t i = 0; i < dstBytes; ++i) {
            const uint64_t at = firstByte + i;
            unsigned value = at < srcSize ? src[at] : 0u;
            value >>= shift;
            if (shift != 0 && at + 1 < srcSize)
                value |= static_cast<unsigned>(src[at + 1]) << (8 - shift);
            dst[i] = static_cast<uint8_t>(value);
        }
    }
    const unsigned tail = static_cast<unsigned>(bitCount % 8);
    if (tail != 0) dst[dstBytes - 1] &= static_cast<uint8_t>((1u << tail) - 1);
}

bool allZero(const uint8_t* bytes, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        if (bytes[i] != 0) return false;
    }
    return true;
}

}  // namespace

std::string fontStem(const std::string& font) {
    const size_t slash = font.find_last_of("/\\");
    const std::string name = slash == std::string::npos ? font : font.substr(slash + 1);
    return name.substr(0, name.find('.'));
}

std::vector<uint8_t> buildFontHeader(const FontSetSettings& settings, int32_t charCount) {
    std::string name = fontStem(settings.font);
    if (name.size() > kMaxStemBytes) name.resize(kMaxStemBytes);
    const size_t nameLength = name.size() + 1;

    const bool cropBit = (settings.crop & 1) != 0;
    const bool listBit = (settings.indexMethod & 1) != 0;
    uint8_t styleFlags = 0;
    if (settings.bold != 0) styleFlags |= FB_STYLE_BOLD;
    if (settings.italic != 0) styleFlags |= FB_STYLE_ITALIC;
    // Only the exact text "V"; the cell shape looks at the first character alone.
    if (settings.scanMode == "V") styleFlags |= FB_STYLE_SCAN_V;
    if (listBit) styleFlags |= FB_STYLE_INDEX_LIST;
    if (cropBit) styleFlags |= FB_STYLE_CROP;

    // Entry size times entry count. With both bits set this says 4 x charCount although the
    // full offset table is written; readers depend on the value as it always was.
    const uint32_t entrySize = cropBit ? 4u : 2u;
    const uint32_t entryCount = listBit ? static_cast<uint32_t>(charCount)
                                        : static_cast<uint32_t>(FontFileWriter::kCodePoints);
    const uint32_t indexBytes = entrySize * entryCount;

    std::vector<uint8_t> header(kFixedHeaderBytes + nameLength, 0);
    static const uint8_t kMagic[FB_FIXED_MAGIC_BYTES] = {
        FB_FIXED_MAGIC_0, FB_FIXED_MAGIC_1, FB_FIXED_MAGIC_2, FB_FIXED_MAGIC_3, FB_FIXED_MAGIC_4};
    header[FB_FIXED_O_HEADER_LENGTH] = static_cast<uint8_t>(kFixedHeaderBytes + nameLength);
    std::copy(kMagic, kMagic + FB_FIXED_MAGIC_BYTES, header.begin() + FB_FIXED_O_MAGIC);
    header[FB_FIXED_O_FONT_SIZE] = static_cast<uint8_t>(settings.fontSize);
    header[FB_FIXED_O_BPP] = static_cast<uint8_t>(settings.renderMode);
    header[FB_FIXED_O_STYLE] = styleFlags;
    storeLittleEndian(&header[FB_FIXED_O_INDEX_BYTES], indexBytes, 4);
    header[FB_FIXED_O_NAME_LENGTH] = static_cast<uint8_t>(nameLength);
    std::copy(name.begin(), name.end(), header.begin() + kFixedHeaderBytes);
    return header;
}

FontFileWriter::FontFileWriter(ByteSink& out, const FontSetSettings& settings, int32_t rotate)
    : out_(out),
      settings_(settings),
      rotate_(rotate),
      crop_((settings.crop & 1) != 0),
      vertical_(scansColumns(scanKind(settings.scanMode))),
      ok_(out.good()) {}

void FontFileWriter::fail() {
    // The first failure's reason, as the sink kept it.
    if (ok_) error_ = out_.error();
    ok_ = false;
}

void FontFileWriter::write(const uint8_t* bytes, size_t count) {
    if (!ok_ || count == 0) return;
    if (!out_.write(bytes, count)) {
        fail();
        return;
    }
    bytesWritten_ += count;
}

void FontFileWriter::writeHeader(const uint16_t* charIndex, const uint16_t* charList,
                                 int32_t charCount) {
    if (headerWritten_) return;
    headerWritten_ = true;
    if (charCount < 0) charCount = 0;
    if (crop_ && ok_) {
        // The offset table is rewritten in place at the end, relative to the file's first byte.
        if (!out_.tell(start_)) fail();
    }

    const std::vector<uint8_t> header = buildFontHeader(settings_, charCount);
    headerLength_ = header.size();
    write(header.data(), kFixedHeaderBytes);
    write(header.data() + kFixedHeaderBytes, header.size() - kFixedHeaderBytes);

    if (crop_) {
        offsetTable_.assign(kOffsetTableBytes, 0xFF);
        write(offsetTable_.data(), offsetTable_.size());
        if (ok_ && !out_.flush()) fail();
        nextOffset_ = headerLength_ + kOffsetTableBytes;
        return;
    }
    // The tables are 16-bit code points and glyph numbers; on a little-endian host their bytes in
    // memory are the bytes of the file, so they go out as they are, without a 128 KiB copy.
    const bool listBit = (settings_.indexMethod & 1) != 0;
    const uint16_t* table = listBit ? charList : charIndex;
    const size_t entries = listBit ? static_cast<size_t>(charCount) : size_t{kCodePoints};
    if (table != nullptr && hostIsLittleEndian()) {
        write(reinterpret_cast<const uint8_t*>(table), 2 * entries);
        return;
    }
    std::vector<uint8_t> index;
    if (listBit) {
        const size_t count = charList != nullptr ? static_cast<size_t>(charCount) : 0;
        index.resize(2 * count);
        for (size_t i = 0; i < count; ++i) storeLittleEndian(&index[2 * i], charList[i], 2);
    } else {
        // A missing table reads as "nothing selected".
        index.assign(2 * static_cast<size_t>(kCodePoints), 0xFF);
        if (charIndex != nullptr) {
            for (size_t i = 0; i < static_cast<size_t>(kCodePoints); ++i) {
                storeLittleEndian(&index[2 * i], charIndex[i], 2);
            }
        }
    }
    write(index.data(), index.size());
}

void FontFileWriter::writeGlyph(const PackedGlyph& glyph) {
    if (!headerWritten_ || finished_ || !ok_) return;
    if (crop_) {
        writeTrimmedRecord(glyph);
    } else {
        writeFixedRecord(glyph);
    }
}

void FontFileWriter::writeFixedRecord(const PackedGlyph& glyph) {
    const size_t dataBytes = glyph.data != nullptr ? glyph.size : 0;
    record_.resize(FB_RECORD_METRIC_BYTES + dataBytes);
    record_[FB_RECORD_O_ORIGIN_X] = static_cast<uint8_t>(glyph.origin.x);
    record_[FB_RECORD_O_ORIGIN_Y] = static_cast<uint8_t>(glyph.origin.y);
    record_[FB_RECORD_O_EXTENT_X] = static_cast<uint8_t>(glyph.extent.x);
    record_[FB_RECORD_O_EXTENT_Y] = static_cast<uint8_t>(glyph.extent.y);
    if (dataBytes != 0) std::memcpy(record_.data() + FB_RECORD_METRIC_BYTES, glyph.data, dataBytes);
    write(record_.data(), record_.size());
}

void FontFileWriter::writeTrimmedRecord(const PackedGlyph& glyph) {
    if (!packedDepth(settings_.renderMode)) return;
    if (glyph.data == nullptr || glyph.rows <= 0 || glyph.cols <= 0) return;
    const unsigned depth = static_cast<unsigned>(settings_.renderMode);
    const uint64_t rowBits = static_cast<uint64_t>(glyph.cols) * depth;
    const InkBox box = inkBox(glyph, depth, vertical_, rotate_);
    const int32_t width = box.width;
    const int32_t height = box.height;
    if (width <= 0 || height <= 0) return;

    const size_t perByte = 8 / depth;
    const size_t rowBytes = (static_cast<size_t>(width) + perByte - 1) / perByte;
    // Whole bytes of a row as the renderer packed them, but never past the row's last pixel when
    // rows do not start on byte boundaries.
    const uint64_t takenBits = std::min<uint64_t>(rowBytes * 8, rowBits);

    int32_t topSkip = 0;
    size_t taken = 0;
    if (rowBits % 8 == 0) {
        // Rows start on byte boundaries (the cell sizes the export uses make them so): a row is
        // rowBytes bytes at r * stride, taken as they are.
        const size_t stride = static_cast<size_t>(rowBits / 8);
        const uint8_t* data = glyph.data;
        while (topSkip < height && allZero(data + topSkip * stride, rowBytes)) ++topSkip;
        taken = static_cast<size_t>(height - topSkip);
        if (taken == 0) return;
        record_.resize(4 + taken * rowBytes);
        const uint8_t* from = data + topSkip * stride;
        if (rowBytes == stride) {
            std::memcpy(record_.data() + 4, from, taken * rowBytes);
        } else {
            for (size_t r = 0; r < taken; ++r) {
                std::memcpy(record_.data() + 4 + r * rowBytes, from + r * stride, rowBytes);
            }
        }
        finishTrimmedRecord(glyph, topSkip, width, height);
        return;
    }

    record_.resize(4 + static_cast<size_t>(height) * rowBytes);
    for (int32_t r = 0; r < height; ++r) {
        uint8_t* row = record_.data() + 4 + taken * rowBytes;
        std::memset(row, 0, rowBytes);
        copyBits(glyph.data, glyph.size, r * rowBits, takenBits, row);
        if (taken == 0 && allZero(row, rowBytes)) {
            ++topSkip;
        } else {
            ++taken;  // from the first row with ink on, every row is kept, empty or not
        }
    }
    if (taken == 0) return;

    record_.resize(4 + taken * rowBytes);
    finishTrimmedRecord(glyph, topSkip, width, height);
}

void FontFileWriter::finishTrimmedRecord(const PackedGlyph& glyph, int32_t topSkip, int32_t width,
                                         int32_t height) {
    record_[FB_RECORD_O_TOP_SKIP] = static_cast<uint8_t>(topSkip);
    record_[FB_RECORD_O_ORIGIN_Y] = static_cast<uint8_t>(glyph.origin.y);
    record_[FB_RECORD_O_EXTENT_X] = static_cast<uint8_t>(width);
    record_[FB_RECORD_O_EXTENT_Y] = static_cast<uint8_t>(height);
    storeLittleEndian(&offsetTable_[4 * static_cast<size_t>(glyph.code)],
                      static_cast<uint32_t>(nextOffset_), 4);
    nextOffset_ += record_.size();
    write(record_.data(), record_.size());
}

void FontFileWriter::finish() {
    if (finished_) return;
    finished_ = true;
    if (!ok_) return;
    if (crop_ && headerWritten_) {
        const uint64_t tableAt = start_ + headerLength_;
        const uint64_t endAt = start_ + bytesWritten_;
        // Back to the end afterwards, so the sink stands where the file ends.
        if (!out_.seek(tableAt) || !out_.write(offsetTable_.data(), offsetTable_.size()) ||
            !out_.seek(endAt)) {
            fail();
            return;
        }
    }
    if (!out_.flush()) fail();
}

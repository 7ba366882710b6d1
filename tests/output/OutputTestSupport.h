// Helpers for the writer tests: build packed cells the way the renderer packs them, read the
// written bytes back, and decode trimmed records independently of the writer.
#pragma once

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "config/FontConfig.h"
#include "output/CharListWriter.h"
#include "output/FontFileWriter.h"
#include "output/OstreamSink.h"
#include "render/GlyphTypes.h"

namespace outtest {

// The writers over a std::ostream, so the tests can collect bytes in string streams and fail
// on purpose through a stream buffer.
inline bool writeCharList(std::ostream& out, const uint16_t* charList, int32_t charCount) {
    OstreamSink sink(out);
    return ::writeCharList(sink, charList, charCount);
}

struct SinkHolder {
    explicit SinkHolder(std::ostream& out) : sink(out) {}
    OstreamSink sink;
};

// The sink's holder is the first base, so the sink exists before the writer that refers to it.
class StreamFontFileWriter : private SinkHolder, public FontFileWriter {
public:
    StreamFontFileWriter(std::ostream& out, const FontSetSettings& settings, int32_t rotate)
        : SinkHolder(out), FontFileWriter(sink, settings, rotate) {}
};

// A cell of quantised pixel values (0 .. 2^depth - 1), row-major.
struct Cell {
    int32_t rows = 0;
    int32_t cols = 0;
    int32_t depth = 1;
    std::vector<uint8_t> px;

    Cell(int32_t r, int32_t c, int32_t d) : rows(r), cols(c), depth(d), px(size_t(r) * c, 0) {}
    uint8_t& at(int32_t r, int32_t c) { return px[size_t(r) * cols + c]; }
    uint8_t at(int32_t r, int32_t c) const { return px[size_t(r) * cols + c]; }
    bool hasInk() const {
        for (uint8_t v : px) {
            if (v != 0) return true;
        }
        return false;
    }
};

// Row-major bit stream, pixel k at bit k * depth, lowest bits first; only the last byte padded.
inline std::vector<uint8_t> pack(const Cell& cell) {
    const size_t pixels = size_t(cell.rows) * cell.cols;
    std::vector<uint8_t> bytes((pixels * cell.depth + 7) / 8, 0);
    for (size_t k = 0; k < pixels; ++k) {
        const size_t bit = k * cell.depth;
        bytes[bit / 8] |= uint8_t(cell.px[k] << (bit % 8));
    }
    return bytes;
}

inline PackedGlyph glyphOf(uint16_t code, const std::vector<uint8_t>& packed, const Cell& cell,
                           IntPair extent, IntPair origin = {}) {
    PackedGlyph g;
    g.code = code;
    g.data = packed.data();
    g.size = packed.size();
    g.rows = cell.rows;
    g.cols = cell.cols;
    g.extent = extent;
    g.origin = origin;
    return g;
}

inline uint32_t readLE(const std::string& bytes, size_t at, size_t count) {
    uint32_t value = 0;
    for (size_t i = 0; i < count; ++i) value |= uint32_t(uint8_t(bytes.at(at + i))) << (8 * i);
    return value;
}

inline std::vector<uint8_t> bytesOf(const std::string& s) {
    return {s.begin(), s.end()};
}

inline FontSetSettings settingsFor(int32_t crop, int32_t indexMethod, int32_t renderMode = 1,
                                   const std::string& scanMode = "H") {
    FontSetSettings s;
    s.font = "simsun.ttc";
    s.fontSize = 16;
    s.crop = crop;
    s.indexMethod = indexMethod;
    s.renderMode = renderMode;
    s.scanMode = scanMode;
    return s;
}

// A trimmed record read back on its own terms.
struct Record {
    int32_t topSkip = 0;
    int32_t originY = 0;
    int32_t width = 0;
    int32_t height = 0;
    size_t rowBytes = 0;
    int32_t depth = 1;
    std::vector<uint8_t> rows;  // (height - topSkip) rows of rowBytes bytes

    size_t byteSize() const { return 4 + rows.size(); }
    // Pixel at cell row r, column c as the record tells it; 0 outside the rows and bytes it holds.
    uint8_t pixel(int32_t r, int32_t c) const {
        if (r < topSkip || r >= height || c < 0) return 0;
        const size_t bit = size_t(c) * depth;
        if (bit / 8 >= rowBytes) return 0;
        const uint8_t byte = rows[size_t(r - topSkip) * rowBytes + bit / 8];
        return uint8_t((byte >> (bit % 8)) & ((1u << depth) - 1));
    }
    int32_t pixelsPerRow() const { return int32_t(rowBytes * 8 / depth); }
};

inline Record decodeRecord(const std::string& file, size_t at, int32_t depth) {
    Record rec;
    rec.depth = depth;
    rec.topSkip = uint8_t(file.at(at));
    rec.originY = uint8_t(file.at(at + 1));
    rec.width = uint8_t(file.at(at + 2));
    rec.height = uint8_t(file.at(at + 3));
    const size_t perByte = 8 / depth;
    rec.rowBytes = (size_t(rec.width) + perByte - 1) / perByte;
    const size_t count = size_t(rec.height - rec.topSkip) * rec.rowBytes;
    const std::string part = file.substr(at + 4, count);  // shorter when the file is cut
    rec.rows.assign(part.begin(), part.end());
    return rec;
}

// Accepts `limit` bytes, then fails every write. Seeking works only when `seekable`.
class FailingBuf : public std::streambuf {
public:
    explicit FailingBuf(size_t limit, bool seekable = true) : limit_(limit), seekable_(seekable) {}
    std::string data;

protected:
    int_type overflow(int_type ch) override {
        if (traits_type::eq_int_type(ch, traits_type::eof())) return traits_type::not_eof(ch);
        if (pos_ >= limit_) return traits_type::eof();
        put(char(ch));
        return ch;
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        std::streamsize done = 0;
        while (done < n && pos_ < limit_) put(s[done++]);
        return done;
    }
    pos_type seekoff(off_type off, std::ios_base::seekdir dir, std::ios_base::openmode) override {
        if (!seekable_) return pos_type(off_type(-1));
        const off_type base = dir == std::ios_base::beg   ? 0
                              : dir == std::ios_base::cur ? off_type(pos_)
                                                          : off_type(data.size());
        return seekpos(pos_type(base + off), std::ios_base::out);
    }
    pos_type seekpos(pos_type p, std::ios_base::openmode) override {
        if (!seekable_ || off_type(p) < 0 || size_t(off_type(p)) > data.size())
            return pos_type(off_type(-1));
        pos_ = size_t(off_type(p));
        return p;
    }

private:
    void put(char c) {
        if (pos_ < data.size()) {
            data[pos_] = c;
        } else {
            data.push_back(c);
        }
        ++pos_;
    }
    size_t limit_;
    bool seekable_;
    size_t pos_ = 0;
};

}  // namespace outtest

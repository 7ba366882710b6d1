// fontbin-ttc-face: writes one face of a TrueType collection (.ttc) as a stand-alone font file, for
// converters that cannot read collections. The tables of the face are copied unchanged behind a new
// table directory; a file that is not a collection is copied as it is.
//
// Usage: fontbin-ttc-face IN.ttc FACE OUT.ttf
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

uint32_t be32(const std::vector<uint8_t>& d, size_t at) {
    return (uint32_t{d[at]} << 24) | (uint32_t{d[at + 1]} << 16) | (uint32_t{d[at + 2]} << 8) |
           d[at + 3];
}
uint16_t be16(const std::vector<uint8_t>& d, size_t at) {
    return static_cast<uint16_t>((d[at] << 8) | d[at + 1]);
}
void put32(std::vector<uint8_t>& d, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) d[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

int fail(const std::string& why) {
    std::fprintf(stderr, "fontbin-ttc-face: %s\n", why.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: fontbin-ttc-face IN.ttc FACE OUT.ttf\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) return fail(std::string("cannot read ") + argv[1]);
    const std::vector<uint8_t> font((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
    const unsigned long face = std::strtoul(argv[2], nullptr, 10);

    std::vector<uint8_t> out;
    if (font.size() >= 12 && font[0] == 't' && font[1] == 't' && font[2] == 'c' && font[3] == 'f') {
        const uint32_t faces = be32(font, 8);
        if (face >= faces || 12 + 4 * (face + 1) > font.size()) return fail("no such face");
        const size_t dir = be32(font, 12 + 4 * face);
        if (dir + 12 > font.size()) return fail("face directory outside the file");
        const uint16_t tables = be16(font, dir + 4);
        if (dir + 12 + 16 * size_t{tables} > font.size()) return fail("table records outside");

        // New directory: the face's own header and records, then each table 4-byte aligned.
        out.assign(font.begin() + dir, font.begin() + dir + 12 + 16 * size_t{tables});
        for (uint16_t t = 0; t < tables; ++t) {
            const size_t record = dir + 12 + 16 * size_t{t};
            const size_t offset = be32(font, record + 8);
            const size_t length = be32(font, record + 12);
            if (offset + length > font.size()) return fail("table outside the file");
            while (out.size() % 4 != 0) out.push_back(0);
            put32(out, 12 + 16 * size_t{t} + 8, static_cast<uint32_t>(out.size()));
            out.insert(out.end(), font.begin() + offset, font.begin() + offset + length);
        }
        while (out.size() % 4 != 0) out.push_back(0);
    } else {
        out = font;
    }

    std::ofstream file(argv[3], std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
    file.close();
    if (!file) return fail(std::string("cannot write ") + argv[3]);
    return 0;
}

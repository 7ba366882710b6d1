// The mapping reader parses hexadecimal fields by hand for speed. These tests hold it to the
// behaviour of formatted stream extraction (`stream >> std::hex >> int`), which is what the
// mapping format is defined by, over a large set of generated and random inputs.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "charset/ListFiles.h"

using namespace std::string_literals;

namespace {

struct Extraction {
    bool good;
    int32_t value;
    long long position;
};

constexpr int32_t kUntouched = 0x5A5A5A5A;

Extraction streamExtract(const std::string& text) {
    std::istringstream in(text);
    int value = kUntouched;
    in >> std::hex >> value;
    long long pos = in.rdbuf()->pubseekoff(0, std::ios::cur, std::ios::in);
    return {!in.fail(), value, pos};
}

Extraction ourExtract(const std::string& text) {
    const char* pos = text.data();
    int32_t value = kUntouched;
    bool good = extractHexInt(pos, text.data() + text.size(), value);
    return {good, value, static_cast<long long>(pos - text.data())};
}

std::string show(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char buf[8];
            snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        }
    }
    return "\"" + out + "\"";
}

void expectSameExtraction(const std::string& text) {
    Extraction s = streamExtract(text);
    Extraction o = ourExtract(text);
    EXPECT_EQ(o.good, s.good) << show(text);
    EXPECT_EQ(o.value, s.value) << show(text);
    EXPECT_EQ(o.position, s.position) << show(text);
}

// The mapping-line rule written directly with a string stream: lower-case the line, take it as a
// C string, read one value or (when a later "0x" exists) two, keep the last.
int32_t streamLineValue(const std::string& raw) {
    std::string line = raw.substr(0, raw.find('\0'));
    for (char& c : line) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    int code = 0xFFFF;
    if (line.compare(0, 2, "0x") != 0) return code;
    std::istringstream in(line);
    if (line.rfind("0x") == 0) {
        in >> std::hex >> code;
    } else {
        int source = 0;
        in >> std::hex >> source >> code;
    }
    return code;
}

const std::vector<std::string> kLeads = {"", " ", "\t", "  \r", "\v\f", "\n"};
const std::vector<std::string> kSigns = {"", "+", "-", "+-", "--", "- "};
const std::vector<std::string> kPrefixes = {"", "0", "0x", "0X", "00x", "0x0x", "x", "00", "0 x"};
const std::vector<std::string> kDigits = {"",
                                          "0",
                                          "1",
                                          "41",
                                          "4E02",
                                          "4e02",
                                          "fffe",
                                          "FFFF",
                                          "10000",
                                          "1F600",
                                          "7fffffff",
                                          "80000000",
                                          "80000001",
                                          "ffffffff",
                                          "100000000",
                                          "0000000000000041",
                                          "ffffffffffffffffffff",
                                          "g"};
const std::vector<std::string> kTails = {"", " ", "\t#c", "g1", "\r", " 0x42", "x", ".5", ","};

}  // namespace

TEST(HexExtract, MatchesStreamOnEveryCombination) {
    size_t cases = 0;
    for (const auto& lead : kLeads)
        for (const auto& sign : kSigns)
            for (const auto& prefix : kPrefixes)
                for (const auto& digits : kDigits)
                    for (const auto& tail : kTails) {
                        expectSameExtraction(lead + sign + prefix + digits + tail);
                        ++cases;
                    }
    EXPECT_GT(cases, 40000u);
}

TEST(HexExtract, MatchesStreamOnRandomText) {
    const std::string alphabet = "0123456789abcdefABCDEFxX+- \t\r#g.\x80\xff";
    std::mt19937 rng(12345);
    for (int i = 0; i < 50000; ++i) {
        std::string text(rng() % 14, ' ');
        for (char& c : text) c = alphabet[rng() % alphabet.size()];
        expectSameExtraction(text);
    }
}

TEST(HexExtract, DocumentedResults) {
    struct Case {
        const char* text;
        bool good;
        int32_t value;
    };
    const Case cases[] = {
        {"0x4e02", true, 0x4E02},
        {"0X4E02", true, 0x4E02},
        {"  0x41 rest", true, 0x41},
        {"0x", false, 0},                // prefix without digit: 0 stored, reader failed
        {"#0x42", false, 0},             // no digit at the field: 0
        {"0", true, 0},                  // a lone zero is a digit
        {"-0x41", true, -0x41},          // sign before the prefix
        {"+0x41", true, 0x41},           //
        {"0x7fffffff", true, INT_MAX},   // largest value that fits
        {"0x80000000", false, INT_MAX},  // too large: INT_MAX stored, reader failed
        {"-0x80000000", true, INT_MIN},  // most negative value fits
        {"-0x80000001", false, INT_MIN},
        {"   ", false, kUntouched},  // only white space: nothing stored
        {"", false, kUntouched},
    };
    for (const Case& c : cases) {
        Extraction o = ourExtract(c.text);
        EXPECT_EQ(o.good, c.good) << c.text;
        EXPECT_EQ(o.value, c.value) << c.text;
        expectSameExtraction(c.text);
    }
}

TEST(MappingLine, MatchesStreamOnGeneratedLines) {
    const std::vector<std::string> firsts = {"0x",    "0X",         "0x8140", "0X8140",
                                             "0x0",   "0x80000000", "0xg",    "0x4e02",
                                             "0x 41", "0x0x41",     "0xffff"};
    const std::vector<std::string> separators = {"", " ", "\t", "\t#", " -", " +", "\r", "\0"s};
    const std::vector<std::string> seconds = {
        "",        "0x4E02", "0X4e02", "0x", "0xffff",  "0xFFFE",     "-0x41",
        "0x1F600", "#0x42",  "0x0",    "41", "0x10000", "0x7fffffff", "0xfffffffff"};
    const std::vector<std::string> tails = {"",      "\r",           "\t# comment",
                                            " 0x43", "\t0x44\t0x45", "\0 0x46"s};
    size_t cases = 0;
    for (const auto& a : firsts)
        for (const auto& s : separators)
            for (const auto& b : seconds)
                for (const auto& t : tails) {
                    std::string line = a + s + b + t;
                    EXPECT_EQ(mappingLineValue(line.data(), line.size()), streamLineValue(line))
                        << show(line);
                    ++cases;
                }
    EXPECT_GT(cases, 5000u);
}

TEST(MappingLine, MatchesStreamOnRandomLines) {
    const std::string alphabet = std::string("0123456789abcdefABCDEFxX+- \t\r#g") + '\0';
    std::mt19937 rng(777);
    for (int i = 0; i < 50000; ++i) {
        std::string line(rng() % 20, ' ');
        for (char& c : line) c = alphabet[rng() % alphabet.size()];
        if (rng() % 4 != 0) line = (rng() % 2 ? "0x" : "0X") + line;
        EXPECT_EQ(mappingLineValue(line.data(), line.size()), streamLineValue(line)) << show(line);
    }
}

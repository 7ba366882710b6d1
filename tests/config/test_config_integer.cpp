#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>

#include "config/FontConfig.h"

namespace {

// What the formatted stream extraction stores, in the same base decision the reader makes.
struct StreamResult {
    bool read;  // false: the text was empty or blank and the target kept its value
    int32_t value;
};

StreamResult streamRead(const std::string& text, int32_t initial) {
    if (text.find_first_not_of(" \t\n\v\f\r") == std::string::npos) return {false, initial};
    std::istringstream in(text);
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) in >> std::hex;
    int32_t value = initial;
    in >> value;
    return {true, value};
}

}  // namespace

TEST(ConfigInteger, MatchesStreamExtraction) {
    const char* const texts[] = {
        "", " ", " \t\n\v\f\r", "0", "7", "95", "  42", "\t-17", "+5", "-0", "+", "-", "+-1",
        "12abc", "3.5", "1e3", "abc", " x", "00012", "-00012", "2147483647", "2147483648",
        "-2147483648", "-2147483649", "99999999999999999999", "-99999999999999999999",
        // base 16 only when the text itself starts with "0x" / "0X"
        "0x", "0X", "0x20", "0X20", "0xff", "0XFF", "0x7FFFFFFF", "0x80000000", "0xFFFFFFFF",
        "0x100000000", "0xFFFFFFFFFFFFFFFFFFFF", "0x0x5", "0x-5", "0x+5", "0xg", "0x 1", "0x1F ",
        "0x00000000000000000001", "0x1fz", "0x4E00",
        // a "0x" later in the text is read in base 10
        "+0x1F", "-0x80000000", "-0x1", " 0x20", "00x1", "1x2", "-0", "0x1F\n", "\n12\n"};
    for (const char* text : texts) {
        for (int32_t initial : {-1, 12345}) {
            const StreamResult expected = streamRead(text, initial);
            int32_t value = initial;
            EXPECT_EQ(readConfigInteger(text, value), expected.read) << '"' << text << '"';
            EXPECT_EQ(value, expected.value) << '"' << text << '"';
        }
    }
}

TEST(ConfigInteger, KnownValues) {
    struct Case {
        const char* text;
        int32_t value;
    };
    const Case cases[] = {{"0x20", 32},
                          {"95", 95},
                          {"-12", -12},
                          {"0x4e00", 0x4E00},
                          {"2147483648", INT32_MAX},
                          {"-2147483649", INT32_MIN},
                          {"0xFFFFFFFF", INT32_MAX},
                          {"0x", 0},
                          {"+0x1F", 0},
                          {"abc", 0}};
    for (const Case& c : cases) {
        int32_t value = -1;
        EXPECT_TRUE(readConfigInteger(c.text, value)) << c.text;
        EXPECT_EQ(value, c.value) << c.text;
    }
    int32_t untouched = 7;
    EXPECT_FALSE(readConfigInteger(" \t", untouched));
    EXPECT_EQ(untouched, 7);
}

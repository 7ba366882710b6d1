#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "OutputTestSupport.h"
#include "output/CharListWriter.h"

using namespace outtest;

TEST(CharListWriter, PrintableAsciiIs190LittleEndianBytes) {
    std::vector<uint16_t> list;
    for (uint16_t c = 0x20; c <= 0x7E; ++c) list.push_back(c);
    std::ostringstream out;
    ASSERT_TRUE(writeCharList(out, list.data(), int32_t(list.size())));
    const std::string bytes = out.str();
    ASSERT_EQ(bytes.size(), 190u);
    EXPECT_EQ(bytes.substr(0, 2), std::string("\x20\x00", 2));
    EXPECT_EQ(bytes.substr(188, 2), std::string("\x7E\x00", 2));
    for (size_t i = 0; i < list.size(); ++i) EXPECT_EQ(readLE(bytes, 2 * i, 2), list[i]);
}

TEST(CharListWriter, HighCodePointsKeepByteOrder) {
    const uint16_t list[] = {0x4E00, 0xFFFD};
    std::ostringstream out;
    ASSERT_TRUE(writeCharList(out, list, 2));
    EXPECT_EQ(out.str(), std::string("\x00\x4E\xFD\xFF", 4));
}

TEST(CharListWriter, EmptySelectionWritesNothing) {
    std::ostringstream out;
    EXPECT_TRUE(writeCharList(out, nullptr, 0));
    const uint16_t one = 0x41;
    EXPECT_TRUE(writeCharList(out, &one, 0));
    EXPECT_TRUE(writeCharList(out, &one, -5));
    EXPECT_TRUE(out.str().empty());
}

TEST(CharListWriter, FailedStreamIsReported) {
    const uint16_t list[] = {0x41, 0x42, 0x43};
    std::ostringstream bad;
    bad.setstate(std::ios::badbit);
    EXPECT_FALSE(writeCharList(bad, list, 3));

    FailingBuf buf(3);  // room for one and a half entries
    std::ostream shortStream(&buf);
    EXPECT_FALSE(writeCharList(shortStream, list, 3));
}

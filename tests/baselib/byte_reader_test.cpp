#include "baselib/byte_reader.h"

#include <gtest/gtest.h>

using vorlane::ByteReader;
using vorlane::ByteWriter;

TEST(ByteReader, ReadsLittleEndianAndFailsStickyAtTheEnd) {
    const uint8_t bytes[] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07};
    ByteReader reader(bytes, sizeof bytes);
    EXPECT_EQ(reader.U16(), 0x0201);
    EXPECT_EQ(reader.U32(), 0x06050403u);
    EXPECT_TRUE(reader.ok());
    EXPECT_EQ(reader.U16(), 0);  // only one byte left
    EXPECT_FALSE(reader.ok());
    EXPECT_EQ(reader.U8(), 0);  // stays failed even though a byte is there
    EXPECT_EQ(reader.remaining(), 0u);
}

TEST(ByteReader, HugeSkipsAndSeeksFailWithoutWrapping) {
    const uint8_t bytes[4] = {};
    ByteReader reader(bytes, sizeof bytes);
    EXPECT_TRUE(reader.Skip(2));
    EXPECT_FALSE(reader.Skip(SIZE_MAX));
    ByteReader other(bytes, sizeof bytes);
    EXPECT_TRUE(other.Seek(4));
    EXPECT_FALSE(other.Seek(5));
}

TEST(ByteReader, FixedStringStopsAtZeroOrFieldEnd) {
    const char unterminated[] = {'a', 'b', 'c', 'd'};
    ByteReader reader(unterminated, sizeof unterminated);
    EXPECT_EQ(reader.FixedString(3), "abc");
    EXPECT_EQ(reader.offset(), 3u);
    const char terminated[] = {'x', 0, 'y', 'z'};
    ByteReader second(terminated, sizeof terminated);
    EXPECT_EQ(second.FixedString(4), "x");
    EXPECT_EQ(second.offset(), 4u);
}

TEST(ByteWriter, RoundTripsThroughTheReader) {
    std::vector<uint8_t> out;
    ByteWriter writer(out);
    writer.U32(0xDABAFBEF);
    writer.FixedString("toolongname", 4);
    writer.I16(-2);
    writer.PatchU32(0, 7);
    ByteReader reader(out.data(), out.size());
    EXPECT_EQ(reader.U32(), 7u);
    EXPECT_EQ(reader.FixedString(4), "tool");
    EXPECT_EQ(reader.I16(), -2);
    EXPECT_TRUE(reader.ok());
}

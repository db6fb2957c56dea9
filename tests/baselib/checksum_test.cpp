#include "baselib/checksum.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

// The plain table algorithm, written out, as the reference for the fast path.
uint32_t ReferenceCrc(const uint8_t* data, size_t count) {
    uint32_t table[256];
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    uint32_t crc = 0;
    for (size_t i = 0; i < count; ++i) crc = (crc >> 8) ^ table[(crc ^ data[i]) & 0xFF];
    return crc;
}

TEST(Crc32, EmptyAndZeroByteGiveZero) {
    const uint8_t zero = 0;
    EXPECT_EQ(BL_Crc32(&zero, 0), 0u);
    EXPECT_EQ(BL_Crc32(nullptr, 0), 0u);
    EXPECT_EQ(BL_Crc32(nullptr, 5), 0u);
    EXPECT_EQ(BL_Crc32(&zero, 1), 0u);
}

TEST(Crc32, MatchesTheTableAlgorithm) {
    const std::string text = "123456789";
    // Initial value 0 and no final inversion: not the usual 0xCBF43926.
    EXPECT_EQ(BL_Crc32(text.data(), 9),
              ReferenceCrc(reinterpret_cast<const uint8_t*>(text.data()), 9));
    EXPECT_NE(BL_Crc32(text.data(), 9), 0xCBF43926u);
    std::vector<uint8_t> bytes(5000);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i * 31 + 7);
    for (size_t n : {size_t(1), size_t(2), size_t(15), size_t(64), size_t(4999), size_t(5000)}) {
        EXPECT_EQ(BL_Crc32(bytes.data(), uint32_t(n)), ReferenceCrc(bytes.data(), n)) << n;
    }
    const uint8_t one = 1;
    EXPECT_EQ(BL_Crc32(&one, 1), 0x77073096u);  // table entry 1
    EXPECT_EQ(BL_CheckCrc32(bytes.data(), 100, ReferenceCrc(bytes.data(), 100)), 1);
    EXPECT_EQ(BL_CheckCrc32(bytes.data(), 100, 0), 0);
}

TEST(XorChecksum, XorsAllBytesAndIgnoresEmptyInput) {
    const uint8_t bytes[] = {0x01, 0x02, 0x04, 0x80, 0xFF};
    EXPECT_EQ(BL_XorChecksum(bytes, 5), 0x01 ^ 0x02 ^ 0x04 ^ 0x80 ^ 0xFF);
    EXPECT_EQ(BL_XorChecksum(bytes, 2), 0x03);
    EXPECT_EQ(BL_XorChecksum(bytes, 0), 0);
    EXPECT_EQ(BL_XorChecksum(bytes, -3), 0);
    EXPECT_EQ(BL_XorChecksum(nullptr, 4), 0);
}

}  // namespace

// Loading pictures in the image data format.
#include "media/image_data.h"

#include <gtest/gtest.h>

#include <vector>

#include "baselib/byte_reader.h"
#include "media/colour.h"
#include "media/osgfx.h"
#include "tests/support/log_capture.h"

namespace vorlane::media {
namespace {

using vorlane::testing::LogCapture;

// A header with the given fields followed by `pixels`.
std::vector<uint8_t> MakeImage(uint8_t format, int16_t x, int16_t y, uint16_t w, uint16_t h,
                               uint16_t row_bytes, const std::vector<uint8_t>& pixels,
                               uint32_t header_length = 36) {
    std::vector<uint8_t> out;
    ByteWriter wr(out);
    wr.U32(header_length);
    wr.U8(2);
    wr.U8(format);
    wr.Zeros(6);
    wr.I16(x);
    wr.I16(y);
    wr.U16(w);
    wr.U16(h);
    wr.U16(row_bytes);
    wr.Zeros(8);
    wr.I16(int16_t(w / 2));
    wr.I16(int16_t(h / 2));
    wr.Zeros(2);
    if (header_length <= 4096)
        out.resize(header_length, 0);
    out.insert(out.end(), pixels.begin(), pixels.end());
    return out;
}

TEST(ImageData, Format16ExpandsFiveBitChannelsAndKeysBlack) {
    // Four pixels: black, pure red 31, green 1 with bit 5 set, blue 30.
    uint16_t words[4] = {0x0000, uint16_t(31 << 11), uint16_t(1 << 6 | 1 << 5), 30};
    std::vector<uint8_t> px;
    for (uint16_t w : words) px.push_back(uint8_t(w)), px.push_back(uint8_t(w >> 8));
    OSGFX s;
    ASSERT_EQ(s.InitFromImage(MakeImage(2, 0, 0, 4, 1, 8, px)), 0);
    EXPECT_EQ(s.GetPixel(0, 0), 0x00000000u);  // black is fully transparent
    EXPECT_EQ(s.GetPixel(1, 0), 0xFFFF0000u);
    EXPECT_EQ(s.GetPixel(2, 0), 0xFF000800u);  // bit 5 ignored, 1 -> 8
    EXPECT_EQ(s.GetPixel(3, 0), 0xFF0000F7u);  // 30 -> 247

    // Bit 5 alone is still "black": transparent.
    std::vector<uint8_t> only_bit5 = {0x20, 0x00};
    ASSERT_EQ(s.InitFromImage(MakeImage(2, 0, 0, 1, 1, 2, only_bit5)), 0);
    EXPECT_EQ(s.GetPixel(0, 0), 0u);
}

TEST(ImageData, FiveBitExpansionTable) {
    const uint8_t expected_start[] = {0, 8, 16, 25, 33};
    for (int v = 0; v < 5; ++v) EXPECT_EQ(Expand5(v), expected_start[v]);
    EXPECT_EQ(Expand5(30), 247);
    EXPECT_EQ(Expand5(31), 255);
    for (int v = 0; v < 32; ++v) EXPECT_EQ(Expand5(v), int(v * 255.0 / 31 + 0.5)) << v;
}

TEST(ImageData, Format4IgnoresByteZeroAndKeysBlack) {
    std::vector<uint8_t> px = {0x7F, 0, 0, 0, 0xAA, 0x10, 0x20, 0x30};
    OSGFX s;
    ASSERT_EQ(s.InitFromImage(MakeImage(4, 0, 0, 2, 1, 8, px)), 0);
    EXPECT_EQ(s.GetPixel(0, 0), 0u);  // black with junk in byte 0: still transparent
    EXPECT_EQ(s.GetPixel(1, 0), 0xFF102030u);
}

TEST(ImageData, Format5KeepsAlphaAndRowsFollowStride) {
    // 2x2 with 4 padding bytes per row.
    std::vector<uint8_t> px = {0x80, 1, 2, 3, 0x00, 4, 5, 6, 9, 9, 9, 9,
                               0xFF, 7, 8, 9, 0x01, 0, 0, 0, 9, 9, 9, 9};
    OSGFX s;
    ASSERT_EQ(s.InitFromImage(MakeImage(5, -3, 7, 2, 2, 12, px)), 0);
    EXPECT_EQ(s.width(), 2);
    EXPECT_EQ(s.height(), 2);
    EXPECT_EQ(s.x(), -3);
    EXPECT_EQ(s.y(), 7);
    EXPECT_EQ(s.ref_x(), 1);
    EXPECT_EQ(s.ref_y(), 1);
    EXPECT_EQ(s.GetPixel(0, 0), 0x80010203u);
    EXPECT_EQ(s.GetPixel(1, 0), 0x00040506u);
    EXPECT_EQ(s.GetPixel(0, 1), 0xFF070809u);
    EXPECT_EQ(s.GetPixel(1, 1), 0x01000000u);  // black with alpha stays as given
}

TEST(ImageData, HeaderLengthMovesThePixelStart) {
    std::vector<uint8_t> px(8, 0);
    px[4 + 1] = 0x11;  // pixel at header length 40
    OSGFX s;
    ASSERT_EQ(s.InitFromImage(
                  MakeImage(4, 0, 0, 1, 1, 4, std::vector<uint8_t>(px.begin() + 4, px.end()), 40)),
              0);
    EXPECT_EQ(s.GetPixel(0, 0), 0xFF110000u);
}

TEST(ImageData, RejectsBrokenInput) {
    LogCapture log;
    OSGFX s;
    std::vector<uint8_t> px(16, 0xFF);
    // Unsupported formats log the paste message.
    for (uint8_t f : {0, 1, 3, 6}) {
        EXPECT_EQ(s.InitFromImage(MakeImage(f, 0, 0, 1, 1, 4, px)), -1);
        EXPECT_TRUE(log.Has("OSGFX3D::Paste, Unsupported mode " + std::to_string(f)));
    }
    EXPECT_EQ(s.InitFromImage(MakeImage(5, 0, 0, 2, 2, 8, px)), 0);
    // One byte short of the last row.
    std::vector<uint8_t> full = MakeImage(5, 0, 0, 2, 2, 8, px);
    full.pop_back();
    EXPECT_EQ(s.InitFromImage(full), -1);
    EXPECT_TRUE(s.empty());
    // Truncated header, null data.
    EXPECT_EQ(s.InitFromImage(std::vector<uint8_t>(20, 0)), -1);
    EXPECT_EQ(s.InitFromImage(nullptr, 100), -1);
    // A zero row length would make one row stand for 65535 of them.
    EXPECT_EQ(s.InitFromImage(MakeImage(5, 0, 0, 1, 65535, 0, px)), -1);
    // A header length far past the end.
    EXPECT_EQ(s.InitFromImage(MakeImage(5, 0, 0, 1, 1, 4, px, 0xFFFFFFF0u)), -1);
    // Huge dimensions are refused before any allocation.
    ImageHeader header;
    EXPECT_EQ(ParseImageHeader(MakeImage(4, 0, 0, 16000, 16000, 64000, px), header),
              ImageError::kTooLarge);
}

TEST(ImageData, EncodeRoundTrips) {
    std::vector<uint32_t> pixels = {0x80102030u, 0xFF000000u, 0x00000000u, 0xFFFFFFFFu};
    OSGFX s;
    ASSERT_EQ(s.InitFromImage(EncodeImageData(pixels.data(), 2, 2, kImageFormat32Alpha)), 0);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(s.GetPixel(i % 2, i / 2), pixels[i]);
    ASSERT_EQ(s.InitFromImage(EncodeImageData(pixels.data(), 2, 2, kImageFormat32)), 0);
    EXPECT_EQ(s.GetPixel(0, 0), 0xFF102030u);
    EXPECT_EQ(s.GetPixel(1, 0), 0u);  // opaque black becomes the transparent colour
    EXPECT_EQ(s.GetPixel(1, 1), 0xFFFFFFFFu);
}

}  // namespace
}  // namespace vorlane::media

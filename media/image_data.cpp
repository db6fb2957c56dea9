#include "media/image_data.h"

#include "baselib/byte_reader.h"
#include "media/colour.h"

namespace vorlane::media {

uint32_t ImageBytesPerPixel(uint8_t pixel_format) {
    switch (pixel_format) {
        case kImageFormat16:
            return 2;
        case kImageFormat32:
        case kImageFormat32Alpha:
            return 4;
        default:
            return 0;
    }
}

ImageError ParseImageHeader(std::span<const uint8_t> bytes, ImageHeader& header) {
    ByteReader reader(bytes);
    header = {};
    header.header_length = reader.U32();
    reader.Skip(1);
    header.pixel_format = reader.U8();
    reader.Skip(6);
    header.x = reader.I16();
    header.y = reader.I16();
    header.width = reader.U16();
    header.height = reader.U16();
    header.row_bytes = reader.U16();
    reader.Skip(8);
    header.ref_x = reader.I16();
    header.ref_y = reader.I16();
    if (!reader.ok())
        return ImageError::kTruncatedHeader;

    uint32_t bpp = ImageBytesPerPixel(header.pixel_format);
    if (bpp == 0)
        return ImageError::kUnsupportedFormat;
    uint64_t row_pixels_bytes = uint64_t(header.width) * bpp;
    if (header.height > 0 && header.row_bytes < row_pixels_bytes)
        return ImageError::kBadRowLength;
    if (uint64_t(header.width) * header.height > kMaxImagePixels)
        return ImageError::kTooLarge;
    if (header.width == 0 || header.height == 0)
        return ImageError::kNone;
    uint64_t end = uint64_t(header.header_length) + uint64_t(header.height - 1) * header.row_bytes +
                   row_pixels_bytes;
    if (end > bytes.size())
        return ImageError::kTruncatedPixels;
    return ImageError::kNone;
}

void DecodeImagePixels(std::span<const uint8_t> bytes, const ImageHeader& header, uint32_t* out,
                       ptrdiff_t pitch) {
    for (uint32_t y = 0; y < header.height; ++y) {
        const uint8_t* row = bytes.data() + header.header_length + size_t(y) * header.row_bytes;
        uint32_t* dst = out + ptrdiff_t(y) * pitch;
        switch (header.pixel_format) {
            case kImageFormat16:
                for (uint32_t x = 0; x < header.width; ++x) {
                    uint32_t w = row[2 * x] | uint32_t(row[2 * x + 1]) << 8;
                    uint32_t r = (w >> 11) & 31, g = (w >> 6) & 31, b = w & 31;
                    dst[x] =
                        (r | g | b) == 0 ? 0u : ColourFromRGB(Expand5(r), Expand5(g), Expand5(b));
                }
                break;
            case kImageFormat32:
                for (uint32_t x = 0; x < header.width; ++x) {
                    const uint8_t* p = row + 4 * x;
                    uint32_t rgb = uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
                    dst[x] = rgb == 0 ? 0u : 0xFF000000u | rgb;
                }
                break;
            case kImageFormat32Alpha:
                for (uint32_t x = 0; x < header.width; ++x) {
                    const uint8_t* p = row + 4 * x;
                    dst[x] = ColourFromARGB(p[0], p[1], p[2], p[3]);
                }
                break;
            default:
                break;
        }
    }
}

std::vector<uint8_t> EncodeImageData(const uint32_t* pixels, int width, int height,
                                     uint8_t pixel_format) {
    std::vector<uint8_t> out;
    uint32_t bpp = ImageBytesPerPixel(pixel_format);
    if (bpp == 0 || width < 0 || height < 0 || width > 0xFFFF || height > 0xFFFF ||
        uint64_t(width) * bpp > 0xFFFF)
        return out;
    ByteWriter w(out);
    w.U32(kImageHeaderSize);
    w.U8(2);
    w.U8(pixel_format);
    w.Zeros(6);
    w.I16(0);
    w.I16(0);
    w.U16(uint16_t(width));
    w.U16(uint16_t(height));
    w.U16(uint16_t(width * bpp));
    w.Zeros(8);
    w.I16(int16_t(width / 2));
    w.I16(int16_t(height / 2));
    w.Zeros(2);
    for (int i = 0; i < width * height; ++i) {
        uint32_t c = pixels[i];
        if (pixel_format == kImageFormat16) {
            uint32_t v = (uint32_t(RedOf(c)) * 31 + 127) / 255 << 11 |
                         (uint32_t(GreenOf(c)) * 31 + 127) / 255 << 6 |
                         (uint32_t(BlueOf(c)) * 31 + 127) / 255;
            w.U16(uint16_t(v));
        } else {
            w.U8(pixel_format == kImageFormat32Alpha ? AlphaOf(c) : 0);
            w.U8(RedOf(c));
            w.U8(GreenOf(c));
            w.U8(BlueOf(c));
        }
    }
    return out;
}

}  // namespace vorlane::media

// The image data format: the byte layout of every picture the program loads
// from memory (archive graphics, textures, font glyphs).
//
//   offset size field
//        0    4 header length (pixel data starts here; 36 in images we write)
//        4    1 2 in images we write (not read)
//        5    1 pixel format: 2 = 16-bit 5:5:5 at bits 11/6/0, 4 = 32-bit xRGB,
//                             5 = 32-bit ARGB (bytes a, r, g, b)
//       12    2 x of the image's rectangle (signed)      14 2 y (signed)
//       16    2 width                                      18 2 height
//       20    2 bytes per row
//       30    2 reference point x (signed)                32 2 reference point y
//
// Formats 2 and 4 make black fully transparent and every other colour opaque.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace vorlane::media {

constexpr uint32_t kImageHeaderSize = 36;
// Largest picture accepted from bytes (pixels), so a header cannot ask for an
// allocation far beyond anything the program draws.
constexpr uint32_t kMaxImagePixels = 4096u * 4096u;

enum ImagePixelFormat : uint8_t {
    kImageFormat16 = 2,
    kImageFormat32 = 4,
    kImageFormat32Alpha = 5,
};

struct ImageHeader {
    uint32_t header_length = 0;
    uint8_t pixel_format = 0;
    int16_t x = 0;
    int16_t y = 0;
    uint16_t width = 0;
    uint16_t height = 0;
    uint16_t row_bytes = 0;
    int16_t ref_x = 0;
    int16_t ref_y = 0;
};

enum class ImageError {
    kNone,
    kTruncatedHeader,    // fewer bytes than the header fields
    kUnsupportedFormat,  // pixel format other than 2, 4, 5
    kBadRowLength,       // bytes per row shorter than a row of pixels
    kTooLarge,           // more pixels than kMaxImagePixels
    kTruncatedPixels,    // the rows reach past the end of the bytes
};

// Reads and checks the header against the bytes present. On success every row
// of pixels lies inside `bytes`.
ImageError ParseImageHeader(std::span<const uint8_t> bytes, ImageHeader& header);

// Bytes per pixel of a drawable format (0 for others).
uint32_t ImageBytesPerPixel(uint8_t pixel_format);

// Converts the pixels of a checked image into A8R8G8B8 rows `pitch` pixels apart.
void DecodeImagePixels(std::span<const uint8_t> bytes, const ImageHeader& header, uint32_t* out,
                       ptrdiff_t pitch);

// Writes an image of A8R8G8B8 pixels in format 4 or 5 (or 2), with a 36-byte
// header, rectangle at (0, 0) and the reference point at the centre.
std::vector<uint8_t> EncodeImageData(const uint32_t* pixels, int width, int height,
                                     uint8_t pixel_format);

}  // namespace vorlane::media

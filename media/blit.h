// Pixel loops of the software renderer.
//
// Every surface is A8R8G8B8, one uint32_t per pixel, rows `pitch` pixels apart.
// The callers (OSGFX) clip first: these loops trust their rectangles. Each
// operation exists twice: a plain reference loop that is obviously right, and
// a fast loop written for the vectoriser; the tests hold them to identical
// results.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vorlane::media {

enum class BlitOp {
    kCopy,      // opaque: the source replaces the destination
    kKey,       // colour key: source pixels with alpha 0 are skipped, others copied
    kAlpha,     // source-over blend by the source's alpha
    kModulate,  // source multiplied channel-wise by a colour (alpha too), then blended
};

// Rows of a blit. Source and destination must not overlap unless op is kCopy.
struct BlitRect {
    uint32_t* dst;
    ptrdiff_t dst_pitch;
    const uint32_t* src;
    ptrdiff_t src_pitch;
    int width;
    int height;
};

// Fast paths.
void Blit(BlitOp op, const BlitRect& rect, uint32_t modulate = 0xFFFFFFFFu);
void Fill(uint32_t* dst, ptrdiff_t pitch, int width, int height, uint32_t colour);
void BlitRow(BlitOp op, uint32_t* dst, const uint32_t* src, int count, uint32_t modulate);

namespace reference {
void Blit(BlitOp op, const BlitRect& rect, uint32_t modulate = 0xFFFFFFFFu);
void Fill(uint32_t* dst, ptrdiff_t pitch, int width, int height, uint32_t colour);
// One pixel of the source-over blend: each channel round((s*a + d*(255-a)) / 255),
// the alpha channel blended as if the source alpha channel were 255.
uint32_t BlendPixel(uint32_t dst, uint32_t src);
// Channel-wise product round(s * m / 255).
uint32_t ModulatePixel(uint32_t src, uint32_t modulate);
}  // namespace reference

}  // namespace vorlane::media

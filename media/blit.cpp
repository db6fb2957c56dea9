#include "media/blit.h"

#include <algorithm>
#include <cstring>

namespace vorlane::media {
namespace {

// Two 8-bit channels sit in one 32-bit word, 16 bits apart (0x00AA00BB). Both
// products s*a + d*(255-a) + 128 stay below 65536, so one 32-bit multiply works
// on both lanes without carries, and (x + (x >> 8)) >> 8 divides each lane by 255
// with exact rounding.
inline uint32_t DivLanes255(uint32_t x) {
    return ((x + ((x >> 8) & 0x00FF00FFu)) >> 8) & 0x00FF00FFu;
}

inline uint32_t BlendFast(uint32_t d, uint32_t s) {
    uint32_t a = s >> 24;
    uint32_t ia = 255 - a;
    uint32_t s_rb = s & 0x00FF00FFu;
    uint32_t d_rb = d & 0x00FF00FFu;
    uint32_t s_ag = ((s >> 8) & 0x000000FFu) | 0x00FF0000u;  // alpha lane blends 255
    uint32_t d_ag = (d >> 8) & 0x00FF00FFu;
    uint32_t rb = DivLanes255(s_rb * a + d_rb * ia + 0x00800080u);
    uint32_t ag = DivLanes255(s_ag * a + d_ag * ia + 0x00800080u);
    return rb | (ag << 8);
}

// Channel-wise s * m / 255 with exact rounding, two channels per lane word.
inline uint32_t ModulateFast(uint32_t s, uint32_t m) {
    uint32_t rb = (s & 0xFFu) * (m & 0xFFu) | (((s >> 16) & 0xFFu) * ((m >> 16) & 0xFFu)) << 16;
    uint32_t ag = ((s >> 8) & 0xFFu) * ((m >> 8) & 0xFFu) | ((s >> 24) * (m >> 24)) << 16;
    return DivLanes255(rb + 0x00800080u) | DivLanes255(ag + 0x00800080u) << 8;
}

// The row loops are cloned for AVX2 and picked at load time; each body is
// branch-free so the vectoriser turns it into selects and lane arithmetic.
// The thread sanitizer's runtime is not up yet when the loader picks a clone,
// so its builds keep the plain loops.
#if defined(__SANITIZE_THREAD__)
#define VORLANE_ROW_CLONES
#else
#define VORLANE_ROW_CLONES __attribute__((target_clones("avx2", "default")))
#endif
VORLANE_ROW_CLONES void AlphaRowFast(uint32_t* __restrict dst, const uint32_t* __restrict src,
                                     int count) {
    for (int i = 0; i < count; ++i) dst[i] = BlendFast(dst[i], src[i]);
}

VORLANE_ROW_CLONES void KeyRowFast(uint32_t* __restrict dst, const uint32_t* __restrict src,
                                   int count) {
    for (int i = 0; i < count; ++i) dst[i] = (src[i] >> 24) != 0 ? src[i] : dst[i];
}

VORLANE_ROW_CLONES void ModulateRowFast(uint32_t* __restrict dst, const uint32_t* __restrict src,
                                        int count, uint32_t m) {
    for (int i = 0; i < count; ++i) dst[i] = BlendFast(dst[i], ModulateFast(src[i], m));
}

VORLANE_ROW_CLONES void FillRowFast(uint32_t* __restrict dst, int count, uint32_t colour) {
    for (int i = 0; i < count; ++i) dst[i] = colour;
}

}  // namespace

void BlitRow(BlitOp op, uint32_t* dst, const uint32_t* src, int count, uint32_t modulate) {
    if (count <= 0)
        return;
    switch (op) {
        case BlitOp::kCopy:
            std::memmove(dst, src, size_t(count) * 4);
            break;
        case BlitOp::kKey:
            KeyRowFast(dst, src, count);
            break;
        case BlitOp::kAlpha:
            AlphaRowFast(dst, src, count);
            break;
        case BlitOp::kModulate:
            if (modulate == 0xFFFFFFFFu) {
                AlphaRowFast(dst, src, count);
            } else {
                ModulateRowFast(dst, src, count, modulate);
            }
            break;
    }
}

void Blit(BlitOp op, const BlitRect& r, uint32_t modulate) {
    if (r.width <= 0 || r.height <= 0)
        return;
    if (op == BlitOp::kCopy && r.dst_pitch == r.width && r.src_pitch == r.width) {
        std::memmove(r.dst, r.src, size_t(r.width) * size_t(r.height) * 4);
        return;
    }
    // Copying a surface part onto itself downwards must walk the rows bottom-up.
    bool backwards = op == BlitOp::kCopy && r.dst > r.src;
    for (int y = 0; y < r.height; ++y) {
        int row = backwards ? r.height - 1 - y : y;
        BlitRow(op, r.dst + row * r.dst_pitch, r.src + row * r.src_pitch, r.width, modulate);
    }
}

void Fill(uint32_t* dst, ptrdiff_t pitch, int width, int height, uint32_t colour) {
    if (width <= 0 || height <= 0)
        return;
    if (pitch == width) {
        FillRowFast(dst, width * height, colour);
        return;
    }
    for (int y = 0; y < height; ++y) FillRowFast(dst + y * pitch, width, colour);
}

namespace reference {

uint32_t BlendPixel(uint32_t dst, uint32_t src) {
    unsigned a = src >> 24;
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        unsigned s = shift == 24 ? 255 : (src >> shift) & 255;
        unsigned d = (dst >> shift) & 255;
        unsigned v = (2 * (s * a + d * (255 - a)) + 255) / 510;  // round(x / 255)
        out |= uint32_t(v) << shift;
    }
    return out;
}

uint32_t ModulatePixel(uint32_t src, uint32_t modulate) {
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        unsigned v = (2 * ((src >> shift) & 255) * ((modulate >> shift) & 255) + 255) / 510;
        out |= uint32_t(v) << shift;
    }
    return out;
}

void Blit(BlitOp op, const BlitRect& r, uint32_t modulate) {
    if (r.width <= 0 || r.height <= 0)
        return;
    bool backwards = op == BlitOp::kCopy && r.dst > r.src;
    for (int yy = 0; yy < r.height; ++yy) {
        int y = backwards ? r.height - 1 - yy : yy;
        for (int xx = 0; xx < r.width; ++xx) {
            int x = backwards ? r.width - 1 - xx : xx;
            uint32_t s = r.src[y * r.src_pitch + x];
            uint32_t& d = r.dst[y * r.dst_pitch + x];
            switch (op) {
                case BlitOp::kCopy:
                    d = s;
                    break;
                case BlitOp::kKey:
                    if ((s >> 24) != 0)
                        d = s;
                    break;
                case BlitOp::kAlpha:
                    d = BlendPixel(d, s);
                    break;
                case BlitOp::kModulate:
                    d = BlendPixel(d, ModulatePixel(s, modulate));
                    break;
            }
        }
    }
}

void Fill(uint32_t* dst, ptrdiff_t pitch, int width, int height, uint32_t colour) {
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) dst[y * pitch + x] = colour;
}

}  // namespace reference
}  // namespace vorlane::media

// Surface drawing: paste modes pixel by pixel, fast loops against the
// reference loops, clipping at every edge.
#include "media/osgfx.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "media/blit.h"
#include "media/colour.h"
#include "tests/support/log_capture.h"

namespace vorlane::media {
namespace {

using vorlane::testing::LogCapture;

// A surface filled with one colour.
void Filled(OSGFX& s, int w, int h, uint32_t colour) {
    ASSERT_EQ(s.Create(w, h), 0);
    s.Clear(colour);
}

TEST(Blit, FastLoopsMatchReferenceOnRandomPixels) {
    std::mt19937 rng(7);
    // Alpha values weighted towards the edge cases 0 and 255.
    auto pixel = [&] {
        uint32_t c = rng();
        switch (rng() % 4) {
            case 0:
                return c & 0x00FFFFFFu;
            case 1:
                return c | 0xFF000000u;
            default:
                return c;
        }
    };
    for (BlitOp op : {BlitOp::kCopy, BlitOp::kKey, BlitOp::kAlpha, BlitOp::kModulate}) {
        for (int width : {1, 3, 7, 8, 9, 31, 64, 100}) {
            const int height = 5, pitch = width + 3;
            std::vector<uint32_t> src(size_t(pitch) * height), dst(src.size());
            for (auto& p : src) p = pixel();
            for (auto& p : dst) p = pixel();
            std::vector<uint32_t> fast = dst, ref = dst;
            uint32_t mod = op == BlitOp::kModulate ? pixel() : 0xFFFFFFFFu;
            Blit(op, {fast.data(), pitch, src.data(), pitch, width, height}, mod);
            reference::Blit(op, {ref.data(), pitch, src.data(), pitch, width, height}, mod);
            ASSERT_EQ(fast, ref) << "op " << int(op) << " width " << width;
        }
    }
}

TEST(Blit, BlendIsExactAtTheAlphaExtremesAndRoundsInBetween) {
    EXPECT_EQ(reference::BlendPixel(0xFF123456u, 0x00ABCDEFu), 0xFF123456u);
    EXPECT_EQ(reference::BlendPixel(0x00123456u, 0xFFABCDEFu), 0xFFABCDEFu);
    // Half white over black: 255 * 128 / 255 = 128; alpha 128 over 0.
    EXPECT_EQ(reference::BlendPixel(0x00000000u, 0x80FFFFFFu), 0x80808080u);
    // Alpha over an opaque destination stays opaque.
    EXPECT_EQ(reference::BlendPixel(0xFF000000u, 0x40FFFFFFu) >> 24, 0xFFu);
    // Exhaustive single-channel check of the fast path against round(x / 255).
    for (uint32_t a = 0; a < 256; a += 5) {
        for (uint32_t s = 0; s < 256; s += 3) {
            uint32_t src = a << 24 | s, dst = 0xFF000000u | (255 - s);
            uint32_t out = dst;
            Blit(BlitOp::kAlpha, {&out, 1, &src, 1, 1, 1});
            uint32_t expect = (s * a + (255 - s) * (255 - a) + 127) / 255;
            ASSERT_EQ(out & 0xFF, expect) << a << " " << s;
        }
    }
}

TEST(Paste, ModesPixelByPixel) {
    OSGFX src;
    ASSERT_EQ(src.Create(4, 1), 0);
    uint32_t* p = src.pixels();
    p[0] = 0x00000000u;  // transparent black
    p[1] = 0xFF112233u;  // opaque
    p[2] = 0x80FFFFFFu;  // half white
    p[3] = 0x00FF0000u;  // transparent but coloured
    const uint32_t kBack = 0xFF000000u;

    OSGFX dst;
    Filled(dst, 4, 1, kBack);
    ASSERT_EQ(src.PasteAt(&dst, 0, 0, kPasteOpaque), 0);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(dst.GetPixel(i, 0), p[i]);

    dst.Clear(kBack);
    src.PasteAt(&dst, 0, 0, kPasteTransparent);
    EXPECT_EQ(dst.GetPixel(0, 0), kBack);
    EXPECT_EQ(dst.GetPixel(1, 0), 0xFF112233u);
    EXPECT_EQ(dst.GetPixel(2, 0), 0x80FFFFFFu);  // any alpha but 0 is copied
    EXPECT_EQ(dst.GetPixel(3, 0), kBack);

    dst.Clear(kBack);
    src.PasteAt(&dst, 0, 0, kPasteAlpha);
    EXPECT_EQ(dst.GetPixel(0, 0), kBack);
    EXPECT_EQ(dst.GetPixel(1, 0), 0xFF112233u);
    EXPECT_EQ(dst.GetPixel(2, 0), 0xFF808080u);
    EXPECT_EQ(dst.GetPixel(3, 0), kBack);

    // Alpha mask 196: the opaque pixel is faded to 196/255.
    dst.Clear(kBack);
    src.PasteAt(&dst, 0, 0, kPasteAlphaMask, ColourAlphaMask(196));
    EXPECT_EQ(dst.GetPixel(1, 0), reference::BlendPixel(kBack, 0xC4112233u));
    EXPECT_EQ(dst.GetPixel(0, 0), kBack);
    // A tint colour multiplies the channels (white glyph in red gives red).
    OSGFX white;
    Filled(white, 1, 1, 0xFFFFFFFFu);
    dst.Clear(kBack);
    white.PasteAt(&dst, 2, 0, kPasteAlphaMask, 0xFFFF0000u);
    EXPECT_EQ(dst.GetPixel(2, 0), 0xFFFF0000u);
}

TEST(Paste, UsesTheSurfacePosition) {
    OSGFX src, dst;
    Filled(src, 2, 2, 0xFFAAAAAAu);
    Filled(dst, 5, 5, 0xFF000000u);
    src.SetPos(3, 1);
    src.Paste(&dst);
    EXPECT_EQ(dst.GetPixel(3, 1), 0xFFAAAAAAu);
    EXPECT_EQ(dst.GetPixel(4, 2), 0xFFAAAAAAu);
    EXPECT_EQ(dst.GetPixel(2, 1), 0xFF000000u);
}

// Pasting a surface at every position around and across each edge of the
// target: exactly the overlapping pixels change, and nothing else.
TEST(Paste, ClipsAtEveryEdge) {
    const int W = 7, H = 5, w = 3, h = 4;
    OSGFX src;
    ASSERT_EQ(src.Create(w, h), 0);
    for (int i = 0; i < w * h; ++i) src.pixels()[i] = 0xFF000000u | uint32_t(i + 1);
    for (uint32_t mode : {kPasteOpaque, kPasteTransparent, kPasteAlpha, kPasteAlphaMask}) {
        for (int y = -h - 1; y <= H + 1; ++y) {
            for (int x = -w - 1; x <= W + 1; ++x) {
                OSGFX dst;
                Filled(dst, W, H, 0xFF777777u);
                ASSERT_EQ(src.PasteAt(&dst, x, y, mode), 0);
                for (int ty = 0; ty < H; ++ty) {
                    for (int tx = 0; tx < W; ++tx) {
                        int sx = tx - x, sy = ty - y;
                        bool inside = sx >= 0 && sy >= 0 && sx < w && sy < h;
                        uint32_t expect = inside ? src.GetPixel(sx, sy) : 0xFF777777u;
                        ASSERT_EQ(dst.GetPixel(tx, ty), expect)
                            << "mode " << mode << " at " << x << "," << y;
                    }
                }
            }
        }
    }
    // Extreme positions do not wrap around into the surface.
    OSGFX dst;
    Filled(dst, W, H, 0);
    EXPECT_EQ(src.PasteAt(&dst, INT32_MAX - 1, INT32_MAX - 1), 0);
    EXPECT_EQ(src.PasteAt(&dst, INT32_MIN, INT32_MIN), 0);
    for (int i = 0; i < W * H; ++i) EXPECT_EQ(dst.pixels()[i], 0u);
}

TEST(Paste, ScaledFillsTheBoxAndClips) {
    OSGFX src, dst;
    ASSERT_EQ(src.Create(2, 1), 0);
    src.pixels()[0] = 0xFF0000FFu;
    src.pixels()[1] = 0xFF00FF00u;
    Filled(dst, 6, 3, 0);
    ASSERT_EQ(src.PasteScaled(&dst, -1, 1, 6, 4), 0);
    // Box columns -1..4 map to source 0,0,0,1,1,1; rows 1..2 are inside.
    EXPECT_EQ(dst.GetPixel(0, 1), 0xFF0000FFu);
    EXPECT_EQ(dst.GetPixel(1, 2), 0xFF0000FFu);
    EXPECT_EQ(dst.GetPixel(2, 1), 0xFF00FF00u);
    EXPECT_EQ(dst.GetPixel(4, 2), 0xFF00FF00u);
    EXPECT_EQ(dst.GetPixel(5, 1), 0u);
    EXPECT_EQ(dst.GetPixel(0, 0), 0u);
}

TEST(Surface, FillCopyPartAndLinesClip) {
    OSGFX s;
    Filled(s, 4, 3, 0);
    s.DirectFill(-2, -2, 4, 3, 0xFF111111u);  // covers (0..1, 0)
    EXPECT_EQ(s.GetPixel(0, 0), 0xFF111111u);
    EXPECT_EQ(s.GetPixel(1, 0), 0xFF111111u);
    EXPECT_EQ(s.GetPixel(2, 0), 0u);
    EXPECT_EQ(s.GetPixel(0, 1), 0u);
    s.DirectFill(3, 2, 100, 100, 0xFF222222u);
    EXPECT_EQ(s.GetPixel(3, 2), 0xFF222222u);
    EXPECT_EQ(s.DirectFill(0, 0, -5, 2, 1), 0);  // negative size draws nothing

    OSGFX src;
    ASSERT_EQ(src.Create(3, 3), 0);
    for (int i = 0; i < 9; ++i) src.pixels()[i] = uint32_t(0xFF000000u + i);
    Filled(s, 4, 3, 0);
    // Source rectangle sticking out of the source on the top-left and the
    // target on the right.
    s.CopyPart(src, -1, -1, 3, 3, 2, 0);
    // Only source (0..1, 0..1) exists; it lands at (3, 1)...(4, 2): x 4 clipped.
    EXPECT_EQ(s.GetPixel(3, 1), src.GetPixel(0, 0));
    EXPECT_EQ(s.GetPixel(3, 2), src.GetPixel(0, 1));
    EXPECT_EQ(s.GetPixel(2, 1), 0u);
    EXPECT_EQ(s.GetPixel(3, 0), 0u);

    // Copying a part of a surface onto itself, overlapping, keeps the data.
    OSGFX row;
    ASSERT_EQ(row.Create(5, 2), 0);
    for (int i = 0; i < 10; ++i) row.pixels()[i] = uint32_t(i);
    row.CopyPart(row, 0, 0, 4, 1, 1, 1);
    EXPECT_EQ(row.GetPixel(1, 1), 0u);
    EXPECT_EQ(row.GetPixel(4, 1), 3u);

    Filled(s, 4, 3, 0);
    EXPECT_EQ(s.DrawLine(-10, 1, 10, 1, 0xFFFFFFFFu), 0);
    for (int x = 0; x < 4; ++x) EXPECT_EQ(s.GetPixel(x, 1), 0xFFFFFFFFu);
    EXPECT_EQ(s.GetPixel(0, 0), 0u);
    EXPECT_EQ(s.DrawLine(0, 0, 3, 2, 0xFF00FF00u), 0);
    EXPECT_EQ(s.GetPixel(0, 0), 0xFF00FF00u);
    EXPECT_EQ(s.GetPixel(3, 2), 0xFF00FF00u);
    EXPECT_EQ(s.DrawLine(INT32_MIN, 0, INT32_MAX, 0, 1), -1);
}

TEST(Surface, CopyLockAndStubs) {
    LogCapture log;
    OSGFX a, b;
    Filled(a, 3, 2, 0xFF010203u);
    a.SetPos(5, 6);
    ASSERT_EQ(b.Copy(a), 0);
    EXPECT_EQ(b.width(), 3);
    EXPECT_EQ(b.x(), 5);
    EXPECT_EQ(b.GetPixel(2, 1), 0xFF010203u);

    ptrdiff_t pitch = 0;
    uint32_t* px = b.BeginDraw(&pitch);
    ASSERT_NE(px, nullptr);
    EXPECT_EQ(pitch, 3);
    EXPECT_TRUE(b.locked());
    b.EndDraw();
    EXPECT_FALSE(b.locked());
    b.EndDraw();  // unbalanced end is harmless
    OSGFX empty;
    EXPECT_EQ(empty.BeginDraw(), nullptr);
    EXPECT_EQ(empty.PasteAt(&b, 0, 0), -1);
    EXPECT_EQ(a.PasteAt(nullptr, 0, 0), -1);

    EXPECT_EQ(a.SetTransCol(0), -1);
    EXPECT_TRUE(log.Has("OSGFX3D::SetTransCol: not implemented !"));
    a.RestoreLostDDSurface();
    EXPECT_TRUE(log.Has("OSGFX3D::RestoreLostDDSurface: DO NOT USE THIS FOR DIRECTX >= 8.0 !"));

    EXPECT_EQ(a.Create(-1, 5), -1);
    EXPECT_EQ(a.Create(OSGFX::kMaxSide + 1, 1), -1);
    OSGFX texture(kOsgfxTextureFlag);
    EXPECT_EQ(texture.kind(), OSGFX::kKindTexture);
    EXPECT_EQ(a.kind(), OSGFX::kKindSurface);
}

TEST(Surface, AlphaPasteOntoItselfReadsTheOriginal) {
    OSGFX s;
    ASSERT_EQ(s.Create(3, 1), 0);
    s.pixels()[0] = 0xFF0000FFu;
    s.pixels()[1] = 0x80FF0000u;
    s.pixels()[2] = 0xFF000000u;
    std::vector<uint32_t> before(s.pixels(), s.pixels() + 3);
    s.PasteAt(&s, 1, 0, kPasteAlpha);
    EXPECT_EQ(s.GetPixel(1, 0), reference::BlendPixel(before[1], before[0]));
    EXPECT_EQ(s.GetPixel(2, 0), reference::BlendPixel(before[2], before[1]));
}

TEST(Surface, ScaledPasteOntoItselfReadsTheOriginal) {
    OSGFX s;
    ASSERT_EQ(s.Create(2, 2), 0);
    s.pixels()[0] = 0xFF000001u;
    s.pixels()[1] = 0xFF000002u;
    s.pixels()[2] = 0xFF000003u;
    s.pixels()[3] = 0xFF000004u;
    // Doubling the whole surface onto itself: every target pixel is the
    // original top-left pixel.
    ASSERT_EQ(s.PasteScaled(&s, 0, 0, 4, 4), 0);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(s.pixels()[i], 0xFF000001u) << i;
}

}  // namespace
}  // namespace vorlane::media

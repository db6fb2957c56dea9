// Blitting speed of the software renderer beside yardsticks in the same run:
// memcpy for the opaque copy, SDL2's own blitter for every operation, and
// pixman when it is installed.
#include <SDL.h>
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cstring>
#include <random>
#include <vector>

#include "media/osgfx.h"

namespace vorlane::media {
namespace {

constexpr int kFrameW = 1024, kFrameH = 768;

// A surface of random colours; alpha spread over 0..255 when `alpha`.
void FillRandom(OSGFX& s, int w, int h, bool alpha, uint32_t seed) {
    s.Create(w, h);
    std::mt19937 rng(seed);
    for (int i = 0; i < w * h; ++i) {
        uint32_t c = rng();
        s.pixels()[i] = alpha ? c : (c | 0xFF000000u);
    }
}

struct SdlSurfaces {
    SdlSurfaces(OSGFX& src, OSGFX& dst) {
        s = SDL_CreateRGBSurfaceWithFormatFrom(src.pixels(), src.width(), src.height(), 32,
                                               int(src.pitch() * 4), SDL_PIXELFORMAT_ARGB8888);
        d = SDL_CreateRGBSurfaceWithFormatFrom(dst.pixels(), dst.width(), dst.height(), 32,
                                               int(dst.pitch() * 4), SDL_PIXELFORMAT_ARGB8888);
    }
    ~SdlSurfaces() {
        SDL_FreeSurface(s);
        SDL_FreeSurface(d);
    }
    SDL_Surface* s;
    SDL_Surface* d;
};

struct PixmanImages {
    PixmanImages(OSGFX& src, OSGFX& dst) {
        s = pixman_image_create_bits(PIXMAN_a8r8g8b8, src.width(), src.height(), src.pixels(),
                                     int(src.pitch() * 4));
        d = pixman_image_create_bits(PIXMAN_a8r8g8b8, dst.width(), dst.height(), dst.pixels(),
                                     int(dst.pitch() * 4));
    }
    ~PixmanImages() {
        pixman_image_unref(s);
        pixman_image_unref(d);
    }
    pixman_image_t* s;
    pixman_image_t* d;
};

// [SECTION] opaque copy of a frame

void BM_CopyFrame_Memcpy(benchmark::State& state) {
    OSGFX src, dst;
    FillRandom(src, kFrameW, kFrameH, false, 1);
    dst.Create(kFrameW, kFrameH);
    for (auto _ : state) {
        std::memcpy(dst.pixels(), src.pixels(), size_t(kFrameW) * kFrameH * 4);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_CopyFrame_Memcpy)->Unit(benchmark::kMicrosecond);

void BM_CopyFrame_Osgfx(benchmark::State& state) {
    OSGFX src, dst;
    FillRandom(src, kFrameW, kFrameH, false, 1);
    dst.Create(kFrameW, kFrameH);
    for (auto _ : state) {
        src.PasteAt(&dst, 0, 0, kPasteOpaque);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_CopyFrame_Osgfx)->Unit(benchmark::kMicrosecond);

void BM_CopyFrame_SDL(benchmark::State& state) {
    OSGFX src, dst;
    FillRandom(src, kFrameW, kFrameH, false, 1);
    dst.Create(kFrameW, kFrameH);
    SdlSurfaces sdl(src, dst);
    SDL_SetSurfaceBlendMode(sdl.s, SDL_BLENDMODE_NONE);
    for (auto _ : state) {
        SDL_BlitSurface(sdl.s, nullptr, sdl.d, nullptr);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_CopyFrame_SDL)->Unit(benchmark::kMicrosecond);

// [SECTION] fill of a frame

void BM_FillFrame_Osgfx(benchmark::State& state) {
    OSGFX dst;
    dst.Create(kFrameW, kFrameH);
    uint32_t colour = 0xFF102030u;
    for (auto _ : state) {
        dst.DirectFill(0, 0, kFrameW, kFrameH, colour++);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_FillFrame_Osgfx)->Unit(benchmark::kMicrosecond);

void BM_FillFrame_SDL(benchmark::State& state) {
    OSGFX src, dst;
    src.Create(1, 1);
    dst.Create(kFrameW, kFrameH);
    SdlSurfaces sdl(src, dst);
    uint32_t colour = 0xFF102030u;
    for (auto _ : state) {
        SDL_FillRect(sdl.d, nullptr, colour++);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_FillFrame_SDL)->Unit(benchmark::kMicrosecond);

// [SECTION] alpha blits: whole frame, 64 x 32, one glyph

void AlphaOsgfx(benchmark::State& state, int w, int h, uint32_t mode,
                uint32_t colour = 0xFFFFFFFFu) {
    OSGFX src, dst;
    FillRandom(src, w, h, true, 2);
    FillRandom(dst, kFrameW, kFrameH, false, 3);
    for (auto _ : state) {
        src.PasteAt(&dst, 7, 5, mode, colour);
        benchmark::ClobberMemory();
    }
}

void AlphaSDL(benchmark::State& state, int w, int h) {
    OSGFX src, dst;
    FillRandom(src, w, h, true, 2);
    FillRandom(dst, kFrameW, kFrameH, false, 3);
    SdlSurfaces sdl(src, dst);
    SDL_SetSurfaceBlendMode(sdl.s, SDL_BLENDMODE_BLEND);
    SDL_Rect at{7, 5, w, h};
    for (auto _ : state) {
        SDL_Rect r = at;
        SDL_BlitSurface(sdl.s, nullptr, sdl.d, &r);
        benchmark::ClobberMemory();
    }
}

void BM_AlphaFrame_Osgfx(benchmark::State& s) {
    AlphaOsgfx(s, kFrameW - 8, kFrameH - 6, kPasteAlpha);
}
void BM_AlphaFrame_SDL(benchmark::State& s) {
    AlphaSDL(s, kFrameW - 8, kFrameH - 6);
}
void BM_Alpha64x32_Osgfx(benchmark::State& s) {
    AlphaOsgfx(s, 64, 32, kPasteAlpha);
}
void BM_Alpha64x32_SDL(benchmark::State& s) {
    AlphaSDL(s, 64, 32);
}
void BM_Glyph8x14_Osgfx(benchmark::State& s) {
    AlphaOsgfx(s, 8, 14, kPasteAlpha);
}
void BM_Glyph8x14Key_Osgfx(benchmark::State& s) {
    AlphaOsgfx(s, 8, 14, kPasteTransparent);
}
void BM_Glyph8x14Tint_Osgfx(benchmark::State& s) {
    AlphaOsgfx(s, 8, 14, kPasteAlphaMask, 0xFF40C0FFu);
}
void BM_Glyph8x14_SDL(benchmark::State& s) {
    AlphaSDL(s, 8, 14);
}
BENCHMARK(BM_AlphaFrame_Osgfx)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AlphaFrame_SDL)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Alpha64x32_Osgfx);
BENCHMARK(BM_Alpha64x32_SDL);
BENCHMARK(BM_Glyph8x14_Osgfx);
BENCHMARK(BM_Glyph8x14Key_Osgfx);
BENCHMARK(BM_Glyph8x14Tint_Osgfx);
BENCHMARK(BM_Glyph8x14_SDL);

void PixmanComposite(benchmark::State& state, int w, int h, pixman_op_t op, bool alpha) {
    OSGFX src, dst;
    FillRandom(src, w, h, alpha, 2);
    FillRandom(dst, kFrameW, kFrameH, false, 3);
    PixmanImages px(src, dst);
    int x = w == kFrameW ? 0 : 7, y = h == kFrameH ? 0 : 5;
    for (auto _ : state) {
        pixman_image_composite32(op, px.s, nullptr, px.d, 0, 0, 0, 0, x, y, w, h);
        benchmark::ClobberMemory();
    }
}
void BM_CopyFrame_Pixman(benchmark::State& s) {
    PixmanComposite(s, kFrameW, kFrameH, PIXMAN_OP_SRC, false);
}
void BM_AlphaFrame_Pixman(benchmark::State& s) {
    PixmanComposite(s, kFrameW - 8, kFrameH - 6, PIXMAN_OP_OVER, true);
}
void BM_Alpha64x32_Pixman(benchmark::State& s) {
    PixmanComposite(s, 64, 32, PIXMAN_OP_OVER, true);
}
void BM_Glyph8x14_Pixman(benchmark::State& s) {
    PixmanComposite(s, 8, 14, PIXMAN_OP_OVER, true);
}
void BM_FillFrame_Pixman(benchmark::State& state) {
    OSGFX dst;
    dst.Create(kFrameW, kFrameH);
    uint32_t colour = 0xFF102030u;
    for (auto _ : state) {
        pixman_fill(dst.pixels(), int(dst.pitch()), 32, 0, 0, kFrameW, kFrameH, colour++);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_CopyFrame_Pixman)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FillFrame_Pixman)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AlphaFrame_Pixman)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Alpha64x32_Pixman);
BENCHMARK(BM_Glyph8x14_Pixman);

}  // namespace
}  // namespace vorlane::media

BENCHMARK_MAIN();

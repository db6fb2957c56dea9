// Plays arbitrary bytes as a pvf video the way the player does: libtheora
// decodes each frame record and the colour conversion writes the picture into
// a bound surface, whose size comes from a spare header byte so pictures are
// both cut and left short. Every blit must leave opaque pixels.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "baselib/timer.h"
#include "media/osgfx.h"
#include "video/video_codec.h"
#include "video/videosys.h"

namespace {
vorlane::baselib::ManualClock g_tick;

// Bytes of the pvf header the stream reader leaves alone.
constexpr size_t kSurfaceWidthAt = 32;
constexpr size_t kSurfaceHeightAt = 33;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vorlane::baselib::ScopedAppClock use_tick(g_tick);
    g_tick.Set(1000);
    vorlane::video::VIDEOSYS sys;
    sys.SetDecoderFactory([](int w, int h) -> std::unique_ptr<vorlane::video::VideoDecoder> {
        if (size_t(w) * size_t(h) > 128 * 128)
            return nullptr;  // keeps each run quick
        return vorlane::video::CreateTheoraDecoder(w, h);
    });
    int surface_w = 16, surface_h = 16;
    if (size > kSurfaceHeightAt) {
        surface_w = 1 + data[kSurfaceWidthAt] % 160;
        surface_h = 1 + data[kSurfaceHeightAt] % 160;
    }
    vorlane::media::OSGFX surface;
    surface.Create(surface_w, surface_h);
    int id = sys.OpenFromMemory(data, size, "fuzz");
    if (id < 0)
        return 0;
    sys.BindSurface(id, &surface);
    sys.SetLoop(id, size % 2 == 0);
    sys.Restart(id);
    for (int i = 0; i < 24 && sys.IsActive(id); ++i) {
        g_tick.Advance(45);
        sys.Update();
    }
    const vorlane::video::VideoControl* control = sys.control(id);
    if (control && control->blits > 0) {
        const int w = std::min(control->stream->width, surface_w);
        const int h = std::min(control->stream->height, surface_h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if ((surface.GetPixel(x, y) >> 24) != 0xFF)
                    std::abort();
    }
    return 0;
}

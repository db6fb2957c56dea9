// Feeds arbitrary bytes to the pvf container reader and plays them through the
// frame pacing with a decoder that only checks the frame bounds.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "baselib/timer.h"
#include "media/osgfx.h"
#include "video/videosys.h"

namespace {
vorlane::baselib::ManualClock g_tick;

class TouchDecoder : public vorlane::video::VideoDecoder {
  public:
    TouchDecoder(int w, int h) : picture_(size_t(w) * size_t(h)) {}
    bool DecodeFrame(const uint8_t* data, size_t size) override {
        uint32_t sum = 0;
        for (size_t i = 0; i < size; ++i) sum += data[i];
        if (!picture_.empty())
            picture_[0] = sum;
        return true;
    }
    const uint32_t* Picture() const override { return picture_.data(); }

  private:
    std::vector<uint32_t> picture_;
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vorlane::baselib::ScopedAppClock use_tick(g_tick);
    g_tick.Set(1000);
    vorlane::video::VIDEOSYS sys;
    sys.SetDecoderFactory([](int w, int h) -> std::unique_ptr<vorlane::video::VideoDecoder> {
        if (size_t(w) * size_t(h) > (size_t(1) << 20))
            return nullptr;  // keep the fuzzer's memory small
        return std::make_unique<TouchDecoder>(w, h);
    });
    vorlane::media::OSGFX surface;
    surface.Create(16, 16);
    int id = sys.OpenFromMemory(data, size, "fuzz");
    if (id >= 0) {
        sys.BindSurface(id, &surface);
        sys.SetLoop(id, size % 2 == 0);
        for (int i = 0; i < 64 && sys.IsActive(id); ++i) {
            g_tick.Advance(37);
            sys.Update();
        }
        sys.Play(id);
        sys.Update();
    }
    return 0;
}

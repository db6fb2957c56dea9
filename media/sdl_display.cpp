// The SDL display device: frames go to a streaming texture on an SDL_Renderer,
// scaled into the window with letterboxing (integer steps when the window is
// at least the frame's size, so pixels stay sharp). A window starts at a whole
// multiple of the frame's size, the largest that fits the screen unless the
// player chose one.
//
// SDL reports a lost or reset render device with an event
// (SDL_RENDER_TARGETS_RESET, SDL_RENDER_DEVICE_RESET); an event watch marks the
// device, whose next status check asks for a reset, which makes the texture
// again.
#include <SDL.h>

#include <atomic>
#include <memory>

#include "baselib/log_channel.h"
#include "media/display_device.h"

namespace vorlane::media {
namespace {

struct RendererDeleter {
    void operator()(SDL_Renderer* r) const { SDL_DestroyRenderer(r); }
};
struct TextureDeleter {
    void operator()(SDL_Texture* t) const { SDL_DestroyTexture(t); }
};

class SdlDisplay : public DisplayDevice {
  public:
    ~SdlDisplay() override { Close(); }

    bool Open(void* window) override {
        window_ = static_cast<SDL_Window*>(window);
        if (!window_)
            return false;
        if (SDL_WasInit(SDL_INIT_VIDEO) == 0 && SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
            return false;
        if (!watching_) {
            SDL_AddEventWatch(WatchEvents, this);
            watching_ = true;
        }
        return true;
    }

    void Close() override {
        if (watching_) {
            SDL_DelEventWatch(WatchEvents, this);
            watching_ = false;
        }
        texture_.reset();
        renderer_.reset();
        window_ = nullptr;
    }

    DeviceStatus Status() override {
        return reset_pending_.load() ? DeviceStatus::kNeedsReset : DeviceStatus::kReady;
    }

    int AdapterCount() const override { return 1; }

    bool GetAdapter(int index, AdapterDesc& desc) const override {
        if (index != 0 || !window_)
            return false;
        const char* driver = SDL_GetCurrentVideoDriver();
        desc.description = std::string("SDL ") + (driver ? driver : "video");
        SDL_version v;
        SDL_GetVersion(&v);
        desc.driver_version[0] = v.major;
        desc.driver_version[1] = v.minor;
        desc.driver_version[2] = v.patch;
        desc.driver_version[3] = 0;
        int display = SDL_GetWindowDisplayIndex(window_);
        if (display < 0)
            display = 0;
        int count = SDL_GetNumDisplayModes(display);
        for (int i = 0; i < count && i < 512; ++i) {
            SDL_DisplayMode mode;
            if (SDL_GetDisplayMode(display, i, &mode) == 0)
                desc.modes.push_back({mode.w, mode.h, mode.refresh_rate, kFormatX8R8G8B8});
        }
        return true;
    }

    // Frames are converted on upload, so every pair the graphics system asks
    // for is available.
    bool SupportsPair(int, bool, int, int) const override { return true; }
    int DesktopFormat(int) const override { return kFormatX8R8G8B8; }

    bool CreateDevice(int, VertexProcessing processing) override {
        Uint32 flags = SDL_RENDERER_PRESENTVSYNC;
        if (processing == VertexProcessing::kHardware)
            flags |= SDL_RENDERER_ACCELERATED;
        if (processing == VertexProcessing::kSoftware)
            flags = SDL_RENDERER_SOFTWARE;
        texture_.reset();
        renderer_.reset(SDL_CreateRenderer(window_, -1, flags));
        if (!renderer_)
            return false;
        SDL_RendererInfo info;
        vsync_ = SDL_GetRendererInfo(renderer_.get(), &info) == 0 &&
                 (info.flags & SDL_RENDERER_PRESENTVSYNC) != 0;
        return true;
    }

    int Reset(const PresentParams& params) override {
        if (!renderer_ || params.width <= 0 || params.height <= 0)
            return -1;
        // The texture is made anew below, which is all a lost device needs.
        reset_pending_.store(false);
        SDL_SetWindowFullscreen(window_, params.windowed ? 0 : SDL_WINDOW_FULLSCREEN_DESKTOP);
        if (params.windowed)
            SizeWindow(params);
        SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
        texture_.reset(SDL_CreateTexture(renderer_.get(), SDL_PIXELFORMAT_ARGB8888,
                                         SDL_TEXTUREACCESS_STREAMING, params.width, params.height));
        if (!texture_)
            return -2;
        width_ = params.width;
        height_ = params.height;
        // The logical size letterboxes the frame and maps mouse events back to
        // screen pixels.
        SDL_RenderSetLogicalSize(renderer_.get(), width_, height_);
        UpdateScaling();
        return 0;
    }

    void SetGammaRamp(const uint16_t (&)[3][256]) override {
        // Identity ramp: leave the desktop's gamma alone.
    }

    bool Present(const uint32_t* pixels, int width, int height, ptrdiff_t pitch) override {
        if (!renderer_ || !texture_ || width != width_ || height != height_)
            return false;
        Uint32 window_flags = SDL_GetWindowFlags(window_);
        if (window_flags & (SDL_WINDOW_MINIMIZED | SDL_WINDOW_HIDDEN)) {
            // Nothing to show: idle instead of spinning.
            SDL_Delay(16);
            return true;
        }
        UpdateScaling();
        SDL_UpdateTexture(texture_.get(), nullptr, pixels, int(pitch * 4));
        SDL_RenderClear(renderer_.get());
        SDL_RenderCopy(renderer_.get(), texture_.get(), nullptr, nullptr);
        SDL_RenderPresent(renderer_.get());
        if (!vsync_)
            PaceFrame();
        return true;
    }

  private:
    // Called by SDL for every event as it is queued, on the thread that
    // queues it.
    static int WatchEvents(void* self, SDL_Event* event) {
        if (event->type == SDL_RENDER_TARGETS_RESET || event->type == SDL_RENDER_DEVICE_RESET)
            static_cast<SdlDisplay*>(self)->reset_pending_.store(true);
        return 0;
    }

    void SizeWindow(const PresentParams& params) {
        SDL_Rect usable{0, 0, 0, 0};
        int display = SDL_GetWindowDisplayIndex(window_);
        if (SDL_GetDisplayUsableBounds(display < 0 ? 0 : display, &usable) != 0)
            usable = SDL_Rect{0, 0, 0, 0};
        const int scale =
            ChooseWindowScale(params.window_scale, params.width, params.height, usable.w, usable.h);
        int w = 0, h = 0;
        SDL_GetWindowSize(window_, &w, &h);
        if (w == params.width * scale && h == params.height * scale)
            return;
        SDL_SetWindowSize(window_, params.width * scale, params.height * scale);
        // A window that grew could hang off the screen's edge.
        SDL_SetWindowPosition(window_, SDL_WINDOWPOS_CENTERED_DISPLAY(display < 0 ? 0 : display),
                              SDL_WINDOWPOS_CENTERED_DISPLAY(display < 0 ? 0 : display));
    }

    void UpdateScaling() {
        int w = 0, h = 0;
        SDL_GetRendererOutputSize(renderer_.get(), &w, &h);
        bool fits = w >= width_ && h >= height_;
        SDL_RenderSetIntegerScale(renderer_.get(), fits ? SDL_TRUE : SDL_FALSE);
    }

    // Without vsync, keep presents at most about 60 per second.
    void PaceFrame() {
        Uint32 now = SDL_GetTicks();
        Uint32 since = now - last_present_;
        if (since < 16)
            SDL_Delay(16 - since);
        last_present_ = SDL_GetTicks();
    }

    SDL_Window* window_ = nullptr;
    std::unique_ptr<SDL_Renderer, RendererDeleter> renderer_;
    std::unique_ptr<SDL_Texture, TextureDeleter> texture_;
    int width_ = 0;
    int height_ = 0;
    bool vsync_ = false;
    Uint32 last_present_ = 0;
    bool watching_ = false;
    std::atomic<bool> reset_pending_{false};
};

}  // namespace

std::unique_ptr<DisplayDevice> MakeSdlDisplay() {
    return std::make_unique<SdlDisplay>();
}

}  // namespace vorlane::media

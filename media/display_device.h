// The device under the graphics system: what GFXSYS3D asks of a display.
//
// The SDL backend (sdl_display.cpp) shows frames in a window; NullDisplay runs
// headless and can be told which formats to offer and which steps to fail, so
// the graphics system's fallbacks can be tested.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace vorlane::media {

// Display and back-buffer formats (the numbering of the old 3D API).
enum DisplayFormat : int {
    kFormatUnknown = 0,
    kFormatA8R8G8B8 = 21,
    kFormatX8R8G8B8 = 22,
    kFormatR5G6B5 = 23,
    kFormatX1R5G5B5 = 24,
    kFormatA1R5G5B5 = 25,
    kFormatD16 = 80,
    kFormatD24X8 = 77,
};

struct DisplayModeInfo {
    int width = 0;
    int height = 0;
    int refresh = 0;
    int format = kFormatUnknown;
};

struct AdapterDesc {
    std::string description;
    uint16_t driver_version[4] = {0, 0, 0, 0};
    std::vector<DisplayModeInfo> modes;
};

enum class VertexProcessing { kHardware, kMixed, kSoftware };

// Whether the device can show frames. A lost device shows nothing; once it
// can be brought back, Reset with the present parameters does it.
//
//   status        frames shown   Reset
//   kReady        yes            applies new parameters
//   kLost         no             fails: try again later
//   kNeedsReset   no             brings the device back (kReady)
enum class DeviceStatus { kReady, kLost, kNeedsReset };

struct PresentParams {
    int width = 0;
    int height = 0;
    int back_format = kFormatUnknown;
    int back_count = 1;
    bool windowed = true;
    int depth_format = kFormatUnknown;
    bool auto_depth = false;
    bool vsync = false;
    // The window's size in frame pixels: 0 chooses the largest whole number
    // that fits the screen, 1.. asks for that factor (see ChooseWindowScale).
    int window_scale = 0;
};

// The largest factor a window of the frame's size may have on the screen;
// window scales range from 1 to it.
constexpr int kMaxWindowScale = 8;

// The whole-number factor a windowed frame of `frame_w` x `frame_h` is shown
// at on a screen whose usable area is `screen_w` x `screen_h`: `setting` 0
// takes the largest that fits (so a 4K screen shows a 1024 x 768 frame at 2x,
// every pixel a sharp 2 x 2 block), a chosen factor is kept as far as it fits.
// Never below 1; an unknown screen (0 x 0) keeps a chosen factor, and 1 for 0.
int ChooseWindowScale(int setting, int frame_w, int frame_h, int screen_w, int screen_h);

class DisplayDevice {
  public:
    virtual ~DisplayDevice() = default;
    // Brings up the device layer on a window (an SDL_Window* for SDL); false on failure.
    virtual bool Open(void* window) = 0;
    virtual void Close() = 0;
    virtual int AdapterCount() const = 0;
    virtual bool GetAdapter(int index, AdapterDesc& desc) const = 0;
    // True when a hardware device can run with this display / back-buffer pair.
    virtual bool SupportsPair(int adapter, bool windowed, int display_format,
                              int back_format) const = 0;
    // The format of the adapter's current (desktop) mode.
    virtual int DesktopFormat(int adapter) const = 0;
    virtual bool CreateDevice(int adapter, VertexProcessing processing) = 0;
    // Applies present parameters; returns 0 or a negative error code.
    virtual int Reset(const PresentParams& params) = 0;
    virtual DeviceStatus Status() { return DeviceStatus::kReady; }
    virtual void SetGammaRamp(const uint16_t (&ramp)[3][256]) = 0;
    // Shows one frame of A8R8G8B8 rows.
    virtual bool Present(const uint32_t* pixels, int width, int height, ptrdiff_t pitch) = 0;
};

// A headless device. By default it offers every pair and succeeds everywhere.
class NullDisplay : public DisplayDevice {
  public:
    struct Script {
        bool fail_open = false;
        int adapters = 1;
        // When not empty, only these (windowed, display, back) pairs are supported.
        std::set<std::tuple<bool, int, int>> pairs;
        // Vertex processing kinds whose device creation fails.
        std::set<VertexProcessing> failing_devices;
        int reset_error = 0;
        int desktop_format = kFormatX8R8G8B8;
        // A scripted device loss: status check number `lose_at_check` (from 1,
        // counting the checks of every frame start and reset; 0 = never)
        // finds the device lost. It stays lost for
        // `lost_checks` further checks, then needs a reset.
        int lose_at_check = 0;
        int lost_checks = 0;
    };

    NullDisplay() = default;
    explicit NullDisplay(Script script) : script_(std::move(script)) {}

    bool Open(void*) override { return !script_.fail_open; }
    void Close() override {}
    int AdapterCount() const override { return script_.adapters; }
    bool GetAdapter(int index, AdapterDesc& desc) const override;
    bool SupportsPair(int, bool windowed, int display_format, int back_format) const override;
    int DesktopFormat(int) const override { return script_.desktop_format; }
    bool CreateDevice(int, VertexProcessing processing) override;
    int Reset(const PresentParams& params) override;
    DeviceStatus Status() override;
    void SetGammaRamp(const uint16_t (&ramp)[3][256]) override;
    bool Present(const uint32_t* pixels, int width, int height, ptrdiff_t pitch) override;

    // Loses the device now, for `lost_checks` status checks before it can be reset.
    void LoseDevice(int lost_checks = 0);
    Script& script() { return script_; }
    int presents() const { return presents_; }
    // Resets that brought a lost device back.
    int recoveries() const { return recoveries_; }
    const PresentParams& params() const { return params_; }
    uint16_t gamma(int channel, int index) const { return gamma_[channel][index]; }
    VertexProcessing processing() const { return processing_; }
    // The last presented frame's first pixel (0 before any).
    uint32_t last_first_pixel() const { return last_first_pixel_; }

  private:
    Script script_;
    int presents_ = 0;
    PresentParams params_;
    uint16_t gamma_[3][256] = {};
    VertexProcessing processing_ = VertexProcessing::kHardware;
    uint32_t last_first_pixel_ = 0;
    int checks_ = 0;
    bool lost_ = false;
    int lost_left_ = 0;
    int recoveries_ = 0;
};

// The SDL device for a window; see sdl_display.cpp.
std::unique_ptr<DisplayDevice> MakeSdlDisplay();

}  // namespace vorlane::media

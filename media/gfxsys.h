// GFXSYS3D: the graphics system. It owns the display device, the back buffer
// (an OSGFX covering the screen) and the frame bracketing, and creates surfaces.
//
//   state  meaning                             reached by
//   0      nothing                             construction, Shutdown
//   1      device layer up (adapter table)     Init step 2
//   2      device created                      first SetMode
//   3      display mode set                    SetMode
//   4      reset, ready for drawing            Reset (also at the end of SetMode)
//
// A frame that finds the device lost drops the state to 3: nothing is shown
// until Reset brings the device back, which also makes the 3D engine's
// textures again.
//
// Drawing is done in software; the device only shows finished frames.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "media/colour.h"
#include "media/display_device.h"
#include "media/osgfx.h"

namespace vorlane::media {

// Format pairs chosen for one depth: a zero display format means "not available".
struct FormatChoice {
    int display_format = kFormatUnknown;
    int back_format = kFormatUnknown;
    int depth_format = kFormatUnknown;
    int texture_format = kFormatUnknown;
    bool available() const { return display_format != kFormatUnknown; }
};

struct AdapterRecord {
    AdapterDesc desc;
    FormatChoice windowed16, windowed32, full16, full32;
};

class GFXSYS3D {
  public:
    static constexpr uint32_t kFlagVsync = 8;

    explicit GFXSYS3D(std::unique_ptr<DisplayDevice> device);
    ~GFXSYS3D();
    GFXSYS3D(const GFXSYS3D&) = delete;
    GFXSYS3D& operator=(const GFXSYS3D&) = delete;

    // Opens the display in a mode; bit mode 2 = 16 bits, 3 or 4 = 32. 1 or -1.
    int Init(void* window, int width, int height, int bit_mode, uint32_t flags, int windowed,
             uint32_t reserved1 = 0, uint32_t reserved2 = 0);
    // Releases the screen surface and the device.
    void Shutdown();
    // Recreates the device with the current parameters and restores the
    // textures; 1, or -1 (also while the device cannot be brought back yet).
    int Reset();
    // Changes the mode; 1 or -1.
    int SetMode(int width, int height, int bit_mode, uint32_t flags, int windowed);
    // The window's scale factor (0 = the largest that fits the screen); taken
    // at once when a mode is set, else with the next one. 1 or -1.
    int SetWindowScale(int scale);
    // A new empty surface (flag: OsgfxFlag bits), or null.
    std::unique_ptr<OSGFX> CreateOSGFX(int flag);
    // A new surface of a size, cleared, or null.
    std::unique_ptr<OSGFX> CreateSurface(int width, int height, int flag = 0);
    // Opens a frame; false when the device is lost, so nothing drawn now would
    // be shown: the caller ends the frame and has the device reset.
    bool StartFrame();
    void EndFrame(uint32_t flags = 0);
    void ClearStatistics();
    // Closes the counted second when it is over, also when no frame was
    // presented in it, so fps() reads 0 rather than an old figure.
    void UpdateStatistics();

    // Colour conversions.
    uint32_t ColorRGB(uint8_t r, uint8_t g, uint8_t b) const { return ColourFromRGB(r, g, b); }
    uint32_t ForceOpaque(uint32_t c) const { return ColourForceOpaque(c); }
    uint32_t ColorARGB(uint8_t a, uint8_t r, uint8_t g, uint8_t b) const {
        return ColourFromARGB(a, r, g, b);
    }
    uint32_t AlphaMask(uint8_t alpha, int = 0) const { return ColourAlphaMask(alpha); }
    uint32_t ColorRGB2(uint8_t r, uint8_t g, uint8_t b) const { return ColourFromRGB(r, g, b); }
    uint32_t ColorPass(uint32_t c) const { return c; }

    // Saves the back buffer as a BMP (numbered: see OSGFX::SaveBMP).
    int Screenshot(const std::string& name, bool numbered);

    int state() const { return state_; }
    bool initialised() const { return initialised_; }
    // The back buffer (null before Init).
    OSGFX* screen() { return screen_.get(); }
    int width() const { return width_; }
    int height() const { return height_; }
    int bits() const { return bits_; }
    bool windowed() const { return windowed_; }
    uint32_t flags() const { return flags_; }
    int back_buffer_count() const { return back_count_; }
    uint32_t clear_colour() const { return clear_colour_; }
    void set_clear_colour(uint32_t colour) { clear_colour_ = colour; }
    bool frame_open() const { return frame_open_; }
    int fps() const { return fps_; }
    uint32_t frame_count() const { return frame_count_; }
    const std::vector<AdapterRecord>& adapters() const { return adapters_; }
    const PresentParams& present_params() const { return params_; }
    DisplayDevice* device() { return device_.get(); }

  private:
    bool StartLayer();
    FormatChoice ChooseFormat(int adapter, bool windowed, int bits) const;
    bool CreateDevice();
    int ResizeScreen();

    std::unique_ptr<DisplayDevice> device_;
    std::unique_ptr<OSGFX> screen_;
    std::vector<AdapterRecord> adapters_;
    PresentParams params_;
    void* window_ = nullptr;
    int state_ = 0;
    bool initialised_ = false;
    int width_ = 0;
    int height_ = 0;
    int bits_ = 0;
    bool windowed_ = true;
    uint32_t flags_ = 0;
    int back_count_ = 1;
    uint32_t clear_colour_ = 0xFF000000u;
    bool frame_open_ = false;
    uint32_t frame_count_ = 0;
    int fps_ = 0;
    uint32_t stopwatch_start_ = 0;
};

using GFXSYS = GFXSYS3D;

}  // namespace vorlane::media

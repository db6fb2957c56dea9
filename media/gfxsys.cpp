#include "media/gfxsys.h"

#include <new>

#include "baselib/log_channel.h"
#include "baselib/timer.h"
#include "media/gfx3d.h"

namespace vorlane::media {
namespace {

// The frame rate counts frames per real second: the steady clock, not the
// application clock that stands still while the window is inactive.
uint32_t Now() {
    return baselib::SteadyClock().NowMs();
}

// Bits per pixel for a bit mode, 0 when the mode is not supported.
int BitsForMode(int bit_mode) {
    if (bit_mode == 2)
        return 16;
    if (bit_mode == 3 || bit_mode == 4)
        return 32;
    return 0;
}

}  // namespace

GFXSYS3D::GFXSYS3D(std::unique_ptr<DisplayDevice> device)
    : device_(device ? std::move(device) : std::make_unique<NullDisplay>()) {}

GFXSYS3D::~GFXSYS3D() {
    if (state_ != 0)
        Shutdown();
}

// [SECTION] start and modes

bool GFXSYS3D::StartLayer() {
    if (state_ >= 1) {
        Log(kLogWarning, "GFXSYS3D was already initialized");
        return true;
    }
    if (!device_->Open(window_)) {
        Log(kLogError, "GFXSYS3D can't create Direct3D object");
        return false;
    }
    adapters_.clear();
    for (int i = 0; i < device_->AdapterCount(); ++i) {
        AdapterRecord record;
        if (!device_->GetAdapter(i, record.desc)) {
            device_->Close();
            adapters_.clear();
            return false;
        }
        const uint16_t* v = record.desc.driver_version;
        Log(kLogInfo, "DXGFX8: found adapter '%s'", record.desc.description.c_str());
        Log(kLogInfo, "DXGFX8: driver version '%u.%u.%u.%u'", v[0], v[1], v[2], v[3]);
        adapters_.push_back(std::move(record));
        AdapterRecord& stored = adapters_.back();
        stored.windowed16 = ChooseFormat(i, true, 16);
        stored.windowed32 = ChooseFormat(i, true, 32);
        stored.full16 = ChooseFormat(i, false, 16);
        stored.full32 = ChooseFormat(i, false, 32);
    }
    if (adapters_.empty()) {
        device_->Close();
        return false;
    }
    state_ = 1;
    return true;
}

FormatChoice GFXSYS3D::ChooseFormat(int adapter, bool windowed, int bits) const {
    static constexpr int kPairs16[][2] = {{kFormatR5G6B5, kFormatR5G6B5},
                                          {kFormatX1R5G5B5, kFormatX1R5G5B5},
                                          {kFormatX1R5G5B5, kFormatA1R5G5B5}};
    static constexpr int kPairs32[][2] = {{kFormatX8R8G8B8, kFormatX8R8G8B8},
                                          {kFormatX8R8G8B8, kFormatA8R8G8B8}};
    FormatChoice choice;
    auto try_pairs = [&](const auto& pairs) {
        for (const auto& pair : pairs) {
            if (device_->SupportsPair(adapter, windowed, pair[0], pair[1])) {
                choice.display_format = pair[0];
                choice.back_format = pair[1];
                return;
            }
        }
    };
    if (bits == 16) {
        try_pairs(kPairs16);
        choice.depth_format = kFormatD16;
    } else {
        try_pairs(kPairs32);
        choice.depth_format = kFormatD24X8;
    }
    // Surfaces are drawn in A8R8G8B8 whatever the display shows.
    choice.texture_format = kFormatA8R8G8B8;
    if (!choice.available())
        choice = {};
    return choice;
}

int GFXSYS3D::Init(void* window, int width, int height, int bit_mode, uint32_t flags, int windowed,
                   uint32_t, uint32_t) {
    window_ = window;
    if (initialised_) {
        Log(kLogWarning, "GFXSYS3D initialized twice");
        return 1;
    }
    if (!StartLayer()) {
        Log(kLogError, "GFXSYS3D can't init VXE layer");
        return -1;
    }
    if (SetMode(width, height, bit_mode, flags, windowed) != 1) {
        Log(kLogError, "GFXSYS3D can't init graphics mode");
        return -1;
    }
    screen_ = CreateOSGFX(0);
    if (!screen_ || screen_->Create(width_, height_) != 0) {
        screen_.reset();
        return -1;
    }
    screen_->set_screen(true);
    stopwatch_start_ = Now();
    initialised_ = true;
    return 1;
}

bool GFXSYS3D::CreateDevice() {
    const AdapterRecord& adapter = adapters_.front();
    const int window_scale = params_.window_scale;  // chosen before the device
    params_ = {};
    params_.window_scale = window_scale;
    params_.width = width_;
    params_.height = height_;
    params_.back_format = device_->DesktopFormat(0);
    params_.back_count = 1;
    params_.windowed = true;
    params_.auto_depth = false;
    const char* desc = adapter.desc.description.c_str();
    if (device_->CreateDevice(0, VertexProcessing::kHardware)) {
        Log(kLogInfo, "DXGFX8: using '%s' hardware vertex processing", desc);
    } else if (device_->CreateDevice(0, VertexProcessing::kMixed)) {
        Log(kLogInfo, "DXGFX8: using '%s' mixed vertex processing", desc);
    } else if (device_->CreateDevice(0, VertexProcessing::kSoftware)) {
        Log(kLogInfo, "DXGFX8: using '%s' software vertex processing", desc);
    } else {
        state_ = 1;
        return false;
    }
    state_ = 2;
    return true;
}

int GFXSYS3D::SetMode(int width, int height, int bit_mode, uint32_t flags, int windowed) {
    int bits = BitsForMode(bit_mode);
    if (bits == 0) {
        Log(kLogError, "GFXSYS3D bitmode %d is not supported", bit_mode);
        return -1;
    }
    if (state_ < 1 || width <= 0 || height <= 0 || width > OSGFX::kMaxSide ||
        height > OSGFX::kMaxSide)
        return -1;
    width_ = width;
    height_ = height;
    flags_ = flags;
    windowed_ = windowed != 0;
    if (state_ == 1 && !CreateDevice())
        return -1;

    const AdapterRecord& adapter = adapters_.front();
    FormatChoice pair16 = windowed_ ? adapter.windowed16 : adapter.full16;
    FormatChoice pair32 = windowed_ ? adapter.windowed32 : adapter.full32;
    FormatChoice chosen = bits == 16 ? pair16 : pair32;
    if (!chosen.available()) {
        if (bits == 16) {
            Log(kLogWarning, "DXGFX8: No valid 16 bit mode found. trying 32 bit !");
            chosen = pair32;
            bits = 32;
        } else {
            Log(kLogWarning, "DXGFX8: No valid 32 bit mode found. trying 16 bit !");
            chosen = pair16;
            bits = 16;
        }
    }
    if (!chosen.available()) {
        Log(kLogError, "DXGFX8: No valid screen mode found !!!");
        Log(kLogError, "GFXSYS3D can't set graphics mode");
        return -1;
    }
    bits_ = bits;
    params_.width = width_;
    params_.height = height_;
    params_.back_format = windowed_ ? device_->DesktopFormat(0) : chosen.back_format;
    params_.windowed = windowed_;
    params_.back_count = back_count_;
    params_.depth_format = chosen.depth_format;
    params_.auto_depth = true;
    // Waiting for the retrace is asked for in full screen by flag 8; a window
    // presents with vsync too where the display offers it, so an idle window
    // does not spin.
    params_.vsync = windowed_ || (flags_ & kFlagVsync) != 0;
    state_ = 3;
    if (Reset() != 1)
        return -1;
    if (screen_ && ResizeScreen() != 0)
        return -1;
    Log(kLogInfo, "DXGFX8: set %s mode %dx%dx%d", windowed_ ? "windowed" : "fullscreen", width_,
        height_, bits_);
    return 1;
}

int GFXSYS3D::ResizeScreen() {
    if (screen_->width() == width_ && screen_->height() == height_)
        return 0;
    return screen_->Create(width_, height_);
}

int GFXSYS3D::SetWindowScale(int scale) {
    params_.window_scale = scale;
    return state_ >= 4 ? Reset() : 1;
}

int GFXSYS3D::Reset() {
    if (state_ < 3)
        return -1;
    const DeviceStatus status = device_->Status();
    if (status == DeviceStatus::kLost)
        return -1;  // not yet: the next frame tries again
    const bool was_lost = status == DeviceStatus::kNeedsReset;
    int error = device_->Reset(params_);
    if (error != 0) {
        Log(kLogError, "GFXSYS3D::VXEResetDevice failed: (%d)", error & 0xFFFF);
        return -1;
    }
    uint16_t ramp[3][256];
    for (int channel = 0; channel < 3; ++channel)
        for (int i = 0; i < 256; ++i) ramp[channel][i] = uint16_t(i * 257);
    device_->SetGammaRamp(ramp);
    // Textures live on the device: a reset makes them again from their sources.
    if (DX3D_TEXMGR* textures = Engine3D().texmgr())
        textures->RestoreAllTextures();
    if (was_lost)
        Log(kLogInfo, "GFXSYS3D: device reset, drawing again");
    state_ = 4;
    return 1;
}

void GFXSYS3D::Shutdown() {
    if (state_ == 0 && !initialised_) {
        Log(kLogWarning, "GFXSYS3D is shutdown uninitialized");
        return;
    }
    screen_.reset();
    device_->Close();
    adapters_.clear();
    state_ = 0;
    initialised_ = false;
    frame_open_ = false;
    Log(kLogInfo, "GFXSYS3D: GfxSystem removed.");
}

// [SECTION] surfaces

std::unique_ptr<OSGFX> GFXSYS3D::CreateOSGFX(int flag) {
    std::unique_ptr<OSGFX> surface(new (std::nothrow) OSGFX(flag));
    if (!surface) {
        Log(kLogError, "GFXSYS3D:CreateOSGFX: Unable to allocate OSGFX.");
        Log(kLogError, "flag: %d", flag);
    }
    return surface;
}

std::unique_ptr<OSGFX> GFXSYS3D::CreateSurface(int width, int height, int flag) {
    std::unique_ptr<OSGFX> surface = CreateOSGFX(flag);
    if (surface && surface->Create(width, height) != 0)
        surface.reset();
    return surface;
}

int GFXSYS3D::Screenshot(const std::string& name, bool numbered) {
    if (!screen_)
        return -1;
    return screen_->SaveBMP(name, numbered);
}

// [SECTION] frames

bool GFXSYS3D::StartFrame() {
    if (state_ == 4 && device_->Status() != DeviceStatus::kReady) {
        Log(kLogWarning, "GFXSYS3D:StartFrame, device lost");
        state_ = 3;
    }
    const bool ready = state_ == 4;
    if (ready && screen_)
        screen_->Clear(clear_colour_);
    if (frame_open_)
        Log(kLogWarning, "GFXSYS3D:StartFrame, EndFrame has not been called!");
    frame_open_ = true;
    return ready;
}

void GFXSYS3D::EndFrame(uint32_t) {
    if (state_ == 4 && screen_)
        device_->Present(screen_->pixels(), screen_->width(), screen_->height(), screen_->pitch());
    if (!frame_open_)
        Log(kLogWarning, "GFXSYS3D:EndFrame, StartFrame has not been called!");
    frame_open_ = false;
    ++frame_count_;
    UpdateStatistics();
}

void GFXSYS3D::UpdateStatistics() {
    uint32_t now = Now();
    uint32_t elapsed = now - stopwatch_start_;
    if (elapsed >= 1000) {
        fps_ = int(frame_count_);
        frame_count_ = 0;
        // The excess over one second carries into the next count, but after a
        // stall of more than a second the count starts afresh: carrying the
        // whole stall would report a run of near-empty "seconds".
        stopwatch_start_ = elapsed < 2000 ? stopwatch_start_ + 1000 : now;
    }
}

void GFXSYS3D::ClearStatistics() {
    frame_count_ = 0;
    fps_ = 0;
    stopwatch_start_ = Now();
}

}  // namespace vorlane::media

#include <cstring>

#include "media/display_device.h"

namespace vorlane::media {

bool NullDisplay::GetAdapter(int index, AdapterDesc& desc) const {
    if (index < 0 || index >= script_.adapters)
        return false;
    desc.description = "null display " + std::to_string(index);
    desc.driver_version[0] = 1;
    desc.modes = {{640, 480, 60, kFormatX8R8G8B8},
                  {800, 600, 60, kFormatX8R8G8B8},
                  {1024, 768, 60, kFormatX8R8G8B8}};
    return true;
}

bool NullDisplay::SupportsPair(int, bool windowed, int display_format, int back_format) const {
    if (script_.pairs.empty())
        return true;
    return script_.pairs.count({windowed, display_format, back_format}) != 0;
}

bool NullDisplay::CreateDevice(int, VertexProcessing processing) {
    if (script_.failing_devices.count(processing))
        return false;
    processing_ = processing;
    return true;
}

int NullDisplay::Reset(const PresentParams& params) {
    if (script_.reset_error != 0)
        return script_.reset_error;
    if (lost_ && lost_left_ > 0)
        return -2;  // still gone
    if (lost_)
        ++recoveries_;
    lost_ = false;
    params_ = params;
    return 0;
}

DeviceStatus NullDisplay::Status() {
    ++checks_;
    if (script_.lose_at_check > 0 && checks_ == script_.lose_at_check)
        LoseDevice(script_.lost_checks);
    if (!lost_)
        return DeviceStatus::kReady;
    if (lost_left_ > 0) {
        --lost_left_;
        return DeviceStatus::kLost;
    }
    return DeviceStatus::kNeedsReset;
}

void NullDisplay::LoseDevice(int lost_checks) {
    lost_ = true;
    lost_left_ = lost_checks > 0 ? lost_checks : 0;
}

void NullDisplay::SetGammaRamp(const uint16_t (&ramp)[3][256]) {
    std::memcpy(gamma_, ramp, sizeof gamma_);
}

bool NullDisplay::Present(const uint32_t* pixels, int width, int height, ptrdiff_t) {
    if (lost_)
        return false;
    ++presents_;
    last_first_pixel_ = (pixels && width > 0 && height > 0) ? pixels[0] : 0;
    return true;
}

}  // namespace vorlane::media

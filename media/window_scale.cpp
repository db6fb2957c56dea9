#include <algorithm>

#include "media/display_device.h"

namespace vorlane::media {

int ChooseWindowScale(int setting, int frame_w, int frame_h, int screen_w, int screen_h) {
    const int chosen = std::clamp(setting, 0, kMaxWindowScale);
    if (frame_w <= 0 || frame_h <= 0 || screen_w <= 0 || screen_h <= 0)
        return std::max(chosen, 1);
    const int fits =
        std::clamp(std::min(screen_w / frame_w, screen_h / frame_h), 1, kMaxWindowScale);
    return chosen == 0 ? fits : std::min(chosen, fits);
}

}  // namespace vorlane::media

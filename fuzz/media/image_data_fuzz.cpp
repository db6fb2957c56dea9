// Image data from untrusted bytes: load it as a surface and paste it, scaled
// and unscaled, in every mode at positions taken from the input.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "baselib/logsys.h"
#include "media/osgfx.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vorlane::media;
    static bool muted = (LOGSYS_MuteAll(), true);
    (void)muted;
    int16_t at[4] = {};
    if (size >= sizeof at) {
        std::memcpy(at, data, sizeof at);
        data += sizeof at;
        size -= sizeof at;
    }
    OSGFX image;
    if (image.InitFromImage(data, size, 0) != 0)
        return 0;
    OSGFX target;
    target.Create(64, 48);
    for (uint32_t mode = 0; mode < 4; ++mode) {
        image.PasteAt(&target, at[0], at[1], mode, 0x80FF8040u);
        image.PasteScaled(&target, at[0], at[1], at[2] % 200, at[3] % 200, mode);
    }
    target.CopyPart(image, at[2], at[3], at[0], at[1], at[1], at[0]);
    return 0;
}

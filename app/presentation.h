// PRESENTATION: the loading picture with its caption and the logo overlay.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "media/osgfx.h"

namespace vorlane {

class PRESENTATION {
  public:
    static constexpr uint32_t kInfoOverlay = 0x1;
    static constexpr uint32_t kLoadingPicture = 0x2;

    // Allocates and initialises; null (error logged) when that fails.
    static std::unique_ptr<PRESENTATION> Create();
    ~PRESENTATION();

    // Reloads the archive location "presentation" and fetches the logos.
    bool Init();
    // Places the picture `resource` (centred low on the screen when x or y is
    // negative) and writes `text` into it centred with `font`.
    void SetLoadingGfx(int16_t x, int16_t y, const char* resource, const char* text, int font,
                       uint32_t colour1, uint32_t colour2);
    // Draws what the flags ask for onto the back surface.
    void Draw();
    void Release();

    uint32_t flags = 0;

  private:
    PRESENTATION() = default;

    struct Logo {
        const char* resource;
        std::shared_ptr<media::OSGFX> surface;
    };
    // The archive's surfaces: placing them and writing the caption changes
    // the pictures the archive holds.
    std::shared_ptr<media::OSGFX> loading_;
    Logo logos_[2] = {{"show.vorlanevessellogo", nullptr}, {"show.brightmoorweb", nullptr}};
};

// The surface of the graphic resource at `address` (decoded when its location
// loaded); null when the archive has no such picture.
std::shared_ptr<media::OSGFX> MAIN_GetImage(const char* address);

}  // namespace vorlane

#include "app/message_box.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vorlane {

namespace {

// A box needs a real display; under the dummy or offscreen drivers (tests,
// headless runs) and without X11 or Wayland it would fail or block unseen.
bool DisplayAvailable() {
    const char* driver = std::getenv("SDL_VIDEODRIVER");
    if (driver && (std::strcmp(driver, "dummy") == 0 || std::strcmp(driver, "offscreen") == 0))
        return false;
    return std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY");
}

}  // namespace

void ShowMessageBox(const std::string& title, const std::string& text) {
    // Standard error always gets the text, so scripts and logs see it too.
    std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
    if (DisplayAvailable()) {
        SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, title.c_str(), text.c_str(), nullptr);
    }
}

}  // namespace vorlane

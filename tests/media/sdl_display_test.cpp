// The SDL display device under the dummy video driver: the graphics system
// starts on a real window, presents frames and shuts down.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "media/gfxsys.h"

namespace vorlane::media {
namespace {

TEST(SdlDisplay, StartsPresentsAndShutsDownOnAWindow) {
    if (!std::getenv("SDL_VIDEODRIVER"))
        setenv("SDL_VIDEODRIVER", "dummy", 0);
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
        GTEST_SKIP() << SDL_GetError();
    SDL_Window* window = SDL_CreateWindow("test", 0, 0, 320, 240, 0);
    if (!window) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        GTEST_SKIP() << SDL_GetError();
    }
    {
        GFXSYS3D gfx(MakeSdlDisplay());
        ASSERT_EQ(gfx.Init(window, 320, 240, 4, GFXSYS3D::kFlagVsync, 1), 1);
        EXPECT_EQ(gfx.state(), 4);
        for (int i = 0; i < 3; ++i) {
            gfx.StartFrame();
            gfx.screen()->DirectFill(10, 10, 50, 50, 0xFFFF0000u);
            gfx.EndFrame();
        }
        EXPECT_FALSE(gfx.frame_open());
        // A second mode on the same window.
        EXPECT_EQ(gfx.SetMode(640, 480, 2, 0, 1), 1);
        EXPECT_EQ(gfx.screen()->width(), 640);
        EXPECT_EQ(gfx.Reset(), 1);
        gfx.Shutdown();
    }
    SDL_DestroyWindow(window);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);

    // No window: the device layer cannot start.
    GFXSYS3D gfx(MakeSdlDisplay());
    EXPECT_EQ(gfx.Init(nullptr, 320, 240, 4, 0, 1), -1);
}

}  // namespace
}  // namespace vorlane::media

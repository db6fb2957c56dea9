// The SDL display device under the dummy video driver: the graphics system
// starts on a real window, sizes it by the window scale, presents frames and
// shuts down; and the choice of the window scale for a few screens.
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
        ASSERT_EQ(gfx.SetWindowScale(1), 1);  // before the mode: kept for it
        ASSERT_EQ(gfx.Init(window, 320, 240, 4, GFXSYS3D::kFlagVsync, 1), 1);
        EXPECT_EQ(gfx.state(), 4);
        int w = 0, h = 0;
        SDL_GetWindowSize(window, &w, &h);
        EXPECT_EQ(w, 320);
        // Automatic: the largest whole factor that fits the screen.
        SDL_Rect usable{};
        ASSERT_EQ(SDL_GetDisplayUsableBounds(0, &usable), 0);
        const int scale = ChooseWindowScale(0, 320, 240, usable.w, usable.h);
        EXPECT_EQ(gfx.SetWindowScale(0), 1);
        SDL_GetWindowSize(window, &w, &h);
        EXPECT_EQ(w, 320 * scale);
        EXPECT_EQ(h, 240 * scale);
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

TEST(WindowScale, WholeFactorsThatFitTheScreen) {
    // Automatic.
    EXPECT_EQ(ChooseWindowScale(0, 1024, 768, 3840, 2160), 2);  // 4K: 2x, not 2.8x
    EXPECT_EQ(ChooseWindowScale(0, 1024, 768, 7680, 4320), 5);  // the height decides
    EXPECT_EQ(ChooseWindowScale(0, 1024, 768, 2560, 1440), 1);
    EXPECT_EQ(ChooseWindowScale(0, 1024, 768, 800, 600), 1);  // never below 1
    // Chosen: kept as far as it fits.
    EXPECT_EQ(ChooseWindowScale(1, 1024, 768, 3840, 2160), 1);
    EXPECT_EQ(ChooseWindowScale(3, 1024, 768, 3840, 2160), 2);
    EXPECT_EQ(ChooseWindowScale(99, 100, 100, 10000, 10000), kMaxWindowScale);
    // Unknown screen.
    EXPECT_EQ(ChooseWindowScale(0, 1024, 768, 0, 0), 1);
    EXPECT_EQ(ChooseWindowScale(2, 1024, 768, 0, 0), 2);
}

}  // namespace
}  // namespace vorlane::media

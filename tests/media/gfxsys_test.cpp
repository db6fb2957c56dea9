// The graphics system: states, mode fallbacks, frame bracketing, frame rate
// and screenshots, on the headless display.
#include "media/gfxsys.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "baselib/timer.h"
#include "media/bmp.h"
#include "media/gfx3d.h"
#include "media/image_data.h"
#include "tests/support/log_capture.h"

namespace vorlane::media {
namespace {

using vorlane::testing::LogCapture;

struct Gfx {
    explicit Gfx(NullDisplay::Script script = {}) {
        auto device = std::make_unique<NullDisplay>(std::move(script));
        display = device.get();
        gfx = std::make_unique<GFXSYS3D>(std::move(device));
    }
    baselib::ManualClock now{1000};
    baselib::ScopedSteadyClock use_now{now};
    NullDisplay* display;
    std::unique_ptr<GFXSYS3D> gfx;
};

TEST(GfxSys, InitReachesStateFourWithAScreenSurface) {
    LogCapture log;
    Gfx g;
    ASSERT_EQ(g.gfx->Init(nullptr, 640, 480, 4, 0, 1), 1);
    EXPECT_EQ(g.gfx->state(), 4);
    ASSERT_NE(g.gfx->screen(), nullptr);
    EXPECT_EQ(g.gfx->screen()->width(), 640);
    EXPECT_TRUE(g.gfx->screen()->is_screen());
    EXPECT_EQ(g.gfx->bits(), 32);
    EXPECT_TRUE(log.Has("DXGFX8: found adapter 'null display 0'"));
    EXPECT_TRUE(log.Has("DXGFX8: using 'null display 0' hardware vertex processing"));
    EXPECT_TRUE(log.Has("DXGFX8: set windowed mode 640x480x32"));
    // Identity gamma ramp.
    EXPECT_EQ(g.display->gamma(0, 255), 65535);
    EXPECT_EQ(g.display->gamma(2, 1), 257);

    EXPECT_EQ(g.gfx->Init(nullptr, 640, 480, 4, 0, 1), 1);
    EXPECT_TRUE(log.Has("GFXSYS3D initialized twice"));

    g.gfx->Shutdown();
    EXPECT_EQ(g.gfx->state(), 0);
    EXPECT_EQ(g.gfx->screen(), nullptr);
    EXPECT_TRUE(log.Has("GFXSYS3D: GfxSystem removed."));
    g.gfx->Shutdown();
    EXPECT_TRUE(log.Has("GFXSYS3D is shutdown uninitialized"));
}

TEST(GfxSys, SixteenBitsFallBackToThirtyTwoAndBack) {
    LogCapture log;
    NullDisplay::Script only32;
    only32.pairs = {{true, kFormatX8R8G8B8, kFormatA8R8G8B8},
                    {false, kFormatX8R8G8B8, kFormatA8R8G8B8}};
    Gfx g(only32);
    ASSERT_EQ(g.gfx->Init(nullptr, 800, 600, 2, 0, 0), 1);
    EXPECT_TRUE(log.Has("DXGFX8: No valid 16 bit mode found. trying 32 bit !"));
    EXPECT_TRUE(log.Has("DXGFX8: set fullscreen mode 800x600x32"));
    EXPECT_EQ(g.gfx->bits(), 32);
    // The second 32-bit pair was chosen, with the pair's back-buffer format in full screen.
    EXPECT_EQ(g.gfx->adapters()[0].full32.back_format, kFormatA8R8G8B8);
    EXPECT_EQ(g.display->params().back_format, kFormatA8R8G8B8);
    EXPECT_FALSE(g.gfx->adapters()[0].full16.available());

    NullDisplay::Script only16;
    only16.pairs = {{true, kFormatX1R5G5B5, kFormatA1R5G5B5}};
    Gfx h(only16);
    ASSERT_EQ(h.gfx->Init(nullptr, 320, 200, 3, 0, 1), 1);
    EXPECT_TRUE(log.Has("DXGFX8: No valid 32 bit mode found. trying 16 bit !"));
    EXPECT_EQ(h.gfx->bits(), 16);
    EXPECT_EQ(h.gfx->adapters()[0].windowed16.display_format, kFormatX1R5G5B5);
    // The back buffer stays 32-bit inside.
    EXPECT_EQ(h.gfx->screen()->width(), 320);

    NullDisplay::Script none;
    none.pairs = {{false, kFormatR5G6B5, kFormatR5G6B5}};  // full screen only
    Gfx n(none);
    EXPECT_EQ(n.gfx->Init(nullptr, 320, 200, 4, 0, 1), -1);
    EXPECT_TRUE(log.Has("DXGFX8: No valid screen mode found !!!"));
    EXPECT_TRUE(log.Has("GFXSYS3D can't set graphics mode"));
    EXPECT_TRUE(log.Has("GFXSYS3D can't init graphics mode"));
}

TEST(GfxSys, StartFailuresAndDeviceFallbacks) {
    LogCapture log;
    Gfx bad_mode;
    EXPECT_EQ(bad_mode.gfx->Init(nullptr, 640, 480, 5, 0, 1), -1);
    EXPECT_TRUE(log.Has("GFXSYS3D bitmode 5 is not supported"));

    NullDisplay::Script no_layer;
    no_layer.fail_open = true;
    Gfx a(no_layer);
    EXPECT_EQ(a.gfx->Init(nullptr, 640, 480, 4, 0, 1), -1);
    EXPECT_TRUE(log.Has("GFXSYS3D can't create Direct3D object"));
    EXPECT_TRUE(log.Has("GFXSYS3D can't init VXE layer"));
    EXPECT_EQ(a.gfx->state(), 0);

    NullDisplay::Script soft;
    soft.failing_devices = {VertexProcessing::kHardware, VertexProcessing::kMixed};
    Gfx b(soft);
    ASSERT_EQ(b.gfx->Init(nullptr, 640, 480, 4, 0, 1), 1);
    EXPECT_TRUE(log.Has("DXGFX8: using 'null display 0' software vertex processing"));
    EXPECT_EQ(b.display->processing(), VertexProcessing::kSoftware);

    NullDisplay::Script nothing;
    nothing.failing_devices = {VertexProcessing::kHardware, VertexProcessing::kMixed,
                               VertexProcessing::kSoftware};
    Gfx c(nothing);
    EXPECT_EQ(c.gfx->Init(nullptr, 640, 480, 4, 0, 1), -1);
    EXPECT_EQ(c.gfx->state(), 1);

    Gfx d;
    ASSERT_EQ(d.gfx->Init(nullptr, 640, 480, 4, 0, 1), 1);
    d.display->script().reset_error = -0x7789F00;
    EXPECT_EQ(d.gfx->Reset(), -1);
    char expected[80];
    std::snprintf(expected, sizeof expected, "GFXSYS3D::VXEResetDevice failed: (%d)",
                  -0x7789F00 & 0xFFFF);
    EXPECT_TRUE(log.Has(expected));
    d.display->script().reset_error = 0;
    EXPECT_EQ(d.gfx->Reset(), 1);
}

TEST(GfxSys, SetModeResizesTheBackBufferAndVsyncFollowsFlag8) {
    Gfx g;
    ASSERT_EQ(g.gfx->Init(nullptr, 640, 480, 4, 0, 0), 1);
    EXPECT_FALSE(g.display->params().vsync);
    ASSERT_EQ(g.gfx->SetMode(1024, 768, 4, GFXSYS3D::kFlagVsync, 0), 1);
    EXPECT_TRUE(g.display->params().vsync);
    EXPECT_EQ(g.gfx->screen()->width(), 1024);
    EXPECT_EQ(g.gfx->screen()->height(), 768);
    EXPECT_EQ(g.gfx->SetMode(0, 768, 4, 0, 0), -1);
}

TEST(GfxSys, FrameBracketingAndFramesPerSecond) {
    LogCapture log;
    Gfx g;
    ASSERT_EQ(g.gfx->Init(nullptr, 64, 32, 4, 0, 1), 1);
    g.gfx->set_clear_colour(0xFF203040u);
    g.gfx->StartFrame();
    EXPECT_TRUE(g.gfx->frame_open());
    EXPECT_EQ(g.gfx->screen()->GetPixel(5, 5), 0xFF203040u);
    g.gfx->StartFrame();
    EXPECT_TRUE(log.Has("GFXSYS3D:StartFrame, EndFrame has not been called!"));
    g.gfx->EndFrame();
    EXPECT_EQ(g.display->presents(), 1);
    EXPECT_EQ(g.display->last_first_pixel(), 0xFF203040u);
    g.gfx->EndFrame();
    EXPECT_TRUE(log.Has("GFXSYS3D:EndFrame, StartFrame has not been called!"));

    // 30 frames in the first second, then 45 in the next: each count is
    // reported once the stopwatch passes the second, and the excess carries.
    g.gfx->ClearStatistics();
    for (int i = 0; i < 30; ++i) {
        g.now.Advance(33);  // 990 ms after 30 frames
        g.gfx->StartFrame();
        g.gfx->EndFrame();
    }
    EXPECT_EQ(g.gfx->fps(), 0);
    g.now.Advance(20);  // 1010 ms: the 31st frame closes the second
    g.gfx->StartFrame();
    g.gfx->EndFrame();
    EXPECT_EQ(g.gfx->fps(), 31);
    for (int i = 0; i < 45; ++i) {
        g.now.Advance(22);  // 10 ms carried + 990 ms
        g.gfx->StartFrame();
        g.gfx->EndFrame();
    }
    EXPECT_EQ(g.gfx->fps(), 45);

    // A long stall reports once and starts the count afresh instead of a run
    // of near-empty seconds.
    g.now.Advance(5000);
    g.gfx->EndFrame();
    EXPECT_EQ(g.gfx->fps(), 1);
    g.now.Advance(10);
    g.gfx->EndFrame();
    EXPECT_EQ(g.gfx->fps(), 1);
    EXPECT_EQ(g.gfx->frame_count(), 1u);
}

// A scripted loss: frames show nothing while the device is gone, Reset fails
// until it can come back, then brings it back with the textures made again.
TEST(GfxSys, ALostDeviceIsResetWithItsTexturesAndFramesAreShownAgain) {
    LogCapture log;
    NullDisplay::Script script;
    script.lose_at_check = 3;  // Init's reset, one frame, then lost
    script.lost_checks = 2;
    Gfx g(script);
    ASSERT_EQ(g.gfx->Init(nullptr, 64, 32, 4, 0, 1), 1);
    ASSERT_EQ(Engine3D().Startup(g.gfx.get()), 0);
    std::vector<uint32_t> pixels(4, 0xFF0000FFu);
    int texture = Engine3D().texmgr()->RegisterTexture(
        EncodeImageData(pixels.data(), 2, 2, kImageFormat32), "test");
    ASSERT_GE(texture, 0);
    Engine3D().texmgr()->GetTextureSurface(texture, 0)->PutPixel(0, 0, 0xFFFFFFFFu);

    EXPECT_TRUE(g.gfx->StartFrame());
    g.gfx->EndFrame();
    EXPECT_EQ(g.display->presents(), 1);

    EXPECT_FALSE(g.gfx->StartFrame());
    g.gfx->EndFrame();
    EXPECT_EQ(g.gfx->state(), 3);
    EXPECT_EQ(g.display->presents(), 1);
    EXPECT_TRUE(log.Has(kLogWarning, "GFXSYS3D:StartFrame, device lost"));
    EXPECT_EQ(g.gfx->Reset(), -1);  // still gone
    EXPECT_FALSE(g.gfx->StartFrame());
    g.gfx->EndFrame();
    EXPECT_EQ(g.gfx->Reset(), 1);
    EXPECT_EQ(g.display->recoveries(), 1);
    EXPECT_TRUE(log.Has(kLogInfo, "GFXSYS3D: device reset, drawing again"));
    EXPECT_EQ(Engine3D().texmgr()->GetTextureSurface(texture, 0)->GetPixel(0, 0), 0xFF0000FFu);

    EXPECT_TRUE(g.gfx->StartFrame());
    g.gfx->EndFrame();
    EXPECT_EQ(g.display->presents(), 2);
    Engine3D().Shutdown();
}

TEST(GfxSys, ColourConversions) {
    Gfx g;
    EXPECT_EQ(g.gfx->ColorRGB(1, 2, 3), 0xFF010203u);
    EXPECT_EQ(g.gfx->ColorARGB(4, 1, 2, 3), 0x04010203u);
    EXPECT_EQ(g.gfx->ForceOpaque(0x00ABCDEFu), 0xFFABCDEFu);
    EXPECT_EQ(g.gfx->AlphaMask(196, 1), 0xC4FFFFFFu);
    EXPECT_EQ(g.gfx->AlphaMask(0), 0x01FFFFFFu);
    EXPECT_EQ(g.gfx->ColorPass(0x12345678u), 0x12345678u);
}

TEST(GfxSys, CreateSurfaces) {
    Gfx g;
    auto s = g.gfx->CreateOSGFX(0);
    ASSERT_NE(s, nullptr);
    EXPECT_TRUE(s->empty());
    auto t = g.gfx->CreateSurface(10, 20, kOsgfxTextureFlag);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->kind(), OSGFX::kKindTexture);
    EXPECT_EQ(g.gfx->CreateSurface(-1, 20), nullptr);
}

class ScreenshotTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("vorlane_shots_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }
    std::filesystem::path dir_;
};

TEST_F(ScreenshotTest, NumberedNameTakesTheFirstFreeNumber) {
    std::ofstream(Path("shot0000.bmp")) << "x";
    std::ofstream(Path("shot0001.bmp")) << "x";
    Gfx g;
    ASSERT_EQ(g.gfx->Init(nullptr, 3, 2, 4, 0, 1), 1);
    g.gfx->screen()->Clear(0xFF102030u);
    ASSERT_EQ(g.gfx->Screenshot(Path("shot.bmp"), true), 0);
    ASSERT_TRUE(std::filesystem::exists(Path("shot0002.bmp")));
    // 54-byte header + 2 rows of 3 pixels padded to 12 bytes.
    EXPECT_EQ(std::filesystem::file_size(Path("shot0002.bmp")), 54u + 24u);
    std::ifstream in(Path("shot0002.bmp"), std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(bytes[0], 'B');
    EXPECT_EQ(uint8_t(bytes[54]), 0x30);  // blue first
    EXPECT_EQ(uint8_t(bytes[56]), 0x10);
    // Without numbering the name is used as given.
    ASSERT_EQ(g.gfx->Screenshot(Path("plain.bmp"), false), 0);
    EXPECT_TRUE(std::filesystem::exists(Path("plain.bmp")));
}

TEST(Screenshot, AllNumbersTakenWritesNothing) {
    EXPECT_EQ(NumberedBMPName("shot.bmp", [](const std::string&) { return true; }), "");
    EXPECT_EQ(NumberedBMPName("a/b.c/shot", [](const std::string&) { return false; }),
              "a/b.c/shot0000.bmp");
    EXPECT_EQ(NumberedBMPName("x.y.bmp", [](const std::string& n) { return n == "x.y0000.bmp"; }),
              "x.y0001.bmp");
}

}  // namespace
}  // namespace vorlane::media

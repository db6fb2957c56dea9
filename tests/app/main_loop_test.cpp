#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "app/global_control.h"
#include "app/lua_globals.h"
#include "app/main_program.h"
#include "app/window.h"
#include "baselib/bl_memory.h"
#include "baselib/ioeve.h"
#include "baselib/timer.h"
#include "console/console.h"
#include "gui/gui_trace.h"
#include "media/gfx3d.h"
#include "media/gfxsys.h"
#include "media/image_data.h"
#include "media/osgfx.h"
#include "net/inbound_wake.h"
#include "shell/global_data.h"
#include "tests/support/log_capture.h"

using namespace vorlane;

namespace {

class CountingFrame : public ProgramFrame {
  public:
    void Update() override { ++updates; }
    void Draw() override { ++draws; }
    int updates = 0;
    int draws = 0;
};

class MainLoop : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(BL_Init(), 0);
        g_settings = new GlobalSettings{};
        g_control = new GLOBAL_CONTROL_BASE();
        g_settings->current_frame = &frame_;
    }
    // A 320 x 200 window on SDL's dummy driver, showing `frame`.
    static void OpenWindow(ProgramFrame* frame) {
        setenv("SDL_VIDEODRIVER", "dummy", 0);
        g_settings->current_frame = frame;
        g_settings->screen_width = 320;
        g_settings->screen_height = 200;
        g_settings->color_depth = 32;
        ASSERT_EQ(MAIN_InitWindow("loop test", 1), 1) << g_critical_error;
    }
    void TearDown() override {
        delete g_control;
        g_control = nullptr;
        delete g_settings;
        g_settings = nullptr;
        BL_Exit();
    }
    CountingFrame frame_;
};

}  // namespace

TEST_F(MainLoop, InactiveIterationsPauseTheClockWithoutUpdatingTheFrame) {
    baselib::ManualClock tick(5000);
    baselib::ScopedSteadyClock use_tick(tick);
    baselib::MainLoopClock().SetTime(100);
    g_control->app_flags.Set(kAppInactive);
    EXPECT_EQ(MAIN_MainLoopIteration(&frame_), kLoopNoFrameResult);
    tick.Advance(3000);
    EXPECT_EQ(MAIN_MainLoopIteration(&frame_), kLoopNoFrameResult);
    EXPECT_EQ(frame_.updates, 0);
    EXPECT_EQ(baselib::AppClock().NowMs(), 100u);

    g_control->app_flags.Clear(kAppInactive);
    g_control->program_state = kStateStartGame;
    EXPECT_EQ(MAIN_MainLoopIteration(&frame_), kStateStartGame);
    EXPECT_EQ(frame_.updates, 1);
    tick.Advance(40);
    MAIN_MainLoopIteration(&frame_);
    EXPECT_EQ(baselib::AppClock().NowMs(), 140u);  // on from where it stopped
}

TEST_F(MainLoop, ExitRequestAndForeignFramesEndTheIteration) {
    CountingFrame other;
    EXPECT_EQ(MAIN_MainLoopIteration(&other), kLoopNotCurrentFrame);
    g_control->app_flags.Set(kAppExitRequested);
    EXPECT_EQ(MAIN_MainLoopIteration(&frame_), kLoopExitRequested);
    EXPECT_EQ(frame_.updates, 0);
}

TEST_F(MainLoop, PressedAndReleasedButtonsAreClearedEveryActiveIteration) {
    g_settings->left_pressed = g_settings->right_released = 1;
    g_settings->left_held = 1;
    MAIN_MainLoopIteration(&frame_);
    EXPECT_EQ(g_settings->left_pressed, 0);
    EXPECT_EQ(g_settings->right_released, 0);
    EXPECT_EQ(g_settings->left_held, 1);
}

namespace {

class InputFrame : public ProgramFrame {
  public:
    int OnInput(IOEVE* event) override {
        if (event->class_flags == kEveChar)
            typed += char(event->character);
        return 1;
    }
    std::string typed;
};

IOEVE Key(uint32_t class_flags, uint32_t value, uint16_t character = 0) {
    IOEVE record;
    record.class_flags = class_flags;
    record.value = value;
    record.character = character;
    return record;
}

}  // namespace

TEST_F(MainLoop, TheConsoleKeyOpensTheConsoleWhichThenTakesTheTyping) {
    InputFrame frame;
    g_settings->current_frame = &frame;
    ASSERT_EQ(MAIN_ConsoleSetup(2, 640, 128), 0);
    console::CONSOLE* console = MAIN_Console();
    ASSERT_NE(console, nullptr);
    const uint32_t f12 = 0x0B;

    IOEVE a = Key(kEveChar, 0, 'a');
    MAIN_ForwardInput(&a);
    EXPECT_EQ(frame.typed, "a");

    IOEVE down = Key(kEveKeyDown, f12), up = Key(kEveKeyUp, f12);
    EXPECT_EQ(MAIN_ForwardInput(&down), 1);
    EXPECT_EQ(MAIN_ForwardInput(&up), 1);
    EXPECT_TRUE(console->open);
    IOEVE b = Key(kEveChar, 0, 'b');
    EXPECT_EQ(MAIN_ForwardInput(&b), 1);
    EXPECT_EQ(frame.typed, "a");
    EXPECT_STREQ(console->input(), "b");

    // Lines for the console go into it while it exists.
    MAIN_ConsoleLine("hello console");
    EXPECT_EQ(console->lines().back(), "hello console");

    MAIN_ForwardInput(&down);
    MAIN_ForwardInput(&up);
    EXPECT_FALSE(console->open);
    MAIN_ForwardInput(&a);
    EXPECT_EQ(frame.typed, "aa");

    MAIN_ReleaseConsole();
    EXPECT_EQ(MAIN_Console(), nullptr);
    g_settings->current_frame = &frame_;
}

namespace {

// A frame whose picture changes only when told to.
class QuietFrame : public ProgramFrame {
  public:
    void Draw() override { ++draws; }
    uint32_t MsUntilChange() override { return until_change; }
    int draws = 0;
    uint32_t until_change = kNoChange;
};

uint32_t ElapsedMs(std::chrono::steady_clock::time_point since) {
    return uint32_t(std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - since)
                        .count());
}

}  // namespace

TEST_F(MainLoop, AQuietWindowSleepsUntilTheNetworkWakesItAndAnimationsKeepTheRefreshRate) {
    QuietFrame frame;
    ASSERT_NO_FATAL_FAILURE(OpenWindow(&frame));
    // The window's first events are drawn; then nothing changes.
    for (int i = 0; i < 3; ++i) MAIN_MainLoopIteration(&frame);

    int draws = frame.draws;
    auto start = std::chrono::steady_clock::now();
    MAIN_MainLoopIteration(&frame);
    EXPECT_GE(ElapsedMs(start), 60u) << "an idle iteration sleeps";
    EXPECT_EQ(frame.draws, draws) << "and draws nothing";

    // A message from the network ends the sleep at once and is drawn.
    std::thread reader([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        net::NotifyInbound();
    });
    start = std::chrono::steady_clock::now();
    MAIN_MainLoopIteration(&frame);
    EXPECT_LT(ElapsedMs(start), 80u) << "well before the idle sleep's end";
    reader.join();
    MAIN_MainLoopIteration(&frame);
    EXPECT_EQ(frame.draws, draws + 1);

    // Something animating is drawn every frame, at most at the refresh rate.
    frame.until_change = 0;
    draws = frame.draws;
    start = std::chrono::steady_clock::now();
    while (ElapsedMs(start) < 300) MAIN_MainLoopIteration(&frame);
    // Generous below: a loaded machine may miss slots, never add them.
    EXPECT_GE(frame.draws - draws, 5);
    EXPECT_LE(frame.draws - draws, 20);
    MAIN_DestroyGfx();
    g_settings->current_frame = &frame_;
}

namespace {

// A frame with a blinking caret: each Update blinks it (while `blinking`) or
// reports another change (when told), each Draw paints the caret's phase.
class BlinkFrame : public ProgramFrame {
  public:
    void Update() override {
        if (other_change)
            gui::ChangeDueIn(0);
        else if (blinking)
            gui::CaretToggled();
    }
    void Draw() override {
        ++draws;
        MAIN_Gfx()->screen()->pixels()[0] = Phase(gui::CaretToggles());
    }
    uint32_t MsUntilChange() override { return gui::TakeChangeDue(); }
    uint32_t MsUntilOtherChange() override { return gui::TakenOtherChangeDue(); }
    static uint32_t Phase(uint32_t toggles) { return toggles & 1 ? 0xFF00FF00u : 0xFFFF0000u; }
    int draws = 0;
    bool blinking = true;
    bool other_change = false;
};

}  // namespace

TEST_F(MainLoop, ABlinkAloneShowsAPictureDrawnBeforeAndAnyOtherChangeDrawsAgain) {
    BlinkFrame frame;
    ASSERT_NO_FATAL_FAILURE(OpenWindow(&frame));
    // Until both phases have been drawn, and the window's own first events
    // (which come late on a busy machine) have been drawn too.
    int still = 0;
    for (int i = 0; i < 500 && still < 6; ++i) {
        const int before = frame.draws;
        MAIN_MainLoopIteration(&frame);
        still = frame.draws == before && frame.draws >= 3 ? still + 1 : 0;
    }
    // From now on blinks cost no drawing, and the picture shown is the one of
    // the caret's phase.
    const int draws = frame.draws;
    for (int i = 0; i < 6; ++i) MAIN_MainLoopIteration(&frame);
    frame.blinking = false;
    for (int i = 0; i < 2; ++i) MAIN_MainLoopIteration(&frame);
    EXPECT_EQ(frame.draws, draws);
    EXPECT_EQ(MAIN_Gfx()->screen()->pixels()[0], BlinkFrame::Phase(gui::CaretToggles()));
    frame.other_change = true;
    for (int i = 0; i < 2; ++i) MAIN_MainLoopIteration(&frame);
    EXPECT_GT(frame.draws, draws);
    MAIN_DestroyGfx();
    g_settings->current_frame = &frame_;
}

// SDL reports a reset render device: the frame that finds it draws nothing,
// the device is reset with the textures made again, and the loop draws on.
TEST_F(MainLoop, AResetRenderDeviceIsResetAndTheLoopDrawsOn) {
    vorlane::testing::LogCapture log;
    ASSERT_NO_FATAL_FAILURE(OpenWindow(&frame_));
    media::GFXSYS3D* gfx = MAIN_Gfx();
    ASSERT_EQ(media::Engine3D().Startup(gfx), 0);
    std::vector<uint32_t> pixels(4, 0xFF00FF00u);
    media::DX3D_TEXMGR& textures = *media::Engine3D().texmgr();
    int texture = textures.RegisterTexture(
        media::EncodeImageData(pixels.data(), 2, 2, media::kImageFormat32), "test");
    ASSERT_GE(texture, 0);
    textures.GetTextureSurface(texture, 0)->PutPixel(0, 0, 0xFFFFFFFFu);
    for (int i = 0; i < 3; ++i) MAIN_MainLoopIteration(&frame_);

    SDL_Event reset{};
    reset.type = SDL_RENDER_DEVICE_RESET;
    ASSERT_EQ(SDL_PushEvent(&reset), 1);
    const int draws = frame_.draws;
    int result = 0;
    for (int i = 0; i < 10 && result != kLoopNoFrameResult; ++i)
        result = MAIN_MainLoopIteration(&frame_);
    EXPECT_EQ(result, kLoopNoFrameResult);
    EXPECT_EQ(frame_.draws, draws);
    EXPECT_TRUE(log.Has(kLogInfo, "GFXSYS3D: device reset, drawing again"));
    EXPECT_EQ(gfx->state(), 4);
    EXPECT_EQ(textures.GetTextureSurface(texture, 0)->GetPixel(0, 0), 0xFF00FF00u);

    for (int i = 0; i < 10 && frame_.draws == draws; ++i) MAIN_MainLoopIteration(&frame_);
    EXPECT_EQ(frame_.draws, draws + 1);
    media::Engine3D().Shutdown();
    MAIN_DestroyGfx();
}

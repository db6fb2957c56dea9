#include <gtest/gtest.h>

#include "app/global_control.h"
#include "app/global_data.h"
#include "app/main_program.h"
#include "baselib/bl_memory.h"

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

TEST_F(MainLoop, InactiveIterationsPauseWithoutUpdatingTheFrame) {
    g_control->app_flags.Set(kAppInactive);
    EXPECT_EQ(MAIN_MainLoopIteration(&frame_), kLoopNoFrameResult);
    EXPECT_EQ(frame_.updates, 0);

    g_control->app_flags.Clear(kAppInactive);
    g_control->program_state = kStateStartGame;
    EXPECT_EQ(MAIN_MainLoopIteration(&frame_), kStateStartGame);
    EXPECT_EQ(frame_.updates, 1);
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

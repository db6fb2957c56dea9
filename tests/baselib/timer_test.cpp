#include "baselib/timer.h"

#include <gtest/gtest.h>

namespace {

using vorlane::baselib::Clock;
using vorlane::baselib::CountdownTimer;
using vorlane::baselib::ManualClock;

class TimerTest : public ::testing::Test {
  protected:
    ManualClock tick_;
};

TEST_F(TimerTest, CountdownExpiresAfterItsDuration) {
    tick_.Set(1000);
    CountdownTimer timer(500, tick_);
    EXPECT_EQ(timer.end_tick(), 1500u);
    EXPECT_FALSE(timer.Expired(1000));
    EXPECT_FALSE(timer.Expired(1499));
    EXPECT_TRUE(timer.Expired(1500));
    EXPECT_TRUE(timer.Expired(999));  // the tick went backwards: outside the window
    tick_.Set(1200);
    EXPECT_FALSE(timer.IsExpired());
    timer.Restart(10);
    EXPECT_EQ(timer.start_tick(), 1200u);
    tick_.Set(1210);
    EXPECT_TRUE(timer.Elapsed());
}

TEST_F(TimerTest, CountdownWindowWrapsAtTwoToThe32) {
    tick_.Set(0xFFFFFF00u);
    CountdownTimer timer(0x200, tick_);
    EXPECT_EQ(timer.end_tick(), 0x100u);
    EXPECT_FALSE(timer.Expired(0xFFFFFFFFu));
    EXPECT_FALSE(timer.Expired(0x0u));
    EXPECT_FALSE(timer.Expired(0xFFu));
    EXPECT_TRUE(timer.Expired(0x100u));
    EXPECT_TRUE(timer.Expired(0xFFFFFEFFu));
}

TEST_F(TimerTest, ClockFollowsTheTickAndContinuesAfterPause) {
    tick_.Set(5000);
    Clock clock(tick_);
    EXPECT_TRUE(clock.running());
    EXPECT_EQ(clock.speed(), 1.0f);
    clock.SetTime(100);
    EXPECT_EQ(clock.time(), 100u);
    tick_.Set(5300);
    clock.Update();
    EXPECT_EQ(clock.time(), 400u);

    clock.Pause();
    tick_.Set(5800);
    clock.Update();
    EXPECT_EQ(clock.time(), 400u);  // stands still while paused
    EXPECT_EQ(clock.Resume(), 500u);
    EXPECT_EQ(clock.Resume(), 0u);
    clock.Update();
    EXPECT_EQ(clock.time(), 400u);  // continues from where it stopped
    tick_.Set(5850);
    clock.Update();
    EXPECT_EQ(clock.time(), 450u);

    // Setting the time while paused keeps the pause and the new value.
    clock.Pause();
    clock.SetTime(10);
    EXPECT_FALSE(clock.running());
    tick_.Set(6850);
    clock.Update();
    EXPECT_EQ(clock.time(), 10u);
    EXPECT_EQ(clock.Resume(), 1000u);
    tick_.Set(6860);
    clock.Update();
    EXPECT_EQ(clock.time(), 20u);
}

TEST_F(TimerTest, ClockAcrossTickWrapAndOtherSpeeds) {
    tick_.Set(0xFFFFFFF0u);
    Clock clock(tick_);
    clock.SetTime(0);
    tick_.Set(0x10);
    clock.Update();
    EXPECT_EQ(clock.time(), 0x20u);

    clock.SetSpeed(0.5f);
    tick_.Set(0x10 + 101);
    clock.Update();
    EXPECT_EQ(clock.time(), 0x20u + 50u);
    tick_.Set(0x10 + 102);
    clock.Update();
    EXPECT_EQ(clock.time(), 0x20u + 51u);  // the half milliseconds add up
    clock.SetSpeed(1.0f);
    tick_.Set(0x10 + 202);
    clock.Update();
    EXPECT_EQ(clock.time(), 0x20u + 151u);
}

// A timer or clock made before a test routes the steady clock follows the route.
TEST(ProgramClocks, RoutingReachesEveryReader) {
    CountdownTimer timer(100);
    ManualClock fake(7000);
    {
        vorlane::baselib::ScopedSteadyClock use(fake);
        EXPECT_EQ(GetTickCount(), 7000u);
        timer.Restart(100);
        fake.Advance(99);
        EXPECT_FALSE(timer.IsExpired());
        fake.Advance(1);
        EXPECT_TRUE(timer.IsExpired());

        // The application clock shows the main loop's frame time and stands
        // still while paused, whatever the steady clock does.
        Clock& main_loop = vorlane::baselib::MainLoopClock();
        main_loop.SetTime(40);
        fake.Advance(25);
        EXPECT_EQ(vorlane::baselib::AppClock().NowMs(), 40u);  // not updated yet
        main_loop.Update();
        EXPECT_EQ(vorlane::baselib::AppClock().NowMs(), 65u);
        main_loop.Pause();
        fake.Advance(1000);
        main_loop.Update();
        EXPECT_EQ(vorlane::baselib::AppClock().NowMs(), 65u);
        EXPECT_EQ(main_loop.Resume(), 1000u);

        ManualClock frames(3);
        vorlane::baselib::ScopedAppClock frames_use(frames);
        EXPECT_EQ(vorlane::baselib::AppClock().NowMs(), 3u);
    }
}

TEST(TickTest, RealTickAdvances) {
    uint32_t first = GetTickCount();
    uint32_t later = first;
    for (int i = 0; i < 1000000 && later == first; ++i) later = GetTickCount();
    EXPECT_NE(later, first);
    EXPECT_LT(uint32_t(later - first), 1000u);
}

}  // namespace

#include "baselib/timer.h"

#include <gtest/gtest.h>

#include <atomic>

namespace {

using vorlane::baselib::Clock;
using vorlane::baselib::CountdownTimer;
using vorlane::baselib::SetTickSource;

std::atomic<uint32_t> g_tick{0};
uint32_t FakeTick() {
    return g_tick.load();
}

class TimerTest : public ::testing::Test {
  protected:
    void SetUp() override { SetTickSource(FakeTick); }
    void TearDown() override { SetTickSource(nullptr); }
};

TEST_F(TimerTest, CountdownExpiresAfterItsDuration) {
    g_tick = 1000;
    CountdownTimer timer(500);
    EXPECT_EQ(timer.end_tick(), 1500u);
    EXPECT_FALSE(timer.Expired(1000));
    EXPECT_FALSE(timer.Expired(1499));
    EXPECT_TRUE(timer.Expired(1500));
    EXPECT_TRUE(timer.Expired(999));  // the tick went backwards: outside the window
    g_tick = 1200;
    EXPECT_FALSE(timer.IsExpired());
    timer.Restart(10);
    EXPECT_EQ(timer.start_tick(), 1200u);
    g_tick = 1210;
    EXPECT_TRUE(timer.Elapsed());
}

TEST_F(TimerTest, CountdownWindowWrapsAtTwoToThe32) {
    g_tick = 0xFFFFFF00u;
    CountdownTimer timer(0x200);
    EXPECT_EQ(timer.end_tick(), 0x100u);
    EXPECT_FALSE(timer.Expired(0xFFFFFFFFu));
    EXPECT_FALSE(timer.Expired(0x0u));
    EXPECT_FALSE(timer.Expired(0xFFu));
    EXPECT_TRUE(timer.Expired(0x100u));
    EXPECT_TRUE(timer.Expired(0xFFFFFEFFu));
}

TEST_F(TimerTest, ClockFollowsTheTickAndContinuesAfterPause) {
    g_tick = 5000;
    Clock clock;
    EXPECT_TRUE(clock.running());
    EXPECT_EQ(clock.speed(), 1.0f);
    clock.SetTime(100);
    EXPECT_EQ(clock.time(), 100u);
    g_tick = 5300;
    clock.Update();
    EXPECT_EQ(clock.time(), 400u);

    clock.Pause();
    g_tick = 5800;
    clock.Update();
    EXPECT_EQ(clock.time(), 400u);  // stands still while paused
    EXPECT_EQ(clock.Resume(), 500u);
    EXPECT_EQ(clock.Resume(), 0u);
    clock.Update();
    EXPECT_EQ(clock.time(), 400u);  // continues from where it stopped
    g_tick = 5850;
    clock.Update();
    EXPECT_EQ(clock.time(), 450u);

    // Setting the time while paused keeps the pause and the new value.
    clock.Pause();
    clock.SetTime(10);
    EXPECT_FALSE(clock.running());
    g_tick = 6850;
    clock.Update();
    EXPECT_EQ(clock.time(), 10u);
    EXPECT_EQ(clock.Resume(), 1000u);
    g_tick = 6860;
    clock.Update();
    EXPECT_EQ(clock.time(), 20u);
}

TEST_F(TimerTest, ClockAcrossTickWrapAndOtherSpeeds) {
    g_tick = 0xFFFFFFF0u;
    Clock clock;
    clock.SetTime(0);
    g_tick = 0x10;
    clock.Update();
    EXPECT_EQ(clock.time(), 0x20u);

    clock.SetSpeed(0.5f);
    g_tick = 0x10 + 101;
    clock.Update();
    EXPECT_EQ(clock.time(), 0x20u + 50u);
    g_tick = 0x10 + 102;
    clock.Update();
    EXPECT_EQ(clock.time(), 0x20u + 51u);  // the half milliseconds add up
    clock.SetSpeed(1.0f);
    g_tick = 0x10 + 202;
    clock.Update();
    EXPECT_EQ(clock.time(), 0x20u + 151u);
}

TEST(TickTest, RealTickAdvances) {
    uint32_t first = GetTickCount();
    uint32_t later = first;
    for (int i = 0; i < 1000000 && later == first; ++i) later = GetTickCount();
    EXPECT_NE(later, first);
    EXPECT_LT(uint32_t(later - first), 1000u);
}

}  // namespace

// MainThread's stop when a service call hangs: the shutdown goes on, and the
// sound system the call is inside is not freed under it.
#include "app/main_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "baselib/timer.h"
#include "sound/sndapi.h"
#include "tests/support/log_capture.h"

using namespace vorlane;

namespace {

// A steady clock whose first read after Arm waits until Open: the sound
// system's update reads it, so a service call hangs inside the system.
class GateClock final : public baselib::MsClock {
  public:
    uint32_t NowMs() const override {
        if (armed_.exchange(false)) {
            std::unique_lock lock(mutex_);
            entered_ = true;
            changed_.notify_all();
            changed_.wait(lock, [&] { return open_; });
        }
        return 1000;
    }
    void Arm() { armed_.store(true); }
    void WaitEntered() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return entered_; });
    }
    void Open() {
        std::lock_guard lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }

  private:
    mutable std::atomic<bool> armed_{false};
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    mutable bool entered_ = false;
    bool open_ = false;
};

TEST(MainThreadStop, AHungSoundServiceKeepsTheSoundSystemAlive) {
    // Static: the thread given up on may still use them after the test.
    static GateClock clock;
    static std::atomic<int> started{0}, returned{0};
    baselib::SetSteadyClock(&clock);
    vorlane::testing::LogCapture log;
    auto api = std::make_unique<sound::SNDAPI>(sound::MakeNullSoundDevice());
    ASSERT_EQ(api->InitSound(true), 0);
    ASSERT_EQ(api->StartKernel(-1, 16, 2, 44100), 0);
    sound::SNDAPI* system = api.get();
    sound::SNDAPI_Set(system);

    clock.Arm();
    ASSERT_EQ(MAIN_StartMainThread([] {
                  ++started;
                  sound::SNDAPI_Service();
                  ++returned;
              }),
              0);
    MAIN_ReleaseMainThread();
    clock.WaitEntered();
    EXPECT_EQ(MAIN_StopMainThread(50), -1);
    EXPECT_FALSE(MAIN_MainThreadRunning());
    // The shutdown's release of the sound system: kept for the call inside.
    EXPECT_FALSE(sound::SNDAPI_Retire(std::move(api), 50));
    EXPECT_FALSE(vorlane::testing::LogCapture::Has("SNDAPI, SoundSystem Removed."));

    clock.Open();
    while (returned.load() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_TRUE(system->ready());
    // The thread ends after that call instead of servicing again.
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    EXPECT_EQ(started.load(), 1);
    baselib::SetSteadyClock(nullptr);
}

TEST(MainThreadStop, AFinishedServiceLetsTheSoundSystemGo) {
    auto api = std::make_unique<sound::SNDAPI>(sound::MakeNullSoundDevice());
    ASSERT_EQ(api->InitSound(true), 0);
    ASSERT_EQ(api->StartKernel(-1, 16, 2, 44100), 0);
    sound::SNDAPI_Set(api.get());
    ASSERT_EQ(MAIN_StartMainThread(sound::SNDAPI_Service), 0);
    MAIN_ReleaseMainThread();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(MAIN_StopMainThread(), 0);
    vorlane::testing::LogCapture log;
    EXPECT_TRUE(sound::SNDAPI_Retire(std::move(api), 0));
    EXPECT_TRUE(vorlane::testing::LogCapture::Has("SNDAPI, SoundSystem Removed."));
    sound::SNDAPI_Service();  // nothing in service any more
}

}  // namespace

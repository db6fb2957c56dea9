// Ticks and clocks: GetTickCount (a wrapping 32-bit millisecond tick from the
// monotonic clock), the countdown timer and the main loop's clock. Both read
// the tick through GetTickCount, which tests can drive with SetTickSource.
#pragma once

#include <cstdint>

// Milliseconds since an arbitrary start, wrapping at 2^32.
uint32_t GetTickCount();

namespace vorlane::baselib {

using TickSource = uint32_t (*)();
// Replaces the tick source (null restores the monotonic clock).
void SetTickSource(TickSource source);

// A countdown over the wrapping tick: expired once `duration` milliseconds have
// passed since the start (or the tick left the window by going backwards).
class CountdownTimer {
  public:
    CountdownTimer() : CountdownTimer(0) {}
    explicit CountdownTimer(uint32_t duration_ms) { Restart(duration_ms); }
    virtual ~CountdownTimer() = default;

    // Starts again from the current tick with a new duration.
    void Restart(uint32_t duration_ms);
    // The same as Restart (the name the call controller uses).
    void Arm(uint32_t duration_ms) { Restart(duration_ms); }
    // True when `now` lies outside the window [start, end) taken modulo 2^32.
    bool Expired(uint32_t now) const;
    bool IsExpired() const { return Expired(GetTickCount()); }
    bool Elapsed() const { return IsExpired(); }

    uint32_t start_tick() const { return start_tick_; }
    uint32_t end_tick() const { return end_tick_; }
    uint32_t duration() const { return duration_; }

  private:
    uint32_t start_tick_ = 0;
    uint32_t end_tick_ = 0;
    uint32_t duration_ = 0;
};

// The main loop's time base: a millisecond value that follows the tick while
// running, stands still while paused and can be set.
class Clock {
  public:
    Clock();

    // Brings `time` up to date (nothing while paused).
    void Update();
    void Pause();
    // Continues after a pause; returns the paused milliseconds (0 if not paused).
    uint32_t Resume();
    // Sets the clock value; the running or paused state stays.
    void SetTime(uint32_t value);
    void SetSpeed(float speed) { speed_ = speed; }

    uint32_t time() const { return time_; }
    bool running() const { return running_ != 0; }
    float speed() const { return speed_; }

  private:
    uint32_t time_ = 0;
    uint32_t start_tick_ = 0;
    uint32_t start_value_ = 0;
    uint32_t pause_tick_ = 0;
    int running_ = 1;
    float speed_ = 1.0f;
    uint32_t last_tick_ = 0;  // tick of the last update, for speeds other than 1.0
    double fraction_ = 0.0;   // sub-millisecond carry at other speeds
};

}  // namespace vorlane::baselib

// Time for the whole program: one millisecond clock interface and the two clocks
// every timed piece reads.
//
//   SteadyClock()  never pauses. The network kernel times its calls, keep-alives,
//                  dead-connection checks and log-on waits with it, so an inactive
//                  window cannot stop them. GetTickCount and countdown timers read
//                  it, and it is the tick under the application clock.
//   AppClock()     what animates: video, sequences, the GUI, the autopilot. Its
//                  value is the frame time of the pausable Clock below, which the
//                  main loop updates once per frame and pauses while the window is
//                  inactive.
//
// Tests hand either one a ManualClock and advance it instead of waiting.
#pragma once

#include <atomic>
#include <cstdint>

// Milliseconds of the steady clock, wrapping at 2^32.
uint32_t GetTickCount();

namespace vorlane::baselib {

// A millisecond clock: "now" as a count that wraps at 2^32.
class MsClock {
  public:
    virtual ~MsClock() = default;
    virtual uint32_t NowMs() const = 0;
};

// The system's monotonic clock.
class SystemClock final : public MsClock {
  public:
    uint32_t NowMs() const override;
};

// A clock that moves only when told to. Safe to read from other threads while
// a test advances it.
class ManualClock final : public MsClock {
  public:
    explicit ManualClock(uint32_t start_ms = 0) : now_(start_ms) {}
    uint32_t NowMs() const override { return now_.load(std::memory_order_acquire); }
    void Set(uint32_t ms) { now_.store(ms, std::memory_order_release); }
    void Advance(uint32_t ms) { now_.fetch_add(ms, std::memory_order_acq_rel); }

  private:
    std::atomic<uint32_t> now_;
};

class Clock;

const MsClock& SteadyClock();
const MsClock& AppClock();
// The pausable clock behind AppClock(); only the main loop updates, pauses and
// resumes it.
Clock& MainLoopClock();

// Route SteadyClock() or AppClock() to `clock` until called again with null
// (tests). `clock` must outlive the routing.
void SetSteadyClock(const MsClock* clock);
void SetAppClock(const MsClock* clock);

// Routes one of the two clocks to a ManualClock for its lifetime (tests).
class ScopedSteadyClock {
  public:
    explicit ScopedSteadyClock(const MsClock& clock) { SetSteadyClock(&clock); }
    ~ScopedSteadyClock() { SetSteadyClock(nullptr); }
    ScopedSteadyClock(const ScopedSteadyClock&) = delete;
    ScopedSteadyClock& operator=(const ScopedSteadyClock&) = delete;
};
class ScopedAppClock {
  public:
    explicit ScopedAppClock(const MsClock& clock) { SetAppClock(&clock); }
    ~ScopedAppClock() { SetAppClock(nullptr); }
    ScopedAppClock(const ScopedAppClock&) = delete;
    ScopedAppClock& operator=(const ScopedAppClock&) = delete;
};

// A countdown over a wrapping millisecond clock (the steady one unless given):
// expired once `duration` milliseconds have passed since the start (or the
// clock left the window by going backwards).
class CountdownTimer {
  public:
    CountdownTimer() : CountdownTimer(0) {}
    explicit CountdownTimer(uint32_t duration_ms, const MsClock& clock = SteadyClock())
        : clock_(&clock) {
        Restart(duration_ms);
    }
    virtual ~CountdownTimer() = default;

    // Starts again from the current tick with a new duration.
    void Restart(uint32_t duration_ms);
    // The same as Restart (the name the call controller uses).
    void Arm(uint32_t duration_ms) { Restart(duration_ms); }
    // True when `now` lies outside the window [start, end) taken modulo 2^32.
    bool Expired(uint32_t now) const;
    bool IsExpired() const { return Expired(clock_->NowMs()); }
    bool Elapsed() const { return IsExpired(); }

    uint32_t start_tick() const { return start_tick_; }
    uint32_t end_tick() const { return end_tick_; }
    uint32_t duration() const { return duration_; }

  private:
    const MsClock* clock_;
    uint32_t start_tick_ = 0;
    uint32_t end_tick_ = 0;
    uint32_t duration_ = 0;
};

// The main loop's time base: a millisecond value that follows a tick (the
// steady clock unless given) while running, stands still while paused and can
// be set. As a clock it reads the value of the last Update, so everything
// within one frame sees the same time.
class Clock final : public MsClock {
  public:
    explicit Clock(const MsClock& tick = SteadyClock());

    uint32_t NowMs() const override { return time_; }

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
    const MsClock* tick_;
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

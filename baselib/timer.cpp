#include "baselib/timer.h"

#include <chrono>
#include <cmath>

namespace vorlane::baselib {
namespace {

// One of the program's two clocks: reads the clock a test routed it to, or
// its own source. References to it stay valid across re-routing, so a timer
// made before a test swapped the clock follows the swap.
class RoutedClock final : public MsClock {
  public:
    explicit RoutedClock(const MsClock& source) : source_(source) {}
    uint32_t NowMs() const override {
        const MsClock* routed = routed_.load(std::memory_order_acquire);
        return routed ? routed->NowMs() : source_.NowMs();
    }
    void Route(const MsClock* clock) { routed_.store(clock, std::memory_order_release); }

  private:
    const MsClock& source_;
    std::atomic<const MsClock*> routed_{nullptr};
};

RoutedClock& RoutedSteady() {
    static const SystemClock system;
    static RoutedClock steady(system);
    return steady;
}

RoutedClock& RoutedApp() {
    static RoutedClock app(MainLoopClock());
    return app;
}

}  // namespace

uint32_t SystemClock::NowMs() const {
    using namespace std::chrono;
    auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    return static_cast<uint32_t>(static_cast<uint64_t>(ms));
}

const MsClock& SteadyClock() {
    return RoutedSteady();
}
const MsClock& AppClock() {
    return RoutedApp();
}
Clock& MainLoopClock() {
    static Clock clock;
    return clock;
}

void SetSteadyClock(const MsClock* clock) {
    RoutedSteady().Route(clock);
}
void SetAppClock(const MsClock* clock) {
    RoutedApp().Route(clock);
}

void CountdownTimer::Restart(uint32_t duration_ms) {
    start_tick_ = clock_->NowMs();
    duration_ = duration_ms;
    end_tick_ = start_tick_ + duration_ms;
}

bool CountdownTimer::Expired(uint32_t now) const {
    if (end_tick_ >= start_tick_)
        return now < start_tick_ || now >= end_tick_;
    // The end wrapped past 2^32: the window is [start, 2^32) plus [0, end).
    return now < start_tick_ && now >= end_tick_;
}

Clock::Clock(const MsClock& tick) : tick_(&tick) {
    start_tick_ = tick_->NowMs();
    last_tick_ = start_tick_;
    Update();
}

void Clock::Update() {
    if (!running_)
        return;
    uint32_t now = tick_->NowMs();
    if (speed_ == 1.0f) {
        time_ = now + (start_value_ - start_tick_);
    } else {
        double scaled = double(now - last_tick_) * double(speed_) + fraction_;
        if (!(scaled > 0.0))
            scaled = 0.0;  // negative or NaN speeds stand still
        double whole = std::floor(scaled);
        fraction_ = scaled - whole;
        time_ += static_cast<uint32_t>(static_cast<uint64_t>(whole));
        // Keep the 1.0 formula continuous should the speed return to 1.0.
        start_value_ = time_;
        start_tick_ = now;
    }
    last_tick_ = now;
}

void Clock::Pause() {
    if (!running_)
        return;
    Update();
    pause_tick_ = tick_->NowMs();
    running_ = 0;
}

uint32_t Clock::Resume() {
    if (running_)
        return 0;
    uint32_t now = tick_->NowMs();
    uint32_t span = now - pause_tick_;
    start_tick_ += span;
    last_tick_ += span;
    pause_tick_ = 0;
    running_ = 1;
    return span;
}

void Clock::SetTime(uint32_t value) {
    uint32_t now = tick_->NowMs();
    start_tick_ = now;
    start_value_ = value;
    last_tick_ = now;
    fraction_ = 0.0;
    time_ = value;
    if (!running_)
        pause_tick_ = now;  // a later Resume counts the pause from here
    Update();
}

}  // namespace vorlane::baselib

uint32_t GetTickCount() {
    return vorlane::baselib::SteadyClock().NowMs();
}

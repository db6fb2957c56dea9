#include "baselib/timer.h"

#include <atomic>
#include <chrono>
#include <cmath>

namespace {

uint32_t MonotonicTick() {
    using namespace std::chrono;
    auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    return static_cast<uint32_t>(static_cast<uint64_t>(ms));
}

std::atomic<vorlane::baselib::TickSource> g_tick_source{nullptr};

}  // namespace

uint32_t GetTickCount() {
    vorlane::baselib::TickSource source = g_tick_source.load(std::memory_order_relaxed);
    return source ? source() : MonotonicTick();
}

namespace vorlane::baselib {

void SetTickSource(TickSource source) {
    g_tick_source.store(source);
}

void CountdownTimer::Restart(uint32_t duration_ms) {
    start_tick_ = GetTickCount();
    duration_ = duration_ms;
    end_tick_ = start_tick_ + duration_ms;
}

bool CountdownTimer::Expired(uint32_t now) const {
    if (end_tick_ >= start_tick_)
        return now < start_tick_ || now >= end_tick_;
    // The end wrapped past 2^32: the window is [start, 2^32) plus [0, end).
    return now < start_tick_ && now >= end_tick_;
}

Clock::Clock() {
    start_tick_ = GetTickCount();
    last_tick_ = start_tick_;
    Update();
}

void Clock::Update() {
    if (!running_)
        return;
    uint32_t now = GetTickCount();
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
    pause_tick_ = GetTickCount();
    running_ = 0;
}

uint32_t Clock::Resume() {
    if (running_)
        return 0;
    uint32_t now = GetTickCount();
    uint32_t span = now - pause_tick_;
    start_tick_ += span;
    last_tick_ += span;
    pause_tick_ = 0;
    running_ = 1;
    return span;
}

void Clock::SetTime(uint32_t value) {
    uint32_t now = GetTickCount();
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

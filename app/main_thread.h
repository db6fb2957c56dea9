// MainThread: the background thread that services the sound system every 20 ms
// once the start-up is complete.
#pragma once

#include <cstdint>
#include <functional>

namespace vorlane {

// Starts the thread in its waiting state; it runs `service` (may be empty)
// every 20 ms after MAIN_ReleaseMainThread. 0 success, -1 failure (logged).
int MAIN_StartMainThread(std::function<void()> service);
// Gives the waiting thread its start signal.
void MAIN_ReleaseMainThread();
// Requests the stop and waits up to `wait_ms`; harmless when not started.
// 0 when the thread has ended; -1 when it is still inside a service call and
// was given up on: it ends when that call returns, without another one.
int MAIN_StopMainThread(uint32_t wait_ms = 5000);
bool MAIN_MainThreadRunning();

}  // namespace vorlane

// MainThread: the background thread that services the sound system every 20 ms
// once the start-up is complete.
#pragma once

#include <functional>

namespace vorlane {

// Starts the thread in its waiting state; it runs `service` (may be empty)
// every 20 ms after MAIN_ReleaseMainThread. 0 success, -1 failure (logged).
int MAIN_StartMainThread(std::function<void()> service);
// Gives the waiting thread its start signal.
void MAIN_ReleaseMainThread();
// Requests the stop and waits up to 5000 ms; harmless when not started.
void MAIN_StopMainThread();
bool MAIN_MainThreadRunning();

}  // namespace vorlane

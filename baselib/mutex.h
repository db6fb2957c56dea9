// MUTX: a lockable mutex with a visible free/held state, over a recursive timed
// mutex (a thread that holds it may lock it again, as the log writer relies on
// when a failing file write reports through the same log).
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

struct MUTX {
    uint16_t state = 1;  // 1 free, 2 held
    std::unique_ptr<std::recursive_timed_mutex> handle;
    bool allocated = false;  // made by MUTX_Create: MUTX_Destroy deletes it
};

constexpr uint16_t kMutxFree = 1;
constexpr uint16_t kMutxHeld = 2;
constexpr int32_t kMutxNoTimeout = -1;

// A new mutex, held by the calling thread when `owned` is 1; null on failure.
MUTX* MUTX_Create(int owned);
// Prepares an embedded mutex; 0 or -1.
int16_t MUTX_Init(MUTX* mutex, int owned);
// 1 when acquired, 0 on time-out or failure; `timeout_ms` -1 waits for ever.
int MUTX_Lock(MUTX* mutex, int32_t timeout_ms);
// Releases the mutex held by the calling thread; 0 or -1.
int16_t MUTX_Unlock(MUTX* mutex);
// Waits for the mutex and closes it. A mutex from MUTX_Create is deleted too;
// an embedded one (MUTX_Init) stays in place whatever `free` says. 0 or -1.
int16_t MUTX_Destroy(MUTX* mutex, int free);

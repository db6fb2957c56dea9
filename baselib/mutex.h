// MUTX: a lockable mutex with a visible free/held state. The lock is recursive
// (the holder may lock again, as the log writer relies on when a failing file
// write reports through the same log), can be waited for with a time-out, and
// only its holder can release it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

namespace vorlane::baselib {

// A recursive lock with timed waits over std::mutex and a condition variable.
// When a thread ends while holding it, the lock is abandoned: the next Lock
// acquires it (a holder that died cannot release it any more).
class RecursiveTimedLock {
  public:
    RecursiveTimedLock() = default;
    ~RecursiveTimedLock();
    RecursiveTimedLock(const RecursiveTimedLock&) = delete;
    RecursiveTimedLock& operator=(const RecursiveTimedLock&) = delete;

    // True when acquired; `timeout_ms` below 0 waits for ever.
    bool Lock(int32_t timeout_ms);
    // False (nothing changes) when the calling thread does not hold it.
    bool Unlock();
    // True when the calling thread holds it.
    bool HeldByMe() const;
    // Releases it completely on behalf of a thread that is ending.
    void Abandon(std::thread::id owner);

  private:
    mutable std::mutex mutex_;
    std::condition_variable released_;
    std::thread::id owner_;
    uint32_t depth_ = 0;
};

}  // namespace vorlane::baselib

struct MUTX {
    uint16_t state = 1;  // 1 free, 2 held
    std::unique_ptr<vorlane::baselib::RecursiveTimedLock> handle;
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
// Releases the mutex held by the calling thread; 0, or -1 when there is no
// mutex or the calling thread does not hold it.
int16_t MUTX_Unlock(MUTX* mutex);
// Waits for the mutex and closes it. A mutex from MUTX_Create is deleted too;
// an embedded one (MUTX_Init) stays in place whatever `free` says. 0 or -1.
int16_t MUTX_Destroy(MUTX* mutex, int free);

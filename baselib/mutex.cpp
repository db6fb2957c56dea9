#include "baselib/mutex.h"

#include <chrono>
#include <new>

#include "baselib/logsys.h"

MUTX* MUTX_Create(int owned) {
    MUTX* mutex = new (std::nothrow) MUTX;
    if (!mutex) return nullptr;
    mutex->allocated = true;
    if (MUTX_Init(mutex, owned) != 0) {
        delete mutex;
        return nullptr;
    }
    return mutex;
}

int16_t MUTX_Init(MUTX* mutex, int owned) {
    if (!mutex) return -1;
    mutex->handle.reset(new (std::nothrow) std::recursive_timed_mutex);
    if (!mutex->handle) return -1;
    mutex->state = kMutxFree;
    if (owned == 1) {
        mutex->handle->lock();
        mutex->state = kMutxHeld;
    }
    return 0;
}

int MUTX_Lock(MUTX* mutex, int32_t timeout_ms) {
    if (!mutex || !mutex->handle) return 0;
    if (timeout_ms < 0) {
        mutex->handle->lock();
    } else if (!mutex->handle->try_lock_for(std::chrono::milliseconds(timeout_ms))) {
        return 0;
    }
    mutex->state = kMutxHeld;
    return 1;
}

int16_t MUTX_Unlock(MUTX* mutex) {
    if (!mutex || !mutex->handle) {
        LOGSYS_Text(nullptr, kLogError, "MUTX::MUTX_Unlock(): no mutx handle !");
        return -1;
    }
    mutex->state = kMutxFree;
    mutex->handle->unlock();
    return 0;
}

int16_t MUTX_Destroy(MUTX* mutex, int free) {
    if (!mutex) return -1;
    if (mutex->handle) {
        // Wait until no other thread holds it; then it can be closed.
        mutex->handle->lock();
        mutex->state = kMutxFree;
        mutex->handle->unlock();
        mutex->handle.reset();
    }
    (void)free;
    if (mutex->allocated) delete mutex;
    return 0;
}

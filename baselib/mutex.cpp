#include "baselib/mutex.h"

#include <chrono>
#include <cstddef>
#include <new>
#include <vector>

#include "baselib/logsys.h"

namespace vorlane::baselib {

namespace {

// The locks the current thread holds; abandoned when the thread ends.
class HeldLocks {
  public:
    ~HeldLocks() {
        std::thread::id me = std::this_thread::get_id();
        for (RecursiveTimedLock* lock : held_) lock->Abandon(me);
    }
    void Add(RecursiveTimedLock* lock) { held_.push_back(lock); }
    void Remove(RecursiveTimedLock* lock) {
        for (size_t i = held_.size(); i-- > 0;) {
            if (held_[i] == lock) {
                held_.erase(held_.begin() + static_cast<std::ptrdiff_t>(i));
                return;
            }
        }
    }

  private:
    std::vector<RecursiveTimedLock*> held_;
};

HeldLocks& ThreadHeldLocks() {
    thread_local HeldLocks locks;
    return locks;
}

}  // namespace

RecursiveTimedLock::~RecursiveTimedLock() {
    // A holder may close a lock it still holds; it must not be abandoned later.
    bool held = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        held = depth_ > 0 && owner_ == std::this_thread::get_id();
    }
    if (held)
        ThreadHeldLocks().Remove(this);
}

void RecursiveTimedLock::Abandon(std::thread::id owner) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (depth_ == 0 || owner_ != owner)
        return;
    depth_ = 0;
    owner_ = std::thread::id();
    released_.notify_one();
}

bool RecursiveTimedLock::Lock(int32_t timeout_ms) {
    std::unique_lock<std::mutex> lock(mutex_);
    const std::thread::id me = std::this_thread::get_id();
    if (depth_ > 0 && owner_ == me) {
        ++depth_;
        return true;
    }
    auto free = [this] { return depth_ == 0; };
    if (timeout_ms < 0) {
        released_.wait(lock, free);
    } else if (!released_.wait_for(lock, std::chrono::milliseconds(timeout_ms), free)) {
        return false;
    }
    owner_ = me;
    depth_ = 1;
    lock.unlock();
    ThreadHeldLocks().Add(this);
    return true;
}

bool RecursiveTimedLock::Unlock() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (depth_ == 0 || owner_ != std::this_thread::get_id())
        return false;
    if (--depth_ == 0) {
        owner_ = std::thread::id();
        released_.notify_one();
        lock.unlock();
        ThreadHeldLocks().Remove(this);
    }
    return true;
}

bool RecursiveTimedLock::HeldByMe() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return depth_ > 0 && owner_ == std::this_thread::get_id();
}

}  // namespace vorlane::baselib

MUTX* MUTX_Create(int owned) {
    MUTX* mutex = new (std::nothrow) MUTX;
    if (!mutex)
        return nullptr;
    mutex->allocated = true;
    if (MUTX_Init(mutex, owned) != 0) {
        delete mutex;
        return nullptr;
    }
    return mutex;
}

int16_t MUTX_Init(MUTX* mutex, int owned) {
    if (!mutex)
        return -1;
    mutex->handle.reset(new (std::nothrow) vorlane::baselib::RecursiveTimedLock);
    if (!mutex->handle)
        return -1;
    mutex->state = kMutxFree;
    if (owned == 1) {
        mutex->handle->Lock(kMutxNoTimeout);
        mutex->state = kMutxHeld;
    }
    return 0;
}

int MUTX_Lock(MUTX* mutex, int32_t timeout_ms) {
    if (!mutex || !mutex->handle)
        return 0;
    if (!mutex->handle->Lock(timeout_ms))
        return 0;
    mutex->state = kMutxHeld;
    return 1;
}

int16_t MUTX_Unlock(MUTX* mutex) {
    if (!mutex || !mutex->handle) {
        LOGSYS_Text(nullptr, kLogError, "MUTX::MUTX_Unlock(): no mutx handle !");
        return -1;
    }
    // Only the holder writes the state, and only while it still holds the lock.
    if (!mutex->handle->HeldByMe())
        return -1;
    mutex->state = kMutxFree;
    mutex->handle->Unlock();
    return 0;
}

int16_t MUTX_Destroy(MUTX* mutex, int free) {
    if (!mutex)
        return -1;
    if (mutex->handle) {
        // Wait until no other thread holds it; then it can be closed.
        mutex->handle->Lock(kMutxNoTimeout);
        mutex->state = kMutxFree;
        mutex->handle->Unlock();
        mutex->handle.reset();
    }
    (void)free;
    if (mutex->allocated)
        delete mutex;
    return 0;
}

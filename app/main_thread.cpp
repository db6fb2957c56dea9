#include "app/main_thread.h"

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "baselib/logsys.h"

namespace vorlane {

namespace {

// Control word bits.
constexpr uint32_t kStartBit = 16;
constexpr uint32_t kStopBit = 32;

struct MainThreadRecord {
    std::thread thread;
    std::mutex mutex;
    std::condition_variable changed;
    uint32_t control = 0;
    bool finished = false;
    bool given_up = false;  // the stop stopped waiting; nothing may be touched
    std::function<void()> service;
};

std::unique_ptr<MainThreadRecord> g_main_thread;

// Records of threads given up on at stop: the threads still use them, so they
// are kept (and stay reachable) until the process ends.
std::vector<std::unique_ptr<MainThreadRecord>>& GivenUp() {
    static auto* records = new std::vector<std::unique_ptr<MainThreadRecord>>;
    return *records;
}

void Body(MainThreadRecord* record) {
    {
        std::unique_lock lock(record->mutex);
        record->changed.wait(lock, [&] { return record->control & (kStartBit | kStopBit); });
        if (record->control & kStopBit) {
            record->finished = true;
            record->changed.notify_all();
            return;
        }
    }
    LOGSYS_Text(nullptr, kLogInfo, "MAIN: MainThread runnning.");
    std::unique_lock lock(record->mutex);
    while (!(record->control & kStopBit)) {
        if (record->service) {
            lock.unlock();
            record->service();
            lock.lock();
        }
        record->changed.wait_for(lock, std::chrono::milliseconds(20),
                                 [&] { return (record->control & kStopBit) != 0; });
    }
    // A thread given up on may end while the process tears the log down.
    if (record->given_up)
        return;
    LOGSYS_Text(nullptr, kLogInfo, "MainThread exiting...");
    record->finished = true;
    record->changed.notify_all();
}

}  // namespace

int MAIN_StartMainThread(std::function<void()> service) {
    MAIN_StopMainThread();
    auto record = std::make_unique<MainThreadRecord>();
    record->service = std::move(service);
    try {
        record->thread = std::thread(Body, record.get());
    } catch (const std::system_error&) {
        LOGSYS_Text(nullptr, kLogError, "MAIN: Thread_Create failed.");
        return -1;
    }
    g_main_thread = std::move(record);
    return 0;
}

void MAIN_ReleaseMainThread() {
    if (!g_main_thread)
        return;
    std::lock_guard lock(g_main_thread->mutex);
    g_main_thread->control |= kStartBit;
    g_main_thread->changed.notify_all();
}

int MAIN_StopMainThread(uint32_t wait_ms) {
    if (!g_main_thread)
        return 0;
    MainThreadRecord& record = *g_main_thread;
    {
        std::unique_lock lock(record.mutex);
        record.control |= kStopBit;
        record.changed.notify_all();
        if (!record.changed.wait_for(lock, std::chrono::milliseconds(wait_ms),
                                     [&] { return record.finished; })) {
            // A service call that hangs must not hang the shutdown with it.
            // The record stays allocated for the thread; what the call uses
            // must outlive it (the sound system is retired, not freed).
            record.given_up = true;
            LOGSYS_Text(nullptr, kLogError, "MAIN: MainThread did not stop; left to end alone.");
            record.thread.detach();
            GivenUp().push_back(std::move(g_main_thread));
            return -1;
        }
    }
    record.thread.join();
    g_main_thread.reset();
    return 0;
}

bool MAIN_MainThreadRunning() {
    return g_main_thread != nullptr;
}

}  // namespace vorlane

#include "baselib/bl_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "baselib/mutex.h"
#include "core_test_support.h"

namespace {

using Clock = std::chrono::steady_clock;

int64_t MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

class ThreadTest : public core_test::BaseLibTest {};

TEST_F(ThreadTest, MutexStatesAndTimeouts) {
    MUTX* mutex = MUTX_Create(0);
    ASSERT_NE(mutex, nullptr);
    EXPECT_EQ(mutex->state, kMutxFree);
    EXPECT_EQ(MUTX_Lock(mutex, kMutxNoTimeout), 1);
    EXPECT_EQ(mutex->state, kMutxHeld);
    EXPECT_EQ(MUTX_Lock(mutex, 0), 1);  // the holder may lock again
    MUTX_Unlock(mutex);

    std::atomic<int> immediate{-1}, waited{-1};
    std::atomic<int64_t> waited_ms{0};
    std::thread other([&] {
        immediate = MUTX_Lock(mutex, 0);
        auto start = Clock::now();
        waited = MUTX_Lock(mutex, 60);
        waited_ms = MsSince(start);
    });
    other.join();
    EXPECT_EQ(immediate, 0);
    EXPECT_EQ(waited, 0);
    EXPECT_GE(waited_ms, 50);
    EXPECT_EQ(MUTX_Unlock(mutex), 0);

    std::thread taker([&] {
        immediate = MUTX_Lock(mutex, 0);
        MUTX_Unlock(mutex);
    });
    taker.join();
    EXPECT_EQ(immediate, 1);
    EXPECT_EQ(MUTX_Destroy(mutex, 1), 0);
}

TEST_F(ThreadTest, OwnedMutexAndNullHandles) {
    MUTX embedded;
    ASSERT_EQ(MUTX_Init(&embedded, 1), 0);
    EXPECT_EQ(embedded.state, kMutxHeld);
    std::atomic<int> got{-1};
    std::thread other([&] { got = MUTX_Lock(&embedded, 0); });
    other.join();
    EXPECT_EQ(got, 0);
    EXPECT_EQ(MUTX_Unlock(&embedded), 0);
    EXPECT_EQ(MUTX_Destroy(&embedded, 0), 0);

    // Only the holder can release it.
    MUTX* held = MUTX_Create(1);
    std::atomic<int> foreign{0};
    std::thread stranger([&] { foreign = MUTX_Unlock(held); });
    stranger.join();
    EXPECT_EQ(foreign, -1);
    EXPECT_EQ(held->state, kMutxHeld);
    EXPECT_EQ(MUTX_Unlock(held), 0);
    EXPECT_EQ(MUTX_Unlock(held), -1);
    EXPECT_EQ(MUTX_Destroy(held, 1), 0);

    EXPECT_EQ(MUTX_Unlock(nullptr), -1);
    EXPECT_EQ(MUTX_Lock(nullptr, 0), 0);
}

TEST_F(ThreadTest, MutexOfAnEndedHolderCanBeTaken) {
    MUTX* mutex = MUTX_Create(0);
    std::thread holder([mutex] {
        MUTX_Lock(mutex, kMutxNoTimeout);
        MUTX_Lock(mutex, kMutxNoTimeout);  // ends holding it twice
    });
    holder.join();
    EXPECT_EQ(MUTX_Lock(mutex, 100), 1);
    EXPECT_EQ(MUTX_Unlock(mutex), 0);

    // A holder that closes the mutex it holds leaves nothing behind.
    std::thread closer([] {
        MUTX* own = MUTX_Create(1);
        MUTX_Lock(own, 0);
        MUTX_Destroy(own, 1);
    });
    closer.join();
    EXPECT_EQ(MUTX_Destroy(mutex, 1), 0);
}

struct Worker {
    THREAD thread;
    std::atomic<int> rounds{0};
    bool call_exit = true;
};

uint32_t WorkerRoutine(void* argument) {
    auto* worker = static_cast<Worker*>(argument);
    while (!THREAD_StopRequested(&worker->thread)) {
        worker->rounds++;
        BL_Sleep(1);
    }
    if (worker->call_exit)
        THREAD_Exit(&worker->thread, 42);
    return 7;
}

TEST_F(ThreadTest, StopAndWaitSeesTheEndQuickly) {
    Worker worker;
    ASSERT_EQ(THREAD_Create(&worker.thread, WorkerRoutine, &worker, 1), 0);
    EXPECT_TRUE(THREAD_Peek(&worker.thread, kFromThread) & kThreadCreated);
    while (worker.rounds < 3) BL_Yield();
    auto start = Clock::now();
    EXPECT_EQ(THREAD_StopAndWait(&worker.thread, 2000), 0);
    EXPECT_LT(MsSince(start), 500);
    EXPECT_EQ(THREAD_ExitCode(&worker.thread), 42u);
    THREAD_Destroy(&worker.thread);
}

uint32_t Stubborn(void* argument) {
    auto* stop = static_cast<std::atomic<bool>*>(argument);
    while (!*stop) BL_Sleep(1);
    return 0;
}

TEST_F(ThreadTest, StopAndWaitTimesOutOnAThreadThatNeverExits) {
    std::atomic<bool> stop{false};
    THREAD thread;
    ASSERT_EQ(THREAD_Create(&thread, Stubborn, &stop, 1), 0);
    auto start = Clock::now();
    EXPECT_EQ(THREAD_StopAndWait(&thread, 120), -1);
    EXPECT_GE(MsSince(start), 100);
    EXPECT_EQ(THREAD_StopAndWait(&thread, 0), -1);
    stop = true;
    while (!THREAD_Finished(&thread)) BL_Sleep(1);
    THREAD_Destroy(&thread);
}

TEST_F(ThreadTest, SuspendedThreadRunsOnlyAfterResume) {
    Worker worker;
    ASSERT_EQ(THREAD_Create(&worker.thread, WorkerRoutine, &worker, 0), 0);
    BL_Sleep(30);
    EXPECT_EQ(worker.rounds, 0);
    EXPECT_EQ(THREAD_Resume(&worker.thread), 0);
    while (worker.rounds == 0) BL_Yield();
    EXPECT_EQ(THREAD_StopAndWait(&worker.thread, 2000), 0);
    THREAD_Destroy(&worker.thread);

    // Destroying a thread that was never resumed does not run or hang it.
    Worker idle;
    ASSERT_EQ(THREAD_Create(&idle.thread, WorkerRoutine, &idle, 0), 0);
    THREAD_Destroy(&idle.thread);
    EXPECT_EQ(idle.rounds, 0);
}

TEST_F(ThreadTest, SignalWordsPostAndTake) {
    Worker worker;
    ASSERT_EQ(THREAD_Create(&worker.thread, WorkerRoutine, &worker, 0), 0);
    EXPECT_EQ(THREAD_Take(&worker.thread, kFromThread), kThreadCreated);
    EXPECT_EQ(THREAD_Take(&worker.thread, kFromThread), 0u);
    THREAD_Post(&worker.thread, 0x10, kToThread);
    THREAD_Post(&worker.thread, 0x08, kToThread);
    EXPECT_EQ(THREAD_Peek(&worker.thread, kToThread), 0x18u);
    EXPECT_EQ(THREAD_Take(&worker.thread, kToThread), 0x18u);
    EXPECT_EQ(THREAD_Take(&worker.thread, kToThread), 0u);
    EXPECT_EQ(THREAD_StopRequested(nullptr), 0);
    EXPECT_EQ(THREAD_StopAndWait(nullptr, 10), -1);
    THREAD_Destroy(&worker.thread);
}

TEST_F(ThreadTest, ReturningWithoutExitEndsTheThread) {
    Worker worker;
    worker.call_exit = false;
    ASSERT_EQ(THREAD_Create(&worker.thread, WorkerRoutine, &worker, 1), 0);
    THREAD_Post(&worker.thread, kThreadStop, kToThread);
    while (!THREAD_Finished(&worker.thread)) BL_Sleep(1);
    EXPECT_EQ(THREAD_ExitCode(&worker.thread), 7u);
    THREAD_Destroy(&worker.thread);
}

}  // namespace

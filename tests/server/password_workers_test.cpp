// Password work off the protocol thread: completions run only inside Drain,
// on the draining thread, and never after the workers are gone.
#include "server/password_workers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using vorlane::server::PasswordWorkers;

TEST(PasswordWorkers, CompletionsRunOnlyInDrainOnTheCaller) {
    PasswordWorkers workers(2);
    std::atomic<int> worked{0};
    std::vector<std::thread::id> completed_on;
    for (int i = 0; i < 8; ++i) {
        ASSERT_TRUE(workers.Submit([&] {
            ++worked;
            return [&] { completed_on.push_back(std::this_thread::get_id()); };
        }));
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (worked < 8 && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
    EXPECT_TRUE(completed_on.empty());
    EXPECT_EQ(workers.pending(), 8u);
    size_t drained = 0;
    while (drained < 8 && std::chrono::steady_clock::now() < deadline) drained += workers.Drain();
    ASSERT_EQ(drained, 8u);
    for (std::thread::id id : completed_on) EXPECT_EQ(id, std::this_thread::get_id());
    EXPECT_EQ(workers.pending(), 0u);
}

TEST(PasswordWorkers, WithoutThreadsEverythingRunsInSubmit) {
    PasswordWorkers workers(0);
    int order = 0, work_at = 0, done_at = 0;
    EXPECT_TRUE(workers.Submit([&] {
        work_at = ++order;
        return [&] { done_at = ++order; };
    }));
    EXPECT_EQ(work_at, 1);
    EXPECT_EQ(done_at, 2);
    EXPECT_EQ(workers.Drain(), 0u);
}

TEST(PasswordWorkers, StoppingDropsQueuedJobs) {
    std::atomic<int> ran{0};
    {
        PasswordWorkers workers(1);
        for (int i = 0; i < 50; ++i) {
            ASSERT_TRUE(workers.Submit([&] {
                ++ran;
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
                return PasswordWorkers::Completion();
            }));
        }
    }  // must not wait for all 50 jobs
    EXPECT_LT(ran.load(), 50);
}

TEST(PasswordWorkers, RefusesJobsBeyondTheWaitingBound) {
    PasswordWorkers workers(1, 2);
    std::atomic<bool> started{false}, release{false};
    auto blocking = [&] {
        started = true;
        while (!release) std::this_thread::yield();
        return PasswordWorkers::Completion();
    };
    auto quick = [] { return PasswordWorkers::Completion(); };
    ASSERT_TRUE(workers.Submit(blocking));
    while (!started) std::this_thread::yield();
    // The running job does not count; two may wait, the third is refused.
    EXPECT_TRUE(workers.Submit(quick));
    EXPECT_TRUE(workers.Submit(quick));
    EXPECT_FALSE(workers.Submit(quick));
    EXPECT_EQ(workers.pending(), 3u);
    release = true;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    size_t drained = 0;
    while (drained < 3 && std::chrono::steady_clock::now() < deadline) drained += workers.Drain();
    EXPECT_EQ(drained, 3u);
    EXPECT_TRUE(workers.Submit(quick));
}

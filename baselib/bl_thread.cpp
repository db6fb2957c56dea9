#include "baselib/bl_thread.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <thread>

#include "baselib/logsys.h"

namespace vorlane::baselib {

struct ThreadState {
    ThreadSignals signals;
    std::thread handle;
    uint32_t id = 0;
    std::atomic<uint32_t> exit_code{0};
    std::atomic<bool> finished{false};
    // Start gate for threads created suspended.
    std::mutex gate_mutex;
    std::condition_variable gate;
    bool released = false;
    bool abandoned = false;  // destroyed before it was ever resumed

    ~ThreadState() {
        if (!handle.joinable())
            return;
        // The last reference may drop on the thread itself, which cannot join.
        if (handle.get_id() == std::this_thread::get_id())
            handle.detach();
        else
            handle.join();
    }
};

namespace {

std::atomic<uint32_t> g_next_thread_id{1};

// Thrown by THREAD_Exit and caught at the thread's start: unwinding ends it.
struct ThreadExitRequest {
    uint32_t code;
};

void ThreadMain(std::shared_ptr<ThreadState> state, THREAD_ROUTINE routine, void* argument) {
    {
        std::unique_lock<std::mutex> lock(state->gate_mutex);
        state->gate.wait(lock, [&] { return state->released; });
        if (state->abandoned) {
            state->finished.store(true);
            return;
        }
    }
    uint32_t code = 0;
    try {
        code = routine(argument);
    } catch (const ThreadExitRequest& request) {
        code = request.code;
    } catch (...) {
        LOGSYS_Text(nullptr, kLogError, "THREAD: routine ended by an exception.");
        code = 0xFFFFFFFF;
    }
    state->exit_code.store(code);
    state->finished.store(true);
}

ThreadState* StateOf(const THREAD* thread) {
    return thread ? thread->state.get() : nullptr;
}

}  // namespace

int16_t SignalsInit(ThreadSignals* signals) {
    if (!signals)
        return -1;
    signals->to_thread = 0;
    signals->from_thread = 0;
    signals->changed = false;
    return MUTX_Init(&signals->mutex, 0);
}

void SignalsDestroy(ThreadSignals* signals) {
    if (signals)
        MUTX_Destroy(&signals->mutex, 0);
}

void SignalsPost(ThreadSignals* signals, uint32_t bits, int word) {
    if (!signals || !MUTX_Lock(&signals->mutex, kMutxNoTimeout))
        return;
    (word == kToThread ? signals->to_thread : signals->from_thread) |= bits;
    signals->changed = true;
    MUTX_Unlock(&signals->mutex);
}

uint32_t SignalsTake(ThreadSignals* signals, int word) {
    if (!signals || !MUTX_Lock(&signals->mutex, kMutxNoTimeout))
        return 0;
    uint32_t& target = word == kToThread ? signals->to_thread : signals->from_thread;
    uint32_t value = target;
    target = 0;
    MUTX_Unlock(&signals->mutex);
    return value;
}

uint32_t SignalsPeek(ThreadSignals* signals, int word) {
    if (!signals || !MUTX_Lock(&signals->mutex, kMutxNoTimeout))
        return 0;
    uint32_t value = word == kToThread ? signals->to_thread : signals->from_thread;
    MUTX_Unlock(&signals->mutex);
    return value;
}

}  // namespace vorlane::baselib

using vorlane::baselib::StateOf;
using vorlane::baselib::ThreadState;

int16_t THREAD_Create(THREAD* thread, THREAD_ROUTINE routine, void* argument, int start) {
    if (!thread || !routine)
        return -1;
    std::shared_ptr<ThreadState> state(new (std::nothrow) ThreadState);
    if (!state || vorlane::baselib::SignalsInit(&state->signals) != 0)
        return -1;
    state->id = vorlane::baselib::g_next_thread_id.fetch_add(1);
    state->released = start == 1;
    // The routine may use `thread` at once, so it is complete before the start.
    thread->state = state;
    vorlane::baselib::SignalsPost(&state->signals, kThreadCreated, kFromThread);
    try {
        state->handle = std::thread(vorlane::baselib::ThreadMain, state, routine, argument);
    } catch (...) {
        LOGSYS_Text(nullptr, kLogError, "THREAD_Create: cannot create thread.");
        thread->state.reset();
        return -1;
    }
    return 0;
}

int16_t THREAD_Resume(THREAD* thread) {
    ThreadState* state = StateOf(thread);
    if (!state)
        return -1;
    {
        std::lock_guard<std::mutex> lock(state->gate_mutex);
        state->released = true;
    }
    state->gate.notify_all();
    return 0;
}

void THREAD_Exit(THREAD* thread, uint32_t code) {
    if (ThreadState* state = StateOf(thread))
        vorlane::baselib::SignalsPost(&state->signals, kThreadEnded, kFromThread);
    throw vorlane::baselib::ThreadExitRequest{code};
}

int16_t THREAD_StopAndWait(THREAD* thread, int32_t timeout_ms) {
    ThreadState* state = StateOf(thread);
    if (!state)
        return -1;
    vorlane::baselib::SignalsPost(&state->signals, kThreadStop, kToThread);
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms > 0 ? timeout_ms : 0);
    while (Clock::now() < deadline) {
        if (vorlane::baselib::SignalsTake(&state->signals, kFromThread) & kThreadEnded)
            return 0;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        BL_Sleep(static_cast<uint32_t>(std::clamp<int64_t>(left.count(), 1, 50)));
    }
    return -1;
}

int THREAD_StopRequested(THREAD* thread) {
    ThreadState* state = StateOf(thread);
    if (!state)
        return 0;
    return (vorlane::baselib::SignalsTake(&state->signals, kToThread) & kThreadStop) ? 1 : 0;
}

void THREAD_Destroy(THREAD* thread) {
    std::shared_ptr<ThreadState> state = thread ? std::move(thread->state) : nullptr;
    if (!state)
        return;
    {
        std::lock_guard<std::mutex> lock(state->gate_mutex);
        if (!state->released) {
            state->released = true;
            state->abandoned = true;
        }
    }
    state->gate.notify_all();
    if (state->handle.joinable()) {
        if (state->finished.load() || state->abandoned)
            state->handle.join();
        else
            state->handle.detach();  // still running: it holds its own reference
    }
}

uint32_t THREAD_ExitCode(const THREAD* thread) {
    ThreadState* state = StateOf(thread);
    return state ? state->exit_code.load() : 0;
}

uint32_t THREAD_Id(const THREAD* thread) {
    ThreadState* state = StateOf(thread);
    return state ? state->id : 0;
}

bool THREAD_Finished(const THREAD* thread) {
    ThreadState* state = StateOf(thread);
    return state && state->finished.load();
}

int16_t THREAD_Post(THREAD* thread, uint32_t bits, int word) {
    ThreadState* state = StateOf(thread);
    if (!state)
        return -1;
    vorlane::baselib::SignalsPost(&state->signals, bits, word);
    return 0;
}

uint32_t THREAD_Take(THREAD* thread, int word) {
    ThreadState* state = StateOf(thread);
    return state ? vorlane::baselib::SignalsTake(&state->signals, word) : 0;
}

uint32_t THREAD_Peek(THREAD* thread, int word) {
    ThreadState* state = StateOf(thread);
    return state ? vorlane::baselib::SignalsPeek(&state->signals, word) : 0;
}

void BL_Sleep(uint32_t ms) {
    if (ms != 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void BL_Yield() {
    std::this_thread::yield();
}

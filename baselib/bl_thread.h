// Threads with two signal words: `to_thread` carries requests to the thread
// (0x20 stop), `from_thread` reports from it (0x200 created, 0x80 ended). Users
// add bits of their own to both words.
//
//   creator                          thread
//   THREAD_Create  --0x200 posted--> (routine starts, or waits for THREAD_Resume)
//   THREAD_StopAndWait --0x20-->     THREAD_StopRequested() == 1
//                  <--0x80--------   THREAD_Exit(thread, code)
#pragma once

#include <cstdint>
#include <memory>

#include "baselib/mutex.h"

constexpr uint32_t kThreadStop = 0x20;      // to_thread: stop requested
constexpr uint32_t kThreadEnded = 0x80;     // from_thread: thread ended
constexpr uint32_t kThreadCreated = 0x200;  // from_thread: thread created

constexpr int kToThread = 0;
constexpr int kFromThread = 1;

namespace vorlane::baselib {

// The two signal words and their mutex.
struct ThreadSignals {
    MUTX mutex;
    uint32_t to_thread = 0;
    uint32_t from_thread = 0;
    bool changed = false;
};

struct ThreadState;  // shared by the thread object and the running thread

}  // namespace vorlane::baselib

using THREAD_ROUTINE = uint32_t (*)(void* argument);

struct THREAD {
    void* owner_word = nullptr;                            // free for the owner's use
    std::shared_ptr<vorlane::baselib::ThreadState> state;  // signal words, handle, id
};

// Creates the signal words and the thread, which runs `routine(argument)` at
// once when `start` is 1 and otherwise waits for THREAD_Resume. 0 or -1.
int16_t THREAD_Create(THREAD* thread, THREAD_ROUTINE routine, void* argument, int start);
// Lets a thread created without `start` run; 0 or -1.
int16_t THREAD_Resume(THREAD* thread);
// Posts 0x80 and ends the calling thread with `code`. Call it on the thread
// itself, from its routine or functions that routine calls (the stack unwinds
// to the routine's start).
[[noreturn]] void THREAD_Exit(THREAD* thread, uint32_t code);
// Posts 0x20 and waits (checking every 50 ms) for 0x80; -1 when `timeout_ms`
// passes first, including a time-out of 0.
int16_t THREAD_StopAndWait(THREAD* thread, int32_t timeout_ms);
// Takes `to_thread` and tests the stop bit: 1 or 0.
int THREAD_StopRequested(THREAD* thread);
// Releases the signal words. A finished thread is joined; one that still runs
// is left to end on its own (it keeps its own reference to the shared state).
void THREAD_Destroy(THREAD* thread);
// The thread's exit code (valid once it ended), its id, and whether it ended.
uint32_t THREAD_ExitCode(const THREAD* thread);
uint32_t THREAD_Id(const THREAD* thread);
bool THREAD_Finished(const THREAD* thread);

// Signal words of a thread: post ORs bits into `word` (kToThread or
// kFromThread) and sets `changed`; take returns the word and clears it.
int16_t THREAD_Post(THREAD* thread, uint32_t bits, int word);
uint32_t THREAD_Take(THREAD* thread, int word);
// Reads a word without clearing it.
uint32_t THREAD_Peek(THREAD* thread, int word);

namespace vorlane::baselib {
int16_t SignalsInit(ThreadSignals* signals);
void SignalsDestroy(ThreadSignals* signals);
void SignalsPost(ThreadSignals* signals, uint32_t bits, int word);
uint32_t SignalsTake(ThreadSignals* signals, int word);
uint32_t SignalsPeek(ThreadSignals* signals, int word);
}  // namespace vorlane::baselib

// Sleeps `ms` milliseconds unless it is 0.
void BL_Sleep(uint32_t ms);
// Gives up the rest of the time slice.
void BL_Yield();

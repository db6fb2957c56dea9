// The call controller: registered functions run on timers by CALL_Run.
//
// Entry flags:
//   0x01 in use (always)      0x02 one-shot (removed after it ran)
//   0x08 set unless the adder passed 0x10
//   0x10 suspended (skipped)  0x20 timed (runs when its timer elapsed)
//   0x40 repeat interval stored
// A function returning kCallKeep (2) leaves its entry unchanged: neither
// removed nor re-armed.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "baselib/timer.h"
#include "net/id_system.h"

// Base of every parameter handed to a call; the entry owns it once added.
struct CALL_PARAM {
    virtual ~CALL_PARAM() = default;
};

using CALL_FUNCTION = int (*)(CALL_PARAM* parameter);

constexpr uint32_t kCallInUse = 0x01;
constexpr uint32_t kCallOneShot = 0x02;
constexpr uint32_t kCallRepeat = 0x04;  // add flag
constexpr uint32_t kCallMarked = 0x08;
constexpr uint32_t kCallSuspended = 0x10;
constexpr uint32_t kCallTimed = 0x20;
constexpr uint32_t kCallStoreInterval = 0x40;
constexpr int kCallKeep = 2;

struct CALL_ENTRY {
    uint32_t flags = 0;
    uint32_t id = 0;
    CALL_FUNCTION function = nullptr;
    std::unique_ptr<CALL_PARAM> parameter;
    uint32_t created_tick = 0;  // GetTickCount at creation
    uint32_t interval = 0;
    vorlane::baselib::CountdownTimer timer;  // on the steady clock
    uint32_t group_mask = 0;
    uint32_t class_mask = 0;
    uint64_t serial = 0;  // tells a slot's entry from a later one at the same address
};

struct CALL_CTRL {
    std::recursive_mutex mutex;
    std::vector<std::unique_ptr<CALL_ENTRY>> calls;
    uint16_t capacity = 0;
    uint32_t blocked_groups = 0;
    uint32_t blocked_classes = 0;
    ID_SYSTEM* ids = nullptr;  // shared with the creator, not owned
    uint64_t next_serial = 1;
};

CALL_CTRL* CALL_Create(uint16_t capacity, ID_SYSTEM* ids);
// Identifier of the new entry, or 0 (controller full, no identifier, no memory).
// The entry owns `parameter` from now on, also when adding fails.
uint32_t CALL_Add(CALL_CTRL* ctrl, CALL_FUNCTION function, CALL_PARAM* parameter,
                  uint32_t interval_ms, uint32_t add_flags, uint32_t group_mask,
                  uint32_t class_mask);
void CALL_Remove(CALL_CTRL* ctrl, CALL_ENTRY* entry, int free_parameter);
// Runs every due entry; returns the number of calls made.
int CALL_Run(CALL_CTRL* ctrl, uint32_t group_mask, uint32_t class_mask);
// Calls predicate(parameter, argument) for every entry; 1 removes the entry.
void CALL_ForEach(CALL_CTRL* ctrl, int (*predicate)(CALL_PARAM* parameter, void* argument),
                  void* argument);
void CALL_Destroy(CALL_CTRL* ctrl, int free_parameters);
// Number of entries present.
int CALL_Count(CALL_CTRL* ctrl);

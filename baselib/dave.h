// DAVE: a table of event slots, each with an ordered list of callbacks. The
// input dispatcher fires the slot of every input record's window message.
//
// Slot flags: 0x1 free, 0x2 allocated, 0x4 has callbacks.
// Locking: the table's mutex guards slot look-up and allocation only; a slot's
// callbacks run under the slot's own queue mutex, so a callback must not add or
// remove callbacks of the slot it was fired from.
#pragma once

#include <cstdint>
#include <memory>

#include "baselib/mutex.h"
#include "baselib/queue.h"

using DAVE_CALLBACK = int (*)(void* event);

constexpr uint32_t kSlotFree = 0x1;
constexpr uint32_t kSlotAllocated = 0x2;
constexpr uint32_t kSlotHasCallbacks = 0x4;
constexpr int kDaveDefaultSlots = 128;
constexpr int kDaveStandardSlots = 14;
constexpr int kDaveMaxSlots = 4096;

struct DAVE_SLOT {
    uint32_t flags = kSlotFree;
    uint32_t reserved = 0;
    MTX_QLIST* callbacks = nullptr;  // owned; data are DAVE_CALLBACKs
};

class DAVE {
  public:
    ~DAVE();

    // With a negative index the first free slot, else that slot if it is free;
    // the slot becomes allocated. Returns its index or -1.
    int AllocSlot(int index);
    // Allocates slots 0 to 13 in order; -1 if one is not handed out under its number.
    int16_t AllocStandardSlots();
    // Appends `function` to an allocated slot's callbacks; 0 or -1.
    int16_t AddCallback(int slot, DAVE_CALLBACK function);
    // Removes the first entry of `function` from the slot; always 0.
    int16_t RemoveCallback(int slot, DAVE_CALLBACK function);
    // Calls the slot's callbacks with `event` in the order they were added; 0.
    int16_t Fire(int slot, void* event);

    uint32_t flags() const { return flags_; }
    int slot_count() const { return slot_count_; }
    uint32_t SlotFlags(int slot) const;

  private:
    friend DAVE* DAVE_Create(int slots);
    DAVE() = default;
    DAVE_SLOT* SlotAt(int slot) const;  // under the table's mutex; null if out of range

    uint32_t flags_ = 0;
    std::unique_ptr<DAVE_SLOT[]> slots_;
    mutable MUTX mutex_;
    int slot_count_ = 0;
};

// A table of `slots` slots (below 1: 128; above 4096: refused), or null.
DAVE* DAVE_Create(int slots);
// Destroys the callback queues, the mutex and the table; -1 for null.
int16_t DAVE_Remove(DAVE* table);

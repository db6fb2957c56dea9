#include "baselib/dave.h"

#include <new>

#include "baselib/logsys.h"

namespace {

void* AsData(DAVE_CALLBACK function) {
    return reinterpret_cast<void*>(function);
}

struct FireContext {
    void* event;
};

void CallOne(void* data, uint32_t, void* context) {
    auto function = reinterpret_cast<DAVE_CALLBACK>(data);
    if (function)
        function(static_cast<FireContext*>(context)->event);
}

}  // namespace

DAVE* DAVE_Create(int slots) {
    if (slots < 1)
        slots = kDaveDefaultSlots;
    if (slots > kDaveMaxSlots) {
        LOGSYS_Printf(nullptr, kLogError, "DAVE_Create: too many slots: %d", slots);
        return nullptr;
    }
    std::unique_ptr<DAVE> table(new (std::nothrow) DAVE);
    if (!table)
        return nullptr;
    table->slots_.reset(new (std::nothrow) DAVE_SLOT[static_cast<size_t>(slots)]);
    if (!table->slots_ || MUTX_Init(&table->mutex_, 0) != 0)
        return nullptr;
    table->slot_count_ = slots;
    for (int i = 0; i < slots; ++i) {
        table->slots_[i].callbacks = MTX_QLIST::Create();
        if (!table->slots_[i].callbacks)
            return nullptr;  // the destructor frees the others
    }
    return table.release();
}

DAVE::~DAVE() {
    for (int i = 0; i < slot_count_; ++i) MTX_QLIST::Destroy(slots_[i].callbacks, 0);
    MUTX_Destroy(&mutex_, 0);
}

int16_t DAVE_Remove(DAVE* table) {
    if (!table) {
        LOGSYS_Text(nullptr, kLogError, "DAVE_Remove, NULL pointer received!");
        return -1;
    }
    delete table;
    return 0;
}

DAVE_SLOT* DAVE::SlotAt(int slot) const {
    if (slot < 0 || slot >= slot_count_)
        return nullptr;
    return &slots_[slot];
}

uint32_t DAVE::SlotFlags(int slot) const {
    MUTX_Lock(&mutex_, kMutxNoTimeout);
    DAVE_SLOT* at = SlotAt(slot);
    uint32_t flags = at ? at->flags : 0;
    MUTX_Unlock(&mutex_);
    return flags;
}

int DAVE::AllocSlot(int index) {
    if (!MUTX_Lock(&mutex_, kMutxNoTimeout))
        return -1;
    int chosen = -1;
    if (index < 0) {
        for (int i = 0; i < slot_count_ && chosen < 0; ++i)
            if (slots_[i].flags & kSlotFree)
                chosen = i;
    } else if (index < slot_count_ && (slots_[index].flags & kSlotFree)) {
        chosen = index;
    }
    if (chosen >= 0)
        slots_[chosen].flags = kSlotAllocated;
    MUTX_Unlock(&mutex_);
    return chosen;
}

int16_t DAVE::AllocStandardSlots() {
    for (int i = 0; i < kDaveStandardSlots; ++i)
        if (AllocSlot(i) != i)
            return -1;
    return 0;
}

int16_t DAVE::AddCallback(int slot, DAVE_CALLBACK function) {
    if (!function || !MUTX_Lock(&mutex_, kMutxNoTimeout))
        return -1;
    DAVE_SLOT* at = SlotAt(slot);
    int16_t result = -1;
    if (at && (at->flags & kSlotAllocated) && at->callbacks->Append(AsData(function), 0) == 0) {
        at->flags |= kSlotHasCallbacks;
        result = 0;
    }
    MUTX_Unlock(&mutex_);
    return result;
}

int16_t DAVE::RemoveCallback(int slot, DAVE_CALLBACK function) {
    if (!MUTX_Lock(&mutex_, kMutxNoTimeout))
        return 0;
    if (DAVE_SLOT* at = SlotAt(slot)) {
        at->callbacks->RemoveData(AsData(function));
        if (at->callbacks->count() == 0)
            at->flags &= ~kSlotHasCallbacks;
    }
    MUTX_Unlock(&mutex_);
    return 0;
}

int16_t DAVE::Fire(int slot, void* event) {
    if (!MUTX_Lock(&mutex_, kMutxNoTimeout))
        return 0;
    DAVE_SLOT* at = SlotAt(slot);
    MTX_QLIST* callbacks = (at && (at->flags & kSlotHasCallbacks)) ? at->callbacks : nullptr;
    MUTX_Unlock(&mutex_);
    if (callbacks) {
        FireContext context{event};
        callbacks->ForEach(CallOne, &context);
    }
    return 0;
}

#include "net/call_ctrl.h"

#include <new>

#include "baselib/logsys.h"

namespace {

// Removes the entry in slot `slot`; the caller holds the mutex.
void RemoveSlot(CALL_CTRL* ctrl, size_t slot, int free_parameter) {
    std::unique_ptr<CALL_ENTRY>& entry = ctrl->calls[slot];
    ID_Release(ctrl->ids, entry->id);
    if (!free_parameter)
        (void)entry->parameter.release();
    entry.reset();
}

}  // namespace

CALL_CTRL* CALL_Create(uint16_t capacity, ID_SYSTEM* ids) {
    auto* ctrl = new (std::nothrow) CALL_CTRL;
    if (!ctrl) {
        LOGSYS_Text(nullptr, kLogError, "CALL: Cannot allocate call_ctrl.");
        return nullptr;
    }
    try {
        ctrl->calls.resize(capacity);
    } catch (const std::bad_alloc&) {
        LOGSYS_Text(nullptr, kLogError, "CALL: Cannot create list.");
        delete ctrl;
        return nullptr;
    }
    ctrl->capacity = capacity;
    ctrl->ids = ids;
    return ctrl;
}

uint32_t CALL_Add(CALL_CTRL* ctrl, CALL_FUNCTION function, CALL_PARAM* parameter,
                  uint32_t interval_ms, uint32_t add_flags, uint32_t group_mask,
                  uint32_t class_mask) {
    std::unique_ptr<CALL_PARAM> owned(parameter);
    if (!ctrl || !function)
        return 0;
    std::lock_guard lock(ctrl->mutex);
    size_t slot = 0;
    while (slot < ctrl->calls.size() && ctrl->calls[slot]) ++slot;
    if (slot == ctrl->calls.size())
        return 0;
    auto* entry = new (std::nothrow) CALL_ENTRY;
    if (!entry)
        return 0;
    entry->id = ID_Get(ctrl->ids);
    if (entry->id == 0) {
        delete entry;
        return 0;
    }
    entry->flags = kCallInUse;
    if (!(add_flags & kCallRepeat))
        entry->flags |= kCallOneShot;
    if (!(add_flags & 0x10))
        entry->flags |= kCallMarked;
    if (add_flags & kCallTimed) {
        entry->flags |= kCallTimed;
        entry->timer.Arm(interval_ms);
        if (add_flags & kCallStoreInterval) {
            entry->flags |= kCallStoreInterval;
            entry->interval = interval_ms;
        }
    }
    entry->function = function;
    entry->parameter = std::move(owned);
    entry->created_tick = GetTickCount();
    entry->group_mask = group_mask;
    entry->class_mask = class_mask;
    entry->serial = ctrl->next_serial++;
    ctrl->calls[slot].reset(entry);
    return entry->id;
}

void CALL_Remove(CALL_CTRL* ctrl, CALL_ENTRY* entry, int free_parameter) {
    if (!ctrl || !entry)
        return;
    std::lock_guard lock(ctrl->mutex);
    for (size_t slot = 0; slot < ctrl->calls.size(); ++slot) {
        if (ctrl->calls[slot].get() == entry) {
            RemoveSlot(ctrl, slot, free_parameter);
            return;
        }
    }
}

int CALL_Run(CALL_CTRL* ctrl, uint32_t group_mask, uint32_t class_mask) {
    if (!ctrl)
        return 0;
    std::unique_lock lock(ctrl->mutex);
    if ((class_mask & ctrl->blocked_classes) || (group_mask & ctrl->blocked_groups))
        return 0;
    int calls_made = 0;
    for (size_t slot = 0; slot < ctrl->calls.size(); ++slot) {
        CALL_ENTRY* entry = ctrl->calls[slot].get();
        if (!entry || (entry->flags & kCallSuspended) || !(entry->class_mask & class_mask) ||
            !(entry->group_mask & group_mask)) {
            continue;
        }
        if ((entry->flags & kCallTimed) && !entry->timer.Elapsed())
            continue;
        const uint64_t serial = entry->serial;
        CALL_FUNCTION function = entry->function;
        CALL_PARAM* parameter = entry->parameter.get();
        lock.unlock();
        ++calls_made;
        int result = function(parameter);
        lock.lock();
        // The function may have removed or replaced its own entry meanwhile.
        entry = ctrl->calls[slot].get();
        if (!entry || entry->serial != serial || result == kCallKeep)
            continue;
        if (entry->flags & kCallOneShot) {
            RemoveSlot(ctrl, slot, 1);
        } else {
            entry->timer.Arm(entry->interval);
        }
    }
    return calls_made;
}

void CALL_ForEach(CALL_CTRL* ctrl, int (*predicate)(CALL_PARAM* parameter, void* argument),
                  void* argument) {
    if (!ctrl || !predicate)
        return;
    std::unique_lock lock(ctrl->mutex);
    for (size_t slot = 0; slot < ctrl->calls.size(); ++slot) {
        CALL_ENTRY* entry = ctrl->calls[slot].get();
        if (!entry)
            continue;
        const uint64_t serial = entry->serial;
        CALL_PARAM* parameter = entry->parameter.get();
        lock.unlock();
        int result = predicate(parameter, argument);
        lock.lock();
        entry = ctrl->calls[slot].get();
        if (result == 1 && entry && entry->serial == serial)
            RemoveSlot(ctrl, slot, 1);
    }
}

void CALL_Destroy(CALL_CTRL* ctrl, int free_parameters) {
    if (!ctrl)
        return;
    {
        std::lock_guard lock(ctrl->mutex);
        for (size_t slot = 0; slot < ctrl->calls.size(); ++slot) {
            if (ctrl->calls[slot])
                RemoveSlot(ctrl, slot, free_parameters);
        }
    }
    delete ctrl;
}

int CALL_Count(CALL_CTRL* ctrl) {
    if (!ctrl)
        return 0;
    std::lock_guard lock(ctrl->mutex);
    int count = 0;
    for (const auto& entry : ctrl->calls) count += entry ? 1 : 0;
    return count;
}

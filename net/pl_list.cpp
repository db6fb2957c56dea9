#include "net/pl_list.h"

#include <new>

PL_LIST* PL_Init(int16_t capacity, PL_FREE free_element) {
    if (capacity < 0)
        return nullptr;
    auto* list = new (std::nothrow) PL_LIST;
    if (!list)
        return nullptr;
    try {
        list->slots.resize(size_t(capacity));
    } catch (const std::bad_alloc&) {
        delete list;
        return nullptr;
    }
    list->capacity = capacity;
    list->free_element = free_element;
    return list;
}

int16_t PL_FindFree(PL_LIST* list) {
    if (!list)
        return -1;
    std::lock_guard lock(list->mutex);
    for (int16_t i = 0; i < list->capacity; ++i) {
        if (!list->slots[size_t(i)].element)
            return i;
    }
    return -1;
}

int16_t PL_Check(PL_LIST* list, int16_t index) {
    if (!list || index >= list->capacity)
        return -1;
    if (index < 0)
        return list->count != 0 ? -2 : 0;
    if (!list->slots[size_t(index)].element)
        return -3;
    return 0;
}

int16_t PL_InsertAfter(PL_LIST* list, int16_t index, void* element) {
    if (!list || !element)
        return -1;
    std::lock_guard lock(list->mutex);
    int16_t slot = PL_FindFree(list);
    if (slot < 0 || PL_Check(list, index) != 0)
        return -1;
    PL_SLOT& fresh = list->slots[size_t(slot)];
    fresh.element = element;
    if (index >= 0) {
        PL_SLOT& before = list->slots[size_t(index)];
        fresh.next = before.next;
        if (before.next >= 0) {
            list->slots[size_t(before.next)].prev = slot;
        } else {
            list->tail = slot;
        }
        before.next = slot;
        fresh.prev = index;
    } else {
        list->head = list->tail = slot;
        fresh.prev = fresh.next = -1;
    }
    ++list->count;
    return slot;
}

int16_t PL_Append(PL_LIST* list, void* element) {
    if (!list)
        return -1;
    std::lock_guard lock(list->mutex);
    return PL_InsertAfter(list, list->tail, element);
}

int16_t PL_Remove(PL_LIST* list, int16_t index, int free_element) {
    if (!list)
        return -1;
    std::lock_guard lock(list->mutex);
    // A free slot is not linked; unlinking it would corrupt the chain.
    if (index < 0 || index >= list->capacity || !list->slots[size_t(index)].element)
        return -1;
    PL_SLOT& slot = list->slots[size_t(index)];
    if (slot.prev >= 0) {
        list->slots[size_t(slot.prev)].next = slot.next;
    } else {
        list->head = slot.next;
    }
    if (slot.next >= 0) {
        list->slots[size_t(slot.next)].prev = slot.prev;
    } else {
        list->tail = slot.prev;
    }
    --list->count;
    if (free_element && list->free_element)
        list->free_element(slot.element);
    // The slot is always given back, so a removal never leaks capacity.
    slot = PL_SLOT{};
    return 0;
}

void PL_Done(PL_LIST* list, int free_elements) {
    if (!list)
        return;
    {
        std::lock_guard lock(list->mutex);
        while (list->head >= 0) PL_Remove(list, list->head, free_elements);
    }
    delete list;
}

void PL_Destroy(PL_LIST* list) {
    PL_Done(list, 1);
}

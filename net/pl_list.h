// The PL list: a mutex-guarded doubly linked list kept in a fixed slot array.
//
// Users iterate it themselves: lock `mutex`, start at `head`, follow `next`
// until -1. The mutex is recursive so an iterating user may insert or remove.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

struct PL_SLOT {
    int16_t prev = -1;
    int16_t next = -1;
    void* element = nullptr;  // null: slot free
};

using PL_FREE = void (*)(void* element);

struct PL_LIST {
    int16_t count = 0;
    int16_t capacity = 0;
    std::vector<PL_SLOT> slots;
    int16_t head = -1;
    int16_t tail = -1;
    std::recursive_mutex mutex;
    PL_FREE free_element = nullptr;  // how elements are freed (null: not owned)
};

PL_LIST* PL_Init(int16_t capacity, PL_FREE free_element = nullptr);
// New slot index or -1. `index` -1 inserts into an empty list only.
int16_t PL_InsertAfter(PL_LIST* list, int16_t index, void* element);
int16_t PL_Append(PL_LIST* list, void* element);
int16_t PL_Remove(PL_LIST* list, int16_t index, int free_element);
int16_t PL_FindFree(PL_LIST* list);
// 0 if `index` may be an insertion point; -1 beyond the end, -2 negative on a
// non-empty list, -3 a free slot.
int16_t PL_Check(PL_LIST* list, int16_t index);
void PL_Done(PL_LIST* list, int free_elements);
void PL_Destroy(PL_LIST* list);

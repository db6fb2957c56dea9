#include "baselib/ptrary.h"

#include <cstdlib>

#include "baselib/bl_memory.h"

// In the destructor the virtual calls reach only this class: a derived class
// that releases items its own way must clear the array in its own destructor.
PTRARY::~PTRARY() {
    PTRARY::Clear();
    flags_ = 0;
}

void PTRARY::Destroy() {
    Clear();
    flags_ = 0;
}

void PTRARY::ReleaseAllItems() {
    if (!slots_)
        return;
    for (int32_t i = 0; i < capacity_; ++i) {
        void* item = slots_[i];
        slots_[i] = nullptr;
        if (item && (flags_ & kOwnsItems))
            ReleaseItem(item);
    }
}

void PTRARY::Clear() {
    ReleaseAllItems();
    if (!(flags_ & kNoSlotStorage))
        std::free(slots_);
    slots_ = nullptr;
    if ((flags_ & kOwnsBlock) && block_)
        BL_OrgFreeMem(block_);
    block_ = nullptr;
    block_size_ = 0;
    capacity_ = 0;
    cursor_ = saved_cursor_ = 0;
    flags_ = kInitialised | kNoSlotStorage;
}

void PTRARY::Release() {
    Clear();
    delete this;
}

void PTRARY::ReleaseItem(void* item) {
    BL_OrgFreeMem(item);
}

int PTRARY::Create(int32_t capacity, uint32_t flags) {
    if (capacity < 0 || capacity > kMaxCapacity)
        return -1;
    if (slots_ || block_)
        Clear();
    void** slots = nullptr;
    if (capacity > 0) {
        slots = static_cast<void**>(std::calloc(size_t(capacity), sizeof(void*)));
        if (!slots)
            return -1;
    }
    slots_ = slots;
    capacity_ = capacity;
    cursor_ = saved_cursor_ = 0;
    flags_ = (flags & ~(kNoSlotStorage | kOwnsBlock)) | kInitialised;
    return 0;
}

int PTRARY::CreateOnBlock(int32_t capacity, uint32_t flags, void* block, int32_t block_size) {
    if (Create(capacity, flags) != 0)
        return -1;
    if (block) {
        flags_ = (flags_ | kOwnsBlock) & ~(kOwnsItems | kOwnerReserved);
        block_ = block;
        block_size_ = block_size;
    }
    return 0;
}

int32_t PTRARY::Add(void* pointer) {
    if (!initialised() || !slots_)
        return -1;
    for (int32_t i = 0; i < capacity_; ++i) {
        if (!slots_[i]) {
            slots_[i] = pointer;
            return i;
        }
    }
    return -1;
}

int PTRARY::SetAt(int32_t index, void* pointer) {
    if (!initialised() || !slots_ || index < 0 || index >= capacity_ || slots_[index])
        return -1;
    slots_[index] = pointer;
    return 0;
}

void* PTRARY::GetAt(int32_t index) const {
    if (!initialised() || !slots_ || index < 0 || index >= capacity_)
        return nullptr;
    return slots_[index];
}

int PTRARY::RemoveAt(int32_t index) {
    if (!initialised() || !slots_ || index < 0 || index >= capacity_)
        return -1;
    void* item = slots_[index];
    slots_[index] = nullptr;
    if (item && (flags_ & kOwnsItems))
        ReleaseItem(item);
    return 0;
}

int PTRARY::Remove(void* pointer) {
    const int32_t index = IndexOf(pointer);
    return index < 0 ? -1 : RemoveAt(index);
}

int32_t PTRARY::IndexOf(const void* pointer) const {
    if (!initialised() || !slots_ || !pointer)
        return -1;
    for (int32_t i = 0; i < capacity_; ++i) {
        if (slots_[i] == pointer)
            return i;
    }
    return -1;
}

int32_t PTRARY::CountUsed() const {
    if (!initialised() || !slots_)
        return 0;
    int32_t used = 0;
    for (int32_t i = 0; i < capacity_; ++i) used += slots_[i] ? 1 : 0;
    return used;
}

void* PTRARY::First() {
    cursor_ = 0;
    return Next();
}

void* PTRARY::Next() {
    if (!initialised() || !slots_)
        return nullptr;
    while (cursor_ >= 0 && cursor_ < capacity_) {
        void* item = slots_[cursor_++];
        if (item)
            return item;
    }
    return nullptr;
}

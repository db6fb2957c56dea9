// PTRARY: a fixed-capacity array of pointer slots (0 = free) with a free-slot
// search, optional ownership of its items, an optional memory block held for
// the items (for example one image the slots point into) and a built-in cursor.
//
// Operations on an array that was never created (or was cleared) fail with -1
// or return null without effect.
#pragma once

#include <cstdint>

class PTRARY {
  public:
    static constexpr uint32_t kOwnsItems = 0x01;  // removed items are released
    static constexpr uint32_t kInitialised = 0x02;
    static constexpr uint32_t kNoSlotStorage = 0x04;
    static constexpr uint32_t kOwnerReserved = 0x08;
    static constexpr uint32_t kOwnsBlock = 0x10;  // the block is freed with the array
    // Largest capacity accepted; capacities often come from file headers.
    static constexpr int32_t kMaxCapacity = int32_t(1) << 24;

    PTRARY() = default;
    virtual ~PTRARY();
    PTRARY(const PTRARY&) = delete;
    PTRARY& operator=(const PTRARY&) = delete;

    // Releases owned items, slot storage and an owned block; the array is then
    // initialised with capacity 0.
    virtual void Clear();
    // Clears the array and deletes it (it must have been created with new).
    virtual void Release();
    // Releases one owned item; the default frees a BL_OrgGetMem block. A class
    // that overrides it must call Clear() in its own destructor.
    virtual void ReleaseItem(void* item);

    // 0, or -1 for a capacity below 0 or above kMaxCapacity or refused memory.
    int Create(int32_t capacity, uint32_t flags);
    // As Create; a given block is then owned by the array (items are not).
    int CreateOnBlock(int32_t capacity, uint32_t flags, void* block, int32_t block_size);

    // Index of the first free slot the pointer went into, or -1.
    int32_t Add(void* pointer);
    // 0, or -1 outside 0..capacity-1 or when the slot is taken.
    int SetAt(int32_t index, void* pointer);
    void* GetAt(int32_t index) const;
    int RemoveAt(int32_t index);
    int Remove(void* pointer);
    int32_t IndexOf(const void* pointer) const;
    int32_t CountUsed() const;
    // The first / next non-null pointer from the cursor, null at the end.
    void* First();
    void* Next();
    void SaveCursor() { saved_cursor_ = cursor_; }
    void RestoreCursor() { cursor_ = saved_cursor_; }
    // Clears the array and leaves it uninitialised.
    void Destroy();

    int32_t capacity() const { return capacity_; }
    uint32_t flags() const { return flags_; }
    void* block() const { return block_; }
    int32_t block_size() const { return block_size_; }
    bool initialised() const { return (flags_ & kInitialised) != 0; }

  protected:
    // Empties the slots (releasing owned items) without freeing storage.
    void ReleaseAllItems();

    int32_t capacity_ = 0;
    int32_t cursor_ = 0;
    int32_t saved_cursor_ = 0;
    void** slots_ = nullptr;
    uint32_t flags_ = 0;
    void* block_ = nullptr;
    int32_t block_size_ = 0;
};

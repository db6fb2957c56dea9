// MTX_QLIST, a mutex-guarded FIFO queue of data blocks with their sizes (the
// program's input queue is one), and CursorList, a doubly linked list of nodes
// with a cursor.
#pragma once

#include <cstdint>
#include <memory>

#include "baselib/mutex.h"

struct QNODE {
    void* data = nullptr;
    QNODE* next = nullptr;
    uint32_t size = 0;
};

class MTX_QLIST {
  public:
    // A new queue, or null when its mutex cannot be created.
    static MTX_QLIST* Create();
    // Releases the nodes and the queue; with `free_data` 1 the data blocks are
    // released too (BL_OrgFreeMem).
    static void Destroy(MTX_QLIST* queue, int free_data);
    ~MTX_QLIST();

    // Appends at the tail; the queue takes the block. -1 when the lock fails,
    // no node can be made or the queue already holds 65535 items.
    int16_t Append(void* data, uint32_t size);
    // The oldest block (its size through `size`, may be null), or null when empty.
    void* Pop(uint32_t* size);
    // Unlinks and frees `node` (not its data); -1 when it is not in the queue.
    int16_t Remove(QNODE* node);
    // Removes the first node holding `data` (the data stays); -1 when none does.
    int16_t RemoveData(const void* data);
    // Empties the queue; with `free_data` 1 the blocks are released too.
    void Flush(int free_data);
    // Calls `visit(data, size, context)` for every item, oldest first, under the
    // queue's mutex (`visit` must not change this queue).
    void ForEach(void (*visit)(void* data, uint32_t size, void* context), void* context);

    uint16_t count() const;
    uint32_t total_size() const;

  private:
    MTX_QLIST() = default;
    void UnlinkAfter(QNODE* previous, QNODE* node);

    QNODE* head_ = nullptr;
    QNODE* tail_ = nullptr;
    uint16_t count_ = 0;
    uint32_t total_size_ = 0;
    mutable MUTX mutex_;
};

namespace vorlane::baselib {

// A list node; derive from it to carry more than a data pointer.
struct ListNode {
    virtual ~ListNode() = default;
    ListNode* previous = nullptr;
    ListNode* next = nullptr;
    void* data = nullptr;  // not owned
};

// A doubly linked list that owns its nodes, with a cursor for walking it.
// Not locked: a user that shares it between threads locks around it.
class CursorList {
  public:
    CursorList() = default;
    ~CursorList();
    CursorList(const CursorList&) = delete;
    CursorList& operator=(const CursorList&) = delete;

    // Appends a node (the list owns it from now on) and returns it.
    ListNode* AppendNode(std::unique_ptr<ListNode> node);
    // Appends a new node holding `data`; null when no node can be made.
    ListNode* AppendData(void* data);
    // Moves the cursor to the head and returns it (null for an empty list).
    ListNode* First();
    // Moves the cursor on and returns the new node; null at the end.
    ListNode* Next();
    ListNode* cursor() const { return cursor_; }
    // Unlinks `node` and hands it back; the cursor moves to its successor (or
    // the tail). Null when the node is not in this list.
    std::unique_ptr<ListNode> RemoveNode(ListNode* node);
    // Unlinks and deletes `node`; -1 when it is not in this list.
    int16_t RemoveAndDelete(ListNode* node);

    uint32_t count() const { return count_; }
    ListNode* head() const { return head_; }
    ListNode* tail() const { return tail_; }

  private:
    bool Contains(const ListNode* node) const;

    ListNode* head_ = nullptr;
    ListNode* tail_ = nullptr;
    ListNode* cursor_ = nullptr;
    uint32_t count_ = 0;
};

}  // namespace vorlane::baselib

#include "baselib/queue.h"

#include <new>

#include "baselib/bl_memory.h"
#include "baselib/logsys.h"

namespace {

constexpr uint16_t kMaxQueueItems = 65535;

// Holds a queue's mutex for one operation; ok() is false when the lock failed.
class QueueLock {
  public:
    explicit QueueLock(MUTX& mutex)
        : mutex_(mutex), held_(MUTX_Lock(&mutex, kMutxNoTimeout) == 1) {}
    ~QueueLock() {
        if (held_)
            MUTX_Unlock(&mutex_);
    }
    QueueLock(const QueueLock&) = delete;
    QueueLock& operator=(const QueueLock&) = delete;
    bool ok() const { return held_; }

  private:
    MUTX& mutex_;
    bool held_;
};

}  // namespace

MTX_QLIST* MTX_QLIST::Create() {
    MTX_QLIST* queue = new (std::nothrow) MTX_QLIST;
    if (!queue)
        return nullptr;
    // Created held and released at once, so the creating thread starts clean.
    if (MUTX_Init(&queue->mutex_, 1) != 0) {
        delete queue;
        return nullptr;
    }
    MUTX_Unlock(&queue->mutex_);
    return queue;
}

void MTX_QLIST::Destroy(MTX_QLIST* queue, int free_data) {
    if (!queue)
        return;
    queue->Flush(free_data);
    delete queue;
}

MTX_QLIST::~MTX_QLIST() {
    Flush(0);
    MUTX_Destroy(&mutex_, 0);
}

int16_t MTX_QLIST::Append(void* data, uint32_t size) {
    QueueLock lock(mutex_);
    if (!lock.ok())
        return -1;
    if (count_ == kMaxQueueItems) {
        LOGSYS_Text(nullptr, kLogError, "mtx_qlist: queue full !");
        return -1;
    }
    QNODE* node = new (std::nothrow) QNODE;
    if (!node)
        return -1;
    node->data = data;
    node->size = size;
    if (tail_)
        tail_->next = node;
    else
        head_ = node;
    tail_ = node;
    ++count_;
    total_size_ += size;
    return 0;
}

void* MTX_QLIST::Pop(uint32_t* size) {
    QueueLock lock(mutex_);
    if (!lock.ok() || !head_) {
        if (size)
            *size = 0;
        return nullptr;
    }
    QNODE* node = head_;
    void* data = node->data;
    if (size)
        *size = node->size;
    UnlinkAfter(nullptr, node);
    return data;
}

void MTX_QLIST::UnlinkAfter(QNODE* previous, QNODE* node) {
    if (previous)
        previous->next = node->next;
    else
        head_ = node->next;
    if (tail_ == node)
        tail_ = previous;
    --count_;
    total_size_ -= node->size;
    delete node;
}

int16_t MTX_QLIST::Remove(QNODE* node) {
    QueueLock lock(mutex_);
    if (!lock.ok() || !node)
        return -1;
    QNODE* previous = nullptr;
    for (QNODE* at = head_; at; previous = at, at = at->next) {
        if (at == node) {
            UnlinkAfter(previous, at);
            return 0;
        }
    }
    return -1;
}

int16_t MTX_QLIST::RemoveData(const void* data) {
    QueueLock lock(mutex_);
    if (!lock.ok())
        return -1;
    QNODE* previous = nullptr;
    for (QNODE* at = head_; at; previous = at, at = at->next) {
        if (at->data == data) {
            UnlinkAfter(previous, at);
            return 0;
        }
    }
    return -1;
}

void MTX_QLIST::Flush(int free_data) {
    QueueLock lock(mutex_);
    while (head_) {
        void* data = head_->data;
        UnlinkAfter(nullptr, head_);
        if (free_data == 1 && data)
            BL_OrgFreeMem(data);
    }
}

void MTX_QLIST::ForEach(void (*visit)(void*, uint32_t, void*), void* context) {
    if (!visit)
        return;
    QueueLock lock(mutex_);
    if (!lock.ok())
        return;
    for (QNODE* at = head_; at; at = at->next) visit(at->data, at->size, context);
}

uint16_t MTX_QLIST::count() const {
    QueueLock lock(mutex_);
    return count_;
}

uint32_t MTX_QLIST::total_size() const {
    QueueLock lock(mutex_);
    return total_size_;
}

namespace vorlane::baselib {

CursorList::~CursorList() {
    while (head_) {
        ListNode* next = head_->next;
        delete head_;
        head_ = next;
    }
}

ListNode* CursorList::AppendNode(std::unique_ptr<ListNode> owned) {
    if (!owned)
        return nullptr;
    ListNode* node = owned.release();
    node->previous = tail_;
    node->next = nullptr;
    if (tail_)
        tail_->next = node;
    else
        head_ = node;
    tail_ = node;
    ++count_;
    return node;
}

ListNode* CursorList::AppendData(void* data) {
    std::unique_ptr<ListNode> node(new (std::nothrow) ListNode);
    if (!node)
        return nullptr;
    node->data = data;
    return AppendNode(std::move(node));
}

ListNode* CursorList::First() {
    cursor_ = head_;
    return cursor_;
}

ListNode* CursorList::Next() {
    if (cursor_)
        cursor_ = cursor_->next;
    return cursor_;
}

bool CursorList::Contains(const ListNode* node) const {
    for (const ListNode* at = head_; at; at = at->next)
        if (at == node)
            return true;
    return false;
}

std::unique_ptr<ListNode> CursorList::RemoveNode(ListNode* node) {
    if (!node || !Contains(node))
        return nullptr;
    if (node->previous)
        node->previous->next = node->next;
    else
        head_ = node->next;
    if (node->next)
        node->next->previous = node->previous;
    else
        tail_ = node->previous;
    cursor_ = node->next ? node->next : tail_;
    node->previous = nullptr;
    node->next = nullptr;
    --count_;
    return std::unique_ptr<ListNode>(node);
}

int16_t CursorList::RemoveAndDelete(ListNode* node) {
    return RemoveNode(node) ? 0 : -1;
}

}  // namespace vorlane::baselib

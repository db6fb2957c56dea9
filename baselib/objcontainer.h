// Object containers: polymorphic containers of untyped items at 1-based
// positions, and iterators that register with the container they walk so that
// insertions and removals keep them on the same item.
//
//   ObjContainer  every operation, neutral defaults (0)
//   ObjArray      stable numbered slots; a freed position is reused by Add
//   ObjList       items in order; positions after an insertion or removal shift
//
// Containers never own their items. Position 0 means "none"; operations on an
// invalid position return 0.
#pragma once

#include <cstdint>

class ObjIterator;

class ObjContainer {
  public:
    ObjContainer() = default;
    // Detaches every iterator still registered (they fall back to position 0).
    virtual ~ObjContainer();
    ObjContainer(const ObjContainer&) = delete;
    ObjContainer& operator=(const ObjContainer&) = delete;

    // Insertion operations return the item's position, or 0 on failure.
    virtual int32_t Add(void*) { return 0; }
    virtual int32_t Insert(void*) { return 0; }
    virtual int32_t Append(void*) { return 0; }
    // The iterator forms act at the iterator's position.
    virtual int32_t InsertBefore(void* item, const ObjIterator& it);
    virtual int32_t InsertBefore(void*, int32_t) { return 0; }
    virtual int32_t InsertAfter(void* item, const ObjIterator& it);
    virtual int32_t InsertAfter(void*, int32_t) { return 0; }
    virtual int32_t SetAt(void* item, const ObjIterator& it);
    virtual int32_t SetAt(void*, int32_t) { return 0; }
    // Removal operations return 1/0 (or the number removed).
    virtual int32_t RemoveItem(void*) { return 0; }
    virtual int32_t RemoveAt(int32_t) { return 0; }
    virtual int32_t RemoveFirst() { return RemoveAt(1); }
    virtual int32_t RemoveLast() { return 0; }
    virtual int32_t RemoveAfter(int32_t) { return 0; }
    virtual int32_t Clear() { return 0; }
    virtual void* First(ObjIterator&) { return nullptr; }
    virtual void* FirstItem() { return nullptr; }
    virtual void* Last(ObjIterator&) { return nullptr; }
    virtual void* LastItem() { return nullptr; }
    virtual void* Current(const ObjIterator& it);
    virtual void* GetAt(int32_t) { return nullptr; }
    virtual int32_t IndexOf(const void*) { return 0; }
    virtual int32_t Highest() const { return 0; }
    virtual int32_t Count() const { return 0; }
    virtual int32_t RemoveAt(ObjIterator& it);
    virtual int32_t RemoveBefore(ObjIterator& it);
    virtual int32_t RemoveAfter(ObjIterator& it);
    virtual int IsValid(const ObjIterator&) const { return 0; }
    virtual void* Prev(ObjIterator&) { return nullptr; }
    virtual void* Next(ObjIterator&) { return nullptr; }

  protected:
    // Keep registered iterators on their items after positions shifted:
    // an insertion at `position` moves iterators at or above it (before = true)
    // or above it (before = false) up by one.
    void NotifyInserted(int32_t position, bool before);
    // A removal at `position` moves iterators above it down by one; an
    // iterator on it loses its place (position 0).
    void NotifyRemoved(int32_t position);
    // Every iterator loses its place.
    void NotifyCleared();

  private:
    friend class ObjIterator;
    ObjIterator* first_iterator_ = nullptr;
};

// A position in a container. Registers itself on construction and leaves the
// chain on destruction. When the container is destroyed first, the iterator is
// detached and returns 0 from then on.
class ObjIterator {
  public:
    explicit ObjIterator(ObjContainer* container);
    ~ObjIterator();
    ObjIterator(const ObjIterator&) = delete;
    ObjIterator& operator=(const ObjIterator&) = delete;

    void* First() { return container_ ? container_->First(*this) : nullptr; }
    void* Last() { return container_ ? container_->Last(*this) : nullptr; }
    void* Next() { return container_ ? container_->Next(*this) : nullptr; }
    void* Prev() { return container_ ? container_->Prev(*this) : nullptr; }
    void* Current() { return container_ ? container_->Current(*this) : nullptr; }
    int IsValid() const { return container_ ? container_->IsValid(*this) : 0; }
    int32_t Remove() { return container_ ? container_->RemoveAt(*this) : 0; }

    ObjContainer* container() const { return container_; }

    int32_t position = 0;
    uint32_t aux = 0;

  private:
    friend class ObjContainer;
    ObjContainer* container_;
    ObjIterator* prev_ = nullptr;
    ObjIterator* next_ = nullptr;
};

inline int32_t ObjContainer::InsertBefore(void* item, const ObjIterator& it) {
    return InsertBefore(item, it.position);
}
inline int32_t ObjContainer::InsertAfter(void* item, const ObjIterator& it) {
    return InsertAfter(item, it.position);
}
inline int32_t ObjContainer::SetAt(void* item, const ObjIterator& it) {
    return SetAt(item, it.position);
}
inline void* ObjContainer::Current(const ObjIterator& it) {
    return GetAt(it.position);
}
inline int32_t ObjContainer::RemoveAt(ObjIterator& it) {
    return RemoveAt(it.position);
}
inline int32_t ObjContainer::RemoveBefore(ObjIterator& it) {
    return RemoveAt(it.position - 1);
}
inline int32_t ObjContainer::RemoveAfter(ObjIterator& it) {
    return RemoveAt(it.position + 1);
}

// Items in numbered slots that keep their positions; Add fills the lowest free
// position, Append goes past the highest.
class ObjArray : public ObjContainer {
  public:
    static constexpr int32_t kDefaultStep = 128;
    // Positions above this are refused rather than allocated for.
    static constexpr int32_t kMaxPosition = int32_t(1) << 24;

    ObjArray() = default;
    ~ObjArray() override;

    int32_t Add(void* item) override { return InsertAt(item, first_free_); }
    int32_t Insert(void* item) override { return InsertAt(item, first_free_); }
    int32_t Append(void* item) override;
    using ObjContainer::InsertAfter;
    using ObjContainer::InsertBefore;
    using ObjContainer::RemoveAfter;
    using ObjContainer::RemoveAt;
    using ObjContainer::SetAt;
    int32_t InsertBefore(void* item, int32_t position) override;
    int32_t InsertAfter(void* item, int32_t position) override;
    int32_t SetAt(void* item, int32_t position) override;
    int32_t RemoveItem(void* item) override;
    int32_t RemoveAt(int32_t position) override;
    int32_t RemoveLast() override { return RemoveAt(highest_); }
    int32_t RemoveAfter(int32_t position) override;
    int32_t Clear() override;
    void* First(ObjIterator& it) override;
    void* FirstItem() override;
    void* Last(ObjIterator& it) override;
    void* LastItem() override { return GetAt(highest_); }
    void* GetAt(int32_t position) override;
    int32_t IndexOf(const void* item) override;
    int32_t Highest() const override { return highest_; }
    int32_t Count() const override { return count_; }
    int IsValid(const ObjIterator& it) const override;
    void* Prev(ObjIterator& it) override;
    void* Next(ObjIterator& it) override;

    int32_t capacity() const { return capacity_; }
    int32_t first_free() const { return first_free_; }

  private:
    struct Slot {
        void* item;
        uint8_t used;
    };

    // The common step of every insertion: 0 when the position is 0, cannot be
    // allocated for or is taken.
    int32_t InsertAt(void* item, int32_t position);
    bool Grow(int32_t position);
    bool Used(int32_t position) const {
        return position >= 1 && position <= capacity_ && slots_[position - 1].used;
    }

    Slot* slots_ = nullptr;  // position p lives in slots_[p - 1]
    int32_t count_ = 0;
    int32_t highest_ = 0;
    int32_t first_free_ = 1;
    int32_t capacity_ = 0;
    int32_t step_ = kDefaultStep;
};

// Items in order. Insert puts an item first, Append last; InsertBefore and
// InsertAfter take a position 1..Count(). Registered iterators follow their
// items when positions shift.
class ObjList : public ObjContainer {
  public:
    ObjList() = default;
    ~ObjList() override;

    int32_t Add(void* item) override { return Append(item); }
    int32_t Insert(void* item) override;
    int32_t Append(void* item) override;
    using ObjContainer::InsertAfter;
    using ObjContainer::InsertBefore;
    using ObjContainer::RemoveAfter;
    using ObjContainer::RemoveAt;
    using ObjContainer::SetAt;
    int32_t InsertBefore(void* item, int32_t position) override;
    int32_t InsertAfter(void* item, int32_t position) override;
    int32_t SetAt(void* item, int32_t position) override;
    int32_t RemoveItem(void* item) override;
    int32_t RemoveAt(int32_t position) override;
    int32_t RemoveLast() override { return RemoveAt(count_); }
    int32_t RemoveAfter(int32_t position) override;
    int32_t Clear() override;
    void* First(ObjIterator& it) override;
    void* FirstItem() override { return head_ ? head_->item : nullptr; }
    void* Last(ObjIterator& it) override;
    void* LastItem() override { return tail_ ? tail_->item : nullptr; }
    void* GetAt(int32_t position) override;
    int32_t IndexOf(const void* item) override;
    int32_t Highest() const override { return count_; }
    int32_t Count() const override { return count_; }
    int IsValid(const ObjIterator& it) const override;
    void* Prev(ObjIterator& it) override;
    void* Next(ObjIterator& it) override;

  private:
    struct Node {
        void* item;
        Node* next;
        Node* prev;
    };

    // The node at 1..count_, or null. Walks from the remembered node, the head
    // or the tail, whichever is nearest, so walking in order costs one step.
    Node* NodeAt(int32_t position);
    void Forget() { cursor_position_ = 0, cursor_node_ = nullptr; }

    Node* head_ = nullptr;
    Node* tail_ = nullptr;
    int32_t count_ = 0;
    // The list's own cursor: the last node looked up and its position.
    int32_t cursor_position_ = 0;
    Node* cursor_node_ = nullptr;
};

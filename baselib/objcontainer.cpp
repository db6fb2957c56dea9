// Index:
//   [SECTION] Container base and iterator registration
//   [SECTION] ObjArray
//   [SECTION] ObjList
#include "baselib/objcontainer.h"

#include <cstdlib>
#include <cstring>
#include <new>

// [SECTION] Container base and iterator registration

ObjContainer::~ObjContainer() {
    ObjIterator* it = first_iterator_;
    while (it) {
        ObjIterator* next = it->next_;
        it->container_ = nullptr;
        it->prev_ = it->next_ = nullptr;
        it->position = 0;
        it = next;
    }
    first_iterator_ = nullptr;
}

void ObjContainer::NotifyInserted(int32_t position, bool before) {
    for (ObjIterator* it = first_iterator_; it; it = it->next_) {
        if (before ? it->position >= position : it->position > position)
            ++it->position;
    }
}

void ObjContainer::NotifyRemoved(int32_t position) {
    for (ObjIterator* it = first_iterator_; it; it = it->next_) {
        if (it->position > position) {
            --it->position;
        } else if (it->position == position) {
            it->position = 0;
        }
    }
}

void ObjContainer::NotifyCleared() {
    for (ObjIterator* it = first_iterator_; it; it = it->next_) it->position = 0;
}

ObjIterator::ObjIterator(ObjContainer* container) : container_(container) {
    if (!container_)
        return;
    next_ = container_->first_iterator_;
    if (next_)
        next_->prev_ = this;
    container_->first_iterator_ = this;
}

ObjIterator::~ObjIterator() {
    if (!container_)
        return;
    if (prev_) {
        prev_->next_ = next_;
    } else {
        container_->first_iterator_ = next_;
    }
    if (next_)
        next_->prev_ = prev_;
}

// [SECTION] ObjArray

ObjArray::~ObjArray() {
    std::free(slots_);
}

bool ObjArray::Grow(int32_t position) {
    int64_t wanted = capacity_;
    while (wanted < position) wanted += step_;
    auto* grown = static_cast<Slot*>(std::calloc(size_t(wanted), sizeof(Slot)));
    if (!grown)
        return false;
    if (slots_)
        std::memcpy(grown, slots_, sizeof(Slot) * size_t(capacity_));
    std::free(slots_);
    slots_ = grown;
    capacity_ = int32_t(wanted);
    return true;
}

int32_t ObjArray::InsertAt(void* item, int32_t position) {
    if (position < 1 || position > kMaxPosition)
        return 0;
    if (position > capacity_ && !Grow(position))
        return 0;
    Slot& slot = slots_[position - 1];
    if (slot.used)
        return 0;
    slot.item = item;
    slot.used = 1;
    if (position > highest_)
        highest_ = position;
    if (position == first_free_) {
        do {
            ++first_free_;
        } while (Used(first_free_));
    }
    ++count_;
    return position;
}

int32_t ObjArray::Append(void* item) {
    return InsertAt(item, highest_ + 1);
}

int32_t ObjArray::InsertBefore(void* item, int32_t position) {
    if (position <= first_free_ || position > highest_)
        return 0;
    // first_free_ itself is free, so the search always ends inside the range.
    int32_t target = position - 1;
    while (target > first_free_ && Used(target)) --target;
    return InsertAt(item, target);
}

int32_t ObjArray::InsertAfter(void* item, int32_t position) {
    if (position < 1 || position > highest_)
        return 0;
    int32_t target = position + 1;
    while (target <= highest_ && Used(target)) ++target;
    return InsertAt(item, target);
}

int32_t ObjArray::SetAt(void* item, int32_t position) {
    if (position < 1 || position > highest_)
        return 0;
    Slot& slot = slots_[position - 1];
    if (!slot.used) {
        // Filling an empty slot is an insertion: count it and keep first_free_
        // on a free position, or Add would later refuse a taken slot.
        return InsertAt(item, position);
    }
    slot.item = item;
    return position;
}

int32_t ObjArray::RemoveItem(void* item) {
    const int32_t position = IndexOf(item);
    return position ? RemoveAt(position) : 0;
}

int32_t ObjArray::RemoveAt(int32_t position) {
    if (position < 1 || position > highest_ || !Used(position))
        return 0;
    slots_[position - 1] = Slot{nullptr, 0};
    if (position == highest_) {
        while (highest_ > 0 && !Used(highest_)) --highest_;
    }
    if (position < first_free_)
        first_free_ = position;
    --count_;
    return 1;
}

int32_t ObjArray::RemoveAfter(int32_t position) {
    if (position < 0)
        position = 0;
    int32_t removed = 0;
    for (int32_t p = highest_; p > position; --p) removed += RemoveAt(p);
    return removed;
}

int32_t ObjArray::Clear() {
    const int32_t removed = count_;
    std::free(slots_);
    slots_ = nullptr;
    capacity_ = count_ = highest_ = 0;
    first_free_ = 1;
    NotifyCleared();
    return removed;
}

void* ObjArray::First(ObjIterator& it) {
    it.position = count_ > 0 ? 1 : 0;
    return GetAt(it.position);
}

void* ObjArray::FirstItem() {
    for (int32_t p = 1; p <= highest_; ++p) {
        if (Used(p))
            return slots_[p - 1].item;
    }
    return nullptr;
}

void* ObjArray::Last(ObjIterator& it) {
    it.position = highest_;
    return GetAt(it.position);
}

void* ObjArray::GetAt(int32_t position) {
    return position >= 1 && position <= highest_ && Used(position) ? slots_[position - 1].item
                                                                   : nullptr;
}

int32_t ObjArray::IndexOf(const void* item) {
    for (int32_t p = 1; p <= highest_; ++p) {
        if (Used(p) && slots_[p - 1].item == item)
            return p;
    }
    return 0;
}

int ObjArray::IsValid(const ObjIterator& it) const {
    return it.position >= 1 && it.position <= highest_ ? 1 : 0;
}

void* ObjArray::Prev(ObjIterator& it) {
    it.position = IsValid(it) ? it.position - 1 : highest_;
    return GetAt(it.position);
}

void* ObjArray::Next(ObjIterator& it) {
    const int32_t next = IsValid(it) ? it.position + 1 : 1;
    it.position = next > highest_ ? 0 : next;
    return GetAt(it.position);
}

// [SECTION] ObjList

ObjList::~ObjList() {
    Node* node = head_;
    while (node) {
        Node* next = node->next;
        delete node;
        node = next;
    }
}

ObjList::Node* ObjList::NodeAt(int32_t position) {
    if (position < 1 || position > count_)
        return nullptr;
    int32_t at = 1;
    Node* node = head_;
    if (count_ - position < position - 1) {
        at = count_;
        node = tail_;
    }
    if (cursor_node_) {
        const int32_t from_cursor =
            position > cursor_position_ ? position - cursor_position_ : cursor_position_ - position;
        const int32_t from_chosen = position > at ? position - at : at - position;
        if (from_cursor < from_chosen) {
            at = cursor_position_;
            node = cursor_node_;
        }
    }
    while (at < position) node = node->next, ++at;
    while (at > position) node = node->prev, --at;
    cursor_position_ = position;
    cursor_node_ = node;
    return node;
}

int32_t ObjList::Insert(void* item) {
    Node* node = new (std::nothrow) Node{item, head_, nullptr};
    if (!node)
        return 0;
    if (head_) {
        head_->prev = node;
    } else {
        tail_ = node;
    }
    head_ = node;
    ++count_;
    Forget();
    NotifyInserted(1, true);
    return 1;
}

int32_t ObjList::Append(void* item) {
    Node* node = new (std::nothrow) Node{item, nullptr, tail_};
    if (!node)
        return 0;
    if (tail_) {
        tail_->next = node;
    } else {
        head_ = node;
    }
    tail_ = node;
    ++count_;
    // Nothing registered can sit past the old end; the cursor stays valid.
    NotifyInserted(count_ - 1, false);
    return count_;
}

int32_t ObjList::InsertBefore(void* item, int32_t position) {
    if (position == 1)
        return Insert(item);
    Node* at = NodeAt(position);
    if (!at)
        return 0;
    Node* node = new (std::nothrow) Node{item, at, at->prev};
    if (!node)
        return 0;
    at->prev->next = node;
    at->prev = node;
    ++count_;
    Forget();
    NotifyInserted(position, true);
    return position;
}

int32_t ObjList::InsertAfter(void* item, int32_t position) {
    if (position == count_ && count_ > 0)
        return Append(item);
    Node* at = NodeAt(position);
    if (!at)
        return 0;
    Node* node = new (std::nothrow) Node{item, at->next, at};
    if (!node)
        return 0;
    at->next->prev = node;
    at->next = node;
    ++count_;
    Forget();
    NotifyInserted(position, false);
    return position + 1;
}

int32_t ObjList::SetAt(void* item, int32_t position) {
    Node* node = NodeAt(position);
    if (!node)
        return 0;
    node->item = item;
    return position;
}

int32_t ObjList::RemoveItem(void* item) {
    const int32_t position = IndexOf(item);
    return position ? RemoveAt(position) : 0;
}

int32_t ObjList::RemoveAt(int32_t position) {
    Node* node = NodeAt(position);
    if (!node)
        return 0;
    if (node->prev) {
        node->prev->next = node->next;
    } else {
        head_ = node->next;
    }
    if (node->next) {
        node->next->prev = node->prev;
    } else {
        tail_ = node->prev;
    }
    delete node;
    --count_;
    Forget();
    NotifyRemoved(position);
    return 1;
}

int32_t ObjList::RemoveAfter(int32_t position) {
    if (position < 0)
        position = 0;
    int32_t removed = 0;
    while (count_ > position) removed += RemoveAt(count_);
    return removed;
}

int32_t ObjList::Clear() {
    const int32_t removed = count_;
    Node* node = head_;
    while (node) {
        Node* next = node->next;
        delete node;
        node = next;
    }
    head_ = tail_ = nullptr;
    count_ = 0;
    Forget();
    NotifyCleared();
    return removed;
}

void* ObjList::First(ObjIterator& it) {
    it.position = count_ > 0 ? 1 : 0;
    return GetAt(it.position);
}

void* ObjList::Last(ObjIterator& it) {
    it.position = count_;
    return GetAt(it.position);
}

void* ObjList::GetAt(int32_t position) {
    Node* node = NodeAt(position);
    return node ? node->item : nullptr;
}

int32_t ObjList::IndexOf(const void* item) {
    int32_t position = 1;
    for (Node* node = head_; node; node = node->next, ++position) {
        if (node->item == item)
            return position;
    }
    return 0;
}

int ObjList::IsValid(const ObjIterator& it) const {
    return it.position >= 1 && it.position <= count_ ? 1 : 0;
}

void* ObjList::Prev(ObjIterator& it) {
    it.position = IsValid(it) ? it.position - 1 : count_;
    return GetAt(it.position);
}

void* ObjList::Next(ObjIterator& it) {
    const int32_t next = IsValid(it) ? it.position + 1 : 1;
    it.position = next > count_ ? 0 : next;
    return GetAt(it.position);
}

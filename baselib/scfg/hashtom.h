// hashtom: a chained hash table of untyped items. The table knows how to get
// a key from an item, hash a key and compare two keys; each bucket is a pset of
// items in insertion order, created on the first insertion into it.
#pragma once

#include <cstdint>

#include "baselib/scfg/pset.h"

using HashtomCompare = int (*)(const void* key_a, const void* key_b);  // 0 when equal
using HashtomHash = uint32_t (*)(const void* key);
using HashtomKey = const void* (*)(const void* item);
using HashtomItemFunc = void (*)(void* item);

struct hashtom;
using HashtomVisit = void (*)(hashtom* table, void* item, void* argument);

struct hashtom {
    HashtomCompare compare = nullptr;
    HashtomKey key_of = nullptr;
    HashtomHash hash = nullptr;
    pset** h_slots = nullptr;
    uint32_t bucket_count = 0;

    // Null when an argument is missing or an allocation is refused.
    static hashtom* Create(uint32_t bucket_count, HashtomCompare compare, HashtomHash hash,
                           HashtomKey key_of);
    // Calls `item_func` (when given) for every item, then frees the table.
    static void Destroy(hashtom* table, HashtomItemFunc item_func = nullptr);

    // 0, or -1 when the bucket cannot take the item.
    int Insert(void* item);
    // The first item inserted with an equal key, or null.
    void* Find(const void* key) const;
    // Removes and returns the first item with an equal key, or null.
    void* Remove(const void* key);
    // Bucket by bucket, each in insertion order. The visitor must not change the table.
    void ForEach(HashtomVisit visit, void* argument);
    uint32_t Count() const;
};

// The string hash of every string-keyed table: h = h * 33 + c with each byte
// taken as a signed 8-bit value, in unsigned 32-bit arithmetic.
uint32_t HashString(const void* key);
// Case-sensitive string comparison (0 when equal).
int CompareString(const void* key_a, const void* key_b);

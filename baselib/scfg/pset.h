// pset: a growable ordered set of untyped pointers (insertion order unless
// sorted). Storage starts at 32 slots on the first insertion and doubles;
// unused slots stay 0. Index errors and refused allocations are reported as
// ENSURE lines and make the operation fail without changing the set.
#pragma once

#include <cstdint>

// Match functions return 0 for a match; compare functions order like strcmp.
using PsetMatch = int (*)(const void* item, const void* argument);
using PsetCompare = int (*)(const void* a, const void* b);
using PsetItemFunc = void (*)(void* item);

struct pset {
    int32_t used = 0;
    int32_t size = 0;
    void** pointers = nullptr;

    // An empty set without storage; null when the allocation is refused.
    static pset* Create();
    // Calls `item_func` (when given) for each non-null pointer, then frees the set.
    static void Destroy(pset* ps, PsetItemFunc item_func = nullptr);
    // Heap copies (release with std::free) of the non-empty pieces of `text`
    // between `separator` characters; null when an allocation is refused.
    static pset* Split(const char* text, char separator);

    // The pointer at i, or null (reported) outside 0..used-1.
    void* Get(int32_t i) const;
    // Replaces the pointer at i; 0, or -1 outside 0..used-1.
    int Set(void* pointer, int32_t i);
    // Inserts at 0 <= i <= used, shifting the tail up; 0 or -1.
    int Insert(void* pointer, int32_t i);
    int Append(void* pointer);
    // Removes the first pointer equal to `pointer`; returns it or null.
    void* Remove(const void* pointer);
    // Removes the pointer at i (shifting the tail down) and returns it; null outside.
    void* RemoveAt(int32_t i);
    // Removes the first pointer for which match(pointer, argument) == 0.
    void* RemoveMatch(PsetMatch match, const void* argument);
    int32_t IndexOf(const void* pointer) const;
    int32_t Find(PsetMatch match, const void* argument) const;
    // Bisection over a set sorted by `compare`; compare(key, item). -1 if absent.
    int32_t BSearch(PsetCompare compare, const void* key) const;
    int32_t Count() const { return used; }
    // Sorts the pointers; compare receives the two stored pointers.
    void Sort(PsetCompare compare);

  private:
    bool Grow();
};

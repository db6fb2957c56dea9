#include "baselib/scfg/pset.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "baselib/scfg/ensure.h"

using vorlane::scfg::EnsureFailed;

namespace {

constexpr const char* kSource = "scfg/pset";
constexpr int32_t kFirstSize = 32;
// Doubling stops here: beyond it the byte count of the slot array would not fit
// the 32-bit size field's range.
constexpr int32_t kMaxSize = int32_t(1) << 28;

bool IndexOk(const pset* ps, int32_t i, int line) {
    if (i >= 0 && i < ps->used)
        return true;
    EnsureFailed("i >= 0 && i < ps->used", kSource, line);
    return false;
}

}  // namespace

pset* pset::Create() {
    return new (std::nothrow) pset;
}

void pset::Destroy(pset* ps, PsetItemFunc item_func) {
    if (!ps)
        return;
    if (item_func) {
        for (int32_t i = 0; i < ps->used; ++i) {
            if (ps->pointers[i])
                item_func(ps->pointers[i]);
        }
    }
    std::free(ps->pointers);
    delete ps;
}

bool pset::Grow() {
    if (size >= kMaxSize) {
        EnsureFailed("newmem", kSource, __LINE__);
        return false;
    }
    const int32_t new_size = size == 0 ? kFirstSize : size * 2;
    void** memory = static_cast<void**>(std::realloc(pointers, sizeof(void*) * size_t(new_size)));
    if (!memory) {
        EnsureFailed(size == 0 ? "ps->pointers" : "newmem", kSource, __LINE__);
        return false;
    }
    std::fill(memory + size, memory + new_size, nullptr);
    pointers = memory;
    size = new_size;
    return true;
}

void* pset::Get(int32_t i) const {
    return IndexOk(this, i, __LINE__) ? pointers[i] : nullptr;
}

int pset::Set(void* pointer, int32_t i) {
    if (!IndexOk(this, i, __LINE__))
        return -1;
    pointers[i] = pointer;
    return 0;
}

int pset::Insert(void* pointer, int32_t i) {
    if (i < 0 || i > used) {
        EnsureFailed("i >= 0 && i <= ps->used", kSource, __LINE__);
        return -1;
    }
    if (used == size && !Grow())
        return -1;
    std::memmove(pointers + i + 1, pointers + i, sizeof(void*) * size_t(used - i));
    pointers[i] = pointer;
    ++used;
    return 0;
}

int pset::Append(void* pointer) {
    return Insert(pointer, used);
}

void* pset::Remove(const void* pointer) {
    const int32_t i = IndexOf(pointer);
    return i < 0 ? nullptr : RemoveAt(i);
}

void* pset::RemoveAt(int32_t i) {
    if (!IndexOk(this, i, __LINE__))
        return nullptr;
    void* removed = pointers[i];
    std::memmove(pointers + i, pointers + i + 1, sizeof(void*) * size_t(used - i - 1));
    pointers[--used] = nullptr;
    return removed;
}

void* pset::RemoveMatch(PsetMatch match, const void* argument) {
    const int32_t i = Find(match, argument);
    return i < 0 ? nullptr : RemoveAt(i);
}

int32_t pset::IndexOf(const void* pointer) const {
    for (int32_t i = 0; i < used; ++i) {
        if (pointers[i] == pointer)
            return i;
    }
    return -1;
}

int32_t pset::Find(PsetMatch match, const void* argument) const {
    if (!match)
        return -1;
    for (int32_t i = 0; i < used; ++i) {
        if (match(pointers[i], argument) == 0)
            return i;
    }
    return -1;
}

int32_t pset::BSearch(PsetCompare compare, const void* key) const {
    if (!compare)
        return -1;
    int32_t low = 0, high = used - 1;
    while (low <= high) {
        const int32_t middle = low + (high - low) / 2;
        const int order = compare(key, pointers[middle]);
        if (order == 0)
            return middle;
        if (order < 0) {
            high = middle - 1;
        } else {
            low = middle + 1;
        }
    }
    return -1;
}

void pset::Sort(PsetCompare compare) {
    if (!compare || used < 2)
        return;
    // The comparator comes from the caller and may not be a consistent order;
    // std::stable_sort stays inside the range even then, std::sort may not.
    std::stable_sort(pointers, pointers + used,
                     [compare](const void* a, const void* b) { return compare(a, b) < 0; });
}

pset* pset::Split(const char* text, char separator) {
    pset* pieces = Create();
    if (!pieces || !text)
        return pieces;
    const char* start = text;
    while (true) {
        const char* end = start;
        while (*end && *end != separator) ++end;
        if (end > start) {
            const size_t length = size_t(end - start);
            char* copy = static_cast<char*>(std::malloc(length + 1));
            if (!copy || pieces->Append(copy) != 0) {
                std::free(copy);
                Destroy(pieces, std::free);
                return nullptr;
            }
            std::memcpy(copy, start, length);
            copy[length] = '\0';
        }
        if (!*end)
            break;
        start = end + 1;
    }
    return pieces;
}

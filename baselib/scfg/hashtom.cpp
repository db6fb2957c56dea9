#include "baselib/scfg/hashtom.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "baselib/scfg/ensure.h"

using vorlane::scfg::EnsureFailed;

namespace {

constexpr const char* kSource = "scfg/hashtom";
// A larger bucket array is a caller mistake, not a size worth allocating.
constexpr uint32_t kMaxBuckets = uint32_t(1) << 24;

}  // namespace

uint32_t HashString(const void* key) {
    uint32_t h = 0;
    for (const char* c = static_cast<const char*>(key); c && *c; ++c) {
        h = h * 33 + uint32_t(int32_t(static_cast<signed char>(*c)));
    }
    return h;
}

int CompareString(const void* key_a, const void* key_b) {
    return std::strcmp(static_cast<const char*>(key_a), static_cast<const char*>(key_b));
}

hashtom* hashtom::Create(uint32_t bucket_count, HashtomCompare compare, HashtomHash hash,
                         HashtomKey key_of) {
    if (bucket_count == 0 || bucket_count > kMaxBuckets || !compare || !hash || !key_of) {
        return nullptr;
    }
    hashtom* table = new (std::nothrow) hashtom;
    if (!table)
        return nullptr;
    table->h_slots = static_cast<pset**>(std::calloc(bucket_count, sizeof(pset*)));
    if (!table->h_slots) {
        EnsureFailed("hp->h_slots", kSource, __LINE__);
        delete table;
        return nullptr;
    }
    table->compare = compare;
    table->hash = hash;
    table->key_of = key_of;
    table->bucket_count = bucket_count;
    return table;
}

void hashtom::Destroy(hashtom* table, HashtomItemFunc item_func) {
    if (!table)
        return;
    for (uint32_t b = 0; b < table->bucket_count; ++b) pset::Destroy(table->h_slots[b], item_func);
    std::free(table->h_slots);
    delete table;
}

int hashtom::Insert(void* item) {
    if (!item)
        return -1;
    pset*& bucket = h_slots[hash(key_of(item)) % bucket_count];
    if (!bucket) {
        bucket = pset::Create();
        if (!bucket) {
            EnsureFailed("h_slots", kSource, __LINE__);
            return -1;
        }
    }
    return bucket->Append(item);
}

void* hashtom::Find(const void* key) const {
    const pset* bucket = h_slots[hash(key) % bucket_count];
    if (!bucket)
        return nullptr;
    for (int32_t i = 0; i < bucket->used; ++i) {
        void* item = bucket->pointers[i];
        if (compare(key, key_of(item)) == 0)
            return item;
    }
    return nullptr;
}

void* hashtom::Remove(const void* key) {
    pset* bucket = h_slots[hash(key) % bucket_count];
    if (!bucket)
        return nullptr;
    for (int32_t i = 0; i < bucket->used; ++i) {
        if (compare(key, key_of(bucket->pointers[i])) == 0)
            return bucket->RemoveAt(i);
    }
    return nullptr;
}

void hashtom::ForEach(HashtomVisit visit, void* argument) {
    if (!visit)
        return;
    for (uint32_t b = 0; b < bucket_count; ++b) {
        pset* bucket = h_slots[b];
        if (!bucket)
            continue;
        for (int32_t i = 0; i < bucket->used; ++i) visit(this, bucket->pointers[i], argument);
    }
}

uint32_t hashtom::Count() const {
    uint32_t total = 0;
    for (uint32_t b = 0; b < bucket_count; ++b) {
        if (h_slots[b])
            total += uint32_t(h_slots[b]->used);
    }
    return total;
}

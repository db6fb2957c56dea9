// HASH_STR: a string-keyed map of value pointers. Each item holds a private
// copy of its key. Keys are not unique: a second Insert of the same key adds a
// second item, and lookups and removals find the one inserted first.
#pragma once

#include <cstdint>

struct hashtom;

using HASH_STR_FUNC = void (*)(const char* key, void* value, void* user);

class HASH_STR {
  public:
    explicit HASH_STR(uint32_t bucket_count);
    virtual ~HASH_STR();
    HASH_STR(const HASH_STR&) = delete;
    HASH_STR& operator=(const HASH_STR&) = delete;

    // 1 when added, else 0.
    int Insert(const char* key, void* value);
    void* Get(const char* key) const;
    // Removes the first item of that key and returns its value (or null).
    void* Remove(const char* key);
    // Calls func(key, value, user) for every item, bucket by bucket.
    void ForEach(HASH_STR_FUNC func, void* user);
    // Frees every item and the table; the object becomes invalid.
    void Destroy();

    uint8_t valid = 0;

  private:
    hashtom* table_ = nullptr;
};

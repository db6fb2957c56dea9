#include "baselib/hash_str.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "baselib/logsys.h"
#include "baselib/scfg/hashtom.h"

namespace {

constexpr const char* kClass = "HASH_STR";

struct Item {
    char* key;
    void* value;
};

const void* KeyExtract(const void* item) {
    if (!item) {
        LOGSYS_Error("%s::%s: _item == NULL", kClass, "KeyExtract");
        return "";
    }
    return static_cast<const Item*>(item)->key;
}

void DeleteItem(void* item) {
    if (!item) {
        LOGSYS_Warning("%s::%s: _item == NULL", kClass, "DeleteItem");
        return;
    }
    auto* entry = static_cast<Item*>(item);
    std::free(entry->key);
    delete entry;
}

struct ForEachContext {
    HASH_STR_FUNC func;
    void* user;
};

void ForEachWrapper(hashtom*, void* item, void* user) {
    if (!item) {
        LOGSYS_Warning("%s::%s: _item == NULL", kClass, "ForEachWrapper");
        return;
    }
    if (!user) {
        LOGSYS_Warning("%s::%s: _usrptr == NULL", kClass, "ForEachWrapper");
        return;
    }
    const auto* entry = static_cast<Item*>(item);
    const auto* context = static_cast<ForEachContext*>(user);
    context->func(entry->key, entry->value, context->user);
}

}  // namespace

HASH_STR::HASH_STR(uint32_t bucket_count) {
    table_ = hashtom::Create(bucket_count, CompareString, HashString, KeyExtract);
    if (!table_) {
        LOGSYS_Error("%s::%s: can't create hashtable", kClass, kClass);
        return;
    }
    valid = 1;
}

HASH_STR::~HASH_STR() {
    Destroy();
}

void HASH_STR::Destroy() {
    hashtom::Destroy(table_, DeleteItem);
    table_ = nullptr;
    valid = 0;
}

int HASH_STR::Insert(const char* key, void* value) {
    if (!key) {
        LOGSYS_Error("%s::%s: _key == NULL", kClass, "Insert");
        return 0;
    }
    if (!table_)
        return 0;
    const size_t length = std::strlen(key);
    auto* item = new (std::nothrow) Item{static_cast<char*>(std::malloc(length + 1)), value};
    if (!item || !item->key) {
        LOGSYS_Error("%s::%s: can't create item", kClass, "Insert");
        if (item)
            delete item;
        return 0;
    }
    std::memcpy(item->key, key, length + 1);
    if (table_->Insert(item) != 0) {
        LOGSYS_Error("%s::%s: can't insert item", kClass, "Insert");
        DeleteItem(item);
        return 0;
    }
    return 1;
}

void* HASH_STR::Get(const char* key) const {
    if (!key) {
        LOGSYS_Error("%s::%s: _key == NULL", kClass, "Get");
        return nullptr;
    }
    if (!table_)
        return nullptr;
    const auto* item = static_cast<const Item*>(table_->Find(key));
    return item ? item->value : nullptr;
}

void* HASH_STR::Remove(const char* key) {
    if (!key) {
        LOGSYS_Error("%s::%s: _key == NULL", kClass, "Remove");
        return nullptr;
    }
    if (!table_)
        return nullptr;
    auto* item = static_cast<Item*>(table_->Remove(key));
    if (!item)
        return nullptr;
    void* value = item->value;
    DeleteItem(item);
    return value;
}

void HASH_STR::ForEach(HASH_STR_FUNC func, void* user) {
    if (!func) {
        LOGSYS_Error("%s::%s: _func == NULL", kClass, "ForEach");
        return;
    }
    if (!table_)
        return;
    ForEachContext context{func, user};
    table_->ForEach(ForEachWrapper, &context);
}

#include "net/id_system.h"

#include <new>

ID_SYSTEM* ID_Create(uint32_t count) {
    auto* ids = new (std::nothrow) ID_SYSTEM;
    if (!ids)
        return nullptr;
    try {
        ids->entries.assign(size_t(count) + 1, kIdFree);
    } catch (const std::bad_alloc&) {
        delete ids;
        return nullptr;
    }
    return ids;
}

uint32_t ID_Get(ID_SYSTEM* ids) {
    if (!ids || ids->entries.size() < 2)
        return 0;
    for (size_t id = 1; id < ids->entries.size(); ++id) {
        if (ids->entries[id] == kIdFree) {
            ids->entries[id] = kIdUsed;
            return uint32_t(id);
        }
    }
    return 0;
}

void ID_Release(ID_SYSTEM* ids, uint32_t id) {
    if (!ids || id == 0 || id >= ids->entries.size())
        return;
    ids->entries[id] = kIdFree;
}

void ID_Destroy(ID_SYSTEM* ids) {
    delete ids;
}

#include "net/netusr.h"

#include <cstring>

#include "baselib/timer.h"

// [SECTION] Address system

bool ADDR_Init(ADDR_SYSTEM* addr, uint32_t capacity) {
    try {
        addr->records.assign(capacity, ADDR_RECORD{});
    } catch (const std::bad_alloc&) {
        return false;
    }
    addr->ids.reset(ID_Create(capacity));
    addr->capacity = capacity;
    addr->used = 0;
    return addr->ids != nullptr;
}

ADDR_RECORD* ADDR_Insert(ADDR_SYSTEM* addr, const std::string& name, const std::string& password) {
    ADDR_RECORD* record = nullptr;
    for (ADDR_RECORD& candidate : addr->records) {
        if (candidate.flags == 0) {
            record = &candidate;
            break;
        }
    }
    if (!record)
        return nullptr;
    uint32_t id = ID_Get(addr->ids.get());
    if (id == 0)
        return nullptr;
    *record = ADDR_RECORD{};
    record->id = addr->id_base + id;
    record->local_id = id;
    std::strncpy(record->name, name.c_str(), sizeof record->name - 1);
    std::strncpy(record->password, password.c_str(), sizeof record->password - 1);
    record->flags = 1;
    ++addr->used;
    return record;
}

void ADDR_Remove(ADDR_SYSTEM* addr, ADDR_RECORD* record) {
    if (!record || record->flags == 0)
        return;
    ID_Release(addr->ids.get(), record->local_id);
    *record = ADDR_RECORD{};
    --addr->used;
}

bool ADDR_IsFull(const ADDR_SYSTEM* addr) {
    return addr->used >= addr->capacity;
}

// [SECTION] Thread signals

void SIGNAL_BLOCK::Post(uint32_t bits) {
    {
        std::lock_guard lock(mutex);
        to_thread |= bits;
    }
    changed.notify_all();
}

void SIGNAL_BLOCK::Report(uint32_t bits) {
    {
        std::lock_guard lock(mutex);
        from_thread |= bits;
    }
    changed.notify_all();
}

bool SIGNAL_BLOCK::TestReported(uint32_t bits) {
    std::lock_guard lock(mutex);
    return (from_thread & bits) == bits;
}

bool SIGNAL_BLOCK::WaitReported(uint32_t bits, uint32_t timeout_ms) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                            [&] { return (from_thread & bits) == bits; });
}

// [SECTION] Connection data

CONNECTION_DATA::~CONNECTION_DATA() {
    for (ENVELOPE* envelope : queue) NET_FreeEnvelope(envelope);
}

void CONNECTION_DATA::CountTransfer(uint32_t size) {
    std::lock_guard lock(mutex);
    bytes += size;
    ++envelopes;
    last_transfer = vorlane::baselib::SteadyClock().NowMs();
    transferred = true;
}

// [SECTION] User list

std::unique_lock<std::recursive_mutex> NETUSR_Lock(NETUSR_LIST* users) {
    return std::unique_lock<std::recursive_mutex>(users->list->mutex);
}

bool NETUSR_Contains(NETUSR_LIST* users, const NETUSR* user) {
    if (!user)
        return false;
    auto lock = NETUSR_Lock(users);
    for (const PL_SLOT& slot : users->list->slots) {
        if (slot.element == user)
            return true;
    }
    return false;
}

NETUSR* NETUSR_FindById(NETUSR_LIST* users, uint32_t id) {
    NETUSR* found = nullptr;
    NETUSR_ForEach(users, [&](NETUSR* user) {
        if (!found && user->address && user->address->id == id)
            found = user;
    });
    return found;
}

int NETUSR_Count(NETUSR_LIST* users) {
    auto lock = NETUSR_Lock(users);
    return users->list->count;
}

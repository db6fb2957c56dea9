// The ID system: hands out small numeric identifiers 1..count.
//
// It has no lock of its own; callers use it under the call controller's or the
// user list's mutex.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct ID_SYSTEM {
    std::vector<uint8_t> entries;  // count + 1 entries: 1 free, 2 in use; 0 never handed out
};

constexpr uint8_t kIdFree = 1;
constexpr uint8_t kIdUsed = 2;

ID_SYSTEM* ID_Create(uint32_t count);
// The lowest free identifier, now marked in use; 0 when none is free.
uint32_t ID_Get(ID_SYSTEM* ids);
void ID_Release(ID_SYSTEM* ids, uint32_t id);
void ID_Destroy(ID_SYSTEM* ids);
